#include "VmDirReader.h"

#include <algorithm>
#include <cmath>

#include "FileFind.h"
#include "SysUtils.h"

bool MatchesDirType(TFileAttributes Types, int32_t Attr) {
  if (Types.Contains(dtAll))
    return true;
  const struct {
    int32_t Bit;
    TFileAttribute Kind;
  } specials[] = {{faReadOnly, dtReadOnly}, {faHidden, dtHidden}, {faSysFile, dtSystem}};
  bool special = false;
  for (const auto &s : specials) {
    if (Attr & s.Bit) {
      if (!Types.Contains(s.Kind))
        return false;
      special = true;
    }
  }
  return special || Types.Contains(dtNormal);
}

bool IsBelowRecycleBin(const std::string &Path) {
  static const std::string bin = std::string(1, PathDelim) + "recycled" + PathDelim;
  const size_t p = LowerCase(Path).find(bin);
  // 1-based position p + 1 must come before the last ten characters.
  return p != std::string::npos && p + bin.size() < Path.size();
}

std::vector<std::string> SplitMask(const std::string &Mask) {
  std::vector<std::string> patterns;
  size_t start = 0;
  while (start <= Mask.size()) {
    size_t end = Mask.find(';', start);
    if (end == std::string::npos)
      end = Mask.size();
    if (end > start)
      patterns.push_back(Mask.substr(start, end - start));
    start = end + 1;
  }
  return patterns;
}

std::string FormatFileSize(TSizeUnits Units, int Decimals, bool Minimum, int64_t Size) {
  static const char *const names[] = {"bytes", "KB", "MB", "GB", "TB"};
  int unit = suTB;
  for (int u = suBytes; u < suTB; ++u) {
    if (!Units.Contains(static_cast<TSizeUnit>(u)))
      continue;
    bool largerAllowed = false;
    for (int v = u + 1; v <= suTB; ++v)
      largerAllowed = largerAllowed || Units.Contains(static_cast<TSizeUnit>(v));
    const int64_t nextThreshold = int64_t{1} << (10 * (u + 1));
    if (Size < nextThreshold || !largerAllowed) {
      unit = u;
      break;
    }
  }
  if (unit == suBytes)
    return IntToStr(Size) + " bytes";

  Decimals = std::clamp(Decimals, 0, 15);
  const long double scale = std::pow(10.0L, Decimals);
  const long double value = static_cast<long double>(Size) / std::ldexp(1.0L, 10 * unit);
  long long scaled = std::llround(value * scale); // half away from zero
  if (Minimum && Size > 0 && scaled == 0)
    scaled = 1;
  const long long whole = static_cast<long long>(scaled / static_cast<long long>(scale));
  std::string text = IntToStr(whole);
  if (Decimals > 0) {
    std::string fraction = IntToStr(std::llabs(scaled - whole * static_cast<long long>(scale)));
    text += '.' + std::string(static_cast<size_t>(Decimals) - fraction.size(), '0') + fraction;
  }
  return text + ' ' + names[unit];
}

int CompareText(const std::string &a, const std::string &b) {
  const std::string la = LowerCase(a), lb = LowerCase(b);
  return la < lb ? -1 : (la == lb ? 0 : 1);
}

namespace {

bool IsDotEntry(const std::string &Name) { return Name == "." || Name == ".."; }

} // namespace

void TDirReader::Walk(const std::string &Folder, const std::function<bool(const std::string &)> &Found) const {
  TFileSearch search;
  TSearchRec rec;
  for (bool ok = search.FindFirst(Folder + "*.*", faAnyFile, rec); ok; ok = search.FindNext(rec)) {
    if (!(rec.Attr & faDirectory) || IsDotEntry(rec.Name))
      continue;
    if (Accept && !Accept(Folder + rec.Name + PathDelim))
      continue;
    if (MatchesDirType(DirType, rec.Attr) && !Found(rec.Name))
      return;
  }
}

bool TDirReader::HasSubDirs(const std::string &Folder) const {
  bool found = false;
  Walk(Folder, [&](const std::string &) {
    found = true;
    return false;
  });
  return found;
}

std::vector<std::string> TDirReader::SubDirs(const std::string &Folder) const {
  std::vector<std::string> names;
  Walk(Folder, [&](const std::string &Name) {
    names.push_back(Name);
    return true;
  });
  std::stable_sort(names.begin(), names.end(),
                   [](const std::string &a, const std::string &b) { return CompareText(a, b) < 0; });
  return names;
}

void SplitExtension(const std::string &FileName, std::string &Name, std::string &Extension) {
  const size_t dot = FileName.rfind('.');
  if (dot == std::string::npos) {
    Name = FileName;
    Extension.clear();
  } else {
    Name = FileName.substr(0, dot);
    Extension = FileName.substr(dot);
  }
}

namespace {

void ListFolder(const std::string &Folder, const std::vector<std::string> &Patterns, TFileAttributes FileType,
                bool Recurse, std::vector<TFileEntry> &Files) {
  const std::string prefix = Folder + PathDelim;
  TFileSearch search;
  TSearchRec rec;
  for (const std::string &pattern : Patterns) {
    for (bool ok = search.FindFirst(prefix + pattern, faAnyFile, rec); ok; ok = search.FindNext(rec)) {
      if ((rec.Attr & (faDirectory | faVolumeID)) || !MatchesDirType(FileType, rec.Attr))
        continue;
      TFileEntry entry;
      entry.Folder = prefix;
      SplitExtension(rec.Name, entry.Name, entry.Extension);
      // The whole size: the low 32 bits alone would show a 3 GiB file as negative.
      entry.Size = rec.Size;
      entry.Time = rec.Time;
      Files.push_back(std::move(entry));
    }
  }
  if (!Recurse)
    return;
  for (bool ok = search.FindFirst(prefix + "*.*", faAnyFile, rec); ok; ok = search.FindNext(rec)) {
    // Links are not followed, so a link back up cannot make the walk endless.
    if ((rec.Attr & faDirectory) && !(rec.Attr & faSymLink) && !IsDotEntry(rec.Name))
      ListFolder(prefix + rec.Name, Patterns, FileType, Recurse, Files);
  }
}

} // namespace

std::vector<TFileEntry> ListFiles(const std::string &Folder, const std::string &Mask, TFileAttributes FileType,
                                  bool Recurse) {
  std::vector<TFileEntry> files;
  ListFolder(Folder, SplitMask(Mask), FileType, Recurse, files);
  return files;
}
