#pragma once
// Loads every image a map names (tilesets, their tiles, image layers), with
// SDL2_image: every format the viewer reads.

#include "import/model.h"

namespace importer {

// Fills in ImageRef::pixels throughout the map; throws ImportError naming
// the file that names an image that can't be loaded, and where it was
// looked for.
void LoadImages(Map& map);
// Every map's, each image file decoded once; a failure names the world first.
void LoadImages(World& world);

}  // namespace importer
