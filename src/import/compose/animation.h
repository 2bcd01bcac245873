#pragma once
// Animated tiles in the viewer's blocks. A block that animated tiles reach
// shows, over time, one picture for each combination of their frames; its
// cell value N is a block of its own (the picture at t = 0) that view.json
// lists with its frames, each a block of final.png and how long it shows.
//
// The animations that meet in a block (two layers of a run, a tall tile
// over a neighbour, a tile object) run side by side from t = 0, so the
// block repeats only after their cycles' common multiple. That is found by
// walking their change points one by one, never by multiplying the cycles
// (their product can be as large as a hostile file likes). Consecutive
// times that show the same picture are one frame.
//
// The bound: a block's list holds at most kMaxAnimationFrames (4096)
// frames, and the walk passes at most kMaxAnimationSteps change points.
// The harbour-style case of 8 frames of 150 ms meeting 7 of 110 ms needs
// 1,400 frames over its 92.4 s common cycle; 4096 keeps such cases exact,
// while a hostile file can't make a block's list (or the time spent on it)
// unbounded. Past the bound the list is cut where the walk stopped and
// starts over from its first frame: exact until then. Such a block counts
// as cut.
//
// Animations that stop (a frame of duration 0 or less holds for good): the
// walk goes on until the last of them has stopped, following the others
// along, and the last frame gets duration 0 (the block freezes there).
// That is exact when every animation of the block stops; when one that
// cycles is frozen with them, the block counts as cut too.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "import/model.h"

namespace importer {

constexpr size_t kMaxAnimationFrames = 4096;
constexpr size_t kMaxAnimationSteps = 16 * kMaxAnimationFrames;

// The frames of an animation that can ever show: up to the first that
// stops it, and no more than a block's walk can reach.
size_t ShownFrames(const std::vector<Frame>& frames);

// Whether a tile with these frames ever changes: two frames or more shown.
inline bool Animates(const std::vector<Frame>* frames) { return frames != nullptr && ShownFrames(*frames) >= 2; }

// A block of final.png (as the layers' data count them) shown for
// `duration` ms; 0: for good.
struct BlockFrame {
  int32_t block = 0;
  int64_t duration = 0;
  bool operator<(const BlockFrame& other) const {
    return block != other.block ? block < other.block : duration < other.duration;
  }
  bool operator==(const BlockFrame& other) const { return block == other.block && duration == other.duration; }
};

struct Timeline {
  std::vector<BlockFrame> frames;
  bool cut = false;  // not the whole cycle (see above)
};

// The block's frames over the cycle of `animations` (each walked by the
// editor's rule from t = 0). `pictureAt` gives the block showing a frame of
// each animation (by index); it is asked once for each combination met.
Timeline WalkTimeline(const std::vector<const std::vector<Frame>*>& animations,
                      const std::function<int32_t(const std::vector<size_t>&)>& pictureAt);

}  // namespace importer
