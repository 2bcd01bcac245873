// Reading the editor's files, by tables: the encodings of a layer's cells,
// JSON values of the wrong type, animated tiles, the maps a world places.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/compose/composer.h"
#include "import/import_error.h"
#include "import/model.h"
#include "import/read/decode.h"
#include "import/read/images.h"
#include "import/read/read_map.h"
#include "import/read/world.h"

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

// ---- JSON values of the wrong type ----------------------------------------------

struct JsonCase {
  const char* written;  // in a good map
  const char* wrong;    // what it becomes
  const char* message;  // what the one line says
};

class JsonTypes : public testing::TestWithParam<JsonCase> {};

TEST_P(JsonTypes, AreRefusedNamingTheFieldAndWhatWasExpected) {
  std::string text =
      R"({"type": "map", "orientation": "oblique", "width": 2, "height": 1, "tilewidth": 32,
          "tileheight": 16, "infinite": false, "skewx": 0, "tilesets": [{"firstgid": 1, "name": "t",
          "tilewidth": 32, "tileheight": 32, "image": "t.png"}], "layers": [{"type": "tilelayer",
          "name": "ground", "width": 2, "height": 1, "data": [1, 0]}, {"type": "objectgroup",
          "name": "props", "objects": [{"gid": 1, "x": 4}]}]})";
  const JsonCase& c = GetParam();
  ASSERT_NE(text.find(c.written), std::string::npos) << c.written;
  text.replace(text.find(c.written), std::string(c.written).size(), c.wrong);
  ReadContext context;
  try {
    Compose(ReadMapText(context, text, "m.tmj"));
    FAIL() << "imported";
  } catch (const ImportError& error) {
    EXPECT_EQ(std::string(error.what()), std::string("m.tmj: ") + c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Importer, JsonTypes,
    testing::Values(
        JsonCase{R"("width": 2)", R"("width": "four")",
                 R"(the map's "width" should be a whole number, not the string "four")"},
        JsonCase{R"("tilewidth": 32)", R"("tilewidth": 32.5)",
                 R"(the map's "tilewidth" should be a whole number, not the number 32.5)"},
        JsonCase{R"("width": 2)", R"("width": 8589934592)",
                 R"(the map's "width" should be a whole number, not the number 8589934592)"},
        JsonCase{R"("width": 2)", R"("width": -2)", R"(the map's size -2 x 1 cells can't be negative)"},
        JsonCase{R"("skewx": 0)", R"("skewx": 1e308)",
                 R"(the picture is too large: more than the viewer's 67108864 cells of 32 x 32 hold)"},
        JsonCase{R"("orientation": "oblique")", R"("orientation": 3)",
                 R"(the map's "orientation" should be a string, not the number 3)"},
        JsonCase{R"("infinite": false)", R"("infinite": "no")",
                 R"(the map's "infinite" should be true or false, not the string "no")"},
        JsonCase{R"("skewx": 0)", R"("skewx": true)", R"(the map's "skewx" should be a number, not true)"},
        JsonCase{R"("layers": [)", R"("layers": {}, "x": [)",
                 R"(the map's "layers" should be an array, not an object)"},
        JsonCase{R"([1, 0])", R"([1, "0"])",
                 R"(layer "ground": "data" cell 1 should be a tile id, not the string "0")"},
        JsonCase{R"([1, 0])", R"(7)",
                 R"(layer "ground": "data" should be an array of tile ids or a string, not the number 7)"},
        JsonCase{R"("firstgid": 1)", R"("firstgid": 1.5e-7)",
                 R"(tileset "t": "firstgid" should be a tile id of 1 or more, not the number 1.5e-7)"},
        JsonCase{R"("x": 4)", R"("x": "4")", R"(layer "props": object 1: "x" should be a number, not the string "4")"},
        JsonCase{R"("firstgid": 1)", R"("firstgid": "1")",
                 R"(tileset "t": "firstgid" should be a tile id of 1 or more, not the string "1")"},
        JsonCase{R"("image": "t.png")", R"("image": "t.png", "tiles": [{"id": 0, "animation": 3}])",
                 R"(tileset "t": tile 0: "animation" should be an array, not the number 3)"},
        JsonCase{R"("image": "t.png")", R"("image": "t.png", "tiles": [{"id": 0, "animation": [{"tileid": 1,
                 "duration": 5}, {"tileid": "1", "duration": 5}]}])",
                 R"(tileset "t": tile 0: animation frame 1: "tileid" should be a whole number, not the string "1")"},
        JsonCase{R"("image": "t.png")", R"("image": "t.png", "tiles": [{"id": 0, "animation": [{"tileid": 1,
                 "duration": 1e12}]}])",
                 R"(tileset "t": tile 0: animation frame 0: "duration" should be a whole number, not the number 1e12)"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ImporterJsonTypes, AMissingRequiredFieldIsNamed) {
  ReadContext context;
  try {
    ReadMapText(context, R"({"type": "map", "orientation": "orthogonal", "width": 2, "height": 1, "layers": []})",
                "m.tmj");
    FAIL() << "read";
  } catch (const ImportError& error) {
    EXPECT_EQ(std::string(error.what()), R"(m.tmj: the map's "tilewidth" should be a whole number, not missing)");
  }
}

