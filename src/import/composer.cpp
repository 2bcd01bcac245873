#include "import/composer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <unordered_map>

#include "shared/globals.h"
#include "map/layer.h"
#include "import/import_error.h"
#include "import/read_map.h"

namespace importer {
namespace {

// The viewer's window, and the map pixel at its top-left when it starts.
constexpr int64_t kViewWidth = 1280, kViewHeight = 720;
constexpr int64_t kViewLeft = kCameraStartX - kViewWidth / 2, kViewTop = kCameraStartY - kViewHeight / 2;
constexpr size_t kMaxOutputLayers = kMaxLayers;

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// ---- Blocks, each kept once -------------------------------------------------

uint64_t Mix(uint64_t h, uint64_t v) {
  h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  return h * 0xFF51AFD7ED558CCDull;
}

struct BlockStore {
  const Map& map;
  std::vector<Block>& blocks;
  std::unordered_multimap<uint64_t, int32_t> byHash;

  // The cell value that shows `block`: 0 when it is all transparent.
  int32_t Add(const Block& block) {
    uint64_t hash = 0;
    bool empty = true;
    for (const Pixel& p : block) {
      uint32_t word;
      std::memcpy(&word, &p, sizeof word);
      hash = Mix(hash, word);
      empty = empty && p.a == 0;
    }
    if (empty) return 0;
    const auto [first, last] = byHash.equal_range(hash);
    for (auto it = first; it != last; ++it)
      if (std::memcmp(&blocks[it->second - 1], &block, sizeof block) == 0) return it->second;
    if (blocks.size() == kMaxBlocks)
      throw ImportError(Where(map.file) + "the picture needs more than " + std::to_string(kMaxBlocks) +
                        " different 32 x 32 blocks, more than the viewer's tileset holds "
                        "(one image of 3 columns, 16384 pixels tall)");
    blocks.push_back(block);
    const int32_t value = static_cast<int32_t>(blocks.size());
    byHash.emplace(hash, value);
    return value;
  }
};

// ---- What a block shows -----------------------------------------------------

// A value per gid (flip bits included), looked up once per cell of a big
// map: a plain table while the ids are small, as they are in real maps.
struct GidTable {
  static constexpr uint32_t kDirectIds = 1 << 16;
  std::vector<int32_t> direct = std::vector<int32_t>(8 * kDirectIds, -1);
  std::unordered_map<uint32_t, int32_t> others;

  // The value of `gid`, or -1 when it has none yet.
  int32_t& operator[](uint32_t gid) {
    const uint32_t id = gid & kGidBits;
    if (id < kDirectIds) return direct[(id << 3) | gid >> 29];
    return others.try_emplace(gid, -1).first->second;
  }
};

// A tile layer's cells draw within this box around their anchor (the
// cell's bottom-left corner): tiles larger than the grid, tile offsets. It
// comes from the tiles the layer really uses, each id looked at once.
struct Reach {
  double left = 0, top = 0, right = 0, bottom = 0;
};

Reach ReachOf(const Map& map, const CellGrid& cells) {
  Reach reach{0, -double(map.tileHeight), double(map.tileWidth), 0};
  GidTable seen;
  for (const uint32_t gid : cells.gids) {
    const uint32_t id = gid & kGidBits;
    if (id == 0 || seen[id] >= 0) continue;
    seen[id] = 1;
    const TileImage tile = ResolveGid(map.tilesets, id);
    if (tile.image == nullptr) continue;
    const Tileset& tileset = *tile.tileset;
    const double boxW = tileset.gridRenderSize ? map.tileWidth : tile.width;
    const double boxH = tileset.gridRenderSize ? map.tileHeight : tile.height;
    const double x = tileset.offsetX * boxW / tile.width, y = tileset.offsetY * boxH / tile.height;
    const double longest = std::max(boxW, boxH);  // a diagonal flip swaps the sides
    reach = {std::min(reach.left, x), std::min(reach.top, y - longest), std::max(reach.right, x + longest),
             std::max(reach.bottom, y)};
  }
  return reach;
}

// The items drawn into one block, and a key of everything that decides its
// pixels, so that blocks that would come out the same are drawn once.
// A tile is kept as its cell (its placement is worked out only if the block
// is new); objects and images as their placements.
struct Item {
  bool isTile;
  uint32_t layer, gid;
  int64_t cx, cy;
  size_t placement;  // in BlockItems::placements
};

struct BlockItems {
  std::vector<Item> items;
  std::vector<Placement> placements;
  uint64_t key[2] = {0, 0};
  void AddToKey(uint64_t value) {
    key[0] = Mix(key[0], value);
    key[1] = Mix(key[1] ^ 0x5851F42D4C957F2Dull, value + 1);
  }
  void AddToKey(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    AddToKey(bits);
  }
};

struct KeyHash {
  size_t operator()(const std::pair<uint64_t, uint64_t>& key) const { return key.first ^ (key.second << 1); }
};

struct Scene {
  const Map& map;
  std::vector<DrawLayer> layers;
  PictureRect picture;
  Bounds clip;  // the picture, in picture pixels
  std::vector<Reach> reaches;  // per tile layer
  std::vector<std::vector<Placement>> objects;  // per object layer
  std::vector<std::vector<size_t>> objectsInRow;  // per object layer: those that reach the row of blocks
  std::set<uint32_t> missing;  // ids that have no image

