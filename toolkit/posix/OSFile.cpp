#include "../OSFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

// Sharing modes have no POSIX counterpart; they are validated and otherwise
// ignored, which is what a single-process test run needs.
THandle FileCreate(const std::string &FileName) {
  return ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
}

THandle FileOpen(const std::string &FileName, uint16_t Mode) {
  const unsigned access = Mode & 3u;
  const unsigned share = (Mode >> 4) & 0xFu;
  if (access > 2 || share > 4)
    return -1;
  static const int flags[] = {O_RDONLY, O_WRONLY, O_RDWR};
  return ::open(FileName.c_str(), flags[access]);
}

void FileClose(THandle Handle) { ::close(static_cast<int>(Handle)); }

int64_t FileSeek(THandle Handle, int64_t Offset, int Origin) {
  static const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (Origin < 0 || Origin > 2)
    return -1;
  return ::lseek(static_cast<int>(Handle), static_cast<off_t>(Offset), whence[Origin]);
}

int32_t FileSeek32(THandle Handle, int32_t Offset, int Origin) {
  const int64_t result = FileSeek(Handle, Offset, Origin);
  return static_cast<int32_t>(result);
}

int32_t FileRead(THandle Handle, void *Buffer, int32_t Count) {
  if (Count < 0)
    return -1;
  return static_cast<int32_t>(::read(static_cast<int>(Handle), Buffer, static_cast<size_t>(Count)));
}

int32_t FileWrite(THandle Handle, const void *Buffer, int32_t Count) {
  if (Count < 0)
    return -1;
  return static_cast<int32_t>(::write(static_cast<int>(Handle), Buffer, static_cast<size_t>(Count)));
}

bool FileSetEnd(THandle Handle) {
  const off_t here = ::lseek(static_cast<int>(Handle), 0, SEEK_CUR);
  return here >= 0 && ::ftruncate(static_cast<int>(Handle), here) == 0;
}

bool FileFlush(THandle Handle) { return ::fsync(static_cast<int>(Handle)) == 0; }

std::string ExpandFileName(const std::string &FileName) {
  std::error_code ec;
  const auto full = std::filesystem::absolute(FileName, ec);
  return ec ? FileName : full.lexically_normal().string();
}

bool FileExists(const std::string &FileName) {
  struct stat st {};
  return ::stat(FileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string &DirName) {
  struct stat st {};
  return ::stat(DirName.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileDelete(const std::string &FileName) { return ::unlink(FileName.c_str()) == 0; }
