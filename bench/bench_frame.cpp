// The cost of a frame's drawing against its floor, and of the update step.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <fstream>
#include <iostream>
#include <cstdlib>
#include <vector>

#include "app/frame_loop.h"
#include "shared/globals.h"
#include "bench_maps.h"
#include "map/layer.h"
#include "map/map_loader.h"
#include "render/draw_map.h"
#include "render/texture_loader.h"
#include "table_helpers.h"
#include "view/navigation.h"
#include "view/overview.h"
#include "view/view.h"
#include "view/zoom.h"
#include "view/zoom_levels.h"
#include "bench_zoom_world.h"
#include "fuzz_canvas.h"

#include <SDL_image.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// A fully covered view: every visible cell of all three layers holds one of
// the first `tiles` tiles, 7 tiles on from its left neighbour's.
void FillTable(int size, int tiles = 12) {
  ResetLayerTable();
  for (Layer& slot : layers) {
    auto* cells = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * size * size));
    for (int i = 0; i < size * size; ++i) cells[i] = 1 + (i * 7) % tiles;
    slot.Set(cells, size, size, 32, 32);
  }
  layerCount = kMaxLayers;
}

FuzzCanvas& Canvas() {
  static FuzzCanvas canvas;
  return canvas;
}

void DrawMapFullView(benchmark::State& state) {
  Canvas();
  const int size = static_cast<int>(state.range(0));
  FillTable(size);
  // The view's centre over the map's centre, so that every cell is on the map.
  cameraX = size * 16 + 16;
  cameraY = size * 16 + 16;
  for (auto _ : state) DrawMap();
  ResetLayerTable();
}

// The same view with a third of its cells animated (values 1 to 4 of the
// 12, each through three frames of 150 ms), as a frame draws it: the frames
// picked at the frame's time, then the map drawn through them. Against
// DrawMapFullView/2048, the same map without animations.
void DrawMapAnimatedView(benchmark::State& state) {
  Canvas();
  const int size = static_cast<int>(state.range(0));
  FillTable(size);
  cameraX = size * 16 + 16;
  cameraY = size * 16 + 16;
  std::vector<Animation> list;
  for (int32_t value = 1; value <= 4; ++value) {
    list.push_back(MakeAnimation(value, {{value, 150}, {value + 4, 150}, {value + 8, 150}}));
  }
  UseAnimations(std::move(list));
  uint64_t t = 0;
  for (auto _ : state) {
    PickFrames(t += 16);  // a 60 Hz frame's clock
    DrawMap();
  }
  UseAnimations({});
  ResetLayerTable();
}

// The same 3 x 41 x 24 copies from a list made beforehand: no map lookups.
void TileCopyFloor(benchmark::State& state) {
  Canvas();
  struct Copy {
    SDL_Rect source, destination;
  };
  std::vector<Copy> copies;
  for (int layer = 0; layer < 3; ++layer)
    for (int row = 0; row < 24; ++row)
      for (int column = 0; column < 41; ++column) {
        const int tile = (row * 41 + column) % 12;
        copies.push_back({{(tile % 3) * 32, (tile / 3) * 32, 32, 32}, {column * 32 - 16, row * 32 - 12, 32, 32}});
      }
  for (auto _ : state)
    for (const Copy& copy : copies) SDL_RenderCopy(renderer, tileset, &copy.source, &copy.destination);
}

// The full view of a 100 x 100 map drawn from a tileset of 1,536 blocks,
// 16,384 rows, its tiles from all over it: held in one texture (the floor),
// and in 8 bands of 2,048 rows (the argument: the tallest texture).
void DrawMapTallTileset(benchmark::State& state) {
  Canvas();
  SDL_Texture* small = tileset;
  tileset = LoadTexture(BenchTilesetPath(1536), static_cast<int>(state.range(0)));
  state.counters["bands"] = static_cast<double>(1 + tilesetBands.size());
  FillTable(100, 1536);
  cameraX = 100 * 16 + 16;
  cameraY = 100 * 16 + 16;
  for (auto _ : state) DrawMap();
  ResetLayerTable();
  ReleaseTileset();
  tileset = small;
}

