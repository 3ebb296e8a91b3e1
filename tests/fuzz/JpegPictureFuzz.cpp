// The JPEG picture loader over arbitrary bytes, through a memory stream.
// Refusals (the library's exceptions, with libjpeg's words) are the expected
// outcome of bad input, and a refused picture must leave an empty surface; a
// crash, a sanitizer report, a part-decoded surface or a runaway allocation
// is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Classes.h"
#include "VmGraphics.h"

extern "C" const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

namespace {

// Whether a frame header anywhere in the bytes claims a picture that the
// surface can hold but that is too large to decode at fuzzing speed (a valid
// one of that size rightly takes gigabytes). Claims the surface cannot hold
// are kept: the loader must refuse them before allocating anything.
bool ClaimsLargePicture(const uint8_t *Data, size_t Size) {
  constexpr uint64_t FuzzPixelLimit = uint64_t(1) << 22;
  for (size_t i = 0; i + 9 <= Size; ++i) {
    const uint8_t marker = Data[i + 1];
    // SOF0..SOF15, but for DHT (C4), JPG (C8) and DAC (CC).
    if (Data[i] != 0xFF || marker < 0xC0 || marker > 0xCF || marker == 0xC4 || marker == 0xC8 || marker == 0xCC)
      continue;
    const int32_t height = Data[i + 5] << 8 | Data[i + 6], width = Data[i + 7] << 8 | Data[i + 8];
    if (uint64_t(width) * uint64_t(height) > FuzzPixelLimit && TBitmap32::CanHold(width, height))
      return true;
  }
  return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  if (ClaimsLargePicture(Data, Size))
    return 0;
  TMemoryStream stream(std::vector<uint8_t>(Data, Data + Size));
  TBitmap32 bitmap;
  try {
    LoadJpegPicture(stream, bitmap);
  } catch (const Exception &) {
    if (!bitmap.Empty())
      std::abort();
  }
  return 0;
}
