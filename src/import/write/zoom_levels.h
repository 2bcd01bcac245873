#pragma once
// The picture scaled down for zooming out: level L shows it at 1 / 2^L, cut
// into 32 × 32 blocks as final.png is, identical blocks kept once. Each
// level is made from the one before, each of its cells from the 2 × 2 cells
// below it: the layers drawn over each other, then each 2 × 2 pixels
// averaged with premultiplied alpha (a transparent pixel adds nothing). A
// cell's picture is made once for each distinct set of cells below it, so
// the work follows what differs, as the blocks do, not the picture's size.
//
// Animated cells animate on the levels where a block is still 4 window
// pixels wide or more (1/2 to 1/8): a level's cell that animated cells below
// it reach is an animated value of its own, its frames walked as final.png's
// are. Coarser levels show the picture at time 0.
//
// The levels go on until the whole picture fits the viewer's window, so
// that the viewer can show it whole. A level may hold kMaxLevelBlocks (or
// final.png's count, when it has more): a map whose cells follow no pattern
// (noise, or a big world of varied art) has nearly as many distinct blocks
// on its first levels as they have cells, and would make levels many times
// the size of final.png, slowly (the viewer holds every level's blocks).
// That is found by counting the distinct sets of cells first, before any
// is drawn; such a level is left out, and the next one made from the map
// itself (each of its cells from 4 × 4 cells, 8 × 8, ...), until one fits.
// The levels made follow each other from there; finer than the first the
// viewer shows it scaled up, coarser than the last the overview.

#include <cstdint>
#include <vector>

#include "import/compose/composer.h"

namespace importer {

constexpr int kMaxZoomLevels = 8;  // 1/256, as far as the viewer zooms out
constexpr int kAnimatedLevels = 3;
constexpr size_t kMaxLevelBlocks = 16384;  // four pages, 64 MiB decoded

struct ZoomLevel {
  int number = 0;  // L: the picture at 1 / 2^L
  int width = 0, height = 0;  // cells of 32 × 32, each showing 2^L × 2^L of the map's
  std::vector<int32_t> cells;  // rows of `width`; 0: nothing, v: block v - 1
  std::vector<Block> blocks;
  std::vector<Animation> animations;  // by cell value, as the composition's
};

// How many levels a picture of this size needs: the least L at which it
// fits 1280 × 720, at most kMaxZoomLevels; 0 when it fits already.
int ZoomLevelCount(int64_t pictureWidth, int64_t pictureHeight);

// Levels 1 to ZoomLevelCount(composition.picture) (fewer, see above), finest
// first, each with its number.
std::vector<ZoomLevel> MakeZoomLevels(const Composition& composition);

// Pixels a, b, c and d averaged with premultiplied alpha, rounded: the
// colour is the alpha-weighted mean, the alpha the mean.
Pixel Average(Pixel a, Pixel b, Pixel c, Pixel d);

}  // namespace importer
