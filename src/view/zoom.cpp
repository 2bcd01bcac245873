#include "view/zoom.h"

#include <algorithm>

#include "shared/globals.h"

Zoom zoom;
int minZoomStep = 0;
ZoomPicture zoomPicture;

namespace {

constexpr int64_t kHalfViewWidth = 640;
constexpr int64_t kHalfViewHeight = 360;

// A window pixel at scale 1 in the units the arithmetic works in: 2^32, so
// that a map offset (22 bits) times it times a scale (19 bits) fits in 64.
constexpr int64_t kUnit = kSubpixels * kScaleOne;

// Map offsets past this from the camera lie far outside the window at any
// zoom of 1 or more; holding them here keeps the products in 64 bits.
constexpr int64_t kFar = int64_t{1} << 22;

// 2^(1/4), 2^(2/4) and 2^(3/4), rounded to 1/kScaleOne.
constexpr int64_t kQuarterPowers[4] = {65536, 77936, 92682, 110218};

// Rounded to the nearest, halves away from 0: a move one way and the same
// move back cancel exactly (two opposite arrows held).
int64_t RoundedDiv(int64_t dividend, int64_t divisor) {
  return dividend >= 0 ? (dividend + divisor / 2) / divisor : -((-dividend + divisor / 2) / divisor);
}

// `windowPixels` (in 1/`parts` of a pixel) as 1/kSubpixels of a map pixel at `step`.
int64_t ToSubpixels(int64_t windowPixels, int64_t parts, int step) {
  return RoundedDiv(std::clamp(windowPixels, -kFar, kFar) * kUnit, parts * ZoomScale(step));
}

// The camera has no bounds; moving it wraps instead of overflowing, as the arrows do.
void MoveAxis(int32_t& camera, int32_t& sub, int64_t deltaSub) {
  const int64_t total = sub + deltaSub;
  const int64_t carry = FloorDiv(total, kSubpixels);
  sub = static_cast<int32_t>(total - carry * kSubpixels);
  camera = static_cast<int32_t>(static_cast<uint32_t>(camera) + static_cast<uint32_t>(carry));
}

void ZoomAxis(int32_t& camera, int32_t& sub, int64_t at2, int64_t middle, int from, int to) {
  const int64_t offset2 = at2 - 2 * middle;  // from the middle, in half pixels
  MoveAxis(camera, sub, ToSubpixels(offset2, 2, from) - ToSubpixels(offset2, 2, to));
  if (to == 0) {  // 1:1 shows whole map pixels only
    MoveAxis(camera, sub, sub >= kSubpixels / 2 ? kSubpixels - sub : -sub);
  }
}

// Zoomed out, an axis on which the whole picture fits the window holds its
// middle at the window's middle.
void CentreAxis(int32_t& camera, int32_t& sub, int64_t start, int64_t length, int64_t middle) {
  if (zoom.step >= 0 || length <= 0 || length * ZoomScale(zoom.step) > 2 * middle * kScaleOne) return;
  const int64_t doubled = 2 * start + length;  // the picture's middle, in half map pixels
  camera = static_cast<int32_t>(FloorDiv(doubled, 2));
  sub = doubled % 2 != 0 ? static_cast<int32_t>(kSubpixels / 2) : 0;
}

}  // namespace

int64_t FloorDiv(int64_t dividend, int64_t divisor) {
  const int64_t quotient = dividend / divisor;
  return dividend % divisor < 0 ? quotient - 1 : quotient;
}

void CentreFittingPicture() {
  CentreAxis(cameraX, zoom.subX, zoomPicture.x, zoomPicture.width, kHalfViewWidth);
  CentreAxis(cameraY, zoom.subY, zoomPicture.y, zoomPicture.height, kHalfViewHeight);
}

int FittingStep(const ZoomPicture& picture) {
  int step = 0;
  while (step > kLeastZoomStep && (picture.width * ZoomScale(step) > 2 * kHalfViewWidth * kScaleOne ||
                                   picture.height * ZoomScale(step) > 2 * kHalfViewHeight * kScaleOne)) {
    --step;
  }
  return step;
}

int64_t ZoomScale(int step) {
  const int held = std::clamp(step, kLeastZoomStep, kMaxZoomStep);
  const int whole = held >= 0 ? held / 4 : -((3 - held) / 4), quarter = held - 4 * whole;  // held = 4 whole + quarter
  if (whole >= 0) return kQuarterPowers[quarter] << whole;
  return (kQuarterPowers[quarter] + (int64_t{1} << (-whole - 1))) >> -whole;  // rounded
}

int64_t WindowEdge(int64_t mapEdge, int32_t camera, int32_t sub, int64_t middle, int step) {
  const int64_t offset = std::clamp<int64_t>(mapEdge - camera, -kFar, kFar) * kSubpixels - sub;
  return middle + FloorDiv(offset * ZoomScale(step) + kUnit / 2, kUnit);
}

void VisibleMapPixels(int32_t camera, int32_t sub, int64_t middle, int step, int64_t& first, int64_t& end) {
  const int64_t half = middle * kUnit / ZoomScale(step);  // in 1/kSubpixels
  first = camera + FloorDiv(sub - half, kSubpixels);
  end = camera + FloorDiv(sub + half, kSubpixels) + 1;
}

void ScrollView(int64_t dx, int64_t dy) {
  if (zoom.step == 0) {
    MoveAxis(cameraX, zoom.subX, dx * kSubpixels);
    MoveAxis(cameraY, zoom.subY, dy * kSubpixels);
    return;
  }
  MoveAxis(cameraX, zoom.subX, ToSubpixels(dx, 1, zoom.step));
  MoveAxis(cameraY, zoom.subY, ToSubpixels(dy, 1, zoom.step));
  CentreFittingPicture();
}

void ZoomAt(int step, int64_t x2, int64_t y2) {
  const int to = std::clamp(step, std::max(minZoomStep, kLeastZoomStep), kMaxZoomStep);
  if (to == zoom.step) return;
  ZoomAxis(cameraX, zoom.subX, x2, kHalfViewWidth, zoom.step, to);
  ZoomAxis(cameraY, zoom.subY, y2, kHalfViewHeight, zoom.step, to);
  zoom.step = to;
  CentreFittingPicture();
}

ViewExtent ViewExtentAt(int32_t cameraX, int32_t cameraY, const Zoom& zoom) {
  const int64_t halfWidth = kHalfViewWidth * kUnit / ZoomScale(zoom.step);
  const int64_t halfHeight = kHalfViewHeight * kUnit / ZoomScale(zoom.step);
  const int64_t x = int64_t{cameraX} * kSubpixels + zoom.subX, y = int64_t{cameraY} * kSubpixels + zoom.subY;
  return {x - halfWidth, y - halfHeight, x + halfWidth, y + halfHeight};
}
