#include "view/animation.h"

#include <algorithm>

Animation MakeAnimation(int32_t tile, const std::vector<Animation::Frame>& frames) {
  Animation animation;
  animation.tile = tile;
  animation.holdFrame = frames.size();
  uint64_t end = 0;
  for (const Animation::Frame& frame : frames) {
    if (frame.duration == 0 && animation.holdFrame == frames.size()) animation.holdFrame = animation.frameTiles.size();
    end += frame.duration;
    animation.frameTiles.push_back(frame.tile);
    animation.frameEnds.push_back(end);
  }
  return animation;
}

size_t FrameAt(const Animation& animation, uint64_t t) {
  const std::vector<uint64_t>& ends = animation.frameEnds;
  const size_t count = ends.size();
  if (count == 0) return 0;

  // The first frame that ends at or after `into`: the one the walk stops at.
  const auto firstEndingBy = [&ends](size_t frames, uint64_t into) {
    return static_cast<size_t>(std::lower_bound(ends.begin(), ends.begin() + frames, into) - ends.begin());
  };

  const size_t hold = animation.holdFrame;
  if (hold < count) {
    // The walk never goes round: it reaches the held frame once t is past
    // every frame before it, and stays there.
    if (hold == 0 || t > ends[hold - 1]) return hold;
    return firstEndingBy(hold, t);
  }

  // Every duration is above 0, so the cycle is too.
  if (t == 0) return 0;
  const uint64_t into = t % ends[count - 1];
  if (into == 0) return count - 1;  // a whole number of cycles ends on the last frame
  return firstEndingBy(count, into);
}
