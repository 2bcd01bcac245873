#pragma once
// PNG files written fast: with the pixels stored, not compressed, for a
// tileset whose blocks don't compress (noise, photographs), where deflating
// them takes many times longer than reading the map and gains nothing; or
// deflated at zlib's fastest level.

#include <SDL.h>

#include <string>

namespace importer {

// Whether deflating `surface` (RGBA, 4 bytes a pixel) would gain little:
// a sample of its rows, spread over the image, deflated at zlib's fastest
// level, keeps more than three quarters of its size (tile art keeps a
// fifth to two fifths; noise, with its alpha all opaque, near nine tenths).
bool BarelyCompresses(const SDL_Surface* surface);

// Writes `surface` (RGBA) to `path` as an 8-bit RGBA PNG with its pixels
// stored. False, with SDL's error set, when the file can't be written.
bool WriteStoredPng(const SDL_Surface* surface, const std::string& path);

// The same, for the overview: each band of 32 rows deflated at zlib's
// fastest level after each row's "Sub" filter (a smooth picture in a
// fraction of its size, several times faster than SDL_image's level 6), or
// stored where that would cut it by less than 30 % (noisy pictures: the
// overview of a map of small random tiles, deflated, keeps three quarters
// of its size at ten times the time of storing it).
bool WriteQuickPng(const SDL_Surface* surface, const std::string& path);

// final.png. A small one (fewer rows than BarelyCompresses samples) as
// SDL_image writes it, at zlib's level 6 with libpng's filters: a few
// milliseconds. A large one stored when its blocks barely compress; else
// deflated at zlib's fastest level looking for repeats, its rows
// unfiltered or after the Sub filter, whichever makes the sample the
// smaller: tile art mostly repeats the rows of its tiles from block to
// block, which deflate finds best unfiltered; smooth art shrinks after
// Sub. On a world of tile art of 21,000 blocks that is seven times quicker
// than level 6, and a tenth smaller (other maps: up to a seventh larger).
bool WriteTilesetPng(const SDL_Surface* surface, const std::string& path);

}  // namespace importer
