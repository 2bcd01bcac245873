#include "view/pieces.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <set>
#include <tuple>

#include "shared/globals.h"
#include "view/overview.h"
#include "view/piece_host.h"
#include "view/zoom.h"
#include "view/zoom_levels.h"

bool piecesOn = false;
std::vector<PieceLevel> pieceLevels;

namespace {

constexpr int64_t kHalfViewWidth = 640;
constexpr int64_t kHalfViewHeight = 360;
constexpr int64_t kBlock = 32;
// Pictures held beyond those wanted now, in bytes decoded: the dropped ones
// are the longest unused.
constexpr int64_t kHeldBytes = int64_t{160} << 20;
constexpr size_t kMostWanted = 64;
// Taking pieces stops for the frame once this long has gone on it (after
// one at least), so that a frame is never held up by many arriving at once.
constexpr Uint32 kTakingMsAFrame = 12;

struct PieceKey {
  int level;
  int64_t column, row;
  bool operator<(const PieceKey& other) const {
    return std::tie(level, column, row) < std::tie(other.level, other.column, other.row);
  }
};

struct HeldPiece {
  PieceData data;
  uint64_t lastUsed = 0;
};

std::string folder;
std::map<PieceKey, HeldPiece> held;
std::set<PieceKey> broken;  // read and found wanting: not asked for again
std::string wantedText;
int reportedShown = -1, reportedInView = -1;
uint64_t frameNumber = 0;
int32_t lastCameraX = 0, lastCameraY = 0;
uint64_t pickedMs = 0;  // the time the frames were last picked at
bool overviewComing = false;
std::string overviewPath;
OverviewPlace overviewComingPlace;

void PickFramesOf(PieceData& piece, uint64_t t) {
  for (const Animation& animation : piece.animations)
    piece.shown[static_cast<size_t>(animation.tile)] = animation.frameTiles[FrameAt(animation, t)];
}

int64_t PieceSide(int level) { return kPieceCells * kBlock << level; }  // in map pixels

std::string PathOf(const PieceKey& key) {
  return "pieces/" + std::to_string(key.level) + "/" +
         pieceLevels[static_cast<size_t>(key.level)].names.at({key.column, key.row});
}

bool HasName(const PieceKey& key) {
  const PieceLevel& level = pieceLevels[static_cast<size_t>(key.level)];
  return level.present && level.names.count({key.column, key.row}) != 0;
}

void Drop(std::map<PieceKey, HeldPiece>::iterator piece) {
  if (piece->second.data.picture != nullptr) SDL_DestroyTexture(piece->second.data.picture);
  held.erase(piece);
}

// The pieces of `level` that the view shows, `margin` more around it,
// nearest `towardsX`, `towardsY` first.
std::vector<PieceKey> PiecesAround(int level, int64_t margin, int64_t towardsX, int64_t towardsY) {
  const PieceLevel& at = pieceLevels[static_cast<size_t>(level)];
  const ViewAxis across(cameraX, zoom.subX, kHalfViewWidth), down(cameraY, zoom.subY, kHalfViewHeight);
  const int64_t side = PieceSide(level);
  const int64_t firstColumn = std::max<int64_t>(0, FloorDiv(across.first, side) - margin);
  const int64_t endColumn = std::min(at.Columns(), FloorDiv(across.end - 1, side) + 1 + margin);
  const int64_t firstRow = std::max<int64_t>(0, FloorDiv(down.first, side) - margin);
  const int64_t endRow = std::min(at.Rows(), FloorDiv(down.end - 1, side) + 1 + margin);
  std::vector<PieceKey> pieces;
  for (int64_t row = firstRow; row < endRow; ++row)
    for (int64_t column = firstColumn; column < endColumn; ++column)
      if (HasName({level, column, row})) pieces.push_back({level, column, row});
  const auto distance = [&](const PieceKey& key) {
    const double dx = static_cast<double>(key.column * side + side / 2 - towardsX);
    const double dy = static_cast<double>(key.row * side + side / 2 - towardsY);
    return dx * dx + dy * dy;
  };
  std::stable_sort(pieces.begin(), pieces.end(),
                   [&](const PieceKey& a, const PieceKey& b) { return distance(a) < distance(b); });
  return pieces;
}

int CoarserLevel(int level) {
  for (size_t next = static_cast<size_t>(level) + 1; next < pieceLevels.size(); ++next)
    if (pieceLevels[next].present) return static_cast<int>(next);
  return -1;
}

// What the view needs, most first: its pieces, nearest the middle first;
// the ring around them, those ahead of the motion first; the next coarser
// level's, which stand in for what hasn't arrived and serve a zoom out.
std::vector<PieceKey> WantedPieces(int level) {
  std::vector<PieceKey> wanted = PiecesAround(level, 0, cameraX, cameraY);
  const auto ahead = [](int32_t now, int32_t before, int64_t side) {
    return int64_t{now} + (now > before ? side : now < before ? -side : 0);
  };
  const int64_t side = PieceSide(level);
  for (const PieceKey& key : PiecesAround(level, 1, ahead(cameraX, lastCameraX, side), ahead(cameraY, lastCameraY, side)))
    if (std::find_if(wanted.begin(), wanted.end(), [&](const PieceKey& k) { return !(k < key) && !(key < k); }) ==
        wanted.end())
      wanted.push_back(key);
  const int coarser = CoarserLevel(level);
  if (coarser >= 0)
    for (const PieceKey& key : PiecesAround(coarser, 0, cameraX, cameraY)) wanted.push_back(key);
  wanted.erase(std::remove_if(wanted.begin(), wanted.end(), [](const PieceKey& key) { return broken.count(key); }),
               wanted.end());
  if (wanted.size() > kMostWanted) wanted.resize(kMostWanted);
  return wanted;
}

bool FileIsThere(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}

// Reads the wanted pieces that are there and not held yet, most wanted first,
// for as long as a frame allows.
void TakeArrived(const std::vector<PieceKey>& wanted) {
  const Uint32 start = SDL_GetTicks();
  bool tookOne = false;
  for (const PieceKey& key : wanted) {
    if (held.count(key) != 0) continue;
    if (tookOne && SDL_GetTicks() - start >= kTakingMsAFrame) return;
    const std::string path = folder + PathOf(key);
    if (!FileIsThere(path + ".json")) {
      if (PiecesArriveFromHost()) continue;  // still on its way
      std::cerr << path << ".json: missing; the picture there stays coarser" << std::endl;
      broken.insert(key);
      continue;
    }
    HeldPiece piece;
    std::string problem;
    if (ReadPiece(path, pieceLevels[static_cast<size_t>(key.level)], key.column, key.row, piece.data, problem)) {
      PickFramesOf(piece.data, pickedMs);  // shown at the frame's time from the first
      held.emplace(key, std::move(piece));
    } else {
      std::cerr << problem << "; the picture there stays coarser" << std::endl;
      broken.insert(key);
    }
    if (PiecesArriveFromHost()) {  // the page's copies, read now
      std::remove((path + ".json").c_str());
      std::remove((path + ".png").c_str());
    }
    tookOne = true;
  }
}

int64_t PictureBytes(const PieceData& piece) {
  int width = 0, height = 0;
  if (piece.picture != nullptr) SDL_QueryTexture(piece.picture, nullptr, nullptr, &width, &height);
  return int64_t{width} * height * 4;
}

// Drops the longest unused pieces not wanted now while the pictures held
// come to more than kHeldBytes.
void DropUnused(const std::vector<PieceKey>& wanted) {
  const std::set<PieceKey> keep(wanted.begin(), wanted.end());
  int64_t bytes = 0;
  std::vector<std::pair<uint64_t, PieceKey>> droppable;
  for (const auto& [key, piece] : held) {
    bytes += PictureBytes(piece.data);
    if (keep.count(key) == 0) droppable.push_back({piece.lastUsed, key});
  }
  std::sort(droppable.begin(), droppable.end(),
            [](const auto& a, const auto& b) { return a.first < b.first || (a.first == b.first && a.second < b.second); });
  for (const auto& [used, key] : droppable) {
    if (bytes <= kHeldBytes) break;
    const auto piece = held.find(key);
    bytes -= PictureBytes(piece->second.data);
    Drop(piece);
  }
}

void TellHost(const std::vector<PieceKey>& wanted) {
  std::string text;
  for (const PieceKey& key : wanted)
    if (held.count(key) == 0) text += (text.empty() ? "" : "\n") + PathOf(key);
  if (text == wantedText) return;
  wantedText = text;
  WantPieces(text);
}

// Copies block `block` of `picture` to the window rectangle of the map
// pixels [mapLeft, + 32 << level) x [mapTop, + 32 << level). The map's own
// cells (level 0) are cut to the map pixels in view, as the whole map's
// zoomed drawing cuts them, so that each pixel lands where it does there.
void CopyBlock(SDL_Texture* picture, int64_t block, int64_t mapLeft, int64_t mapTop, int level,
               const ViewAxis& across, const ViewAxis& down) {
  const int64_t side = kBlock << level;
  int64_t left = mapLeft, right = mapLeft + side, top = mapTop, bottom = mapTop + side;
  if (level == 0) {
    left = std::max(left, across.first), right = std::min(right, across.end);
    top = std::max(top, down.first), bottom = std::min(bottom, down.end);
    if (right <= left || bottom <= top) return;
  }
  const SDL_Rect source{static_cast<int>(block % kPieceRowBlocks * kBlock + ((left - mapLeft) >> level)),
                        static_cast<int>(block / kPieceRowBlocks * kBlock + ((top - mapTop) >> level)),
                        static_cast<int>((right - left) >> level), static_cast<int>((bottom - top) >> level)};
  const int64_t windowLeft = across.Edge(left), windowTop = down.Edge(top);
  const SDL_Rect destination{static_cast<int>(windowLeft), static_cast<int>(windowTop),
                             static_cast<int>(across.Edge(right) - windowLeft),
                             static_cast<int>(down.Edge(bottom) - windowTop)};
  if (destination.w > 0 && destination.h > 0) SDL_RenderCopy(renderer, picture, &source, &destination);
}

// Draws the cells of `piece` (at `key`) that the view shows, each layer
// over the one before, and marks it used.
void DrawPiece(const PieceKey& key, HeldPiece& piece) {
  piece.lastUsed = frameNumber;
  const PieceLevel& level = pieceLevels[static_cast<size_t>(key.level)];
  const PieceData& data = piece.data;
  const ViewAxis across(cameraX, zoom.subX, kHalfViewWidth), down(cameraY, zoom.subY, kHalfViewHeight);
  const int64_t side = kBlock << key.level;  // a cell's map pixels
  const int64_t left = key.column * kPieceCells, top = key.row * kPieceCells;  // in cells
  const int64_t firstX = std::max<int64_t>(0, FloorDiv(across.first, side) - left);
  const int64_t endX = std::min(data.width, FloorDiv(across.end - 1, side) + 1 - left);
  const int64_t firstY = std::max<int64_t>(0, FloorDiv(down.first, side) - top);
  const int64_t endY = std::min(data.height, FloorDiv(down.end - 1, side) + 1 - top);
  for (int64_t layer = 0; layer < level.layers; ++layer)
    for (int64_t y = firstY; y < endY; ++y)
      for (int64_t x = firstX; x < endX; ++x) {
        int32_t block = data.cells[static_cast<size_t>((layer * data.height + y) * data.width + x)];
        if (static_cast<size_t>(block) < data.shown.size()) block = data.shown[static_cast<size_t>(block)];
        if (block <= 0 || block > data.blocks) continue;
        CopyBlock(data.picture, block - 1, (left + x) * side, (top + y) * side, key.level, across, down);
      }
}

// The window rectangle of `key`'s map pixels, held to the window.
SDL_Rect WindowRectOf(const PieceKey& key) {
  const ViewAxis across(cameraX, zoom.subX, kHalfViewWidth), down(cameraY, zoom.subY, kHalfViewHeight);
  const int64_t side = PieceSide(key.level);
  const int64_t left = std::max<int64_t>(0, across.Edge(key.column * side));
  const int64_t right = std::min<int64_t>(2 * kHalfViewWidth, across.Edge((key.column + 1) * side));
  const int64_t top = std::max<int64_t>(0, down.Edge(key.row * side));
  const int64_t bottom = std::min<int64_t>(2 * kHalfViewHeight, down.Edge((key.row + 1) * side));
  return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(std::max<int64_t>(0, right - left)),
          static_cast<int>(std::max<int64_t>(0, bottom - top))};
}

