#pragma once
// Walking a run of the tileset image's rows across the bands that hold it
// (globals.h): the 1:1 drawing and the zoomed drawing both take a tile that
// straddles a band edge piece by piece this way.

#include <SDL.h>

#include <algorithm>
#include <cstdint>

#include "shared/globals.h"

// Calls copy(texture, bandRow, offset, rows) for each piece of the tileset's
// rows [sourceY, sourceY + height): the piece starts at row `bandRow` of
// `texture`, `offset` rows into the run, and is `rows` long. Rows past the
// last band are left to the renderer's clipping, as with one texture; a run
// wholly past it gives nothing. Needs tilesetBandHeight > 0 and sourceY >= 0.
template <typename Copy>
void ForEachBandPiece(int64_t sourceY, int64_t height, Copy copy) {
  const int64_t bandCount = 1 + static_cast<int64_t>(tilesetBands.size());
  const int64_t end = sourceY + height;
  for (int64_t band = sourceY / tilesetBandHeight, row = sourceY; row < end && band < bandCount; ++band) {
    const int64_t bandTop = band * tilesetBandHeight;
    const int64_t pieceEnd = band + 1 < bandCount ? std::min(end, bandTop + tilesetBandHeight) : end;
    copy(band == 0 ? tileset : tilesetBands[static_cast<size_t>(band - 1)], row - bandTop, row - sourceY,
         pieceEnd - row);
    row = pieceEnd;
  }
}
