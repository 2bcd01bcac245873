#include "import/json_reader.h"

#include <jansson.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "import/decode.h"
#include "import/import_error.h"
#include "import/values.h"

namespace importer {
namespace {

constexpr int kMaxGroupDepth = 1000;

struct JsonFile {
  const std::string& path;
  ReadContext& context;
  [[noreturn]] void Fail(const std::string& problem) const { throw ImportError(Where(path) + problem); }
};

// Owns a parsed document.
struct Document {
  json_t* root = nullptr;
  ~Document() { json_decref(root); }
};

void Parse(const std::string& text, const std::string& path, Document& document) {
  json_error_t error;
  // Deeply nested documents are refused by jansson itself (its depth limit).
  document.root = json_loadb(text.data(), text.size(), JSON_DECODE_ANY, &error);
  if (document.root == nullptr)
    throw ImportError(Where(path, error.line) + "not valid JSON: " + error.text);
  if (!json_is_object(document.root)) throw ImportError(Where(path) + "not a JSON object");
}

const char* String(const json_t* object, const char* key) {
  const char* text = json_string_value(json_object_get(object, key));
  return text != nullptr ? text : "";
}

std::optional<double> OptionalNumber(const json_t* object, const char* key) {
  const json_t* value = json_object_get(object, key);
  if (!json_is_number(value)) return std::nullopt;
  const double number = json_number_value(value);
  return std::isfinite(number) ? std::optional<double>(number) : std::nullopt;
}

double Number(const json_t* object, const char* key, double otherwise) {
  return OptionalNumber(object, key).value_or(otherwise);
}

// Whole numbers that fit an int; anything else counts as the default.
int Int(const json_t* object, const char* key, int otherwise = 0) {
  const double number = Number(object, key, otherwise);
  return number >= -2147483648.0 && number <= 2147483647.0 ? static_cast<int>(number) : otherwise;
}

bool Flag(const json_t* object, const char* key, bool otherwise) {
  const json_t* value = json_object_get(object, key);
  if (json_is_boolean(value)) return json_is_true(value);
  if (json_is_number(value)) return json_number_value(value) != 0;
  return otherwise;
}

std::optional<uint32_t> Gid(const json_t* value) {
  if (!json_is_number(value)) return std::nullopt;
  const double number = json_number_value(value);
  if (!(number >= 0 && number <= 4294967295.0) || number != std::floor(number)) return std::nullopt;
  return static_cast<uint32_t>(number);
}

ImageRef ReadImage(const JsonFile& file, const json_t* owner, const char* key) {
  ImageRef ref;
  ref.namedIn = file.path;
  const std::string source = String(owner, key);
  if (!source.empty()) ref.path = ResolvePath(file.path, source);
  ref.transparent = ParseColor(String(owner, "transparentcolor"));
  return ref;
}

// "tiles" is an array of tiles with ids in newer files, an object keyed by
// the id in older ones.
void ReadTileEntries(const JsonFile& file, const json_t* tiles, Tileset& tileset) {
  auto readOne = [&](const json_t* tile, int id) {
    TileEntry entry;
    entry.id = id;
    entry.x = Int(tile, "x");
    entry.y = Int(tile, "y");
    entry.width = Int(tile, "width");
    entry.height = Int(tile, "height");
    entry.image = ReadImage(file, tile, "image");
    const json_t* frame = json_array_get(json_object_get(tile, "animation"), 0);
    if (json_is_object(frame)) entry.firstFrame = Int(frame, "tileid");
    tileset.tiles.push_back(std::move(entry));
  };
  if (json_is_array(tiles)) {
    for (size_t i = 0; i < json_array_size(tiles); ++i) {
      const json_t* tile = json_array_get(tiles, i);
      if (json_is_object(tile)) readOne(tile, Int(tile, "id"));
    }
  } else if (json_is_object(tiles)) {
    const char* key;
    const json_t* tile;
    json_object_foreach(const_cast<json_t*>(tiles), key, tile) {
      if (json_is_object(tile)) readOne(tile, static_cast<int>(std::strtol(key, nullptr, 10)));
    }
  }
  SortTiles(tileset);
}

std::shared_ptr<Tileset> ReadTilesetObject(const JsonFile& file, const json_t* node) {
  auto tileset = std::make_shared<Tileset>();
  tileset->file = file.path;
  tileset->tileWidth = Int(node, "tilewidth");
  tileset->tileHeight = Int(node, "tileheight");
  tileset->spacing = Int(node, "spacing");
  tileset->margin = Int(node, "margin");
  tileset->alignment = ParseAlignment(String(node, "objectalignment"));
  tileset->gridRenderSize = std::strcmp(String(node, "tilerendersize"), "grid") == 0;
  tileset->preserveAspect = std::strcmp(String(node, "fillmode"), "preserve-aspect-fit") == 0;
  const json_t* offset = json_object_get(node, "tileoffset");
  tileset->offsetX = Int(offset, "x");
  tileset->offsetY = Int(offset, "y");
  tileset->image = ReadImage(file, node, "image");
  ReadTileEntries(file, json_object_get(node, "tiles"), *tileset);
  if (const std::string problem = CutProblem(*tileset); !problem.empty())
    file.Fail("tileset \"" + std::string(String(node, "name")) + "\": " + problem);
  return tileset;
}

TilesetList ReadTilesetRefs(const JsonFile& file, const json_t* tilesets) {
  TilesetList list;
  for (size_t i = 0; i < json_array_size(tilesets); ++i) {
    const json_t* node = json_array_get(tilesets, i);
    if (!json_is_object(node)) file.Fail("a tileset entry that is not an object");
    TilesetRef ref;
    const std::optional<uint32_t> firstGid = Gid(json_object_get(node, "firstgid"));
    if (!firstGid || *firstGid == 0) file.Fail("a tileset without a first gid");
    ref.firstGid = *firstGid;
    const std::string source = String(node, "source");
    if (!source.empty())
      ref.tileset = LoadTileset(file.context, ResolvePath(file.path, source), file.path);
    else
      ref.tileset = ReadTilesetObject(file, node);
    list.push_back(std::move(ref));
  }
  SortTilesets(list);
  return list;
}

ObjectFields ReadObjectFields(const json_t* node) {
  ObjectFields fields;
  fields.x = OptionalNumber(node, "x");
  fields.y = OptionalNumber(node, "y");
  fields.width = OptionalNumber(node, "width");
  fields.height = OptionalNumber(node, "height");
  fields.rotation = OptionalNumber(node, "rotation");
  fields.opacity = OptionalNumber(node, "opacity");
  if (const json_t* gid = json_object_get(node, "gid")) fields.gid = Gid(gid).value_or(0);
  if (json_object_get(node, "visible")) fields.visible = Flag(node, "visible", true);
  return fields;
}

std::string LayerLabel(const json_t* node) {
  return "layer \"" + std::string(String(node, "name")) + "\": ";
}

// The cells of a layer or chunk: an array of numbers, or encoded text.
std::vector<uint32_t> ReadCells(const JsonFile& file, const json_t* layer, const json_t* data,
                                int64_t width, int64_t height) {
  if (width < 0 || height < 0 || width * height > kMaxCells)
    file.Fail(LayerLabel(layer) + "data of " + std::to_string(width) + " x " +
              std::to_string(height) + " cells is more than the importer takes");
  const size_t count = static_cast<size_t>(width * height);
  const std::string encoding = String(layer, "encoding");
  if (json_is_array(data) && (encoding.empty() || encoding == "csv")) {
    if (json_array_size(data) != count)
      file.Fail(LayerLabel(layer) + std::to_string(json_array_size(data)) + " cells, not " +
                std::to_string(count));
    std::vector<uint32_t> gids(count);
    for (size_t i = 0; i < count; ++i) {
      const std::optional<uint32_t> gid = Gid(json_array_get(data, i));
      if (!gid) file.Fail(LayerLabel(layer) + "cell " + std::to_string(i) + " is not a tile id");
      gids[i] = *gid;
    }
    return gids;
  }
  if (!json_is_string(data)) file.Fail(LayerLabel(layer) + "its data is neither an array nor a string");
  try {
    return DecodeCells(json_string_value(data), encoding, String(layer, "compression"), count);
  } catch (const DataError& error) {
    file.Fail(LayerLabel(layer) + error.what());
  }
}

void ReadTileLayer(const JsonFile& file, const Map& map, const json_t* node, Layer& layer) {
  if (const json_t* chunks = json_object_get(node, "chunks"); map.infinite && chunks) {
    std::vector<CellGrid> grids;
    for (size_t i = 0; i < json_array_size(chunks); ++i) {
      const json_t* chunk = json_array_get(chunks, i);
      CellGrid grid;
      grid.x = Int(chunk, "x");
      grid.y = Int(chunk, "y");
      grid.width = Int(chunk, "width");
      grid.height = Int(chunk, "height");
      grid.gids = ReadCells(file, node, json_object_get(chunk, "data"), grid.width, grid.height);
      grids.push_back(std::move(grid));
    }
    try {
      layer.cells = JoinChunks(grids);
    } catch (const DataError& error) {
      file.Fail(LayerLabel(node) + error.what());
    }
    return;
  }
  const json_t* data = json_object_get(node, "data");
  if (data == nullptr) return;  // no cells at all
  layer.cells.width = Int(node, "width", map.width);
  layer.cells.height = Int(node, "height", map.height);
  layer.cells.gids = ReadCells(file, node, data, layer.cells.width, layer.cells.height);
}

void ReadObjects(const JsonFile& file, const json_t* node, Layer& layer) {
  const json_t* objects = json_object_get(node, "objects");
  for (size_t i = 0; i < json_array_size(objects); ++i) {
    const json_t* element = json_array_get(objects, i);
    std::shared_ptr<const Template> from;
    const std::string source = String(element, "template");
    if (!source.empty()) from = LoadTemplate(file.context, ResolvePath(file.path, source), file.path);
    if (std::optional<Object> object = MakeObject(ReadObjectFields(element), from.get()))
      layer.objects.push_back(std::move(*object));
  }
  SortObjects(layer.objects, std::strcmp(String(node, "draworder"), "index") == 0);
}

std::vector<Layer> ReadLayers(const JsonFile& file, const Map& map, const json_t* list, int depth) {
  if (depth > kMaxGroupDepth)
    file.Fail("groups nested more than " + std::to_string(kMaxGroupDepth) + " deep");
  std::vector<Layer> layers;
  for (size_t i = 0; i < json_array_size(list); ++i) {
    const json_t* node = json_array_get(list, i);
    const std::string kind = String(node, "type");
    Layer layer;
    if (kind == "tilelayer") {
      layer.kind = LayerKind::kTiles;
      ReadTileLayer(file, map, node, layer);
    } else if (kind == "objectgroup") {
      layer.kind = LayerKind::kObjects;
      ReadObjects(file, node, layer);
    } else if (kind == "imagelayer") {
      layer.kind = LayerKind::kImage;
      layer.image = ReadImage(file, node, "image");
      layer.repeatX = Flag(node, "repeatx", false);
      layer.repeatY = Flag(node, "repeaty", false);
    } else if (kind == "group") {
      layer.kind = LayerKind::kGroup;
      layer.children = ReadLayers(file, map, json_object_get(node, "layers"), depth + 1);
    } else {
      continue;
    }
    layer.name = String(node, "name");
    layer.visible = Flag(node, "visible", true);
    layer.opacity = Number(node, "opacity", 1.0);
    layer.tint = ParseColor(String(node, "tintcolor"));
    layer.blend = ParseBlendMode(String(node, "mode"));
    const bool oldImageLayer = kind == "imagelayer" && !json_object_get(node, "offsetx") &&
                               !json_object_get(node, "offsety");
    layer.offsetX = Number(node, oldImageLayer ? "x" : "offsetx", 0);
    layer.offsetY = Number(node, oldImageLayer ? "y" : "offsety", 0);
    layers.push_back(std::move(layer));
  }
  return layers;
}

}  // namespace

Map ReadJsonMap(ReadContext& context, const std::string& text, const std::string& path) {
  const JsonFile file{path, context};
  Document document;
  Parse(text, path, document);
  const json_t* root = document.root;
  const std::string type = String(root, "type");
  if (!type.empty() && type != "map") file.Fail("not a map: its type is \"" + type + "\"");
  const std::string orientation = String(root, "orientation");
  if (orientation != "orthogonal")
    file.Fail(orientation.empty() ? "the map has no orientation"
                                  : orientation + " maps are not supported, only orthogonal ones");
  Map map;
  map.file = path;
  map.renderOrder = ParseRenderOrder(String(root, "renderorder")).value_or(RenderOrder::kRightDown);
  map.width = Int(root, "width");
  map.height = Int(root, "height");
  map.tileWidth = Int(root, "tilewidth");
  map.tileHeight = Int(root, "tileheight");
  map.infinite = Flag(root, "infinite", false);
  map.tilesets = ReadTilesetRefs(file, json_object_get(root, "tilesets"));
  map.layers = ReadLayers(file, map, json_object_get(root, "layers"), 0);
  return map;
}

std::shared_ptr<Tileset> ReadJsonTileset(ReadContext& context, const std::string& text,
                                               const std::string& path) {
  const JsonFile file{path, context};
  Document document;
  Parse(text, path, document);
  const std::string type = String(document.root, "type");
  if (!type.empty() && type != "tileset") file.Fail("not a tileset: its type is \"" + type + "\"");
  return ReadTilesetObject(file, document.root);
}

Template ReadJsonTemplate(ReadContext& context, const std::string& text, const std::string& path) {
  const JsonFile file{path, context};
  Document document;
  Parse(text, path, document);
  const std::string type = String(document.root, "type");
  if (!type.empty() && type != "template") file.Fail("not an object template: its type is \"" + type + "\"");
  Template result;
  result.object = ReadObjectFields(json_object_get(document.root, "object"));
  // A template names its tileset as one object; a list is read as well.
  json_t* tilesets = json_object_get(document.root, "tilesets");
  Document single;
  single.root = json_array();
  if (json_t* tileset = json_object_get(document.root, "tileset")) json_array_append(single.root, tileset);
  result.tilesets = std::make_shared<const TilesetList>(
      ReadTilesetRefs(file, json_array_size(single.root) > 0 ? single.root : tilesets));
  return result;
}

}  // namespace importer
