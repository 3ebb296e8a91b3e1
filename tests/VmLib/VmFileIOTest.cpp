#include "VmFileIO.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>

#include "FileFind.h"
#include "FileSetSearchByLookups.h"
#include "TempDir.h"

#if defined(_WIN32)
#include <windows.h>

#include "WineHost.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Bytes 0, 1, 2, ... 250, 0, 1, ...: a pattern whose period is not a power of
// two, so a byte from the wrong offset shows.
std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i)
    s[i] = static_cast<char>(i % 251);
  return s;
}

// The file system the failure cases stand in for the real one: each fault,
// once armed, makes that kind of call fail.
struct TFaults {
  bool Seek = false;
  bool Read = false;
  bool Write = false; // writes nothing, as on a full disk
  bool SetEnd = false;
  bool Flush = false;
};
TFaults Faults;

const TFileOps &FaultyFileOps() {
  static const TFileOps ops = {
      FileCreate,
      FileOpen,
      FileClose,
      [](THandle h, int64_t offset, int origin) -> int64_t { return Faults.Seek ? -1 : FileSeek(h, offset, origin); },
      [](THandle h, void *buffer, int32_t count) -> int32_t { return Faults.Read ? -1 : FileRead(h, buffer, count); },
      [](THandle h, const void *buffer, int32_t count) -> int32_t {
        return Faults.Write ? 0 : FileWrite(h, buffer, count);
      },
      [](THandle h) { return !Faults.SetEnd && FileSetEnd(h); },
      [](THandle h) { return !Faults.Flush && FileFlush(h); },
  };
  return ops;
}

// Shows the window's state and runs on the failing file system.
class TProbeStream : public TBufferedFileStream {
public:
  TProbeStream(const std::string &name, uint16_t mode, int32_t bufferSize)
      : TBufferedFileStream(name, mode, bufferSize, FaultyFileOps()) {}
  int64_t WindowPos() const { return FBufferPos; }
  int32_t WindowCount() const { return FBufferCount; }
  bool Modified() const { return FModified; }
};

class BufferedFileStream : public ::testing::Test {
protected:
  void TearDown() override { Faults = {}; }

  // A file with the pattern, and a name for it that has to be expanded
  // ("sub/../name") so the messages show whether the full path is used.
  std::string MakeFile(const std::string &name, size_t size) {
    WriteFileBytes(Dir.File(name), Pattern(size));
    std::filesystem::create_directory(Dir.File("sub"));
    return Dir.File("sub") + Sep() + ".." + Sep() + name;
  }
  char Sep() const { return Dir.Path().back(); }

  TTempDir Dir;
};

// Empty when equal, else where and how the bytes differ: files here are too
// long to print whole.
std::string Difference(const std::string &actual, const std::string &expected) {
  if (actual == expected)
    return "";
  size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i])
    ++i;
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
         ", first difference at " + std::to_string(i);
}

std::string MessageOf(const std::function<void()> &action) {
  try {
    action();
  } catch (const EStreamError &e) {
    return e.Message();
  }
  return "(nothing raised)";
}

TEST_F(BufferedFileStream, WindowSizeIsRoundedUpToWholeKilobytesAndCapped) {
  const struct {
    int32_t requested, window;
  } cases[] = {
      {1, 1024},      {1024, 1024},    {1025, 2048}, {2048, 2048}, {3000, 3072},
      {32768, 32768}, {131072, 32768}, {0, 1024},    {-5, 1024},   {std::numeric_limits<int32_t>::max(), 32768}};
  const std::string name = MakeFile("w.bin", 10);
  for (const auto &c : cases) {
    TBufferedFileStream s(name, fmOpenRead | fmShareDenyNone, c.requested);
    EXPECT_EQ(s.BufferSize(), c.window) << "requested " << c.requested;
  }
}

TEST_F(BufferedFileStream, ReadsUpToTheEndAndRefusesOneByteMoreWithTheFullPath) {
  const std::string name = MakeFile("short.bin", 3000);
  TBufferedFileStream s(name, fmOpenRead | fmShareDenyNone, 1024);
  EXPECT_EQ(s.FileName(), Dir.File("short.bin"));
  std::string all(3000, '\0');
  EXPECT_EQ(s.Read(all.data(), 3000), 3000);
  EXPECT_EQ(Difference(all, Pattern(3000)), "");

  s.SetPosition(2990);
  char tail[11];
  std::memset(tail, 'x', sizeof tail);
  EXPECT_EQ(MessageOf([&] { s.Read(tail, 11); }), "Read beyond end of file in " + Dir.File("short.bin"));
  EXPECT_EQ(tail[0], 'x') << "a refused read copies nothing";
  EXPECT_EQ(s.Position(), 2990);
  EXPECT_EQ(s.Read(tail, 10), 10);
  EXPECT_EQ(std::string(tail, 10), Pattern(3000).substr(2990));
}

