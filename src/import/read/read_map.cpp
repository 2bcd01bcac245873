#include "import/read/read_map.h"

#include <SDL.h>


#include "import/import_error.h"
#include "import/limits.h"
#include "import/read/json_reader.h"
#include "import/read/xml_reader.h"

namespace importer {

// SDL opens the file, so that UTF-8 paths work on Windows too.
std::string ReadFile(const std::string& path, const std::string& namedIn) {
  SDL_RWops* stream = SDL_RWFromFile(path.c_str(), "rb");
  if (stream == nullptr) {
    const std::string reason = SDL_GetError();
    if (namedIn.empty()) throw ImportError(Where(path) + "can't be read (" + reason + ")");
    throw ImportError(Where(namedIn) + "the file it names can't be read: " + path + " (" + reason + ")");
  }
  std::string text;
  char buffer[65536];
  size_t got;
  while ((got = SDL_RWread(stream, buffer, 1, sizeof buffer)) > 0) text.append(buffer, got);
  SDL_RWclose(stream);
  return text;
}

enum class Format { kXml, kJson, kUnknown };

static Format FormatOf(const std::string& text) {
  size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a byte order mark
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  if (i == text.size()) return Format::kUnknown;
  if (text[i] == '<') return Format::kXml;
  if (text[i] == '{') return Format::kJson;
  return Format::kUnknown;
}

static void FailUnknownFormat(const std::string& path) {
  throw ImportError(Where(path) + "neither an XML nor a JSON file of the map editor");
}

static LinkedFiles LinkedThrough(ReadContext& context);

// A file that can't be read or understood, outside a strict context: the
// failure's text, for a stand-in to carry.
template <typename Read>
static auto ReadOrExplain(const ReadContext& context, Read read, std::string& failure) -> decltype(read()) {
  if (context.strict) return read();
  try {
    return read();
  } catch (const ImportError& error) {
    failure = error.what();
    return nullptr;
  }
}

std::shared_ptr<Tileset> LoadTileset(ReadContext& context, const std::string& path, const std::string& namedIn) {
  if (const auto found = context.tilesets.find(path); found != context.tilesets.end()) return found->second;
  std::string failure;
  std::shared_ptr<Tileset> tileset = ReadOrExplain(context, [&]() -> std::shared_ptr<Tileset> {
    const std::string text = context.readFile(path, namedIn);
    LinkedFiles linked = LinkedThrough(context);
    switch (FormatOf(text)) {
      case Format::kXml: return ReadXmlTileset(linked, text, path);
      case Format::kJson: return ReadJsonTileset(linked, text, path);
      case Format::kUnknown: break;
    }
    FailUnknownFormat(path);
    return nullptr;
  }, failure);
  if (tileset == nullptr) {
    tileset = std::make_shared<Tileset>();
    tileset->file = path;
    tileset->unreadable = failure;
  }
  context.tilesets[path] = tileset;
  return tileset;
}

std::shared_ptr<const Template> LoadTemplate(ReadContext& context, const std::string& path,
                                             const std::string& namedIn) {
  if (const auto found = context.templates.find(path); found != context.templates.end()) return found->second;
  std::string failure;
  std::shared_ptr<Template> result = ReadOrExplain(context, [&]() -> std::shared_ptr<Template> {
    const std::string text = context.readFile(path, namedIn);
    LinkedFiles linked = LinkedThrough(context);
    switch (FormatOf(text)) {
      case Format::kXml: return std::make_shared<Template>(ReadXmlTemplate(linked, text, path));
      case Format::kJson: return std::make_shared<Template>(ReadJsonTemplate(linked, text, path));
      case Format::kUnknown: break;
    }
    FailUnknownFormat(path);
    return nullptr;
  }, failure);
  if (result == nullptr) {
    result = std::make_shared<Template>();
    result->unreadable = failure;
  }
  result->file = path;
  context.templates[path] = result;
  return result;
}

// The readers reach the files a file names through this cache.
static LinkedFiles LinkedThrough(ReadContext& context) {
  return {[&context](const std::string& path, const std::string& namedIn) {
            return LoadTileset(context, path, namedIn);
          },
          [&context](const std::string& path, const std::string& namedIn) {
            return LoadTemplate(context, path, namedIn);
          }};
}

// Every id must belong to a tileset: none below the first one's first gid.
static void CheckIds(const Map& map, const std::vector<Layer>& layers) {
  auto check = [&](uint32_t gid, const TilesetList& tilesets, const Layer& layer) {
    const uint32_t id = gid & kGidBits;
    if (id == 0 || (!tilesets.empty() && id >= tilesets.front().firstGid)) return;
    throw ImportError(Where(map.file) + "layer \"" + layer.name + "\": tile id " + std::to_string(id) +
                      (tilesets.empty() ? " but the map has no tileset"
                                        : " is below the first tileset's first id (" +
                                              std::to_string(tilesets.front().firstGid) + ")"));
  };
  for (const Layer& layer : layers) {
    for (const uint32_t gid : layer.cells.gids) check(gid, map.tilesets, layer);
    for (const Object& object : layer.objects)
      check(object.gid, object.tilesets ? *object.tilesets : map.tilesets, layer);
    CheckIds(map, layer.children);
  }
}

Map ReadMapText(ReadContext& context, const std::string& text, const std::string& path) {
  LinkedFiles linked = LinkedThrough(context);
  Map map;
  switch (FormatOf(text)) {
    case Format::kXml: map = ReadXmlMap(linked, text, path); break;
    case Format::kJson: map = ReadJsonMap(linked, text, path); break;
    case Format::kUnknown: FailUnknownFormat(path);
  }
  constexpr int kLargestTile = 1 << 16;
  if (map.tileWidth <= 0 || map.tileHeight <= 0 || map.tileWidth > kLargestTile || map.tileHeight > kLargestTile)
    throw ImportError(Where(path) + "the map's tile size " + std::to_string(map.tileWidth) + " x " +
                      std::to_string(map.tileHeight) + " is not one the importer can draw");
  const std::string refusal = map.infinite ? "" : SizeRefusal(map.width, map.height);
  if (!refusal.empty())
    throw ImportError(Where(path) + "the map's size " + std::to_string(map.width) + " x " +
                      std::to_string(map.height) + " cells " + refusal);
  CheckIds(map, map.layers);
  return map;
}

Map ReadMap(const std::string& path, bool strict) {
  ReadContext context;
  context.readFile = ReadFile;
  context.strict = strict;
  return ReadMapText(context, ReadFile(path, ""), path);
}

}  // namespace importer
