#pragma once
// Reading a map and the files it names (tilesets, templates), in either of
// the editor's formats: the parser is chosen by each file's content.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "import/model.h"

namespace importer {

// The most cells a layer (or the picture) may have: 2^26, a 256 MiB grid.
constexpr int64_t kMaxCells = int64_t{1} << 26;

// An object as written, each attribute present or not, so that an object
// made from a template takes what it doesn't set itself from the template's.
struct ObjectFields {
  std::optional<double> x, y, width, height, rotation, opacity;
  std::optional<uint32_t> gid;
  std::optional<bool> visible;
};

struct Template {
  ObjectFields object;
  std::shared_ptr<const TilesetList> tilesets;  // for the template's gid
};

struct ReadContext {
  // Gives a file's bytes; throws ImportError naming `namedIn` if it can't.
  std::function<std::string(const std::string& path, const std::string& namedIn)> readFile;
  std::map<std::string, std::shared_ptr<Tileset>> tilesets;  // by path, read once
  std::map<std::string, std::shared_ptr<const Template>> templates;
};

// The map in `path`, with what it names. Images are not loaded here.
Map ReadMap(const std::string& path);
Map ReadMapText(ReadContext& context, const std::string& text, const std::string& path);

std::shared_ptr<Tileset> LoadTileset(ReadContext& context, const std::string& path,
                                           const std::string& namedIn);
std::shared_ptr<const Template> LoadTemplate(ReadContext& context, const std::string& path,
                                             const std::string& namedIn);

// The object an instance makes: its own attributes over its template's.
std::optional<Object> MakeObject(const ObjectFields& own, const Template* from);

// Chunks of an infinite layer, joined into the one grid that holds them all.
CellGrid JoinChunks(const std::vector<CellGrid>& chunks);

// What both readers do once a part of a file is read: tilesets in order of
// their first gid, tiles in order of id, objects in drawing order (by y,
// unless drawn in the order of the file).
void SortTilesets(TilesetList& tilesets);
void SortTiles(Tileset& tileset);
void SortObjects(std::vector<Object>& objects, bool fileOrder);

// Why an image-based tileset can't be cut into tiles, or "" when it can.
std::string CutProblem(const Tileset& tileset);

// What keeps a grid of `width` × `height` cells out, in words ("can't be
// negative"), or "" when it is taken.
std::string SizeRefusal(int64_t width, int64_t height);

// "file:line: " for messages (no line: "file: ").
std::string Where(const std::string& file, int line = 0);

}  // namespace importer
