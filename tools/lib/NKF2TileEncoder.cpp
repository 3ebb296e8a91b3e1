#include "NKF2TileEncoder.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "VmNKF2Codec.h"

void TNKF2TileWriter::WriteByte(uint8_t Value) {
  if (FFilled != 0)
    throw ENKF2EncodeError("TNKF2TileWriter: Bytes written inside an open bit word");
  FBytes.push_back(Value);
}

void TNKF2TileWriter::WriteWord(uint16_t Value) {
  WriteByte(static_cast<uint8_t>(Value));
  WriteByte(static_cast<uint8_t>(Value >> 8));
}

void TNKF2TileWriter::WriteColorBytes(TColor32 Color) {
  WriteByte(static_cast<uint8_t>(Color));
  WriteByte(static_cast<uint8_t>(Color >> 8));
  WriteByte(static_cast<uint8_t>(Color >> 16));
}

void TNKF2TileWriter::EmitWord() {
  for (int k = 0; k < 4; ++k)
    FBytes.push_back(static_cast<uint8_t>(FPending >> (8 * k)));
  FPending >>= 32;
}

void TNKF2TileWriter::WriteBits(uint32_t Value, uint32_t Width) {
  if (Width == 0 || Width > 32 || (Width < 32 && (Value >> Width) != 0))
    throw ENKF2EncodeError("TNKF2TileWriter: Value does not fit its width");
  FPending |= uint64_t{Value} << FFilled;
  FFilled += Width;
  // A word that is exactly full is emitted at once: the reader then has no
  // bits left and loads the next word only when it needs one.
  if (FFilled >= 32) {
    EmitWord();
    FFilled -= 32;
  }
}

void TNKF2TileWriter::FlushBits() {
  if (FFilled != 0) {
    EmitWord();
    FPending = 0;
    FFilled = 0;
  }
}

namespace {

using TBlockItems = std::array<uint32_t, NKF2BlockPixels>;

constexpr uint32_t ColorBits = 24;
constexpr uint32_t ModeBits = 8;
constexpr uint32_t MinRepeat = 3;

int RepeatLength(const uint32_t *Items, int I) {
  int r = 1;
  while (I + r < NKF2BlockPixels && r < NKF2BlockPixels && Items[I + r] == Items[I])
    ++r;
  return r;
}

// The tile in terms the block coder needs: each block's colours and, in the
// global form, the palette and each colour's index.
struct TTileContext {
  bool Global = false;
  std::vector<TColor32> Palette;
  std::unordered_map<TColor32, uint32_t> IndexOf;
  uint32_t IndexWidth = 0;
};

class TBlockCoder {
public:
  TBlockCoder(const TTileContext &Tile, const TBlockItems &Colors) : FTile(Tile), FColors(Colors) {
    // Neighbouring pixels mostly share their colour: only a change needs the search.
    for (int i = 0; i < NKF2BlockPixels; ++i) {
      const TColor32 c = Colors[i];
      if (i > 0 && c == Colors[i - 1])
        continue;
      if (std::find(FDistinct.begin(), FDistinct.end(), c) == FDistinct.end()) {
        FDistinct.push_back(c);
        if (FDistinct.size() > NKF2ModeMaxPalette)
          break;
      }
    }
  }

  // The raw kind writes its mode and every item in full: never fewer bits.
  uint64_t RawBitsAtLeast() const { return (FTile.Global ? ModeBits : 8) + uint64_t{NKF2BlockPixels} * ItemWidth(); }

  bool Fits(TNKF2BlockKind Kind) const {
    switch (Kind) {
    case TNKF2BlockKind::Uniform: return FDistinct.size() == 1;
    case TNKF2BlockKind::BlockPalette: return FDistinct.size() <= NKF2ModeMaxPalette;
    default: return true;
    }
  }

