#pragma once

// Draws every loaded layer, slot 0 first, for the current camera: each
// visible cell's tile is copied from the tileset to its place in the
// 1280 x 720 view. Only reads the layer table and the camera.
void DrawMap();
