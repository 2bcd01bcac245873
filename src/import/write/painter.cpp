#include "import/write/painter.h"

#include <algorithm>

namespace importer {

static int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

Painter::Painter(const Composition& composition, int64_t time, int64_t x, int64_t y)
    : c_(composition), left_(composition.placedX + x), top_(composition.placedY + y),
      shown_(composition.blocks.size() + 1) {
  for (size_t v = 0; v < shown_.size(); ++v) shown_[v] = static_cast<int32_t>(v);
  for (const Animation& animation : c_.animations)
    if (!animation.frames.empty()) Show(animation.tile, animation.frames[WalkFrames(animation.frames, time)].block);
}

void Painter::Show(int32_t value, int32_t shown) {
  if (value <= 0 || size_t(value) >= shown_.size()) return;
  shown_[size_t(value)] = shown >= 0 && size_t(shown) < shown_.size() ? shown : 0;
}

void Painter::Paint(int64_t y, int64_t x, int64_t count, Pixel* out) const {
  std::fill_n(out, count, Pixel{});
  const int64_t gridY = top_ + y, row = FloorDiv(gridY, kBlock);
  if (row < 0 || row >= c_.height) return;
  const size_t inRow = static_cast<size_t>(gridY - row * kBlock) * kBlock;
  for (size_t layer = 0; layer < c_.layers.size(); ++layer) {
    const int32_t* cells = c_.layers[layer].data() + static_cast<size_t>(row) * static_cast<size_t>(c_.width);
    for (int64_t i = 0, gridX = left_ + x; i < count;) {
      const int64_t column = FloorDiv(gridX, kBlock), inBlock = gridX - column * kBlock;
      const int64_t run = std::min(count - i, kBlock - inBlock);
      const int32_t cell = column >= 0 && column < c_.width ? cells[column] : 0;
      const int32_t value = cell > 0 && size_t(cell) < shown_.size() ? shown_[size_t(cell)] : 0;
      if (value > 0) {
        const Pixel* from = c_.blocks[size_t(value) - 1].data() + inRow + inBlock;
        if (layer == 0) {
          std::copy_n(from, run, out + i);  // over nothing: as it is
        } else {
          for (int64_t k = 0; k < run; ++k) Over(out[i + k], from[k]);
        }
      }
      i += run, gridX += run;
    }
  }
}

}  // namespace importer
