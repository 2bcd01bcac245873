// Makes the demo that ships with the viewer: a 3-column tileset of 32 x 32
// pixel-art tiles ("final.png") and a 128 x 128 map with three layers
// ("main.json"), both drawn from seeded noise so every run writes the same
// bytes, the whole picture scaled down to fit 1280 x 720 ("overview.png"),
// "view.json": the water's animation (its waves roll), the overview, the
// start and the zoom levels, and the levels themselves ("zoom/"), made by
// the importer's own code from the folder's files.
//
//   make-demo OUTPUT_FOLDER

#include <SDL.h>
#include <SDL_image.h>
#include <jansson.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "import/compose/from_folder.h"
#include "import/import_error.h"
#include "import/write/zoom_files.h"
#include "import/write/zoom_levels.h"

namespace {

constexpr int kTile = 32;
constexpr int kColumns = 3;
constexpr int kMapSize = 128;

// Tile numbers as the map stores them: tile k of the image is value k + 1.
enum TileValue : int32_t {
  kEmpty = 0,
  kGrass = 1, kMeadow, kWater,
  kShallows, kSand, kPath,
  kCobbles, kWall, kPlanks,
  kFlowers, kBush, kRock,
  kReeds, kLily, kFence,
  kTree, kRoof, kChimneyRoof,
  kWaterLater, kWaterLast, kShallowsLater,  // the water's later frames, only in view.json
};
constexpr int kTileTotal = kShallowsLater;

// ---------------------------------------------------------------------------
// Deterministic noise

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 15;
  h *= 0x2c1b3c6du;
  h ^= h >> 12;
  h *= 0x297a2d39u;
  h ^= h >> 15;
  return h;
}

double Random01(int x, int y, uint32_t seed) {
  return (Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) & 0xFFFFFF) / double(0x1000000);
}

double Smooth(double t) { return t * t * (3 - 2 * t); }

// Value noise on a grid of `cell` map cells, between 0 and 1.
double ValueNoise(double x, double y, double cell, uint32_t seed) {
  const double gx = x / cell, gy = y / cell;
  const int x0 = static_cast<int>(std::floor(gx)), y0 = static_cast<int>(std::floor(gy));
  const double tx = Smooth(gx - x0), ty = Smooth(gy - y0);
  const double a = Random01(x0, y0, seed), b = Random01(x0 + 1, y0, seed);
  const double c = Random01(x0, y0 + 1, seed), d = Random01(x0 + 1, y0 + 1, seed);
  return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

double Fractal(double x, double y, uint32_t seed) {
  return 0.6 * ValueNoise(x, y, 24, seed) + 0.3 * ValueNoise(x, y, 10, seed + 1) +
         0.1 * ValueNoise(x, y, 4, seed + 2);
}

// ---------------------------------------------------------------------------
// The tileset

struct Color {
  uint8_t r, g, b, a = 255;
};

Color Shade(Color c, int delta) {
  auto clamp = [](int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
  return {clamp(c.r + delta), clamp(c.g + delta), clamp(c.b + delta), c.a};
}

class TileCanvas {
 public:
  // A frame of an animated tile takes the noise of the tile it animates (`seedTile`).
  TileCanvas(SDL_Surface* image, int tile, int seedTile)
      : image_(image), ox_((tile % kColumns) * kTile), oy_((tile / kColumns) * kTile), seed_(seedTile * 7919u + 13) {}

  void Put(int x, int y, Color c) {
    if (x < 0 || y < 0 || x >= kTile || y >= kTile) return;
    auto* row = static_cast<uint8_t*>(image_->pixels) + (oy_ + y) * image_->pitch;
    reinterpret_cast<uint32_t*>(row)[ox_ + x] =
        (uint32_t{c.a} << 24) | (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
  }
  // Fills the tile with a colour speckled by up to `spread` of brightness.
  void Speckle(Color base, int spread) {
    for (int y = 0; y < kTile; ++y)
      for (int x = 0; x < kTile; ++x) Put(x, y, Shade(base, Noise(x, y, spread)));
  }
  void Rect(int x0, int y0, int w, int h, Color c) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) Put(x, y, c);
  }
  void Disc(double cx, double cy, double radius, Color c) {
    for (int y = 0; y < kTile; ++y)
      for (int x = 0; x < kTile; ++x)
        if ((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy) <= radius * radius) Put(x, y, c);
  }
  int Noise(int x, int y, int spread) {
    return static_cast<int>(Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed_) % (2 * spread + 1)) - spread;
  }
  bool Chance(int x, int y, int percent) { return Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed_ + 99) % 100 < static_cast<uint32_t>(percent); }

 private:
  SDL_Surface* image_;
  int ox_, oy_;
  uint32_t seed_;
};

