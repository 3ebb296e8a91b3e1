// 32-bit pixel surfaces. Portable on purpose: the tile codec, the night screen
// and the tile loader only ever need memory they can address row by row, and
// keeping the surface free of device contexts lets all of them be tested
// natively. Blitting to a window is the viewer's business, outside this unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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
  // negative side, a surface larger than CanHold allows, or memory that cannot
  // be had; the message names the size.
  void SetSize(int32_t NewWidth, int32_t NewHeight);
  // The same for a writer that fills every pixel itself (a decoder): the
  // pixels are left as the memory came, so a writer that gives up early has
  // touched only the rows it wrote. The writer must fill or empty the surface.
  void SetSizeForOverwrite(int32_t NewWidth, int32_t NewHeight);
  // Whether a surface of that size fits in the program's address space: at
  // most 0x1FFFFFFF pixels in the 32-bit program (the largest array of 4-byte
  // pixels it can index), 0x3FFFFFFF in a 64-bit one (the surface's byte count
  // stays a 32-bit number, as it is in the file formats). No memory is taken.
  static bool CanHold(int32_t Width, int32_t Height);
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }

  // Address of row Y (0 = top); rows follow each other without gaps, so row Y
  // begins Y * Width pixels after row 0.
  TColor32 *ScanLine(int32_t Y);
  const TColor32 *ScanLine(int32_t Y) const;
  TColor32 *Bits() { return FBits.get(); }
  const TColor32 *Bits() const { return FBits.get(); }
  size_t PixelCount() const { return FCount; }

  // Sets every pixel to Color.
  void Clear(TColor32 Color);

  TDrawMode DrawMode() const { return FDrawMode; }
  void SetDrawMode(TDrawMode Value) { FDrawMode = Value; }
  TResamplerKind Resampler() const { return FResampler; }
  void SetResampler(TResamplerKind Value) { FResampler = Value; }

  // Used when the draw mode is dmCustom; a surface without one draws nothing.
  TPixelCombine OnPixelCombine;

private:
  void Allocate(int32_t NewWidth, int32_t NewHeight);

  std::unique_ptr<TColor32[]> FBits;
  size_t FCount = 0;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TDrawMode FDrawMode = TDrawMode::dmOpaque;
  TResamplerKind FResampler = TResamplerKind::rkLinear;
};

// ---------------------------------------------------------------------------
// Scanlines of device-independent bitmaps (the Windows BMP pixel layouts):
// reading and writing them raw or run-length compressed, and converting a
// line between the nine pixel formats. (VmGraphicsScanlines.cpp)

class TStream;

enum class TScanlineFormat {
  sf1Bit,       // palette index, 8 per byte, leftmost pixel in the top bit
  sf4Bit,       // palette index, 2 per byte, leftmost pixel in the high nibble
  sf8Bit,       // palette index
  sf15Bit,      // 0RRRRRGGGGGBBBBB
  sf15BitAlpha, // ARRRRRGGGGGBBBBB, A = 1 opaque
  sf16Bit,      // RRRRRGGGGGGBBBBB
  sf24Bit,      // bytes blue, green, red
  sf32Bit,      // 0xXXRRGGBB
  sf32BitAlpha  // 0xAARRGGBB
};
constexpr int ScanlineFormatCount = 9;

// Converts Count pixels of one line. Palette: 0x00RRGGBB entries as in a BMP
// colour table; needed only for indexed sources converted to direct colour.
using TScanlineConverter = void (*)(const void *Source, void *Dest, int32_t Count, const uint32_t *Palette);

// Indexed [source][destination]. Pairs with no converter raise
// EGraphicsError "Conversion not supported.".
extern const TScanlineConverter ScanlineConverters[ScanlineFormatCount][ScanlineFormatCount];

inline void ConvertScanline(TScanlineFormat From, TScanlineFormat To, const void *Source, void *Dest,
                            int32_t Count, const uint32_t *Palette) {
  ScanlineConverters[static_cast<int>(From)][static_cast<int>(To)](Source, Dest, Count, Palette);
}

