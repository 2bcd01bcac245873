#pragma once

#include <cstddef>
#include <unordered_set>
#include <vector>

#include <jansson.h>

// While an arena lives, every JSON value jansson parses is allocated from it,
// and when it goes the whole document goes with it. A map holds millions of
// small numbers: carving them out of a few large blocks takes less memory
// than one heap chunk each, and dropping the blocks costs a few calls instead
// of one free per number, and leaves no scattered free chunks in the heap.
// One arena at a time; jansson's own allocator is restored when it goes.
class DocumentArena {
 public:
  DocumentArena();
  ~DocumentArena();
  DocumentArena(const DocumentArena&) = delete;
  DocumentArena& operator=(const DocumentArena&) = delete;

 private:
  struct Block {
    char* begin;
    char* end;
  };

  static void* Allocate(size_t size);
  static void Release(void* pointer);
  void* AllocateSmall(size_t size);
  bool OwnsSmall(const void* pointer) const;

  std::vector<Block> blocks_;
  char* next_ = nullptr;  // the free part of the newest block
  char* limit_ = nullptr;
  std::unordered_set<void*> large_;  // allocations too big for the blocks
  json_malloc_t previousMalloc_ = nullptr;
  json_free_t previousFree_ = nullptr;
};
