// The importer from end to end, in a folder of its own: a site's map in
// pieces, what a hostile animated file gives.

#include <gtest/gtest.h>

#include <SDL_image.h>

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <jansson.h>

#include "import/compose/animation.h"
#include "import/compose/from_folder.h"
#include "import/compose/start.h"
#include "import/import.h"
#include "import/import_error.h"
#include "import/write/overview.h"
#include "import/write/pieces.h"
#include "import/write/zoom_levels.h"
#include "import/write/stored_png.h"

using namespace importer;

namespace {

// ---- A site's map in pieces ------------------------------------------------------

namespace fs = std::filesystem;

std::string FileText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The blocks of a PNG file, row after row.
std::vector<Block> BlocksOf(const fs::path& path) {
  SDL_Surface* loaded = IMG_Load(path.u8string().c_str());
  SDL_Surface* rgba = loaded != nullptr ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0) : nullptr;
  std::vector<Block> blocks(rgba != nullptr ? size_t(rgba->w / 32 * (rgba->h / 32)) : 0);
  for (size_t i = 0; i < blocks.size(); ++i)
    for (int y = 0; y < 32; ++y)
      std::memcpy(&blocks[i][size_t(y) * 32], static_cast<uint8_t*>(rgba->pixels) +
                  (int(i) / (rgba->w / 32) * 32 + y) * rgba->pitch + int(i) % (rgba->w / 32) * 128, 128);
  SDL_FreeSurface(rgba);
  SDL_FreeSurface(loaded);
  return blocks;
}

// Level 0 as main.json and final.png show it, or zoom level L as zoom/L/ does.
Composition WholeLevel(const fs::path& out, int number) {
  if (number == 0) return ReadViewerFolder((out / "main.json").u8string());
  const fs::path zoom = out / "zoom" / std::to_string(number);
  Composition level;
  json_t* about = json_loads(FileText(zoom / "level.json").c_str(), 0, nullptr);
  level.width = int(json_integer_value(json_object_get(about, "width")));
  level.height = int(json_integer_value(json_object_get(about, "height")));
  json_decref(about);
  level.layers.assign(1, std::vector<int32_t>(size_t(level.width) * size_t(level.height)));
  for (int row = 0; row * 64 < level.height; ++row)  // zoom/L/C_R.json: 64 x 64 cells each
    for (int column = 0, w; (w = std::min(64, level.width - column * 64)) > 0; ++column) {
      json_t* piece = json_loads(FileText(zoom / (std::to_string(column) + "_" + std::to_string(row) + ".json")).c_str(), 0, nullptr);
      const json_t* data = json_object_get(piece, "data");
      for (int k = 0; k < int(json_array_size(data)); ++k)
        level.layers[0][size_t((row * 64 + k / w) * level.width + column * 64 + k % w)] = int32_t(json_integer_value(json_array_get(data, size_t(k))));
      json_decref(piece);
    }
  level.blocks = BlocksOf(zoom / "blocks-0.png");
  return level;
}

// The animated values of level `number`: view.json's, or zoom/L/level.json's.
json_t* LevelAnimations(const fs::path& out, int number) {
  const fs::path file = number == 0 ? out / "view.json" : out / "zoom" / std::to_string(number) / "level.json";
  json_t* about = json_loads(FileText(file).c_str(), 0, nullptr);
  json_t* animations = json_incref(json_object_get(about, "animations"));
  json_decref(about);
  return animations;
}

