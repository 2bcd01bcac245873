// The drawing is checked pixel for pixel against a picture that the test
// works out on its own, one screen pixel at a time: which cell covers the
// pixel, and which pixel of which tile that cell shows.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "shared/globals.h"
#include "map/layer.h"
#include "render/draw_map.h"
#include "software_canvas.h"
#include "table_helpers.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr uint32_t kBackground = 0xFF000000;

// Tile k's pixel (px, py): a colour that tells tile and position apart, with a
// diagonal pattern of transparent pixels through which lower layers show.
uint32_t TilePixel(int k, int px, int py) {
  if ((px + 2 * py) % 7 == 0) return 0;
  return 0xFF000000u | (static_cast<uint32_t>((30 + 25 * k) % 256) << 16) |
         (static_cast<uint32_t>(px * 5 % 256) << 8) | static_cast<uint32_t>(py * 7 % 256);
}

// Tiles in 3 columns and `rows` rows.
SDL_Surface* MakeTilesetImage(int tileWidth, int tileHeight, int rows = 3) {
  SDL_Surface* image = NewImage(3 * tileWidth, rows * tileHeight);
  for (int k = 0; k < 3 * rows; ++k) {
    for (int py = 0; py < tileHeight; ++py) {
      for (int px = 0; px < tileWidth; ++px) {
        SetImagePixel(image, (k % 3) * tileWidth + px, (k / 3) * tileHeight + py, TilePixel(k, px, py));
      }
    }
  }
  return image;
}

int32_t* Cells(const std::vector<int32_t>& values) {
  auto* cells = static_cast<int32_t*>(std::malloc(values.size() * sizeof(int32_t)));
  std::copy(values.begin(), values.end(), cells);
  return cells;
}

// Cell values from -2 to tiles + 3: negative, empty, every tile and a few
// past the last.
std::vector<int32_t> RandomCells(int count, uint32_t seed, int tiles) {
  std::vector<int32_t> cells(count);
  for (int32_t& cell : cells) {
    seed = seed * 1664525u + 1013904223u;
    cell = static_cast<int32_t>((seed >> 16) % (tiles + 6)) - 2;
  }
  return cells;
}

int FloorDiv(int64_t a, int64_t b) { return static_cast<int>(a >= 0 ? a / b : -((-a + b - 1) / b)); }

struct MapLayer {
  int width;
  int height;
  std::vector<int32_t> cells;
};

// The picture the viewer should show. The first visible cell sits on the
// 32-pixel grid: column c0 = left / 32 (truncated) starts at x0 = 32 * c0 - left,
// and from there every cell is tileWidth wide; likewise for rows.
std::vector<uint32_t> ExpectedPicture(const std::vector<MapLayer>& mapLayers, int tileWidth,
                                      int tileHeight, int tiles, int32_t camX, int32_t camY) {
  std::vector<uint32_t> picture(kWidth * kHeight, kBackground);
  const int64_t left = int64_t{camX} - 640;
  const int64_t top = int64_t{camY} - 360;
  const int64_t c0 = left / 32, x0 = 32 * c0 - left;
  const int64_t r0 = top / 32, y0 = 32 * r0 - top;
  for (const MapLayer& layer : mapLayers) {
    for (int sy = 0; sy < kHeight; ++sy) {
      for (int sx = 0; sx < kWidth; ++sx) {
        if (sx < x0 || sy < y0) continue;
        const int64_t c = c0 + FloorDiv(sx - x0, tileWidth);
        const int64_t r = r0 + FloorDiv(sy - y0, tileHeight);
        if (c < 0 || r < 0 || c >= layer.width || r >= layer.height) continue;
        const int v = layer.cells[r * layer.width + c];
        if (v < 1 || v > tiles) continue;  // empty, negative or past the tileset
        const uint32_t pixel = TilePixel(v - 1, (sx - x0) % tileWidth, (sy - y0) % tileHeight);
        if (pixel >> 24) picture[sy * kWidth + sx] = pixel;
      }
    }
  }
  return picture;
}

struct DrawCase {
  const char* name;
  int tileWidth;
  int tileHeight;
  int mapWidth;
  int mapHeight;
  int layerTotal;
  int32_t cameraX;
  int32_t cameraY;
  // The tileset's rows of tiles, and the tallest texture it is loaded into
  // (0: one texture, no limit): a taller tileset is held in bands.
  int tileRows = 3;
  int maxTextureHeight = 0;
};