  bool Drawn(const DrawLayer& drawn) const { return drawn.visible && drawn.opacity > 0; }

  Placement TilePlacement(const DrawLayer& drawn, const TileImage& tile, uint32_t gid, int64_t cx, int64_t cy) {
    const Tileset& tileset = *tile.tileset;
    Placement placement;
    placement.image = tile.image;
    placement.sourceX = tile.x, placement.sourceY = tile.y;
    placement.sourceWidth = tile.width, placement.sourceHeight = tile.height;
    placement.width = tileset.gridRenderSize ? map.tileWidth : tile.width;
    placement.height = tileset.gridRenderSize ? map.tileHeight : tile.height;
    const double scaleX = placement.width / tile.width, scaleY = placement.height / tile.height;
    placement.left = double(cx * map.tileWidth) + tileset.offsetX * scaleX + drawn.offsetX - double(picture.left);
    placement.bottom = double((cy + 1) * map.tileHeight) + tileset.offsetY * scaleY + drawn.offsetY -
                       double(picture.top);
    placement.flips = FlipsOf(gid);
    placement.preserveAspect = tileset.preserveAspect;
    placement.opacity = drawn.opacity;
    placement.tint = drawn.tint;
    placement.blend = drawn.layer->blend;
    return placement;
  }

  bool Touches(const Placement& placement, const Bounds& block) const {
    const Bounds b = BoundsOf(placement);
    return b.left < block.right && b.right > block.left && b.top < block.bottom && b.bottom > block.top;
  }

  void GatherTiles(size_t index, const Bounds& block, BlockItems& out) {
    const DrawLayer& drawn = layers[index];
    const CellGrid& cells = drawn.layer->cells;
    if (cells.gids.empty()) return;
    const Reach& reach = reaches[index];
    const double tw = map.tileWidth, th = map.tileHeight;
    // The block in the layer's own map pixels, and the cells that may reach it.
    const double left = block.left + double(picture.left) - drawn.offsetX;
    const double top = block.top + double(picture.top) - drawn.offsetY;
    // Cell x reaches in when x·tw + reach.left < left + 32 and x·tw + reach.right > left;
    // row y when (y + 1)·th + reach.top < top + 32 and (y + 1)·th + reach.bottom > top.
    const int64_t x0 = std::max<int64_t>(cells.x, int64_t(std::floor((left - reach.right) / tw)) + 1);
    const int64_t x1 = std::min<int64_t>(int64_t{cells.x} + cells.width - 1,
                                         int64_t(std::ceil((left + kBlock - reach.left) / tw)) - 1);
    const int64_t y0 = std::max<int64_t>(cells.y, int64_t(std::floor((top - reach.bottom) / th)));
    const int64_t y1 = std::min<int64_t>(int64_t{cells.y} + cells.height - 1,
                                         int64_t(std::ceil((top + kBlock - reach.top) / th)) - 2);
    if (x0 > x1 || y0 > y1) return;
    const RenderOrder order = map.renderOrder;
    const bool up = order == RenderOrder::kRightUp || order == RenderOrder::kLeftUp;
    const bool leftward = order == RenderOrder::kLeftDown || order == RenderOrder::kLeftUp;
    for (int64_t row = 0; row <= y1 - y0; ++row) {
      const int64_t cy = up ? y1 - row : y0 + row;
      for (int64_t column = 0; column <= x1 - x0; ++column) {
        const int64_t cx = leftward ? x1 - column : x0 + column;
        const uint32_t gid = cells.At(static_cast<int>(cx), static_cast<int>(cy));
        if ((gid & kGidBits) == 0) continue;
        // The cells near the block, whether they reach into it or not: the
        // same neighbourhood always gives the same pixels.
        out.items.push_back(Item{true, static_cast<uint32_t>(index), gid, cx, cy, 0});
        out.AddToKey(uint64_t{index} << 32 | gid);
        out.AddToKey(double(cx) * tw - left);
        out.AddToKey(double(cy) * th - top);
      }
    }
  }

