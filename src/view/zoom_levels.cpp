#include "view/zoom_levels.h"

#include <SDL_image.h>
#include <jansson.h>

#include <algorithm>
#include <iostream>
#include <memory>

#include "shared/globals.h"
#include "view/json_document.h"
#include "view/overview.h"
#include "view/png_size.h"
#include "view/view_file.h"
#include "view/zoom.h"

std::vector<ZoomLevel> zoomLevels;
int zoomFirstLevel = 1;

namespace {

constexpr int64_t kHalfViewWidth = 640;
constexpr int64_t kHalfViewHeight = 360;
constexpr int64_t kBlock = 32;
constexpr int64_t kPageBlocks = kLevelPieceCells * kLevelPieceCells;
constexpr int64_t kPageSide = kLevelPieceCells * kBlock;  // a page's pixels, a side

JsonDocument LoadJson(const std::string& path, std::string& problem) {
  json_error_t error;
  JsonDocument document(json_load_file(path.c_str(), 0, &error));
  if (document == nullptr) problem = path + ": " + error.text;
  return document;
}

bool ReadCount(const json_t* object, const char* member, int64_t high, int64_t& value) {
  const json_t* field = json_object_get(object, member);
  if (!json_is_integer(field) || json_integer_value(field) < 0 || json_integer_value(field) > high) return false;
  value = json_integer_value(field);
  return true;
}

// The cells of the piece at (column, row) into the level's table.
bool ReadPiece(const std::string& path, int64_t column, int64_t row, ZoomLevel& level, std::string& problem) {
  const JsonDocument piece = LoadJson(path, problem);
  if (piece == nullptr) return false;
  const int64_t left = column * kLevelPieceCells, top = row * kLevelPieceCells;
  const int64_t width = std::min(kLevelPieceCells, level.width - left);
  const int64_t height = std::min(kLevelPieceCells, level.height - top);
  const json_t* data = json_object_get(piece.get(), "data");
  if (!json_is_array(data) || static_cast<int64_t>(json_array_size(data)) != width * height) {
    problem = path + ": \"data\" is not an array of " + std::to_string(width * height) + " cells";
    return false;
  }
  for (int64_t i = 0; i < width * height; ++i) {
    const json_t* cell = json_array_get(data, static_cast<size_t>(i));
    if (!json_is_integer(cell) || json_integer_value(cell) < 0 || json_integer_value(cell) > level.blocks) {
      problem = path + ": cell " + std::to_string(i) + " is not a block of the level";
      return false;
    }
    level.cells[static_cast<size_t>((top + i / width) * level.width + left + i % width)] =
        static_cast<int32_t>(json_integer_value(cell));
  }
  return true;
}

bool ReadPage(const std::string& path, int64_t blocks, ZoomLevel& level, std::string& problem) {
  int64_t fileWidth = 0, fileHeight = 0;
  if (PngSize(path, fileWidth, fileHeight) && (fileWidth > kPageSide || fileHeight > kPageSide)) {
    problem = path + ": " + std::to_string(fileWidth) + " x " + std::to_string(fileHeight) + " pixels, more than " +
              std::to_string(kPageSide) + " a side";
    return false;
  }
  SDL_Texture* page = IMG_LoadTexture(renderer, path.c_str());
  if (page == nullptr) {
    problem = path + ": " + IMG_GetError();
    return false;
  }
  level.pages.push_back(page);  // released with the level
  int width = 0, height = 0;
  SDL_QueryTexture(page, nullptr, nullptr, &width, &height);
  const int64_t columns = std::min(blocks, kLevelPieceCells), rows = (blocks + kLevelPieceCells - 1) / kLevelPieceCells;
  if (width < columns * kBlock || height < rows * kBlock) {
    problem = path + ": " + std::to_string(width) + " x " + std::to_string(height) + " pixels, too small for its " +
              std::to_string(blocks) + " blocks";
    return false;
  }
  SDL_SetTextureScaleMode(page, SDL_ScaleModeNearest);  // never a neighbouring block's pixels at a block's edge
  return true;
}

bool ReadLevel(const std::string& folder, ZoomLevel& level, std::string& problem) {
  const JsonDocument about = LoadJson(folder + "level.json", problem);
  if (about == nullptr) return false;
  if (!ReadCount(about.get(), "width", kMaxLevelCells, level.width) ||
      !ReadCount(about.get(), "height", kMaxLevelCells, level.height) ||
      !ReadCount(about.get(), "blocks", kMaxLevelBlocks, level.blocks) ||
      (level.height > 0 && level.width > kMaxLevelCells / level.height)) {
    problem = folder + "level.json: \"width\", \"height\" or \"blocks\" missing or out of range";
    return false;
  }
  // Every value up to "blocks" (and the few past it, skipped when drawn).
  const TilesetGrid grid{3, (level.blocks + 2) / 3, "the level"};
  if (!ReadAnimationList(json_object_get(about.get(), "animations"), grid, level.animations, problem)) {
    problem = folder + "level.json: " + problem;
    return false;
  }
  int32_t highest = -1;
  for (const Animation& animation : level.animations) highest = std::max(highest, animation.tile);
  level.shown.resize(static_cast<size_t>(int64_t{highest} + 1));
  for (size_t value = 0; value < level.shown.size(); ++value) level.shown[value] = static_cast<int32_t>(value);

  for (int64_t first = 0, page = 0; first < level.blocks; first += kPageBlocks, ++page) {
    if (!ReadPage(folder + "blocks-" + std::to_string(page) + ".png", std::min(kPageBlocks, level.blocks - first),
                  level, problem)) {
      return false;
    }
  }
  level.cells.assign(static_cast<size_t>(level.width * level.height), 0);
  for (int64_t row = 0; row * kLevelPieceCells < level.height; ++row)
    for (int64_t column = 0; column * kLevelPieceCells < level.width; ++column)
      if (!ReadPiece(folder + std::to_string(column) + "_" + std::to_string(row) + ".json", column, row, level,
                     problem)) {
        return false;
      }
  return true;
}

void Release(ZoomLevel& level) {
  for (SDL_Texture* page : level.pages) SDL_DestroyTexture(page);
  level.pages.clear();
}

void DrawCell(const ZoomLevel& level, int32_t value, int64_t mapLeft, int64_t mapTop, int64_t mapSide,
              const ViewAxis& across, const ViewAxis& down) {
  if (value <= 0 || value > level.blocks) return;
  const int64_t index = value - 1, page = index / kPageBlocks, inPage = index % kPageBlocks;
  if (page >= static_cast<int64_t>(level.pages.size())) return;
  const SDL_Rect source{static_cast<int>(inPage % kLevelPieceCells * kBlock),
                        static_cast<int>(inPage / kLevelPieceCells * kBlock), kBlock, kBlock};
  const int64_t left = across.Edge(mapLeft), top = down.Edge(mapTop);
  const SDL_Rect destination{static_cast<int>(left), static_cast<int>(top),
                             static_cast<int>(across.Edge(mapLeft + mapSide) - left),
                             static_cast<int>(down.Edge(mapTop + mapSide) - top)};
  if (destination.w <= 0 || destination.h <= 0) return;
  SDL_RenderCopy(renderer, level.pages[static_cast<size_t>(page)], &source, &destination);
}

}  // namespace

