// Scanline layer of the graphics unit: BMP line readers and writers and the
// 9 x 9 pixel-format converter table.
#include "VmGraphics.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <type_traits>

#include "Classes.h"
#include "VmSSE2.h"

namespace {

// ---- Converters -----------------------------------------------------------

// A source pixel on its way to another format: 8-bit channels 0x00RRGGBB,
// the byte a 0xXXRRGGBB destination keeps as its fourth (a palette entry's
// reserved byte, 0 for direct colour) and the alpha a 0xAARRGGBB
// destination gets.
struct TPixel {
  uint32_t RGB;
  uint8_t Fourth;
  uint8_t Alpha;
};

constexpr uint32_t Channels(uint32_t R, uint32_t G, uint32_t B) { return R << 16 | G << 8 | B; }
constexpr uint32_t Red(uint32_t RGB) { return RGB >> 16 & 0xFF; }
constexpr uint32_t Green(uint32_t RGB) { return RGB >> 8 & 0xFF; }
constexpr uint32_t Blue(uint32_t RGB) { return RGB & 0xFF; }

constexpr uint8_t Opaque = 0xFF;
constexpr uint16_t Alpha15 = 0x8000;

// 5- and 6-bit channels widen by shifting alone: the low bits stay 0, as the
// converted pictures have always looked (no bit replication).
constexpr uint32_t Unpack15(uint16_t P) {
  return Channels((P >> 10 & 0x1F) << 3, (P >> 5 & 0x1F) << 3, (P & 0x1F) << 3);
}
constexpr uint32_t Unpack16(uint16_t P) {
  return Channels((P >> 11 & 0x1F) << 3, (P >> 5 & 0x3F) << 2, (P & 0x1F) << 3);
}
constexpr uint16_t Pack15(uint32_t RGB) {
  return static_cast<uint16_t>((Red(RGB) >> 3) << 10 | (Green(RGB) >> 3) << 5 | Blue(RGB) >> 3);
}
constexpr uint16_t Pack16(uint32_t RGB) {
  return static_cast<uint16_t>((Red(RGB) >> 3) << 11 | (Green(RGB) >> 2) << 5 | Blue(RGB) >> 3);
}

uint16_t Load16(const uint8_t *P) {
  uint16_t v;
  std::memcpy(&v, P, sizeof v);
  return v;
}
uint32_t Load32(const uint8_t *P) {
  uint32_t v;
  std::memcpy(&v, P, sizeof v);
  return v;
}
void Store16(uint8_t *P, uint16_t V) { std::memcpy(P, &V, sizeof V); }
void Store32(uint8_t *P, uint32_t V) { std::memcpy(P, &V, sizeof V); }

// Direct-colour sources, one pixel at index I.
struct From15 {
  static TPixel At(const uint8_t *S, int32_t I) { return {Unpack15(Load16(S + 2 * I)), 0, Opaque}; }
};
struct From15Alpha {
  static TPixel At(const uint8_t *S, int32_t I) {
    const uint16_t p = Load16(S + 2 * I);
    return {Unpack15(p), 0, static_cast<uint8_t>(p & Alpha15 ? Opaque : 0)};
  }
};
struct From16 {
  static TPixel At(const uint8_t *S, int32_t I) { return {Unpack16(Load16(S + 2 * I)), 0, Opaque}; }
};
struct From24 {
  static TPixel At(const uint8_t *S, int32_t I) {
    const uint8_t *p = S + 3 * I;
    return {Channels(p[2], p[1], p[0]), 0, Opaque};
  }
};
struct From32 {
  static TPixel At(const uint8_t *S, int32_t I) { return {Load32(S + 4 * I) & 0xFFFFFF, 0, Opaque}; }
};

// Destinations of a conversion, one pixel at index I.
struct To15 {
  static void Put(uint8_t *D, int32_t I, TPixel P) { Store16(D + 2 * I, Pack15(P.RGB)); }
};
struct To15Alpha {
  static void Put(uint8_t *D, int32_t I, TPixel P) { Store16(D + 2 * I, Pack15(P.RGB) | Alpha15); }
};
struct To16 {
  static void Put(uint8_t *D, int32_t I, TPixel P) { Store16(D + 2 * I, Pack16(P.RGB)); }
};
struct To32 {
  static void Put(uint8_t *D, int32_t I, TPixel P) { Store32(D + 4 * I, P.RGB | uint32_t{P.Fourth} << 24); }
};
struct To32Alpha {
  static void Put(uint8_t *D, int32_t I, TPixel P) { Store32(D + 4 * I, P.RGB | uint32_t{P.Alpha} << 24); }
};
// 24-bit pixels go out as 32-bit stores 3 bytes apart, each overwriting the
// byte the next one rewrites; the last pixel goes bytewise so nothing past
// the line is touched.
struct To24 {
  static void Put(uint8_t *D, int32_t I, TPixel P) { Store32(D + 3 * I, P.RGB); }
  static void PutLast(uint8_t *D, int32_t I, TPixel P) {
    uint8_t *d = D + 3 * I;
    d[0] = static_cast<uint8_t>(Blue(P.RGB));
    d[1] = static_cast<uint8_t>(Green(P.RGB));
    d[2] = static_cast<uint8_t>(Red(P.RGB));
  }
};

template <class To> void PutLast(uint8_t *D, int32_t I, TPixel P) {
  if constexpr (std::is_same_v<To, To24>)
    To24::PutLast(D, I, P);
  else
    To::Put(D, I, P);
}

// Drives a converter over a line: Source(I) gives pixel I.
template <class To, class Source> void ConvertLine(uint8_t *D, int32_t Count, Source &&SourceAt) {
  if (Count <= 0)
    return;
  for (int32_t i = 0; i < Count - 1; ++i)
    To::Put(D, i, SourceAt(i));
  PutLast<To>(D, Count - 1, SourceAt(Count - 1));
}

template <class From, class To> void ConvertDirect(const void *Source, void *Dest, int32_t Count, const uint32_t *) {
  const auto *s = static_cast<const uint8_t *>(Source);
  ConvertLine<To>(static_cast<uint8_t *>(Dest), Count, [s](int32_t i) { return From::At(s, i); });
}

const uint32_t *CheckedPalette(const uint32_t *Palette) {
  Assert(Palette != nullptr, "ScanlineConverters: Indexed source without a palette", "VmLib\\VmGraphics", __LINE__);
  return Palette;
}

TPixel PaletteEntry(const uint32_t *Palette, uint32_t Index) {
  const uint32_t e = Palette[Index];
  return {e & 0xFFFFFF, static_cast<uint8_t>(e >> 24), Opaque};
}

// Indexed sources. 1-bit lines go a source byte at a time, eight pixels
// unrolled; the bits of a last partial byte are taken from its top.
template <class Put> void ForEach1BitIndex(const uint8_t *S, int32_t Count, Put &&put) {
  const int32_t whole = Count / 8;
  for (int32_t b = 0; b < whole; ++b) {
    const uint32_t v = S[b];
    const int32_t i = 8 * b;
    put(i + 0, v >> 7 & 1);
    put(i + 1, v >> 6 & 1);
    put(i + 2, v >> 5 & 1);
    put(i + 3, v >> 4 & 1);
    put(i + 4, v >> 3 & 1);
    put(i + 5, v >> 2 & 1);
    put(i + 6, v >> 1 & 1);
    put(i + 7, v & 1);
  }
  for (int32_t i = 8 * whole; i < Count; ++i)
    put(i, S[whole] >> (7 - (i & 7)) & 1);
}

template <class Put> void ForEach4BitIndex(const uint8_t *S, int32_t Count, Put &&put) {
  if (Count <= 0)
    return;  // a negative count is odd too, and its last pixel would lie before the line
  const int32_t whole = Count / 2;
  for (int32_t b = 0; b < whole; ++b) {
    put(2 * b, S[b] >> 4);
    put(2 * b + 1, S[b] & 0xF);
  }
  if (Count & 1)
    put(Count - 1, S[whole] >> 4);
}

template <class To> void Convert1Bit(const void *Source, void *Dest, int32_t Count, const uint32_t *Palette) {
  if (Count <= 0)
    return;
  const uint32_t *palette = CheckedPalette(Palette);
  const auto *s = static_cast<const uint8_t *>(Source);
  auto *d = static_cast<uint8_t *>(Dest);
  // Every pixel but the last through the unrolled loop; the last one on its
  // own (24-bit lines must not be written past their end).
  const int32_t last = Count - 1;
  ForEach1BitIndex(s, last, [&](int32_t i, uint32_t index) { To::Put(d, i, PaletteEntry(palette, index)); });
  PutLast<To>(d, last, PaletteEntry(palette, s[last / 8] >> (7 - (last & 7)) & 1));
}

template <class To> void Convert4Bit(const void *Source, void *Dest, int32_t Count, const uint32_t *Palette) {
  if (Count <= 0)
    return;
  const uint32_t *palette = CheckedPalette(Palette);
  const auto *s = static_cast<const uint8_t *>(Source);
  ConvertLine<To>(static_cast<uint8_t *>(Dest), Count, [&](int32_t i) {
    return PaletteEntry(palette, i & 1 ? s[i / 2] & 0xF : s[i / 2] >> 4);
  });
}

template <class To> void Convert8Bit(const void *Source, void *Dest, int32_t Count, const uint32_t *Palette) {
  if (Count <= 0)
    return;
  const uint32_t *palette = CheckedPalette(Palette);
  const auto *s = static_cast<const uint8_t *>(Source);
  ConvertLine<To>(static_cast<uint8_t *>(Dest), Count, [&](int32_t i) { return PaletteEntry(palette, s[i]); });
}

// ---- Whole lines into 32-bit surfaces -------------------------------------------
// Every decoded picture line goes through one of these two, so they work on
// whole pixel pairs in 64-bit words: no per-pixel record, several loads in
// flight at once, and loops the compiler can vectorise. The end of a line
// goes pixel by pixel through the converters above, which define the bytes.
// The first pixel of a pair is the low half of its word: the processors the
// unit is built for are little-endian, as the 24-bit stores above assume too.
static_assert(std::endian::native == std::endian::little, "pixel pairs are packed in little-endian order");

uint64_t Load64(const uint8_t *P) {
  uint64_t v;
  std::memcpy(&v, P, sizeof v);
  return v;
}
void Store64(uint8_t *P, uint64_t V) { std::memcpy(P, &V, sizeof V); }

template <class To> constexpr bool WithAlpha = std::is_same_v<To, To32Alpha>;

// The 8 bytes read at a pixel pair hold its 6 bytes in their low part: the
// second pixel moves up a byte into the high half, and the byte neither
// pixel owns becomes the fourth byte (0) or the alpha (opaque).
template <class To> void Convert24BitTo32(const void *Source, void *Dest, int32_t Count, const uint32_t *) {
  if (Count <= 0)
    return;
  const auto *s = static_cast<const uint8_t *>(Source);
  auto *d = static_cast<uint8_t *>(Dest);
  constexpr uint64_t Low = 0xFFFFFF;
  constexpr uint64_t High = Low << 32;
  constexpr uint64_t Top = WithAlpha<To> ? 0xFF000000FF000000u : 0;
  int32_t i = 0;
  // Eight pixels a pass. The last pair reads 2 bytes past its own, so a
  // pass is only taken while at least one pixel follows it.
  for (; i < Count - 8; i += 8) {
    const uint8_t *p = s + 3 * static_cast<ptrdiff_t>(i);
    uint8_t *q = d + 4 * static_cast<ptrdiff_t>(i);
    for (int k = 0; k < 4; ++k) {
      const uint64_t pair = Load64(p + 6 * k);
      Store64(q + 8 * k, (pair & Low) | (pair << 8 & High) | Top);
    }
  }
  for (; i < Count; ++i)
    To::Put(d, i, From24::At(s, i));
}

// To sf32Bit a palette entry goes whole, to sf32BitAlpha its colour with
// alpha set: or-ing 0xFF into the top byte gives the same word as clearing
// the entry's reserved byte first.
template <class To> constexpr uint32_t AlphaBits = WithAlpha<To> ? 0xFF000000u : 0;

// Two palette entries per 64-bit store, the indices of four taken from one
// 32-bit load.
template <class To> void Convert8BitTo32Pairs(const uint8_t *S, uint8_t *D, int32_t Count, const uint32_t *Palette) {
  constexpr uint64_t Alpha = AlphaBits<To> | uint64_t{AlphaBits<To>} << 32;
  const auto pair = [Palette](uint32_t First, uint32_t Second) {
    return (Palette[First] | uint64_t{Palette[Second]} << 32) | Alpha;
  };
  int32_t i = 0;
  for (; i <= Count - 8; i += 8)
    for (int half = 0; half < 2; ++half) {
      const uint32_t indices = Load32(S + i + 4 * half);
      uint8_t *q = D + 4 * (static_cast<ptrdiff_t>(i) + 4 * half);
      Store64(q, pair(indices & 0xFF, indices >> 8 & 0xFF));
      Store64(q + 8, pair(indices >> 16 & 0xFF, indices >> 24));
    }
  for (; i < Count; ++i)
    To::Put(D, i, PaletteEntry(Palette, S[i]));
}

#if VM_SSE2_CODE
// Four palette entries per 128-bit store. Besides the one palette load a
// pixel needs, the loop's speed is its instruction count: indices come a
// register's width at a time, and each pair of them out of the word's two
// low bytes (one byte move each) before the word shifts on by 16 bits.
using TIndexWord = std::conditional_t<sizeof(void *) == 8, uint64_t, uint32_t>;

TIndexWord LoadIndexWord(const uint8_t *P) {
  if constexpr (sizeof(TIndexWord) == 8)
    return Load64(P);
  else
    return Load32(P);
}

// The compiler would fold successive shifts into one shift per index (a copy,
// a shift and a byte move each); the empty statement keeps the shifted word.
void ShiftOutPair(TIndexWord &Indices) {
  Indices >>= 16;
  asm("" : "+r"(Indices));
}

[[gnu::target("sse2")]] inline __m128i PaletteEntryIn(const uint32_t *Palette, TIndexWord Indices) {
  return _mm_cvtsi32_si128(static_cast<int>(Palette[Indices & 0xFF]));
}

// The entries of the four lowest indices of Indices, which are shifted out.
[[gnu::target("sse2")]] inline __m128i FourEntries(const uint32_t *Palette, TIndexWord &Indices) {
  const __m128i low = _mm_unpacklo_epi32(PaletteEntryIn(Palette, Indices), PaletteEntryIn(Palette, Indices >> 8));
  ShiftOutPair(Indices);
  const __m128i high = _mm_unpacklo_epi32(PaletteEntryIn(Palette, Indices), PaletteEntryIn(Palette, Indices >> 8));
  ShiftOutPair(Indices);
  return _mm_unpacklo_epi64(low, high);
}

template <class To>
[[gnu::target("sse2")]] void Convert8BitTo32Wide(const uint8_t *S, uint8_t *D, int32_t Count,
                                                 const uint32_t *Palette) {
  constexpr int32_t Step = 16, Word = sizeof(TIndexWord);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(AlphaBits<To>));
  int32_t i = 0;
  for (; i <= Count - Step; i += Step)
    for (int32_t w = 0; w < Step; w += Word) {
      TIndexWord indices = LoadIndexWord(S + i + w);
      uint8_t *q = D + 4 * (static_cast<ptrdiff_t>(i) + w);
      for (int32_t k = 0; k < Word / 4; ++k) {
        __m128i entries = FourEntries(Palette, indices);
        if constexpr (WithAlpha<To>)
          entries = _mm_or_si128(entries, alpha);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(q + 16 * k), entries);
      }
    }
  Convert8BitTo32Pairs<To>(S + i, D + 4 * static_cast<ptrdiff_t>(i), Count - i, Palette);
}
#endif

