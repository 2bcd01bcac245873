#include "map/document_arena.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

// Blocks this large are mapped straight from the system by malloc, so
// releasing one returns its pages at once.
constexpr size_t kBlockSize = size_t{32} << 20;
constexpr size_t kLargestSmall = 256;
constexpr size_t kAlignment = alignof(double) > alignof(void*) ? alignof(double) : alignof(void*);

DocumentArena* current = nullptr;

}  // namespace

DocumentArena::DocumentArena() {
  json_get_alloc_funcs(&previousMalloc_, &previousFree_);
  current = this;
  json_set_alloc_funcs(&Allocate, &Release);
}

DocumentArena::~DocumentArena() {
  json_set_alloc_funcs(previousMalloc_, previousFree_);
  current = nullptr;
  for (void* pointer : large_) std::free(pointer);
  for (const Block& block : blocks_) std::free(block.begin);
}

void* DocumentArena::AllocateSmall(size_t size) {
  size = (size + kAlignment - 1) / kAlignment * kAlignment;
  if (next_ == nullptr || static_cast<size_t>(limit_ - next_) < size) {
    auto* block = static_cast<char*>(std::malloc(kBlockSize));
    if (block == nullptr) return nullptr;
    blocks_.push_back({block, block + kBlockSize});
    next_ = block;
    limit_ = block + kBlockSize;
  }
  void* pointer = next_;
  next_ += size;
  return pointer;
}

bool DocumentArena::OwnsSmall(const void* pointer) const {
  const auto* address = static_cast<const char*>(pointer);
  for (auto block = blocks_.rbegin(); block != blocks_.rend(); ++block) {
    if (address >= block->begin && address < block->end) return true;
  }
  return false;
}

// Called by jansson, a C library: nothing may be thrown through it.
void* DocumentArena::Allocate(size_t size) {
  try {
    if (size <= kLargestSmall) return current->AllocateSmall(size);
    void* pointer = std::malloc(size);
    if (pointer != nullptr) current->large_.insert(pointer);
    return pointer;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Small values stay until the arena goes; large ones (growing arrays, long
// strings) are handed back at once.
void DocumentArena::Release(void* pointer) {
  if (pointer == nullptr || current->OwnsSmall(pointer)) return;
  current->large_.erase(pointer);
  std::free(pointer);
}
