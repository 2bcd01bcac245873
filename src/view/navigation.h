#pragma once

#include <SDL.h>

#include <cstdint>

// Finding the way around a map with M and the mouse, switched on by a view
// file that names an overview or a start (without one the frame loop never
// hands events here):
// - a press of M shows the overview (when one is loaded) and a press again
//   returns to the map where it was;
// - on the overview a left click, or Enter at the pointer, moves the camera
//   to the map point there and returns to the map;
// - on the map, the left button held drags the map with the pointer, pixel
//   for pixel.
// The camera moves by the arrows as ever, whatever shows.

extern bool navigationOn;

// Acts on one event from the queue.
void HandleNavigationEvent(const SDL_Event& event);

// Forgets a drag in progress and returns to the map (for a new view).
void ResetNavigation();

// The camera after the pointer moved from (fromX, fromY) to (toX, toY) with
// the map held: the point under the pointer stays under it. Wraps as the
// arrows do, never overflows.
void DragCamera(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, int32_t& x, int32_t& y);
