#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "view/animation.h"

// The map scaled down for zooming out, as the importer writes it beside
// view.json: level L shows the picture at 1 / 2^L in 32 × 32 blocks, each
// cell of the level covering 2^L × 2^L of the map's 32-pixel grid from map
// pixel (0, 0). Its files, in zoom/L/:
//   level.json   {"width": W, "height": H, "blocks": B, "animations": [...]}
//   blocks-P.png blocks 4096 P + 1 to 4096 (P + 1) as values count them, 64 to a row
//   C_R.json     {"data": [...]}: the cells of the 64 × 64 piece at column C, row R
// Drawing them costs what the window shows, at any level.

constexpr int64_t kLevelPieceCells = 64;  // a piece's side, and a page's, in cells and blocks
// Bounds on what a level may ask for; past them the levels are left out.
constexpr int64_t kMaxLevelCells = int64_t{1} << 26;
constexpr int64_t kMaxLevelBlocks = int64_t{1} << 20;

struct ZoomLevel {
  int64_t width = 0, height = 0;  // in cells
  std::vector<int32_t> cells;     // rows of `width`; 0: nothing, v: block v - 1
  int64_t blocks = 0;
  std::vector<SDL_Texture*> pages;
  std::vector<Animation> animations;
  std::vector<int32_t> shown;  // value v shows shown[v] now, when v is below its size
};

// Levels zoomFirstLevel, zoomFirstLevel + 1, ..., finest first; none when
// the view file names none. (The importer leaves out the finest levels of a
// map whose cells follow no pattern.)
extern std::vector<ZoomLevel> zoomLevels;
extern int zoomFirstLevel;

// Loads levels `first` to `last` from `folder` (ending in a separator, or
// empty). A level that can't be used (a file missing or malformed, a value
// without a block) leaves out it and every coarser one, with one line on
// standard error: the finer ones still serve.
void LoadZoomLevels(const std::string& folder, int64_t first, int64_t last);

// Destroys the levels' textures; no levels.
void ReleaseZoomLevels();

// Works out each level's animated values at `t` ms.
void PickZoomFrames(uint64_t t);

// What the zoom in play draws: the map itself (0), a level (its number), or
// the overview (kOverviewLevel): the level nearest to the zoom, a tie going
// to the coarser; finer than the first level loaded, the first (scaled up);
// past the last, the overview, if there is one, else the last level.
constexpr int kOverviewLevel = 1000;
int LevelForStep(int step);

// The same choice among levels `first` to `last` (last 0: none).
int NearestLevel(int step, int first, int last, bool hasOverview);

// The overview in place of a level the importer didn't write: its picture
// stretched over the map pixels it shows, smoothly.
void DrawOverviewZoomed();

// Draws LevelForStep(zoom.step) in place of the map (it must be above 0).
void DrawZoomLevel();
