#include "view/zoomed_map.h"

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "map/layer.h"
#include "shared/cell_at.h"
#include "shared/globals.h"
#include "shared/tileset_bands.h"
#include "view/pieces.h"
#include "view/view.h"
#include "view/zoom.h"
#include "view/zoom_levels.h"

namespace {

constexpr int64_t kHalfViewWidth = 640;
constexpr int64_t kHalfViewHeight = 360;
constexpr int64_t kGrid = 32;  // places the first visible row and column, as at 1:1
constexpr int64_t kTilesetColumns = 3;

bool FitsInInt(int64_t origin, int64_t extent) { return origin >= INT_MIN && origin + extent <= INT_MAX; }

// Source pixels [sourceX, +width) x [sourceY, +height) of the tileset, the
// map pixels [mapLeft, +width) x [mapTop, +height), copied to their window
// rectangle. Every rectangle is bounded by the view, so it fits in an int.
void Copy(SDL_Texture* texture, int64_t sourceX, int64_t sourceY, int64_t width, int64_t height,
          int64_t mapLeft, int64_t mapTop, const ViewAxis& across, const ViewAxis& down) {
  const SDL_Rect source{static_cast<int>(sourceX), static_cast<int>(sourceY), static_cast<int>(width),
                        static_cast<int>(height)};
  const int64_t left = across.Edge(mapLeft), top = down.Edge(mapTop);
  const SDL_Rect destination{static_cast<int>(left), static_cast<int>(top),
                             static_cast<int>(across.Edge(mapLeft + width) - left),
                             static_cast<int>(down.Edge(mapTop + height) - top)};
  SDL_RenderCopy(renderer, texture, &source, &destination);
}

// As the 1:1 drawing does with a tileset held in bands: a cell that
// straddles a band edge takes each part from its band, and each part goes
// between its own map rows' window edges, so the parts meet too.
void CopyFromBands(int64_t sourceX, int64_t sourceY, int64_t width, int64_t height, int64_t mapLeft,
                   int64_t mapTop, const ViewAxis& across, const ViewAxis& down) {
  if (!FitsInInt(sourceX, width) || sourceY < 0) return;
  ForEachBandPiece(sourceY, height, [&](SDL_Texture* band, int64_t bandRow, int64_t offset, int64_t rows) {
    Copy(band, sourceX, bandRow, width, rows, mapLeft, mapTop + offset, across, down);
  });
}

void DrawCell(const Layer& layer, int32_t value, int64_t x, int64_t y, const ViewAxis& across, const ViewAxis& down) {
  const int64_t tile = static_cast<int64_t>(value) - 1;  // value 0 lands left of the tileset
  const int64_t sourceX = (tile % kTilesetColumns) * layer.tileWidth;
  const int64_t sourceY = (tile / kTilesetColumns) * layer.tileHeight;

  // Only the map pixels of the cell in view go to the renderer: a huge tile
  // costs no more than the view, and a cut on a map pixel's edge keeps the
  // pixels where they are.
  const int64_t left = std::max(x, across.first), right = std::min(x + layer.tileWidth, across.end);
  const int64_t top = std::max(y, down.first), bottom = std::min(y + layer.tileHeight, down.end);
  if (right <= left || bottom <= top) return;
  const int64_t width = right - left, height = bottom - top;
  const int64_t clippedSourceX = sourceX + (left - x), clippedSourceY = sourceY + (top - y);
  if (tilesetBandHeight > 0) {
    CopyFromBands(clippedSourceX, clippedSourceY, width, height, left, top, across, down);
    return;
  }
  if (!FitsInInt(clippedSourceX, width) || !FitsInInt(clippedSourceY, height)) return;
  Copy(tileset, clippedSourceX, clippedSourceY, width, height, left, top, across, down);
}

void DrawLayer(const Layer& layer, const ViewAxis& across, const ViewAxis& down) {
  if (layer.tileWidth <= 0 || layer.tileHeight <= 0) return;
  // The first row and column on the 32-pixel grid of the first map pixel in
  // view (division truncating, as at 1:1), every later one a tile further:
  // the cells lie where the 1:1 view puts them. Cells wholly before the view
  // are cut away by DrawCell.
  int64_t row = down.first / kGrid;
  for (int64_t y = row * kGrid; y < down.end; y += layer.tileHeight, ++row) {
    int64_t column = across.first / kGrid;
    for (int64_t x = column * kGrid; x < across.end; x += layer.tileWidth, ++column) {
      const int32_t value = ShownValue(CellAt(layer, column, row));  // an animated value shows its frame
      if (value >= 0) DrawCell(layer, value, x, y, across, down);
    }
  }
}

}  // namespace

void DrawZoomedMap() {
  if (piecesOn) {  // a site's map, at every zoom
    DrawPieces();
    return;
  }
  if (LevelForStep(zoom.step) > 0) {  // zoomed out: the picture scaled down beforehand, or the overview
    DrawZoomLevel();
    return;
  }
  if (layerCount == 0) return;
  // Each map pixel a crisp block, whatever the platform's default sampling.
  if (tileset != nullptr) SDL_SetTextureScaleMode(tileset, SDL_ScaleModeNearest);
  for (SDL_Texture* band : tilesetBands) SDL_SetTextureScaleMode(band, SDL_ScaleModeNearest);
  const ViewAxis across(cameraX, zoom.subX, kHalfViewWidth), down(cameraY, zoom.subY, kHalfViewHeight);
  const unsigned slotsInUse = std::min<unsigned>(layerCount, kMaxLayers);
  for (unsigned slot = 0; slot < slotsInUse; ++slot) DrawLayer(layers[slot], across, down);
}
