#include "view/view_file.h"

#include <jansson.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "view/json_document.h"

namespace {

// Sets `problem` and returns false, so that each check reads as one line.
bool Fail(std::string& problem, std::string what) {
  problem = std::move(what);
  return false;
}

std::string Quoted(const char* member) { return std::string("\"") + member + "\""; }

// An integer member in [low, high], or a problem naming `where` and the member.
bool ReadInteger(const json_t* object, const char* member, int64_t low, int64_t high, const std::string& where,
                 int64_t& value, std::string& problem) {
  const json_t* field = json_object_get(object, member);
  if (field == nullptr) return Fail(problem, where + ": no " + Quoted(member));
  if (!json_is_integer(field)) return Fail(problem, where + ": " + Quoted(member) + " is not an integer");
  const json_int_t read = json_integer_value(field);
  if (read < low || read > high) {
    return Fail(problem, where + ": " + Quoted(member) + " " + std::to_string(read) + " is out of range");
  }
  value = read;
  return true;
}

bool ReadTile(const json_t* object, const std::string& where, const TilesetGrid& grid, bool emptyAllowed,
              int32_t& tile, std::string& problem) {
  int64_t value = 0;
  if (!ReadInteger(object, "tile", INT32_MIN, INT32_MAX, where, value, problem)) return false;
  if (!(grid.HasBlock(value) || (emptyAllowed && value == 0))) {
    return Fail(problem, where + ": tile " + std::to_string(value) + " has no block in " + grid.picture);
  }
  tile = static_cast<int32_t>(value);
  return true;
}

bool ReadAnimation(const json_t* entry, size_t index, const TilesetGrid& grid, size_t& framesInAll,
                   Animation& animation, std::string& problem) {
  const std::string where = "animation " + std::to_string(index);
  if (!json_is_object(entry)) return Fail(problem, where + " is not an object");
  int32_t tile = 0;
  if (!ReadTile(entry, where, grid, false, tile, problem)) return false;

  const json_t* frameArray = json_object_get(entry, "frames");
  if (!json_is_array(frameArray)) return Fail(problem, where + ": " + Quoted("frames") + " is not an array");
  const size_t frameCount = json_array_size(frameArray);
  if (frameCount == 0) return Fail(problem, where + " has no frames");
  if (frameCount > kMaxFramesPerAnimation) {
    return Fail(problem, where + " has " + std::to_string(frameCount) + " frames, more than " +
                             std::to_string(kMaxFramesPerAnimation));
  }
  framesInAll += frameCount;
  if (framesInAll > kMaxFramesInAll) {
    return Fail(problem, "more than " + std::to_string(kMaxFramesInAll) + " frames in all");
  }

  std::vector<Animation::Frame> frames(frameCount);
  for (size_t i = 0; i < frameCount; ++i) {
    const json_t* frame = json_array_get(frameArray, i);
    const std::string frameWhere = where + ", frame " + std::to_string(i);
    if (!json_is_object(frame)) return Fail(problem, frameWhere + " is not an object");
    int64_t duration = 0;
    if (!ReadTile(frame, frameWhere, grid, true, frames[i].tile, problem) ||
        !ReadInteger(frame, "duration", 0, kMaxDurationMs, frameWhere, duration, problem)) {
      return false;
    }
    frames[i].duration = static_cast<uint32_t>(duration);
  }
  animation = MakeAnimation(tile, frames);
  return true;
}

// A file name with no folder in it, so the image is the one beside view.json.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool ReadOverview(const json_t* root, ViewFile& view, std::string& problem) {
  const json_t* member = json_object_get(root, "overview");
  if (member == nullptr) return true;
  const std::string where = Quoted("overview");
  if (!json_is_object(member)) return Fail(problem, where + " is not an object");
  const json_t* image = json_object_get(member, "image");
  if (!json_is_string(image)) return Fail(problem, where + ": " + Quoted("image") + " is not a string");
  const std::string name(json_string_value(image), json_string_length(image));
  if (name.size() > kMaxImageNameBytes) {
    return Fail(problem, where + ": the image's name is longer than " + std::to_string(kMaxImageNameBytes) +
                             " bytes");
  }
  if (!IsPlainFileName(name)) {
    return Fail(problem, where + ": image \"" + name + "\" is not a file name beside view.json");
  }
  OverviewPlace place;
  place.image = name;
  if (!ReadInteger(member, "x", INT32_MIN, INT32_MAX, where, place.x, problem) ||
      !ReadInteger(member, "y", INT32_MIN, INT32_MAX, where, place.y, problem) ||
      !ReadInteger(member, "width", 1, INT32_MAX, where, place.width, problem) ||
      !ReadInteger(member, "height", 1, INT32_MAX, where, place.height, problem)) {
    return false;
  }
  view.overview = place;
  view.hasOverview = true;
  return true;
}

