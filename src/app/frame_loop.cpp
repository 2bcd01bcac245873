#include "app/frame_loop.h"

#include "render/draw_map.h"
#include "shared/globals.h"
#include "view/camera_report.h"
#include "view/navigation.h"
#include "view/overview.h"
#include "view/view.h"
#include "view/zoom.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

// The browser presents the canvas at its animation frames anyway, so waiting
// for the next one is the platform's pace, not a frame cap; it also hands the
// page its turn to deliver keys. The page counts the frames through onFrame.
EM_ASYNC_JS(void, WaitForAnimationFrame, (), {
  if (Module["onFrame"]) Module["onFrame"]();
  await new Promise(requestAnimationFrame);
});
#endif

namespace {

void RunUpdateStep(const Uint8* keys, bool& quit) {
  // Window pixels: map pixels at 1:1, fewer zoomed in. The camera has no
  // bounds; it wraps instead of overflowing, which would take weeks of
  // holding a key.
  if (keys[SDL_SCANCODE_UP]) ScrollView(0, -kCameraStepPixels);
  if (keys[SDL_SCANCODE_DOWN]) ScrollView(0, kCameraStepPixels);
  if (keys[SDL_SCANCODE_LEFT]) ScrollView(-kCameraStepPixels, 0);
  if (keys[SDL_SCANCODE_RIGHT]) ScrollView(kCameraStepPixels, 0);
  if (keys[SDL_SCANCODE_ESCAPE] || keys[SDL_SCANCODE_Q]) quit = true;
  viewClockMs += kUpdateStepMs;  // the animations' clock
}

}  // namespace

Uint32 RunUpdateSteps(const Uint8* keys, Uint32& accumulator, bool& quit) {
  const Uint32 stepsDue = accumulator / kUpdateStepMs;
  Uint32 step = 0;
  // Steps past the fifth stay in the accumulator for the next frames, so a
  // slow frame never triggers an unbounded burst of updates.
  for (; step < stepsDue && step < kMaxUpdateStepsPerFrame; ++step) {
    RunUpdateStep(keys, quit);
    accumulator -= kUpdateStepMs;
  }
  return step;
}

void RunFrameLoop() {
  Uint32 previousTime = SDL_GetTicks();  // start-up time is never counted
  Uint32 accumulator = 0;
  bool quit = false;

  while (true) {
    // Time
    const Uint32 now = SDL_GetTicks();
    accumulator += now - previousTime;

    // Events: a quit request, and M and the mouse when view.json switched
    // them on; the arrows, Esc and Q are read from the snapshot
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) quit = true;
      else if (navigationOn) HandleNavigationEvent(event);
    }

    // Keys: one snapshot serves every update step of this frame
    SDL_PumpEvents();
    const Uint8* keys = SDL_GetKeyboardState(nullptr);

    // Fixed updates
    RunUpdateSteps(keys, accumulator, quit);

    // Draw and present, each animation at the clock's frame; the overview
    // in place of the map while M shows it
    PickFrames(viewClockMs);
    SDL_RenderClear(renderer);
    if (overviewShown) {
      DrawOverview();
    } else {
      DrawMap();
    }
    SDL_RenderPresent(renderer);
    ReportCamera();  // the page's address follows the view

    previousTime = now;
    if (quit) break;  // the frame that saw the request is still shown
#ifdef __EMSCRIPTEN__
    WaitForAnimationFrame();
#endif
  }
}