template <class To> void Convert8BitTo32(const void *Source, void *Dest, int32_t Count, const uint32_t *Palette) {
  if (Count <= 0)
    return;
  const uint32_t *palette = CheckedPalette(Palette);
  const auto *s = static_cast<const uint8_t *>(Source);
  auto *d = static_cast<uint8_t *>(Dest);
#if VM_SSE2_CODE
  if (HasSSE2())
    return Convert8BitTo32Wide<To>(s, d, Count, palette);
#endif
  Convert8BitTo32Pairs<To>(s, d, Count, palette);
}

// Widening keeps each index's value in the wider field.
void Widen1To4(const void *Source, void *Dest, int32_t Count, const uint32_t *) {
  auto *d = static_cast<uint8_t *>(Dest);
  if (Count > 0)
    std::memset(d, 0, static_cast<size_t>(Count + 1) / 2);
  ForEach1BitIndex(static_cast<const uint8_t *>(Source), Count,
                   [d](int32_t i, uint32_t index) { d[i / 2] |= static_cast<uint8_t>(i & 1 ? index : index << 4); });
}
void Widen1To8(const void *Source, void *Dest, int32_t Count, const uint32_t *) {
  auto *d = static_cast<uint8_t *>(Dest);
  ForEach1BitIndex(static_cast<const uint8_t *>(Source), Count,
                   [d](int32_t i, uint32_t index) { d[i] = static_cast<uint8_t>(index); });
}
void Widen4To8(const void *Source, void *Dest, int32_t Count, const uint32_t *) {
  auto *d = static_cast<uint8_t *>(Dest);
  ForEach4BitIndex(static_cast<const uint8_t *>(Source), Count,
                   [d](int32_t i, uint32_t index) { d[i] = static_cast<uint8_t>(index); });
}

