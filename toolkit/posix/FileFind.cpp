#include "../FileFind.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <vector>

// Names are matched without regard to ASCII letter case, as on Windows, so
// that a search finds the same files on both kinds of system.

namespace {

// Seconds from 1601-01-01 (the Windows file-time origin) to 1970-01-01.
constexpr int64_t UnixEpochInFileTimeSeconds = 11644473600;

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool HasWildcard(const std::string &pattern) { return pattern.find_first_of("*?") != std::string::npos; }

// '*' matches any run of characters, '?' one character.
bool WildcardMatch(const char *pattern, const char *name) {
  const char *starPattern = nullptr;
  const char *starName = nullptr;
  while (*name) {
    if (*pattern == '*') {
      starPattern = ++pattern;
      starName = name;
    } else if (*pattern == '?' || Fold(*pattern) == Fold(*name)) {
      ++pattern;
      ++name;
    } else if (starPattern) {
      pattern = starPattern;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*')
    ++pattern;
  return *pattern == '\0';
}

bool IsHiddenName(const std::string &Name) { return Name.size() > 1 && Name[0] == '.' && Name != ".."; }

// Attributes of the entry Name in Folder; false when it cannot be examined.
// Names are taken relative to the open folder FolderFd when there is one:
// a walk over a whole disk examines every entry, and resolving the full path
// each time shows there.
bool EntryInfo(const std::string &Folder, int FolderFd, const std::string &Name, TSearchRec &Rec) {
  const std::string full = FolderFd >= 0 ? Name : Folder + '/' + Name;
  const int at = FolderFd >= 0 ? FolderFd : AT_FDCWD;
  struct stat st {};
  if (::fstatat(at, full.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  int32_t attr = 0;
  if (S_ISLNK(st.st_mode)) {
    attr |= faSymLink;
    struct stat target {};
    if (::fstatat(at, full.c_str(), &target, 0) == 0) {
      if (S_ISDIR(target.st_mode))
        attr |= faDirectory;
      st = target;
    }
  } else if (S_ISDIR(st.st_mode)) {
    attr |= faDirectory;
  }
  if (!(attr & faDirectory))
    attr |= faArchive;
  if (!(st.st_mode & S_IWUSR))
    attr |= faReadOnly;
  if (IsHiddenName(Name))
    attr |= faHidden;
  Rec.Name = Name;
  Rec.Attr = attr;
  Rec.Size = (attr & faDirectory) ? 0 : static_cast<int64_t>(st.st_size);
  Rec.Time = (static_cast<int64_t>(st.st_mtime) + UnixEpochInFileTimeSeconds) * 10000000;
  return true;
}

// The kind bits of an entry from the listing alone, where the listing
// tells the kind; false for links (whether one leads to a folder takes the
// target) and for file systems that leave the kind unknown.
bool KindFromListing(const dirent &Entry, TSearchRec &Rec) {
  if (Entry.d_type == DT_UNKNOWN || Entry.d_type == DT_LNK)
    return false;
  Rec.Name = Entry.d_name;
  Rec.Attr = Entry.d_type == DT_DIR ? faDirectory : faArchive;
  if (IsHiddenName(Rec.Name))
    Rec.Attr |= faHidden;
  Rec.Size = 0;
  Rec.Time = 0;
  return true;
}

} // namespace

struct TFileSearch::TImpl {
  std::string Folder;
  std::string Pattern;
  TListingDetail Detail = TListingDetail::Full;
  DIR *Dir = nullptr;
  ~TImpl() {
    if (Dir)
      ::closedir(Dir);
  }

  // The next entry that matches the pattern, or false at the end.
  bool Next(TSearchRec &Rec) {
    if (!Dir)
      return false;
    while (const dirent *entry = ::readdir(Dir)) {
      if (!WildcardMatch(Pattern.c_str(), entry->d_name))
        continue;
      if ((Detail == TListingDetail::NamesAndKinds && KindFromListing(*entry, Rec)) ||
          EntryInfo(Folder, ::dirfd(Dir), entry->d_name, Rec))
        return true;
    }
    return false;
  }
};

TFileSearch::TFileSearch() = default;
TFileSearch::~TFileSearch() = default;

bool TFileSearch::FindFirst(const std::string &Path, int32_t Attr, TSearchRec &Rec, TListingDetail Detail) {
  FindClose();
  FAttr = Attr;
  auto impl = std::make_unique<TImpl>();
  impl->Detail = Detail;
  const size_t slash = Path.rfind('/');
  impl->Folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : Path.substr(0, slash));
  impl->Pattern = slash == std::string::npos ? Path : Path.substr(slash + 1);
  if (impl->Pattern == "*.*")
    impl->Pattern = "*";
  if (impl->Pattern.empty())
    return false;
  // An exact name that exists needs no listing; another letter case does.
  if (!HasWildcard(impl->Pattern) && EntryInfo(impl->Folder, -1, impl->Pattern, Rec) && AttributesMatch(Rec.Attr, Attr)) {
    FImpl = std::move(impl);
    return true;
  }
  impl->Dir = ::opendir(impl->Folder.c_str());
  if (!impl->Dir)
    return false;
  FImpl = std::move(impl);
  return FindNext(Rec);
}

bool TFileSearch::FindNext(TSearchRec &Rec) {
  if (!FImpl)
    return false;
  while (FImpl->Next(Rec))
    if (AttributesMatch(Rec.Attr, FAttr))
      return true;
  return false;
}

void TFileSearch::FindClose() { FImpl.reset(); }

bool SameFileName(const std::string &A, const std::string &B) {
  return A.size() == B.size() &&
         std::equal(A.begin(), A.end(), B.begin(), [](char a, char b) { return Fold(a) == Fold(b); });
}

uint32_t GetLogicalDriveMask() { return 0; }

int32_t GetDriveTypeOf(const std::string &) { return drvNoRootDir; }

std::string GetCurrentDir() {
  std::vector<char> buffer(PATH_MAX);
  return ::getcwd(buffer.data(), buffer.size()) ? std::string(buffer.data()) : std::string();
}

bool SetCurrentDir(const std::string &Dir) { return ::chdir(Dir.c_str()) == 0; }
