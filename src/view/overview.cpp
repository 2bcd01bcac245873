#include "view/overview.h"

#include <SDL_image.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <iostream>

#include "shared/globals.h"
#include "view/png_size.h"

OverviewPlace overviewPlace;
SDL_Texture* overviewTexture = nullptr;
bool overviewShown = false;

namespace {

constexpr int64_t kViewWidth = 1280;
constexpr int64_t kViewHeight = 720;

// Division rounding towards minus infinity; `divisor` is above 0.
// `numerator` / `denominator` rounded to the nearest whole, at least 1; both
// above 0 and small enough to double (a side times a window size: 42 bits).
int64_t RoundedAtLeastOne(int64_t numerator, int64_t denominator) {
  return std::max<int64_t>(1, (2 * numerator + denominator) / (2 * denominator));
}

int32_t HeldToInt32(int64_t value) { return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

// A coordinate the renderer can take: far past the window is as good as just past it.
int HeldNearWindow(int64_t value, int64_t size) {
  return static_cast<int>(std::clamp<int64_t>(value, -2 * kFrameThickness, size + 2 * kFrameThickness));
}

}  // namespace

WindowRect FitOverview(const OverviewPlace& place) {
  const int64_t width = std::max<int64_t>(1, place.width), height = std::max<int64_t>(1, place.height);
  int64_t fittedWidth = kViewWidth, fittedHeight = kViewHeight;
  if (width * kViewHeight >= height * kViewWidth) {
    fittedHeight = std::min(kViewHeight, RoundedAtLeastOne(height * kViewWidth, width));  // as wide as the window
  } else {
    fittedWidth = std::min(kViewWidth, RoundedAtLeastOne(width * kViewHeight, height));  // as tall as the window
  }
  const int64_t left = (kViewWidth - fittedWidth) / 2, top = (kViewHeight - fittedHeight) / 2;
  return {left, top, left + fittedWidth, top + fittedHeight};
}

WindowRect ViewFrame(const OverviewPlace& place, const WindowRect& fitted, int32_t cameraX, int32_t cameraY,
                     const Zoom& at) {
  const int64_t width = std::max<int64_t>(1, place.width), height = std::max<int64_t>(1, place.height);
  const int64_t fittedWidth = fitted.right - fitted.left, fittedHeight = fitted.bottom - fitted.top;
  // The view's edges are in 1/kSubpixels of a map pixel (16 bits), at most
  // 34 bits of map pixels from the place's corner; window sizes are 11
  // bits: the products fit in 64.
  const auto toWindowX = [&](int64_t x) {
    return fitted.left + FloorDiv((x - place.x * kSubpixels) * fittedWidth, width * kSubpixels);
  };
  const auto toWindowY = [&](int64_t y) {
    return fitted.top + FloorDiv((y - place.y * kSubpixels) * fittedHeight, height * kSubpixels);
  };
  const ViewExtent view = ViewExtentAt(cameraX, cameraY, at);
  WindowRect frame{toWindowX(view.left), toWindowY(view.top), toWindowX(view.right), toWindowY(view.bottom)};
  frame.right = std::max(frame.right, frame.left + kSmallestFrame);
  frame.bottom = std::max(frame.bottom, frame.top + kSmallestFrame);
  return frame;
}

bool MapPointAt(const OverviewPlace& place, const WindowRect& fitted, int64_t x, int64_t y, int32_t& mapX,
                int32_t& mapY) {
  if (x < fitted.left || x >= fitted.right || y < fitted.top || y >= fitted.bottom) return false;
  const int64_t fittedWidth = fitted.right - fitted.left, fittedHeight = fitted.bottom - fitted.top;
  // The pixel's centre, in halves: (2 (x - left) + 1) / 2 of a window pixel.
  mapX = HeldToInt32(place.x + FloorDiv((2 * (x - fitted.left) + 1) * place.width, 2 * fittedWidth));
  mapY = HeldToInt32(place.y + FloorDiv((2 * (y - fitted.top) + 1) * place.height, 2 * fittedHeight));
  return true;
}

void LoadOverview(const std::string& path, const OverviewPlace& place) {
  ReleaseOverview();
  int64_t width = 0, height = 0;
  if (PngSize(path, width, height) && (width > kMaxOverviewSide || height > kMaxOverviewSide)) {
    std::cerr << path << ": no overview: " << width << " x " << height << " pixels, more than "
              << kMaxOverviewSide << " a side" << std::endl;
    return;
  }
  SDL_Texture* texture = IMG_LoadTexture(renderer, path.c_str());
  if (texture == nullptr) {
    std::cerr << path << ": no overview: " << IMG_GetError() << std::endl;
    return;
  }
  overviewPlace = place;
  overviewTexture = texture;
}

void DrawOverview() {
  if (overviewTexture == nullptr) return;
  const WindowRect fitted = FitOverview(overviewPlace);
  const SDL_Rect picture{static_cast<int>(fitted.left), static_cast<int>(fitted.top),
                         static_cast<int>(fitted.right - fitted.left), static_cast<int>(fitted.bottom - fitted.top)};
  SDL_RenderCopy(renderer, overviewTexture, nullptr, &picture);

  const WindowRect frame = ViewFrame(overviewPlace, fitted, cameraX, cameraY, zoom);
  const int left = HeldNearWindow(frame.left, kViewWidth), right = HeldNearWindow(frame.right, kViewWidth);
  const int top = HeldNearWindow(frame.top, kViewHeight), bottom = HeldNearWindow(frame.bottom, kViewHeight);
  const int thickness = static_cast<int>(kFrameThickness);
  const SDL_Rect edges[4] = {{left, top, right - left, thickness},
                             {left, bottom - thickness, right - left, thickness},
                             {left, top, thickness, bottom - top},
                             {right - thickness, top, thickness, bottom - top}};
  Uint8 r = 0, g = 0, b = 0, a = 0;
  SDL_GetRenderDrawColor(renderer, &r, &g, &b, &a);
  SDL_SetRenderDrawColor(renderer, kFrameColour.r, kFrameColour.g, kFrameColour.b, kFrameColour.a);
  SDL_RenderFillRects(renderer, edges, 4);
  SDL_SetRenderDrawColor(renderer, r, g, b, a);  // the frame loop clears with the renderer's own colour
}

void ReleaseOverview() {
  if (overviewTexture != nullptr) SDL_DestroyTexture(overviewTexture);
  overviewTexture = nullptr;
  overviewShown = false;
}
