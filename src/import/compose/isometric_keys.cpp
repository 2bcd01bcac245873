#include "import/compose/isometric_keys.h"

#include <algorithm>
#include <climits>

#include "import/compose/hash.h"

namespace importer {

// Odd: every power of it has an inverse among 64-bit numbers.
constexpr uint64_t kColumnWeight = 0x9E3779B97F4A7C15ull;

static uint64_t Inverse(uint64_t odd) {
  uint64_t inverse = odd;  // right in the lowest 3 bits; each step doubles them
  for (int i = 0; i < 5; ++i) inverse *= 2 - odd * inverse;
  return inverse;
}

// Asks for the memory at `p` to be read into the caches ahead of its use.
static void Prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

static CellRect RectOf(const CellGrid& cells) { return {cells.x, cells.y, cells.width, cells.height}; }

// A cell's part of its column's key: its step from the row's first
// diagonal and its gid. Each cell is hashed on its own and the hashes
// added: no cell waits for the one before.
static uint64_t CellKey(int64_t step, uint32_t gid) { return Scramble(uint64_t(step) << 32 | gid); }

void IsometricKeys::StartRun(size_t layerCount) {
  layers_.assign(layerCount, {});
  weigh_.clear(), unweigh_.clear();
}

void IsometricKeys::AddLayer(size_t index, const TileLayerView& view, const std::vector<CellTile>* sparseTiles) {
  LayerKeys& layer = layers_[index];
  const double halfW = double(view.grid.tw) / 2;
  layer.halfW = halfW;
  layer.columnBase = view.grid.originX - halfW + view.shift.x;
  const size_t columns = static_cast<size_t>(view.cells.width) + view.cells.height - 1;  // a row's at most
  const uint64_t inverse = Inverse(kColumnWeight);
  for (size_t k = weigh_.size(); k < columns; ++k) {
    weigh_.push_back(k == 0 ? 1 : weigh_[k - 1] * kColumnWeight);
    unweigh_.push_back(k == 0 ? 1 : unweigh_[k - 1] * inverse);
  }
  if (sparseTiles != nullptr) SortByDiagonal(view.cells, *sparseTiles, layer.sparse);
}

// Which columns d = x − y hold cells within the diagonals `ss` (x + y),
// each column's own key and tiles set to none, at k + 1 (the sums come later).
void IsometricKeys::StartColumns(const CellGrid& cells, Span ss, ColumnKeys& keys) {
  const int64_t x0 = cells.x, x1 = cells.x + cells.width - 1, y0 = cells.y, y1 = cells.y + cells.height - 1;
  // Only the layer's own columns: a row's diagonals can reach past them, and
  // a row's keys are unweighed with one power per column of the layer.
  keys.first = std::max({2 * x0 - ss.last, ss.first - 2 * y1, x0 - y1});
  keys.last = std::min({2 * x1 - ss.first, ss.last - 2 * y0, x1 - y0});
  if (ss.first > ss.last || keys.first > keys.last) keys.last = keys.first - 1;
  const size_t count = static_cast<size_t>(keys.last - keys.first + 1);
  keys.sums.assign(count + 1, 0), keys.tiles.assign(count + 1, 0);
}

// The sums along the row, each column weighed by kColumnWeight^k. The
// weights come from a table and the running sums stay in registers, so that
// a step waits only for the addition before it.
void IsometricKeys::SumColumns(ColumnKeys& keys) const {
  uint64_t sum = 0;
  uint32_t tiles = 0;
  for (size_t k = 1; k < keys.sums.size(); ++k) {
    sum += keys.sums[k] * weigh_[k - 1];
    tiles += keys.tiles[k];
    keys.sums[k] = sum, keys.tiles[k] = tiles;
  }
}

// A counting sort: how many tiles lie on each diagonal, then each in its place.
void IsometricKeys::SortByDiagonal(const CellGrid& cells, const std::vector<CellTile>& tiles, TilesByDiagonal& out) {
  out.first = int64_t{cells.x} + cells.y;
  out.start.assign(static_cast<size_t>(cells.width) + cells.height, 0);
  for (const CellTile& tile : tiles)  // counted at the next diagonal's entry
    ++out.start[static_cast<size_t>(tile.column) + tile.row + 1];
  for (size_t k = 1; k < out.start.size(); ++k) out.start[k] += out.start[k - 1];
  out.tiles.resize(tiles.size());
  std::vector<size_t> next(out.start.begin(), out.start.end() - 1);
  for (const CellTile& tile : tiles)
    out.tiles[next[static_cast<size_t>(tile.column) + tile.row]++] = {
        static_cast<int32_t>(int64_t{tile.column} - tile.row + cells.x - cells.y), tile.gid};
}

// The row's columns d = x − y, each keyed by its cells within the row's
// diagonals s = x + y.
void IsometricKeys::KeyRow(size_t index, const TileLayerView& view, Span rowSpan, double top) {
  LayerKeys& layer = layers_[index];
  if (layer.sparse.start.empty()) {
    KeyDenseColumns(layer, view, top);
  } else {
    StartColumns(view.cells, rowSpan, layer.row);
    KeySparseColumns(layer.sparse, rowSpan, layer.row);
    SumColumns(layer.row);
  }
  const double halfH = double(view.grid.th) / 2;
  const double firstDiagonal = double(rowSpan.first) * halfH + (double(view.grid.th) + view.shift.y) - top;
  layer.rowKey = Mix(uint64_t{index} << 32 | uint64_t{1} << 61, BlockItems::Bits(firstDiagonal));
  layer.placed.valid = false;
}

void IsometricKeys::KeySparseColumns(const TilesByDiagonal& sparse, Span ss, ColumnKeys& keys) const {
  if (keys.first > keys.last) return;
  const int64_t from = std::max(ss.first, sparse.first) - sparse.first;
  const int64_t to = std::min(ss.last - sparse.first + 1, static_cast<int64_t>(sparse.start.size()) - 1);
  for (int64_t k = from; k < to; ++k)
    for (size_t t = sparse.start[static_cast<size_t>(k)]; t < sparse.start[static_cast<size_t>(k + 1)]; ++t) {
      const size_t column = static_cast<size_t>(sparse.tiles[t].d - keys.first + 1);
      keys.sums[column] += CellKey(k + sparse.first - ss.first, sparse.tiles[t].gid);
      ++keys.tiles[column];
    }
}

void IsometricKeys::KeyDenseColumns(LayerKeys& layer, const TileLayerView& view, double top) const {
  KeysAhead& ahead = layer.ahead;
  if (ahead.next < ahead.tops.size() && ahead.tops[ahead.next] == top) {
    std::swap(layer.row, ahead.rows[ahead.next++]);
    return;
  }
  constexpr size_t kRowsAhead = 16;
  const CellGrid& cells = view.cells;
  const CellRect rect = RectOf(cells);
  ahead.rows.resize(kRowsAhead), ahead.tops.resize(kRowsAhead), ahead.next = 1;
  Span rows[kRowsAhead];
  Span all{INT64_MAX, INT64_MIN};  // the diagonals of the rows together
  for (size_t j = 0; j < kRowsAhead; ++j) {
    ahead.tops[j] = top + double(j * kBlock);
    rows[j] = RowSpansOf(view.grid, rect, ahead.tops[j], ahead.tops[j] + kBlock, view.reach, view.shift).spans[0];
    StartColumns(cells, rows[j], ahead.rows[j]);
    if (ahead.rows[j].first > ahead.rows[j].last) rows[j] = Span{};  // no cells: none of its diagonals
    if (rows[j].first <= rows[j].last) all = {std::min(all.first, rows[j].first), std::max(all.last, rows[j].last)};
  }
  // Row of cells by row of cells: the diagonals of a row of blocks cut a
  // row of cells in one stretch, next to each other in memory. (Walking
  // down a column, from row of cells to row of cells, meets a new page of
  // memory at every cell.)
  const int64_t x0 = cells.x, x1 = cells.x + cells.width - 1, y0 = cells.y, y1 = cells.y + cells.height - 1;
  const int64_t yFirst = all.first <= all.last ? std::max(y0, all.first - x1) : y1 + 1;
  const int64_t yLast = all.first <= all.last ? std::min(y1, all.last - x0) : y0;
  for (int64_t y = yFirst; y <= yLast; ++y) {
    const uint32_t* row = cells.gids.data() + (y - y0) * cells.width;
    // Rows of cells lie a page or more apart, too far for the processor to
    // guess the next: the stretch of a row further down is asked for early.
    constexpr int64_t kFetchAhead = 16;
    if (y + kFetchAhead <= yLast) {
      const uint32_t* later = row + kFetchAhead * cells.width;
      const int64_t first = std::max(x0, all.first - y - kFetchAhead), last = std::min(x1, all.last - y - kFetchAhead);
      for (int64_t x = first; x <= last; x += 64 / sizeof(uint32_t)) Prefetch(later + (x - x0));
      if (first <= last) Prefetch(later + (last - x0));
    }
    // A layer of scattered tiles holds many rows with nothing across the
    // rows of blocks: passed over at once.
    const int64_t first = std::max(x0, all.first - y), last = std::min(x1, all.last - y);
    uint32_t any = 0;
    for (int64_t x = first; x <= last; ++x) any |= row[x - x0] & kGidBits;
    if (any == 0) continue;
    for (size_t j = 0; j < kRowsAhead; ++j) {
      if (rows[j].first > rows[j].last) continue;
      const int64_t first = std::max(x0, rows[j].first - y), last = std::min(x1, rows[j].last - y);
      ColumnKeys& keys = ahead.rows[j];
      // Cell x lies on diagonal x + y, in column x − y.
      const int64_t step = y - rows[j].first, column = 1 - y - keys.first;
      for (int64_t x = first; x <= last; ++x) {
        const uint32_t gid = row[x - x0];
        if ((gid & kGidBits) == 0) continue;
        keys.sums[static_cast<size_t>(x + column)] += CellKey(x + step, gid);
        ++keys.tiles[static_cast<size_t>(x + column)];
      }
    }
  }
  for (ColumnKeys& keys : ahead.rows) SumColumns(keys);
  std::swap(layer.row, ahead.rows[0]);
}

}  // namespace importer
