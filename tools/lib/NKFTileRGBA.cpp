#include "NKFTileRGBA.h"

#include <memory>

#include "VmGraphics.h"
#include "VmNKF2TileManager.h"

std::vector<uint8_t> DecodeTileRGBA(const TNKFChart &Chart, uint32_t Index) {
  TNKFTileEntry entry;
  Chart.GetTileEntry(Index, entry);
  const std::unique_ptr<TBitmap32> bitmap = LoadChartTile(Chart.FileName, entry, false);
  std::vector<uint8_t> rgba;
  rgba.reserve(bitmap->PixelCount() * 4);
  for (size_t i = 0; i < bitmap->PixelCount(); ++i) {
    const TColor32 c = bitmap->Bits()[i];
    rgba.push_back(static_cast<uint8_t>(c >> 16));
    rgba.push_back(static_cast<uint8_t>(c >> 8));
    rgba.push_back(static_cast<uint8_t>(c));
    rgba.push_back(static_cast<uint8_t>(c >> 24));
  }
  return rgba;
}
