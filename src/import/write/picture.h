#pragma once
// The map's whole picture as one PNG (--picture): what the viewer shows of
// the imported folder at a given time, at 1:1 or scaled down by a power of
// two. Written row by row from the composition's cells and blocks, in
// pieces of a row, straight into the file's deflate stream: memory follows
// the composition, never the picture's size.

#include <cstdint>
#include <optional>
#include <string>

#include "import/compose/composer.h"

namespace importer {

// A rectangle in the pixels of the map's whole picture (its top-left 0, 0).
struct PictureRegion {
  int64_t x = 0, y = 0, width = 0, height = 0;
};

struct PictureOptions {
  int64_t time = 0;     // ms into the animations, as view.json plays them
  int64_t divisor = 1;  // the picture scaled by 1 / divisor, a power of two
  std::optional<PictureRegion> region;  // a part of it only
};

struct WrittenPicture {
  int64_t width = 0, height = 0;  // as written (scaled)
  int64_t bytes = 0;              // the file's size
};

// The picture's rectangle of the composition's grid, the layers drawn over
// each other ("over", straight alpha), each cell as it shows at the time
// asked for; scaled, each pixel the average of the divisor × divisor
// pixels under it (of those inside the picture, at its right and bottom
// edges), colours weighted by alpha, as the overview averages.
// Written under a temporary name beside `path` and renamed when complete,
// so an earlier file there is replaced only by a whole one. Throws
// ImportError, before anything is written when the picture is too big for
// a PNG.
WrittenPicture WritePicture(const Composition& composition, const std::string& path, const PictureOptions& options);

// "X,Y,W,H" as a region; false when it isn't four integers.
bool ParseRegion(const std::string& text, PictureRegion& region);

// Refuses (ImportError naming `file`) a region that isn't inside the picture.
void CheckRegion(const PictureRegion& region, const Composition& composition, const std::string& file);

// The divisor a --scale of "1/N" (N a power of two) or "1" gives; 0 for
// anything else.
int64_t ScaleDivisor(const std::string& text);

// Whether the file's name ends in ".png" (in any case).
bool IsPngPath(const std::string& path);

}  // namespace importer
