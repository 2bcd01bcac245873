#pragma once

#include <SDL.h>
#include <SDL_image.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

// Writes a deterministic benchmark map: `size` x `size` cells, three layers,
// 32 x 32 tiles, nine cells in ten non-zero. Returns its path, in a
// temporary folder that is reused across calls.
inline std::string BenchMapPath(int size) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tilemap-bench";
  std::filesystem::create_directories(folder);
  const std::string path = (folder / ("map-" + std::to_string(size) + ".json")).string();
  if (std::filesystem::exists(path)) return path;

  const std::string partial = path + ".part";
  FILE* file = std::fopen(partial.c_str(), "w");
  if (file == nullptr) return path;
  std::fprintf(file, "{\"tilewidth\": 32, \"tileheight\": 32, \"width\": %d, \"height\": %d, \"layers\": [",
               size, size);
  uint32_t state = 12345u + static_cast<uint32_t>(size);
  for (int layer = 0; layer < 3; ++layer) {
    std::fprintf(file, "%s{\"name\": \"layer %d\", \"data\": [", layer ? ", " : "", layer);
    for (int64_t i = 0; i < int64_t{size} * size; ++i) {
      state = state * 1664525u + 1013904223u;
      const uint32_t roll = state >> 16;
      const int value = roll % 10 == 0 ? 0 : 1 + static_cast<int>(roll % 18);
      std::fprintf(file, i ? ",%d" : "%d", value);
    }
    std::fputs("]}", file);
  }
  std::fputs("]}\n", file);
  std::fclose(file);
  std::filesystem::rename(partial, path);
  return path;
}

// Writes a deterministic tileset of `blocks` 32 x 32 blocks in 3 columns, as
// the importer writes them: RGBA, every block unlike the others (noise, the
// hardest to compress). Returns its path, reused across calls.
inline std::string BenchTilesetPath(int blocks) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tilemap-bench";
  std::filesystem::create_directories(folder);
  const std::string path = (folder / ("tileset-" + std::to_string(blocks) + ".png")).string();
  if (std::filesystem::exists(path)) return path;

  SDL_Surface* image =
      SDL_CreateRGBSurfaceWithFormat(0, 96, (blocks + 2) / 3 * 32, 32, SDL_PIXELFORMAT_ARGB8888);
  if (image == nullptr) return path;
  uint32_t state = 20000u + static_cast<uint32_t>(blocks);
  for (int y = 0; y < image->h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(image->pixels) + int64_t{y} * image->pitch);
    for (int x = 0; x < image->w; ++x) {
      state = state * 1664525u + 1013904223u;
      row[x] = 0xFF000000u | (state >> 8);
    }
  }
  const std::string partial = path + ".part.png";
  IMG_SavePNG(image, partial.c_str());
  SDL_FreeSurface(image);
  std::filesystem::rename(partial, path);
  return path;
}
