#include "VmAdminRights.h"

#include <gtest/gtest.h>

#include "RegistryTree.h"

namespace {

const char *const VelmoraKey = "Software\\Velmora";
const char *const ProbeKey = "Software\\Velmora\\AdminTest";

int __stdcall AnswersNo() { return 0; }
int __stdcall AnswersYes() { return 1; }
int __stdcall AnswersOtherNonZero() { return -1; }

// Every test leaves the maker's key of HKEY_LOCAL_MACHINE as it found it.
class AdminRightsTest : public ::testing::Test {
protected:
  TRegistryGuard Guard{HKEY_LOCAL_MACHINE, VelmoraKey};
};

} // namespace

TEST(HasAdminRights, DecidesByPlatformVersionAndShellAnswer) {
  enum TExport { Missing, No, Yes, OtherNonZero };
  struct TCase {
    uint32_t PlatformId, MajorVersion;
    TExport Export;
    bool ProbeAnswer;
    bool ExpectProbe, ExpectLookup, Expected;
  };
  const TCase cases[] = {
      {1, 4, Yes, false, true, false, false},          // not NT: only the probe counts
      {1, 5, Yes, true, true, false, true},            // not NT, even with a new major version
      {2, 4, Yes, false, true, false, false},          // NT 4 has no IsUserAnAdmin
      {2, 5, Yes, false, false, true, true},           // the shell answers, the probe is not asked
      {2, 6, No, true, false, true, false},            // a shell "no" is final
      {2, 10, OtherNonZero, false, false, true, true}, // any non-zero BOOL is yes
      {2, 5, Missing, true, true, true, true},         // no export: the probe decides
      {2, 5, Missing, false, true, true, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const TCase &c = cases[i];
    int probes = 0, lookups = 0;
    TAdminRightsPlatform platform;
    platform.PlatformId = c.PlatformId;
    platform.MajorVersion = c.MajorVersion;
    platform.FindIsUserAnAdmin = [&]() -> TIsUserAnAdmin {
      ++lookups;
      switch (c.Export) {
      case Missing: return nullptr;
      case No: return AnswersNo;
      case Yes: return AnswersYes;
      case OtherNonZero: return AnswersOtherNonZero;
      }
      return nullptr;
    };
    platform.RegistryProbe = [&] {
      ++probes;
      return c.ProbeAnswer;
    };
    EXPECT_EQ(HasAdminRights(platform), c.Expected) << "case " << i;
    EXPECT_EQ(probes, c.ExpectProbe ? 1 : 0) << "case " << i;
    EXPECT_EQ(lookups, c.ExpectLookup ? 1 : 0) << "case " << i;
  }
}

TEST_F(AdminRightsTest, ShellAnswerLeavesTheRegistryUntouched) {
  const std::string before = DumpRegKey(HKEY_LOCAL_MACHINE, VelmoraKey);
  // The running system (Wine reports NT 6 or later and exports IsUserAnAdmin).
  const TAdminRightsPlatform system = SystemAdminRightsPlatform();
  EXPECT_EQ(system.PlatformId, 2u);
  EXPECT_GE(system.MajorVersion, 5u);
  ASSERT_NE(system.FindIsUserAnAdmin(), nullptr);
  EXPECT_EQ(system.FindIsUserAnAdmin(), system.FindIsUserAnAdmin()); // one module, looked up again

  int probes = 0;
  TAdminRightsPlatform watched = system;
  watched.RegistryProbe = [&] {
    ++probes;
    return RegistryAdminProbe();
  };
  EXPECT_EQ(HasAdminRights(watched), system.FindIsUserAnAdmin()() != 0);
  EXPECT_TRUE(HasAdminRights());
  EXPECT_EQ(probes, 0);
  EXPECT_EQ(DumpRegKey(HKEY_LOCAL_MACHINE, VelmoraKey), before);
}

TEST_F(AdminRightsTest, MissingExportCreatesAndRemovesTheProbeKey) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, ProbeKey); // the guard puts back whatever was there
  ASSERT_FALSE(RegKeyPresent(HKEY_LOCAL_MACHINE, ProbeKey));
  TAdminRightsPlatform platform = SystemAdminRightsPlatform(); // the real registry probe
  platform.FindIsUserAnAdmin = [] { return TIsUserAnAdmin{}; };
  EXPECT_TRUE(HasAdminRights(platform));
  EXPECT_FALSE(RegKeyPresent(HKEY_LOCAL_MACHINE, ProbeKey));
}

TEST_F(AdminRightsTest, LeftoverProbeKeyIsDeletedAsTheTest) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Velmora\\AdminTest\\Sub", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(RegistryAdminProbe());
  EXPECT_FALSE(RegKeyPresent(HKEY_LOCAL_MACHINE, ProbeKey));
}

TEST_F(AdminRightsTest, LeftoverProbeKeyThatCannotBeDeletedGivesFalse) {
  TLockedRegKey leftover(HKEY_LOCAL_MACHINE, ProbeKey);
  ASSERT_TRUE(leftover.Locked());
  EXPECT_FALSE(RegistryAdminProbe());
  // Still there: the probe neither removed it nor pretended to.
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ProbeKey, 0, WRITE_DAC, &key), ERROR_SUCCESS);
  if (key != nullptr)
    RegCloseKey(key);
}
