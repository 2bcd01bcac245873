// libFuzzer target: the input bytes are a map file, and the same bytes are its
// view file too (each reader ignores the other's members, so one document can
// hold a map and its animations). The loader reads it into a fresh layer
// table, the view file's animations are read against it, then the map is
// drawn into a software renderer for a set of cameras (the start, negative
// and far-away ones, and one centred on each edge of the map), each at a few
// times of the animations' clock.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "shared/globals.h"
#include "fuzz_canvas.h"
#include "map/layer.h"
#include "map/map_loader.h"
#include "render/draw_map.h"
#include "view/view.h"

namespace {

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v)));
}

std::vector<std::pair<int32_t, int32_t>> Cameras(const Layer& slot) {
  std::vector<std::pair<int32_t, int32_t>> cameras{
      {kCameraStartX, kCameraStartY}, {-1000, -700}, {-5, 3}, {INT32_MAX, INT32_MIN}, {1 << 30, -(1 << 30)}};
  if (slot.width >= 0 && slot.height >= 0) {
    const int64_t mapW = int64_t{slot.width} * slot.tileWidth, mapH = int64_t{slot.height} * slot.tileHeight;
    cameras.push_back({0, Clamp32(mapH / 2)});                  // left edge
    cameras.push_back({Clamp32(mapW), Clamp32(mapH / 2)});      // right edge
    cameras.push_back({Clamp32(mapW / 2), 0});                  // top edge
    cameras.push_back({Clamp32(mapW / 2), Clamp32(mapH)});      // bottom edge
  }
  return cameras;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/tilemap-fuzz-map-" + std::to_string(getpid()) + ".json";
  static FuzzCanvas canvas;
  static std::ofstream nowhere;  // the loaders' lines go nowhere
  std::cout.rdbuf(nowhere.rdbuf());
  std::cerr.rdbuf(nowhere.rdbuf());

  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ResetLayerTable();
  LoadMap(path, layers, kMaxLayers);
  LoadView(path, GridOfLoadedTileset());
  for (const auto& [x, y] : Cameras(layers[0])) {
    cameraX = x;
    cameraY = y;
    for (uint64_t t : {uint64_t{0}, uint64_t{401}, uint64_t{1} << 40, UINT64_MAX}) {
      PickFrames(t);
      DrawMap();
    }
  }
  UseAnimations({});
  ResetLayerTable();
  return 0;
}