  void Write(TNKF2TileWriter &Writer, TNKF2BlockKind Kind, int Block) const {
    if (!Fits(Kind))
      throw ENKF2EncodeError(Format("EncodeNKF2Tile: Block %d cannot be written in the kind asked for", Block));
    switch (Kind) {
    case TNKF2BlockKind::Uniform:
      WriteMode(Writer, NKF2ModeUniform);
      WriteColor(Writer, FColors[0]);
      break;
    case TNKF2BlockKind::BlockPalette: {
      const auto m = static_cast<uint8_t>(FDistinct.size());
      WriteMode(Writer, m);
      for (TColor32 c : FDistinct)
        WriteColor(Writer, c);
      TBlockItems slots;
      for (int i = 0; i < NKF2BlockPixels; ++i)
        slots[i] = i > 0 && FColors[i] == FColors[i - 1]
                       ? slots[i - 1]
                       : static_cast<uint32_t>(std::find(FDistinct.begin(), FDistinct.end(), FColors[i]) -
                                               FDistinct.begin());
      WriteNKF2Runs(Writer, slots.data(), TileBitWidths[m - 1]);
      break;
    }
    case TNKF2BlockKind::Runs: {
      WriteMode(Writer, NKF2ModeRuns);
      const TBlockItems items = Items();
      WriteNKF2Runs(Writer, items.data(), ItemWidth());
      break;
    }
    default:
      WriteMode(Writer, NKF2ModeRaw);
      for (uint32_t item : Items())
        Writer.WriteBits(item, ItemWidth());
      break;
    }
    // Without a global palette every block starts on a fresh word.
    if (!FTile.Global)
      Writer.FlushBits();
  }

private:
  const TTileContext &FTile;
  const TBlockItems &FColors;
  std::vector<TColor32> FDistinct; // in order of first appearance, at most 254 kept

  void WriteMode(TNKF2TileWriter &Writer, uint8_t Mode) const {
    if (FTile.Global)
      Writer.WriteBits(Mode, ModeBits);
    else
      Writer.WriteByte(Mode);
  }

  // A colour outside the bit stream: global index bits, or three bytes.
  void WriteColor(TNKF2TileWriter &Writer, TColor32 Color) const {
    if (FTile.Global)
      Writer.WriteBits(FTile.IndexOf.at(Color), FTile.IndexWidth);
    else
      Writer.WriteColorBytes(Color);
  }

  uint32_t ItemWidth() const { return FTile.Global ? FTile.IndexWidth : ColorBits; }

  TBlockItems Items() const {
    TBlockItems items = FColors;
    if (FTile.Global)
      for (auto &item : items)
        item = FTile.IndexOf.at(item);
    return items;
  }
};

TBlockItems BlockColors(const TColor32 *Pixels, int Block) {
  TBlockItems colors;
  const int x0 = (Block % NKF2BlocksPerSide) * NKF2BlockSize;
  const int y0 = (Block / NKF2BlocksPerSide) * NKF2BlockSize;
  for (int i = 0; i < NKF2BlockPixels; ++i)
    colors[i] = Pixels[(y0 + i / NKF2BlockSize) * NKF2TileSize + x0 + i % NKF2BlockSize] & 0xFFFFFF;
  return colors;
}

TNKF2BlockKind SmallestKind(const TBlockCoder &Coder, int Block) {
  static constexpr TNKF2BlockKind Kinds[] = {TNKF2BlockKind::Uniform, TNKF2BlockKind::BlockPalette,
                                             TNKF2BlockKind::Runs, TNKF2BlockKind::Raw};
  // Nothing is shorter than a mode and one colour, and the trials below
  // would pick the uniform kind too (it comes first): most blocks of a chart
  // are one colour, and trying every kind on them dominates a chart's encoding.
  if (Coder.Fits(TNKF2BlockKind::Uniform))
    return TNKF2BlockKind::Uniform;
  TNKF2BlockKind best = TNKF2BlockKind::Raw;
  uint64_t bestBits = UINT64_MAX;
  for (TNKF2BlockKind kind : Kinds) {
    if (!Coder.Fits(kind))
      continue;
    // A tie goes to the kind tried first, so a raw block that cannot be
    // shorter need not be written to know.
    if (kind == TNKF2BlockKind::Raw && bestBits <= Coder.RawBitsAtLeast())
      continue;
    TNKF2TileWriter trial;
    Coder.Write(trial, kind, Block);
    if (trial.BitCount() < bestBits) {
      bestBits = trial.BitCount();
      best = kind;
    }
  }
  return best;
}

TTileContext MakeContext(const TColor32 *Pixels, bool Global) {
  TTileContext tile;
  tile.Global = Global;
  if (!Global)
    return tile;
  for (int p = 0; p < NKF2TilePixels; ++p) {
    const TColor32 c = Pixels[p] & 0xFFFFFF;
    if (tile.IndexOf.emplace(c, static_cast<uint32_t>(tile.Palette.size())).second)
      tile.Palette.push_back(c);
  }
  if (tile.Palette.size() > 0xFFFF)
    throw ENKF2EncodeError("EncodeNKF2Tile: More than 65535 colours for a global palette");
  tile.IndexWidth = TileBitWidths[tile.Palette.size()];
  return tile;
}

} // namespace

