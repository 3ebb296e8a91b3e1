#include "VmFileIO.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "FileFind.h"

namespace {

constexpr int32_t WindowGranule = 1024;
constexpr int32_t MaxWindowSize = 32768;

constexpr int OriginBeginning = 0;
constexpr int OriginEnd = 2;

int32_t WindowSizeFor(int32_t Requested) {
  // Rounded in 64 bits so that a request near the 32-bit limit cannot wrap;
  // a request of zero or less still gets one granule, as a zero-sized window
  // could never make progress.
  const int64_t rounded =
      (static_cast<int64_t>(std::max(Requested, 1)) + WindowGranule - 1) / WindowGranule * WindowGranule;
  return static_cast<int32_t>(std::min<int64_t>(rounded, MaxWindowSize));
}

} // namespace

const TFileOps &PlatformFileOps() {
  static const TFileOps ops = {FileCreate, FileOpen, FileClose, FileSeek, FileRead, FileWrite, FileSetEnd, FileFlush};
  return ops;
}

// ---------------------------------------------------------------------------
// TBufferedFileStream

TBufferedFileStream::TBufferedFileStream(const std::string &FileName, uint16_t Mode, int32_t BufferSize)
    : TBufferedFileStream(FileName, Mode, BufferSize, PlatformFileOps()) {}

TBufferedFileStream::TBufferedFileStream(const std::string &FileName, uint16_t Mode, int32_t BufferSize,
                                         const TFileOps &Ops)
    : FWritable(Mode == fmCreate || (Mode & 3u) != fmOpenRead), FOps(Ops) {
  if (Mode == fmCreate) {
    FHandle = FOps.Create(FileName);
    if (!(FHandle > 0))
      throw EStreamError("Cannot create file " + FileName);
  } else {
    FHandle = FOps.Open(FileName, Mode);
    if (!(FHandle > 0))
      throw EStreamError("Cannot open file " + FileName);
  }
  try {
    FFileName = ExpandFileName(FileName);
    FBufferSize = WindowSizeFor(BufferSize);
    FBuffer = std::make_unique<uint8_t[]>(static_cast<size_t>(FBufferSize));
    // The 64-bit seek, so that files of 2 GiB and more get their true size.
    FFileSize = FOps.Seek(FHandle, 0, OriginEnd);
    if (FFileSize == -1)
      throw EStreamError("Seek EOF failed in " + FFileName);
  } catch (...) {
    CloseHandle();
    throw;
  }
}

TBufferedFileStream::~TBufferedFileStream() {
  if (FBuffer) {
    try {
      Flush();
    } catch (const std::exception &) {
      // Nowhere to report it from a destructor; callers that care call Flush.
    }
  }
  CloseHandle();
}

void TBufferedFileStream::CloseHandle() noexcept {
  if (FHandle > 0)
    FOps.Close(FHandle);
  FHandle = 0;
}

int64_t TBufferedFileStream::GetSize() { return FFileSize; }

void TBufferedFileStream::SetSize(int32_t NewSize) { SetSize(static_cast<int64_t>(NewSize)); }

