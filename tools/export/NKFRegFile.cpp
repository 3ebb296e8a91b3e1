#include "NKFRegFile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "ChartSetNames.h"
#include "NKFGeoreference.h"

namespace {

namespace fs = std::filesystem;

const char *const Operation = "NKFRegFile";
const char *const Version5Header = "Windows Registry Editor Version 5.00";
const char *const Version4Header = "REGEDIT4";
const char *const MachineRoot = "HKEY_LOCAL_MACHINE\\";
const char *const SoftwareKey = "Software\\";
const char *const Wow64Key = "Wow6432Node\\";
const char *const NameValue = "Name";
const char *const PathValue = "Path";

// Windows-1252's bytes 0x80 to 0x9F; its other bytes are their own code
// points. The five bytes it leaves free map to themselves, as Windows does.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromCp1252(unsigned char Byte) { return Byte >= 0x80 && Byte < 0xA0 ? Cp1252High[Byte - 0x80] : Byte; }

// A character Windows-1252 cannot hold becomes '?', as Windows's own
// conversion makes it; the installer, an ANSI program, cannot have written one.
char ToCp1252(char16_t Unit) {
  if (Unit < 0x80 || (Unit >= 0xA0 && Unit < 0x100))
    return static_cast<char>(Unit);
  const auto found = std::find(Cp1252High.begin(), Cp1252High.end(), Unit);
  return found == Cp1252High.end() ? '?' : static_cast<char>(0x80 + (found - Cp1252High.begin()));
}

void AppendUtf8(std::string &Out, char16_t Unit) {
  if (Unit < 0x80) {
    Out += static_cast<char>(Unit);
  } else if (Unit < 0x800) {
    Out += static_cast<char>(0xC0 | (Unit >> 6));
    Out += static_cast<char>(0x80 | (Unit & 0x3F));
  } else {
    Out += static_cast<char>(0xE0 | (Unit >> 12));
    Out += static_cast<char>(0x80 | ((Unit >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Unit & 0x3F));
  }
}

std::string Lower(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(),
                 [](char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; });
  return Text;
}

// The file as Windows-1252 text: a version-5 export decoded from UTF-16LE.
std::string AsCp1252(const std::string &Bytes) {
  if (Bytes.size() < 2 || Bytes[0] != '\xFF' || Bytes[1] != '\xFE')
    return Bytes;
  std::string text;
  text.reserve(Bytes.size() / 2);
  for (size_t i = 2; i + 1 < Bytes.size(); i += 2)
    text += ToCp1252(static_cast<char16_t>(static_cast<unsigned char>(Bytes[i]) |
                                           static_cast<unsigned char>(Bytes[i + 1]) << 8));
  return text;
}

std::vector<std::string> Lines(const std::string &Text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= Text.size()) {
    size_t end = Text.find('\n', start);
    if (end == std::string::npos)
      end = Text.size();
    std::string line = Text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// A quoted text from Pos (at its opening quote) with regedit's two escapes;
// Pos ends after the closing quote. False when the quote is not closed.
bool ReadQuoted(const std::string &Line, size_t &Pos, std::string &Text) {
  for (++Pos; Pos < Line.size(); ++Pos) {
    if (Line[Pos] == '"') {
      ++Pos;
      return true;
    }
    if (Line[Pos] == '\\' && Pos + 1 < Line.size() && (Line[Pos + 1] == '\\' || Line[Pos + 1] == '"'))
      ++Pos;
    Text += Line[Pos];
  }
  return false;
}

// The installer's Trim: control characters and spaces off both ends.
std::string Trimmed(const std::string &Text) {
  const auto blank = [](char C) { return static_cast<unsigned char>(C) <= ' '; };
  const auto first = std::find_if_not(Text.begin(), Text.end(), blank);
  const auto last = std::find_if_not(Text.rbegin(), Text.rend(), blank).base();
  return first < last ? std::string(first, last) : std::string();
}

// A record's key (its name starts with "Software\\") in the export, in the
// 64-bit view (the installer's own) or the 32-bit view a 64-bit Windows shows.
std::string FullKey(const std::string &Name, bool Wow64) {
  const std::string software = SoftwareKey;
  return MachineRoot + (Wow64 ? software + Wow64Key + Name.substr(software.size()) : Name);
}

// Why the set is not installed in one view of the records, or empty with
// Folder set when it is.
std::string Missing(const TNKFRegFile &Records, bool Wow64, std::string &Folder) {
  const std::string set = FullKey(ChartSetKey, Wow64), module = FullKey(ChartModuleKey, Wow64);
  // The set key may be unreadable while its module key is readable: the
  // installer lets the module's records decide then, and so does this.
  if (Records.HasKey(set)) {
    const std::string *name = Records.Value(set, NameValue);
    if (!name || *name != ChartSetName)
      return "the Name of " + set + " is not \"" + ChartSetName + "\"";
  }
  if (!Records.HasKey(module))
    return "there is no key " + module;
  const std::string *name = Records.Value(module, NameValue);
  if (!name || *name != ChartModuleName)
    return "the Name of " + module + " is not \"" + ChartModuleName + "\"";
  const std::string *path = Records.Value(module, PathValue);
  const std::string folder = path ? Trimmed(*path) : std::string();
  if (folder.empty())
    return module + " has no Path";
  std::string charts;
  for (const char *file : ChartFileNames)
    if (!Records.HasKey(FullKey(std::string(ChartKeyPrefix) + file, Wow64)))
      charts += (charts.empty() ? "" : ", ") + std::string(file);
  if (!charts.empty())
    return "there is no key for " + charts;
  Folder = folder.back() == '\\' ? folder : folder + '\\';
  return {};
}

} // namespace

TNKFRegFile TNKFRegFile::Read(const std::string &FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in)
    throw ENKFExportError(std::string(Operation) + ": Cannot read " + FileName);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad())
    throw ENKFExportError(std::string(Operation) + ": Cannot read " + FileName);
  return Parse(bytes, FileName);
}

