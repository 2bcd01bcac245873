#pragma once

#include <SDL.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "view/animation.h"

// A map held as pieces (docs/site-pieces.md), read from its files: the
// index, pieces/index.json, names each level's pieces, and each piece,
// pieces/L/C_R-HASH.json and .png, holds the 32 × 32 cells of its place
// and the pictures of the values they show. Level 0 is the map itself;
// level L the picture at 1 / 2^L.

constexpr int64_t kPieceCells = 32;        // a piece's side, in cells
constexpr int64_t kPieceRowBlocks = 64;    // blocks in a row of a piece's picture
constexpr int64_t kMaxPieceValues = 8192;  // so a picture is at most 2048 × 4096
constexpr int64_t kMaxPieceLayers = 3;
constexpr int kMaxPieceLevels = 17;  // 0 and the 16 zoom levels the viewer reads
// Past these a level is refused: 2^26 cells, and a piece name per place at most.
constexpr int64_t kMaxPieceLevelCells = int64_t{1} << 26;

struct PieceLevel {
  bool present = false;  // false: the importer left the level out
  int64_t width = 0, height = 0;  // in cells of 32 × 32
  int64_t layers = 0;
  std::map<std::pair<int64_t, int64_t>, std::string> names;  // (column, row) -> "C_R-HASH"

  int64_t Columns() const { return (width + kPieceCells - 1) / kPieceCells; }
  int64_t Rows() const { return (height + kPieceCells - 1) / kPieceCells; }
};

// Reads the index at `path`. On failure says why in `problem`.
bool ReadPieceIndex(const std::string& path, std::vector<PieceLevel>& levels, std::string& problem);

// One piece's cells, its animations and picture, its blocks numbered by
// the piece alone.
struct PieceData {
  int64_t width = 0, height = 0;  // cells: 32, fewer at the level's right and bottom edges
  int64_t blocks = 0;             // in the picture, 64 a row
  std::vector<int32_t> cells;     // `layers` tables of width × height, row after row; 0 nothing, i block i - 1
  std::vector<Animation> animations;
  std::vector<int32_t> shown;  // block i shows shown[i] now, when i is below its size
  SDL_Texture* picture = nullptr;
};

// Reads piece (column, row) of `level` from `path` + ".json" and ".png"
// into `piece`, its picture a texture of the renderer's. On failure says
// why in `problem` and holds no texture.
bool ReadPiece(const std::string& path, const PieceLevel& level, int64_t column, int64_t row, PieceData& piece,
               std::string& problem);
