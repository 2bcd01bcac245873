#include "view/navigation.h"

#include <algorithm>
#include <cmath>

#include "shared/globals.h"
#include "view/overview.h"
#include "view/zoom.h"

bool navigationOn = false;

namespace {

// The drag in progress: the pointer's last place while the left button holds the map.
bool dragging = false;
int32_t dragX = 0;
int32_t dragY = 0;

// The fingers on the map, the first two that came down: each one's last
// place in window pixels (SDL gives 0 to 1 across the window).
struct Finger {
  SDL_FingerID id;
  double x, y;
};
constexpr double kWindowWidth = 1280;
constexpr double kWindowHeight = 720;
Finger fingers[2];
int fingerCount = 0;

// The pinch in progress: the fingers' distance when the second came down
// (or when the zoom last met the end of its range), and the steps zoomed
// since. Steps lie where the distance has grown or shrunk by whole powers
// of 2^(1/4) from there, so that the map follows the fingers' spread.
double pinchFrom = 0;
int pinchSteps = 0;
constexpr double kStepSlack = 1e-6;  // a spread of exactly 2^(k/4) is k steps, whatever floats round

// Mouse events that stand for a touch: SDL's own (made from the first
// finger), and any at all while a finger is down, as some platforms make
// them too. The fingers alone move the map then, so that one finger doesn't
// drag twice and a pinch doesn't drag.
bool MouseFromTouch(Uint32 which) { return which == SDL_TOUCH_MOUSEID || fingerCount > 0; }

// On the overview: the camera goes to the map point under (x, y), and the
// map returns. A point beside the picture does nothing.
void ChooseOverviewPoint(int x, int y) {
  int32_t mapX = 0, mapY = 0;
  if (!MapPointAt(overviewPlace, FitOverview(overviewPlace), x, y, mapX, mapY)) return;
  cameraX = mapX;
  cameraY = mapY;
  zoom.subX = zoom.subY = 0;  // that very map pixel, at the zoom it had
  CentreFittingPicture();     // across or down, a picture that fits stays centred
  overviewShown = false;
}

// The map point under the pointer stays under it.
void Drag(int64_t fromX, int64_t fromY, int64_t toX, int64_t toY) {
  ScrollView(-(toX - fromX), -(toY - fromY));
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
    fingerCount = 0;  // the fingers down drag nothing until they come down again
  } else if (overviewShown && (key.keysym.sym == SDLK_RETURN || key.keysym.sym == SDLK_KP_ENTER)) {
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    ChooseOverviewPoint(x, y);
  }
}

// A window coordinate from SDL's 0 to 1, held far outside the window
// (fmin and fmax also turn a NaN into a bound), so that it fits the
// arithmetic.
double WindowCoordinate(float normalised, double size) {
  constexpr double kFar = 1 << 24;
  return std::fmax(std::fmin(normalised * size, kFar), -kFar);
}

// The window pixel a finger is on, as the mouse's would be. SDL's 0 to 1
// is a float: a finger on a pixel's left edge comes back a hair short of it.
int64_t PixelUnder(double coordinate) {
  constexpr double kSlack = 1.0 / 256;
  return static_cast<int64_t>(std::floor(coordinate + kSlack));
}

Finger* FindFinger(SDL_FingerID id) {
  for (int k = 0; k < fingerCount; ++k) {
    if (fingers[k].id == id) return &fingers[k];
  }
  return nullptr;
}

double FingerSpread() { return std::hypot(fingers[1].x - fingers[0].x, fingers[1].y - fingers[0].y); }

