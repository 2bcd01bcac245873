#pragma once
// The whole picture at a glance (overview.png): scaled down to fit the
// viewer's window of 1280 × 720, area-averaged with premultiplied alpha (a
// transparent pixel adds nothing, so edges don't darken), at time 0.
//
// It is made from the composition's cells, never from the whole picture:
// each block is cut into k × k squares (k a power of two up to 32), each
// square's premultiplied average made once per block; a cell's squares are
// composited layer over layer and spread evenly over the overview pixels
// they cover. A picture up to four times the window's size each way (a block
// 8 overview pixels wide or more) is averaged pixel by pixel (k = 32, the
// squares are the pixels, composited one by one: exact), at most 16 pixels
// for each overview pixel; a bigger one in squares of at most one overview
// pixel (k the least power of two that gives them), a few for each overview
// pixel: so the work follows the overview's pixels and the cells, not the
// picture's pixels. Compositing the squares' averages is exact where an
// upper layer's square is opaque or empty throughout, and close where it
// has holes.

#include <cstdint>
#include <vector>

#include "import/compose/composer.h"

namespace importer {

constexpr int kOverviewWidth = 1280, kOverviewHeight = 720;  // the viewer's window

struct OverviewSize {
  int width = 1, height = 1;
};

// The overview's size for a picture of these pixels: scaled by
// s = min(1, 1280 / width, 720 / height), rounded, at least 1 × 1.
OverviewSize OverviewSizeOf(int64_t pictureWidth, int64_t pictureHeight);

struct Overview {
  int width = 1, height = 1;
  std::vector<Pixel> pixels;  // rows of `width`, straight (not premultiplied) alpha
  int squares = 32;           // k: each cell's block cut into k × k squares
};

Overview MakeOverview(const Composition& composition);

}  // namespace importer