// Checks level `number`'s pieces (its entry in the index) against the level
// whole: each named by the FNV-1a hash of its files, listed row after row;
// each cell's block the picture of the level's cell there, each animated
// block the level's animation there, frame by frame; put together, the
// level's cells. Their names by place; their bytes added up.
std::map<std::pair<int64_t, int64_t>, std::string> CheckPieces(const fs::path& out, int number, const json_t* entry,
                                                               int64_t& bytes) {
  const Composition whole = WholeLevel(out, number);
  json_t* animations = LevelAnimations(out, number);
  EXPECT_EQ(json_integer_value(json_object_get(entry, "width")), whole.width);
  EXPECT_EQ(json_integer_value(json_object_get(entry, "height")), whole.height);
  EXPECT_EQ(json_integer_value(json_object_get(entry, "layers")), int64_t(whole.layers.size()));
  std::vector<std::vector<int32_t>> rebuilt(whole.layers.size(), std::vector<int32_t>(whole.layers[0].size()));
  std::map<std::pair<int64_t, int64_t>, std::string> names;
  const fs::path folder = out / "pieces" / std::to_string(number);
  const json_t* list = json_object_get(entry, "pieces");
  for (size_t n = 0; n < json_array_size(list); ++n) {
    const std::string name = json_string_value(json_array_get(list, n));
    int64_t column = -1, row = -1;
    char hash[17] = {}, expected[17];
    EXPECT_EQ(std::sscanf(name.c_str(), "%" SCNd64 "_%" SCNd64 "-%16[0-9a-f]", &column, &row, hash), 3) << name;
    EXPECT_TRUE(names.empty() || std::pair(row, column) > std::pair(names.rbegin()->first.second, names.rbegin()->first.first)) << name;
    names[{column, row}] = name;
    const std::string text = FileText(folder / (name + ".json")), png = FileText(folder / (name + ".png"));
    uint64_t fnv = 0xcbf29ce484222325ull;
    for (const char c : text + png) fnv = (fnv ^ uint8_t(c)) * 0x100000001b3ull;
    std::snprintf(expected, sizeof expected, "%016llx", static_cast<unsigned long long>(fnv));
    EXPECT_STREQ(hash, expected) << name;
    bytes += int64_t(text.size() + png.size());
    json_t* piece = json_loads(text.c_str(), 0, nullptr);
    const size_t count = size_t(json_integer_value(json_object_get(piece, "blocks")));
    const std::vector<Block> picture = BlocksOf(folder / (name + ".png"));
    EXPECT_EQ(picture.size(), std::min<size_t>(count, 64) * ((count + 63) / 64)) << name;
    // Block b of the piece shows the level's value v (0: both nothing).
    const auto shows = [&](int64_t b, int64_t v) {
      if (b == 0 || v == 0) return b == v;
      return b <= int64_t(picture.size()) && v <= int64_t(whole.blocks.size()) &&
             std::memcmp(&picture[size_t(b) - 1], &whole.blocks[size_t(v) - 1], sizeof(Block)) == 0;
    };
    std::map<int64_t, int64_t> valueOf;  // the piece's blocks that cells show -> the level's values
    const int64_t w = std::min<int64_t>(32, whole.width - column * 32), h = std::min<int64_t>(32, whole.height - row * 32);
    for (size_t layer = 0; layer < rebuilt.size(); ++layer) {
      const json_t* cells = json_array_get(json_object_get(piece, "layers"), layer);
      EXPECT_EQ(json_array_size(cells), size_t(w * h)) << name;
      for (int64_t k = 0; k < w * h && k < int64_t(json_array_size(cells)); ++k) {
        const size_t at = size_t((row * 32 + k / w) * whole.width + column * 32 + k % w);
        const int64_t b = json_integer_value(json_array_get(cells, size_t(k)));
        rebuilt[layer][at] = shows(b, whole.layers[layer][at]) ? whole.layers[layer][at] : -1;
        if (b > 0) valueOf[b] = whole.layers[layer][at];
      }
    }
    // Each animated value the cells show is animated in the piece, frame by frame.
    size_t animated = 0;
    for (size_t a = 0; a < json_array_size(animations); ++a) {
      const json_t* animation = json_array_get(animations, a);
      const int64_t value = json_integer_value(json_object_get(animation, "tile"));
      const auto shown = std::find_if(valueOf.begin(), valueOf.end(), [&](const auto& e) { return e.second == value; });
      if (shown == valueOf.end()) continue;
      ++animated;
      const json_t* own = nullptr;
      for (size_t o = 0; o < json_array_size(json_object_get(piece, "animations")); ++o)
        if (json_integer_value(json_object_get(json_array_get(json_object_get(piece, "animations"), o), "tile")) == shown->first)
          own = json_array_get(json_object_get(piece, "animations"), o);
      EXPECT_NE(own, nullptr) << name << ": value " << value;
      const json_t* frames = json_object_get(animation, "frames");
      EXPECT_EQ(json_array_size(json_object_get(own, "frames")), json_array_size(frames)) << name;
      for (size_t f = 0; own != nullptr && f < json_array_size(frames); ++f) {
        const json_t* theirs = json_array_get(frames, f);
        const json_t* ours = json_array_get(json_object_get(own, "frames"), f);
        EXPECT_TRUE(shows(json_integer_value(json_object_get(ours, "tile")), json_integer_value(json_object_get(theirs, "tile")))) << name;
        EXPECT_TRUE(json_equal(json_object_get(ours, "duration"), json_object_get(theirs, "duration"))) << name;
      }
    }
    EXPECT_EQ(json_array_size(json_object_get(piece, "animations")), animated) << name;
    json_decref(piece);
  }
  json_decref(animations);
  EXPECT_EQ(rebuilt, whole.layers) << "level " << number;  // so also: no piece that shows something left out
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), ptrdiff_t(2 * names.size()));
  return names;
}

