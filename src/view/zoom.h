#pragma once

#include <cstdint>

// Zooming the map view, switched on with M and the mouse by view.json.
// Zoom step k shows each map pixel 2^(k/4) window pixels wide: four steps
// double. The camera stays cameraX/cameraY, the map pixel at the window's
// centre; zoomed in, the view also lies between whole map pixels, and that
// part of a map pixel is kept here. At step 0 it is always 0, so that 1:1
// draws and moves exactly as without zoom.
//
// All of it is integer arithmetic, so that Linux, Windows and the browser
// put every edge on the same window pixel.

// Zooming out below 1:1 draws the pictures the importer scaled down
// beforehand (view/zoom_levels.h): the least step is where the whole
// picture fits the window, and 0 without them.
extern int minZoomStep;

// The map pixels the picture covers: zoomed out, an axis on which it fits
// the window has it centred, as the editor shows a small map.
struct ZoomPicture {
  int64_t x = 0, y = 0, width = 0, height = 0;  // width 0: none
};
extern ZoomPicture zoomPicture;

// Zoomed out, puts the camera at the picture's middle on each axis on which
// the whole picture fits the window (moving and zooming do it themselves).
void CentreFittingPicture();

// The least step at which `picture` fits the window whole, at most 0, at
// least kLeastZoomStep.
int FittingStep(const ZoomPicture& picture);
constexpr int kMaxZoomStep = 12;    // 8 x
constexpr int kLeastZoomStep = -32;  // 1/256, the coarsest level the viewer reads

// Scales are in 1/kScaleOne, the camera's part of a map pixel in 1/kSubpixels.
constexpr int64_t kScaleOne = int64_t{1} << 16;
constexpr int64_t kSubpixels = int64_t{1} << 16;

struct Zoom {
  int step = 0;
  int32_t subX = 0;  // 0 to kSubpixels - 1, right of cameraX
  int32_t subY = 0;  // below cameraY
};

extern Zoom zoom;

// 2^(step/4) in 1/kScaleOne, for steps kLeastZoomStep to kMaxZoomStep:
// four steps make exactly twice.
int64_t ZoomScale(int step);

// The window coordinate of map edge `mapEdge` (the left edge of that map
// pixel) on an axis whose camera is `camera` plus `sub` / kSubpixels and
// whose middle is window coordinate `middle`: rounded to the nearest pixel,
// so that the edge between two cells is the same window pixel for both.
int64_t WindowEdge(int64_t mapEdge, int32_t camera, int32_t sub, int64_t middle, int step);

// The map pixels on an axis that the window's [0, 2 * middle) shows, any
// part of them: [first, end).
void VisibleMapPixels(int32_t camera, int32_t sub, int64_t middle, int step, int64_t& first, int64_t& end);

// Moves the camera by (dx, dy) window pixels at the zoom in play (map
// pixels at 1:1, where it is what the arrows and a drag always did). Wraps
// as the arrows do.
void ScrollView(int64_t dx, int64_t dy);

// Goes to zoom step `step` (held in range), keeping the map point under
// window point (x2 / 2, y2 / 2) where it is: in half pixels, so that a
// pointer's pixel is taken by its centre. At step 0 the camera goes to the
// nearest whole map pixel.
void ZoomAt(int step, int64_t x2, int64_t y2);

// The map rectangle the window shows, in 1/kSubpixels of a map pixel,
// [left, right) x [top, bottom): for M's frame.
struct ViewExtent {
  int64_t left, top, right, bottom;
};
ViewExtent ViewExtentAt(int32_t cameraX, int32_t cameraY, const Zoom& zoom);

// Division rounding towards minus infinity.
int64_t FloorDiv(int64_t dividend, int64_t divisor);

// One axis of the view at the zoom in play: the map pixels it shows, any
// part of them, [first, end), and the window pixel each map edge falls on.
struct ViewAxis {
  int32_t camera;
  int32_t sub;
  int64_t middle;
  int64_t first = 0, end = 0;

  ViewAxis(int32_t camera, int32_t sub, int64_t middle) : camera(camera), sub(sub), middle(middle) {
    VisibleMapPixels(camera, sub, middle, zoom.step, first, end);
  }
  int64_t Edge(int64_t mapEdge) const { return WindowEdge(mapEdge, camera, sub, middle, zoom.step); }
};
