#include "NKFTileReader.h"

#include <string>

#include "VmFileIO.h"
#include "VmNKF2Codec.h"
#include "VmNKF2TileManager.h"

TNKFTileReader::TNKFTileReader(const TNKFChart &Chart)
    : FChart(Chart), FStream(std::make_unique<TBufferedFileStream>(Chart.FileName, fmOpenRead | fmShareDenyWrite, 32768)) {
  FBitmap.SetSize(NKF2TileSize, NKF2TileSize);
  FRGBA.resize(static_cast<size_t>(NKF2TilePixels) * 4);
}

TNKFTileReader::~TNKFTileReader() = default;

const std::vector<uint8_t> &TNKFTileReader::ReadRGBA(uint32_t Index) {
  if (Index >= FChart.TileCount)
    throw ENKFChartError("TNKFTileReader.ReadRGBA: Tile " + std::to_string(Index) + " is not below TileCount (" +
                         std::to_string(FChart.TileCount) + ")");
  TNKFTileEntry entry;
  FChart.GetTileEntry(Index, entry);
  // As the tile loader reads it, so the same sizes are refused with the same
  // messages.
  DecodeChartTile(*FStream, entry, FBitmap);
  uint8_t *out = FRGBA.data();
  const TColor32 *bits = FBitmap.Bits();
  for (size_t i = 0; i < FBitmap.PixelCount(); ++i) {
    const TColor32 c = bits[i];
    *out++ = static_cast<uint8_t>(c >> 16);
    *out++ = static_cast<uint8_t>(c >> 8);
    *out++ = static_cast<uint8_t>(c);
    *out++ = static_cast<uint8_t>(c >> 24);
  }
  return FRGBA;
}

uint32_t NKFLevelTileNumber(const TNKFLevel &Level, uint32_t TileX, uint32_t TileY) {
  return Level.FirstTile + TileY * Level.TilesX + TileX;
}