// A map of 140 x 50 cells in 78 tiles (a piece's picture of two rows), the
// first animated (its frames the tileset's two other tiles, shown by no
// cell), columns 64 to 127 empty: 2 zoom levels, and pieces of level 0 that
// show nothing (there, and around the map where the importer places it).
// Imported again with a cell changed to a tile no cell showed (new blocks
// on every zoom level, before many others in the order the importer meets
// them): only the pieces that cell lies in change.
TEST(ImporterSites, AMapIsWrittenInPiecesThatShowEachLevelAndKeepTheirNamesWhereNothingChanged) {
  const fs::path folder = fs::temp_directory_path() / ("import-pieces-" + std::to_string(std::random_device{}()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  SDL_Surface* tiles = SDL_CreateRGBSurfaceWithFormat(0, 320, 256, 32, SDL_PIXELFORMAT_RGBA32);
  ASSERT_NE(tiles, nullptr);
  for (int i = 0; i < 80; ++i) {
    const SDL_Rect tile{i % 10 * 32, i / 10 * 32, 32, 32}, mark{tile.x + i % 8 * 3, tile.y + i / 8 * 2, 9, 5};
    SDL_FillRect(tiles, &tile, SDL_MapRGBA(tiles->format, uint8_t(i * 3), uint8_t(255 - i * 3), uint8_t(i * 7), 255));
    SDL_FillRect(tiles, &mark, SDL_MapRGBA(tiles->format, 255, 255, 255, uint8_t(100 + i)));
  }
  ASSERT_EQ(IMG_SavePNG(tiles, (folder / "t.png").string().c_str()), 0);
  SDL_FreeSurface(tiles);
  const std::string map = (folder / "m.tmj").u8string(), out = (folder / "out").u8string();
  auto writeMap = [&](int changed) {
    std::string data;
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 140; ++x)
        data += (data.empty() ? "" : ",") + std::to_string(x == 130 && y == 40 && changed ? changed : x >= 64 && x < 128 ? 0 : (x + 2 * y) % 78 + 1);
    std::ofstream(map) << R"({"type": "map", "orientation": "orthogonal", "width": 140, "height": 50,
        "tilewidth": 32, "tileheight": 32, "tilesets": [{"firstgid": 1, "name": "t", "tilewidth": 32,
        "tileheight": 32, "image": "t.png", "tiles": [{"id": 0, "animation": [{"tileid": 78, "duration": 100},
        {"tileid": 79, "duration": 150}]}]}], "layers": [{"type": "tilelayer", "name": "g", "width": 140,
        "height": 50, "data": [)" << data << "]}]}";
  };
  ImportOptions options;
  options.pieces = true;
  writeMap(0);  // as the pattern has it
  const ImportSummary summary = ImportMap(map, out, options);
  EXPECT_EQ(summary.tilesetBytes, TilesetBytes(summary.blocks));  // and sizes as the importer's line says them
  EXPECT_EQ(Mebibytes(int64_t{366} << 20), "366 MiB");
  EXPECT_EQ(Mebibytes(int64_t{3} << 19), "1.5 MiB");

  json_t* view = json_loads(FileText(fs::u8path(out) / "view.json").c_str(), 0, nullptr);
  json_t* index = json_loads(FileText(fs::u8path(out) / "pieces" / "index.json").c_str(), 0, nullptr);
  ASSERT_TRUE(view != nullptr && index != nullptr);
  EXPECT_TRUE(json_is_true(json_object_get(view, "pieces")));
  const json_t* levels = json_object_get(index, "levels");
  ASSERT_EQ(json_array_size(levels), 3u);
  EXPECT_EQ(json_array_size(json_object_get(view, "animations")), 1u);
  std::vector<std::map<std::pair<int64_t, int64_t>, std::string>> before;
  int64_t bytes = 0;
  for (int number = 0; number < 3; ++number) {
    const json_t* entry = json_array_get(levels, size_t(number));
    before.push_back(CheckPieces(fs::u8path(out), number, entry, bytes));
  }
  const json_t* level0 = json_array_get(levels, 0);
  EXPECT_LT(int64_t(before[0].size()), (json_integer_value(json_object_get(level0, "width")) + 31) / 32 *
                                           ((json_integer_value(json_object_get(level0, "height")) + 31) / 32));
  // Where the changed cell lies in the output, which places the map's picture.
  const json_t* placed = json_object_get(view, "overview");
  const int64_t changedX = 130 + json_integer_value(json_object_get(placed, "x")) / 32;
  const int64_t changedY = 40 + json_integer_value(json_object_get(placed, "y")) / 32;
  EXPECT_EQ(summary.pieces, int64_t(before[0].size() + before[1].size() + before[2].size()));
  EXPECT_EQ(summary.pieceBytes, bytes);

  // Written again from the same cells, a level the importer left out: null,
  // the others' pieces under the same names.
  const Composition composition = ReadViewerFolder((fs::u8path(out) / "main.json").u8string());
  std::vector<ZoomLevel> zoomed = MakeZoomLevels(composition);
  zoomed.erase(zoomed.begin());
  WriteZoomPieces(WriteMapPieces(composition, folder / "again"), zoomed, folder / "again");
  json_t* again = json_loads(FileText(folder / "again" / "pieces" / "index.json").c_str(), 0, nullptr);
  EXPECT_TRUE(json_is_null(json_array_get(json_object_get(again, "levels"), 1)));
  EXPECT_TRUE(json_equal(json_object_get(json_array_get(json_object_get(again, "levels"), 0), "pieces"),
                         json_object_get(json_array_get(levels, 0), "pieces")));
  json_decref(again);
  json_decref(index);
  json_decref(view);

  writeMap(80);
  ImportMap(map, out, options);  // over the first: pieces/ is the importer's own
  index = json_loads(FileText(fs::u8path(out) / "pieces" / "index.json").c_str(), 0, nullptr);
  for (int number = 0; number < 3; ++number) {
    const auto after = CheckPieces(fs::u8path(out), number, json_array_get(json_object_get(index, "levels"), size_t(number)), bytes);
    ASSERT_EQ(after.size(), before[size_t(number)].size());
    for (const auto& [place, name] : after) {
      const bool changed = place == std::pair<int64_t, int64_t>((changedX >> number) / 32, (changedY >> number) / 32);
      EXPECT_EQ(name != before[size_t(number)][place], changed) << "level " << number << ": " << name;
    }
  }
  json_decref(index);
  fs::remove_all(folder);
}

// ---- final.png of blocks that don't compress ------------------------------------

