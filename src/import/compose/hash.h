#pragma once
// The hashes that tell blocks and their contents apart.

#include <cstdint>

namespace importer {

// One step of the hashes that tell blocks and their contents apart.
inline uint64_t Mix(uint64_t h, uint64_t v) {
  h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  return h * 0xFF51AFD7ED558CCDull;
}

// A well-spread 64-bit hash step (splitmix64's finaliser): the column keys
// are joined with few steps, so each must mix fully.
inline uint64_t Scramble(uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

}  // namespace importer