// ---- Animated tiles ----------------------------------------------------------------

struct AnimationCase {
  const char* name;
  const char* tile;    // tile 0 of the tileset, as the file writes it
  const char* frames;  // what is read: "tile:ms ..."
};

// The frames of a tileset's tile 0, whichever way the file gives them.
class TileAnimations : public testing::TestWithParam<AnimationCase> {};

TEST_P(TileAnimations, AreReadAsTheEditorReadsThem) {
  const AnimationCase& c = GetParam();
  const bool json = c.tile[0] == '{';
  const std::string text =
      json ? std::string(R"({"type": "map", "orientation": "orthogonal", "width": 1, "height": 1, "tilewidth": 32,
             "tileheight": 32, "tilesets": [{"firstgid": 1, "name": "t", "tilewidth": 32, "tileheight": 32,
             "image": "t.png", "tiles": [)") + c.tile + R"(]}], "layers": []})"
           : std::string(R"(<map orientation="orthogonal" width="1" height="1" tilewidth="32" tileheight="32">
             <tileset firstgid="1" name="t" tilewidth="32" tileheight="32"><image source="t.png"/>)") +
                 c.tile + "</tileset></map>";
  ReadContext context;
  const Map map = ReadMapText(context, text, json ? "m.tmj" : "m.tmx");
  const TileEntry* entry = map.tilesets.at(0).tileset->Entry(0);
  ASSERT_NE(entry, nullptr);
  std::string frames;
  for (const Frame& frame : entry->animation)
    frames += (frames.empty() ? "" : " ") + std::to_string(frame.tileId) + ":" + std::to_string(frame.duration);
  EXPECT_EQ(frames, c.frames);
}

INSTANTIATE_TEST_SUITE_P(
    Importer, TileAnimations,
    testing::Values(
        AnimationCase{"xml", R"(<tile id="0"><animation><frame tileid="3" duration="150"/>
            <frame tileid="1" duration="0"/><frame tileid="2" duration="-5"/></animation></tile>)",
                      "3:150 1:0 2:-5"},
        AnimationCase{"json", R"({"id": 0, "animation": [{"tileid": 3, "duration": 150},
            {"tileid": 1, "duration": -20}, {"tileid": 2}]})",
                      "3:150 1:-20 2:0"},
        AnimationCase{"json_empty", R"({"id": 0, "animation": []})", ""},
        // Delays in tens of ms, in any order; from index 0 while both of the
        // next index are there: 2 has no delay, so 3 is never reached.
        AnimationCase{"older_properties", R"(<tile id="0"><properties>
            <property name="animation-delay1" value="13"/><property name="animation-frame1" value="6"/>
            <property name="animation-frame0" value="5"/><property name="animation-delay0" value="11"/>
            <property name="animation-frame2" value="7"/>
            <property name="animation-frame3" value="1"/><property name="animation-delay3" value="1"/>
            <property name="animation-frame01" value="1"/><property name="animation-delay01" value="1"/>
            <property name="animation-delayx" value="1"/></properties></tile>)",
                      "5:110 6:130"},
        AnimationCase{"older_properties_huge_delay", R"(<tile id="0"><properties>
            <property name="animation-frame0" value="5"/><property name="animation-delay0" value="2147483647"/>
            <property name="animation-frame1" value="2"/><property name="animation-delay1" value="-2147483647"/>
            </properties></tile>)",
                      "5:2147483647 2:-2147483648"},
        AnimationCase{"older_properties_without_frame_0", R"(<tile id="0"><properties>
            <property name="animation-frame1" value="5"/><property name="animation-delay1" value="3"/>
            </properties></tile>)",
                      ""},
        AnimationCase{"animation_wins_over_properties", R"(<tile id="0"><properties>
            <property name="animation-frame0" value="5"/><property name="animation-delay0" value="3"/>
            </properties><animation><frame tileid="2" duration="40"/></animation></tile>)",
                      "2:40"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Worlds ----------------------------------------------------------------------

