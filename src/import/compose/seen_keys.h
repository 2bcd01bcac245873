#pragma once
// The block value of each block key seen so far.

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace importer {

// The block value of each key seen so far: looked up once per block of a
// big picture, so kept flat (open addressing; the keys are hashes already).
class SeenKeys {
 public:
  // The value stored for the key, and whether it was just added (as 0).
  // The key comes in registers: read as one 16-byte piece of memory just
  // after its halves were written, it would wait for them to be written
  // through.
  std::pair<int32_t*, bool> Find(uint64_t key0, uint64_t key1) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    size_t i = key0 & (slots_.size() - 1);
    while (slots_[i].taken) {
      if (slots_[i].key[0] == key0 && slots_[i].key[1] == key1) return {&slots_[i].value, false};
      i = (i + 1) & (slots_.size() - 1);
    }
    slots_[i] = Slot{{key0, key1}, 0, true};
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
      if (slot.taken) *Find(slot.key[0], slot.key[1]).first = slot.value;
  }
  std::vector<Slot> slots_;
  size_t used_ = 0;
};

}  // namespace importer