void TBufferedFileStream::SetSize(int64_t NewSize) {
  if (NewSize == FFileSize)
    return;
  // A negative size is refused before anything changes: the seek to it would
  // fail anyway, and the stream's size must not go negative first.
  if (NewSize < 0)
    throw EStreamError("TBufferedFileStream.SetSize: Seek failed in " + FFileName);
  if (NewSize < FFileSize) {
    FFileSize = NewSize;
    if (FBufferPos + FBufferIndex > NewSize)
      Seek(int64_t{0}, TSeekOrigin::soEnd);
    if (FBufferPos + FBufferCount > NewSize)
      FBufferCount = static_cast<int32_t>(NewSize - FBufferPos);
  } else {
    // The window's bytes up to the new end become part of the file and are
    // written with the window. Beyond its valid bytes the window still holds
    // whatever an earlier window or the cut-off end left there, so those are
    // zeroed first: a grown file reads zeros, never stale bytes.
    if (FBufferCount > 0 && FBufferPos + FBufferSize > FFileSize) {
      const auto newCount = static_cast<int32_t>(std::min<int64_t>(NewSize - FBufferPos, FBufferSize));
      if (newCount > FBufferCount) {
        std::memset(FBuffer.get() + FBufferCount, 0, static_cast<size_t>(newCount - FBufferCount));
        FBufferCount = newCount;
        // Written back like any change: where another handle has written
        // past the stream's end, the file must come to hold these zeros too.
        FModified = true;
      }
    }
    FFileSize = NewSize;
  }
  if (FOps.Seek(FHandle, NewSize, OriginBeginning) == -1)
    throw EStreamError("TBufferedFileStream.SetSize: Seek failed in " + FFileName);
  if (!FOps.SetEnd(FHandle))
    throw EStreamError("TBufferedFileStream.SetSize: Set end of file failed in " + FFileName);
}

void TBufferedFileStream::FillBuffer() {
  if (FOps.Seek(FHandle, FBufferPos, OriginBeginning) == -1)
    throw EStreamError("Seek on reading failed in " + FFileName);
  FBufferCount = FOps.Read(FHandle, FBuffer.get(), FBufferSize);
  if (FBufferCount < 1) {
    FBufferCount = 0;
    throw EStreamError("Read failed in " + FFileName);
  }
  // A file that grew behind the stream (another handle appended) has bytes
  // past the stream's idea of its end; the window holds none of them, so
  // that growing and writing the window stay within what the stream knows.
  if (FBufferPos + FBufferCount > FFileSize)
    FBufferCount = static_cast<int32_t>(std::max<int64_t>(FFileSize - FBufferPos, 0));
}

void TBufferedFileStream::FlushBuffer() {
  if (FOps.Seek(FHandle, FBufferPos, OriginBeginning) == -1)
    throw EStreamError("Seek on writing failed in " + FFileName);
  if (FOps.Write(FHandle, FBuffer.get(), FBufferCount) != FBufferCount)
    throw EStreamError("Write failed in " + FFileName);
}

void TBufferedFileStream::MoveWindow(int64_t NewPos) {
  if (FModified) {
    FlushBuffer();
    FModified = false;
  }
  FBufferPos = NewPos;
  FBufferIndex = 0;
  FBufferCount = 0;
}

int32_t TBufferedFileStream::Read(void *Buffer, int32_t Count) {
  if (Count <= 0)
    return 0;
  if (FBufferPos + FBufferIndex + Count > FFileSize)
    throw EStreamError("Read beyond end of file in " + FFileName);
  if (FBufferCount == 0)
    FillBuffer();
  auto *out = static_cast<uint8_t *>(Buffer);
  // The window can hold fewer bytes than expected only when the file shrank
  // behind the stream's back; the next fill then reports it.
  int32_t n = std::clamp(FBufferCount - FBufferIndex, 0, Count);
  std::memcpy(out, FBuffer.get() + FBufferIndex, static_cast<size_t>(n));
  int32_t remaining = Count - n;
  while (remaining > 0) {
    MoveWindow(FBufferPos + FBufferSize);
    FillBuffer();
    out += n;
    n = std::min(FBufferCount, remaining);
    std::memcpy(out, FBuffer.get(), static_cast<size_t>(n));
    remaining -= n;
  }
  FBufferIndex += n;
  if (FBufferIndex == FBufferSize)
    MoveWindow(FBufferPos + FBufferSize);
  return Count;
}

