// Reads a chart's tiles as the tile loader does (the active pair, with alpha)
// and hands them out as 8-bit RGBA bytes, for tools that write pictures. One
// reader keeps the chart file open, so a whole level reads without reopening
// it for every tile.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "VmGraphics.h"
#include "VmNKFCharts.h"

class TBufferedFileStream;

class TNKFTileReader {
public:
  explicit TNKFTileReader(const TNKFChart &Chart);
  ~TNKFTileReader();
  TNKFTileReader(const TNKFTileReader &) = delete;
  TNKFTileReader &operator=(const TNKFTileReader &) = delete;

  // Tile Index (below the chart's TileCount, else ENKFChartError) as 256 x 256
  // pixels in RGBA byte order, colours as decoded, alpha 0 or 255. Valid until
  // the next call.
  const std::vector<uint8_t> &ReadRGBA(uint32_t Index);

private:
  const TNKFChart &FChart;
  std::unique_ptr<TBufferedFileStream> FStream;
  TBitmap32 FBitmap;
  std::vector<uint8_t> FRGBA;
};

// The tile of a level at tile column TileX and tile row TileY. Tiles are
// numbered row by row from the top left within a level.
uint32_t NKFLevelTileNumber(const TNKFLevel &Level, uint32_t TileX, uint32_t TileY);
