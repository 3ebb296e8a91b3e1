// JPEG pictures through libjpeg and the toolkit's picture formats. The
// fixtures in tests/data/jpeg/ were made by cjpeg and ImageMagick
// (make-fixtures there) from a picture this test computes again.
#include "VmGraphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>

#include "Classes.h"
#include "Pictures.h"
#include "TempDir.h"
#include "VmFileIO.h"

namespace {

const std::string DataDir = VM_TEST_DATA "jpeg/";

// The fixtures' source picture.
int SourceRed(int X, int) { return 5 * X; }
int SourceGreen(int, int Y) { return 7 * Y; }
int SourceBlue(int X, int Y) { return 3 * (X + Y); }

TColor32 Channel(TColor32 C, int Shift) { return C >> Shift & 0xFF; }

// Largest difference of any channel from the source picture (from its
// luminance for grey pictures); every pixel must be opaque.
int LargestError(const TBitmap32 &B, bool Grey) {
  int worst = 0;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) {
      const TColor32 p = B.ScanLine(y)[x];
      EXPECT_EQ(p >> 24, 0xFFu) << x << ", " << y;
      int r = SourceRed(x, y), g = SourceGreen(x, y), b = SourceBlue(x, y);
      if (Grey)
        r = g = b = static_cast<int>(0.299 * r + 0.587 * g + 0.114 * b + 0.5);
      worst = std::max({worst, std::abs(static_cast<int>(Channel(p, 16)) - r),
                        std::abs(static_cast<int>(Channel(p, 8)) - g), std::abs(static_cast<int>(Channel(p, 0)) - b)});
    }
  return worst;
}

// The extension picks the format whatever its case, and the pixels lie
// within JPEG's loss of the source: quality 95 with the chroma halved keeps
// this smooth picture within 6 levels per channel.
TEST(JpegPictures, LoadThroughTheirExtension) {
  TTempDir dir;
  struct {
    const char *Fixture, *Name;
    bool Grey;
  } cases[] = {
      {"colour.jpg", "colour.jpg", false},
      {"colour.jpg", "COLOUR.JPEG", false},
      {"grey.jpg", "grey.Jpg", true},
      {"progressive.jpg", "progressive.jpeg", false},
  };
  for (const auto &c : cases) {
    WriteFileBytes(dir.File(c.Name), ReadFileBytes(DataDir + c.Fixture));
    TBitmap32 b;
    LoadPictureFromFile(dir.File(c.Name), b);
    ASSERT_EQ(b.Width(), 48) << c.Name;
    ASSERT_EQ(b.Height(), 32) << c.Name;
    EXPECT_LE(LargestError(b, c.Grey), 6) << c.Name;
  }
}

TEST(JpegPictures, FormatsRegisteredAtStartUp) {
  for (const char *ext : {"jpg", "JPEG", ".jpeg", ".JpG"})
    EXPECT_EQ(FindPictureLoader(ext), &LoadJpegPicture) << ext;
  EXPECT_EQ(FindPictureLoader("png"), nullptr);
  int jpegs = 0;
  for (const TPictureFormat &f : PictureFormats())
    jpegs += f.Loader == &LoadJpegPicture;
  EXPECT_EQ(jpegs, 2);
}

// Damaged pictures are refused with libjpeg's own words, and leave the
// surface empty. libjpeg reports data that ends inside the compressed stream
// as a warning only (and fills the rest grey): such a picture is refused too.
TEST(JpegPictures, BadDataIsRefused) {
  const std::string colour = ReadFileBytes(DataDir + "colour.jpg");
  const std::string progressive = ReadFileBytes(DataDir + "progressive.jpg");
  struct {
    const char *Name;
    std::string Bytes;
    const char *Message;
  } cases[] = {
      {"truncated in the scan", colour.substr(0, colour.size() - 150), "LoadJpegPicture: Premature end of JPEG file"},
      {"truncated progressive", progressive.substr(0, progressive.size() - 20),
       "LoadJpegPicture: Premature end of JPEG file"},
      {"truncated in the header", colour.substr(0, 40), "LoadJpegPicture: Premature end of JPEG file"},
      {"empty", "", "LoadJpegPicture: Empty input file"},
      {"not a JPEG", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, '\0'),
       "LoadJpegPicture: Not a JPEG file: starts with 0x89 0x50"},
      {"CMYK", ReadFileBytes(DataDir + "cmyk.jpg"), "LoadJpegPicture: CMYK JPEG pictures are not supported"},
  };
  for (const auto &c : cases) {
    TMemoryStream s(std::vector<uint8_t>(c.Bytes.begin(), c.Bytes.end()));
    TBitmap32 b;
    b.SetSize(3, 3);
    try {
      LoadJpegPicture(s, b);
      ADD_FAILURE() << c.Name << ": no error";
    } catch (const EGraphicsError &e) {
      EXPECT_STREQ(e.what(), c.Message) << c.Name;
    }
    EXPECT_TRUE(b.Empty()) << c.Name;
  }
}

// What a load gave: the picture's size and a hash of its pixels, or the
// error's message (with the surface's state after it).
std::string Outcome(const std::function<void(TBitmap32 &)> &Load) {
  TBitmap32 b;
  b.SetSize(3, 3);
  try {
    Load(b);
  } catch (const Exception &e) {
    return e.Message() + (b.Empty() ? "" : " (surface left behind)");
  }
  uint64_t hash = 14695981039346656037u;
  for (size_t i = 0; i < b.PixelCount(); ++i)
    hash = (hash ^ b.Bits()[i]) * 1099511628211u;
  return std::to_string(b.Width()) + " x " + std::to_string(b.Height()) + " #" + std::to_string(hash);
}