const Color kGrassGreen{86, 160, 72};
const Color kMeadowGreen{74, 142, 64};
const Color kDeepWater{46, 98, 170};
const Color kShallowWater{78, 146, 196};
const Color kSandYellow{224, 201, 136};
const Color kDirt{170, 128, 82};
const Color kStone{150, 150, 146};
const Color kWood{150, 102, 58};
const Color kRoofRed{178, 64, 52};
const Color kOutline{40, 52, 36};

void DrawGrass(TileCanvas& t, Color base, int tufts) {
  t.Speckle(base, 8);
  for (int y = 2; y < kTile; y += 1)
    for (int x = 1; x < kTile - 1; ++x)
      if (t.Chance(x, y, tufts)) {
        t.Put(x, y, Shade(base, 34));
        t.Put(x, y - 1, Shade(base, 22));
      }
}

// `phase` moves the crests along: the water's frames differ by it alone.
void DrawWater(TileCanvas& t, Color base, bool shore, int phase = 0) {
  t.Speckle(base, 4);
  for (int y = 3; y < kTile; y += 8)
    for (int x = 0; x < kTile; ++x) {
      const int wave = (x + y / 8 * 5 + phase) % 12;
      if (wave < 4) t.Put(x, y + (wave == 1 || wave == 2 ? -1 : 0), Shade(base, 40));
    }
  if (shore)  // sand showing through the shallows
    for (int y = 0; y < kTile; ++y)
      for (int x = 0; x < kTile; ++x)
        if (t.Chance(x, y, 9)) t.Put(x, y, Shade(kSandYellow, -30));
}

void DrawCobbles(TileCanvas& t) {
  t.Speckle(Shade(kStone, -40), 3);  // mortar
  for (int row = 0; row < 4; ++row)
    for (int col = -1; col < 4; ++col) {
      const int x0 = col * 8 + (row % 2) * 4 + 1, y0 = row * 8 + 1;
      const int light = t.Noise(col + 10, row + 10, 14);
      t.Rect(x0, y0, 6, 6, Shade(kStone, light));
      t.Rect(x0, y0, 6, 1, Shade(kStone, light + 24));
    }
}

void DrawWall(TileCanvas& t) {
  t.Speckle({226, 210, 180}, 5);  // plaster
  t.Rect(0, 0, kTile, 3, Shade(kWood, -30));  // beam under the eaves
  t.Rect(0, 0, 2, kTile, Shade(kWood, -30));
  t.Rect(kTile - 2, 0, 2, kTile, Shade(kWood, -30));
  t.Rect(9, 9, 14, 12, Shade(kWood, -45));  // window frame
  t.Rect(11, 11, 10, 8, {120, 180, 214});
  t.Rect(15, 11, 2, 8, Shade(kWood, -45));
  t.Rect(11, 14, 10, 2, Shade(kWood, -45));
  t.Rect(11, 11, 3, 2, {200, 232, 246});  // glint
  t.Rect(8, 21, 16, 2, kWood);            // sill
}

void DrawPlanks(TileCanvas& t) {
  t.Speckle(kDeepWater, 4);
  for (int y = 0; y < kTile; ++y) {
    for (int x = 2; x < kTile - 2; ++x) t.Put(x, y, Shade(kWood, t.Noise(x / 3, y, 6) + (y % 8 == 7 ? -40 : 0)));
    t.Put(2, y, Shade(kWood, -50));
    t.Put(kTile - 3, y, Shade(kWood, -50));
  }
}

