// What view.json switches on: its reader (a table of view files and what
// loading each does), the animations' clock, the drawing at a time, and
// finding the way (the overview, M, clicks and drags, the start).

#include <gtest/gtest.h>
#include <SDL_image.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "map/layer.h"
#include "map/map_loader.h"
#include "render/texture_loader.h"
#include "render/draw_map.h"
#include "shared/globals.h"
#include "software_canvas.h"
#include "case_files.h"
#include "table_helpers.h"
#include "view/camera_report.h"
#include "view/navigation.h"
#include "view/overview.h"
#include "view/pieces.h"
#include "view/view.h"
#include "view/zoom.h"
#include "view/zoom_levels.h"
#include "import/write/writer.h"
#include "import/write/zoom_files.h"
#include "import/write/zoom_levels.h"

namespace fs = std::filesystem;

namespace {

// Loads "view.json" in `folder` as the viewer does; returns what it wrote on
// standard error.
std::string LoadViewIn(const fs::path& folder, const TilesetGrid& grid) {
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  std::ostringstream captured;
  std::streambuf* original = std::cerr.rdbuf(captured.rdbuf());
  LoadView("view.json", grid);
  std::cerr.rdbuf(original);
  fs::current_path(previous);
  return captured.str();
}

// What lies in the folder besides view.json.
enum class Beside { kNothing, kPicture, kNotAPicture, kHeaderOfAHugePng, kPicture8192Wide, kPicture8192Tall };

// A view file and what loading it does.
struct ViewRow {
  const char* name;
  std::string json;  // view.json's text; kNoFile: none; kFolder: a folder of that name
  std::string error;  // the one line on standard error, "" for none; ending in "...": any line starting with the rest
  // "grid COLUMNS ROWS" (the blocks final.png has; 3 x 7 when left out),
  // "animations N" (how many play), "at T V S": at T ms a cell holding V
  // shows S, "camera X Y" (the camera after loading; the built-in start when
  // left out), "zoom S L" (the zoom step after loading and the least step;
  // step 0 when left out), "overview X Y W H" (the overview loaded for that rectangle;
  // none when left out), "navigation on" (M and the mouse switched on; off
  // when left out); separated by ";".
  std::string expected;
  Beside beside = Beside::kNothing;
  std::string pictureName = "overview.png";
};

void PrintTo(const ViewRow& row, std::ostream* out) { *out << row.name; }

const std::string kNoFile = "(no file)", kFolder = "(a folder)";

// The overview of a 4096 x 2048 rectangle from (-64, 32), in `image`.
std::string Place(const std::string& image) {
  return R"({"image": ")" + image + R"(", "x": -64, "y": 32, "width": 4096, "height": 2048})";
}

// Every member: 3 showing 19 after 400 ms, the overview and the start given.
std::string Every(const std::string& overview, const std::string& start = R"({"x": 5, "y": 6})") {
  return R"({"animations": [{"tile": 3, "frames": [{"tile": 3, "duration": 400}, {"tile": 19, "duration": 400}]}], )"
         R"("overview": )" + overview + R"(, "start": )" + start + "}";
}

// A file ignored as a whole: none of its members is used.
const std::string kNothingUsed = "animations 0; at 401 3 3";
const std::string kIgnored = "view.json: ignored: ";

const ViewRow kViewRows[] = {
    {"no_file", kNoFile, "", "animations 0; at 500 3 3"},
    {"view_json_a_folder", kFolder, kIgnored + "...", "animations 0"},
    {"bad_json", R"({"animations": [)", kIgnored + "not valid JSON: ...", "animations 0; at 500 3 3"},
    {"top_level_array", R"([{"tile": 3, "frames": []}])", kIgnored + "not a JSON object", "animations 0"},
    {"no_animations_member", R"({"scale": {"level": 2}})", "", "animations 0; at 500 3 3"},
    {"empty_animation_list", R"({"animations": []})", "", "animations 0; at 500 3 3"},

    // Animations: the clock, and a frame of duration 0 that holds for good.
    {"two_cycles_and_their_boundaries",
     R"({"version": 2, "animations": [
        {"tile": 3, "note": "water", "frames": [{"tile": 3, "duration": 400},
          {"tile": 19, "duration": 400, "flip": true}, {"tile": 20, "duration": 400}]},
        {"tile": 4, "frames": [{"tile": 4, "duration": 600}, {"tile": 0, "duration": 600}]},
        {"tile": 21, "frames": [{"tile": 1, "duration": 250}]}]})",
     "",
     "animations 3; at 0 3 3; at 0 4 4; at 1 3 3; at 400 3 3; at 401 3 19; at 800 3 19; at 801 3 20; "
     "at 1200 3 20; at 1201 3 3; at 2400 3 20; at 2401 3 3; at 3600000000000 3 20; at 3600000000001 3 3; "
     "at 600 4 4; at 601 4 0; at 1200 4 0; at 1201 4 4; at 0 21 1; at 250 21 1; at 251 21 1; at 500 21 1; "
     "at 400 5 5; at 400 0 0; at 400 2 2; at 400 22 22"},
    {"a_frame_of_no_duration_holds",
     R"({"animations": [
        {"tile": 1, "frames": [{"tile": 1, "duration": 100}, {"tile": 2, "duration": 0}, {"tile": 3, "duration": 100}]},
        {"tile": 2, "frames": [{"tile": 5, "duration": 0}, {"tile": 6, "duration": 100}]}]})",
     "",
     "animations 2; at 0 1 1; at 100 1 1; at 101 1 2; at 201 1 2; at 1000000000 1 2; at 0 2 5; at 150 2 5; "
     "at 1000000 2 5"},

    // Animations that can't be played: the whole file is ignored.
    {"animations_not_an_array", R"({"animations": {"tile": 3}})", kIgnored + R"("animations" is not an array)",
     "animations 0"},
    {"animation_not_an_object", R"({"animations": [3]})", kIgnored + "animation 0 is not an object", "animations 0"},
    {"tile_missing", R"({"animations": [{"frames": [{"tile": 3, "duration": 400}]}]})",
     kIgnored + R"(animation 0: no "tile")", "animations 0"},
    {"tile_a_string", R"({"animations": [{"tile": "3", "frames": [{"tile": 3, "duration": 400}]}]})",
     kIgnored + R"(animation 0: "tile" is not an integer)", "animations 0"},
    {"tile_past_32_bits", R"({"animations": [{"tile": 4294967299, "frames": [{"tile": 19, "duration": 400}]}]})",
     kIgnored + R"(animation 0: "tile" 4294967299 is out of range)", "animations 0; at 500 3 3"},
    {"tile_zero", R"({"animations": [{"tile": 0, "frames": [{"tile": 3, "duration": 400}]}]})",
     kIgnored + "animation 0: tile 0 has no block in final.png", "animations 0; at 500 0 0"},
    {"tile_past_the_tileset", R"({"animations": [{"tile": 22, "frames": [{"tile": 3, "duration": 400}]}]})",
     kIgnored + "animation 0: tile 22 has no block in final.png", "animations 0"},
    {"tile_in_a_column_the_tileset_lacks",
     R"({"animations": [{"tile": 1, "frames": [{"tile": 1, "duration": 400}, {"tile": 3, "duration": 400}]}]})",
     kIgnored + "animation 0, frame 1: tile 3 has no block in final.png", "grid 2 7; animations 0; at 500 1 1"},
    {"tile_animated_twice",
     R"({"animations": [{"tile": 3, "frames": [{"tile": 19, "duration": 400}]},
        {"tile": 4, "frames": [{"tile": 21, "duration": 400}]}, {"tile": 3, "frames": [{"tile": 20, "duration": 400}]}]})",
     kIgnored + "animation 2: tile 3 is animated already by animation 0", "animations 0; at 0 3 3"},
    {"frames_not_an_array", R"({"animations": [{"tile": 3, "frames": {"tile": 19, "duration": 400}}]})",
     kIgnored + R"(animation 0: "frames" is not an array)", "animations 0"},
    {"no_frames", R"({"animations": [{"tile": 3, "frames": []}]})", kIgnored + "animation 0 has no frames",
     "animations 0"},
    {"frame_not_an_object", R"({"animations": [{"tile": 3, "frames": [[19, 400]]}]})",
     kIgnored + "animation 0, frame 0 is not an object", "animations 0"},
    {"frame_tile_negative", R"({"animations": [{"tile": 3, "frames": [{"tile": -1, "duration": 400}]}]})",
     kIgnored + "animation 0, frame 0: tile -1 has no block in final.png", "animations 0"},
    {"frame_tile_past_the_tileset",
     R"({"animations": [{"tile": 3, "frames": [{"tile": 3, "duration": 400}, {"tile": 19, "duration": 400}]},
        {"tile": 4, "frames": [{"tile": 4, "duration": 600}, {"tile": 22, "duration": 600}]}]})",
     kIgnored + "animation 1, frame 1: tile 22 has no block in final.png", "animations 0; at 500 3 3; at 700 4 4"},
    {"duration_missing", R"({"animations": [{"tile": 3, "frames": [{"tile": 19}]}]})",
     kIgnored + R"(animation 0, frame 0: no "duration")", "animations 0"},
    {"duration_fractional", R"({"animations": [{"tile": 3, "frames": [{"tile": 19, "duration": 1.5}]}]})",
     kIgnored + R"(animation 0, frame 0: "duration" is not an integer)", "animations 0"},
    {"negative_duration",
     R"({"animations": [{"tile": 3, "frames": [{"tile": 3, "duration": 400}, {"tile": 19, "duration": -400}]}]})",
     kIgnored + R"(animation 0, frame 1: "duration" -400 is out of range)", "animations 0; at 500 3 3"},
    {"duration_past_32_bits", R"({"animations": [{"tile": 3, "frames": [{"tile": 19, "duration": 2147483648}]}]})",
     kIgnored + R"(animation 0, frame 0: "duration" 2147483648 is out of range)", "animations 0"},

    // The overview and the start.
    {"overview_and_start_with_animations",
     R"({"animations": [{"tile": 3, "frames": [{"tile": 3, "duration": 400}, {"tile": 19, "duration": 400}]}],
        "overview": {"image": "overview.png", "x": -64, "y": 32, "width": 4096, "height": 2048, "note": "ignored"},
        "start": {"x": 100, "y": -50}, "later": 1, "later": 2})",
     "", "animations 1; at 401 3 19; camera 100 -50; overview -64 32 4096 2048; navigation on", Beside::kPicture},
    {"overview_alone_keeps_the_built_in_start", R"({"overview": )" + Place("map.png") + "}", "",
     "animations 0; overview -64 32 4096 2048; navigation on", Beside::kPicture, "map.png"},
    {"overview_of_one_pixel", R"({"overview": {"image": "overview.png", "x": 0, "y": 0, "width": 1, "height": 1}})", "",
     "animations 0; overview 0 0 1 1; navigation on", Beside::kPicture},
    {"start_alone", R"({"start": {"x": -2147483648, "y": 2147483647}})", "",
     "animations 0; camera -2147483648 2147483647; navigation on"},
    {"overview_image_missing",
     R"({"overview": )" + Place("gone.png") + R"(, "start": {"x": 7, "y": 8}, "animations": [{"tile": 3, "frames": [{"tile": 3, "duration": 400}, {"tile": 19, "duration": 400}]}]})",
     "gone.png: no overview: ...", "animations 1; camera 7 8; navigation on"},
    {"overview_image_not_a_picture", R"({"overview": )" + Place("overview.png") + "}",
     "overview.png: no overview: Unsupported image format", "animations 0; navigation on", Beside::kNotAPicture},
    {"overview_png_wider_than_8192", R"({"overview": )" + Place("overview.png") + "}",
     "overview.png: no overview: 16909060 x 10 pixels, more than 8192 a side", "animations 0; navigation on",
     Beside::kHeaderOfAHugePng},
    {"overview_png_8192_wide", R"({"overview": )" + Place("overview.png") + "}", "",
     "animations 0; overview -64 32 4096 2048; navigation on", Beside::kPicture8192Wide},
    {"overview_png_8192_tall", R"({"overview": )" + Place("overview.png") + "}", "",
     "animations 0; overview -64 32 4096 2048; navigation on", Beside::kPicture8192Tall},
    {"overview_image_name_of_255_bytes", R"({"overview": )" + Place(std::string(251, 'a') + ".png") + "}", "",
     "animations 0; overview -64 32 4096 2048; navigation on", Beside::kPicture, std::string(251, 'a') + ".png"},
    {"overview_image_name_too_long", R"({"overview": )" + Place(std::string(252, 'a') + ".png") + "}",
     kIgnored + R"("overview": the image's name is longer than 255 bytes)", "animations 0"},
    {"overview_not_an_object", R"({"animations": [{"tile": 3, "frames": [{"tile": 3, "duration": 400}, {"tile": 19, "duration": 400}]}], "overview": "overview.png", "start": {"x": 5, "y": 6}})",
     kIgnored + R"("overview" is not an object)", kNothingUsed, Beside::kPicture},
    {"overview_image_not_a_string", Every(R"({"image": 3, "x": -64, "y": 32, "width": 4096, "height": 2048})"),
     kIgnored + R"("overview": "image" is not a string)", kNothingUsed, Beside::kPicture},
    {"overview_image_empty", Every(Place("")),
     kIgnored + R"("overview": image "" is not a file name beside view.json)", kNothingUsed, Beside::kPicture},
    {"overview_image_in_another_folder", Every(Place("../overview.png")),
     kIgnored + R"("overview": image "../overview.png" is not a file name beside view.json)", kNothingUsed,
     Beside::kPicture},
    {"overview_image_in_a_windows_folder", Every(Place(R"(maps\\overview.png)")),
     kIgnored + R"("overview": image "maps\overview.png" is not a file name beside view.json)", kNothingUsed,
     Beside::kPicture},
    {"overview_height_missing", Every(R"({"image": "overview.png", "x": -64, "y": 32, "width": 4096})"),
     kIgnored + R"("overview": no "height")", kNothingUsed, Beside::kPicture},
    {"overview_width_zero", Every(R"({"image": "overview.png", "x": -64, "y": 32, "width": 0, "height": 2048})"),
     kIgnored + R"("overview": "width" 0 is out of range)", kNothingUsed, Beside::kPicture},
    {"overview_y_past_32_bits",
     Every(R"({"image": "overview.png", "x": -64, "y": -2147483649, "width": 4096, "height": 2048})"),
     kIgnored + R"("overview": "y" -2147483649 is out of range)", kNothingUsed, Beside::kPicture},
    {"start_not_an_object", Every(Place("overview.png"), "[1, 2]"), kIgnored + R"("start" is not an object)",
     kNothingUsed, Beside::kPicture},
    {"start_fractional", Every(Place("overview.png"), R"({"x": 1.5, "y": 0})"),
     kIgnored + R"("start": "x" is not an integer)", kNothingUsed, Beside::kPicture},
    {"start_x_a_string", Every(Place("overview.png"), R"({"x": "1", "y": 2})"),
     kIgnored + R"("start": "x" is not an integer)", kNothingUsed, Beside::kPicture},
    {"start_past_32_bits", Every(Place("overview.png"), R"({"x": 2147483648, "y": 0})"),
     kIgnored + R"("start": "x" 2147483648 is out of range)", kNothingUsed, Beside::kPicture},
    {"start_y_missing", Every(Place("overview.png"), R"({"x": 1})"), kIgnored + R"("start": no "y")", kNothingUsed,
     Beside::kPicture},

    // The zoom: a start's step, held to the steps the map has (down to where
    // the 4096 x 2048 picture fits, centred there), and the levels' files.
    {"start_zoomed_in", Every(Place("overview.png"), R"({"x": 5, "y": 6, "zoom": 4})"), "",
     "animations 1; camera 5 6; zoom 4 -7; overview -64 32 4096 2048; navigation on", Beside::kPicture},
    {"start_zoomed_out_past_the_whole_picture", Every(Place("overview.png"), R"({"x": 5, "y": 6, "zoom": -64})"), "",
     "animations 1; camera 1984 1056; zoom -7 -7; overview -64 32 4096 2048; navigation on", Beside::kPicture},
    {"start_zoomed_out_with_nothing_to_show", R"({"start": {"x": 5, "y": 6, "zoom": -3}})", "",
     "camera 5 6; zoom 0 0; navigation on"},
    {"start_zoom_past_64", Every(Place("overview.png"), R"({"x": 5, "y": 6, "zoom": 65})"),
     kIgnored + R"("start": "zoom" 65 is out of range)", kNothingUsed, Beside::kPicture},
    {"zoom_without_levels", R"({"zoom": {}})", kIgnored + R"("zoom": no "levels")", kNothingUsed},
    {"zoom_first_past_the_last", R"({"zoom": {"levels": 2, "first": 3}})",
     kIgnored + R"("zoom": "first" 3 is out of range)", kNothingUsed},
    {"zoom_levels_not_written", R"({"start": {"x": 5, "y": 6}, "zoom": {"levels": 2}})",
     "zoom level 1 left out: zoom/1/level.json: unable to open ...", "camera 5 6; zoom 0 0; navigation on"},
};

