#include "shared/globals.h"

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* tileset = nullptr;

int32_t cameraX = kCameraStartX;
int32_t cameraY = kCameraStartY;