void PrintTo(const DrawCase& c, std::ostream* out) { *out << c.name; }

class DrawMapPicture : public ::testing::TestWithParam<DrawCase> {};

TEST_P(DrawMapPicture, MatchesThePictureWorkedOutPixelByPixel) {
  const DrawCase& c = GetParam();
  SoftwareCanvas canvas;
  SDL_Surface* image = MakeTilesetImage(c.tileWidth, c.tileHeight, c.tileRows);
  if (c.maxTextureHeight > 0) {
    canvas.UseTilesetInBands(image, c.maxTextureHeight);
    ASSERT_FALSE(tilesetBands.empty()) << "the tileset fits in one texture";
  } else {
    canvas.UseTileset(image);
  }
  SDL_FreeSurface(image);
  const int tiles = 3 * c.tileRows;

  ResetLayerTable();
  std::vector<MapLayer> mapLayers;
  for (int s = 0; s < c.layerTotal; ++s) {
    MapLayer layer{c.mapWidth, c.mapHeight, RandomCells(c.mapWidth * c.mapHeight, 17u + s, tiles)};
    layers[s].Set(Cells(layer.cells), c.mapWidth, c.mapHeight, c.tileWidth, c.tileHeight);
    mapLayers.push_back(std::move(layer));
  }
  layerCount = static_cast<uint16_t>(c.layerTotal);
  cameraX = c.cameraX;
  cameraY = c.cameraY;

  canvas.Clear();
  DrawMap();

  const std::vector<uint32_t> expected =
      ExpectedPicture(mapLayers, c.tileWidth, c.tileHeight, tiles, c.cameraX, c.cameraY);
  int wrong = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t want = expected[y * kWidth + x];
      const uint32_t got = canvas.Pixel(x, y);
      if (want != got && wrong++ < 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", expected " << want;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  ResetLayerTable();
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, DrawMapPicture,
    ::testing::Values(
        // First cell column 42, row 54 at screen (-16, -12).
        DrawCase{"StartCamera", 32, 32, 128, 128, 1, 2000, 2100},
        // top = -40 gives row -1 at y = 8; left = -70 gives column -2 at x = 6.
        DrawCase{"NegativeTopAndLeft", 32, 32, 64, 64, 1, 570, 320},
        DrawCase{"ThreeLayersUpperCoverLower", 32, 32, 128, 128, 3, 2000, 2100},
        DrawCase{"MapSmallerThanTheView", 32, 32, 5, 4, 2, 700, 400},
        DrawCase{"SmallTilesOnTheBigGrid", 16, 16, 200, 200, 2, 1234, 987},
        DrawCase{"WideFlatTiles", 48, 24, 100, 100, 3, 1500, 1300},
        DrawCase{"WideTilesNegativeCamera", 48, 24, 30, 30, 1, -101, -77},
        DrawCase{"CameraFarOutsideTheMap", 32, 32, 16, 16, 3, -100000, 900000},
        // One tile covers the whole view and more on every side.
        DrawCase{"TilesLargerThanTheView", 1400, 800, 3, 3, 2, 700, 400}),
    [](const ::testing::TestParamInfo<DrawCase>& info) { return std::string(info.param.name); });

// A tileset taller than the renderer's largest texture, held in bands: every
// cell is drawn from the band that holds its tile, a tile that straddles a
// band edge from both (or, taller than a band, from several), and values past
// the last band draw nothing.
INSTANTIATE_TEST_SUITE_P(
    Bands, DrawMapPicture,
    ::testing::Values(
        // A limit of 40 rows cuts bands of 32: one row of tiles each, 8 bands.
        DrawCase{"OneRowOfTilesABand", 32, 32, 128, 128, 3, 2000, 2100, 8, 40},
        // Bands of 96 rows: tiles at rows 80, 160 and 280 straddle two.
        DrawCase{"TilesStraddlingTwoBands", 48, 40, 100, 100, 3, 1500, 1300, 8, 100},
        // 48-row tiles over 32-row bands span two or three bands each.
        DrawCase{"TilesTallerThanABand", 16, 48, 200, 200, 2, 1234, 987, 8, 40},
        // No whole 32-row band fits under a limit of 20: bands of 20 rows.
        DrawCase{"LimitUnderTheGrid", 32, 32, 64, 64, 1, 570, 320, 5, 20},
        // A tile larger than the view from bands of 512 rows, clipped to the view.
        DrawCase{"TilesLargerThanTheViewAndABand", 1400, 800, 3, 3, 2, 700, 400, 1, 600}),
    [](const ::testing::TestParamInfo<DrawCase>& info) { return std::string(info.param.name); });

class DrawMapSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    SDL_Surface* image = MakeTilesetImage(32, 32);
    canvas.UseTileset(image);
    SDL_FreeSurface(image);
    ResetLayerTable();
    cameraX = kCameraStartX;
    cameraY = kCameraStartY;
    canvas.Clear();
  }
  void TearDown() override { ResetLayerTable(); }

  bool PictureIsBlank() const {
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        if (canvas.Pixel(x, y) != kBackground) return false;
    return true;
  }

  SoftwareCanvas canvas;
};

