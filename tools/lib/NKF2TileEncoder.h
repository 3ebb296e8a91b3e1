// Tile encoder for fixtures and benchmarks: the exact inverse of the tile
// decoder. It can write every block mode in both forms (with and without a
// global palette) and the alpha runs, and its writer is open for hand-made
// (and deliberately broken) tiles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "SysUtils.h"
#include "VmGraphics.h"

VM_DECLARE_EXCEPTION(ENKF2EncodeError, Exception);

// Byte and bit output laid out as the decoder reads it: bytes in order, bits
// least significant first into little-endian 32-bit words. A word is emitted
// once it is full or when the bits are flushed, with its unused high bits 0.
class TNKF2TileWriter {
public:
  void WriteByte(uint8_t Value);
  void WriteWord(uint16_t Value);
  // The low 24 bits as blue, green, red.
  void WriteColorBytes(TColor32 Color);
  // Width 1..32; bits of Value above Width must be 0.
  void WriteBits(uint32_t Value, uint32_t Width);
  // Emits a partly filled word. Bytes must not be written while one is open.
  void FlushBits();
  // Bits written so far, counting an open word's bits but not its padding.
  uint64_t BitCount() const { return uint64_t{FBytes.size()} * 8 + FFilled; }
  const std::vector<uint8_t> &Bytes() const { return FBytes; }

private:
  std::vector<uint8_t> FBytes;
  uint64_t FPending = 0; // bits of the open word, the first lowest
  uint32_t FFilled = 0;  // bits in the open word
  void EmitWord();
};

enum class TNKF2BlockKind {
  Auto,         // the smallest of those that fit the block
  Uniform,      // mode 0: the block has one colour
  BlockPalette, // modes 1..253: one slot per distinct colour, then runs
  Runs,         // mode 254: runs of colours or global indices
  Raw,          // mode 255: one item per pixel
};

struct TNKF2EncodeOptions {
  bool GlobalPalette = false; // one palette of every colour of the tile
  bool WithAlpha = true;      // append the alpha runs
  TNKF2BlockKind Kind = TNKF2BlockKind::Auto;
  // When not empty: one kind per block in block order, overriding Kind.
  std::vector<TNKF2BlockKind> BlockKinds;
};

// Encodes 65536 pixels in raster order. Colours are the low 24 bits; with
// alpha, an alpha byte of 0xFF is opaque and 0 transparent (others raise).
// Raises ENKF2EncodeError when a requested kind cannot hold a block or the
// tile has more colours than a global palette can hold.
std::vector<uint8_t> EncodeNKF2Tile(const TColor32 *Pixels, const TNKF2EncodeOptions &Options);

// The packed runs of one block's 256 items of Width bits: repeat runs for
// three or more equal items, literal runs between them.
void WriteNKF2Runs(TNKF2TileWriter &Writer, const uint32_t *Items, uint32_t Width);

// The alpha runs of 65536 pixels (alpha byte 0xFF opaque, 0 transparent).
void WriteNKF2AlphaRuns(TNKF2TileWriter &Writer, const TColor32 *Pixels);
