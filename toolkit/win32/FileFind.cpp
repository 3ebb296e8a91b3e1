#include "../FileFind.h"

#include <windows.h>

#include <algorithm>

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

bool IsAscii(const std::string &S) {
  return std::all_of(S.begin(), S.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::wstring Widened(const std::string &S) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, S.data(), static_cast<int>(S.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  if (n > 0)
    ::MultiByteToWideChar(CP_ACP, 0, S.data(), static_cast<int>(S.size()), w.data(), n);
  return w;
}

} // namespace

TFileSearch::TFileSearch() = default;
TFileSearch::~TFileSearch() = default;

bool TFileSearch::FindFirst(const std::string &Path, int32_t Attr, TSearchRec &Rec, TListingDetail) {
  FindClose();
  FAttr = Attr;
  WIN32_FIND_DATAA data;
  auto impl = std::make_unique<TImpl>();
  // The basic information (no short name) in large batches: a walk over a
  // whole disk lists every folder, and each extra round trip to the file
  // system shows there.
  impl->Handle = ::FindFirstFileExA(Path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
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

bool SameFileName(const std::string &A, const std::string &B) {
  // Plain ASCII, by far the common case, needs no conversion. Any other byte
  // may be part of a double-byte character whose second byte looks like an
  // ASCII letter, so the whole name goes through the system's case table.
  if (IsAscii(A) && IsAscii(B))
    return A.size() == B.size() &&
           std::equal(A.begin(), A.end(), B.begin(), [](char a, char b) { return FoldAscii(a) == FoldAscii(b); });
  const std::wstring a = Widened(A);
  const std::wstring b = Widened(B);
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

uint32_t GetLogicalDriveMask() { return ::GetLogicalDrives(); }

int32_t GetDriveTypeOf(const std::string &Root) { return static_cast<int32_t>(::GetDriveTypeA(Root.c_str())); }

std::string GetCurrentDir() {
  char buffer[MAX_PATH * 4];
  const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  return (n == 0 || n >= sizeof buffer) ? std::string() : std::string(buffer, n);
}

bool SetCurrentDir(const std::string &Dir) { return ::SetCurrentDirectoryA(Dir.c_str()) != 0; }