TEST_F(DrawMapSafety, SlotsThatCannotBeSteppedAcrossDrawNothing) {
  layers[0].Set(Cells(std::vector<int32_t>(128 * 128, 1)), 128, 128, 0, 32);
  layers[1].Set(Cells(std::vector<int32_t>(128 * 128, 1)), 128, 128, 32, -5);
  // Slot 2 was never filled: its tile sizes are -1.
  layerCount = 3;
  DrawMap();
  EXPECT_TRUE(PictureIsBlank());
}

TEST_F(DrawMapSafety, NoLayersOrNoCellsDrawNothing) {
  DrawMap();  // layerCount 0
  layers[0].Set(nullptr, 128, 128, 32, 32);
  layerCount = 1;
  DrawMap();
  EXPECT_TRUE(PictureIsBlank());
}

TEST_F(DrawMapSafety, HugeTileSizesAndValuesNeitherOverflowNorCrash) {
  const std::vector<int32_t> values{INT32_MAX, 1, 2147483646, 5};
  layers[0].Set(Cells(values), 2, 2, INT32_MAX, INT32_MAX);
  layers[1].Set(Cells(values), 2, 2, 1 << 30, 3);
  layers[2].Set(Cells(values), 2, 2, 32, 32);
  layerCount = 3;
  cameraX = 640;  // the map's corner at the view's top left
  cameraY = 360;
  // From one texture, and from bands of 32 rows, where the band of a source
  // row far past the tileset is worked out too.
  for (int maxTextureHeight : {0, 32}) {
    if (maxTextureHeight > 0) {
      SDL_Surface* image = MakeTilesetImage(32, 32);
      canvas.UseTilesetInBands(image, maxTextureHeight);
      SDL_FreeSurface(image);
    }
    canvas.Clear();
    DrawMap();
    // Only the sane slot's tile 1 (value 1 at column 1) and tile 5 (value 5 at
    // column 1 of row 1) show; the values past the tileset draw nothing.
    EXPECT_EQ(canvas.Pixel(32 + 1, 0), TilePixel(0, 1, 0));
    EXPECT_EQ(canvas.Pixel(32 + 1, 32 + 1), TilePixel(4, 1, 1));
    EXPECT_EQ(canvas.Pixel(1, 1), kBackground);
  }
}

long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// A tile 2 million pixels tall once made the software renderer stage the
// whole 41 x 2000000 destination, 328 MB, to show 360 rows of it.
TEST_F(DrawMapSafety, AHugeTileCostsNoMoreMemoryThanTheView) {
  layers[0].Set(Cells({1}), 1, 1, 41, 2000000);
  layerCount = 1;
  cameraX = 640;  // the cell's corner at the view's top left
  cameraY = 360;
  std::ofstream("/proc/self/clear_refs") << "5";  // restart the peak count
  const long before = PeakResidentKb();
  DrawMap();
  EXPECT_LT(PeakResidentKb() - before, 32 * 1024);
  EXPECT_NE(canvas.Pixel(0, 719), kBackground);
  EXPECT_EQ(canvas.Pixel(41, 0), kBackground);
}

TEST_F(DrawMapSafety, ACountPastTheTableDrawsOnlyTheTable) {
  layers[2].Set(Cells(std::vector<int32_t>(128 * 128, 2)), 128, 128, 32, 32);
  layerCount = 60000;
  DrawMap();
  EXPECT_EQ(canvas.Pixel(640, 360) >> 24, 0xFFu);
  EXPECT_FALSE(PictureIsBlank());
}

}  // namespace
