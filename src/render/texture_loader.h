#pragma once

#include <SDL.h>

#include <string>

// Decodes the image file at `path` once and makes it into textures of
// `renderer`: one texture, returned, when the renderer's largest texture
// holds the image (SDL_GetRendererInfo's max_texture_height; 0 means no
// limit), else horizontal bands no taller than that limit, cut on the
// 32-pixel grid, the top one returned and the others put in `tilesetBands`
// (see shared/globals.h). The decoded image is released once the textures
// exist. Never returns null: on failure (no such file, not an image, a
// texture the renderer won't make) it throws std::runtime_error whose message
// is "Failed to load image: ", the path and the library's error text, and
// nothing it made is left. One tileset at a time: ReleaseTileset before
// loading another.
SDL_Texture* LoadTexture(std::string path);

// The same with the tallest texture given instead of asked of the renderer
// (0: no limit). Tests and benchmarks cut small bands with it.
SDL_Texture* LoadTexture(std::string path, int maxTextureHeight);

// Destroys `tileset` and every band below it; the globals are left as before
// a load. Safe to call when nothing is loaded.
void ReleaseTileset();
