#pragma once
// What reaches one 32 × 32 block of the picture: the tiles, tile objects and
// images of a run of layers that may draw into it, in drawing order, with a
// key of everything that decides its pixels, so that blocks that would come
// out the same are drawn once.

#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "import/compose/block_store.h"
#include "import/compose/draw_item.h"
#include "import/compose/grid.h"
#include "import/model.h"
#include "import/compose/scene.h"

namespace importer {

// A value per gid (flip bits included), looked up once per cell of a big
// map: a plain table while the ids are small, as they are in real maps.
struct GidTable {
  static constexpr uint32_t kDirectIds = 1 << 16;
  std::vector<int32_t> direct = std::vector<int32_t>(8 * kDirectIds, -1);
  std::unordered_map<uint32_t, int32_t> others;

  // The value of `gid`, or -1 when it has none yet.
  int32_t& operator[](uint32_t gid) {
    const uint32_t id = gid & kGidBits;
    if (id < kDirectIds) return direct[(id << 3) | gid >> 29];
    return others.try_emplace(gid, -1).first->second;
  }
};

// A tile layer's cells draw within this box around their anchor (the
// cell's bottom-left corner): tiles larger than the grid, tile offsets.
using Reach = PixelRect;

// A tile is kept as its cell (its placement is worked out only if the block
// is new); objects and images as their placements.
struct Item {
  bool isTile;
  uint32_t layer, gid;
  MapPoint anchor;   // of a tile's cell, in picture pixels
  size_t placement;  // in BlockItems::placements
};

struct BlockItems {
  // Most blocks repeat one seen before: their key is all that is needed.
  bool collect = true;  // keep the items too
  size_t count = 0;
  std::vector<Item> items;
  std::vector<Placement> placements;
  uint64_t key[2] = {0, 0};
  void Add(const Item& item, const Placement* placement = nullptr) {
    ++count;
    if (!collect) return;
    items.push_back(item);
    if (placement != nullptr) {
      items.back().placement = placements.size();
      placements.push_back(*placement);
    }
  }
  void AddToKey(uint64_t value) {
    key[0] = Mix(key[0], value);
    key[1] = Mix(key[1] ^ 0x5851F42D4C957F2Dull, value + 1);
  }
  void AddToKey(double value) { AddToKey(Bits(value)); }
  static uint64_t Bits(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
  }
};

// The block value of each key seen so far: looked up once per block of a
// big picture, so kept flat (open addressing; the keys are hashes already).
class SeenKeys {
 public:
  // The value stored for the key, and whether it was just added (as 0).
  std::pair<int32_t*, bool> Find(const uint64_t key[2]) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    size_t i = key[0] & (slots_.size() - 1);
    while (slots_[i].taken) {
      if (slots_[i].key[0] == key[0] && slots_[i].key[1] == key[1]) return {&slots_[i].value, false};
      i = (i + 1) & (slots_.size() - 1);
    }
    slots_[i] = Slot{{key[0], key[1]}, 0, true};
    ++used_;
    return {&slots_[i].value, true};
  }

 private:
  struct Slot {
    uint64_t key[2];
    int32_t value;
    bool taken;
  };
  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<size_t>(64, 2 * old.size()), Slot{{0, 0}, 0, false});
    used_ = 0;
    for (const Slot& slot : old)
      if (slot.taken) *Find(slot.key).first = slot.value;
  }
  std::vector<Slot> slots_;
  size_t used_ = 0;
};

// The map's layers as they draw into blocks of the picture.
struct Scene {
  explicit Scene(const Map& drawnMap) : map(drawnMap), grid(GridOf(drawnMap)), layers(FlattenLayers(drawnMap)) {}

