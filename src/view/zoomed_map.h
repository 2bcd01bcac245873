#pragma once

// Draws every loaded layer as DrawMap does, zoomed in by the zoom in play
// (view/zoom.h): each cell copied whole into the window rectangle between
// its map edges' window pixels, its pixels sampled nearest, so that each map
// pixel is a crisp block and neighbouring cells meet with no gap and no
// overlap. DrawMap hands over to it at any zoom but 1:1; zoomed out past
// the first step it draws the nearest of the scaled-down levels instead
// (view/zoom_levels.h).
void DrawZoomedMap();
