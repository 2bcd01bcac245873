#include "import/read/read_map.h"

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "import/import_error.h"
#include "import/read/json_reader.h"
#include "import/read/xml_reader.h"

namespace importer {

std::string Where(const std::string& file, int line) {
  return line > 0 ? file + ":" + std::to_string(line) + ": " : file + ": ";
}

std::string SizeRefusal(int64_t width, int64_t height) {
  if (width < 0 || height < 0) return "can't be negative";
  if (width * height > kMaxCells) return "is more than the importer takes";  // both below 2^31: no overflow
  return "";
}

void SortTilesets(TilesetList& tilesets) {
  std::stable_sort(tilesets.begin(), tilesets.end(),
                   [](const TilesetRef& a, const TilesetRef& b) { return a.firstGid < b.firstGid; });
}

void SortTiles(Tileset& tileset) {
  std::stable_sort(tileset.tiles.begin(), tileset.tiles.end(),
                   [](const TileEntry& a, const TileEntry& b) { return a.id < b.id; });
}

void SortObjects(std::vector<Object>& objects, bool fileOrder) {
  if (!fileOrder)  // objects with the same y keep the file's order
    std::stable_sort(objects.begin(), objects.end(), [](const Object& a, const Object& b) { return a.y < b.y; });
}

std::string CutProblem(const Tileset& tileset) {
  if (!tileset.image.Given() ||
      (tileset.tileWidth > 0 && tileset.tileHeight > 0 && tileset.spacing >= 0 && tileset.margin >= 0))
    return "";
  return "a tileset with tile size " + std::to_string(tileset.tileWidth) + " x " +
         std::to_string(tileset.tileHeight) + ", spacing " + std::to_string(tileset.spacing) + " and margin " +
         std::to_string(tileset.margin) + " can't be cut into tiles";
}

// SDL opens the file, so that UTF-8 paths work on Windows too.
static std::string ReadWholeFile(const std::string& path, const std::string& namedIn) {
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

std::shared_ptr<Tileset> LoadTileset(ReadContext& context, const std::string& path,
                                           const std::string& namedIn) {
  if (const auto found = context.tilesets.find(path); found != context.tilesets.end()) return found->second;
  const std::string text = context.readFile(path, namedIn);
  std::shared_ptr<Tileset> tileset;
  switch (FormatOf(text)) {
    case Format::kXml: tileset = ReadXmlTileset(context, text, path); break;
    case Format::kJson: tileset = ReadJsonTileset(context, text, path); break;
    case Format::kUnknown: FailUnknownFormat(path);
  }
  context.tilesets[path] = tileset;
  return tileset;
}

std::shared_ptr<const Template> LoadTemplate(ReadContext& context, const std::string& path,
                                             const std::string& namedIn) {
  if (const auto found = context.templates.find(path); found != context.templates.end()) return found->second;
  const std::string text = context.readFile(path, namedIn);
  std::shared_ptr<const Template> result;
  switch (FormatOf(text)) {
    case Format::kXml: result = std::make_shared<Template>(ReadXmlTemplate(context, text, path)); break;
    case Format::kJson: result = std::make_shared<Template>(ReadJsonTemplate(context, text, path)); break;
    case Format::kUnknown: FailUnknownFormat(path);
  }
  context.templates[path] = result;
  return result;
}

std::optional<Object> MakeObject(const ObjectFields& own, const Template* from) {
  const ObjectFields none;
  const ObjectFields& base = from != nullptr ? from->object : none;
  auto pick = [](const auto& mine, const auto& theirs, auto otherwise) {
    return mine ? *mine : theirs ? *theirs : otherwise;
  };
  // Values where doubles still count whole pixels; a file may hold anything.
  auto sane = [](double value, double low, double high, double otherwise) {
    return std::isfinite(value) ? std::clamp(value, low, high) : otherwise;
  };
  Object object;
  object.x = sane(own.x.value_or(0), -1e12, 1e12, 0);  // the position is always the instance's
  object.y = sane(own.y.value_or(0), -1e12, 1e12, 0);
  object.width = sane(pick(own.width, base.width, 0.0), 0, 1e12, 0);
  object.height = sane(pick(own.height, base.height, 0.0), 0, 1e12, 0);
  object.rotation = sane(pick(own.rotation, base.rotation, 0.0), -1e6, 1e6, 0);
  object.opacity = sane(pick(own.opacity, base.opacity, 1.0), 0, 1, 1);
  object.visible = pick(own.visible, base.visible, true);
  object.gid = pick(own.gid, base.gid, uint32_t{0});
  // A gid from the template is looked up in the template's tilesets.
  if (!own.gid && base.gid && from != nullptr) object.tilesets = from->tilesets;
  if (object.gid == 0 || !object.visible) return std::nullopt;  // shapes and hidden objects draw nothing
  return object;
}

CellGrid JoinChunks(const std::vector<CellGrid>& chunks) {
  CellGrid joined;
  if (chunks.empty()) return joined;
  int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
  for (const CellGrid& chunk : chunks) {
    left = std::min<int64_t>(left, chunk.x);
    top = std::min<int64_t>(top, chunk.y);
    right = std::max<int64_t>(right, int64_t{chunk.x} + chunk.width);
    bottom = std::max<int64_t>(bottom, int64_t{chunk.y} + chunk.height);
  }
  // Cell coordinates stay well inside int, so that positions in pixels can't overflow.
  constexpr int64_t kFar = int64_t{1} << 24;
  if (left < -kFar || top < -kFar || right > kFar || bottom > kFar)
    throw DataError("chunks lie more than " + std::to_string(kFar) + " cells from the origin");
  if ((right - left) * (bottom - top) > kMaxCells)
    throw DataError("its chunks span " + std::to_string(right - left) + " x " +
                    std::to_string(bottom - top) + " cells, more than the importer takes");
  joined.x = static_cast<int>(left);
  joined.y = static_cast<int>(top);
  joined.width = static_cast<int>(right - left);
  joined.height = static_cast<int>(bottom - top);
  joined.gids.assign(static_cast<size_t>(joined.width) * joined.height, 0);
  for (const CellGrid& chunk : chunks)
    for (int cy = 0; cy < chunk.height; ++cy)
      std::copy_n(chunk.gids.begin() + static_cast<ptrdiff_t>(cy) * chunk.width, chunk.width,
                  joined.gids.begin() + (static_cast<ptrdiff_t>(chunk.y - joined.y + cy) * joined.width +
                                         (chunk.x - joined.x)));
  return joined;
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
  Map map;
  switch (FormatOf(text)) {
    case Format::kXml: map = ReadXmlMap(context, text, path); break;
    case Format::kJson: map = ReadJsonMap(context, text, path); break;
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

Map ReadMap(const std::string& path) {
  ReadContext context;
  context.readFile = ReadWholeFile;
  return ReadMapText(context, ReadWholeFile(path, ""), path);
}

}  // namespace importer
