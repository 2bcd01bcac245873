#include "import/compose/from_folder.h"

#include <SDL.h>
#include <SDL_image.h>
#include <jansson.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "import/import_error.h"
#include "import/limits.h"

namespace importer {
namespace {

namespace fs = std::filesystem;

using Json = std::unique_ptr<json_t, decltype(&json_decref)>;

Json Load(const fs::path& path, bool optional) {
  if (optional && !fs::exists(path)) return {nullptr, json_decref};
  json_error_t error;
  Json root(json_load_file(path.u8string().c_str(), 0, &error), json_decref);
  if (root == nullptr || !json_is_object(root.get()))
    throw ImportError(Where(path.u8string(), root == nullptr ? error.line : 0) +
                      (root == nullptr ? std::string(error.text) : "not a JSON object"));
  return root;
}

// A whole number member within [low, high].
int64_t Integer(const json_t* object, const char* key, int64_t low, int64_t high, const fs::path& file) {
  const json_t* value = json_object_get(object, key);
  if (!json_is_integer(value) || json_integer_value(value) < low || json_integer_value(value) > high)
    throw ImportError(Where(file.u8string()) + "\"" + key + "\" should be a whole number from " +
                      std::to_string(low) + " to " + std::to_string(high));
  return json_integer_value(value);
}

std::vector<Block> BlocksOf(const fs::path& path) {
  SDL_Surface* loaded = IMG_Load(path.u8string().c_str());
  SDL_Surface* surface = loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0) : nullptr;
  SDL_FreeSurface(loaded);
  if (surface == nullptr) throw ImportError(Where(path.u8string()) + "can't be loaded: " + SDL_GetError());
  const int columns = std::min(surface->w / kBlock, 3);  // the viewer's tileset has three
  std::vector<Block> blocks(static_cast<size_t>(columns) * static_cast<size_t>(surface->h / kBlock));
  for (size_t i = 0; i < blocks.size(); ++i) {
    const int left = static_cast<int>(i % static_cast<size_t>(columns)) * kBlock;
    const int top = static_cast<int>(i / static_cast<size_t>(columns)) * kBlock;
    for (int y = 0; y < kBlock; ++y)
      for (int x = 0; x < kBlock; ++x) {
        const uint8_t* p = static_cast<const uint8_t*>(surface->pixels) + (top + y) * surface->pitch + (left + x) * 4;
        blocks[i][static_cast<size_t>(y * kBlock + x)] = Pixel{p[0], p[1], p[2], p[3]};
      }
  }
  SDL_FreeSurface(surface);
  return blocks;
}

}  // namespace

bool IsViewerMap(const std::string& path) {
  const fs::path file = fs::u8path(path);
  return file.filename() == "main.json" && fs::exists(file.parent_path() / "final.png");
}

Composition ReadViewerFolder(const std::string& path) {
  const fs::path file = fs::u8path(path), folder = file.parent_path();
  Composition c;
  const Json map = Load(file, false);
  c.width = static_cast<int>(Integer(map.get(), "width", 1, kMaxCells, file));
  c.height = static_cast<int>(Integer(map.get(), "height", 1, kMaxCells / c.width, file));
  c.blocks = BlocksOf(folder / "final.png");
  const int64_t blocks = static_cast<int64_t>(c.blocks.size());
  const json_t* layers = json_object_get(map.get(), "layers");
  constexpr size_t kShownLayers = 3;  // the viewer draws the first three
  for (size_t i = 0; i < std::min(json_array_size(layers), kShownLayers); ++i) {
    const json_t* data = json_object_get(json_array_get(layers, i), "data");
    std::vector<int32_t> cells(static_cast<size_t>(c.width) * c.height, 0);
    for (size_t k = 0; k < std::min(cells.size(), json_array_size(data)); ++k) {
      const json_int_t value = json_integer_value(json_array_get(data, k));
      cells[k] = value > 0 && value <= blocks ? static_cast<int32_t>(value) : 0;  // as the viewer skips them
    }
    c.layers.push_back(std::move(cells));
    const json_t* name = json_object_get(json_array_get(layers, i), "name");
    c.layerNames.push_back(json_is_string(name) ? json_string_value(name) : "layer " + std::to_string(i + 1));
  }
  c.picture = {0, 0, int64_t{c.width} * kBlock, int64_t{c.height} * kBlock};
  c.placedX = c.placedY = 0;
  const Json view = Load(folder / "view.json", true);
  if (view == nullptr) return c;
  const fs::path viewFile = folder / "view.json";
  if (const json_t* overview = json_object_get(view.get(), "overview")) {
    c.placedX = Integer(overview, "x", 0, c.picture.width - 1, viewFile);
    c.placedY = Integer(overview, "y", 0, c.picture.height - 1, viewFile);
    c.picture.width = Integer(overview, "width", 1, c.picture.width - c.placedX, viewFile);
    c.picture.height = Integer(overview, "height", 1, c.picture.height - c.placedY, viewFile);
  }
  if (const json_t* start = json_object_get(view.get(), "start")) {
    c.startX = static_cast<int32_t>(Integer(start, "x", INT32_MIN, INT32_MAX, viewFile));
    c.startY = static_cast<int32_t>(Integer(start, "y", INT32_MIN, INT32_MAX, viewFile));
  }
  const json_t* animations = json_object_get(view.get(), "animations");
  for (size_t i = 0; i < json_array_size(animations); ++i) {
    const json_t* entry = json_array_get(animations, i);
    Animation animation;
    animation.tile = static_cast<int32_t>(Integer(entry, "tile", 1, blocks, viewFile));
    const json_t* frames = json_object_get(entry, "frames");
    for (size_t k = 0; k < json_array_size(frames); ++k) {
      const json_t* frame = json_array_get(frames, k);
      animation.frames.push_back({static_cast<int32_t>(Integer(frame, "tile", 0, blocks, viewFile)),
                                  Integer(frame, "duration", 0, INT32_MAX, viewFile)});
    }
    if (!animation.frames.empty()) c.animations.push_back(std::move(animation));
  }
  return c;
}

}  // namespace importer
