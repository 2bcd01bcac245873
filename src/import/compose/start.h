#pragma once
// Where the view opens: on what is drawn, wherever it lies in the picture
// (an island in the middle of an isometric map's box, a world whose first
// map starts low).

#include <cstdint>

#include "import/compose/composer.h"

namespace importer {

// A rectangle of the output's pixels (main.json's cells times 32), right
// and bottom excluded.
struct OutputRect {
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return left >= right || top >= bottom; }
};

// Sets the composition's start (the pixel at the window's centre) on the
// drawn pixels within `within`, or the whole output's when it holds none:
// centred on them when they fit the window; else the window's top row on
// the first drawn row, and across, centred on the drawn pixels of the rows
// it shows when they fit, else its left edge on their leftmost. Nothing
// drawn at all keeps the start it had.
void PlaceStart(Composition& composition, const OutputRect& within);

}  // namespace importer