TEST_F(BufferedFileStream, SeeksWithinZeroToSize) {
  const std::string name = MakeFile("seek.bin", 5000);
  const std::string position = "Invalid new position in " + Dir.File("seek.bin");
  TBufferedFileStream s(name, fmOpenRead | fmShareDenyNone, 1024);
  EXPECT_EQ(s.Seek(int64_t{0}, TSeekOrigin::soEnd), 5000);
  EXPECT_EQ(s.Seek(int64_t{-1}, TSeekOrigin::soCurrent), 4999);
  EXPECT_EQ(s.Seek(int32_t{-4999}, soFromCurrent), 0);
  EXPECT_EQ(MessageOf([&] { s.Seek(int64_t{1}, TSeekOrigin::soEnd); }), position);
  EXPECT_EQ(MessageOf([&] { s.Seek(int64_t{-1}, TSeekOrigin::soBeginning); }), position);
  EXPECT_EQ(MessageOf([&] { s.Seek(std::numeric_limits<int64_t>::max(), TSeekOrigin::soEnd); }), position);
  EXPECT_EQ(MessageOf([&] { s.Seek(int32_t{0}, uint16_t{3}); }), "TBufferedFileStream.Seek: Invalid origin.");
  EXPECT_EQ(s.Position(), 0) << "a refused seek leaves the position";
}

TEST_F(BufferedFileStream, ReadEndingAtTheWindowEndMovesToTheNextWindow) {
  const std::string name = MakeFile("windows.bin", 3000);
  TProbeStream s(name, fmOpenRead | fmShareDenyNone, 1024);
  std::string part(1024, '\0');
  s.Read(part.data(), 1024);
  EXPECT_EQ(s.WindowPos(), 1024);
  EXPECT_EQ(s.WindowCount(), 0) << "the next window is not loaded yet";
  EXPECT_EQ(StreamReadByte(s), 1024 % 251);
  EXPECT_EQ(s.WindowCount(), 1024);
  // A read across two window borders.
  s.SetPosition(1000);
  std::string across(1500, '\0');
  s.Read(across.data(), 1500);
  EXPECT_EQ(Difference(across, Pattern(3000).substr(1000, 1500)), "");
  EXPECT_EQ(s.WindowPos(), 2048);
  EXPECT_EQ(s.Position(), 2500);
}

TEST_F(BufferedFileStream, MovingAModifiedWindowWritesItBackFirst) {
  const std::string name = MakeFile("rw.bin", 3000);
  TProbeStream s(name, fmOpenReadWrite | fmShareDenyNone, 1024);
  s.SetPosition(10);
  s.Write("ABC", 3);
  EXPECT_TRUE(s.Modified());
  EXPECT_EQ(ReadFileBytes(Dir.File("rw.bin")).substr(10, 3), Pattern(13).substr(10)) << "still in the window";
  std::string rest(2000, '\0');
  s.Read(rest.data(), 2000); // runs past the window's end
  EXPECT_FALSE(s.Modified());
  std::string expected = Pattern(3000);
  expected.replace(10, 3, "ABC");
  EXPECT_EQ(Difference(ReadFileBytes(Dir.File("rw.bin")), expected), "")
      << "the rest of the window kept the file's bytes";

  // The same through a seek into another window.
  s.SetPosition(2990);
  s.Write("XY", 2);
  s.SetPosition(0);
  expected.replace(2990, 2, "XY");
  EXPECT_EQ(Difference(ReadFileBytes(Dir.File("rw.bin")), expected), "");
}

TEST_F(BufferedFileStream, WritesAcrossWindowsAndGrowsTheSizeBeforeTheDisk) {
  const std::string file = Dir.File("new.bin");
  const std::string data = Pattern(2500);
  WriteFileBytes(file, data);
  {
    TBufferedFileStream created(file, fmCreate, 1024);
    EXPECT_EQ(created.Size(), 0) << "creating truncates";
  }
  {
    // Shared, so that the test can look at the disk meanwhile.
    TBufferedFileStream s(file, fmOpenReadWrite | fmShareDenyNone, 1024);
    s.Write(data.data(), 100);
    EXPECT_EQ(s.Size(), 100);
    EXPECT_EQ(ReadFileBytes(file).size(), 0u) << "nothing written yet";
    s.Write(data.data() + 100, 2400); // fills and writes windows 0 and 1
    EXPECT_EQ(s.Size(), 2500);
    EXPECT_EQ(Difference(ReadFileBytes(file), data.substr(0, 2048)), "");
    s.SetPosition(0);
    std::string back(2500, '\0');
    s.Read(back.data(), 2500);
    EXPECT_EQ(Difference(back, data), "");
    s.Write("END", 3);
    EXPECT_EQ(Difference(ReadFileBytes(file), data), "");
  }
  EXPECT_EQ(Difference(ReadFileBytes(file), data + "END"), "") << "destruction writes the last window";
}

TEST_F(BufferedFileStream, ShrinkingMovesThePositionToTheNewEnd) {
  const std::string file = Dir.File("shrink.bin");
  {
    TBufferedFileStream s(file, fmCreate, 1024);
    const std::string data = Pattern(3000);
    s.Write(data.data(), 3000);
    s.SetSize(int64_t{1500});
    EXPECT_EQ(s.Size(), 1500);
    EXPECT_EQ(s.Position(), 1500);
    s.SetSize(int32_t{100});
    EXPECT_EQ(s.Position(), 100);
    s.SetPosition(78);
    s.SetSize(int64_t{80}); // position stays inside
    EXPECT_EQ(s.Position(), 78);
    EXPECT_EQ(MessageOf([&] { StreamReadInteger(s); }), "Read beyond end of file in " + file);
  }
  EXPECT_EQ(Difference(ReadFileBytes(file), Pattern(80)), "");
}