// Writes the row's files into `folder`, emptied first: a process before
// this one with the same number may have left its files there.
void WriteFiles(const ViewRow& row, const fs::path& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  if (row.json == kFolder) {
    fs::create_directories(folder / "view.json");
  } else if (row.json != kNoFile) {
    std::ofstream(folder / "view.json") << row.json;
  }
  const std::string picture = (folder / row.pictureName).string();
  const auto savePng = [&picture](int width, int height) {
    SDL_Surface* image = NewImage(width, height);
    ASSERT_EQ(IMG_SavePNG(image, picture.c_str()), 0) << SDL_GetError();
    SDL_FreeSurface(image);
  };
  switch (row.beside) {
    case Beside::kNothing:
      break;
    case Beside::kPicture:
      savePng(8, 4);
      break;
    case Beside::kPicture8192Wide:
      savePng(8192, 1);
      break;
    case Beside::kPicture8192Tall:
      savePng(1, 8192);
      break;
    case Beside::kNotAPicture:  // as long as a PNG's header: its bytes aren't taken for a size
      std::ofstream(picture) << "not a picture at all, only words\n";
      break;
    case Beside::kHeaderOfAHugePng:  // a PNG's signature and size alone: 0x01020304 x 10
      std::ofstream(picture, std::ios::binary)
          .write("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\x01\x02\x03\x04\0\0\0\x0a", 24);
      break;
  }
}

class ViewCase : public ::testing::TestWithParam<ViewRow> {
 protected:
  void TearDown() override { fs::remove_all(folder); }
  const fs::path folder = fs::temp_directory_path() / ("tilemap-view-case-" + std::to_string(::getpid()));
};

TEST_P(ViewCase, ReportsAndPlaysWhatTheRowExpects) {
  const ViewRow& row = GetParam();
  std::vector<std::string> table;
  std::istringstream items(row.expected);
  for (std::string item; std::getline(items, item, ';');) table.push_back(item);
  TilesetGrid grid{3, 7};
  for (const std::string& line : table) {
    std::istringstream words(line);
    std::string key;
    if (words >> key && key == "grid") words >> grid.columns >> grid.rows;
  }
  WriteFiles(row, folder);
  // Something in play before, which the file replaces: 3 showing 21.
  UseAnimations({MakeAnimation(3, {{21, 0}})});
  PickFrames(0);
  cameraX = kCameraStartX;
  cameraY = kCameraStartY;
  zoom = {5, 100, 200};  // zoomed in before: a new view opens at 1:1
  SoftwareCanvas canvas;  // the renderer an overview's texture is made for

  const std::string errors = LoadViewIn(folder, grid);
  std::vector<std::string> actual;
  std::istringstream lines(errors);
  for (std::string line; std::getline(lines, line);) actual.push_back(line);
  ASSERT_EQ(actual.size(), row.error.empty() ? 0u : 1u) << "standard error was:\n" << errors;
  if (!row.error.empty()) {
    EXPECT_TRUE(LineMatches(row.error, actual[0])) << "\"" << actual[0] << "\", expected \"" << row.error << "\"";
    EXPECT_EQ(errors.back(), '\n');
  }

  int64_t expectedCamera[2] = {kCameraStartX, kCameraStartY};
  int expectedZoom[2] = {0, minZoomStep};  // the step, and the least (any, when left out)
  bool expectOverview = false, expectNavigation = false;
  for (const std::string& line : table) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "camera") {
      words >> expectedCamera[0] >> expectedCamera[1];
    } else if (key == "zoom") {
      words >> expectedZoom[0] >> expectedZoom[1];
    } else if (key == "overview") {
      expectOverview = true;
      OverviewPlace place;
      words >> place.x >> place.y >> place.width >> place.height;
      EXPECT_NE(overviewTexture, nullptr) << "no overview loaded";
      EXPECT_EQ(overviewPlace.x, place.x);
      EXPECT_EQ(overviewPlace.y, place.y);
      EXPECT_EQ(overviewPlace.width, place.width);
      EXPECT_EQ(overviewPlace.height, place.height);
    } else if (key == "navigation") {
      std::string state;
      words >> state;
      expectNavigation = state == "on";
    } else if (key == "animations") {
      size_t count = 0;
      words >> count;
      EXPECT_EQ(animations.size(), count);
    } else if (key == "at") {
      uint64_t t = 0;
      int32_t value = 0, shown = 0;
      words >> t >> value >> shown;
      PickFrames(t);
      EXPECT_EQ(ShownValue(value), shown) << "a cell holding " << value << " at " << t << " ms";
    } else if (key != "grid" && !key.empty()) {
      FAIL() << "unknown expectation: " << line;
    }
  }
  EXPECT_EQ(cameraX, expectedCamera[0]);
  EXPECT_EQ(cameraY, expectedCamera[1]);
  EXPECT_EQ(zoom.step, expectedZoom[0]);
  EXPECT_EQ(minZoomStep, expectedZoom[1]);
  EXPECT_EQ(zoom.subX + zoom.subY, 0);
  if (!expectOverview) {
    EXPECT_EQ(overviewTexture, nullptr) << "an overview was loaded";
  }
  EXPECT_EQ(navigationOn, expectNavigation);
  EXPECT_FALSE(overviewShown);
  UseAnimations({});
  ReleaseOverview();
  navigationOn = false;
}

INSTANTIATE_TEST_SUITE_P(Table, ViewCase, ::testing::ValuesIn(kViewRows),
                         [](const ::testing::TestParamInfo<ViewRow>& info) { return info.param.name; });

// Files too large to keep as rows: made here, at and one past each bound.
class ViewBounds : public ::testing::Test {
 protected:
  void TearDown() override {
    UseAnimations({});
    fs::remove_all(folder);
  }

  // `animationCount` animations of tiles 1, 2, ... with `frameCount` frames each.
  std::string LoadWith(size_t animationCount, size_t frameCount, const TilesetGrid& grid) {
    fs::create_directories(folder);
    std::ofstream file(folder / "view.json");
    file << "{\"animations\": [";
    for (size_t a = 0; a < animationCount; ++a) {
      file << (a ? "," : "") << "{\"tile\": " << a + 1 << ", \"frames\": [";
      for (size_t f = 0; f < frameCount; ++f) file << (f ? "," : "") << "{\"tile\":1,\"duration\":1}";
      file << "]}";
    }
    file << "]}";
    file.close();
    return LoadViewIn(folder, grid);
  }

  const fs::path folder = fs::temp_directory_path() / ("tilemap-view-bounds-" + std::to_string(::getpid()));
};

