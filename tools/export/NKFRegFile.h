// The installed chart set found in a registry export (what regedit or
// `wine reg export` writes), so that the native export finds the set a Wine
// prefix has installed without running Windows code.
//
// Both formats regedit writes are read: "Windows Registry Editor Version 5.00"
// (UTF-16LE with a byte order mark) and "REGEDIT4" (Windows-1252). Only string
// values are kept, as Windows-1252 bytes like the installer writes them; other
// value types and deleted keys are skipped. Key and value names compare
// without regard to ASCII case, as the registry's do.
#pragma once

#include <map>
#include <string>

class TNKFRegFile {
public:
  // Raises ENKFExportError naming the file when it cannot be read, is not a
  // registry export or has a line that is neither a key nor a value.
  static TNKFRegFile Read(const std::string &FileName);
  // The same for a file's bytes; Source names it in errors.
  static TNKFRegFile Parse(const std::string &Bytes, const std::string &Source);

  // Keys are full names, like "HKEY_LOCAL_MACHINE\Software\...".
  bool HasKey(const std::string &Key) const;
  // The string value Name of Key (empty for the default value); null when
  // the key or the value is missing or the value is not a string.
  const std::string *Value(const std::string &Key, const std::string &Name) const;

private:
  std::map<std::string, std::map<std::string, std::string>> FKeys; // lower-cased names
};

// The chart folder the installer recorded (a Windows path with its trailing
// backslash), by the installer's own rules for an installed set, looked up
// under HKEY_LOCAL_MACHINE\Software and, as a 64-bit Windows shows the 32-bit
// installer's records, under its Wow6432Node. Raises ENKFExportError naming
// the set, Source and what is missing when the set is not installed.
std::string NKFInstalledSetFolder(const TNKFRegFile &Records, const std::string &Source);

// The local path of a Windows path like "D:\Charts\" inside the Wine prefix
// Prefix, through its drive links (Prefix/dosdevices/d:), with the Windows-1252
// name in UTF-8 as Wine keeps names, without a trailing slash. Raises
// ENKFExportError for a path without a drive letter or a drive the prefix
// does not have.
std::string NKFWinePath(const std::string &WindowsPath, const std::string &Prefix);

// $WINEPREFIX, or ~/.wine as Wine itself defaults.
std::string NKFWinePrefix();
