#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "view/piece_files.h"
#include "view/view_file.h"

// A map drawn from its pieces, at every zoom (view.json's "pieces": true):
// the viewer holds only the pieces near the view, at the level the zoom
// shows, and takes the others as they come. In a web page they come from
// the page, which fetches those the viewer wants (view/piece_host.h); on a
// desktop they are read from the map's folder as the view reaches them.
// Where a piece isn't there yet, the next coarser level that is stands in,
// scaled, and at worst the overview: never black where the map has a picture.

// Whether the map is drawn from pieces, and its levels (index = level).
extern bool piecesOn;
extern std::vector<PieceLevel> pieceLevels;

// Reads pieces/index.json from `folder` (ending in a separator, or empty)
// and switches pieces on; a missing or malformed index leaves them off,
// with one line on standard error.
void LoadPieces(const std::string& folder);

// In a web page, a map in pieces starts before its overview has arrived:
// the overview at `path` is loaded for `place` once the page has written it.
void AwaitOverview(const std::string& path, const OverviewPlace& place);
bool OverviewComing();

// Drops every piece held; pieces off.
void ReleasePieces();

// Works out each level's animated values at `t` ms.
void PickPieceFrames(uint64_t t);

// The first and last zoom levels (1 and up) that have pieces; 0, 0 when none.
int FirstPieceLevel();
int LastPieceLevel();

// Draws the view from the pieces held, taking those that arrived and
// asking for those it lacks.
void DrawPieces();

// The pieces held now (for tests and benchmarks).
size_t HeldPieceCount();

// The pieces last asked for and not held, as the page was told (for tests).
const std::string& WantedPiecesText();