TEST_F(ViewBounds, AnAnimationOfMoreThan4096FramesIsIgnored) {
  EXPECT_EQ(LoadWith(1, 4096, {3, 7}), "");
  EXPECT_EQ(animations.size(), 1u);
  EXPECT_EQ(LoadWith(1, 4097, {3, 7}), "view.json: ignored: animation 0 has 4097 frames, more than 4096\n");
  EXPECT_TRUE(animations.empty());
}

TEST_F(ViewBounds, AMillionFramesInAllPlayAndMoreAreIgnored) {
  EXPECT_EQ(LoadWith(256, 4096, {3, 100}), "");
  EXPECT_EQ(animations.size(), 256u);
  EXPECT_EQ(LoadWith(257, 4096, {3, 100}), "view.json: ignored: more than 1048576 frames in all\n");
  EXPECT_TRUE(animations.empty());
}

TEST_F(ViewBounds, UpTo65536AnimationsPlayAndMoreAreIgnored) {
  EXPECT_EQ(LoadWith(65536, 1, {3, 30000}), "");
  EXPECT_EQ(animations.size(), 65536u);
  EXPECT_EQ(LoadWith(65537, 1, {3, 30000}), "view.json: ignored: 65537 animations, more than 65536\n");
  EXPECT_TRUE(animations.empty());
}

// The frame the editor's walk reaches, step by step.
size_t Walk(const std::vector<uint32_t>& durations, uint64_t t) {
  size_t index = 0;
  uint64_t left = t;
  while (durations[index] > 0 && left > durations[index]) {
    left -= durations[index];
    index = (index + 1) % durations.size();
  }
  return index;
}

TEST(AnimationClock, PicksTheFrameTheWalkReachesAtEveryTime) {
  uint32_t seed = 7;
  const auto next = [&seed](uint32_t below) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % below;
  };
  for (int round = 0; round < 300; ++round) {
    std::vector<uint32_t> durations(1 + next(6));
    std::vector<Animation::Frame> frames;
    for (uint32_t& duration : durations) {
      duration = next(5) == 0 ? 0 : 1 + next(40);  // now and then a frame that holds
      frames.push_back({static_cast<int32_t>(frames.size()), duration});
    }
    const Animation animation = MakeAnimation(1, frames);
    for (uint64_t t = 0; t < 700; ++t) {
      ASSERT_EQ(FrameAt(animation, t), Walk(durations, t)) << "round " << round << " at " << t << " ms";
    }
  }
}

TEST(AnimationClock, EachUpdateStepAdvancesTheClockTenMilliseconds) {
  std::array<Uint8, SDL_NUM_SCANCODES> keys{};
  bool quit = false;
  viewClockMs = 0;
  Uint32 accumulator = 9;  // less than a step: no time passes
  RunUpdateSteps(keys.data(), accumulator, quit);
  EXPECT_EQ(viewClockMs, 0u);
  accumulator = 120;  // five steps run, the rest waits for the next frames
  RunUpdateSteps(keys.data(), accumulator, quit);
  EXPECT_EQ(viewClockMs, 50u);
  RunUpdateSteps(keys.data(), accumulator, quit);
  RunUpdateSteps(keys.data(), accumulator, quit);
  EXPECT_EQ(viewClockMs, 120u);
}

// The drawing: a 32 x 32 tileset of 3 x 7 blocks, each one colour.
constexpr uint32_t kBackground = 0xFF000000;

uint32_t BlockColour(int value) { return 0xFF000000u | static_cast<uint32_t>(value) * 0x0A0B0Cu; }

int32_t* Cells(const std::vector<int32_t>& values) {
  auto* cells = static_cast<int32_t*>(std::malloc(values.size() * sizeof(int32_t)));
  std::copy(values.begin(), values.end(), cells);
  return cells;
}

class AnimatedDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    SDL_Surface* image = NewImage(96, 224);
    for (int value = 1; value <= 21; ++value)
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
          SetImagePixel(image, (value - 1) % 3 * 32 + x, (value - 1) / 3 * 32 + y, BlockColour(value));
        }
    canvas.UseTileset(image);
    SDL_FreeSurface(image);
    ResetLayerTable();
    // The ground all water (3), the row below the start view's first a
    // shore (4), and above it one reed (13) at column 45 of row 56.
    std::vector<int32_t> ground(128 * 128, 3), above(128 * 128, 0);
    for (int c = 0; c < 128; ++c) ground[55 * 128 + c] = 4;
    above[56 * 128 + 45] = 13;
    layers[0].Set(Cells(ground), 128, 128, 32, 32);
    layers[1].Set(Cells(above), 128, 128, 32, 32);
    layerCount = 2;
    cameraX = kCameraStartX;
    cameraY = kCameraStartY;
  }
  void TearDown() override {
    UseAnimations({});
    ResetLayerTable();
  }

  // The colour in the middle of cell (column, row), drawn at `t` ms: the
  // start view shows column 42 from x = -16 and row 54 from y = -12.
  uint32_t CellColourAt(uint64_t t, int column, int row) {
    PickFrames(t);
    canvas.Clear();
    DrawMap();
    return canvas.Pixel(32 * column - 1360 + 16, 32 * row - 1740 + 16);
  }

  SoftwareCanvas canvas;
};

TEST_F(AnimatedDrawing, EachAnimatedCellShowsItsFrameAtTheTime) {
  UseAnimations({MakeAnimation(3, {{3, 400}, {19, 400}, {20, 400}}), MakeAnimation(4, {{4, 600}, {0, 600}}),
                 MakeAnimation(13, {{14, 100}})});
  EXPECT_EQ(GridOfLoadedTileset().rows, 7);
  struct Case {
    uint64_t t;
    int water, shore;
  };
  for (const Case& c : {Case{0, 3, 4}, Case{400, 3, 4}, Case{410, 19, 4}, Case{600, 19, 4}, Case{610, 19, 0},
                        Case{1200, 20, 0}, Case{1210, 3, 4}}) {
    EXPECT_EQ(CellColourAt(c.t, 50, 60), BlockColour(c.water)) << c.t << " ms";
    // A frame of value 0 draws nothing: the background shows.
    EXPECT_EQ(CellColourAt(c.t, 50, 55), c.shore ? BlockColour(c.shore) : kBackground) << c.t << " ms";
    // Every layer's cells go through the frames: the reed shows its frame over the water.
    EXPECT_EQ(CellColourAt(c.t, 45, 56), BlockColour(14)) << c.t << " ms";
  }
}

TEST_F(AnimatedDrawing, TheTilesetGridCountsWholeBlocksOfTheMapsTileSize) {
  EXPECT_EQ(GridOfLoadedTileset().columns, 3);
  // A tileset held in bands (here of 64 rows) has the blocks of every band.
  SDL_Surface* image = NewImage(96, 224);
  canvas.UseTilesetInBands(image, 64);
  SDL_FreeSurface(image);
  ASSERT_EQ(tilesetBands.size(), 3u);
  EXPECT_EQ(GridOfLoadedTileset().rows, 7);
  layers[0].Set(Cells(std::vector<int32_t>(4, 1)), 2, 2, 40, 50);  // 96 x 224: 2 columns of 4 rows
  layers[1].~Layer();
  new (&layers[1]) Layer();
  const TilesetGrid grid = GridOfLoadedTileset();
  EXPECT_EQ(grid.columns, 2);
  EXPECT_EQ(grid.rows, 4);
  layers[0].Set(Cells(std::vector<int32_t>(4, 1)), 2, 2, 1, 1);  // tiles of one pixel: 224 rows
  EXPECT_EQ(GridOfLoadedTileset().rows, 224);
  // A map whose tiles have no width or no height has no blocks (nothing divides by 0).
  layers[0].Set(Cells(std::vector<int32_t>(4, 1)), 2, 2, 0, 32);
  EXPECT_EQ(GridOfLoadedTileset().rows, 0);
  layers[0].Set(Cells(std::vector<int32_t>(4, 1)), 2, 2, 32, 0);
  EXPECT_EQ(GridOfLoadedTileset().rows, 0);
  ResetLayerTable();  // no map: no blocks, so no animation can play
  EXPECT_EQ(GridOfLoadedTileset().rows, 0);
}

// Zoomed in: a map of 32 x 32 cells whose neighbours differ, over a
// tileset whose every pixel has a colour of its own (its value, column and
// row in the three channels), one value animated.
uint32_t TilesetPixel(int value, int x, int y) {
  return 0xFF000000u | static_cast<uint32_t>(value) << 16 | static_cast<uint32_t>(x) << 8 | static_cast<uint32_t>(y);
}

int FloorDiv(int a, int b) { return a / b - (a % b < 0 ? 1 : 0); }

class ZoomedDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    image = NewImage(96, 224);
    for (int value = 1; value <= 21; ++value)
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) SetImagePixel(image, (value - 1) % 3 * 32 + x, (value - 1) / 3 * 32 + y, TilesetPixel(value, x, y));
    canvas.UseTileset(image);
    ResetLayerTable();
    cells.assign(128 * 128, 0);
    for (int row = 0; row < 128; ++row)
      for (int column = 0; column < 128; ++column) cells[row * 128 + column] = 1 + (7 * column + 3 * row) % 21;
    layers[0].Set(Cells(cells), 128, 128, 32, 32);
    layerCount = 1;
    UseAnimations({MakeAnimation(5, {{5, 400}, {9, 400}})});
    cameraX = kCameraStartX;
    cameraY = kCameraStartY;
    zoom = Zoom{};
  }
  void TearDown() override {
    SDL_FreeSurface(image);
    UseAnimations({});
    ResetLayerTable();
    zoom = Zoom{};
  }

  std::vector<uint32_t> Draw(uint64_t t) {
    PickFrames(t);
    canvas.Clear();
    DrawMap();
    const auto* pixels = static_cast<const uint32_t*>(canvas.surface()->pixels);  // rows of 1280, no padding
    return {pixels, pixels + 1280 * 720};
  }

  SDL_Surface* image = nullptr;
  std::vector<int32_t> cells;
  SoftwareCanvas canvas;
};

TEST_F(ZoomedDrawing, TwoFourAndEightTimesAreTheOneToOnePictureScaledByNearestNeighbour) {
  // From one texture and from bands; cells twice as tall as the bands, each
  // drawn from two, drawn as from one texture (such cells lie elsewhere at
  // 1:1: rows step from the 32-pixel grid line of the view's top).
  for (const auto& [bandHeight, tileHeight] : {std::pair{0, 32}, {64, 32}, {32, 64}}) {
    layers[0].Set(Cells(cells), 128, 128, 32, tileHeight);
    for (const uint64_t t : {0, 500}) {  // the animated cells show their frame at every zoom
      for (const int step : {4, 8, 12}) {
        canvas.UseTileset(image);
        ZoomAt(0, 1280, 720);
        const std::vector<uint32_t> oneToOne = Draw(t);
        ZoomAt(step, 1280, 720);
        std::vector<uint32_t> expected = Draw(t);
        const int factor = 1 << (step / 4);
        for (int y = 0; y < 720 && tileHeight == 32; ++y)
          for (int x = 0; x < 1280; ++x) {
            // Window pixel x shows map pixel 2000 + floor((x - 640) / factor).
            expected[y * 1280 + x] = oneToOne[(360 + FloorDiv(y - 360, factor)) * 1280 + 640 + FloorDiv(x - 640, factor)];
          }
        if (bandHeight > 0) canvas.UseTilesetInBands(image, bandHeight);
        const std::vector<uint32_t> zoomed = Draw(t);
        const auto wrong = std::mismatch(zoomed.begin(), zoomed.end(), expected.begin()).first - zoomed.begin();
        EXPECT_EQ(wrong, 1280 * 720) << "at " << factor << " x, " << t << " ms, bands of " << bandHeight << ", tiles "
                                     << tileHeight << " tall: pixel " << wrong % 1280 << ", " << wrong / 1280
                                     << " differs";
      }
    }
  }
}

