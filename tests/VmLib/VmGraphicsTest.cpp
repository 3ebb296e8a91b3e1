#include "VmGraphics.h"

#include <gtest/gtest.h>

namespace {

TEST(TBitmap32, RowsAreContiguousTopFirst) {
  TBitmap32 b;
  b.SetSize(7, 5);
  ASSERT_EQ(b.PixelCount(), 35u);
  for (int y = 0; y < 5; ++y)
    EXPECT_EQ(b.ScanLine(y), b.Bits() + 7 * y) << "row " << y;
  b.ScanLine(4)[6] = 0x80FF0000;
  EXPECT_EQ(b.Bits()[34], 0x80FF0000u);
}

TEST(TBitmap32, ResizingClearsEveryPixel) {
  TBitmap32 b;
  b.SetSize(4, 4);
  b.Clear(0xFFFFFFFF);
  b.SetSize(3, 6);
  for (size_t i = 0; i < b.PixelCount(); ++i)
    ASSERT_EQ(b.Bits()[i], 0u) << "pixel " << i;
  b.SetSize(0, 9);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Height(), 0);
}

TEST(TBitmap32, RefusesImpossibleSizes) {
  struct {
    int32_t W, H;
    const char *Message;
  } cases[] = {
      {-1, 10, "TBitmap32.SetSize: Negative width or height"},
      {10, -1, "TBitmap32.SetSize: Negative width or height"},
      {0x7FFFFFFF, 0x7FFFFFFF, "TBitmap32.SetSize: Surface too large"},
      {65536, 65536, "TBitmap32.SetSize: Surface too large"},
  };
  for (const auto &c : cases) {
    TBitmap32 b;
    b.SetSize(2, 2);
    try {
      b.SetSize(c.W, c.H);
      ADD_FAILURE() << c.W << " x " << c.H << ": no error";
    } catch (const EGraphicsError &e) {
      EXPECT_EQ(e.Message(), c.Message) << c.W << " x " << c.H;
    }
    EXPECT_EQ(b.Width(), 2) << "a refused size leaves the surface as it was";
  }
}

TEST(TBitmap32, RowOutsideTheSurfaceIsAContractBreach) {
  TBitmap32 b;
  b.SetSize(2, 2);
  EXPECT_THROW(b.ScanLine(2), EAssertionFailed);
  EXPECT_THROW(b.ScanLine(-1), EAssertionFailed);
}

} // namespace
