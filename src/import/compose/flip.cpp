#include "import/compose/flip.h"

#include "import/model.h"

namespace importer {

Flips FlipsOf(uint32_t gid) {
  return {(gid & kFlipH) != 0, (gid & kFlipV) != 0, (gid & kFlipD) != 0};
}

Point FlipSource(Flips flips, double w, double h, Point out) {
  if (!flips.diagonal)
    return {flips.horizontal ? w - out.x : out.x, flips.vertical ? h - out.y : out.y};
  // Transposed first: the output's x runs along the source's y. The
  // horizontal flip then mirrors what became the output's x axis.
  return {flips.vertical ? w - out.y : out.y, flips.horizontal ? h - out.x : out.x};
}

}  // namespace importer