TEST_F(ZoomedDrawing, AtAFourthRootOfTwoNeighbouringCellsMeetWithNoGapOrOverlap) {
  ZoomAt(1, 1280, 720);
  ScrollView(3, 7);  // the view between whole map pixels
  ScrollView(3, 7);
  ASSERT_NE(zoom.subX, 0);
  ASSERT_NE(zoom.subY, 0);
  const std::vector<uint32_t> drawn = Draw(0);
  const auto column = [&drawn](int64_t x, int64_t y) { return drawn[y * 1280 + x] >> 8 & 0xFF; };
  const auto row = [&drawn](int64_t x, int64_t y) { return drawn[y * 1280 + x] & 0xFF; };
  for (int64_t edge = 32 * 60; edge <= 32 * 69; edge += 32) {  // cells' edges in view both ways
    const int64_t x = WindowEdge(edge, cameraX, zoom.subX, 640, zoom.step);
    const int64_t y = WindowEdge(edge, cameraY, zoom.subY, 360, zoom.step);
    for (const int at : {0, 359, 719}) {
      EXPECT_EQ(column(x - 1, at), 31u) << "left of map x " << edge << " at window " << x;
      EXPECT_EQ(column(x, at), 0u) << "right of map x " << edge << " at window " << x;
      EXPECT_EQ(row(at, y - 1), 31u) << "above map y " << edge << " at window " << y;
      EXPECT_EQ(row(at, y), 0u) << "below map y " << edge << " at window " << y;
    }
  }
  EXPECT_EQ(std::count(drawn.begin(), drawn.end(), kBackground), 0);  // no gap anywhere
}

// Zoomed out: the levels the importer writes, drawn at 1/2^L, match the
// picture averaged 2^L x 2^L; at the least step the whole picture fits,
// centred. A map of 700 x 100 cells (22,400 x 3,200 pixels, five levels).
TEST(ZoomedOutDrawing, TheLevelsShowThePictureBoxScaledDownToWhereItFits) {
  constexpr int kColumns = 700, kRows = 100;
  importer::Composition map;
  map.width = kColumns, map.height = kRows;
  map.picture = {0, 0, kColumns * 32, kRows * 32};
  map.layers = {std::vector<int32_t>(kColumns * kRows)};
  for (int row = 0; row < kRows; ++row)
    for (int column = 0; column < kColumns; ++column) map.layers[0][row * kColumns + column] = 1 + (column / 5 + row / 3) % 21;
  for (int value = 1; value <= 21; ++value) {
    importer::Block block;
    for (int i = 0; i < 32 * 32; ++i) {
      const uint32_t argb = TilesetPixel(value, i % 32, i / 32);
      block[i] = {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), 255};
    }
    map.blocks.push_back(block);
  }
  const fs::path folder = fs::temp_directory_path() / ("tilemap-zoomed-out-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  importer::WriteZoomLevels(importer::MakeZoomLevels(map), folder);
  std::ofstream(folder / "view.json") << R"({"start": {"x": 11200, "y": 1600}, "zoom": {"levels": 5}})";
  SoftwareCanvas canvas;
  ResetNavigation();
  LoadView((folder / "view.json").string(), TilesetGrid{3, 7});
  ASSERT_EQ(zoomLevels.size(), 5u);
  EXPECT_EQ(minZoomStep, -17);  // 2^(-17/4): 1178 pixels wide; at -16, 1400

  // The average of the map pixels [x0, x1) x [y0, y1), channel by channel.
  const auto average = [&](int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    double sums[3] = {};
    for (int64_t y = y0; y < y1; ++y)
      for (int64_t x = x0; x < x1; ++x) {
        const uint32_t argb = TilesetPixel(map.layers[0][y / 32 * kColumns + x / 32], x % 32, y % 32);
        for (int c = 0; c < 3; ++c) sums[c] += argb >> (16 - 8 * c) & 0xFF;
      }
    const double count = double(x1 - x0) * double(y1 - y0);
    return std::array<double, 3>{sums[0] / count, sums[1] / count, sums[2] / count};
  };
  for (const int step : {-4, -8, -16, -40}) {
    ZoomAt(step, 1280, 720);
    canvas.Clear();
    DrawMap();
    const int shown = std::max(step, minZoomStep);
    const double scale = std::pow(2.0, shown / 4.0);
    const int64_t left = WindowEdge(0, cameraX, zoom.subX, 640, zoom.step), right = WindowEdge(22400, cameraX, zoom.subX, 640, zoom.step);
    const int64_t top = WindowEdge(0, cameraY, zoom.subY, 360, zoom.step), bottom = WindowEdge(3200, cameraY, zoom.subY, 360, zoom.step);
    if (right - left <= 1280) {
      EXPECT_NEAR(left + right, 1280, 1) << step;  // centred across
    }
    double error = 0;
    int compared = 0;
    for (int y = 200; y < 520; y += 7)
      for (int x = 100; x < 1180; x += 13) {
        if (x < left || x >= right || y < top || y >= bottom) {
          EXPECT_EQ(canvas.Pixel(x, y), kBackground) << "beside the picture at " << x << ", " << y;
          continue;
        }
        const int64_t x0 = cameraX + int64_t(std::floor((x - 640) / scale)), y0 = cameraY + int64_t(std::floor((y - 360) / scale));
        const auto expected = average(x0, y0, x0 + int64_t(1 / scale), y0 + int64_t(1 / scale));
        for (int c = 0; c < 3; ++c) error += std::abs(double(canvas.Pixel(x, y) >> (16 - 8 * c) & 0xFF) - expected[c]);
        compared += 3;
      }
    ASSERT_GT(compared, 0);
    EXPECT_LT(error / compared, shown % 4 == 0 ? 1.5 : 6) << "step " << shown;
  }
  ResetNavigation();
  ReleaseZoomLevels();
  minZoomStep = 0;
  zoomPicture = {};
  fs::remove_all(folder);
}

// Level files that can't be used: the level is left out with the coarser
// ones, in one line, and the finer ones still serve.
TEST(ZoomLevelFiles, OneThatCantBeUsedLeavesOutItsLevelAndTheCoarserOnes) {
  importer::Composition map;  // 100 x 30 cells, 3200 x 960 pixels: two levels
  map.width = 100, map.height = 30;
  map.picture = {0, 0, 3200, 960};
  importer::Block block;
  block.fill({200, 100, 50, 255});
  map.blocks = {block};
  map.layers = {std::vector<int32_t>(3000, 1)};
  const fs::path folder = fs::temp_directory_path() / ("tilemap-zoom-files-" + std::to_string(::getpid()));
  const auto write = [](const fs::path& path, const std::string& text) { std::ofstream(path) << text; };
  struct Row {
    const char* what;
    std::function<void(const fs::path&)> spoil;
    size_t levels;
    std::string line;  // its start
  };
  const Row rows[] = {
      {"whole", [](const fs::path&) {}, 2, ""},
      {"no level.json", [](const fs::path& zoom) { fs::remove(zoom / "1/level.json"); }, 0,
       "zoom level 1 left out: zoom/1/level.json: "},
      {"a cell past the blocks", [&](const fs::path& zoom) {
         std::string cells = R"({"data": [9)";
         for (int i = 1; i < 25 * 8; ++i) cells += ", 1";
         write(zoom / "2/0_0.json", cells + "]}");
       }, 1, "zoom level 2 left out: zoom/2/0_0.json: cell 0 is not a block of the level"},
      {"too few cells", [&](const fs::path& zoom) { write(zoom / "2/0_0.json", R"({"data": [1, 1]})"); }, 1,
       "zoom level 2 left out: zoom/2/0_0.json: \"data\" is not an array of 200 cells"},
      {"a negative cell", [&](const fs::path& zoom) { write(zoom / "1/0_0.json", R"({"data": [-1]})"); }, 0,
       "zoom level 1 left out: zoom/1/0_0.json: "},
      {"no page", [](const fs::path& zoom) { fs::remove(zoom / "2/blocks-0.png"); }, 1,
       "zoom level 2 left out: zoom/2/blocks-0.png: "},
      {"a page too big to decode", [&](const fs::path& zoom) {
         SDL_Surface* huge = NewImage(4096, 1);
         IMG_SavePNG(huge, (zoom / "1/blocks-0.png").string().c_str());
         SDL_FreeSurface(huge);
       }, 0, "zoom level 1 left out: zoom/1/blocks-0.png: 4096 x 1 pixels, more than 2048 a side"},
      {"a page too small for its blocks", [&](const fs::path& zoom) {
         SDL_Surface* small = NewImage(16, 16);
         IMG_SavePNG(small, (zoom / "2/blocks-0.png").string().c_str());
         SDL_FreeSurface(small);
       }, 1, "zoom level 2 left out: zoom/2/blocks-0.png: 16 x 16 pixels, too small for its 2 blocks"},
      {"cells past counting", [&](const fs::path& zoom) { write(zoom / "1/level.json", R"({"width": 134217728, "height": 1, "blocks": 1})"); }, 0,
       "zoom level 1 left out: zoom/1/level.json: \"width\", \"height\" or \"blocks\" missing or out of range"},
      {"an animation of a block that isn't there", [&](const fs::path& zoom) {
         write(zoom / "2/level.json", R"({"width": 25, "height": 8, "blocks": 1, "animations": [{"tile": 7, "frames": [{"tile": 1, "duration": 5}]}]})");
       }, 1, "zoom level 2 left out: zoom/2/level.json: animation 0: tile 7 has no block in the level"},
  };
  SoftwareCanvas canvas;
  for (const Row& row : rows) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    importer::WriteZoomLevels(importer::MakeZoomLevels(map), folder);
    row.spoil(folder / "zoom");
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    std::ostringstream captured;
    std::streambuf* original = std::cerr.rdbuf(captured.rdbuf());
    LoadZoomLevels("", 1, 2);
    std::cerr.rdbuf(original);
    fs::current_path(previous);
    const std::string said = captured.str();
    EXPECT_EQ(zoomLevels.size(), row.levels) << row.what;
    EXPECT_EQ(said.rfind(row.line, 0), 0u) << row.what << ": " << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), row.line.empty() ? 0 : 1) << row.what;
  }
  ReleaseZoomLevels();
  fs::remove_all(folder);
}

// Which picture each step draws: the map down to the first step, then the
// nearest level (a tie to the coarser), the first one scaled up when the
// finer ones were left out, and the overview past the last.
TEST(ZoomLevelChoice, TheNearestLevelThereIsThenTheOverview) {
  struct Row {
    int first, count;
    bool overview;
    std::vector<std::pair<int, int>> steps;  // step, what it draws
  };
  const int kO = kOverviewLevel;
  const Row rows[] = {
      {1, 3, true, {{0, 0}, {5, 0}, {-1, 0}, {-2, 1}, {-5, 1}, {-6, 2}, {-13, 3}, {-14, kO}, {-32, kO}}},
      {1, 3, false, {{-13, 3}, {-14, 3}, {-32, 3}}},
      {3, 2, true, {{-1, 0}, {-2, 3}, {-9, 3}, {-13, 3}, {-14, 4}, {-17, 4}, {-18, kO}}},
      {1, 0, true, {{-1, 0}, {-2, kO}, {-20, kO}}},
      {1, 0, false, {{-1, 0}, {-2, 0}}},
  };
  SoftwareCanvas canvas;
  SDL_Texture* picture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, 1, 1);
  for (const Row& row : rows) {
    zoomLevels.assign(static_cast<size_t>(row.count), ZoomLevel{});
    zoomFirstLevel = row.first;
    overviewTexture = row.overview ? picture : nullptr;  // only whether there is one counts
    for (const auto& [step, drawn] : row.steps) {
      EXPECT_EQ(LevelForStep(step), drawn) << "levels " << row.first << " to " << row.first + row.count - 1
                                           << (row.overview ? ", an overview" : "") << ", step " << step;
    }
  }
  overviewTexture = nullptr;
  SDL_DestroyTexture(picture);
  zoomLevels.clear();
  zoomFirstLevel = 1;
}