TEST_F(BufferedFileStream, GrowingExtendsWithZerosNotWithStaleWindowBytes) {
  const std::string name = MakeFile("grow.bin", 1500);
  {
    TBufferedFileStream s(name, fmOpenReadWrite | fmShareDenyNone, 1024);
    std::string all(1500, '\0');
    s.Read(all.data(), 1500); // the window now holds bytes 1024..1499 and, after them, old bytes
    s.SetPosition(1100);
    s.Write("M", 1);
    s.SetSize(int64_t{2000});
    EXPECT_EQ(s.Size(), 2000);
    s.SetSize(int64_t{1200}); // cut and grow again inside the same window
    s.SetSize(int64_t{1600});
  }
  std::string expected = Pattern(1200) + std::string(400, '\0');
  expected[1100] = 'M';
  EXPECT_EQ(Difference(ReadFileBytes(Dir.File("grow.bin")), expected), "");
}

// Another handle appends to the file after the stream learnt its size; the
// stream reads its last window (the system hands over the appended bytes as
// well) and then grows the file inside that window. The window keeps to the
// stream's size: the grown part reads as zeros and the file ends where the
// stream says.
TEST_F(BufferedFileStream, GrowingAFileThatGrewBehindTheStreamKeepsToTheStreamsSize) {
  const std::string name = MakeFile("shared.bin", 1000);
  TBufferedFileStream s(name, fmOpenReadWrite | fmShareDenyNone, 32768);
  {
    TBufferedFileStream other(name, fmOpenReadWrite | fmShareDenyNone, 1024);
    other.Seek(int64_t{0}, TSeekOrigin::soEnd);
    const std::string appended(4000, 'A');
    other.Write(appended.data(), static_cast<int32_t>(appended.size()));
    other.Flush();
  }
  std::string head(1000, '\0');
  s.Read(head.data(), 1000);
  EXPECT_EQ(Difference(head, Pattern(1000)), "");
  s.SetSize(int64_t{2000});
  EXPECT_EQ(s.Size(), 2000);
  std::string grown(1000, 'x');
  s.SetPosition(1000);
  s.Read(grown.data(), 1000);
  EXPECT_EQ(grown, std::string(1000, '\0'));
  s.Flush();
  EXPECT_EQ(Difference(ReadFileBytes(Dir.File("shared.bin")), Pattern(1000) + std::string(1000, '\0')), "");
}

// One row per message: what to do and the text it must raise. The file
// system's own failures come from the failing file layer above.
TEST_F(BufferedFileStream, EveryFailureHasItsMessage) {
  const std::string name = MakeFile("f.bin", 3000);
  const std::string full = Dir.File("f.bin");
  const std::string missing = Dir.File("nofolder") + Sep() + "x.bin";
  const auto open = [&](uint16_t mode) { return std::make_unique<TProbeStream>(name, mode, 1024); };
  constexpr uint16_t rw = fmOpenReadWrite | fmShareDenyNone;
  const struct {
    const char *what;
    std::function<void()> action;
    std::string message;
  } cases[] = {
      {"create", [&] { TBufferedFileStream s(missing, fmCreate, 1024); }, "Cannot create file " + missing},
      {"open", [&] { TBufferedFileStream s(missing, fmOpenRead, 1024); }, "Cannot open file " + missing},
      {"open mode", [&] { TBufferedFileStream s(name, 0x0003, 1024); }, "Cannot open file " + name},
      {"share mode", [&] { TBufferedFileStream s(name, 0x0050, 1024); }, "Cannot open file " + name},
      {"seek to the end",
       [&] {
         Faults.Seek = true;
         open(rw);
       },
       "Seek EOF failed in " + full},
      {"seek past the end", [&] { open(rw)->Seek(int64_t{3001}, TSeekOrigin::soBeginning); },
       "Invalid new position in " + full},
      {"read past the end",
       [&] {
         char b[2];
         auto s = open(rw);
         s->SetPosition(2999);
         s->Read(b, 2);
       },
       "Read beyond end of file in " + full},
      {"seek before reading",
       [&] {
         auto s = open(rw);
         Faults.Seek = true;
         StreamReadByte(*s);
       },
       "Seek on reading failed in " + full},
      {"reading",
       [&] {
         auto s = open(rw);
         Faults.Read = true;
         StreamReadByte(*s);
       },
       "Read failed in " + full},
      {"reading a write-only file", [&] { StreamReadByte(*open(fmOpenWrite | fmShareDenyNone)); },
       "Read failed in " + full},
      {"seek before writing",
       [&] {
         auto s = open(rw);
         s->Write("a", 1);
         Faults.Seek = true;
         s->Flush();
       },
       "Seek on writing failed in " + full},
      {"short write",
       [&] {
         auto s = open(rw);
         s->Write("a", 1);
         Faults.Write = true;
         s->Flush();
       },
       "Write failed in " + full},
      {"writing a read-only file",
       [&] {
         auto s = open(fmOpenRead | fmShareDenyNone);
         s->Write("a", 1);
         s->Flush();
       },
       "Write failed in " + full},
      {"flushing the system's buffers",
       [&] {
         auto s = open(rw);
         Faults.Flush = true;
         s->Flush();
       },
       "Flush failed in " + full},
      {"origin", [&] { open(rw)->Seek(int64_t{0}, static_cast<TSeekOrigin>(7)); },
       "TBufferedFileStream.Seek: Invalid origin."},
      {"seek in SetSize",
       [&] {
         auto s = open(rw);
         Faults.Seek = true;
         s->SetSize(int64_t{10});
       },
       "TBufferedFileStream.SetSize: Seek failed in " + full},
      {"negative size", [&] { open(rw)->SetSize(int64_t{-1}); }, "TBufferedFileStream.SetSize: Seek failed in " + full},
      {"end of file",
       [&] {
         auto s = open(rw);
         Faults.SetEnd = true;
         s->SetSize(int64_t{10});
       },
       "TBufferedFileStream.SetSize: Set end of file failed in " + full},
      {"end of a read-only file", [&] { open(fmOpenRead | fmShareDenyNone)->SetSize(int64_t{10}); },
       "TBufferedFileStream.SetSize: Set end of file failed in " + full},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(MessageOf(cases[i].action), cases[i].message) << "case " << i << ": " << cases[i].what;
    Faults = {};
  }
  EXPECT_EQ(Difference(ReadFileBytes(full), Pattern(3000)), "") << "no failed case changed the file";
}

