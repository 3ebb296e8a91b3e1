#include "Classes.h"

#include <gtest/gtest.h>

TEST(TMemoryStream, ShortReadAtTheEnd) {
  TMemoryStream s({1, 2, 3});
  s.SetPosition(1);
  uint8_t buffer[8] = {};
  EXPECT_EQ(s.Read(buffer, 8), 2);
  EXPECT_EQ(buffer[0], 2);
  EXPECT_EQ(buffer[1], 3);
  EXPECT_EQ(s.Read(buffer, 8), 0);
  EXPECT_THROW(s.ReadBuffer(buffer, 1), EReadError);
}

TEST(TStream, ThirtyTwoBitSeekForwardsToTheSixtyFourBitOne) {
  TMemoryStream s(std::vector<uint8_t>(100));
  EXPECT_EQ(s.Seek(int32_t{-10}, soFromEnd), 90);
  EXPECT_EQ(s.Seek(int32_t{5}, soFromCurrent), 95);
  EXPECT_EQ(s.Position(), 95);
  EXPECT_EQ(s.Size(), 100);
}

TEST(Assertion, ReportTextNamesMessageUnitAndLine) {
  try {
    Assert(false, "Cannot insert into a sorted list.", "VmLib\\VmDynamicLists", 749);
    FAIL() << "no assertion raised";
  } catch (const EAssertionFailed &e) {
    EXPECT_EQ(e.Message(), "Cannot insert into a sorted list. (VmLib\\VmDynamicLists, line 749)");
    EXPECT_STREQ(e.ClassName(), "EAssertionFailed");
  }
}

TEST(TStream, CopyFromCopiesCountBytesOrTheWholeSource) {
  const struct {
    int64_t Count;
    std::vector<uint8_t> Copied;
  } cases[] = {
      {2, {3, 4}},         // from the source's position
      {0, {1, 2, 3, 4}},   // all of it, from the start
      {-1, {1, 2, 3, 4}},  // a negative count sized the buffer from a wrapped length
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    TMemoryStream source({1, 2, 3, 4});
    source.SetPosition(2);
    TMemoryStream dest;
    EXPECT_EQ(dest.CopyFrom(source, cases[i].Count), static_cast<int64_t>(cases[i].Copied.size())) << "case " << i;
    EXPECT_EQ(dest.Bytes(), cases[i].Copied) << "case " << i;
  }
}
