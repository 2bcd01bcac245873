#pragma once

#include <cstdint>

// Tells the page where the camera is, so that its address can follow the
// view: in the browser, Module["onCamera"](x, y) when the page has set it,
// after the first drawn frame and after each one whose camera moved.
// Elsewhere nothing is called.

// Whether the camera at (x, y) is news: true the first time and whenever it
// differs from the last camera reported.
bool CameraIsNews(int32_t x, int32_t y);

// Reports the process-wide camera if it is news.
void ReportCamera();