// Noise is stored; blocks that compress, like tile art, are not; either way
// the file reads back as the same pixels. So does final.png, whichever way
// it is written: stored, deflated unfiltered (a tile of noise repeated) or
// after the Sub filter (a smooth picture), or by SDL_image (a small one).
TEST(ImporterTilesets, ThatBarelyCompressAreStoredAndReadBackTheSame) {
  namespace fs = std::filesystem;
  SDL_Surface* noise = SDL_CreateRGBSurfaceWithFormat(0, 96, 2048, 32, SDL_PIXELFORMAT_RGBA32);
  SDL_Surface* art = SDL_CreateRGBSurfaceWithFormat(0, 96, 2048, 32, SDL_PIXELFORMAT_RGBA32);
  SDL_Surface* repeated = SDL_CreateRGBSurfaceWithFormat(0, 96, 2048, 32, SDL_PIXELFORMAT_RGBA32);
  SDL_Surface* smooth = SDL_CreateRGBSurfaceWithFormat(0, 96, 2048, 32, SDL_PIXELFORMAT_RGBA32);
  SDL_Surface* small = SDL_CreateRGBSurfaceWithFormat(0, 96, 96, 32, SDL_PIXELFORMAT_RGBA32);
  ASSERT_TRUE(noise != nullptr && art != nullptr && repeated != nullptr && smooth != nullptr && small != nullptr);
  uint32_t state = 12345;
  for (int y = 0; y < 2048; ++y)
    for (int x = 0; x < 96; ++x) {
      state = state * 1664525u + 1013904223u;
      auto* n = static_cast<uint8_t*>(noise->pixels) + y * noise->pitch + x * 4;
      auto* a = static_cast<uint8_t*>(art->pixels) + y * art->pitch + x * 4;
      const uint8_t pixel[4] = {uint8_t(state >> 24), uint8_t(state >> 16), uint8_t(state >> 8), uint8_t(state)};
      std::memcpy(n, pixel, 4);
      const uint8_t flat[4] = {uint8_t(x / 8 * 20), uint8_t(y % 32 * 8), 90, uint8_t(x % 32 < 30 ? 255 : 0)};
      std::memcpy(a, flat, 4);
      const uint8_t* tile = static_cast<uint8_t*>(noise->pixels) + y % 32 * noise->pitch + x % 32 * 4;
      std::memcpy(static_cast<uint8_t*>(repeated->pixels) + y * repeated->pitch + x * 4, tile, 4);
      const uint8_t ramp[4] = {uint8_t(x * 2 + y), uint8_t(x + y / 3), uint8_t(y), 255};
      std::memcpy(static_cast<uint8_t*>(smooth->pixels) + y * smooth->pitch + x * 4, ramp, 4);
      if (y < 96) std::memcpy(static_cast<uint8_t*>(small->pixels) + y * small->pitch + x * 4, ramp, 4);
    }
  EXPECT_TRUE(BarelyCompresses(noise));
  EXPECT_FALSE(BarelyCompresses(art));
  const fs::path path = fs::temp_directory_path() /
                        ("stored-" + std::to_string(std::random_device{}()) + ".png");
  const std::vector<std::pair<SDL_Surface*, bool (*)(const SDL_Surface*, const std::string&)>> written = {
      {noise, WriteStoredPng}, {art, WriteStoredPng}, {noise, WriteTilesetPng}, {art, WriteTilesetPng},
      {repeated, WriteTilesetPng}, {smooth, WriteTilesetPng}, {small, WriteTilesetPng}};
  for (const auto& [surface, write] : written) {
    ASSERT_TRUE(write(surface, path.u8string())) << SDL_GetError();
    SDL_Surface* loaded = IMG_Load(path.u8string().c_str());
    ASSERT_NE(loaded, nullptr) << SDL_GetError();
    SDL_Surface* back = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
    ASSERT_TRUE(back != nullptr && back->w == 96 && back->h == surface->h);
    for (int y = 0; y < surface->h; ++y)
      ASSERT_EQ(std::memcmp(static_cast<uint8_t*>(back->pixels) + y * back->pitch,
                            static_cast<uint8_t*>(surface->pixels) + y * surface->pitch, 96 * 4), 0) << "row " << y;
    SDL_FreeSurface(back);
    SDL_FreeSurface(loaded);
  }
  fs::remove(path);
  for (SDL_Surface* surface : {noise, art, repeated, smooth, small}) SDL_FreeSurface(surface);
}

// ---- Animated tiles a hostile file gives ------------------------------------------

