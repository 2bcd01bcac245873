#pragma once

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
