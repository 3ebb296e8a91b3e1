// Decoder of chart tiles: the palette-and-run-length code over 16 x 16 pixel
// blocks that turns one tile's bytes into a 256 x 256 surface with a one-bit
// transparency mask. Bytes to pixels only: the caller supplies the bytes (or a
// stream positioned at them) and the surface.
//
// Malformed data never makes the decoder read past the tile's bytes or write
// outside the surface: it stops at the first fault, clears the surface to 0
// (so nothing half-decoded can pass for a tile) and raises ENKFChartError
// naming the fault.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "Classes.h"
#include "VmGraphics.h"
#include "VmNKFErrors.h"

constexpr int32_t NKF2TileSize = 256;   // pixels on each side of a tile
constexpr int32_t NKF2BlockSize = 16;   // pixels on each side of a block
constexpr int32_t NKF2BlocksPerSide = NKF2TileSize / NKF2BlockSize;
constexpr int32_t NKF2BlockPixels = NKF2BlockSize * NKF2BlockSize;
constexpr int32_t NKF2TilePixels = NKF2TileSize * NKF2TileSize;
constexpr int32_t NKF2BlockCount = NKF2BlocksPerSide * NKF2BlocksPerSide;

// Block modes. 1..253 are block palettes of that many colours.
constexpr uint8_t NKF2ModeUniform = 0;
constexpr uint8_t NKF2ModeMaxPalette = 253;
constexpr uint8_t NKF2ModeRuns = 254;
constexpr uint8_t NKF2ModeRaw = 255;

// Packed runs: a kind bit (0 literal, 1 repeat) and 8 bits of length - 1.
constexpr int NKF2RunLengthBits = 8;
// Alpha runs: bit 15 marks an opaque run; its count 0 stands for 65536.
constexpr uint16_t NKF2AlphaOpaque = 0x8000;
constexpr uint16_t NKF2AlphaCountMask = 0x7FFF;

// No well-formed tile comes near this: the largest global palette, every
// block raw at 16 bits an index and single-pixel alpha runs stay below 1 MiB.
// A chart that claims more is corrupt, and is refused before any allocation.
constexpr int32_t NKF2MaxTileByteCount = 4 * 1024 * 1024;

// Entry k is the number of binary digits of k (entry 0 is 1): the width of
// an index that can address k + 1 values. Built when the unit is initialised.
extern const std::array<uint32_t, 65536> &TileBitWidths;

// Reads ByteCount bytes from Stream in one read and decodes them into Bitmap,
// which must be 256 x 256. With alpha the tile's alpha runs set the opaque
// pixels and the draw mode becomes blend; without, every pixel is opaque and
// the draw mode opaque. The stream is left after the bytes read.
void DecodeTile(TStream &Stream, TBitmap32 &Bitmap, bool WithAlpha, int32_t ByteCount);

// The same decode over bytes already in memory; Count plays ByteCount's part.
void DecodeTileData(const uint8_t *Data, size_t Count, TBitmap32 &Bitmap, bool WithAlpha);
