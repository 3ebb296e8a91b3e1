// The search over real drive letters. Runs under the drive-search script,
// which maps A: (floppy), D: and E: (hard disk), F: (CD-ROM) and G: (network)
// to empty folders, makes Z: a network drive, and leaves on D: a link loop
// (D:\loop\up) and a folder chain too deep to list (D:\deep). Without that
// script (VM_DRIVE_TEST unset) every test is skipped.
#include "VmFileIO.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "FileFind.h"
#include "TempDir.h"

namespace {

const std::vector<std::string> SetNames = {"Aldenhof.nkf2", "Brink.nkf2",    "Cromme.nkf2",
                                           "Duinrand.nkf2", "Eemhaven.nkf2", "Flevo.nkf2",
                                           "Gouwe.nkf2",    "Hulst.nkf2",    "Ijsselmond.nkf2"};

class DriveSearch : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::getenv("VM_DRIVE_TEST") == nullptr)
      GTEST_SKIP() << "needs the drive-search script";
  }
  void TearDown() override {
    std::error_code ec;
    for (const std::string &path : FCreated)
      std::filesystem::remove_all(path, ec);
  }

  // The set in Folder (a drive root or a folder on it, with a trailing
  // backslash). Top is what to remove afterwards.
  void PutSet(const std::string &Folder, const std::string &Top, bool capitals = false) {
    std::filesystem::create_directories(Folder);
    for (const std::string &name : SetNames) {
      const std::string path = Folder + (capitals ? UpperCase(name) : name);
      WriteFileBytes(path, "x");
      if (Top.empty())
        FCreated.push_back(path);
    }
    if (!Top.empty())
      FCreated.push_back(Top);
  }

  bool Find(const std::string &FolderText, std::string &Found) {
    Turns = 0;
    return FindCharts(FolderText, SetNames, Found, [this] { ++Turns; });
  }

  int Turns = 0;

private:
  std::vector<std::string> FCreated;
};

TEST_F(DriveSearch, DrivesAndTheirTypes) {
  std::vector<std::string> drives;
  GetDriveList(drives);
  std::string letters;
  for (const std::string &d : drives)
    letters += d;
  for (const char *present : {"A", "C", "D", "E", "F", "G", "Z"})
    EXPECT_NE(letters.find(present), std::string::npos) << present << " in " << letters;
  EXPECT_TRUE(std::is_sorted(letters.begin(), letters.end())) << letters;
  const struct {
    const char *root;
    int32_t type;
  } cases[] = {{"A:\\", drvRemovable}, {"C:\\", drvFixed},  {"D:\\", drvFixed},
               {"F:\\", drvCDROM},     {"G:\\", drvRemote}, {"Z:\\", drvRemote}};
  for (const auto &c : cases)
    EXPECT_EQ(GetDriveTypeOf(c.root), c.type) << c.root;
}

TEST_F(DriveSearch, AFolderNamedByItsDriveIsTheRoot) {
  PutSet("D:\\", "");
  PutSet("E:\\sub\\", "E:\\sub");
  for (const char *text : {"D:", "D:\\", "d:\\"}) {
    std::string found = "old";
    EXPECT_TRUE(Find(text, found)) << text;
    EXPECT_TRUE(SameText(found, "D:\\")) << text << " gave " << found;
  }
  std::string found = "old";
  EXPECT_FALSE(Find("E:", found)) << "a named folder's subfolders are not searched";
  EXPECT_EQ(found, "");
}

TEST_F(DriveSearch, OnlyFixedDrivesAreSearched) {
  PutSet("A:\\", "");
  PutSet("F:\\", "");
  PutSet("G:\\", "");
  std::string found = "old";
  EXPECT_FALSE(Find("", found));
  EXPECT_EQ(found, "");
  EXPECT_GT(Turns, 3) << "C:, D: and E: were walked";
}

TEST_F(DriveSearch, TheFirstFixedDriveWithTheSetWins) {
  PutSet("E:\\", "");
  PutSet("D:\\x\\y\\", "D:\\x");
  std::string found;
  EXPECT_TRUE(Find("", found));
  EXPECT_EQ(found, "D:\\x\\y\\");
}

TEST_F(DriveSearch, TheWalkPassesLoopsAndUnlistableFoldersAndIgnoresCase) {
  // D: holds the loop and the deep chain but not the set, so it is walked to
  // its end before E: is searched.
  PutSet("E:\\a\\b\\", "E:\\a", true);
  std::string found;
  EXPECT_TRUE(Find("", found));
  EXPECT_EQ(found, "E:\\a\\b\\");
}

} // namespace
