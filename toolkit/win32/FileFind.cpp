#include "../FileFind.h"

#include <windows.h>

struct TFileSearch::TImpl {
  HANDLE Handle = INVALID_HANDLE_VALUE;
  ~TImpl() {
    if (Handle != INVALID_HANDLE_VALUE)
      ::FindClose(Handle);
  }
};

namespace {

void ToSearchRec(const WIN32_FIND_DATAA &data, TSearchRec &Rec) {
  Rec.Name = data.cFileName;
  Rec.Attr = static_cast<int32_t>(data.dwFileAttributes);
  Rec.Size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  Rec.Time = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                  data.ftLastWriteTime.dwLowDateTime);
}

} // namespace

TFileSearch::TFileSearch() = default;
TFileSearch::~TFileSearch() = default;

bool TFileSearch::FindFirst(const std::string &Path, int32_t Attr, TSearchRec &Rec) {
  FindClose();
  FAttr = Attr;
  WIN32_FIND_DATAA data;
  auto impl = std::make_unique<TImpl>();
  impl->Handle = ::FindFirstFileA(Path.c_str(), &data);
  if (impl->Handle == INVALID_HANDLE_VALUE)
    return false;
  FImpl = std::move(impl);
  ToSearchRec(data, Rec);
  return AttributesMatch(Rec.Attr, FAttr) || FindNext(Rec);
}

bool TFileSearch::FindNext(TSearchRec &Rec) {
  if (!FImpl)
    return false;
  WIN32_FIND_DATAA data;
  while (::FindNextFileA(FImpl->Handle, &data)) {
    ToSearchRec(data, Rec);
    if (AttributesMatch(Rec.Attr, FAttr))
      return true;
  }
  return false;
}

void TFileSearch::FindClose() { FImpl.reset(); }

uint32_t GetLogicalDriveMask() { return ::GetLogicalDrives(); }

int32_t GetDriveTypeOf(const std::string &Root) { return static_cast<int32_t>(::GetDriveTypeA(Root.c_str())); }

std::string GetCurrentDir() {
  char buffer[MAX_PATH * 4];
  const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  return (n == 0 || n >= sizeof buffer) ? std::string() : std::string(buffer, n);
}

bool SetCurrentDir(const std::string &Dir) { return ::SetCurrentDirectoryA(Dir.c_str()) != 0; }
