#pragma once
// A world shaped like a real game's: 6 × 4 maps of 186 × 262 cells of
// 32 × 32 (1116 × 1048 cells in all), ten layers each, drawn from four
// tilesets that every map shares (.tsx files): a full ground of textured
// terrain, edges that fade the grass over the dirt and sand, paths,
// flowers and stones, houses of walls, windows and roofs, trees two cells
// tall, fences and barrels, and a layer of shadows at 60 % opacity. Its
// import keeps some 19,000 distinct blocks.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "bench_art.h"

namespace realworld {

constexpr int kColumns = 6, kRows = 4, kWidth = 186, kHeight = 262, kStreet = 31;

// The tilesets: name, columns, rows, tile height, first gid.
struct Sheet {
  const char* name;
  int columns, rows, tileHeight;
  uint32_t firstGid;
};
constexpr Sheet kTerrain{"terrain", 8, 18, 32, 1}, kDecor{"decor", 8, 8, 32, 145},
    kBuildings{"buildings", 16, 8, 32, 209}, kProps{"props", 8, 4, 64, 337};

// Terrain: grass (0-47), dirt (48-63), sand (64-79), water (80-95), grass
// fading out towards one of four sides (96-127), cobbles (128-143).
inline uint32_t PaintTerrain(int tile, int x, int y) {
  const int g = Grain(tile, x, y, 11, 6) * 5;
  if (tile < 48) {
    const bool blade = Grain(tile, x, y, 12, 9) == 0;
    return blade ? Rgba(40 + g, 100 + g, 30) : Rgba(70 + g + tile % 6, 140 + g + tile % 8, 55 + tile % 5);
  }
  if (tile < 64) return Rgba(120 + g, 90 + g, 60 + tile % 16);
  if (tile < 80) return Rgba(205 + g, 185 + g, 130 + tile % 16);
  if (tile < 96) return Rgba(40, 80 + g, 170 + 3 * ((x + y + tile) % 5));
  if (tile < 128) {  // the grass's edge, soft: alpha falls off over twelve pixels
    const int side = (tile - 96) / 8, d = side == 0 ? y : side == 1 ? 31 - x : side == 2 ? 31 - y : x;
    const int alpha = std::clamp(255 - (d - 8 - Grain(tile, x, y, 13, 4)) * 22, 0, 255);
    return Rgba(70 + g, 140 + g + tile % 8, 55, alpha);
  }
  const bool mortar = (x + 2 * (y / 8 % 2) * 4) % 8 == 0 || y % 8 == 0;
  return mortar ? Rgba(90, 90, 95) : Rgba(140 + g, 140 + g, 145 + tile % 8);
}

// Decor: flowers (0-15), stones (16-31), shadows (32-47), fences and
// barrels (48-63); their edges half covered.
inline uint32_t PaintDecor(int tile, int x, int y) {
  const int g = Grain(tile, x, y, 21, 4) * 8;
  const int dx = x - 16, dy = y - 18, r2 = dx * dx + dy * dy;
  if (tile < 16) {
    const bool petal = (x * 7 + y * 3 + tile) % 17 < 2 && r2 < 180;
    return petal ? Rgba(220, 60 + 8 * tile, 90 + g) : Rgba(0, 0, 0, 0);
  }
  if (tile < 32) {
    const int r = 60 + 8 * (tile % 8);
    if (r2 >= r + 14) return Rgba(0, 0, 0, 0);
    return Rgba(120 + g, 118 + g, 112 + g, r2 < r ? 255 : 128);
  }
  if (tile < 48) {
    const int reach = 120 + 20 * (tile % 8);
    return r2 < reach ? Rgba(0, 0, 0, 150 - r2 * 60 / reach) : Rgba(0, 0, 0, 0);
  }
  if (tile < 56) return (y > 12 && y < 16) || (y > 22 && y < 26) || x % 16 < 3 ? Rgba(130 + g, 90 + g, 50) : Rgba(0, 0, 0, 0);
  return r2 < 100 ? Rgba(140 + g, 80 + g + 4 * (tile % 8), 40) : Rgba(0, 0, 0, 0);
}

// Buildings: walls in four colours (0-47), windows and doors over them
// (48-63), roofs in four colours, their bottom row with eaves (64-127).
inline uint32_t PaintBuildings(int tile, int x, int y) {
  const int colour = tile / 12 % 4, g = Grain(tile, x, y, 31, 4) * 5;
  if (tile < 48) {
    const bool mortar = y % 8 == 0 || (x + (y / 8 % 2) * 8) % 16 == 0;
    return mortar ? Rgba(200, 195, 185) : Rgba(150 + 30 * colour + g, 90 + 20 * colour + g, 70 + g + tile % 12);
  }
  if (tile < 64) {
    if (tile % 2 == 0) return x > 8 && x < 24 && y > 8 && y < 22 ? Rgba(120, 170, 210 - y, 230) : Rgba(0, 0, 0, 0);
    return x > 10 && x < 22 && y > 6 ? Rgba(100 + g, 60, 30) : Rgba(0, 0, 0, 0);
  }
  const int roof = (tile - 64) / 16, part = (tile - 64) % 16;
  if (part >= 12 && y > 26 - (part - 12) * 2) return Rgba(0, 0, 0, y > 29 ? 0 : 100);  // eaves
  return y % 6 == 0 ? Rgba(60, 40, 40) : Rgba(170 - 30 * roof + g, 60 + 25 * roof + g, 50 + 10 * roof + part);
}

// Props, 32 × 64: trees (0-23) with soft edges, lamps (24-31).
inline uint32_t PaintProps(int tile, int x, int y) {
  const int g = Grain(tile, x, y, 41, 4) * 8;
  if (tile < 24) {
    const int dx = x - 16, dy = y - 24 - tile % 4, r = 11 + tile % 5, d2 = dx * dx + dy * dy;
    if (d2 < r * r) return Rgba(30 + g, 110 + g + 2 * tile, 40, 255);
    if (d2 < (r + 2) * (r + 2)) return Rgba(30 + g, 100 + g, 40, 110);
    if (y >= 34 && x >= 14 && x < 18) return Rgba(100, 70 + g, 40);
    return Rgba(0, 0, 0, 0);
  }
  if (x >= 15 && x < 17 && y > 20) return Rgba(40, 40, 45);
  return y > 12 && y < 20 && x > 11 && x < 21 ? Rgba(250, 230, 150, 200) : Rgba(0, 0, 0, 0);
}

inline void WriteSheet(const std::string& folder, const Sheet& sheet, uint32_t (*paint)(int, int, int)) {
  const std::string image = std::string("realworld-") + sheet.name + ".png";
  WriteArt(folder + "/" + image, sheet.columns, sheet.rows, 32, sheet.tileHeight, paint);
  std::ofstream tsx(folder + "/realworld-" + sheet.name + ".tsx");
  tsx << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tileset version=\"1.10\" name=\"" << sheet.name
      << "\" tilewidth=\"32\" tileheight=\"" << sheet.tileHeight << "\" tilecount=\"" << sheet.columns * sheet.rows
      << "\" columns=\"" << sheet.columns << "\">\n <image source=\"" << image << "\" width=\""
      << sheet.columns * 32 << "\" height=\"" << sheet.rows * sheet.tileHeight << "\"/>\n</tileset>\n";
}

// One map's ten layers, `seed` its own.
inline std::vector<std::vector<uint32_t>> MapLayers(uint64_t seed) {
  constexpr int kCells = kWidth * kHeight;
  std::vector<std::vector<uint32_t>> layers(10, std::vector<uint32_t>(kCells, 0));
  std::vector<uint32_t>&ground = layers[0], &edges = layers[1], &paths = layers[2], &decor = layers[3],
                        &walls = layers[4], &details = layers[5], &props = layers[6], &fences = layers[7],
                        &roofs = layers[8], &shadows = layers[9];
  uint64_t state = seed;
  auto roll = [&](uint32_t n) { return Next(state) % n; };
  // Terrain by areas of 9 × 7 cells: mostly grass.
  std::vector<int> kind(kCells);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t area = uint32_t(Grain(x / 9, y / 7, int(seed % 1000), 1, 100));
      kind[y * kWidth + x] = area < 72 ? 0 : area < 84 ? 1 : area < 93 ? 2 : 3;  // grass, dirt, sand, water
    }
  const uint32_t grassFrom = uint32_t(seed % 3) * 8;  // each map favours some grasses
  for (int k = 0; k < kCells; ++k) {
    const int x = k % kWidth, y = k / kWidth;
    uint32_t tile = kind[k] == 0 ? (roll(8) == 0 ? roll(48) : grassFrom + roll(16)) : uint32_t(32 + 16 * kind[k]) + roll(16);
    ground[k] = (kTerrain.firstGid + tile) | (kind[k] == 0 && roll(10) == 0 ? 0x80000000u : 0);  // some flipped
    if (kind[k] == 1 || kind[k] == 2) {  // grass fading over from a grass neighbour
      const int sides[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
      for (int side = 0; side < 4; ++side) {
        const int nx = x + sides[side][0], ny = y + sides[side][1];
        if (nx >= 0 && nx < kWidth && ny >= 0 && ny < kHeight && kind[ny * kWidth + nx] == 0) {
          edges[k] = kTerrain.firstGid + 96 + uint32_t(side) * 8 + roll(8);
          break;
        }
      }
    }
    const bool street = x % kStreet < 2 || y % kStreet < 2;
    if (street && kind[k] != 3) paths[k] = kTerrain.firstGid + 128 + roll(16);
    if (!street && kind[k] == 0 && roll(100) < 5) decor[k] = kDecor.firstGid + roll(24);
  }
  // Houses between the streets, as in a town: walls, windows and doors, roofs.
  for (int by = 0; by < kHeight / kStreet; ++by)
    for (int bx = 0; bx < kWidth / kStreet; ++bx)
      for (int h = 0; h < 4; ++h) {
        if (roll(3) == 0) continue;
        const int w = 4 + int(roll(5)), tall = 4 + int(roll(3)), colour = int(roll(4));
        const int x0 = bx * kStreet + 3 + (h % 2) * 14, y0 = by * kStreet + 3 + (h / 2) * 14;
        for (int y = y0; y < y0 + tall; ++y)
          for (int x = x0; x < x0 + w; ++x) {
            const int k = y * kWidth + x;
            const int edge = x == x0 ? 0 : x == x0 + w - 1 ? 2 : 1;
            if (y < y0 + tall - 2) {  // roofs over the walls' upper rows, eaves at their foot
              const int part = y == y0 + tall - 3 ? 12 + edge : (y == y0 ? 0 : 3) + edge + 6 * int(roll(2));
              roofs[k] = kBuildings.firstGid + 64 + uint32_t(colour * 16 + part);
            } else {
              walls[k] = kBuildings.firstGid + uint32_t(colour * 12) + roll(12);
              if (roll(3) == 0) details[k] = kBuildings.firstGid + 48 + roll(16);
            }
            decor[k] = 0;
          }
        for (int y = y0; y < y0 + tall; ++y)
          if (x0 + w < kWidth) shadows[y * kWidth + x0 + w] = kDecor.firstGid + 32 + roll(8);  // east of the house
      }
  // Trees and their shadows on the grass, lamps by the streets, fences and barrels.
  for (int y = 1; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const int k = y * kWidth + x;
      const bool street = x % kStreet < 2 || y % kStreet < 2;
      const bool free = walls[k] == 0 && roofs[k] == 0 && walls[k - kWidth] == 0 && roofs[k - kWidth] == 0;
      if (street && x % 7 == 0 && y % kStreet == 2) props[k] = kProps.firstGid + 24 + roll(8);
      if (!free || kind[k] != 0 || street) continue;
      if (roll(100) < 5) {  // each tree casts its own shadow
        const uint32_t tree = roll(24);
        props[k] = kProps.firstGid + tree;
        shadows[k] = kDecor.firstGid + 32 + tree % 16;
      } else if (roll(100) < 3) {
        fences[k] = kDecor.firstGid + 48 + roll(16);
      }
    }
  return layers;
}

inline void WriteWorldMap(const std::string& folder, const std::string& name, uint64_t seed) {
  static const char* kNames[10] = {"ground", "edges", "paths", "decor", "walls",
                                   "wall details", "props", "fences", "roofs", "shadows"};
  std::ofstream out(folder + "/" + name + ".tmx");
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.10\" orientation=\"orthogonal\" "
         "renderorder=\"right-down\" width=\"" << kWidth << "\" height=\"" << kHeight
      << "\" tilewidth=\"32\" tileheight=\"32\" infinite=\"0\">\n";
  for (const Sheet& sheet : {kTerrain, kDecor, kBuildings, kProps})
    out << " <tileset firstgid=\"" << sheet.firstGid << "\" source=\"realworld-" << sheet.name << ".tsx\"/>\n";
  const std::vector<std::vector<uint32_t>> layers = MapLayers(seed);
  std::string row;
  for (int layer = 0; layer < 10; ++layer) {
    out << " <layer name=\"" << kNames[layer] << "\" width=\"" << kWidth << "\" height=\"" << kHeight << "\""
        << (layer == 9 ? " opacity=\"0.6\"" : "") << ">\n  <data encoding=\"csv\">\n";
    for (int y = 0; y < kHeight; ++y) {
      row.clear();
      for (int x = 0; x < kWidth; ++x) {
        row += std::to_string(layers[size_t(layer)][size_t(y * kWidth + x)]);
        if (x + 1 < kWidth || y + 1 < kHeight) row += ',';
      }
      out << row << '\n';
    }
    out << "</data>\n </layer>\n";
  }
  out << "</map>\n";
}

}  // namespace realworld

// `name`.world and its maps, beside the tilesets they share.
inline void WriteRealWorld(const std::string& folder, const std::string& name) {
  using namespace realworld;
  WriteSheet(folder, kTerrain, PaintTerrain);
  WriteSheet(folder, kDecor, PaintDecor);
  WriteSheet(folder, kBuildings, PaintBuildings);
  WriteSheet(folder, kProps, PaintProps);
  std::ofstream world(folder + "/" + name + ".world");
  world << "{\n  \"type\": \"world\",\n  \"maps\": [";
  for (int k = 0; k < kColumns * kRows; ++k) {
    const std::string map = name + "-" + std::to_string(k % kColumns) + "-" + std::to_string(k / kColumns);
    WriteWorldMap(folder, map, 0x243F6A8885A308D3ull + 104729ull * uint64_t(k));
    world << (k ? ",\n" : "\n") << "    {\"fileName\": \"" << map << ".tmx\", \"x\": " << k % kColumns * kWidth * 32
          << ", \"y\": " << k / kColumns * kHeight * 32 << "}";
  }
  world << "\n  ]\n}\n";
}
