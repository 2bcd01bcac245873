#include "import/compose/placement.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "import/compose/animation.h"
#include "import/compose/gid_table.h"

namespace importer {

// One pass over the cells (a big layer's cells are read from memory, not
// the caches, each pass): the box comes from the tiles the layer really
// uses, each id and flip looked at once. On hexagonal maps a turned tile
// may reach as far as its box's corners around its centre.
LayerTiles SurveyTiles(const Map& map, const CellGrid& cells) {
  PixelRect reach{0, -double(map.tileHeight), double(map.tileWidth), 0};
  PixelRect turned = reach;
  const bool hexagonal = map.orientation == Orientation::kHexagonal;
  // The gids met so far: a byte per id and flip while the ids are small
  // (kept as GidTable keeps them), the empty cell met from the start.
  std::vector<uint8_t> met(8 * 256, 0);
  std::fill(met.begin(), met.begin() + 8, 1);
  GidTable metLarge;
  auto slotOf = [](uint32_t gid) { return size_t{gid & kGidBits} << 3 | gid >> 29; };
  std::vector<uint32_t> used;
  auto meet = [&](uint32_t gid) {
    if ((gid & kGidBits) >= GidTable::kDirectIds) {
      if (metLarge[gid] >= 0) return;
      metLarge[gid] = 1;
    } else {
      const size_t slot = slotOf(gid);
      if (slot >= met.size()) met.resize(std::max(2 * met.size(), slot + 1), 0);
      if (met[slot] != 0) return;
      met[slot] = 1;
    }
    used.push_back(gid);
    // Every frame an animated tile shows counts, each at its own size.
    const std::vector<Frame>* frames = AnimationOf(map.tilesets, gid);
    const size_t shown = frames != nullptr ? ShownFrames(*frames) : 1;
    for (size_t frame = 0; frame < shown; ++frame) {
      const TileImage tile = ResolveFrame(map.tilesets, gid, frame);
      if (tile.image == nullptr) continue;
      const Tileset& tileset = *tile.tileset;
      const double boxW = tileset.gridRenderSize ? map.tileWidth : tile.width;
      const double boxH = tileset.gridRenderSize ? map.tileHeight : tile.height;
      const double x = tileset.offsetX * boxW / tile.width, y = tileset.offsetY * boxH / tile.height;
      const bool swapped = (gid & kFlipD) != 0 && !hexagonal;  // a diagonal flip swaps the sides
      const double wide = swapped ? boxH : boxW, tall = swapped ? boxW : boxH;
      reach = {std::min(reach.left, x), std::min(reach.top, y - tall), std::max(reach.right, x + wide),
               std::max(reach.bottom, y)};
      const double radius = std::hypot(boxW, boxH) / 2, centreX = x + boxW / 2, centreY = y - boxH / 2;
      turned = {std::min(turned.left, centreX - radius), std::min(turned.top, centreY - radius),
                std::max(turned.right, centreX + radius), std::max(turned.bottom, centreY + radius)};
    }
  };
  // Eight cells at a time, without a branch for each (its guess would often
  // be wrong): counted, their turn bits gathered, and whether all their
  // gids were met before asked, at once when they hold the same (a stretch
  // of one ground, or of nothing). Only stretches with a new gid are
  // looked at cell by cell.
  constexpr size_t kStretch = 8;
  const uint32_t* gids = cells.gids.data();
  const size_t count = cells.gids.size();
  auto wasMet = [&](uint32_t gid) {
    const size_t slot = slotOf(gid);
    return slot < met.size() && met[slot] != 0;
  };
  int64_t tiles = 0;
  uint32_t turns = 0;
  uint32_t previous = 0;  // of the last stretch of one gid: the next often holds it too
  size_t i = 0;
  for (; i + kStretch <= count; i += kStretch) {
    uint32_t differ = 0;
    for (size_t k = 1; k < kStretch; ++k) differ |= gids[i + k] ^ gids[i];
    if (differ == 0) {
      tiles += (gids[i] & kGidBits) != 0 ? int64_t{kStretch} : 0;
      if (gids[i] == previous) continue;
      previous = gids[i];
      turns |= gids[i];
      if (!wasMet(gids[i])) meet(gids[i]);
      continue;
    }
    bool allMet = true;
    for (size_t k = 0; k < kStretch; ++k) {
      tiles += (gids[i + k] & kGidBits) != 0;
      turns |= gids[i + k];
      allMet &= wasMet(gids[i + k]);
    }
    if (!allMet)
      for (size_t k = 0; k < kStretch; ++k) meet(gids[i + k]);
  }
  for (; i < count; ++i) {
    tiles += (gids[i] & kGidBits) != 0;
    turns |= gids[i];
    meet(gids[i]);
  }
  const bool anyTurned = (turns & (kFlipD | kTurn120)) != 0;
  return {tiles, hexagonal && anyTurned ? turned : reach, std::move(used)};
}

// Flipped as the gid says; on hexagonal maps the diagonal bit and the next
// one turn the tile by 60° and 120°.
static void SetFlips(const Map& map, uint32_t gid, Placement& placement) {
  placement.flips = FlipsOf(gid);
  if (map.orientation != Orientation::kHexagonal) return;
  placement.flips.diagonal = false;  // hexagons turn instead
  placement.spin = ((gid & kFlipD) != 0 ? 60 : 0) + ((gid & kTurn120) != 0 ? 120 : 0);
}

Placement TilePlacement(const Map& map, const DrawLayer& drawn, const TileImage& tile, uint32_t gid, MapPoint anchor) {
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
  SetFlips(map, gid, placement);
  placement.preserveAspect = tileset.preserveAspect;
  placement.opacity = drawn.opacity;
  placement.tint = drawn.tint;
  placement.blend = drawn.layer->blend;
  return placement;
}

// A tile object: its image scaled to its size, placed by the tileset's
// alignment from (x, y), flipped in its box, turned about (x, y).
std::optional<Placement> ObjectPlacement(const Map& map, const Grid& grid, const DrawLayer& drawn,
                                         const Object& object, MapPoint shift, std::set<uint32_t>& missing,
                                         size_t frame) {
  const TileImage tile = ResolveFrame(object.tilesets ? *object.tilesets : map.tilesets, object.gid, frame);
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
  const double anchorX = at.x + shift.x, anchorY = at.y + shift.y;
  placement.left = anchorX - kx + tileset.offsetX * w / tile.width;
  placement.bottom = anchorY - ky + h + tileset.offsetY * h / tile.height;
  SetFlips(map, object.gid, placement);
  placement.preserveAspect = tileset.preserveAspect;
  placement.rotation = object.rotation;
  placement.pivotX = anchorX, placement.pivotY = anchorY;
  placement.opacity = drawn.opacity * object.opacity;
  placement.tint = drawn.tint;
  placement.blend = drawn.layer->blend;
  return placement;
}

}  // namespace importer
