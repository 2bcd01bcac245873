#pragma once
// A PNG file whose pixels are stored, not compressed: for a tileset whose
// blocks don't compress (noise, photographs), where deflating them takes
// many times longer than reading the map and gains nothing.

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

}  // namespace importer
