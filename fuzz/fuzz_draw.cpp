// libFuzzer target for the drawing alone: the input bytes choose a layer
// table (any dimensions, tile sizes from negative to huge, cells or none, any
// layer count), a camera and a tileset of one texture or of bands, and the
// map is drawn into a software renderer; then the bytes left choose
// animations (any values, frames of any duration, 0 among them) and a time,
// and it is drawn again through their frames.
// Every slot's cell array is exactly width x height cells, so AddressSanitizer
// catches any read outside it.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "shared/globals.h"
#include "fuzz_canvas.h"
#include "map/layer.h"
#include "render/draw_map.h"
#include "view/view.h"

namespace {

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  template <typename T>
  T Take() {
    T value{};
    const size_t n = std::min(sizeof(T), size_);
    std::memcpy(&value, data_, n);
    data_ += n;
    size_ -= n;
    return value;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

// Mostly small numbers, now and then any 32-bit value.
int32_t Dimension(Bytes& in) {
  const uint8_t kind = in.Take<uint8_t>();
  const int32_t any = in.Take<int32_t>();
  switch (kind % 4) {
    case 0: return any;
    case 1: return static_cast<int32_t>(kind) - 8;
    default: return static_cast<int32_t>(static_cast<uint32_t>(any) % 300) - 2;
  }
}

constexpr int64_t kMostCells = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzCanvas canvas;
  Bytes in(data, size);
  ResetLayerTable();
  for (Layer& slot : layers) {
    const int32_t width = Dimension(in), height = Dimension(in);
    const int32_t tileWidth = Dimension(in), tileHeight = Dimension(in);
    const bool withCells = in.Take<uint8_t>() % 4 != 0;
    const int64_t cells = int64_t{width} * height;
    int32_t* tiles = nullptr;
    if (withCells && width >= 0 && height >= 0 && cells <= kMostCells) {
      tiles = static_cast<int32_t*>(std::malloc(static_cast<size_t>(cells > 0 ? cells : 1) * sizeof(int32_t)));
      const int32_t seed = in.Take<int32_t>();
      for (int64_t i = 0; i < cells; ++i) tiles[i] = static_cast<int32_t>(seed + i * 7919) % 40 - 3;
    }
    slot.Set(tiles, width, height, tileWidth, tileHeight);
  }
  layerCount = in.Take<uint16_t>();
  cameraX = in.Take<int32_t>();
  cameraY = in.Take<int32_t>();
  canvas.UseBands(in.Take<uint8_t>() % 2 == 1);
  DrawMap();

  std::vector<Animation> list(in.Take<uint8_t>() % 6);
  for (Animation& animation : list) {
    const int32_t tile = static_cast<int32_t>(in.Take<uint8_t>() % 48) - 3;
    std::vector<Animation::Frame> frames(1 + in.Take<uint8_t>() % 8);
    for (Animation::Frame& frame : frames) {
      frame.tile = static_cast<int32_t>(in.Take<int8_t>()) % 44;
      frame.duration = in.Take<uint8_t>() % 4 == 0 ? 0 : in.Take<uint32_t>() % 2000;
    }
    animation = MakeAnimation(tile, frames);
  }
  UseAnimations(std::move(list));
  PickFrames(in.Take<uint64_t>());
  DrawMap();
  UseAnimations({});
  ResetLayerTable();
  return 0;
}
