#include "VmAdminRights.h"

#include <windows.h>

#include "Registry.h"

namespace {

// The transient key of the registry probe, relative and absolute (the
// absolute form is what the delete is given, so it never depends on which
// key happens to be current).
const char *const ProbeKey = "Software\\Velmora\\AdminTest";
const char *const ProbeKeyAbsolute = "\\Software\\Velmora\\AdminTest";

constexpr uint32_t PlatformWin32NT = VER_PLATFORM_WIN32_NT; // 2
// IsUserAnAdmin is exported by the shell from Windows 2000 (version 5) on.
constexpr uint32_t FirstMajorVersionWithIsUserAnAdmin = 5;

// A library loaded for the whole run of the program.
class TLoadedModule {
public:
  explicit TLoadedModule(const char *Name) : FModule(LoadLibraryA(Name)) {}
  ~TLoadedModule() {
    if (FModule != nullptr)
      FreeLibrary(FModule);
  }
  TLoadedModule(const TLoadedModule &) = delete;
  TLoadedModule &operator=(const TLoadedModule &) = delete;
  HMODULE Get() const { return FModule; }

private:
  HMODULE FModule;
};

TIsUserAnAdmin FindShellIsUserAnAdmin() {
  // Loaded at most once, on the first question, and released at exit.
  static const TLoadedModule shell32("shell32.dll");
  if (shell32.Get() == nullptr)
    return nullptr;
  const FARPROC proc = GetProcAddress(shell32.Get(), "IsUserAnAdmin");
  // Through a plain function pointer type: a direct cast between unrelated
  // function types draws a warning.
  return reinterpret_cast<TIsUserAnAdmin>(reinterpret_cast<void (*)()>(proc));
}

// The version the system reported when first asked; it does not change while
// the program runs.
const OSVERSIONINFOA &StartupVersion() {
  static const OSVERSIONINFOA version = [] {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info))
      info = OSVERSIONINFOA{};
    return info;
  }();
  return version;
}

} // namespace

TAdminRightsPlatform SystemAdminRightsPlatform() {
  TAdminRightsPlatform platform;
  platform.PlatformId = StartupVersion().dwPlatformId;
  platform.MajorVersion = StartupVersion().dwMajorVersion;
  platform.FindIsUserAnAdmin = FindShellIsUserAnAdmin;
  platform.RegistryProbe = RegistryAdminProbe;
  return platform;
}

bool HasAdminRights() { return HasAdminRights(SystemAdminRightsPlatform()); }

bool HasAdminRights(const TAdminRightsPlatform &Platform) {
  const auto probe = [&Platform] { return Platform.RegistryProbe ? Platform.RegistryProbe() : RegistryAdminProbe(); };
  if (Platform.PlatformId != PlatformWin32NT || Platform.MajorVersion < FirstMajorVersionWithIsUserAnAdmin)
    return probe();
  const TIsUserAnAdmin isUserAnAdmin =
      Platform.FindIsUserAnAdmin ? Platform.FindIsUserAnAdmin() : FindShellIsUserAnAdmin();
  if (isUserAnAdmin == nullptr)
    return probe();
  return isUserAnAdmin() != 0;
}

bool RegistryAdminProbe() {
  bool result = false;
  try {
    TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (registry.KeyExists(ProbeKey)) {
      // Left over from an earlier run: being allowed to delete it is the test.
      result = registry.DeleteKey(ProbeKeyAbsolute);
    } else {
      result = registry.OpenKey(ProbeKey, true);
      registry.CloseKey();
      // Whatever the create did, leave no probe key behind; a failing delete
      // after a successful create still means the rights were there.
      registry.DeleteKey(ProbeKeyAbsolute);
    }
  } catch (...) {
    // Nothing leaves the probe: an error reads as the result reached so far.
  }
  return result;
}