// How a line ended: at the end-of-line code, or at the end-of-bitmap code
// (which also ends the picture). Uncompressed lines always end at their end.
enum class TScanlineEnd { seEndOfLine, seEndOfBitmap };

// Uncompressed lines. StoredLength is the line's length in the stream
// (padding included), WantedLength the destination's: the smaller of the
// two is transferred and the rest of a longer stored line skipped. The
// n-line form advances the destination by WantedLength per line.
void ScanlineReadRaw(TStream &Stream, void *Dest, int32_t StoredLength, int32_t WantedLength);
void ScanlineReadRaw(TStream &Stream, void *Dest, int32_t StoredLength, int32_t WantedLength, int32_t LineCount);

// Run-length compressed lines up to the end-of-line or end-of-bitmap code.
// LineLength is the destination line's size in bytes: a run that would
// write past it raises EGraphicsError naming the overrun, as the data comes
// from files. For RLE4 the line holds 2 * LineLength pixels; a pixel fills
// its own nibble and leaves the other as it was. The n-line forms advance
// the destination by LineLength per line and stop after the end-of-bitmap
// code (the lines below it stay as they are).
TScanlineEnd ScanlineReadRLE8(TStream &Stream, void *Dest, int32_t LineLength);
TScanlineEnd ScanlineReadRLE8(TStream &Stream, void *Dest, int32_t LineLength, int32_t LineCount);
TScanlineEnd ScanlineReadRLE4(TStream &Stream, void *Dest, int32_t LineLength);
TScanlineEnd ScanlineReadRLE4(TStream &Stream, void *Dest, int32_t LineLength, int32_t LineCount);

// Writes DataLength bytes, then zero bytes up to StoredLength.
void ScanlineWriteRaw(TStream &Stream, const void *Source, int32_t StoredLength, int32_t DataLength);
// Writes Length bytes as one BMP RLE8 line ending in the end-of-line code:
// runs of 3 or more equal bytes encoded, other stretches of 3 or more as
// absolute runs, shorter leftovers as runs of one or two; counts at most 255.
void ScanlineWriteRLE8(TStream &Stream, const void *Source, int32_t Length);

// The readers and writers by the bitmap's compression, in one shape:
// StoredLength is the stored line's length (uncompressed only), LineLength
// the destination's (reading) or the data's (writing).
enum class TBitmapCompression { bcNone, bcRLE4, bcRLE8 };
constexpr int BitmapCompressionCount = 3;

struct TScanlineCoder {
  TScanlineEnd (*ReadLine)(TStream &Stream, void *Dest, int32_t StoredLength, int32_t LineLength);
  TScanlineEnd (*ReadLines)(TStream &Stream, void *Dest, int32_t StoredLength, int32_t LineLength,
                            int32_t LineCount);
  // RLE4 has none: raises EGraphicsError "RLE4 not implemented.".
  void (*WriteLine)(TStream &Stream, const void *Source, int32_t StoredLength, int32_t LineLength);
};
extern const TScanlineCoder ScanlineCoders[BitmapCompressionCount];

// ---------------------------------------------------------------------------
// JPEG pictures through libjpeg. (VmGraphicsJpeg.cpp)

// Decodes a whole JPEG stream (baseline or progressive; grey or colour) into
// Bitmap, every pixel opaque. Raises EGraphicsError for data that is not a
// JPEG, is damaged or ends early, and for CMYK pictures; Bitmap is then
// empty.
void LoadJpegPicture(TStream &Stream, TBitmap32 &Bitmap);

// Unit initialisation: registers "jpeg" and "jpg" with the toolkit's picture
// formats. Every program that includes this header runs it once at start-up.
bool InitializeGraphicsUnit();
inline const bool GraphicsUnitInitialized = InitializeGraphicsUnit();
