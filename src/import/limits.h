#pragma once
// What the importer refuses for its size: grids of cells it would hold, and
// pictures whose tileset the viewer could not decode.

#include <cstdint>
#include <string>

namespace importer {

// The most cells a layer (or the picture) may have: 2^26, a 256 MiB grid.
constexpr int64_t kMaxCells = int64_t{1} << 26;

// The viewer decodes final.png whole, and PNG decoders read at most a
// million rows (libpng's limit): 31,250 rows of 3 blocks. The viewer cuts a
// tileset taller than its renderer's textures into bands itself.
constexpr int kMaxTilesetRows = 1000000;
constexpr int kMaxBlocks = kMaxTilesetRows / 32 * 3;

// What keeps a grid of `width` × `height` cells out, in words ("can't be
// negative"), or "" when it is taken.
std::string SizeRefusal(int64_t width, int64_t height);

}  // namespace importer
