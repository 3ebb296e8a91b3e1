#include "VmNKF2Codec.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char *const UnitName = "VmLib\\VmNKF2Codec";

std::array<uint32_t, 65536> BitWidthTable;

struct TBitWidthTableInit {
  TBitWidthTableInit() {
    BitWidthTable[0] = 1;
    for (uint32_t k = 1; k < BitWidthTable.size(); ++k) {
      uint32_t digits = 0;
      for (uint32_t v = k; v != 0; v >>= 1)
        ++digits;
      BitWidthTable[k] = digits;
    }
  }
} BitWidthTableInit;

constexpr TColor32 OpaqueAlpha = 0xFF000000;
constexpr int BlockRowStride = NKF2TileSize; // pixels from one row of a block to the next

// Where in the tile the decoder stands, for the message of a truncated tile.
enum class TPart { Header, GlobalPalette, Blocks, AlphaRuns };

// One decode over a bounded byte buffer. Every read checks what is left, so
// no input can move it past Count; every run is checked against its block
// before a pixel is written, so no input can move it off the surface.
class TTileDecoder {
public:
  TTileDecoder(const uint8_t *Data, size_t Count, TColor32 *Pixels)
      : FData(Data), FCount(Count), FPixels(Pixels) {}

  void Decode(bool WithAlpha) {
    FPart = TPart::Header;
    const uint32_t paletteSize = ReadWord();
    FPart = TPart::Blocks;
    if (paletteSize == 0)
      DecodeBlocksWithoutPalette();
    else
      DecodeBlocksWithPalette(paletteSize);
    if (WithAlpha) {
      FPart = TPart::AlphaRuns;
      DecodeAlphaRuns();
    } else {
      for (int p = 0; p < NKF2TilePixels; ++p)
        FPixels[p] |= OpaqueAlpha;
    }
  }

private:
  const uint8_t *FData;
  size_t FCount;
  size_t FPos = 0;
  uint64_t FBitBuffer = 0; // unread bits, the next one lowest
  uint32_t FBitCount = 0;
  TColor32 *FPixels;
  TColor32 *FBlockOrigin = nullptr;
  int FBlock = 0;
  TPart FPart = TPart::Header;
  std::array<TColor32, 256> FBlockPalette{};
  std::vector<TColor32> FGlobalPalette;

  [[noreturn]] void FailTruncated() const {
    switch (FPart) {
    case TPart::Header: throw ENKFChartError("DecodeTile: Tile data ends before the palette size");
    case TPart::GlobalPalette: throw ENKFChartError("DecodeTile: Tile data ends inside the global palette");
    case TPart::Blocks: throw ENKFChartError(Format("DecodeTile: Tile data ends inside block %d", FBlock));
    case TPart::AlphaRuns: break;
    }
    throw ENKFChartError("DecodeTile: Tile data ends inside the alpha runs");
  }

  void Require(size_t Bytes) const {
    if (Bytes > FCount - FPos)
      FailTruncated();
  }

  uint8_t ReadByte() {
    Require(1);
    return FData[FPos++];
  }

  uint32_t ReadWord() {
    Require(2);
    const uint32_t value = FData[FPos] | (uint32_t{FData[FPos + 1]} << 8);
    FPos += 2;
    return value;
  }

  // Three bytes: blue, green, red. The alpha byte stays 0.
  TColor32 ReadColorBytes() {
    Require(3);
    const uint8_t *p = FData + FPos;
    FPos += 3;
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
  }

  void EmptyBitReader() {
    FBitBuffer = 0;
    FBitCount = 0;
  }

  // Bits come least significant first out of little-endian 32-bit words; a
  // word is loaded only when the bits left cannot serve the request, which
  // fixes where the byte stream resumes after the bits.
  uint32_t ReadBits(uint32_t Width) {
    if (FBitCount < Width) {
      Require(4);
      const uint8_t *p = FData + FPos;
      const uint32_t word = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
      FPos += 4;
      FBitBuffer |= uint64_t{word} << FBitCount;
      FBitCount += 32;
    }
    const auto value = static_cast<uint32_t>(FBitBuffer) & ((uint32_t{1} << Width) - 1);
    FBitBuffer >>= Width;
    FBitCount -= Width;
    return value;
  }

  TColor32 ReadGlobalColor(uint32_t Width) {
    const uint32_t index = ReadBits(Width);
    if (index >= FGlobalPalette.size())
      throw ENKFChartError(Format("DecodeTile: Global palette index %u out of range (%u colours) in block %d",
                                  index, static_cast<unsigned>(FGlobalPalette.size()), FBlock));
    return FGlobalPalette[index];
  }

  void StartBlock(int Block) {
    FBlock = Block;
    const int bx = Block % NKF2BlocksPerSide;
    const int by = Block / NKF2BlocksPerSide;
    FBlockOrigin = FPixels + by * NKF2BlockSize * NKF2TileSize + bx * NKF2BlockSize;
  }

  // Pixel I of the current block, in the block's raster order.
  TColor32 &Pixel(int I) { return FBlockOrigin[(I / NKF2BlockSize) * BlockRowStride + I % NKF2BlockSize]; }

  void FillPixels(int First, int Count, TColor32 Color) {
    for (int i = First; i < First + Count; ++i)
      Pixel(i) = Color;
  }

