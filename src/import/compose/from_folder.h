#pragma once
// A folder the importer wrote (or any folder the viewer shows: final.png,
// main.json and, if there is one, view.json) read back as its composition,
// so that pictures and animations can be made of what a viewer shows
// without the editor's files: the web page saves its view this way.

#include <string>

#include "import/compose/composer.h"

namespace importer {

// Whether `path` is a viewer's main.json rather than an editor's map: a
// JSON file named main.json with a final.png beside it.
bool IsViewerMap(const std::string& path);

// The composition of the folder whose main.json is `path`: its layers and
// the blocks of final.png (32 x 32, three a row), view.json's animations,
// and the picture's place (view.json's overview rectangle, else the whole
// grid) and start. Throws ImportError naming the file and the problem.
Composition ReadViewerFolder(const std::string& path);

}  // namespace importer
