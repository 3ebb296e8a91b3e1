#include "VmGraphics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BmpFile.h"
#include "Classes.h"

namespace {

using SF = TScanlineFormat;
constexpr SF AllFormats[] = {SF::sf1Bit,  SF::sf4Bit, SF::sf8Bit,  SF::sf15Bit,     SF::sf15BitAlpha,
                             SF::sf16Bit, SF::sf24Bit, SF::sf32Bit, SF::sf32BitAlpha};
const char *const FormatNames[] = {"1", "4", "8", "15", "15A", "16", "24", "32", "32A"};

// Which pairs convert: the rows are sources, the columns destinations.
constexpr bool Supported[9][9] = {
    {1, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 0, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 1, 1, 1, 1, 1, 1},
};

int BitsOf(SF F) {
  static constexpr int bits[] = {1, 4, 8, 16, 16, 16, 24, 32, 32};
  return bits[static_cast<int>(F)];
}
size_t LineBytes(SF F, int32_t Count) { return (static_cast<size_t>(Count) * BitsOf(F) + 7) / 8; }
std::string PairName(SF From, SF To) {
  return std::string(FormatNames[static_cast<int>(From)]) + " -> " + FormatNames[static_cast<int>(To)];
}

std::vector<uint32_t> TestPalette() {
  std::vector<uint32_t> p(256);
  for (uint32_t i = 0; i < 256; ++i)
    p[i] = (i * 0x01030507u) ^ 0x5A00A5C3u; // every byte varies, the reserved one too
  return p;
}

std::vector<uint8_t> RandomBytes(size_t Count, uint32_t Seed) {
  std::mt19937 random(Seed);
  std::vector<uint8_t> b(Count);
  for (auto &v : b)
    v = static_cast<uint8_t>(random());
  return b;
}

std::vector<uint8_t> Convert(SF From, SF To, const std::vector<uint8_t> &Source, int32_t Count) {
  const std::vector<uint32_t> palette = TestPalette();
  std::vector<uint8_t> out(LineBytes(To, Count));
  ConvertScanline(From, To, Source.data(), out.data(), Count, palette.data());
  return out;
}

template <class T> std::vector<uint8_t> Bytes(std::initializer_list<T> Values) {
  std::vector<uint8_t> b(Values.size() * sizeof(T));
  std::memcpy(b.data(), std::data(Values), b.size());
  return b;
}

TEST(ScanlineConverters, PairsWithoutAConverterAreRefused) {
  for (SF from : AllFormats)
    for (SF to : AllFormats) {
      if (Supported[static_cast<int>(from)][static_cast<int>(to)])
        continue;
      uint8_t source[8] = {}, dest[8] = {};
      try {
        ConvertScanline(from, to, source, dest, 1, nullptr);
        ADD_FAILURE() << PairName(from, to) << ": no error";
      } catch (const EGraphicsError &e) {
        EXPECT_STREQ(e.what(), "Conversion not supported.") << PairName(from, to);
      }
    }
}

// Single pixels with known answers: the channel packing, the alpha rules and
// the bits that must stay as they are.
TEST(ScanlineConverters, KnownPixels) {
  const uint32_t palette2[] = {0xAA102030, 0x00F0E0D0};
  struct Case {
    SF From, To;
    std::vector<uint8_t> Source, Expected;
    int32_t Count;
  } cases[] = {
      {SF::sf15Bit, SF::sf24Bit, Bytes<uint16_t>({0x7FFF}), {248, 248, 248}, 1},
      {SF::sf15BitAlpha, SF::sf32BitAlpha, Bytes<uint16_t>({0x7FFF}), Bytes<uint32_t>({0x00F8F8F8}), 1},
      {SF::sf15BitAlpha, SF::sf32BitAlpha, Bytes<uint16_t>({0x8000 | 0x7C00}), Bytes<uint32_t>({0xFFF80000}), 1},
      {SF::sf15BitAlpha, SF::sf32Bit, Bytes<uint16_t>({0xFFFF}), Bytes<uint32_t>({0x00F8F8F8}), 1},
      {SF::sf15BitAlpha, SF::sf15Bit, Bytes<uint16_t>({0x8123}), Bytes<uint16_t>({0x8123}), 1},
      {SF::sf15Bit, SF::sf15BitAlpha, Bytes<uint16_t>({0x0123}), Bytes<uint16_t>({0x8123}), 1},
      {SF::sf15BitAlpha, SF::sf15BitAlpha, Bytes<uint16_t>({0x0123}), Bytes<uint16_t>({0x0123}), 1},
      // 16 -> 15 drops green's lowest bit; 15 -> 16 leaves it 0.
      {SF::sf16Bit, SF::sf15Bit, Bytes<uint16_t>({0x07E0}), Bytes<uint16_t>({0x03E0}), 1},
      {SF::sf16Bit, SF::sf15Bit, Bytes<uint16_t>({0x0020}), Bytes<uint16_t>({0x0000}), 1},
      {SF::sf15Bit, SF::sf16Bit, Bytes<uint16_t>({0x03E0 | 0x7C00 | 0x1F}), Bytes<uint16_t>({0xFFDF}), 1},
      {SF::sf16Bit, SF::sf24Bit, Bytes<uint16_t>({0xFFFF}), {248, 252, 248}, 1},
      {SF::sf24Bit, SF::sf16Bit, {0x07, 0x03, 0xFF}, Bytes<uint16_t>({0xF800}), 1},
      {SF::sf24Bit, SF::sf15Bit, {0xFF, 0x80, 0x01}, Bytes<uint16_t>({0x0000 | 0x10 << 5 | 0x1F}), 1},
      {SF::sf24Bit, SF::sf32Bit, {1, 2, 3}, Bytes<uint32_t>({0x00030201}), 1},
      {SF::sf24Bit, SF::sf32BitAlpha, {1, 2, 3}, Bytes<uint32_t>({0xFF030201}), 1},
      {SF::sf32Bit, SF::sf32BitAlpha, Bytes<uint32_t>({0x12345678}), Bytes<uint32_t>({0xFF345678}), 1},
      {SF::sf32BitAlpha, SF::sf32Bit, Bytes<uint32_t>({0x12345678}), Bytes<uint32_t>({0x12345678}), 1},
      {SF::sf32Bit, SF::sf15BitAlpha, Bytes<uint32_t>({0x00FFFFFF}), Bytes<uint16_t>({0xFFFF}), 1},
      {SF::sf32Bit, SF::sf24Bit, Bytes<uint32_t>({0x77030201}), {1, 2, 3}, 1},
      // Indexed to sf32Bit keeps the palette entry whole, reserved byte too;
      // to sf32BitAlpha the alpha is opaque.
      {SF::sf1Bit, SF::sf32Bit, {0x80}, Bytes<uint32_t>({0x00F0E0D0, 0xAA102030}), 2},
      {SF::sf1Bit, SF::sf32BitAlpha, {0x40}, Bytes<uint32_t>({0xFF102030, 0xFFF0E0D0}), 2},
      {SF::sf1Bit, SF::sf15BitAlpha, {0x00}, Bytes<uint16_t>({0x8000 | 0x02 << 10 | 0x04 << 5 | 0x06}), 1},
      // 1 bit, 10 pixels: 8 from the first byte, 2 from the top of the second.
      {SF::sf1Bit, SF::sf8Bit, {0xA5, 0x80}, {1, 0, 1, 0, 0, 1, 0, 1, 1, 0}, 10},
      {SF::sf1Bit, SF::sf4Bit, {0xA5, 0x40}, {0x10, 0x10, 0x01, 0x01, 0x01}, 10},
      {SF::sf4Bit, SF::sf8Bit, {0xF1, 0x20}, {15, 1, 2}, 3},
      {SF::sf1Bit, SF::sf1Bit, {0xA5, 0xC0}, {0xA5, 0xC0}, 10},
      {SF::sf4Bit, SF::sf4Bit, {0x12, 0x30}, {0x12, 0x30}, 3},
  };
  int index = 0;
  for (const Case &c : cases) {
    std::vector<uint8_t> out(c.Expected.size(), 0xEE);
    ConvertScanline(c.From, c.To, c.Source.data(), out.data(), c.Count, palette2);
    EXPECT_EQ(out, c.Expected) << "case " << index << ": " << PairName(c.From, c.To);
    ++index;
  }
}

// Every supported pair converts lines of every length without touching a
// byte past the line (24-bit destinations are written 4 bytes at a time, and
// lines into 32 bits a pixel pair at a time); a negative length converts
// nothing, and writes nothing before the line. The source is exactly as long
// as its line, so that the sanitizers of the native build see a read past
// its end (loops that load several pixels at once).
TEST(ScanlineConverters, NothingIsWrittenPastTheLine) {
  const std::vector<uint32_t> palette = TestPalette();
  const std::vector<uint8_t> source = RandomBytes(4 * 40, 1);
  for (SF from : AllFormats)
    for (SF to : AllFormats) {
      if (!Supported[static_cast<int>(from)][static_cast<int>(to)])
        continue;
      for (int32_t count = -3; count <= 19; ++count) {
        const size_t bytes = count > 0 ? LineBytes(to, count) : 0;
        const std::vector<uint8_t> line(source.begin(),
                                        source.begin() + static_cast<ptrdiff_t>(count > 0 ? LineBytes(from, count) : 0));
        constexpr size_t Margin = 8;  // before and after the line
        std::vector<uint8_t> dest(Margin + bytes + Margin, 0xEE);
        ConvertScanline(from, to, line.data(), dest.data() + Margin, count, palette.data());
        for (size_t i = 0; i < dest.size(); ++i)
          if (i < Margin || i >= Margin + bytes) {
            ASSERT_EQ(dest[i], 0xEE) << PairName(from, to) << ", " << count << " pixels: byte "
                                     << static_cast<long>(i) - static_cast<long>(Margin);
          }
      }
    }
}

// The same pixel must come out the same whatever route it takes: a pixel
// converted on its own, at any place in a line, equals the line's pixel
// (catches the unrolled 1-bit loop and the 24-bit stores), and converting
// straight to a packed format equals going through 24 bits first.
TEST(ScanlineConverters, EveryRouteAgrees) {
  const int32_t count = 37;
  const std::vector<uint8_t> source = RandomBytes(4 * count, 2);
  for (SF from : AllFormats)
    for (SF to : {SF::sf15Bit, SF::sf15BitAlpha, SF::sf16Bit, SF::sf24Bit}) {
      if (!Supported[static_cast<int>(from)][static_cast<int>(to)] || from == to ||
          (from == SF::sf15BitAlpha && to == SF::sf15Bit))
        continue;
      const std::vector<uint8_t> direct = Convert(from, to, source, count);
      const std::vector<uint8_t> via24 = Convert(SF::sf24Bit, to, Convert(from, SF::sf24Bit, source, count), count);
      EXPECT_EQ(direct, via24) << PairName(from, to);
    }
  for (SF from : {SF::sf1Bit, SF::sf4Bit})
    for (SF to : AllFormats) {
      if (!Supported[static_cast<int>(from)][static_cast<int>(to)] || BitsOf(to) < 8)
        continue;
      const std::vector<uint8_t> line = Convert(from, to, source, count);
      const std::vector<uint8_t> indices = Convert(from, SF::sf8Bit, source, count);
      const size_t width = BitsOf(to) / 8;
      for (int32_t i = 0; i < count; ++i) {
        const std::vector<uint8_t> one = Convert(SF::sf8Bit, to, {indices[i]}, 1);
        ASSERT_EQ(0, std::memcmp(one.data(), line.data() + i * width, width)) << PairName(from, to) << " pixel " << i;
      }
    }
}

// Long lines of the byte-sized sources against their pixels converted one at
// a time: lines are converted several pixels per step where single pixels are
// not, so a pixel pair swapped, a channel shifted into its neighbour, an
// index taken from the wrong byte or a step ending one pixel early would show
// at some position of some length.
TEST(ScanlineConverters, LongLinesMatchTheirPixels) {
  const std::vector<uint8_t> source = RandomBytes(4 * 100, 5);
  for (SF from : {SF::sf8Bit, SF::sf15Bit, SF::sf15BitAlpha, SF::sf16Bit, SF::sf24Bit, SF::sf32Bit, SF::sf32BitAlpha})
    for (SF to : {SF::sf15Bit, SF::sf15BitAlpha, SF::sf16Bit, SF::sf24Bit, SF::sf32Bit, SF::sf32BitAlpha})
      for (int32_t count : {8, 9, 15, 16, 17, 31, 33, 100}) {
        const std::vector<uint8_t> line = Convert(from, to, source, count);
        const size_t in = BitsOf(from) / 8, out = BitsOf(to) / 8;
        for (int32_t i = 0; i < count; ++i) {
          const std::vector<uint8_t> pixel(source.begin() + i * in, source.begin() + (i + 1) * in);
          const std::vector<uint8_t> one = Convert(from, to, pixel, 1);
          ASSERT_EQ(0, std::memcmp(one.data(), line.data() + i * out, out))
              << PairName(from, to) << ", line of " << count << ": pixel " << i;
        }
      }
}

// ---- Readers -----------------------------------------------------------------

TMemoryStream StreamOf(std::initializer_list<uint8_t> Bytes) { return TMemoryStream(std::vector<uint8_t>(Bytes)); }

TEST(ScanlineReadRaw, ShorterDestinationSkipsThePadding) {
  TMemoryStream s = StreamOf({1, 2, 3, 0, 4, 5, 6, 0});
  uint8_t dest[6] = {};
  ScanlineReadRaw(s, dest, 4, 3, 2);
  EXPECT_EQ(std::vector<uint8_t>(dest, dest + 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(s.Position(), 8);

  TMemoryStream longer = StreamOf({7, 8, 9});
  uint8_t wide[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  ScanlineReadRaw(longer, wide, 2, 4);
  EXPECT_EQ(std::vector<uint8_t>(wide, wide + 5), (std::vector<uint8_t>{7, 8, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(longer.Position(), 2);
}

TEST(ScanlineWriteRaw, PadsWithZeros) {
  TMemoryStream s;
  const uint8_t data[3] = {1, 2, 3};
  ScanlineWriteRaw(s, data, 8, 3);
  EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{1, 2, 3, 0, 0, 0, 0, 0}));
}

struct RLECase {
  const char *Name;
  std::vector<uint8_t> Codes;
  int32_t LineLength;
  std::vector<uint8_t> Expected; // the destination, which starts as 0xEE bytes
  TScanlineEnd End;
  int64_t Consumed; // where the stream must stand afterwards
};

void RunCases(const std::vector<RLECase> &Cases, TScanlineEnd (*Read)(TStream &, void *, int32_t)) {
  for (const RLECase &c : Cases) {
    TMemoryStream s(c.Codes);
    std::vector<uint8_t> dest(c.Expected.size(), 0xEE);
    try {
      EXPECT_EQ(Read(s, dest.data(), c.LineLength), c.End) << c.Name;
      EXPECT_EQ(dest, c.Expected) << c.Name;
      EXPECT_EQ(s.Position(), c.Consumed) << c.Name;
    } catch (const Exception &e) {
      ADD_FAILURE() << c.Name << ": " << e.what();
    }
  }
}

constexpr uint8_t E = 0xEE;

TEST(ScanlineReadRLE8, Codes) {
  RunCases(
      {
          {"encoded runs", {3, 7, 1, 9, 0, 0, 5, 5}, 5, {7, 7, 7, 9, E}, TScanlineEnd::seEndOfLine, 6},
          {"end of bitmap", {2, 1, 0, 1}, 4, {1, 1, E, E}, TScanlineEnd::seEndOfBitmap, 4},
          {"absolute of 3 is padded", {0, 3, 1, 2, 3, 0, 0, 0}, 4, {1, 2, 3, E}, TScanlineEnd::seEndOfLine, 8},
          {"absolute of 4 is not", {0, 4, 1, 2, 3, 4, 0, 0}, 4, {1, 2, 3, 4}, TScanlineEnd::seEndOfLine, 8},
          {"run filling the line exactly", {4, 6, 0, 0}, 4, {6, 6, 6, 6}, TScanlineEnd::seEndOfLine, 4},
      },
      ScanlineReadRLE8);
}

TEST(ScanlineReadRLE4, Codes) {
  RunCases(
      {
          // Encoded runs alternate the value's nibbles, high first; a pixel
          // leaves the other nibble of its byte as it was.
          {"encoded, odd length", {3, 0x12, 0, 0}, 3, {0x12, 0x1E, E}, TScanlineEnd::seEndOfLine, 4},
          {"encoded after odd x", {1, 0x50, 2, 0x67, 0, 1}, 2, {0x56, 0x7E}, TScanlineEnd::seEndOfBitmap, 6},
          // 5 pixels: 3 bytes and one padding byte; 3 pixels: 2 bytes, none.
          {"absolute of 5", {0, 5, 0x12, 0x34, 0x50, 0, 0, 0}, 3, {0x12, 0x34, 0x5E}, TScanlineEnd::seEndOfLine, 8},
          {"absolute of 3", {0, 3, 0xAB, 0xC0, 0, 0}, 2, {0xAB, 0xCE}, TScanlineEnd::seEndOfLine, 6},
          {"absolute at odd x", {1, 0x90, 0, 3, 0xAB, 0xC0, 0, 0}, 2, {0x9A, 0xBC}, TScanlineEnd::seEndOfLine, 8},
      },
      ScanlineReadRLE4);
}

// Bad codes from a file: each gets its own message, and a run that would
// pass the destination's end is refused before any byte of it is written.
TEST(ScanlineReadRLE, MalformedCodes) {
  struct {
    const char *Name;
    std::vector<uint8_t> Codes;
    bool RLE4;
    int32_t LineLength;
    const char *Message;
  } cases[] = {
      {"RLE8 delta", {0, 2, 1, 1}, false, 8,
       "ScanlineReadRLE8: unsupported RLE format. <RLE8 Delta> feature not implemented"},
      {"RLE4 delta", {0, 2, 1, 1}, true, 8, "ScanlineReadRLE4: <RLE4 Delta> feature not implemented."},
      {"RLE8 encoded past the end", {4, 1, 5, 2}, false, 8,
       "ScanlineReadRLE8: Run of 5 at byte 4 overruns the line of 8 bytes"},
      {"RLE8 absolute past the end", {0, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}, false, 8,
       "ScanlineReadRLE8: Run of 9 at byte 0 overruns the line of 8 bytes"},
      {"RLE8 line without end code", {255, 1, 255, 1}, false, 256,
       "ScanlineReadRLE8: Run of 255 at byte 255 overruns the line of 256 bytes"},
      {"RLE4 encoded past the end", {7, 0x11, 0, 0}, true, 3,
       "ScanlineReadRLE4: Run of 7 at pixel 0 overruns the line of 6 pixels"},
      {"RLE4 absolute past the end", {2, 0x11, 0, 5, 1, 2, 3, 0}, true, 3,
       "ScanlineReadRLE4: Run of 5 at pixel 2 overruns the line of 6 pixels"},
      {"RLE8 stream ends inside a run", {0, 4, 1, 2}, false, 8, "Stream read error"},
      {"RLE4 stream ends before the end code", {2, 0x11}, true, 8, "Stream read error"},
  };
  for (const auto &c : cases) {
    TMemoryStream s(c.Codes);
    std::vector<uint8_t> dest(static_cast<size_t>(c.LineLength) + 4, E);
    try {
      if (c.RLE4)
        ScanlineReadRLE4(s, dest.data(), c.LineLength);
      else
        ScanlineReadRLE8(s, dest.data(), c.LineLength);
      ADD_FAILURE() << c.Name << ": no error";
    } catch (const Exception &e) {
      EXPECT_STREQ(e.what(), c.Message) << c.Name;
    }
    for (size_t i = static_cast<size_t>(c.LineLength); i < dest.size(); ++i)
      ASSERT_EQ(dest[i], E) << c.Name << ": byte " << i << " past the line was written";
  }
}

// The n-line forms advance by the line length and stop at the end of the
// bitmap, leaving the lines below untouched.
TEST(ScanlineReadRLE, LinesStopAtTheEndOfTheBitmap) {
  TMemoryStream s = StreamOf({2, 1, 0, 0, 1, 2, 0, 1, 9, 9});
  std::vector<uint8_t> dest(9, E);
  EXPECT_EQ(ScanlineReadRLE8(s, dest.data(), 3, 3), TScanlineEnd::seEndOfBitmap);
  EXPECT_EQ(dest, (std::vector<uint8_t>{1, 1, E, 2, E, E, E, E, E}));
  EXPECT_EQ(s.Position(), 8);

  TMemoryStream four = StreamOf({3, 0x12, 0, 0, 2, 0x34, 0, 0});
  std::vector<uint8_t> lines(4, 0);
  EXPECT_EQ(ScanlineReadRLE4(four, lines.data(), 2, 2), TScanlineEnd::seEndOfLine);
  EXPECT_EQ(lines, (std::vector<uint8_t>{0x12, 0x10, 0x34, 0x00}));
}

// ---- Writer --------------------------------------------------------------------

// Checks that Codes is one line of valid RLE8 (absolute runs of 3 or more,
// padded to 16 bits; counts at most 255; the end-of-line code last) and
// returns its bytes.
std::vector<uint8_t> DecodeStrictRLE8(const std::vector<uint8_t> &Codes, const std::string &Name) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i + 1 < Codes.size()) {
    const uint8_t count = Codes[i], value = Codes[i + 1];
    i += 2;
    if (count > 0) {
      out.insert(out.end(), count, value);
    } else if (value == 0) {
      EXPECT_EQ(i, Codes.size()) << Name << ": end of line before the end";
      return out;
    } else {
      EXPECT_GE(value, 3) << Name << ": escape " << int(value) << " at " << i - 2;
      out.insert(out.end(), Codes.begin() + i, Codes.begin() + i + value);
      i += value + (value & 1);
    }
  }
  ADD_FAILURE() << Name << ": no end-of-line code";
  return out;
}

TEST(ScanlineWriteRLE8, WritesValidRLE8ThatReadsBack) {
  std::mt19937 random(3);
  std::vector<std::vector<uint8_t>> lines = {
      {}, {5}, {5, 6}, {5, 5}, {1, 2, 3}, {7, 7, 7}, {1, 2, 2, 3}, {1, 2, 3, 3, 3, 4, 5},
      std::vector<uint8_t>(255, 9), std::vector<uint8_t>(256, 9), std::vector<uint8_t>(600, 4),
  };
  for (int32_t length : {255, 256, 257, 511, 700}) {
    std::vector<uint8_t> noise(static_cast<size_t>(length)), blocks(static_cast<size_t>(length));
    for (int32_t i = 0; i < length; ++i) {
      noise[i] = static_cast<uint8_t>(random());
      blocks[i] = static_cast<uint8_t>(random() % 7 < 5 && i > 0 ? blocks[i - 1] : random() % 4);
    }
    lines.push_back(noise);
    lines.push_back(blocks);
  }
  for (const auto &line : lines) {
    const std::string name = "line of " + std::to_string(line.size());
    TMemoryStream s;
    ScanlineWriteRLE8(s, line.data(), static_cast<int32_t>(line.size()));
    EXPECT_EQ(DecodeStrictRLE8(s.Bytes(), name), line) << name;
    s.SetPosition(0);
    std::vector<uint8_t> back(line.size() + 1, E);
    EXPECT_EQ(ScanlineReadRLE8(s, back.data(), static_cast<int32_t>(line.size())), TScanlineEnd::seEndOfLine);
    back.pop_back();
    EXPECT_EQ(back, line) << name;
  }
}

TEST(ScanlineCoders, TableByCompression) {
  uint8_t line[4] = {1, 2, 3, 4};
  TMemoryStream s;
  try {
    ScanlineCoders[static_cast<int>(TBitmapCompression::bcRLE4)].WriteLine(s, line, 4, 4);
    ADD_FAILURE() << "RLE4 writer: no error";
  } catch (const EGraphicsError &e) {
    EXPECT_STREQ(e.what(), "RLE4 not implemented.");
  }
  ScanlineCoders[static_cast<int>(TBitmapCompression::bcRLE8)].WriteLine(s, line, 0, 4);
  ScanlineCoders[static_cast<int>(TBitmapCompression::bcNone)].WriteLine(s, line, 6, 4);
  EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{0, 4, 1, 2, 3, 4, 0, 0, 1, 2, 3, 4, 0, 0}));
}

// Pictures through the BMP file writer and reader of tools/: all three
// compressions, line by line through the table.
TEST(ScanlineCoders, IndexedBmpRoundTrips) {
  std::mt19937 random(4);
  for (int bits : {4, 8})
    for (TBitmapCompression c : {TBitmapCompression::bcNone, TBitmapCompression::bcRLE4, TBitmapCompression::bcRLE8}) {
      if ((c == TBitmapCompression::bcRLE4 && bits != 4) || (c == TBitmapCompression::bcRLE8 && bits != 8))
        continue;
      for (int32_t width : {1, 2, 3, 5, 17, 300}) {
        TIndexedImage image{width, 4, TestPalette(), {}};
        image.Palette.resize(size_t{1} << bits);
        for (int32_t i = 0; i < width * 4; ++i)
          image.Pixels.push_back(
              static_cast<uint8_t>(random() % 3 == 0 || i == 0 ? random() % (1u << bits) : image.Pixels.back()));
        const TIndexedImage back = DecodeIndexedBmp(WriteIndexedBmp(image, bits, c));
        EXPECT_EQ(back.Pixels, image.Pixels) << bits << " bits, compression " << static_cast<int>(c) << ", width "
                                             << width;
      }
    }
}

} // namespace
