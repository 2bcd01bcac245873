// The importer's time and memory against its floor, each run in a fresh
// process (bench/import_report.py runs them and writes the report):
//   bench_import make FOLDER           writes the benchmark maps
//                                      (realworld.world: bench_realworld.h)
//   bench_import floor MAP             reads and decodes MAP alone (a map,
//                                      or a world and its maps) and the
//                                      images they use
//   bench_import import MAP OUTPUT     imports MAP into OUTPUT
//   bench_import png FINAL_PNG         writes FINAL_PNG again as the
//                                      importer writes it (only that timed)
//   bench_import animation MAP OUT      writes MAP's animation (OUT.webp or
//                                      .gif), as --animation does
//   bench_import overview MAP OUTPUT   composes MAP, then makes its
//                                      overview and writes OUTPUT/overview.png
//                                      (only that timed)
//   bench_import levels FOLDER         makes the zoom levels of an imported
//                                      FOLDER again and writes them beside
//                                      it (only that timed)
//   bench_import picture MAP OUT.png   tilemap-import --picture OUT.png MAP
//   bench_import memory PNG            writes PNG again from memory, by
//                                      SDL_image and by --picture's stream
//                                      (each timed)
// The last five print one JSON line: wall and processor seconds, peak
// resident KiB, cells. Processor time (user + system) is what the ratio
// uses: it hardly moves when other programs share the machine.

#include <SDL.h>
#include <SDL_image.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "import/import.h"
#include "import/read/images.h"
#include "import/read/read_map.h"
#include "import/read/world.h"
#include "import/compose/composer.h"
#include "import/write/overview.h"
#include "import/write/png_stream.h"
#include "import/write/stored_png.h"
#include "import/write/zoom_files.h"
#include "import/write/zoom_levels.h"
#include "import/compose/from_folder.h"

#include "bench_art.h"
#include "bench_realworld.h"

namespace {

// A 4 × 4 tileset of `tile` × `tileHeight` tiles (square when not given),
// each its own colour and pattern; `shade` makes another set of colours.
void WriteTileset(const std::string& path, int tile, int tileHeight = 0, int shade = 0) {
  const int th = tileHeight > 0 ? tileHeight : tile;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 4 * tile, 4 * th, 32, SDL_PIXELFORMAT_RGBA32);
  auto* pixels = static_cast<uint8_t*>(surface->pixels);
  for (int y = 0; y < 4 * th; ++y)
    for (int x = 0; x < 4 * tile; ++x) {
      const int k = y / th * 4 + x / tile;
      uint8_t* p = pixels + y * surface->pitch + x * 4;
      p[0] = uint8_t(40 + 13 * k), p[1] = uint8_t(x * 5 + shade), p[2] = uint8_t(y * 3 + 2 * shade);
      p[3] = (x + y) % 9 == 0 ? 0 : 255;  // holes: the layers below show through
    }
  IMG_SavePNG(surface, path.c_str());
  SDL_FreeSurface(surface);
}

// Three CSV layers of `cells` × `cells`, each cell's gid from `gidAt`.
template <typename GidAt>
void WriteLayers(std::ofstream& out, int cells, GidAt gidAt) {
  std::string row;
  for (int layer = 0; layer < 3; ++layer) {
    out << " <layer name=\"layer " << layer << "\" width=\"" << cells << "\" height=\"" << cells
        << "\">\n  <data encoding=\"csv\">\n";
    for (int y = 0; y < cells; ++y) {
      row.clear();
      for (int x = 0; x < cells; ++x) {
        row += std::to_string(gidAt(layer, x, y));
        if (x + 1 < cells || y + 1 < cells) row += ',';
      }
      out << row << '\n';
    }
    out << "</data>\n </layer>\n";
  }
}

