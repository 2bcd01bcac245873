#pragma once

#include <SDL.h>

// Finding the way around a map with M, the mouse and touch, switched on by
// a view file that names an overview or a start (without one the frame loop
// never hands events here):
// - a press of M shows the overview (when one is loaded) and a press again
//   returns to the map where it was;
// - on the overview a left click, or Enter at the pointer, moves the camera
//   to the map point there and returns to the map;
// - on the map, the left button held drags the map with the pointer, pixel
//   for pixel;
// - + (= and keypad + too) and - (keypad -) zoom in and out a step about
//   the middle of the window, 0 goes back to 1:1 there, and the wheel zooms
//   a step a notch about the pointer (view/zoom.h);
// - on a touch screen one finger drags the map as the mouse does, and two
//   pinch: a step in or out about the point between them each time their
//   distance has grown or shrunk by 2^(1/4) since the last step; a tap on
//   the overview is a click. The mouse events the platform makes from the
//   touches are left out, so that nothing moves twice.
// The camera moves by the arrows as ever, whatever shows.

extern bool navigationOn;

// Acts on one event from the queue.
void HandleNavigationEvent(const SDL_Event& event);

// Forgets a drag or a pinch in progress and returns to the map at 1:1 (for a new view).
void ResetNavigation();
