#pragma once
// The zoom levels' files, in "zoom/" beside the viewer's files, each named
// by its level and its place so that a page can fetch a part of a level:
//   zoom/L/level.json   {"width": W, "height": H, "blocks": B,
//                        "animations": [...as view.json's, by the level's values]}
//   zoom/L/blocks-P.png the level's blocks 4096 (P) to 4096 (P + 1) - 1, in
//                       rows of 64: pages of at most 2048 × 2048 pixels
//   zoom/L/C_R.json     {"data": [...]}: the cells of columns 64 C to
//                       64 C + 63 and rows 64 R to 64 R + 63 (fewer at the
//                       level's right and bottom edges), row after row
// Value v of a level shows its block v - 1, 0 nothing.

#include <filesystem>
#include <vector>

#include "import/write/zoom_levels.h"

namespace importer {

constexpr int kZoomPageBlocks = 64;  // a page's side, and a piece's, in blocks and cells

void WriteZoomLevels(const std::vector<ZoomLevel>& levels, const std::filesystem::path& folder);

}  // namespace importer
