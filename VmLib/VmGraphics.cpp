#include "VmGraphics.h"

#include <algorithm>
#include <limits>

void TBitmap32::SetSize(int32_t NewWidth, int32_t NewHeight) {
  if (NewWidth < 0 || NewHeight < 0)
    throw EGraphicsError("TBitmap32.SetSize: Negative width or height");
  const uint64_t count = static_cast<uint64_t>(NewWidth) * static_cast<uint64_t>(NewHeight);
  // The product is the 32-bit program: a surface must fit in its address space.
  if (count > std::numeric_limits<size_t>::max() / sizeof(TColor32) ||
      count > std::numeric_limits<uint32_t>::max() / sizeof(TColor32))
    throw EGraphicsError("TBitmap32.SetSize: Surface too large");
  if (NewWidth == 0 || NewHeight == 0) {
    NewWidth = 0;
    NewHeight = 0;
  }
  FBits.assign(static_cast<size_t>(count), 0);
  FWidth = NewWidth;
  FHeight = NewHeight;
}

TColor32 *TBitmap32::ScanLine(int32_t Y) {
  Assert(Y >= 0 && Y < FHeight, "TBitmap32.ScanLine: Row out of range", "VmLib\\VmGraphics", __LINE__);
  return FBits.data() + static_cast<size_t>(Y) * static_cast<size_t>(FWidth);
}

const TColor32 *TBitmap32::ScanLine(int32_t Y) const {
  Assert(Y >= 0 && Y < FHeight, "TBitmap32.ScanLine: Row out of range", "VmLib\\VmGraphics", __LINE__);
  return FBits.data() + static_cast<size_t>(Y) * static_cast<size_t>(FWidth);
}

void TBitmap32::Clear(TColor32 Color) { std::fill(FBits.begin(), FBits.end(), Color); }
