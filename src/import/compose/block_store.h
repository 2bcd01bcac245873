#pragma once
// The blocks of the viewer's tileset, each kept once.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "import/compose/draw_item.h"
#include "import/compose/hash.h"
#include "import/limits.h"
#include "import/model.h"

namespace importer {

struct BlockStore {
  const std::string& file;  // for messages
  std::vector<Block>& blocks;
  std::unordered_multimap<uint64_t, int32_t> byHash;

  // The cell value that shows `block`: 0 when it is all transparent. Throws
  // ImportError when the viewer's tileset is full.
  int32_t Add(const Block& block);
  // A block of its own, even if another shows the same pixels (or none):
  // the cell value of an animation, which no other cell may share.
  int32_t AddOwn(const Block& block);

 private:
  int32_t Push(const Block& block);
};

}  // namespace importer