void DrawOverviewZoomed() {
  if (overviewTexture == nullptr) return;
  const ViewAxis across(cameraX, zoom.subX, kHalfViewWidth), down(cameraY, zoom.subY, kHalfViewHeight);
  const int64_t left = across.Edge(overviewPlace.x), top = down.Edge(overviewPlace.y);
  const int64_t right = across.Edge(overviewPlace.x + overviewPlace.width);
  const int64_t bottom = down.Edge(overviewPlace.y + overviewPlace.height);
  const auto held = [](int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, -(1 << 24), 1 << 24)); };
  const SDL_Rect destination{held(left), held(top), held(right - left), held(bottom - top)};
  SDL_ScaleMode mode = SDL_ScaleModeNearest;
  SDL_GetTextureScaleMode(overviewTexture, &mode);
  SDL_SetTextureScaleMode(overviewTexture, SDL_ScaleModeLinear);
  SDL_RenderCopy(renderer, overviewTexture, nullptr, &destination);
  SDL_SetTextureScaleMode(overviewTexture, mode);  // M shows it as it always has
}

void LoadZoomLevels(const std::string& folder, int64_t first, int64_t last) {
  ReleaseZoomLevels();
  zoomFirstLevel = static_cast<int>(std::clamp<int64_t>(first, 1, kMaxZoomLevels));
  for (int64_t number = zoomFirstLevel; number <= last; ++number) {
    ZoomLevel level;
    std::string problem;
    if (!ReadLevel(folder + "zoom/" + std::to_string(number) + "/", level, problem)) {
      Release(level);
      std::cerr << "zoom level " << number << " left out: " << problem << std::endl;
      return;
    }
    zoomLevels.push_back(std::move(level));
  }
}

