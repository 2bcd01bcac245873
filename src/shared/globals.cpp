#include "shared/globals.h"

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* tileset = nullptr;
std::vector<SDL_Texture*> tilesetBands;
int32_t tilesetBandHeight = 0;

int32_t cameraX = kCameraStartX;
int32_t cameraY = kCameraStartY;
