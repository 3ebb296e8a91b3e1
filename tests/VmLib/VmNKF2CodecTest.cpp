#include "VmNKF2Codec.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "NKF2SampleTiles.h"
#include "NKF2TileEncoder.h"

namespace {

using TPixels = std::vector<TColor32>;
using TBytes = std::vector<uint8_t>;

constexpr TColor32 Opaque = 0xFF000000;

TColor32 At(const TPixels &Pixels, int X, int Y) { return Pixels[Y * 256 + X]; }

// Decodes through the stream interface, with a sentinel after the tile to
// show that exactly ByteCount bytes are consumed.
TPixels Decode(const TBytes &Tile, bool WithAlpha, TDrawMode *Mode = nullptr) {
  TBytes stored = Tile;
  stored.push_back(0xA5);
  TMemoryStream stream(stored);
  TBitmap32 bitmap;
  bitmap.SetSize(256, 256);
  DecodeTile(stream, bitmap, WithAlpha, static_cast<int32_t>(Tile.size()));
  EXPECT_EQ(stream.Position(), static_cast<int64_t>(Tile.size()));
  if (Mode)
    *Mode = bitmap.DrawMode();
  return TPixels(bitmap.Bits(), bitmap.Bits() + bitmap.PixelCount());
}

// The pixels the decoder should give back for an encoder input.
TPixels Expected(const TPixels &Input, bool WithAlpha) {
  TPixels out(Input);
  for (auto &p : out)
    p = WithAlpha ? p : (p | Opaque);
  return out;
}

// Index of the first differing pixel, or -1.
int FirstDifference(const TPixels &A, const TPixels &B) {
  for (size_t i = 0; i < A.size() && i < B.size(); ++i)
    if (A[i] != B[i])
      return static_cast<int>(i);
  return A.size() == B.size() ? -1 : static_cast<int>(std::min(A.size(), B.size()));
}

// ---- Pictures that suit each block kind -----------------------------------

TPixels UniformBlocks() {
  TPixels p(65536);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      p[y * 256 + x] = Opaque | ((x / 16) * 0x0F0000 + (y / 16) * 0x000F01);
  return p;
}

// Block b holds a number of distinct colours that walks through the index
// widths: 1, 2, 3, 4, 5, 17, 128, 129 and 253 colours.
TPixels PaletteBlocks() {
  static constexpr int Counts[] = {1, 2, 3, 4, 5, 17, 128, 129, 253};
  TPixels p(65536);
  for (int b = 0; b < 256; ++b) {
    const int colours = Counts[b % 9];
    for (int i = 0; i < 256; ++i) {
      const int x = (b % 16) * 16 + i % 16, y = (b / 16) * 16 + i / 16;
      // Runs of equal pixels as well as single ones.
      const int slot = (i < 64 ? i / 8 : i) % colours;
      p[y * 256 + x] = Opaque | (0x10000u * b + 0x101u * slot);
    }
  }
  return p;
}

// Exactly 256 colours over the tile: global indices of 9 bits.
TPixels Colours256() {
  TPixels p(65536);
  for (int i = 0; i < 65536; ++i)
    p[i] = Opaque | (((i * 7) / 3 % 256) * 0x010203u);
  return p;
}

// The largest global palette: 65535 colours, 16-bit indices.
TPixels Colours65535() {
  TPixels p(65536);
  for (int i = 0; i < 65536; ++i)
    p[i] = Opaque | ((i % 65535) * 0x9E37u & 0xFFFFFF);
  return p;
}

// A transparency pattern with every kind of alpha run: a long opaque stretch
// split over several counts, a long transparent one, and single pixels.
TPixels WithBorder(TPixels P) {
  for (int i = 0; i < 65536; ++i) {
    const bool transparent = (i >= 40000 && i < 41000) || (i >= 50000 && i % 3 == 0) || i < 5;
    P[i] = transparent ? (P[i] & 0xFFFFFF) : (P[i] | Opaque);
  }
  return P;
}

// ---- Round trips ----------------------------------------------------------

struct TRoundTrip {
  const char *Name;
  std::function<TPixels()> Picture;
  TNKF2BlockKind Kind;
};

const TRoundTrip RoundTrips[] = {
    {"UniformBlocks", UniformBlocks, TNKF2BlockKind::Uniform},
    {"PaletteBlocks", PaletteBlocks, TNKF2BlockKind::BlockPalette},
    {"ChartRuns", [] { return MakeChartLikeTile(1); }, TNKF2BlockKind::Runs},
    {"ChartRaw", [] { return MakeChartLikeTile(2); }, TNKF2BlockKind::Raw},
    {"ChartAuto", [] { return MakeChartLikeTile(3); }, TNKF2BlockKind::Auto},
    {"ChartPalette", [] { return MakeChartLikeTile(4); }, TNKF2BlockKind::BlockPalette},
    {"Colours256Raw", Colours256, TNKF2BlockKind::Raw},
    {"Colours256Runs", Colours256, TNKF2BlockKind::Runs},
    {"Colours65535Raw", Colours65535, TNKF2BlockKind::Raw},
    {"PaletteBlocksUniformKind", UniformBlocks, TNKF2BlockKind::BlockPalette},
};

class RoundTripTest : public testing::TestWithParam<std::tuple<int, bool, bool>> {};

TEST_P(RoundTripTest, DecodesWhatWasEncoded) {
  const auto [index, global, alpha] = GetParam();
  const TRoundTrip &c = RoundTrips[index];
  const TPixels input = alpha ? WithBorder(c.Picture()) : c.Picture();
  TNKF2EncodeOptions options;
  options.GlobalPalette = global;
  options.WithAlpha = alpha;
  options.Kind = c.Kind;
  TDrawMode mode;
  const TPixels output = Decode(EncodeNKF2Tile(input.data(), options), alpha, &mode);
  EXPECT_EQ(FirstDifference(output, Expected(input, alpha)), -1) << c.Name;
  EXPECT_EQ(mode, alpha ? TDrawMode::dmBlend : TDrawMode::dmOpaque);
}

INSTANTIATE_TEST_SUITE_P(EveryKindAndForm, RoundTripTest,
                         testing::Combine(testing::Range(0, int(std::size(RoundTrips))), testing::Bool(),
                                          testing::Bool()),
                         [](const auto &info) {
                           return std::string(RoundTrips[std::get<0>(info.param)].Name) +
                                  (std::get<1>(info.param) ? "_Global" : "_Direct") +
                                  (std::get<2>(info.param) ? "_Alpha" : "_NoAlpha");
                         });

// Every mode next to every other: a block's end (padding, or the middle of a
// word in the continuous form) must hand over exactly where the next begins.
TEST(NKF2Codec, MixedBlockKindsRoundTrip) {
  static constexpr TNKF2BlockKind Kinds[] = {TNKF2BlockKind::BlockPalette, TNKF2BlockKind::Runs,
                                             TNKF2BlockKind::Raw};
  const TPixels input = WithBorder(PaletteBlocks());
  for (bool global : {false, true}) {
    TNKF2EncodeOptions options;
    options.GlobalPalette = global;
    for (int b = 0; b < 256; ++b)
      options.BlockKinds.push_back((b % 9 == 0 && b % 2 == 0) ? TNKF2BlockKind::Uniform : Kinds[(b * 5 / 3) % 3]);
    EXPECT_EQ(FirstDifference(Decode(EncodeNKF2Tile(input.data(), options), true), input), -1)
        << "global " << global;
  }
}

TEST(NKF2Codec, TileBitWidthsCountBinaryDigits) {
  const std::pair<int, uint32_t> cases[] = {{0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {252, 8}, {255, 8}, {256, 9}, {65535, 16}};
  for (auto [k, digits] : cases)
    EXPECT_EQ(TileBitWidths[k], digits) << "entry " << k;
}

// ---- Hand-made tiles with known pixels ------------------------------------

struct TGolden {
  const char *Name;
  std::function<TBytes()> Build;
  bool WithAlpha;
  std::function<TColor32(int X, int Y)> Pixel;
  size_t Size; // 0: not checked
};

TColor32 BlockColour(int X, int Y) { return 0x100000u * (X / 16 % 16) + 0x000100u * (Y / 16) + 7; }

// Blocks 1..255 of mode 0 without a global palette, each its own colour.
void WriteUniformRest(TNKF2TileWriter &W, int From) {
  for (int b = From; b < 256; ++b) {
    W.WriteByte(0);
    W.WriteColorBytes(BlockColour(b % 16 * 16, b / 16 * 16));
  }
}

const TGolden Goldens[] = {
    {"AllUniformNoAlpha",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(0);
       WriteUniformRest(w, 0);
       return w.Bytes();
     },
     false, [](int x, int y) { return Opaque | BlockColour(x, y); }, 2 + 256 * 4},
    // Runs ending exactly on a word: 8 run heads and 9 colours are 288 bits,
    // nine words, so block 1's mode byte follows the ninth word directly.
    {"RunsEndOnWordBoundary",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(0);
       w.WriteByte(254);
       w.WriteBits(0 | (1u << 1), 9); // literal, 2 pixels
       w.WriteBits(0x111111, 24);
       w.WriteBits(0x222222, 24);
       for (int r = 0; r < 7; ++r) {
         w.WriteBits(1 | ((r < 6 ? 35u : 37u) << 1), 9); // repeat 36 (x6), then 38
         w.WriteBits(0x303030 + r, 24);
       }
       EXPECT_EQ(w.Bytes().size(), 2u + 1 + 36);
       WriteUniformRest(w, 1);
       return w.Bytes();
     },
     false,
     [](int x, int y) -> TColor32 {
       if (x >= 16 || y >= 16)
         return Opaque | BlockColour(x, y);
       const int i = y * 16 + x;
       if (i < 2)
         return Opaque | (i == 0 ? 0x111111 : 0x222222);
       return Opaque | (0x303030 + std::min((i - 2) / 36, 6));
     },
     2 + 37 + 255 * 4},
    // One palette colour still costs one bit per index; a repeat of 256 fills
    // the block; an index at or above M reads what earlier blocks left in the
    // slot, or 0 when nothing was put there.
    {"BlockPaletteSlots",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(0);
       // Block 0: M = 1, a literal run of 256 one-bit indices.
       w.WriteByte(1);
       w.WriteColorBytes(0xAA0000);
       w.WriteBits(255u << 1, 9);
       for (int i = 0; i < 256; ++i)
         w.WriteBits(0, 1);
       w.FlushBits();
       // Block 1: M = 3 (2-bit indices): slots 0..2, index 3 never written.
       w.WriteByte(3);
       w.WriteColorBytes(0x000011);
       w.WriteColorBytes(0x000022);
       w.WriteColorBytes(0x000033);
       w.WriteBits(0 | (127u << 1), 9); // literal 128: indices 0,1,2,3 cycling
       for (int i = 0; i < 128; ++i)
         w.WriteBits(i % 4, 2);
       w.WriteBits(1 | (127u << 1), 9); // repeat 128 of index 2
       w.WriteBits(2, 2);
       w.FlushBits();
       // Block 2: M = 1 with index 1: slot 1 still holds block 1's colour.
       w.WriteByte(1);
       w.WriteColorBytes(0x440000);
       w.WriteBits(1 | (255u << 1), 9);
       w.WriteBits(1, 1);
       w.FlushBits();
       WriteUniformRest(w, 3);
       return w.Bytes();
     },
     false,
     [](int x, int y) -> TColor32 {
       const int b = y / 16 * 16 + x / 16, i = (y % 16) * 16 + x % 16;
       static constexpr TColor32 Block1[] = {0x000011, 0x000022, 0x000033, 0};
       switch (b) {
       case 0: return Opaque | 0xAA0000;
       case 1: return Opaque | (i < 128 ? Block1[i % 4] : 0x000033);
       case 2: return Opaque | 0x000022;
       default: return Opaque | BlockColour(x, y);
       }
     },
     0},
    // N = 256: 9-bit indices. Block b is mode 0 with index 255 - b.
    {"GlobalPalette256NineBitIndices",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(256);
       for (int k = 0; k < 256; ++k)
         w.WriteColorBytes(0x010101u * k);
       for (int b = 0; b < 256; ++b) {
         w.WriteBits(0, 8);
         w.WriteBits(255 - b, 9);
       }
       w.FlushBits();
       EXPECT_EQ(w.Bytes().size(), 2u + 768 + (256 * 17 + 31) / 32 * 4);
       return w.Bytes();
     },
     false, [](int x, int y) { return Opaque | (0x010101u * (255 - (y / 16 * 16 + x / 16))); }, 0},
    // The whole tile opaque from one alpha value after a zero that changes nothing.
    {"AlphaWholeTile",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(0);
       WriteUniformRest(w, 0);
       w.WriteWord(0);
       w.WriteWord(0x8000);
       return w.Bytes();
     },
     true, [](int x, int y) { return Opaque | BlockColour(x, y); }, 0},
    // Pixels outside opaque runs keep alpha 0; the alpha runs start right
    // after the last word the blocks loaded, in the continuous form too.
    {"AlphaPartlyOpaqueAfterGlobalBits",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(2);
       w.WriteColorBytes(0x123456);
       w.WriteColorBytes(0x654321);
       for (int b = 0; b < 256; ++b) {
         w.WriteBits(0, 8);
         w.WriteBits(b % 2, 2);
       }
       w.FlushBits();
       w.WriteWord(300);          // transparent
       w.WriteWord(0x8000 | 212); // opaque to the end of row 1
       w.WriteWord(0x7FFF);       // the rest transparent
       w.WriteWord(65536 - 512 - 0x7FFF);
       return w.Bytes();
     },
     true,
     [](int x, int y) -> TColor32 {
       const int p = y * 256 + x;
       const TColor32 c = (x / 16) % 2 ? 0x654321 : 0x123456;
       return (p >= 300 && p < 512) ? (Opaque | c) : c;
     },
     0},
};

