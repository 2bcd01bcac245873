#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "view/animation.h"

// The blocks final.png holds: `rows` rows of `columns` (at most 3) blocks of
// the map's tile size. Value v shows block v - 1, counted 3 to a row.
struct TilesetGrid {
  int64_t columns = 0;
  int64_t rows = 0;

  bool HasBlock(int64_t value) const {
    return value >= 1 && (value - 1) % 3 < columns && (value - 1) / 3 < rows;
  }
};

// Bounds on what a view.json may ask for; past any of them the file is
// ignored. A cycle's frames are the importer's bound too.
constexpr size_t kMaxFramesPerAnimation = 4096;
constexpr size_t kMaxAnimations = 65536;      // each one is walked once a drawn frame
constexpr size_t kMaxFramesInAll = 1 << 20;   // 16 MiB of frames at most
constexpr int64_t kMaxDurationMs = INT32_MAX;  // about 24 days

// Reads the view file at `path`:
//   {"animations": [{"tile": N, "frames": [{"tile": A, "duration": MS}, ...]}, ...]}
// N must be a value with a block in `grid`, each A too or 0 (nothing drawn),
// MS a whole number of milliseconds from 0 to kMaxDurationMs; each N is
// animated once. Other members are ignored, and a file without "animations"
// animates nothing. On success fills `animations` and returns true; otherwise
// leaves it empty, says in `problem` what is wrong and returns false.
bool ReadViewFile(const std::string& path, const TilesetGrid& grid, std::vector<Animation>& animations,
                  std::string& problem);
