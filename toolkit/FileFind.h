// Directory listing and drives, the way the Windows file system offers them:
// find first / next / close with an attribute mask, the logical drive mask,
// the type of a drive root and the current directory. FindFirstFile & co. on
// Windows; opendir & co. elsewhere, where there are no drive letters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The separator between a folder and a name.
#if defined(_WIN32)
constexpr char PathDelim = '\\';
#else
constexpr char PathDelim = '/';
#endif

// Attribute bits of a directory entry.
constexpr int32_t faReadOnly = 0x01;
constexpr int32_t faHidden = 0x02;
constexpr int32_t faSysFile = 0x04;
constexpr int32_t faVolumeID = 0x08;
constexpr int32_t faDirectory = 0x10;
constexpr int32_t faArchive = 0x20;
constexpr int32_t faAnyFile = 0x3F;
// A link (Windows: a reparse point such as a junction or symbolic link).
constexpr int32_t faSymLink = 0x400;

struct TSearchRec {
  std::string Name;
  int32_t Attr = 0;
  int64_t Size = 0;
  int64_t Time = 0; // last write, 100-ns ticks since 1601-01-01 UTC (the Windows file time)
};

// How much a listing tells of each entry. Full: every field of TSearchRec.
// NamesAndKinds: the name and the directory, link and hidden bits, which the
// mask is applied to; the other bits, Size and Time may be left 0. Windows
// lists everything at no extra cost; elsewhere the full form examines each
// entry on its own, which a walk over a whole disk notices.
enum class TListingDetail { Full, NamesAndKinds };

// One enumeration of a folder. Path is a folder, the platform's separator and
// a name or a pattern of '*' and '?'; "*.*" matches every name. Hidden,
// system, volume-label and directory entries are listed only when their bits
// are in the attribute mask; other entries always are. The enumeration is
// closed by FindClose, by the next FindFirst and on destruction.
class TFileSearch {
public:
  TFileSearch();
  ~TFileSearch();
  TFileSearch(const TFileSearch &) = delete;
  TFileSearch &operator=(const TFileSearch &) = delete;

  // False when nothing matches or the folder cannot be listed.
  bool FindFirst(const std::string &Path, int32_t Attr, TSearchRec &Rec,
                 TListingDetail Detail = TListingDetail::Full);
  bool FindNext(TSearchRec &Rec);
  void FindClose();

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
  int32_t FAttr = 0;
};

// A path up to this long is taken by every file call. Beyond it the system
// may refuse a name even where its folder can still be listed.
#if defined(_WIN32)
constexpr size_t MaxPathLength = 259; // MAX_PATH less the terminator: the ANSI calls
#else
constexpr size_t MaxPathLength = 4095; // PATH_MAX less the terminator
#endif

// Whether two names of entries of one folder name the same entry, compared
// the way the file system compares them: without regard to letter case (on
// Windows in the ANSI code page, through the system's case table; elsewhere
// ASCII letters only, as the listing's own patterns match).
bool SameFileName(const std::string &A, const std::string &B);

// Whether an entry of attributes EntryAttr passes the mask Attr.
inline bool AttributesMatch(int32_t EntryAttr, int32_t Attr) {
  constexpr int32_t special = faHidden | faSysFile | faVolumeID | faDirectory;
  return (EntryAttr & special & ~Attr) == 0;
}

// Drive types, as the system reports them for a root such as "C:\".
constexpr int32_t drvUnknown = 0;
constexpr int32_t drvNoRootDir = 1;
constexpr int32_t drvRemovable = 2;
constexpr int32_t drvFixed = 3;
constexpr int32_t drvRemote = 4;
constexpr int32_t drvCDROM = 5;
constexpr int32_t drvRAMDisk = 6;

// Bit 0 = A: ... bit 25 = Z: for every drive present; 0 where there are no
// drive letters.
uint32_t GetLogicalDriveMask();
int32_t GetDriveTypeOf(const std::string &Root);

std::string GetCurrentDir();
bool SetCurrentDir(const std::string &Dir);