// The largest overview an import writes: 1280 x 720 of noise (the hardest
// to decode), whatever the map's size; written once.
std::string OverviewNoisePath() {
  static const std::string path = [] {
    const std::string file = (std::filesystem::temp_directory_path() / "tilemap-bench-overview.png").string();
    SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, 1280, 720, 32, SDL_PIXELFORMAT_ARGB8888);
    uint32_t seed = 1;
    for (int y = 0; y < image->h; ++y)
      for (int x = 0; x < image->w; ++x) {
        seed = seed * 1664525u + 1013904223u;
        reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image->pixels) + y * image->pitch)[x] = seed | 0xFF000000u;
      }
    if (IMG_SavePNG(image, file.c_str()) != 0) std::abort();
    SDL_FreeSurface(image);
    return file;
  }();
  return path;
}

// A world of 31,712 x 31,616 map pixels, the largest a real game's worlds reach.
const OverviewPlace kWorldPlace{"overview.png", 0, 0, 31712, 31616};

// Loading view.json's overview picture: decoded and made a texture.
void LoadOverviewPicture(benchmark::State& state) {
  Canvas();
  const std::string path = OverviewNoisePath();
  for (auto _ : state) LoadOverview(path, kWorldPlace);
  ReleaseOverview();
}

// M to the overview on screen: the M event handled, then the frame as the
// frame loop draws it with the overview showing (cleared, the picture, the
// frame), and presented. M again between runs, untimed.
void OverviewOnM(benchmark::State& state) {
  Canvas();
  LoadOverview(OverviewNoisePath(), kWorldPlace);
  navigationOn = true;
  SDL_Event press{};
  press.type = SDL_KEYDOWN;
  press.key.keysym.sym = SDLK_m;
  for (auto _ : state) {
    HandleNavigationEvent(press);
    SDL_RenderClear(renderer);
    DrawOverview();
    SDL_RenderPresent(renderer);
    state.PauseTiming();
    HandleNavigationEvent(press);
    if (overviewShown) std::abort();
    state.ResumeTiming();
  }
  navigationOn = false;
  ReleaseOverview();
}

// The generated 32,768 x 32,768 world loaded as the viewer loads its
// folder: map, tileset, and view.json with its zoom levels. The canvas's
// tileset is kept aside meanwhile.
SDL_Texture* keptTileset = nullptr;

void LoadZoomWorld() {
  const std::string folder = BenchZoomWorldFolder();
  ResetLayerTable();
  std::ofstream nowhere;
  std::streambuf* output = std::cout.rdbuf(nowhere.rdbuf());  // the loader's layer names
  LoadMap(folder + "main.json", layers, kMaxLayers);
  std::cout.rdbuf(output);
  keptTileset = tileset;
  tileset = LoadTexture(folder + "final.png");
  LoadView(folder + "view.json", GridOfLoadedTileset());
  if (zoomLevels.empty()) std::abort();
}

void LeaveZoomWorld() {
  ResetNavigation();
  ReleaseZoomLevels();
  ReleaseOverview();
  ResetLayerTable();
  UseAnimations({});
  navigationOn = false;
  ReleaseTileset();
  tileset = keptTileset;
}

// A frame's drawing of the world at zoom step N (0: 1:1; -22: the whole
// world fitting the window), its animations picked as a frame picks them.
void DrawWorldZoomed(benchmark::State& state) {
  Canvas();
  LoadZoomWorld();
  ZoomAt(static_cast<int>(state.range(0)), 1280, 720);
  state.counters["step"] = zoom.step;
  state.counters["level"] = LevelForStep(zoom.step);
  uint64_t t = 0;
  for (auto _ : state) {
    PickFrames(t += 16);
    DrawMap();
  }
  LeaveZoomWorld();
}

