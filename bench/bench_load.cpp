// Loading a map against its floor: parsing the same file with jansson and
// releasing the document, which LoadMap can't avoid doing. Loading a tileset
// against its floor: decoding the PNG alone.

#include <SDL_image.h>
#include <benchmark/benchmark.h>
#include <jansson.h>

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "bench_maps.h"
#include "fuzz_canvas.h"
#include "map/layer.h"
#include "map/map_loader.h"
#include "render/texture_loader.h"
#include "shared/globals.h"
#include "table_helpers.h"

namespace {

void ParseAndReleaseFloor(benchmark::State& state) {
  const std::string path = BenchMapPath(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    json_error_t error;
    json_t* root = json_load_file(path.c_str(), 0, &error);
    benchmark::DoNotOptimize(root);
    json_decref(root);
  }
  state.counters["cells"] = static_cast<double>(state.range(0) * state.range(0) * 3);
}

void LoadMapIntoTable(benchmark::State& state) {
  const std::string path = BenchMapPath(static_cast<int>(state.range(0)));
  std::ofstream nowhere;
  std::streambuf* out = std::cout.rdbuf(nowhere.rdbuf());
  for (auto _ : state) {
    LoadMap(path, layers, kMaxLayers);
    state.PauseTiming();
    ResetLayerTable();
    state.ResumeTiming();
  }
  std::cout.rdbuf(out);
  state.counters["cells"] = static_cast<double>(state.range(0) * state.range(0) * 3);
}

void DecodeTilesetFloor(benchmark::State& state) {
  const std::string path = BenchTilesetPath(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    SDL_Surface* image = IMG_Load(path.c_str());
    benchmark::DoNotOptimize(image);
    SDL_FreeSurface(image);
  }
}

// The accelerated renderer of a hidden window, as the viewer's (OpenGL on a
// desktop), or null without a display.
SDL_Renderer* WindowRenderer() {
  static SDL_Renderer* made = []() -> SDL_Renderer* {
    if (std::getenv("DISPLAY") == nullptr || SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    SDL_Window* hidden = SDL_CreateWindow("bench", 0, 0, 1280, 720, SDL_WINDOW_HIDDEN);
    return hidden != nullptr ? SDL_CreateRenderer(hidden, -1, SDL_RENDERER_ACCELERATED) : nullptr;
  }();
  return made;
}

// LoadTexture of a tileset of range(0) blocks, released after each load
// (untimed). range(1): 0, into a software renderer, with bands of 16,384
// rows asked for (a desktop renderer's limit; the software renderer has
// none); 1, into a window's accelerated renderer, with its own limit.
void LoadTileset(benchmark::State& state) {
  static FuzzCanvas canvas;
  const std::string path = BenchTilesetPath(static_cast<int>(state.range(0)));
  SDL_Renderer* software = renderer;
  SDL_Texture* small = tileset;
  int maxTextureHeight = 16384;
  if (state.range(1) == 1) {
    renderer = WindowRenderer();
    if (renderer == nullptr) {
      renderer = software;
      state.SkipWithError("no display for a window's renderer");
      return;
    }
    SDL_RendererInfo info;
    SDL_GetRendererInfo(renderer, &info);
    maxTextureHeight = info.max_texture_height;
  }
  for (auto _ : state) {
    tileset = LoadTexture(path, maxTextureHeight);
    state.PauseTiming();
    state.counters["bands"] = static_cast<double>(1 + tilesetBands.size());
    ReleaseTileset();
    state.ResumeTiming();
  }
  renderer = software;
  tileset = small;
}

BENCHMARK(ParseAndReleaseFloor)->Arg(100)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadMapIntoTable)->Arg(100)->Arg(1024)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeTilesetFloor)->Arg(1536)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadTileset)->Args({1536, 0})->Args({20000, 0})->Args({20000, 1})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