class GoldenTest : public testing::TestWithParam<int> {};

TEST_P(GoldenTest, DecodesToKnownPixels) {
  const TGolden &g = Goldens[GetParam()];
  const TBytes tile = g.Build();
  if (g.Size) {
    EXPECT_EQ(tile.size(), g.Size);
  }
  TDrawMode mode;
  const TPixels pixels = Decode(tile, g.WithAlpha, &mode);
  EXPECT_EQ(mode, g.WithAlpha ? TDrawMode::dmBlend : TDrawMode::dmOpaque);
  int wrong = 0;
  for (int y = 0; y < 256 && wrong < 5; ++y) {
    for (int x = 0; x < 256 && wrong < 5; ++x) {
      if (At(pixels, x, y) != g.Pixel(x, y)) {
        ADD_FAILURE() << g.Name << ": pixel (" << x << ", " << y << ") is " << std::hex << At(pixels, x, y)
                      << ", expected " << g.Pixel(x, y);
        ++wrong;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(HandMade, GoldenTest, testing::Range(0, int(std::size(Goldens))),
                         [](const auto &info) { return std::string(Goldens[info.param].Name); });

// ---- Malformed tiles ------------------------------------------------------

TBytes Bytes(std::initializer_list<int> Values) {
  TBytes out;
  for (int v : Values)
    out.push_back(static_cast<uint8_t>(v));
  return out;
}

TBytes UniformTile(int Blocks) {
  TNKF2TileWriter w;
  w.WriteWord(0);
  for (int b = 0; b < Blocks; ++b) {
    w.WriteByte(0);
    w.WriteColorBytes(0x102030);
  }
  return w.Bytes();
}

TBytes UniformTileWithAlpha(std::initializer_list<uint16_t> Alpha) {
  TNKF2TileWriter w;
  for (uint8_t b : UniformTile(256))
    w.WriteByte(b);
  for (uint16_t a : Alpha)
    w.WriteWord(a);
  return w.Bytes();
}

struct TMalformed {
  const char *Name;
  std::function<TBytes()> Build;
  bool WithAlpha;
  const char *Message;
};

const TMalformed Malformed[] = {
    {"Empty", [] { return TBytes{}; }, true, "DecodeTile: Tile data ends before the palette size"},
    {"HalfPaletteSize", [] { return Bytes({1}); }, true, "DecodeTile: Tile data ends before the palette size"},
    {"ShortGlobalPalette", [] { return Bytes({2, 0, 1, 2, 3, 4, 5}); }, true,
     "DecodeTile: Tile data ends inside the global palette"},
    {"NoBlocks", [] { return Bytes({0, 0}); }, true, "DecodeTile: Tile data ends inside block 0"},
    {"ShortUniformColour", [] { return Bytes({0, 0, 0, 1, 2}); }, true, "DecodeTile: Tile data ends inside block 0"},
    {"CutAfterBlock16", [] { return UniformTile(17); }, false, "DecodeTile: Tile data ends inside block 17"},
    {"ShortBlockPalette", [] { return Bytes({0, 0, 200, 1, 2, 3}); }, true,
     "DecodeTile: Tile data ends inside block 0"},
    {"RawCutInsideWord",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(0);
       w.WriteByte(255);
       for (int i = 0; i < 256; ++i)
         w.WriteBits(0xABCDEF, 24);
       TBytes b = w.Bytes();
       b.resize(b.size() - 2);
       return b;
     },
     false, "DecodeTile: Tile data ends inside block 0"},
    {"RunPastBlockEnd",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(0);
       w.WriteByte(254);
       w.WriteBits(1 | (199u << 1), 9); // repeat 200
       w.WriteBits(0x111111, 24);
       w.WriteBits(1 | (56u << 1), 9); // repeat 57: one too many
       w.WriteBits(0x222222, 24);
       w.FlushBits();
       return w.Bytes();
     },
     false, "DecodeTile: Run passes the end of block 0"},
    {"RunPastBlockEndInGlobalForm",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(1);
       w.WriteColorBytes(0x010203);
       for (int b = 0; b < 5; ++b) {
         w.WriteBits(0, 8);
         w.WriteBits(0, 1);
       }
       w.WriteBits(254, 8);
       w.WriteBits(0 | (199u << 1), 9); // literal 200 ...
       for (int i = 0; i < 200; ++i)
         w.WriteBits(0, 1);
       w.WriteBits(1 | (56u << 1), 9); // ... then a repeat of 57
       w.WriteBits(0, 1);
       w.FlushBits();
       return w.Bytes();
     },
     false, "DecodeTile: Run passes the end of block 5"},
    {"GlobalIndexOutOfRange",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(3);
       for (int k = 0; k < 3; ++k)
         w.WriteColorBytes(0x111111u * k);
       w.WriteBits(0, 8);
       w.WriteBits(3, 2);
       w.FlushBits();
       return w.Bytes();
     },
     false, "DecodeTile: Global palette index 3 out of range (3 colours) in block 0"},
    {"GlobalIndexOutOfRangeInBlockPalette",
     [] {
       TNKF2TileWriter w;
       w.WriteWord(5);
       for (int k = 0; k < 5; ++k)
         w.WriteColorBytes(0x111111u * k);
       w.WriteBits(0, 8);
       w.WriteBits(4, 3);
       w.WriteBits(2, 8); // block 1: two global indices into the block palette
       w.WriteBits(1, 3);
       w.WriteBits(7, 3);
       w.FlushBits();
       return w.Bytes();
     },
     false, "DecodeTile: Global palette index 7 out of range (5 colours) in block 1"},
    {"NoAlphaRuns", [] { return UniformTile(256); }, true, "DecodeTile: Tile data ends inside the alpha runs"},
    {"AlphaRunsStopShort", [] { return UniformTileWithAlpha({0x8000 | 100, 0x7FFF}); }, true,
     "DecodeTile: Tile data ends inside the alpha runs"},
    {"AlphaZerosOnly", [] { return UniformTileWithAlpha({0, 0, 0, 0}); }, true,
     "DecodeTile: Tile data ends inside the alpha runs"},
    {"AlphaHalfValue",
     [] {
       TBytes b = UniformTileWithAlpha({0x7FFF, 0x7FFF});
       b.push_back(0x02);
       return b;
     },
     true, "DecodeTile: Tile data ends inside the alpha runs"},
    {"OpaqueRunPastTileEnd", [] { return UniformTileWithAlpha({0x7FFF, 0x7FFF, 0x8000 | 3}); }, true,
     "DecodeTile: Opaque alpha run passes the end of the tile"},
    {"WholeTileRunAfterOthers", [] { return UniformTileWithAlpha({1, 0x8000}); }, true,
     "DecodeTile: Opaque alpha run passes the end of the tile"},
    {"TransparentRunPastTileEnd", [] { return UniformTileWithAlpha({0x7FFF, 0x7FFF, 3}); }, true,
     "DecodeTile: Transparent alpha run passes the end of the tile"},
};

