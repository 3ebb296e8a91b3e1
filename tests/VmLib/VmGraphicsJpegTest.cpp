// JPEG pictures through libjpeg and the toolkit's picture formats. The
// fixtures in tests/data/jpeg/ were made by cjpeg and ImageMagick
// (make-fixtures there) from a picture this test computes again.
#include "VmGraphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "Classes.h"
#include "Pictures.h"
#include "TempDir.h"

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
      {"truncated in the header", colour.substr(0, 40), "LoadJpegPicture: JPEG datastream contains no image"},
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
