#include "VmRTLI.h"

#include <gtest/gtest.h>

namespace {

TEST(VmRTLI, WithoutLineInformationTheTraceSaysSo) {
  ASSERT_FALSE(IsRTLIAvailable());
  EXPECT_EQ(GetStackTraceText(), "(NO RTLI AVAILABLE!)\r\n");
  EXPECT_EQ(GetRTLITimestamp(), 0.0);
  TLineInfo info;
  info.UnitName = "stale";
  EXPECT_FALSE(LookupAddress(reinterpret_cast<uintptr_t>(&LookupAddress), info));
  EXPECT_EQ(info.UnitName, "");
}

} // namespace