// Three CSV layers of `cells` × `cells`: a full ground, and two sparser
// layers above. `block` cells make one 32-pixel block: the upper layers
// change only from block to block, so the distinct blocks stay few.
void WriteMap(const std::string& folder, const std::string& name, int cells, int tile, int shade = 0,
              uint64_t seed = 0x9E3779B97F4A7C15ull) {
  const int block = 32 / tile;
  WriteTileset(folder + "/" + name + ".png", tile, 0, shade);
  std::ofstream out(folder + "/" + name + ".tmx");
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.10\" orientation=\"orthogonal\" "
         "renderorder=\"right-down\" width=\"" << cells << "\" height=\"" << cells << "\" tilewidth=\"" << tile
      << "\" tileheight=\"" << tile << "\" infinite=\"0\">\n <tileset firstgid=\"1\" name=\"t\" tilewidth=\""
      << tile << "\" tileheight=\"" << tile << "\"><image source=\"" << name << ".png\"/></tileset>\n";
  uint64_t state = seed;
  WriteLayers(out, cells, [&](int layer, int x, int y) {
    uint32_t gid = 0;
    const uint32_t roll = Next(state) % 100;
    if (layer == 0) gid = 1 + (block == 1 ? roll % 12 : (x / block + y / block) % 4);
    if (layer == 1 && roll < 30) gid = 13 + roll % 2;
    if (layer == 2 && (x / block * 7 + y / block * 3) % 20 == 0) gid = 15;
    if (layer == 0 && block == 1 && roll % 20 == 0) gid |= 0x80000000u;  // some flipped
    return gid;
  });
  out << "</map>\n";
}

// An isometric map of `cells` × `cells` on a 32 × 16 grid: a flat ground of
// 32 × 16 diamonds that changes by areas of 8 × 8 cells, and props 32 × 32,
// standing a cell's height above their diamond over the cells behind them,
// on every fourth cell of every fourth row (and on every sixteenth above).
void WriteIsometricMap(const std::string& folder, const std::string& name, int cells) {
  WriteTileset(folder + "/" + name + "-ground.png", 32, 16);
  WriteTileset(folder + "/" + name + ".png", 32);
  std::ofstream out(folder + "/" + name + ".tmx");
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.10\" orientation=\"isometric\" "
         "renderorder=\"right-down\" width=\"" << cells << "\" height=\"" << cells
      << "\" tilewidth=\"32\" tileheight=\"16\" infinite=\"0\">\n"
         " <tileset firstgid=\"1\" name=\"ground\" tilewidth=\"32\" tileheight=\"16\"><image source=\""
      << name << "-ground.png\"/></tileset>\n"
         " <tileset firstgid=\"17\" name=\"props\" tilewidth=\"32\" tileheight=\"32\"><image source=\""
      << name << ".png\"/></tileset>\n";
  WriteLayers(out, cells, [](int layer, int x, int y) {
    if (layer == 0) return uint32_t(1 + (x / 8 + 2 * (y / 8)) % 4);
    if (layer == 1 && x % 4 == 0 && y % 4 == 0) return uint32_t(29 + (x / 8 + y / 8) % 2);
    if (layer == 2 && x % 16 == 8 && y % 16 == 8) return uint32_t(31);
    return uint32_t(0);
  });
  out << "</map>\n";
}

// 2048 × 2048 cells of animated sea, of 32 × 32, the sea's
// tile 8 frames of 150 ms; on every fourth cell of every fourth row a wave
// 32 × 64 of 7 frames of 110 ms, reaching over the sea's block above it,
// where the two animations meet (1,400 frames over 92.4 s).
void WriteWaterMap(const std::string& folder, const std::string& name) {
  constexpr int kCells = 2048;
  WriteTileset(folder + "/" + name + ".png", 32);
  WriteTileset(folder + "/" + name + "-waves.png", 32, 64, 60);
  std::ofstream out(folder + "/" + name + ".tmx");
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.10\" orientation=\"orthogonal\" "
         "renderorder=\"right-down\" width=\"" << kCells << "\" height=\"" << kCells
      << "\" tilewidth=\"32\" tileheight=\"32\" infinite=\"0\">\n"
         " <tileset firstgid=\"1\" name=\"sea\" tilewidth=\"32\" tileheight=\"32\"><image source=\"" << name
      << ".png\"/>\n  <tile id=\"0\"><animation>";
  for (int k = 0; k < 8; ++k) out << "<frame tileid=\"" << k << "\" duration=\"150\"/>";
  out << "</animation></tile>\n </tileset>\n <tileset firstgid=\"17\" name=\"waves\" tilewidth=\"32\" "
         "tileheight=\"64\"><image source=\"" << name << "-waves.png\"/>\n  <tile id=\"0\"><animation>";
  for (int k = 0; k < 7; ++k) out << "<frame tileid=\"" << k << "\" duration=\"110\"/>";
  out << "</animation></tile>\n </tileset>\n <layer name=\"sea\" width=\"" << kCells << "\" height=\"" << kCells
      << "\">\n  <data encoding=\"csv\">\n";
  for (int y = 0; y < kCells; ++y) {
    for (int x = 0; x < kCells; ++x)
      out << (x % 4 == 1 && y % 4 == 2 ? 17 : 1) << (x + 1 < kCells || y + 1 < kCells ? "," : "");
    out << '\n';
  }
  out << "</data>\n </layer>\n</map>\n";
}

