#include "import/read/xml_reader.h"

#include <pugixml.hpp>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "import/import_error.h"
#include "import/limits.h"
#include "import/read/decode.h"
#include "import/read/shared_steps.h"
#include "import/read/values.h"

namespace importer {
namespace {

constexpr int kMaxGroupDepth = 1000;

// One file being read: its text (for line numbers) and its path.
struct XmlFile {
  const std::string& text;
  const std::string& path;
  const LinkedFiles& linked;

  int LineOf(ptrdiff_t offset) const {
    if (offset < 0) return 0;
    const auto end = text.begin() + std::min<ptrdiff_t>(offset, static_cast<ptrdiff_t>(text.size()));
    return 1 + static_cast<int>(std::count(text.begin(), end, '\n'));
  }
  [[noreturn]] void Fail(const pugi::xml_node& node, const std::string& problem) const {
    throw ImportError(Where(path, LineOf(node.offset_debug())) + problem);
  }
};

pugi::xml_document Parse(const std::string& text, const std::string& path, const XmlFile& file) {
  pugi::xml_document document;
  const pugi::xml_parse_result result = document.load_buffer(text.data(), text.size());
  if (!result)
    throw ImportError(Where(path, file.LineOf(result.offset)) + "not well-formed XML: " +
                      result.description());
  return document;
}

std::optional<double> OptionalNumber(const pugi::xml_node& node, const char* name) {
  const pugi::xml_attribute attribute = node.attribute(name);
  if (!attribute) return std::nullopt;
  return attribute.as_double();
}

// A count of cells: the XML library reads a number past 32 bits as the
// nearest that fits, which would then be refused under a value the file
// doesn't hold; the refusal names the value as written instead.
int CellCount(const XmlFile& file, const pugi::xml_node& node, const char* name, int otherwise = 0) {
  const pugi::xml_attribute attribute = node.attribute(name);
  if (!attribute) return otherwise;
  const long long value = attribute.as_llong();
  if (value < INT32_MIN || value > INT32_MAX) {
    const std::string text = attribute.as_string();
    file.Fail(node, std::string(name) + " \"" + (text.size() > 40 ? text.substr(0, 40) + "..." : text) +
                        "\" is more cells than the importer takes");
  }
  return static_cast<int>(value);
}

bool Flag(const pugi::xml_node& node, const char* name, bool otherwise) {
  const pugi::xml_attribute attribute = node.attribute(name);
  return attribute ? attribute.as_int() != 0 : otherwise;
}

ImageRef ReadImage(const XmlFile& file, const pugi::xml_node& image) {
  ImageRef ref;
  ref.namedIn = file.path;
  ref.transparent = ParseColor(image.attribute("trans").as_string());
  const std::string source = image.attribute("source").as_string();
  if (!source.empty()) {
    ref.path = ResolvePath(file.path, source);
  } else if (const pugi::xml_node data = image.child("data")) {
    try {
      ref.embedded = DecodeBase64(data.text().get());
    } catch (const DataError& error) {
      file.Fail(data, std::string("the embedded image: ") + error.what());
    }
  }
  return ref;
}

// A tile's <animation>; without one, the older properties animation-frameN
// and animation-delayN (tens of ms), in order from 0 while both of the next
// index are there, as the editor's reader takes them.
std::vector<Frame> ReadAnimation(const pugi::xml_node& tile) {
  std::vector<Frame> frames;
  if (const pugi::xml_node animation = tile.child("animation")) {
    for (const pugi::xml_node frame : animation.children("frame"))
      frames.push_back({frame.attribute("tileid").as_int(), frame.attribute("duration").as_int()});
    return frames;
  }
  const pugi::xml_node properties = tile.child("properties");
  if (!properties) return frames;
  std::map<size_t, std::pair<pugi::xml_attribute, pugi::xml_attribute>> numbered;  // frame, delay by index
  const std::string frameName = "animation-frame", delayName = "animation-delay";
  for (const pugi::xml_node property : properties.children("property")) {
    const std::string name = property.attribute("name").as_string();
    const bool isFrame = name.compare(0, frameName.size(), frameName) == 0;
    const bool isDelay = name.compare(0, delayName.size(), delayName) == 0;
    if (!isFrame && !isDelay) continue;
    // The index as the editor writes it: digits, no leading zero.
    const std::string digits = name.substr(frameName.size());  // both prefixes are as long
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos ||
        (digits[0] == '0' && digits.size() > 1))
      continue;
    auto& pair = numbered[std::stoul(digits)];
    (isFrame ? pair.first : pair.second) = property.attribute("value");
  }
  for (size_t index = 0;; ++index) {
    const auto found = numbered.find(index);
    if (found == numbered.end() || !found->second.first || !found->second.second) break;
    // Tens of ms, in 64 bits: a delay of 2^31 - 1 would overflow.
    const int64_t duration = std::clamp<int64_t>(int64_t{found->second.second.as_int()} * 10, INT32_MIN, INT32_MAX);
    frames.push_back({found->second.first.as_int(), static_cast<int>(duration)});
  }
  return frames;
}

std::shared_ptr<Tileset> ReadTilesetElement(const XmlFile& file, const pugi::xml_node& node) {
  auto tileset = std::make_shared<Tileset>();
  tileset->file = file.path;
  tileset->tileWidth = node.attribute("tilewidth").as_int();
  tileset->tileHeight = node.attribute("tileheight").as_int();
  tileset->spacing = node.attribute("spacing").as_int();
  tileset->margin = node.attribute("margin").as_int();
  tileset->alignment = ParseAlignment(node.attribute("objectalignment").as_string());
  tileset->gridRenderSize = std::strcmp(node.attribute("tilerendersize").as_string(), "grid") == 0;
  tileset->preserveAspect =
      std::strcmp(node.attribute("fillmode").as_string(), "preserve-aspect-fit") == 0;
  if (const pugi::xml_node offset = node.child("tileoffset")) {
    tileset->offsetX = offset.attribute("x").as_int();
    tileset->offsetY = offset.attribute("y").as_int();
  }
  if (const pugi::xml_node image = node.child("image")) tileset->image = ReadImage(file, image);
  for (const pugi::xml_node tile : node.children("tile")) {
    TileEntry entry;
    entry.id = tile.attribute("id").as_int();
    entry.x = tile.attribute("x").as_int();
    entry.y = tile.attribute("y").as_int();
    entry.width = tile.attribute("width").as_int();
    entry.height = tile.attribute("height").as_int();
    if (const pugi::xml_node image = tile.child("image")) entry.image = ReadImage(file, image);
    entry.animation = ReadAnimation(tile);
    tileset->tiles.push_back(std::move(entry));
  }
  SortTiles(*tileset);
  if (const std::string problem = CutProblem(*tileset); !problem.empty()) file.Fail(node, problem);
  return tileset;
}

TilesetList ReadTilesetRefs(const XmlFile& file, const pugi::xml_node& parent) {
  TilesetList list;
  for (const pugi::xml_node node : parent.children("tileset")) {
    TilesetRef ref;
    ref.firstGid = node.attribute("firstgid").as_uint();
    if (ref.firstGid == 0) file.Fail(node, "tileset without a first gid");
    const std::string source = node.attribute("source").as_string();
    if (!source.empty())
      ref.tileset = file.linked.tileset(ResolvePath(file.path, source), file.path);
    else
      ref.tileset = ReadTilesetElement(file, node);
    list.push_back(std::move(ref));
  }
  SortTilesets(list);
  return list;
}

ObjectFields ReadObjectFields(const pugi::xml_node& node) {
  ObjectFields fields;
  fields.x = OptionalNumber(node, "x");
  fields.y = OptionalNumber(node, "y");
  fields.width = OptionalNumber(node, "width");
  fields.height = OptionalNumber(node, "height");
  fields.rotation = OptionalNumber(node, "rotation");
  fields.opacity = OptionalNumber(node, "opacity");
  if (const pugi::xml_attribute gid = node.attribute("gid")) fields.gid = gid.as_uint();
  if (node.attribute("visible")) fields.visible = Flag(node, "visible", true);
  return fields;
}

// Cells of a <data> or <chunk>: <tile> elements or encoded text.
std::vector<uint32_t> ReadCells(const XmlFile& file, const pugi::xml_node& node,
                                const std::string& encoding, const std::string& compression,
                                int64_t width, int64_t height) {
  const std::string refusal = SizeRefusal(width, height);
  if (!refusal.empty())
    file.Fail(node, "layer data of " + std::to_string(width) + " x " + std::to_string(height) + " cells " +
                        refusal);
  const size_t count = static_cast<size_t>(width * height);
  if (encoding.empty()) {
    std::vector<uint32_t> gids;
    for (const pugi::xml_node tile : node.children("tile")) {
      if (gids.size() == count) file.Fail(tile, "more <tile> elements than the layer's " + std::to_string(count) + " cells");
      gids.push_back(tile.attribute("gid").as_uint());  // <tile/> without a gid is empty
    }
    if (gids.size() != count)
      file.Fail(node, std::to_string(gids.size()) + " <tile> elements, not " + std::to_string(count));
    return gids;
  }
  try {
    return DecodeCells(node.text().get(), encoding, compression, count);
  } catch (const DataError& error) {
    file.Fail(node, error.what());
  }
}

void ReadLayerBasics(const pugi::xml_node& node, Layer& layer) {
  layer.name = node.attribute("name").as_string();
  layer.visible = Flag(node, "visible", true);
  layer.opacity = node.attribute("opacity").as_double(1.0);
  layer.tint = ParseColor(node.attribute("tintcolor").as_string());
  layer.offsetX = node.attribute("offsetx").as_double();
  layer.offsetY = node.attribute("offsety").as_double();
  layer.blend = ParseBlendMode(node.attribute("mode").as_string());
}

void ReadTileLayer(const XmlFile& file, const Map& map, const pugi::xml_node& node, Layer& layer) {
  const pugi::xml_node data = node.child("data");
  const std::string encoding = data.attribute("encoding").as_string();
  const std::string compression = data.attribute("compression").as_string();
  if (!map.infinite) {
    layer.cells.width = CellCount(file, node, "width", map.width);
    layer.cells.height = CellCount(file, node, "height", map.height);
    if (!data) {  // no data at all: an empty layer
      layer.cells.width = layer.cells.height = 0;
      return;
    }
    layer.cells.gids = ReadCells(file, data, encoding, compression, layer.cells.width, layer.cells.height);
    return;
  }
  std::vector<CellGrid> chunks;
  for (const pugi::xml_node node : data.children("chunk")) {
    CellGrid chunk;
    chunk.x = node.attribute("x").as_int();
    chunk.y = node.attribute("y").as_int();
    chunk.width = node.attribute("width").as_int();
    chunk.height = node.attribute("height").as_int();
    chunk.gids = ReadCells(file, node, encoding, compression, chunk.width, chunk.height);
    chunks.push_back(std::move(chunk));
  }
  try {
    layer.cells = JoinChunks(chunks);
  } catch (const DataError& error) {
    file.Fail(node, error.what());
  }
}

void ReadObjects(const XmlFile& file, const pugi::xml_node& node, Layer& layer) {
  for (const pugi::xml_node element : node.children("object")) {
    std::shared_ptr<const Template> from;
    const std::string source = element.attribute("template").as_string();
    if (!source.empty()) from = file.linked.objectTemplate(ResolvePath(file.path, source), file.path);
    if (std::optional<Object> object = MakeObject(ReadObjectFields(element), from))
      layer.objects.push_back(std::move(*object));
  }
  SortObjects(layer.objects, std::strcmp(node.attribute("draworder").as_string(), "index") == 0);
}

std::vector<Layer> ReadLayers(const XmlFile& file, const Map& map, const pugi::xml_node& parent,
                              int depth) {
  if (depth > kMaxGroupDepth)
    file.Fail(parent, "groups nested more than " + std::to_string(kMaxGroupDepth) + " deep");
  std::vector<Layer> layers;
  for (const pugi::xml_node node : parent.children()) {
    const std::string kind = node.name();
    Layer layer;
    if (kind == "layer") {
      layer.kind = LayerKind::kTiles;
      ReadTileLayer(file, map, node, layer);
    } else if (kind == "objectgroup") {
      layer.kind = LayerKind::kObjects;
      ReadObjects(file, node, layer);
    } else if (kind == "imagelayer") {
      layer.kind = LayerKind::kImage;
      if (const pugi::xml_node image = node.child("image")) layer.image = ReadImage(file, image);
      layer.repeatX = Flag(node, "repeatx", false);
      layer.repeatY = Flag(node, "repeaty", false);
    } else if (kind == "group") {
      layer.kind = LayerKind::kGroup;
      layer.children = ReadLayers(file, map, node, depth + 1);
    } else {
      continue;  // properties, editor settings, tilesets: nothing to draw
    }
    ReadLayerBasics(node, layer);
    if (kind == "imagelayer" && !node.attribute("offsetx") && !node.attribute("offsety")) {
      layer.offsetX = node.attribute("x").as_double();  // very old files place it so
      layer.offsetY = node.attribute("y").as_double();
    }
    layers.push_back(std::move(layer));
  }
  return layers;
}

}  // namespace

