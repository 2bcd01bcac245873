#include "render/draw_map.h"

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
#include "view/zoomed_map.h"

namespace {

constexpr int64_t kViewWidth = 1280;
constexpr int64_t kViewHeight = 720;
constexpr int64_t kHalfViewWidth = 640;
constexpr int64_t kHalfViewHeight = 360;
constexpr int64_t kGrid = 32;  // places the first visible row and column
constexpr int64_t kTilesetColumns = 3;

// Positions and source offsets are worked out in 64 bits so that huge tile
// sizes or cell values can't overflow; a source rectangle whose far edge
// doesn't fit in an int can't be handed to the renderer and is skipped.
bool FitsInInt(int64_t origin, int64_t extent) {
  return origin >= INT_MIN && origin + extent <= INT_MAX;
}

// Copies source rows [sourceY, sourceY + height) of the tileset image, held
// in bands, to the view at (left, top): a tile that straddles a band edge
// takes its top part from one band and the rest from the next (a tile taller
// than a band, from several). Rows past the last band are left to the
// renderer's clipping, as with one texture; a source wholly past it draws
// nothing. The view bounds the rows, so every piece fits in an int.
void CopyFromBands(int64_t sourceX, int64_t sourceY, int64_t width, int64_t height, int64_t left, int64_t top) {
  if (!FitsInInt(sourceX, width) || sourceY < 0) return;
  ForEachBandPiece(sourceY, height, [&](SDL_Texture* band, int64_t bandRow, int64_t offset, int64_t rows) {
    const SDL_Rect source{static_cast<int>(sourceX), static_cast<int>(bandRow), static_cast<int>(width),
                          static_cast<int>(rows)};
    const SDL_Rect destination{static_cast<int>(left), static_cast<int>(top + offset), static_cast<int>(width),
                               static_cast<int>(rows)};
    SDL_RenderCopy(renderer, band, &source, &destination);
  });
}

void DrawCell(const Layer& layer, int32_t value, int64_t x, int64_t y) {
  const int64_t tile = static_cast<int64_t>(value) - 1;  // value 0 lands left of the tileset
  const int64_t sourceX = (tile % kTilesetColumns) * layer.tileWidth;
  const int64_t sourceY = (tile / kTilesetColumns) * layer.tileHeight;

  // Only the part of the tile inside the view goes to the renderer, source
  // and destination cut alike. Pixels are the same, but a tile far larger
  // than the view costs no more than the view: a software renderer would
  // otherwise stage the whole destination in memory.
  const int64_t left = std::max<int64_t>(x, 0);
  const int64_t top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(x + layer.tileWidth, kViewWidth);
  const int64_t bottom = std::min<int64_t>(y + layer.tileHeight, kViewHeight);
  if (right <= left || bottom <= top) return;
  const int64_t width = right - left, height = bottom - top;
  const int64_t clippedSourceX = sourceX + (left - x), clippedSourceY = sourceY + (top - y);
  if (tilesetBandHeight > 0) {
    CopyFromBands(clippedSourceX, clippedSourceY, width, height, left, top);
    return;
  }
  if (!FitsInInt(clippedSourceX, width) || !FitsInInt(clippedSourceY, height)) return;

  const SDL_Rect source{static_cast<int>(clippedSourceX), static_cast<int>(clippedSourceY),
                        static_cast<int>(width), static_cast<int>(height)};
  const SDL_Rect destination{static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                             static_cast<int>(height)};
  SDL_RenderCopy(renderer, tileset, &source, &destination);
}

void DrawLayer(const Layer& layer) {
  // A slot never filled, or a map without tile sizes, can't be stepped
  // across the view.
  if (layer.tileWidth <= 0 || layer.tileHeight <= 0) return;

  // The first visible row and column are found on the 32-pixel grid whatever
  // the tile size; division truncates and the remainder keeps the sign of the
  // dividend, so a negative top or left starts one cell early.
  const int64_t top = static_cast<int64_t>(cameraY) - kHalfViewHeight;
  const int64_t left = static_cast<int64_t>(cameraX) - kHalfViewWidth;

  int64_t row = top / kGrid;
  for (int64_t y = -(top % kGrid); y < kViewHeight; y += layer.tileHeight, ++row) {
    int64_t column = left / kGrid;
    for (int64_t x = -(left % kGrid); x < kViewWidth; x += layer.tileWidth, ++column) {
      const int32_t value = ShownValue(CellAt(layer, column, row));  // an animated value shows its frame
      if (value >= 0) DrawCell(layer, value, x, y);
    }
  }
}

}  // namespace

void DrawMap() {
  if (zoom.step != 0 || piecesOn) {  // zoomed by view.json's keys and wheel, or drawn from pieces
    DrawZoomedMap();
    return;
  }
  if (layerCount == 0) return;
  const unsigned slotsInUse = std::min<unsigned>(layerCount, kMaxLayers);
  for (unsigned slot = 0; slot < slotsInUse; ++slot) DrawLayer(layers[slot]);
}
