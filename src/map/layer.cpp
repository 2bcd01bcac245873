#include "map/layer.h"

#include <cstdlib>

Layer layers[kMaxLayers];
uint16_t layerCount = 0;

Layer::~Layer() { std::free(tiles); }

void Layer::Set(int32_t* newTiles, int32_t newWidth, int32_t newHeight, int32_t newTileWidth,
                int32_t newTileHeight) {
  if (newTiles != tiles) std::free(tiles);
  tiles = newTiles;
  width = newWidth;
  height = newHeight;
  tileWidth = newTileWidth;
  tileHeight = newTileHeight;
  // The product wraps like 32-bit arithmetic instead of overflowing.
  tileCount = static_cast<int32_t>(static_cast<uint32_t>(newWidth) * static_cast<uint32_t>(newHeight));
}
