// The importer's fiddly parts, by tables: the encodings of a layer's cells,
// the eight flip combinations, cutting a tileset image, placing the picture.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/composer.h"
#include "import/decode.h"
#include "import/draw_item.h"
#include "import/import_error.h"
#include "import/model.h"

using namespace importer;

namespace {

// Tile 3 flipped horizontally among plain ones, as the editor writes it.
const std::vector<uint32_t> kCells = {1, 2, 0, 0x80000003u, 0, 1};

struct Encoded {
  const char* name;
  const char* encoding;
  const char* compression;
  const char* text;
};

class CellEncodings : public testing::TestWithParam<Encoded> {};

TEST_P(CellEncodings, EveryEncodingGivesTheSameCells) {
  const Encoded& c = GetParam();
  EXPECT_EQ(DecodeCells(c.text, c.encoding, c.compression, kCells.size()), kCells);
}

INSTANTIATE_TEST_SUITE_P(
    Importer, CellEncodings,
    testing::Values(
        Encoded{"csv_as_the_editor_wraps_it", "csv", "", "\n1,2,0,\n2147483651,0,1\n"},
        Encoded{"csv_with_spaces_and_crlf", "csv", "", " 1 , 2,0,\r\n 2147483651 ,0 , 1 "},
        Encoded{"base64", "base64", "", "\n   AQAAAAIAAAAAAAAA\n   AwAAgAAAAAABAAAA\n"},
        Encoded{"zlib", "base64", "zlib", "eJxjZGBgYGKAAGYGhgYQzQjEAAUAAIg="},
        Encoded{"gzip", "base64", "gzip", "H4sIAAAAAAACA2NkYGBgYoAAZgaGBhDNCMQAUWxdQRgAAAA="},
        Encoded{"zstd", "base64", "zstd", "KLUv/QRYwQAAAQAAAAIAAAAAAAAAAwAAgAAAAAABAAAAIWOQhA=="}),
    [](const auto& info) { return std::string(info.param.name); });

class BrokenCells : public testing::TestWithParam<Encoded> {};

TEST_P(BrokenCells, AreRefusedWithTheProblemInWords) {
  const Encoded& c = GetParam();
  try {
    DecodeCells(c.text, c.encoding, c.compression, kCells.size());
    FAIL() << "decoded";
  } catch (const DataError& error) {
    EXPECT_NE(std::string(error.what()).find(c.name), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Importer, BrokenCells,
    testing::Values(
        Encoded{"5 values, not 6", "csv", "", "1,2,0,3,0"},
        Encoded{"more than 6", "csv", "", "1,2,0,3,0,1,1"},
        Encoded{"not a tile id", "csv", "", "1,2,x,3,0,1"},
        Encoded{"not a tile id", "csv", "", "1,2,4294967296,3,0,1"},
        Encoded{"stray character", "base64", "", "AQAA*AIAAAAAAAAAAwAAgAAAAAABAAAA"},
        Encoded{"20 bytes, not the 24", "base64", "", "AQAAAAIAAAAAAAAAAwAAgAAAAAA="},
        Encoded{"cut short", "base64", "zlib", "eJxjZGBgYGKAAGYGhgYQzQg="},
        Encoded{"gzip data is cut short", "base64", "gzip", "H4sIAAAAAAACA2NkYGBgYoAAZgaGBhDNCMQA"},
        Encoded{"zstd data is cut short", "base64", "zstd", "KLUv/QRYwQAAAQAAAAI="},
        Encoded{"zlib data is corrupt", "base64", "zlib", "////AAAA"},
        Encoded{"zstd data is corrupt", "base64", "zstd", "AAAAAAAAAAAA"},
        Encoded{"unknown compression \"lz4\"", "base64", "lz4", "AQAAAA=="},
        Encoded{"unknown encoding \"hex\"", "hex", "", "01"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// A 2 × 3 tile whose pixels are told apart by their red value: a b / c d / e f.
Image Letters() {
  Image image;
  image.width = 2, image.height = 3;
  for (const char letter : std::string("abcdef")) image.pixels.push_back(Pixel{uint8_t(letter), 0, 0, 255});
  return image;
}

// What a block shows in its top-left corner, rows split by "/", '.' for nothing.
std::string Corner(const Block& block, int width, int height) {
  std::string out;
  for (int y = 0; y < height; ++y) {
    if (y > 0) out += '/';
    for (int x = 0; x < width; ++x) {
      const Pixel& p = block[static_cast<size_t>(y) * kBlock + x];
      out += p.a == 0 ? '.' : char(p.r);
    }
  }
  return out;
}

TEST(ImporterFlips, AllEightCombinationsKeepTheBottomLeftCorner) {
  const Image letters = Letters();
  struct Case {
    uint32_t flags;
    const char* picture;  // the 3 × 3 corner with the box's bottom on row 3
  };
  const Case cases[] = {
      {0, "ab./cd./ef."},                      {kFlipH, "ba./dc./fe."},
      {kFlipV, "ef./cd./ab."},                 {kFlipH | kFlipV, "fe./dc./ba."},
      {kFlipD, ".../ace/bdf"},                 {kFlipH | kFlipD, ".../eca/fdb"},  // turned clockwise
      {kFlipV | kFlipD, ".../bdf/ace"},        {kFlipH | kFlipV | kFlipD, ".../fdb/eca"}};
  for (const Case& c : cases) {
    Placement placement;
    placement.image = &letters;
    placement.sourceWidth = 2, placement.sourceHeight = 3;
    placement.width = 2, placement.height = 3, placement.bottom = 3;
    placement.flips = FlipsOf(c.flags | 7);
    Block block{};
    Draw(placement, block, 0, 0, {0, 0, kBlock, kBlock});
    EXPECT_EQ(Corner(block, 3, 3), c.picture) << "flags " << std::hex << c.flags;
  }
}

TEST(ImporterTilesets, AreCutFromTheRealImageWithMarginAndSpacing) {
  auto tileset = std::make_shared<Tileset>();
  tileset->tileWidth = tileset->tileHeight = 32;
  tileset->margin = tileset->spacing = 1;
  auto image = std::make_shared<Image>();
  image->width = 265, image->height = 199;  // 8 × 6 tiles, pixels left over
  tileset->image.path = "tiles.png";
  tileset->image.pixels = image;
  tileset->tiles.push_back(TileEntry{5, {}, 0, 0, 0, 0, 30});  // animated: its first frame is tile 30
  const TilesetList list{{10, tileset}};
  const TileImage tile = ResolveGid(list, 10 + 30);
  EXPECT_EQ(tile.x, 199);
  EXPECT_EQ(tile.y, 100);
  EXPECT_EQ(ResolveGid(list, 10 + 5).y, 100);
  EXPECT_NE(ResolveGid(list, (10 + 47) | kFlipH).image, nullptr);
  EXPECT_EQ(ResolveGid(list, 10 + 48).image, nullptr);  // past the end: nothing
}

TEST(ImporterPlacement, CentresWhatFitsAndShowsTheTopLeftOfWhatDoesNot) {
  // The view starts at map pixel 1360 and is 1280 wide.
  EXPECT_EQ(PlaceOnAxis(128, 1360, 1280), 1920);   // centred at 1936: a tie, the lower grid line
  EXPECT_EQ(PlaceOnAxis(100, 1360, 1280), 1952);   // centred at 1950
  EXPECT_EQ(PlaceOnAxis(1264, 1360, 1280), 1376);  // fits just: first grid line in view
  EXPECT_EQ(PlaceOnAxis(1270, 1360, 1280), 1376);  // too long for the grid: its start in view
  EXPECT_EQ(PlaceOnAxis(100000, 1360, 1280), 1376);
  EXPECT_EQ(PlaceOnAxis(32, 1740, 720), 2080);     // 2084 is nearer 2080 than 2112
}

}  // namespace