class MalformedTest : public testing::TestWithParam<int> {};

TEST_P(MalformedTest, RaisesAndLeavesNothingDecoded) {
  const TMalformed &c = Malformed[GetParam()];
  const TBytes tile = c.Build();
  TBitmap32 bitmap;
  bitmap.SetSize(256, 256);
  bitmap.Clear(0x12345678);
  bitmap.SetDrawMode(TDrawMode::dmOpaque);
  try {
    DecodeTileData(tile.data(), tile.size(), bitmap, c.WithAlpha);
    FAIL() << c.Name << ": no error";
  } catch (const ENKFChartError &e) {
    EXPECT_EQ(e.Message(), c.Message) << c.Name;
  }
  for (size_t i = 0; i < bitmap.PixelCount(); ++i)
    if (bitmap.Bits()[i] != 0)
      FAIL() << c.Name << ": pixel " << i << " left at " << std::hex << bitmap.Bits()[i];
  EXPECT_EQ(bitmap.DrawMode(), TDrawMode::dmOpaque) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(Table, MalformedTest, testing::Range(0, int(std::size(Malformed))),
                         [](const auto &info) { return std::string(Malformed[info.param].Name); });

// Every proper prefix of a well-formed tile lacks bytes the decoder needs:
// each must be refused, whatever part of the tile the cut falls in.
TEST(NKF2Codec, EveryTruncationIsRefused) {
  // Nine blocks of every kind, the rest uniform, and a few alpha runs keep
  // the tile short enough to try every cut.
  TPixels input = PaletteBlocks();
  for (int i = 0; i < 65536; ++i) {
    if ((i / 16) % 16 >= 9 || i / 4096 > 0)
      input[i] = 0x405060;
    input[i] |= (i < 5 || (i >= 40000 && i < 41000)) ? 0 : Opaque;
  }
  static constexpr TNKF2BlockKind Kinds[] = {TNKF2BlockKind::BlockPalette, TNKF2BlockKind::Runs,
                                             TNKF2BlockKind::Raw, TNKF2BlockKind::Uniform};
  for (bool global : {false, true}) {
    TNKF2EncodeOptions options;
    options.GlobalPalette = global;
    for (int b = 0; b < 256; ++b)
      options.BlockKinds.push_back(b < 9 ? Kinds[b % 3] : Kinds[3]);
    const TBytes tile = EncodeNKF2Tile(input.data(), options);
    TBitmap32 bitmap;
    bitmap.SetSize(256, 256);
    ASSERT_NO_THROW(DecodeTileData(tile.data(), tile.size(), bitmap, true));
    for (size_t n = 0; n < tile.size(); ++n)
      EXPECT_THROW(DecodeTileData(tile.data(), n, bitmap, true), ENKFChartError)
          << "global " << global << ", cut at " << n << " of " << tile.size();
  }
}

TEST(NKF2Codec, StreamFaults) {
  TBitmap32 bitmap;
  bitmap.SetSize(256, 256);
  const TBytes tile = UniformTileWithAlpha({0x8000});
  struct TCase {
    int32_t ByteCount;
    size_t Stored;
    const char *Message;
  } cases[] = {
      {-1, tile.size(), "DecodeTile: Byte count -1 out of range"},
      {NKF2MaxTileByteCount + 1, tile.size(), "DecodeTile: Byte count 4194305 out of range"},
      {int32_t(tile.size()), 20, "DecodeTile: Stream holds only 20 of the tile's 1028 bytes"},
      {0, 0, "DecodeTile: Tile data ends before the palette size"},
  };
  for (const TCase &c : cases) {
    TMemoryStream stream(TBytes(tile.begin(), tile.begin() + c.Stored));
    try {
      DecodeTile(stream, bitmap, true, c.ByteCount);
      ADD_FAILURE() << c.Message << ": no error";
    } catch (const ENKFChartError &e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
}

TEST(NKF2Codec, SurfaceMustBeTileSized) {
  const TBytes tile = UniformTileWithAlpha({0x8000});
  for (auto [w, h] : {std::pair{255, 256}, {256, 512}, {0, 0}}) {
    TBitmap32 bitmap;
    bitmap.SetSize(w, h);
    EXPECT_THROW(DecodeTileData(tile.data(), tile.size(), bitmap, true), EAssertionFailed) << w << " x " << h;
  }
}

} // namespace
