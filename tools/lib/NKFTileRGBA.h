// A chart's tile as RGBA bytes, for the chart tools.
#pragma once

#include <cstdint>
#include <vector>

#include "VmNKFCharts.h"

// Tile Index (below the chart's TileCount) decoded as the tile loader does
// it, so the same sizes and bytes are refused with the same messages.
// Returns 256 x 256 RGBA bytes, colours as decoded, alpha 0 or 255.
std::vector<uint8_t> DecodeTileRGBA(const TNKFChart &Chart, uint32_t Index);
