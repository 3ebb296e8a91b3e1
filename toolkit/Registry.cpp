#include "Registry.h"

#include <vector>

namespace {

// The read rights OpenKeyReadOnly asks for, widest first: a user who may not
// enumerate or be notified may still be allowed to query values.
const REGSAM ReadOnlyAccess[] = {
    KEY_READ,
    STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
    KEY_QUERY_VALUE,
};

// Longest key name the registry allows, plus the terminator.
constexpr DWORD MaxKeyNameLength = 256;

// Longest value name the registry allows, plus the terminator.
constexpr DWORD MaxValueNameLength = 16384;

std::vector<std::string> SubKeyNames(HKEY Key) {
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[MaxKeyNameLength];
    DWORD length = MaxKeyNameLength;
    const LONG status = RegEnumKeyExA(Key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
      break;
    names.emplace_back(name, length);
  }
  return names;
}

// Deletes Parent\Path with everything under it, depth first. Subkey names are
// collected before any of them is deleted, so the enumeration indices stay
// valid. A subkey that cannot be deleted leaves its parents in place too.
bool DeleteTree(HKEY Parent, const std::string &Path) {
  HKEY raw = nullptr;
  if (RegOpenKeyExA(Parent, Path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &raw) == ERROR_SUCCESS) {
    const TRegKey key(raw);
    for (const std::string &name : SubKeyNames(key.Get()))
      DeleteTree(key.Get(), name);
  }
  return RegDeleteKeyA(Parent, Path.c_str()) == ERROR_SUCCESS;
}

} // namespace

TRegKey &TRegKey::operator=(TRegKey &&Other) noexcept {
  if (this != &Other)
    Reset(Other.Release());
  return *this;
}

HKEY TRegKey::Release() {
  HKEY key = FKey;
  FKey = nullptr;
  return key;
}

void TRegKey::Reset(HKEY Key) {
  if (FKey != nullptr)
    RegCloseKey(FKey);
  FKey = Key;
}

TRegistry::TRegistry() : TRegistry(KEY_ALL_ACCESS) {}

TRegistry::TRegistry(REGSAM Access) : FRootKey(HKEY_CURRENT_USER), FAccess(Access) {}

void TRegistry::SetRootKey(HKEY Value) {
  if (Value == FRootKey)
    return;
  CloseKey();
  FRootKey = Value;
}

HKEY TRegistry::BaseKey(const std::string &Key, std::string &Path) const {
  const bool absolute = !Key.empty() && Key[0] == '\\';
  Path = absolute ? Key.substr(1) : Key;
  return !absolute && FCurrentKey ? FCurrentKey.Get() : FRootKey;
}

bool TRegistry::OpenKey(const std::string &Key, bool CanCreate) {
  std::string path;
  const HKEY base = BaseKey(Key, path);
  HKEY raw = nullptr;
  LONG status;
  if (CanCreate)
    status = RegCreateKeyExA(base, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, FAccess, nullptr, &raw, nullptr);
  else
    status = RegOpenKeyExA(base, path.c_str(), 0, FAccess, &raw);
  if (status != ERROR_SUCCESS)
    return false;
  FCurrentKey.Reset(raw);
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string &Key) {
  std::string path;
  const HKEY base = BaseKey(Key, path);
  for (REGSAM access : ReadOnlyAccess) {
    HKEY raw = nullptr;
    if (RegOpenKeyExA(base, path.c_str(), 0, access, &raw) == ERROR_SUCCESS) {
      FCurrentKey.Reset(raw);
      FAccess = access;
      return true;
    }
  }
  return false;
}

void TRegistry::CloseKey() { FCurrentKey.Reset(); }

bool TRegistry::KeyExists(const std::string &Key) {
  std::string path;
  const HKEY base = BaseKey(Key, path);
  for (REGSAM access : ReadOnlyAccess) {
    HKEY raw = nullptr;
    const LONG status = RegOpenKeyExA(base, path.c_str(), 0, access, &raw);
    if (status == ERROR_SUCCESS) {
      RegCloseKey(raw);
      return true;
    }
    if (status != ERROR_ACCESS_DENIED)
      return false;
  }
  // Refused every kind of access: the key is there all the same.
  return true;
}

bool TRegistry::DeleteKey(const std::string &Key) {
  std::string path;
  const HKEY base = BaseKey(Key, path);
  // An empty path would name the base key itself; that is never meant.
  if (path.empty())
    return false;
  return DeleteTree(base, path);
}

std::vector<std::string> TRegistry::GetKeyNames() { return SubKeyNames(FCurrentKey.Get()); }

std::vector<std::string> TRegistry::GetValueNames() {
  std::vector<std::string> names;
  std::vector<char> name(MaxValueNameLength);
  for (DWORD index = 0;; ++index) {
    DWORD length = MaxValueNameLength;
    if (RegEnumValueA(FCurrentKey.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.emplace_back(name.data(), length);
  }
  return names;
}

bool TRegistry::DeleteValue(const std::string &Name) {
  return RegDeleteValueA(FCurrentKey.Get(), Name.c_str()) == ERROR_SUCCESS;
}

bool TRegistry::ValueExists(const std::string &Name) {
  return RegQueryValueExA(FCurrentKey.Get(), Name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::string TRegistry::ReadString(const std::string &Name) {
  std::vector<char> data(64);
  for (;;) {
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(data.size());
    const LONG status = RegQueryValueExA(FCurrentKey.Get(), Name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE *>(data.data()), &size);
    if (status == ERROR_MORE_DATA) {
      // The value may grow between two queries; ask again with its new size.
      data.resize(size + 1);
      continue;
    }
    if (status != ERROR_SUCCESS)
      return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
      throw ERegistryException(Format("Invalid data type for '%s'", Name.c_str()));
    // Stored strings need not carry their terminator; stop at the first one.
    std::string text(data.data(), size);
    const size_t end = text.find('\0');
    if (end != std::string::npos)
      text.resize(end);
    return text;
  }
}

void TRegistry::WriteString(const std::string &Name, const std::string &Value) {
  const LONG status = RegSetValueExA(FCurrentKey.Get(), Name.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE *>(Value.c_str()),
                                     static_cast<DWORD>(Value.size() + 1));
  if (status != ERROR_SUCCESS)
    throw ERegistryException(Format("Failed to set data for '%s'", Name.c_str()));
}
