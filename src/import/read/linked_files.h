#pragma once
// How a reader reaches the files that the file it reads names (external
// tilesets, object templates): through whoever asked for the reading, which
// reads each file once, whatever its format. The readers know nothing else
// of the files around them.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "import/model.h"

namespace importer {

// An object as written, each attribute present or not, so that an object
// made from a template takes what it doesn't set itself from the template's.
struct ObjectFields {
  std::optional<double> x, y, width, height, rotation, opacity;
  std::optional<uint32_t> gid;
  std::optional<bool> visible;
};

struct Template {
  std::string file;
  std::string unreadable;  // why the file can't be read: its objects are left out
  ObjectFields object;
  std::shared_ptr<const TilesetList> tilesets;  // for the template's gid
};

struct LinkedFiles {
  // Each throws ImportError naming `namedIn` when the file can't be had,
  // or gives a stand-in that says why (Tileset::unreadable, Template::unreadable).
  std::function<std::shared_ptr<Tileset>(const std::string& path, const std::string& namedIn)> tileset;
  std::function<std::shared_ptr<const Template>(const std::string& path, const std::string& namedIn)>
      objectTemplate;
};

}  // namespace importer
