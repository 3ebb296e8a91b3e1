// The RLE4 and RLE8 line readers over arbitrary codes, into a destination of
// a size the input picks: three header bytes choose the reader, the line
// length (0 to 2047 bytes) and the line count (1 to 16), the rest is the
// stream. The destination is exactly that large, on the heap, so any write
// past it is a sanitizer report. The library's exceptions are the expected
// outcome of bad codes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Classes.h"
#include "VmGraphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3)
    return 0;
  const bool rle4 = data[0] & 1;
  const int32_t lineLength = (data[0] >> 1 & 7) << 8 | data[1];
  const int32_t lineCount = data[2] % 16 + 1;
  std::vector<uint8_t> dest(static_cast<size_t>(lineLength) * static_cast<size_t>(lineCount));
  TMemoryStream codes(std::vector<uint8_t>(data + 3, data + size));
  try {
    if (rle4)
      ScanlineReadRLE4(codes, dest.data(), lineLength, lineCount);
    else
      ScanlineReadRLE8(codes, dest.data(), lineLength, lineCount);
  } catch (const Exception &) {
  }
  return 0;
}
