#include "import/compose/drawing_key.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace importer {

// Whole pixels well inside 2^53: every sum and difference Draw makes of
// them and of pixel centres is exact, so moving the block and the
// placement by the same whole pixels moves each result by as much.
static bool WholePixels(double v) { return std::floor(v) == v && std::fabs(v) < 0x1p40; }

std::optional<BlockKey> DrawingKey(const std::vector<Placement>& placements, int blockX, int blockY,
                                   const Bounds& clip) {
  BlockItems key;  // its key alone
  key.collect = false;
  auto inBlock = [](double v) { return std::clamp(v, 0.0, double(kBlock)); };  // past the block: no matter how far
  for (const double edge : {clip.left, clip.top, clip.right, clip.bottom})
    if (!WholePixels(edge)) return std::nullopt;
  key.AddToKey(inBlock(clip.left - blockX));
  key.AddToKey(inBlock(clip.top - blockY));
  key.AddToKey(inBlock(clip.right - blockX));
  key.AddToKey(inBlock(clip.bottom - blockY));
  for (const Placement& p : placements) {
    if (p.rotation != 0 || p.spin != 0 || !WholePixels(p.left) || !WholePixels(p.bottom) || !WholePixels(p.width) ||
        !WholePixels(p.height))
      return std::nullopt;
    key.AddToKey(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p.image)));
    key.AddToKey(uint64_t{static_cast<uint32_t>(p.sourceX)} << 32 | static_cast<uint32_t>(p.sourceY));
    key.AddToKey(uint64_t{static_cast<uint32_t>(p.sourceWidth)} << 32 | static_cast<uint32_t>(p.sourceHeight));
    key.AddToKey(p.left - blockX);
    key.AddToKey(p.bottom - blockY);
    key.AddToKey(p.width);
    key.AddToKey(p.height);
    key.AddToKey(uint64_t{p.flips.horizontal} | uint64_t{p.flips.vertical} << 1 | uint64_t{p.flips.diagonal} << 2 |
                 uint64_t{p.preserveAspect} << 3 | uint64_t{p.tint.has_value()} << 4 |
                 uint64_t{static_cast<uint32_t>(p.blend)} << 8);
    key.AddToKey(p.opacity);
    if (p.tint)
      for (const double channel : *p.tint) key.AddToKey(channel);
  }
  return BlockKey{key.key[0], key.key[1]};
}

}  // namespace importer
