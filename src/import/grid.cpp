#include "import/grid.h"

#include <algorithm>
#include <cmath>

#include "import/import_error.h"
#include "import/read_map.h"

namespace importer {

Grid GridOf(const Map& map) {
  Grid grid;
  grid.orientation = map.orientation;
  grid.renderOrder = map.renderOrder;
  grid.tw = map.tileWidth, grid.th = map.tileHeight;
  grid.originX = double(int64_t{map.height} * map.tileWidth / 2);
  grid.staggerX = map.staggerX, grid.staggerEven = map.staggerEven;
  grid.skewX = map.skewX, grid.skewY = map.skewY;
  if (map.orientation != Orientation::kStaggered && map.orientation != Orientation::kHexagonal) return grid;
  const int64_t s = map.orientation == Orientation::kHexagonal ? map.hexSideLength : 0;
  if (grid.staggerX) {
    grid.side = (grid.tw - s) / 2;       // sideX
    grid.step = grid.side + s;           // colW
    grid.half = grid.th / 2;             // halfH
    grid.cell = 2 * grid.half;           // cellH
  } else {
    grid.half = grid.tw / 2;             // halfW
    grid.cell = 2 * grid.half;           // cellW
    grid.side = (grid.th - s) / 2;       // sideY
    grid.step = grid.side + s;           // rowH
  }
  if (grid.step <= 0 || grid.cell <= 0 || grid.step + grid.side <= 0)
    throw ImportError(Where(map.file) + "tiles of " + std::to_string(grid.tw) + " x " + std::to_string(grid.th) +
                      " with a side of " + std::to_string(s) + " make no staggered grid: its cells don't advance");
  return grid;
}

MapPoint Anchor(const Grid& grid, int64_t x, int64_t y) {
  const double tw = double(grid.tw), th = double(grid.th);
  switch (grid.orientation) {
    case Orientation::kIsometric:
      return {double(x - y) * (tw / 2) + grid.originX - tw / 2, double(x + y) * (th / 2) + th};
    case Orientation::kStaggered:
    case Orientation::kHexagonal:
      if (grid.staggerX)
        return {double(x * grid.step), double(y * grid.cell + (grid.Shifted(x) ? grid.half : 0) + grid.cell)};
      return {double(x * grid.cell + (grid.Shifted(y) ? grid.half : 0)),
              double(y * grid.step + grid.step + grid.side)};
    case Orientation::kOblique:
      return {double(x * grid.tw) + grid.skewX * double(y + 1), double((y + 1) * grid.th) + grid.skewY * double(x)};
    case Orientation::kOrthogonal: break;
  }
  return {double(x * grid.tw), double((y + 1) * grid.th)};
}

MapPoint ProjectObject(const Grid& grid, double x, double y) {
  const double tw = double(grid.tw), th = double(grid.th);
  if (grid.orientation == Orientation::kIsometric) {
    // Both axes count th pixels a cell.
    const double tx = x / th, ty = y / th;
    return {(tx - ty) * tw / 2 + grid.originX, (tx + ty) * th / 2};
  }
  if (grid.orientation == Orientation::kOblique) return {x + grid.skewX * y / th, y + grid.skewY * x / tw};
  return {x, y};
}

PixelRect GridArea(const Grid& grid, int64_t x0, int64_t y0, int64_t w, int64_t h) {
  const int64_t tw = grid.tw, th = grid.th;
  switch (grid.orientation) {
    case Orientation::kIsometric: {
      const double left = double((x0 - y0 - h) * tw / 2) + grid.originX, top = double((x0 + y0) * th / 2);
      return {left, top, left + double((w + h) * tw / 2), top + double((w + h) * th / 2)};
    }
    case Orientation::kStaggered:
    case Orientation::kHexagonal: {
      if (grid.staggerX) {
        const int64_t left = x0 * grid.step;
        const int64_t top = y0 * grid.cell + (w == 1 && grid.Shifted(x0) ? grid.half : 0);
        return {double(left), double(top), double(left + w * grid.step + grid.side),
                double(top + h * grid.cell + (w > 1 ? grid.half : 0))};
      }
      const int64_t left = x0 * grid.cell + (h == 1 && grid.Shifted(y0) ? grid.half : 0);
      const int64_t top = y0 * grid.step;
      return {double(left), double(top), double(left + w * grid.cell + (h > 1 ? grid.half : 0)),
              double(top + h * grid.step + grid.side)};
    }
    case Orientation::kOblique: {  // the sheared corners, rounded outward
      PixelRect area{INFINITY, INFINITY, -INFINITY, -INFINITY};
      for (const int64_t x : {x0 * tw, (x0 + w) * tw})
        for (const int64_t y : {y0 * th, (y0 + h) * th}) {
          const MapPoint p = ProjectObject(grid, double(x), double(y));
          area = {std::min(area.left, p.x), std::min(area.top, p.y), std::max(area.right, p.x),
                  std::max(area.bottom, p.y)};
        }
      return {std::floor(area.left), std::floor(area.top), std::ceil(area.right), std::ceil(area.bottom)};
    }
    case Orientation::kOrthogonal: break;
  }
  return {double(x0 * tw), double(y0 * th), double((x0 + w) * tw), double((y0 + h) * th)};
}

namespace {

// Far beyond any map's cells; keeps the conversions defined.
constexpr double kFarCells = 1e15;

int64_t ToCell(double v) { return static_cast<int64_t>(std::clamp(v, -kFarCells, kFarCells)); }

// The k whose anchors `base + k·step` (step > 0) put the drawing box
// [anchor + low, anchor + high] across the window [from, to].
struct Span {
  int64_t first, last;
};
Span SpanOf(double base, double step, double from, double to, double low, double high) {
  auto edge = [&](int64_t k, double e) { return (base + double(k) * step) + e; };
  int64_t first = ToCell(std::floor((from - base - high) / step)) - 1;
  while (edge(first, high) <= from) ++first;
  int64_t last = ToCell(std::ceil((to - base - low) / step)) + 1;
  while (edge(last, low) >= to) --last;
  return {first, last};
}

Span Clip(Span span, int64_t first, int64_t last) { return {std::max(span.first, first), std::min(span.last, last)}; }

void Orthogonal(const Grid& grid, const CellRect& cells, const PixelRect& window, const PixelRect& reach,
                MapPoint shift, std::vector<CellAt>& out) {
  const Span xs = Clip(SpanOf(shift.x, double(grid.tw), window.left, window.right, reach.left, reach.right),
                       cells.x, cells.x + cells.width - 1);
  const Span ys = Clip(SpanOf(shift.y + double(grid.th), double(grid.th), window.top, window.bottom, reach.top,
                              reach.bottom),
                       cells.y, cells.y + cells.height - 1);
  if (xs.first > xs.last || ys.first > ys.last) return;
  const RenderOrder order = grid.renderOrder;
  const bool up = order == RenderOrder::kRightUp || order == RenderOrder::kLeftUp;
  const bool leftward = order == RenderOrder::kLeftDown || order == RenderOrder::kLeftUp;
  for (int64_t row = 0; row <= ys.last - ys.first; ++row) {
    const int64_t y = up ? ys.last - row : ys.first + row;
    for (int64_t column = 0; column <= xs.last - xs.first; ++column) {
      const int64_t x = leftward ? xs.last - column : xs.first + column;
      out.push_back({x, y, {double(x * grid.tw) + shift.x, double((y + 1) * grid.th) + shift.y}});
    }
  }
}

// Anchors along x + y (the screen's rows) and x − y (its columns): drawn by
// x + y, then by x.
void Isometric(const Grid& grid, const CellRect& cells, const PixelRect& window, const PixelRect& reach,
               MapPoint shift, std::vector<CellAt>& out) {
  const double halfW = double(grid.tw) / 2, halfH = double(grid.th) / 2;
  const int64_t x0 = cells.x, x1 = cells.x + cells.width - 1, y0 = cells.y, y1 = cells.y + cells.height - 1;
  const double baseD = grid.originX - halfW + shift.x, baseS = double(grid.th) + shift.y;
  const Span ss = Clip(SpanOf(baseS, halfH, window.top, window.bottom, reach.top, reach.bottom), x0 + y0, x1 + y1);
  const Span ds = SpanOf(baseD, halfW, window.left, window.right, reach.left, reach.right);
  for (int64_t s = ss.first; s <= ss.last; ++s) {
    int64_t first = std::max({ds.first, 2 * x0 - s, s - 2 * y1});
    const int64_t last = std::min({ds.last, 2 * x1 - s, s - 2 * y0});
    if (((first - s) & 1) != 0) ++first;  // x − y and x + y have the same parity
    for (int64_t d = first; d <= last; d += 2)
      out.push_back({(s + d) / 2, (s - d) / 2, {double(d) * halfW + baseD, double(s) * halfH + baseS}});
  }
}

// Rows shifted by half a cell: drawn row by row.
void StaggeredRows(const Grid& grid, const CellRect& cells, const PixelRect& window, const PixelRect& reach,
                   MapPoint shift, std::vector<CellAt>& out) {
  const double rowBase = double(grid.step + grid.side) + shift.y;
  const Span ys = Clip(SpanOf(rowBase, double(grid.step), window.top, window.bottom, reach.top, reach.bottom),
                       cells.y, cells.y + cells.height - 1);
  for (int64_t y = ys.first; y <= ys.last; ++y) {
    const double base = (grid.Shifted(y) ? double(grid.half) : 0) + shift.x;
    const Span xs = Clip(SpanOf(base, double(grid.cell), window.left, window.right, reach.left, reach.right),
                         cells.x, cells.x + cells.width - 1);
    for (int64_t x = xs.first; x <= xs.last; ++x)
      out.push_back({x, y, {double(x) * double(grid.cell) + base, double(y) * double(grid.step) + rowBase}});
  }
}

// Columns shifted by half a cell: each row is drawn in two passes, the
// columns that aren't shifted first.
void StaggeredColumns(const Grid& grid, const CellRect& cells, const PixelRect& window, const PixelRect& reach,
                      MapPoint shift, std::vector<CellAt>& out) {
  const Span xs = Clip(SpanOf(shift.x, double(grid.step), window.left, window.right, reach.left, reach.right),
                       cells.x, cells.x + cells.width - 1);
  if (xs.first > xs.last) return;
  double bases[2];
  Span ys[2];
  for (const int shifted : {0, 1}) {
    bases[shifted] = double(grid.cell + (shifted ? grid.half : 0)) + shift.y;
    ys[shifted] = Clip(SpanOf(bases[shifted], double(grid.cell), window.top, window.bottom, reach.top, reach.bottom),
                       cells.y, cells.y + cells.height - 1);
  }
  for (int64_t y = std::min(ys[0].first, ys[1].first); y <= std::max(ys[0].last, ys[1].last); ++y)
    for (const int shifted : {0, 1}) {
      if (y < ys[shifted].first || y > ys[shifted].last) continue;
      const int64_t first = grid.Shifted(xs.first) == (shifted != 0) ? xs.first : xs.first + 1;
      for (int64_t x = first; x <= xs.last; x += 2)
        out.push_back({x, y, {double(x) * double(grid.step) + shift.x,
                              double(y) * double(grid.cell) + bases[shifted]}});
    }
}

// A sheared grid: the rows that may reach the window come from where the
// two strips of anchors cross; each cell is then checked on both axes.
void Oblique(const Grid& grid, const CellRect& cells, const PixelRect& window, const PixelRect& reach,
             MapPoint shift, std::vector<CellAt>& out) {
  const double tw = double(grid.tw), th = double(grid.th);
  // Anchors: ax = x·tw + skewX·Y, ay = Y·th + skewY·x with Y = y + 1.
  const double a[2] = {window.left - reach.right - shift.x - 1, window.right - reach.left - shift.x + 1};
  const double b[2] = {window.top - reach.bottom - shift.y - 1, window.bottom - reach.top - shift.y + 1};
  const double det = tw * th - grid.skewX * grid.skewY;
  int64_t y0 = cells.y, y1 = cells.y + cells.height - 1;
  if (det > 0) {
    double low = INFINITY, high = -INFINITY;
    for (const double ax : a)
      for (const double ay : b) {
        const double rowEdge = (tw * ay - grid.skewY * ax) / det;
        low = std::min(low, rowEdge), high = std::max(high, rowEdge);
      }
    y0 = std::max(y0, ToCell(std::floor(low)) - 2), y1 = std::min(y1, ToCell(std::ceil(high)) + 1);
  }
  const RenderOrder order = grid.renderOrder;
  const bool up = order == RenderOrder::kRightUp || order == RenderOrder::kLeftUp;
  const bool leftward = order == RenderOrder::kLeftDown || order == RenderOrder::kLeftUp;
  for (int64_t row = 0; row <= y1 - y0; ++row) {
    const int64_t y = up ? y1 - row : y0 + row;
    const double base = grid.skewX * double(y + 1) + shift.x;
    const Span xs = Clip(SpanOf(base, tw, window.left, window.right, reach.left, reach.right), cells.x,
                         cells.x + cells.width - 1);
    for (int64_t column = 0; column <= xs.last - xs.first; ++column) {
      const int64_t x = leftward ? xs.last - column : xs.first + column;
      const MapPoint anchor = Anchor(grid, x, y);
      const double ay = anchor.y + shift.y;
      if (ay + reach.bottom <= window.top || ay + reach.top >= window.bottom) continue;
      out.push_back({x, y, {anchor.x + shift.x, ay}});
    }
  }
}

}  // namespace

void CellsInWindow(const Grid& grid, const CellRect& cells, const PixelRect& window, const PixelRect& reach,
                   MapPoint shift, std::vector<CellAt>& out) {
  out.clear();
  if (cells.width <= 0 || cells.height <= 0) return;
  switch (grid.orientation) {
    case Orientation::kOrthogonal: Orthogonal(grid, cells, window, reach, shift, out); break;
    case Orientation::kIsometric: Isometric(grid, cells, window, reach, shift, out); break;
    case Orientation::kStaggered:
    case Orientation::kHexagonal:
      if (grid.staggerX)
        StaggeredColumns(grid, cells, window, reach, shift, out);
      else
        StaggeredRows(grid, cells, window, reach, shift, out);
      break;
    case Orientation::kOblique: Oblique(grid, cells, window, reach, shift, out); break;
  }
}

}  // namespace importer
