#include "view/camera_report.h"

#include "shared/globals.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

EM_JS(void, CallOnCamera, (int x, int y), {
  if (Module["onCamera"]) Module["onCamera"](x, y);
});
#endif

namespace {

bool reported = false;
int32_t reportedX = 0;
int32_t reportedY = 0;

}  // namespace

bool CameraIsNews(int32_t x, int32_t y) {
  if (reported && x == reportedX && y == reportedY) return false;
  reported = true;
  reportedX = x;
  reportedY = y;
  return true;
}

void ReportCamera() {
  if (!CameraIsNews(cameraX, cameraY)) return;
#ifdef __EMSCRIPTEN__
  CallOnCamera(cameraX, cameraY);
#endif
}