TEST_F(BufferedFileStream, AFailedWriteKeepsTheWindowModifiedForALaterFlush) {
  const std::string name = MakeFile("retry.bin", 100);
  TProbeStream s(name, fmOpenReadWrite | fmShareDenyNone, 1024);
  s.Write("Z", 1);
  Faults.Write = true;
  EXPECT_THROW(s.Flush(), EStreamError);
  EXPECT_TRUE(s.Modified());
  Faults = {};
  s.Flush();
  EXPECT_FALSE(s.Modified());
  EXPECT_EQ(Difference(ReadFileBytes(Dir.File("retry.bin")), "Z" + Pattern(100).substr(1)), "");
}

// ---------------------------------------------------------------------------
// Stream primitives

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> b;
  for (int v : values)
    b.push_back(static_cast<uint8_t>(v));
  return b;
}

TEST(StreamPrimitives, FixedWidthReadsAreLittleEndian) {
  TMemoryStream s(Bytes({0x02,                                           // Boolean: kept as true
                         0xFE,                                           // Byte
                         0x34, 0x12,                                     // Word
                         0xFE, 0xFF, 0xFF, 0xFF,                         // Integer -2
                         0xFE, 0xFF, 0xFF, 0xFF,                         // Cardinal
                         0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, // Int64 min
                         0x00, 0x00, 0x80, 0x3F,                         // Single 1.0
                         0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0xBF, // Double -1.5
                         0x00}));
  EXPECT_TRUE(StreamReadBoolean(s));
  EXPECT_EQ(StreamReadByte(s), 0xFE);
  EXPECT_EQ(StreamReadWord(s), 0x1234);
  EXPECT_EQ(StreamReadInteger(s), -2);
  EXPECT_EQ(StreamReadCardinal(s), 0xFFFFFFFEu);
  EXPECT_EQ(StreamReadInt64(s), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(StreamReadSingle(s), 1.0f);
  EXPECT_EQ(StreamReadDouble(s), -1.5);
  EXPECT_FALSE(StreamReadBoolean(s));
  EXPECT_EQ(s.Position(), s.Size());
}

TEST(StreamPrimitives, ShortMemoryReadsLeaveTheMissingHighBytesZero) {
  TMemoryStream s(Bytes({0x34, 0x12}));
  EXPECT_EQ(StreamReadInteger(s), 0x1234);
  TMemoryStream w(Bytes({0x34}));
  EXPECT_EQ(StreamReadWord(w), 0x34);
  EXPECT_EQ(StreamReadByte(w), 0) << "nothing left";
}

TEST(StreamPrimitives, ExtendedValuesConvertExactly) {
  static_assert(std::numeric_limits<long double>::digits == 64, "the platforms built here have the x87 type");
  const struct {
    std::vector<uint8_t> bytes;
    long double value;
  } cases[] = {
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}), 1.0L},
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0xC0}), -3.0L},
      {Bytes({0x35, 0xC2, 0x68, 0x21, 0xA2, 0xDA, 0x0F, 0xC9, 0x00, 0x40}), 3.14159265358979323846264338327950288L},
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0.0L},
      {Bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0}), std::numeric_limits<long double>::denorm_min()},
      {Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x7F}), std::numeric_limits<long double>::max()},
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF}), -std::numeric_limits<long double>::infinity()},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    TMemoryStream s(cases[i].bytes);
    EXPECT_EQ(StreamReadExtended(s), cases[i].value) << "case " << i;
    EXPECT_EQ(s.Position(), 10);
  }
  TMemoryStream nan(Bytes({0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F}));
  EXPECT_TRUE(std::isnan(StreamReadExtended(nan)));
  TMemoryStream negativeZero(Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}));
  EXPECT_TRUE(std::signbit(StreamReadExtended(negativeZero)));
}

TEST(StreamPrimitives, IdentifierIsCopiedUnchanged) {
  std::vector<uint8_t> bytes(17);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(0xF0 - i);
  TMemoryStream s(bytes);
  uint8_t id[16];
  StreamReadIdentifier(s, id);
  EXPECT_EQ(std::memcmp(id, bytes.data(), 16), 0);
  EXPECT_EQ(s.Position(), 16);
}

TEST(StreamPrimitives, StringLengthPrefix) {
  const std::string tooLong = "StreamReadStr: Length of string exceeds amount of bytes that are left in the stream.";
  const struct {
    std::vector<uint8_t> bytes;
    std::string result; // or the message
    int64_t position;
  } cases[] = {
      {Bytes({0, 0, 0, 0, 'a'}), "", 4},
      {Bytes({0xFF, 0xFF, 0xFF, 0xFF, 'a'}), "", 4},
      {Bytes({3, 0, 0, 0, 'a', 0xE2, 'c'}),
       "a\xE2"
       "c",
       7},
      {Bytes({4, 0, 0, 0, 'a', 'b', 'c'}), tooLong, 4},
      {Bytes({0, 0, 0, 0x80}), "", 4}, // most negative length
      {Bytes({0xFF, 0xFF, 0xFF, 0x7F, 'a'}), tooLong, 4},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    TMemoryStream s(cases[i].bytes);
    std::string out = "old";
    try {
      StreamReadStr(s, out);
    } catch (const EStreamError &e) {
      out = e.Message();
    }
    EXPECT_EQ(out, cases[i].result) << "case " << i;
    EXPECT_EQ(s.Position(), cases[i].position) << "case " << i;
  }
}

