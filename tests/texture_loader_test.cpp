#include <SDL_image.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "shared/globals.h"
#include "render/texture_loader.h"
#include "software_canvas.h"

namespace fs = std::filesystem;

namespace {

// Set to n, the renderer refuses the n-th texture made from a surface from
// then on, as a renderer out of texture memory does.
int refuseTexture = 0;
// The textures made from surfaces and not destroyed yet.
std::set<SDL_Texture*> liveTextures;

}  // namespace

// The library's texture making and destroying, seen by the test first: the
// program's own calls land here (this executable defines the names), and go
// on to SDL's.
extern "C" SDL_Texture* SDL_CreateTextureFromSurface(SDL_Renderer* target, SDL_Surface* surface) {
  static const auto next =
      reinterpret_cast<decltype(&SDL_CreateTextureFromSurface)>(dlsym(RTLD_NEXT, "SDL_CreateTextureFromSurface"));
  if (refuseTexture > 0 && --refuseTexture == 0) {
    SDL_SetError("the renderer refused a texture");
    return nullptr;
  }
  SDL_Texture* texture = next(target, surface);
  if (texture != nullptr) liveTextures.insert(texture);
  return texture;
}

extern "C" void SDL_DestroyTexture(SDL_Texture* texture) {
  static const auto next = reinterpret_cast<decltype(&SDL_DestroyTexture)>(dlsym(RTLD_NEXT, "SDL_DestroyTexture"));
  liveTextures.erase(texture);
  next(texture);
}

namespace {

class TextureLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    // Tests run side by side, each in a process of its own: a folder each.
    folder = fs::temp_directory_path() / ("tilemap-texture-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  SoftwareCanvas canvas;
  fs::path folder;
};

TEST_F(TextureLoader, LoadsAPngIntoATextureOfTheRenderer) {
  SDL_Surface* image = NewImage(96, 64);
  SetImagePixel(image, 95, 63, 0xFF123456);
  const std::string path = (folder / "tiles.png").string();
  ASSERT_EQ(IMG_SavePNG(image, path.c_str()), 0) << SDL_GetError();
  SDL_FreeSurface(image);

  SDL_Texture* texture = LoadTexture(path);
  ASSERT_NE(texture, nullptr);
  int width = 0, height = 0;
  SDL_QueryTexture(texture, nullptr, nullptr, &width, &height);
  EXPECT_EQ(width, 96);
  EXPECT_EQ(height, 64);

  // The texture belongs to our renderer: it can be drawn there.
  const SDL_Rect corner{95, 63, 1, 1};
  const SDL_Rect target{0, 0, 1, 1};
  EXPECT_EQ(SDL_RenderCopy(renderer, texture, &corner, &target), 0) << SDL_GetError();
  EXPECT_EQ(canvas.Pixel(0, 0), 0xFF123456u);
  SDL_DestroyTexture(texture);
}

TEST_F(TextureLoader, AMissingFileThrowsThePathAndTheLibraryText) {
  const std::string path = "no-such-tileset.png";
  try {
    LoadTexture(path);
    FAIL() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()), "Failed to load image: no-such-tileset.png" + std::string(SDL_GetError()));
    EXPECT_NE(std::string(SDL_GetError()), "");
  }
}

TEST_F(TextureLoader, BytesThatAreNoImageThrow) {
  const fs::path path = folder / "garbage.png";
  FILE* file = std::fopen(path.string().c_str(), "wb");
  std::fputs("this is not an image at all", file);
  std::fclose(file);
  EXPECT_THROW(LoadTexture(path.string()), std::runtime_error);
}

// Every texel of the loaded tileset, its bands stacked top first, read back
// by copying each texture unblended onto the canvas; and each one's height.
struct Texels {
  std::vector<uint32_t> argb;
  std::vector<int> heights;
  std::vector<SDL_BlendMode> blendModes;
};

Texels ReadBack(SoftwareCanvas& canvas) {
  Texels texels;
  std::vector<SDL_Texture*> textures{tileset};
  textures.insert(textures.end(), tilesetBands.begin(), tilesetBands.end());
  for (SDL_Texture* texture : textures) {
    int width = 0, height = 0;
    SDL_QueryTexture(texture, nullptr, nullptr, &width, &height);
    SDL_BlendMode blendMode;
    SDL_GetTextureBlendMode(texture, &blendMode);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    canvas.Clear();
    const SDL_Rect whole{0, 0, width, height};
    SDL_RenderCopy(renderer, texture, nullptr, &whole);
    SDL_SetTextureBlendMode(texture, blendMode);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) texels.argb.push_back(canvas.Pixel(x, y));
    texels.heights.push_back(height);
    texels.blendModes.push_back(blendMode);
  }
  return texels;
}

