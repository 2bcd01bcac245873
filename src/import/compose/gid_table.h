#pragma once
// A value per gid (flip bits included), looked up once per cell of a big
// map.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "import/model.h"

namespace importer {

// A plain table while the ids are small, as they are in real maps.
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

}  // namespace importer
