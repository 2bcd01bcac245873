#include "import/write/animation_export.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <unordered_map>
#include <vector>

#include "import/compose/animation.h"
#include "import/import_error.h"
#include "import/write/animation_file.h"

namespace importer {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kLongestDefaultLoop = 30000;  // ms: a longer common cycle is cut there
constexpr int64_t kHeldFrame = 1000;            // ms a loop shows a frame that holds for good
constexpr int64_t kMostFramePixels = int64_t{1} << 26;  // 256 MiB a frame
constexpr int64_t kWindowWidth = 1280, kWindowHeight = 720;

AnimationFormat FormatOf(const std::string& file) {
  std::string extension = fs::u8path(file).extension().u8string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".gif" ? AnimationFormat::kGif : AnimationFormat::kWebP;
}

std::string Text(const PictureRegion& r) {
  return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
         std::to_string(r.height);
}

// The region asked for, or the whole picture when it is small, else the
// window the viewer opens on; checked against the picture and the format.
PictureRegion RegionOf(const Composition& c, const AnimationRequest& request) {
  const int64_t width = c.picture.width, height = c.picture.height;
  PictureRegion region{0, 0, width, height};
  if (request.region) {
    region = *request.region;
    if (region.width <= 0 || region.height <= 0 || region.x < 0 || region.y < 0 || region.x > width - region.width ||
        region.y > height - region.height)
      throw ImportError(Where(request.file) + "the region " + Text(region) + " is not inside the picture of " +
                        std::to_string(width) + " x " + std::to_string(height) + " pixels");
  } else if (width > 1920 || height > 1080) {
    auto axis = [](int64_t start, int64_t window, int64_t size, int64_t& at, int64_t& length) {
      at = std::clamp<int64_t>(start - window / 2, 0, std::max<int64_t>(0, size - window));
      length = std::min(window, size);
    };
    axis(c.startX - c.placedX, kWindowWidth, width, region.x, region.width);
    axis(c.startY - c.placedY, kWindowHeight, height, region.y, region.height);
  }
  const int64_t largest = LargestAnimationSide(FormatOf(request.file));
  if (region.width > largest || region.height > largest || region.width * region.height > kMostFramePixels)
    throw ImportError(Where(request.file) + "the region " + Text(region) + " is larger than an animation takes (" +
                      std::to_string(largest) + " pixels a side, " + std::to_string(kMostFramePixels) +
                      " pixels a frame)");
  return region;
}

// Straight alpha over straight alpha, rounded once, as layers compose.
void Over(Pixel& under, const Pixel& over) {
  if (over.a == 0) return;
  if (over.a == 255 || under.a == 0) {
    under = over;
    return;
  }
  const int64_t top = over.a * 255, bottom = int64_t{under.a} * (255 - over.a), sum = top + bottom;
  auto mix = [&](uint8_t a, uint8_t b) { return static_cast<uint8_t>((a * top + b * bottom + sum / 2) / sum); };
  under = {mix(over.r, under.r), mix(over.g, under.g), mix(over.b, under.b), static_cast<uint8_t>((sum + 127) / 255)};
}

// The region's pixels, each cell's value passed through `shown` first.
template <typename Shown>
void Render(const Composition& c, int64_t left, int64_t top, int64_t width, int64_t height, Shown shown,
            std::vector<Pixel>& out) {
  out.assign(static_cast<size_t>(width * height), Pixel{});
  for (const std::vector<int32_t>& layer : c.layers)
    for (int64_t row = top / kBlock; row <= (top + height - 1) / kBlock; ++row)
      for (int64_t column = left / kBlock; column <= (left + width - 1) / kBlock; ++column) {
        const int32_t value = shown(layer[static_cast<size_t>(row * c.width + column)]);
        if (value <= 0 || static_cast<size_t>(value) > c.blocks.size()) continue;
        const Block& block = c.blocks[static_cast<size_t>(value - 1)];
        const int64_t y0 = std::max(top, row * kBlock), y1 = std::min(top + height, row * kBlock + kBlock);
        const int64_t x0 = std::max(left, column * kBlock), x1 = std::min(left + width, column * kBlock + kBlock);
        for (int64_t y = y0; y < y1; ++y)
          for (int64_t x = x0; x < x1; ++x)
            Over(out[static_cast<size_t>((y - top) * width + (x - left))],
                 block[static_cast<size_t>((y - row * kBlock) * kBlock + (x - column * kBlock))]);
      }
}

// A file written whole or not at all.
void WriteWhole(const std::string& file, const std::vector<uint8_t>& bytes) {
  const fs::path path = fs::u8path(file);
  const fs::path partial = path.parent_path() / fs::u8path("." + path.filename().u8string() + ".partial");
  SDL_RWops* out = SDL_RWFromFile(partial.u8string().c_str(), "wb");
  if (out == nullptr) throw ImportError(Where(file) + "can't be written: " + SDL_GetError());
  const bool written = SDL_RWwrite(out, bytes.data(), 1, bytes.size()) == bytes.size();
  if (SDL_RWclose(out) != 0 || !written) {
    fs::remove(partial);
    throw ImportError(Where(file) + "can't be written: " + SDL_GetError());
  }
  std::error_code error;
  fs::rename(partial, path, error);
  if (error) {
    fs::remove(partial);
    throw ImportError(Where(file) + "can't be written: " + error.message());
  }
}

}  // namespace

