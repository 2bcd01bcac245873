#pragma once
// The editor's three flip bits. The anti-diagonal flip comes first (it swaps
// the image's axes), then the horizontal, then the vertical one.

#include <cstdint>

namespace importer {

struct Flips {
  bool horizontal = false, vertical = false, diagonal = false;
};

Flips FlipsOf(uint32_t gid);

struct Point {
  double x, y;
};

// For a w × h source, the source point under point `out` of the flipped
// picture (h × w when the diagonal bit is set). Works on continuous
// coordinates: a pixel centre maps onto a pixel centre.
Point FlipSource(Flips flips, double w, double h, Point out);

}  // namespace importer
