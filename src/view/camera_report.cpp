#include "view/camera_report.h"

#include "shared/globals.h"
#include "view/zoom.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

EM_JS(void, CallOnCamera, (int x, int y, int z), {
  if (Module["onCamera"]) Module["onCamera"](x, y, z);
});
#endif

namespace {

bool reported = false;
int32_t reportedX = 0;
int32_t reportedY = 0;
int reportedStep = 0;

}  // namespace

bool CameraIsNews(int32_t x, int32_t y, int step) {
  if (reported && x == reportedX && y == reportedY && step == reportedStep) return false;
  reported = true;
  reportedX = x;
  reportedY = y;
  reportedStep = step;
  return true;
}

void ReportCamera() {
  if (!CameraIsNews(cameraX, cameraY, zoom.step)) return;
#ifdef __EMSCRIPTEN__
  CallOnCamera(cameraX, cameraY, zoom.step);
#endif
}
