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

static CellRect RectOf(const CellGrid& cells) { return {cells.x, cells.y, cells.width, cells.height}; }

// A cell's part of its column's key: its step from the row's first
// diagonal and its gid. Each cell is hashed on its own and the hashes
// added: no cell waits for the one before.
static uint64_t CellKey(int64_t step, uint32_t gid) { return Scramble(uint64_t(step) << 32 | gid); }

void IsometricKeys::StartRun(size_t layerCount) {
  columnKeys_.assign(layerCount, {});
  sparseTiles_.assign(layerCount, {});
  keysAhead_.assign(layerCount, {});
  unweigh_.assign(layerCount, {});
}

void IsometricKeys::AddLayer(size_t index, const CellGrid& cells, bool sparse) {
  std::vector<uint64_t>& powers = unweigh_[index];
  powers.resize(static_cast<size_t>(cells.width) + cells.height - 1);  // a row's columns at most
  const uint64_t inverse = Inverse(kColumnWeight);
  for (size_t k = 0; k < powers.size(); ++k) powers[k] = k == 0 ? 1 : powers[k - 1] * inverse;
  if (sparse) SortByDiagonal(cells, sparseTiles_[index]);
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

// The sums along the row, each column weighed by kColumnWeight^k.
void IsometricKeys::SumColumns(ColumnKeys& keys) {
  uint64_t weight = 1;
  for (size_t k = 1; k < keys.sums.size(); ++k, weight *= kColumnWeight) {
    keys.sums[k] = keys.sums[k - 1] + keys.sums[k] * weight;
    keys.tiles[k] += keys.tiles[k - 1];
  }
}

void IsometricKeys::SortByDiagonal(const CellGrid& cells, TilesByDiagonal& out) {
  const int64_t w = cells.width, h = cells.height;
  out.first = int64_t{cells.x} + cells.y;
  out.start.assign(static_cast<size_t>(w + h), 0);
  for (int64_t y = 0; y < h; ++y)  // how many on each diagonal, counted at the next one's entry
    for (int64_t x = 0; x < w; ++x)
      if ((cells.gids[static_cast<size_t>(y * w + x)] & kGidBits) != 0) ++out.start[static_cast<size_t>(x + y + 1)];
  for (size_t k = 1; k < out.start.size(); ++k) out.start[k] += out.start[k - 1];
  out.tiles.resize(out.start.back());
  std::vector<size_t> next(out.start.begin(), out.start.end() - 1);
  for (int64_t y = 0; y < h; ++y)
    for (int64_t x = 0; x < w; ++x) {
      const uint32_t gid = cells.gids[static_cast<size_t>(y * w + x)];
      if ((gid & kGidBits) == 0) continue;
      out.tiles[next[static_cast<size_t>(x + y)]++] = {static_cast<int32_t>(x - y + cells.x - cells.y), gid};
    }
}

// The row's columns d = x − y, each keyed by its cells within the row's
// diagonals s = x + y.
void IsometricKeys::KeyRow(size_t index, const TileLayerView& layer, Span rowSpan, double top) {
  if (sparseTiles_[index].start.empty()) {
    KeyDenseColumns(index, layer, top);
    return;
  }
  StartColumns(layer.cells, rowSpan, columnKeys_[index]);
  KeySparseColumns(index, rowSpan, columnKeys_[index]);
  SumColumns(columnKeys_[index]);
}

void IsometricKeys::KeySparseColumns(size_t index, Span ss, ColumnKeys& keys) const {
  if (keys.first > keys.last) return;
  const TilesByDiagonal& sparse = sparseTiles_[index];
  const int64_t from = std::max(ss.first, sparse.first) - sparse.first;
  const int64_t to = std::min(ss.last - sparse.first + 1, static_cast<int64_t>(sparse.start.size()) - 1);
  for (int64_t k = from; k < to; ++k)
    for (size_t t = sparse.start[static_cast<size_t>(k)]; t < sparse.start[static_cast<size_t>(k + 1)]; ++t) {
      const size_t column = static_cast<size_t>(sparse.tiles[t].d - keys.first + 1);
      keys.sums[column] += CellKey(k + sparse.first - ss.first, sparse.tiles[t].gid);
      ++keys.tiles[column];
    }
}

void IsometricKeys::KeyDenseColumns(size_t index, const TileLayerView& layer, double top) {
  KeysAhead& ahead = keysAhead_[index];
  if (ahead.next < ahead.tops.size() && ahead.tops[ahead.next] == top) {
    std::swap(columnKeys_[index], ahead.rows[ahead.next++]);
    return;
  }
  constexpr size_t kRowsAhead = 8;
  const CellGrid& cells = layer.cells;
  const CellRect rect = RectOf(cells);
  ahead.rows.resize(kRowsAhead), ahead.tops.resize(kRowsAhead), ahead.next = 1;
  Span rows[kRowsAhead];
  Span all{INT64_MAX, INT64_MIN}, columns{INT64_MAX, INT64_MIN};  // of the rows together
  for (size_t j = 0; j < kRowsAhead; ++j) {
    ahead.tops[j] = top + double(j * kBlock);
    rows[j] = RowSpansOf(layer.grid, rect, ahead.tops[j], ahead.tops[j] + kBlock, layer.reach, layer.shift).spans[0];
    StartColumns(cells, rows[j], ahead.rows[j]);
    if (ahead.rows[j].first > ahead.rows[j].last) continue;
    all = {std::min(all.first, rows[j].first), std::max(all.last, rows[j].last)};
    columns = {std::min(columns.first, ahead.rows[j].first), std::max(columns.last, ahead.rows[j].last)};
  }
  if (columns.first > columns.last) {
    for (ColumnKeys& keys : ahead.rows) SumColumns(keys);
    std::swap(columnKeys_[index], ahead.rows[0]);
    return;
  }
  // The rows of blocks a diagonal belongs to: their spans follow each
  // other, so those of one diagonal are a few neighbours [from, to).
  std::vector<uint8_t>& from = ahead.rowsFrom;
  std::vector<uint8_t>& to = ahead.rowsTo;
  from.assign(static_cast<size_t>(all.last - all.first + 1), 0);
  to.assign(from.size(), 0);
  for (int64_t s = all.first; s <= all.last; ++s) {
    size_t j = 0;
    while (j < kRowsAhead && (rows[j].first > rows[j].last || s > rows[j].last)) ++j;
    size_t k = j;
    while (k < kRowsAhead && rows[k].first <= s && s <= rows[k].last) ++k;
    from[static_cast<size_t>(s - all.first)] = static_cast<uint8_t>(j);
    to[static_cast<size_t>(s - all.first)] = static_cast<uint8_t>(k);
  }
  // Row of cells by row of cells: the diagonals of the rows of blocks cut
  // each row of cells in one stretch, next to each other in memory, where
  // a walk down a column would meet a new row of cells (a page) at every
  // cell.
  const int64_t x0 = cells.x, x1 = cells.x + cells.width - 1, y0 = cells.y, y1 = cells.y + cells.height - 1;
  for (int64_t y = std::max(y0, all.first - x1); y <= std::min(y1, all.last - x0); ++y) {
    const int64_t first = std::max(x0, all.first - y), last = std::min(x1, all.last - y);
    const uint32_t* row = cells.gids.data() + (y - y0) * cells.width;
    for (int64_t x = first; x <= last; ++x) {
      const uint32_t gid = row[x - x0];
      if ((gid & kGidBits) == 0) continue;
      const int64_t s = x + y, d = x - y;
      for (size_t j = from[static_cast<size_t>(s - all.first)]; j < to[static_cast<size_t>(s - all.first)]; ++j) {
        ColumnKeys& keys = ahead.rows[j];
        const size_t column = static_cast<size_t>(d - keys.first + 1);
        keys.sums[column] += CellKey(s - rows[j].first, gid);
        ++keys.tiles[column];
      }
    }
  }
  for (ColumnKeys& keys : ahead.rows) SumColumns(keys);
  std::swap(columnKeys_[index], ahead.rows[0]);
}

// The cells near the block are those of its columns (x − y) within the
// row's diagonals (x + y). Where its first column and the row's first
// diagonal lie in the block places every cell by its steps from them: the
// same columns always give the same pixels.
void IsometricKeys::KeyBlock(size_t index, const TileLayerView& layer, Span ss, Span ds, const Bounds& block,
                             BlockItems& out) const {
  const ColumnKeys& keys = columnKeys_[index];
  const int64_t from = std::max(ds.first, keys.first), to = std::min(ds.last, keys.last);
  if (from > to) return;
  const size_t begin = static_cast<size_t>(from - keys.first), end = static_cast<size_t>(to - keys.first + 1);
  const uint32_t tiles = keys.tiles[end] - keys.tiles[begin];
  if (tiles == 0) return;
  out.count += tiles;
  const Grid& grid = layer.grid;
  const double halfW = double(grid.tw) / 2, halfH = double(grid.th) / 2;
  out.AddToKey(uint64_t{index} << 32 | uint64_t{1} << 61);
  out.AddToKey(double(from) * halfW + (grid.originX - halfW + layer.shift.x) - block.left);
  out.AddToKey(double(ss.first) * halfH + (double(grid.th) + layer.shift.y) - block.top);
  out.AddToKey((keys.sums[end] - keys.sums[begin]) * unweigh_[index][begin]);
}

}  // namespace importer
