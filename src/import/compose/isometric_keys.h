#pragma once
// The keys of an isometric layer's part of each block, found from columns
// of cells. A block of an isometric layer meets ten-odd cells; instead of
// walking them for every block, each column of cells (x − y) of a row of
// blocks is keyed once and the keys summed along the row, each weighed by a
// power of a constant, so that a block joins its columns in a few steps: the
// difference of two sums, turned to weigh its own first column by 1.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "import/compose/block_items.h"
#include "import/compose/grid.h"
#include "import/model.h"

namespace importer {

// A tile layer as the blocks see it: its grid, its cells, how far its tiles
// reach from their anchors and what moves its anchors into the picture.
struct TileLayerView {
  const Grid& grid;
  const CellGrid& cells;
  const PixelRect& reach;
  MapPoint shift;
};

class IsometricKeys {
 public:
  // Before a run of `layerCount` layers is gathered.
  void StartRun(size_t layerCount);
  // A tile layer of the run that holds cells; a sparse one comes with its
  // tiles, sorted here by diagonal, so that a row of blocks keys only those
  // it holds.
  void AddLayer(size_t index, const TileLayerView& layer, const std::vector<CellTile>* sparseTiles);
  // Before a row of blocks whose top is `top`: the layer's columns within
  // the row's diagonals `rowSpan` (x + y), each keyed.
  void KeyRow(size_t index, const TileLayerView& layer, Span rowSpan, double top);
  // The layer's part of the key of the block of the row whose columns are
  // `columnSpan` and whose left edge is `left`.
  void KeyBlock(size_t index, Span columnSpan, double left, BlockItems& out) {
    LayerKeys& layer = layers_[index];
    const ColumnKeys& keys = layer.row;
    const int64_t from = std::max(columnSpan.first, keys.first), to = std::min(columnSpan.last, keys.last);
    if (from > to) return;
    const size_t begin = static_cast<size_t>(from - keys.first), end = static_cast<size_t>(to - keys.first + 1);
    const uint32_t tiles = keys.tiles[end] - keys.tiles[begin];
    if (tiles == 0) return;
    out.count += tiles;
    // Where the block's first column and the row's first diagonal lie in
    // the block place every cell by its steps from them: the same columns
    // always give the same pixels. Most blocks of a row come here with the
    // same key so far and the same place: the key after these two is kept.
    const uint64_t place = BlockItems::Bits(double(from) * layer.halfW + layer.columnBase - left);
    PlacedKey& placed = layer.placed;
    if (placed.valid && placed.before[0] == out.key[0] && placed.before[1] == out.key[1] && placed.place == place) {
      out.key[0] = placed.after[0], out.key[1] = placed.after[1];
    } else {
      placed = {true, {out.key[0], out.key[1]}, place, {0, 0}};
      out.AddToKey(layer.rowKey);
      out.AddToKey(place);
      placed.after[0] = out.key[0], placed.after[1] = out.key[1];
    }
    out.AddToKey((keys.sums[end] - keys.sums[begin]) * unweigh_[begin]);
  }

 private:
  struct ColumnKeys {
    int64_t first = 0, last = -1;  // the row's columns that hold cells
    std::vector<uint64_t> sums;    // sums[k]: of columns first .. first + k − 1
    std::vector<uint32_t> tiles;   // tiles[k]: their cells that hold a tile
  };
  // A dense layer's columns are keyed for a few rows of blocks at once:
  // each row of blocks meets a cell in every row of cells, so one pass over
  // them serves those rows.
  struct KeysAhead {
    std::vector<ColumnKeys> rows;
    std::vector<double> tops;  // of those rows of blocks
    size_t next = 0;
  };
  // A sparse layer's tiles by diagonal (x + y).
  struct TilesByDiagonal {
    struct Tile {
      int32_t d;  // x − y
      uint32_t gid;
    };
    int64_t first = 0;          // the x + y of diagonal 0
    std::vector<size_t> start;  // tiles[start[k] .. start[k + 1]) lie on diagonal first + k
    std::vector<Tile> tiles;
  };
  // The key of a block before and after the row's key and the place of
  // its first column were added, for the last block that added them.
  struct PlacedKey {
    bool valid = false;
    uint64_t before[2];
    uint64_t place;
    uint64_t after[2];
  };
  struct LayerKeys {
    ColumnKeys row;  // of the row of blocks being gathered
    PlacedKey placed;
    // The layer, and where the row's first diagonal lies in the row of
    // blocks, hashed once for the row.
    uint64_t rowKey = 0;
    double halfW = 0, columnBase = 0;  // column d's left corner lies at d · halfW + columnBase
    KeysAhead ahead;                   // dense layers
    TilesByDiagonal sparse;            // sparse layers
  };

  static void StartColumns(const CellGrid& cells, Span ss, ColumnKeys& keys);
  void SumColumns(ColumnKeys& keys) const;
  static void SortByDiagonal(const CellGrid& cells, const std::vector<CellTile>& tiles, TilesByDiagonal& out);
  void KeySparseColumns(const TilesByDiagonal& sparse, Span rowSpan, ColumnKeys& keys) const;
  void KeyDenseColumns(LayerKeys& layer, const TileLayerView& view, double top) const;

  std::vector<LayerKeys> layers_;  // per layer of the run
  // weigh_[k] = kColumnWeight^k and unweigh_[k] = kColumnWeight^−k, for
  // as many columns as a row of the run's layers holds.
  std::vector<uint64_t> weigh_, unweigh_;
};

}  // namespace importer