// A million frames, durations of up to 2^31 - 1 ms (and past it, read as
// the most an int holds), frame ids past the tileset and below 0: the
// import ends within the bound, and what it writes is what the viewer
// takes. A later import over it replaces it, view.json and all.
TEST(ImporterAnimations, AHostileFileImportsWithinTheBound) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("import-hostile-" + std::to_string(std::random_device{}()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  SDL_Surface* tiles = SDL_CreateRGBSurfaceWithFormat(0, 64, 32, 32, SDL_PIXELFORMAT_RGBA32);
  ASSERT_NE(tiles, nullptr);
  SDL_FillRect(tiles, nullptr, 0xFF0000FFu);
  const SDL_Rect right{32, 0, 32, 16};
  SDL_FillRect(tiles, &right, 0xFF00FF00u);
  ASSERT_EQ(IMG_SavePNG(tiles, (folder / "t.png").string().c_str()), 0);
  SDL_FreeSurface(tiles);
  std::string frames;
  frames.reserve(48 << 20);
  for (int i = 0; i < 1000000; ++i) frames += i % 2 ? R"(<frame tileid="1" duration="1"/>)" : R"(<frame tileid="0" duration="1"/>)";
  std::ofstream(folder / "m.tmx")
      << R"(<map orientation="orthogonal" width="4" height="2" tilewidth="32" tileheight="16">
      <tileset firstgid="1" name="t" tilewidth="32" tileheight="32"><image source="t.png"/>
      <tile id="0"><animation>)" << frames << R"(</animation></tile>
      <tile id="1"><animation><frame tileid="99999" duration="2147483647"/><frame tileid="-7" duration="99999999999"/>
      <frame tileid="0" duration="3"/></animation></tile>
      <tile id="2"><properties><property name="animation-frame0" value="1"/><property name="animation-delay0" value="2147483647"/>
      <property name="animation-frame1" value="0"/><property name="animation-delay1" value="1"/></properties></tile>
      </tileset>
      <layer name="g" width="4" height="2"><data encoding="csv">1,2,3,1,2,1,3,2</data></layer>
      <objectgroup name="o"><object gid="1" x="5" y="40"/><object gid="2" x="50" y="20"/></objectgroup></map>)";
  const std::string map = (folder / "m.tmx").u8string(), out = (folder / "out").u8string();
  ImportMap(map, out);
  const ImportSummary summary = ImportMap(map, out);  // over the first
  EXPECT_GT(summary.animations, 0);
  EXPECT_GT(summary.cutAnimations, 0);
  EXPECT_NE(Describe(summary).find(" cut short at 4096 frames"), std::string::npos) << Describe(summary);
  json_error_t error;
  json_t* view = json_load_file((fs::u8path(out) / "view.json").u8string().c_str(), 0, &error);
  ASSERT_NE(view, nullptr) << error.text;
  const json_t* animations = json_object_get(view, "animations");
  ASSERT_EQ(json_array_size(animations), size_t(summary.animations));
  for (size_t i = 0; i < json_array_size(animations); ++i) {
    const json_t* list = json_object_get(json_array_get(animations, i), "frames");
    EXPECT_GE(json_array_size(list), 2u);
    EXPECT_LE(json_array_size(list), kMaxAnimationFrames);
    for (size_t k = 0; k < json_array_size(list); ++k) {
      const json_int_t ms = json_integer_value(json_object_get(json_array_get(list, k), "duration"));
      EXPECT_TRUE(ms >= 0 && ms <= INT32_MAX) << ms;
      const json_int_t block = json_integer_value(json_object_get(json_array_get(list, k), "tile"));
      EXPECT_TRUE(block >= 0 && block <= summary.blocks) << block;
    }
  }
  json_decref(view);
  fs::remove_all(folder);
}

// ---- The whole picture, small (overview.png) -----------------------------------

struct OverviewSizeCase {
  int64_t width, height;
  int expectedWidth, expectedHeight;
  int zoomLevels;  // halvings until the picture fits the window, at most 8
};

class OverviewSizes : public ::testing::TestWithParam<OverviewSizeCase> {};

TEST_P(OverviewSizes, FitTheWindowKeepingTheShapeAndAtLeastAPixel) {
  const OverviewSizeCase& c = GetParam();
  const OverviewSize size = OverviewSizeOf(c.width, c.height);
  EXPECT_EQ(size.width, c.expectedWidth) << c.width << " x " << c.height;
  EXPECT_EQ(size.height, c.expectedHeight) << c.width << " x " << c.height;
  EXPECT_EQ(ZoomLevelCount(c.width, c.height), c.zoomLevels) << c.width << " x " << c.height;
}

INSTANTIATE_TEST_SUITE_P(
    Importer, OverviewSizes,
    ::testing::Values(OverviewSizeCase{1248, 704, 1248, 704, 0},        // fits: as it is
                      OverviewSizeCase{1280, 720, 1280, 720, 0},        // the window exactly
                      OverviewSizeCase{2564, 214, 1280, 107, 2},        // by the width (106.8); 1282 at 1/2
                      OverviewSizeCase{1281, 720, 1280, 719, 1},        // 719.4
                      OverviewSizeCase{2560, 720, 1280, 360, 1},        // 1280 at 1/2: fits
                      OverviewSizeCase{1280, 1441, 640, 720, 2},        // 721 at 1/2 (rounded up): too tall
                      OverviewSizeCase{14400, 9600, 1080, 720, 4},      // by the height
                      OverviewSizeCase{65536, 65536, 720, 720, 7},      // 1024 at 1/64: too tall
                      OverviewSizeCase{100000, 1, 1280, 1, 7},          // 0.0128 rounds to 0: still a pixel
                      OverviewSizeCase{int64_t{1} << 31, 32, 1280, 1, 8},  // as far as the viewer zooms out
                      OverviewSizeCase{0, 0, 1, 1, 0}));                // nothing drawn

// A picture of `width` × `height` cells: opaque red in the left three fifths
// of the columns, half-transparent white over the top half of the rows.
struct OverviewCase {
  int width, height;
  int squares;  // how finely the cells are cut: 32, pixel by pixel
};

class Overviews : public ::testing::TestWithParam<OverviewCase> {};

