#include <SDL_image.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "shared/globals.h"
#include "render/texture_loader.h"
#include "software_canvas.h"

namespace fs = std::filesystem;

namespace {

class TextureLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("tilemap-texture-" + std::to_string(SDL_GetTicks64()) + "-" +
                                          std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
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

}  // namespace
