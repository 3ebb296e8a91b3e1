#include "FileFind.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

// Name -> attributes of every entry a listing of Folder gives.
std::map<std::string, TSearchRec> List(const std::string &Folder, TListingDetail Detail) {
  std::map<std::string, TSearchRec> entries;
  TFileSearch search;
  TSearchRec rec;
  for (bool more = search.FindFirst(Folder + "*.*", faAnyFile, rec, Detail); more; more = search.FindNext(rec))
    entries[rec.Name] = rec;
  return entries;
}

} // namespace

// The short listing must tell a walk exactly what the full one tells it:
// which entries there are, and which of them are folders, links or hidden.
TEST(TFileSearch, NamesAndKindsAgreeWithTheFullListing) {
  TTempDir dir;
  namespace fs = std::filesystem;
  WriteFileBytes(dir.File("chart.nkf2"), "12345");
  WriteFileBytes(dir.File(".hidden"), "x");
  fs::create_directory(dir.File("folder"));
#if !defined(_WIN32)
  fs::create_directory_symlink(dir.File("folder"), dir.File("link to folder"));
  fs::create_symlink(dir.File("chart.nkf2"), dir.File("link to file"));
  fs::create_symlink(dir.File("nowhere"), dir.File("dangling link"));
#endif
  const auto full = List(dir.Path(), TListingDetail::Full);
  const auto brief = List(dir.Path(), TListingDetail::NamesAndKinds);
  ASSERT_EQ(full.size(), brief.size());
  constexpr int32_t kinds = faDirectory | faSymLink | faHidden;
  for (const auto &[name, rec] : full) {
    ASSERT_TRUE(brief.count(name)) << name;
    EXPECT_EQ(brief.at(name).Attr & kinds, rec.Attr & kinds) << name;
  }
  EXPECT_EQ(full.at("chart.nkf2").Size, 5);
  EXPECT_EQ(full.at("folder").Attr & kinds, faDirectory);
#if !defined(_WIN32)
  EXPECT_EQ(full.at(".hidden").Attr & faHidden, faHidden); // a dot name is a hidden file there
  EXPECT_EQ(brief.at("link to folder").Attr & kinds, faDirectory | faSymLink);
  EXPECT_EQ(brief.at("link to file").Attr & kinds, faSymLink);
#endif
}

// Without the directory bit in the mask, folders are left out either way.
TEST(TFileSearch, TheMaskAppliesToTheShortListingToo) {
  TTempDir dir;
  WriteFileBytes(dir.File("a.dat"), "x");
  std::filesystem::create_directory(dir.File("sub"));
  for (const TListingDetail detail : {TListingDetail::Full, TListingDetail::NamesAndKinds}) {
    TFileSearch search;
    TSearchRec rec;
    std::vector<std::string> names;
    for (bool more = search.FindFirst(dir.Path() + "*", faArchive, rec, detail); more; more = search.FindNext(rec))
      names.push_back(rec.Name);
    EXPECT_EQ(names, std::vector<std::string>{"a.dat"});
  }
}
