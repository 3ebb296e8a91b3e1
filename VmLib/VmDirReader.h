// The data side of the browsing controls: which folders and files they show
// (attribute sets, the recycle-bin rule, masks), how a folder's subfolders
// and files are read, and how a file size is written. Portable: the tree and
// list controls of VmBrowse sit on top of it.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// Attribute kinds a browsing control shows.
enum TFileAttribute { dtReadOnly, dtHidden, dtSystem, dtNormal, dtAll };

// A set of TFileAttribute; each kind's bit is its position.
class TFileAttributes {
public:
  constexpr TFileAttributes() = default;
  constexpr TFileAttributes(std::initializer_list<TFileAttribute> Kinds) {
    for (TFileAttribute kind : Kinds)
      FBits = static_cast<uint8_t>(FBits | (1u << kind));
  }
  constexpr bool Contains(TFileAttribute Kind) const { return (FBits >> Kind) & 1u; }
  constexpr bool operator==(const TFileAttributes &) const = default;

private:
  uint8_t FBits = 0;
};

// Whether an entry of attribute bits Attr (read-only 1, hidden 2, system 4)
// is shown under Types: dtAll shows everything; otherwise every special bit
// the entry has must be allowed, and an entry with none of them needs dtNormal.
bool MatchesDirType(TFileAttributes Types, int32_t Attr);

// Whether a folder path (ending in a separator) lies below a recycle-bin
// folder: "\recycled\" occurs in it, without regard to case, and does not end
// it. The recycle-bin folder itself is not below one.
bool IsBelowRecycleBin(const std::string &Path);

// The patterns of a mask such as "*.txt;*.doc", in order; empty parts are
// dropped.
std::vector<std::string> SplitMask(const std::string &Mask);

// Units of FormatFileSize.
enum TSizeUnit { suBytes, suKB, suMB, suGB, suTB };

class TSizeUnits {
public:
  constexpr TSizeUnits() = default;
  constexpr TSizeUnits(std::initializer_list<TSizeUnit> Units) {
    for (TSizeUnit unit : Units)
      FBits = static_cast<uint8_t>(FBits | (1u << unit));
  }
  constexpr bool Contains(TSizeUnit Unit) const { return FBits == 0 || ((FBits >> Unit) & 1u); }

private:
  uint8_t FBits = 0; // none: every unit
};

// A size as text: "512 bytes", "2 KB", "1.50 MB". The unit is the smallest
// allowed one under which the size stays below the next unit, or the largest
// allowed one. Fractions are rounded half away from zero. With Minimum, a
// size above 0 shows as at least one unit of the last decimal (a 10-byte file
// is "1 KB" with no decimals).
std::string FormatFileSize(TSizeUnits Units, int Decimals, bool Minimum, int64_t Size);

// Compares without regard to ASCII letter case, as the folder lists sort.
int CompareText(const std::string &a, const std::string &b);

// Reads the subfolders of a folder for a tree: "." and "..", folders refused
// by Accept (called with the folder path + name + separator) and folders
// whose attributes do not pass DirType are left out.
class TDirReader {
public:
  TFileAttributes DirType{dtNormal, dtAll};
  std::function<bool(const std::string &Path)> Accept;

  // Whether Folder (ending in a separator) has at least one shown subfolder;
  // stops at the first.
  bool HasSubDirs(const std::string &Folder) const;
  // The names of the shown subfolders of Folder, sorted without regard to case.
  std::vector<std::string> SubDirs(const std::string &Folder) const;

private:
  // Calls Found for each shown subfolder name until it returns false.
  void Walk(const std::string &Folder, const std::function<bool(const std::string &)> &Found) const;
};

// A file found by ListFiles.
struct TFileEntry {
  std::string Folder;    // ends in a separator
  std::string Name;      // without the extension
  std::string Extension; // with its dot, "" when none
  int64_t Size = 0;      // bytes; the whole size, also for files of 2 GiB and more
  int64_t Time = 0;      // last write, 100-ns ticks since 1601 (UTC)

  std::string FileName() const { return Name + Extension; }
  std::string FullName() const { return Folder + Name + Extension; }
};

// Splits a file name into name and extension (the last dot's part).
void SplitExtension(const std::string &FileName, std::string &Name, std::string &Extension);

// The files of Folder (without a trailing separator) matching each pattern
// of Mask in turn, so a file matching two patterns comes twice; volume labels
// and folders are left out, and files whose attributes do not pass FileType.
// With Recurse, then the files of every subfolder the same way, depth first.
std::vector<TFileEntry> ListFiles(const std::string &Folder, const std::string &Mask, TFileAttributes FileType,
                                  bool Recurse);
