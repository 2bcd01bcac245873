#pragma once

#include <SDL.h>

#include <cstdint>

// The process-wide state the shell and the drawing both use, below either of
// them. The library handles, owned by main for the life of the program; all
// are null until start-up creates them.
extern SDL_Window* window;
extern SDL_Renderer* renderer;
extern SDL_Texture* tileset;

// The map-pixel point shown at the centre of the view. Only the update step
// writes it and only the map drawing reads it; it has no bounds.
extern int32_t cameraX;
extern int32_t cameraY;

constexpr int32_t kCameraStartX = 2000;
constexpr int32_t kCameraStartY = 2100;
