// The importer from end to end, in a folder of its own: what a site's page
// can hold, what a hostile animated file gives.

#include <gtest/gtest.h>

#include <SDL_image.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <jansson.h>

#include "import/compose/animation.h"
#include "import/compose/start.h"
#include "import/import.h"
#include "import/import_error.h"
#include "import/write/overview.h"
#include "import/write/zoom_levels.h"
#include "import/write/stored_png.h"

using namespace importer;

namespace {

// ---- What a site's page can hold ------------------------------------------------

// Two different tiles: two blocks, one row of final.png, 96 x 32 pixels.
TEST(ImporterSites, AMapWhoseTilesetThePageCantHoldIsRefusedBeforeAnythingIsWritten) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("import-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  SDL_Surface* tiles = SDL_CreateRGBSurfaceWithFormat(0, 64, 32, 32, SDL_PIXELFORMAT_RGBA32);
  ASSERT_NE(tiles, nullptr);
  SDL_FillRect(tiles, nullptr, 0xFF0000FFu);
  const SDL_Rect right{32, 0, 32, 32};
  SDL_FillRect(tiles, &right, 0xFF00FF00u);
  ASSERT_EQ(IMG_SavePNG(tiles, (folder / "t.png").string().c_str()), 0);
  SDL_FreeSurface(tiles);
  std::ofstream(folder / "m.tmj") << R"({"type": "map", "orientation": "orthogonal", "width": 2, "height": 1,
      "tilewidth": 32, "tileheight": 32, "tilesets": [{"firstgid": 1, "name": "t", "tilewidth": 32,
      "tileheight": 32, "image": "t.png"}], "layers": [{"type": "tilelayer", "name": "g", "width": 2,
      "height": 1, "data": [1, 2]}]})";
  const std::string map = (folder / "m.tmj").u8string(), out = (folder / "out").u8string();
  ImportOptions options;
  options.maxTilesetBytes = 10 << 10;
  try {
    ImportMap(map, out, options);
    ADD_FAILURE() << "imported";
  } catch (const ImportError& error) {
    EXPECT_EQ(std::string(error.what()), map + ": a browser would have to hold its tileset, 2 blocks in a final.png "
                                               "of 12 KiB decoded, more than the page's 10 KiB take");
  }
  EXPECT_FALSE(fs::exists(out));
  options.maxTilesetBytes = 96 * 32 * 4;
  EXPECT_EQ(ImportMap(map, out, options).tilesetBytes, 96 * 32 * 4);
  for (const char* file : {"final.png", "main.json", "view.json", "overview.png"})
    EXPECT_TRUE(fs::exists(fs::u8path(out) / file)) << file;
  EXPECT_EQ(Mebibytes(int64_t{366} << 20), "366 MiB");
  EXPECT_EQ(Mebibytes(int64_t{3} << 19), "1.5 MiB");
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
                        ("stored-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".png");
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
  const fs::path folder = fs::temp_directory_path() / ("import-hostile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
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
