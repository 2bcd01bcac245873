#pragma once
// What a map names but can't be had: a tileset or template file that can't
// be read, an image that can't be loaded. The editor opens such a map and
// draws the rest; so does the importer. What needs a missing file is left
// out of the model, and counted, so that the importer's line can say what
// went undrawn.

#include <cstdint>
#include <string>
#include <vector>

#include "import/model.h"

namespace importer {

struct MissingFile {
  std::string path;     // as resolved
  std::string kind;     // "tileset image", "tile image", "image", "tileset", "template"
  std::string problem;  // why it can't be had, naming the file that names it
  int64_t cells = 0, objects = 0, imageLayers = 0;  // drawn ones that needed it
  bool Used() const { return cells + objects + imageLayers > 0; }
};

// Finds the map's missing files (adding them to `missing`, one entry a
// path, so that the maps of a world add up) and leaves out what needs them:
// cells whose tile has no picture left (an animated one keeps the frames
// that have one), tile objects and objects of a template that can't be
// read, image layers. Hidden layers and objects count as not needing them.
void LeaveOutMissing(Map& map, std::vector<MissingFile>& missing);

// The end of the importer's line: "1 tileset image missing, unused:
// set_rules.png" for the files nothing drawn needs, grouped by kind, then
// "12 cells undrawn, tileset image missing: tiles.png" for each file that is.
std::string DescribeMissing(const std::vector<MissingFile>& missing);

}  // namespace importer
