#pragma once

#include <new>

#include "map/layer.h"

// Puts the process-wide layer table back as it was before main: every slot
// empty (its cells released) and no layers in use.
inline void ResetLayerTable() {
  for (Layer& slot : layers) {
    slot.~Layer();
    new (&slot) Layer();
  }
  layerCount = 0;
}
