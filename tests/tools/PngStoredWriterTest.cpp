#include "PngStoredWriter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

uint32_t BigEndian(const std::string &s, size_t pos) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[pos])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[pos + 1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[pos + 2])) << 8 | static_cast<uint8_t>(s[pos + 3]);
}

} // namespace

TEST(PngStoredWriter, ChecksumsMatchTheirPublishedCheckValues) {
  EXPECT_EQ(PngCrc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(ZlibAdler32("Wikipedia"), 0x11E60398u);
  EXPECT_EQ(ZlibAdler32(""), 1u);
}

// Walks the chunks, checks each CRC, undoes the stored blocks and compares
// the pixels; the image is large enough to need several blocks.
TEST(PngStoredWriter, ChunksAndStoredBlocksGiveThePixelsBack) {
  const uint32_t w = 300, h = 120;
  std::vector<uint8_t> rgba(w * h * 4);
  for (size_t i = 0; i < rgba.size(); ++i)
    rgba[i] = static_cast<uint8_t>(i * 7 + i / 1000);
  const std::string png = EncodeStoredPng(w, h, rgba.data());
  ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));

  std::string idat, types;
  for (size_t pos = 8; pos < png.size();) {
    const uint32_t length = BigEndian(png, pos);
    const std::string typed = png.substr(pos + 4, 4 + length);
    EXPECT_EQ(BigEndian(png, pos + 8 + length), PngCrc32(typed)) << typed.substr(0, 4);
    types += typed.substr(0, 4) + " ";
    if (typed.substr(0, 4) == "IHDR") {
      EXPECT_EQ(BigEndian(typed, 4), w);
      EXPECT_EQ(BigEndian(typed, 8), h);
      EXPECT_EQ(typed.substr(12), std::string("\x08\x06\x00\x00\x00", 5));
    }
    if (typed.substr(0, 4) == "IDAT")
      idat += typed.substr(4);
    pos += 12 + length;
  }
  EXPECT_EQ(types, "IHDR IDAT IEND ");
  EXPECT_EQ(png.substr(png.size() - 4), "\xAE\x42\x60\x82");

  ASSERT_GE(idat.size(), 6u);
  EXPECT_EQ((static_cast<uint8_t>(idat[0]) * 256 + static_cast<uint8_t>(idat[1])) % 31, 0);
  std::string raw;
  size_t pos = 2;
  int blocks = 0;
  for (bool final = false; !final; ++blocks) {
    final = idat[pos] & 1;
    EXPECT_EQ(idat[pos] & 6, 0) << "stored block";
    const size_t n = static_cast<uint8_t>(idat[pos + 1]) | static_cast<uint8_t>(idat[pos + 2]) << 8;
    const size_t nn = static_cast<uint8_t>(idat[pos + 3]) | static_cast<uint8_t>(idat[pos + 4]) << 8;
    EXPECT_EQ(n ^ 0xFFFF, nn);
    raw += idat.substr(pos + 5, n);
    pos += 5 + n;
  }
  EXPECT_GT(blocks, 1);
  EXPECT_EQ(BigEndian(idat, pos), ZlibAdler32(raw));
  EXPECT_EQ(pos + 4, idat.size());
  ASSERT_EQ(raw.size(), (w * 4 + 1) * h);
  for (uint32_t y = 0; y < h; ++y) {
    ASSERT_EQ(raw[y * (w * 4 + 1)], '\0') << y;
    ASSERT_EQ(raw.substr(y * (w * 4 + 1) + 1, w * 4),
              std::string(reinterpret_cast<const char *>(rgba.data()) + y * w * 4, w * 4))
        << y;
  }
}