bool ParseRegion(const std::string& text, PictureRegion& region) {
  int64_t values[4];
  size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    size_t used = 0;
    try {
      values[i] = std::stoll(text.substr(at), &used);
    } catch (const std::exception&) {
      return false;
    }
    at += used;
    if (i < 3 && (at >= text.size() || text[at++] != ',')) return false;
  }
  if (at != text.size()) return false;
  region = {values[0], values[1], values[2], values[3]};
  return true;
}

void CheckAnimationFile(const std::string& file) {
  std::string extension = fs::u8path(file).extension().u8string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension != ".webp" && extension != ".gif")
    throw ImportError(Where(file) + "an animation is written as .webp or .gif");
}

AnimationSummary WriteAnimation(const Composition& c, const AnimationRequest& request) {
  AnimationSummary summary;
  summary.region = RegionOf(c, request);
  const PictureRegion& r = summary.region;
  const int64_t left = c.placedX + r.x, top = c.placedY + r.y;

  // The animated values the region shows, and the frames each walks through.
  std::unordered_map<int32_t, size_t> animationOf;
  for (size_t i = 0; i < c.animations.size(); ++i) animationOf[c.animations[i].tile] = i;
  std::unordered_map<int32_t, size_t> slotOf;  // value -> its place in `moving`
  std::vector<std::vector<Frame>> moving;
  std::vector<const Animation*> movingAnimation;
  for (const std::vector<int32_t>& layer : c.layers)
    for (int64_t row = top / kBlock; row <= (top + r.height - 1) / kBlock; ++row)
      for (int64_t column = left / kBlock; column <= (left + r.width - 1) / kBlock; ++column) {
        const int32_t value = layer[static_cast<size_t>(row * c.width + column)];
        const auto found = animationOf.find(value);
        if (found == animationOf.end() || !slotOf.try_emplace(value, moving.size()).second) continue;
        std::vector<Frame> frames;
        for (const BlockFrame& frame : c.animations[found->second].frames)
          frames.push_back({static_cast<int>(frames.size()),
                            static_cast<int>(std::min<int64_t>(frame.duration, INT32_MAX))});
        moving.push_back(std::move(frames));
        movingAnimation.push_back(&c.animations[found->second]);
      }

  // The moments anything changes: each a combination of the animations' frames.
  std::vector<std::vector<size_t>> combinations;
  std::vector<BlockFrame> timeline{{0, 0}};  // nothing moves: one picture, held
  if (!moving.empty()) {
    std::vector<const std::vector<Frame>*> walked;
    for (const std::vector<Frame>& frames : moving) walked.push_back(&frames);
    timeline = WalkTimeline(walked, [&](const std::vector<size_t>& index) {
                 combinations.push_back(index);
                 return static_cast<int32_t>(combinations.size() - 1);
               }).frames;
  } else {
    combinations.push_back({});
  }
  int64_t length = request.milliseconds;
  if (length == 0) {
    for (const BlockFrame& frame : timeline) length += frame.duration > 0 ? frame.duration : kHeldFrame;
    length = std::min(length, kLongestDefaultLoop);
  }

  AnimationEncoder encoder(FormatOf(request.file), static_cast<int>(r.width), static_cast<int>(r.height),
                           request.file);
  std::vector<Pixel> pixels;
  for (size_t k = 0; summary.milliseconds < length && summary.frames < int(kMaxAnimationFrames); ++k) {
    const BlockFrame& frame = timeline[k % timeline.size()];
    const std::vector<size_t>& combination = combinations[static_cast<size_t>(frame.block)];
    Render(c, left, top, r.width, r.height, [&](int32_t value) {
      const auto slot = slotOf.find(value);
      if (slot == slotOf.end()) return value;
      return movingAnimation[slot->second]->frames[combination[slot->second]].block;
    }, pixels);
    const int64_t shown = std::min(frame.duration > 0 ? frame.duration : length, length - summary.milliseconds);
    encoder.Add(pixels, shown);
    summary.milliseconds += shown;
    ++summary.frames;
  }
  WriteWhole(request.file, encoder.Finish());
  return summary;
}

}  // namespace importer
