#pragma once
// Which of the map's layers become which of the viewer's (at most three):
// runs of neighbouring layers, each drawn on its own.

#include <string>
#include <vector>

#include "import/compose/scene.h"

namespace importer {

// The layers that draw something, in at most three runs, indexes into
// scene.layers, bottom first.
std::vector<std::vector<size_t>> Runs(const Scene& scene);

// "ground + trees + roofs", shortened when long.
std::string RunName(const Scene& scene, const std::vector<size_t>& run);

// A layer of 32-pixel tiles on the 32-pixel grid, drawn plainly: its tiles
// are the blocks, nothing has to be drawn together.
bool IsPlain(const Scene& scene, size_t index);

}  // namespace importer
