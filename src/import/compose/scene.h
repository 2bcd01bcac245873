#pragma once
// The map's layers as they draw into blocks of the picture: for each block,
// what reaches it (block_items.h), run of layers by run of layers, row of
// blocks by row of blocks.

#include <cstdint>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "import/compose/block_items.h"
#include "import/compose/draw_item.h"
#include "import/compose/drawn_layers.h"
#include "import/compose/grid.h"
#include "import/compose/isometric_keys.h"
#include "import/model.h"

namespace importer {

// A map of the scene, drawn with its top-left corner at `origin` (in the
// pixels the picture's rectangle is given in).
struct SceneMap {
  const Map* map;
  Grid grid;
  MapPoint origin;
  std::vector<DrawLayer> layers;  // its own, as FlattenLayers gives them
  std::optional<Placement> background;  // one pixel of the colour, stretched over the grid area
  Image backgroundPixel;
};

struct Scene {
  // The maps in drawing order, each at its place; `paintBackground`: each
  // map's background colour under its grid area, drawn before its layers.
  Scene(const std::vector<std::pair<const Map*, MapPoint>>& placed, bool paintBackground);
  explicit Scene(const Map& map, bool paintBackground = false) : Scene({{&map, {0, 0}}}, paintBackground) {}

  std::vector<SceneMap> maps;
  std::vector<DrawLayer> layers;  // of every map, first drawn first, each map's background first
  PictureRect picture;
  Bounds clip;  // the picture, in picture pixels
  std::vector<PixelRect> reaches;  // per tile layer: how far its tiles draw around their anchors
  std::vector<int64_t> tileCounts;  // per tile layer: its cells that hold a tile
  std::vector<std::vector<uint32_t>> tileGids;  // per tile layer: each gid its cells hold, once
  std::vector<std::vector<Placement>> objects;  // per object layer
  std::vector<std::vector<Bounds>> objectBounds;  // of each, every frame of an animated one
  std::vector<std::vector<const Object*>> objectSources;  // of each
  std::vector<std::vector<size_t>> objectsInRow;  // per object layer: those that reach the row of blocks
  std::set<uint32_t> missing;  // ids that have no image
  // Per tile layer of the run being drawn: what its row of blocks and each
  // column of blocks decide of the cells near a block.
  std::vector<RowSpans> rowSpans;
  std::vector<std::vector<ColumnSpans>> columnSpans;
  std::vector<CellAt> scratch;
  int64_t columnCount = 0;  // of blocks, in the run being drawn
  IsometricKeys isometricKeys;  // of the run's isometric layers
  std::vector<std::vector<bool>> reached;  // per sparse layer of the run: by block, row by row
  bool reachesAll = false;         // the run may draw into every block
  std::vector<bool> runReached;    // else the blocks that the run's tiles may reach
  // What each layer of the run gives a block, found once for the run.
  enum class Part { kNothing, kBackground, kIsometricTiles, kTiles, kObjects, kImage };
  std::vector<std::pair<size_t, Part>> runParts;
  const SceneMap& MapOf(const DrawLayer& drawn) const { return maps[drawn.source]; }
  bool Drawn(const DrawLayer& drawn) const { return drawn.visible && drawn.opacity > 0; }

  // Once the picture is known: the reach of each tile layer, the objects
  // placed, the background colours over their maps' grid areas.
  void Prepare();
  // Before the blocks of a run of layers are gathered: `columns` × `rows`
  // blocks, the first with its top-left at (left, top) (picture pixels).
  void StartRun(const std::vector<size_t>& run, double left, double top, int64_t columns, int64_t rows);
  // Before a row of blocks: the objects and cells that reach into it. Gives
  // the columns of blocks [first, last) that anything may reach.
  std::pair<int64_t, int64_t> StartRow(const std::vector<size_t>& run, double top, double bottom);
  // False when nothing of the run can reach the block at `column` and
  // `row`: its layers are all sparse tile layers whose tiles don't reach it.
  bool MayReach(int64_t column, int64_t row) const {
    return reachesAll || runReached[static_cast<size_t>(row * columnCount + column)];
  }
  // What the run draws into `block` (picture pixels), the block at `column`
  // and `row` of the run's blocks, in order. Gives out.key.
  BlockKey Gather(const Bounds& block, int64_t column, int64_t row, BlockItems& out);

  // What turns a layer's anchors into picture pixels.
  MapPoint ShiftOf(const DrawLayer& drawn) const;

 private:
  TileLayerView ViewOf(size_t index) const;
  // Whether tiles of the tile layer may reach the block: always, but for a
  // sparse layer's marks.
  bool Reaches(size_t index, int64_t column, int64_t row) const {
    return reached[index].empty() || reached[index][static_cast<size_t>(row * columnCount + column)];
  }
  void GatherTiles(size_t index, const Bounds& block, int64_t column, int64_t row, BlockItems& out);
  // For a sparse layer: which blocks of the run its tiles may reach.
  void MarkReached(size_t index, const std::vector<CellTile>& tiles, double left, double top, int64_t columns,
                   int64_t rows);
  void GatherObjects(size_t index, const Bounds& block, BlockItems& out) const;
  void GatherImage(size_t index, const Bounds& block, BlockItems& out) const;
  void GatherBackground(size_t index, const Bounds& block, BlockItems& out) const;
};

}  // namespace importer
