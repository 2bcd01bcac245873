/* Preloaded into the viewer by the end-to-end tests: window creation fails
   with a known error text, as it would on a display that refuses windows. */
#include <SDL.h>

SDL_Window* SDL_CreateWindow(const char* title, int x, int y, int w, int h, Uint32 flags) {
  (void)title, (void)x, (void)y, (void)w, (void)h, (void)flags;
  SDL_SetError("window creation refused by the test");
  return NULL;
}