TEST_P(Overviews, AverageTheCellsWithoutDarkeningEdgesAndCompositeTheLayers) {
  const OverviewCase& c = GetParam();
  Composition composition;
  composition.width = c.width, composition.height = c.height;
  composition.picture = {0, 0, int64_t{c.width} * kBlock, int64_t{c.height} * kBlock};
  Block red, white;
  red.fill(Pixel{255, 0, 0, 255});
  white.fill(Pixel{255, 255, 255, 128});
  composition.blocks = {red, white};
  const int redColumns = c.width * 3 / 5;
  composition.layers.assign(2, std::vector<int32_t>(static_cast<size_t>(c.width) * c.height, 0));
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      composition.layers[0][static_cast<size_t>(y) * c.width + x] = x < redColumns ? 1 : 0;
      composition.layers[1][static_cast<size_t>(y) * c.width + x] = y < c.height / 2 ? 2 : 0;
    }
  const Overview overview = MakeOverview(composition);
  const OverviewSize size = OverviewSizeOf(composition.picture.width, composition.picture.height);
  ASSERT_EQ(overview.width, size.width);
  ASSERT_EQ(overview.height, size.height);
  EXPECT_EQ(overview.squares, c.squares);
  auto at = [&](int x, int y) { return overview.pixels[static_cast<size_t>(y) * overview.width + x]; };
  auto near = [](Pixel p, Pixel q) {
    return std::abs(p.r - q.r) <= 1 && std::abs(p.g - q.g) <= 1 && std::abs(p.b - q.b) <= 1 &&
           std::abs(p.a - q.a) <= 1;
  };
  auto text = [](Pixel p) {
    return std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b) + "," + std::to_string(p.a);
  };
  const int left = overview.width * 3 / 10, right = overview.width * 8 / 10;
  const int top = overview.height / 4, bottom = overview.height - 1;
  // White at alpha 128 over red: 128 + 255 · 127/255 of red, 128 of green and blue.
  EXPECT_PRED2(near, at(left, top), (Pixel{255, 128, 128, 255})) << text(at(left, top));
  EXPECT_PRED2(near, at(right, top), (Pixel{255, 255, 255, 128})) << text(at(right, top));
  EXPECT_PRED2(near, at(left, bottom), (Pixel{255, 0, 0, 255})) << text(at(left, bottom));
  EXPECT_EQ(at(right, bottom).a, 0);
  // The overview pixel where red ends: covered in part, so partly
  // transparent, and red still (the transparent part adds no black).
  const double edge = double(redColumns) * kBlock * overview.width / double(composition.picture.width);
  const Pixel across = at(static_cast<int>(edge), bottom);
  EXPECT_NEAR(across.a, (edge - std::floor(edge)) * 255, 1.0) << text(across);
  EXPECT_PRED2(near, across, (Pixel{255, 0, 0, across.a})) << text(across);

  // The zoom levels show the same at 1/2, 1/4, ...: each a level's halving,
  // the same few blocks over and over, and at the coarsest the picture fits.
  const std::vector<ZoomLevel> levels = MakeZoomLevels(composition);
  ASSERT_EQ(levels.size(), static_cast<size_t>(ZoomLevelCount(composition.picture.width, composition.picture.height)));
  int64_t width = c.width, height = c.height;
  for (size_t i = 0; i < levels.size(); ++i) {
    const ZoomLevel& level = levels[i];
    width = (width + 1) / 2, height = (height + 1) / 2;
    ASSERT_EQ(level.width, width);
    ASSERT_EQ(level.height, height);
    EXPECT_LE(level.blocks.size(), 12u) << "level " << i + 1;
    const int64_t shown = composition.picture.width >> (i + 1);  // the picture's width on the level
    auto pixel = [&](int64_t x, int64_t y) {
      const int32_t value = level.cells[static_cast<size_t>(y / kBlock * level.width + x / kBlock)];
      return value == 0 ? Pixel{} : level.blocks[static_cast<size_t>(value) - 1][static_cast<size_t>(y % kBlock * kBlock + x % kBlock)];
    };
    const int64_t levelBottom = (composition.picture.height >> (i + 1)) - 1;
    if (levelBottom < 8) continue;  // its rows mix the white half with the rest
    EXPECT_PRED2(near, pixel(shown * 3 / 10, 0), (Pixel{255, 128, 128, 255})) << "level " << i + 1;
    EXPECT_PRED2(near, pixel(shown * 8 / 10, 0), (Pixel{255, 255, 255, 128})) << "level " << i + 1;
    EXPECT_PRED2(near, pixel(shown * 3 / 10, levelBottom), (Pixel{255, 0, 0, 255})) << "level " << i + 1;
    EXPECT_EQ(pixel(shown * 8 / 10, levelBottom).a, 0) << "level " << i + 1;
    const int64_t redEnd = int64_t{redColumns} * kBlock, scale = int64_t{1} << (i + 1);
    const Pixel split = pixel(redEnd / scale, levelBottom);  // red over part of it
    EXPECT_NEAR(split.a, (redEnd % scale) * 255.0 / scale, 1.0) << "level " << i + 1 << ": " << text(split);
    if (split.a > 0) {
      EXPECT_PRED2(near, split, (Pixel{255, 0, 0, split.a})) << text(split);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Importer, Overviews,
                         ::testing::Values(OverviewCase{48, 24, 32},    // 1536 x 768: pixel by pixel
                                           OverviewCase{201, 10, 8},    // a block 6.4 overview pixels wide
                                           OverviewCase{1001, 20, 2},   // 1.28
                                           OverviewCase{4001, 10, 1}));  // 0.32: each block's average

// Four pixels averaged: colours weighted by alpha, each rounded to the
// nearest (halves up), so that a transparent pixel adds nothing.
TEST(ImporterZoomLevels, AverageFourPixelsWeightingColoursByAlpha) {
  struct Row {
    Pixel a, b, c, d, expected;
  };
  const Row rows[] = {
      {{255, 0, 0, 255}, {0, 0, 255, 255}, {}, {}, {128, 0, 128, 128}},   // 127.5 up; alpha 127.5 up
      {{200, 100, 0, 255}, {9, 9, 9, 0}, {9, 9, 9, 0}, {9, 9, 9, 0}, {200, 100, 0, 64}},  // 63.75: no darkening
      {{0, 0, 0, 1}, {}, {}, {}, {0, 0, 0, 0}},                           // 0.25 rounds to nothing
      {{0, 0, 0, 2}, {}, {}, {}, {0, 0, 0, 1}},                           // 0.5 up
      {{10, 0, 0, 1}, {11, 0, 0, 2}, {}, {}, {11, 0, 0, 1}},              // (10 + 22) / 3 = 10.67
      {{10, 0, 0, 3}, {11, 0, 0, 1}, {}, {}, {10, 0, 0, 1}},              // (30 + 11) / 4 = 10.25
  };
  for (const Row& row : rows) {
    const Pixel p = Average(row.a, row.b, row.c, row.d);
    EXPECT_EQ(std::vector<int>({p.r, p.g, p.b, p.a}),
              std::vector<int>({row.expected.r, row.expected.g, row.expected.b, row.expected.a}));
  }
}

// A level shows an animated cell's frames as long as a block is 4 window
// pixels wide (1/2 to 1/8), time 0 after that; a level that would need more
// than 16,384 blocks is left out, and the next made from the map itself.
TEST(ImporterZoomLevels, AnimateToAnEighthAndStopWhereTheyWouldOutgrowFinalPng) {
  Composition animated;
  animated.width = 330, animated.height = 2;  // 10,560 pixels wide: 1320 at 1/8, four levels
  animated.picture = {0, 0, 10560, 64};
  Block blue, green;
  blue.fill(Pixel{0, 0, 255, 255});
  green.fill(Pixel{0, 255, 0, 255});
  animated.blocks = {blue, green, blue};  // 3: the animated cell's own block, as at time 0
  animated.layers = {std::vector<int32_t>(660, 1)};
  animated.layers[0][5] = 3;
  animated.animations = {{3, {{3, 100}, {2, 150}}}};
  const std::vector<ZoomLevel> levels = MakeZoomLevels(animated);
  ASSERT_EQ(levels.size(), 4u);
  for (size_t i = 0; i < levels.size(); ++i) {
    const ZoomLevel& level = levels[i];
    const int32_t cell = level.cells[static_cast<size_t>(5 >> (i + 1))];
    if (i >= 3) {
      EXPECT_TRUE(level.animations.empty()) << "level " << i + 1;
      continue;
    }
    ASSERT_EQ(level.animations.size(), 1u) << "level " << i + 1;
    const Animation& animation = level.animations[0];
    EXPECT_EQ(animation.tile, cell);
    ASSERT_EQ(animation.frames.size(), 2u);
    EXPECT_EQ(animation.frames[0].duration, 100);
    EXPECT_EQ(animation.frames[1].duration, 150);
    const Block& later = level.blocks[static_cast<size_t>(animation.frames[1].block) - 1];
    const int side = kBlock >> (i + 1);  // the animated cell's pixels on the level
    const int x = 5 * side % kBlock;
    EXPECT_EQ(later[static_cast<size_t>(x)].g, 255) << "level " << i + 1;  // green where the cell is
    EXPECT_EQ(later[static_cast<size_t>((x + side) % kBlock)].b, 255) << "level " << i + 1;
  }

  Composition noise;  // 16 blocks strewn at random: nearly every 2 x 2 cells differ
  noise.width = noise.height = 600;  // 90,000 cells on level 1: nearly all different
  noise.picture = {0, 0, 19200, 19200};
  for (uint8_t b = 0; b < 16; ++b) {
    Block block;
    block.fill(Pixel{static_cast<uint8_t>(b * 16), 0, 0, 255});
    noise.blocks.push_back(block);
  }
  noise.layers = {std::vector<int32_t>(600 * 600)};
  uint32_t state = 7;
  for (int32_t& value : noise.layers[0]) value = 1 + static_cast<int32_t>((state = state * 1664525u + 1013904223u) >> 28);
  const std::vector<ZoomLevel> coarse = MakeZoomLevels(noise);  // 1/2 and 1/4: as many blocks as cells
  ASSERT_EQ(coarse.size(), 3u);
  for (size_t i = 0; i < coarse.size(); ++i) {
    const ZoomLevel& level = coarse[i];
    ASSERT_EQ(level.number, static_cast<int>(3 + i));
    ASSERT_EQ(level.width, (600 + (1 << level.number) - 1) >> level.number);
    for (const int64_t cell : {int64_t{0}, int64_t{77 * 600 + 401}}) {  // each map cell: 32 >> L pixels of its colour
      const int64_t x = cell % 600 * 32 >> level.number, y = cell / 600 * 32 >> level.number;
      const int32_t value = level.cells[static_cast<size_t>(y / kBlock * level.width + x / kBlock)];
      ASSERT_GT(value, 0);
      const Pixel shown = level.blocks[static_cast<size_t>(value) - 1][static_cast<size_t>(y % kBlock * kBlock + x % kBlock)];
      EXPECT_EQ(shown.r, (noise.layers[0][static_cast<size_t>(cell)] - 1) * 16) << "level " << level.number;
    }
  }
}

}  // namespace