// A world of `columns` × `rows` maps of `cells` × `cells` cells of 32 × 32
// (3 × 2 of 150 × 150 when not given), side by side, each with its own
// tileset and cells, listed one by one in `name`.world.
void WriteWorld(const std::string& folder, const std::string& name, int columns = 3, int rows = 2, int cells = 150) {
  const int kCells = cells, kSide = kCells * 32;
  std::ofstream world(folder + "/" + name + ".world");
  world << "{\n  \"type\": \"world\",\n  \"maps\": [";
  for (int k = 0; k < columns * rows; ++k) {
    const int column = k % columns, row = k / columns;
    const std::string map = name + "-" + std::to_string(column) + "-" + std::to_string(row);
    WriteMap(folder, map, kCells, 32, 37 * k, 0x9E3779B97F4A7C15ull + 7919 * k);
    world << (k ? ",\n" : "\n") << "    {\"fileName\": \"" << map << ".tmx\", \"x\": " << column * kSide
          << ", \"y\": " << row * kSide << "}";
  }
  world << "\n  ]\n}\n";
}

// A map whose every block is its own: 160 × 125 cells of 32 × 32, each
// showing another tile of a tileset of 20,000 tiles of noise.
void WriteNoiseMap(const std::string& folder, const std::string& name) {
  constexpr int kColumns = 100, kRows = 200, kWidth = 160, kHeight = 125;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, kColumns * 32, kRows * 32, 32, SDL_PIXELFORMAT_RGBA32);
  uint64_t state = 0x2545F4914F6CDD1Dull;
  for (int y = 0; y < surface->h; ++y) {
    auto* p = static_cast<uint8_t*>(surface->pixels) + y * surface->pitch;
    for (int x = 0; x < surface->w; ++x, p += 4) {
      const uint32_t v = Next(state);
      p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = 255;
    }
  }
  IMG_SavePNG(surface, (folder + "/" + name + ".png").c_str());
  SDL_FreeSurface(surface);
  std::ofstream out(folder + "/" + name + ".tmx");
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.10\" orientation=\"orthogonal\" "
         "renderorder=\"right-down\" width=\"" << kWidth << "\" height=\"" << kHeight
      << "\" tilewidth=\"32\" tileheight=\"32\" infinite=\"0\">\n <tileset firstgid=\"1\" name=\"noise\" "
         "tilewidth=\"32\" tileheight=\"32\"><image source=\"" << name << ".png\"/></tileset>\n"
         " <layer name=\"noise\" width=\"" << kWidth << "\" height=\"" << kHeight << "\">\n  <data encoding=\"csv\">\n";
  for (int k = 0; k < kWidth * kHeight; ++k) out << k + 1 << (k + 1 < kWidth * kHeight ? "," : "\n");
  out << "</data>\n </layer>\n</map>\n";
}

