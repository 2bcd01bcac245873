#include "render/texture_loader.h"

#include <SDL_image.h>

#include <stdexcept>

#include "shared/globals.h"

SDL_Texture* LoadTexture(std::string path) {
  SDL_Texture* texture = IMG_LoadTexture(renderer, path.c_str());
  if (texture != nullptr) return texture;
  throw std::runtime_error("Failed to load image: " + path + SDL_GetError());
}