void DrawFlowers(TileCanvas& t) {
  const Color petals[] = {{236, 92, 110}, {250, 222, 88}, {244, 244, 250}, {170, 120, 230}};
  for (int i = 0; i < 7; ++i) {
    const int x = 3 + static_cast<int>(Hash(i, 1, 5) % 26), y = 3 + static_cast<int>(Hash(i, 2, 5) % 24);
    t.Rect(x, y + 2, 1, 3, Shade(kGrassGreen, -30));  // stem
    const Color petal = petals[i % 4];
    t.Put(x, y - 1, petal);
    t.Put(x - 1, y, petal);
    t.Put(x + 1, y, petal);
    t.Put(x, y + 1, petal);
    t.Put(x, y, {250, 200, 60});
  }
}

void DrawBush(TileCanvas& t) {
  t.Disc(16, 18, 12, kOutline);
  t.Disc(16, 18, 11, {52, 112, 52});
  t.Disc(12, 15, 6, {70, 138, 62});
  t.Disc(21, 16, 5, {70, 138, 62});
  t.Disc(11, 13, 2.5, {104, 170, 84});
  for (int i = 0; i < 4; ++i) t.Rect(8 + i * 5, 19 + (i % 2) * 3, 2, 2, {210, 50, 60});  // berries
}

void DrawRock(TileCanvas& t) {
  t.Disc(16, 20, 10, Shade(kStone, -70));
  t.Disc(16, 19, 9, kStone);
  t.Disc(13, 16, 5, Shade(kStone, 26));
  t.Rect(18, 22, 5, 1, Shade(kStone, -40));
}

void DrawReeds(TileCanvas& t) {
  for (int i = 0; i < 9; ++i) {
    const int x = 3 + i * 3 + static_cast<int>(Hash(i, 3, 8) % 2), height = 12 + static_cast<int>(Hash(i, 4, 8) % 12);
    t.Rect(x, kTile - height, 1, height, {96, 140, 58});
    if (i % 3 == 0) t.Rect(x, kTile - height - 3, 2, 5, {120, 80, 44});  // cattail
  }
}

void DrawLily(TileCanvas& t) {
  t.Disc(16, 16, 9, {52, 128, 58});
  for (int i = 0; i < 9; ++i) t.Put(16 + i, 16 - i / 3, kShallowWater);  // the leaf's notch
  t.Disc(12, 13, 3, {246, 190, 214});
  t.Disc(12, 13, 1.2, {250, 226, 110});
}

void DrawFence(TileCanvas& t) {
  const Color wood = Shade(kWood, 20);
  t.Rect(0, 12, kTile, 3, wood);
  t.Rect(0, 22, kTile, 3, wood);
  t.Rect(0, 15, kTile, 1, Shade(kWood, -40));
  t.Rect(0, 25, kTile, 1, Shade(kWood, -40));
  for (int x : {4, 20}) {
    t.Rect(x, 7, 5, 23, wood);
    t.Rect(x + 4, 7, 1, 23, Shade(kWood, -40));
    t.Rect(x + 1, 6, 3, 1, wood);
  }
}

void DrawTree(TileCanvas& t) {
  t.Rect(14, 22, 5, 10, Shade(kWood, -40));  // trunk
  t.Disc(16, 14, 14, {30, 78, 40});
  t.Disc(16, 13, 13, {44, 104, 50});
  t.Disc(12, 10, 8, {60, 128, 60});
  t.Disc(10, 8, 4, {88, 156, 78});
  for (int y = 0; y < kTile; ++y)
    for (int x = 0; x < kTile; ++x)
      if ((x - 16) * (x - 16) + (y - 13) * (y - 13) < 150 && t.Chance(x, y, 6)) t.Put(x, y, {36, 90, 44});
}

void DrawRoof(TileCanvas& t, bool chimney) {
  for (int y = 0; y < kTile; ++y)
    for (int x = 0; x < kTile; ++x) {
      const int course = y / 6;
      const bool seam = y % 6 == 5 || (x + course * 4) % 8 == 0;
      t.Put(x, y, Shade(kRoofRed, seam ? -50 : t.Noise(x, y, 6) + (y % 6 == 0 ? 18 : 0)));
    }
  if (chimney) {
    t.Rect(19, 2, 8, 14, {120, 110, 104});
    t.Rect(19, 2, 8, 2, {90, 80, 76});
    t.Rect(20, 5, 2, 2, {150, 140, 130});
  }
}

