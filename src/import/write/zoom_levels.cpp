#include "import/write/zoom_levels.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

#include "import/compose/animation.h"
#include "import/compose/block_store.h"
#include "import/compose/hash.h"
#include "import/write/painter.h"

namespace importer {
namespace {

constexpr int64_t kWindowWidth = 1280, kWindowHeight = 720;

// The level below the one being made, as cells of blocks: the composition's
// layers for level 1, a level's single layer after that.
struct Below {
  int width = 0, height = 0;
  std::vector<const std::vector<int32_t>*> layers;
  const std::vector<Block>* blocks = nullptr;
  const std::vector<Animation>* animations = nullptr;
};

// The values of a level cell's f × f cells below (f the factor, 2 when the
// level below is the one before), every layer of each: layer by layer, and
// in a layer row by row.
using Key = std::vector<int32_t>;

struct KeyHash {
  size_t operator()(const Key& key) const {
    uint64_t h = 0;
    for (const int32_t v : key) h = Mix(h, static_cast<uint32_t>(v));
    return static_cast<size_t>(h);
  }
};

// A level that would need more blocks than it may have.
struct TooManyBlocks {};

// Distinct sets of cells below that may stand for one block of the level
// (sets whose pictures are the same pixels): past this many for each block
// allowed, the level isn't made.
constexpr size_t kKeysPerBlock = 2;

class LevelMaker {
 public:
  LevelMaker(const Below& below, int factor, bool animate, size_t maxBlocks, const std::string& name)
      : below_(below), factor_(factor), side_(kBlock / factor), maxBlocks_(maxBlocks), name_(name),
        store_{name_, level_.blocks, {}} {
    level_.width = (below.width + factor - 1) / factor;
    level_.height = (below.height + factor - 1) / factor;
    if (!animate) return;
    for (size_t i = 0; i < below.animations->size(); ++i) {
      const Animation& animation = (*below.animations)[i];
      std::vector<Frame> frames;
      for (const BlockFrame& frame : animation.frames)
        frames.push_back({frame.block, static_cast<int>(std::min<int64_t>(frame.duration, INT32_MAX))});
      if (!frames.empty()) animated_.emplace(animation.tile, std::move(frames));
    }
  }

  ZoomLevel Make() {
    // First the distinct sets of cells below, cheaply: a map with no
    // pattern shows itself here, long before its blocks would be drawn.
    std::vector<int32_t> keyOfCell(static_cast<size_t>(level_.width) * static_cast<size_t>(level_.height), -1);
    std::vector<const Key*> keys;
    const size_t layerCount = below_.layers.size(), cells = static_cast<size_t>(factor_) * factor_;
    Key key(cells * layerCount);
    for (int y = 0; y < level_.height; ++y)
      for (int x = 0; x < level_.width; ++x) {
        bool empty = true;
        for (size_t at = 0; at < cells; ++at) {
          const int column = factor_ * x + static_cast<int>(at) % factor_, row = factor_ * y + static_cast<int>(at) / factor_;
          const bool inside = column < below_.width && row < below_.height;
          for (size_t layer = 0; layer < layerCount; ++layer) {
            const int32_t value =
                inside ? (*below_.layers[layer])[static_cast<size_t>(row) * below_.width + column] : 0;
            key[cells * layer + at] = value;
            empty = empty && value == 0;
          }
        }
        if (empty) continue;
        const auto [found, isNew] = made_.try_emplace(key, static_cast<int32_t>(keys.size()));
        if (isNew) {
          keys.push_back(&found->first);
          if (keys.size() > kKeysPerBlock * maxBlocks_) throw TooManyBlocks{};
        }
        keyOfCell[static_cast<size_t>(y) * level_.width + x] = found->second;
      }
    // Then each set's picture, in the order they were met.
    std::vector<int32_t> valueOfKey(keys.size());
    for (size_t k = 0; k < keys.size(); ++k) {
      valueOfKey[k] = ValueOf(*keys[k]);
      if (level_.blocks.size() > maxBlocks_) throw TooManyBlocks{};
    }
    level_.cells.resize(keyOfCell.size());
    for (size_t i = 0; i < keyOfCell.size(); ++i)
      if (keyOfCell[i] >= 0) level_.cells[i] = valueOfKey[static_cast<size_t>(keyOfCell[i])];
    return std::move(level_);
  }

 private:
  // The level cell showing the cells of `key`: a block, or an animated
  // value of its own when animated cells are among them.
  int32_t ValueOf(const Key& key) {
    std::vector<size_t> where;  // the places in the key of animated values
    std::vector<const std::vector<Frame>*> frames;
    for (size_t i = 0; i < key.size(); ++i) {
      const auto animation = animated_.find(key[i]);
      if (animation == animated_.end()) continue;
      where.push_back(i);
      frames.push_back(&animation->second);
    }
    if (where.empty()) return store_.Add(Picture(key));

    Key shown = key;
    const Timeline timeline = WalkTimeline(frames, [&](const std::vector<size_t>& index) {
      for (size_t j = 0; j < where.size(); ++j) shown[where[j]] = (*frames[j])[index[j]].tileId;
      return store_.Add(Picture(shown));
    });
    const int32_t value = store_.AddOwn(Picture(key));  // the picture at time 0
    level_.animations.push_back({value, timeline.frames});
    return value;
  }

