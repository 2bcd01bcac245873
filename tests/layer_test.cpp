#include <gtest/gtest.h>

#include <cstdlib>
#include <type_traits>

#include "map/layer.h"

namespace {

int32_t* Cells(std::initializer_list<int32_t> values) {
  auto* cells = static_cast<int32_t*>(std::malloc(values.size() * sizeof(int32_t)));
  std::copy(values.begin(), values.end(), cells);
  return cells;
}

static_assert(!std::is_copy_constructible_v<Layer>, "a slot owns its cells and is never copied");
static_assert(!std::is_copy_assignable_v<Layer>, "a slot owns its cells and is never copied");

TEST(Layer, StartsEmpty) {
  const Layer slot;
  EXPECT_EQ(slot.width, -1);
  EXPECT_EQ(slot.height, -1);
  EXPECT_EQ(slot.tileWidth, -1);
  EXPECT_EQ(slot.tileHeight, -1);
  EXPECT_EQ(slot.tileCount, -1);
  EXPECT_EQ(slot.tiles, nullptr);
}

TEST(Layer, SetStoresDimensionsAndRowMajorCells) {
  Layer slot;
  slot.Set(Cells({0, 1, 2, 3, 4, 5}), 3, 2, 32, 16);
  EXPECT_EQ(slot.width, 3);
  EXPECT_EQ(slot.height, 2);
  EXPECT_EQ(slot.tileWidth, 32);
  EXPECT_EQ(slot.tileHeight, 16);
  EXPECT_EQ(slot.tileCount, 6);
  EXPECT_EQ(slot.tiles[1 * slot.width + 1], 4);  // column 1 of row 1
}

// Run under the sanitizer build, a second release of the first array or a
// leak of it fails this test.
TEST(Layer, ReplacingTheCellsReleasesTheOldArrayExactlyOnce) {
  Layer slot;
  slot.Set(Cells({1, 2}), 2, 1, 32, 32);
  slot.Set(Cells({7, 8, 9}), 3, 1, 32, 32);
  EXPECT_EQ(slot.tiles[2], 9);
  slot.Set(slot.tiles, 1, 3, 32, 32);  // handing back its own array keeps it
  EXPECT_EQ(slot.tiles[0], 7);
}

TEST(Layer, TileCountIsThe32BitProduct) {
  Layer slot;
  slot.Set(nullptr, 65536, 65537, 32, 32);
  EXPECT_EQ(slot.tileCount, 65536);  // 2^32 + 65536 keeps its low 32 bits
  slot.Set(nullptr, -3, 2, 32, 32);
  EXPECT_EQ(slot.tileCount, -6);
}

TEST(LayerTable, HasThreeEmptySlotsAndNoLayersBeforeAnyMap) {
  EXPECT_EQ(std::extent_v<decltype(layers)>, 3u);
  EXPECT_EQ(layerCount, 0);
  for (const Layer& slot : layers) EXPECT_EQ(slot.tiles, nullptr);
}

}  // namespace
