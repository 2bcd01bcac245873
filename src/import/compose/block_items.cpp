#include "import/compose/block_items.h"

#include <algorithm>
#include <cmath>

namespace importer {

// The box comes from the tiles the layer really uses, each id and flip
// looked at once. On hexagonal maps a turned tile may reach as far as its
// box's corners around its centre.
static Reach ReachOf(const Map& map, const CellGrid& cells) {
  Reach reach{0, -double(map.tileHeight), double(map.tileWidth), 0};
  Reach turned = reach;
  bool anyTurned = false;
  const bool hexagonal = map.orientation == Orientation::kHexagonal;
  GidTable seen;
  uint32_t previous = 0;  // neighbours often hold the same tile: looked up once
  for (const uint32_t gid : cells.gids) {
    if (gid == previous) continue;
    previous = gid;
    anyTurned = anyTurned || (gid & (kFlipD | kTurn120)) != 0;
    if ((gid & kGidBits) == 0 || seen[gid] >= 0) continue;
    seen[gid] = 1;
    const TileImage tile = ResolveGid(map.tilesets, gid);
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
  return hexagonal && anyTurned ? turned : reach;
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

static CellRect RectOf(const CellGrid& cells) { return {cells.x, cells.y, cells.width, cells.height}; }

MapPoint Scene::ShiftOf(const DrawLayer& drawn) const {
  return {drawn.offsetX - double(picture.left), drawn.offsetY - double(picture.top)};
}

bool Scene::MayReach(const std::vector<size_t>& run, int64_t column, int64_t row) const {
  for (const size_t i : run) {
    const Layer& layer = *layers[i].layer;
    if (layer.kind != LayerKind::kTiles) return true;
    if (layer.cells.gids.empty()) continue;
    if (reached[i].empty() || reached[i][static_cast<size_t>(row * columnCount + column)]) return true;
  }
  return false;
}

void Scene::GatherTiles(size_t index, const Bounds& block, int64_t column, int64_t row, BlockItems& out) {
  const DrawLayer& drawn = layers[index];
  const CellGrid& cells = drawn.layer->cells;
  if (cells.gids.empty()) return;
  if (!reached[index].empty() && !reached[index][static_cast<size_t>(row * columnCount + column)]) return;
  if (!out.collect && grid.orientation == Orientation::kIsometric) {
    KeyIsometricTiles(index, block, column, out);
    return;
  }
  const uint64_t layerBits = uint64_t{index} << 32;
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
                 out.AddToKey(Mix(Mix(layerBits | uint64_t(x & 1) << 1 | uint64_t(y & 1),
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

// A well-spread 64-bit hash step (splitmix64's finaliser): the column keys
// are joined with few steps, so each must mix fully.
static uint64_t Scramble(uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Odd: every power of it has an inverse among 64-bit numbers.
constexpr uint64_t kColumnWeight = 0x9E3779B97F4A7C15ull;

static uint64_t Inverse(uint64_t odd) {
  uint64_t inverse = odd;  // right in the lowest 3 bits; each step doubles them
  for (int i = 0; i < 5; ++i) inverse *= 2 - odd * inverse;
  return inverse;
}

// Which columns d = x − y hold cells within the diagonals `ss` (x + y),
// each column's own key and tiles set to none, at k + 1 (the sums come later).
static void StartColumns(const CellGrid& cells, Span ss, Scene::ColumnKeys& keys) {
  const int64_t x0 = cells.x, x1 = cells.x + cells.width - 1, y0 = cells.y, y1 = cells.y + cells.height - 1;
  // Only the layer's own columns: a row's diagonals can reach past them, and
  // a row's keys are unweighed with one power per column of the layer.
  keys.first = std::max({2 * x0 - ss.last, ss.first - 2 * y1, x0 - y1});
  keys.last = std::min({2 * x1 - ss.first, ss.last - 2 * y0, x1 - y0});
  if (ss.first > ss.last || keys.first > keys.last) keys.last = keys.first - 1;
  const size_t count = static_cast<size_t>(keys.last - keys.first + 1);
  keys.sums.assign(count + 1, 0), keys.tiles.assign(count + 1, 0);
}

// The sums along the row, each column weighed by kColumnWeight^k.
static void SumColumns(Scene::ColumnKeys& keys) {
  uint64_t weight = 1;
  for (size_t k = 1; k < keys.sums.size(); ++k, weight *= kColumnWeight) {
    keys.sums[k] = keys.sums[k - 1] + keys.sums[k] * weight;
    keys.tiles[k] += keys.tiles[k - 1];
  }
}

// A cell's part of its column's key: its step from the row's first
// diagonal and its gid. Each cell is hashed on its own and the hashes
// added: no cell waits for the one before.
static uint64_t CellKey(int64_t step, uint32_t gid) { return Scramble(uint64_t(step) << 32 | gid); }

// The row's columns d = x − y, each keyed by its cells within the row's
// diagonals s = x + y.
void Scene::KeyColumns(size_t index, double top) {
  if (sparseTiles[index].start.empty()) {
    KeyDenseColumns(index, top);
    return;
  }
  StartColumns(layers[index].layer->cells, rowSpans[index].spans[0], columnKeys[index]);
  KeySparseColumns(index, columnKeys[index]);
  SumColumns(columnKeys[index]);
}

void Scene::KeySparseColumns(size_t index, ColumnKeys& keys) const {
  const Span ss = rowSpans[index].spans[0];
  if (keys.first > keys.last) return;
  const TilesByDiagonal& sparse = sparseTiles[index];
  const int64_t from = std::max(ss.first, sparse.first) - sparse.first;
  const int64_t to = std::min(ss.last - sparse.first + 1, static_cast<int64_t>(sparse.start.size()) - 1);
  for (int64_t k = from; k < to; ++k)
    for (size_t t = sparse.start[static_cast<size_t>(k)]; t < sparse.start[static_cast<size_t>(k + 1)]; ++t) {
      const size_t column = static_cast<size_t>(sparse.tiles[t].d - keys.first + 1);
      keys.sums[column] += CellKey(k + sparse.first - ss.first, sparse.tiles[t].gid);
      ++keys.tiles[column];
    }
}

void Scene::KeyDenseColumns(size_t index, double top) {
  KeysAhead& ahead = keysAhead[index];
  if (ahead.next < ahead.tops.size() && ahead.tops[ahead.next] == top) {
    std::swap(columnKeys[index], ahead.rows[ahead.next++]);
    return;
  }
  constexpr size_t kRowsAhead = 8;
  const CellGrid& cells = layers[index].layer->cells;
  const CellRect rect = RectOf(cells);
  ahead.rows.resize(kRowsAhead), ahead.tops.resize(kRowsAhead), ahead.next = 1;
  Span rows[kRowsAhead];
  Span all{INT64_MAX, INT64_MIN}, columns{INT64_MAX, INT64_MIN};  // of the rows together
  for (size_t j = 0; j < kRowsAhead; ++j) {
    ahead.tops[j] = top + double(j * kBlock);
    rows[j] = RowSpansOf(grid, rect, ahead.tops[j], ahead.tops[j] + kBlock, reaches[index], ShiftOf(layers[index]))
                  .spans[0];
    StartColumns(cells, rows[j], ahead.rows[j]);
    if (ahead.rows[j].first > ahead.rows[j].last) continue;
    all = {std::min(all.first, rows[j].first), std::max(all.last, rows[j].last)};
    columns = {std::min(columns.first, ahead.rows[j].first), std::max(columns.last, ahead.rows[j].last)};
  }
  const int64_t x0 = cells.x, x1 = cells.x + cells.width - 1, y0 = cells.y, y1 = cells.y + cells.height - 1;
  for (int64_t d = columns.first; d <= columns.last; ++d) {
    int64_t first = std::max(std::max(all.first, 2 * x0 - d), d + 2 * y0);
    const int64_t last = std::min(std::min(all.last, 2 * x1 - d), d + 2 * y1);
    first += (first - d) & 1;  // x − y and x + y have the same parity
    // Down a column, x and y both grow by one from cell to cell.
    const int64_t step = int64_t{cells.width} + 1;
    int64_t at = ((first - d) / 2 - y0) * cells.width + ((first + d) / 2 - x0);
    for (int64_t s = first; s <= last; s += 2, at += step) {
      const uint32_t gid = cells.gids[static_cast<size_t>(at)];
      if ((gid & kGidBits) == 0) continue;
      for (size_t j = 0; j < kRowsAhead; ++j) {
        if (s < rows[j].first || s > rows[j].last) continue;
        ColumnKeys& keys = ahead.rows[j];
        const size_t column = static_cast<size_t>(d - keys.first + 1);
        keys.sums[column] += CellKey(s - rows[j].first, gid);
        ++keys.tiles[column];
      }
    }
  }
  for (ColumnKeys& keys : ahead.rows) SumColumns(keys);
  std::swap(columnKeys[index], ahead.rows[0]);
}

// The cells near the block are those of its columns (x − y) within the
// row's diagonals (x + y). Where its first column and the row's first
// diagonal lie in the block places every cell by its steps from them: the
// same columns always give the same pixels.
void Scene::KeyIsometricTiles(size_t index, const Bounds& block, int64_t column, BlockItems& out) const {
  const ColumnKeys& keys = columnKeys[index];
  const Span ds = columnSpans[index][static_cast<size_t>(column)].spans[0];
  const int64_t from = std::max(ds.first, keys.first), to = std::min(ds.last, keys.last);
  if (from > to) return;
  const size_t begin = static_cast<size_t>(from - keys.first), end = static_cast<size_t>(to - keys.first + 1);
  const uint32_t tiles = keys.tiles[end] - keys.tiles[begin];
  if (tiles == 0) return;
  out.count += tiles;
  const double halfW = double(grid.tw) / 2, halfH = double(grid.th) / 2;
  const MapPoint shift = ShiftOf(layers[index]);
  const Span ss = rowSpans[index].spans[0];
  out.AddToKey(uint64_t{index} << 32 | uint64_t{1} << 61);
  out.AddToKey(double(from) * halfW + (grid.originX - halfW + shift.x) - block.left);
  out.AddToKey(double(ss.first) * halfH + (double(grid.th) + shift.y) - block.top);
  out.AddToKey((keys.sums[end] - keys.sums[begin]) * unweigh[index][begin]);
}

void Scene::GatherObjects(size_t index, const Bounds& block, BlockItems& out) const {
  const std::vector<Placement>& placed = objects[index];
  for (const size_t i : objectsInRow[index]) {
    if (!Touches(placed[i], block)) continue;
    out.Add(Item{false, 0, 0, {}, 0}, &placed[i]);
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
      out.Add(Item{false, 0, 0, {}, 0}, &placement);
      out.AddToKey(uint64_t{index} << 32 | uint64_t{1} << 62);
      // Where a repeated image meets the block repeats with the image.
      out.AddToKey(layer.repeatX ? std::fmod(x - block.left, image->width) : x - block.left);
      out.AddToKey(layer.repeatY ? std::fmod(y - block.top, image->height) : y - block.top);
    }
  }
}

void Scene::Gather(const Bounds& block, int64_t column, int64_t row, const std::vector<size_t>& run, bool withBackground,
                   BlockItems& out) {
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
  if (withBackground && background && Touches(*background, block)) {
    // One colour: only where its edges cross the block matters.
    const Bounds area = BoundsOf(*background);
    auto inBlock = [](double v) { return std::clamp(v, 0.0, double(kBlock)); };
    out.Add(Item{false, 0, 0, {}, 0}, &*background);
    out.AddToKey(uint64_t{3} << 61);
    out.AddToKey(inBlock(area.left - block.left));
    out.AddToKey(inBlock(area.top - block.top));
    out.AddToKey(inBlock(area.right - block.left));
    out.AddToKey(inBlock(area.bottom - block.top));
  }
  for (const size_t i : run) {
    switch (layers[i].layer->kind) {
      case LayerKind::kTiles: GatherTiles(i, block, column, row, out); break;
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

static void SortByDiagonal(const CellGrid& cells, Scene::TilesByDiagonal& out) {
  const int64_t w = cells.width, h = cells.height;
  out.first = int64_t{cells.x} + cells.y;
  out.start.assign(static_cast<size_t>(w + h), 0);
  for (int64_t y = 0; y < h; ++y)  // how many on each diagonal, counted at the next one's entry
    for (int64_t x = 0; x < w; ++x)
      if ((cells.gids[static_cast<size_t>(y * w + x)] & kGidBits) != 0) ++out.start[static_cast<size_t>(x + y + 1)];
  for (size_t k = 1; k < out.start.size(); ++k) out.start[k] += out.start[k - 1];
  out.tiles.resize(out.start.back());
  std::vector<size_t> next(out.start.begin(), out.start.end() - 1);
  for (int64_t y = 0; y < h; ++y)
    for (int64_t x = 0; x < w; ++x) {
      const uint32_t gid = cells.gids[static_cast<size_t>(y * w + x)];
      if ((gid & kGidBits) == 0) continue;
      out.tiles[next[static_cast<size_t>(x + y)]++] = {static_cast<int32_t>(x - y + cells.x - cells.y), gid};
    }
}

void Scene::MarkReached(size_t index, double left, double top, int64_t columns, int64_t rows) {
  const CellGrid& cells = layers[index].layer->cells;
  const Reach& reach = reaches[index];
  const MapPoint shift = ShiftOf(layers[index]);
  std::vector<bool>& marks = reached[index];
  marks.assign(static_cast<size_t>(columns * rows), false);
  auto blockOf = [](double v, int64_t count) {  // rounded outward: a mark too many does no harm
    return static_cast<int64_t>(std::clamp(std::floor(v / kBlock), -1.0, double(count)));
  };
  for (int64_t y = 0; y < cells.height; ++y)
    for (int64_t x = 0; x < cells.width; ++x) {
      if ((cells.gids[static_cast<size_t>(y * cells.width + x)] & kGidBits) == 0) continue;
      const MapPoint anchor = Anchor(grid, cells.x + x, cells.y + y);
      const double ax = anchor.x + shift.x - left, ay = anchor.y + shift.y - top;
      const int64_t c0 = std::max<int64_t>(0, blockOf(ax + reach.left, columns));
      const int64_t c1 = std::min(columns - 1, blockOf(ax + reach.right, columns));
      const int64_t r0 = std::max<int64_t>(0, blockOf(ay + reach.top, rows));
      const int64_t r1 = std::min(rows - 1, blockOf(ay + reach.bottom, rows));
      for (int64_t r = r0; r <= r1; ++r)
        for (int64_t c = c0; c <= c1; ++c) marks[static_cast<size_t>(r * columns + c)] = true;
    }
}

void Scene::StartRun(const std::vector<size_t>& run, double left, double top, int64_t columns, int64_t rows) {
  const int64_t count = columns;
  columnCount = columns;
  reached.assign(layers.size(), {});
  columnKeys.assign(layers.size(), {});
  sparseTiles.assign(layers.size(), {});
  keysAhead.assign(layers.size(), {});
  unweigh.assign(layers.size(), {});
  for (const size_t i : run) {
    const CellGrid& cells = layers[i].layer->cells;
    if (layers[i].layer->kind != LayerKind::kTiles || cells.gids.empty()) continue;
    if (grid.orientation == Orientation::kIsometric) {
      std::vector<uint64_t>& powers = unweigh[i];
      powers.resize(static_cast<size_t>(cells.width) + cells.height - 1);  // a row's columns at most
      const uint64_t inverse = Inverse(kColumnWeight);
      for (size_t k = 0; k < powers.size(); ++k) powers[k] = k == 0 ? 1 : powers[k - 1] * inverse;
    }
    // A sparse layer reaches few blocks: they are found from its tiles, and
    // the others aren't searched for its cells.
    const int64_t tiles = std::count_if(cells.gids.begin(), cells.gids.end(),
                                        [](uint32_t gid) { return (gid & kGidBits) != 0; });
    if (tiles * 8 < columns * rows) {
      MarkReached(i, left, top, columns, rows);
      if (grid.orientation == Orientation::kIsometric) SortByDiagonal(cells, sparseTiles[i]);
    }
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
  std::pair<int64_t, int64_t> reached{background ? 0 : all, background ? all : 0};
  auto widen = [&](std::pair<int64_t, int64_t> more) {
    if (more.first < more.second) reached = {std::min(reached.first, more.first), std::max(reached.second, more.second)};
  };
  for (const size_t i : run) {
    const Layer& layer = *layers[i].layer;
    const CellGrid& cells = layer.cells;
    if (layer.kind == LayerKind::kTiles && !cells.gids.empty()) {
      rowSpans[i] = RowSpansOf(grid, RectOf(cells), top, bottom, reaches[i], ShiftOf(layers[i]));
      if (grid.orientation == Orientation::kIsometric) KeyColumns(i, top);
      widen(ColumnsWithCells(grid, RectOf(cells), rowSpans[i], columnSpans[i]));
    }
    if (layer.kind == LayerKind::kImage) widen({0, all});
    objectsInRow[i].clear();
    for (size_t k = 0; k < objects[i].size(); ++k) {
      const Bounds b = BoundsOf(objects[i][k]);
      if (b.top < bottom && b.bottom > top) objectsInRow[i].push_back(k);
    }
    if (!objectsInRow[i].empty()) widen({0, all});
  }
  return reached;
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
  rowSpans.resize(layers.size());
  columnSpans.resize(layers.size());
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