SDL_Surface* MakeTileset() {
  const int rows = (kTileTotal + kColumns - 1) / kColumns;
  SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, kColumns * kTile, rows * kTile, 32, SDL_PIXELFORMAT_ARGB8888);
  if (image == nullptr) return nullptr;
  SDL_FillRect(image, nullptr, 0);  // transparent
  auto tile = [image](TileValue value, TileValue animated = kEmpty) {
    return TileCanvas(image, value - 1, (animated != kEmpty ? animated : value) - 1);
  };
  { auto t = tile(kGrass); DrawGrass(t, kGrassGreen, 3); }
  { auto t = tile(kMeadow); DrawGrass(t, kMeadowGreen, 10); }
  { auto t = tile(kWater); DrawWater(t, kDeepWater, false); }
  { auto t = tile(kShallows); DrawWater(t, kShallowWater, true); }
  { auto t = tile(kSand); t.Speckle(kSandYellow, 10); }
  { auto t = tile(kPath); t.Speckle(kDirt, 12); for (int y = 0; y < kTile; ++y) for (int x = 0; x < kTile; ++x) if (t.Chance(x, y, 3)) t.Put(x, y, Shade(kStone, 20)); }
  { auto t = tile(kCobbles); DrawCobbles(t); }
  { auto t = tile(kWall); DrawWall(t); }
  { auto t = tile(kPlanks); DrawPlanks(t); }
  { auto t = tile(kFlowers); DrawFlowers(t); }
  { auto t = tile(kBush); DrawBush(t); }
  { auto t = tile(kRock); DrawRock(t); }
  { auto t = tile(kReeds); DrawReeds(t); }
  { auto t = tile(kLily); DrawLily(t); }
  { auto t = tile(kFence); DrawFence(t); }
  { auto t = tile(kTree); DrawTree(t); }
  { auto t = tile(kRoof); DrawRoof(t, false); }
  { auto t = tile(kChimneyRoof); DrawRoof(t, true); }
  { auto t = tile(kWaterLater, kWater); DrawWater(t, kDeepWater, false, 4); }
  { auto t = tile(kWaterLast, kWater); DrawWater(t, kDeepWater, false, 8); }
  { auto t = tile(kShallowsLater, kShallows); DrawWater(t, kShallowWater, true, 6); }
  return image;
}

// ---------------------------------------------------------------------------
// The map

struct DemoMap {
  std::vector<int32_t> ground, details, overlay;
  DemoMap() : ground(kMapSize * kMapSize), details(kMapSize * kMapSize), overlay(kMapSize * kMapSize) {}
  static int At(int c, int r) { return r * kMapSize + c; }
};

// The start view shows columns 42 to 82 and rows 54 to 76: a village on a
// crossroads, a pond with a bridge, and woods around.
constexpr int kPondColumn = 50, kPondRow = 70;
constexpr int kRoadRow = 64, kRoadColumn = 60;

double Elevation(int c, int r) {
  const double pond = std::hypot(c - kPondColumn, (r - kPondRow) * 1.3);
  double e = 0.25 + Fractal(c, r, 2024);
  if (pond < 9) e -= (9 - pond) * 0.06;
  return e;
}

void LayGround(DemoMap& map) {
  for (int r = 0; r < kMapSize; ++r)
    for (int c = 0; c < kMapSize; ++c) {
      const double e = Elevation(c, r);
      int32_t v = e < 0.42 ? kWater : e < 0.47 ? kShallows : e < 0.52 ? kSand
                : ValueNoise(c, r, 6, 77) > 0.55 ? kMeadow : kGrass;
      const bool road = (r == kRoadRow && c > 20 && c < 110) || (c == kRoadColumn && r > 30 && r < 100);
      if (road) v = (v == kWater || v == kShallows) ? kPlanks : kPath;
      map.ground[DemoMap::At(c, r)] = v;
    }
  // The village square
  for (int r = kRoadRow - 2; r <= kRoadRow + 2; ++r)
    for (int c = kRoadColumn - 2; c <= kRoadColumn + 2; ++c) map.ground[DemoMap::At(c, r)] = kCobbles;
}

