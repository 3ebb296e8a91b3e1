#include "NKFRegFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <iconv.h>

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
// As Wine writes it in system.reg: backslashes doubled, names lower-cased here.
const char *const CodePageKey = "system\\\\currentcontrolset\\\\control\\\\nls\\\\codepage";
const char *const CodePageValue = "\"acp\"=\"";

std::string Lower(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(),
                 [](char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; });
  return Text;
}

void AppendUtf8(std::string &Out, char32_t Code) {
  if (Code < 0x80) {
    Out += static_cast<char>(Code);
  } else if (Code < 0x800) {
    Out += static_cast<char>(0xC0 | (Code >> 6));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else if (Code < 0x10000) {
    Out += static_cast<char>(0xE0 | (Code >> 12));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Code >> 18));
    Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  }
}

bool Ascii(const std::string &Text) {
  return std::all_of(Text.begin(), Text.end(), [](char C) { return static_cast<unsigned char>(C) < 0x80; });
}

// One direction of conversion between UTF-8 and an ANSI code page through
// iconv. Windows maps the bytes a single-byte code page leaves unassigned to
// the code points of the same number and back; iconv refuses them, so they
// are mapped here. Any other character the target lacks becomes '?', as
// Windows's own conversion makes it.
class TCodePageConverter {
public:
  TCodePageConverter(unsigned CodePage, bool ToAnsi) : FCodePage(CodePage), FToAnsi(ToAnsi) {
    const std::string ansi = CodePage == 65001 ? "UTF-8" : "CP" + std::to_string(CodePage);
    FHandle = ToAnsi ? iconv_open(ansi.c_str(), "UTF-8") : iconv_open("UTF-8", ansi.c_str());
    if (FHandle == reinterpret_cast<iconv_t>(-1))
      throw ENKFExportError(std::string(Operation) + ": The code page " + std::to_string(CodePage) +
                            " is not known to this system");
  }
  ~TCodePageConverter() { iconv_close(FHandle); }
  TCodePageConverter(const TCodePageConverter &) = delete;
  TCodePageConverter &operator=(const TCodePageConverter &) = delete;

  std::string Convert(const std::string &Text) {
    if (Ascii(Text))
      return Text;
    std::string out;
    char buffer[256];
    char *in = const_cast<char *>(Text.data());
    size_t inLeft = Text.size();
    iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
      char *to = buffer;
      size_t toLeft = sizeof buffer;
      const size_t done = iconv(FHandle, &in, &inLeft, &to, &toLeft);
      out.append(buffer, static_cast<size_t>(to - buffer));
      if (done != static_cast<size_t>(-1) || errno == E2BIG)
        continue;
      // A character that does not convert (EILSEQ) or is cut off at the end
      // (EINVAL): one character is replaced and skipped.
      const size_t skip = FToAnsi ? Utf8Length(*in, inLeft) : 1;
      out += Replacement(std::string(in, skip));
      in += skip;
      inLeft -= skip;
      iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

private:
  static size_t Utf8Length(char Lead, size_t Left) {
    const auto lead = static_cast<unsigned char>(Lead);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return std::min(length, Left);
  }

  // An unassigned byte of the code page and its code point of the same
  // number stand for each other; anything else becomes '?'.
  std::string Replacement(const std::string &Unconverted) {
    if (FToAnsi) {
      if (Unconverted.size() == 2 && Unconverted[0] == '\xC2' && static_cast<unsigned char>(Unconverted[1]) < 0xA0) {
        const char byte = Unconverted[1]; // U+0080 to U+009F: C2 80 to C2 9F
        if (!Decodes(byte))
          return std::string(1, byte);
      }
      return "?";
    }
    const auto byte = static_cast<unsigned char>(Unconverted[0]);
    if (byte >= 0x80 && byte < 0xA0) {
      std::string code;
      AppendUtf8(code, byte);
      return code;
    }
    return "?";
  }

  // Whether the code page assigns Byte on its own.
  bool Decodes(char Byte) const {
    const std::string ansi = FCodePage == 65001 ? "UTF-8" : "CP" + std::to_string(FCodePage);
    const iconv_t handle = iconv_open("UTF-8", ansi.c_str());
    char *in = &Byte;
    size_t inLeft = 1;
    char buffer[8];
    char *to = buffer;
    size_t toLeft = sizeof buffer;
    const bool decodes = iconv(handle, &in, &inLeft, &to, &toLeft) != static_cast<size_t>(-1);
    iconv_close(handle);
    return decodes;
  }

  unsigned FCodePage;
  bool FToAnsi;
  iconv_t FHandle;
};

[[noreturn]] void RaiseTooLarge(const std::string &Source) {
  throw ENKFExportError(std::string(Operation) + ": " + Source + " is larger than " +
                        std::to_string(TNKFRegFile::MaxBytes >> 20) + " MiB; export only the key HKLM\\" +
                        ChartSetKey);
}

// The export's lines, one at a time, without their line ends: a version-5
// export decoded from UTF-16LE into UTF-8, a REGEDIT4 one as its bytes. Only
// a chunk of the file and the current line are held; past MaxBytes the file
// is refused.
class TLineReader {
public:
  TLineReader(std::istream &In, const std::string &Source) : FIn(In), FSource(Source), FChunk(1 << 16) {
    Fill();
    FUnicode = FEnd >= 2 && FChunk[0] == '\xFF' && FChunk[1] == '\xFE';
    FPos = FUnicode ? 2 : 0;
  }

