#include "import/compose/scene.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "import/compose/animation.h"
#include "import/compose/placement.h"

namespace importer {

// What stands in a scene's list of layers for a map's background colour:
// no layer of the map, so every kind of layer passes it by.
static const Layer& BackgroundLayer() {
  static const Layer background = [] {
    Layer layer;
    layer.kind = LayerKind::kGroup;
    layer.name = "background";
    return layer;
  }();
  return background;
}

Scene::Scene(const std::vector<std::pair<const Map*, MapPoint>>& placed, bool paintBackground) {
  maps.reserve(placed.size());  // backgrounds point at their maps' pixels
  for (const auto& [map, origin] : placed) {
    const size_t source = maps.size();
    maps.push_back(SceneMap{map, GridOf(*map), origin, FlattenLayers(*map), std::nullopt, Image{}});
    if (paintBackground && map->background) {
      DrawLayer background;
      background.layer = &BackgroundLayer();
      background.background = true;
      background.source = source;
      layers.push_back(background);
    }
    for (DrawLayer drawn : maps.back().layers) {
      drawn.source = source;
      layers.push_back(drawn);
    }
  }
}

static bool Touches(const Bounds& b, const Bounds& block) {
  return b.left < block.right && b.right > block.left && b.top < block.bottom && b.bottom > block.top;
}

static bool Touches(const Placement& placement, const Bounds& block) { return Touches(BoundsOf(placement), block); }

static CellRect RectOf(const CellGrid& cells) { return {cells.x, cells.y, cells.width, cells.height}; }

MapPoint Scene::ShiftOf(const DrawLayer& drawn) const {
  const MapPoint origin = MapOf(drawn).origin;
  return {drawn.offsetX + origin.x - double(picture.left), drawn.offsetY + origin.y - double(picture.top)};
}

void Scene::GatherTiles(size_t index, const Bounds& block, int64_t column, int64_t row, BlockItems& out) {
  const DrawLayer& drawn = layers[index];
  const CellGrid& cells = drawn.layer->cells;
  if (!Reaches(index, column, row)) return;
  const Grid& grid = MapOf(drawn).grid;
  const uint64_t layerBits = uint64_t{index} << 32;
  // Only shifted rows and columns place a cell by whether its row or column
  // is odd; elsewhere that would only tell alike blocks apart.
  const bool shifts = grid.orientation == Orientation::kStaggered || grid.orientation == Orientation::kHexagonal;
  bool first = true;
  int64_t firstX = 0, firstY = 0;
  VisitCells(grid, RectOf(cells), rowSpans[index], columnSpans[index][static_cast<size_t>(column)], reaches[index],
             ShiftOf(drawn), scratch, [&](int64_t x, int64_t y, MapPoint anchor) {
               // The cells near the block, whether they reach into it or
               // not: the same neighbourhood always gives the same pixels.
               // Where the first of them lies in the block (and whether its
               // row and column are odd, for shifted rows and columns)
               // places all the others by their steps from it.
               if (first) {
                 first = false, firstX = x, firstY = y;
                 const uint64_t parity = shifts ? uint64_t(x & 1) << 1 | uint64_t(y & 1) : 0;
                 out.AddToKey(Mix(Mix(layerBits | parity,
                                      BlockItems::Bits(anchor.x - block.left)),
                                  BlockItems::Bits(anchor.y - block.top)));
               }
               const uint32_t gid = cells.gids[static_cast<size_t>((y - cells.y) * cells.width + (x - cells.x))];
               if ((gid & kGidBits) == 0) return;
               out.Add(Item{true, static_cast<uint32_t>(index), gid, anchor, 0});
               // Steps fit 32 bits: cells lie within 2^24 of the origin.
               out.AddToKey(uint64_t{(uint64_t{static_cast<uint32_t>(x - firstX)} << 32 | gid) ^
                                     uint64_t{static_cast<uint32_t>(y - firstY)} * 0x9E3779B97F4A7C15ull});
             });
}

TileLayerView Scene::ViewOf(size_t index) const {
  const DrawLayer& drawn = layers[index];
  return {MapOf(drawn).grid, drawn.layer->cells, reaches[index], ShiftOf(drawn)};
}

void Scene::GatherObjects(size_t index, const Bounds& block, BlockItems& out) const {
  const std::vector<Placement>& placed = objects[index];
  for (const size_t i : objectsInRow[index]) {
    if (!Touches(objectBounds[index][i], block)) continue;
    const Object* source = objectSources[index][i];
    out.Add(Item{false, static_cast<uint32_t>(index), source->gid, {}, 0, source}, &placed[i]);
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
  const MapPoint shift = ShiftOf(drawn);
  const double left = shift.x, top = shift.y;
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
      out.Add(Item{false, 0, 0, {}, 0}, &placement);
      out.AddToKey(uint64_t{index} << 32 | uint64_t{1} << 62);
      // Where a repeated image meets the block repeats with the image.
      out.AddToKey(layer.repeatX ? std::fmod(x - block.left, image->width) : x - block.left);
      out.AddToKey(layer.repeatY ? std::fmod(y - block.top, image->height) : y - block.top);
    }
  }
}

