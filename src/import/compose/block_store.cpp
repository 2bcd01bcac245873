#include "import/compose/block_store.h"

#include <cstring>
#include <string>

#include "import/import_error.h"

namespace importer {

int32_t BlockStore::Add(const Block& block) {
  uint64_t hash = 0;
  bool empty = true;
  for (const Pixel& p : block) {
    uint32_t word;
    std::memcpy(&word, &p, sizeof word);
    hash = Mix(hash, word);
    empty = empty && p.a == 0;
  }
  if (empty) return 0;
  const auto [first, last] = byHash.equal_range(hash);
  for (auto it = first; it != last; ++it)
    if (std::memcmp(&blocks[it->second - 1], &block, sizeof block) == 0) return it->second;
  const int32_t value = Push(block);
  byHash.emplace(hash, value);
  return value;
}

int32_t BlockStore::AddOwn(const Block& block) { return Push(block); }

int32_t BlockStore::Push(const Block& block) {
  if (blocks.size() == kMaxBlocks)
    throw ImportError(Where(file) + "the picture needs more than " + std::to_string(kMaxBlocks) +
                      " different 32 x 32 blocks: final.png would be more than 96 x " +
                      std::to_string(kMaxTilesetRows) + " pixels (" +
                      std::to_string(int64_t{96} * kMaxTilesetRows * 4 >> 20) +
                      " MiB decoded), taller than an image decoder reads");
  blocks.push_back(block);
  return static_cast<int32_t>(blocks.size());
}

}  // namespace importer
