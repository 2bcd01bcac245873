#pragma once
// Loads every image a map names (tilesets, their tiles, image layers), with
// SDL2_image: every format the viewer reads.

#include <string>
#include <vector>

#include "import/model.h"

namespace importer {

// Fills in ImageRef::pixels throughout the map; throws ImportError naming
// the file that names an image that can't be loaded, and where it was
// looked for. Returns the decoder's warnings, each naming its image
// ("tiles.png: libpng warning: ..."), for after the importer's line.
std::vector<std::string> LoadImages(Map& map);
// Every map's, each image file decoded once; a failure names the world first
// (an UnreadableMapError). With `skipUnreadable` a map whose images can't be
// loaded is left out instead (World::leftOut); all of them left out is an
// ImportError.
std::vector<std::string> LoadImages(World& world, bool skipUnreadable = false);

}  // namespace importer
