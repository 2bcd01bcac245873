#include "render/texture_loader.h"

#include <SDL_image.h>

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <utility>
#include <vector>

#include "shared/globals.h"

namespace {

constexpr int kBandGrid = 32;  // bands are cut on whole rows of 32-pixel tiles

[[noreturn]] void Fail(const std::string& path) {
  throw std::runtime_error("Failed to load image: " + path + SDL_GetError());
}

// The rows each band of an image `imageHeight` tall holds on a renderer whose
// textures are at most `maxTextureHeight` tall (0: no limit): the whole
// height when one texture holds it, else the most whole 32-pixel rows that
// fit, so that 32-pixel tiles never straddle two bands (a limit under 32
// rows is taken as it is).
int BandHeight(int imageHeight, int maxTextureHeight) {
  if (maxTextureHeight <= 0 || imageHeight <= maxTextureHeight) return imageHeight;
  if (maxTextureHeight < kBandGrid) return maxTextureHeight;
  return maxTextureHeight / kBandGrid * kBandGrid;
}

// A surface over `rows` rows of `image` from `top` on, sharing its pixels (no
// copy), with the image's palette, colour key, blend mode and modulation: the
// renderer makes of it exactly what it would make of those rows of the image.
SDL_Surface* RowsOf(SDL_Surface* image, int top, int rows) {
  auto* pixels = static_cast<Uint8*>(image->pixels) + static_cast<std::ptrdiff_t>(top) * image->pitch;
  SDL_Surface* view = SDL_CreateRGBSurfaceWithFormatFrom(pixels, image->w, rows, image->format->BitsPerPixel,
                                                         image->pitch, image->format->format);
  if (view == nullptr) return nullptr;
  if (image->format->palette != nullptr) SDL_SetSurfacePalette(view, image->format->palette);
  Uint32 key = 0;
  if (SDL_GetColorKey(image, &key) == 0) SDL_SetColorKey(view, SDL_TRUE, key);
  SDL_BlendMode blendMode = SDL_BLENDMODE_NONE;
  SDL_GetSurfaceBlendMode(image, &blendMode);
  SDL_SetSurfaceBlendMode(view, blendMode);
  Uint8 red = 255, green = 255, blue = 255, alpha = 255;
  SDL_GetSurfaceColorMod(image, &red, &green, &blue);
  SDL_SetSurfaceColorMod(view, red, green, blue);
  SDL_GetSurfaceAlphaMod(image, &alpha);
  SDL_SetSurfaceAlphaMod(view, alpha);
  return view;
}

// The image's bands, top first, or none (with the library's error set) when
// the renderer refuses one; those made before it are destroyed then.
std::vector<SDL_Texture*> MakeBands(SDL_Surface* image, int bandHeight) {
  std::vector<SDL_Texture*> bands;
  for (int top = 0; top < image->h; top += bandHeight) {
    SDL_Surface* view = RowsOf(image, top, std::min(bandHeight, image->h - top));
    SDL_Texture* band = view != nullptr ? SDL_CreateTextureFromSurface(renderer, view) : nullptr;
    SDL_FreeSurface(view);
    if (band == nullptr) {
      const std::string error = SDL_GetError();
      for (SDL_Texture* made : bands) SDL_DestroyTexture(made);
      SDL_SetError("%s", error.c_str());  // the refusal, whatever the clean-up said
      return {};
    }
    bands.push_back(band);
    if (image->h - top <= bandHeight) break;  // the last band: `top` can't step past INT_MAX
  }
  return bands;
}

}  // namespace

SDL_Texture* LoadTexture(std::string path) {
  SDL_RendererInfo info;
  const int maxTextureHeight = SDL_GetRendererInfo(renderer, &info) == 0 ? info.max_texture_height : 0;
  return LoadTexture(std::move(path), maxTextureHeight);
}

SDL_Texture* LoadTexture(std::string path, int maxTextureHeight) {
  SDL_Surface* image = IMG_Load(path.c_str());
  if (image == nullptr) Fail(path);

  const int bandHeight = BandHeight(image->h, maxTextureHeight);
  if (bandHeight >= image->h) {
    // One texture, made as IMG_LoadTexture makes it.
    SDL_Texture* texture = SDL_CreateTextureFromSurface(renderer, image);
    SDL_FreeSurface(image);
    if (texture == nullptr) Fail(path);
    return texture;
  }

  std::vector<SDL_Texture*> bands = MakeBands(image, bandHeight);
  SDL_FreeSurface(image);
  if (bands.empty()) Fail(path);
  tilesetBands.assign(bands.begin() + 1, bands.end());
  tilesetBandHeight = bandHeight;
  return bands.front();
}

void ReleaseTileset() {
  for (auto band = tilesetBands.rbegin(); band != tilesetBands.rend(); ++band) SDL_DestroyTexture(*band);
  tilesetBands.clear();
  tilesetBandHeight = 0;
  if (tileset != nullptr) SDL_DestroyTexture(tileset);
  tileset = nullptr;
}