// One colour: only where its edges cross the block matters.
void Scene::GatherBackground(size_t index, const Bounds& block, BlockItems& out) const {
  const std::optional<Placement>& background = MapOf(layers[index]).background;
  if (!background || !Touches(*background, block)) return;
  const Bounds area = BoundsOf(*background);
  auto inBlock = [](double v) { return std::clamp(v, 0.0, double(kBlock)); };
  out.Add(Item{false, 0, 0, {}, 0}, &*background);
  out.AddToKey(uint64_t{index} << 32 | uint64_t{3} << 61);
  out.AddToKey(inBlock(area.left - block.left));
  out.AddToKey(inBlock(area.top - block.top));
  out.AddToKey(inBlock(area.right - block.left));
  out.AddToKey(inBlock(area.bottom - block.top));
}

BlockKey Scene::Gather(const Bounds& block, int64_t column, int64_t row, BlockItems& out) {
  out.count = 0;
  out.items.clear();
  out.placements.clear();
  out.key[0] = out.key[1] = 0;
  // Where the block meets the picture's edge decides what is cut off.
  if (block.left < clip.left || block.top < clip.top || block.right > clip.right || block.bottom > clip.bottom) {
    out.AddToKey(std::max(0.0, clip.left - block.left));
    out.AddToKey(std::max(0.0, clip.top - block.top));
    out.AddToKey(std::max(0.0, block.right - clip.right));
    out.AddToKey(std::max(0.0, block.bottom - clip.bottom));
  }
  for (const auto& [i, part] : runParts) {
    switch (part) {
      case Part::kBackground: GatherBackground(i, block, out); break;
      case Part::kIsometricTiles:
        // Most blocks only need their key, found from the row's columns.
        if (out.collect)
          GatherTiles(i, block, column, row, out);
        else if (Reaches(i, column, row))
          isometricKeys.KeyBlock(i, columnSpans[i][static_cast<size_t>(column)].spans[0], block.left, out);
        break;
      case Part::kTiles: GatherTiles(i, block, column, row, out); break;
      case Part::kObjects: GatherObjects(i, block, out); break;
      case Part::kImage: GatherImage(i, block, out); break;
      case Part::kNothing: break;
    }
  }
  return {out.key[0], out.key[1]};
}

// The cells of a sparse layer that hold a tile, in one pass over its cells.
static std::vector<CellTile> TilesOf(const CellGrid& cells) {
  std::vector<CellTile> tiles;
  for (int row = 0; row < cells.height; ++row) {
    const uint32_t* gids = cells.gids.data() + static_cast<size_t>(row) * cells.width;
    for (int column = 0; column < cells.width; ++column)
      if ((gids[column] & kGidBits) != 0) tiles.push_back({column, row, gids[column]});
  }
  return tiles;
}

