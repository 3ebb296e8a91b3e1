#include "ChartSetRegistry.h"

#include <gtest/gtest.h>

#include <functional>

#include "NKFChartWriter.h"
#include "OSFile.h"
#include "Registry.h"
#include "RegistryTree.h"
#include "TempDir.h"

namespace {

const char *const VelmoraKey = "Software\\Velmora";
const char *const SetKey = "Software\\Velmora\\Charts\\ORVA2003";
const char *const ModuleKey = "Software\\Velmora\\Charts\\ORVA2003\\Modules\\B";
const char *const ChartsKey = "Software\\Velmora\\Charts\\ORVA2003\\Modules\\B\\Charts";

// The set as the chart viewer knows it, in the order of every loop.
const char *const SetFiles[9] = {
    "Aldenhof.nkf2",
    "kvt Welmeland noord - Baarsum.nkf2",
    "kvt Welmeland noord - Corlum.nkf2",
    "kvt Welmeland noord - Dalmeer.nkf2",
    "kvt Welmeland noord - Dalmoog.nkf2",
    "kvt Welmeland noord - Eemstad.nkf2",
    "kvt Welmeland noord.nkf2",
    "kvt Welmeland zuid - Fennum.nkf2",
    "kvt Welmeland zuid.nkf2",
};

// The complete record tree below the set key for one folder, as DumpRegKey
// prints it (the folder in its dump form: bytes above 0x7E as \xHH).
std::string ExpectedTree(const std::string &DumpedFolder) {
  std::string tree = ": \"Name\" REG_SZ \"ORVA (Editie 2003)\\x00\"\n"
                     "Modules\n"
                     "Modules\\B\n"
                     "Modules\\B: \"Name\" REG_SZ \"B: Welmeland/Welml\\xE2n\\x00\"\n"
                     "Modules\\B: \"Path\" REG_SZ \"" +
                     DumpedFolder +
                     "\\x00\"\n"
                     "Modules\\B\\Charts\n";
  for (const char *file : SetFiles)
    tree += std::string("Modules\\B\\Charts\\") + file + "\n";
  return tree;
}

void SetRawString(const std::string &Key, const char *Name, const std::string &Value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Key.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS) << Key;
  RegSetValueExA(key, Name, 0, REG_SZ, reinterpret_cast<const BYTE *>(Value.c_str()),
                 static_cast<DWORD>(Value.size() + 1));
  RegCloseKey(key);
}

void SetRawDword(const std::string &Key, const char *Name, DWORD Value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Key.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS) << Key;
  RegSetValueExA(key, Name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&Value), sizeof Value);
  RegCloseKey(key);
}

void DeleteRawValue(const std::string &Key, const char *Name) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Key.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS) << Key;
  RegDeleteValueA(key, Name);
  RegCloseKey(key);
}

void CreateRawKey(const std::string &Key) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, Key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// A valid chart, the same bytes for every file of the set.
const std::string &ChartBytes() {
  static const std::string bytes = NKFChartBytes(NKFSampleChart(NKFVersion1_0_0_2, 300, 200));
  return bytes;
}

// The nine files, valid charts, in Dir; the folder with its backslash.
std::string WriteSet(const TTempDir &Dir) {
  const std::string folder = IncludeTrailingPathDelimiter(Dir.Path());
  for (const char *file : SetFiles)
    WriteFileBytes(folder + file, ChartBytes());
  return folder;
}

// Every test leaves the maker's key of HKEY_LOCAL_MACHINE as it found it.
class ChartSetRegistryTest : public ::testing::Test {
protected:
  TRegistryGuard Guard{HKEY_LOCAL_MACHINE, VelmoraKey};
};

} // namespace

TEST_F(ChartSetRegistryTest, RegistrationWritesExactlyTheRecordTree) {
  ASSERT_EQ(ChartFileNames.size(), std::size(SetFiles));
  for (size_t i = 0; i < std::size(SetFiles); ++i)
    EXPECT_STREQ(ChartFileNames[i], SetFiles[i]) << "file " << i + 1;

  ASSERT_TRUE(RegisterCharts("C:\\Old charts\\"));
  EXPECT_EQ(DumpRegKey(HKEY_LOCAL_MACHINE, SetKey), ExpectedTree("C:\\Old charts\\"));
}