// A town of 140 × 140 cells of 32 × 32 as a map editor's user draws one:
// grass, streets and a pond on the ground, houses of walls and roofs, trees
// two cells tall and lamps; three tilesets, each larger than the town uses.
void WriteTown(const std::string& folder, const std::string& name) {
  constexpr int kCells = 140, kStreet = 20;
  // The ground: 8 × 8 tiles; grass (0-15), paths (16-23), cobbles (24-31),
  // water (32-39), sand (40-47), flowers (48-63).
  WriteArt(folder + "/" + name + "-ground.png", 8, 8, 32, 32, [](int tile, int x, int y) {
    const int g = Grain(tile, x, y, 1, 4) * 6;
    switch (tile / 8) {
      case 0: case 1: return Rgba(60 + g, 140 + g + tile, 50, 255);
      case 2: return Rgba(150 + g, 120 + g, 80 + tile, 255);
      case 3: return (x + 2 * (y / 8 % 2) * 4) % 8 == 0 || y % 8 == 0 ? Rgba(90, 90, 95) : Rgba(140 + g, 140 + g, 145 + tile % 8);
      case 4: return Rgba(40, 80 + g, 170 + 3 * ((x + y + tile) % 5), 255);
      case 5: return Rgba(210 + g, 190 + g, 130, 255);
      default: return (x * 7 + y * 3 + tile) % 23 == 0 ? Rgba(230, 60 + tile * 2, 90) : Rgba(60 + g, 150 + g, 55);
    }
  });
  // Houses: 16 × 8 tiles; walls of four colours, windows, doors (0-63),
  // roofs of four colours, each a left, middle and right tile (64-127).
  WriteArt(folder + "/" + name + "-houses.png", 16, 8, 32, 32, [](int tile, int x, int y) {
    const int colour = tile / 16 % 4, g = Grain(tile, x, y, 2, 3) * 5;
    if (tile < 64) {
      const int kind = tile % 16;
      if (kind % 4 == 1 && x > 8 && x < 24 && y > 8 && y < 22) return Rgba(120, 170, 210 - y);  // a window
      if (kind % 4 == 2 && x > 10 && x < 22 && y > 6) return Rgba(100 + g, 60, 30);           // a door
      const bool mortar = y % 8 == 0 || (x + (y / 8 % 2) * 8) % 16 == 0;
      return mortar ? Rgba(200, 195, 185) : Rgba(150 + 30 * colour + g, 90 + 20 * colour + g, 70 + g);
    }
    const int side = tile % 3;  // left, middle, right
    const int eave = side == 0 ? 31 - x : side == 2 ? x : 32;
    if (y > 28 - (eave < 8 ? 8 - eave : 0)) return Rgba(0, 0, 0, 0);
    return y % 6 == 0 ? Rgba(60, 40, 40) : Rgba(170 - 30 * colour + g, 60 + 25 * colour + g, 50 + 10 * colour);
  });
  // Props: 8 × 4 tiles of 32 × 64; trees (0-15), lamps (16-19), bushes.
  WriteArt(folder + "/" + name + "-props.png", 8, 4, 32, 64, [](int tile, int x, int y) {
    const int g = Grain(tile, x, y, 3, 4) * 8;
    if (tile < 16) {
      const int dx = x - 16, dy = y - 24 - tile % 4, r = 12 + tile % 5;
      if (dx * dx + dy * dy < r * r) return Rgba(30 + g, 110 + g + 2 * tile, 40, 255);
      if (y >= 34 && x >= 14 && x < 18) return Rgba(100, 70 + g, 40);
      return Rgba(0, 0, 0, 0);
    }
    if (tile < 20) return x >= 15 && x < 17 && y > 20 ? Rgba(40, 40, 45) : y > 12 && y < 20 && x > 11 && x < 21 ? Rgba(250, 230, 150) : Rgba(0, 0, 0, 0);
    const int dx = x - 16, dy = y - 52;
    return dx * dx + 2 * dy * dy < 120 ? Rgba(40 + g, 120 + g, 50) : Rgba(0, 0, 0, 0);
  });

  std::vector<uint32_t> ground(kCells * kCells), houses(kCells * kCells, 0), props(kCells * kCells, 0);
  uint64_t state = 0xC0FFEE1234567ull;
  for (int y = 0; y < kCells; ++y)
    for (int x = 0; x < kCells; ++x) {
      const int pond = (x - 100) * (x - 100) + (y - 45) * (y - 45);
      const bool street = x % kStreet < 2 || y % kStreet < 2;
      uint32_t tile = Next(state) % 10 < 7 ? Next(state) % 4 : Next(state) % 16;  // mostly plain grass
      if (Next(state) % 40 == 0) tile = 48 + Next(state) % 16;
      if (pond < 64) tile = 32 + Next(state) % 8;
      else if (pond < 100) tile = 40 + Next(state) % 8;
      else if (street) tile = 24 + Next(state) % 8;
      ground[y * kCells + x] = 1 + tile;
    }
  // Houses in the blocks between the streets, none in the pond.
  for (int by = 0; by < kCells / kStreet; ++by)
    for (int bx = 0; bx < kCells / kStreet; ++bx) {
      if (bx == 4 && (by == 1 || by == 2)) continue;  // the pond's block
      for (int k = 0; k < 3; ++k) {
        const int w = 4 + int(Next(state) % 4), h = 3 + int(Next(state) % 3);
        const int x0 = bx * kStreet + 3 + (k % 2) * 9, y0 = by * kStreet + 3 + (k / 2) * 9;
        const int colour = int(Next(state) % 4);
        for (int y = y0; y < y0 + h; ++y)
          for (int x = x0; x < x0 + w; ++x) {
            uint32_t tile;
            if (y < y0 + h - 1) {
              tile = 64 + colour * 16 + (x == x0 ? 0 : x == x0 + w - 1 ? 2 : 1) + 3 * (y == y0 ? 0 : 1);
            } else {
              tile = colour * 16 + (x == x0 + w / 2 ? 2 : (x - x0) % 2 == 1 ? 1 : 0) + 4 * int(Next(state) % 4);
            }
            houses[y * kCells + x] = 1 + 64 + tile;
          }
      }
    }
  // Trees on the grass, lamps along the streets.
  for (int y = 1; y < kCells; ++y)
    for (int x = 0; x < kCells; ++x) {
      const uint32_t on = ground[y * kCells + x] - 1;
      const bool street = x % kStreet < 2 || y % kStreet < 2;
      if (street && x % 6 == 0 && y % kStreet == 2) props[y * kCells + x] = 1 + 64 + 128 + 16 + Next(state) % 4;
      if (on < 16 && houses[y * kCells + x] == 0 && houses[(y - 1) * kCells + x] == 0 && Next(state) % 14 == 0)
        props[y * kCells + x] = 1 + 64 + 128 + (Next(state) % 4 == 0 ? 20 + Next(state) % 12 : Next(state) % 16);
    }
  std::ofstream out(folder + "/" + name + ".tmx");
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.10\" orientation=\"orthogonal\" "
         "renderorder=\"right-down\" width=\"" << kCells << "\" height=\"" << kCells
      << "\" tilewidth=\"32\" tileheight=\"32\" infinite=\"0\">\n"
      << " <tileset firstgid=\"1\" name=\"ground\" tilewidth=\"32\" tileheight=\"32\"><image source=\"" << name
      << "-ground.png\"/></tileset>\n"
      << " <tileset firstgid=\"65\" name=\"houses\" tilewidth=\"32\" tileheight=\"32\"><image source=\"" << name
      << "-houses.png\"/></tileset>\n"
      << " <tileset firstgid=\"193\" name=\"props\" tilewidth=\"32\" tileheight=\"64\"><image source=\"" << name
      << "-props.png\"/></tileset>\n";
  const std::vector<uint32_t>* layers[] = {&ground, &houses, &props};
  const char* names[] = {"ground", "houses", "props"};
  for (int layer = 0; layer < 3; ++layer) {
    out << " <layer name=\"" << names[layer] << "\" width=\"" << kCells << "\" height=\"" << kCells
        << "\">\n  <data encoding=\"csv\">\n";
    for (int k = 0; k < kCells * kCells; ++k)
      out << (*layers[layer])[k] << (k + 1 < kCells * kCells ? (k % kCells == kCells - 1 ? ",\n" : ",") : "\n");
    out << "</data>\n </layer>\n";
  }
  out << "</map>\n";
}

