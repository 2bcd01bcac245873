#include "import/read/images.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>

#include "import/import_error.h"
#include "import/read/library_output.h"

namespace importer {
namespace {

// The most pixels one image may have (a quarter of a gigapixel, 1 GiB).
constexpr int64_t kMaxImagePixels = int64_t{1} << 28;

using CacheKey = std::tuple<std::string, int>;  // path, colour key (-1: none)

struct ImageLoader {
  std::map<CacheKey, std::shared_ptr<const Image>> cache;
  std::vector<std::string> warnings;  // what the decoder said of an image, once each

  void Load(ImageRef& ref) {
    if (!ref.Given() || ref.pixels != nullptr) return;
    const int key = ref.transparent ? ref.transparent->r << 16 | ref.transparent->g << 8 | ref.transparent->b : -1;
    if (ref.embedded.empty()) {
      auto& cached = cache[{ref.path, key}];
      if (cached == nullptr) {
        LibraryOutput said;
        SDL_Surface* loaded = IMG_Load(ref.path.c_str());
        Tell(ref.path, said.Take());
        cached = Decode(ref, loaded);
      }
      ref.pixels = cached;
    } else {
      LibraryOutput said;
      SDL_Surface* loaded =
          IMG_Load_RW(SDL_RWFromConstMem(ref.embedded.data(), static_cast<int>(ref.embedded.size())), 1);
      Tell("the image written into " + ref.namedIn, said.Take());
      ref.pixels = Decode(ref, loaded);
    }
  }

  // Each line the decoder wrote, after the image it was about.
  void Tell(const std::string& image, const std::string& said) {
    size_t start = 0;
    for (size_t end; start < said.size(); start = end + 1) {
      end = said.find('\n', start);
      if (end == std::string::npos) end = said.size();
      const std::string line = image + ": " + said.substr(start, end - start);
      if (end > start && std::find(warnings.begin(), warnings.end(), line) == warnings.end())
        warnings.push_back(line);
    }
  }

  std::shared_ptr<const Image> Decode(const ImageRef& ref, SDL_Surface* loaded) {
    const std::string what = ref.embedded.empty() ? "image " + ref.path : "the image written into it";
    if (loaded == nullptr) throw ImportError(Where(ref.namedIn) + what + " can't be loaded: " + SDL_GetError());
    SDL_Surface* surface = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(loaded);
    if (surface == nullptr) throw ImportError(Where(ref.namedIn) + what + " can't be converted: " + SDL_GetError());
    if (int64_t{surface->w} * surface->h > kMaxImagePixels) {
      SDL_FreeSurface(surface);
      throw ImportError(Where(ref.namedIn) + what + " is larger than the importer takes");
    }
    auto image = std::make_shared<Image>();
    image->width = surface->w;
    image->height = surface->h;
    image->pixels.resize(static_cast<size_t>(surface->w) * surface->h);
    for (int y = 0; y < surface->h; ++y)
      std::memcpy(&image->pixels[static_cast<size_t>(y) * surface->w],
                  static_cast<const uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(y) * surface->pitch,
                  static_cast<size_t>(surface->w) * sizeof(Pixel));
    SDL_FreeSurface(surface);
    if (ref.transparent)  // the colour key: those pixels are not there at all
      for (Pixel& pixel : image->pixels)
        if (pixel.r == ref.transparent->r && pixel.g == ref.transparent->g && pixel.b == ref.transparent->b)
          pixel = Pixel{};
    return image;
  }

  void LoadTilesets(const TilesetList& tilesets) {
    for (const TilesetRef& ref : tilesets) {
      Load(ref.tileset->image);
      for (TileEntry& tile : ref.tileset->tiles) Load(tile.image);
    }
  }

  void LoadLayers(std::vector<Layer>& layers) {
    for (Layer& layer : layers) {
      if (layer.kind == LayerKind::kImage) Load(layer.image);
      for (const Object& object : layer.objects)
        if (object.tilesets) LoadTilesets(*object.tilesets);
      LoadLayers(layer.children);
    }
  }
};

}  // namespace

std::vector<std::string> LoadImages(Map& map) {
  static_assert(sizeof(Pixel) == 4, "pixels are copied as RGBA bytes");
  ImageLoader loader;
  loader.LoadTilesets(map.tilesets);
  loader.LoadLayers(map.layers);
  return loader.warnings;
}

std::vector<std::string> LoadImages(World& world, bool skipUnreadable) {
  ImageLoader loader;  // an image the maps share is decoded once
  std::vector<PlacedMap> loaded;
  for (PlacedMap& placed : world.maps) {
    try {
      loader.LoadTilesets(placed.map.tilesets);
      loader.LoadLayers(placed.map.layers);
      loaded.push_back(std::move(placed));
    } catch (const ImportError& failure) {
      if (!skipUnreadable) throw UnreadableMapError(Inside(world.file, failure).what());
      world.leftOut.push_back(LeftOut(placed.map.file, failure.what()));
    }
  }
  world.maps = std::move(loaded);
  if (world.maps.empty())
    throw ImportError(Where(world.file) + "none of its " + std::to_string(world.named) + " maps can be read (" +
                      world.leftOut.front() + ")");
  return loader.warnings;
}

}  // namespace importer