// Copies: the line's bytes as they are (alpha bits and bytes included).
template <int BitsPerPixel> void Copy(const void *Source, void *Dest, int32_t Count, const uint32_t *) {
  if (Count > 0)
    std::memcpy(Dest, Source, (static_cast<size_t>(Count) * BitsPerPixel + 7) / 8);
}

[[noreturn]] void NotSupported(const void *, void *, int32_t, const uint32_t *) {
  throw EGraphicsError("Conversion not supported.");
}

using C = TScanlineConverter;
constexpr C No = NotSupported;

} // namespace

const TScanlineConverter ScanlineConverters[ScanlineFormatCount][ScanlineFormatCount] = {
    // to: 1, 4, 8, 15, 15A, 16, 24, 32, 32A
    {Copy<1>, Widen1To4, Widen1To8, Convert1Bit<To15>, Convert1Bit<To15Alpha>, Convert1Bit<To16>, Convert1Bit<To24>,
     Convert1Bit<To32>, Convert1Bit<To32Alpha>},
    {No, Copy<4>, Widen4To8, Convert4Bit<To15>, Convert4Bit<To15Alpha>, Convert4Bit<To16>, Convert4Bit<To24>,
     Convert4Bit<To32>, Convert4Bit<To32Alpha>},
    {No, No, Copy<8>, Convert8Bit<To15>, Convert8Bit<To15Alpha>, Convert8Bit<To16>, Convert8Bit<To24>,
     Convert8BitTo32<To32>, Convert8BitTo32<To32Alpha>},
    {No, No, No, Copy<16>, ConvertDirect<From15, To15Alpha>, ConvertDirect<From15, To16>,
     ConvertDirect<From15, To24>, ConvertDirect<From15, To32>, ConvertDirect<From15, To32Alpha>},
    {No, No, No, Copy<16>, Copy<16>, ConvertDirect<From15Alpha, To16>, ConvertDirect<From15Alpha, To24>,
     ConvertDirect<From15Alpha, To32>, ConvertDirect<From15Alpha, To32Alpha>},
    {No, No, No, ConvertDirect<From16, To15>, ConvertDirect<From16, To15Alpha>, Copy<16>,
     ConvertDirect<From16, To24>, ConvertDirect<From16, To32>, ConvertDirect<From16, To32Alpha>},
    {No, No, No, ConvertDirect<From24, To15>, ConvertDirect<From24, To15Alpha>, ConvertDirect<From24, To16>,
     Copy<24>, Convert24BitTo32<To32>, Convert24BitTo32<To32Alpha>},
    {No, No, No, ConvertDirect<From32, To15>, ConvertDirect<From32, To15Alpha>, ConvertDirect<From32, To16>,
     ConvertDirect<From32, To24>, Copy<32>, ConvertDirect<From32, To32Alpha>},
    {No, No, No, ConvertDirect<From32, To15>, ConvertDirect<From32, To15Alpha>, ConvertDirect<From32, To16>,
     ConvertDirect<From32, To24>, Copy<32>, Copy<32>},
};

