// The registry object: one current key under a root key, opened read-only or
// with creation, string values, and key deletion with all subkeys. Windows
// only. Key names and values go through the ANSI calls, so they are bytes in
// the system code page ("Welml\xE2n" is stored with the character 0xE2).
//
// Key paths follow the framework's rule: a path that starts with a backslash
// is taken from the root key; any other path is taken from the current key
// when one is open, else from the root key.
//
// A 32-bit program on 64-bit Windows sees HKEY_LOCAL_MACHINE\Software through
// the Wow6432Node redirection; no flag here overrides that, so the records land
// where 32-bit readers of the same keys look for them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "SysUtils.h"

VM_DECLARE_EXCEPTION(ERegistryException, Exception);

// Owns one open registry key handle (never a predefined root key).
class TRegKey {
public:
  TRegKey() = default;
  explicit TRegKey(HKEY Key) : FKey(Key) {}
  TRegKey(TRegKey &&Other) noexcept : FKey(Other.Release()) {}
  TRegKey &operator=(TRegKey &&Other) noexcept;
  TRegKey(const TRegKey &) = delete;
  TRegKey &operator=(const TRegKey &) = delete;
  ~TRegKey() { Reset(); }

  HKEY Get() const { return FKey; }
  explicit operator bool() const { return FKey != nullptr; }
  HKEY Release();
  void Reset(HKEY Key = nullptr);

private:
  HKEY FKey = nullptr;
};

class TRegistry {
public:
  // Root HKEY_CURRENT_USER, access KEY_ALL_ACCESS, as the framework starts.
  TRegistry();
  explicit TRegistry(REGSAM Access);
  TRegistry(const TRegistry &) = delete;
  TRegistry &operator=(const TRegistry &) = delete;
  ~TRegistry() = default;

  HKEY RootKey() const { return FRootKey; }
  // Changing the root closes the current key.
  void SetRootKey(HKEY Value);
  HKEY CurrentKey() const { return FCurrentKey.Get(); }
  REGSAM Access() const { return FAccess; }

  // Opens Key with the object's access; with CanCreate the key and its
  // missing parents are created. On success the key becomes the current key.
  bool OpenKey(const std::string &Key, bool CanCreate);
  // Opens an existing key for reading, asking first for full read access,
  // then for narrower read rights; never creates.
  bool OpenKeyReadOnly(const std::string &Key);
  void CloseKey();

  // True when the key exists, even if it cannot be opened for reading.
  bool KeyExists(const std::string &Key);
  // Deletes Key with all its subkeys, the deepest first. True when Key itself
  // was deleted.
  bool DeleteKey(const std::string &Key);

  // Names of the current key's subkeys and values, in the system's order.
  std::vector<std::string> GetKeyNames();
  std::vector<std::string> GetValueNames();

  bool ValueExists(const std::string &Name);
  // True when the value was deleted.
  bool DeleteValue(const std::string &Name);
  // The text of a string value of the current key; empty when the value does
  // not exist. A value of another type raises ERegistryException.
  std::string ReadString(const std::string &Name);
  // Writes a REG_SZ value; raises ERegistryException
  // "Failed to set data for '<Name>'" when the system refuses.
  void WriteString(const std::string &Name, const std::string &Value);

private:
  // The key a path starts from, and the path without its leading backslash.
  HKEY BaseKey(const std::string &Key, std::string &Path) const;

  HKEY FRootKey;
  TRegKey FCurrentKey;
  REGSAM FAccess;
};
