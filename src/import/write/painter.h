#pragma once
// Paints the picture of a composition, a piece of a row at a time: its
// layers' blocks drawn over each other, each cell as it shows at a moment
// of its animations. The whole-picture PNG and the animations are painted
// with it.

#include <cstdint>
#include <vector>

#include "import/compose/composer.h"

namespace importer {

// `top` drawn over `below`, straight alpha, rounded as PIL's
// alpha_composite rounds: the tests compose final.png's blocks with it, so
// the picture is theirs to the last bit (and within 1 of the viewer's).
inline void Over(Pixel& below, Pixel top) {
  if (top.a == 0) return;
  if (top.a == 255 || below.a == 0) {
    below = top;
    return;
  }
  auto div255 = [](uint32_t v) { return ((v >> 8) + v) >> 8; };
  const uint32_t alpha255 = top.a * 255u + below.a * (255u - top.a);
  const uint32_t topShare = top.a * 255u * 255u * 128u / alpha255, belowShare = 255u * 128u - topShare;
  auto channel = [&](uint32_t t, uint32_t b) {
    return static_cast<uint8_t>(div255(t * topShare + b * belowShare + (0x80u << 7)) >> 7);
  };
  below = {channel(top.r, below.r), channel(top.g, below.g), channel(top.b, below.b),
           static_cast<uint8_t>(div255(alpha255 + 0x80))};
}

class Painter {
 public:
  // Each animated cell value as it shows `time` ms into view.json's walk,
  // as the viewer plays it; rows and columns counted from (x, y) of the
  // picture.
  Painter(const Composition& composition, int64_t time, int64_t x = 0, int64_t y = 0);

  // From now on cells of `value` show block value `shown` (0: nothing).
  void Show(int32_t value, int32_t shown);

  // Pixels [x, x + count) of row y into `out`.
  void Paint(int64_t y, int64_t x, int64_t count, Pixel* out) const;

 private:
  const Composition& c_;
  int64_t left_, top_;  // in the composition's grid
  std::vector<int32_t> shown_;  // by cell value: the value it shows
};

}  // namespace importer
