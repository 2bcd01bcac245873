#include "import/read/shared_steps.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "import/import_error.h"
#include "import/limits.h"

namespace importer {

void SortTilesets(TilesetList& tilesets) {
  std::stable_sort(tilesets.begin(), tilesets.end(),
                   [](const TilesetRef& a, const TilesetRef& b) { return a.firstGid < b.firstGid; });
}

void SortTiles(Tileset& tileset) {
  std::stable_sort(tileset.tiles.begin(), tileset.tiles.end(),
                   [](const TileEntry& a, const TileEntry& b) { return a.id < b.id; });
}

void SortObjects(std::vector<Object>& objects, bool fileOrder) {
  if (!fileOrder)  // objects with the same y keep the file's order
    std::stable_sort(objects.begin(), objects.end(), [](const Object& a, const Object& b) { return a.y < b.y; });
}

std::string CutProblem(const Tileset& tileset) {
  if (!tileset.image.Given() ||
      (tileset.tileWidth > 0 && tileset.tileHeight > 0 && tileset.spacing >= 0 && tileset.margin >= 0))
    return "";
  return "a tileset with tile size " + std::to_string(tileset.tileWidth) + " x " +
         std::to_string(tileset.tileHeight) + ", spacing " + std::to_string(tileset.spacing) + " and margin " +
         std::to_string(tileset.margin) + " can't be cut into tiles";
}

std::optional<Object> MakeObject(const ObjectFields& own, const std::shared_ptr<const Template>& from) {
  const ObjectFields none;
  const ObjectFields& base = from != nullptr ? from->object : none;
  auto pick = [](const auto& mine, const auto& theirs, auto otherwise) {
    return mine ? *mine : theirs ? *theirs : otherwise;
  };
  // Values where doubles still count whole pixels; a file may hold anything.
  auto sane = [](double value, double low, double high, double otherwise) {
    return std::isfinite(value) ? std::clamp(value, low, high) : otherwise;
  };
  Object object;
  if (from != nullptr && !from->unreadable.empty()) {  // left out, but kept to be counted
    object.unreadableTemplate = from;
    return own.visible.value_or(true) ? std::optional<Object>(object) : std::nullopt;
  }
  object.x = sane(own.x.value_or(0), -1e12, 1e12, 0);  // the position is always the instance's
  object.y = sane(own.y.value_or(0), -1e12, 1e12, 0);
  object.width = sane(pick(own.width, base.width, 0.0), 0, 1e12, 0);
  object.height = sane(pick(own.height, base.height, 0.0), 0, 1e12, 0);
  object.rotation = sane(pick(own.rotation, base.rotation, 0.0), -1e6, 1e6, 0);
  object.opacity = sane(pick(own.opacity, base.opacity, 1.0), 0, 1, 1);
  object.visible = pick(own.visible, base.visible, true);
  object.gid = pick(own.gid, base.gid, uint32_t{0});
  // A gid from the template is looked up in the template's tilesets.
  if (!own.gid && base.gid && from != nullptr) object.tilesets = from->tilesets;
  if (object.gid == 0 || !object.visible) return std::nullopt;  // shapes and hidden objects draw nothing
  return object;
}

CellGrid JoinChunks(const std::vector<CellGrid>& chunks) {
  CellGrid joined;
  if (chunks.empty()) return joined;
  int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
  for (const CellGrid& chunk : chunks) {
    left = std::min<int64_t>(left, chunk.x);
    top = std::min<int64_t>(top, chunk.y);
    right = std::max<int64_t>(right, int64_t{chunk.x} + chunk.width);
    bottom = std::max<int64_t>(bottom, int64_t{chunk.y} + chunk.height);
  }
  // Cell coordinates stay well inside int, so that positions in pixels can't overflow.
  constexpr int64_t kFar = int64_t{1} << 24;
  if (left < -kFar || top < -kFar || right > kFar || bottom > kFar)
    throw DataError("chunks lie more than " + std::to_string(kFar) + " cells from the origin");
  if ((right - left) * (bottom - top) > kMaxCells)
    throw DataError("its chunks span " + std::to_string(right - left) + " x " +
                    std::to_string(bottom - top) + " cells, more than the importer takes");
  joined.x = static_cast<int>(left);
  joined.y = static_cast<int>(top);
  joined.width = static_cast<int>(right - left);
  joined.height = static_cast<int>(bottom - top);
  joined.gids.assign(static_cast<size_t>(joined.width) * joined.height, 0);
  for (const CellGrid& chunk : chunks)
    for (int cy = 0; cy < chunk.height; ++cy)
      std::copy_n(chunk.gids.begin() + static_cast<ptrdiff_t>(cy) * chunk.width, chunk.width,
                  joined.gids.begin() + (static_cast<ptrdiff_t>(chunk.y - joined.y + cy) * joined.width +
                                         (chunk.x - joined.x)));
  return joined;
}

}  // namespace importer