// Past the levels there are (here none), the overview is stretched over
// the map pixels it shows.
TEST(ZoomLevelChoice, PastTheLevelsTheOverviewIsStretchedOverItsPlace) {
  SoftwareCanvas canvas;
  SDL_Surface* image = NewImage(2, 1);
  SetImagePixel(image, 0, 0, 0xFFFF0000);
  SetImagePixel(image, 1, 0, 0xFF0000FF);
  overviewTexture = SDL_CreateTextureFromSurface(renderer, image);
  SDL_FreeSurface(image);
  overviewPlace = {"overview.png", 0, 0, 8000, 2000};
  zoomPicture = {0, 0, 8000, 2000};
  minZoomStep = FittingStep(zoomPicture);
  ASSERT_EQ(minZoomStep, -11);  // 2^(-11/4): 1189 x 297 pixels
  cameraX = 700, cameraY = 300;
  ZoomAt(-40, 1280, 720);  // held at the least step, centred both ways
  canvas.Clear();
  DrawMap();
  const auto red = [&](int x, int y) { return canvas.Pixel(x, y) >> 16 & 0xFF; };
  const auto blue = [&](int x, int y) { return canvas.Pixel(x, y) & 0xFF; };
  EXPECT_GT(red(100, 360), blue(100, 360));
  EXPECT_GT(blue(1180, 360), red(1180, 360));
  EXPECT_EQ(canvas.Pixel(20, 360), kBackground);
  EXPECT_EQ(canvas.Pixel(640, 360 - 160), kBackground);
  EXPECT_EQ(canvas.Pixel(640, 360 + 160), kBackground);
  ResetNavigation();
  ReleaseOverview();
  minZoomStep = 0;
  zoomPicture = {};
}

// Finding the way. The demo's overview: 4096 x 4096 map pixels in a 720 x 720
// square in the middle of the window.
const OverviewPlace kDemoPlace{"overview.png", 0, 0, 4096, 4096};

struct Fit {
  int64_t x, y, width, height;
  WindowRect fitted;
};

TEST(Overview, FitsTheWindowWithItsAspectKeptAndCentred) {
  const Fit fits[] = {
      {0, 0, 4096, 4096, {280, 0, 1000, 720}},           // square: as tall as the window
      {0, 0, 1280, 720, {0, 0, 1280, 720}},              // the window's own shape, at one to one
      {5, 5, 8192, 1024, {0, 280, 1280, 440}},           // wide: as wide as the window
      {0, 0, 31712, 31616, {279, 0, 1001, 720}},         // a real world's, 722.2 rounded
      {0, 0, 12480, 29632, {488, 0, 791, 720}},          // a tall world: 303.2 wide
      {0, 0, 3000, 1000, {0, 146, 1280, 573}},           // 426.7 tall, rounded up
      {0, 0, 100, 50, {0, 40, 1280, 680}},               // a small map is enlarged
      {0, 0, 1, 1, {280, 0, 1000, 720}},                 // one pixel
      {0, 0, INT32_MAX, 1, {0, 359, 1280, 360}},         // a line: one pixel tall at least
      {0, 0, 1, INT32_MAX, {639, 0, 640, 720}},          // one pixel wide at least
  };
  for (const Fit& fit : fits) {
    const WindowRect got = FitOverview({"o.png", fit.x, fit.y, fit.width, fit.height});
    EXPECT_EQ(got.left, fit.fitted.left) << fit.width << " x " << fit.height;
    EXPECT_EQ(got.top, fit.fitted.top) << fit.width << " x " << fit.height;
    EXPECT_EQ(got.right, fit.fitted.right) << fit.width << " x " << fit.height;
    EXPECT_EQ(got.bottom, fit.fitted.bottom) << fit.width << " x " << fit.height;
  }
}

TEST(Overview, TheFrameIsTheViewScaledAsTheOverview) {
  const WindowRect fitted = FitOverview(kDemoPlace);
  // The start: map pixels 1360..2640 x 1740..2460, times 720 / 4096, rounded down.
  WindowRect frame = ViewFrame(kDemoPlace, fitted, 2000, 2100);
  EXPECT_EQ(frame.left, 280 + 239);
  EXPECT_EQ(frame.right, 280 + 464);
  EXPECT_EQ(frame.top, 305);
  EXPECT_EQ(frame.bottom, 432);
  // Left of the map: the frame starts left of the picture (rounded down, not towards 0).
  frame = ViewFrame(kDemoPlace, fitted, 0, 0);
  EXPECT_EQ(frame.left, 280 - 113);
  EXPECT_EQ(frame.top, -64);
  // A place that starts elsewhere moves the frame by as much.
  const OverviewPlace shifted{"o.png", -4096, 4096, 4096, 4096};
  frame = ViewFrame(shifted, fitted, 2000 - 4096, 2100 + 4096);
  EXPECT_EQ(frame.left, 280 + 239);
  EXPECT_EQ(frame.top, 305);
  // At one to one the frame is the window, exactly; a place of one map
  // pixel scales by 720.
  const OverviewPlace window{"o.png", 0, 0, 1280, 720}, pixel{"o.png", 0, 0, 1, 1};
  frame = ViewFrame(window, FitOverview(window), 640, 360);
  EXPECT_EQ(frame.left, 0);
  EXPECT_EQ(frame.top, 0);
  EXPECT_EQ(frame.right, 1280);
  EXPECT_EQ(frame.bottom, 720);
  frame = ViewFrame(pixel, FitOverview(pixel), 0, 0);
  EXPECT_EQ(frame.left, 280 - 640 * 720);
  EXPECT_EQ(frame.top, -360 * 720);
  // A huge world's frame is never smaller than kSmallestFrame; the camera's
  // far ends don't overflow.
  const OverviewPlace huge{"o.png", INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  frame = ViewFrame(huge, FitOverview(huge), INT32_MAX, INT32_MIN);
  EXPECT_EQ(frame.right - frame.left, kSmallestFrame);
  EXPECT_EQ(frame.bottom - frame.top, kSmallestFrame);
}

struct Click {
  int64_t x, y;
  bool onPicture;
  int32_t mapX, mapY;
};

TEST(Overview, AClickFindsTheMapPointUnderThePixelsCentre) {
  const WindowRect fitted = FitOverview(kDemoPlace);
  const Click clicks[] = {
      {280, 0, true, 2, 2},          // the first pixel's centre: 0.5 x 4096 / 720
      {999, 719, true, 4093, 4093},  // the last pixel's
      {640, 360, true, 2050, 2050},  // (360.5) x 4096 / 720
      {279, 360, false, 0, 0},       // the black left of the picture
      {1000, 360, false, 0, 0},      // and right of it
      {640, 720, false, 0, 0},       // below the window
      {-5, -5, false, 0, 0},
  };
  for (const Click& click : clicks) {
    int32_t x = -1, y = -1;
    EXPECT_EQ(MapPointAt(kDemoPlace, fitted, click.x, click.y, x, y), click.onPicture) << click.x << ", " << click.y;
    if (!click.onPicture) continue;
    EXPECT_EQ(x, click.mapX) << click.x << ", " << click.y;
    EXPECT_EQ(y, click.mapY) << click.x << ", " << click.y;
    // The frame drawn at the new camera has the clicked pixel at its middle, give or take one.
    const WindowRect frame = ViewFrame(kDemoPlace, fitted, x, y);
    EXPECT_LE(std::abs((frame.left + frame.right) / 2 - click.x), 1);
    EXPECT_LE(std::abs((frame.top + frame.bottom) / 2 - click.y), 1);
  }
  // A wide world's overview, 1280 x 620 from y = 50: each axis by its own scale.
  const OverviewPlace wide{"o.png", 0, 0, 40960, 19840};
  int32_t x = 0, y = 0;
  ASSERT_TRUE(MapPointAt(wide, FitOverview(wide), 640, 360, x, y));
  EXPECT_EQ(x, 20496);  // (640.5) x 32
  EXPECT_EQ(y, 9936);   // (310.5) x 32
  // A place reaching past 32 bits holds the camera at its range.
  const OverviewPlace far{"o.png", INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};
  ASSERT_TRUE(MapPointAt(far, FitOverview(far), 999, 719, x, y));
  EXPECT_EQ(x, INT32_MAX);
  EXPECT_EQ(y, INT32_MAX);
}

TEST(Navigation, AtOneToOneADragMovesTheCameraAgainstThePointerAndWraps) {
  struct Drag {
    int32_t fromX, fromY, toX, toY, cameraX, cameraY, movedX, movedY;
  };
  const Drag drags[] = {
      {100, 100, 130, 90, 2000, 2100, 1970, 2110},  // the map follows the pointer
      {0, 0, 1279, 719, 0, 0, -1279, -719},
      {500, 500, 500, 500, 7, 8, 7, 8},
      {10, 0, 0, 0, INT32_MAX, 0, INT32_MIN + 9, 0},  // wraps, as the arrows do
      {-100000, 0, 100000, 0, INT32_MIN, 0, INT32_MAX - 199999, 0},
  };
  for (const Drag& drag : drags) {
    zoom = Zoom{};
    cameraX = drag.cameraX;
    cameraY = drag.cameraY;
    ScrollView(-(int64_t{drag.toX} - drag.fromX), -(int64_t{drag.toY} - drag.fromY));  // what a drag does
    EXPECT_EQ(cameraX, drag.movedX);
    EXPECT_EQ(cameraY, drag.movedY);
    EXPECT_EQ(zoom.subX + zoom.subY, 0);
  }
}

SDL_Event Key(SDL_Keycode key, Uint8 repeat = 0) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.keysym.sym = key;
  event.key.repeat = repeat;
  return event;
}

SDL_Event Button(Uint32 type, int x, int y, Uint8 button = SDL_BUTTON_LEFT) {
  SDL_Event event{};
  event.type = type;
  event.button.button = button;
  event.button.x = x;
  event.button.y = y;
  return event;
}

SDL_Event Motion(int x, int y, Uint32 buttons = SDL_BUTTON_LMASK) {
  SDL_Event event{};
  event.type = SDL_MOUSEMOTION;
  event.motion.x = x;
  event.motion.y = y;
  event.motion.state = buttons;
  return event;
}

// The demo's overview on a software canvas: an 8 x 8 picture, each pixel its
// own colour, for 4096 x 4096 map pixels.
class Navigating : public ::testing::Test {
 protected:
  void SetUp() override {
    SDL_Surface* image = NewImage(8, 8);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) SetImagePixel(image, x, y, 0xFF000000u | static_cast<uint32_t>(x * 30 << 16 | y * 30));
    overviewTexture = SDL_CreateTextureFromSurface(renderer, image);
    SDL_FreeSurface(image);
    overviewPlace = kDemoPlace;
    ResetNavigation();
    navigationOn = true;
    cameraX = kCameraStartX;
    cameraY = kCameraStartY;
  }
  void TearDown() override {
    ReleaseOverview();
    ResetNavigation();
    navigationOn = false;
  }
  void Send(const SDL_Event& event) { HandleNavigationEvent(event); }

  SoftwareCanvas canvas;
};

TEST_F(Navigating, MShowsTheOverviewAndMAgainReturnsWithoutMoving) {
  Send(Key(SDLK_m));
  EXPECT_TRUE(overviewShown);
  Send(Key(SDLK_m, 1));  // the key held: its repeats change nothing
  EXPECT_TRUE(overviewShown);
  Send(Key(SDLK_n));
  EXPECT_TRUE(overviewShown);
  Send(Key(SDLK_m));
  EXPECT_FALSE(overviewShown);
  EXPECT_EQ(cameraX, kCameraStartX);
  EXPECT_EQ(cameraY, kCameraStartY);
  ReleaseOverview();  // no picture: M does nothing
  Send(Key(SDLK_m));
  EXPECT_FALSE(overviewShown);
}

