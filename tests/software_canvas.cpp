#include "software_canvas.h"

#include <SDL_image.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "render/texture_loader.h"
#include "shared/globals.h"

SoftwareCanvas::SoftwareCanvas() {
  surface_ = NewImage(1280, 720);
  renderer = SDL_CreateSoftwareRenderer(surface_);
  if (renderer == nullptr) throw std::runtime_error(SDL_GetError());
}

SoftwareCanvas::~SoftwareCanvas() {
  ReleaseTileset();
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(surface_);
  renderer = nullptr;
}

void SoftwareCanvas::UseTileset(SDL_Surface* image) {
  ReleaseTileset();
  tileset = SDL_CreateTextureFromSurface(renderer, image);
  if (tileset == nullptr) throw std::runtime_error(SDL_GetError());
  SDL_SetTextureBlendMode(tileset, SDL_BLENDMODE_BLEND);
}

void SoftwareCanvas::UseTilesetInBands(SDL_Surface* image, int maxTextureHeight) {
  ReleaseTileset();
  const std::string path = (std::filesystem::temp_directory_path() /
                             ("tilemap-canvas-" + std::to_string(std::random_device{}()) + ".png")).string();
  if (IMG_SavePNG(image, path.c_str()) != 0) throw std::runtime_error(SDL_GetError());
  try {
    tileset = LoadTexture(path, maxTextureHeight);
  } catch (...) {
    std::remove(path.c_str());
    throw;
  }
  std::remove(path.c_str());
}

void SoftwareCanvas::Clear() {
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
}

uint32_t SoftwareCanvas::Pixel(int x, int y) const { return ImagePixel(surface_, x, y); }

SDL_Surface* NewImage(int width, int height) {
  SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
  if (image == nullptr) throw std::runtime_error(SDL_GetError());
  SDL_FillRect(image, nullptr, 0);
  return image;
}

uint32_t ImagePixel(const SDL_Surface* image, int x, int y) {
  const auto* row = static_cast<const uint8_t*>(image->pixels) + y * image->pitch;
  return reinterpret_cast<const uint32_t*>(row)[x];
}

void SetImagePixel(SDL_Surface* image, int x, int y, uint32_t argb) {
  auto* row = static_cast<uint8_t*>(image->pixels) + y * image->pitch;
  reinterpret_cast<uint32_t*>(row)[x] = argb;
}
