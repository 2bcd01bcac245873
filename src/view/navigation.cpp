#include "view/navigation.h"

#include <algorithm>

#include "shared/globals.h"
#include "view/overview.h"
#include "view/zoom.h"

bool navigationOn = false;

namespace {

// The drag in progress: the pointer's last place while the left button holds the map.
bool dragging = false;
int32_t dragX = 0;
int32_t dragY = 0;

// On the overview: the camera goes to the map point under (x, y), and the
// map returns. A point beside the picture does nothing.
void ChooseOverviewPoint(int x, int y) {
  int32_t mapX = 0, mapY = 0;
  if (!MapPointAt(overviewPlace, FitOverview(overviewPlace), x, y, mapX, mapY)) return;
  cameraX = mapX;
  cameraY = mapY;
  zoom.subX = zoom.subY = 0;  // that very map pixel, at the zoom it had
  overviewShown = false;
}

// The map point under the pointer stays under it.
void Drag(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY) {
  ScrollView(-(int64_t{toX} - fromX), -(int64_t{toY} - fromY));
}

// Zooms by `steps` about window point (x2 / 2, y2 / 2), in half pixels.
void ZoomBy(int64_t steps, int64_t x2, int64_t y2) {
  ZoomAt(static_cast<int>(std::clamp<int64_t>(zoom.step + steps, -64, 64)), x2, y2);  // held by ZoomAt
}

void HandleKey(const SDL_KeyboardEvent& key) {
  // About the middle of the window, where the camera is; held, they go on
  // zooming as the key repeats.
  switch (key.keysym.sym) {
    case SDLK_PLUS:
    case SDLK_EQUALS:  // the key + is on with shift, on many layouts
    case SDLK_KP_PLUS:
      ZoomBy(1, 1280, 720);
      return;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
      ZoomBy(-1, 1280, 720);
      return;
    case SDLK_0:
      ZoomAt(0, 1280, 720);
      return;
    default:
      break;
  }
  if (key.repeat != 0) return;  // a held M or Enter acts once
  if (key.keysym.sym == SDLK_m && overviewTexture != nullptr) {
    overviewShown = !overviewShown;
    dragging = false;
  } else if (overviewShown && (key.keysym.sym == SDLK_RETURN || key.keysym.sym == SDLK_KP_ENTER)) {
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    ChooseOverviewPoint(x, y);
  }
}

}  // namespace

void HandleNavigationEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
      HandleKey(event.key);
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button != SDL_BUTTON_LEFT) break;
      if (overviewShown) {
        ChooseOverviewPoint(event.button.x, event.button.y);
      } else {
        dragging = true;
        dragX = event.button.x;
        dragY = event.button.y;
      }
      break;
    case SDL_MOUSEMOTION:
      if (!dragging) break;
      if ((event.motion.state & SDL_BUTTON_LMASK) == 0) {  // let go outside the window
        dragging = false;
        break;
      }
      Drag(dragX, dragY, event.motion.x, event.motion.y);
      dragX = event.motion.x;
      dragY = event.motion.y;
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button != SDL_BUTTON_LEFT || !dragging) break;
      Drag(dragX, dragY, event.button.x, event.button.y);
      dragging = false;
      break;
    case SDL_MOUSEWHEEL: {
      // A notch away from the user zooms in, about the pointer's pixel.
      if (overviewShown) break;  // the pointer is on no map point
      const int64_t notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -int64_t{event.wheel.y} : event.wheel.y;
      ZoomBy(notches, 2 * int64_t{event.wheel.mouseX} + 1, 2 * int64_t{event.wheel.mouseY} + 1);
      break;
    }
    default:
      break;
  }
}

void ResetNavigation() {
  dragging = false;
  overviewShown = false;
  zoom = Zoom{};
}
