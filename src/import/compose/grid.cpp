#include "import/compose/grid.h"

#include <algorithm>
#include <cmath>

#include "import/import_error.h"

namespace importer {

Grid GridOf(const Map& map) {
  Grid grid;
  grid.orientation = map.orientation;
  grid.renderOrder = map.renderOrder;
  grid.tw = map.tileWidth, grid.th = map.tileHeight;
  grid.originX = double(int64_t{map.height} * map.tileWidth / 2);
  grid.staggerX = map.staggerX, grid.staggerEven = map.staggerEven;
  // A file may hold any shear. One past 2^26 blocks of 32 pixels makes a
  // picture too large for the viewer whatever it is, so it is held there,
  // where doubles still count whole pixels, and the picture is refused.
  auto sane = [](double skew) { return std::isfinite(skew) ? std::clamp(skew, -1e10, 1e10) : 0.0; };
  grid.skewX = sane(map.skewX), grid.skewY = sane(map.skewY);
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

int64_t ToCell(double v) { return std::isnan(v) ? 0 : static_cast<int64_t>(std::clamp(v, -kFarCells, kFarCells)); }

// The k whose anchors `base + k·step` (step > 0) put the drawing box
// [anchor + low, anchor + high] across the window (from, to).
Span SpanOf(double base, double step, double from, double to, double low, double high) {
  auto edge = [&](int64_t k, double e) { return (base + double(k) * step) + e; };
  int64_t first = ToCell(std::floor((from - base - high) / step));
  while (edge(first, high) <= from) ++first;
  while (edge(first - 1, high) > from) --first;
  int64_t last = ToCell(std::ceil((to - base - low) / step));
  while (edge(last, low) >= to) --last;
  while (edge(last + 1, low) < to) ++last;
  return {first, last};
}

Span Clip(Span span, int64_t first, int64_t last) { return {std::max(span.first, first), std::min(span.last, last)}; }

}  // namespace

RowSpans RowSpansOf(const Grid& grid, const CellRect& cells, double top, double bottom, const PixelRect& reach,
                    MapPoint shift) {
  RowSpans rows;
  rows.top = top, rows.bottom = bottom;
  const int64_t y0 = cells.y, y1 = cells.y + cells.height - 1;
  const double th = double(grid.th);
  switch (grid.orientation) {
    case Orientation::kOrthogonal:
      rows.spans[0] = Clip(SpanOf(th + shift.y, th, top, bottom, reach.top, reach.bottom), y0, y1);
      break;
    case Orientation::kIsometric:
      rows.spans[0] = Clip(SpanOf(th + shift.y, th / 2, top, bottom, reach.top, reach.bottom), cells.x + y0,
                           cells.x + cells.width - 1 + y1);
      break;
    case Orientation::kStaggered:
    case Orientation::kHexagonal:
      if (!grid.staggerX) {
        rows.spans[0] = Clip(SpanOf(double(grid.step + grid.side) + shift.y, double(grid.step), top, bottom,
                                    reach.top, reach.bottom),
                             y0, y1);
        break;
      }
      for (const int shifted : {0, 1})
        rows.spans[shifted] = Clip(SpanOf(double(grid.cell + (shifted ? grid.half : 0)) + shift.y,
                                          double(grid.cell), top, bottom, reach.top, reach.bottom),
                                   y0, y1);
      break;
    case Orientation::kOblique: break;  // found cell by cell
  }
  return rows;
}

ColumnSpans ColumnSpansOf(const Grid& grid, const CellRect& cells, double left, double right,
                          const PixelRect& reach, MapPoint shift) {
  ColumnSpans columns;
  columns.left = left, columns.right = right;
  const int64_t x0 = cells.x, x1 = cells.x + cells.width - 1;
  const double tw = double(grid.tw);
  switch (grid.orientation) {
    case Orientation::kOrthogonal:
      columns.spans[0] = Clip(SpanOf(shift.x, tw, left, right, reach.left, reach.right), x0, x1);
      break;
    case Orientation::kIsometric:  // x − y: clipped to the grid row by row
      columns.spans[0] = SpanOf(grid.originX - tw / 2 + shift.x, tw / 2, left, right, reach.left, reach.right);
      break;
    case Orientation::kStaggered:
    case Orientation::kHexagonal:
      if (grid.staggerX) {
        columns.spans[0] = Clip(SpanOf(shift.x, double(grid.step), left, right, reach.left, reach.right), x0, x1);
        break;
      }
      for (const int shifted : {0, 1})
        columns.spans[shifted] = Clip(SpanOf((shifted ? double(grid.half) : 0) + shift.x, double(grid.cell), left,
                                             right, reach.left, reach.right),
                                      x0, x1);
      break;
    case Orientation::kOblique: break;
  }
  return columns;
}

std::pair<int64_t, int64_t> ColumnsWithCells(const Grid& grid, const CellRect& cells, const RowSpans& rows,
                                             const std::vector<ColumnSpans>& columns) {
  const int64_t count = static_cast<int64_t>(columns.size());
  if (grid.orientation == Orientation::kOblique) return {0, count};
  const bool anyRow = rows.spans[0].first <= rows.spans[0].last || rows.spans[1].first <= rows.spans[1].last;
  if (!anyRow) return {0, 0};
  // What the row's cells span along the columns' axis.
  Span along{cells.x, cells.x + cells.width - 1};
  if (grid.orientation == Orientation::kIsometric) {  // x − y over the diagonals x + y = s of the row
    const int64_t x0 = cells.x, x1 = cells.x + cells.width - 1, y0 = cells.y, y1 = cells.y + cells.height - 1;
    along = {INT64_MAX, INT64_MIN};
    for (int64_t s = rows.spans[0].first; s <= rows.spans[0].last; ++s)
      along = {std::min(along.first, std::max(2 * x0 - s, s - 2 * y1)),
               std::max(along.last, std::min(2 * x1 - s, s - 2 * y0))};
  }
  // Columns further right reach cells further right: both ends of their
  // spans only grow from column to column.
  const bool twoSpans = !grid.staggerX && (grid.orientation == Orientation::kStaggered ||
                                           grid.orientation == Orientation::kHexagonal);
  auto lastOf = [&](const ColumnSpans& c) { return twoSpans ? std::max(c.spans[0].last, c.spans[1].last) : c.spans[0].last; };
  auto firstOf = [&](const ColumnSpans& c) {
    return twoSpans ? std::min(c.spans[0].first, c.spans[1].first) : c.spans[0].first;
  };
  const auto begin = std::partition_point(columns.begin(), columns.end(),
                                          [&](const ColumnSpans& c) { return lastOf(c) < along.first; });
  const auto end = std::partition_point(begin, columns.end(),
                                        [&](const ColumnSpans& c) { return firstOf(c) <= along.last; });
  return {begin - columns.begin(), end - columns.begin()};
}

// A sheared grid: the rows that may reach the window come from where the
// two strips of anchors cross; each cell is then checked on both axes.
void ObliqueCells(const Grid& grid, const CellRect& cells, const PixelRect& window, const PixelRect& reach,
                  MapPoint shift, std::vector<CellAt>& out) {
  out.clear();
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

}  // namespace importer
