#pragma once
// An animation's frames as a file that loops for ever: an animated WebP
// (lossless, durations in milliseconds) or GIF (a palette chosen for each
// frame, transparency kept, durations in its 10 ms units with the rounding
// carried from frame to frame, so that the loop keeps its length). The
// libraries do the formats: libwebp's animation encoder and giflib.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "import/model.h"

namespace importer {

enum class AnimationFormat { kWebP, kGif };

// The largest side each format holds.
int64_t LargestAnimationSide(AnimationFormat format);

class AnimationEncoder {
 public:
  // `file` names the output in messages.
  AnimationEncoder(AnimationFormat format, int width, int height, std::string file);
  ~AnimationEncoder();
  AnimationEncoder(const AnimationEncoder&) = delete;
  AnimationEncoder& operator=(const AnimationEncoder&) = delete;

  // A frame of width × height pixels, row by row, shown for `durationMs`
  // (at least 1). Throws ImportError when the library fails.
  void Add(const std::vector<Pixel>& pixels, int64_t durationMs);
  // The file's bytes, once every frame is added.
  std::vector<uint8_t> Finish();

 private:
  struct Format;
  struct WebP;
  struct Gif;
  std::unique_ptr<Format> format_;
};

}  // namespace importer