void ReleaseZoomLevels() {
  for (ZoomLevel& level : zoomLevels) Release(level);
  zoomLevels.clear();
}

void PickZoomFrames(uint64_t t) {
  for (ZoomLevel& level : zoomLevels)
    for (const Animation& animation : level.animations)
      level.shown[static_cast<size_t>(animation.tile)] = animation.frameTiles[FrameAt(animation, t)];
}

int NearestLevel(int step, int first, int last, bool hasOverview) {
  if (step >= 0) return 0;
  const int nearest = (2 - step) / 4;  // steps -1 from level 0; -2 to -5 from 1; ...
  if (nearest == 0 || last <= 0) return nearest == 0 || !hasOverview ? 0 : kOverviewLevel;
  if (nearest <= last) return std::max(nearest, first);
  return hasOverview ? kOverviewLevel : last;
}

int LevelForStep(int step) {
  const int last = zoomLevels.empty() ? 0 : zoomFirstLevel + static_cast<int>(zoomLevels.size()) - 1;
  return NearestLevel(step, zoomFirstLevel, last, overviewTexture != nullptr);
}

void DrawZoomLevel() {
  const int number = LevelForStep(zoom.step);
  if (number == kOverviewLevel) {
    DrawOverviewZoomed();
    return;
  }
  const int64_t index = int64_t{number} - zoomFirstLevel;
  if (number <= 0 || index < 0 || index >= static_cast<int64_t>(zoomLevels.size())) return;
  const ZoomLevel& level = zoomLevels[static_cast<size_t>(index)];
  const ViewAxis across(cameraX, zoom.subX, kHalfViewWidth), down(cameraY, zoom.subY, kHalfViewHeight);
  const int64_t side = kBlock << number;  // a level cell's map pixels
  const int64_t firstColumn = std::max<int64_t>(0, FloorDiv(across.first, side));
  const int64_t endColumn = std::min(level.width, FloorDiv(across.end - 1, side) + 1);
  const int64_t firstRow = std::max<int64_t>(0, FloorDiv(down.first, side));
  const int64_t endRow = std::min(level.height, FloorDiv(down.end - 1, side) + 1);
  for (int64_t row = firstRow; row < endRow; ++row)
    for (int64_t column = firstColumn; column < endColumn; ++column) {
      int32_t value = level.cells[static_cast<size_t>(row * level.width + column)];
      if (static_cast<size_t>(value) < level.shown.size()) value = level.shown[static_cast<size_t>(value)];
      DrawCell(level, value, column * side, row * side, side, across, down);
    }
}
