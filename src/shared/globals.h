#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

// The process-wide state the shell and the drawing both use, below either of
// them. The library handles, owned by main for the life of the program; all
// are null until start-up creates them.
extern SDL_Window* window;
extern SDL_Renderer* renderer;
extern SDL_Texture* tileset;

// A tileset image taller than the renderer's largest texture is held as
// horizontal bands, `tilesetBandHeight` rows each (the last one may be
// shorter): `tileset` is the top band and `tilesetBands` the ones below it,
// top first. While one texture holds the whole image, `tileset` is that
// texture, `tilesetBands` is empty and `tilesetBandHeight` is 0. Released
// with `tileset`.
extern std::vector<SDL_Texture*> tilesetBands;
extern int32_t tilesetBandHeight;

// The map-pixel point shown at the centre of the view. Only the update step
// writes it and only the map drawing reads it; it has no bounds.
extern int32_t cameraX;
extern int32_t cameraY;

constexpr int32_t kCameraStartX = 2000;
constexpr int32_t kCameraStartY = 2100;
