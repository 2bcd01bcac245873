#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "view/view_file.h"
#include "view/zoom.h"

// The overview that M shows: view.json's picture of a map-pixel rectangle,
// scaled to fit the window (its aspect kept, centred, black around), with a
// frame where the view lies.

// A rectangle of window pixels, [left, right) x [top, bottom).
struct WindowRect {
  int64_t left = 0;
  int64_t top = 0;
  int64_t right = 0;
  int64_t bottom = 0;
};

// The frame's colour and width; the smallest frame drawn, so that a view of
// a huge world still shows.
constexpr SDL_Color kFrameColour{255, 255, 0, 255};
constexpr int64_t kFrameThickness = 2;
constexpr int64_t kSmallestFrame = 2 * kFrameThickness + 2;

// A picture file larger than this on a side is not decoded (the importer
// writes at most 1280 x 720).
constexpr int64_t kMaxOverviewSide = 8192;

// Where the place's rectangle lies in the window once scaled to fit it:
// by 1280 / width or 720 / height, whichever is less, rounded to whole
// pixels (at least one), centred.
WindowRect FitOverview(const OverviewPlace& place);

// The frame around the view (1280 x 720 map pixels about the camera at
// 1:1, fewer zoomed in) on the fitted overview `fitted`: each edge's map
// point scaled as the overview is, rounded down; at least kSmallestFrame a
// side. It may lie partly or wholly outside the window.
WindowRect ViewFrame(const OverviewPlace& place, const WindowRect& fitted, int32_t cameraX, int32_t cameraY,
                     const Zoom& at = Zoom{});

// The map pixel under window pixel (x, y) of the fitted overview (the pixel's
// centre scaled back, rounded down), or false when (x, y) is not on it.
// Points past 32 bits are held at the camera's range.
bool MapPointAt(const OverviewPlace& place, const WindowRect& fitted, int64_t x, int64_t y, int32_t& mapX,
                int32_t& mapY);

// The overview in play: its place, its texture (null: no overview) and
// whether M shows it now.
extern OverviewPlace overviewPlace;
extern SDL_Texture* overviewTexture;
extern bool overviewShown;

// Loads the picture at `path` for `place`. On failure the overview is off
// and one line on standard error says why. Replaces any overview loaded before.
void LoadOverview(const std::string& path, const OverviewPlace& place);

// Draws the overview and the view's frame, in place of the map. Leaves the
// renderer's draw colour as it found it.
void DrawOverview();

// Destroys the texture; the overview is off. Safe when none is loaded.
void ReleaseOverview();