  void GatherObjects(size_t index, const Bounds& block, BlockItems& out) {
    const std::vector<Placement>& placed = objects[index];
    for (const size_t i : objectsInRow[index]) {
      if (!Touches(placed[i], block)) continue;
      out.items.push_back(Item{false, 0, 0, 0, 0, out.placements.size()});
      out.placements.push_back(placed[i]);
      out.AddToKey(uint64_t{index} << 32 | i | uint64_t{1} << 63);
      out.AddToKey(placed[i].left - block.left);
      out.AddToKey(placed[i].bottom - block.top);
    }
  }

  void GatherImage(size_t index, const Bounds& block, BlockItems& out) {
    const DrawLayer& drawn = layers[index];
    const Layer& layer = *drawn.layer;
    const Image* image = layer.image.pixels.get();
    if (image == nullptr || image->width == 0 || image->height == 0) return;
    Placement placement;
    placement.image = image;
    placement.sourceWidth = image->width, placement.sourceHeight = image->height;
    placement.width = image->width, placement.height = image->height;
    placement.opacity = drawn.opacity;
    placement.tint = drawn.tint;
    placement.blend = layer.blend;
    const double left = drawn.offsetX - double(picture.left), top = drawn.offsetY - double(picture.top);
    // Repeated copies line up with the first one, in both directions: the
    // first copy drawn is the one over the block's start.
    auto copies = [](bool repeat, double start, double size, double from, double to) {
      if (!repeat) return std::pair{start, start + size};
      const double first = start + std::floor((from - start) / size) * size;
      return std::pair{first, to};
    };
    const auto [x0, xEnd] = copies(layer.repeatX, left, image->width, block.left, block.right);
    const auto [y0, yEnd] = copies(layer.repeatY, top, image->height, block.top, block.bottom);
    for (double y = y0; y < yEnd; y += image->height) {
      for (double x = x0; x < xEnd; x += image->width) {
        placement.left = x, placement.bottom = y + image->height;
        if (!Touches(placement, block)) continue;
        out.items.push_back(Item{false, 0, 0, 0, 0, out.placements.size()});
        out.placements.push_back(placement);
        out.AddToKey(uint64_t{index} << 32 | uint64_t{1} << 62);
        // Where a repeated image meets the block repeats with the image.
        out.AddToKey(layer.repeatX ? std::fmod(x - block.left, image->width) : x - block.left);
        out.AddToKey(layer.repeatY ? std::fmod(y - block.top, image->height) : y - block.top);
      }
    }
  }

  void Gather(const Bounds& block, const std::vector<size_t>& group, BlockItems& out) {
    out.items.clear();
    out.placements.clear();
    out.key[0] = out.key[1] = 0;
    // Where the block meets the picture's edge decides what is cut off.
    out.AddToKey(std::max(0.0, clip.left - block.left));
    out.AddToKey(std::max(0.0, clip.top - block.top));
    out.AddToKey(std::max(0.0, block.right - clip.right));
    out.AddToKey(std::max(0.0, block.bottom - clip.bottom));
    for (const size_t i : group) {
      switch (layers[i].layer->kind) {
        case LayerKind::kTiles: GatherTiles(i, block, out); break;
        case LayerKind::kObjects: GatherObjects(i, block, out); break;
        case LayerKind::kImage: GatherImage(i, block, out); break;
        case LayerKind::kGroup: break;
      }
    }
  }