// ---- Readers and writers ----------------------------------------------------

namespace {

uint8_t ReadByte(TStream &Stream) {
  uint8_t b;
  Stream.ReadBuffer(&b, 1);
  return b;
}

void SkipBytes(TStream &Stream, int32_t Count) {
  for (; Count > 0; --Count)
    ReadByte(Stream);
}

// The BMP run-length codes after an escape byte 0.
constexpr uint8_t RLEEscape = 0;
constexpr uint8_t RLEEndOfLine = 0;
constexpr uint8_t RLEEndOfBitmap = 1;
constexpr uint8_t RLEDelta = 2;
constexpr int32_t RLEMaxCount = 255;
constexpr int32_t RLEMinAbsolute = 3;

// A run of Count units starting at unit Position must end inside the line of
// Capacity units; files decide the counts, so this is checked, not assumed.
void CheckRun(const char *Reader, const char *Unit, int64_t Position, int32_t Count, int64_t Capacity) {
  if (Position + Count > Capacity)
    throw EGraphicsError(Format("%s: Run of %d at %s %lld overruns the line of %lld %ss", Reader, Count, Unit,
                                static_cast<long long>(Position), static_cast<long long>(Capacity), Unit));
}

// Walks the codes of one line; the format's handlers write the runs.
template <class Line> TScanlineEnd ReadRLELine(TStream &Stream, Line &Out) {
  for (;;) {
    const uint8_t count = ReadByte(Stream);
    const uint8_t value = ReadByte(Stream);
    if (count != RLEEscape)
      Out.Encoded(count, value);
    else if (value == RLEEndOfLine)
      return TScanlineEnd::seEndOfLine;
    else if (value == RLEEndOfBitmap)
      return TScanlineEnd::seEndOfBitmap;
    else if (value == RLEDelta)
      Out.Delta();
    else
      Out.Absolute(Stream, value);
  }
}

struct TRLE8Line {
  static constexpr const char *Name = "ScanlineReadRLE8";
  uint8_t *Dest;
  int32_t Length;
  int32_t X = 0;

