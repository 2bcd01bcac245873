#pragma once
// Writes the viewer's files: "final.png", the blocks in 3 columns,
// "main.json", the map of 32 × 32 cells, "view.json", the frames of its
// animated cell values, the overview and where the view starts, and
// "overview.png", the whole picture small (overview.h), "zoom/", the picture
// scaled down (zoom_files.h), and for a site "pieces/", all of it in pieces
// (pieces.h). A folder is written whole or not at all: into a temporary
// folder beside it, then renamed.

#include <filesystem>
#include <string>

#include "import/compose/composer.h"
#include "import/write/pieces.h"

namespace importer {

// Writes `folder`, replacing an earlier import there (a folder holding only
// those files); anything else already there is left alone and is an
// error. With `pieces`, pieces/ too, and view.json says so. Throws
// ImportError.
WrittenPieces WriteOutput(const Composition& composition, const std::string& folder, bool pieces = false);

// A name in `target`'s folder to write it under until it is whole, hidden
// and unlikely to be taken: ".NAME.PURPOSE-RANDOM".
std::filesystem::path Beside(const std::filesystem::path& target, const std::string& purpose);

// Refuses a path no file can be written at (a folder there, or no folder to
// put it in) with an ImportError naming it.
void CheckOutputFile(const std::string& path);

}  // namespace importer
