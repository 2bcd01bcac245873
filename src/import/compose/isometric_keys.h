#pragma once
// The keys of an isometric layer's part of each block, found from columns
// of cells. A block of an isometric layer meets ten-odd cells; instead of
// walking them for every block, each column of cells (x − y) of a row of
// blocks is keyed once and the keys summed along the row, each weighed by a
// power of a constant, so that a block joins its columns in a few steps: the
// difference of two sums, turned to weigh its own first column by 1.

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
  // A tile layer of the run that holds cells; a sparse one has its tiles
  // sorted by diagonal, so that a row of blocks keys only those it holds.
  void AddLayer(size_t index, const CellGrid& cells, bool sparse);
  // Before a row of blocks whose top is `top`: the layer's columns within
  // the row's diagonals `rowSpan` (x + y), each keyed.
  void KeyRow(size_t index, const TileLayerView& layer, Span rowSpan, double top);
  // The layer's part of the key of the block whose columns are `columnSpan`.
  void KeyBlock(size_t index, const TileLayerView& layer, Span rowSpan, Span columnSpan, const Bounds& block,
                BlockItems& out) const;

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
    std::vector<uint8_t> rowsFrom, rowsTo;  // per diagonal of the rows: the rows it belongs to
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

  static void StartColumns(const CellGrid& cells, Span ss, ColumnKeys& keys);
  static void SumColumns(ColumnKeys& keys);
  static void SortByDiagonal(const CellGrid& cells, TilesByDiagonal& out);
  void KeySparseColumns(size_t index, Span rowSpan, ColumnKeys& keys) const;
  void KeyDenseColumns(size_t index, const TileLayerView& layer, double top);

  std::vector<ColumnKeys> columnKeys_;          // per layer: of the row of blocks being gathered
  std::vector<std::vector<uint64_t>> unweigh_;  // per layer: unweigh[k] = kColumnWeight^−k
  std::vector<KeysAhead> keysAhead_;
  std::vector<TilesByDiagonal> sparseTiles_;
};

}  // namespace importer
