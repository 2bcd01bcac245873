#pragma once

#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "shared/globals.h"
#include "table_helpers.h"

// The window's stand-in for the fuzzers: a 1280 x 720 software renderer and
// a 3 x 4 tileset of 32 x 32 tiles, set up once per process; beside it the
// same tileset held as bands of 40 rows (the top one, then the others), as
// the viewer holds a tileset taller than its renderer's textures.
struct FuzzCanvas {
  FuzzCanvas() {
    surface = SDL_CreateRGBSurfaceWithFormat(0, 1280, 720, 32, SDL_PIXELFORMAT_ARGB8888);
    renderer = SDL_CreateSoftwareRenderer(surface);
    SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, 96, 128, 32, SDL_PIXELFORMAT_ARGB8888);
    if (surface == nullptr || renderer == nullptr || image == nullptr) std::abort();
    SDL_FillRect(image, nullptr, 0x80FF8040);
    tileset = SDL_CreateTextureFromSurface(renderer, image);
    for (int top = 0; top < image->h; top += kBandHeight) {
      SDL_Texture* band = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, image->w,
                                            std::min(kBandHeight, image->h - top));
      if (band == nullptr) std::abort();
      SDL_UpdateTexture(band, nullptr, static_cast<const uint8_t*>(image->pixels) + top * image->pitch, image->pitch);
      bands.push_back(band);
    }
    SDL_FreeSurface(image);
    if (tileset == nullptr) std::abort();
    single = tileset;
  }
  // The tileset the drawing reads: one texture, or the bands.
  void UseBands(bool banded) {
    tileset = banded ? bands.front() : single;
    tilesetBands.assign(banded ? bands.begin() + 1 : bands.end(), bands.end());
    tilesetBandHeight = banded ? kBandHeight : 0;
  }
  static constexpr int kBandHeight = 40;
  SDL_Surface* surface = nullptr;
  SDL_Texture* single = nullptr;
  std::vector<SDL_Texture*> bands;
};