void Scene::MarkReached(size_t index, const std::vector<CellTile>& tiles, double left, double top, int64_t columns,
                        int64_t rows) {
  const CellGrid& cells = layers[index].layer->cells;
  const PixelRect& reach = reaches[index];
  const MapPoint shift = ShiftOf(layers[index]);
  std::vector<bool>& marks = reached[index];
  marks.assign(static_cast<size_t>(columns * rows), false);
  auto blockOf = [](double v, int64_t count) {  // rounded outward: a mark too many does no harm
    return static_cast<int64_t>(std::clamp(std::floor(v / kBlock), -1.0, double(count)));
  };
  for (const CellTile& tile : tiles) {
    const MapPoint anchor =
        Anchor(MapOf(layers[index]).grid, int64_t{cells.x} + tile.column, int64_t{cells.y} + tile.row);
    const double ax = anchor.x + shift.x - left, ay = anchor.y + shift.y - top;
    const int64_t c0 = std::max<int64_t>(0, blockOf(ax + reach.left, columns));
    const int64_t c1 = std::min(columns - 1, blockOf(ax + reach.right, columns));
    const int64_t r0 = std::max<int64_t>(0, blockOf(ay + reach.top, rows));
    const int64_t r1 = std::min(rows - 1, blockOf(ay + reach.bottom, rows));
    for (int64_t r = r0; r <= r1; ++r)
      for (int64_t c = c0; c <= c1; ++c) {
        marks[static_cast<size_t>(r * columns + c)] = true;
        if (!reachesAll) runReached[static_cast<size_t>(r * columns + c)] = true;
      }
  }
}

void Scene::StartRun(const std::vector<size_t>& run, double left, double top, int64_t columns, int64_t rows) {
  const int64_t count = columns;
  columnCount = columns;
  reached.assign(layers.size(), {});
  isometricKeys.StartRun(layers.size());
  // A sparse layer reaches few blocks: they are found from its tiles, and
  // the others aren't searched for its cells.
  auto sparse = [&](size_t i) { return tileCounts[i] * 8 < columns * rows; };
  // Blocks are passed over only where every layer of the run is a sparse
  // tile layer (or holds no cells) and none of their tiles reach.
  reachesAll = std::any_of(run.begin(), run.end(), [&](size_t i) {
    const bool tiles = layers[i].layer->kind == LayerKind::kTiles && !layers[i].background;
    return !tiles || (!layers[i].layer->cells.gids.empty() && !sparse(i));
  });
  runReached.assign(reachesAll ? 0 : static_cast<size_t>(columns * rows), false);
  runParts.clear();
  for (const size_t i : run) {
    const Layer& layer = *layers[i].layer;
    Part part = Part::kNothing;
    if (layers[i].background) part = Part::kBackground;
    else if (layer.kind == LayerKind::kObjects) part = Part::kObjects;
    else if (layer.kind == LayerKind::kImage) part = Part::kImage;
    else if (layer.kind == LayerKind::kTiles && !layer.cells.gids.empty())
      part = MapOf(layers[i]).grid.orientation == Orientation::kIsometric ? Part::kIsometricTiles : Part::kTiles;
    runParts.push_back({i, part});
  }
  for (const size_t i : run) {
    const CellGrid& cells = layers[i].layer->cells;
    if (layers[i].layer->kind != LayerKind::kTiles || cells.gids.empty()) continue;
    std::vector<CellTile> tiles;
    if (sparse(i)) {
      tiles = TilesOf(cells);
      MarkReached(i, tiles, left, top, columns, rows);
    }
    const Grid& grid = MapOf(layers[i]).grid;
    if (grid.orientation == Orientation::kIsometric) isometricKeys.AddLayer(i, ViewOf(i), sparse(i) ? &tiles : nullptr);
    columnSpans[i].resize(static_cast<size_t>(count));
    for (int64_t k = 0; k < count; ++k) {
      const double from = left + double(k * kBlock);
      columnSpans[i][static_cast<size_t>(k)] =
          ColumnSpansOf(grid, RectOf(cells), from, from + kBlock, reaches[i], ShiftOf(layers[i]));
    }
  }
}

