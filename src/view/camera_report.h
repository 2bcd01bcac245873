#pragma once

#include <cstdint>

// Tells the page where the view is, so that its address can follow it: in
// the browser, Module["onCamera"](x, y, z) when the page has set it (the
// camera and the zoom step), after the first drawn frame and after each one
// whose camera or zoom changed. Elsewhere nothing is called.

// Whether the camera at (x, y) at zoom step `step` is news: true the first
// time and whenever any of them differs from the last view reported.
bool CameraIsNews(int32_t x, int32_t y, int step);

// Reports the process-wide camera and zoom step if they are news.
void ReportCamera();
