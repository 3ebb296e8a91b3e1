// The run-length readers against ImageMagick, a decoder written by others:
// RLE8 files that ImageMagick writes itself, and RLE4 and RLE8 files with
// absolute runs that our writers make (ImageMagick writes no RLE4 and only
// encoded runs in RLE8), all read line by line with our readers and compared
// pixel for pixel with ImageMagick's decoding of the same file and with the
// source picture. ImageMagick is a Linux program: natively only.
#include "VmGraphics.h"

#include <gtest/gtest.h>

#ifndef _WIN32

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <stdexcept>
#include <random>
#include <string>
#include <vector>

#include "BmpFile.h"
#include "TempDir.h"

namespace {

struct TRGB {
  uint8_t R, G, B;
  bool operator==(const TRGB &) const = default;
};

std::ostream &operator<<(std::ostream &Out, const TRGB &C) {
  return Out << '(' << int(C.R) << ", " << int(C.G) << ", " << int(C.B) << ')';
}

using TPicture = std::vector<std::vector<TRGB>>; // rows, top first

TRGB ColourOf(uint32_t Entry) {
  return {static_cast<uint8_t>(Entry >> 16), static_cast<uint8_t>(Entry >> 8), static_cast<uint8_t>(Entry)};
}

TPicture PictureOf(const TIndexedImage &Image) {
  TPicture p(static_cast<size_t>(Image.Height));
  for (int32_t y = 0; y < Image.Height; ++y)
    for (int32_t x = 0; x < Image.Width; ++x)
      p[y].push_back(ColourOf(Image.Palette.at(Image.Pixels[static_cast<size_t>(y) * Image.Width + x])));
  return p;
}

std::string Quoted(const std::string &S) { return "'" + S + "'"; }

// ImageMagick's decoding of a file, as 8-bit RGB.
TPicture MagickDecode(const std::string &File, int32_t Width, int32_t Height) {
  const std::string command = "convert " + Quoted(File) + " -depth 8 rgb:-";
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe)
    throw std::runtime_error("cannot run " + command);
  std::vector<uint8_t> bytes;
  uint8_t chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  EXPECT_EQ(pclose(pipe), 0) << command;
  EXPECT_EQ(bytes.size(), 3u * Width * Height) << command;
  bytes.resize(3u * Width * Height);
  TPicture p(static_cast<size_t>(Height));
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x) {
      const uint8_t *c = &bytes[3 * (static_cast<size_t>(y) * Width + x)];
      p[y].push_back({c[0], c[1], c[2]});
    }
  return p;
}

// A picture with long runs, short stretches and single pixels, in Colours
// distinct colours.
TIndexedImage SourcePicture(int32_t Width, int32_t Height, int Colours, uint32_t Seed) {
  std::mt19937 random(Seed);
  TIndexedImage image{Width, Height, {}, {}};
  for (int i = 0; i < Colours; ++i)
    image.Palette.push_back(static_cast<uint32_t>(i * 0x0B1F3D + 0x102030) & 0xFFFFFF);
  image.Palette[0] = 0xFFFFFF; // index 0 differs from every colour a fault might show
  for (int32_t i = 0; i < Width * Height; ++i) {
    const bool repeat = i % Width != 0 && random() % 10 < 6;
    image.Pixels.push_back(repeat ? image.Pixels.back() : static_cast<uint8_t>(random() % Colours));
  }
  return image;
}

void ExpectSame(const TPicture &Got, const TPicture &Expected, const std::string &What, int32_t FirstRow = 0) {
  for (size_t y = static_cast<size_t>(FirstRow); y < Expected.size(); ++y)
    ASSERT_EQ(Got.at(y), Expected[y]) << What << ", row " << y;
}

class MagickBmp : public ::testing::Test {
protected:
  TTempDir Dir;
};

// RLE8 files written by ImageMagick: encoded runs only, and every row's
// padding up to the 4-byte stride encoded as pixels, so each row fills its
// whole stride (which is the destination line here).
TEST_F(MagickBmp, ReadsImageMagicksRLE8) {
  for (int32_t width : {1, 2, 3, 7, 64, 301}) {
    const int32_t height = 6;
    const TIndexedImage source = SourcePicture(width, height, 40, static_cast<uint32_t>(width));
    const TPicture expected = PictureOf(source);
    std::string ppm = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (const auto &row : expected)
      for (const TRGB &c : row)
        ppm += {static_cast<char>(c.R), static_cast<char>(c.G), static_cast<char>(c.B)};
    const std::string name = "width " + std::to_string(width);
    WriteFileBytes(Dir.File("source.ppm"), ppm);
    ASSERT_EQ(std::system(("convert " + Quoted(Dir.File("source.ppm")) + " -type Palette -compress RLE BMP3:" +
                           Quoted(Dir.File("magick.bmp")))
                              .c_str()),
              0);
    const std::string file = ReadFileBytes(Dir.File("magick.bmp"));
    const TBmpHeader header = ReadBmpHeader(file);
    ASSERT_EQ(header.Compression, TBitmapCompression::bcRLE8) << name;
    ASSERT_EQ(header.BitCount, 8) << name;

    const TPicture ours = PictureOf(DecodeIndexedBmp(file));
    ExpectSame(ours, expected, name + ", ours against the source");
    // ImageMagick's own fault: in its RLE8 files 1 or 2 pixels wide it
    // decodes the top rows (up to three for width 1, one for width 2) as
    // index 0 of the palette, although the codes give other indices (ours
    // follow the codes and match the source, which ImageMagick wrote them
    // from). There ImageMagick must show index 0; every other row must match.
    const TPicture magick = MagickDecode(Dir.File("magick.bmp"), width, height);
    const int32_t peerFaultRows = width == 1 ? 3 : width == 2 ? 1 : 0;
    const TRGB indexZero = ColourOf(header.Palette[0]);
    for (int32_t y = 0; y < peerFaultRows; ++y)
      if (magick[y] != ours[y]) {
        EXPECT_EQ(magick[y], std::vector<TRGB>(width, indexZero)) << name << ", row " << y;
      }
    ExpectSame(ours, magick, name + ", ours against ImageMagick", peerFaultRows);
  }
}

// Our files: RLE8 from ScanlineWriteRLE8 (absolute runs included), RLE4
// from the encoder of tools/ (encoded runs alternating two nibbles, absolute
// runs with and without their padding byte).
TEST_F(MagickBmp, ImageMagickReadsOurRLE4AndRLE8) {
  for (const auto compression : {TBitmapCompression::bcRLE4, TBitmapCompression::bcRLE8})
    for (int32_t width : {1, 2, 3, 5, 8, 33, 300}) {
      const bool four = compression == TBitmapCompression::bcRLE4;
      const int32_t height = 5;
      const TIndexedImage source = SourcePicture(width, height, four ? 16 : 200, static_cast<uint32_t>(width + 7));
      const std::string name = std::string(four ? "RLE4" : "RLE8") + ", width " + std::to_string(width);
      const std::string file = WriteIndexedBmp(source, four ? 4 : 8, compression);
      WriteFileBytes(Dir.File("ours.bmp"), file);
      const TPicture expected = PictureOf(source);
      ExpectSame(MagickDecode(Dir.File("ours.bmp"), width, height), expected, name + ", ImageMagick against the source");
      ExpectSame(PictureOf(DecodeIndexedBmp(file)), expected, name + ", ours against the source");
    }
}

} // namespace

#endif