double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "make" && argc == 3) {
    std::error_code made;
    std::filesystem::create_directories(argv[2], made);  // the maps' writers open files in it, and say nothing
    WriteMap(argv[2], "map32", 2048, 32);
    WriteMap(argv[2], "map16", 4096, 16);
    WriteIsometricMap(argv[2], "iso32", 2048);
    WriteWorld(argv[2], "world");
    WriteNoiseMap(argv[2], "noise");
    WriteTown(argv[2], "town");
    WriteWaterMap(argv[2], "water");
    WriteWorld(argv[2], "big", 4, 4, 256);  // 32,768 × 32,768 pixels, for --picture
    WriteRealWorld(argv[2], "realworld");  // shaped like a real game's world of 24 maps
    return 0;
  }
  if ((mode == "floor" && argc == 3) || (mode == "import" && argc == 4)) {
    const auto start = std::chrono::steady_clock::now();
    const double processorStart = ProcessorSeconds();
    int64_t cells = 0;
    try {
      if (mode == "floor" && importer::IsWorldFile(argv[2])) {
        importer::World world = importer::ReadWorld(argv[2]);
        importer::LoadImages(world);
        for (const importer::PlacedMap& placed : world.maps)
          for (const importer::Layer& layer : placed.map.layers) cells += static_cast<int64_t>(layer.cells.gids.size());
      } else if (mode == "floor") {
        importer::Map map = importer::ReadMap(argv[2]);
        importer::LoadImages(map);
        for (const importer::Layer& layer : map.layers) cells += static_cast<int64_t>(layer.cells.gids.size());
      } else {
        const importer::ImportSummary summary = importer::ImportMap(argv[2], argv[3]);
        cells = int64_t{summary.width} * summary.height * summary.layers;
        std::cerr << importer::Describe(summary) << std::endl;
      }
    } catch (const std::exception& error) {
      std::cerr << error.what() << std::endl;
      return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("{\"seconds\": %.4f, \"processor_seconds\": %.4f, \"peak_kib\": %ld, \"cells\": %lld}\n",
                seconds, ProcessorSeconds() - processorStart, PeakKib(), static_cast<long long>(cells));
    return 0;
  }
  if (mode == "png" && argc == 3) {  // what writing final.png alone takes
    SDL_Surface* loaded = IMG_Load(argv[2]);
    if (loaded == nullptr) {
      std::cerr << IMG_GetError() << std::endl;
      return 1;
    }
    SDL_Surface* picture = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);  // as the importer's
    SDL_FreeSurface(loaded);
    const std::string copy = std::string(argv[2]) + ".again.png";
    const auto start = std::chrono::steady_clock::now();
    const double processorStart = ProcessorSeconds();
    importer::WriteTilesetPng(picture, copy);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("{\"seconds\": %.4f, \"processor_seconds\": %.4f}\n", seconds, ProcessorSeconds() - processorStart);
    SDL_FreeSurface(picture);
    std::remove(copy.c_str());
    return 0;
  }
  if (mode == "overview" && argc == 4) {  // what the overview adds to an import
    try {
      importer::Composition composition;
      if (importer::IsWorldFile(argv[2])) {
        importer::World world = importer::ReadWorld(argv[2]);
        importer::LoadImages(world);
        composition = importer::Compose(world);
      } else {
        importer::Map map = importer::ReadMap(argv[2]);
        importer::LoadImages(map);
        composition = importer::Compose(map);
      }
      const std::string path = std::string(argv[3]) + "/overview.png";
      const auto start = std::chrono::steady_clock::now();
      const double processorStart = ProcessorSeconds();
      importer::Overview overview = importer::MakeOverview(composition);
      const double made = ProcessorSeconds() - processorStart;
      SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(overview.pixels.data(), overview.width,
                                                                overview.height, 32, overview.width * 4,
                                                                SDL_PIXELFORMAT_RGBA32);
      const bool written = surface != nullptr && importer::WriteQuickPng(surface, path);
      SDL_FreeSurface(surface);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (!written) throw std::runtime_error(path + ": can't be written");
      std::printf("{\"seconds\": %.4f, \"processor_seconds\": %.4f, \"made_seconds\": %.4f, \"squares\": %d}\n",
                  seconds, ProcessorSeconds() - processorStart, made, overview.squares);
    } catch (const std::exception& error) {
      std::cerr << error.what() << std::endl;
      return 1;
    }
    return 0;
  }
  if (mode == "levels" && argc == 3) {  // what the zoom levels add to an import
    try {
      const std::string folder = argv[2];
      const importer::Composition composition = importer::ReadViewerFolder(folder + "/main.json");
      const std::string out = folder + "-levels";
      std::filesystem::remove_all(out);
      std::filesystem::create_directories(out);
      const auto start = std::chrono::steady_clock::now();
      const double processorStart = ProcessorSeconds();
      const std::vector<importer::ZoomLevel> levels = importer::MakeZoomLevels(composition);
      importer::WriteZoomLevels(levels, out);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      uintmax_t bytes = 0, blocks = 0;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(out))
        if (entry.is_regular_file()) bytes += entry.file_size();
      for (const importer::ZoomLevel& level : levels) blocks += level.blocks.size();
      std::filesystem::remove_all(out);
      std::printf("{\"seconds\": %.4f, \"processor_seconds\": %.4f, \"levels\": %zu, \"needed\": %d, "
                  "\"blocks\": %ju, \"bytes\": %ju}\n",
                  seconds, ProcessorSeconds() - processorStart, levels.size(),
                  importer::ZoomLevelCount(composition.picture.width, composition.picture.height), blocks, bytes);
    } catch (const std::exception& error) {
      std::cerr << error.what() << std::endl;
      return 1;
    }
    return 0;
  }
  if (mode == "picture" && argc == 4) {  // the whole picture into one PNG, streamed
    const auto start = std::chrono::steady_clock::now();
    const double processorStart = ProcessorSeconds();
    importer::ImportSummary summary;
    try {
      summary = importer::ImportPicture(argv[2], argv[3], {});
    } catch (const std::exception& error) {
      std::cerr << error.what() << std::endl;
      return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("{\"seconds\": %.4f, \"processor_seconds\": %.4f, \"peak_kib\": %ld, \"pixels\": %lld, "
                "\"bytes\": %lld}\n", seconds, ProcessorSeconds() - processorStart, PeakKib(),
                static_cast<long long>(summary.pictureWidth * summary.pictureHeight),
                static_cast<long long>(summary.fileBytes));
    return 0;
  }
  if (mode == "animation" && argc == 4) {  // a region as an animation file (the viewer's default view)
    const auto start = std::chrono::steady_clock::now();
    const double processorStart = ProcessorSeconds();
    importer::ImportSummary summary;
    importer::AnimationSummary written;
    try {
      importer::AnimationRequest request;
      request.file = argv[3];
      written = importer::ImportAnimation(argv[2], request, {}, summary);
    } catch (const std::exception& error) {
      std::cerr << error.what() << std::endl;
      return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("{\"seconds\": %.4f, \"processor_seconds\": %.4f, \"peak_kib\": %ld, \"frames\": %d, "
                "\"milliseconds\": %lld, \"width\": %lld, \"height\": %lld}\n", seconds,
                ProcessorSeconds() - processorStart, PeakKib(), written.frames,
                static_cast<long long>(written.milliseconds), static_cast<long long>(written.region.width),
                static_cast<long long>(written.region.height));
    return 0;
  }
  if (mode == "memory" && argc == 3) {  // a picture held whole, written as PNG: the floor --picture is held to
    SDL_Surface* loaded = IMG_Load(argv[2]);
    SDL_Surface* picture = loaded != nullptr ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0) : nullptr;
    SDL_FreeSurface(loaded);
    if (picture == nullptr) {
      std::cerr << IMG_GetError() << std::endl;
      return 1;
    }
    const std::string copy = std::string(argv[2]) + ".again.png";
    double times[2];
    for (int writer = 0; writer < 2; ++writer) {
      const double processorStart = ProcessorSeconds();
      if (writer == 0) {
        IMG_SavePNG(picture, copy.c_str());
      } else {  // --picture's own stream, its rows from memory
        SDL_RWops* file = SDL_RWFromFile(copy.c_str(), "wb");
        importer::PngStream png(file, uint32_t(picture->w), uint32_t(picture->h), importer::PngStream::Search::kRepeats);
        for (int y = 0; y < picture->h; ++y)
          png.Add(static_cast<const uint8_t*>(picture->pixels) + y * picture->pitch, size_t(picture->w));
        png.Finish();
        SDL_RWclose(file);
      }
      times[writer] = ProcessorSeconds() - processorStart;
    }
    std::printf("{\"sdl_image_seconds\": %.4f, \"stream_seconds\": %.4f, \"pixels\": %lld}\n", times[0],
                times[1], static_cast<long long>(picture->w) * picture->h);
    SDL_FreeSurface(picture);
    std::remove(copy.c_str());
    return 0;
  }
  std::cerr << "usage: bench_import make FOLDER | floor MAP | import MAP OUTPUT | png FINAL_PNG"
               " | overview MAP OUTPUT | picture MAP OUT.png | memory PNG\n";
  return 2;
}
