#pragma once

#include <SDL.h>

#include <cstdint>

constexpr Uint32 kUpdateStepMs = 10;
constexpr Uint32 kMaxUpdateStepsPerFrame = 5;
constexpr int32_t kCameraStepPixels = 5;

// Runs the fixed 10 ms update steps that the accumulator holds, at most five,
// each moving the camera by the held arrow keys and setting `quit` on Esc or Q.
// Each step also moves the animations' clock on by 10 ms.
// `keys` is a keyboard snapshot indexed by scancode. Returns the steps run;
// their time is taken out of the accumulator, the rest stays for later frames.
Uint32 RunUpdateSteps(const Uint8* keys, Uint32& accumulator, bool& quit);

// The running phase of the program: one frame per pass until the user quits.
void RunFrameLoop();
