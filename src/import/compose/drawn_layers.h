#pragma once
// The map as the editor draws it: the layers in drawing order with what
// their groups give them, and the rectangle of the picture.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "import/compose/grid.h"
#include "import/model.h"

namespace importer {

// A tile, object or image layer with its groups folded in.
struct DrawLayer {
  const Layer* layer = nullptr;
  bool visible = true;       // it and every group around it
  double opacity = 1;        // the product of theirs
  std::optional<std::array<double, 4>> tint;  // the product; none when opaque white
  double offsetX = 0, offsetY = 0;            // the sum
  size_t source = 0;        // the map of the scene it belongs to
  bool background = false;  // not a layer: its map's background colour, over its grid area
};

// Every layer but the groups, first drawn first, hidden ones included.
std::vector<DrawLayer> FlattenLayers(const Map& map);

// The grid area of the map (fixed maps) or of the squares of 16 × 16 cells
// that hold something (infinite ones), in map pixels.
PixelRect MapArea(const Map& map, const Grid& grid, const std::vector<DrawLayer>& layers);

// The picture's rectangle in map pixels. Images must be loaded.
struct PictureRect {
  int64_t left = 0, top = 0, width = 0, height = 0;
};
PictureRect PictureRectOf(const Map& map, const Grid& grid, const std::vector<DrawLayer>& layers);

}  // namespace importer