namespace {

// ---- Where the view opens ---------------------------------------------------------

// A picture of `columns` × `rows` cells, drawn (one opaque pixel a cell, at
// its `pixelX`, `pixelY`) where a cell lies in the drawn rectangle.
struct StartCase {
  const char* what;
  int columns, rows;
  OutputRect drawnCells, within;
  int pixelX, pixelY;
  int32_t startX, startY;
};

class Starts : public ::testing::TestWithParam<StartCase> {};

TEST_P(Starts, PutTheWindowOnWhatIsDrawn) {
  const StartCase& c = GetParam();
  Composition composition;
  composition.width = c.columns, composition.height = c.rows;
  Block dot{};
  dot[static_cast<size_t>(c.pixelY * kBlock + c.pixelX)] = Pixel{9, 9, 9, 255};
  composition.blocks = {dot, Block{}};  // the second shows nothing (an animation's empty frame)
  composition.layers.assign(2, std::vector<int32_t>(static_cast<size_t>(c.columns) * c.rows, 0));
  for (int y = 0; y < c.rows; ++y)
    for (int x = 0; x < c.columns; ++x) {
      const bool drawn = x >= c.drawnCells.left && x < c.drawnCells.right && y >= c.drawnCells.top &&
                         y < c.drawnCells.bottom;
      composition.layers[static_cast<size_t>((x + y) % 2)][static_cast<size_t>(y) * c.columns + x] = drawn ? 1 : 2;
    }
  PlaceStart(composition, c.within);
  EXPECT_EQ(composition.startX, c.startX) << c.what;
  EXPECT_EQ(composition.startY, c.startY) << c.what;
}

// A block whose drawn pixels (a diagonal) lie across the area's edges:
// only the part inside counts, row by row, to the pixel; the tileset's last
// block counts as any other.
TEST(ImporterStarts, CountWhatOfABlockLiesInsideTheArea) {
  Composition composition;
  composition.width = 2, composition.height = 1;
  Block diagonal{};
  for (int i = 0; i < kBlock; ++i) diagonal[static_cast<size_t>(i * kBlock + i)] = Pixel{9, 9, 9, 255};
  composition.blocks = {diagonal};
  composition.layers = {{0, 1}};  // pixels (32 + i, i)
  PlaceStart(composition, {36, 6, 64, 11});  // rows 6 to 10: x 38 to 42
  EXPECT_EQ(composition.startX, 40);
  EXPECT_EQ(composition.startY, 8);
}

INSTANTIATE_TEST_SUITE_P(
    Importer, Starts,
    ::testing::Values(
        // Cells 10..12 x 20..21, pixels 330..394 x 660..693: centred on them.
        StartCase{"fits", 100, 100, {10, 20, 13, 22}, {0, 0, 3200, 3200}, 10, 20, 362, 676},
        // Rows 0..79 drawn: the first drawn row at the window's top.
        StartCase{"too tall", 4, 80, {1, 0, 3, 80}, {0, 0, 128, 2560}, 31, 5, 79, 365},
        // Columns 5..59 drawn: the leftmost drawn pixel at the window's left.
        StartCase{"too wide", 60, 3, {5, 1, 60, 2}, {0, 0, 1920, 96}, 0, 31, 800, 63},
        // Too tall and wide: across, what the window's rows draw (all of it here).
        StartCase{"both", 60, 60, {5, 2, 60, 60}, {0, 0, 1920, 1920}, 7, 0, 807, 424},
        // Within the first map's area (cells 0..9): only what is drawn there counts.
        StartCase{"within", 100, 4, {0, 0, 100, 1}, {0, 0, 320, 128}, 0, 0, 144, 0},
        // Nothing drawn within the area: the whole picture's drawn pixels.
        StartCase{"within, nothing", 100, 4, {50, 3, 51, 4}, {0, 0, 320, 64}, 3, 4, 1603, 100},
        // The area's edge across a block: only the block's rows inside it count
        // (none here, so the whole picture's).
        StartCase{"edge in a block", 4, 4, {1, 1, 3, 2}, {0, 0, 48, 40}, 2, 20, 50, 52},
        // Blocks across the area's edges, their drawn pixels on its top row:
        // those inside count, to the pixel (the one at 69 doesn't).
        StartCase{"blocks across the area", 4, 2, {1, 0, 3, 1}, {0, 3, 48, 40}, 5, 3, 37, 3},
        // A picture drawn at its very first pixel only.
        StartCase{"the first pixel", 4, 4, {0, 0, 1, 1}, {40, 40, 128, 128}, 0, 0, 0, 0},
        // Nothing drawn anywhere: the start it had.
        StartCase{"nothing", 4, 4, {0, 0, 0, 0}, {0, 0, 128, 128}, 0, 0, kCameraStartX, kCameraStartY}));

}  // namespace
