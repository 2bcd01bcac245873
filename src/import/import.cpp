#include "import/import.h"

#include <filesystem>

#include "import/compose/composer.h"
#include "import/read/images.h"
#include "import/read/read_map.h"
#include "import/write/writer.h"

namespace importer {

ImportSummary ImportMap(const std::string& mapPath, const std::string& folder, const ImportOptions& options) {
  Map map = ReadMap(mapPath);
  LoadImages(map);
  ComposeOptions compose;
  compose.background = options.background;
  const Composition composition = Compose(map, compose);
  WriteOutput(composition, folder);
  ImportSummary summary;
  summary.folder = folder;
  summary.layers = static_cast<int>(composition.layers.size());
  summary.blocks = static_cast<int>(composition.blocks.size());
  summary.width = composition.width;
  summary.height = composition.height;
  summary.pictureWidth = composition.picture.width;
  summary.pictureHeight = composition.picture.height;
  summary.warnings = composition.warnings;
  return summary;
}

std::string DefaultOutputFolder(const std::string& mapPath) {
  const std::filesystem::path map = std::filesystem::u8path(mapPath);
  return (map.parent_path() / std::filesystem::u8path(map.stem().u8string() + "-view")).u8string();
}

std::string Describe(const ImportSummary& summary) {
  auto plural = [](int64_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
  };
  return "Wrote " + summary.folder + ": a picture of " + std::to_string(summary.pictureWidth) + " x " +
         std::to_string(summary.pictureHeight) + " pixels in " + plural(summary.layers, "layer") + " of " +
         std::to_string(summary.width) + " x " + std::to_string(summary.height) + " cells, " +
         plural(summary.blocks, "block") + " of 32 x 32 in final.png";
}

}  // namespace importer
