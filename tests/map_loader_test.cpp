// What the loader leaves behind, beyond the layer table that the case
// folders check.

#include <gtest/gtest.h>
#include <jansson.h>

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "map/layer.h"
#include "map/map_loader.h"
#include "table_helpers.h"

namespace {

void LoadQuietly(const std::string& path) {
  std::ostringstream ignored;
  std::streambuf* original = std::cout.rdbuf(ignored.rdbuf());
  LoadMap(path, layers, kMaxLayers);
  std::cout.rdbuf(original);
}

// The parsed document lives in memory of the loader's own while it reads;
// afterwards JSON values must come from the ordinary heap again, or they
// would land in memory that is already gone.
TEST(LoadMap, GivesJanssonItsOwnAllocatorBackOnEveryPath) {
  for (const char* folder : {"two_by_two", "bad_json", "missing_file", "four_layers"}) {
    ResetLayerTable();
    LoadQuietly(std::string(MAP_CASES_DIR) + "/" + folder + "/main.json");
    json_malloc_t allocate = nullptr;
    json_free_t release = nullptr;
    json_get_alloc_funcs(&allocate, &release);
    EXPECT_EQ(allocate, &std::malloc) << folder;
    EXPECT_EQ(release, &std::free) << folder;
  }
  ResetLayerTable();
}

// The first cells are released by the second load: the sanitizer build
// reports them if they leak or are released twice.
TEST(LoadMap, ReadingTheSameMapTwiceReplacesTheCells) {
  const std::string path = std::string(MAP_CASES_DIR) + "/two_by_two/main.json";
  ResetLayerTable();
  LoadQuietly(path);
  LoadQuietly(path);
  ASSERT_NE(layers[0].tiles, nullptr);
  EXPECT_EQ(layers[0].tiles[3], 4);
  EXPECT_EQ(layerCount, 1);
  ResetLayerTable();
}

}  // namespace
