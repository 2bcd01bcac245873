#pragma once
// Drawing one tile, tile object or image into one 32 × 32 block of the
// picture: where the editor puts it, flipped, scaled, turned, tinted and
// faded as it does, sampled at the nearest pixel.

#include <array>
#include <optional>

#include "import/compose/flip.h"
#include "import/model.h"

namespace importer {

constexpr int kBlock = 32;  // the viewer's grid
using Block = std::array<Pixel, kBlock * kBlock>;

struct Placement {
  const Image* image = nullptr;
  int sourceX = 0, sourceY = 0, sourceWidth = 0, sourceHeight = 0;
  // The box the image is scaled into, before flipping, in picture pixels.
  // Flipping keeps its bottom-left corner. A pixel whose centre lies on the
  // box's left or top edge is left to what lies before: halves round up.
  double left = 0, bottom = 0, width = 0, height = 0;
  Flips flips;
  bool preserveAspect = false;  // scaled evenly and centred instead of stretched
  double spin = 0;              // degrees, clockwise, about the box's centre (hexagonal maps), first
  double rotation = 0;          // degrees, clockwise, about the pivot
  double pivotX = 0, pivotY = 0;
  double opacity = 1;
  std::optional<std::array<double, 4>> tint;  // r, g, b, a in 0..1; none: white
  BlendMode blend = BlendMode::kNormal;
};

struct Bounds {
  double left, top, right, bottom;
};

// The part of the picture the placement can touch.
Bounds BoundsOf(const Placement& placement);

// Draws the placement over `block`, whose top-left is picture pixel
// (blockX, blockY); pixels outside the clip (the picture) stay untouched.
void Draw(const Placement& placement, Block& block, int blockX, int blockY, const Bounds& clip);

// Combines a pixel drawn with the given colour and alpha (0..1) with the one
// below it.
Pixel Composite(Pixel below, double r, double g, double b, double a, BlendMode mode);

// Composite's "source over" of a source pixel as it is (not tinted nor
// faded) over one that isn't transparent, to the bit, in integers.
Pixel SourceOver(Pixel below, Pixel source);

}  // namespace importer
