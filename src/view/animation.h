#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One animated cell value and its frames, walked by the editor's clock: from
// frame 0 with `left` = t, while the frame's duration d is above 0 and
// left > d, take d off and go to the next frame (after the last, the first).
// So a time on a boundary still shows the earlier frame, a whole number of
// cycles shows the last frame, and a frame of duration 0 holds for good once
// the walk reaches it.
struct Animation {
  struct Frame {
    int32_t tile;       // the value the cell shows, as main.json's data counts them
    uint32_t duration;  // milliseconds
  };

  int32_t tile = 0;                 // the cell value it animates
  std::vector<int32_t> frameTiles;  // the value each frame shows
  std::vector<uint64_t> frameEnds;  // frame i shows until frameEnds[i] ms into the cycle, that time included
  size_t holdFrame = 0;             // the first frame of duration 0, or the frame count when there is none
};

// The animation of `tile` through `frames` (at least one), with the cycle's
// sums worked out once. Durations are at most 32 bits and frames at most a
// few thousand, so the sums fit easily in 64 bits.
Animation MakeAnimation(int32_t tile, const std::vector<Animation::Frame>& frames);

// The index of the frame that shows at `t` ms: t taken modulo the cycle, then
// a binary search over the frames' ends.
size_t FrameAt(const Animation& animation, uint64_t t);
