// The importer's time and memory against its floor, each run in a fresh
// process (bench/import_report.py runs them and writes the report):
//   bench_import make FOLDER           writes the benchmark maps
//   bench_import floor MAP             reads and decodes MAP alone
//   bench_import import MAP OUTPUT     imports MAP into OUTPUT
// The last two print one JSON line: wall and processor seconds, peak
// resident KiB, cells. Processor time (user + system) is what the ratio
// uses: it hardly moves when other programs share the machine.

#include <SDL.h>
#include <SDL_image.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "import/import.h"
#include "import/read/read_map.h"

namespace {

uint32_t Next(uint64_t& state) {  // xorshift: the same maps every time
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return static_cast<uint32_t>(state >> 11);
}

// A 4 × 4 tileset of `tile` × `tileHeight` tiles (square when not given),
// each its own colour and pattern.
void WriteTileset(const std::string& path, int tile, int tileHeight = 0) {
  const int th = tileHeight > 0 ? tileHeight : tile;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 4 * tile, 4 * th, 32, SDL_PIXELFORMAT_RGBA32);
  auto* pixels = static_cast<uint8_t*>(surface->pixels);
  for (int y = 0; y < 4 * th; ++y)
    for (int x = 0; x < 4 * tile; ++x) {
      const int k = y / th * 4 + x / tile;
      uint8_t* p = pixels + y * surface->pitch + x * 4;
      p[0] = uint8_t(40 + 13 * k), p[1] = uint8_t(x * 5), p[2] = uint8_t(y * 3);
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
void WriteMap(const std::string& folder, const std::string& name, int cells, int tile) {
  const int block = 32 / tile;
  WriteTileset(folder + "/" + name + ".png", tile);
  std::ofstream out(folder + "/" + name + ".tmx");
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.10\" orientation=\"orthogonal\" "
         "renderorder=\"right-down\" width=\"" << cells << "\" height=\"" << cells << "\" tilewidth=\"" << tile
      << "\" tileheight=\"" << tile << "\" infinite=\"0\">\n <tileset firstgid=\"1\" name=\"t\" tilewidth=\""
      << tile << "\" tileheight=\"" << tile << "\"><image source=\"" << name << ".png\"/></tileset>\n";
  uint64_t state = 0x9E3779B97F4A7C15ull;
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
    WriteMap(argv[2], "map32", 2048, 32);
    WriteMap(argv[2], "map16", 4096, 16);
    WriteIsometricMap(argv[2], "iso32", 2048);
    return 0;
  }
  if ((mode == "floor" && argc == 3) || (mode == "import" && argc == 4)) {
    const auto start = std::chrono::steady_clock::now();
    const double processorStart = ProcessorSeconds();
    int64_t cells = 0;
    try {
      if (mode == "floor") {
        const importer::Map map = importer::ReadMap(argv[2]);
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
  std::cerr << "usage: bench_import make FOLDER | floor MAP | import MAP OUTPUT\n";
  return 2;
}