  void Encoded(int32_t Count, uint8_t Value) {
    CheckRun(Name, "byte", X, Count, Length);
    std::memset(Dest + X, Value, static_cast<size_t>(Count));
    X += Count;
  }
  [[noreturn]] static void Delta() {
    throw EGraphicsError("ScanlineReadRLE8: unsupported RLE format. <RLE8 Delta> feature not implemented");
  }
  void Absolute(TStream &Stream, int32_t Count) {
    CheckRun(Name, "byte", X, Count, Length);
    Stream.ReadBuffer(Dest + X, Count);
    X += Count;
    SkipBytes(Stream, Count & 1);
  }
};

struct TRLE4Line {
  static constexpr const char *Name = "ScanlineReadRLE4";
  uint8_t *Dest;
  int32_t Length;
  int64_t X = 0; // pixels: up to twice the line's bytes

  int64_t Pixels() const { return int64_t{Length} * 2; }
  void Put(uint8_t Nibble) {
    uint8_t &b = Dest[X / 2];
    b = X & 1 ? static_cast<uint8_t>((b & 0xF0) | Nibble) : static_cast<uint8_t>((b & 0x0F) | Nibble << 4);
    ++X;
  }
  void Encoded(int32_t Count, uint8_t Value) {
    CheckRun(Name, "pixel", X, Count, Pixels());
    for (int32_t i = 0; i < Count; ++i)
      Put(i & 1 ? Value & 0xF : Value >> 4);
  }
  [[noreturn]] static void Delta() {
    throw EGraphicsError("ScanlineReadRLE4: <RLE4 Delta> feature not implemented.");
  }
  void Absolute(TStream &Stream, int32_t Count) {
    CheckRun(Name, "pixel", X, Count, Pixels());
    const int32_t bytes = (Count + 1) / 2;
    std::array<uint8_t, (RLEMaxCount + 1) / 2> packed;
    Stream.ReadBuffer(packed.data(), bytes);
    for (int32_t i = 0; i < Count; ++i)
      Put(i & 1 ? packed[i / 2] & 0xF : packed[i / 2] >> 4);
    // Each run ends on a 16-bit boundary.
    SkipBytes(Stream, bytes & 1);
  }
};

template <class Line>
TScanlineEnd ReadRLELines(TStream &Stream, void *Dest, int32_t LineLength, int32_t LineCount) {
  auto *d = static_cast<uint8_t *>(Dest);
  TScanlineEnd end = TScanlineEnd::seEndOfLine;
  for (int32_t y = 0; y < LineCount && end != TScanlineEnd::seEndOfBitmap; ++y) {
    Line line{d + static_cast<ptrdiff_t>(y) * LineLength, LineLength};
    end = ReadRLELine(Stream, line);
  }
  return end;
}

} // namespace

