#include "import/read/json_reader.h"

#include <jansson.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "import/import_error.h"
#include "import/limits.h"
#include "import/read/decode.h"
#include "import/read/json_fields.h"
#include "import/read/shared_steps.h"
#include "import/read/values.h"

namespace importer {
namespace {

constexpr int kMaxGroupDepth = 1000;

std::optional<uint32_t> Gid(const json_t* value) {
  if (!json_is_number(value)) return std::nullopt;
  const double number = json_number_value(value);
  if (!(number >= 0 && number <= 4294967295.0) || number != std::floor(number)) return std::nullopt;
  return static_cast<uint32_t>(number);
}

ImageRef ReadImage(const Fields& owner, const char* key) {
  ImageRef ref;
  ref.namedIn = owner.file.path;
  const std::string source = owner.String(key);
  if (!source.empty()) ref.path = ResolvePath(owner.file.path, source);
  ref.transparent = ParseColor(owner.String("transparentcolor"));
  return ref;
}

// "tiles" is an array of tiles with ids in newer files, an object keyed by
// the id in older ones.
void ReadTileEntries(const Fields& set, Tileset& tileset) {
  auto readOne = [&](const json_t* node, std::optional<int> key) {
    if (!json_is_object(node)) set.file.Fail(set.owner + "a tile that is not an object");
    const Fields tile = set.Of(node, "tile " + std::to_string(tileset.tiles.size()) + ": ");
    TileEntry entry;
    entry.id = key ? *key : tile.RequiredInt("id");
    entry.x = tile.Int("x");
    entry.y = tile.Int("y");
    entry.width = tile.Int("width");
    entry.height = tile.Int("height");
    entry.image = ReadImage(tile, "image");
    const json_t* animation = tile.Array("animation");
    for (size_t i = 0; i < json_array_size(animation); ++i) {
      const json_t* frame = json_array_get(animation, i);
      const std::string name = "animation frame " + std::to_string(i) + ": ";
      if (!json_is_object(frame)) set.file.Fail(tile.owner + "an animation frame that is not an object");
      const Fields fields = tile.Of(frame, name);
      entry.animation.push_back({fields.RequiredInt("tileid"), fields.Int("duration")});
    }
    tileset.tiles.push_back(std::move(entry));
  };
  const json_t* tiles = set.Get("tiles");
  if (json_is_array(tiles)) {
    for (size_t i = 0; i < json_array_size(tiles); ++i) readOne(json_array_get(tiles, i), std::nullopt);
  } else if (json_is_object(tiles)) {
    const char* key;
    const json_t* tile;
    json_object_foreach(const_cast<json_t*>(tiles), key, tile) {
      readOne(tile, static_cast<int>(std::strtol(key, nullptr, 10)));
    }
  } else if (tiles != nullptr) {
    set.Expected("tiles", "an array", tiles);
  }
  SortTiles(tileset);
}

std::shared_ptr<Tileset> ReadTilesetObject(const Fields& set) {
  auto tileset = std::make_shared<Tileset>();
  tileset->file = set.file.path;
  tileset->tileWidth = set.Int("tilewidth");
  tileset->tileHeight = set.Int("tileheight");
  tileset->spacing = set.Int("spacing");
  tileset->margin = set.Int("margin");
  tileset->alignment = ParseAlignment(set.String("objectalignment"));
  tileset->gridRenderSize = set.String("tilerendersize") == "grid";
  tileset->preserveAspect = set.String("fillmode") == "preserve-aspect-fit";
  if (const json_t* offset = set.Object("tileoffset")) {
    const Fields fields = set.Of(offset, "its tile offset: ");
    tileset->offsetX = fields.Int("x");
    tileset->offsetY = fields.Int("y");
  }
  tileset->image = ReadImage(set, "image");
  ReadTileEntries(set, *tileset);
  if (const std::string problem = CutProblem(*tileset); !problem.empty()) set.file.Fail(set.owner + problem);
  return tileset;
}

TilesetList ReadTilesetRefs(const JsonFile& file, const json_t* tilesets) {
  TilesetList list;
  for (size_t i = 0; i < json_array_size(tilesets); ++i) {
    const json_t* node = json_array_get(tilesets, i);
    if (!json_is_object(node)) file.Fail("a tileset entry that is not an object");
    const Fields fields{file, node, ""};
    const std::string name = fields.String("name");
    const Fields set = fields.Of(node, "tileset " + (name.empty() ? std::to_string(i + 1) : Quoted(name)) + ": ");
    TilesetRef ref;
    const std::optional<uint32_t> firstGid = Gid(set.Get("firstgid"));
    if (!firstGid || *firstGid == 0) set.Expected("firstgid", "a tile id of 1 or more", set.Get("firstgid"));
    ref.firstGid = *firstGid;
    const std::string source = set.String("source");
    if (!source.empty())
      ref.tileset = file.linked->tileset(ResolvePath(file.path, source), file.path);
    else
      ref.tileset = ReadTilesetObject(set);
    list.push_back(std::move(ref));
  }
  SortTilesets(list);
  return list;
}

ObjectFields ReadObjectFields(const Fields& object) {
  ObjectFields fields;
  fields.x = object.OptionalNumber("x");
  fields.y = object.OptionalNumber("y");
  fields.width = object.OptionalNumber("width");
  fields.height = object.OptionalNumber("height");
  fields.rotation = object.OptionalNumber("rotation");
  fields.opacity = object.OptionalNumber("opacity");
  if (const json_t* gid = object.Get("gid")) {
    fields.gid = Gid(gid);
    if (!fields.gid) object.Expected("gid", "a tile id", gid);
  }
  if (object.Get("visible")) fields.visible = object.Flag("visible", true);
  return fields;
}

// The cells of a layer or chunk: an array of numbers, or encoded text.
std::vector<uint32_t> ReadCells(const Fields& layer, const Fields& owner, int64_t width, int64_t height) {
  const JsonFile& file = layer.file;
  const std::string refusal = SizeRefusal(width, height);
  if (!refusal.empty())
    file.Fail(owner.owner + "data of " + std::to_string(width) + " x " + std::to_string(height) + " cells " +
              refusal);
  const size_t count = static_cast<size_t>(width * height);
  const std::string encoding = layer.String("encoding");
  const json_t* data = owner.Get("data");
  if (json_is_array(data) && (encoding.empty() || encoding == "csv")) {
    if (json_array_size(data) != count)
      file.Fail(owner.owner + std::to_string(json_array_size(data)) + " cells, not " + std::to_string(count));
    std::vector<uint32_t> gids(count);
    for (size_t i = 0; i < count; ++i) {
      const std::optional<uint32_t> gid = Gid(json_array_get(data, i));
      if (!gid)
        file.Fail(owner.owner + "\"data\" cell " + std::to_string(i) + " should be a tile id, not " +
                  Kind(json_array_get(data, i)));
      gids[i] = *gid;
    }
    return gids;
  }
  if (!json_is_string(data)) owner.Expected("data", "an array of tile ids or a string", data);
  try {
    return DecodeCells(json_string_value(data), encoding, layer.String("compression"), count);
  } catch (const DataError& error) {
    file.Fail(owner.owner + error.what());
  }
}

void ReadTileLayer(const Fields& node, const Map& map, Layer& layer) {
  if (const json_t* chunks = node.Array("chunks"); map.infinite && chunks) {
    std::vector<CellGrid> grids;
    for (size_t i = 0; i < json_array_size(chunks); ++i) {
      const json_t* element = json_array_get(chunks, i);
      if (!json_is_object(element)) node.file.Fail(node.owner + "a chunk that is not an object");
      const Fields chunk = node.Of(element, "chunk " + std::to_string(i + 1) + ": ");
      CellGrid grid;
      grid.x = chunk.RequiredInt("x");
      grid.y = chunk.RequiredInt("y");
      grid.width = chunk.RequiredInt("width");
      grid.height = chunk.RequiredInt("height");
      grid.gids = ReadCells(node, chunk, grid.width, grid.height);
      grids.push_back(std::move(grid));
    }
    try {
      layer.cells = JoinChunks(grids);
    } catch (const DataError& error) {
      node.file.Fail(node.owner + error.what());
    }
    return;
  }
  if (node.Get("data") == nullptr) return;  // no cells at all
  layer.cells.width = node.Int("width", map.width);
  layer.cells.height = node.Int("height", map.height);
  layer.cells.gids = ReadCells(node, node, layer.cells.width, layer.cells.height);
}

void ReadObjects(const Fields& node, Layer& layer) {
  const json_t* objects = node.Array("objects");
  for (size_t i = 0; i < json_array_size(objects); ++i) {
    const json_t* element = json_array_get(objects, i);
    if (!json_is_object(element)) node.file.Fail(node.owner + "an object that is not a JSON object");
    const Fields object = node.Of(element, "object " + std::to_string(i + 1) + ": ");
    std::shared_ptr<const Template> from;
    const std::string source = object.String("template");
    if (!source.empty())
      from = node.file.linked->objectTemplate(ResolvePath(node.file.path, source), node.file.path);
    if (std::optional<Object> made = MakeObject(ReadObjectFields(object), from))
      layer.objects.push_back(std::move(*made));
  }
  SortObjects(layer.objects, node.String("draworder") == "index");
}

std::vector<Layer> ReadLayers(const JsonFile& file, const Map& map, const json_t* list, int depth) {
  if (depth > kMaxGroupDepth)
    file.Fail("groups nested more than " + std::to_string(kMaxGroupDepth) + " deep");
  std::vector<Layer> layers;
  for (size_t i = 0; i < json_array_size(list); ++i) {
    const json_t* element = json_array_get(list, i);
    if (!json_is_object(element)) file.Fail("a layer that is not an object");
    const Fields unnamed{file, element, "layer " + std::to_string(i + 1) + ": "};
    const std::string name = unnamed.String("name");
    const Fields node{file, element, "layer " + (name.empty() ? std::to_string(i + 1) : Quoted(name)) + ": "};
    const std::string kind = node.RequiredString("type");
    Layer layer;
    if (kind == "tilelayer") {
      layer.kind = LayerKind::kTiles;
      ReadTileLayer(node, map, layer);
    } else if (kind == "objectgroup") {
      layer.kind = LayerKind::kObjects;
      ReadObjects(node, layer);
    } else if (kind == "imagelayer") {
      layer.kind = LayerKind::kImage;
      layer.image = ReadImage(node, "image");
      layer.repeatX = node.Flag("repeatx", false);
      layer.repeatY = node.Flag("repeaty", false);
    } else if (kind == "group") {
      layer.kind = LayerKind::kGroup;
      layer.children = ReadLayers(file, map, node.Array("layers"), depth + 1);
    } else {
      continue;
    }
    layer.name = name;
    layer.visible = node.Flag("visible", true);
    layer.opacity = node.Number("opacity", 1.0);
    layer.tint = ParseColor(node.String("tintcolor"));
    layer.blend = ParseBlendMode(node.String("mode"));
    const bool oldImageLayer = kind == "imagelayer" && !node.Get("offsetx") && !node.Get("offsety");
    layer.offsetX = node.Number(oldImageLayer ? "x" : "offsetx", 0);
    layer.offsetY = node.Number(oldImageLayer ? "y" : "offsety", 0);
    layers.push_back(std::move(layer));
  }
  return layers;
}

}  // namespace

Map ReadJsonMap(const LinkedFiles& linked, const std::string& text, const std::string& path) {
  const JsonFile file{path, &linked};
  JsonDocument document;
  ParseJson(text, path, document);
  const Fields root{file, document.root, "the map's "};
  const std::string type = root.String("type");
  if (!type.empty() && type != "map") file.Fail("not a map: its type is \"" + type + "\"");
  const std::string orientation = root.RequiredString("orientation");
  Map map;
  map.file = path;
  if (const std::optional<Orientation> known = ParseOrientation(orientation))
    map.orientation = *known;
  else
    file.Fail("the map's orientation \"" + orientation +
              "\" is none of orthogonal, isometric, staggered, hexagonal, oblique");
  map.renderOrder = ParseRenderOrder(root.String("renderorder")).value_or(RenderOrder::kRightDown);
  map.infinite = root.Flag("infinite", false);
  map.width = map.infinite ? root.Int("width") : root.RequiredInt("width");
  map.height = map.infinite ? root.Int("height") : root.RequiredInt("height");
  map.tileWidth = root.RequiredInt("tilewidth");
  map.tileHeight = root.RequiredInt("tileheight");
  map.staggerX = root.String("staggeraxis") == "x";
  map.staggerEven = root.String("staggerindex") == "even";
  map.hexSideLength = root.Int("hexsidelength");
  map.skewX = root.Number("skewx", 0);
  map.skewY = root.Number("skewy", 0);
  map.background = ParseColor(root.String("backgroundcolor"));
  map.tilesets = ReadTilesetRefs(file, root.Array("tilesets"));
  if (root.Get("layers") == nullptr) root.Expected("layers", "an array", nullptr);
  map.layers = ReadLayers(file, map, root.Array("layers"), 0);
  return map;
}

std::shared_ptr<Tileset> ReadJsonTileset(const LinkedFiles& linked, const std::string& text,
                                         const std::string& path) {
  const JsonFile file{path, &linked};
  JsonDocument document;
  ParseJson(text, path, document);
  const Fields root{file, document.root, "the tileset's "};
  const std::string type = root.String("type");
  if (!type.empty() && type != "tileset") file.Fail("not a tileset: its type is \"" + type + "\"");
  return ReadTilesetObject(root);
}

Template ReadJsonTemplate(const LinkedFiles& linked, const std::string& text, const std::string& path) {
  const JsonFile file{path, &linked};
  JsonDocument document;
  ParseJson(text, path, document);
  const Fields root{file, document.root, "the template's "};
  const std::string type = root.String("type");
  if (!type.empty() && type != "template") file.Fail("not an object template: its type is \"" + type + "\"");
  Template result;
  if (const json_t* object = root.Object("object")) result.object = ReadObjectFields(root.Of(object, "object: "));
  // A template names its tileset as one object; a list is read as well.
  const json_t* tilesets = root.Array("tilesets");
  JsonDocument single;
  single.root = json_array();
  if (const json_t* tileset = root.Object("tileset")) json_array_append(single.root, const_cast<json_t*>(tileset));
  result.tilesets = std::make_shared<const TilesetList>(
      ReadTilesetRefs(file, json_array_size(single.root) > 0 ? single.root : tilesets));
  return result;
}

}  // namespace importer