// In place of `missing`, the coarser level's piece over it that is held,
// or the overview; nothing where a coarser level has no piece (nothing is
// drawn there at any level).
void DrawStandIn(const PieceKey& missing) {
  const SDL_Rect clip = WindowRectOf(missing);
  if (clip.w <= 0 || clip.h <= 0) return;
  SDL_RenderSetClipRect(renderer, &clip);
  bool drawn = false;
  for (int level = CoarserLevel(missing.level); level >= 0 && !drawn; level = CoarserLevel(level)) {
    const int shift = level - missing.level;
    const PieceKey over{level, missing.column >> shift, missing.row >> shift};
    if (!HasName(over)) {
      drawn = true;  // empty there
    } else if (const auto piece = held.find(over); piece != held.end()) {
      DrawPiece(over, piece->second);
      drawn = true;
    }
  }
  if (!drawn) DrawOverviewZoomed();
  SDL_RenderSetClipRect(renderer, nullptr);
}

void Report(int shown, int inView) {
  if (shown == reportedShown && inView == reportedInView) return;
  reportedShown = shown;
  reportedInView = inView;
  ReportPieces(shown, inView);
}

}  // namespace

void LoadPieces(const std::string& mapFolder) {
  ReleasePieces();
  std::string problem;
  if (!ReadPieceIndex(mapFolder + "pieces/index.json", pieceLevels, problem)) {
    std::cerr << problem << "; the map is drawn from its own files" << std::endl;
    return;
  }
  folder = mapFolder;
  piecesOn = true;
}