TEST(StreamPrimitives, CheckStrAdvancesByTheExpectedLengthEitherWay) {
  TMemoryStream s(Bytes({'N', 'K', 'F', '2', 'x', 'n', 'k', 'f'}));
  EXPECT_TRUE(StreamCheckStr(s, "NKF2"));
  EXPECT_EQ(s.Position(), 4);
  EXPECT_FALSE(StreamCheckStr(s, "xNK")) << "case matters";
  EXPECT_EQ(s.Position(), 7);
  EXPECT_TRUE(StreamCheckStr(s, ""));
  EXPECT_EQ(s.Position(), 7);
}

TEST_F(BufferedFileStream, PrimitivesOnAFileRaiseTheStreamsOwnMessageAtTheEnd) {
  WriteFileBytes(Dir.File("magic.bin"), std::string("\x05\x00\x00\x00"
                                                    "abcd",
                                                    8));
  TBufferedFileStream s(Dir.File("magic.bin"), fmOpenRead | fmShareDenyNone, 131072);
  EXPECT_EQ(MessageOf([&] { StreamReadStr(s); }),
            "StreamReadStr: Length of string exceeds amount of bytes that are left in the stream.");
  s.SetPosition(0);
  EXPECT_EQ(MessageOf([&] { StreamCheckStr(s, std::string(9, 'x')); }),
            "Read beyond end of file in " + Dir.File("magic.bin"));
  EXPECT_EQ(s.Position(), 0);
}

} // namespace

// ---------------------------------------------------------------------------
// Searching for a folder that holds a set of files

namespace {

const std::vector<std::string> SetNames = {"Aldenhof.nkf2", "Brink.nkf2",    "Cromme.nkf2",
                                           "Duinrand.nkf2", "Eemhaven.nkf2", "Flevo.nkf2",
                                           "Gouwe.nkf2",    "Hulst.nkf2",    "Ijsselmond.nkf2"};

// A tree of folders under a temporary folder; paths are given with '/' and
// turned into the platform's separator.
class FileSetSearch : public ::testing::Test {
protected:
  std::string PathOf(const std::string &relative) const {
    std::string p = Dir.Path() + relative;
    for (char &c : p)
      if (c == '/')
        c = PathDelim;
    return p;
  }
  std::string Folder(const std::string &relative) const {
    std::filesystem::create_directories(PathOf(relative));
    return PathOf(relative);
  }
  // The set's files in a folder, all or all but the last; a name can be
  // spelt in capitals.
  void PutSet(const std::string &relative, size_t count = 9, bool capitals = false) {
    const std::string folder = Folder(relative);
    for (size_t i = 0; i < count; ++i)
      WriteFileBytes(folder + PathDelim + (capitals ? UpperCase(SetNames[i]) : SetNames[i]), "x");
  }
  // Searches and counts the folders tested.
  std::string Search(const std::string &folder, bool recursive, const std::vector<std::string> &names = SetNames) {
    std::string found = "(untouched)";
    FindFileSet(
        folder, names, [this] { ++FoldersTested; }, recursive, found);
    return found;
  }