int32_t TBufferedFileStream::Write(const void *Buffer, int32_t Count) {
  if (Count <= 0)
    return 0;
  // A window that is only partly rewritten must keep the file's other bytes.
  if (FBufferCount == 0 && FFileSize > FBufferPos)
    FillBuffer();
  const auto *in = static_cast<const uint8_t *>(Buffer);
  int32_t n = std::min(FBufferSize - FBufferIndex, Count);
  std::memcpy(FBuffer.get() + FBufferIndex, in, static_cast<size_t>(n));
  FModified = true;
  int32_t remaining = Count - n;
  while (remaining > 0) {
    FBufferCount = FBufferSize;
    FlushBuffer();
    FBufferPos += FBufferSize;
    FBufferIndex = 0;
    FBufferCount = 0;
    if (FFileSize > FBufferPos)
      FillBuffer();
    in += n;
    n = std::min(FBufferSize, remaining);
    std::memcpy(FBuffer.get(), in, static_cast<size_t>(n));
    remaining -= n;
  }
  FBufferIndex += n;
  if (FBufferIndex > FBufferCount)
    FBufferCount = FBufferIndex;
  if (FBufferPos + FBufferCount > FFileSize)
    FFileSize = FBufferPos + FBufferCount;
  if (FBufferIndex == FBufferSize) {
    FlushBuffer();
    FModified = false;
    FBufferPos += FBufferSize;
    FBufferIndex = 0;
    FBufferCount = 0;
  }
  return Count;
}

int64_t TBufferedFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base;
  switch (Origin) {
  case TSeekOrigin::soBeginning:
    base = 0;
    break;
  case TSeekOrigin::soCurrent:
    base = FBufferPos + FBufferIndex;
    break;
  case TSeekOrigin::soEnd:
    base = FFileSize;
    break;
  default:
    throw EStreamError("TBufferedFileStream.Seek: Invalid origin.");
  }
  int64_t newPos;
  if (__builtin_add_overflow(base, Offset, &newPos) || newPos < 0 || newPos > FFileSize)
    throw EStreamError("Invalid new position in " + FFileName);
  // Windows start at multiples of the window size, whatever that size is.
  const int64_t windowStart = newPos - newPos % FBufferSize;
  if (windowStart != FBufferPos)
    MoveWindow(windowStart);
  FBufferIndex = static_cast<int32_t>(newPos - windowStart);
  return newPos;
}

void TBufferedFileStream::Flush() {
  if (FModified) {
    FlushBuffer();
    FModified = false;
  }
  // A failed flush may mean the bytes never reach the disk: not a success.
  if (FWritable && !FOps.Flush(FHandle))
    throw EStreamError("Flush failed in " + FFileName);
}

// ---------------------------------------------------------------------------
// Stream primitives

namespace {

// Reads Width bytes (at most 8) into a zeroed little-endian value.
uint64_t ReadLittleEndian(TStream &Stream, int Width) {
  uint8_t bytes[8] = {};
  Stream.Read(bytes, Width);
  uint64_t value = 0;
  for (int i = Width - 1; i >= 0; --i)
    value = (value << 8) | bytes[i];
  return value;
}

} // namespace

bool StreamReadBoolean(TStream &Stream) { return ReadLittleEndian(Stream, 1) != 0; }

uint8_t StreamReadByte(TStream &Stream) { return static_cast<uint8_t>(ReadLittleEndian(Stream, 1)); }

uint16_t StreamReadWord(TStream &Stream) { return static_cast<uint16_t>(ReadLittleEndian(Stream, 2)); }

int32_t StreamReadInteger(TStream &Stream) { return static_cast<int32_t>(ReadLittleEndian(Stream, 4)); }

uint32_t StreamReadCardinal(TStream &Stream) { return static_cast<uint32_t>(ReadLittleEndian(Stream, 4)); }

int64_t StreamReadInt64(TStream &Stream) { return static_cast<int64_t>(ReadLittleEndian(Stream, 8)); }

