#pragma once

#include <SDL.h>

#include <string>

// Decodes the image file at `path` into a texture of `renderer`. Never
// returns null: on failure it throws std::runtime_error whose message is
// "Failed to load image: ", the path and the library's error text.
SDL_Texture* LoadTexture(std::string path);