  TTempDir Dir;
  int FoldersTested = 0;
};

TEST_F(FileSetSearch, AFolderPassesOnlyWithEveryName) {
  PutSet("all");
  PutSet("eight", 8);
  PutSet("caps", 9, true);
  PutSet("dir", 8);
  Folder("dir/" + SetNames[8]); // a folder of the last name counts
  const struct {
    std::string folder;
    std::string found;
  } cases[] = {
      {"all", PathOf("all/")},   {"all/", PathOf("all/")}, {"eight", "(untouched)"},
      {"caps", PathOf("caps/")}, {"dir", PathOf("dir/")},  {"missing", "(untouched)"},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(Search(PathOf(cases[i].folder), false), cases[i].found) << "case " << i;
  EXPECT_EQ(Search(PathOf("all"), false, {}), "(untouched)") << "an empty list is never found";
}

TEST_F(FileSetSearch, RecursiveSearchTestsAFolderBeforeItsSubfolders) {
  PutSet("a/b");
  PutSet("a/b/c");
  Folder("a/x/y");
  EXPECT_EQ(Search(PathOf("a"), false), "(untouched)") << "subfolders only when recursive";
  EXPECT_EQ(Search(PathOf("a"), true), PathOf("a/b/"));
}

TEST_F(FileSetSearch, TheWalkVisitsEveryRealFolderOnceAndEndsWithoutTheSet) {
  // Six real folders below the start, each tested once; nothing found.
  Folder("p/q/r");
  Folder("s/t");
  Folder(".hidden");
  PutSet("p/q/r", 8);
  EXPECT_EQ(Search(PathOf(""), true), "(untouched)");
  EXPECT_EQ(FoldersTested, 7);
}

#if !defined(_WIN32)
TEST_F(FileSetSearch, LinksAreNotFollowedSoALoopEnds) {
  Folder("real/inner");
  std::filesystem::create_directory_symlink(PathOf(""), PathOf("real/up"));
  std::filesystem::create_directory_symlink(".", PathOf("real/inner/self"));
  EXPECT_EQ(Search(PathOf(""), true), "(untouched)");
  EXPECT_EQ(FoldersTested, 3) << "the start, real and real/inner";

  // A set below a link's target is found through the target's own path.
  PutSet("real/inner/set");
  FoldersTested = 0;
  EXPECT_EQ(Search(PathOf(""), true), PathOf("real/inner/set/"));
}

// A folder nested deeper than the longest path the system accepts can be
// neither listed nor looked into, for any user; the walk passes over it.
class TDeepChain {
public:
  TDeepChain(const std::string &base, int levels) : FBase(base) {
    int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < levels && fd >= 0; ++i) {
      ::mkdirat(fd, Name().c_str(), 0755);
      const int next = ::openat(fd, Name().c_str(), O_RDONLY | O_DIRECTORY);
      ::close(fd);
      fd = next;
    }
    if (fd >= 0)
      ::close(fd);
  }
  ~TDeepChain() {
    const int fd = ::open(FBase.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
      Remove(fd);
      ::close(fd);
    }
    ::rmdir((FBase + "/" + Name()).c_str());
  }

private:
  static std::string Name() { return std::string(200, 'd'); }
  // Removes the chain below the folder fd, deepest first.
  static void Remove(int fd) {
    const int child = ::openat(fd, Name().c_str(), O_RDONLY | O_DIRECTORY);
    if (child < 0)
      return;
    Remove(child);
    ::unlinkat(child, Name().c_str(), AT_REMOVEDIR);
    ::close(child);
  }
  std::string FBase;
};

TEST_F(FileSetSearch, AFolderThatCannotBeListedIsPassedOver) {
  const std::string deep = Folder("deep");
  TDeepChain chain(deep, 30); // 6000 characters
  PutSet("set");
  EXPECT_EQ(Search(PathOf(""), true), PathOf("set/"));
  PutSet("set", 8);
  std::filesystem::remove(PathOf("set/") + SetNames[8]);
  FoldersTested = 0;
  EXPECT_EQ(Search(PathOf(""), true), "(untouched)");
  EXPECT_LT(FoldersTested, 30) << "the walk stopped where the paths became too long";
  EXPECT_GT(FoldersTested, 3);
}
#endif

// The former walk's answer and the number of folders it tested.
std::string FindByLookups(const std::string &Folder, const std::vector<std::string> &Names, int &Turns) {
  std::string found = "(untouched)";
  FindFileSetByLookups(Folder, Names, [&Turns] { ++Turns; }, found);
  return found;
}

// A folder whose own path is Length characters long, made and removed
// through calls that take paths of any length, and the set's files in it.
// A folder or file it cannot make throws, with the system's error: the test
// then says why instead of finding nothing. One it cannot remove fails the
// test, as it would be in the way of the next one.
class TLongFolder {
public:
#if defined(_WIN32)
  TLongFolder(const std::string &Base, size_t Length) : FPath(Base) {
    CheckLength(Base, Length);
    while (FPath.size() < Length) {
      FPath += PathDelim + std::string(NameLength(Length - FPath.size(), 100), 'n');
      if (!::CreateDirectoryW(Long(FPath).c_str(), nullptr))
        Fail("cannot make the folder", FPath);
      FFolders.push_back(FPath);
    }
  }
  ~TLongFolder() {
    for (const std::string &file : FFiles)
      if (!::DeleteFileW(Long(file).c_str()))
        ADD_FAILURE() << "cannot delete " << file << ": error " << ::GetLastError();
    for (auto it = FFolders.rbegin(); it != FFolders.rend(); ++it)
      if (!::RemoveDirectoryW(Long(*it).c_str()))
        ADD_FAILURE() << "cannot remove " << *it << ": error " << ::GetLastError();
  }
  void PutFiles(const std::vector<std::string> &Names) {
    for (const std::string &name : Names) {
      const std::string file = FPath + PathDelim + name;
      const HANDLE h =
          ::CreateFileW(Long(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE)
        Fail("cannot make the file", file);
      ::CloseHandle(h);
      FFiles.push_back(file);
    }
  }
  bool Exists() const { return ::GetFileAttributesW(Long(FPath).c_str()) != INVALID_FILE_ATTRIBUTES; }

private:
  static std::wstring Long(const std::string &Path) {
    std::wstring wide = L"\\\\?\\";
    for (char c : Path)
      wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
  }
  [[noreturn]] static void Fail(const char *What, const std::string &Path) {
    const DWORD error = ::GetLastError();
    throw std::runtime_error(std::string(What) + " " + Path + ": error " + std::to_string(error));
  }
  std::vector<std::string> FFolders;
  std::vector<std::string> FFiles;
#else
  TLongFolder(const std::string &Base, size_t Length) : FPath(Base) {
    CheckLength(Base, Length);
    int fd = ::open(Base.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
      Fail("cannot open the folder", Base);
    FDescriptors.push_back(fd);
    while (FPath.size() < Length) {
      const std::string name(NameLength(Length - FPath.size(), 200), 'n');
      if (::mkdirat(fd, name.c_str(), 0755) != 0)
        Fail("cannot make the folder", FPath + PathDelim + name);
      FPath += PathDelim + name;
      FNames.push_back(name);
      fd = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
      if (fd < 0)
        Fail("cannot open the folder", FPath);
      FDescriptors.push_back(fd);
    }
  }
  ~TLongFolder() {
    for (const std::string &file : FFiles)
      if (::unlinkat(FDescriptors.back(), file.c_str(), 0) != 0)
        ADD_FAILURE() << "cannot delete " << file << ": " << std::strerror(errno);
    for (size_t i = FNames.size(); i-- > 0;) {
      ::close(FDescriptors[i + 1]);
      if (::unlinkat(FDescriptors[i], FNames[i].c_str(), AT_REMOVEDIR) != 0)
        ADD_FAILURE() << "cannot remove " << FNames[i] << ": " << std::strerror(errno);
    }
    if (!FDescriptors.empty())
      ::close(FDescriptors.front());
  }
  void PutFiles(const std::vector<std::string> &Names) {
    for (const std::string &name : Names) {
      const int fd = ::openat(FDescriptors.back(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
      if (fd < 0)
        Fail("cannot make the file", FPath + PathDelim + name);
      ::close(fd);
      FFiles.push_back(name);
    }
  }
  bool Exists() const { return ::faccessat(FDescriptors.back(), ".", F_OK, 0) == 0; }

private:
  [[noreturn]] void Fail(const char *What, const std::string &Path) {
    const int error = errno;
    for (const int fd : FDescriptors)
      ::close(fd);
    throw std::runtime_error(std::string(What) + " " + Path + ": " + std::strerror(error));
  }
  std::vector<int> FDescriptors; // the base, then each folder of the chain
  std::vector<std::string> FNames;
  std::vector<std::string> FFiles;
#endif
public:
  TLongFolder(const TLongFolder &) = delete;
  TLongFolder &operator=(const TLongFolder &) = delete;
  const std::string &Path() const { return FPath; }

private:
  static void CheckLength(const std::string &Base, size_t Length) {
    if (Length < Base.size() + 2)
      throw std::invalid_argument("no folder of " + std::to_string(Length) + " characters below " + Base);
  }
  // The next folder's name, for a path still Remaining characters short of
  // its length (separator included), at most Longest: never so long that
  // only a separator would be left for the last folder, whose name would
  // then be empty (the path ending in a separator, the folder not made). How
  // much is left depends on the temporary folder's path (the user's name).
  static size_t NameLength(size_t Remaining, size_t Longest) {
    size_t length = std::min(Remaining - 1, Longest);
    if (Remaining - 1 - length == 1)
      --length;
    return length;
  }
  std::string FPath;
};

TEST_F(FileSetSearch, OneListingPerFolderGivesTheAnswerOfOneLookupPerName) {
  const std::vector<std::string> capitals = [] {
    std::vector<std::string> names;
    for (const std::string &name : SetNames)
      names.push_back(UpperCase(name));
    return names;
  }();
  // Names with a byte above 0x7E: on Windows letter case is ignored for them
  // too (the ANSI code page's case table); elsewhere only ASCII letters fold.
  const std::vector<std::string> accented = {"Welml\xE2n.nkf2", "Aldenhof.nkf2"};
  const std::vector<std::string> accentedCapitals = {"WELML\xC2N.NKF2", "aldenhof.NKF2"};
  // A link (walked past, never into) and a way to place it per system.
  std::vector<std::string> links; // made on Windows, to be removed before their folders
  const auto removeLinks = [&links] {
#if defined(_WIN32)
    for (const std::string &at : links)
      EXPECT_TRUE(RemoveUnixFile(at)) << at;
#endif
    links.clear();
  };
  const auto link = [&](const std::string &Target, const std::string &At) {
#if defined(_WIN32)
    ASSERT_TRUE(MakeUnixLink(Target, PathOf(At)));
    links.push_back(PathOf(At));
#else
    std::filesystem::create_directory_symlink(Target, PathOf(At));
#endif
  };
  const auto putIn = [this](const std::string &At, const std::vector<std::string> &Names) {
    for (const std::string &name : Names)
      WriteFileBytes(Folder(At) + PathDelim + name, "x");
  };
  struct TCase {
    const char *Name;
    std::function<void()> Make;
    const char *Expected; // relative, with its trailing separator; nullptr: not found
    std::vector<std::string> Names;
  };
  const TCase cases[] = {
      {"set at the top", [&] { PutSet("t"); }, "t/", SetNames},
      {"set deep down", [&] { PutSet("t/1/2/3/4/5/6"); }, "t/1/2/3/4/5/6/", SetNames},
      {"after a decoy of eight names",
       [&] {
         PutSet("t/a", 8);
         PutSet("t/a/b", 8);
         PutSet("t/z/set");
       },
       "t/z/set/", SetNames},
      {"nothing but decoys",
       [&] {
         PutSet("t/a", 8);
         PutSet("t/b/c", 8);
         Folder("t/d/e");
       },
       nullptr, SetNames},
      {"names in capitals", [&] { PutSet("t/x/y", 9, true); }, "t/x/y/", SetNames},
      {"capital names asked for", [&] { PutSet("t/x/y"); }, "t/x/y/", capitals},
      {"one name a folder",
       [&] {
         PutSet("t/f", 8);
         Folder("t/f/" + SetNames[8] + "/inner");
       },
       "t/f/", SetNames},
      {"a folder before its subfolders",
       [&] {
         PutSet("t/p");
         PutSet("t/p/q");
       },
       "t/p/", SetNames},
      {"two sets side by side",
       [&] {
         for (const char *folder : {"t/s1", "t/s2", "t/s3"})
           PutSet(folder);
       },
       "", SetNames},
      {"beside a link loop",
       [&] {
         Folder("t/loop");
         link("..", "t/loop/up");
         link(".", "t/loop/self");
         PutSet("t/m/set");
       },
       "t/m/set/", SetNames},
      {"set only through a link",
       [&] {
         PutSet("elsewhere/set");
         Folder("t");
         link("../elsewhere", "t/link");
       },
       nullptr, SetNames},
#if defined(_WIN32)
      {"accented names in other case", [&] { putIn("t/w", accentedCapitals); }, "t/w/", accented},
#else
      {"accented names in other case", [&] { putIn("t/w", accentedCapitals); }, nullptr, accented},
#endif
      {"accented names as asked", [&] { putIn("t/w", accented); }, "t/w/", accented},
      {"an empty list of names", [&] { PutSet("t/e"); }, nullptr, {}},
  };
  for (const TCase &c : cases) {
    // The library's folder removal would walk into a link on Windows.
    removeLinks();
    std::filesystem::remove_all(PathOf("t"));
    std::filesystem::remove_all(PathOf("elsewhere"));
    c.Make();
    int oldTurns = 0;
    const std::string before = FindByLookups(PathOf("t"), c.Names, oldTurns);
    FoldersTested = 0;
    EXPECT_EQ(Search(PathOf("t"), true, c.Names), before) << c.Name;
    EXPECT_EQ(FoldersTested, oldTurns) << c.Name;
    if (!c.Expected) {
      EXPECT_EQ(before, "(untouched)") << c.Name;
    } else if (*c.Expected) {
      EXPECT_EQ(before, PathOf(c.Expected)) << c.Name;
    }
  }
  removeLinks();
}

TEST_F(FileSetSearch, ALongFolderIsMadeAtEveryLength) {
  // Every length the chain of names can end on, from a name of one
  // character to more than two whole names further: one of them once left
  // room for nothing but a separator.
  const std::string base = Folder("t");
  for (size_t length = base.size() + 2; length < base.size() + 2 + 2 * 202; ++length) {
    TLongFolder deep(base, length);
    ASSERT_EQ(deep.Path().size(), length);
    ASSERT_TRUE(deep.Exists()) << length;
    ASSERT_NE(deep.Path().back(), PathDelim) << length;
    ASSERT_EQ(deep.Path().find(std::string(2, PathDelim)), std::string::npos) << length;
    deep.PutFiles({SetNames[0]});
  }
}

TEST_F(FileSetSearch, NearThePathLimitOneListingGivesTheAnswerOfOneLookupPerName) {
  const std::string base = Folder("t");
  // Folders that can be listed, with the names inside near the longest path
  // the system takes, and a folder too deep to be listed at all. The longer of the two names is 13 characters: at the first length its
  // path is exactly as long as every call takes; at the second one longer,
  // where the system decides (under Wine it still opens, natively not).
  const size_t lengths[] = {MaxPathLength - 14, MaxPathLength - 13, MaxPathLength + 10};
  const std::optional<bool> findable[] = {true, std::nullopt, false};
  for (size_t i = 0; i < std::size(lengths); ++i) {
    TLongFolder deep(base, lengths[i]);
    ASSERT_TRUE(deep.Exists()) << i;
    ASSERT_EQ(deep.Path().size(), lengths[i]);
    deep.PutFiles(std::vector<std::string>(SetNames.begin(), SetNames.begin() + 2));
    const std::vector<std::string> names(SetNames.begin(), SetNames.begin() + 2);
    int oldTurns = 0;
    const std::string before = FindByLookups(base, names, oldTurns);
    FoldersTested = 0;
    EXPECT_EQ(Search(base, true, names), before) << "length " << lengths[i];
    EXPECT_EQ(FoldersTested, oldTurns) << "length " << lengths[i];
    if (findable[i]) {
      EXPECT_EQ(before, *findable[i] ? deep.Path() + PathDelim : "(untouched)") << "length " << lengths[i];
    }
  }
}

TEST_F(FileSetSearch, FindChartsChecksTheNamedFolderOnly) {
  PutSet("named");
  PutSet("outer/inner");
  std::string found = "old";
  int turns = 0;
  EXPECT_TRUE(FindCharts(PathOf("named"), SetNames, found, [&] { ++turns; }));
  EXPECT_EQ(found, PathOf("named/"));
  EXPECT_EQ(turns, 1);
  EXPECT_FALSE(FindCharts(PathOf("outer/"), SetNames, found, {}));
  EXPECT_EQ(found, "");
}

TEST(DriveList, HoldsOneLetterPerDriveInOrder) {
  std::vector<std::string> drives = {"stale"};
  GetDriveList(drives);
  const uint32_t mask = GetLogicalDriveMask();
  std::string letters;
  for (int bit = 0; bit < 26; ++bit)
    if (mask & (1u << bit))
      letters += static_cast<char>('A' + bit);
  std::string listed;
  for (const std::string &d : drives) {
    EXPECT_EQ(d.size(), 1u);
    listed += d;
  }
  EXPECT_EQ(listed, letters);
#if defined(_WIN32)
  EXPECT_NE(listed.find('C'), std::string::npos);
#else
  EXPECT_EQ(listed, "") << "no drive letters here";
  std::string found = "old";
  EXPECT_FALSE(FindCharts("", SetNames, found, {}));
  EXPECT_EQ(found, "");
#endif
}

} // namespace
