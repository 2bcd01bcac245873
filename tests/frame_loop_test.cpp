#include <gtest/gtest.h>

#include <array>

#include "app/frame_loop.h"
#include "shared/globals.h"
#include "software_canvas.h"
#include "view/view.h"

namespace {

class UpdateSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    keys.fill(0);
    cameraX = kCameraStartX;
    cameraY = kCameraStartY;
  }
  void Hold(SDL_Scancode key) { keys[key] = 1; }
  Uint32 Run(Uint32& accumulator) { return RunUpdateSteps(keys.data(), accumulator, quit); }

  std::array<Uint8, SDL_NUM_SCANCODES> keys{};
  bool quit = false;
};

TEST_F(UpdateSteps, ALongFrameRunsFiveStepsAndKeepsTheRest) {
  Hold(SDL_SCANCODE_RIGHT);
  Uint32 accumulator = 120;
  EXPECT_EQ(Run(accumulator), 5u);
  EXPECT_EQ(accumulator, 70u);
  EXPECT_EQ(cameraX, kCameraStartX + 25);

  // The kept time is worked off by the following frames, five steps at most.
  EXPECT_EQ(Run(accumulator), 5u);
  EXPECT_EQ(accumulator, 20u);
  EXPECT_EQ(Run(accumulator), 2u);
  EXPECT_EQ(accumulator, 0u);
  EXPECT_EQ(cameraX, kCameraStartX + 60);
}

TEST_F(UpdateSteps, LessThanOneStepRunsNothingSoEscapeIsNotSeen) {
  Hold(SDL_SCANCODE_ESCAPE);
  Hold(SDL_SCANCODE_UP);
  Uint32 accumulator = 9;
  EXPECT_EQ(Run(accumulator), 0u);
  EXPECT_EQ(accumulator, 9u);
  EXPECT_FALSE(quit);
  EXPECT_EQ(cameraY, kCameraStartY);

  accumulator += 1;  // the next frame reaches a whole step
  EXPECT_EQ(Run(accumulator), 1u);
  EXPECT_TRUE(quit);
}

TEST_F(UpdateSteps, EachArrowMovesFivePixelsPerStep) {
  struct Case {
    SDL_Scancode key;
    int32_t dx;
    int32_t dy;
  };
  for (const Case& c : {Case{SDL_SCANCODE_UP, 0, -5}, Case{SDL_SCANCODE_DOWN, 0, 5},
                        Case{SDL_SCANCODE_LEFT, -5, 0}, Case{SDL_SCANCODE_RIGHT, 5, 0}}) {
    SetUp();
    Hold(c.key);
    Uint32 accumulator = 30;
    Run(accumulator);
    EXPECT_EQ(cameraX, kCameraStartX + 3 * c.dx) << SDL_GetScancodeName(c.key);
    EXPECT_EQ(cameraY, kCameraStartY + 3 * c.dy) << SDL_GetScancodeName(c.key);
  }
}

TEST_F(UpdateSteps, OppositeKeysCancel) {
  Hold(SDL_SCANCODE_UP);
  Hold(SDL_SCANCODE_DOWN);
  Hold(SDL_SCANCODE_LEFT);
  Hold(SDL_SCANCODE_RIGHT);
  Uint32 accumulator = 50;
  EXPECT_EQ(Run(accumulator), 5u);
  EXPECT_EQ(cameraX, kCameraStartX);
  EXPECT_EQ(cameraY, kCameraStartY);
}

TEST_F(UpdateSteps, TheRestOfTheFrameStillRunsAfterQuitIsAsked) {
  Hold(SDL_SCANCODE_Q);
  Hold(SDL_SCANCODE_DOWN);
  Uint32 accumulator = 40;
  EXPECT_EQ(Run(accumulator), 4u);
  EXPECT_TRUE(quit);
  EXPECT_EQ(cameraY, kCameraStartY + 20);
}

TEST_F(UpdateSteps, OtherKeysChangeNothing) {
  Hold(SDL_SCANCODE_SPACE);
  Hold(SDL_SCANCODE_W);
  Uint32 accumulator = 50;
  Run(accumulator);
  EXPECT_FALSE(quit);
  EXPECT_EQ(cameraX, kCameraStartX);
  EXPECT_EQ(cameraY, kCameraStartY);
}

TEST_F(UpdateSteps, TheCameraLeavesAnyBoundsFreely) {
  Hold(SDL_SCANCODE_UP);
  Hold(SDL_SCANCODE_LEFT);
  cameraX = 3;
  cameraY = 0;
  Uint32 accumulator = 50;
  Run(accumulator);
  EXPECT_EQ(cameraX, -22);
  EXPECT_EQ(cameraY, -25);

  // Even at the ends of its range it keeps moving instead of overflowing.
  cameraX = INT32_MIN + 2;
  accumulator = 10;
  Run(accumulator);
  EXPECT_EQ(cameraX, INT32_MAX - 2);
}

// The animations' clock is the time the update steps have run since the
// first frame, not since SDL started: after a slow start-up the first
// picture still shows every animation's first frame.
TEST(FrameLoop, TheFirstPictureShowsTheFirstFramesAfterASlowStart) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
  SoftwareCanvas canvas;
  viewClockMs = 0;
  UseAnimations({MakeAnimation(1, {{2, 60}, {3, 0}})});  // 2 for 60 ms, then 3 for good
  while (SDL_GetTicks() <= 60) SDL_Delay(1);  // start-up takes longer than that
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  RunFrameLoop();  // one frame: the one that saw the request
  EXPECT_LE(viewClockMs, 50u);  // five steps at most
  EXPECT_EQ(ShownValue(1), 2);
  UseAnimations({});
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

}  // namespace