void BuildHouse(DemoMap& map, int c0, int r0, int width) {
  for (int c = c0; c < c0 + width; ++c) {
    map.overlay[DemoMap::At(c, r0)] = c == c0 + width - 2 ? kChimneyRoof : kRoof;
    map.overlay[DemoMap::At(c, r0 + 1)] = kRoof;
    map.ground[DemoMap::At(c, r0 + 2)] = kWall;
    map.ground[DemoMap::At(c, r0 + 3)] = kPath;  // the doorstep lane
  }
}

void PlaceVillage(DemoMap& map) {
  BuildHouse(map, 63, 58, 5);
  BuildHouse(map, 52, 58, 4);
  BuildHouse(map, 64, 67, 4);
  for (int c = 69; c < 76; ++c) map.details[DemoMap::At(c, 66)] = kFence;  // a garden
  for (int r = 67; r < 71; ++r)
    for (int c = 69; c < 76; ++c) map.details[DemoMap::At(c, r)] = (c + r) % 2 ? kFlowers : kEmpty;
}

bool Open(const DemoMap& map, int i) {
  const int32_t g = map.ground[i];
  return (g == kGrass || g == kMeadow) && map.details[i] == kEmpty && map.overlay[i] == kEmpty;
}

void Scatter(DemoMap& map) {
  for (int r = 0; r < kMapSize; ++r)
    for (int c = 0; c < kMapSize; ++c) {
      const int i = DemoMap::At(c, r);
      const double roll = Random01(c, r, 31);
      const bool nearVillage = std::abs(c - kRoadColumn) < 12 && std::abs(r - kRoadRow) < 9;
      if (map.ground[i] == kShallows && roll < 0.35) map.details[i] = kReeds;
      if (map.ground[i] == kWater && roll < 0.08) map.details[i] = kLily;
      if (!Open(map, i)) continue;
      if (!nearVillage && ValueNoise(c, r, 9, 555) > 0.58 && roll < 0.75) {
        map.overlay[i] = kTree;  // woods
      } else if (roll < 0.07) {
        map.details[i] = kFlowers;
      } else if (roll < 0.10) {
        map.details[i] = kBush;
      } else if (roll < 0.115) {
        map.details[i] = kRock;
      } else if (roll < 0.14 && !nearVillage) {
        map.overlay[i] = kTree;
      }
    }
}

json_t* LayerJson(const char* name, const std::vector<int32_t>& cells) {
  json_t* data = json_array();
  for (int32_t v : cells) json_array_append_new(data, json_integer(v));
  json_t* layer = json_object();
  json_object_set_new(layer, "name", json_string(name));
  json_object_set_new(layer, "data", data);
  return layer;
}

DemoMap MakeMap() {
  DemoMap map;
  LayGround(map);
  PlaceVillage(map);
  Scatter(map);
  return map;
}

bool WriteMap(const std::string& path) {
  const DemoMap map = MakeMap();
  json_t* root = json_object();
  json_object_set_new(root, "tilewidth", json_integer(kTile));
  json_object_set_new(root, "tileheight", json_integer(kTile));
  json_object_set_new(root, "width", json_integer(kMapSize));
  json_object_set_new(root, "height", json_integer(kMapSize));
  json_t* layers = json_array();
  json_array_append_new(layers, LayerJson("ground", map.ground));
  json_array_append_new(layers, LayerJson("details", map.details));
  json_array_append_new(layers, LayerJson("overlay", map.overlay));
  json_object_set_new(root, "layers", layers);
  const int result = json_dump_file(root, path.c_str(), JSON_COMPACT | JSON_PRESERVE_ORDER);
  json_decref(root);
  return result == 0;
}

// The water's waves: deep water in three frames of 400 ms, the shallows in
// two of 600 ms, both starting on the tile the map holds, so the picture at
// t = 0 is the map's own. They meet four times a 1.2 s cycle: at 400, 600,
// 800 and 1200 ms.
json_t* AnimationJson(TileValue tile, std::initializer_list<TileValue> frames, int duration) {
  json_t* frameArray = json_array();
  for (TileValue frame : frames) {
    json_t* entry = json_object();
    json_object_set_new(entry, "tile", json_integer(frame));
    json_object_set_new(entry, "duration", json_integer(duration));
    json_array_append_new(frameArray, entry);
  }
  json_t* animation = json_object();
  json_object_set_new(animation, "tile", json_integer(tile));
  json_object_set_new(animation, "frames", frameArray);
  return animation;
}

