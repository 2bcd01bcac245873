#pragma once
// What reaches one 32 × 32 block of the picture: the tiles, tile objects and
// images of a run of layers that may draw into it, in drawing order, with a
// key of everything that decides its pixels, so that blocks that would come
// out the same are drawn once.

#include <cstdint>
#include <cstring>
#include <vector>

#include "import/compose/draw_item.h"
#include "import/compose/grid.h"
#include "import/compose/hash.h"

namespace importer {

// A tile is kept as its cell (its placement is worked out only if the block
// is new); objects and images as their placements.
struct Item {
  bool isTile;
  uint32_t layer, gid;
  MapPoint anchor;   // of a tile's cell, in picture pixels
  size_t placement;  // in BlockItems::placements
  const Object* object = nullptr;  // a tile object's, drawn again for each frame of its animation
};

// A block's key, as its halves (returned in registers, not memory).
struct BlockKey {
  uint64_t first, second;
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

}  // namespace importer
