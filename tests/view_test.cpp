// What view.json switches on: its reader (every case folder under
// tests/view_cases), the animations' clock, and the drawing at a time.
//
// A case folder holds
//   view.json        the view file (absent for a missing one)
//   expected_stderr  the one line written on standard error, or nothing; a
//                    line ending in "..." matches any line that starts with the rest
//   expected_table   "grid COLUMNS ROWS" (the blocks final.png has; 3 x 7 when
//                    left out), "animations N" (how many play) and lines
//                    "at T V S": at T ms a cell holding V shows S.
// LoadView reads "view.json" from the case folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/frame_loop.h"
#include "map/layer.h"
#include "render/draw_map.h"
#include "shared/globals.h"
#include "software_canvas.h"
#include "table_helpers.h"
#include "view/view.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> ReadLines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool LineMatches(const std::string& expected, const std::string& actual) {
  const std::string ellipsis = "...";
  if (expected.size() >= ellipsis.size() &&
      expected.compare(expected.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0) {
    return actual.compare(0, expected.size() - ellipsis.size(), expected, 0, expected.size() - ellipsis.size()) == 0;
  }
  return expected == actual;
}

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

class ViewCase : public ::testing::TestWithParam<fs::path> {};

TEST_P(ViewCase, ReportsAndPlaysWhatTheCaseExpects) {
  const fs::path folder = GetParam();
  const std::vector<std::string> table = ReadLines(folder / "expected_table");
  TilesetGrid grid{3, 7};
  for (const std::string& line : table) {
    std::istringstream words(line);
    std::string key;
    if (words >> key && key == "grid") words >> grid.columns >> grid.rows;
  }
  // Something in play before, which the file replaces: 3 showing 21.
  UseAnimations({MakeAnimation(3, {{21, 0}})});
  PickFrames(0);

  const std::string errors = LoadViewIn(folder, grid);
  const std::vector<std::string> expected = ReadLines(folder / "expected_stderr");
  std::vector<std::string> actual;
  std::istringstream lines(errors);
  for (std::string line; std::getline(lines, line);) actual.push_back(line);
  ASSERT_EQ(actual.size(), expected.size()) << "standard error was:\n" << errors;
  if (!expected.empty()) {
    EXPECT_TRUE(LineMatches(expected[0], actual[0])) << "\"" << actual[0] << "\", expected \"" << expected[0] << "\"";
    EXPECT_EQ(errors.back(), '\n');
  }

  for (const std::string& line : table) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "animations") {
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
      FAIL() << "unknown line in expected_table: " << line;
    }
  }
  UseAnimations({});
}

std::vector<fs::path> AllCases() {
  std::vector<fs::path> cases;
  for (const auto& entry : fs::directory_iterator(VIEW_CASES_DIR)) {
    if (entry.is_directory()) cases.push_back(entry.path());
  }
  std::sort(cases.begin(), cases.end());
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Folder, ViewCase, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                           std::string name = info.param.filename().string();
                           std::replace_if(name.begin(), name.end(),
                                           [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                           return name;
                         });

// Files too large to keep as cases: made here, one past each bound.
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

TEST_F(ViewBounds, MoreThanAMillionFramesInAllAreIgnored) {
  EXPECT_EQ(LoadWith(257, 4096, {3, 100}), "view.json: ignored: more than 1048576 frames in all\n");
  EXPECT_TRUE(animations.empty());
}

TEST_F(ViewBounds, MoreThan65536AnimationsAreIgnored) {
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
  layers[0].Set(Cells(std::vector<int32_t>(4, 1)), 2, 2, 40, 50);  // 96 x 224: 2 columns of 4 rows
  layers[1].~Layer();
  new (&layers[1]) Layer();
  const TilesetGrid grid = GridOfLoadedTileset();
  EXPECT_EQ(grid.columns, 2);
  EXPECT_EQ(grid.rows, 4);
  ResetLayerTable();  // no map: no blocks, so no animation can play
  EXPECT_EQ(GridOfLoadedTileset().rows, 0);
}

}  // namespace