float StreamReadSingle(TStream &Stream) {
  const auto bits = static_cast<uint32_t>(ReadLittleEndian(Stream, 4));
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

double StreamReadDouble(TStream &Stream) {
  const uint64_t bits = ReadLittleEndian(Stream, 8);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

long double StreamReadExtended(TStream &Stream) {
  // x87 extended: a 64-bit significand with an explicit integer bit, then the
  // sign in bit 15 and the biased exponent (bias 16383) in bits 0-14 of a word.
  uint8_t bytes[10] = {};
  Stream.Read(bytes, 10);
  uint64_t significand = 0;
  for (int i = 7; i >= 0; --i)
    significand = (significand << 8) | bytes[i];
  const unsigned word = bytes[8] | (static_cast<unsigned>(bytes[9]) << 8);
  const bool negative = (word & 0x8000u) != 0;
  const int exponent = static_cast<int>(word & 0x7FFFu);
  long double magnitude;
  if (exponent == 0x7FFF) {
    // Infinity has an all-zero fraction below the integer bit; anything else is a NaN.
    magnitude = (significand << 1) == 0 ? HUGE_VALL : std::nanl("");
  } else {
    // Denormals have exponent 0 and are scaled as if it were 1. The value is
    // significand * 2^(exponent - 16383 - 63).
    const int scale = (exponent == 0 ? 1 : exponent) - 16383 - 63;
    magnitude = std::ldexp(static_cast<long double>(significand), scale);
  }
  return negative ? -magnitude : magnitude;
}

void StreamReadIdentifier(TStream &Stream, void *Identifier) {
  std::memset(Identifier, 0, 16);
  Stream.Read(Identifier, 16);
}

void StreamReadStr(TStream &Stream, std::string &S) {
  S.clear();
  const int32_t length = StreamReadInteger(Stream);
  const int64_t remaining = Stream.Size() - Stream.Position();
  if (static_cast<int64_t>(length) > remaining)
    throw EStreamError("StreamReadStr: Length of string exceeds amount of bytes that are left in the stream.");
  if (length > 0) {
    S.resize(static_cast<size_t>(length));
    Stream.Read(S.data(), length);
  }
}

std::string StreamReadStr(TStream &Stream) {
  std::string s;
  StreamReadStr(Stream, s);
  return s;
}

bool StreamCheckStr(TStream &Stream, const std::string &Expected) {
  std::string actual(Expected.size(), '\0');
  Stream.Read(actual.data(), static_cast<int32_t>(actual.size()));
  return actual == Expected;
}

// ---------------------------------------------------------------------------
// Searching for a folder that holds a set of files

namespace {

// Inside the walk folders carry no trailing delimiter: a drive root is "C:"
// and a name in it "C:\name".
//
// Each folder is listed once, and that one listing answers both questions:
// does it hold every name, and which subfolders come next. Looking the names
// up one by one would cost a directory query per name (under Wine a scan of
// the whole folder each time) in nearly every folder of a disk.
class TFileSetSearch {
public:
  TFileSetSearch(const std::vector<std::string> &Names, const TProcessMessages &ProcessMessages, bool Recursive)
      : FNames(Names), FProcessMessages(ProcessMessages), FRecursive(Recursive) {}

  // Depth first, each folder before its subfolders, the subfolders in the
  // order the file system lists them; Result is the folder that held the set.
  bool SearchFolder(const std::string &Folder, std::string &Result) {
    std::vector<std::string> subfolders;
    const bool foundHere = ContainsAllFiles(Folder, FRecursive ? &subfolders : nullptr);
    if (!FRecursive || foundHere) {
      Result = Folder;
      return foundHere;
    }
    for (const std::string &name : subfolders)
      if (SearchFolder(Folder + PathDelim + name, Result))
        return true;
    return false;
  }

private:
  // Whether Folder holds an entry (a file or a folder) of every name. When
  // Subfolders is given, the folders to walk into are collected from the
  // same listing; they are wanted only while the set is incomplete. A folder
  // that cannot be listed holds nothing and has no subfolders.
  bool ContainsAllFiles(const std::string &Folder, std::vector<std::string> *Subfolders) {
    if (FProcessMessages)
      FProcessMessages();
    // An empty list is never found, but the walk still goes everywhere.
    const bool lookable = !FNames.empty();
    if (!lookable && !Subfolders)
      return false;
    std::vector<bool> present(FNames.size());
    size_t missing = FNames.size();
    TFileSearch search;
    TSearchRec entry;
    const std::string pattern = Folder + PathDelim + "*.*";
    for (bool more = search.FindFirst(pattern, faAnyFile, entry, TListingDetail::NamesAndKinds); more;
         more = search.FindNext(entry)) {
      if (lookable && (missing -= MarkPresent(entry.Name, present)) == 0)
        return AllNamesFit(Folder) || AllNamesOpen(Folder);
      if (Subfolders && IsSubfolder(entry))
        Subfolders->push_back(entry.Name);
    }
    return false;
  }

  // Marks every name that Entry spells (a list may name one file twice, in
  // two letter cases); the number of names newly marked.
  size_t MarkPresent(const std::string &Entry, std::vector<bool> &Present) const {
    size_t marked = 0;
    for (size_t i = 0; i < FNames.size(); ++i)
      if (!Present[i] && SameFileName(Entry, FNames[i])) {
        Present[i] = true;
        ++marked;
      }
    return marked;
  }

  // Whether every name's full path in Folder is short enough for every file
  // call to take it.
  bool AllNamesFit(const std::string &Folder) const {
    return std::all_of(FNames.begin(), FNames.end(),
                       [&](const std::string &name) { return Folder.size() + 1 + name.size() <= MaxPathLength; });
  }

  // Near the longest path the system takes, a folder can be listed while a
  // name in it is too long to be opened, and where exactly that happens is
  // the system's to decide; there each name is looked up on its own, as a
  // program using the set would open it.
  bool AllNamesOpen(const std::string &Folder) const {
    TFileSearch lookup;
    TSearchRec entry;
    return std::all_of(FNames.begin(), FNames.end(), [&](const std::string &name) {
      return lookup.FindFirst(Folder + PathDelim + name, faAnyFile, entry);
    });
  }

  // Links (reparse points: junctions, symbolic links) are not followed:
  // every real folder is reached through its own path anyway, and a link
  // back up the tree would make the walk endless.
  static bool IsSubfolder(const TSearchRec &Entry) {
    return (Entry.Attr & faDirectory) && !(Entry.Attr & faSymLink) && Entry.Name != "." && Entry.Name != "..";
  }

  const std::vector<std::string> &FNames;
  const TProcessMessages &FProcessMessages;
  bool FRecursive;
};

std::string WithoutTrailingDelimiter(const std::string &Path) {
  return !Path.empty() && Path.back() == PathDelim ? Path.substr(0, Path.size() - 1) : Path;
}

std::string WithTrailingDelimiter(const std::string &Path) {
  return !Path.empty() && Path.back() == PathDelim ? Path : Path + PathDelim;
}

} // namespace

void GetDriveList(std::vector<std::string> &List) {
  List.clear();
  const uint32_t mask = GetLogicalDriveMask();
  for (int bit = 0; bit < 26; ++bit)
    if (mask & (uint32_t{1} << bit))
      List.push_back(std::string(1, static_cast<char>('A' + bit)));
}

void FindFileSet(const std::string &Folder, const std::vector<std::string> &Names,
                 const TProcessMessages &ProcessMessages, bool Recursive, std::string &Found) {
  TFileSetSearch search(Names, ProcessMessages, Recursive);
  std::string result;
  if (search.SearchFolder(WithoutTrailingDelimiter(Folder), result))
    Found = WithTrailingDelimiter(result);
}

bool FindCharts(const std::string &FolderText, const std::vector<std::string> &Names, std::string &Found,
                const TProcessMessages &ProcessMessages) {
  Found.clear();
  if (!FolderText.empty()) {
    FindFileSet(WithTrailingDelimiter(FolderText), Names, ProcessMessages, false, Found);
    return !Found.empty();
  }
  std::vector<std::string> drives;
  GetDriveList(drives);
  for (const std::string &letter : drives) {
    const std::string root = letter + ":" + PathDelim;
    if (GetDriveTypeOf(root) != drvFixed)
      continue;
    FindFileSet(root, Names, ProcessMessages, true, Found);
    if (!Found.empty())
      return true;
  }
  return false;
}