// An image 96 x 700 of `format` whose every byte is noise; a palette's
// colours are opaque but for colour 7 when `transparentColour`.
SDL_Surface* NoiseImage(Uint32 format, bool transparentColour) {
  SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, 96, 700, SDL_BITSPERPIXEL(format), format);
  auto* bytes = static_cast<uint8_t*>(image->pixels);
  for (int i = 0; i < image->pitch * image->h; ++i) bytes[i] = static_cast<uint8_t>((i * 7919 + i / 97) % 251);
  if (image->format->palette != nullptr) {
    SDL_Color colours[256];
    for (int i = 0; i < 256; ++i)
      colours[i] = {static_cast<uint8_t>(i * 37), static_cast<uint8_t>(i * 91), static_cast<uint8_t>(255 - i), 255};
    if (transparentColour) colours[7].a = 0;
    SDL_SetPaletteColors(image->format->palette, colours, 0, 256);
  }
  return image;
}

// Each kind of PNG the decoder gives a different surface for.
struct PngKind {
  const char* name;
  Uint32 savedFormat;
  bool transparentColour;
  Uint32 decodedFormat;
};
const PngKind kPngKinds[] = {
    {"RGBA", SDL_PIXELFORMAT_ARGB8888, false, SDL_PIXELFORMAT_ABGR8888},
    {"RGB", SDL_PIXELFORMAT_RGB24, false, SDL_PIXELFORMAT_RGB24},
    {"palette", SDL_PIXELFORMAT_INDEX8, false, SDL_PIXELFORMAT_INDEX8},
    {"palette with a transparent colour (a colour key)", SDL_PIXELFORMAT_INDEX8, true, SDL_PIXELFORMAT_INDEX8},
};

TEST_F(TextureLoader, ATallImageIsHeldInBandsPixelForPixelAsOneTextureHoldsIt) {
  for (const PngKind& kind : kPngKinds) {
    SCOPED_TRACE(kind.name);
    SDL_Surface* image = NoiseImage(kind.savedFormat, kind.transparentColour);
    const std::string path = (folder / "tiles.png").string();
    ASSERT_EQ(IMG_SavePNG(image, path.c_str()), 0) << SDL_GetError();
    SDL_FreeSurface(image);
    SDL_Surface* decoded = IMG_Load(path.c_str());
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->format->format, kind.decodedFormat) << "the decoder gives another kind of image";
    SDL_FreeSurface(decoded);

    tileset = IMG_LoadTexture(renderer, path.c_str());  // the one texture a renderer without limit makes
    const Texels whole = ReadBack(canvas);
    ReleaseTileset();

    // No limit, or a limit the image fits exactly: the same one texture.
    for (int limit : {0, 700}) {
      tileset = LoadTexture(path, limit);
      EXPECT_TRUE(tilesetBands.empty());
      EXPECT_EQ(tilesetBandHeight, 0);
      const Texels same = ReadBack(canvas);
      EXPECT_EQ(same.argb, whole.argb);
      EXPECT_EQ(same.blendModes, whole.blendModes);
      ReleaseTileset();
    }

    // A limit of 200 rows: bands of 192, the last one the rest.
    tileset = LoadTexture(path, 200);
    EXPECT_EQ(tilesetBandHeight, 192);
    const Texels bands = ReadBack(canvas);
    EXPECT_EQ(bands.heights, (std::vector<int>{192, 192, 192, 124}));
    EXPECT_TRUE(bands.argb == whole.argb) << "the bands hold other pixels than the one texture";
    EXPECT_EQ(bands.blendModes, std::vector<SDL_BlendMode>(4, whole.blendModes[0]));
    ReleaseTileset();
    EXPECT_TRUE(liveTextures.empty()) << liveTextures.size() << " textures left after the release";
    EXPECT_EQ(tileset, nullptr);
  }
}

TEST_F(TextureLoader, ATextureTheRendererRefusesFailsTheLoadAndLeavesNothing) {
  SDL_Surface* image = NoiseImage(SDL_PIXELFORMAT_ARGB8888, false);
  const std::string path = (folder / "tiles.png").string();
  ASSERT_EQ(IMG_SavePNG(image, path.c_str()), 0) << SDL_GetError();
  SDL_FreeSurface(image);
  struct Refusal {
    int maxTextureHeight;
    int refused;  // the texture refused, counted from 1
  };
  // The one texture; the first, a middle and the last of four bands.
  for (const Refusal refusal : {Refusal{0, 1}, Refusal{200, 1}, Refusal{200, 3}, Refusal{200, 4}}) {
    SCOPED_TRACE("limit " + std::to_string(refusal.maxTextureHeight) + ", texture " +
                 std::to_string(refusal.refused) + " refused");
    liveTextures.clear();
    refuseTexture = refusal.refused;
    try {
      tileset = LoadTexture(path, refusal.maxTextureHeight);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), "Failed to load image: " + path + "the renderer refused a texture");
      EXPECT_EQ(std::string(SDL_GetError()), "the renderer refused a texture");
    }
    refuseTexture = 0;
    EXPECT_TRUE(liveTextures.empty()) << liveTextures.size() << " textures left";
    EXPECT_TRUE(tilesetBands.empty());
    EXPECT_EQ(tilesetBandHeight, 0);
    ReleaseTileset();
  }
}

}  // namespace
