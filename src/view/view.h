#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "view/animation.h"
#include "view/view_file.h"

// What view.json switches on, as the shell and the drawing see it. Without a
// view file (or with one that is ignored) nothing here changes a picture.

// The time the fixed-step update has run since the first frame: each update
// step adds its 10 ms, so it is exact whatever the frame rate.
extern uint64_t viewClockMs;

// The animations in play, and the value each cell value shows now: cell value
// v shows shownValues[v] when v is below its size, else itself.
extern std::vector<Animation> animations;
extern std::vector<int32_t> shownValues;

// The blocks of the loaded final.png at the loaded map's tile size (none
// before both are loaded).
TilesetGrid GridOfLoadedTileset();

// Reads the view file at `path`, plays its animations, puts the camera at its
// start, loads its overview (the picture named, beside the file) and switches
// on M and the mouse when it names a start or an overview. A missing file
// changes nothing, silently; a file that can't be used is ignored as a whole,
// with one line on standard error ("view.json: ignored: " and why). An
// overview picture that can't be loaded is left out with one line of its own.
void LoadView(const std::string& path, const TilesetGrid& grid);

// Puts `list` in play (none: an empty list), every value showing itself
// until the frames are picked.
void UseAnimations(std::vector<Animation> list);

// Works out, once a drawn frame, each animation's frame at `t` ms into
// shownValues.
void PickFrames(uint64_t t);

// The value a cell holding `value` shows now; values that aren't animated
// (negative ones among them) show themselves.
inline int32_t ShownValue(int32_t value) {
  return static_cast<size_t>(value) < shownValues.size() ? shownValues[static_cast<size_t>(value)] : value;
}
