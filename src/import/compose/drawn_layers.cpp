#include "import/compose/drawn_layers.h"

#include <algorithm>
#include <cmath>

namespace importer {

// Opacity in 0..1, and offsets where doubles still count whole pixels: a
// file may hold anything.
static double Unit(double value) { return value > 0 ? std::min(value, 1.0) : 0.0; }
static double Offset(double value) { return std::isfinite(value) ? std::clamp(value, -1e12, 1e12) : 0.0; }

static void Flatten(const std::vector<Layer>& layers, const DrawLayer& around, std::vector<DrawLayer>& out) {
  for (const Layer& layer : layers) {
    DrawLayer drawn = around;
    drawn.layer = &layer;
    drawn.visible = around.visible && layer.visible;
    drawn.opacity = around.opacity * Unit(layer.opacity);
    drawn.offsetX = Offset(around.offsetX + Offset(layer.offsetX));
    drawn.offsetY = Offset(around.offsetY + Offset(layer.offsetY));
    if (layer.tint) {
      std::array<double, 4> tint = around.tint.value_or(std::array<double, 4>{1, 1, 1, 1});
      const Color& own = *layer.tint;
      const double channels[4] = {own.r / 255.0, own.g / 255.0, own.b / 255.0, own.a / 255.0};
      for (int i = 0; i < 4; ++i) tint[i] *= channels[i];
      drawn.tint = tint;
    }
    if (layer.kind == LayerKind::kGroup)
      Flatten(layer.children, drawn, out);
    else
      out.push_back(drawn);
  }
}

std::vector<DrawLayer> FlattenLayers(const Map& map) {
  std::vector<DrawLayer> out;
  Flatten(map.layers, DrawLayer{}, out);
  for (DrawLayer& layer : out)  // opaque white changes nothing
    if (layer.tint && *layer.tint == std::array<double, 4>{1, 1, 1, 1}) layer.tint.reset();
  return out;
}

// Infinite maps: the 16 × 16 cell squares, on multiples of 16, that hold a
// non-empty cell, over every tile layer.
static bool ContentSquares(const std::vector<DrawLayer>& layers, int64_t box[4]) {
  bool any = false;
  auto floorTo16 = [](int64_t v) { return v >= 0 ? v / 16 * 16 : -((-v + 15) / 16 * 16); };
  for (const DrawLayer& drawn : layers) {
    const CellGrid& cells = drawn.layer->cells;
    for (int cy = 0; cy < cells.height; ++cy)
      for (int cx = 0; cx < cells.width; ++cx) {
        if ((cells.gids[static_cast<size_t>(cy) * cells.width + cx] & kGidBits) == 0) continue;
        const int64_t x = floorTo16(int64_t{cells.x} + cx), y = floorTo16(int64_t{cells.y} + cy);
        if (!any) {
          box[0] = x, box[1] = y, box[2] = x + 16, box[3] = y + 16;
          any = true;
        }
        box[0] = std::min(box[0], x), box[1] = std::min(box[1], y);
        box[2] = std::max(box[2], x + 16), box[3] = std::max(box[3], y + 16);
        cx = static_cast<int>(std::min<int64_t>(cells.width, floorTo16(cells.x + cx) + 16 - cells.x)) - 1;
      }
  }
  return any;
}

PixelRect MapArea(const Map& map, const Grid& grid, const std::vector<DrawLayer>& layers) {
  int64_t cells[4] = {0, 0, map.width, map.height};
  if (map.infinite) {
    cells[2] = cells[3] = 1;  // no content: the one cell at the origin
    ContentSquares(layers, cells);
  }
  return GridArea(grid, cells[0], cells[1], cells[2] - cells[0], cells[3] - cells[1]);
}

PictureRect PictureRectOf(const Map& map, const Grid& grid, const std::vector<DrawLayer>& layers) {
  const PixelRect area = MapArea(map, grid, layers);
  double left = area.left, top = area.top, right = area.right, bottom = area.bottom;
  for (const DrawLayer& drawn : layers) {  // image layers that don't repeat widen it
    const Layer& layer = *drawn.layer;
    if (layer.kind != LayerKind::kImage || layer.image.pixels == nullptr) continue;
    if (!layer.repeatX) {
      left = std::min(left, std::floor(drawn.offsetX));
      right = std::max(right, std::ceil(drawn.offsetX + layer.image.pixels->width));
    }
    if (!layer.repeatY) {
      top = std::min(top, std::floor(drawn.offsetY));
      bottom = std::max(bottom, std::ceil(drawn.offsetY + layer.image.pixels->height));
    }
  }
  double grow[4] = {0, 0, 0, 0};  // left, top, right, bottom: the most any tile layer is shifted
  for (const DrawLayer& drawn : layers) {
    if (drawn.layer->kind != LayerKind::kTiles) continue;
    grow[0] = std::max(grow[0], std::ceil(-drawn.offsetX));
    grow[1] = std::max(grow[1], std::ceil(-drawn.offsetY));
    grow[2] = std::max(grow[2], std::ceil(drawn.offsetX));
    grow[3] = std::max(grow[3], std::ceil(drawn.offsetY));
  }
  left -= grow[0], top -= grow[1], right += grow[2], bottom += grow[3];
  // Far beyond any picture the importer makes; keeps the conversion defined.
  constexpr double kFar = 1e15;
  left = std::clamp(left, -kFar, kFar), top = std::clamp(top, -kFar, kFar);
  right = std::clamp(right, left, kFar), bottom = std::clamp(bottom, top, kFar);
  return {static_cast<int64_t>(left), static_cast<int64_t>(top), static_cast<int64_t>(right - left),
          static_cast<int64_t>(bottom - top)};
}

}  // namespace importer
