#pragma once
// The importer from end to end: read the map (or a world's maps), load
// the images, compose the blocks, write the folder.

#include <string>
#include <vector>

#include "import/write/animation_export.h"
#include "import/write/picture.h"

namespace importer {

struct ImportSummary {
  std::string folder;
  int layers = 0, blocks = 0, width = 0, height = 0;  // what the viewer gets
  int maps = 0;  // of a world; 0 for a map
  int mapsLeftOut = 0;  // of a world, with skipUnreadable: those that couldn't be read
  int animations = 0, cutAnimations = 0;  // cell values that animate (view.json), those cut short
  int64_t tilesetBytes = 0;  // final.png decoded, as the viewer holds it
  int64_t pieces = 0, pieceBytes = 0;  // with ImportOptions::pieces: how many, and their files' bytes
  int64_t pictureWidth = 0, pictureHeight = 0;
  int64_t fileBytes = 0;  // of ImportPicture's file
  std::vector<std::string> warnings;
  // Files the map names that can't be had, and what went undrawn for them
  // (the end of the importer's line); empty when none.
  std::string missing;
};

struct ImportOptions {
  bool background = false;  // paint the map's background colour under its grid area
  std::vector<std::string> hiddenLayers;  // names of layers and groups left out
  // The picture in pieces too, for a site's page to fetch what its view
  // shows (pieces.h).
  bool pieces = false;
  // A world's maps that can't be read are left out (each a warning), not a
  // failure: the editor draws the rest.
  bool skipUnreadable = false;
  // A file the map names that can't be had (a tileset, template or image)
  // fails the import, instead of leaving out what needs it.
  bool strict = false;
};

// A map, or a world (a .world file) as one picture. Throws ImportError.
ImportSummary ImportMap(const std::string& mapPath, const std::string& folder, const ImportOptions& options = {});

// The map's (or world's) whole picture into one PNG file instead
// (picture.h); the summary's `folder` is the file, its picture size the
// size written. Throws ImportError.
ImportSummary ImportPicture(const std::string& mapPath, const std::string& file, const PictureOptions& picture,
                            const ImportOptions& options = {});

// A region of the map's (or world's) picture as an animation file
// (animation_export.h); `summary` gets the warnings and the file. Throws
// ImportError.
AnimationSummary ImportAnimation(const std::string& mapPath, const AnimationRequest& request,
                                 const ImportOptions& options, ImportSummary& summary);

// "<map folder>/<map name without extension>-view".
std::string DefaultOutputFolder(const std::string& mapPath);

// The decoded size of a final.png of `blocks` blocks, in bytes.
int64_t TilesetBytes(int64_t blocks);

// "12.5 MiB" (under a MiB: "12 KiB"), for messages.
std::string Mebibytes(int64_t bytes);

// The one line that says what was written.
std::string Describe(const ImportSummary& summary);
// The same for ImportPicture, with the seconds it took.
std::string DescribePicture(const ImportSummary& summary, const PictureOptions& picture, double seconds);
// The same for ImportAnimation.
std::string DescribeAnimation(const ImportSummary& summary, const AnimationSummary& animation, double seconds);

}  // namespace importer