void WriteNKF2Runs(TNKF2TileWriter &Writer, const uint32_t *Items, uint32_t Width) {
  int i = 0;
  while (i < NKF2BlockPixels) {
    const int repeat = RepeatLength(Items, i);
    if (repeat >= static_cast<int>(MinRepeat)) {
      Writer.WriteBits(1 | static_cast<uint32_t>(repeat - 1) << 1, 1 + NKF2RunLengthBits);
      Writer.WriteBits(Items[i], Width);
      i += repeat;
      continue;
    }
    int end = i + 1;
    while (end < NKF2BlockPixels && RepeatLength(Items, end) < static_cast<int>(MinRepeat))
      ++end;
    Writer.WriteBits(static_cast<uint32_t>(end - i - 1) << 1, 1 + NKF2RunLengthBits);
    for (; i < end; ++i)
      Writer.WriteBits(Items[i], Width);
  }
}

void WriteNKF2AlphaRuns(TNKF2TileWriter &Writer, const TColor32 *Pixels) {
  int p = 0;
  while (p < NKF2TilePixels) {
    const uint32_t alpha = Pixels[p] >> 24;
    if (alpha != 0 && alpha != 0xFF)
      throw ENKF2EncodeError(Format("EncodeNKF2Tile: Pixel %d is neither opaque nor transparent", p));
    int end = p + 1;
    while (end < NKF2TilePixels && (Pixels[end] >> 24) == alpha)
      ++end;
    const bool opaque = alpha == 0xFF;
    if (opaque && p == 0 && end == NKF2TilePixels) {
      Writer.WriteWord(NKF2AlphaOpaque); // count 0: the whole tile
      return;
    }
    // A run longer than a count can hold is split; the next pass continues it.
    const int count = std::min(end - p, int{NKF2AlphaCountMask});
    Writer.WriteWord(static_cast<uint16_t>((opaque ? NKF2AlphaOpaque : 0) | count));
    p += count;
  }
}

std::vector<uint8_t> EncodeNKF2Tile(const TColor32 *Pixels, const TNKF2EncodeOptions &Options) {
  if (!Options.BlockKinds.empty() && Options.BlockKinds.size() != NKF2BlockCount)
    throw ENKF2EncodeError("EncodeNKF2Tile: Block kinds must name all 256 blocks");
  const TTileContext tile = MakeContext(Pixels, Options.GlobalPalette);
  TNKF2TileWriter writer;
  writer.WriteWord(static_cast<uint16_t>(tile.Palette.size()));
  for (TColor32 c : tile.Palette)
    writer.WriteColorBytes(c);
  for (int block = 0; block < NKF2BlockCount; ++block) {
    const TBlockItems colors = BlockColors(Pixels, block);
    const TBlockCoder coder(tile, colors);
    TNKF2BlockKind kind = Options.BlockKinds.empty() ? Options.Kind : Options.BlockKinds[block];
    if (kind == TNKF2BlockKind::Auto)
      kind = SmallestKind(coder, block);
    coder.Write(writer, kind, block);
  }
  writer.FlushBits();
  if (Options.WithAlpha)
    WriteNKF2AlphaRuns(writer, Pixels);
  return writer.Bytes();
}