void ScanlineReadRaw(TStream &Stream, void *Dest, int32_t StoredLength, int32_t WantedLength) {
  if (StoredLength > WantedLength) {
    Stream.ReadBuffer(Dest, WantedLength);
    SkipBytes(Stream, StoredLength - WantedLength);
  } else {
    Stream.ReadBuffer(Dest, StoredLength);
  }
}

void ScanlineReadRaw(TStream &Stream, void *Dest, int32_t StoredLength, int32_t WantedLength, int32_t LineCount) {
  auto *d = static_cast<uint8_t *>(Dest);
  for (int32_t y = 0; y < LineCount; ++y)
    ScanlineReadRaw(Stream, d + static_cast<ptrdiff_t>(y) * WantedLength, StoredLength, WantedLength);
}

TScanlineEnd ScanlineReadRLE8(TStream &Stream, void *Dest, int32_t LineLength) {
  return ReadRLELines<TRLE8Line>(Stream, Dest, LineLength, 1);
}

TScanlineEnd ScanlineReadRLE8(TStream &Stream, void *Dest, int32_t LineLength, int32_t LineCount) {
  return ReadRLELines<TRLE8Line>(Stream, Dest, LineLength, LineCount);
}

TScanlineEnd ScanlineReadRLE4(TStream &Stream, void *Dest, int32_t LineLength) {
  return ReadRLELines<TRLE4Line>(Stream, Dest, LineLength, 1);
}

