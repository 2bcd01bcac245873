#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "view/animation.h"

// The blocks final.png holds: `rows` rows of `columns` (at most 3) blocks of
// the map's tile size. Value v shows block v - 1, counted 3 to a row.
struct TilesetGrid {
  int64_t columns = 0;
  int64_t rows = 0;
  const char* picture = "final.png";  // where the blocks are, as a problem names it

  bool HasBlock(int64_t value) const {
    return value >= 1 && (value - 1) % 3 < columns && (value - 1) / 3 < rows;
  }
};

// Bounds on what a view.json may ask for; past any of them the file is
// ignored. A cycle's frames are the importer's bound too.
constexpr size_t kMaxFramesPerAnimation = 4096;
constexpr size_t kMaxAnimations = 65536;      // each one is walked once a drawn frame
constexpr size_t kMaxFramesInAll = 1 << 20;   // 16 MiB of frames at most
constexpr int64_t kMaxDurationMs = INT32_MAX;  // about 24 days

// Bounds on the overview image's name (a file beside view.json).
constexpr size_t kMaxImageNameBytes = 255;

// The picture of a map-pixel rectangle that M shows, as view.json names it.
struct OverviewPlace {
  std::string image;   // a plain file name, beside view.json
  int64_t x = 0;       // the rectangle's left map pixel, 32-bit signed
  int64_t y = 0;       // its top map pixel, 32-bit signed
  int64_t width = 0;   // 1 to INT32_MAX
  int64_t height = 0;  // 1 to INT32_MAX
};

// The camera (the map pixel at the window's centre) to start at, and the
// zoom step (view/zoom.h), held to the steps the map allows.
struct ViewStart {
  int32_t x = 0;
  int32_t y = 0;
  int32_t zoom = 0;
};

// The pictures scaled down for zooming out that the importer wrote beside
// view.json: levels 1 to `levels`, level L at 1 / 2^L (view/zoom_levels.h).
constexpr int64_t kMaxZoomLevels = 16;

// All that a view file asks for.
struct ViewFile {
  std::vector<Animation> animations;
  bool hasOverview = false;
  OverviewPlace overview;
  bool hasStart = false;
  ViewStart start;
  int64_t zoomLevels = 0;     // the last level
  int64_t zoomFirstLevel = 1;  // the first
  bool pieces = false;  // the map is drawn from pieces/ (view/pieces.h)
};

// Reads the view file at `path`:
//   {"animations": [{"tile": N, "frames": [{"tile": A, "duration": MS}, ...]}, ...],
//    "overview": {"image": NAME, "x": X, "y": Y, "width": W, "height": H},
//    "start": {"x": X, "y": Y, "zoom": Z}, "zoom": {"levels": L, "first": F},
//    "pieces": true}
// N must be a value with a block in `grid`, each A too or 0 (nothing drawn),
// MS a whole number of milliseconds from 0 to kMaxDurationMs; each N is
// animated once. NAME is a file name without a folder; X and Y are 32-bit
// signed integers, W and H from 1 to INT32_MAX, Z (optional) from -64 to
// 64, L from 0 to kMaxZoomLevels, F (optional, 1 when left out) from 1 to
// L: levels F to L are there; "pieces" true: the map is drawn from its
// pieces (any other value: it isn't). Other members are ignored,
// and each of the three may be left out. On success fills `view` and returns
// true; otherwise leaves it empty, says in `problem` what is wrong and
// returns false.
bool ReadViewFile(const std::string& path, const TilesetGrid& grid, ViewFile& view, std::string& problem);

// Reads an "animations" list as view.json holds it (`list` a jansson
// value; null: none), each tile checked against `grid`, into `animations`.
struct json_t;
bool ReadAnimationList(const json_t* list, const TilesetGrid& grid, std::vector<Animation>& animations,
                       std::string& problem);
