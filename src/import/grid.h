#pragma once
// The map's grid on screen, for every orientation: where a cell is drawn,
// the order cells are drawn in, the area a rectangle of cells covers, where
// an object's position lies on screen.

#include <cstdint>
#include <vector>

#include "import/model.h"

namespace importer {

struct MapPoint {
  double x = 0, y = 0;
};

// The steps between cells, worked out once per map.
struct Grid {
  Orientation orientation = Orientation::kOrthogonal;
  RenderOrder renderOrder = RenderOrder::kRightDown;
  int64_t tw = 1, th = 1;
  double originX = 0;          // isometric: O, the x of cell (0, 0)'s top corner
  bool staggerX = false, staggerEven = false;
  int64_t half = 0;            // staggered, hexagonal: halfW (axis y) or halfH (axis x)
  int64_t side = 0;            // sideY (axis y) or sideX (axis x)
  int64_t step = 1;            // rowH (axis y) or colW (axis x): from one row (column) to the next
  int64_t cell = 1;            // cellW (axis y) or cellH (axis x): the size across the stagger
  double skewX = 0, skewY = 0;

  // Whether row (axis y) or column (axis x) `i` is shifted; right for
  // negative i too.
  bool Shifted(int64_t i) const { return ((i & 1) != 0) != staggerEven; }
};

// Throws ImportError when the map's sizes make no grid (cells that don't
// advance).
Grid GridOf(const Map& map);

// The bottom-left corner of the cell's drawing box, in map pixels.
MapPoint Anchor(const Grid& grid, int64_t x, int64_t y);

// Where an object's position (x, y) lies on screen.
MapPoint ProjectObject(const Grid& grid, double x, double y);

struct PixelRect {
  double left = 0, top = 0, right = 0, bottom = 0;
};

// The pixels a rectangle of cells covers (the grid area), in map pixels.
PixelRect GridArea(const Grid& grid, int64_t x0, int64_t y0, int64_t w, int64_t h);

// The cells of the rectangle `cells` whose drawing box may touch `window`,
// in the editor's drawing order. `reach` is the box around a cell's anchor
// that any of its tiles draws within; `shift` is added to an anchor to give
// the window's pixels.
struct CellRect {
  int64_t x = 0, y = 0, width = 0, height = 0;
};
struct CellAt {
  int64_t x, y;
  MapPoint anchor;  // shifted
};
void CellsInWindow(const Grid& grid, const CellRect& cells, const PixelRect& window, const PixelRect& reach,
                   MapPoint shift, std::vector<CellAt>& out);

}  // namespace importer
