// 32-bit pixel surfaces. Portable on purpose: the tile codec, the night screen
// and the tile loader only ever need memory they can address row by row, and
// keeping the surface free of device contexts lets all of them be tested
// natively. Blitting to a window is the viewer's business, outside this unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "SysUtils.h"

VM_DECLARE_EXCEPTION(EGraphicsError, Exception);

// 0xAARRGGBB; in memory the bytes lie blue, green, red, alpha.
using TColor32 = uint32_t;

// How a surface is combined with what lies beneath it when drawn: copied,
// blended by its own alpha, or through the surface's OnPixelCombine.
enum class TDrawMode { dmOpaque, dmBlend, dmCustom };

// Combines a pixel of the drawn surface (Foreground) into the one beneath it.
using TPixelCombine = std::function<void(TColor32 Foreground, TColor32 &Background)>;

// How a surface is sampled when drawn at another size.
enum class TResamplerKind { rkNearest, rkLinear };

class TBitmap32 {
public:
  TBitmap32() = default;
  TBitmap32(const TBitmap32 &) = delete;
  TBitmap32 &operator=(const TBitmap32 &) = delete;

  // Resizes the surface; every pixel becomes 0. Raises EGraphicsError for a
  // negative side or a pixel count that does not fit in memory.
  void SetSize(int32_t NewWidth, int32_t NewHeight);
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }

  // Address of row Y (0 = top); rows follow each other without gaps, so row Y
  // begins Y * Width pixels after row 0.
  TColor32 *ScanLine(int32_t Y);
  const TColor32 *ScanLine(int32_t Y) const;
  TColor32 *Bits() { return FBits.data(); }
  const TColor32 *Bits() const { return FBits.data(); }
  size_t PixelCount() const { return FBits.size(); }

  // Sets every pixel to Color.
  void Clear(TColor32 Color);

  TDrawMode DrawMode() const { return FDrawMode; }
  void SetDrawMode(TDrawMode Value) { FDrawMode = Value; }
  TResamplerKind Resampler() const { return FResampler; }
  void SetResampler(TResamplerKind Value) { FResampler = Value; }

  // Used when the draw mode is dmCustom; a surface without one draws nothing.
  TPixelCombine OnPixelCombine;

private:
  std::vector<TColor32> FBits;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TDrawMode FDrawMode = TDrawMode::dmOpaque;
  TResamplerKind FResampler = TResamplerKind::rkLinear;
};