// colour.jpg with its frame header claiming another size: the compressed
// data, made for 48 x 32 pixels, ends long before such a picture does.
std::string WithClaimedSize(int Width, int Height) {
  std::string bytes = ReadFileBytes(DataDir + "colour.jpg");
  const size_t sof = bytes.find("\xFF\xC0");
  EXPECT_NE(sof, std::string::npos);
  bytes[sof + 5] = static_cast<char>(Height >> 8);
  bytes[sof + 6] = static_cast<char>(Height);
  bytes[sof + 7] = static_cast<char>(Width >> 8);
  bytes[sof + 8] = static_cast<char>(Width);
  return bytes;
}

// A picture loads alike from a memory stream, from the library's file stream
// (which refuses to read past the end rather than returning short) and
// through its file name; good pictures and bad ones.
TEST(JpegPictures, LoadAlikeFromEveryStream) {
  TTempDir dir;
  const std::string colour = ReadFileBytes(DataDir + "colour.jpg");
  struct {
    const char *Name;
    std::string Bytes;
    bool Good;
  } cases[] = {
      {"colour", colour, true},
      {"grey", ReadFileBytes(DataDir + "grey.jpg"), true},
      {"progressive", ReadFileBytes(DataDir + "progressive.jpg"), true},
      {"truncated", colour.substr(0, colour.size() - 150), false},
      {"CMYK", ReadFileBytes(DataDir + "cmyk.jpg"), false},
      {"empty", "", false},
      {"claims 16384 x 16384", WithClaimedSize(16384, 16384), false},
  };
  for (const auto &c : cases) {
    const std::string file = dir.File(std::string(c.Name) + ".jpg");
    WriteFileBytes(file, c.Bytes);
    const std::string fromMemory = Outcome([&](TBitmap32 &b) {
      TMemoryStream s(std::vector<uint8_t>(c.Bytes.begin(), c.Bytes.end()));
      LoadJpegPicture(s, b);
    });
    const std::string fromFileStream = Outcome([&](TBitmap32 &b) {
      TBufferedFileStream s(file, fmOpenRead, 4096);
      LoadJpegPicture(s, b);
    });
    const std::string fromName = Outcome([&](TBitmap32 &b) { LoadPictureFromFile(file, b); });
    EXPECT_EQ(fromFileStream, fromMemory) << c.Name;
    EXPECT_EQ(fromName, fromMemory) << c.Name;
    EXPECT_EQ(fromMemory.rfind("48 x 32 #", 0) == 0, c.Good) << c.Name << ": " << fromMemory;
  }
}

// A picture's claimed size is checked before anything is allocated for it,
// and damaged data is refused at libjpeg's first warning: a truncated file
// that claims a huge picture is refused at once, not after decoding (and
// clearing) a gigabyte of grey. What the 32-bit program's address space
// cannot give is refused as such.
TEST(JpegPictures, HugeClaimsAreRefusedEarly) {
  constexpr bool program32 = sizeof(void *) == 4;
  const std::string truncated = "LoadJpegPicture: Corrupt JPEG data: premature end of data segment";
  struct {
    int W, H;
    std::set<std::string> Native, Program32;
  } cases[] = {
      {16384, 16384, {truncated}, {truncated, "TBitmap32.SetSize: Not enough memory for 16384 x 16384 pixels"}},
      {32767, 32767, {truncated}, {"LoadJpegPicture: A picture of 32767 x 32767 pixels is too large"}},
      {65500, 65500,
       {"LoadJpegPicture: A picture of 65500 x 65500 pixels is too large"},
       {"LoadJpegPicture: A picture of 65500 x 65500 pixels is too large"}},
  };
  for (const auto &c : cases) {
    const std::string bytes = WithClaimedSize(c.W, c.H);
    const std::string outcome = Outcome([&](TBitmap32 &b) {
      TMemoryStream s(std::vector<uint8_t>(bytes.begin(), bytes.end()));
      LoadJpegPicture(s, b);
    });
    const std::set<std::string> &expected = program32 ? c.Program32 : c.Native;
    EXPECT_TRUE(expected.count(outcome)) << c.W << " x " << c.H << ": " << outcome;
  }
}

TEST(JpegPictures, UnregisteredExtensionOrMissingFile) {
  TTempDir dir;
  WriteFileBytes(dir.File("colour.png"), ReadFileBytes(DataDir + "colour.jpg"));
  WriteFileBytes(dir.File("colour"), ReadFileBytes(DataDir + "colour.jpg"));
  struct {
    std::string File, Message;
  } cases[] = {
      {dir.File("colour.png"), "Unknown picture file extension (.png)"},
      {dir.File("colour"), "Unknown picture file extension (.)"},
      {dir.File("missing.jpg"), "Cannot open file " + dir.File("missing.jpg")},
  };
  for (const auto &c : cases) {
    TBitmap32 b;
    try {
      LoadPictureFromFile(c.File, b);
      ADD_FAILURE() << c.File << ": no error";
    } catch (const Exception &e) {
      EXPECT_EQ(e.Message(), c.Message) << c.File;
    }
  }
}

} // namespace
