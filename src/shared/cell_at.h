#pragma once
// Reading a layer's cell as the drawing does: the 1:1 and the zoomed
// drawing both take a cell this way.

#include <cstdint>

#include "map/layer.h"

// The cell at (column, row), or -1 (never drawn) outside the layer, in a
// slot never filled, or past the cells it holds.
inline int32_t CellAt(const Layer& layer, int64_t column, int64_t row) {
  if (column < 0 || column >= layer.width || row < 0 || row >= layer.height) return -1;
  if (layer.tiles == nullptr) return -1;
  const int64_t index = row * layer.width + column;
  if (index >= layer.tileCount) return -1;
  return layer.tiles[index];
}
