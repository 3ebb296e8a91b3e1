// File input and output of the library: a buffered file stream for the chart
// reader's many small reads, typed little-endian reads from any stream, and
// the search for a folder holding a given set of files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "OSFile.h"

// The operating-system calls the buffered stream makes, gathered in one table
// so that a test can stand a failing file system in for the real one.
struct TFileOps {
  THandle (*Create)(const std::string &FileName);
  THandle (*Open)(const std::string &FileName, uint16_t Mode);
  void (*Close)(THandle Handle);
  int64_t (*Seek)(THandle Handle, int64_t Offset, int Origin);
  int32_t (*Read)(THandle Handle, void *Buffer, int32_t Count);
  int32_t (*Write)(THandle Handle, const void *Buffer, int32_t Count);
  bool (*SetEnd)(THandle Handle);
  bool (*Flush)(THandle Handle);
};

// The platform's file layer (OSFile.h).
const TFileOps &PlatformFileOps();

// A seekable stream over one file that keeps a single window of the file in
// memory. All file input and output goes through whole windows; changes are
// collected in the window and written back when the window moves, on Flush and
// on destruction.
class TBufferedFileStream : public TStream {
public:
  // Mode fmCreate creates the file anew; any other Mode opens an existing file
  // (OSFile.h). The window is BufferSize rounded up to a multiple of 1024, at
  // most 32768.
  TBufferedFileStream(const std::string &FileName, uint16_t Mode, int32_t BufferSize);
  // Writes a modified window back and closes the file. A failure of that last
  // write cannot be reported from here; call Flush first to see it.
  ~TBufferedFileStream() override;

  using TStream::Seek;
  using TStream::SetSize;
  int64_t GetSize() override;
  void SetSize(int32_t NewSize) override;
  void SetSize(int64_t NewSize) override;
  int32_t Read(void *Buffer, int32_t Count) override;
  int32_t Write(const void *Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

  void Flush();

  const std::string &FileName() const { return FFileName; }
  int32_t BufferSize() const { return FBufferSize; }

protected:
  // For a test's failing file system.
  TBufferedFileStream(const std::string &FileName, uint16_t Mode, int32_t BufferSize, const TFileOps &Ops);

  virtual void FillBuffer();
  virtual void FlushBuffer();

  std::unique_ptr<uint8_t[]> FBuffer;
  int32_t FBufferSize = 0;
  int64_t FBufferPos = 0;
  int32_t FBufferIndex = 0;
  int32_t FBufferCount = 0;
  int64_t FFileSize = 0;
  THandle FHandle = 0;
  bool FModified = false;
  std::string FFileName;

private:
  // Whether the handle can write. A handle opened for reading holds nothing
  // the system could flush, and asking anyway costs a disk sync per chart
  // opened (Windows refuses the request on such a handle in any case).
  bool FWritable = false;

  // Writes a modified window back and moves the window to NewPos, unloaded.
  void MoveWindow(int64_t NewPos);
  void CloseHandle() noexcept;

  const TFileOps &FOps;
};

// Typed reads from any stream. Values are little-endian with no padding. The
// fixed-width reads start from zero, so a stream that returns short leaves the
// missing high-order bytes zero.
bool StreamReadBoolean(TStream &Stream);
uint8_t StreamReadByte(TStream &Stream);
uint16_t StreamReadWord(TStream &Stream);
int32_t StreamReadInteger(TStream &Stream);
uint32_t StreamReadCardinal(TStream &Stream);
int64_t StreamReadInt64(TStream &Stream);
float StreamReadSingle(TStream &Stream);
double StreamReadDouble(TStream &Stream);
// The x87 80-bit format, converted arithmetically so that it also works where
// long double is no wider than double.
long double StreamReadExtended(TStream &Stream);
// Copies 16 bytes unchanged into Identifier.
void StreamReadIdentifier(TStream &Stream, void *Identifier);
// A signed 32-bit length, then that many bytes. A length beyond the bytes left
// in the stream raises EStreamError; zero or negative gives the empty string.
void StreamReadStr(TStream &Stream, std::string &S);
std::string StreamReadStr(TStream &Stream);
// Reads Expected's length in bytes and compares them byte for byte.
bool StreamCheckStr(TStream &Stream, const std::string &Expected);

// ---------------------------------------------------------------------------
// Searching for a folder that holds a set of files

// Lets the application handle its pending window messages once, so that a
// long search keeps the window painted. Empty: the search does not pause.
using TProcessMessages = std::function<void()>;

// One-letter strings "A" ... "Z" of the drives present, in letter order.
void GetDriveList(std::vector<std::string> &List);

// Looks for a folder holding a file or folder of every name in Names (plain
// names, compared as the file system compares them): Folder itself, and with
// Recursive its subfolders depth first, each folder before its subfolders,
// links not followed. Each folder is listed once. Found is assigned only on
// success, and then ends in the path delimiter. ProcessMessages runs once per
// folder tested.
void FindFileSet(const std::string &Folder, const std::vector<std::string> &Names,
                 const TProcessMessages &ProcessMessages, bool Recursive, std::string &Found);

// With a FolderText, checks that one folder (not its subfolders); without,
// searches the fixed drives in letter order and stops at the first drive
// that holds the set. Found ends in the path delimiter, or is empty when
// nothing was found.
bool FindCharts(const std::string &FolderText, const std::vector<std::string> &Names, std::string &Found,
                const TProcessMessages &ProcessMessages);
