#pragma once

#include <SDL.h>

#include <cstdint>

// A 1280 x 720 software renderer standing in for the window: the process-wide
// `renderer` points at it while it lives, and `tileset` (with its bands) at
// textures made from a surface the caller fills.
class SoftwareCanvas {
 public:
  SoftwareCanvas();
  ~SoftwareCanvas();
  SoftwareCanvas(const SoftwareCanvas&) = delete;
  SoftwareCanvas& operator=(const SoftwareCanvas&) = delete;

  // Makes `tileset` from the pixels of `image` (ARGB8888, alpha blended).
  void UseTileset(SDL_Surface* image);
  // Loads `image` as the viewer does, through a PNG file and LoadTexture,
  // held in bands when it is taller than `maxTextureHeight` (0: no limit).
  void UseTilesetInBands(SDL_Surface* image, int maxTextureHeight);
  void Clear();
  uint32_t Pixel(int x, int y) const;  // ARGB8888
  SDL_Surface* surface() const { return surface_; }

 private:
  SDL_Surface* surface_ = nullptr;
};

// An ARGB8888 surface of the given size, fully transparent.
SDL_Surface* NewImage(int width, int height);
uint32_t ImagePixel(const SDL_Surface* image, int x, int y);
void SetImagePixel(SDL_Surface* image, int x, int y, uint32_t argb);
