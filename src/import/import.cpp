#include "import/import.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "import/compose/animation.h"
#include "import/compose/composer.h"
#include "import/compose/from_folder.h"
#include "import/import_error.h"
#include "import/read/images.h"
#include "import/read/read_map.h"
#include "import/read/world.h"
#include "import/write/writer.h"

namespace importer {

// Layers (and groups) of the names asked for are left out as if hidden in
// the file: they still count where the editor counts hidden layers.
static void HideLayers(std::vector<Layer>& layers, const std::vector<std::string>& names) {
  for (Layer& layer : layers) {
    for (const std::string& name : names)
      if (layer.name == name) layer.visible = false;
    HideLayers(layer.children, names);
  }
}

// The files that can't be had: each one's problem after the importer's line
// (a map's own name left off: every warning is told as the map's), and the
// end of the line. Refused when they leave nothing at all to draw.
static void TellMissing(const std::string& path, const std::vector<MissingFile>& missing,
                        const Composition& composition, ImportSummary& summary) {
  if (missing.empty()) return;
  const auto used = std::find_if(missing.begin(), missing.end(), [](const MissingFile& file) { return file.Used(); });
  if (used != missing.end() && composition.blocks.empty())
    throw ImportError(Where(path) + "nothing left to draw: " + DescribeMissing(missing) + " (" + used->problem + ")");
  std::vector<std::string> told;
  for (const MissingFile& file : missing)
    told.push_back(file.problem.rfind(Where(path), 0) == 0 ? file.problem.substr(Where(path).size()) : file.problem);
  summary.warnings.insert(summary.warnings.begin(), told.begin(), told.end());
  summary.missing = DescribeMissing(missing);
}

// Read, load the images, compose the blocks: a map, or every map of a world.
static Composition ComposeFile(const std::string& path, const ImportOptions& options, ImportSummary& summary) {
  if (IsViewerMap(path)) return ReadViewerFolder(path);  // a folder the viewer shows: as it is
  ComposeOptions compose;
  compose.background = options.background;
  if (IsWorldFile(path)) {
    World world = ReadWorld(path, options.skipUnreadable, options.strict);
    for (PlacedMap& placed : world.maps) HideLayers(placed.map.layers, options.hiddenLayers);
    LoadedImages images = LoadImages(world, options.skipUnreadable, options.strict);
    summary.warnings = std::move(images.warnings);
    for (size_t i = 0; i < world.leftOut.size(); ++i)
      summary.warnings.insert(summary.warnings.begin() + static_cast<ptrdiff_t>(i), "left out " + world.leftOut[i]);
    summary.maps = static_cast<int>(world.maps.size());
    summary.mapsLeftOut = static_cast<int>(world.leftOut.size());
    Composition composition = Compose(world, compose);
    TellMissing(path, images.missing, composition, summary);
    return composition;
  }
  Map map = ReadMap(path, options.strict);
  HideLayers(map.layers, options.hiddenLayers);
  LoadedImages images = LoadImages(map, options.strict);
  summary.warnings = std::move(images.warnings);
  Composition composition = Compose(map, compose);
  TellMissing(path, images.missing, composition, summary);
  return composition;
}

int64_t TilesetBytes(int64_t blocks) { return (blocks + 2) / 3 * 32 * 96 * 4; }

std::string Mebibytes(int64_t bytes) {
  if (bytes < (1 << 20)) return std::to_string((bytes + 1023) >> 10) + " KiB";
  const int64_t tenths = (bytes * 10 + (1 << 19)) >> 20;  // rounded to the nearest tenth
  return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") + " MiB";
}

ImportSummary ImportMap(const std::string& mapPath, const std::string& folder, const ImportOptions& options) {
  ImportSummary summary;
  const Composition composition = ComposeFile(mapPath, options, summary);
  summary.tilesetBytes = TilesetBytes(static_cast<int64_t>(composition.blocks.size()));
  const WrittenPieces pieces = WriteOutput(composition, folder, options.pieces);
  summary.pieces = pieces.count;
  summary.pieceBytes = pieces.bytes;
  summary.folder = folder;
  summary.layers = static_cast<int>(composition.layers.size());
  summary.blocks = static_cast<int>(composition.blocks.size());
  summary.animations = static_cast<int>(composition.animations.size());
  summary.cutAnimations = composition.cutAnimations;
  summary.width = composition.width;
  summary.height = composition.height;
  summary.pictureWidth = composition.picture.width;
  summary.pictureHeight = composition.picture.height;
  summary.warnings.insert(summary.warnings.begin(), composition.warnings.begin(), composition.warnings.end());
  return summary;
}

ImportSummary ImportPicture(const std::string& mapPath, const std::string& file, const PictureOptions& picture,
                            const ImportOptions& options) {
  ImportSummary summary;
  const Composition composition = ComposeFile(mapPath, options, summary);
  const WrittenPicture written = WritePicture(composition, file, picture);
  summary.folder = file;
  summary.pictureWidth = written.width;
  summary.pictureHeight = written.height;
  summary.fileBytes = written.bytes;
  summary.warnings.insert(summary.warnings.begin(), composition.warnings.begin(), composition.warnings.end());
  return summary;
}

AnimationSummary ImportAnimation(const std::string& mapPath, const AnimationRequest& request,
                                 const ImportOptions& options, ImportSummary& summary) {
  const Composition composition = ComposeFile(mapPath, options, summary);
  summary.warnings.insert(summary.warnings.begin(), composition.warnings.begin(), composition.warnings.end());
  summary.folder = request.file;
  return WriteAnimation(composition, request);
}

std::string DefaultOutputFolder(const std::string& mapPath) {
  const std::filesystem::path map = std::filesystem::u8path(mapPath);
  return (map.parent_path() / std::filesystem::u8path(map.stem().u8string() + "-view")).u8string();
}

static std::string Plural(int64_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

// " (a world of 3 maps, 1 map of 4 left out)"; "" for a map.
static std::string WorldPart(const ImportSummary& summary) {
  if (summary.maps == 0) return "";
  return " (a world of " + Plural(summary.maps, "map") +
         (summary.mapsLeftOut > 0 ? ", " + Plural(summary.mapsLeftOut, "map") + " of " +
                                        std::to_string(summary.maps + summary.mapsLeftOut) + " left out"
                                  : "") +
         ")";
}

std::string Describe(const ImportSummary& summary) {
  return "Wrote " + summary.folder + ": a picture of " + std::to_string(summary.pictureWidth) + " x " +
         std::to_string(summary.pictureHeight) + " pixels" + WorldPart(summary) + " in " +
         Plural(summary.layers, "layer") + " of " + std::to_string(summary.width) + " x " +
         std::to_string(summary.height) + " cells, " + Plural(summary.blocks, "block") + " of 32 x 32 in final.png" +
         (summary.animations > 0 ? ", " + Plural(summary.animations, "animated block") + " in view.json" : "") +
         (summary.cutAnimations > 0
              ? " (" + std::to_string(summary.cutAnimations) + " cut short at " +
                    std::to_string(kMaxAnimationFrames) + " frames or where a cycling animation was frozen)"
              : "") +
         (summary.missing.empty() ? "" : "; warning: " + summary.missing);
}

std::string DescribePicture(const ImportSummary& summary, const PictureOptions& picture, double seconds) {
  char took[32];
  std::snprintf(took, sizeof took, "%.2f s", seconds);
  return "Wrote " + summary.folder + ": a picture of " + std::to_string(summary.pictureWidth) + " x " +
         std::to_string(summary.pictureHeight) + " pixels" + WorldPart(summary) +
         (picture.divisor > 1 ? ", scaled 1/" + std::to_string(picture.divisor) : "") +
         (picture.time > 0 ? ", at " + std::to_string(picture.time) + " ms" : "") + ", " +
         Mebibytes(summary.fileBytes) + ", in " + took +
         (summary.missing.empty() ? "" : "; warning: " + summary.missing);
}

std::string DescribeAnimation(const ImportSummary& summary, const AnimationSummary& animation, double seconds) {
  char took[32];
  std::snprintf(took, sizeof took, "%.2f s", seconds);
  const PictureRegion& r = animation.region;
  return "Wrote " + summary.folder + ": an animation of " + std::to_string(r.width) + " x " +
         std::to_string(r.height) + " pixels (the picture's " + std::to_string(r.x) + "," + std::to_string(r.y) +
         "," + std::to_string(r.width) + "," + std::to_string(r.height) + ")" + WorldPart(summary) + ", " +
         Plural(animation.frames, "frame") + " over " + std::to_string(animation.milliseconds) + " ms, in " + took +
         (summary.missing.empty() ? "" : "; warning: " + summary.missing);
}

}  // namespace importer
