#pragma once
// A site's map in pieces (docs/site-pieces.md), so that a page fetches only
// what its view shows, at the zoom it shows it:
//   pieces/index.json           each level's size, layers, animations and
//                               the names of its pieces
//   pieces/L/C_R-HASH.json      the 32 × 32 cells of level L from column
//                               32 C and row 32 R: {"values": [...], "layers": [...]}
//   pieces/L/C_R-HASH.png       the pictures of those values, 64 a row
// Level 0 is the map itself (main.json's cells, final.png's blocks), level
// L ≥ 1 its zoom level (zoom_levels.h). A piece is named by a hash of its
// two files' bytes, so that a host may keep it for good: the same content
// is written with the same bytes under the same name.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "import/compose/composer.h"
#include "import/write/zoom_levels.h"

namespace importer {

constexpr int kPieceCells = 32;          // a piece's side, in cells
constexpr int kPieceRowBlocks = 64;      // blocks in a row of a piece's picture
constexpr size_t kMaxPieceValues = 8192;  // a picture of 2048 × 4096 pixels at most

struct WrittenPieces {
  int64_t count = 0;  // pieces, each a .json and a .png
  int64_t bytes = 0;  // of their files
};

// The animated values as view.json lists them, by cell value:
// [{"tile": N, "frames": [{"tile": V, "duration": MS}, ...]}, ...].
std::string AnimationList(const std::vector<Animation>& animations);

// Level 0's pieces once written: its entry in the index, and how many.
struct WrittenLevel {
  std::string entry;
  WrittenPieces pieces;
};

// Writes `folder`/pieces/0: the composition's cells in pieces. It needs
// nothing of the zoom levels, so that it may be written while they are made.
// Throws ImportError.
WrittenLevel WriteMapPieces(const Composition& composition, const std::filesystem::path& folder);

// Writes the pieces of `levels` (as MakeZoomLevels makes them: finest first,
// numbered) into `folder`/pieces, then pieces/index.json, which lists
// `map`'s and theirs. All the pieces written. Throws ImportError.
WrittenPieces WriteZoomPieces(const WrittenLevel& map, const std::vector<ZoomLevel>& levels,
                              const std::filesystem::path& folder);

}  // namespace importer