// The listed maps first, in the file's order; then each pattern's finds among
// the folder's names in byte order, searched (not matched whole), placed by
// their two captures; names whose captures aren't numbers are passed over.
TEST(ImporterWorlds, PlaceListedMapsThenEachPatternsFindsInNameOrder) {
  const std::string text = R"w({"type": "world", "maps": [
      {"fileName": "z.tmx", "x": 5, "y": -7, "width": 1},
      {"fileName": "sub/a.tmj", "x": -64, "y": 0}],
    "patterns": [
      {"regexp": "^m_(-?\\d+)_(\\d+)\\.tmx$", "multiplierX": 100, "multiplierY": -50, "offsetX": 3},
      {"regexp": "far(\\d)(\\d)", "multiplierX": 1, "multiplierY": 2, "offsetY": 9},
      {"regexp": "^(?:a|aa)+(\\d)(\\d)$", "multiplierX": 1, "multiplierY": 1}],
    "onlyShowAdjacentMaps": true})w";
  const std::vector<std::string> names = {"m_9_1.tmx", "m_10_0.tmx", "m_x_1.tmx", "m_-2_3.tmx", "m_1_1.tmx.bak",
                                          "the_far12.tmj", "far34",
                                          // tried every way by a backtracking matcher: 2^50 and more
                                          std::string(100, 'a') + "!"};
  std::vector<std::string> got;
  for (const WorldEntry& entry : ReadWorldEntries(text, "game/w.world", names))
    got.push_back(entry.file + " " + std::to_string(entry.x) + "," + std::to_string(entry.y));
  EXPECT_EQ(got, (std::vector<std::string>{"game/z.tmx 5,-7", "game/sub/a.tmj -64,0", "game/m_-2_3.tmx -197,-150",
                                           "game/m_10_0.tmx 1003,0", "game/m_9_1.tmx 903,-50", "game/far34 3,17",
                                           "game/the_far12.tmj 1,13"}));
}

TEST(ImporterWorlds, AreRefusedNamingTheWorldAndTheField) {
  const std::pair<const char*, const char*> cases[] = {
      {R"w({"maps": [{"fileName": "a.tmx", "x": 1.5}]})w",
       R"w(w.world: map 1 of "maps": "x" should be a whole number, not the number 1.5)w"},
      {R"w({"maps": [7]})w", R"w(w.world: map 1 of "maps": should be an object, not the number 7)w"},
      {R"w({"type": "map"})w", R"w(w.world: not a world: its type is "map")w"},
      {R"w({"patterns": [{"regexp": "(a)(b)", "multiplierX": 1}]})w",
       R"w(w.world: pattern 1: "multiplierY" should be a whole number, not missing)w"},
      {R"w({"patterns": [{"regexp": "a(b)", "multiplierX": 1, "multiplierY": 1}]})w",
       R"w(w.world: pattern 1: "regexp" "a(b)" has 1 captures; a world's pattern needs two, x and y)w"},
      {R"w({"patterns": [{"regexp": "(\\d)(\\d+)_", "multiplierX": 1, "multiplierY": 2000000}]})w",
       R"w(w.world: map 123456789012_ lies at 1, 46913578024000000, too far out for any picture)w"},
      {R"w({"patterns": [{"regexp": "(\\d+)(\\d)_", "multiplierX": 2000000000, "multiplierY": 1}]})w",
       R"w(w.world: map 123456789012_ lies too far out for any picture)w"},
      {R"w({"patterns": [{"regexp": "(\\d)\\1(\\d)", "multiplierX": 1, "multiplierY": 1}]})w",
       R"w(w.world: pattern 1: "regexp" "(\d)\1(\d)" holds a back-reference (\1), which file names don't need)w"},
      {R"w({"patterns": [{"regexp": "(\\d{2,99999})(\\d)", "multiplierX": 1, "multiplierY": 1}]})w",
       R"w(w.world: pattern 1: "regexp" "(\d{2,99999})(\d)" repeats something more than 1000 times)w"}};
  for (const auto& [text, message] : cases) {
    try {
      ReadWorldEntries(text, "w.world", {"123456789012_"});
      ADD_FAILURE() << "read " << text;
    } catch (const ImportError& error) {
      EXPECT_EQ(std::string(error.what()), message);
    }
  }
}

