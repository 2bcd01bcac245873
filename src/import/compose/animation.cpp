#include "import/compose/animation.h"

#include <algorithm>
#include <climits>
#include <map>

namespace importer {

size_t ShownFrames(const std::vector<Frame>& frames) {
  const size_t reachable = std::min(frames.size(), kMaxAnimationSteps + 1);
  for (size_t i = 0; i < reachable; ++i)
    if (frames[i].duration <= 0) return i + 1;
  return reachable;
}

Timeline WalkTimeline(const std::vector<const std::vector<Frame>*>& animations,
                      const std::function<int32_t(const std::vector<size_t>&)>& pictureAt) {
  constexpr int64_t kStopped = INT64_MAX;
  const size_t count = animations.size();
  std::vector<size_t> index(count, 0), shown(count);
  std::vector<int64_t> ends(count);  // the last ms each shows its frame; in 64 bits: sums of many int durations
  bool anyStops = false;
  for (size_t j = 0; j < count; ++j) {
    const std::vector<Frame>& frames = *animations[j];
    shown[j] = ShownFrames(frames);
    anyStops = anyStops || frames[shown[j] - 1].duration <= 0;
    ends[j] = frames[0].duration > 0 ? frames[0].duration : kStopped;
  }
  std::map<std::vector<size_t>, int32_t> drawn;  // each combination once
  Timeline timeline;
  auto append = [&](int32_t block, int64_t duration) {
    if (!timeline.frames.empty() && timeline.frames.back().block == block && timeline.frames.back().duration > 0) {
      timeline.frames.back().duration += duration;  // the same picture goes on
      if (duration == 0) timeline.frames.back().duration = 0;
      return true;
    }
    if (timeline.frames.size() == kMaxAnimationFrames) return false;
    timeline.frames.push_back({block, duration});
    return true;
  };
  int64_t now = 0;
  for (size_t step = 0;; ++step) {
    if (step == kMaxAnimationSteps) {
      timeline.cut = true;
      break;
    }
    const auto [found, isNew] = drawn.try_emplace(index, 0);
    if (isNew) found->second = pictureAt(index);
    const int32_t block = found->second;
    // Stopping animations freeze the block once the last of them has stopped.
    bool allStopped = true, stoppersStopped = true, anyCycles = false;
    int64_t next = kStopped;
    for (size_t j = 0; j < count; ++j) {
      const bool stops = (*animations[j])[shown[j] - 1].duration <= 0;
      allStopped = allStopped && ends[j] == kStopped;
      if (stops) stoppersStopped = stoppersStopped && ends[j] == kStopped;
      anyCycles = anyCycles || !stops;
      next = std::min(next, ends[j]);
    }
    if (allStopped || (anyStops && stoppersStopped)) {
      if (!append(block, 0)) timeline.cut = true;
      timeline.cut = timeline.cut || anyCycles;
      break;
    }
    if (!append(block, next - now)) {
      timeline.cut = true;
      break;
    }
    now = next;
    bool allTurned = true;  // every animation just came back to its first frame
    for (size_t j = 0; j < count; ++j) {
      if (ends[j] != now) {
        allTurned = false;
        continue;
      }
      const std::vector<Frame>& frames = *animations[j];
      index[j] = index[j] + 1 == shown[j] ? 0 : index[j] + 1;
      ends[j] = frames[index[j]].duration > 0 ? now + frames[index[j]].duration : kStopped;
      allTurned = allTurned && index[j] == 0;
    }
    if (allTurned && !anyStops) break;  // the whole cycle
  }
  // What a viewer counts in: a frame longer than 2^31 - 1 ms (24 days)
  // is cut to that.
  for (BlockFrame& frame : timeline.frames)
    if (frame.duration > INT32_MAX) {
      frame.duration = INT32_MAX;
      timeline.cut = true;
    }
  return timeline;
}

}  // namespace importer
