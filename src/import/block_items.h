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

#include "import/block_store.h"
#include "import/draw_item.h"
#include "import/grid.h"
#include "import/model.h"
#include "import/scene.h"

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
struct Reach {
  double left = 0, top = 0, right = 0, bottom = 0;
};

// A tile is kept as its cell (its placement is worked out only if the block
// is new); objects and images as their placements.
struct Item {
  bool isTile;
  uint32_t layer, gid;
  MapPoint anchor;   // of a tile's cell, in picture pixels
  size_t placement;  // in BlockItems::placements
};

struct BlockItems {
  std::vector<Item> items;
  std::vector<Placement> placements;
  uint64_t key[2] = {0, 0};
  void AddToKey(uint64_t value) {
    key[0] = Mix(key[0], value);
    key[1] = Mix(key[1] ^ 0x5851F42D4C957F2Dull, value + 1);
  }
  void AddToKey(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    AddToKey(bits);
  }
};

struct KeyHash {
  size_t operator()(const std::pair<uint64_t, uint64_t>& key) const { return key.first ^ (key.second << 1); }
};

// The map's layers as they draw into blocks of the picture.
struct Scene {
  const Map& map;
  Grid grid;
  std::vector<DrawLayer> layers;
  PictureRect picture;
  Bounds clip;  // the picture, in picture pixels
  std::vector<Reach> reaches;  // per tile layer
  std::vector<std::vector<Placement>> objects;  // per object layer
  std::vector<std::vector<size_t>> objectsInRow;  // per object layer: those that reach the row of blocks
  std::set<uint32_t> missing;  // ids that have no image
  std::vector<CellAt> near;     // the cells near one block, reused
  std::optional<Placement> background;  // one pixel of the colour, stretched over the grid area
  Image backgroundPixel;

  bool Drawn(const DrawLayer& drawn) const { return drawn.visible && drawn.opacity > 0; }

  // Once the picture is known: the reach of each tile layer, the objects
  // placed, the background colour (when painted) over the map's grid area.
  void Prepare(bool paintBackground);
  // Before a row of blocks: the objects that reach into it.
  void StartRow(double top, double bottom);
  // What the layers of `group` draw into `block` (picture pixels), in
  // order, over the background colour if `withBackground`.
  void Gather(const Bounds& block, const std::vector<size_t>& group, bool withBackground, BlockItems& out);

  // A tile of a cell whose anchor (in picture pixels) is given.
  Placement TilePlacement(const DrawLayer& drawn, const TileImage& tile, uint32_t gid, MapPoint anchor) const;

 private:
  // Flipped as the gid says; on hexagonal maps the diagonal bit and the
  // next one turn the tile by 60° and 120°.
  void SetFlips(uint32_t gid, Placement& placement) const;
  bool Touches(const Placement& placement, const Bounds& block) const;
  void GatherTiles(size_t index, const Bounds& block, BlockItems& out);
  void GatherObjects(size_t index, const Bounds& block, BlockItems& out) const;
  void GatherImage(size_t index, const Bounds& block, BlockItems& out) const;
  std::optional<Placement> ObjectPlacement(const DrawLayer& drawn, const Object& object);
};

}  // namespace importer
