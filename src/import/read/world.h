#pragma once
// The editor's .world files: maps placed side by side, listed one by one or
// found by a pattern of file names in the world's folder.

#include <string>
#include <vector>

#include "import/model.h"

namespace importer {

// A map of the world: its file (resolved against the world's) and the
// place of its top-left corner in the world's pixels.
struct WorldEntry {
  std::string file;
  int64_t x = 0, y = 0;
};

// The world's maps in drawing order: those it lists, in order, then each
// pattern's matches among `names` (the files of the world's folder), in
// name order. Throws ImportError naming `path`.
std::vector<WorldEntry> ReadWorldEntries(const std::string& text, const std::string& path,
                                         std::vector<std::string> names);

// The world in `path` with every map it places, read. Images are not
// loaded here. A map that can't be read is an UnreadableMapError, or with
// `skipUnreadable` left out (World::leftOut); all of them left out is an
// ImportError. A map's tileset or template file that can't be read is left
// out of it (a stand-in), or when `strict` makes the map unreadable.
World ReadWorld(const std::string& path, bool skipUnreadable = false, bool strict = false);

// Whether `path` names a world (by its extension, as the editor tells them).
bool IsWorldFile(const std::string& path);

}  // namespace importer