Map ReadXmlMap(const LinkedFiles& linked, const std::string& text, const std::string& path) {
  const XmlFile file{text, path, linked};
  const pugi::xml_document document = Parse(text, path, file);
  const pugi::xml_node root = document.document_element();
  if (std::strcmp(root.name(), "map") != 0)
    file.Fail(root, "not a map: its root element is <" + std::string(root.name()) + ">");
  const std::string orientation = root.attribute("orientation").as_string();
  Map map;
  map.file = path;
  if (orientation.empty()) file.Fail(root, "the map has no orientation");
  if (const std::optional<Orientation> known = ParseOrientation(orientation))
    map.orientation = *known;
  else
    file.Fail(root, "the map's orientation \"" + orientation +
                        "\" is none of orthogonal, isometric, staggered, hexagonal, oblique");
  map.staggerX = std::strcmp(root.attribute("staggeraxis").as_string(), "x") == 0;
  map.staggerEven = std::strcmp(root.attribute("staggerindex").as_string(), "even") == 0;
  map.hexSideLength = root.attribute("hexsidelength").as_int();
  map.skewX = root.attribute("skewx").as_double();
  map.skewY = root.attribute("skewy").as_double();
  map.background = ParseColor(root.attribute("backgroundcolor").as_string());
  map.renderOrder = ParseRenderOrder(root.attribute("renderorder").as_string()).value_or(RenderOrder::kRightDown);
  map.width = CellCount(file, root, "width");
  map.height = CellCount(file, root, "height");
  map.tileWidth = root.attribute("tilewidth").as_int();
  map.tileHeight = root.attribute("tileheight").as_int();
  map.infinite = Flag(root, "infinite", false);
  map.tilesets = ReadTilesetRefs(file, root);
  map.layers = ReadLayers(file, map, root, 0);
  return map;
}

std::shared_ptr<Tileset> ReadXmlTileset(const LinkedFiles& linked, const std::string& text,
                                              const std::string& path) {
  const XmlFile file{text, path, linked};
  const pugi::xml_document document = Parse(text, path, file);
  const pugi::xml_node root = document.document_element();
  if (std::strcmp(root.name(), "tileset") != 0)
    file.Fail(root, "not a tileset: its root element is <" + std::string(root.name()) + ">");
  return ReadTilesetElement(file, root);
}

Template ReadXmlTemplate(const LinkedFiles& linked, const std::string& text, const std::string& path) {
  const XmlFile file{text, path, linked};
  const pugi::xml_document document = Parse(text, path, file);
  const pugi::xml_node root = document.document_element();
  if (std::strcmp(root.name(), "template") != 0)
    file.Fail(root, "not an object template: its root element is <" + std::string(root.name()) + ">");
  Template result;
  result.object = ReadObjectFields(root.child("object"));
  result.tilesets = std::make_shared<const TilesetList>(ReadTilesetRefs(file, root));
  return result;
}

}  // namespace importer
