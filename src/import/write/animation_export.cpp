#include "import/write/animation_export.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <unordered_map>
#include <vector>

#include "import/compose/animation.h"
#include "import/import_error.h"
#include "import/write/animation_file.h"
#include "import/write/painter.h"
#include "import/write/writer.h"

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
    CheckRegion(region, c, request.file);
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

// A file written whole or not at all: under a temporary name, then renamed.
void WriteWhole(const std::string& file, const std::vector<uint8_t>& bytes) {
  const fs::path target = fs::u8path(file), temporary = Beside(target, "writing");
  SDL_RWops* out = SDL_RWFromFile(temporary.u8string().c_str(), "wb");
  if (out == nullptr) throw ImportError(Where(file) + "can't be written: " + SDL_GetError());
  const bool written = SDL_RWwrite(out, bytes.data(), 1, bytes.size()) == bytes.size();
  std::string problem = SDL_RWclose(out) == 0 && written ? "" : SDL_GetError();
  std::error_code error;
  if (problem.empty()) {
    fs::rename(temporary, target, error);  // replaces an earlier file at once, on Windows too
    if (error) problem = error.message();
  }
  if (!problem.empty()) {
    fs::remove(temporary, error);
    throw ImportError(Where(file) + "can't be written: " + problem);
  }
}

}  // namespace

void CheckAnimationFile(const std::string& file) {  // before anything is composed
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

  // The animated values the region shows. Values whose frames last alike
  // change together (all start at 0), so the timeline follows each set of
  // durations once: a sea of many blocks walks one animation, not thousands.
  std::unordered_map<int32_t, size_t> animationOf;
  for (size_t i = 0; i < c.animations.size(); ++i) animationOf[c.animations[i].tile] = i;
  std::unordered_map<int32_t, std::pair<const Animation*, size_t>> shownBy;  // value -> its frames, their walk
  std::map<std::vector<int64_t>, size_t> walkOf;                           // durations -> their walk
  std::vector<std::vector<Frame>> moving;
  for (const std::vector<int32_t>& layer : c.layers)
    for (int64_t row = top / kBlock; row <= (top + r.height - 1) / kBlock; ++row)
      for (int64_t column = left / kBlock; column <= (left + r.width - 1) / kBlock; ++column) {
        const int32_t value = layer[static_cast<size_t>(row * c.width + column)];
        const auto found = animationOf.find(value);
        if (found == animationOf.end() || shownBy.count(value) != 0) continue;
        const Animation& animation = c.animations[found->second];
        std::vector<int64_t> durations;
        for (const BlockFrame& frame : animation.frames) durations.push_back(frame.duration);
        const auto [walk, isNew] = walkOf.try_emplace(durations, moving.size());
        if (isNew) {
          std::vector<Frame> frames;
          for (const int64_t duration : durations)
            frames.push_back({static_cast<int>(frames.size()), static_cast<int>(std::min<int64_t>(duration, INT32_MAX))});
          moving.push_back(std::move(frames));
        }
        shownBy[value] = {&animation, walk->second};
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

  CheckOutputFile(request.file);
  AnimationEncoder encoder(FormatOf(request.file), static_cast<int>(r.width), static_cast<int>(r.height),
                           request.file);
  Painter painter(c, 0);
  std::vector<Pixel> pixels(static_cast<size_t>(r.width * r.height));
  for (size_t k = 0; summary.milliseconds < length && summary.frames < int(kMaxAnimationFrames); ++k) {
    const BlockFrame& frame = timeline[k % timeline.size()];
    const std::vector<size_t>& combination = combinations[static_cast<size_t>(frame.block)];
    for (const auto& [value, by] : shownBy) painter.Show(value, by.first->frames[combination[by.second]].block);
    for (int64_t y = 0; y < r.height; ++y) painter.Paint(r.y + y, r.x, r.width, &pixels[static_cast<size_t>(y * r.width)]);
    const int64_t shown = std::min(frame.duration > 0 ? frame.duration : length, length - summary.milliseconds);
    encoder.Add(pixels, shown);
    summary.milliseconds += shown;
    ++summary.frames;
  }
  WriteWhole(request.file, encoder.Finish());
  return summary;
}

}  // namespace importer
