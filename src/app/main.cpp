// The tile-map viewer: opens the window, loads "final.png" and "main.json"
// from the working directory and lets the arrow keys scroll over the map;
// "view.json" beside them, when there is one, animates tiles, sets where the
// view starts and names the overview that M shows.

#include <SDL.h>

#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include "app/frame_loop.h"
#include "map/layer.h"
#include "map/map_loader.h"
#include "render/texture_loader.h"
#include "shared/globals.h"
#include "view/overview.h"
#include "view/view.h"

namespace {

constexpr Uint32 kSubsystems = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO |
                               SDL_INIT_JOYSTICK | SDL_INIT_HAPTIC | SDL_INIT_GAMECONTROLLER;
static_assert(kSubsystems == 0x3231, "the subsystems the viewer starts");

constexpr int kWindowWidth = 1280;
constexpr int kWindowHeight = 720;

enum ExitStatus {
  kExitNormal = 0,
  kExitInitFailed = 1,
  kExitWindowFailed = 2,
  kExitRendererFailed = 3,
  kExitTilesetFailed = 4,
};

// Releases what start-up has made so far, newest first; handles not made yet
// are null. A failing start-up step calls it too, so that no platform has to
// tear down a live renderer while the process ends (under Wine that races
// the renderer's own thread and can crash the exit).
void ReleaseStartUp() {
  ReleaseOverview();
  ReleaseTileset();  // the tileset and every band of it
  if (renderer != nullptr) SDL_DestroyRenderer(renderer);
  if (window != nullptr) SDL_DestroyWindow(window);
  SDL_Quit();
}

}  // namespace

int main(int argc, char* argv[]) {
  (void)argc;  // the viewer takes no options
  (void)argv;

  // --- Start-up. A failing step reports, releases what the steps before it
  // made and returns its status.

  // 1. SDL
  if (SDL_Init(kSubsystems) == -1) {
    std::cout << SDL_GetError() << std::endl;
    return kExitInitFailed;
  }

  // 2. Window
  window = SDL_CreateWindow("Hello World!", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                            kWindowWidth, kWindowHeight, SDL_WINDOW_SHOWN);
  if (window == nullptr) {
    std::cout << SDL_GetError() << std::endl;
    ReleaseStartUp();
    return kExitWindowFailed;
  }

  // 3. Renderer: the first accelerated driver, no vsync, so presenting never waits
  renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
  if (renderer == nullptr) {
    std::cout << SDL_GetError() << std::endl;
    ReleaseStartUp();
    return kExitRendererFailed;
  }

  // 4. Tileset: the only guarded call
  tileset = nullptr;
  try {
    tileset = LoadTexture("final.png");
  } catch (const std::runtime_error& error) {
    std::cout << error.what() << std::endl;
    std::cout << SDL_GetError() << std::endl;
    [[maybe_unused]] const int ignored = std::system("PAUSE");  // waits for a key on Windows
    ReleaseStartUp();
    return kExitTilesetFailed;
  }

  // 5. Map: problems are reported by the loader; the viewer runs on regardless
  LoadMap("main.json", layers, kMaxLayers);

  // 6. View: animations, the start and the overview from view.json, when
  // there is one; one line on standard error if it is ignored
  LoadView("view.json", GridOfLoadedTileset());

  // --- Running
  RunFrameLoop();

  // --- Shutdown. The layer table releases its cells when the process exits.
  ReleaseStartUp();
  return kExitNormal;
}
