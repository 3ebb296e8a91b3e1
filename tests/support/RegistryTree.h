// Test helpers over the raw Win32 registry API (never through the product's
// registry object): read a key tree into a text dump, and a guard that puts a
// key tree back the way a test found it. Windows only; header-only so that
// only the tests that use it link advapi32 calls.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

struct TRegTreeValue {
  DWORD Type = REG_NONE;
  std::string Data; // raw bytes as stored, terminator included
};

struct TRegTree {
  std::map<std::string, TRegTreeValue> Values;
  std::map<std::string, TRegTree> SubKeys;
};

// Reads Root\Path with everything under it; nothing when the key is absent.
// View: 0 for the program's own view of the registry, KEY_WOW64_64KEY or
// KEY_WOW64_32KEY for the 64-bit or 32-bit one.
inline std::optional<TRegTree> ReadRegTree(HKEY Root, const std::string &Path, REGSAM View = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(Root, Path.c_str(), 0, KEY_READ | View, &key) != ERROR_SUCCESS)
    return std::nullopt;
  TRegTree tree;
  for (DWORD index = 0;; ++index) {
    char name[16384];
    DWORD nameLength = sizeof name;
    DWORD type = 0;
    DWORD size = 0;
    if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      break;
    std::string data(size, '\0');
    nameLength = sizeof name;
    RegEnumValueA(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &size);
    data.resize(size);
    tree.Values[std::string(name, nameLength)] = {type, data};
  }
  std::vector<std::string> subKeys;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameLength = sizeof name;
    if (RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    subKeys.emplace_back(name, nameLength);
  }
  RegCloseKey(key);
  for (const std::string &name : subKeys)
    tree.SubKeys[name] = ReadRegTree(Root, Path + "\\" + name, View).value_or(TRegTree{});
  return tree;
}

// One line per key and per value, keys relative to the dumped key, bytes
// outside printable ASCII as \xHH, for example:
//   Modules\B: "Name" REG_SZ "B: Welmeland/Welml\xE2n\x00"
inline void DumpRegTree(const TRegTree &Tree, const std::string &Prefix, std::string &Out) {
  static const char hex[] = "0123456789ABCDEF";
  for (const auto &[name, value] : Tree.Values) {
    Out += Prefix + ": \"" + name + "\" " + (value.Type == REG_SZ ? "REG_SZ" : "type " + std::to_string(value.Type));
    Out += " \"";
    for (unsigned char c : value.Data) {
      if (c >= 0x20 && c < 0x7F) {
        Out += static_cast<char>(c);
      } else {
        Out += "\\x";
        Out += hex[c >> 4];
        Out += hex[c & 15];
      }
    }
    Out += "\"\n";
  }
  for (const auto &[name, sub] : Tree.SubKeys) {
    const std::string path = Prefix.empty() ? name : Prefix + "\\" + name;
    Out += path + "\n";
    DumpRegTree(sub, path, Out);
  }
}

// The dump of Root\Path, or "(absent)" when the key does not exist.
inline std::string DumpRegKey(HKEY Root, const std::string &Path, REGSAM View = 0) {
  const std::optional<TRegTree> tree = ReadRegTree(Root, Path, View);
  if (!tree)
    return "(absent)";
  std::string out;
  DumpRegTree(*tree, "", out);
  return out;
}

inline bool RegKeyPresent(HKEY Root, const std::string &Path, REGSAM View = 0) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(Root, Path.c_str(), 0, KEY_QUERY_VALUE | View, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

inline void WriteRegTree(HKEY Root, const std::string &Path, const TRegTree &Tree) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(Root, Path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  for (const auto &[name, value] : Tree.Values)
    RegSetValueExA(key, name.c_str(), 0, value.Type, reinterpret_cast<const BYTE *>(value.Data.data()),
                   static_cast<DWORD>(value.Data.size()));
  RegCloseKey(key);
  for (const auto &[name, sub] : Tree.SubKeys)
    WriteRegTree(Root, Path + "\\" + name, sub);
}

// Saves Root\Path (or its absence) and restores exactly that when destroyed.
class TRegistryGuard {
public:
  TRegistryGuard(HKEY Root, std::string Path) : FRoot(Root), FPath(std::move(Path)), FSaved(ReadRegTree(FRoot, FPath)) {}
  ~TRegistryGuard() {
    RegDeleteTreeA(FRoot, FPath.c_str());
    RegDeleteKeyA(FRoot, FPath.c_str());
    if (FSaved)
      WriteRegTree(FRoot, FPath, *FSaved);
  }
  TRegistryGuard(const TRegistryGuard &) = delete;
  TRegistryGuard &operator=(const TRegistryGuard &) = delete;

private:
  HKEY FRoot;
  std::string FPath;
  std::optional<TRegTree> FSaved;
};

// A key left behind that this user can neither list nor delete: its access
// list grants nothing but changing the access list (and whatever else Granted
// adds, such as KEY_READ for a key that can be read but not written), and it
// holds a subkey, so it cannot go without its subkeys being listed first. The
// destructor gives the key its default access back (the key itself stays,
// for a guard to clean up).
class TLockedRegKey {
public:
  TLockedRegKey(HKEY Root, std::string Path, DWORD Granted = 0) : FRoot(Root), FPath(std::move(Path)) {
    HKEY key = nullptr, child = nullptr;
    RegCreateKeyExA(FRoot, FPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegCreateKeyExA(key, "Leftover", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
    RegCloseKey(child);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &FEveryone);
    ACL *acl = reinterpret_cast<ACL *>(FAcl);
    InitializeAcl(acl, sizeof FAcl, ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, WRITE_DAC | Granted, FEveryone);
    FLocked = SetDacl(key, acl);
    RegCloseKey(key);
  }
  ~TLockedRegKey() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(FRoot, FPath.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
      SetDacl(key, nullptr);
      RegCloseKey(key);
    }
    FreeSid(FEveryone);
  }
  TLockedRegKey(const TLockedRegKey &) = delete;
  TLockedRegKey &operator=(const TLockedRegKey &) = delete;

  // False when the system refused to change the access list.
  bool Locked() const { return FLocked; }

private:
  static bool SetDacl(HKEY Key, ACL *Acl) {
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, Acl != nullptr, Acl, FALSE);
    return RegSetKeySecurity(Key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
  }

  HKEY FRoot;
  std::string FPath;
  PSID FEveryone = nullptr;
  bool FLocked = false;
  alignas(DWORD) unsigned char FAcl[256];
};
