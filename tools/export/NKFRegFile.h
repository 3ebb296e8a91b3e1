// The installed chart set found in a registry export (what regedit or
// `wine reg export` writes), so that the native export finds the set a Wine
// prefix has installed without running Windows code.
//
// Both formats regedit writes are read: "Windows Registry Editor Version 5.00"
// (UTF-16LE with a byte order mark) and "REGEDIT4" (the ANSI code page of the
// Windows that wrote it). String values are kept as the registry holds them,
// in Unicode (here UTF-8); other value types and deleted keys are skipped.
// Key and value names compare without regard to ASCII case, as the
// registry's do. The export is read as a stream, a line at a time.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <string>

class TNKFRegFile {
public:
  // The set's records take a few kilobytes; an export of a prefix's whole
  // HKEY_LOCAL_MACHINE\Software about 3.5 MB. Anything larger is refused
  // before it can take memory.
  static constexpr uint64_t MaxBytes = 8u << 20;

  // Raises ENKFExportError naming the file when it cannot be read, is larger
  // than MaxBytes, is not a registry export or has a line that is neither a
  // key nor a value. CodePage decodes a REGEDIT4 export.
  static TNKFRegFile Read(const std::string &FileName, unsigned CodePage = 1252);
  // The same for a stream or a file's bytes; Source names it in errors.
  static TNKFRegFile Parse(std::istream &In, const std::string &Source, unsigned CodePage = 1252);
  static TNKFRegFile Parse(const std::string &Bytes, const std::string &Source, unsigned CodePage = 1252);

  // Keys are full names, like "HKEY_LOCAL_MACHINE\Software\...".
  bool HasKey(const std::string &Key) const;
  // The string value Name of Key (empty for the default value) in UTF-8;
  // null when the key or the value is missing or the value is not a string.
  const std::string *Value(const std::string &Key, const std::string &Name) const;

private:
  std::map<std::string, std::map<std::string, std::string>> FKeys; // lower-cased names
};

// The ANSI code page of a Wine prefix, which its ANSI programs (the installer
// and the viewer) convert their texts with: the value ACP of
// System\CurrentControlSet\Control\Nls\CodePage in Prefix/system.reg. Raises
// ENKFExportError naming the file when it cannot be read or has no such value.
unsigned NKFWineCodePage(const std::string &Prefix);

// Text (UTF-8) as an ANSI program of code page CodePage reads it: a character
// the code page lacks becomes '?'. And back: Bytes of that code page in UTF-8.
// Raises ENKFExportError for a code page the system's iconv does not know.
std::string NKFAnsiText(const std::string &Text, unsigned CodePage);
std::string NKFUnicodeText(const std::string &Bytes, unsigned CodePage);

// The chart folder the installer recorded (a Windows path with its trailing
// backslash, in UTF-8 as the registry holds it), by the installer's own rules
// for an installed set, looked up under HKEY_LOCAL_MACHINE\Software and, as a
// 64-bit Windows shows the 32-bit installer's records, under its Wow6432Node.
// Names are compared as the installer reads them: through CodePage, the ANSI
// code page of the Windows that holds the records. Raises ENKFExportError
// naming the set, Source and what is missing when the set is not installed.
std::string NKFInstalledSetFolder(const TNKFRegFile &Records, const std::string &Source, unsigned CodePage = 1252);

// The local path of a Windows path (UTF-8) like "D:\Charts\" inside the Wine
// prefix Prefix, through its drive links (Prefix/dosdevices/d:); Wine keeps
// file names in UTF-8. Without a trailing slash. Raises ENKFExportError for a
// path without a drive letter or a drive the prefix does not have.
std::string NKFWinePath(const std::string &WindowsPath, const std::string &Prefix);

// $WINEPREFIX, or ~/.wine as Wine itself defaults.
std::string NKFWinePrefix();