std::pair<int64_t, int64_t> Scene::StartRow(const std::vector<size_t>& run, double top, double bottom) {
  const int64_t all = columnCount;
  std::pair<int64_t, int64_t> reached{all, 0};
  auto widen = [&](std::pair<int64_t, int64_t> more) {
    if (more.first < more.second) reached = {std::min(reached.first, more.first), std::max(reached.second, more.second)};
  };
  for (const size_t i : run) {
    const Layer& layer = *layers[i].layer;
    const CellGrid& cells = layer.cells;
    if (layers[i].background) widen({0, all});
    if (layer.kind == LayerKind::kTiles && !cells.gids.empty()) {
      const Grid& grid = MapOf(layers[i]).grid;
      rowSpans[i] = RowSpansOf(grid, RectOf(cells), top, bottom, reaches[i], ShiftOf(layers[i]));
      if (grid.orientation == Orientation::kIsometric) isometricKeys.KeyRow(i, ViewOf(i), rowSpans[i].spans[0], top);
      widen(ColumnsWithCells(grid, RectOf(cells), rowSpans[i], columnSpans[i]));
    }
    if (layer.kind == LayerKind::kImage) widen({0, all});
    objectsInRow[i].clear();
    for (size_t k = 0; k < objects[i].size(); ++k) {
      const Bounds& b = objectBounds[i][k];
      if (b.top < bottom && b.bottom > top) objectsInRow[i].push_back(k);
    }
    if (!objectsInRow[i].empty()) widen({0, all});
  }
  return reached;
}

void Scene::Prepare() {
  for (SceneMap& placed : maps) {
    const Map& map = *placed.map;
    if (!map.background) continue;
    const Color& colour = *map.background;
    placed.backgroundPixel = {1, 1, {Pixel{colour.r, colour.g, colour.b, colour.a}}};
    const PixelRect area = MapArea(map, placed.grid, placed.layers);
    Placement placement;
    placement.image = &placed.backgroundPixel;
    placement.sourceWidth = placement.sourceHeight = 1;
    placement.left = area.left + placed.origin.x - double(picture.left);
    placement.bottom = area.bottom + placed.origin.y - double(picture.top);
    placement.width = area.right - area.left, placement.height = area.bottom - area.top;
    if (placement.width > 0 && placement.height > 0) placed.background = placement;
  }
  reaches.resize(layers.size());
  tileCounts.resize(layers.size());
  tileGids.resize(layers.size());
  rowSpans.resize(layers.size());
  columnSpans.resize(layers.size());
  objects.resize(layers.size());
  objectBounds.resize(layers.size());
  objectSources.resize(layers.size());
  objectsInRow.resize(layers.size());
  for (size_t i = 0; i < layers.size(); ++i) {
    const DrawLayer& drawn = layers[i];
    const SceneMap& placed = MapOf(drawn);
    if (drawn.layer->kind == LayerKind::kTiles && Drawn(drawn)) {
      LayerTiles surveyed = SurveyTiles(*placed.map, drawn.layer->cells);
      reaches[i] = surveyed.reach;
      tileCounts[i] = surveyed.count;
      tileGids[i] = std::move(surveyed.gids);
    }
    if (drawn.layer->kind != LayerKind::kObjects || !Drawn(drawn)) continue;
    for (const Object& object : drawn.layer->objects) {
      // An animated object reaches wherever any of its frames does.
      const std::vector<Frame>* frames =
          object.gid != 0 ? AnimationOf(object.tilesets ? *object.tilesets : placed.map->tilesets, object.gid) : nullptr;
      const size_t shown = Animates(frames) ? ShownFrames(*frames) : 1;
      std::set<uint32_t> frameMissing;
      std::optional<Placement> first;
      Bounds bounds{};
      for (size_t frame = 0; frame < shown; ++frame) {
        const std::optional<Placement> placement =
            ObjectPlacement(*placed.map, placed.grid, drawn, object, ShiftOf(drawn), frameMissing, frame);
        if (!placement) continue;
        const Bounds b = BoundsOf(*placement);
        bounds = first ? Bounds{std::min(bounds.left, b.left), std::min(bounds.top, b.top),
                                std::max(bounds.right, b.right), std::max(bounds.bottom, b.bottom)}
                       : b;
        if (!first) first = placement;
      }
      if (!first) {
        missing.insert(frameMissing.begin(), frameMissing.end());
        continue;
      }
      objects[i].push_back(*first);
      objectBounds[i].push_back(bounds);
      objectSources[i].push_back(&object);
    }
  }
}

}  // namespace importer
