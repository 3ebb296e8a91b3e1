// The icon drawn in code and the .ico file it is written to: the committed
// file the program's resources compile in is the current drawing, and the
// file's directory and images are laid out as readers expect.
#include "AppIcon.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace {

uint32_t Le(const std::string &Bytes, size_t Pos, int Count) {
  uint32_t value = 0;
  for (int i = Count - 1; i >= 0; --i)
    value = value << 8 | static_cast<uint8_t>(Bytes[Pos + static_cast<size_t>(i)]);
  return value;
}

TEST(AppIcon, FileHoldsEachSizeWithItsPixelsAndMask) {
  const std::string ico = AppIconFile();
  ASSERT_GE(ico.size(), 6u);
  EXPECT_EQ(Le(ico, 0, 2), 0u);
  EXPECT_EQ(Le(ico, 2, 2), 1u) << "an icon";
  ASSERT_EQ(Le(ico, 4, 2), std::size(AppIconSizes));
  for (size_t i = 0; i < std::size(AppIconSizes); ++i) {
    const int size = AppIconSizes[i];
    const size_t entry = 6 + 16 * i;
    EXPECT_EQ(Le(ico, entry, 1), static_cast<uint32_t>(size));
    EXPECT_EQ(Le(ico, entry + 1, 1), static_cast<uint32_t>(size));
    EXPECT_EQ(Le(ico, entry + 6, 2), 32u) << "bits per pixel";
    const uint32_t bytes = Le(ico, entry + 8, 4), offset = Le(ico, entry + 12, 4);
    ASSERT_LE(static_cast<size_t>(offset) + bytes, ico.size()) << size;
    EXPECT_EQ(Le(ico, offset, 4), 40u) << "a bitmap header";
    EXPECT_EQ(Le(ico, offset + 8, 4), 2u * size) << "colour bitmap and mask";
    const size_t maskRow = (size + 31) / 32 * 4;
    EXPECT_EQ(bytes, 40 + 4u * size * size + maskRow * size) << size;

    // Bottom row first; a pixel less than half covered is transparent in the mask.
    const std::vector<uint32_t> drawn = DrawAppIcon(size);
    int transparent = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const size_t row = static_cast<size_t>(size - 1 - y);
        const uint32_t pixel = drawn[static_cast<size_t>(y * size + x)];
        ASSERT_EQ(Le(ico, offset + 40 + (row * size + x) * 4, 4), pixel) << size << ": " << x << "," << y;
        const bool masked = (Le(ico, offset + 40 + 4u * size * size + row * maskRow + x / 8, 1) >> (7 - x % 8)) & 1;
        EXPECT_EQ(masked, (pixel >> 24) < 0x80) << size << ": " << x << "," << y;
        transparent += masked;
      }
    }
    EXPECT_GT(transparent, 0) << "the corners around the sheet are see-through";
    EXPECT_LT(transparent, size * size / 4);
  }
}

TEST(AppIcon, CommittedFileIsTheCurrentDrawing) {
  std::ifstream in(VM_SOURCE_DIR "/installer/WML2003Installer.ico", std::ios::binary);
  ASSERT_TRUE(in) << "installer/WML2003Installer.ico";
  std::ostringstream bytes;
  bytes << in.rdbuf();
  EXPECT_TRUE(bytes.str() == AppIconFile()) << "run tools/appicon installer/WML2003Installer.ico";
}

TEST(AppIcon, RefusesImagesThatDoNotMatchTheirSizes) {
  EXPECT_THROW(EncodeIco({DrawAppIcon(16)}, {32}), std::invalid_argument);
  EXPECT_THROW(EncodeIco({}, {}), std::invalid_argument);
  EXPECT_THROW(DrawAppIcon(0), std::invalid_argument);
}

} // namespace
