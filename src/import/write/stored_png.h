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

}  // namespace importer
