/* Preloaded into the Linux viewer by the end-to-end tests: counts the
   windows and renderers made and destroyed and whether SDL was shut down,
   and as the process ends writes on standard error what is still alive.
   A renderer left alive is torn down by the platform's own exit, which under
   Wine races the renderer's thread and can crash: every way the viewer ends
   by itself (quitting or a start-up failure) must have released it all. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>

static int liveWindows;
static int liveRenderers;
static int sdlStarted;

#define NEXT(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))

int SDL_Init(Uint32 flags) {
  int result = NEXT(SDL_Init)(flags);
  if (result == 0) sdlStarted = 1;
  return result;
}

void SDL_Quit(void) {
  NEXT(SDL_Quit)();
  sdlStarted = 0;
}

SDL_Window* SDL_CreateWindow(const char* title, int x, int y, int w, int h, Uint32 flags) {
  SDL_Window* window = NEXT(SDL_CreateWindow)(title, x, y, w, h, flags);
  if (window != NULL) ++liveWindows;
  return window;
}

void SDL_DestroyWindow(SDL_Window* window) {
  if (window != NULL) --liveWindows;
  NEXT(SDL_DestroyWindow)(window);
}

SDL_Renderer* SDL_CreateRenderer(SDL_Window* window, int index, Uint32 flags) {
  SDL_Renderer* renderer = NEXT(SDL_CreateRenderer)(window, index, flags);
  if (renderer != NULL) ++liveRenderers;
  return renderer;
}

void SDL_DestroyRenderer(SDL_Renderer* renderer) {
  if (renderer != NULL) --liveRenderers;
  NEXT(SDL_DestroyRenderer)(renderer);
}

__attribute__((destructor)) static void ReportWhatIsAlive(void) {
  if (liveWindows != 0 || liveRenderers != 0 || sdlStarted)
    fprintf(stderr, "still alive at exit: renderers %d, windows %d, SDL %s\n", liveRenderers, liveWindows,
            sdlStarted ? "not shut down" : "shut down");
}
