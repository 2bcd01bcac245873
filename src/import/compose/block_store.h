#pragma once
// The blocks of the viewer's tileset, each kept once.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "import/compose/draw_item.h"
#include "import/model.h"

namespace importer {

// The viewer decodes final.png whole, and PNG decoders read at most a
// million rows (libpng's limit): 31,250 rows of 3 blocks. The viewer cuts a
// tileset taller than its renderer's textures into bands itself.
constexpr int kMaxTilesetRows = 1000000;
constexpr int kMaxBlocks = kMaxTilesetRows / 32 * 3;

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
