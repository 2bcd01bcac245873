#pragma once
// A value per gid (flip bits included), looked up once per cell of a big
// map.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "import/model.h"

namespace importer {

// A plain table while the ids are small, as they are in real maps. It
// grows to the largest id looked up: a map of a few tiles doesn't fill a
// table for 65,536 ids of every layer.
struct GidTable {
  static constexpr uint32_t kDirectIds = 1 << 16;
  std::vector<int32_t> direct;  // 8 per id, one per flip
  std::unordered_map<uint32_t, int32_t> others;

  // The value of `gid`, or -1 when it has none yet. The reference holds
  // until the next look-up.
  int32_t& operator[](uint32_t gid) {
    const uint32_t id = gid & kGidBits;
    if (id >= kDirectIds) return others.try_emplace(gid, -1).first->second;
    const size_t slot = size_t{id} << 3 | gid >> 29;
    if (slot >= direct.size()) {
      size_t size = std::max<size_t>(direct.size(), 8 * 256);
      while (size <= slot) size *= 2;
      direct.resize(size, -1);
    }
    return direct[slot];
  }
};

}  // namespace importer