  bool Unicode() const { return FUnicode; }

  // The next line; false after the last, which is the text after the last
  // line end (empty when the file ends with one).
  bool Next(std::string &Line) {
    if (FDone)
      return false;
    Line.clear();
    for (;;) {
      const int32_t code = FUnicode ? CodePoint() : Byte();
      if (code < 0) {
        FDone = true;
        break;
      }
      if (code == '\n')
        break;
      if (FUnicode)
        AppendUtf8(Line, static_cast<char32_t>(code));
      else
        Line += static_cast<char>(code);
    }
    if (!Line.empty() && Line.back() == '\r')
      Line.pop_back();
    return true;
  }

private:
  // The next chunk of the file; false at its end.
  bool Fill() {
    FPos = FEnd = 0;
    if (!FIn)
      return false;
    FIn.read(FChunk.data(), static_cast<std::streamsize>(FChunk.size()));
    if (FIn.bad())
      throw ENKFExportError(std::string(Operation) + ": Cannot read " + FSource);
    FEnd = static_cast<size_t>(FIn.gcount());
    FTotal += FEnd;
    if (FTotal > TNKFRegFile::MaxBytes)
      RaiseTooLarge(FSource);
    return FEnd > 0;
  }

  int Byte() {
    if (FPos == FEnd && !Fill())
      return -1;
    return static_cast<unsigned char>(FChunk[FPos++]);
  }

  // A UTF-16LE unit; -1 at the end (a last odd byte is no unit).
  int32_t Unit() {
    const int low = Byte();
    const int high = low < 0 ? -1 : Byte();
    return high < 0 ? -1 : low | high << 8;
  }

  // A character, from a surrogate pair where there is one; a lone surrogate
  // becomes U+FFFD.
  int32_t CodePoint() {
    const int32_t unit = FPendingUnit >= 0 ? FPendingUnit : Unit();
    FPendingUnit = -1;
    if (unit < 0xD800 || unit > 0xDFFF)
      return unit;
    if (unit >= 0xDC00)
      return 0xFFFD;
    const int32_t next = Unit();
    if (next >= 0xDC00 && next <= 0xDFFF)
      return 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
    FPendingUnit = next;
    return 0xFFFD;
  }

