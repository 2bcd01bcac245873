#pragma once
// What the benchmark maps are drawn with: a repeatable random sequence and
// tileset images painted pixel by pixel, with the grain drawn tiles have.

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstdint>
#include <string>

inline uint32_t Next(uint64_t& state) {  // xorshift: the same maps every time
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return static_cast<uint32_t>(state >> 11);
}

// A tileset image of `columns` × `rows` tiles of `tileWidth` × `tileHeight`,
// each pixel as `paint(tile, x, y)` gives it (RGBA).
template <typename Paint>
void WriteArt(const std::string& path, int columns, int rows, int tileWidth, int tileHeight, Paint paint) {
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormat(0, columns * tileWidth, rows * tileHeight, 32, SDL_PIXELFORMAT_RGBA32);
  for (int y = 0; y < surface->h; ++y) {
    auto* p = static_cast<uint8_t*>(surface->pixels) + y * surface->pitch;
    for (int x = 0; x < surface->w; ++x, p += 4) {
      const uint32_t rgba = paint(y / tileHeight * columns + x / tileWidth, x % tileWidth, y % tileHeight);
      p[0] = uint8_t(rgba >> 24), p[1] = uint8_t(rgba >> 16), p[2] = uint8_t(rgba >> 8), p[3] = uint8_t(rgba);
    }
  }
  IMG_SavePNG(surface, path.c_str());
  SDL_FreeSurface(surface);
}

// A few steps of brightness for a pixel, as drawn tiles have texture: the
// same for the same tile, place and seed.
inline int Grain(int tile, int x, int y, int seed, int steps) {
  uint64_t h = uint64_t(tile) << 40 ^ uint64_t(x) << 20 ^ uint64_t(y) ^ uint64_t(seed) << 56;
  h ^= h >> 30, h *= 0xBF58476D1CE4E5B9ull, h ^= h >> 27, h *= 0x94D049BB133111EBull, h ^= h >> 31;
  return int(h % uint64_t(steps));
}

inline uint32_t Rgba(int r, int g, int b, int a = 255) {
  auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
  return c(r) << 24 | c(g) << 16 | c(b) << 8 | c(a);
}
