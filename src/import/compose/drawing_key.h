#pragma once
// A key of what a block's drawing does: the placements drawn into it, in
// order, and where the picture's edges cut it, all as seen from the block's
// corner. Two blocks whose drawings have the same key come out the same
// pixels, wherever they lie: the maps of a world share their tilesets, so
// a stack of tiles seen in one map is drawn once, not again in each map
// (whose blocks' keys tell their layers apart).

#include <optional>
#include <vector>

#include "import/compose/block_items.h"
#include "import/compose/draw_item.h"

namespace importer {

// None when a placement isn't on whole pixels or is turned: Draw's
// arithmetic on it then depends on where the block lies, to the last bit.
std::optional<BlockKey> DrawingKey(const std::vector<Placement>& placements, int blockX, int blockY,
                                   const Bounds& clip);

}  // namespace importer
