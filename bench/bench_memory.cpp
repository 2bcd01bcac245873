// Resident memory (as the kernel counts it, freed-but-held memory included)
// of loading a map against parsing it alone, and of loading a tileset against
// decoding it alone. Each measurement runs in a fresh child process, so one
// cannot inherit another's heap.
//
//   bench_memory SIZE... [--tileset BLOCKS]...   prints one JSON object per line

#include <SDL_image.h>
#include <jansson.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "bench_maps.h"
#include "map/layer.h"
#include "map/map_loader.h"
#include "render/texture_loader.h"
#include "shared/globals.h"

namespace {

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::char_traits<char>::length(field));
  }
  return -1;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Usage {
  long before, peak, after;
  long measured = 0;  // what else the measurement found (the image's size, the bands)
};

Usage ParseAlone(const std::string& path) {
  ResetPeak();
  const long before = StatusKb("VmRSS:");
  json_error_t error;
  json_t* root = json_load_file(path.c_str(), 0, &error);
  const long peak = StatusKb("VmHWM:");
  json_decref(root);
  return {before, peak, StatusKb("VmRSS:")};
}

Usage Load(const std::string& path) {
  std::ofstream nowhere;
  std::cout.rdbuf(nowhere.rdbuf());
  ResetPeak();
  const long before = StatusKb("VmRSS:");
  LoadMap(path, layers, kMaxLayers);
  return {before, StatusKb("VmHWM:"), StatusKb("VmRSS:")};
}

// Decoding alone; measures the decoded image's size in KiB.
Usage DecodeAlone(const std::string& path) {
  ResetPeak();
  const long before = StatusKb("VmRSS:");
  SDL_Surface* image = IMG_Load(path.c_str());
  const long peak = StatusKb("VmHWM:");
  const long imageKb = image != nullptr ? static_cast<long>(int64_t{image->pitch} * image->h / 1024) : -1;
  SDL_FreeSurface(image);
  return {before, peak, StatusKb("VmRSS:"), imageKb};
}

// LoadTexture into a software renderer (its textures are in the process's
// memory, as a software OpenGL's are), in bands of 16,384 rows; measures the
// bands.
Usage LoadTileset(const std::string& path) {
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, 1280, 720, 32, SDL_PIXELFORMAT_ARGB8888);
  renderer = SDL_CreateSoftwareRenderer(target);
  ResetPeak();
  const long before = StatusKb("VmRSS:");
  tileset = LoadTexture(path, 16384);
  return {before, StatusKb("VmHWM:"), StatusKb("VmRSS:"), static_cast<long>(1 + tilesetBands.size())};
}

template <typename Measure>
Usage InChild(Measure measure) {
  int channel[2];
  if (pipe(channel) != 0) std::abort();
  const pid_t child = fork();
  if (child == 0) {
    const Usage usage = measure();
    if (write(channel[1], &usage, sizeof usage) != sizeof usage) _exit(1);
    _exit(0);
  }
  Usage usage{};
  if (read(channel[0], &usage, sizeof usage) != sizeof usage) std::abort();
  waitpid(child, nullptr, 0);
  close(channel[0]);
  close(channel[1]);
  return usage;
}

}  // namespace

int main(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--tileset" && i + 1 < argc) {
      const int blocks = std::atoi(argv[++i]);
      const std::string path = BenchTilesetPath(blocks);
      const Usage decode = InChild([&] { return DecodeAlone(path); });
      const Usage load = InChild([&] { return LoadTileset(path); });
      std::printf(
          "{\"blocks\": %d, \"image_kb\": %ld, \"bands\": %ld, \"decode_before_kb\": %ld, "
          "\"decode_peak_kb\": %ld, \"decode_after_kb\": %ld, \"load_before_kb\": %ld, \"load_peak_kb\": %ld, "
          "\"load_after_kb\": %ld}\n",
          blocks, decode.measured, load.measured, decode.before, decode.peak, decode.after, load.before, load.peak,
          load.after);
      continue;
    }
    const int size = std::atoi(argv[i]);
    const std::string path = BenchMapPath(size);
    const Usage parse = InChild([&] { return ParseAlone(path); });
    const Usage load = InChild([&] { return Load(path); });
    std::printf(
        "{\"size\": %d, \"cells\": %lld, \"parse_before_kb\": %ld, \"parse_peak_kb\": %ld, "
        "\"parse_after_kb\": %ld, \"load_before_kb\": %ld, \"load_peak_kb\": %ld, \"load_after_kb\": %ld}\n",
        size, 3LL * size * size, parse.before, parse.peak, parse.after, load.before, load.peak, load.after);
  }
  return 0;
}
