// A chart cut at its border by its own transparency: every pixel whose
// centre lies outside the border polygon gets alpha 0, tile by tile, at any
// pyramid level. What a cutline does in a mosaic, without the warper's cost.
#pragma once

#include <vector>

#include "VmGeodetics.h"
#include "VmNKFCharts.h"

// The border polygon at one pyramid level, in that level's pixel corners
// (the full-resolution vertices, which lie on pixel corners, shrunk by the
// level's factor); empty when the chart has no border or Clip is false.
using TNKFClipPolygon = std::vector<TDoublePoint>;
TNKFClipPolygon NKFClipPolygon(const TNKFChart &Chart, int Level, bool Clip);

// Clears the alpha of every pixel of the 256 x 256 RGBA tile at (Left, Top)
// of its level whose centre lies outside Polygon (even-odd rule).
void NKFClipTile(std::vector<uint8_t> &RGBA, int Left, int Top, const TNKFClipPolygon &Polygon);
