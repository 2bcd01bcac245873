#pragma once
// A generated world of 32,768 x 32,768 pixels as the importer writes it,
// zoom levels and all: 1024 x 1024 cells in three layers, made the way
// game maps are (ground in patches, details scattered on a pattern, water
// that animates), so that its levels repeat as a real map's do.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include "import/compose/composer.h"
#include "import/write/writer.h"

inline std::string BenchZoomWorldFolder() {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / "tilemap-bench" / "zoom-world";
  if (fs::exists(folder / "view.json")) return folder.string() + "/";
  fs::create_directories(folder.parent_path());

  constexpr int kCells = 1024;
  importer::Composition world;
  world.width = world.height = kCells;
  world.picture = {0, 0, int64_t{kCells} * 32, int64_t{kCells} * 32};
  world.layerNames = {"ground", "details", "water"};
  // Blocks 1-4 ground, 5-8 details (a quarter of each opaque), 9-10 water's frames.
  for (int b = 0; b < 10; ++b) {
    importer::Block block{};
    for (int i = 0; i < 32 * 32; ++i) {
      const uint8_t shade = static_cast<uint8_t>(40 + 20 * b + (i * 7 + b * 13) % 23);
      const bool drawn = b < 4 || b >= 8 || (i / 32 % 8 < 4 && i % 8 < 4);
      block[static_cast<size_t>(i)] = {shade, static_cast<uint8_t>(255 - shade), static_cast<uint8_t>(b * 25),
                                       static_cast<uint8_t>(drawn ? 255 : 0)};
    }
    world.blocks.push_back(block);
  }
  world.layers.assign(3, std::vector<int32_t>(size_t{kCells} * kCells, 0));
  for (int y = 0; y < kCells; ++y)
    for (int x = 0; x < kCells; ++x) {
      const size_t i = size_t{static_cast<size_t>(y)} * kCells + static_cast<size_t>(x);
      world.layers[0][i] = 1 + (x / 24 + y / 16) % 4;
      if ((x * 7 + y * 3) % 11 == 0) world.layers[1][i] = 5 + (x / 3 + y) % 4;
      if ((x / 64 + y / 64) % 9 == 4) world.layers[2][i] = 9;
    }
  world.animations.push_back({9, {{9, 500}, {10, 500}}});
  world.startX = world.startY = kCells * 16;
  importer::WriteOutput(world, folder.string());
  return folder.string() + "/";
}