  const Map& map;
  Grid grid;
  std::vector<DrawLayer> layers;
  PictureRect picture;
  Bounds clip;  // the picture, in picture pixels
  std::vector<Reach> reaches;  // per tile layer
  std::vector<std::vector<Placement>> objects;  // per object layer
  std::vector<std::vector<size_t>> objectsInRow;  // per object layer: those that reach the row of blocks
  std::set<uint32_t> missing;  // ids that have no image
  // Per tile layer of the run being drawn: what its row of blocks and each
  // column of blocks decide of the cells near a block.
  std::vector<RowSpans> rowSpans;
  std::vector<std::vector<ColumnSpans>> columnSpans;
  std::vector<CellAt> scratch;
  int64_t columnCount = 0;  // of blocks, in the run being drawn
  // Isometric layers of the run: a key of each column of cells (x − y) in
  // the row of blocks being gathered, each column keyed once per row and
  // not once per block it is near. The keys are summed along the row, each
  // weighed by a power of kColumnWeight, so that a block joins its columns
  // in a few steps: the difference of two sums, turned to weigh its own
  // first column by 1.
  struct ColumnKeys {
    int64_t first = 0, last = -1;  // the row's columns that hold cells
    std::vector<uint64_t> sums;    // sums[k]: of columns first .. first + k − 1
    std::vector<uint32_t> tiles;   // tiles[k]: their cells that hold a tile
  };
  std::vector<ColumnKeys> columnKeys;
  std::vector<std::vector<uint64_t>> unweigh;  // per layer: unweigh[k] = kColumnWeight^−k
  // A dense layer's columns are keyed for a few rows of blocks at once:
  // each row of blocks meets a cell in every row of cells, so one pass
  // over them serves those rows.
  struct KeysAhead {
    std::vector<ColumnKeys> rows;
    std::vector<double> tops;  // of those rows of blocks
    size_t next = 0;
  };
  std::vector<KeysAhead> keysAhead;
  // Their sparse layers' tiles by diagonal (x + y), so that a row of blocks
  // finds the few it holds without reading its every cell.
  struct TilesByDiagonal {
    struct Tile {
      int32_t d;  // x − y
      uint32_t gid;
    };
    int64_t first = 0;          // the x + y of diagonal 0
    std::vector<size_t> start;  // tiles[start[k] .. start[k + 1]) lie on diagonal first + k
    std::vector<Tile> tiles;
  };
  std::vector<TilesByDiagonal> sparseTiles;
  std::vector<std::vector<bool>> reached;  // per sparse layer of the run: by block, row by row
  std::optional<Placement> background;  // one pixel of the colour, stretched over the grid area
  Image backgroundPixel;

  bool Drawn(const DrawLayer& drawn) const { return drawn.visible && drawn.opacity > 0; }

  // Once the picture is known: the reach of each tile layer, the objects
  // placed, the background colour (when painted) over the map's grid area.
  void Prepare(bool paintBackground);
  // Before the blocks of a run of layers are gathered: `columns` × `rows`
  // blocks, the first with its top-left at (left, top) (picture pixels).
  void StartRun(const std::vector<size_t>& run, double left, double top, int64_t columns, int64_t rows);
  // Before a row of blocks: the objects and cells that reach into it. Gives
  // the columns of blocks [first, last) that anything may reach.
  std::pair<int64_t, int64_t> StartRow(const std::vector<size_t>& run, double top, double bottom);
  // False when nothing of the run can reach the block at `column` and
  // `row`: its layers are all sparse tile layers whose tiles don't reach it.
  bool MayReach(const std::vector<size_t>& run, int64_t column, int64_t row) const;
  // What the run draws into `block` (picture pixels), the block at `column`
  // and `row` of the run's blocks, in order, over the background colour if
  // `withBackground`.
  void Gather(const Bounds& block, int64_t column, int64_t row, const std::vector<size_t>& run, bool withBackground,
              BlockItems& out);

  // A tile of a cell whose anchor (in picture pixels) is given.
  Placement TilePlacement(const DrawLayer& drawn, const TileImage& tile, uint32_t gid, MapPoint anchor) const;

 private:
  // What turns a layer's anchors into picture pixels.
  MapPoint ShiftOf(const DrawLayer& drawn) const;
  // Flipped as the gid says; on hexagonal maps the diagonal bit and the
  // next one turn the tile by 60° and 120°.
  void SetFlips(uint32_t gid, Placement& placement) const;
  bool Touches(const Placement& placement, const Bounds& block) const;
  void GatherTiles(size_t index, const Bounds& block, int64_t column, int64_t row, BlockItems& out);
  // An isometric layer's part of the block's key, from its columns of cells.
  void KeyIsometricTiles(size_t index, const Bounds& block, int64_t column, BlockItems& out) const;
  void KeyColumns(size_t index, double top);
  void KeySparseColumns(size_t index, ColumnKeys& keys) const;
  void KeyDenseColumns(size_t index, double top);
  // For a sparse layer: which blocks of the run its tiles may reach.
  void MarkReached(size_t index, double left, double top, int64_t columns, int64_t rows);
  void GatherObjects(size_t index, const Bounds& block, BlockItems& out) const;
  void GatherImage(size_t index, const Bounds& block, BlockItems& out) const;
  std::optional<Placement> ObjectPlacement(const DrawLayer& drawn, const Object& object);
};

}  // namespace importer
