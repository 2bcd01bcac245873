#include "view/view.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <utility>

#include "map/layer.h"
#include "shared/globals.h"
#include "view/navigation.h"
#include "view/overview.h"
#include "view/piece_host.h"
#include "view/pieces.h"
#include "view/zoom.h"
#include "view/zoom_levels.h"

uint64_t viewClockMs = 0;
std::vector<Animation> animations;
std::vector<int32_t> shownValues;

namespace {

constexpr int64_t kTilesetColumns = 3;

int64_t TextureHeight(SDL_Texture* texture) {
  int height = 0;
  return SDL_QueryTexture(texture, nullptr, nullptr, nullptr, &height) == 0 ? height : 0;
}

// The folder of the file at `path`, ending in its separator ("" for none).
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool FileExists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}

}  // namespace

TilesetGrid GridOfLoadedTileset() {
  // Every filled slot carries the map's tile size.
  const Layer* filled = nullptr;
  for (unsigned slot = 0; slot < std::min<unsigned>(layerCount, kMaxLayers) && filled == nullptr; ++slot) {
    if (layers[slot].tiles != nullptr && layers[slot].tileWidth > 0 && layers[slot].tileHeight > 0) {
      filled = &layers[slot];
    }
  }
  int width = 0;
  if (filled == nullptr || tileset == nullptr || SDL_QueryTexture(tileset, nullptr, nullptr, &width, nullptr) != 0) {
    return {};
  }
  int64_t height = TextureHeight(tileset);  // the top band, or the whole image
  for (SDL_Texture* band : tilesetBands) height += TextureHeight(band);
  return {std::min<int64_t>(kTilesetColumns, width / filled->tileWidth), height / filled->tileHeight};
}

void LoadView(const std::string& path, const TilesetGrid& grid) {
  ViewFile view;
  std::string problem;
  if (!ReadViewFile(path, grid, view, problem)) {
    std::cerr << path << ": ignored: " << problem << std::endl;
  }
  UseAnimations(std::move(view.animations));

  // Finding the way: the start, the overview, M and the mouse
  ReleaseOverview();
  ResetNavigation();
  navigationOn = view.hasStart || view.hasOverview;
  if (view.hasStart) {
    cameraX = view.start.x;
    cameraY = view.start.y;
  }
  // The map's pieces, when it has them, serve every zoom; else zooming out
  // draws the levels' files and the overview, down to where the picture fits.
  ReleasePieces();
  ReleaseZoomLevels();
  if (view.pieces) LoadPieces(FolderOf(path));
  if (view.hasOverview) {
    const std::string image = FolderOf(path) + view.overview.image;
    // A web page sends a map in pieces' overview after the view's first pieces.
    if (piecesOn && PiecesArriveFromHost() && !FileExists(image)) {
      AwaitOverview(image, view.overview);
    } else {
      LoadOverview(image, view.overview);
    }
  }
  if (!piecesOn) LoadZoomLevels(FolderOf(path), view.zoomFirstLevel, view.zoomLevels);
  zoomPicture = {};
  minZoomStep = 0;
  if (overviewTexture != nullptr || OverviewComing()) {
    zoomPicture = {view.overview.x, view.overview.y, view.overview.width, view.overview.height};
  } else if (piecesOn) {
    zoomPicture = {0, 0, pieceLevels[0].width * 32, pieceLevels[0].height * 32};
  } else if (!zoomLevels.empty()) {
    zoomPicture = {0, 0, zoomLevels[0].width * (int64_t{32} << zoomFirstLevel),
                   zoomLevels[0].height * (int64_t{32} << zoomFirstLevel)};
  }
  if (zoomPicture.width > 0) minZoomStep = FittingStep(zoomPicture);
  if (view.hasStart) ZoomAt(view.start.zoom, 1280, 720);  // about the start, held to the steps there are
}

void UseAnimations(std::vector<Animation> list) {
  // Only animations that can be played: a value of 0 or more, a frame at least.
  list.erase(std::remove_if(list.begin(), list.end(),
                            [](const Animation& a) { return a.tile < 0 || a.frameTiles.empty(); }),
             list.end());
  animations = std::move(list);
  int32_t highest = -1;
  for (const Animation& animation : animations) highest = std::max(highest, animation.tile);
  // Animated values have blocks in the tileset, so the table is no longer
  // than the tileset has blocks.
  shownValues.resize(static_cast<size_t>(int64_t{highest} + 1));
  for (size_t value = 0; value < shownValues.size(); ++value) shownValues[value] = static_cast<int32_t>(value);
}

void PickFrames(uint64_t t) {
  for (const Animation& animation : animations) {
    shownValues[static_cast<size_t>(animation.tile)] = animation.frameTiles[FrameAt(animation, t)];
  }
  PickZoomFrames(t);
  PickPieceFrames(t);
}
