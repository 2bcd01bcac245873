#pragma once
// The map's grid on screen, for every orientation: where a cell is drawn,
// the order cells are drawn in, the area a rectangle of cells covers, where
// an object's position lies on screen.

#include <algorithm>
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

// The cells near a window, in the editor's drawing order. A window is one
// block of the picture; what its row of blocks decides (RowSpans) and what
// its column decides (ColumnSpans) is worked out once per row and column.
// A cell is near when its anchor plus `reach`, the box any of its tiles
// draws within, crosses the window; `shift` turns anchors into the window's
// pixels.
struct CellRect {
  int64_t x = 0, y = 0, width = 0, height = 0;
};
struct Span {
  int64_t first = 0, last = -1;
};
struct RowSpans {
  double top = 0, bottom = 0;
  Span spans[2];  // rows, x + y (isometric), or rows of the unshifted and the shifted columns
};
struct ColumnSpans {
  double left = 0, right = 0;
  Span spans[2];  // columns, x − y (isometric), or columns of the unshifted and the shifted rows
};
struct CellAt {
  int64_t x, y;
  MapPoint anchor;  // shifted
};
// A cell that holds a tile: its column and row in its layer's grid of
// cells (from the grid's corner), and its gid.
struct CellTile {
  int32_t column, row;
  uint32_t gid;
};
RowSpans RowSpansOf(const Grid& grid, const CellRect& cells, double top, double bottom, const PixelRect& reach,
                    MapPoint shift);
ColumnSpans ColumnSpansOf(const Grid& grid, const CellRect& cells, double left, double right,
                          const PixelRect& reach, MapPoint shift);
// The columns of blocks, among `columns`, that may have cells of the rect
// near them in the row of blocks of `rows`: [first, last).
std::pair<int64_t, int64_t> ColumnsWithCells(const Grid& grid, const CellRect& cells, const RowSpans& rows,
                                             const std::vector<ColumnSpans>& columns);

// Oblique maps: the cells near the window, found cell by cell.
void ObliqueCells(const Grid& grid, const CellRect& cells, const PixelRect& window, const PixelRect& reach,
                  MapPoint shift, std::vector<CellAt>& out);

// Calls visit(x, y, anchor) for each cell near the window, in drawing order.
template <typename Visit>
void VisitCells(const Grid& grid, const CellRect& cells, const RowSpans& rows, const ColumnSpans& columns,
                const PixelRect& reach, MapPoint shift, std::vector<CellAt>& scratch, Visit&& visit) {
  const double tw = double(grid.tw), th = double(grid.th);
  switch (grid.orientation) {
    case Orientation::kOrthogonal: {
      const Span ys = rows.spans[0], xs = columns.spans[0];
      if (xs.first > xs.last) return;
      const RenderOrder order = grid.renderOrder;
      const bool up = order == RenderOrder::kRightUp || order == RenderOrder::kLeftUp;
      const bool leftward = order == RenderOrder::kLeftDown || order == RenderOrder::kLeftUp;
      for (int64_t row = 0; row <= ys.last - ys.first; ++row) {
        const int64_t y = up ? ys.last - row : ys.first + row;
        const double ay = double(y + 1) * th + shift.y;
        for (int64_t column = 0; column <= xs.last - xs.first; ++column) {
          const int64_t x = leftward ? xs.last - column : xs.first + column;
          visit(x, y, MapPoint{double(x) * tw + shift.x, ay});
        }
      }
      return;
    }
    case Orientation::kIsometric: {  // by x + y, then by x
      const double halfW = tw / 2, halfH = th / 2;
      const double baseD = grid.originX - halfW + shift.x, baseS = th + shift.y;
      const int64_t x0 = cells.x, x1 = cells.x + cells.width - 1, y0 = cells.y, y1 = cells.y + cells.height - 1;
      const Span ss = rows.spans[0], ds = columns.spans[0];
      for (int64_t s = ss.first; s <= ss.last; ++s) {
        int64_t first = std::max(std::max(ds.first, 2 * x0 - s), s - 2 * y1);
        const int64_t last = std::min(std::min(ds.last, 2 * x1 - s), s - 2 * y0);
        first += (first - s) & 1;  // x − y and x + y have the same parity
        const double ay = double(s) * halfH + baseS;
        for (int64_t d = first; d <= last; d += 2) visit((s + d) / 2, (s - d) / 2, MapPoint{double(d) * halfW + baseD, ay});
      }
      return;
    }
    case Orientation::kStaggered:
    case Orientation::kHexagonal: {
      if (!grid.staggerX) {  // rows shifted: drawn row by row
        const Span ys = rows.spans[0];
        for (int64_t y = ys.first; y <= ys.last; ++y) {
          const bool shifted = grid.Shifted(y);
          const Span xs = columns.spans[shifted ? 1 : 0];
          const double ax = (shifted ? double(grid.half) : 0) + shift.x;
          const double ay = double(y) * double(grid.step) + double(grid.step + grid.side) + shift.y;
          for (int64_t x = xs.first; x <= xs.last; ++x) visit(x, y, MapPoint{double(x) * double(grid.cell) + ax, ay});
        }
        return;
      }
      // Columns shifted: each row in two passes, the unshifted columns first.
      const Span xs = columns.spans[0];
      if (xs.first > xs.last) return;
      for (int64_t y = std::min(rows.spans[0].first, rows.spans[1].first);
           y <= std::max(rows.spans[0].last, rows.spans[1].last); ++y)
        for (const int shifted : {0, 1}) {
          if (y < rows.spans[shifted].first || y > rows.spans[shifted].last) continue;
          const double ay = double(y) * double(grid.cell) + double(grid.cell + (shifted ? grid.half : 0)) + shift.y;
          const int64_t first = grid.Shifted(xs.first) == (shifted != 0) ? xs.first : xs.first + 1;
          for (int64_t x = first; x <= xs.last; x += 2) visit(x, y, MapPoint{double(x) * double(grid.step) + shift.x, ay});
        }
      return;
    }
    case Orientation::kOblique:
      ObliqueCells(grid, cells, {columns.left, rows.top, columns.right, rows.bottom}, reach, shift, scratch);
      for (const CellAt& cell : scratch) visit(cell.x, cell.y, cell.anchor);
      return;
  }
}

}  // namespace importer