// ---------------------------------------------------------------------------
// The overview

constexpr int kPicture = kMapSize * kTile;  // the whole map, in pixels a side
constexpr int kStartX = 2000, kStartY = 2100;  // the viewer's own start

// A pixel of the picture: its colour times its alpha (255 x 255 at most)
// and its alpha.
struct Premultiplied {
  uint64_t r = 0, g = 0, b = 0, a = 0;
};

// The whole map drawn as the viewer draws it at time 0, layer over layer.
std::vector<Premultiplied> ComposeMap(const DemoMap& map, const SDL_Surface* tileset) {
  std::vector<Premultiplied> picture(static_cast<size_t>(kPicture) * kPicture);
  for (const std::vector<int32_t>* layer : {&map.ground, &map.details, &map.overlay})
    for (int r = 0; r < kMapSize; ++r)
      for (int c = 0; c < kMapSize; ++c) {
        const int32_t value = (*layer)[DemoMap::At(c, r)];
        if (value < 1) continue;
        const int tileX = (value - 1) % kColumns * kTile, tileY = (value - 1) / kColumns * kTile;
        for (int y = 0; y < kTile; ++y)
          for (int x = 0; x < kTile; ++x) {
            const auto* row = static_cast<const uint8_t*>(tileset->pixels) + (tileY + y) * tileset->pitch;
            const uint32_t argb = reinterpret_cast<const uint32_t*>(row)[tileX + x];
            const uint64_t alpha = argb >> 24;
            Premultiplied& to = picture[static_cast<size_t>(r * kTile + y) * kPicture + c * kTile + x];
            // Source over destination, in 255ths.
            to.r = (((argb >> 16) & 0xFF) * alpha * 255 + to.r * (255 - alpha) + 127) / 255;
            to.g = (((argb >> 8) & 0xFF) * alpha * 255 + to.g * (255 - alpha) + 127) / 255;
            to.b = ((argb & 0xFF) * alpha * 255 + to.b * (255 - alpha) + 127) / 255;
            to.a = (alpha * 255 + to.a * (255 - alpha) + 127) / 255;
          }
      }
  return picture;
}

// The picture scaled by s = min(1, 1280 / side, 720 / side), each pixel the
// average of the area it covers (whole integers: an output pixel spans
// kPicture units, an input one `side` units). Colours are averaged
// premultiplied, so transparent pixels give no colour.
SDL_Surface* ScaleDown(const std::vector<Premultiplied>& picture, int side) {
  SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, side, side, 32, SDL_PIXELFORMAT_ARGB8888);
  if (image == nullptr) return nullptr;
  // How much of input pixel i output pixel o covers, for each o: (i, units).
  std::vector<std::vector<std::pair<int, uint64_t>>> cover(static_cast<size_t>(side));
  for (int o = 0; o < side; ++o) {
    const int64_t begin = int64_t{o} * kPicture, end = begin + kPicture;  // in units of 1 / side input pixel
    for (int64_t i = begin / side; i * side < end; ++i) {
      const int64_t overlap = std::min(end, (i + 1) * side) - std::max(begin, i * side);
      if (overlap > 0) cover[static_cast<size_t>(o)].push_back({static_cast<int>(i), static_cast<uint64_t>(overlap)});
    }
  }
  const uint64_t whole = uint64_t{kPicture} * kPicture;  // the units of one output pixel's area
  for (int oy = 0; oy < side; ++oy)
    for (int ox = 0; ox < side; ++ox) {
      Premultiplied sum;
      for (const auto& [iy, wy] : cover[static_cast<size_t>(oy)])
        for (const auto& [ix, wx] : cover[static_cast<size_t>(ox)]) {
          const Premultiplied& p = picture[static_cast<size_t>(iy) * kPicture + ix];
          sum.r += p.r * wx * wy;
          sum.g += p.g * wx * wy;
          sum.b += p.b * wx * wy;
          sum.a += p.a * wx * wy;
        }
      const uint64_t alpha = (sum.a + whole / 2) / whole;
      const auto channel = [&sum](uint64_t premultiplied) {
        return sum.a == 0 ? uint64_t{0} : std::min<uint64_t>(255, (premultiplied + sum.a / 2) / sum.a);
      };
      auto* row = static_cast<uint8_t*>(image->pixels) + oy * image->pitch;
      reinterpret_cast<uint32_t*>(row)[ox] =
          static_cast<uint32_t>(alpha << 24 | channel(sum.r) << 16 | channel(sum.g) << 8 | channel(sum.b));
    }
  return image;
}

