#include "VmGraphics.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string>

namespace {

// The largest pixel count of a surface; see CanHold. new[] refuses arrays of
// more than PTRDIFF_MAX bytes, the 32-bit program's 0x1FFFFFFF pixels.
constexpr uint64_t MaxSurfacePixels =
    std::min<uint64_t>(std::numeric_limits<ptrdiff_t>::max() / sizeof(TColor32),
                       std::numeric_limits<uint32_t>::max() / sizeof(TColor32));

std::string SizeText(int32_t Width, int32_t Height) {
  return std::to_string(Width) + " x " + std::to_string(Height) + " pixels";
}

} // namespace

bool TBitmap32::CanHold(int32_t Width, int32_t Height) {
  return Width >= 0 && Height >= 0 &&
         static_cast<uint64_t>(Width) * static_cast<uint64_t>(Height) <= MaxSurfacePixels;
}

void TBitmap32::Allocate(int32_t NewWidth, int32_t NewHeight) {
  if (NewWidth < 0 || NewHeight < 0)
    throw EGraphicsError("TBitmap32.SetSize: Negative width or height");
  if (!CanHold(NewWidth, NewHeight))
    throw EGraphicsError("TBitmap32.SetSize: Surface too large (" + SizeText(NewWidth, NewHeight) + ")");
  if (NewWidth == 0 || NewHeight == 0) {
    NewWidth = 0;
    NewHeight = 0;
  }
  const size_t count = static_cast<size_t>(NewWidth) * static_cast<size_t>(NewHeight);
  // The old pixels go first: a surface being replaced by a larger one must
  // not need room for both.
  FBits.reset();
  FCount = 0;
  FWidth = 0;
  FHeight = 0;
  if (count == 0)
    return;
  // Default-initialised: the caller decides whether the pixels are written.
  FBits.reset(new (std::nothrow) TColor32[count]);
  if (!FBits)
    throw EGraphicsError("TBitmap32.SetSize: Not enough memory for " + SizeText(NewWidth, NewHeight));
  FCount = count;
  FWidth = NewWidth;
  FHeight = NewHeight;
}

void TBitmap32::SetSize(int32_t NewWidth, int32_t NewHeight) {
  Allocate(NewWidth, NewHeight);
  Clear(0);
}

void TBitmap32::SetSizeForOverwrite(int32_t NewWidth, int32_t NewHeight) { Allocate(NewWidth, NewHeight); }

TColor32 *TBitmap32::ScanLine(int32_t Y) {
  Assert(Y >= 0 && Y < FHeight, "TBitmap32.ScanLine: Row out of range", "VmLib\\VmGraphics", __LINE__);
  return FBits.get() + static_cast<size_t>(Y) * static_cast<size_t>(FWidth);
}

const TColor32 *TBitmap32::ScanLine(int32_t Y) const {
  Assert(Y >= 0 && Y < FHeight, "TBitmap32.ScanLine: Row out of range", "VmLib\\VmGraphics", __LINE__);
  return FBits.get() + static_cast<size_t>(Y) * static_cast<size_t>(FWidth);
}

void TBitmap32::Clear(TColor32 Color) { std::fill(FBits.get(), FBits.get() + FCount, Color); }
