#pragma once
// The blocks of the viewer's tileset, each kept once.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "import/compose/draw_item.h"
#include "import/limits.h"
#include "import/model.h"

namespace importer {

// One step of the hashes that tell blocks and their contents apart.
inline uint64_t Mix(uint64_t h, uint64_t v) {
  h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  return h * 0xFF51AFD7ED558CCDull;
}

struct BlockStore {
  const Map& map;
  std::vector<Block>& blocks;
  std::unordered_multimap<uint64_t, int32_t> byHash;

  // The cell value that shows `block`: 0 when it is all transparent. Throws
  // ImportError when the viewer's tileset is full.
  int32_t Add(const Block& block);
};

}  // namespace importer
