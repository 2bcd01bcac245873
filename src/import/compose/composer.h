#pragma once
// Cuts the map's picture into the viewer's 32 × 32 blocks, placed so that
// the viewer shows the map at once. Identical blocks are kept once. Works
// block by block: memory follows the cells and the distinct blocks, never
// the whole picture.

#include <string>
#include <vector>

#include "import/compose/animation.h"
#include "import/compose/block_store.h"
#include "import/compose/draw_item.h"
#include "import/model.h"
#include "import/compose/drawn_layers.h"
#include "shared/globals.h"

namespace importer {

// A cell value that animates, and the blocks it shows in turn (view.json).
struct Animation {
  int32_t tile = 0;
  std::vector<BlockFrame> frames;
};

struct Composition {
  int width = 0, height = 0;  // cells of 32 × 32
  std::vector<std::string> layerNames;
  std::vector<std::vector<int32_t>> layers;  // 0: empty; v: block v - 1
  std::vector<Block> blocks;
  std::vector<Animation> animations;  // by cell value
  int cutAnimations = 0;  // of them, those whose list isn't the whole cycle (animation.h)
  PictureRect picture;              // in the map's pixels
  int64_t placedX = 0, placedY = 0;  // where its top-left lies in the output
  // The map pixel at the window's centre when the viewer starts: on the
  // drawn pixels (a world's: its first map's), start.h.
  int32_t startX = kCameraStartX, startY = kCameraStartY;
  std::vector<std::string> warnings;
};

struct ComposeOptions {
  bool background = false;  // the map's background colour under its grid area
};

// Images must be loaded. Throws ImportError when the map needs more blocks
// or cells than the viewer takes.
Composition Compose(const Map& map, const ComposeOptions& options = {});
// A world's maps as one picture.
Composition Compose(const World& world, const ComposeOptions& options = {});

// Where a picture `size` pixels long goes on an axis of the view that
// starts at `viewStart` and is `viewSize` long: centred on the 32-pixel
// grid when it fits, else its start just inside the view.
int64_t PlaceOnAxis(int64_t size, int64_t viewStart, int64_t viewSize);

}  // namespace importer
