#include "../OSFile.h"

#include <windows.h>

namespace {

HANDLE AsHandle(THandle h) { return reinterpret_cast<HANDLE>(h); }

THandle FromHandle(HANDLE h) {
  // INVALID_HANDLE_VALUE is -1, which the callers' "> 0" test refuses.
  return reinterpret_cast<THandle>(h);
}

} // namespace

THandle FileCreate(const std::string &FileName) {
  return FromHandle(CreateFileA(FileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

THandle FileOpen(const std::string &FileName, uint16_t Mode) {
  static const DWORD accessMode[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static const DWORD shareMode[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  const unsigned access = Mode & 3u;
  const unsigned share = (Mode >> 4) & 0xFu;
  if (access > 2 || share > 4)
    return -1;
  return FromHandle(CreateFileA(FileName.c_str(), accessMode[access], shareMode[share], nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

void FileClose(THandle Handle) { CloseHandle(AsHandle(Handle)); }

int64_t FileSeek(THandle Handle, int64_t Offset, int Origin) {
  LARGE_INTEGER distance, result;
  distance.QuadPart = Offset;
  if (!SetFilePointerEx(AsHandle(Handle), distance, &result, static_cast<DWORD>(Origin)))
    return -1;
  return result.QuadPart;
}

int32_t FileSeek32(THandle Handle, int32_t Offset, int Origin) {
  return static_cast<int32_t>(SetFilePointer(AsHandle(Handle), Offset, nullptr, static_cast<DWORD>(Origin)));
}

int32_t FileRead(THandle Handle, void *Buffer, int32_t Count) {
  DWORD done = 0;
  if (Count < 0 || !ReadFile(AsHandle(Handle), Buffer, static_cast<DWORD>(Count), &done, nullptr))
    return -1;
  return static_cast<int32_t>(done);
}

int32_t FileWrite(THandle Handle, const void *Buffer, int32_t Count) {
  DWORD done = 0;
  if (Count < 0 || !WriteFile(AsHandle(Handle), Buffer, static_cast<DWORD>(Count), &done, nullptr))
    return -1;
  return static_cast<int32_t>(done);
}

bool FileSetEnd(THandle Handle) { return SetEndOfFile(AsHandle(Handle)) != 0; }

bool FileFlush(THandle Handle) { return FlushFileBuffers(AsHandle(Handle)) != 0; }

std::string ExpandFileName(const std::string &FileName) {
  char buffer[MAX_PATH * 4];
  char *filePart = nullptr;
  const DWORD n = GetFullPathNameA(FileName.c_str(), sizeof buffer, buffer, &filePart);
  if (n == 0 || n >= sizeof buffer)
    return FileName;
  return std::string(buffer, n);
}

bool FileExists(const std::string &FileName) {
  const DWORD attributes = GetFileAttributesA(FileName.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string &DirName) {
  const DWORD attributes = GetFileAttributesA(DirName.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileDelete(const std::string &FileName) { return DeleteFileA(FileName.c_str()) != 0; }
