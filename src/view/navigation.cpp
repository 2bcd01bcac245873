#include "view/navigation.h"

#include "shared/globals.h"
#include "view/overview.h"

bool navigationOn = false;

namespace {

// The drag in progress: the pointer's last place while the left button holds the map.
bool dragging = false;
int32_t dragX = 0;
int32_t dragY = 0;

// The camera has no bounds; moving it wraps instead of overflowing, as the arrows do.
int32_t Moved(int32_t axis, int64_t delta) {
  return static_cast<int32_t>(static_cast<uint32_t>(axis) + static_cast<uint32_t>(delta));
}

// On the overview: the camera goes to the map point under (x, y), and the
// map returns. A point beside the picture does nothing.
void ChooseOverviewPoint(int x, int y) {
  int32_t mapX = 0, mapY = 0;
  if (!MapPointAt(overviewPlace, FitOverview(overviewPlace), x, y, mapX, mapY)) return;
  cameraX = mapX;
  cameraY = mapY;
  overviewShown = false;
}

void HandleKey(const SDL_KeyboardEvent& key) {
  if (key.repeat != 0) return;  // a held key acts once
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

void DragCamera(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, int32_t& x, int32_t& y) {
  x = Moved(x, -(int64_t{toX} - fromX));
  y = Moved(y, -(int64_t{toY} - fromY));
}

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
      DragCamera(dragX, dragY, event.motion.x, event.motion.y, cameraX, cameraY);
      dragX = event.motion.x;
      dragY = event.motion.y;
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button != SDL_BUTTON_LEFT || !dragging) break;
      DragCamera(dragX, dragY, event.button.x, event.button.y, cameraX, cameraY);
      dragging = false;
      break;
    default:
      break;
  }
}

void ResetNavigation() {
  dragging = false;
  overviewShown = false;
}
