// DecodeTile over arbitrary bytes, with and without alpha. Beyond not
// crashing: a refused tile must leave every pixel 0, never a part-decoded
// picture.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "VmNKF2Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TBitmap32 *const bitmap = [] {
    auto *b = new TBitmap32;
    b->SetSize(NKF2TileSize, NKF2TileSize);
    return b;
  }();
  static const std::vector<TColor32> cleared(NKF2TilePixels, 0);
  for (bool withAlpha : {true, false}) {
    try {
      DecodeTileData(data, size, *bitmap, withAlpha);
    } catch (const ENKFChartError &) {
      if (std::memcmp(bitmap->Bits(), cleared.data(), cleared.size() * sizeof(TColor32)) != 0)
        std::abort();
    }
  }
  return 0;
}
