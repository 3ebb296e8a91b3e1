// Whether the current user may be treated as an administrator: the shell's own
// answer where the system has one, otherwise a write test in the machine-wide
// registry. Windows only. Nothing here raises or shows a message; every
// failure reads as "not an administrator".
#pragma once

#include <cstdint>
#include <functional>

// The shell's IsUserAnAdmin: no arguments, a Windows BOOL (int) result.
using TIsUserAnAdmin = int(__stdcall *)();

// The platform answers the decision rests on. The system's answers are the
// default; tests put their own in place of any of them.
struct TAdminRightsPlatform {
  uint32_t PlatformId = 0;   // 2: the NT family
  uint32_t MajorVersion = 0; // 5: Windows 2000, the first with IsUserAnAdmin
  // The IsUserAnAdmin export of the shell library, or nullptr when missing.
  std::function<TIsUserAnAdmin()> FindIsUserAnAdmin;
  std::function<bool()> RegistryProbe;
};

// The running system: its version as reported at start-up, shell32.dll
// (loaded once, on first use, and kept until the program ends) and
// RegistryAdminProbe.
TAdminRightsPlatform SystemAdminRightsPlatform();

bool HasAdminRights();
bool HasAdminRights(const TAdminRightsPlatform &Platform);

// True when the probe key "Software\Velmora\AdminTest" can be created under
// HKEY_LOCAL_MACHINE (it is removed again at once), or, when a probe key was
// left over by an earlier run, when that key can be deleted.
bool RegistryAdminProbe();
