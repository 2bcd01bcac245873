#include "import/compose/composer.h"
#include "import/compose/start.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <set>
#include <unordered_map>

#include "import/compose/block_store.h"
#include "import/compose/drawing_key.h"
#include "import/compose/gid_table.h"
#include "import/compose/layer_runs.h"
#include "import/compose/placement.h"
#include "import/compose/scene.h"
#include "import/compose/seen_keys.h"
#include "import/import_error.h"
#include "import/limits.h"
#include "shared/globals.h"

namespace importer {
namespace {

// The viewer's window, and the map pixel at its top-left when it starts.
constexpr int64_t kViewWidth = 1280, kViewHeight = 720;
constexpr int64_t kViewLeft = kCameraStartX - kViewWidth / 2, kViewTop = kCameraStartY - kViewHeight / 2;

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// The cell values of animated blocks: one of its own for each different
// list of frames, shared by every block that shows that list.
struct AnimatedBlocks {
  BlockStore& store;
  Composition& out;
  std::map<std::vector<BlockFrame>, int32_t> valueOf;

  // The value that shows the timeline: a frame's block when it never changes.
  int32_t Add(const Timeline& timeline) {
    if (timeline.frames.size() == 1) return timeline.frames.front().block;
    const auto [found, isNew] = valueOf.try_emplace(timeline.frames, 0);
    if (!isNew) return found->second;
    const int32_t first = timeline.frames.front().block;
    const Block pixels = first > 0 ? out.blocks[static_cast<size_t>(first - 1)] : Block{};  // a copy: blocks grows
    found->second = store.AddOwn(pixels);
    out.animations.push_back({found->second, timeline.frames});
    if (timeline.cut) ++out.cutAnimations;
    return found->second;
  }
};

std::vector<int32_t> EmptyLayer(const Composition& out) {
  return std::vector<int32_t>(static_cast<size_t>(out.width) * out.height, 0);
}

// A plain layer: one block per tile (and flip), cell by cell.
std::vector<int32_t> PlainLayer(Scene& scene, const DrawLayer& drawn, const Composition& out, BlockStore& store,
                                AnimatedBlocks& animated) {
  const Bounds whole{0, 0, kBlock, kBlock};
  const CellGrid& cells = drawn.layer->cells;
  std::vector<int32_t> layer = EmptyLayer(out);
  GidTable valueOf;
  const SceneMap& placed = scene.MapOf(drawn);
  const Map& map = *placed.map;
  const int64_t shiftX = (out.placedX + int64_t(placed.origin.x) - scene.picture.left) / kBlock;
  const int64_t shiftY = (out.placedY + int64_t(placed.origin.y) - scene.picture.top) / kBlock;
  // The columns of cells that land on the picture's grid of blocks.
  const int64_t cxFirst = std::max<int64_t>(0, -(shiftX + cells.x));
  const int64_t cxEnd = std::min<int64_t>(cells.width, out.width - (shiftX + cells.x));
  for (int cy = 0; cy < cells.height; ++cy) {
    const int64_t y = shiftY + cells.y + cy;
    if (y < 0 || y >= out.height) continue;
    const uint32_t* row = cells.gids.data() + static_cast<size_t>(cy) * cells.width;
    const int64_t start = y * out.width + shiftX + cells.x;  // where cell 0 of the row lands
    for (int64_t cx = cxFirst; cx < cxEnd; ++cx) {
      const uint32_t gid = row[cx];
      if ((gid & kGidBits) == 0) continue;
      int32_t& value = valueOf[gid];
      if (value < 0) {
        auto pictureAt = [&](size_t frame) {
          const TileImage tile = ResolveFrame(map.tilesets, gid, frame);
          if (tile.image == nullptr) {
            scene.missing.insert(gid & kGidBits);
            return 0;
          }
          Block block{};
          const Placement placement = TilePlacement(map, drawn, tile, gid, {0, kBlock});
          Draw(placement, block, 0, 0, whole);
          return store.Add(block);
        };
        const std::vector<Frame>* frames = AnimationOf(map.tilesets, gid);
        value = Animates(frames) ? animated.Add(WalkTimeline({frames}, [&](const std::vector<size_t>& at) {
          return pictureAt(at[0]);
        }))
                                 : pictureAt(0);
      }
      layer[static_cast<size_t>(start + cx)] = value;
    }
  }
  return layer;
}

// The run's layers drawn together, block by block; a block is drawn only
// when what reaches into it hasn't been seen before, and then only when
// no block was drawn the same way (`drawnBefore`: the block value of each
// drawing's key, drawing_key.h).
std::vector<int32_t> DrawnLayer(Scene& scene, const std::vector<size_t>& run, const Composition& out,
                                BlockStore& store, AnimatedBlocks& animated, SeenKeys& drawnBefore) {
  std::vector<int32_t> layer = EmptyLayer(out);
  SeenKeys seen;
  BlockItems gathered;
  const int64_t firstX = out.placedX / kBlock, firstY = out.placedY / kBlock;
  scene.StartRun(run, double(firstX * kBlock - out.placedX), double(firstY * kBlock - out.placedY),
                 out.width - firstX, out.height - firstY);
  for (int64_t y = firstY; y < out.height; ++y) {
    const double rowTop = double(y * kBlock - out.placedY);
    const auto [from, to] = scene.StartRow(run, rowTop, rowTop + kBlock);
    for (int64_t x = firstX + from; x < firstX + to; ++x) {
      if (!scene.MayReach(x - firstX, y - firstY)) continue;
      const int blockX = static_cast<int>(x * kBlock - out.placedX);
      const int blockY = static_cast<int>(y * kBlock - out.placedY);
      const Bounds block{double(blockX), double(blockY), double(blockX + kBlock), double(blockY + kBlock)};
      gathered.collect = false;
      const BlockKey key = scene.Gather(block, x - firstX, y - firstY, gathered);
      if (gathered.count == 0) continue;
      const auto [found, isNew] = seen.Find(key.first, key.second);
      if (isNew) {
        gathered.collect = true;
        scene.Gather(block, x - firstX, y - firstY, gathered);
        // The animations that reach the block, each once, and the item's.
        std::vector<const std::vector<Frame>*> animations;
        std::vector<int> animationOf(gathered.items.size(), -1);
        for (size_t k = 0; k < gathered.items.size(); ++k) {
          const Item& item = gathered.items[k];
          if (!item.isTile && item.object == nullptr) continue;
          const Map& map = *scene.MapOf(scene.layers[item.layer]).map;
          const TilesetList& tilesets = item.object != nullptr && item.object->tilesets ? *item.object->tilesets
                                                                                        : map.tilesets;
          const std::vector<Frame>* frames = AnimationOf(tilesets, item.gid);
          if (!Animates(frames)) continue;
          const auto known = std::find(animations.begin(), animations.end(), frames);
          animationOf[k] = static_cast<int>(known - animations.begin());
          if (known == animations.end()) animations.push_back(frames);
        }
        // The block with each animation at the frame given; drawn only
        // when no block has been drawn the same way before.
        std::vector<Placement> drawing;
        auto pictureAt = [&](const std::vector<size_t>& at) {
          drawing.clear();
          for (size_t k = 0; k < gathered.items.size(); ++k) {
            const Item& item = gathered.items[k];
            const size_t frame = animationOf[k] >= 0 ? at[static_cast<size_t>(animationOf[k])] : 0;
            const DrawLayer& drawn = scene.layers[item.layer];
            const SceneMap& placed = scene.MapOf(drawn);
            if (!item.isTile) {
              if (animationOf[k] < 0) {
                drawing.push_back(gathered.placements[item.placement]);
                continue;
              }
              std::set<uint32_t> frameMissing;  // the object's missing frames were told when it was placed
              if (const std::optional<Placement> placement = ObjectPlacement(
                      *placed.map, placed.grid, drawn, *item.object, scene.ShiftOf(drawn), frameMissing, frame))
                drawing.push_back(*placement);
              continue;
            }
            const TileImage tile = ResolveFrame(placed.map->tilesets, item.gid, frame);
            if (tile.image == nullptr) {
              scene.missing.insert(item.gid & kGidBits);
              continue;
            }
            drawing.push_back(TilePlacement(*placed.map, drawn, tile, item.gid, item.anchor));
          }
          auto draw = [&] {
            Block pixels{};
            for (const Placement& placement : drawing) Draw(placement, pixels, blockX, blockY, scene.clip);
            return store.Add(pixels);
          };
          const std::optional<BlockKey> drawingKey = DrawingKey(drawing, blockX, blockY, scene.clip);
          if (!drawingKey) return draw();
          const auto [value, isNew] = drawnBefore.Find(drawingKey->first, drawingKey->second);
          if (isNew) *value = draw();
          return *value;
        };
        *found = animations.empty() ? pictureAt({}) : animated.Add(WalkTimeline(animations, pictureAt));
      }
      layer[static_cast<size_t>(y) * out.width + x] = *found;
    }
  }
  return layer;
}

}  // namespace

int64_t PlaceOnAxis(int64_t size, int64_t viewStart, int64_t viewSize) {
  const int64_t lowest = -FloorDiv(-viewStart, kBlock) * kBlock;  // the first grid line in view
  const int64_t highest = FloorDiv(viewStart + viewSize - size, kBlock) * kBlock;
  if (lowest > highest) return lowest;
  const int64_t twiceCentre = 2 * viewStart + viewSize - size;  // twice the centred start
  const int64_t below = FloorDiv(twiceCentre, 2 * kBlock) * kBlock;
  const int64_t nearest = twiceCentre - 2 * below <= 2 * (below + kBlock) - twiceCentre ? below : below + kBlock;
  return std::clamp(nearest, lowest, highest);
}

// The scene's blocks, once its picture is known; `file` names it in messages.
static Composition ComposeScene(Scene& scene, const std::string& file) {
  Composition out;
  out.picture = scene.picture;
  out.placedX = PlaceOnAxis(scene.picture.width, kViewLeft, kViewWidth);
  out.placedY = PlaceOnAxis(scene.picture.height, kViewTop, kViewHeight);
  const int64_t width = (out.placedX + scene.picture.width + kBlock - 1) / kBlock;
  const int64_t height = (out.placedY + scene.picture.height + kBlock - 1) / kBlock;
  // Each side on its own first: their product could overflow.
  if (width > kMaxCells || height > kMaxCells || width * height > kMaxCells) {
    // Past that many pixels a side, the sizes are where the picture was held, not its own.
    constexpr int64_t kMaxSide = kMaxCells * kBlock;
    const bool measured = scene.picture.width <= kMaxSide && scene.picture.height <= kMaxSide;
    throw ImportError(Where(file) + "the picture is " +
                      (measured ? std::to_string(scene.picture.width) + " x " +
                                      std::to_string(scene.picture.height) + " pixels, more than"
                                : std::string("too large: more than")) +
                      " the viewer's " + std::to_string(kMaxCells) + " cells of 32 x 32 hold");
  }
  out.width = static_cast<int>(width), out.height = static_cast<int>(height);
  scene.clip = {0, 0, double(scene.picture.width), double(scene.picture.height)};
  scene.Prepare();

  BlockStore store{file, out.blocks, {}};
  AnimatedBlocks animated{store, out, {}};
  SeenKeys drawnBefore;  // shared by the runs: they draw into the same blocks
  const std::vector<std::vector<size_t>> runs = Runs(scene);
  // A plain layer keeps a block for each gid it holds at most: room for
  // them is made at once, not by copying the blocks each time they outgrow
  // their room (a map of many different tiles has tens of MiB of them).
  size_t plainBlocks = 0;
  for (const std::vector<size_t>& run : runs)
    if (run.size() == 1 && IsPlain(scene, run.front())) plainBlocks += scene.tileGids[run.front()].size();
  out.blocks.reserve(std::min<size_t>(plainBlocks, kMaxBlocks));
  for (const std::vector<size_t>& run : runs) {
    if (run.size() == 1 && IsPlain(scene, run.front()))
      out.layers.push_back(PlainLayer(scene, scene.layers[run.front()], out, store, animated));
    else
      out.layers.push_back(DrawnLayer(scene, run, out, store, animated, drawnBefore));
    out.layerNames.push_back(RunName(scene, run));
  }
  if (out.layers.empty()) {  // nothing is drawn: the viewer still wants a layer
    out.layers.push_back(EmptyLayer(out));
    out.layerNames.push_back("map");
  }
  if (!scene.missing.empty())
    out.warnings.push_back(std::to_string(scene.missing.size()) +
                           " tile id(s) have no image in their tileset (the first: " +
                           std::to_string(*scene.missing.begin()) + "); those tiles are left empty");
  return out;
}

Composition Compose(const Map& map, const ComposeOptions& options) {
  Scene scene(map, options.background);
  const SceneMap& only = scene.maps.front();
  scene.picture = PictureRectOf(map, only.grid, only.layers);
  Composition out = ComposeScene(scene, map.file);
  PlaceStart(out, {0, 0, int64_t{out.width} * kBlock, int64_t{out.height} * kBlock});
  return out;
}

// The world's picture spans its maps' grid areas, each moved by the map's
// place; what reaches past them is cut off only at the picture's edges.
Composition Compose(const World& world, const ComposeOptions& options) {
  std::vector<std::pair<const Map*, MapPoint>> placed;
  for (const PlacedMap& entry : world.maps) placed.push_back({&entry.map, {double(entry.x), double(entry.y)}});
  Scene scene(placed, options.background);
  int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
  for (const SceneMap& map : scene.maps) {
    const PixelRect area = MapArea(*map.map, map.grid, map.layers);
    // Grid areas and places both lie well inside 2^53: the sums are exact.
    left = std::min(left, static_cast<int64_t>(std::floor(area.left + map.origin.x)));
    top = std::min(top, static_cast<int64_t>(std::floor(area.top + map.origin.y)));
    right = std::max(right, static_cast<int64_t>(std::ceil(area.right + map.origin.x)));
    bottom = std::max(bottom, static_cast<int64_t>(std::ceil(area.bottom + map.origin.y)));
  }
  if (scene.maps.empty()) left = top = right = bottom = 0;
  scene.picture = {left, top, right - left, bottom - top};
  Composition out = ComposeScene(scene, world.file);
  OutputRect firstMap;  // the viewer starts on the first map, wherever it lies
  if (!scene.maps.empty()) {
    const SceneMap& first = scene.maps.front();
    const PixelRect area = MapArea(*first.map, first.grid, first.layers);
    // Within 2^41 pixels of the picture's corner: exact in a double and an int64.
    auto outputX = [&](double x) { return static_cast<int64_t>(std::floor(x + first.origin.x)) - left + out.placedX; };
    auto outputY = [&](double y) { return static_cast<int64_t>(std::floor(y + first.origin.y)) - top + out.placedY; };
    firstMap = {outputX(area.left), outputY(area.top), outputX(std::ceil(area.right)), outputY(std::ceil(area.bottom))};
  }
  PlaceStart(out, firstMap);
  return out;
}

}  // namespace importer
