// Runs every map-loader case under tests/map_cases/. A case is a folder with
//   main.json        the map (absent for a missing file)
//   expected_output  the exact standard output, line by line; a line ending
//                    in "..." matches any line that starts with the rest
//   expected_table   "result true|false", "layerCount N" and one line a slot:
//                    "slot I empty" or
//                    "slot I WIDTH HEIGHT TILEWIDTH TILEHEIGHT TILECOUNT cells V..."
//                    where the listed cells are the first ones and, for maps of
//                    up to a million cells, every later cell must be 0.
// LoadMap reads "main.json" from the case folder into a fresh layer table.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "map/layer.h"
#include "map/map_loader.h"
#include "case_files.h"
#include "table_helpers.h"

namespace fs = std::filesystem;

namespace {

std::string Describe(const Layer& slot) {
  if (slot.tiles == nullptr && slot.width == -1 && slot.height == -1 && slot.tileWidth == -1 &&
      slot.tileHeight == -1 && slot.tileCount == -1) {
    return "empty";
  }
  std::ostringstream out;
  out << slot.width << ' ' << slot.height << ' ' << slot.tileWidth << ' ' << slot.tileHeight
      << ' ' << slot.tileCount;
  return out.str();
}

class MapCase : public ::testing::TestWithParam<fs::path> {};

TEST_P(MapCase, PrintsAndLoadsWhatTheCaseExpects) {
  const fs::path folder = GetParam();
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  ResetLayerTable();

  std::ostringstream captured;
  std::streambuf* original = std::cout.rdbuf(captured.rdbuf());
  const bool result = LoadMap("main.json", layers, kMaxLayers);
  std::cout.rdbuf(original);
  fs::current_path(previous);

  // Standard output, line by line and with a line end after the last.
  const std::vector<std::string> expected = ReadLines(folder / "expected_output");
  const std::string output = captured.str();
  ASSERT_TRUE(output.empty() || output.back() == '\n') << "last line not ended: " << output;
  std::vector<std::string> actual;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) actual.push_back(line);
  ASSERT_EQ(actual.size(), expected.size()) << "output was:\n" << output;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(LineMatches(expected[i], actual[i]))
        << "line " << i + 1 << " is \"" << actual[i] << "\", expected \"" << expected[i] << "\"";
  }

  // Result and layer table.
  for (const std::string& line : ReadLines(folder / "expected_table")) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "result") {
      std::string value;
      words >> value;
      EXPECT_EQ(result ? "true" : "false", value);
    } else if (key == "layerCount") {
      unsigned count = 0;
      words >> count;
      EXPECT_EQ(layerCount, count);
    } else if (key == "slot") {
      unsigned index = 0;
      words >> index;
      ASSERT_LT(index, kMaxLayers);
      const Layer& slot = layers[index];
      std::string rest;
      std::getline(words >> std::ws, rest);
      const std::string dimensions = rest.substr(0, rest.find(" cells"));
      EXPECT_EQ(Describe(slot), dimensions) << "slot " << index;
      if (rest.find(" cells") == std::string::npos) continue;
      ASSERT_NE(slot.tiles, nullptr) << "slot " << index;
      std::istringstream cells(rest.substr(rest.find(" cells") + 6));
      int64_t i = 0;
      for (int32_t value; cells >> value; ++i) {
        ASSERT_LT(i, slot.tileCount) << "slot " << index;
        EXPECT_EQ(slot.tiles[i], value) << "slot " << index << " cell " << i;
      }
      if (slot.tileCount <= (1 << 20)) {
        for (; i < slot.tileCount; ++i) EXPECT_EQ(slot.tiles[i], 0) << "slot " << index << " cell " << i;
      }
    } else if (!key.empty()) {
      FAIL() << "unknown line in expected_table: " << line;
    }
  }
}

std::vector<fs::path> AllCases() {
  std::vector<fs::path> cases;
  for (const auto& entry : fs::directory_iterator(MAP_CASES_DIR)) {
    if (entry.is_directory()) cases.push_back(entry.path());
  }
  std::sort(cases.begin(), cases.end());
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Folder, MapCase, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                           std::string name = info.param.filename().string();
                           std::replace_if(name.begin(), name.end(),
                                           [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
                                           '_');
                           return name;
                         });

}  // namespace