  // A tile object: its image scaled to its size, placed by the tileset's
  // alignment from (x, y), flipped in its box, turned about (x, y).
  std::optional<Placement> ObjectPlacement(const DrawLayer& drawn, const Object& object) {
    const TileImage tile = ResolveGid(object.tilesets ? *object.tilesets : map.tilesets, object.gid);
    if (tile.image == nullptr) {
      missing.insert(object.gid & kGidBits);
      return std::nullopt;
    }
    const Tileset& tileset = *tile.tileset;
    Placement placement;
    placement.image = tile.image;
    placement.sourceX = tile.x, placement.sourceY = tile.y;
    placement.sourceWidth = tile.width, placement.sourceHeight = tile.height;
    placement.width = object.width > 0 ? object.width : tile.width;
    placement.height = object.height > 0 ? object.height : tile.height;
    const double w = placement.width, h = placement.height;
    double kx = 0, ky = h;  // bottom-left, the orthogonal default
    switch (tileset.alignment) {
      case Alignment::kTopLeft: kx = 0, ky = 0; break;
      case Alignment::kTop: kx = w / 2, ky = 0; break;
      case Alignment::kTopRight: kx = w, ky = 0; break;
      case Alignment::kLeft: kx = 0, ky = h / 2; break;
      case Alignment::kCenter: kx = w / 2, ky = h / 2; break;
      case Alignment::kRight: kx = w, ky = h / 2; break;
      case Alignment::kBottom: kx = w / 2, ky = h; break;
      case Alignment::kBottomRight: kx = w, ky = h; break;
      default: break;
    }
    const double anchorX = object.x + drawn.offsetX - double(picture.left);
    const double anchorY = object.y + drawn.offsetY - double(picture.top);
    placement.left = anchorX - kx + tileset.offsetX * w / tile.width;
    placement.bottom = anchorY - ky + h + tileset.offsetY * h / tile.height;
    placement.flips = FlipsOf(object.gid);
    placement.preserveAspect = tileset.preserveAspect;
    placement.rotation = object.rotation;
    placement.pivotX = anchorX, placement.pivotY = anchorY;
    placement.opacity = drawn.opacity * object.opacity;
    placement.tint = drawn.tint;
    placement.blend = drawn.layer->blend;
    return placement;
  }

  // Before a row of blocks: the objects that reach into it.
  void StartRow(double top, double bottom) {
    for (size_t i = 0; i < objects.size(); ++i) {
      objectsInRow[i].clear();
      for (size_t k = 0; k < objects[i].size(); ++k) {
        const Bounds b = BoundsOf(objects[i][k]);
        if (b.top < bottom && b.bottom > top) objectsInRow[i].push_back(k);
      }
    }
  }

