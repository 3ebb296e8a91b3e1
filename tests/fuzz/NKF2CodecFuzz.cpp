// DecodeTile over arbitrary bytes, with and without alpha. Beyond not
// crashing, a decode either gives a tile whose alpha is all 0 or 0xFF, or
// raises ENKFChartError and leaves every pixel 0.
#include <cstdint>
#include <cstdlib>

#include "VmNKF2Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static TBitmap32 *const bitmap = [] {
    auto *b = new TBitmap32;
    b->SetSize(NKF2TileSize, NKF2TileSize);
    return b;
  }();
  for (bool withAlpha : {true, false}) {
    bool failed = false;
    try {
      DecodeTileData(data, size, *bitmap, withAlpha);
    } catch (const ENKFChartError &) {
      failed = true;
    }
    for (size_t i = 0; i < bitmap->PixelCount(); ++i) {
      const TColor32 p = bitmap->Bits()[i];
      if (failed ? p != 0 : (p >> 24 != 0 && p >> 24 != 0xFF))
        std::abort();
    }
  }
  return 0;
}
