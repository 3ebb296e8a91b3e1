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

constexpr bool Program32 = sizeof(void *) == 4;

// Every size a surface cannot hold is an EGraphicsError that names it, never
// the standard library's length_error or bad_alloc. The 32-bit program's
// limit is the largest array of 4-byte pixels it can index (0x1FFFFFFF);
// below that, a size its address space cannot give is refused as well.
TEST(TBitmap32, RefusesImpossibleSizes) {
  struct {
    int32_t W, H;
    bool Only32; // natively this size would be allocated
    const char *Message;
    bool KeepsOld; // refused before the old pixels are given up
  } cases[] = {
      {-1, 10, false, "TBitmap32.SetSize: Negative width or height", true},
      {10, -1, false, "TBitmap32.SetSize: Negative width or height", true},
      {0x7FFFFFFF, 0x7FFFFFFF, false, "TBitmap32.SetSize: Surface too large (2147483647 x 2147483647 pixels)", true},
      {65536, 65536, false, "TBitmap32.SetSize: Surface too large (65536 x 65536 pixels)", true},
      {0x4000, 0x8000, true, "TBitmap32.SetSize: Surface too large (16384 x 32768 pixels)", true},
      {30000, 20000, true, "TBitmap32.SetSize: Surface too large (30000 x 20000 pixels)", true},
      {0x4000, 0x7FFF, true, "TBitmap32.SetSize: Not enough memory for 16384 x 32767 pixels", false},
  };
  for (const auto &c : cases) {
    if (c.Only32 && !Program32)
      continue;
    for (const bool overwrite : {false, true}) {
      TBitmap32 b;
      b.SetSize(2, 2);
      try {
        overwrite ? b.SetSizeForOverwrite(c.W, c.H) : b.SetSize(c.W, c.H);
        ADD_FAILURE() << c.W << " x " << c.H << ": no error";
      } catch (const EGraphicsError &e) {
        EXPECT_EQ(e.Message(), c.Message) << c.W << " x " << c.H;
      }
      EXPECT_EQ(b.Width(), c.KeepsOld ? 2 : 0) << c.W << " x " << c.H;
      EXPECT_EQ(b.PixelCount(), c.KeepsOld ? 4u : 0u) << c.W << " x " << c.H;
    }
  }
  EXPECT_TRUE(TBitmap32::CanHold(0x4000, 0x7FFF));
  EXPECT_EQ(TBitmap32::CanHold(0x4000, 0x8000), !Program32);
  EXPECT_FALSE(TBitmap32::CanHold(0x8000, 0x8000));
}

TEST(TBitmap32, RowOutsideTheSurfaceIsAContractBreach) {
  TBitmap32 b;
  b.SetSize(2, 2);
  EXPECT_THROW(b.ScanLine(2), EAssertionFailed);
  EXPECT_THROW(b.ScanLine(-1), EAssertionFailed);
}

} // namespace
