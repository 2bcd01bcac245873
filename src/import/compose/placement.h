#pragma once
// Where the map's tiles and tile objects draw, in picture pixels.

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "import/compose/draw_item.h"
#include "import/compose/drawn_layers.h"
#include "import/compose/grid.h"
#include "import/model.h"

namespace importer {

// What a tile layer's cells hold: how many hold a tile, and how far its
// tiles draw around their anchor (a cell's bottom-left corner): tiles
// larger than the grid, tile offsets, every frame of an animated tile.
struct LayerTiles {
  int64_t count = 0;
  PixelRect reach;
  std::vector<uint32_t> gids;  // each the cells hold, once (with its flips)
};
LayerTiles SurveyTiles(const Map& map, const CellGrid& cells);

// A tile of a cell whose anchor (in picture pixels) is given.
Placement TilePlacement(const Map& map, const DrawLayer& drawn, const TileImage& tile, uint32_t gid,
                        MapPoint anchor);

// A tile object, its layer's anchors moved by `shift` into the picture, as
// it shows at frame `frame` of its tile's animation; none for an id without
// an image (added to `missing`).
std::optional<Placement> ObjectPlacement(const Map& map, const Grid& grid, const DrawLayer& drawn,
                                         const Object& object, MapPoint shift, std::set<uint32_t>& missing,
                                         size_t frame = 0);

}  // namespace importer
