#include "NKFTileReader.h"

#include <algorithm>
#include <string>

#include "VmFileIO.h"
#include "VmNKF2Codec.h"

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
  FStream->Seek(entry.ActiveOffset, TSeekOrigin::soBeginning);
  // A size beyond 32 bits must not wrap into a plausible one: the decoder
  // refuses anything outside its range with its own message.
  const int64_t size = std::clamp<int64_t>(entry.ActiveSize, -1, int64_t{NKF2MaxTileByteCount} + 1);
  DecodeTile(*FStream, FBitmap, true, static_cast<int32_t>(size));
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
