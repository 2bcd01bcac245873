#pragma once

#include <SDL.h>

#include <cstdlib>

#include "shared/globals.h"
#include "table_helpers.h"

// The window's stand-in for the fuzzers: a 1280 x 720 software renderer and
// a 3 x 4 tileset of 32 x 32 tiles, set up once per process.
struct FuzzCanvas {
  FuzzCanvas() {
    surface = SDL_CreateRGBSurfaceWithFormat(0, 1280, 720, 32, SDL_PIXELFORMAT_ARGB8888);
    renderer = SDL_CreateSoftwareRenderer(surface);
    SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, 96, 128, 32, SDL_PIXELFORMAT_ARGB8888);
    if (surface == nullptr || renderer == nullptr || image == nullptr) std::abort();
    SDL_FillRect(image, nullptr, 0x80FF8040);
    tileset = SDL_CreateTextureFromSurface(renderer, image);
    SDL_FreeSurface(image);
    if (tileset == nullptr) std::abort();
  }
  SDL_Surface* surface = nullptr;
};