TScanlineEnd ScanlineReadRLE4(TStream &Stream, void *Dest, int32_t LineLength, int32_t LineCount) {
  return ReadRLELines<TRLE4Line>(Stream, Dest, LineLength, LineCount);
}

void ScanlineWriteRaw(TStream &Stream, const void *Source, int32_t StoredLength, int32_t DataLength) {
  Stream.WriteBuffer(Source, DataLength);
  static constexpr uint8_t zeros[64] = {};
  for (int32_t left = StoredLength - DataLength; left > 0; left -= static_cast<int32_t>(sizeof zeros))
    Stream.WriteBuffer(zeros, std::min(left, static_cast<int32_t>(sizeof zeros)));
}

namespace {

// Length of the run of equal bytes at S[0], at most Limit.
int32_t RunLength(const uint8_t *S, int32_t Limit) {
  int32_t n = 1;
  while (n < Limit && S[n] == S[0])
    ++n;
  return n;
}

void WriteEncodedRuns(TStream &Stream, const uint8_t *S, int32_t Length) {
  for (int32_t i = 0; i < Length;) {
    const int32_t n = RunLength(S + i, std::min(Length - i, RLEMaxCount));
    const uint8_t pair[2] = {static_cast<uint8_t>(n), S[i]};
    Stream.WriteBuffer(pair, 2);
    i += n;
  }
}

void WriteAbsolute(TStream &Stream, const uint8_t *S, int32_t Length) {
  const uint8_t head[2] = {RLEEscape, static_cast<uint8_t>(Length)};
  Stream.WriteBuffer(head, 2);
  Stream.WriteBuffer(S, Length);
  if (Length & 1)
    Stream.WriteBuffer(&RLEEscape, 1);
}

} // namespace

