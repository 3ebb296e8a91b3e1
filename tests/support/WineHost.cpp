#include "WineHost.h"

#include <windows.h>

#include <vector>

std::string UnixFileName(const std::string &WindowsPath) {
  using TGetUnixFileName = char *(CDECL *)(const wchar_t *);
  const auto get = reinterpret_cast<TGetUnixFileName>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!get)
    return std::string();
  const int n = MultiByteToWideChar(CP_ACP, 0, WindowsPath.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> wide(static_cast<size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, WindowsPath.c_str(), -1, wide.data(), n);
  char *unix = get(wide.data());
  if (!unix)
    return std::string();
  std::string result = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

namespace {

// Runs a Unix program with its arguments (Windows paths already turned into
// Unix ones) and waits for it; false when it cannot start or fails.
bool RunUnix(const std::string &Program, const std::vector<std::string> &Arguments) {
  std::string command = "start.exe /wait /unix " + Program;
  for (const std::string &argument : Arguments)
    command += " \"" + argument + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process))
    return false;
  WaitForSingleObject(process.hProcess, 30000);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code == 0;
}

} // namespace

bool SetUnixMode(const std::string &WindowsPath, const std::string &Mode) {
  const std::string unix = UnixFileName(WindowsPath);
  return !unix.empty() && RunUnix("/bin/chmod", {Mode, unix});
}

bool MakeUnixLink(const std::string &Target, const std::string &LinkWindowsPath) {
  const std::string unix = UnixFileName(LinkWindowsPath);
  if (unix.empty() || !RunUnix("/bin/ln", {"-s", Target, unix}))
    return false;
  // As with chmod, the Unix program may finish after start /wait returned.
  for (int i = 0; i < 500; ++i) {
    if (GetFileAttributesA(LinkWindowsPath.c_str()) != INVALID_FILE_ATTRIBUTES)
      return true;
    Sleep(20);
  }
  return false;
}

bool RemoveUnixFile(const std::string &WindowsPath) {
  const std::string unix = UnixFileName(WindowsPath);
  if (unix.empty() || !RunUnix("/bin/rm", {"-f", unix}))
    return false;
  for (int i = 0; i < 500; ++i) {
    if (GetFileAttributesA(WindowsPath.c_str()) == INVALID_FILE_ATTRIBUTES)
      return true;
    Sleep(20);
  }
  return false;
}

bool MakeFolderReadOnly(const std::string &WindowsPath) {
  if (!SetUnixMode(WindowsPath, "555"))
    return false;
  for (int i = 0; i < 500; ++i) {
    const DWORD attributes = GetFileAttributesA(WindowsPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
      return true;
    Sleep(20);
  }
  return false;
}