TNKFRegFile TNKFRegFile::Parse(const std::string &Bytes, const std::string &Source) {
  const bool unicode = Bytes.size() >= 2 && Bytes[0] == '\xFF' && Bytes[1] == '\xFE';
  const std::vector<std::string> lines = Lines(AsCp1252(Bytes));
  if (lines.front() != (unicode ? Version5Header : Version4Header))
    throw ENKFExportError(std::string(Operation) + ": " + Source + " is not a registry export");
  TNKFRegFile file;
  std::map<std::string, std::string> *key = nullptr; // values outside a key are skipped
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string &line = lines[i];
    const auto bad = [&] {
      return ENKFExportError(std::string(Operation) + ": " + Source + " line " + std::to_string(i + 1) +
                             " is neither a key nor a value");
    };
    if (line.empty() || line[0] == ';')
      continue;
    if (line[0] == '[') {
      if (line.back() != ']')
        throw bad();
      // "[-KEY]" deletes a key: its values are no records.
      key = line[1] == '-' ? nullptr : &file.FKeys[Lower(line.substr(1, line.size() - 2))];
      continue;
    }
    // A binary value goes on over lines ending in a backslash; they are
    // skipped with it.
    if (line[0] == ' ')
      continue;
    std::string name, text;
    size_t pos = 0;
    if (line[0] == '@')
      pos = 1;
    else if (line[0] != '"' || !ReadQuoted(line, pos, name))
      throw bad();
    if (pos >= line.size() || line[pos] != '=')
      throw bad();
    ++pos;
    if (pos < line.size() && line[pos] == '"') {
      if (!ReadQuoted(line, pos, text))
        throw bad();
      if (key)
        (*key)[Lower(name)] = text;
    }
  }
  return file;
}

bool TNKFRegFile::HasKey(const std::string &Key) const { return FKeys.count(Lower(Key)) != 0; }

const std::string *TNKFRegFile::Value(const std::string &Key, const std::string &Name) const {
  const auto key = FKeys.find(Lower(Key));
  if (key == FKeys.end())
    return nullptr;
  const auto value = key->second.find(Lower(Name));
  return value == key->second.end() ? nullptr : &value->second;
}

std::string NKFInstalledSetFolder(const TNKFRegFile &Records, const std::string &Source) {
  const auto hasRecords = [&](bool Wow64) {
    return Records.HasKey(FullKey(ChartSetKey, Wow64)) || Records.HasKey(FullKey(ChartModuleKey, Wow64));
  };
  std::string folder;
  const std::string direct = Missing(Records, false, folder);
  if (direct.empty())
    return folder;
  const std::string wow64 = Missing(Records, true, folder);
  if (wow64.empty())
    return folder;
  // The message speaks of the view that holds the set's records, if only one does.
  const std::string why = !hasRecords(false) && hasRecords(true) ? wow64 : direct;
  throw ENKFExportError("NKFInstalledSetFolder: " + std::string(ChartSetName) + " is not installed according to " +
                        Source + ": " + why);
}

std::string NKFWinePath(const std::string &WindowsPath, const std::string &Prefix) {
  const auto letter = [](char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); };
  if (WindowsPath.size() < 3 || !letter(WindowsPath[0]) || WindowsPath[1] != ':' || WindowsPath[2] != '\\')
    throw ENKFExportError("NKFWinePath: " + WindowsPath + " is not a path on a drive");
  const std::string drive = Lower(WindowsPath.substr(0, 2));
  const std::string link = (fs::path(Prefix) / "dosdevices" / drive).string();
  std::error_code error;
  if (!fs::is_directory(link, error))
    throw ENKFExportError("NKFWinePath: the Wine prefix " + Prefix + " has no drive " + WindowsPath.substr(0, 2) +
                          " (" + link + ")");
  std::string path = link;
  for (size_t i = 2; i < WindowsPath.size(); ++i) {
    if (WindowsPath[i] == '\\')
      path += '/';
    else
      AppendUtf8(path, FromCp1252(static_cast<unsigned char>(WindowsPath[i])));
  }
  while (path.size() > link.size() + 1 && path.back() == '/')
    path.pop_back();
  return path;
}

std::string NKFWinePrefix() {
  if (const char *prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
    return prefix;
  const char *home = std::getenv("HOME");
  if (!home || !*home)
    throw ENKFExportError("NKFWinePrefix: neither WINEPREFIX nor HOME is set");
  return std::string(home) + "/.wine";
}