// The chart viewer is a 32-bit program: on a 64-bit Windows it reads the
// 32-bit view of HKEY_LOCAL_MACHINE\Software, kept under Software\Wow6432Node,
// and the installer's records must be there, not in the 64-bit view.
TEST_F(ChartSetRegistryTest, RecordsOfThe32BitProgramLandInThe32BitView) {
  if (sizeof(void *) != 4)
    GTEST_SKIP() << "a 64-bit build writes the 64-bit view; only the 32-bit program is redirected";
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)
    GTEST_SKIP() << "a 32-bit Windows has a single view of the registry";
  const std::string otherView = DumpRegKey(HKEY_LOCAL_MACHINE, SetKey, KEY_WOW64_64KEY);

  ASSERT_TRUE(RegisterCharts("C:\\Old charts\\"));
  EXPECT_EQ(DumpRegKey(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Velmora\\Charts\\ORVA2003", KEY_WOW64_64KEY),
            ExpectedTree("C:\\Old charts\\"));
  EXPECT_EQ(DumpRegKey(HKEY_LOCAL_MACHINE, SetKey, KEY_WOW64_32KEY), ExpectedTree("C:\\Old charts\\"));
  EXPECT_EQ(DumpRegKey(HKEY_LOCAL_MACHINE, SetKey, KEY_WOW64_64KEY), otherView);
}

TEST_F(ChartSetRegistryTest, RegistrationOverAnotherFolderLeavesNoOldRecords) {
  // A neighbour set of the same maker must survive.
  CreateRawKey("Software\\Velmora\\Charts\\Other");
  SetRawString("Software\\Velmora\\Charts\\Other", "Name", "Other set");
  const std::string neighbour = DumpRegKey(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Charts\\Other");

  ASSERT_TRUE(RegisterCharts("C:\\Old charts\\"));
  // What an older registration might have left besides the tree.
  CreateRawKey(std::string(ChartsKey) + "\\Old chart.nkf2");
  CreateRawKey(std::string(SetKey) + "\\Modules\\C\\Charts\\x.nkf2");
  SetRawString(ModuleKey, "Extra", "old");
  SetRawString(std::string(ChartsKey) + "\\Aldenhof.nkf2", "Stale", "old");

  // Written exactly as given: no trimming, the byte 0xE2 kept as it is.
  ASSERT_TRUE(RegisterCharts(" D:\\Welml\xE2n kaarten\\ "));
  EXPECT_EQ(DumpRegKey(HKEY_LOCAL_MACHINE, SetKey), ExpectedTree(" D:\\Welml\\xE2n kaarten\\ "));
  EXPECT_EQ(DumpRegKey(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Charts\\Other"), neighbour);
}

TEST_F(ChartSetRegistryTest, RegistrationThatCannotOpenTheSetKeyFails) {
  // A leftover set key this user may neither delete nor open.
  TLockedRegKey leftover(HKEY_LOCAL_MACHINE, SetKey);
  ASSERT_TRUE(leftover.Locked());
  EXPECT_FALSE(RegisterCharts("C:\\Charts\\"));
  EXPECT_FALSE(RegKeyPresent(HKEY_LOCAL_MACHINE, ModuleKey));
}

TEST_F(ChartSetRegistryTest, AStaleKeyThatCannotBeRemovedFailsTheRegistration) {
  ASSERT_TRUE(RegisterCharts("C:\\Old charts\\"));
  // Left by an earlier registration, and this user may not remove it.
  TLockedRegKey stale(HKEY_LOCAL_MACHINE, std::string(SetKey) + "\\Modules\\C");
  ASSERT_TRUE(stale.Locked());
  EXPECT_FALSE(RegisterCharts("D:\\Charts\\"));

  // The new records are all written all the same, and the neighbours of
  // the stale key are cleaned.
  TRegistry registry(KEY_READ);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyReadOnly(ModuleKey));
  EXPECT_EQ(registry.ReadString("Path"), "D:\\Charts\\");
  for (const char *file : SetFiles)
    EXPECT_TRUE(RegKeyPresent(HKEY_LOCAL_MACHINE, std::string(ChartsKey) + "\\" + file)) << file;
}

TEST_F(ChartSetRegistryTest, AFailedWriteLeavesTheEarlierRegistrationInstalled) {
  TTempDir dir;
  const std::string folder = WriteSet(dir);
  ASSERT_TRUE(RegisterCharts(folder));
  const std::string before = DumpRegKey(HKEY_LOCAL_MACHINE, ChartsKey);

  {
    // The module key can be read but no longer written.
    TLockedRegKey readOnly(HKEY_LOCAL_MACHINE, ModuleKey, KEY_READ);
    ASSERT_TRUE(readOnly.Locked());
    EXPECT_FALSE(RegisterCharts("D:\\Elsewhere\\"));
    EXPECT_TRUE(CheckInstalled()) << "the earlier registration stays readable";
  }
  TRegistry registry(KEY_READ);
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKeyReadOnly(ModuleKey));
  EXPECT_EQ(registry.ReadString("Path"), folder);
  EXPECT_EQ(DumpRegKey(HKEY_LOCAL_MACHINE, ChartsKey), before);
}

TEST_F(ChartSetRegistryTest, NothingRegisteredIsNotInstalled) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, SetKey); // the guard puts back whatever was there
  EXPECT_FALSE(RegKeyPresent(HKEY_LOCAL_MACHINE, SetKey));
  EXPECT_FALSE(CheckInstalled());
}

