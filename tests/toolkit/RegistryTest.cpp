#include "Registry.h"

#include <gtest/gtest.h>

#include "RegistryTree.h"

namespace {

// Every test works below this key of the current user's hive and puts it
// back as it was.
const char *const Scratch = "Software\\VmRegistryTest";

class RegistryTest : public ::testing::Test {
protected:
  TRegistryGuard Guard{HKEY_CURRENT_USER, Scratch};
  TRegistry Reg; // root HKEY_CURRENT_USER

  static std::string Under(const std::string &Path) { return std::string(Scratch) + "\\" + Path; }

  // The raw bytes and type of a value, read past the registry object.
  static TRegTreeValue RawValue(const std::string &Path, const std::string &Name) {
    const std::optional<TRegTree> tree = ReadRegTree(HKEY_CURRENT_USER, Path);
    if (!tree || !tree->Values.count(Name))
      return {};
    return tree->Values.at(Name);
  }
};

} // namespace

TEST_F(RegistryTest, WriteStringStoresAnsiBytesWithTerminator) {
  ASSERT_TRUE(Reg.OpenKey(Under("B"), true));
  Reg.WriteString("Name", "B: Welmeland/Welml\xE2n");
  Reg.WriteString("Empty", "");

  const TRegTreeValue name = RawValue(Under("B"), "Name");
  EXPECT_EQ(name.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(name.Data, std::string("B: Welmeland/Welml\xE2n") + '\0');
  EXPECT_EQ(RawValue(Under("B"), "Empty").Data, std::string(1, '\0'));

  // The wide view proves the byte went through the ANSI code page as a character.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\VmRegistryTest\\B", 0, KEY_READ, &key), ERROR_SUCCESS);
  wchar_t wide[64] = {};
  DWORD size = sizeof wide;
  EXPECT_EQ(RegQueryValueExW(key, L"Name", nullptr, nullptr, reinterpret_cast<BYTE *>(wide), &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(std::wstring(wide), L"B: Welmeland/Welml\u00E2n");

  EXPECT_EQ(Reg.ReadString("Name"), "B: Welmeland/Welml\xE2n");
  EXPECT_EQ(Reg.ReadString("Empty"), "");
}

TEST_F(RegistryTest, ValuesThatAreMissingOrNotStrings) {
  ASSERT_TRUE(Reg.OpenKey(Scratch, true));
  const DWORD number = 7;
  ASSERT_EQ(RegSetValueExA(Reg.CurrentKey(), "Count", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number),
                           sizeof number),
            ERROR_SUCCESS);
  // A string stored without its terminator still reads back whole.
  ASSERT_EQ(RegSetValueExA(Reg.CurrentKey(), "Bare", 0, REG_SZ, reinterpret_cast<const BYTE *>("abc"), 3),
            ERROR_SUCCESS);

  EXPECT_FALSE(Reg.ValueExists("Missing"));
  EXPECT_EQ(Reg.ReadString("Missing"), "");
  EXPECT_TRUE(Reg.ValueExists("Count"));
  EXPECT_EQ(Reg.ReadString("Bare"), "abc");
  try {
    Reg.ReadString("Count");
    FAIL() << "no error for a DWORD value";
  } catch (const ERegistryException &e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'Count'");
  }
}

TEST_F(RegistryTest, WriteStringRefusedRaisesWithTheValueName) {
  ASSERT_TRUE(Reg.OpenKey(Scratch, true));
  Reg.CloseKey();
  ASSERT_TRUE(Reg.OpenKeyReadOnly(Scratch));
  try {
    Reg.WriteString("Path", "D:\\Charts\\");
    FAIL() << "a read-only key accepted a value";
  } catch (const ERegistryException &e) {
    EXPECT_EQ(e.Message(), "Failed to set data for 'Path'");
  }
  EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, Under("Path")));
  EXPECT_EQ(RawValue(Scratch, "Path").Type, static_cast<DWORD>(REG_NONE));

  Reg.CloseKey(); // no current key at all
  EXPECT_THROW(Reg.WriteString("Name", "x"), ERegistryException);
}

TEST_F(RegistryTest, OpeningReadOnlyNeverCreates) {
  EXPECT_FALSE(Reg.OpenKeyReadOnly(Under("Absent")));
  EXPECT_FALSE(Reg.OpenKey(Under("Absent"), false));
  EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, Under("Absent")));
  EXPECT_FALSE(Reg.KeyExists(Under("Absent")));

  ASSERT_TRUE(Reg.OpenKey(Under("Present\\Deep"), true)); // creates the parents too
  Reg.CloseKey();
  EXPECT_TRUE(Reg.KeyExists(Under("Present\\Deep")));
  EXPECT_TRUE(Reg.OpenKeyReadOnly(Under("Present")));
}

TEST_F(RegistryTest, RelativePathsStartAtTheCurrentKeyAbsoluteOnesAtTheRoot) {
  ASSERT_TRUE(Reg.OpenKey(Scratch, true));
  ASSERT_TRUE(Reg.OpenKey("Child", true));
  EXPECT_TRUE(RegKeyPresent(HKEY_CURRENT_USER, Under("Child")));
  ASSERT_TRUE(Reg.OpenKey(std::string("\\") + Under("Other"), true));
  EXPECT_TRUE(RegKeyPresent(HKEY_CURRENT_USER, Under("Other")));
  EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, Under("Child\\") + Scratch));
}

TEST_F(RegistryTest, DeleteKeyRemovesEveryLevelBelowIt) {
  for (const char *path : {"Set\\A\\B\\C", "Set\\A\\D", "Set\\E"}) {
    ASSERT_TRUE(Reg.OpenKey(std::string("\\") + Under(path), true)) << path;
    Reg.WriteString("Name", path);
  }
  Reg.CloseKey();
  ASSERT_TRUE(Reg.OpenKey(Scratch, true));
  Reg.WriteString("Keep", "yes");
  Reg.CloseKey();

  EXPECT_TRUE(Reg.DeleteKey(Under("Set")));
  EXPECT_EQ(DumpRegKey(HKEY_CURRENT_USER, Scratch), ": \"Keep\" REG_SZ \"yes\\x00\"\n");
  EXPECT_FALSE(Reg.DeleteKey(Under("Set")));
  EXPECT_FALSE(Reg.DeleteKey("")); // never the base key itself
  EXPECT_TRUE(RegKeyPresent(HKEY_CURRENT_USER, Scratch));
}
