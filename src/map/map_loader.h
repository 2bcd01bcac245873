#pragma once

#include <string>

#include "map/layer.h"

// Reads the JSON map file at `path` into the layer table starting at
// `layers`, which has `capacity` slots, and sets layerCount. Problems are
// reported as lines on standard output. Returns false when the file can't be
// parsed, its top level isn't an object, or it has more layers than slots.
bool LoadMap(std::string path, Layer* layers, unsigned capacity);
