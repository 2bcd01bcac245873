#include "import/block_items.h"

#include <algorithm>
#include <cmath>

namespace importer {

// The box comes from the tiles the layer really uses, each id looked at once.
static Reach ReachOf(const Map& map, const CellGrid& cells) {
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

Placement Scene::TilePlacement(const DrawLayer& drawn, const TileImage& tile, uint32_t gid, int64_t cx,
                               int64_t cy) const {
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

bool Scene::Touches(const Placement& placement, const Bounds& block) const {
  const Bounds b = BoundsOf(placement);
  return b.left < block.right && b.right > block.left && b.top < block.bottom && b.bottom > block.top;
}

void Scene::GatherTiles(size_t index, const Bounds& block, BlockItems& out) const {
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

void Scene::GatherObjects(size_t index, const Bounds& block, BlockItems& out) const {
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

void Scene::GatherImage(size_t index, const Bounds& block, BlockItems& out) const {
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

void Scene::Gather(const Bounds& block, const std::vector<size_t>& group, BlockItems& out) {
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
std::optional<Placement> Scene::ObjectPlacement(const DrawLayer& drawn, const Object& object) {
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

void Scene::StartRow(double top, double bottom) {
  for (size_t i = 0; i < objects.size(); ++i) {
    objectsInRow[i].clear();
    for (size_t k = 0; k < objects[i].size(); ++k) {
      const Bounds b = BoundsOf(objects[i][k]);
      if (b.top < bottom && b.bottom > top) objectsInRow[i].push_back(k);
    }
  }
}

void Scene::Prepare() {
  reaches.resize(layers.size());
  objects.resize(layers.size());
  objectsInRow.resize(layers.size());
  for (size_t i = 0; i < layers.size(); ++i) {
    const DrawLayer& drawn = layers[i];
    if (drawn.layer->kind == LayerKind::kTiles && Drawn(drawn)) reaches[i] = ReachOf(map, drawn.layer->cells);
    if (drawn.layer->kind != LayerKind::kObjects || !Drawn(drawn)) continue;
    for (const Object& object : drawn.layer->objects)
      if (std::optional<Placement> placement = ObjectPlacement(drawn, object)) objects[i].push_back(*placement);
  }
}

}  // namespace importer
