// Composing the picture, by tables: the eight flip combinations, cutting a
// tileset image, placing the picture, every orientation's grid and drawing
// order, half-pixel edges, the keys of blocks drawn alike, tall isometric
// tiles, animated tiles' clock and the frames of the blocks they reach.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "import/compose/animation.h"
#include "import/compose/composer.h"
#include "import/compose/draw_item.h"
#include "import/compose/drawing_key.h"
#include "import/compose/grid.h"
#include "import/import_error.h"
#include "import/model.h"
#include "import/read/read_map.h"

using namespace importer;

namespace {

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
  tileset->tiles.push_back(TileEntry{5, {}, 0, 0, 0, 0, {{30, 100}, {1, 100}}});  // animated: its first frame is tile 30
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

namespace {

// ---- Every orientation's grid -------------------------------------------------

Map GridMap(Orientation orientation, int w, int h, int tw, int th, const char* stagger = "") {
  Map map;
  map.orientation = orientation;
  map.width = w, map.height = h, map.tileWidth = tw, map.tileHeight = th;
  map.staggerX = std::string(stagger).find('x') != std::string::npos;
  map.staggerEven = std::string(stagger).find("even") != std::string::npos;
  return map;
}

struct GridCase {
  const char* name;
  Map map;
  int64_t cellX, cellY;
  MapPoint anchor;  // the bottom-left of the cell's drawing box
  PixelRect area;   // of the whole map
};

class Grids : public testing::TestWithParam<GridCase> {};

TEST_P(Grids, PlaceCellsAndSizeThePictureAsTheEditorDoes) {
  const GridCase& c = GetParam();
  const Grid grid = GridOf(c.map);
  const MapPoint a = Anchor(grid, c.cellX, c.cellY);
  EXPECT_EQ(a.x, c.anchor.x);
  EXPECT_EQ(a.y, c.anchor.y);
  const PixelRect area = GridArea(grid, 0, 0, c.map.width, c.map.height);
  EXPECT_EQ(std::vector<double>({area.left, area.top, area.right, area.bottom}),
            std::vector<double>({c.area.left, c.area.top, c.area.right, c.area.bottom}));
}

Map Hexagonal(int w, int h, int tw, int th, int side, const char* stagger) {
  Map map = GridMap(Orientation::kHexagonal, w, h, tw, th, stagger);
  map.hexSideLength = side;
  return map;
}

Map Oblique(double skewX, double skewY) {
  Map map = GridMap(Orientation::kOblique, 10, 4, 32, 16);
  map.skewX = skewX, map.skewY = skewY;
  return map;
}

INSTANTIATE_TEST_SUITE_P(
    Importer, Grids,
    testing::Values(
        GridCase{"orthogonal", GridMap(Orientation::kOrthogonal, 40, 40, 32, 32), 2, 3, {64, 128}, {0, 0, 1280, 1280}},
        GridCase{"isometric", GridMap(Orientation::kIsometric, 25, 25, 64, 32), 0, 0, {768, 32}, {0, 0, 1600, 800}},
        GridCase{"isometric_odd_height", GridMap(Orientation::kIsometric, 3, 5, 20, 11), 2, 1, {50, 27.5}, {0, 0, 80, 44}},
        GridCase{"isometric_negative_cell", GridMap(Orientation::kIsometric, 4, 4, 64, 32), -1, 0, {64, 16}, {0, 0, 256, 128}},
        GridCase{"staggered_odd_row", GridMap(Orientation::kStaggered, 25, 50, 64, 32), 3, 1, {224, 48}, {0, 0, 1632, 816}},
        GridCase{"staggered_even_row", GridMap(Orientation::kStaggered, 25, 50, 64, 32), 3, 2, {192, 64}, {0, 0, 1632, 816}},
        GridCase{"staggered_even_index", GridMap(Orientation::kStaggered, 25, 50, 64, 32, "even"), 3, 2, {224, 64}, {0, 0, 1632, 816}},
        GridCase{"staggered_negative_row_is_odd", GridMap(Orientation::kStaggered, 4, 4, 64, 32), 0, -1, {32, 16}, {0, 0, 288, 80}},
        GridCase{"staggered_one_even_row", GridMap(Orientation::kStaggered, 4, 1, 64, 32, "even"), 0, 0, {32, 32}, {32, 0, 288, 32}},
        GridCase{"hexagonal_rows", Hexagonal(20, 20, 14, 12, 6, ""), 3, 1, {49, 21}, {0, 0, 287, 183}},
        GridCase{"hexagonal_columns", Hexagonal(20, 20, 60, 60, 30, "x"), 1, 0, {45, 90}, {0, 0, 915, 1230}},
        GridCase{"hexagonal_columns_unshifted", Hexagonal(20, 20, 60, 60, 30, "x"), 2, 0, {90, 60}, {0, 0, 915, 1230}},
        GridCase{"hexagonal_one_even_column", Hexagonal(1, 3, 60, 60, 30, "x,even"), 0, 0, {0, 90}, {0, 30, 60, 210}},
        GridCase{"oblique", Oblique(8, 0), 2, 1, {80, 32}, {0, 0, 352, 64}},
        GridCase{"oblique_both_ways", Oblique(-8, 4), 2, 1, {48, 40}, {-32, 0, 320, 104}}),
    [](const auto& info) { return std::string(info.param.name); });

// The cells of a 3 × 3 map near a window over all of it, in drawing order.
std::string DrawingOrder(const Map& map) {
  const Grid grid = GridOf(map);
  const CellRect cells{0, 0, 3, 3};
  const PixelRect reach{0, -1000, 1000, 0};
  const RowSpans rows = RowSpansOf(grid, cells, -1e4, 1e4, reach, {});
  const ColumnSpans columns = ColumnSpansOf(grid, cells, -1e4, 1e4, reach, {});
  std::vector<CellAt> scratch;
  std::string order;
  VisitCells(grid, cells, rows, columns, reach, {}, scratch, [&](int64_t x, int64_t y, MapPoint) {
    order += (order.empty() ? "" : " ") + std::to_string(x) + std::to_string(y);
  });
  return order;
}

TEST(ImporterDrawingOrder, FollowsEachOrientationsRule) {
  Map map = GridMap(Orientation::kOrthogonal, 3, 3, 16, 16);
  map.renderOrder = RenderOrder::kLeftUp;
  EXPECT_EQ(DrawingOrder(map), "22 12 02 21 11 01 20 10 00");
  map.orientation = Orientation::kIsometric;  // by x + y, then x; render order ignored
  EXPECT_EQ(DrawingOrder(map), "00 01 10 02 11 20 12 21 22");
  EXPECT_EQ(DrawingOrder(GridMap(Orientation::kStaggered, 3, 3, 16, 16)), "00 10 20 01 11 21 02 12 22");
  // Shifted columns: each row's unshifted half first.
  EXPECT_EQ(DrawingOrder(Hexagonal(3, 3, 16, 16, 4, "x")), "00 20 10 01 21 11 02 22 12");
  EXPECT_EQ(DrawingOrder(Hexagonal(3, 3, 16, 16, 4, "x,even")), "10 00 20 11 01 21 12 02 22");
  map = Oblique(8, 4);
  map.width = map.height = 3;
  map.renderOrder = RenderOrder::kRightUp;
  EXPECT_EQ(DrawingOrder(map), "02 12 22 01 11 21 00 10 20");
}

TEST(ImporterObjects, AreProjectedOnIsometricAndObliqueMaps) {
  const Grid isometric = GridOf(GridMap(Orientation::kIsometric, 25, 25, 64, 32));
  const MapPoint p = ProjectObject(isometric, 64, 32);
  EXPECT_EQ(std::vector<double>({p.x, p.y}), std::vector<double>({832, 48}));
  const MapPoint q = ProjectObject(GridOf(Oblique(8, 4)), 64, 32);
  EXPECT_EQ(std::vector<double>({q.x, q.y}), std::vector<double>({80, 40}));
  const MapPoint r = ProjectObject(GridOf(GridMap(Orientation::kStaggered, 4, 4, 64, 32)), 64, 32);
  EXPECT_EQ(std::vector<double>({r.x, r.y}), std::vector<double>({64, 32}));
}

TEST(ImporterHalfPixels, AnEdgeOnAPixelCentreLeavesThatPixelToWhatLiesBefore) {
  const Image letters = Letters();
  struct Case {
    double left, bottom, spin;
    uint32_t flags;
    const char* picture;  // the 4 × 4 corner
  };
  const Case cases[] = {
      {0.5, 3, 0, 0, ".ab./.cd./.ef./...."},      {0.4, 3, 0, 0, "ab../cd../ef../...."},
      {0.6, 3, 0, 0, ".ab./.cd./.ef./...."},      {0, 3.5, 0, 0, "..../ab../cd../ef.."},
      {0.5, 3.5, 0, kFlipH, "..../.ba./.dc./.fe."},  {0, 3, 180, 0, "fe../dc../ba../...."}};  // 180°: H and V
  for (const Case& c : cases) {
    Placement placement;
    placement.image = &letters;
    placement.sourceWidth = 2, placement.sourceHeight = 3;
    placement.width = 2, placement.height = 3, placement.left = c.left, placement.bottom = c.bottom;
    placement.flips = FlipsOf(c.flags);
    placement.spin = c.spin;
    Block block{};
    Draw(placement, block, 0, 0, {0, 0, kBlock, kBlock});
    EXPECT_EQ(Corner(block, 4, 4), c.picture) << c.left << ", " << c.bottom << " turned " << c.spin;
  }
}

// Drawing a half-covered pixel over another in integers gives Composite's
// bits: every alpha over every alpha, channels spread over their range
// (all of them were checked once, 4 billion cases, halfway ones included).
TEST(ImporterComposite, SourceOverInIntegersIsCompositeToTheBit) {
  const uint8_t channels[] = {0, 1, 37, 128, 200, 254, 255};
  for (int sa = 1; sa < 255; ++sa)
    for (int ba = 1; ba < 256; ++ba)
      for (const uint8_t s : channels)
        for (const uint8_t b : channels) {
          const Pixel below{b, uint8_t(255 - b), s, uint8_t(ba)}, source{s, b, uint8_t(s / 2), uint8_t(sa)};
          const Pixel mine = SourceOver(below, source);
          const Pixel want = Composite(below, s / 255.0, b / 255.0, (s / 2) / 255.0, sa / 255.0, BlendMode::kNormal);
          ASSERT_EQ(std::memcmp(&mine, &want, sizeof mine), 0) << sa << " over " << ba << ": " << int(s) << ", " << int(b);
        }
}

// Blocks drawn alike share one drawing: whatever changes a pixel changes
// the key, moving block and placement together by whole pixels doesn't.
TEST(ImporterDrawingKey, TellsApartEveryDifferenceButWhereTheBlockLies) {
  const Image letters = Letters(), other = Letters();
  Placement base;
  base.image = &letters;
  base.sourceWidth = 2, base.sourceHeight = 3, base.width = 2, base.height = 3, base.left = 70, base.bottom = 40;
  const Bounds picture{0, 0, 1000, 1000};
  const std::optional<BlockKey> key = DrawingKey({base}, 64, 32, picture);
  ASSERT_TRUE(key);
  auto same = [&](const std::optional<BlockKey>& k) { return k && k->first == key->first && k->second == key->second; };
  Placement moved = base;
  moved.left += 320, moved.bottom -= 32;
  EXPECT_TRUE(same(DrawingKey({moved}, 384, 0, picture)));
  EXPECT_TRUE(same(DrawingKey({base}, 64, 32, {-50, 10, 2000, 70})));  // edges outside the block: no matter
  const std::vector<std::pair<const char*, void (*)(Placement&, const Image&)>> changes = {
      {"image", [](Placement& p, const Image& o) { p.image = &o; }},
      {"source x", [](Placement& p, const Image&) { p.sourceX = 1; }},
      {"source height", [](Placement& p, const Image&) { p.sourceHeight = 2; }},
      {"left", [](Placement& p, const Image&) { p.left += 1; }},
      {"bottom", [](Placement& p, const Image&) { p.bottom += 1; }},
      {"width", [](Placement& p, const Image&) { p.width = 4; }},
      {"vertical flip", [](Placement& p, const Image&) { p.flips.vertical = true; }},
      {"diagonal flip", [](Placement& p, const Image&) { p.flips.diagonal = true; }},
      {"aspect", [](Placement& p, const Image&) { p.preserveAspect = true; }},
      {"opacity", [](Placement& p, const Image&) { p.opacity = 0.5; }},
      {"tint", [](Placement& p, const Image&) { p.tint = std::array<double, 4>{1, 1, 1, 1}; }},
      {"blend", [](Placement& p, const Image&) { p.blend = BlendMode::kMultiply; }}};
  for (const auto& [what, change] : changes) {
    Placement changed = base;
    change(changed, other);
    EXPECT_FALSE(same(DrawingKey({changed}, 64, 32, picture))) << what;
    EXPECT_FALSE(same(DrawingKey({base, changed}, 64, 32, picture))) << what << ", drawn over it";
  }
  EXPECT_FALSE(same(DrawingKey({base}, 64, 32, {0, 0, 80, 1000}))) << "the picture's edge in the block";
  Placement half = base, turned = base;
  half.left = 70.5, turned.rotation = 90;
  EXPECT_FALSE(DrawingKey({half}, 64, 32, picture)) << "not on whole pixels: drawn where it lies";
  EXPECT_FALSE(DrawingKey({base, turned}, 64, 32, picture)) << "turned: drawn where it lies";
}

// ---- Composing an isometric map --------------------------------------------------

// The composed picture's pixel at (x, y) of the map's picture: the top
// layer's, as the viewer lays the layers over each other (opaque tiles).
Pixel ComposedAt(const Composition& out, int64_t x, int64_t y) {
  const int64_t px = out.placedX + x, py = out.placedY + y;
  Pixel shown{};
  for (const std::vector<int32_t>& layer : out.layers) {
    const int32_t value = layer[static_cast<size_t>(py / kBlock * out.width + px / kBlock)];
    if (value == 0) continue;
    const Pixel& p = out.blocks[static_cast<size_t>(value - 1)][static_cast<size_t>(py % kBlock * kBlock + px % kBlock)];
    if (p.a != 0) shown = p;
  }
  return shown;
}

TEST(ImporterCompose, TallIsometricTilesCoverTheCellsBehindThemAndTheBackgroundFillsTheGridArea) {
  // Tiles 4 × 8 on a 4 × 2 grid: red, blue. Cell (0, 0) is red, (1, 1) blue.
  auto image = std::make_shared<Image>();
  image->width = 8, image->height = 8;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) image->pixels.push_back(x < 4 ? Pixel{255, 0, 0, 255} : Pixel{0, 0, 255, 255});
  auto tileset = std::make_shared<Tileset>();
  tileset->tileWidth = 4, tileset->tileHeight = 8;
  tileset->image.path = "tiles.png";
  tileset->image.pixels = image;
  Map map = GridMap(Orientation::kIsometric, 2, 2, 4, 2);
  map.renderOrder = RenderOrder::kLeftUp;  // ignored: drawn by x + y
  map.tilesets = {{1, tileset}};
  map.background = Color{0, 255, 0, 255};
  Layer layer;
  layer.cells = {0, 0, 2, 2, {1, 0, 0, 2}};
  map.layers = {layer};
  ComposeOptions options;
  options.background = true;
  const Composition out = Compose(map, options);
  EXPECT_EQ(std::vector<int64_t>({out.picture.left, out.picture.top, out.picture.width, out.picture.height}),
            std::vector<int64_t>({0, 0, 8, 4}));
  auto colour = [&](int64_t x, int64_t y) {
    const Pixel p = ComposedAt(out, x, y);
    return p.a == 0 ? '.' : p.r ? 'r' : p.g ? 'g' : 'b';
  };
  std::string rows;
  for (int y = 0; y < 4; ++y) {
    rows += y > 0 ? "/" : "";
    for (int x = 0; x < 8; ++x) rows += colour(x, y);
  }
  // (1, 1) is drawn after (0, 0) and stands over it; the tiles' tops above
  // the grid area are cut off; the background shows around them.
  EXPECT_EQ(rows, "ggbbbbgg/ggbbbbgg/ggbbbbgg/ggbbbbgg");
  options.background = false;
  EXPECT_EQ(ComposedAt(Compose(map, options), 0, 3).a, 0);
}

// ---- Animated tiles --------------------------------------------------------------

std::vector<Frame> Durations(std::vector<int> durations) {
  std::vector<Frame> frames;
  for (const int d : durations) frames.push_back({static_cast<int>(frames.size()), d});
  return frames;
}

// The editor's walk: a time on a boundary shows the earlier frame; a frame
// of duration 0 or less holds for good; a whole cycle shows the last frame.
TEST(ImporterAnimations, ShowTheFrameTheEditorsWalkReaches) {
  const std::vector<Frame> two = Durations({100, 50}), stops = Durations({100, 0, 50}), first = Durations({-1, 5});
  const std::vector<std::pair<int64_t, size_t>> twoAt = {{0, 0}, {100, 0}, {101, 1}, {150, 1}, {151, 0},
                                                         {300, 1}, {301, 0}, {int64_t{1} << 50, 1}};
  for (const auto& [t, frame] : twoAt) EXPECT_EQ(FrameAt(two, t), frame) << "at " << t;
  EXPECT_EQ(FrameAt(stops, 100), 0u);
  EXPECT_EQ(FrameAt(stops, 101), 1u);
  EXPECT_EQ(FrameAt(stops, int64_t{1} << 50), 1u);
  EXPECT_EQ(FrameAt(first, 1000), 0u);
  EXPECT_EQ(FrameAt({}, 5), 0u);
}

struct TimelineCase {
  const char* name;
  std::vector<std::vector<int>> animations;  // their frames' durations
  int pictures;  // block = 1 + frame of the first + pictures * frame of the second (0: the first alone)
  const char* frames;  // "block:ms ..."
  bool cut;
};

class Timelines : public testing::TestWithParam<TimelineCase> {};

TEST_P(Timelines, FollowEveryAnimationOfTheBlockAtOnce) {
  const TimelineCase& c = GetParam();
  std::vector<std::vector<Frame>> frames;
  for (const std::vector<int>& durations : c.animations) frames.push_back(Durations(durations));
  std::vector<const std::vector<Frame>*> animations;
  for (const std::vector<Frame>& f : frames) animations.push_back(&f);
  std::set<std::vector<size_t>> asked;
  const Timeline timeline = WalkTimeline(animations, [&](const std::vector<size_t>& at) {
    EXPECT_TRUE(asked.insert(at).second) << "a combination drawn twice";
    return static_cast<int32_t>(1 + at[0] + (at.size() > 1 ? size_t(c.pictures) * at[1] : 0));
  });
  std::string text;
  for (size_t i = 0; i < timeline.frames.size() && i < 8; ++i)
    text += (i ? " " : "") + std::to_string(timeline.frames[i].block) + ":" + std::to_string(timeline.frames[i].duration);
  if (timeline.frames.size() > 8) text += " ... " + std::to_string(timeline.frames.size());
  EXPECT_EQ(text, c.frames);
  EXPECT_EQ(timeline.cut, c.cut);
}

std::vector<int> Many(size_t count, int duration) { return std::vector<int>(count, duration); }

INSTANTIATE_TEST_SUITE_P(
    Importer, Timelines,
    testing::Values(
        TimelineCase{"one_cycle", {{100, 50}}, 0, "1:100 2:50", false},
        // 200 and 300 ms: their common cycle of 600 ms, change point by change point.
        TimelineCase{"two_cycles", {{100, 100}, {150, 150}}, 2, "1:100 2:50 4:50 3:100 2:100 1:50 3:50 4:100", false},
        // The second changes nothing drawn: its times merge.
        TimelineCase{"merged", {{100, 100}, {150, 150}}, 0, "1:100 2:100 1:100 2:100 1:100 2:100", false},
        TimelineCase{"stops", {{100, 0, 70}}, 0, "1:100 2:0", false},
        TimelineCase{"stops_at_once", {{0, 100}}, 0, "1:0", false},
        // Frozen once the stopping one stops, the cycling one with it.
        TimelineCase{"stop_freezes_a_cycle", {{100, -3}, {30, 30}}, 2, "1:30 3:30 1:30 3:10 4:0", true},
        TimelineCase{"all_stop", {{100, 0}, {30, 30, 0}}, 2, "1:30 3:30 5:40 6:0", false},
        // The second stops (at 0 ms) on the picture that shows already: it holds.
        TimelineCase{"stop_on_the_same_picture", {{100, 100}, {150, 0}}, 0, "1:100 2:0", true},
        // Past the bound the list starts over: 4096 frames.
        TimelineCase{"bound", {Many(5000, 1)}, 0, "1:1 2:1 3:1 4:1 5:1 6:1 7:1 8:1 ... 4096", true},
        TimelineCase{"two_long_cycles", {Many(97, 7), Many(89, 11)}, 100,
                     "1:7 2:4 102:3 103:7 104:1 204:6 205:5 305:2 ... 4096", true},
        TimelineCase{"longest_frame", {{2147483647, 5}}, 0, "1:2147483647 2:5", false},
        // The second's change at 1 ms shows the same picture: one frame of 3 ms.
        TimelineCase{"merged_after_1_ms", {{3, 3}, {1, 5}}, 0, "1:3 2:3", false},
        // A cycle whose last frame lasts 1 ms still cycles: frozen with the one that stops.
        TimelineCase{"a_1_ms_frame_cycles", {{100, 1}, {50, 0}}, 2, "1:50 3:0", true},
        // Past 65536 change points the walk stops too, however few frames it made.
        TimelineCase{"step_bound", {{100000, 100000}, {1}}, 0, "1:65536", true},
        // Turning together, the second cancels the first's picture (pictures -1):
        // one frame of 2^32 - 2 ms, cut to 2^31 - 1.
        TimelineCase{"clamped", {{2147483647, 2147483647}, {2147483647, 2147483647}}, -1, "1:2147483647", true},
        // Huge durations don't overflow: merged over the second's change points.
        TimelineCase{"huge", {{2147483647, 2147483647}, {2147483647, 5}}, 0,
                     "1:2147483647 2:2147483647 1:2147483647 2:2147483647 1:2147483647 2:2147483647 1:2147483647 "
                     "2:2147483647 ... 4096",
                     true}),
    [](const auto& info) { return std::string(info.param.name); });

// A plain layer: the animated cell gets a value of its own that starts as
// its first frame; a static cell of the same picture keeps its own value.
TEST(ImporterAnimations, AStaticCellThatLooksLikeAFirstFrameDoesNotAnimate) {
  auto image = std::make_shared<Image>();
  image->width = 96, image->height = 32;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 96; ++x) image->pixels.push_back(x / 32 == 1 ? Pixel{0, 0, 255, 255} : Pixel{255, 0, 0, 255});
  auto tileset = std::make_shared<Tileset>();
  tileset->tileWidth = tileset->tileHeight = 32;
  tileset->image.path = "tiles.png";
  tileset->image.pixels = image;
  TileEntry animated;
  animated.animation = {{2, 100}, {1, 50}, {2, 25}};  // red, blue, red
  tileset->tiles = {animated};
  Map map = GridMap(Orientation::kOrthogonal, 4, 1, 32, 32);
  map.tilesets = {{1, tileset}};
  Layer layer;
  layer.cells = {0, 0, 4, 1, {1, 3, 2, 1 | kFlipH}};  // animated, red, blue, animated flipped (the same pictures)
  map.layers = {layer};
  const Composition out = Compose(map);
  ASSERT_EQ(out.animations.size(), 1u);
  const Animation& animation = out.animations[0];
  const std::vector<int32_t>& cells = out.layers.at(0);
  std::vector<int32_t> row;
  for (const int32_t v : cells)
    if (v != 0) row.push_back(v);
  ASSERT_EQ(row.size(), 4u);
  EXPECT_EQ(row[0], animation.tile);
  EXPECT_EQ(row[3], animation.tile);  // a flip of an all-red or all-blue tile draws the same
  EXPECT_NE(row[1], animation.tile);
  ASSERT_EQ(animation.frames.size(), 3u);
  EXPECT_EQ(animation.frames[0].block, row[1]);
  EXPECT_EQ(animation.frames[1].block, row[2]);
  EXPECT_EQ(animation.frames[2].block, row[1]);
  EXPECT_EQ(animation.frames[1].duration, 50);
  EXPECT_EQ(out.blocks.size(), 3u);  // red, blue, and the animation's own
  EXPECT_EQ(std::memcmp(&out.blocks[size_t(animation.tile - 1)], &out.blocks[size_t(row[1] - 1)], sizeof(Block)), 0);
  EXPECT_EQ(out.cutAnimations, 0);
}

}  // namespace
