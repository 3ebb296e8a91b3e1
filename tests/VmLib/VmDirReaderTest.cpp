#include "VmDirReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "FileFind.h"
#include "TempDir.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

TEST(DirReader, MatchesDirType) {
  const TFileAttributes normalOnly{dtNormal};
  const TFileAttributes all{dtNormal, dtAll};
  const TFileAttributes hiddenOnly{dtHidden};
  const TFileAttributes hiddenAndNormal{dtHidden, dtNormal};
  const struct {
    TFileAttributes Types;
    int32_t Attr;
    bool Shown;
  } cases[] = {
      {normalOnly, faDirectory, true},
      {normalOnly, faDirectory | faArchive, true},
      {normalOnly, faDirectory | faHidden, false},
      {normalOnly, faDirectory | faSysFile, false},
      {normalOnly, faReadOnly, false},
      {all, faHidden | faSysFile | faReadOnly, true},
      {TFileAttributes{dtAll}, faDirectory, true},
      {hiddenOnly, faHidden, true},
      {hiddenOnly, faDirectory, false}, // no special bit and no dtNormal
      {hiddenOnly, faHidden | faReadOnly, false},
      {hiddenAndNormal, faHidden | faSysFile, false},
      {TFileAttributes{}, faDirectory, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(MatchesDirType(cases[i].Types, cases[i].Attr), cases[i].Shown) << "case " << i;
}

TEST(DirReader, RecycleBinRule) {
  const std::string d(1, PathDelim);
  const struct {
    std::string Path;
    bool Below;
  } cases[] = {
      {"C:" + d + "RECYCLED" + d, false}, // the bin itself is shown
      {"C:" + d + "RECYCLED" + d + "x" + d, true},
      {"C:" + d + "Recycled" + d + "S-1" + d + "y" + d, true},
      {"C:" + d + "a" + d + "recycled" + d + "b" + d, true},
      {"C:" + d + "recycledx" + d + "b" + d, false},
      {"C:" + d + "myrecycled" + d + "b" + d, false},
      {"C:" + d, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(IsBelowRecycleBin(cases[i].Path), cases[i].Below) << "case " << i << ": " << cases[i].Path;
}

TEST(DirReader, SplitMask) {
  EXPECT_EQ(SplitMask("*.*"), (std::vector<std::string>{"*.*"}));
  EXPECT_EQ(SplitMask("*.txt;*.doc"), (std::vector<std::string>{"*.txt", "*.doc"}));
  EXPECT_EQ(SplitMask(";a;;b;"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(SplitMask("").empty());
}

TEST(DirReader, FormatFileSize) {
  const int64_t KB = 1024, MB = KB * KB, GB = MB * KB, TB = GB * KB;
  const struct {
    TSizeUnits Units;
    int Decimals;
    bool Minimum;
    int64_t Size;
    const char *Text;
  } cases[] = {
      // What the file list shows: KB only, whole numbers, at least 1.
      {{suKB}, 0, true, 0, "0 KB"},
      {{suKB}, 0, true, 1, "1 KB"},
      {{suKB}, 0, true, 10, "1 KB"},
      {{suKB}, 0, true, 1536, "2 KB"}, // half rounds up
      {{suKB}, 0, true, 2560, "3 KB"},
      {{suKB}, 0, true, 5 * GB, "5242880 KB"},
      {{suKB}, 0, false, 10, "0 KB"},
      {{suKB}, 2, true, 1, "0.01 KB"},
      // Every unit allowed: the smallest that keeps the size below the next.
      {{}, 0, false, 1023, "1023 bytes"},
      {{}, 0, false, 1024, "1 KB"},
      {{}, 2, false, MB + MB / 2, "1.50 MB"},
      {{}, 1, false, 3 * GB, "3.0 GB"},
      {{}, 0, false, 2 * TB, "2 TB"},
      {{}, 0, false, 5000 * TB, "5000 TB"},
      // Gaps in the set.
      {{suBytes, suMB}, 0, false, 1000, "1000 bytes"},
      {{suBytes, suMB}, 0, false, 500 * KB, "0 MB"}, // past the bytes' range, so MB even below one
      {{suBytes, suMB}, 0, true, 500 * KB, "1 MB"},
      {{suBytes, suMB}, 0, false, 2 * MB, "2 MB"},
      {{suBytes, suMB}, 1, false, 2 * TB, "2097152.0 MB"},
      {{suGB}, 3, false, MB, "0.001 GB"},
      {{suBytes}, 0, false, 3 * GB, "3221225472 bytes"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    EXPECT_EQ(FormatFileSize(c.Units, c.Decimals, c.Minimum, c.Size), c.Text) << "case " << i;
  }
}

class DirFolder : public ::testing::Test {
protected:
  // The folder without its trailing separator, as ListFiles takes it.
  std::string Folder() const { return Temp.Path().substr(0, Temp.Path().size() - 1); }
  std::string Dir(const std::string &Name) {
    std::filesystem::create_directories(Temp.File(Name));
    return Temp.File(Name);
  }
  TTempDir Temp;
};

std::vector<std::string> FileNames(const std::vector<TFileEntry> &Files) {
  std::vector<std::string> names;
  for (const TFileEntry &f : Files)
    names.push_back(f.FileName());
  return names;
}

TEST_F(DirFolder, SubDirsAreSortedWithoutRegardToCaseAndFiltered) {
  for (const char *name : {"beta", "Alpha", "gamma", "skip"})
    Dir(name);
  WriteFileBytes(Temp.File("file.txt"), "x");
  TDirReader reader;
  reader.Accept = [](const std::string &Path) { return Path.find("skip") == std::string::npos; };
  EXPECT_EQ(reader.SubDirs(Temp.Path()), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  EXPECT_TRUE(reader.HasSubDirs(Temp.Path()));

  int asked = 0;
  reader.Accept = [&](const std::string &Path) {
    ++asked;
    EXPECT_EQ(Path.back(), PathDelim) << Path;
    return true;
  };
  EXPECT_TRUE(reader.HasSubDirs(Temp.Path()));
  EXPECT_EQ(asked, 1) << "the probe stops at the first shown folder";

  reader.Accept = [](const std::string &) { return false; };
  EXPECT_FALSE(reader.HasSubDirs(Temp.Path()));
  EXPECT_TRUE(reader.SubDirs(Temp.Path() + "missing" + PathDelim).empty());
}

TEST_F(DirFolder, ListFilesByMaskTwiceWhenTwoPatternsMatch) {
  WriteFileBytes(Temp.File("a.txt"), "12345");
  WriteFileBytes(Temp.File("b.doc"), "");
  WriteFileBytes(Temp.File("c.bin"), "");
  WriteFileBytes(Temp.File("noext"), "");
  Dir("sub.txt"); // a folder matching the mask is not a file
  const std::string folder = Folder();

  auto names = FileNames(ListFiles(folder, "*.txt;*.doc", {dtNormal}, false));
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.doc"}));

  names = FileNames(ListFiles(folder, "*.txt;a*", {dtNormal}, false));
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "a.txt"}));

  const auto files = ListFiles(folder, "a.txt", {dtNormal}, false);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].Folder, Temp.Path());
  EXPECT_EQ(files[0].Name, "a");
  EXPECT_EQ(files[0].Extension, ".txt");
  EXPECT_EQ(files[0].Size, 5);
  EXPECT_GT(files[0].Time, int64_t{116444736000000000}) << "after 1970";

  // A file past 2 GiB keeps its size (a sparse file: no disk space is used).
  WriteFileBytes(Temp.File("big.img"), "");
  std::filesystem::resize_file(Temp.File("big.img"), uint64_t{3} << 30);
  const auto big = ListFiles(folder, "big.img", {dtNormal}, false);
  ASSERT_EQ(big.size(), 1u);
  EXPECT_EQ(big[0].Size, int64_t{3} << 30);

  const auto plain = ListFiles(folder, "noext", {dtNormal}, false);
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(plain[0].Extension, "");
  EXPECT_TRUE(ListFiles(folder + PathDelim + "missing", "*.*", {dtNormal}, false).empty());
}

TEST_F(DirFolder, RecursionIsDepthFirst) {
  Dir("one/deeper");
  Dir("two");
  WriteFileBytes(Temp.File("top.txt"), "");
  WriteFileBytes(Temp.File("one/deeper/low.txt"), "");
  WriteFileBytes(Temp.File("one/mid.txt"), "");
  WriteFileBytes(Temp.File("two/side.txt"), "");
  auto names = FileNames(ListFiles(Folder(), "*.txt", {dtNormal}, true));
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[0], "top.txt");
  // mid comes before low (a folder's files before its subfolders'), both before
  // or after side depending on the listing order of one and two.
  const auto at = [&](const char *n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
  EXPECT_LT(at("mid.txt"), at("low.txt"));
  EXPECT_EQ(std::abs(at("mid.txt") - at("low.txt")), 1) << "one's subtree is listed without interruption";
}

// A hidden file: the hidden attribute on Windows, a leading dot elsewhere.
std::string MakeHidden(TTempDir &Temp) {
#if defined(_WIN32)
  const std::string path = Temp.File("hidden.txt");
  WriteFileBytes(path, "");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
  return "hidden.txt";
#else
  WriteFileBytes(Temp.File(".hidden.txt"), "");
  return ".hidden.txt";
#endif
}

TEST_F(DirFolder, AttributeFilter) {
  WriteFileBytes(Temp.File("plain.txt"), "");
  WriteFileBytes(Temp.File("locked.txt"), "");
  std::filesystem::permissions(Temp.File("locked.txt"), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  const std::string hidden = MakeHidden(Temp);
  const std::string folder = Folder();
  const auto sorted = [](std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  const struct {
    TFileAttributes Types;
    std::vector<std::string> Names;
  } cases[] = {
      {{dtNormal}, {"plain.txt"}},
      {{dtNormal, dtAll}, sorted({"plain.txt", "locked.txt", hidden})},
      {{dtReadOnly}, {"locked.txt"}},
      {{dtHidden, dtNormal}, sorted({"plain.txt", hidden})},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(sorted(FileNames(ListFiles(folder, "*.*", cases[i].Types, false))), cases[i].Names) << "case " << i;
  std::filesystem::permissions(Temp.File("locked.txt"), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

TEST(DirReaderSplit, SplitExtension) {
  const struct {
    const char *File, *Name, *Ext;
  } cases[] = {{"a.txt", "a", ".txt"}, {"a.b.c", "a.b", ".c"}, {"noext", "noext", ""}, {".hidden", "", ".hidden"}};
  for (const auto &c : cases) {
    std::string name, ext;
    SplitExtension(c.File, name, ext);
    EXPECT_EQ(name, c.Name) << c.File;
    EXPECT_EQ(ext, c.Ext) << c.File;
  }
}

} // namespace