void AwaitOverview(const std::string& path, const OverviewPlace& place) {
  overviewComing = true;
  overviewPath = path;
  overviewComingPlace = place;
}

bool OverviewComing() { return overviewComing; }

void ReleasePieces() {
  overviewComing = false;
  while (!held.empty()) Drop(held.begin());
  broken.clear();
  pieceLevels.clear();
  piecesOn = false;
  wantedText.clear();
  reportedShown = reportedInView = -1;
}

void PickPieceFrames(uint64_t t) {
  pickedMs = t;
  for (auto& [key, piece] : held) PickFramesOf(piece.data, t);
}

int FirstPieceLevel() {
  const int first = CoarserLevel(0);
  return first < 0 ? 0 : first;
}

int LastPieceLevel() {
  for (size_t level = pieceLevels.size(); level-- > 1;)
    if (pieceLevels[level].present) return static_cast<int>(level);
  return 0;
}

void DrawPieces() {
  ++frameNumber;
  if (overviewComing && FileIsThere(overviewPath)) {
    overviewComing = false;
    LoadOverview(overviewPath, overviewComingPlace);
  }
  const int level = NearestLevel(zoom.step, FirstPieceLevel(), LastPieceLevel(), overviewTexture != nullptr);
  if (level == kOverviewLevel || pieceLevels.empty()) {
    DrawOverviewZoomed();
    TellHost({});
    Report(0, 0);
    return;
  }
  const std::vector<PieceKey> wanted = WantedPieces(level);
  TakeArrived(wanted);
  DropUnused(wanted);
  TellHost(wanted);
  lastCameraX = cameraX;
  lastCameraY = cameraY;

  // Stand-ins first, then the pieces over them.
  const std::vector<PieceKey> inView = PiecesAround(level, 0, cameraX, cameraY);
  int shown = 0;
  for (const PieceKey& key : inView)
    if (held.count(key) == 0) DrawStandIn(key);
  for (const PieceKey& key : inView)
    if (const auto piece = held.find(key); piece != held.end()) {
      DrawPiece(key, piece->second);
      ++shown;
    }
  // The coarser level's pieces held for the view stay fresh too.
  if (const int coarser = CoarserLevel(level); coarser >= 0)
    for (const PieceKey& key : PiecesAround(coarser, 0, cameraX, cameraY))
      if (const auto piece = held.find(key); piece != held.end()) piece->second.lastUsed = frameNumber;
  Report(shown, static_cast<int>(inView.size()));
}

size_t HeldPieceCount() { return held.size(); }

const std::string& WantedPiecesText() { return wantedText; }