TEST_F(Navigating, AClickOnTheOverviewMovesTheViewThereAndReturns) {
  Send(Button(SDL_MOUSEBUTTONDOWN, 640, 360));  // on the map: a drag starts, nothing moves
  Send(Button(SDL_MOUSEBUTTONUP, 640, 360));
  EXPECT_EQ(cameraX, kCameraStartX);
  Send(Key(SDLK_m));
  Send(Button(SDL_MOUSEBUTTONDOWN, 100, 360));  // beside the picture
  EXPECT_TRUE(overviewShown);
  Send(Button(SDL_MOUSEBUTTONDOWN, 280, 0, SDL_BUTTON_RIGHT));
  EXPECT_TRUE(overviewShown);
  EXPECT_EQ(cameraX, kCameraStartX);
  Send(Button(SDL_MOUSEBUTTONDOWN, 999, 0));
  EXPECT_FALSE(overviewShown);
  EXPECT_EQ(cameraX, 4093);
  EXPECT_EQ(cameraY, 2);
  // The button let go and the pointer moved after the click: no drag.
  Send(Motion(900, 100));
  Send(Button(SDL_MOUSEBUTTONUP, 900, 100));
  EXPECT_EQ(cameraX, 4093);
  EXPECT_EQ(cameraY, 2);
  // Zoomed in, a click keeps the zoom and goes to that very map pixel.
  zoom = {6, 1000, 2000};
  Send(Key(SDLK_m));
  Send(Button(SDL_MOUSEBUTTONDOWN, 280, 0));
  EXPECT_EQ(zoom.step, 6);
  EXPECT_EQ(cameraX, 2);
  EXPECT_EQ(zoom.subX + zoom.subY, 0);
}

TEST_F(Navigating, EitherEnterOnTheOverviewTakesThePointUnderThePointer) {
  // A window for the pointer to be in, from SDL's dummy video driver.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
  ASSERT_EQ(SDL_VideoInit(nullptr), 0) << SDL_GetError();
  SDL_Window* window = SDL_CreateWindow("", 0, 0, 1280, 720, 0);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  SDL_WarpMouseInWindow(window, 999, 0);
  Send(Key(SDLK_RETURN));  // on the map: nothing
  EXPECT_EQ(cameraX, kCameraStartX);
  for (const SDL_Keycode enter : {SDLK_RETURN, SDLK_KP_ENTER}) {
    cameraX = cameraY = 0;
    Send(Key(SDLK_m));
    Send(Key(enter));
    EXPECT_FALSE(overviewShown) << SDL_GetKeyName(enter);
    EXPECT_EQ(cameraX, 4093) << SDL_GetKeyName(enter);
    EXPECT_EQ(cameraY, 2) << SDL_GetKeyName(enter);
  }
  SDL_DestroyWindow(window);
  SDL_VideoQuit();
}

TEST_F(Navigating, ADragMovesTheMapPixelForPixelUntilTheButtonIsLetGo) {
  Send(Motion(600, 300, 0));  // moving without the button: nothing
  Send(Button(SDL_MOUSEBUTTONDOWN, 600, 300));
  Send(Motion(610, 295));
  EXPECT_EQ(cameraX, kCameraStartX - 10);
  EXPECT_EQ(cameraY, kCameraStartY + 5);
  Send(Motion(500, 400));
  Send(Button(SDL_MOUSEBUTTONUP, 505, 400));
  EXPECT_EQ(cameraX, kCameraStartX + 95);
  EXPECT_EQ(cameraY, kCameraStartY - 100);
  Send(Motion(0, 0, 0));
  EXPECT_EQ(cameraX, kCameraStartX + 95);
  // The right button drags nothing; a button let go outside the window ends the drag.
  Send(Button(SDL_MOUSEBUTTONDOWN, 0, 0, SDL_BUTTON_RIGHT));
  Send(Motion(50, 50, SDL_BUTTON_RMASK));
  Send(Button(SDL_MOUSEBUTTONDOWN, 0, 0));
  Send(Motion(30, 30, 0));
  Send(Motion(60, 60));
  EXPECT_EQ(cameraX, kCameraStartX + 95);
  EXPECT_EQ(cameraY, kCameraStartY - 100);
  // M in the middle of a drag ends it too.
  Send(Button(SDL_MOUSEBUTTONDOWN, 0, 0));
  Send(Key(SDLK_m));
  Send(Key(SDLK_m));
  Send(Motion(40, 40));
  EXPECT_EQ(cameraX, kCameraStartX + 95);
}

SDL_Event Wheel(Sint32 notches, bool flipped = false, int x = 640, int y = 360) {
  SDL_Event event{};
  event.type = SDL_MOUSEWHEEL;
  event.wheel.y = notches;
  event.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
  event.wheel.mouseX = x;
  event.wheel.mouseY = y;
  return event;
}

// The map pixel shown at window pixel `at` on an axis: the one whose rounded
// edges hold it.
int64_t MapPixelUnder(int64_t at, int32_t camera, int32_t sub, int64_t middle) {
  int64_t m = camera + (at - middle) * kScaleOne / ZoomScale(zoom.step) - 2;
  while (WindowEdge(m + 1, camera, sub, middle, zoom.step) <= at) ++m;
  return m;
}

TEST(Zoom, StepsAreFourthRootsOfTwoAndFourStepsDoubleExactly) {
  for (int step = kLeastZoomStep; step <= kMaxZoomStep; ++step) {
    EXPECT_NEAR(static_cast<double>(ZoomScale(step)) / kScaleOne, std::pow(2.0, step / 4.0), 1e-5) << step;
  }
  EXPECT_EQ(ZoomScale(4), 2 * kScaleOne);
  EXPECT_EQ(ZoomScale(8), 4 * kScaleOne);
  EXPECT_EQ(ZoomScale(12), 8 * kScaleOne);
}

TEST_F(Navigating, PlusMinusZeroAndTheWheelStepTheZoomFromOneToOneToEightTimes) {
  const SDL_Event plus = Key(SDLK_PLUS);
  struct Row {
    const char* what;
    std::vector<SDL_Event> events;
    int step;
    bool aboutTheMiddle;  // the camera stays where it was
  };
  const Row rows[] = {
      {"+ four times", {plus, plus, plus, plus}, 4, true},
      {"= and keypad +, held", {Key(SDLK_EQUALS), Key(SDLK_KP_PLUS), Key(SDLK_KP_PLUS, 1)}, 3, true},
      {"- and keypad - back", {plus, plus, plus, Key(SDLK_MINUS), Key(SDLK_KP_MINUS)}, 1, true},
      {"- stops at 1:1 for now", {Key(SDLK_MINUS), Wheel(-3), plus, Key(SDLK_MINUS), Key(SDLK_MINUS)}, 0, true},
      {"+ stops at 8 x", std::vector<SDL_Event>(20, plus), 12, true},
      {"0 returns to 1:1", {plus, plus, plus, plus, plus, Key(SDLK_0)}, 0, true},
      {"a notch away from the user zooms in, towards out", {Wheel(1), Wheel(1), Wheel(-1), Wheel(2)}, 3, false},
      {"a flipped wheel", {Wheel(-3, true), Wheel(1, true)}, 2, false},
      {"notches past counting", {Wheel(INT32_MAX), Wheel(INT32_MIN, true)}, 12, false},
      {"on the overview the wheel does nothing", {Key(SDLK_m), Wheel(2), Key(SDLK_m)}, 0, true},
  };
  for (const Row& row : rows) {
    ResetNavigation();
    cameraX = kCameraStartX;
    cameraY = kCameraStartY;
    for (const SDL_Event& event : row.events) Send(event);
    EXPECT_EQ(zoom.step, row.step) << row.what;
    if (!row.aboutTheMiddle) continue;
    EXPECT_EQ(cameraX, kCameraStartX) << row.what;
    EXPECT_EQ(cameraY, kCameraStartY) << row.what;
    EXPECT_EQ(zoom.subX + zoom.subY, 0) << row.what;
  }
}

TEST_F(Navigating, TheWheelKeepsTheMapPixelUnderThePointer) {
  struct Row {
    int from, notches, x, y;
  };
  const Row rows[] = {{0, 1, 100, 50},  {0, 4, 1279, 719}, {3, 5, 333, 444}, {7, -3, 640, 360},
                      {12, -12, 5, 700}, {5, -5, 1000, 11}, {1, 11, 0, 0},    {9, 1, 901, 203}};
  for (const Row& row : rows) {
    ResetNavigation();
    cameraX = kCameraStartX;
    cameraY = kCameraStartY;
    ZoomAt(row.from, 1001, 333);  // somewhere between whole map pixels
    const int64_t mapX = MapPixelUnder(row.x, cameraX, zoom.subX, 640);
    const int64_t mapY = MapPixelUnder(row.y, cameraY, zoom.subY, 360);
    Send(Wheel(row.notches, false, row.x, row.y));
    EXPECT_EQ(zoom.step, row.from + row.notches);
    EXPECT_EQ(MapPixelUnder(row.x, cameraX, zoom.subX, 640), mapX) << row.from << " + " << row.notches;
    EXPECT_EQ(MapPixelUnder(row.y, cameraY, zoom.subY, 360), mapY) << row.from << " + " << row.notches;
    if (zoom.step == 0) {
      EXPECT_EQ(zoom.subX + zoom.subY, 0);  // back at 1:1: whole map pixels
    }
  }
}

TEST_F(Navigating, ZoomedInADragMovesTheMapWithThePointerExactly) {
  for (const int step : {1, 4, 7, 12}) {
    ZoomAt(step, 1001, 333);
    const auto edgeX = [] { return WindowEdge(2010, cameraX, zoom.subX, 640, zoom.step); };
    const auto edgeY = [] { return WindowEdge(2090, cameraY, zoom.subY, 360, zoom.step); };
    const int64_t x = edgeX(), y = edgeY();
    Send(Button(SDL_MOUSEBUTTONDOWN, 600, 300));
    Send(Motion(637, 289));
    EXPECT_EQ(edgeX(), x + 37) << step;
    EXPECT_EQ(edgeY(), y - 11) << step;
    for (int k = 1; k <= 300; ++k) Send(Motion(637 - k, 289 + k));  // a slow drag: no error adds up
    Send(Button(SDL_MOUSEBUTTONUP, 301, 500));
    EXPECT_EQ(edgeX(), x - 299) << step;
    EXPECT_EQ(edgeY(), y + 200) << step;
  }
}

// A finger at window point (x, y), as SDL gives it: 0 to 1 across the window.
SDL_Event Finger(Uint32 type, SDL_FingerID id, double x, double y) {
  SDL_Event event{};
  event.type = type;
  event.tfinger.touchId = 1;
  event.tfinger.fingerId = id;
  event.tfinger.x = static_cast<float>(x / 1280);
  event.tfinger.y = static_cast<float>(y / 720);
  return event;
}

// The mouse event SDL makes of the first finger.
SDL_Event MadeFromTouch(SDL_Event event) {
  (event.type == SDL_MOUSEMOTION ? event.motion.which : event.button.which) = SDL_TOUCH_MOUSEID;
  return event;
}