  template <typename ReadItem> void DecodeRuns(ReadItem Item) {
    int i = 0;
    while (i < NKF2BlockPixels) {
      // The kind bit comes first, so it is the low bit of the nine.
      const uint32_t head = ReadBits(1 + NKF2RunLengthBits);
      const int length = static_cast<int>(head >> 1) + 1;
      if (length > NKF2BlockPixels - i)
        throw ENKFChartError(Format("DecodeTile: Run passes the end of block %d", FBlock));
      if (head & 1) {
        FillPixels(i, length, Item());
      } else {
        for (int k = i; k < i + length; ++k)
          Pixel(k) = Item();
      }
      i += length;
    }
  }

  template <typename ReadItem> void DecodeRaw(ReadItem Item) {
    for (int i = 0; i < NKF2BlockPixels; ++i)
      Pixel(i) = Item();
  }

  // Only the low 8 bits of a block-palette index select a slot; slots at or
  // above the block's own count keep what earlier blocks left there.
  TColor32 BlockPaletteColor(uint32_t Width) { return FBlockPalette[ReadBits(Width) & 0xFF]; }

  void DecodeBlocksWithoutPalette() {
    for (int block = 0; block < NKF2BlockCount; ++block) {
      StartBlock(block);
      EmptyBitReader();
      const uint8_t mode = ReadByte();
      if (mode == NKF2ModeUniform) {
        FillBlock(ReadColorBytes());
      } else if (mode <= NKF2ModeMaxPalette) {
        Require(size_t{3} * mode);
        for (int s = 0; s < mode; ++s)
          FBlockPalette[s] = ReadColorBytes();
        const uint32_t width = TileBitWidths[mode - 1];
        DecodeRuns([&] { return BlockPaletteColor(width); });
      } else if (mode == NKF2ModeRuns) {
        DecodeRuns([&] { return ReadBits(24); });
      } else {
        DecodeRaw([&] { return ReadBits(24); });
      }
    }
  }

  void DecodeBlocksWithPalette(uint32_t PaletteSize) {
    FPart = TPart::GlobalPalette;
    Require(size_t{3} * PaletteSize);
    FGlobalPalette.resize(PaletteSize);
    for (auto &color : FGlobalPalette)
      color = ReadColorBytes();
    FPart = TPart::Blocks;
    const uint32_t g = TileBitWidths[PaletteSize];
    EmptyBitReader();
    for (int block = 0; block < NKF2BlockCount; ++block) {
      StartBlock(block);
      const uint32_t mode = ReadBits(8);
      if (mode == NKF2ModeUniform) {
        FillBlock(ReadGlobalColor(g));
      } else if (mode <= NKF2ModeMaxPalette) {
        for (uint32_t s = 0; s < mode; ++s)
          FBlockPalette[s] = ReadGlobalColor(g);
        const uint32_t width = TileBitWidths[mode - 1];
        DecodeRuns([&] { return BlockPaletteColor(width); });
      } else if (mode == NKF2ModeRuns) {
        DecodeRuns([&] { return ReadGlobalColor(g); });
      } else {
        DecodeRaw([&] { return ReadGlobalColor(g); });
      }
    }
  }

  void FillBlock(TColor32 Color) {
    for (int row = 0; row < NKF2BlockSize; ++row)
      std::fill_n(FBlockOrigin + row * BlockRowStride, NKF2BlockSize, Color);
  }

  void DecodeAlphaRuns() {
    int p = 0;
    while (p < NKF2TilePixels) {
      const uint32_t value = ReadWord();
      if (value & NKF2AlphaOpaque) {
        int count = static_cast<int>(value & NKF2AlphaCountMask);
        if (count == 0)
          count = NKF2TilePixels;
        if (count > NKF2TilePixels - p)
          throw ENKFChartError("DecodeTile: Opaque alpha run passes the end of the tile");
        for (int k = p; k < p + count; ++k)
          FPixels[k] |= OpaqueAlpha;
        p += count;
      } else {
        if (static_cast<int>(value) > NKF2TilePixels - p)
          throw ENKFChartError("DecodeTile: Transparent alpha run passes the end of the tile");
        p += static_cast<int>(value);
      }
    }
  }
};

void CheckTileSurface(const TBitmap32 &Bitmap) {
  Assert(Bitmap.Width() == NKF2TileSize && Bitmap.Height() == NKF2TileSize,
         "DecodeTile: Bitmap is not 256 x 256 pixels", UnitName, __LINE__);
}

} // namespace

const std::array<uint32_t, 65536> &TileBitWidths = BitWidthTable;

void DecodeTileData(const uint8_t *Data, size_t Count, TBitmap32 &Bitmap, bool WithAlpha) {
  CheckTileSurface(Bitmap);
  if (Data == nullptr)
    Count = 0;
  try {
    TTileDecoder(Data, Count, Bitmap.Bits()).Decode(WithAlpha);
  } catch (...) {
    // Blocks decoded before the fault must not pass for part of a tile.
    Bitmap.Clear(0);
    throw;
  }
  Bitmap.SetDrawMode(WithAlpha ? TDrawMode::dmBlend : TDrawMode::dmOpaque);
}

void DecodeTile(TStream &Stream, TBitmap32 &Bitmap, bool WithAlpha, int32_t ByteCount) {
  CheckTileSurface(Bitmap);
  if (ByteCount < 0 || ByteCount > NKF2MaxTileByteCount)
    throw ENKFChartError(Format("DecodeTile: Byte count %d out of range", ByteCount));
  std::vector<uint8_t> data(static_cast<size_t>(ByteCount));
  const int32_t got = ByteCount == 0 ? 0 : Stream.Read(data.data(), ByteCount);
  if (got != ByteCount)
    throw ENKFChartError(Format("DecodeTile: Stream holds only %d of the tile's %d bytes", got, ByteCount));
  DecodeTileData(data.data(), data.size(), Bitmap, WithAlpha);
}