bool ReadStart(const json_t* root, ViewFile& view, std::string& problem) {
  const json_t* member = json_object_get(root, "start");
  if (member == nullptr) return true;
  const std::string where = Quoted("start");
  if (!json_is_object(member)) return Fail(problem, where + " is not an object");
  int64_t x = 0, y = 0;
  if (!ReadInteger(member, "x", INT32_MIN, INT32_MAX, where, x, problem) ||
      !ReadInteger(member, "y", INT32_MIN, INT32_MAX, where, y, problem)) {
    return false;
  }
  int64_t step = 0;
  if (json_object_get(member, "zoom") != nullptr && !ReadInteger(member, "zoom", -64, 64, where, step, problem)) {
    return false;
  }
  view.start = {static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(step)};
  view.hasStart = true;
  return true;
}

bool ReadZoom(const json_t* root, ViewFile& view, std::string& problem) {
  const json_t* member = json_object_get(root, "zoom");
  if (member == nullptr) return true;
  const std::string where = Quoted("zoom");
  if (!json_is_object(member)) return Fail(problem, where + " is not an object");
  if (!ReadInteger(member, "levels", 0, kMaxZoomLevels, where, view.zoomLevels, problem)) return false;
  if (json_object_get(member, "first") == nullptr) return true;
  return ReadInteger(member, "first", 1, std::max<int64_t>(1, view.zoomLevels), where, view.zoomFirstLevel, problem);
}

}  // namespace

bool ReadAnimationList(const json_t* list, const TilesetGrid& grid, std::vector<Animation>& animations,
                       std::string& problem) {
  if (list == nullptr) return true;  // a view without animations
  if (!json_is_array(list)) return Fail(problem, Quoted("animations") + " is not an array");
  const size_t count = json_array_size(list);
  if (count > kMaxAnimations) {
    return Fail(problem, std::to_string(count) + " animations, more than " + std::to_string(kMaxAnimations));
  }

  std::unordered_map<int32_t, size_t> animated;  // tile -> the animation that has it
  size_t framesInAll = 0;
  animations.resize(count);
  for (size_t i = 0; i < count; ++i) {
    if (!ReadAnimation(json_array_get(list, i), i, grid, framesInAll, animations[i], problem)) return false;
    const auto [first, added] = animated.emplace(animations[i].tile, i);
    if (!added) {
      return Fail(problem, "animation " + std::to_string(i) + ": tile " + std::to_string(animations[i].tile) +
                               " is animated already by animation " + std::to_string(first->second));
    }
  }
  return true;
}

namespace {

bool ReadPiecesSwitch(const json_t* root, ViewFile& view) {
  view.pieces = json_is_true(json_object_get(root, "pieces"));
  return true;
}

bool ReadDocument(const json_t* root, const TilesetGrid& grid, ViewFile& view, std::string& problem) {
  if (!json_is_object(root)) return Fail(problem, "not a JSON object");
  return ReadAnimationList(json_object_get(root, "animations"), grid, view.animations, problem) && ReadOverview(root, view, problem) &&
         ReadStart(root, view, problem) && ReadZoom(root, view, problem) && ReadPiecesSwitch(root, view);
}

}  // namespace

bool ReadViewFile(const std::string& path, const TilesetGrid& grid, ViewFile& view, std::string& problem) {
  view = ViewFile();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    if (errno == ENOENT) return true;  // no view file: nothing to show beyond the map
    return Fail(problem, std::string("cannot be read: ") + std::strerror(errno));
  }
  json_error_t error;
  const JsonDocument root(json_loadf(file, 0, &error));
  std::fclose(file);
  if (root == nullptr) return Fail(problem, std::string("not valid JSON: ") + error.text);
  if (!ReadDocument(root.get(), grid, view, problem)) {
    view = ViewFile();
    return false;
  }
  return true;
}
