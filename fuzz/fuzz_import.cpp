// libFuzzer target: the importer's readers and decoders. The first byte
// picks what the rest is:
//   0: a map of any orientation, read as either format, then composed with
//      stand-in images
//   1: a tileset file    2: an object template file
//   3: a world, over a fixed folder of file names; its maps are small maps
//      of two orientations, composed together with stand-in images
//   4..: one layer's encoded cells (the byte's bits say how, and how many)
// External files a map names are a small tileset of each format. Whatever
// the input, the result is a model or an ImportError/DataError, never a
// crash, a hang or an access out of bounds.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "import/compose/composer.h"
#include "import/read/decode.h"
#include "import/import_error.h"
#include "import/read/read_map.h"
#include "import/read/world.h"

using namespace importer;

namespace {

const char kXmlTileset[] =
    "<tileset name='t' tilewidth='16' tileheight='24' spacing='1' margin='1'>"
    "<tileoffset x='3' y='-4'/><image source='t.png'/>"
    "<tile id='1'><animation><frame tileid='2' duration='100'/></animation></tile></tileset>";
const char kJsonTileset[] =
    "{\"type\":\"tileset\",\"tilewidth\":40,\"tileheight\":40,\"objectalignment\":\"center\","
    "\"tiles\":[{\"id\":3,\"image\":\"a.png\"},{\"id\":0,\"image\":\"b.png\",\"x\":2,\"y\":2,\"width\":9,\"height\":9}]}";
const char kXmlTemplate[] =
    "<template><tileset firstgid='1' source='t.tsx'/><object gid='2147483650' width='20' height='30'/></template>";

// A world's maps: an isometric one in XML, a hexagonal one in JSON.
const char kXmlMap[] =
    "<map orientation='isometric' width='3' height='2' tilewidth='32' tileheight='16' backgroundcolor='#804080'>"
    "<tileset firstgid='1' source='t.tsx'/><layer name='g' width='3' height='2'><data encoding='csv'>"
    "1,2,3,2147483650,0,5</data></layer></map>";
const char kJsonMap[] =
    "{\"type\":\"map\",\"orientation\":\"hexagonal\",\"staggeraxis\":\"x\",\"staggerindex\":\"odd\","
    "\"hexsidelength\":6,\"width\":2,\"height\":2,\"tilewidth\":20,\"tileheight\":18,"
    "\"tilesets\":[{\"firstgid\":1,\"source\":\"t.tsj\"}],"
    "\"layers\":[{\"type\":\"tilelayer\",\"name\":\"h\",\"width\":2,\"height\":2,\"data\":[1,3,536870914,4]}]}";
const std::vector<std::string> kWorldFolder = {"a.tmx", "m_0_0.tmx", "m_1_2.tmj", "m_x_1.tmx", "zz_m_3_4.tmj",
                                               "m_-2_7.tmj", "art.png"};

bool EndsWith(const std::string& text, const char* end) {
  const size_t n = std::char_traits<char>::length(end);
  return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

std::string Serve(const std::string& path, const std::string&) {
  if (EndsWith(path, ".tmx")) return kXmlMap;
  if (EndsWith(path, ".tmj")) return kJsonMap;
  if (EndsWith(path, ".tsx")) return kXmlTileset;
  if (EndsWith(path, ".tx")) return kXmlTemplate;
  return kJsonTileset;
}

// A 48 × 50 picture with every kind of alpha, for every image a map names.
std::shared_ptr<const Image> StandIn() {
  auto image = std::make_shared<Image>();
  image->width = 48, image->height = 50;
  for (int i = 0; i < 48 * 50; ++i)
    image->pixels.push_back(Pixel{uint8_t(i), uint8_t(i * 7), uint8_t(i * 13), uint8_t(i * 31)});
  return image;
}

void FillImages(const TilesetList& tilesets, const std::shared_ptr<const Image>& image) {
  for (const TilesetRef& ref : tilesets) {
    if (ref.tileset->image.Given()) ref.tileset->image.pixels = image;
    for (TileEntry& tile : ref.tileset->tiles)
      if (tile.image.Given()) tile.image.pixels = image;
  }
}

void FillImages(std::vector<Layer>& layers, const std::shared_ptr<const Image>& image) {
  for (Layer& layer : layers) {
    if (layer.image.Given()) layer.image.pixels = image;
    for (const Object& object : layer.objects)
      if (object.tilesets) FillImages(*object.tilesets, image);
    FillImages(layer.children, image);
  }
}

// Big pictures only take time. Each side is bounded before the product,
// which would overflow for a map of a huge width.
bool SmallPicture(double width, double height) {
  constexpr double kMostPixels = 1 << 22;
  return width <= kMostPixels && height <= kMostPixels && width * height <= kMostPixels;
}

void ReadAndCompose(const std::string& text) {
  ReadContext context;
  context.readFile = Serve;
  Map map = ReadMapText(context, text, "fuzz.tmx");
  static const std::shared_ptr<const Image> image = StandIn();
  FillImages(map.tilesets, image);
  FillImages(map.layers, image);
  const PictureRect picture = PictureRectOf(map, GridOf(map), FlattenLayers(map));
  ComposeOptions options;
  options.background = text.size() % 2 == 0;  // the background colour painted or not
  if (SmallPicture(picture.width, picture.height)) Compose(map, options);
}

void ReadAndComposeWorld(const std::string& text) {
  ReadContext context;
  context.readFile = Serve;
  World world;
  world.file = "w.world";
  for (const WorldEntry& entry : ReadWorldEntries(text, world.file, kWorldFolder))
    world.maps.push_back({ReadMapText(context, Serve(entry.file, world.file), entry.file), entry.x, entry.y});
  static const std::shared_ptr<const Image> image = StandIn();
  int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
  for (PlacedMap& placed : world.maps) {
    FillImages(placed.map.tilesets, image);
    FillImages(placed.map.layers, image);
    left = std::min(left, placed.x), top = std::min(top, placed.y);
    right = std::max(right, placed.x), bottom = std::max(bottom, placed.y);
  }
  ComposeOptions options;
  options.background = text.size() % 2 == 0;
  // The maps are small: the places' spread is the picture's size, near enough.
  if (!world.maps.empty() && SmallPicture(double(right) - left + 200, double(bottom) - top + 200))
    Compose(world, options);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  ReadContext context;  // for a tileset or template: the input is the file
  context.readFile = [&text](const std::string&, const std::string&) { return text; };
  try {
    switch (data[0]) {
      case 0: ReadAndCompose(text); break;
      case 1: LoadTileset(context, "x.tsx", ""); break;
      case 2: LoadTemplate(context, "x.tx", ""); break;
      case 3: ReadAndComposeWorld(text); break;
      default: {
        static const char* const kCompressions[] = {"", "zlib", "gzip", "zstd"};
        // bits 0-1 the compression, bit 2 CSV instead of base64, bits 3-7 the cell count
        DecodeCells(text, data[0] & 4 ? "csv" : "base64", kCompressions[data[0] & 3], data[0] >> 3);
        break;
      }
    }
  } catch (const ImportError&) {
  } catch (const DataError&) {
  }
  return 0;
}