// The same through the window's own renderer (hidden, accelerated: the
// viewer's, OpenGL on Linux), each frame cleared, drawn and presented, so
// that what the driver does with the copies counts too; skipped without a
// display. Processor time counts the driver's threads.
SDL_Renderer* WindowRenderer() {
  static SDL_Renderer* made = [] {
    if (std::getenv("DISPLAY") == nullptr || SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return static_cast<SDL_Renderer*>(nullptr);
    SDL_Window* hidden = SDL_CreateWindow("bench", 0, 0, 1280, 720, SDL_WINDOW_HIDDEN);
    return hidden != nullptr ? SDL_CreateRenderer(hidden, -1, SDL_RENDERER_ACCELERATED) : nullptr;
  }();
  return made;
}

void DrawWorldZoomedInTheWindow(benchmark::State& state) {
  Canvas();
  SDL_Renderer* software = renderer;
  renderer = WindowRenderer();
  if (renderer == nullptr) {
    renderer = software;
    state.SkipWithError("no display");
    return;
  }
  LoadZoomWorld();
  ZoomAt(static_cast<int>(state.range(0)), 1280, 720);
  uint64_t t = 0;
  for (auto _ : state) {
    PickFrames(t += 16);
    SDL_RenderClear(renderer);
    DrawMap();
    SDL_RenderPresent(renderer);
  }
  LeaveZoomWorld();
  renderer = software;
}

// Forty zoom steps, out from 1:1 to the whole world and back, each drawn
// and presented as a frame: the longest of them, in ms.
void ZoomStepsOutAndBack(benchmark::State& state) {
  Canvas();
  LoadZoomWorld();
  double longest = 0;
  for (auto _ : state) {
    for (int k = 0; k < 40; ++k) {
      const auto start = std::chrono::steady_clock::now();
      ZoomAt(k < 20 ? -1 - k : -39 + k, 1280, 720);
      SDL_RenderClear(renderer);
      DrawMap();
      SDL_RenderPresent(renderer);
      longest = std::max(longest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
  }
  state.counters["longest_ms"] = longest;
  LeaveZoomWorld();
}

void UpdateStepsPerFrame(benchmark::State& state) {
  std::array<Uint8, SDL_NUM_SCANCODES> keys{};
  keys[SDL_SCANCODE_RIGHT] = 1;
  keys[SDL_SCANCODE_UP] = 1;
  bool quit = false;
  for (auto _ : state) {
    Uint32 accumulator = 16;  // a 60 Hz frame: one step, 6 ms kept
    benchmark::DoNotOptimize(RunUpdateSteps(keys.data(), accumulator, quit));
  }
}

BENCHMARK(DrawMapFullView)->Arg(100)->Arg(2048)->Unit(benchmark::kMicrosecond);
BENCHMARK(DrawMapAnimatedView)->Arg(2048)->Unit(benchmark::kMicrosecond);
BENCHMARK(TileCopyFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(DrawMapTallTileset)->Arg(0)->Arg(2048)->Unit(benchmark::kMicrosecond);
BENCHMARK(UpdateStepsPerFrame)->Unit(benchmark::kNanosecond);
BENCHMARK(DrawWorldZoomed)->Arg(0)->Arg(4)->Arg(12)->Arg(-1)->Arg(-2)->Arg(-4)->Arg(-5)->Arg(-11)->Arg(-16)
    ->Arg(-22)->Unit(benchmark::kMicrosecond);
BENCHMARK(DrawWorldZoomedInTheWindow)->Arg(0)->Arg(4)->Arg(12)->Arg(-1)->Arg(-2)->Arg(-4)->Arg(-5)->Arg(-11)
    ->Arg(-16)->Arg(-22)->Unit(benchmark::kMicrosecond);
BENCHMARK(ZoomStepsOutAndBack)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadOverviewPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(OverviewOnM)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
