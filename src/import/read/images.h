#pragma once
// Loads every image a map names (tilesets, their tiles, image layers), with
// SDL2_image: every format the viewer reads.

#include <string>
#include <vector>

#include "import/model.h"
#include "import/read/missing_files.h"

namespace importer {

struct LoadedImages {
  // What the decoder said, each naming its image ("tiles.png: libpng
  // warning: ..."), for after the importer's line.
  std::vector<std::string> warnings;
  // The files that can't be had (images, and tileset and template files
  // the reader stood in for), and what they left undrawn.
  std::vector<MissingFile> missing;
};

// Fills in ImageRef::pixels throughout the map. An image that can't be
// loaded (missing, unreadable, not an image) gets ImageRef::failure, and
// what needs a missing file is left out of the map (LeaveOutMissing); when
// `strict`, it throws ImportError naming the file that names the image, and
// where it was looked for. An image past the importer's size always throws.
LoadedImages LoadImages(Map& map, bool strict = false);
// Every map's, each image file decoded once; a failure names the world first
// (an UnreadableMapError). With `skipUnreadable` a map whose images can't be
// loaded (when `strict`) is left out instead (World::leftOut); all of them
// left out is an ImportError.
LoadedImages LoadImages(World& world, bool skipUnreadable = false, bool strict = false);

}  // namespace importer