  void Prepare() {
    reaches.resize(layers.size());
    objects.resize(layers.size());
    objectsInRow.resize(layers.size());
    for (size_t i = 0; i < layers.size(); ++i) {
      const DrawLayer& drawn = layers[i];
      if (drawn.layer->kind == LayerKind::kTiles && Drawn(drawn)) reaches[i] = ReachOf(map, drawn.layer->cells);
      if (drawn.layer->kind != LayerKind::kObjects || !Drawn(drawn)) continue;
      for (const Object& object : drawn.layer->objects)
        if (std::optional<Placement> placement = ObjectPlacement(drawn, object))
          objects[i].push_back(*placement);
    }
  }
};

// ---- The layers the viewer gets ----------------------------------------------

std::vector<int32_t> EmptyLayer(const Composition& out) {
  return std::vector<int32_t>(static_cast<size_t>(out.width) * out.height, 0);
}

bool DrawsSomething(const Scene& scene, const DrawLayer& drawn) {
  const Layer& layer = *drawn.layer;
  return scene.Drawn(drawn) && (!layer.cells.gids.empty() || !layer.objects.empty() || layer.image.Given());
}

// A layer of 32-pixel tiles on the 32-pixel grid, drawn plainly: its tiles
// are the blocks, nothing has to be drawn together.
bool IsPlain(const Scene& scene, const DrawLayer& drawn) {
  const Map& map = scene.map;
  const Layer& layer = *drawn.layer;
  if (map.tileWidth != kBlock || map.tileHeight != kBlock || layer.kind != LayerKind::kTiles) return false;
  if (FloorDiv(scene.picture.left, kBlock) * kBlock != scene.picture.left ||
      FloorDiv(scene.picture.top, kBlock) * kBlock != scene.picture.top)
    return false;
  if (drawn.opacity != 1 || drawn.tint || drawn.offsetX != 0 || drawn.offsetY != 0 ||
      layer.blend != BlendMode::kNormal)
    return false;
  GidTable checked;  // whether an id's tile is a plain 32 x 32 one: 1 yes, 0 no
  for (const uint32_t gid : layer.cells.gids) {
    if ((gid & kGidBits) == 0) continue;
    int32_t& plain = checked[gid & kGidBits];  // flips don't change the size
    if (plain < 0) {
      const TileImage tile = ResolveGid(map.tilesets, gid);
      plain = tile.image == nullptr || (tile.width == kBlock && tile.height == kBlock &&
                                        tile.tileset->offsetX == 0 && tile.tileset->offsetY == 0);
    }
    if (plain == 0) return false;
  }
  return true;
}

// The layers that draw something, in at most three runs, each of which
// becomes one layer of the viewer. Each run is drawn on its own and the
// viewer lays them over each other, which is the same picture: drawing one
// over another ("source over") doesn't care how the draws are grouped. Only
// other blend modes need what lies below them in their own run. Runs are
// joined where that costs the fewest blocks: the sparsest neighbours first,
// so that a dense ground stays alone.
std::vector<std::vector<size_t>> Runs(const Scene& scene) {
  std::vector<std::vector<size_t>> runs;
  std::vector<int64_t> weight;  // the things a run draws
  for (size_t i = 0; i < scene.layers.size(); ++i) {
    const DrawLayer& drawn = scene.layers[i];
    if (!DrawsSomething(scene, drawn)) continue;
    const Layer& layer = *drawn.layer;
    int64_t things = static_cast<int64_t>(layer.objects.size()) + (layer.image.Given() ? 1 : 0);
    for (const uint32_t gid : layer.cells.gids) things += (gid & kGidBits) != 0;
    if (layer.blend != BlendMode::kNormal) {  // it and everything below: one run
      for (size_t k = 1; k < runs.size(); ++k) runs[0].insert(runs[0].end(), runs[k].begin(), runs[k].end());
      for (size_t k = 1; k < weight.size(); ++k) weight[0] += weight[k];
      runs.resize(std::min<size_t>(runs.size(), 1));
      weight.resize(runs.size());
      if (!runs.empty()) {
        runs[0].push_back(i);
        weight[0] += things;
        continue;
      }
    }
    runs.push_back({i});
    weight.push_back(things);
  }
  while (runs.size() > kMaxOutputLayers) {
    size_t lightest = 0;  // join run k and k + 1
    for (size_t k = 1; k + 1 < runs.size(); ++k)
      if (weight[k] + weight[k + 1] < weight[lightest] + weight[lightest + 1]) lightest = k;
    runs[lightest].insert(runs[lightest].end(), runs[lightest + 1].begin(), runs[lightest + 1].end());
    weight[lightest] += weight[lightest + 1];
    runs.erase(runs.begin() + static_cast<ptrdiff_t>(lightest) + 1);
    weight.erase(weight.begin() + static_cast<ptrdiff_t>(lightest) + 1);
  }
  return runs;
}

std::string RunName(const Scene& scene, const std::vector<size_t>& run) {
  std::string joined = scene.layers[run.front()].layer->name;
  for (size_t i = 1; i < run.size(); ++i) joined += " + " + scene.layers[run[i]].layer->name;
  return joined.size() <= 120 ? joined
                              : scene.layers[run.front()].layer->name + " + ... + " + scene.layers[run.back()].layer->name;
}

// A plain layer: one block per tile (and flip), cell by cell.
std::vector<int32_t> PlainLayer(Scene& scene, const DrawLayer& drawn, const Composition& out, BlockStore& store) {
  const Bounds whole{0, 0, kBlock, kBlock};
  const CellGrid& cells = drawn.layer->cells;
  std::vector<int32_t> layer = EmptyLayer(out);
  GidTable valueOf;
  const int64_t shiftX = (out.placedX - scene.picture.left) / kBlock;
  const int64_t shiftY = (out.placedY - scene.picture.top) / kBlock;
  for (int cy = 0; cy < cells.height; ++cy) {
    const int64_t y = shiftY + cells.y + cy;
    if (y < 0 || y >= out.height) continue;
    for (int cx = 0; cx < cells.width; ++cx) {
      const uint32_t gid = cells.gids[static_cast<size_t>(cy) * cells.width + cx];
      const int64_t x = shiftX + cells.x + cx;
      if ((gid & kGidBits) == 0 || x < 0 || x >= out.width) continue;
      int32_t& value = valueOf[gid];
      if (value < 0) {
        value = 0;
        const TileImage tile = ResolveGid(scene.map.tilesets, gid);
        if (tile.image == nullptr) {
          scene.missing.insert(gid & kGidBits);
        } else {
          Block block{};
          Placement placement = scene.TilePlacement(drawn, tile, gid, 0, 0);
          placement.left = 0, placement.bottom = kBlock;
          Draw(placement, block, 0, 0, whole);
          value = store.Add(block);
        }
      }
      layer[static_cast<size_t>(y) * out.width + x] = value;
    }
  }
  return layer;
}

// The run's layers drawn together, block by block; a block is drawn only
// when what reaches into it hasn't been seen before.
std::vector<int32_t> DrawnLayer(Scene& scene, const std::vector<size_t>& run, const Composition& out,
                                BlockStore& store) {
  std::vector<int32_t> layer = EmptyLayer(out);
  std::unordered_map<std::pair<uint64_t, uint64_t>, int32_t, KeyHash> seen;
  BlockItems gathered;
  const int64_t firstX = out.placedX / kBlock, firstY = out.placedY / kBlock;
  for (int64_t y = firstY; y < out.height; ++y) {
    const double rowTop = double(y * kBlock - out.placedY);
    scene.StartRow(rowTop, rowTop + kBlock);
    for (int64_t x = firstX; x < out.width; ++x) {
      const int blockX = static_cast<int>(x * kBlock - out.placedX);
      const int blockY = static_cast<int>(y * kBlock - out.placedY);
      const Bounds block{double(blockX), double(blockY), double(blockX + kBlock), double(blockY + kBlock)};
      scene.Gather(block, run, gathered);
      if (gathered.items.empty()) continue;
      auto [found, isNew] = seen.try_emplace({gathered.key[0], gathered.key[1]}, 0);
      if (isNew) {
        Block pixels{};
        for (const Item& item : gathered.items) {
          if (!item.isTile) {
            Draw(gathered.placements[item.placement], pixels, blockX, blockY, scene.clip);
            continue;
          }
          const TileImage tile = ResolveGid(scene.map.tilesets, item.gid);
          if (tile.image == nullptr) {
            scene.missing.insert(item.gid & kGidBits);
            continue;
          }
          const Placement placement = scene.TilePlacement(scene.layers[item.layer], tile, item.gid, item.cx, item.cy);
          Draw(placement, pixels, blockX, blockY, scene.clip);
        }
        found->second = store.Add(pixels);
      }
      layer[static_cast<size_t>(y) * out.width + x] = found->second;
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

Composition Compose(const Map& map) {
  Scene scene{map, FlattenLayers(map), {}, {}, {}, {}, {}, {}};
  scene.picture = PictureRectOf(map, scene.layers);
  Composition out;
  out.picture = scene.picture;
  out.placedX = PlaceOnAxis(scene.picture.width, kViewLeft, kViewWidth);
  out.placedY = PlaceOnAxis(scene.picture.height, kViewTop, kViewHeight);
  const int64_t width = (out.placedX + scene.picture.width + kBlock - 1) / kBlock;
  const int64_t height = (out.placedY + scene.picture.height + kBlock - 1) / kBlock;
  if (width * height > kMaxCells)
    throw ImportError(Where(map.file) + "the picture is " + std::to_string(scene.picture.width) + " x " +
                      std::to_string(scene.picture.height) + " pixels, more than the viewer's " +
                      std::to_string(kMaxCells) + " cells of 32 x 32 hold");
  out.width = static_cast<int>(width), out.height = static_cast<int>(height);
  scene.clip = {0, 0, double(scene.picture.width), double(scene.picture.height)};
  scene.Prepare();

  BlockStore store{map, out.blocks, {}};
  for (const std::vector<size_t>& run : Runs(scene)) {
    const DrawLayer& first = scene.layers[run.front()];
    out.layers.push_back(run.size() == 1 && IsPlain(scene, first) ? PlainLayer(scene, first, out, store)
                                                                  : DrawnLayer(scene, run, out, store));
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

}  // namespace importer
