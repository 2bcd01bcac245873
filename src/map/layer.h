#pragma once

#include <cstdint>

// One slot of the layer table: a layer's cells and the map's dimensions.
// A slot is either empty (every number -1, no cells) or filled through Set,
// and it alone owns its cell array, which must come from std::malloc or
// std::calloc.
struct Layer {
  int32_t width = -1;       // map width in cells
  int32_t height = -1;      // map height in cells
  int32_t tileWidth = -1;   // tile width in pixels
  int32_t tileHeight = -1;  // tile height in pixels
  int32_t* tiles = nullptr;  // row-major: column c of row r is tiles[r * width + c]
  int32_t tileCount = -1;   // width * height

  Layer() = default;
  ~Layer();
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  // Releases the current cells, takes ownership of `newTiles` and stores the
  // dimensions; tileCount becomes their 32-bit product.
  void Set(int32_t* newTiles, int32_t newWidth, int32_t newHeight, int32_t newTileWidth,
           int32_t newTileHeight);
};

constexpr unsigned kMaxLayers = 3;

// The layer table: slot i holds layer i of the map file, later slots drawn
// over earlier ones. layerCount slots, from slot 0, are drawn.
extern Layer layers[kMaxLayers];
extern uint16_t layerCount;