// Zooms the steps the fingers' spread has crossed since the last one,
// about the point between them.
void Pinch() {
  const double spread = FingerSpread();
  if (!(pinchFrom > 0)) {  // the fingers were on one point: count from where they part
    pinchFrom = spread;
    pinchSteps = 0;
    return;
  }
  constexpr double kMostSteps = kMaxZoomStep - kLeastZoomStep;
  const double grown = std::clamp(4 * std::log2(spread / pinchFrom), -kMostSteps - 1, kMostSteps + 1);
  int wanted = pinchSteps;
  if (grown >= pinchSteps + 1 - kStepSlack) wanted = static_cast<int>(std::floor(grown + kStepSlack));
  if (grown <= pinchSteps - 1 + kStepSlack) wanted = static_cast<int>(std::ceil(grown - kStepSlack));
  if (wanted == pinchSteps) return;
  const int before = zoom.step;
  ZoomBy(wanted - pinchSteps, std::llround(fingers[0].x + fingers[1].x), std::llround(fingers[0].y + fingers[1].y));
  if (zoom.step - before == wanted - pinchSteps) {
    pinchSteps = wanted;
  } else {  // held at the end of the range: turning back zooms at once
    pinchFrom = spread;
    pinchSteps = 0;
  }
}

void HandleFingerDown(const SDL_TouchFingerEvent& touch) {
  dragging = false;  // a finger takes over from the mouse
  const double x = WindowCoordinate(touch.x, kWindowWidth), y = WindowCoordinate(touch.y, kWindowHeight);
  if (overviewShown) {  // a tap, as a click
    if (fingerCount == 0) ChooseOverviewPoint(static_cast<int>(PixelUnder(x)), static_cast<int>(PixelUnder(y)));
    return;
  }
  if (fingerCount == 2 || FindFinger(touch.fingerId) != nullptr) return;  // a third finger does nothing
  fingers[fingerCount++] = {touch.fingerId, x, y};
  if (fingerCount == 2) {
    pinchFrom = FingerSpread();
    pinchSteps = 0;
  }
}

// One finger drags the map as the mouse does, by whole window pixels; two pinch.
void HandleFingerMotion(const SDL_TouchFingerEvent& touch) {
  Finger* finger = FindFinger(touch.fingerId);
  if (finger == nullptr) return;
  const double x = WindowCoordinate(touch.x, kWindowWidth), y = WindowCoordinate(touch.y, kWindowHeight);
  if (fingerCount == 1) {
    Drag(PixelUnder(finger->x), PixelUnder(finger->y), PixelUnder(x), PixelUnder(y));
  }
  finger->x = x;
  finger->y = y;
  if (fingerCount == 2) Pinch();
}

// The finger left goes on dragging from where it is.
void HandleFingerUp(const SDL_TouchFingerEvent& touch) {
  HandleFingerMotion(touch);
  Finger* finger = FindFinger(touch.fingerId);
  if (finger == nullptr) return;
  *finger = fingers[--fingerCount];
}

}  // namespace

void HandleNavigationEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
      HandleKey(event.key);
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button != SDL_BUTTON_LEFT || MouseFromTouch(event.button.which)) break;
      if (overviewShown) {
        ChooseOverviewPoint(event.button.x, event.button.y);
      } else {
        dragging = true;
        dragX = event.button.x;
        dragY = event.button.y;
      }
      break;
    case SDL_MOUSEMOTION:
      if (!dragging || MouseFromTouch(event.motion.which)) break;
      if ((event.motion.state & SDL_BUTTON_LMASK) == 0) {  // let go outside the window
        dragging = false;
        break;
      }
      Drag(dragX, dragY, event.motion.x, event.motion.y);
      dragX = event.motion.x;
      dragY = event.motion.y;
      break;
    case SDL_MOUSEBUTTONUP:
      if (event.button.button != SDL_BUTTON_LEFT || !dragging || MouseFromTouch(event.button.which)) break;
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
    case SDL_FINGERDOWN:
      if (event.tfinger.touchId != SDL_MOUSE_TOUCHID) HandleFingerDown(event.tfinger);  // not SDL's from the mouse
      break;
    case SDL_FINGERMOTION:
      if (event.tfinger.touchId != SDL_MOUSE_TOUCHID) HandleFingerMotion(event.tfinger);
      break;
    case SDL_FINGERUP:
      if (event.tfinger.touchId != SDL_MOUSE_TOUCHID) HandleFingerUp(event.tfinger);
      break;
    default:
      break;
  }
}

void ResetNavigation() {
  dragging = false;
  fingerCount = 0;
  overviewShown = false;
  zoom = Zoom{};
}
