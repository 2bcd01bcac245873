#include "import/block_items.h"

#include <algorithm>
#include <cmath>

namespace importer {

// The box comes from the tiles the layer really uses, each id looked at once.
// On hexagonal maps a turned tile may reach as far as its box's corners
// around its centre.
static Reach ReachOf(const Map& map, const CellGrid& cells) {
  Reach reach{0, -double(map.tileHeight), double(map.tileWidth), 0};
  Reach turned = reach;
  bool anyTurned = false;
  GidTable seen;
  for (const uint32_t gid : cells.gids) {
    anyTurned = anyTurned || (gid & (kFlipD | kTurn120)) != 0;
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
    const double radius = std::hypot(boxW, boxH) / 2, centreX = x + boxW / 2, centreY = y - boxH / 2;
    turned = {std::min(turned.left, centreX - radius), std::min(turned.top, centreY - radius),
              std::max(turned.right, centreX + radius), std::max(turned.bottom, centreY + radius)};
  }
  return map.orientation == Orientation::kHexagonal && anyTurned ? turned : reach;
}

Placement Scene::TilePlacement(const DrawLayer& drawn, const TileImage& tile, uint32_t gid, MapPoint anchor) const {
  const Tileset& tileset = *tile.tileset;
  Placement placement;
  placement.image = tile.image;
  placement.sourceX = tile.x, placement.sourceY = tile.y;
  placement.sourceWidth = tile.width, placement.sourceHeight = tile.height;
  placement.width = tileset.gridRenderSize ? map.tileWidth : tile.width;
  placement.height = tileset.gridRenderSize ? map.tileHeight : tile.height;
  const double scaleX = placement.width / tile.width, scaleY = placement.height / tile.height;
  placement.left = anchor.x + tileset.offsetX * scaleX;
  placement.bottom = anchor.y + tileset.offsetY * scaleY;
  SetFlips(gid, placement);
  placement.preserveAspect = tileset.preserveAspect;
  placement.opacity = drawn.opacity;
  placement.tint = drawn.tint;
  placement.blend = drawn.layer->blend;
  return placement;
}

void Scene::SetFlips(uint32_t gid, Placement& placement) const {
  placement.flips = FlipsOf(gid);
  if (map.orientation != Orientation::kHexagonal) return;
  placement.flips.diagonal = false;  // hexagons turn instead
  placement.spin = ((gid & kFlipD) != 0 ? 60 : 0) + ((gid & kTurn120) != 0 ? 120 : 0);
}

bool Scene::Touches(const Placement& placement, const Bounds& block) const {
  const Bounds b = BoundsOf(placement);
  return b.left < block.right && b.right > block.left && b.top < block.bottom && b.bottom > block.top;
}

void Scene::GatherTiles(size_t index, const Bounds& block, BlockItems& out) {
  const DrawLayer& drawn = layers[index];
  const CellGrid& cells = drawn.layer->cells;
  if (cells.gids.empty()) return;
  const Reach& reach = reaches[index];
  const MapPoint shift{drawn.offsetX - double(picture.left), drawn.offsetY - double(picture.top)};
  CellsInWindow(grid, {cells.x, cells.y, cells.width, cells.height},
                {block.left, block.top, block.right, block.bottom},
                {reach.left, reach.top, reach.right, reach.bottom}, shift, near);
  for (const CellAt& cell : near) {
    const uint32_t gid = cells.At(static_cast<int>(cell.x), static_cast<int>(cell.y));
    if ((gid & kGidBits) == 0) continue;
    // The cells near the block, whether they reach into it or not: the
    // same neighbourhood always gives the same pixels.
    out.items.push_back(Item{true, static_cast<uint32_t>(index), gid, cell.anchor, 0});
    out.AddToKey(uint64_t{index} << 32 | gid);
    out.AddToKey(cell.anchor.x - block.left);
    out.AddToKey(cell.anchor.y - block.top);
  }
}

void Scene::GatherObjects(size_t index, const Bounds& block, BlockItems& out) const {
  const std::vector<Placement>& placed = objects[index];
  for (const size_t i : objectsInRow[index]) {
    if (!Touches(placed[i], block)) continue;
    out.items.push_back(Item{false, 0, 0, {}, out.placements.size()});
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
      out.items.push_back(Item{false, 0, 0, {}, out.placements.size()});
      out.placements.push_back(placement);
      out.AddToKey(uint64_t{index} << 32 | uint64_t{1} << 62);
      // Where a repeated image meets the block repeats with the image.
      out.AddToKey(layer.repeatX ? std::fmod(x - block.left, image->width) : x - block.left);
      out.AddToKey(layer.repeatY ? std::fmod(y - block.top, image->height) : y - block.top);
    }
  }
}

void Scene::Gather(const Bounds& block, const std::vector<size_t>& group, bool withBackground, BlockItems& out) {
  out.items.clear();
  out.placements.clear();
  out.key[0] = out.key[1] = 0;
  // Where the block meets the picture's edge decides what is cut off.
  out.AddToKey(std::max(0.0, clip.left - block.left));
  out.AddToKey(std::max(0.0, clip.top - block.top));
  out.AddToKey(std::max(0.0, block.right - clip.right));
  out.AddToKey(std::max(0.0, block.bottom - clip.bottom));
  if (withBackground && background && Touches(*background, block)) {
    // One colour: only where its edges cross the block matters.
    const Bounds area = BoundsOf(*background);
    auto inBlock = [](double v) { return std::clamp(v, 0.0, double(kBlock)); };
    out.items.push_back(Item{false, 0, 0, {}, out.placements.size()});
    out.placements.push_back(*background);
    out.AddToKey(uint64_t{3} << 61);
    out.AddToKey(inBlock(area.left - block.left));
    out.AddToKey(inBlock(area.top - block.top));
    out.AddToKey(inBlock(area.right - block.left));
    out.AddToKey(inBlock(area.bottom - block.top));
  }
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
  Alignment alignment = tileset.alignment;
  if (alignment == Alignment::kUnspecified)
    alignment = map.orientation == Orientation::kIsometric ? Alignment::kBottom : Alignment::kBottomLeft;
  double kx = 0, ky = h;  // bottom-left
  switch (alignment) {
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
  const MapPoint at = ProjectObject(grid, object.x, object.y);
  const double anchorX = at.x + drawn.offsetX - double(picture.left);
  const double anchorY = at.y + drawn.offsetY - double(picture.top);
  placement.left = anchorX - kx + tileset.offsetX * w / tile.width;
  placement.bottom = anchorY - ky + h + tileset.offsetY * h / tile.height;
  SetFlips(object.gid, placement);
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

void Scene::Prepare(bool paintBackground) {
  if (paintBackground && map.background) {
    const Color& colour = *map.background;
    backgroundPixel = {1, 1, {Pixel{colour.r, colour.g, colour.b, colour.a}}};
    const PixelRect area = MapArea(map, grid, layers);
    Placement placement;
    placement.image = &backgroundPixel;
    placement.sourceWidth = placement.sourceHeight = 1;
    placement.left = area.left - double(picture.left), placement.bottom = area.bottom - double(picture.top);
    placement.width = area.right - area.left, placement.height = area.bottom - area.top;
    if (placement.width > 0 && placement.height > 0) background = placement;
  }
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
