// Chart-like tile pictures for round trips, benchmarks and fuzz seeds: large
// uniform sea and land areas banded by depth, one-pixel contour and coast
// lines, straight leading lines and small text, and for some seeds a
// transparent area beyond the chart's border. Deterministic for a seed on
// every platform.
#pragma once

#include <cstdint>
#include <vector>

#include "VmGraphics.h"

// 65536 pixels in raster order; alpha is 0xFF or 0.
std::vector<TColor32> MakeChartLikeTile(uint32_t Seed);