TEST_F(Navigating, OneFingerDragsTheMapExactlyAsTheMouseDoesAndOnlyOnce) {
  const std::pair<int, int> path[] = {{600, 300}, {637, 289}, {640, 289}, {200, 500}, {201, 502}};
  for (const int step : {0, 5}) {
    const auto dragged = [&](bool byFinger) {
      ResetNavigation();
      cameraX = kCameraStartX;
      cameraY = kCameraStartY;
      ZoomAt(step, 1001, 333);
      for (size_t k = 0; k < std::size(path); ++k) {
        const auto [x, y] = path[k];
        const Uint32 mouseType = k == 0 ? SDL_MOUSEBUTTONDOWN : k + 1 == std::size(path) ? SDL_MOUSEBUTTONUP : 0;
        const SDL_Event mouse = mouseType == 0 ? Motion(x, y) : Button(mouseType, x, y);
        if (!byFinger) {
          Send(mouse);
          continue;
        }
        // The finger on the pixel's corner, as a browser gives it (SDL's
        // float may fall a hair short), with what SDL and the platform make
        // of it for the mouse.
        const Uint32 fingerType = k == 0 ? SDL_FINGERDOWN : k + 1 == std::size(path) ? SDL_FINGERUP : SDL_FINGERMOTION;
        Send(Finger(fingerType, 7, x, y));
        Send(MadeFromTouch(mouse));
        Send(mouse);
      }
      return std::array<int32_t, 4>{cameraX, cameraY, zoom.subX, zoom.subY};
    };
    const auto byMouse = dragged(false);
    EXPECT_NE(byMouse[0], kCameraStartX) << step;
    EXPECT_EQ(dragged(true), byMouse) << step;
  }
}

TEST_F(Navigating, TwoFingersZoomAStepForEachFourthRootOfTwoTheirSpreadChangesAboutTheirMiddle) {
  struct Row {
    const char* what;
    int from;
    std::vector<double> spreads;  // the fingers' distance, moved to each in turn
    int step;
  };
  const Row rows[] = {
      {"spread to twice: four steps in", 0, {200, 400}, 4},
      {"a little less than 2^(1/4): nothing yet", 3, {200, 237}, 3},
      {"to 1.5 times, back and out again", 5, {200, 300, 240, 330}, 7},
      {"pinched to a half: four steps out", 8, {400, 200}, 4},
      {"spread to eight times: held at 8 x", 6, {100, 800}, kMaxZoomStep},
  };
  // About the middle pixel's centre, along a slant. The fingers move one
  // after the other, as SDL tells them, half a pixel of spread at a time:
  // the point between them is off by at most a fifth of a pixel at a step.
  const double middleX = 701.5, middleY = 333.5;
  const auto mapPointUnder = [](double at, int32_t camera, int32_t sub, double middle) {
    return camera + static_cast<double>(sub) / kSubpixels + (at - middle) * kScaleOne / ZoomScale(zoom.step);
  };
  for (const Row& row : rows) {
    ResetNavigation();
    cameraX = kCameraStartX;
    cameraY = kCameraStartY;
    ZoomAt(row.from, 1001, 333);
    const double mapX = mapPointUnder(middleX, cameraX, zoom.subX, 640);
    const double mapY = mapPointUnder(middleY, cameraY, zoom.subY, 360);
    const auto place = [&](Uint32 type, double spread) {  // the first finger also moves SDL's mouse
      const double dx = 0.4 * spread, dy = 0.3 * spread;
      Send(Finger(type, 1, middleX - dx, middleY - dy));
      const int mouseX = static_cast<int>(middleX - dx), mouseY = static_cast<int>(middleY - dy);
      Send(MadeFromTouch(type == SDL_FINGERDOWN ? Button(SDL_MOUSEBUTTONDOWN, mouseX, mouseY) : Motion(mouseX, mouseY)));
      Send(Finger(type, 2, middleX + dx, middleY + dy));
    };
    place(SDL_FINGERDOWN, row.spreads[0]);
    for (size_t k = 1; k < row.spreads.size(); ++k) {
      const double from = row.spreads[k - 1], to = row.spreads[k];
      const int parts = static_cast<int>(std::abs(to - from) * 2);
      for (int part = 1; part <= parts; ++part) place(SDL_FINGERMOTION, from + (to - from) * part / parts);
    }
    EXPECT_EQ(zoom.step, row.step) << row.what;
    const double scale = static_cast<double>(ZoomScale(zoom.step)) / kScaleOne;  // window pixels a map pixel
    EXPECT_LT(std::abs(mapPointUnder(middleX, cameraX, zoom.subX, 640) - mapX) * scale, 0.5) << row.what;
    EXPECT_LT(std::abs(mapPointUnder(middleY, cameraY, zoom.subY, 360) - mapY) * scale, 0.5) << row.what;
  }
  // Pinched past the least step, it holds there; spreading again zooms in at once.
  const int least = std::max(minZoomStep, kLeastZoomStep);
  ResetNavigation();
  ZoomAt(least + 2, 1280, 720);
  Send(Finger(SDL_FINGERDOWN, 1, 600, 300));
  Send(Finger(SDL_FINGERDOWN, 2, 1000, 300));
  Send(Finger(SDL_FINGERMOTION, 2, 650, 300));
  EXPECT_EQ(zoom.step, least);
  Send(Finger(SDL_FINGERMOTION, 2, 660, 300));
  EXPECT_EQ(zoom.step, least + 1);
}

TEST(Zoom, TheArrowsMoveTheView500WindowPixelsASecondAtEveryZoom) {
  std::array<Uint8, SDL_NUM_SCANCODES> keys{};
  bool quit = false;
  for (int step = kLeastZoomStep; step <= kMaxZoomStep; ++step) {
    zoom = {step, 0, 0};
    cameraX = kCameraStartX;
    cameraY = kCameraStartY;
    const auto edgeX = [] { return WindowEdge(2003, cameraX, zoom.subX, 640, zoom.step); };
    const auto edgeY = [] { return WindowEdge(2103, cameraY, zoom.subY, 360, zoom.step); };
    const int64_t x = edgeX(), y = edgeY();
    keys[SDL_SCANCODE_RIGHT] = keys[SDL_SCANCODE_UP] = 1;
    for (int frame = 0; frame < 20; ++frame) {  // a second of 10 ms steps
      Uint32 accumulator = 50;
      RunUpdateSteps(keys.data(), accumulator, quit);
    }
    EXPECT_EQ(edgeX(), x - 500) << step;
    EXPECT_EQ(edgeY(), y + 500) << step;
    // Two opposite arrows cancel exactly.
    const int32_t heldX = cameraX, heldSub = zoom.subX;
    keys[SDL_SCANCODE_LEFT] = 1;
    Uint32 accumulator = 50;
    RunUpdateSteps(keys.data(), accumulator, quit);
    EXPECT_EQ(cameraX, heldX) << step;
    EXPECT_EQ(zoom.subX, heldSub) << step;
    keys = {};
  }
  zoom = Zoom{};
}

TEST_F(Navigating, TheOverviewDrawsThePictureAndAFrameWhereTheViewIs) {
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  canvas.Clear();
  DrawOverview();
  // Each of the 8 x 8 pixels stands for 90 x 90 of the window's, from x = 280.
  EXPECT_EQ(canvas.Pixel(280, 0), 0xFF000000u);
  EXPECT_EQ(canvas.Pixel(280 + 2 * 90 + 45, 5 * 90 + 45), 0xFF000000u | (60u << 16) | 150u);
  EXPECT_EQ(canvas.Pixel(279, 300), 0xFF000000u);  // black around
  EXPECT_EQ(canvas.Pixel(1000, 300), 0xFF000000u);
  // The frame at the start: x 519..744, y 305..432, two pixels wide.
  const uint32_t frame = 0xFF000000u | uint32_t{kFrameColour.r} << 16 | uint32_t{kFrameColour.g} << 8 | kFrameColour.b;
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{519, 305}, {520, 306}, {743, 431}, {742, 430},
                                                              {600, 305}, {600, 431}, {519, 400}, {743, 400}}) {
    EXPECT_EQ(canvas.Pixel(x, y), frame) << x << ", " << y;
  }
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{518, 400}, {521, 400}, {744, 400}, {741, 400},
                                                              {600, 304}, {600, 307}, {600, 432}}) {
    EXPECT_NE(canvas.Pixel(x, y), frame) << x << ", " << y;
  }
  // The renderer's draw colour is left as it was.
  Uint8 r = 1, g = 1, b = 1, a = 1;
  SDL_GetRenderDrawColor(renderer, &r, &g, &b, &a);
  EXPECT_EQ(r + g + b, 0);
  EXPECT_EQ(a, 255);
  // Zoomed in twice, the frame is half the size about the same middle: map
  // pixels 1680..2320 x 1920..2280, x 295..407 and y 337..400.
  zoom = {4, 0, 0};
  canvas.Clear();
  DrawOverview();
  EXPECT_EQ(canvas.Pixel(280 + 295, 337), frame);
  EXPECT_EQ(canvas.Pixel(280 + 406, 399), frame);
  EXPECT_NE(canvas.Pixel(519, 305), frame);
  zoom = Zoom{};
  // A camera far off the map draws no frame, and nothing overflows.
  cameraX = INT32_MIN;
  cameraY = INT32_MAX;
  canvas.Clear();
  DrawOverview();
  EXPECT_EQ(canvas.Pixel(280, 719), 0xFF000000u | (0u << 16) | 210u);
}

TEST(CameraReport, TellsTheFirstViewAndEachChangeOfCameraOrZoom) {
  EXPECT_TRUE(CameraIsNews(2000, 2100, 0));
  EXPECT_FALSE(CameraIsNews(2000, 2100, 0));
  EXPECT_TRUE(CameraIsNews(2005, 2100, 0));
  EXPECT_TRUE(CameraIsNews(2005, 2095, 0));
  EXPECT_FALSE(CameraIsNews(2005, 2095, 0));
  EXPECT_TRUE(CameraIsNews(2005, 2095, 1));  // zoomed about the camera
  EXPECT_FALSE(CameraIsNews(2005, 2095, 1));
  EXPECT_TRUE(CameraIsNews(2000, 2100, 1));
}

