#pragma once
// A region of an imported picture as an animation that loops seamlessly:
// its frames are the moments where anything in the region changes, over one
// common cycle of the animations in it (or a length asked for), each shown
// for exactly as long as the viewer shows it.

#include <cstdint>
#include <optional>
#include <string>

#include "import/compose/composer.h"
#include "import/write/picture.h"

namespace importer {

struct AnimationRequest {
  std::string file;                    // OUT.webp or OUT.gif
  std::optional<PictureRegion> region;  // default: the whole picture up to 1920 × 1080, else the opening view
  int64_t milliseconds = 0;            // the loop's length; 0: the animations' common cycle, at most 30 s
};

struct AnimationSummary {
  PictureRegion region;
  int frames = 0;
  int64_t milliseconds = 0;  // the loop's length
};

// Checks the request before anything is composed: the output's extension.
// Throws ImportError.
void CheckAnimationFile(const std::string& file);

// Writes the request's file whole or not at all (under a temporary name,
// then renamed). Throws ImportError for a region outside the picture or too
// large for the format.
AnimationSummary WriteAnimation(const Composition& composition, const AnimationRequest& request);

}  // namespace importer
