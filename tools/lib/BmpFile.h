// Indexed BMP files (4 or 8 bits per pixel; uncompressed, RLE4 or RLE8) for
// the scanline tests and benchmarks: a writer whose RLE8 lines come from the
// library's ScanlineWriteRLE8 and whose RLE4 lines from EncodeRLE4Line here
// (the library has no RLE4 writer), and a reader that decodes a file line by
// line through the library's scanline readers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "VmGraphics.h"

struct TIndexedImage {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Palette; // 0x00RRGGBB
  std::vector<uint8_t> Pixels;   // one index per pixel, top row first
};

// One line of 4-bit indices (one per byte) as BMP RLE4 codes ending in the
// end-of-line code: alternating runs of 4 or more pixels encoded, other
// stretches of 3 or more absolute, shorter leftovers as runs of 1 or 2.
std::string EncodeRLE4Line(const uint8_t *Indices, int32_t Count);

// The whole file. BitCount 4 or 8; RLE4 needs 4, RLE8 needs 8.
std::string WriteIndexedBmp(const TIndexedImage &Image, int BitCount, TBitmapCompression Compression);

struct TBmpHeader {
  int32_t Width = 0;
  int32_t Height = 0; // positive: rows stored bottom-up
  uint16_t BitCount = 0;
  TBitmapCompression Compression = TBitmapCompression::bcNone;
  uint32_t DataOffset = 0;
  std::vector<uint32_t> Palette;
  // Bytes of a stored (uncompressed) row, and so of one destination line.
  int32_t Stride() const { return (Width * BitCount + 31) / 32 * 4; }
};

// Raises EGraphicsError for what is not an indexed bottom-up BMP.
TBmpHeader ReadBmpHeader(const std::string &File);

// The file's pixels, read line by line with the library's readers for its
// compression, widened to one index per pixel. Lines below an early
// end-of-bitmap code stay 0.
TIndexedImage DecodeIndexedBmp(const std::string &File);
