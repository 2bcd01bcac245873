// The importer from end to end, in a folder of its own: what a site's page
// can hold.

#include <gtest/gtest.h>

#include <SDL_image.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "import/import.h"
#include "import/import_error.h"

using namespace importer;

namespace {

// ---- What a site's page can hold ------------------------------------------------

// Two different tiles: two blocks, one row of final.png, 96 x 32 pixels.
TEST(ImporterSites, AMapWhoseTilesetThePageCantHoldIsRefusedBeforeAnythingIsWritten) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("import-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  SDL_Surface* tiles = SDL_CreateRGBSurfaceWithFormat(0, 64, 32, 32, SDL_PIXELFORMAT_RGBA32);
  ASSERT_NE(tiles, nullptr);
  SDL_FillRect(tiles, nullptr, 0xFF0000FFu);
  const SDL_Rect right{32, 0, 32, 32};
  SDL_FillRect(tiles, &right, 0xFF00FF00u);
  ASSERT_EQ(IMG_SavePNG(tiles, (folder / "t.png").string().c_str()), 0);
  SDL_FreeSurface(tiles);
  std::ofstream(folder / "m.tmj") << R"({"type": "map", "orientation": "orthogonal", "width": 2, "height": 1,
      "tilewidth": 32, "tileheight": 32, "tilesets": [{"firstgid": 1, "name": "t", "tilewidth": 32,
      "tileheight": 32, "image": "t.png"}], "layers": [{"type": "tilelayer", "name": "g", "width": 2,
      "height": 1, "data": [1, 2]}]})";
  const std::string map = (folder / "m.tmj").u8string(), out = (folder / "out").u8string();
  ImportOptions options;
  options.maxTilesetBytes = 10 << 10;
  try {
    ImportMap(map, out, options);
    ADD_FAILURE() << "imported";
  } catch (const ImportError& error) {
    EXPECT_EQ(std::string(error.what()), map + ": a browser would have to hold its tileset, 2 blocks in a final.png "
                                               "of 12 KiB decoded, more than the page's 10 KiB take");
  }
  EXPECT_FALSE(fs::exists(out));
  options.maxTilesetBytes = 96 * 32 * 4;
  EXPECT_EQ(ImportMap(map, out, options).tilesetBytes, 96 * 32 * 4);
  EXPECT_TRUE(fs::exists(fs::u8path(out) / "final.png"));
  EXPECT_EQ(Mebibytes(int64_t{366} << 20), "366 MiB");
  EXPECT_EQ(Mebibytes(int64_t{3} << 19), "1.5 MiB");
  fs::remove_all(folder);
}

}  // namespace