int OverviewSide() {
  // s = min(1, 1280 / w, 720 / h) for a square picture: 720 / side.
  return std::min(kPicture, 720);
}

bool WriteOverview(const std::string& path, const SDL_Surface* tileset) {
  SDL_Surface* image = ScaleDown(ComposeMap(MakeMap(), tileset), OverviewSide());
  const bool written = image != nullptr && IMG_SavePNG(image, path.c_str()) == 0;
  SDL_FreeSurface(image);
  return written;
}

json_t* RectangleJson(std::initializer_list<std::pair<const char*, int>> members) {
  json_t* object = json_object();
  for (const auto& [name, value] : members) json_object_set_new(object, name, json_integer(value));
  return object;
}

bool WriteView(const std::string& path, int zoomLevels) {
  json_t* list = json_array();
  json_array_append_new(list, AnimationJson(kWater, {kWater, kWaterLater, kWaterLast}, 400));
  json_array_append_new(list, AnimationJson(kShallows, {kShallows, kShallowsLater}, 600));
  json_t* root = json_object();
  json_object_set_new(root, "animations", list);
  json_t* overview = RectangleJson({{"x", 0}, {"y", 0}, {"width", kPicture}, {"height", kPicture}});
  json_object_set_new(overview, "image", json_string("overview.png"));
  json_object_set_new(root, "overview", overview);
  json_object_set_new(root, "start", RectangleJson({{"x", kStartX}, {"y", kStartY}}));
  if (zoomLevels > 0) json_object_set_new(root, "zoom", RectangleJson({{"levels", zoomLevels}}));
  const int result = json_dump_file(root, path.c_str(), JSON_COMPACT | JSON_PRESERVE_ORDER);
  json_decref(root);
  return result == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];

  SDL_Surface* tileset = MakeTileset();
  if (tileset == nullptr || IMG_SavePNG(tileset, (folder + "/final.png").c_str()) != 0) {
    std::fprintf(stderr, "make-demo: cannot write %s/final.png: %s\n", folder.c_str(), SDL_GetError());
    return 1;
  }
  if (!WriteOverview(folder + "/overview.png", tileset)) {
    std::fprintf(stderr, "make-demo: cannot write %s/overview.png: %s\n", folder.c_str(), SDL_GetError());
    return 1;
  }
  SDL_FreeSurface(tileset);

  if (!WriteMap(folder + "/main.json")) {
    std::fprintf(stderr, "make-demo: cannot write %s/main.json\n", folder.c_str());
    return 1;
  }
  if (!WriteView(folder + "/view.json", 0)) {
    std::fprintf(stderr, "make-demo: cannot write %s/view.json\n", folder.c_str());
    return 1;
  }
  // The levels from the folder as written, its animations among them; then
  // view.json names them.
  size_t levels = 0;
  try {
    const std::vector<importer::ZoomLevel> made =
        importer::MakeZoomLevels(importer::ReadViewerFolder(folder + "/main.json"));
    importer::WriteZoomLevels(made, folder);
    levels = made.empty() ? 0 : static_cast<size_t>(made.back().number);  // from level 1: the demo repeats
  } catch (const importer::ImportError& error) {
    std::fprintf(stderr, "make-demo: cannot write %s/zoom: %s\n", folder.c_str(), error.what());
    return 1;
  }
  if (!WriteView(folder + "/view.json", static_cast<int>(levels))) {
    std::fprintf(stderr, "make-demo: cannot write %s/view.json\n", folder.c_str());
    return 1;
  }
  std::printf("make-demo: wrote final.png, overview.png, main.json, view.json and zoom/ in %s\n", folder.c_str());
  return 0;
}
