#pragma once
// Reading a map and the files it names (tilesets, templates), in either of
// the editor's formats: the parser is chosen by each file's content.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "import/model.h"
#include "import/read/linked_files.h"

namespace importer {

struct ReadContext {
  // Gives a file's bytes; throws ImportError naming `namedIn` if it can't.
  std::function<std::string(const std::string& path, const std::string& namedIn)> readFile;
  std::map<std::string, std::shared_ptr<Tileset>> tilesets;  // by path, read once
  std::map<std::string, std::shared_ptr<const Template>> templates;
  // A tileset or template file that can't be read (missing, malformed) is a
  // failure; otherwise it is a stand-in that says why, and what needs it is
  // left out, as the editor opens such a map.
  bool strict = false;
};

// A file's bytes; throws ImportError naming `namedIn` (or, when it is "",
// the file itself) if it can't be read.
std::string ReadFile(const std::string& path, const std::string& namedIn);

// The map in `path`, with what it names. Images are not loaded here.
Map ReadMap(const std::string& path, bool strict = false);
Map ReadMapText(ReadContext& context, const std::string& text, const std::string& path);

// A tileset or template file, read once per context; one that can't be read
// throws ImportError when the context is strict.
std::shared_ptr<Tileset> LoadTileset(ReadContext& context, const std::string& path, const std::string& namedIn);
std::shared_ptr<const Template> LoadTemplate(ReadContext& context, const std::string& path,
                                             const std::string& namedIn);

}  // namespace importer