TEST_F(ChartSetRegistryTest, InstalledCheckOverRecordsAndFiles) {
  struct TSet {
    std::string Folder; // with its trailing backslash
    std::string File(int Number) const { return Folder + SetFiles[Number - 1]; }
  };
  struct TCase {
    const char *Name;
    std::function<void(const TSet &)> Change;
    bool Installed;
    bool RecordsHold = false; // not installed, but only because a file fails: the viewer still finds the folder
  };
  const std::string bad = [] {
    std::string bytes = ChartBytes();
    bytes[11] = 2; // version 2.0.0.2: a version the reader refuses
    return bytes;
  }();
  const TCase cases[] = {
      {"registered and all files valid", [](const TSet &) {}, true},
      {"set name in other letter case", [](const TSet &) { SetRawString(SetKey, "Name", "ORVA (editie 2003)"); },
       false},
      {"set name missing", [](const TSet &) { DeleteRawValue(SetKey, "Name"); }, false},
      {"set name not a string", [](const TSet &) { SetRawDword(SetKey, "Name", 2003); }, false},
      {"module name without its 0xE2",
       [](const TSet &) { SetRawString(ModuleKey, "Name", "B: Welmeland/Welmlan"); }, false},
      {"module name missing", [](const TSet &) { DeleteRawValue(ModuleKey, "Name"); }, false},
      {"path with two spaces around it and no backslash",
       [](const TSet &s) { SetRawString(ModuleKey, "Path", "  " + ExcludeTrailingPathDelimiter(s.Folder) + "  "); },
       true},
      {"path between tabs and line breaks",
       [](const TSet &s) { SetRawString(ModuleKey, "Path", "\t" + s.Folder + "\r\n"); }, true},
      {"path empty", [](const TSet &) { SetRawString(ModuleKey, "Path", ""); }, false},
      {"path only spaces", [](const TSet &) { SetRawString(ModuleKey, "Path", "   "); }, false},
      {"path missing", [](const TSet &) { DeleteRawValue(ModuleKey, "Path"); }, false},
      {"path not a string", [](const TSet &) { SetRawDword(ModuleKey, "Path", 1); }, false},
      {"path names a file", [](const TSet &s) { SetRawString(ModuleKey, "Path", s.File(1)); }, false},
      {"path names a missing folder",
       [](const TSet &s) { SetRawString(ModuleKey, "Path", s.Folder + "gone\\"); }, false},
      {"chart key of file 5 missing",
       [](const TSet &) { RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(ChartsKey) + "\\" + SetFiles[4]).c_str()); },
       false},
      {"file 9 deleted", [](const TSet &s) { FileDelete(s.File(9)); }, false, true},
      {"file 1 of a version the reader refuses", [&bad](const TSet &s) { WriteFileBytes(s.File(1), bad); }, false,
       true},
      {"file 3 shorter than the magic", [](const TSet &s) { WriteFileBytes(s.File(3), "Vlm "); }, false, true},
      {"file 4 without the magic opens as an empty chart",
       [](const TSet &s) { WriteFileBytes(s.File(4), "not a chart at all"); }, true},
      {"file 2 in other letter case",
       [](const TSet &s) {
         FileDelete(s.File(2));
         WriteFileBytes(s.Folder + "KVT WELMELAND NOORD - BAARSUM.NKF2", ChartBytes());
       },
       true},
  };
  for (const TCase &c : cases) {
    TTempDir dir;
    const TSet set{IncludeTrailingPathDelimiter(dir.Path())};
    for (const char *file : SetFiles)
      WriteFileBytes(set.Folder + file, ChartBytes());
    ASSERT_TRUE(RegisterCharts(set.Folder)) << c.Name;
    c.Change(set);
    EXPECT_EQ(CheckInstalled(), c.Installed) << c.Name;
    std::string folder = "untouched";
    const bool recorded = c.Installed || c.RecordsHold;
    EXPECT_EQ(ReadInstalledFolder(folder), recorded) << c.Name;
    EXPECT_EQ(folder, recorded ? set.Folder : "untouched") << c.Name;
  }
}

TEST_F(ChartSetRegistryTest, UnreadableSetKeyLeavesTheDecisionToTheModule) {
  TTempDir dir;
  const std::string folder = WriteSet(dir);
  ASSERT_TRUE(RegisterCharts(folder));
  TLockedRegKey locked(HKEY_LOCAL_MACHINE, SetKey);
  ASSERT_TRUE(locked.Locked());
  EXPECT_TRUE(CheckInstalled());
}