// ---- Files a map names that can't be had ----------------------------------------

// Of each kind one: an image nothing drawn uses (a hidden layer's), one that
// cells and an object use, a tileset file, a tile image behind one frame of
// an animation, a template, an image layer's image. What needs them is left
// out and counted; an animation keeps the frames that still have a picture.
TEST(ImporterMissingFiles, LeaveOutWhatNeedsThemAndSayWhat) {
  const char* text = R"(<map orientation="orthogonal" width="3" height="2" tilewidth="32" tileheight="32">
    <tileset firstgid="1" name="plain" tilewidth="32" tileheight="32"/>
    <tileset firstgid="5" name="rules" tilewidth="32" tileheight="32"><image source="rules.png"/></tileset>
    <tileset firstgid="9" name="art" tilewidth="32" tileheight="32"><image source="art.png"/></tileset>
    <tileset firstgid="13" source="gone.tsx"/>
    <tileset firstgid="20" name="pieces" tilewidth="32" tileheight="32">
      <tile id="0"><image source="p0.png"/></tile>
      <tile id="1"><animation><frame tileid="0" duration="100"/><frame tileid="2" duration="100"/></animation></tile>
      <tile id="3"><image source="p3.png"/></tile>
      <tile id="4"><animation><frame tileid="0" duration="100"/><frame tileid="3" duration="100"/></animation></tile>
      <tile id="5"><image source="p5.png"/></tile>
      <tile id="6"><animation><frame tileid="2" duration="100"/><frame tileid="7" duration="100"/></animation></tile>
    </tileset>
    <layer name="a" width="3" height="2"><data encoding="csv">1,9,13,2147483657,21,20</data></layer>
    <group name="g"><layer name="b" width="3" height="2"><data encoding="csv">24,9,26,0,0,0</data></layer></group>
    <group name="h" visible="0"><layer name="c" width="3" height="2"><data encoding="csv">5,5,5,5,5,5</data></layer></group>
    <objectgroup name="o"><object gid="9" x="0" y="32"/><object template="gone.tx" x="1" y="1"/>
      <object gid="1" x="0" y="0"/></objectgroup>
    <imagelayer name="sky"><image source="sky.png"/></imagelayer>
  </map>)";
  ReadContext context;
  context.readFile = [](const std::string& path, const std::string& namedIn) -> std::string {
    throw ImportError(namedIn + ": the file it names can't be read: " + path);
  };
  Map map = ReadMapText(context, text, "m.tmx");
  const LoadedImages loaded = LoadImages(map);
  EXPECT_EQ(map.layers[0].cells.gids, (std::vector<uint32_t>{1, 0, 0, 0, 21, 0}));  // an animation keeps a frame
  EXPECT_EQ(map.layers[1].children[0].cells.gids,  // one with no frame left goes; one that needs no missing file stays
            (std::vector<uint32_t>{0, 0, 26, 0, 0, 0}));
  EXPECT_EQ(map.layers[2].children[0].cells.gids, std::vector<uint32_t>(6, 0));      // hidden: unused, left out too
  ASSERT_EQ(map.layers[3].objects.size(), 1u);
  EXPECT_EQ(map.layers[3].objects[0].gid, 1u);
  EXPECT_EQ(DescribeMissing(loaded.missing),
            "1 tileset image missing, unused: rules.png; 1 tile image missing, unused: p5.png; "
            "3 cells and 1 object undrawn, tileset image missing: art.png; 1 cell undrawn, tileset missing: gone.tsx; "
            "3 cells undrawn, tile image missing: p0.png; 1 cell undrawn, tile image missing: p3.png; "
            "1 object undrawn, template missing: gone.tx; 1 image layer undrawn, image missing: sky.png");
  ASSERT_EQ(loaded.missing.size(), 8u);
  EXPECT_EQ(loaded.missing[2].problem.rfind("m.tmx: the file it names can't be read: gone.tsx", 0), 0u);
  // Strict: the first file that can't be had fails the map.
  ReadContext strict = context;
  strict.strict = true;
  strict.tilesets.clear(), strict.templates.clear();
  EXPECT_THROW(ReadMapText(strict, text, "m.tmx"), ImportError);
  ReadContext lenient = context;
  lenient.tilesets.clear(), lenient.templates.clear();
  Map again = ReadMapText(lenient, text, "m.tmx");
  EXPECT_THROW(LoadImages(again, true), ImportError);
}

}  // namespace