  // The f × f cells of `key`, each its layers drawn over each other and
  // scaled down by f.
  Block Picture(const Key& key) {
    Block picture{};
    const size_t layerCount = below_.layers.size(), cells = static_cast<size_t>(factor_) * factor_;
    Key stack(layerCount);
    for (size_t at = 0; at < cells; ++at) {
      for (size_t layer = 0; layer < layerCount; ++layer) stack[layer] = key[cells * layer + at];
      const std::vector<Pixel>& scaled = ScaledStack(stack);
      const int left = static_cast<int>(at) % factor_ * side_, top = static_cast<int>(at) / factor_ * side_;
      for (int y = 0; y < side_; ++y)
        std::copy_n(&scaled[static_cast<size_t>(y) * side_], side_, &picture[static_cast<size_t>(top + y) * kBlock + left]);
    }
    return picture;
  }

  // A cell's layers (`stack`, bottom first) drawn over each other and
  // halved until scaled down by f; made once for each stack met, as stacks
  // repeat far more than the sets of cells do.
  const std::vector<Pixel>& ScaledStack(const Key& stack) {
    if (scaled_.size() >= kMaxRemembered) scaled_.clear();  // a map with no pattern: memory stays bounded
    const auto [found, isNew] = scaled_.try_emplace(stack);
    if (!isNew) return found->second;
    std::vector<Pixel> drawn(static_cast<size_t>(kBlock) * kBlock);
    for (const int32_t value : stack) {
      if (value <= 0 || static_cast<size_t>(value) > below_.blocks->size()) continue;
      const Block& block = (*below_.blocks)[static_cast<size_t>(value) - 1];
      for (size_t i = 0; i < block.size(); ++i) Over(drawn[i], block[i]);
    }
    for (int side = kBlock; side > side_; side /= 2) {  // each halving as a level's
      for (int y = 0; y < side / 2; ++y)
        for (int x = 0; x < side / 2; ++x) {
          const Pixel* pair = &drawn[static_cast<size_t>(2 * y) * side + 2 * x];
          drawn[static_cast<size_t>(y) * (side / 2) + x] = Average(pair[0], pair[1], pair[side], pair[side + 1]);
        }
    }
    // Kept at its scaled size: the bound on what is remembered counts on it.
    found->second.assign(drawn.begin(), drawn.begin() + static_cast<ptrdiff_t>(side_) * side_);
    return found->second;
  }

  const Below& below_;
  const int factor_;  // a level cell's cells below, each way
  const int side_;    // a cell below's pixels in the level's block, each way
  const size_t maxBlocks_;
  const std::string name_;
  ZoomLevel level_;
  BlockStore store_;
  std::unordered_map<int32_t, std::vector<Frame>> animated_;  // by cell value
  std::unordered_map<Key, int32_t, KeyHash> made_;  // each set of cells below: its place in `keys`
  static constexpr size_t kMaxRemembered = 1 << 16;  // 64 MiB of halved stacks at most
  std::unordered_map<Key, std::vector<Pixel>, KeyHash> scaled_;
};

}  // namespace

int ZoomLevelCount(int64_t pictureWidth, int64_t pictureHeight) {
  int levels = 0;
  while (levels < kMaxZoomLevels && (pictureWidth > kWindowWidth || pictureHeight > kWindowHeight)) {
    pictureWidth = (pictureWidth + 1) / 2;
    pictureHeight = (pictureHeight + 1) / 2;
    ++levels;
  }
  return levels;
}

Pixel Average(Pixel a, Pixel b, Pixel c, Pixel d) {
  const uint32_t alpha = uint32_t{a.a} + b.a + c.a + d.a;
  if (alpha == 0) return {};
  const auto channel = [&](uint8_t Pixel::*member) {
    const uint32_t sum = uint32_t{a.*member} * a.a + uint32_t{b.*member} * b.a + uint32_t{c.*member} * c.a +
                         uint32_t{d.*member} * d.a;
    return static_cast<uint8_t>((sum + alpha / 2) / alpha);
  };
  return {channel(&Pixel::r), channel(&Pixel::g), channel(&Pixel::b), static_cast<uint8_t>((alpha + 2) / 4)};
}

std::vector<ZoomLevel> MakeZoomLevels(const Composition& composition) {
  const int count = ZoomLevelCount(composition.picture.width, composition.picture.height);
  std::vector<ZoomLevel> levels;
  levels.reserve(static_cast<size_t>(count));
  Below below{composition.width, composition.height, {}, &composition.blocks, &composition.animations};
  for (const std::vector<int32_t>& layer : composition.layers) below.layers.push_back(&layer);
  int belowNumber = 0;
  const size_t maxBlocks = std::max(kMaxLevelBlocks, composition.blocks.size());
  for (int number = 1; number <= count; ++number) {
    const int factor = 1 << (number - belowNumber);
    if (factor > kBlock) break;  // a cell below would be less than a pixel
    try {
      levels.push_back(LevelMaker(below, factor, factor == 2 && number <= kAnimatedLevels, maxBlocks,
                                  "zoom level " + std::to_string(number)).Make());
    } catch (const TooManyBlocks&) {
      if (levels.empty()) continue;  // the next, coarser one, from the map itself
      break;                         // levels follow each other: the coarser ones are left to the overview
    }
    ZoomLevel& made = levels.back();
    made.number = number;
    below = {made.width, made.height, {&made.cells}, &made.blocks, &made.animations};
    belowNumber = number;
  }
  return levels;
}

}  // namespace importer
