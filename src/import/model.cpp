#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>

#include "import/model.h"

namespace importer {

const TileEntry* Tileset::Entry(int id) const {
  const auto found = std::lower_bound(tiles.begin(), tiles.end(), id,
                                      [](const TileEntry& entry, int key) { return entry.id < key; });
  return found != tiles.end() && found->id == id ? &*found : nullptr;
}

// Image-based tilesets are cut from the real image: what is left over on the
// right and at the bottom is no tile.
static TileImage SliceImage(const Tileset& tileset, int64_t id) {
  const Image* image = tileset.image.pixels.get();
  if (image == nullptr) return {};
  const int64_t stepX = int64_t{tileset.tileWidth} + tileset.spacing;
  const int64_t stepY = int64_t{tileset.tileHeight} + tileset.spacing;
  const int64_t columns = (int64_t{image->width} - tileset.margin + tileset.spacing) / stepX;
  const int64_t rows = (int64_t{image->height} - tileset.margin + tileset.spacing) / stepY;
  if (columns <= 0 || rows <= 0 || id >= columns * rows) return {};
  return {&tileset, image, static_cast<int>(tileset.margin + id % columns * stepX),
          static_cast<int>(tileset.margin + id / columns * stepY), tileset.tileWidth,
          tileset.tileHeight};
}

static TileImage CollectionTile(const Tileset& tileset, const TileEntry* entry) {
  if (entry == nullptr || entry->image.pixels == nullptr) return {};
  const Image& image = *entry->image.pixels;
  TileImage tile{&tileset, &image, 0, 0, image.width, image.height};
  if (entry->width > 0 && entry->height > 0) {  // a part of the image; what lies outside is none
    tile.x = std::clamp(entry->x, 0, image.width);
    tile.y = std::clamp(entry->y, 0, image.height);
    tile.width = std::min(entry->width, image.width - tile.x);
    tile.height = std::min(entry->height, image.height - tile.y);
  }
  if (tile.width <= 0 || tile.height <= 0) return {};
  return tile;
}

// The tileset a gid's id falls in, and the tile's local id there.
static std::pair<const Tileset*, int64_t> Lookup(const TilesetList& tilesets, uint32_t gid) {
  const uint32_t id = gid & kGidBits;
  const auto after = std::upper_bound(tilesets.begin(), tilesets.end(), id,
                                      [](uint32_t key, const TilesetRef& ref) { return key < ref.firstGid; });
  if (id == 0 || after == tilesets.begin()) return {nullptr, 0};
  return {std::prev(after)->tileset.get(), int64_t{id} - std::prev(after)->firstGid};
}

const Tileset* TilesetOf(const TilesetList& tilesets, uint32_t gid, int64_t& local) {
  const auto [tileset, id] = Lookup(tilesets, gid);
  local = id;
  return tileset;
}

static const TileEntry* EntryOf(const Tileset& tileset, int64_t local) {
  return local >= 0 && local <= INT32_MAX ? tileset.Entry(static_cast<int>(local)) : nullptr;
}

const std::vector<Frame>* AnimationOf(const TilesetList& tilesets, uint32_t gid) {
  const auto [tileset, local] = Lookup(tilesets, gid);
  const TileEntry* entry = tileset != nullptr ? EntryOf(*tileset, local) : nullptr;
  return entry != nullptr && !entry->animation.empty() ? &entry->animation : nullptr;
}

TileImage ResolveFrame(const TilesetList& tilesets, uint32_t gid, size_t frame) {
  const auto [tileset, named] = Lookup(tilesets, gid);
  if (tileset == nullptr) return {};
  int64_t local = named;
  const TileEntry* entry = EntryOf(*tileset, local);
  if (entry != nullptr && !entry->animation.empty()) {  // the frame's tile, drawn as itself
    local = entry->animation[std::min(frame, entry->animation.size() - 1)].tileId;
    entry = EntryOf(*tileset, local);
  }
  if (local < 0) return {};
  if (tileset->image.Given()) return SliceImage(*tileset, local);
  return CollectionTile(*tileset, entry);
}

TileImage ResolveGid(const TilesetList& tilesets, uint32_t gid, int64_t t) {
  const std::vector<Frame>* frames = AnimationOf(tilesets, gid);
  return ResolveFrame(tilesets, gid, frames != nullptr ? FrameAt(*frames, t) : 0);
}

}  // namespace importer