void ScanlineWriteRLE8(TStream &Stream, const void *Source, int32_t Length) {
  const auto *s = static_cast<const uint8_t *>(Source);
  for (int32_t i = 0; i < Length;) {
    const int32_t run = RunLength(s + i, std::min(Length - i, RLEMaxCount));
    if (run >= RLEMinAbsolute) {
      WriteEncodedRuns(Stream, s + i, run);
      i += run;
      continue;
    }
    // A stretch without runs of 3 or more: absolute when long enough to be
    // one, otherwise (one or two bytes) as short encoded runs.
    int32_t stretch = run;
    while (i + stretch < Length && stretch < RLEMaxCount) {
      const int32_t next = RunLength(s + i + stretch, std::min(Length - i - stretch, RLEMaxCount));
      if (next >= RLEMinAbsolute)
        break;
      stretch = std::min(stretch + next, RLEMaxCount);
    }
    if (stretch >= RLEMinAbsolute)
      WriteAbsolute(Stream, s + i, stretch);
    else
      WriteEncodedRuns(Stream, s + i, stretch);
    i += stretch;
  }
  const uint8_t endOfLine[2] = {RLEEscape, RLEEndOfLine};
  Stream.WriteBuffer(endOfLine, 2);
}

// ---- The table by compression -------------------------------------------------

namespace {

TScanlineEnd RawLine(TStream &Stream, void *Dest, int32_t StoredLength, int32_t LineLength) {
  ScanlineReadRaw(Stream, Dest, StoredLength, LineLength);
  return TScanlineEnd::seEndOfLine;
}
TScanlineEnd RawLines(TStream &Stream, void *Dest, int32_t StoredLength, int32_t LineLength, int32_t LineCount) {
  ScanlineReadRaw(Stream, Dest, StoredLength, LineLength, LineCount);
  return TScanlineEnd::seEndOfLine;
}
void RawWrite(TStream &Stream, const void *Source, int32_t StoredLength, int32_t LineLength) {
  ScanlineWriteRaw(Stream, Source, StoredLength, LineLength);
}

template <class Line> TScanlineEnd RLELine(TStream &Stream, void *Dest, int32_t, int32_t LineLength) {
  return ReadRLELines<Line>(Stream, Dest, LineLength, 1);
}
template <class Line>
TScanlineEnd RLELines(TStream &Stream, void *Dest, int32_t, int32_t LineLength, int32_t LineCount) {
  return ReadRLELines<Line>(Stream, Dest, LineLength, LineCount);
}

[[noreturn]] void RLE4Write(TStream &, const void *, int32_t, int32_t) {
  throw EGraphicsError("RLE4 not implemented.");
}
void RLE8Write(TStream &Stream, const void *Source, int32_t, int32_t LineLength) {
  ScanlineWriteRLE8(Stream, Source, LineLength);
}

} // namespace

const TScanlineCoder ScanlineCoders[BitmapCompressionCount] = {
    {RawLine, RawLines, RawWrite},
    {RLELine<TRLE4Line>, RLELines<TRLE4Line>, RLE4Write},
    {RLELine<TRLE8Line>, RLELines<TRLE8Line>, RLE8Write},
};
