#pragma once

#include <cstdint>
#include <string>

// The width and height of a PNG file from its header, or false for any other
// file (left to SDL_image): a picture too large to hold can be refused before
// it is decoded.
bool PngSize(const std::string& path, int64_t& width, int64_t& height);
