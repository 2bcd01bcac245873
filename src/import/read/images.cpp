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

// An image's pixels, or why it has none.
struct Loaded {
  std::shared_ptr<const Image> pixels;
  std::string failure;
};

struct ImageLoader {
  bool strict = false;  // an image that can't be loaded fails the import
  std::map<CacheKey, Loaded> cache;
  std::vector<std::string> warnings;  // what the decoder said of an image, once each

  void Load(ImageRef& ref) {
    if (!ref.Given() || ref.pixels != nullptr || !ref.failure.empty()) return;
    const int key = ref.transparent ? ref.transparent->r << 16 | ref.transparent->g << 8 | ref.transparent->b : -1;
    Loaded result;
    if (ref.embedded.empty()) {
      auto found = cache.find({ref.path, key});
      if (found == cache.end()) {
        LibraryOutput said;
        SDL_Surface* loaded = IMG_Load(ref.path.c_str());
        Tell(ref.path, said.Take());
        found = cache.emplace(CacheKey{ref.path, key}, Decode(ref, loaded)).first;
      }
      result = found->second;
    } else {
      LibraryOutput said;
      SDL_Surface* loaded =
          IMG_Load_RW(SDL_RWFromConstMem(ref.embedded.data(), static_cast<int>(ref.embedded.size())), 1);
      Tell("the image written into " + ref.namedIn, said.Take());
      result = Decode(ref, loaded);
    }
    if (strict && result.pixels == nullptr) throw ImportError(Where(ref.namedIn) + result.failure);
    ref.pixels = result.pixels;
    ref.failure = result.failure;
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

  // Missing, unreadable or not an image: a failure the caller decides on.
  static Loaded Decode(const ImageRef& ref, SDL_Surface* loaded) {
    const std::string what = ref.embedded.empty() ? "image " + ref.path : "the image written into it";
    if (loaded == nullptr) return {nullptr, what + " can't be loaded: " + SDL_GetError()};
    SDL_Surface* surface = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(loaded);
    if (surface == nullptr) return {nullptr, what + " can't be converted: " + SDL_GetError()};
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
    return {image, ""};
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

LoadedImages LoadImages(Map& map, bool strict) {
  static_assert(sizeof(Pixel) == 4, "pixels are copied as RGBA bytes");
  ImageLoader loader;
  loader.strict = strict;
  loader.LoadTilesets(map.tilesets);
  loader.LoadLayers(map.layers);
  LoadedImages out{std::move(loader.warnings), {}};
  LeaveOutMissing(map, out.missing);
  return out;
}

LoadedImages LoadImages(World& world, bool skipUnreadable, bool strict) {
  ImageLoader loader;  // an image the maps share is decoded once
  loader.strict = strict;
  LoadedImages out;
  std::vector<PlacedMap> loaded;
  for (PlacedMap& placed : world.maps) {
    try {
      loader.LoadTilesets(placed.map.tilesets);
      loader.LoadLayers(placed.map.layers);
      LeaveOutMissing(placed.map, out.missing);
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
  out.warnings = std::move(loader.warnings);
  return out;
}

}  // namespace importer