  std::istream &FIn;
  std::string FSource;
  std::vector<char> FChunk;
  size_t FPos = 0, FEnd = 0;
  uint64_t FTotal = 0;
  bool FUnicode = false, FDone = false;
  int32_t FPendingUnit = -1;
};

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

// The installer's Trim: control characters and spaces off both ends (the
// same characters in Unicode as in any ANSI code page).
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
// Folder set when it is. A name is compared as the installer reads it back
// through its code page: an ANSI program's text is stored in Unicode by that
// code page, so the bytes it wrote are what it reads again.
std::string Missing(const TNKFRegFile &Records, bool Wow64, unsigned CodePage, std::string &Folder) {
  const std::string set = FullKey(ChartSetKey, Wow64), module = FullKey(ChartModuleKey, Wow64);
  const auto nameIs = [&](const std::string &Key, const char *Name) {
    const std::string *value = Records.Value(Key, NameValue);
    return value && NKFAnsiText(*value, CodePage) == Name;
  };
  // The set key may be unreadable while its module key is readable: the
  // installer lets the module's records decide then, and so does this.
  if (Records.HasKey(set) && !nameIs(set, ChartSetName))
    return "the Name of " + set + " is not \"" + ChartSetName + "\"";
  if (!Records.HasKey(module))
    return "there is no key " + module;
  if (!nameIs(module, ChartModuleName))
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

TNKFRegFile TNKFRegFile::Read(const std::string &FileName, unsigned CodePage) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in)
    throw ENKFExportError(std::string(Operation) + ": Cannot read " + FileName);
  // A large file is refused before any of it is read; the reader counts what
  // it reads as well, for a file that is no regular one.
  std::error_code error;
  if (fs::is_regular_file(FileName, error) && fs::file_size(FileName, error) > MaxBytes && !error)
    RaiseTooLarge(FileName);
  return Parse(in, FileName, CodePage);
}

TNKFRegFile TNKFRegFile::Parse(const std::string &Bytes, const std::string &Source, unsigned CodePage) {
  std::istringstream in(Bytes);
  return Parse(in, Source, CodePage);
}

TNKFRegFile TNKFRegFile::Parse(std::istream &In, const std::string &Source, unsigned CodePage) {
  TLineReader reader(In, Source);
  std::string line;
  reader.Next(line);
  if (line != (reader.Unicode() ? Version5Header : Version4Header))
    throw ENKFExportError(std::string(Operation) + ": " + Source + " is not a registry export");
  TCodePageConverter ansi(CodePage, false);
  TNKFRegFile file;
  std::map<std::string, std::string> *key = nullptr; // values outside a key are skipped
  for (uint64_t number = 2; reader.Next(line); ++number) {
    const auto bad = [&] {
      return ENKFExportError(std::string(Operation) + ": " + Source + " line " + std::to_string(number) +
                             " is neither a key nor a value");
    };
    if (line.empty() || line[0] == ';')
      continue;
    if (!reader.Unicode())
      line = ansi.Convert(line);
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

unsigned NKFWineCodePage(const std::string &Prefix) {
  const std::string file = (fs::path(Prefix) / "system.reg").string();
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw ENKFExportError("NKFWineCodePage: Cannot read " + file);
  const std::string header = std::string("[") + CodePageKey + "]";
  bool inKey = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] == '[') {
      // "[Key] stamp": the key's name ends at its closing bracket.
      inKey = Lower(line.substr(0, line.find(']') + 1)) == header;
      continue;
    }
    if (inKey && Lower(line.substr(0, std::string(CodePageValue).size())) == CodePageValue) {
      const std::string digits = line.substr(std::string(CodePageValue).size());
      char *end = nullptr;
      const unsigned long codePage = std::strtoul(digits.c_str(), &end, 10);
      if (end != digits.c_str() && *end == '"' && codePage > 0 && codePage < 65536)
        return static_cast<unsigned>(codePage);
      break;
    }
  }
  throw ENKFExportError("NKFWineCodePage: " + file +
                        " holds no ANSI code page (the value ACP of System\\CurrentControlSet\\Control\\Nls\\CodePage)");
}

std::string NKFAnsiText(const std::string &Text, unsigned CodePage) {
  return TCodePageConverter(CodePage, true).Convert(Text);
}

std::string NKFUnicodeText(const std::string &Bytes, unsigned CodePage) {
  return TCodePageConverter(CodePage, false).Convert(Bytes);
}

std::string NKFInstalledSetFolder(const TNKFRegFile &Records, const std::string &Source, unsigned CodePage) {
  const auto hasRecords = [&](bool Wow64) {
    return Records.HasKey(FullKey(ChartSetKey, Wow64)) || Records.HasKey(FullKey(ChartModuleKey, Wow64));
  };
  std::string folder;
  const std::string direct = Missing(Records, false, CodePage, folder);
  if (direct.empty())
    return folder;
  const std::string wow64 = Missing(Records, true, CodePage, folder);
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
  std::string path = link + WindowsPath.substr(2);
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(link.size()), path.end(), '\\', '/');
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