// A site's map drawn from its pieces: once they are in, as the whole files
// draw it, at 1:1, zoomed in and out, animated; where a piece is missing
// the coarser level's piece stands in, and where that is missing too the
// overview: never black where the map has a picture.
TEST(PiecesDrawing, AsTheWholeFilesOnceInAndCoarserWhereAPieceIsMissing) {
  constexpr int kColumns = 160, kRows = 90;  // 5120 x 2880 pixels: levels 1 and 2
  importer::Composition map;
  map.width = kColumns, map.height = kRows;
  map.picture = {0, 0, kColumns * 32, kRows * 32};
  map.layerNames = {"ground", "marks"};
  map.layers.assign(2, std::vector<int32_t>(kColumns * kRows, 0));
  for (int row = 0; row < kRows; ++row)
    for (int column = 0; column < kColumns; ++column) {
      map.layers[0][row * kColumns + column] = 1 + (column / 5 + row / 3) % 21;
      if ((column + 2 * row) % 7 == 0) map.layers[1][row * kColumns + column] = 22;
    }
  for (int value = 1; value <= 23; ++value) {
    importer::Block block;
    for (int i = 0; i < 32 * 32; ++i) {
      const uint32_t argb = TilesetPixel(value, i % 32, i / 32);
      const uint8_t alpha = value >= 22 ? (i % 32 < 16 ? 0 : 128) : 255;  // the marks: half empty, half faint
      block[i] = {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), alpha};
    }
    map.blocks.push_back(block);
  }
  map.animations = {{22, {{22, 300}, {23, 300}}}};
  const fs::path folder = fs::temp_directory_path() / ("tilemap-pieces-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  importer::WriteOutput(map, folder.string(), true);
  std::string view;
  std::getline(std::ifstream(folder / "view.json"), view, '\0');
  std::ofstream(folder / "whole.json") << std::regex_replace(view, std::regex("\"pieces\": true"), "\"whole\": 1");

  SoftwareCanvas canvas;
  ResetLayerTable();
  tileset = LoadTexture((folder / "final.png").string());
  std::ostringstream names;
  std::streambuf* output = std::cout.rdbuf(names.rdbuf());
  LoadMap((folder / "main.json").string(), layers, kMaxLayers);
  std::cout.rdbuf(output);
  const auto picture = [&] {
    std::vector<uint32_t> pixels(1280 * 720);
    for (int i = 0; i < 1280 * 720; ++i) pixels[i] = canvas.Pixel(i % 1280, i / 1280);
    return pixels;
  };
  struct Place {
    int step;
    int32_t x, y;
    uint64_t t;
  };
  const Place places[] = {{0, 2000, 2100, 0}, {0, 3077, 411, 450}, {5, 1023, 1025, 0}, {-1, 2560, 1440, 300},
                          {-6, 2560, 1440, 0}, {-9, 100, 2800, 0}};
  const auto go = [](const Place& place) {
    ZoomAt(0, 1280, 720);
    cameraX = place.x, cameraY = place.y;
    ZoomAt(place.step, 1280, 720);
    PickFrames(place.t);
  };
  const auto load = [&](const char* name) {
    std::ostringstream said;
    std::streambuf* errors = std::cerr.rdbuf(said.rdbuf());
    LoadView((folder / name).string(), GridOfLoadedTileset());
    std::cerr.rdbuf(errors);
    return said.str();
  };
  std::vector<std::vector<uint32_t>> expected;
  EXPECT_EQ(load("whole.json"), "");
  ASSERT_FALSE(piecesOn);
  for (const Place& place : places) {
    go(place);
    canvas.Clear();
    DrawMap();
    expected.push_back(picture());
  }
  // Frames until the view's pieces are in, each taking those it can.
  const auto drawUntil = [&](const std::function<bool(const std::vector<uint32_t>&)>& done) {
    std::vector<uint32_t> shown;
    for (int frame = 0; frame < 200; ++frame) {
      canvas.Clear();
      DrawMap();
      shown = picture();
      if (done(shown)) break;
    }
    return shown;
  };
  EXPECT_EQ(load("view.json"), "");
  ASSERT_TRUE(piecesOn);
  ASSERT_EQ(pieceLevels.size(), 3u);
  for (size_t i = 0; i < std::size(places); ++i) {
    go(places[i]);
    EXPECT_TRUE(drawUntil([&](const std::vector<uint32_t>& shown) { return shown == expected[i]; }) == expected[i])
        << "step " << places[i].step << " at " << places[i].x << ", " << places[i].y;
  }

  // The piece under the start is missing, then the level 1 piece over it
  // too: the rest of the view as before, that piece's square not black.
  const auto removePiece = [&](int level, int column, int row) {
    const std::string prefix = std::to_string(column) + "_" + std::to_string(row) + "-";
    for (const auto& file : fs::directory_iterator(folder / "pieces" / std::to_string(level)))
      if (file.path().filename().string().rfind(prefix, 0) == 0) fs::remove(file.path());
  };
  for (const int missingLevels : {1, 3}) {
    for (int level = 0; level < missingLevels; ++level) removePiece(level, 1 >> level, 2 >> level);
    load("view.json");
    go(places[0]);
    const int left = 1024 - 2000 + 640, top = 2048 - 2100 + 360;  // piece 1_2's window rectangle
    const auto outside = [&](int i) { return i % 1280 < left || i % 1280 >= left + 1024 || i / 1280 < top; };
    std::ostringstream said;
    std::streambuf* errors = std::cerr.rdbuf(said.rdbuf());
    const std::vector<uint32_t> shown = drawUntil([&](const std::vector<uint32_t>& shown) {
      for (int i = 0; i < 1280 * 720; ++i)
        if (outside(i) && shown[i] != expected[0][i]) return false;
      return true;
    });
    std::cerr.rdbuf(errors);
    int differing = 0;
    for (int i = 0; i < 1280 * 720; ++i) {
      if (outside(i)) {
        ASSERT_EQ(shown[i], expected[0][i]) << missingLevels << " levels missing, at " << i % 1280 << ", " << i / 1280;
      } else {
        ASSERT_NE(shown[i], kBackground) << missingLevels << " levels missing, at " << i % 1280 << ", " << i / 1280;
        differing += shown[i] != expected[0][i];
      }
    }
    EXPECT_GT(differing, 1000) << missingLevels;
    EXPECT_EQ(said.str().rfind((folder / "pieces/0/1_2-").string(), 0), 0u) << said.str();
    EXPECT_NE(said.str().find(".json: missing; the picture there stays coarser\n"), std::string::npos) << said.str();
  }

  // What a frame asks for, most first: the view's pieces, nearest the
  // middle; the ring around them, nearest the place a piece ahead of the
  // motion; the next coarser level's about the view. (With no piece files
  // there, the first frame after a load asks for all it wants.)
  for (const int level : {0, 1, 2}) fs::remove_all(folder / "pieces" / std::to_string(level));
  const auto askedFor = [&](int32_t x, int32_t y) {
    std::ostringstream said;
    std::streambuf* errors = std::cerr.rdbuf(said.rdbuf());
    load("view.json");
    go({0, x, y, 0});
    DrawMap();
    std::cerr.rdbuf(errors);
    return std::regex_replace(WantedPiecesText(), std::regex("pieces/(\\d)/(\\d+_\\d+)-[0-9a-f]{16}(\n?)"), "$1/$2 ");
  };
  askedFor(2000, 2100);
  EXPECT_EQ(askedFor(2000, 2100),
            "0/1_2 0/2_2 0/1_1 0/2_1 "
            "0/0_2 0/0_1 0/3_2 0/1_0 0/3_1 0/2_0 0/0_0 0/3_0 "
            "1/0_1 1/1_1 1/0_0 1/1_0 ");
  EXPECT_EQ(askedFor(2010, 2100),  // moving right
            "0/1_2 0/2_2 0/1_1 0/2_1 "
            "0/3_2 0/3_1 0/2_0 0/3_0 0/1_0 0/0_2 0/0_1 0/0_0 "
            "1/0_1 1/1_1 1/0_0 1/1_0 ");
  EXPECT_EQ(askedFor(2010, 2090),  // moving up
            "0/1_2 0/2_2 0/1_1 0/2_1 "
            "0/1_0 0/2_0 0/0_1 0/0_0 0/3_1 0/3_0 0/0_2 0/3_2 "
            "1/0_1 1/1_1 1/0_0 1/1_0 ");
  ReleasePieces();
  ReleaseZoomLevels();
  ReleaseTileset();
  ResetLayerTable();
  ResetNavigation();
  minZoomStep = 0;
  zoomPicture = {};
  fs::remove_all(folder);
}

// A piece's files that can't be used: the piece is refused with what is
// wrong, and never read past its bounds.
TEST(PieceFiles, ThatCantBeUsedAreRefusedSayingWhy) {
  const fs::path folder = fs::temp_directory_path() / ("tilemap-piece-files-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  SoftwareCanvas canvas;
  const auto picture = [&](int width, int height) {
    SDL_Surface* image = NewImage(width, height);
    IMG_SavePNG(image, (folder / "p.png").string().c_str());
    SDL_FreeSurface(image);
  };
  PieceLevel level;
  level.width = 40, level.height = 33, level.layers = 2;  // piece 1_1: 8 x 1 cells
  const std::string cells = "[1, 2, 0, 0, 0, 0, 0, 3], [0, 0, 0, 0, 0, 0, 0, -5]";
  struct Row {
    std::string json;
    int width, height;  // of the picture
    std::string problem;  // "" when it is read
  };
  const Row rows[] = {
      {R"({"blocks": 3, "layers": [)" + cells + "]}", 96, 32, ""},
      {R"({"blocks": 3, "layers": [)" + cells + R"(], "animations": [{"tile": 2, "frames": [{"tile": 3, "duration": 5}]}]})", 96, 32, ""},
      {R"({"blocks": 65, "layers": [)" + cells + "]}", 2048, 64, ""},
      {R"({"blocks": 8193, "layers": [)" + cells + "]}", 96, 32, "p.json: \"blocks\" is not a count from 0 to 8192"},
      {R"({"blocks": -1, "layers": [)" + cells + "]}", 96, 32, "p.json: \"blocks\" is not a count from 0 to 8192"},
      {R"({"blocks": 3, "layers": [[1, 2, 3]]})", 96, 32, "p.json: \"layers\" is not 2 tables of 8 cells"},
      {R"({"blocks": 3, "layers": [)" + cells + R"(, [1, 2, 3]]})", 96, 32, "p.json: \"layers\" is not 2 tables of 8 cells"},
      {R"({"blocks": 3, "layers": [[1, 2, 0, 0, 0, 0, 0, 3], [0, 0, 0, 0, 0, 0, 0, 4294967296]]})", 96, 32,
       "p.json: \"layers\" is not 2 tables of 8 cells"},
      {R"({"blocks": 3, "layers": [)" + cells + R"(], "animations": [{"tile": 9, "frames": [{"tile": 1, "duration": 5}]}]})", 96, 32,
       "p.json: animation 0: tile 9 has no block in the piece"},
      {R"({"blocks": 3, "layers": [)" + cells + "]}", 64, 32, "p.png: too small for its 3 values"},
      {R"({"blocks": 3, "layers": [)" + cells + "]}", 4096, 32, "p.png: 4096 x 32 pixels, too large"},
      {R"({"blocks": 3, "layers": )", 96, 32, "p.json: "},
  };
  for (const Row& row : rows) {
    std::ofstream(folder / "p.json") << row.json;
    picture(row.width, row.height);
    PieceData piece;
    std::string problem;
    const bool read = ReadPiece((folder / "p").string(), level, 1, 1, piece, problem);
    EXPECT_EQ(read, row.problem.empty()) << row.json << ": " << problem;
    EXPECT_EQ(problem.rfind(row.problem.empty() ? "" : (folder / row.problem).string(), 0), 0u) << row.json << ": " << problem;
    if (read) {
      EXPECT_EQ(piece.width * piece.height, 8);
      EXPECT_NE(piece.picture, nullptr);
    } else {
      EXPECT_EQ(piece.picture, nullptr);
    }
    if (piece.picture != nullptr) SDL_DestroyTexture(piece.picture);
  }
  // An index that can't be used leaves pieces off, in one line.
  const std::pair<std::string, std::string> indexes[] = {
      {R"({"levels": []})", "\"levels\" is not a list of 1 to 17 levels"},
      {R"({"levels": [null]})", "level 0 is not an object"},
      {R"({"levels": [{"width": 67108864, "height": 2, "layers": 1, "pieces": []}]})",
       "level 0: \"width\", \"height\" or \"layers\" missing or out of range"},
      {R"({"levels": [{"width": 40, "height": 33, "layers": 4, "pieces": []}]})",
       "level 0: \"width\", \"height\" or \"layers\" missing or out of range"},
      {R"({"levels": [{"width": 40, "height": 33, "layers": 1, "pieces": ["2_0-0123456789abcdef"]}]})",
       "level 0: piece 0 is not named C_R-HASH inside the level"},
      {R"({"levels": [{"width": 40, "height": 33, "layers": 1, "pieces": ["0_0-../../etc/passwd0"]}]})",
       "level 0: piece 0 is not named C_R-HASH inside the level"},
  };
  fs::create_directories(folder / "pieces");
  for (const auto& [text, line] : indexes) {
    std::ofstream(folder / "pieces" / "index.json") << text;
    std::ostringstream said;
    std::streambuf* errors = std::cerr.rdbuf(said.rdbuf());
    LoadPieces(folder.string() + "/");
    std::cerr.rdbuf(errors);
    EXPECT_FALSE(piecesOn) << text;
    EXPECT_EQ(said.str(), (folder / "pieces" / "index.json").string() + ": " + line +
                              "; the map is drawn from its own files\n") << text;
  }
  fs::remove_all(folder);
}

}  // namespace
