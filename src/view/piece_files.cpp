#include "view/piece_files.h"

#include <SDL_image.h>
#include <jansson.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "shared/globals.h"
#include "view/json_document.h"
#include "view/png_size.h"
#include "view/view_file.h"

namespace {

constexpr int64_t kBlock = 32;
constexpr int64_t kHashDigits = 16;

bool Fail(std::string& problem, std::string what) {
  problem = std::move(what);
  return false;
}

bool ReadCount(const json_t* object, const char* member, int64_t low, int64_t high, int64_t& value) {
  const json_t* field = json_object_get(object, member);
  if (!json_is_integer(field) || json_integer_value(field) < low || json_integer_value(field) > high) return false;
  value = json_integer_value(field);
  return true;
}

// "C_R-HASH": its place, or false for any other text (a name becomes a
// path, so nothing but digits, '_', '-' and lower-case hexadecimal passes).
bool ReadPieceName(const std::string& name, int64_t& column, int64_t& row) {
  const size_t underscore = name.find('_'), dash = name.find('-');
  if (underscore == std::string::npos || dash == std::string::npos || underscore == 0 || dash < underscore + 2 ||
      name.size() != dash + 1 + kHashDigits || dash - underscore - 1 > 9 || underscore > 9)
    return false;
  const auto digits = [&](size_t from, size_t to) {
    return std::all_of(name.begin() + static_cast<ptrdiff_t>(from), name.begin() + static_cast<ptrdiff_t>(to),
                       [](char c) { return c >= '0' && c <= '9'; });
  };
  const bool hex = std::all_of(name.begin() + static_cast<ptrdiff_t>(dash + 1), name.end(),
                               [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
  if (!digits(0, underscore) || !digits(underscore + 1, dash) || !hex) return false;
  column = std::stoll(name.substr(0, underscore));
  row = std::stoll(name.substr(underscore + 1, dash - underscore - 1));
  return true;
}

bool ReadLevel(const json_t* entry, int number, PieceLevel& level, std::string& problem) {
  const std::string where = "level " + std::to_string(number);
  if (json_is_null(entry) && number > 0) return true;  // left out by the importer
  if (!json_is_object(entry)) return Fail(problem, where + " is not an object");
  if (!ReadCount(entry, "width", 0, kMaxPieceLevelCells, level.width) ||
      !ReadCount(entry, "height", 0, kMaxPieceLevelCells, level.height) ||
      !ReadCount(entry, "layers", 1, kMaxPieceLayers, level.layers) ||
      (level.height > 0 && level.width > kMaxPieceLevelCells / level.height))
    return Fail(problem, where + ": \"width\", \"height\" or \"layers\" missing or out of range");
  const json_t* names = json_object_get(entry, "pieces");
  if (!json_is_array(names) || static_cast<int64_t>(json_array_size(names)) > level.Columns() * level.Rows())
    return Fail(problem, where + ": \"pieces\" is not a list of its pieces");
  for (size_t i = 0; i < json_array_size(names); ++i) {
    const json_t* name = json_array_get(names, i);
    int64_t column = 0, row = 0;
    if (!json_is_string(name) || !ReadPieceName(json_string_value(name), column, row) ||
        column >= level.Columns() || row >= level.Rows())
      return Fail(problem, where + ": piece " + std::to_string(i) + " is not named C_R-HASH inside the level");
    level.names[{column, row}] = json_string_value(name);
  }
  level.present = true;
  return true;
}

bool ReadCells(const json_t* layers, int64_t count, int64_t cellsPerLayer, std::vector<int32_t>& cells) {
  if (!json_is_array(layers) || static_cast<int64_t>(json_array_size(layers)) != count) return false;
  cells.reserve(static_cast<size_t>(count * cellsPerLayer));
  for (size_t layer = 0; layer < json_array_size(layers); ++layer) {
    const json_t* table = json_array_get(layers, layer);
    if (!json_is_array(table) || static_cast<int64_t>(json_array_size(table)) != cellsPerLayer) return false;
    for (size_t i = 0; i < json_array_size(table); ++i) {
      const json_t* cell = json_array_get(table, i);
      if (!json_is_integer(cell) || json_integer_value(cell) < INT32_MIN || json_integer_value(cell) > INT32_MAX)
        return false;
      cells.push_back(static_cast<int32_t>(json_integer_value(cell)));
    }
  }
  return true;
}

bool ReadPicture(const std::string& path, int64_t count, PieceData& piece, std::string& problem) {
  const int64_t needWidth = std::min(count, kPieceRowBlocks) * kBlock;
  const int64_t needHeight = (count + kPieceRowBlocks - 1) / kPieceRowBlocks * kBlock;
  int64_t width = 0, height = 0;
  // Refused before it is decoded: a picture far larger than its values need.
  if (PngSize(path, width, height) && (width > kPieceRowBlocks * kBlock || height > kMaxPieceValues / kPieceRowBlocks * kBlock))
    return Fail(problem, path + ": " + std::to_string(width) + " x " + std::to_string(height) + " pixels, too large");
  piece.picture = IMG_LoadTexture(renderer, path.c_str());
  if (piece.picture == nullptr) return Fail(problem, path + ": " + IMG_GetError());
  int textureWidth = 0, textureHeight = 0;
  SDL_QueryTexture(piece.picture, nullptr, nullptr, &textureWidth, &textureHeight);
  if (textureWidth < needWidth || textureHeight < needHeight) {
    SDL_DestroyTexture(piece.picture);
    piece.picture = nullptr;
    return Fail(problem, path + ": too small for its " + std::to_string(count) + " values");
  }
  SDL_SetTextureScaleMode(piece.picture, SDL_ScaleModeNearest);  // never a neighbouring block's pixels at an edge
  return true;
}

}  // namespace

bool ReadPieceIndex(const std::string& path, std::vector<PieceLevel>& levels, std::string& problem) {
  levels.clear();
  json_error_t error;
  const JsonDocument root(json_load_file(path.c_str(), 0, &error));
  if (root == nullptr) return Fail(problem, path + ": " + error.text);
  const json_t* list = json_object_get(root.get(), "levels");
  if (!json_is_array(list) || json_array_size(list) == 0 || json_array_size(list) > kMaxPieceLevels)
    return Fail(problem, path + ": \"levels\" is not a list of 1 to " + std::to_string(kMaxPieceLevels) + " levels");
  levels.resize(json_array_size(list));
  for (size_t number = 0; number < levels.size(); ++number) {
    if (!ReadLevel(json_array_get(list, number), static_cast<int>(number), levels[number], problem)) {
      levels.clear();
      return Fail(problem, path + ": " + problem);
    }
  }
  return true;
}

bool ReadPiece(const std::string& path, const PieceLevel& level, int64_t column, int64_t row, PieceData& piece,
               std::string& problem) {
  piece = PieceData();
  piece.width = std::min(kPieceCells, level.width - column * kPieceCells);
  piece.height = std::min(kPieceCells, level.height - row * kPieceCells);
  json_error_t error;
  const JsonDocument root(json_load_file((path + ".json").c_str(), 0, &error));
  if (root == nullptr) return Fail(problem, path + ".json: " + error.text);
  if (!ReadCount(root.get(), "blocks", 0, kMaxPieceValues, piece.blocks))
    return Fail(problem, path + ".json: \"blocks\" is not a count from 0 to " + std::to_string(kMaxPieceValues));
  if (!ReadCells(json_object_get(root.get(), "layers"), level.layers, piece.width * piece.height, piece.cells))
    return Fail(problem, path + ".json: \"layers\" is not " + std::to_string(level.layers) + " tables of " +
                             std::to_string(piece.width * piece.height) + " cells");
  // The piece's blocks (and the few past them, shown as nothing).
  const TilesetGrid grid{3, (piece.blocks + 2) / 3, "the piece"};
  if (!ReadAnimationList(json_object_get(root.get(), "animations"), grid, piece.animations, problem))
    return Fail(problem, path + ".json: " + problem);
  int32_t highest = -1;
  for (const Animation& animation : piece.animations) highest = std::max(highest, animation.tile);
  piece.shown.resize(static_cast<size_t>(int64_t{highest} + 1));
  for (size_t block = 0; block < piece.shown.size(); ++block) piece.shown[block] = static_cast<int32_t>(block);
  return piece.blocks == 0 || ReadPicture(path + ".png", piece.blocks, piece, problem);
}
