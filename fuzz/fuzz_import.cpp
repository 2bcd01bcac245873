// libFuzzer target: the importer's readers and decoders. The first byte
// picks what the rest is:
//   0: a map of any orientation, read as either format, then composed with
//      stand-in images
//   1: a tileset file    2: an object template file
//   3..: one layer's encoded cells (the byte's bits say how, and how many)
// External files a map names are a small tileset of each format. Whatever
// the input, the result is a model or an ImportError/DataError, never a
// crash, a hang or an access out of bounds.

#include <cstdint>
#include <string>

#include "import/compose/composer.h"
#include "import/read/decode.h"
#include "import/import_error.h"
#include "import/read/read_map.h"

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

std::string Serve(const std::string& path, const std::string&) {
  if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".tsx") == 0) return kXmlTileset;
  if (path.size() >= 3 && path.compare(path.size() - 3, 3, ".tx") == 0) return kXmlTemplate;
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
  if (picture.width * picture.height <= 1 << 22) Compose(map, options);  // big pictures only take time
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
