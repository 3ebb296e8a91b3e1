#include "VmRTLI.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "VmRTLIFormat.h"
#include "VmRTLIPlatform.h"

// ---------------------------------------------------------------------------
// Table reading

// A bounded reader over the table: past the end every read gives zeros and
// Ok() turns false, so a damaged table ends a scan instead of running off.
class TRTLICursor {
public:
  TRTLICursor(const uint8_t *Data, size_t Size) : FPos(Data), FEnd(Data + Size) {}

  bool Ok() const { return FOk; }
  void Skip(size_t Bytes) {
    if (!Need(Bytes))
      return;
    FPos += Bytes;
  }
  uint64_t LittleEndian(unsigned Bytes) {
    if (!Need(Bytes))
      return 0;
    uint64_t value = 0;
    for (unsigned i = 0; i < Bytes; ++i)
      value |= uint64_t(FPos[i]) << (8 * i);
    FPos += Bytes;
    return value;
  }
  uint32_t Varint() {
    if (!Need(1))
      return 0;
    switch (FPos[0] & 3) {
    case 0:
      return static_cast<uint32_t>(LittleEndian(1) >> 2);
    case 1:
      return static_cast<uint32_t>(LittleEndian(2) >> 2);
    case 2:
      return static_cast<uint32_t>(LittleEndian(3) >> 2);
    default:
      Skip(1);
      return static_cast<uint32_t>(LittleEndian(4));
    }
  }
  void Pair(uint32_t &A, int32_t &B) {
    using namespace RTLIFormat;
    A = 0;
    B = 0;
    if (!Need(1))
      return;
    const unsigned s = FPos[0] & 0x3F;
    if (s < PairShortLimit) {
      const uint8_t byte = static_cast<uint8_t>(LittleEndian(1));
      A = s + 1;
      B = (byte >> 6) + 1;
    } else if (s == PairWideSelector) {
      Skip(1);
      A = static_cast<uint32_t>(LittleEndian(4));
      B = static_cast<int32_t>(static_cast<uint32_t>(LittleEndian(4)));
    } else {
      const unsigned length = PackedPairLength(s);
      const unsigned aBits = PackedPairABits(length), bBits = PackedPairBBits(length);
      const uint64_t v = LittleEndian(length);
      A = static_cast<uint32_t>(((v >> 6) & ((uint64_t(1) << aBits) - 1)) + 1);
      B = static_cast<int32_t>(int64_t((v >> (6 + aBits)) & ((uint64_t(1) << bBits) - 1)) -
                               (int64_t(1) << (bBits - 1)));
    }
  }
  // Where a name starts; the name itself is descrambled only when wanted.
  const uint8_t *SkipName() {
    const uint8_t *name = FPos;
    if (Need(1))
      Skip(1 + name[0]);
    return FOk ? name : nullptr;
  }

  static std::string Descramble(const uint8_t *Name) {
    std::string text;
    if (Name == nullptr)
      return text;
    text.resize(Name[0]);
    for (unsigned i = 1; i <= Name[0]; ++i)
      text[i - 1] = static_cast<char>(Name[i] ^ RTLIFormat::NameMask(i));
    return text;
  }

private:
  bool Need(size_t Bytes) {
    if (FOk && size_t(FEnd - FPos) >= Bytes)
      return true;
    FOk = false;
    FPos = FEnd;
    return false;
  }

  const uint8_t *FPos;
  const uint8_t *FEnd;
  bool FOk = true;
};

namespace {

constexpr size_t HeaderSize = RTLIFormat::SignatureSize + RTLIFormat::TimestampSize;
const char *const DispatcherUnit = "System";
const char *const DispatcherRoutine = "@HandleAnyException";
const char *const StartOfUnit = "<start of unit>";
const char *const EndOfUnit = "<end of unit>";
constexpr int64_t MillisecondsPerDay = 86400000;
// 30 December 1899, the date-time origin, in days before 1 January 1970.
constexpr int64_t DateTimeOriginBeforeUnix = 25569;

bool SameTextIgnoringCase(const std::string &A, const char *B) {
  const size_t length = std::strlen(B);
  if (A.size() != length)
    return false;
  for (size_t i = 0; i < length; ++i)
    if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(B[i])))
      return false;
  return true;
}

uint32_t ReadLE32(const uint8_t *P) { return P[0] | (P[1] << 8) | (P[2] << 16) | (uint32_t(P[3]) << 24); }
uint16_t ReadLE16(const uint8_t *P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }

} // namespace

TRTLITable::TRTLITable(const void *Data, size_t Size, uintptr_t ModuleBase)
    : FData(static_cast<const uint8_t *>(Data)), FSize(Size), FModuleBase(ModuleBase) {}

bool TRTLITable::SignatureValid() const {
  return FData != nullptr && FSize >= HeaderSize &&
         std::memcmp(FData, RTLIFormat::Signature, RTLIFormat::SignatureSize) == 0;
}

double TRTLITable::Timestamp() const {
  if (!SignatureValid())
    return 0;
  double stamp;
  std::memcpy(&stamp, FData + RTLIFormat::SignatureSize, sizeof stamp);
  return stamp;
}

bool TRTLITable::Lookup(uintptr_t Address, TLineInfo &Info) const {
  Info = TLineInfo();
  if (!SignatureValid())
    return false;
  const uintptr_t origin = FModuleBase + RTLIFormat::LogicalOrigin;
  // Below the origin the difference wraps far past any 32-bit table address.
  const uint64_t logical = uint64_t(Address - origin);
  TRTLICursor cursor(FData + HeaderSize, FSize - HeaderSize);

  const uint32_t unitCount = cursor.Varint();
  uint64_t start = cursor.Varint();
  bool unitFound = false;
  for (uint32_t k = 0; k < unitCount && cursor.Ok(); ++k) {
    const uint8_t *name = cursor.SkipName();
    const uint64_t end = cursor.Varint();
    if (!unitFound && start <= logical && logical < end && cursor.Ok()) {
      unitFound = true;
      Info.UnitName = TRTLICursor::Descramble(name);
      Info.UnitStart = static_cast<uintptr_t>(start + origin);
      Info.UnitEnd = static_cast<uintptr_t>(end + origin);
    }
    start = end;
  }
  if (!unitFound || !cursor.Ok())
    return true;

  const uint32_t routineCount = cursor.Varint();
  start = cursor.Varint();
  bool routineFound = false, wantNext = false;
  for (uint32_t k = 0; k < routineCount && cursor.Ok(); ++k) {
    const uint8_t *name = cursor.SkipName();
    const uint64_t size = cursor.Varint();
    if (wantNext) {
      Info.NextRoutineName = TRTLICursor::Descramble(name);
      wantNext = false;
    }
    if (!routineFound && start <= logical && logical < start + size && cursor.Ok()) {
      routineFound = wantNext = true;
      Info.RoutineName = TRTLICursor::Descramble(name);
      Info.RoutineStart = static_cast<uintptr_t>(start + origin);
      Info.RoutineEnd = static_cast<uintptr_t>(start + size + origin);
    }
    start += size;
  }
  if (routineFound) {
    if (Info.UnitStart > Info.RoutineStart) {
      Info.RoutineStart = Info.UnitStart;
      Info.RoutineName = StartOfUnit;
    }
    if (Info.UnitEnd <= Info.RoutineEnd) {
      Info.RoutineEnd = Info.UnitEnd;
      Info.NextRoutineName = EndOfUnit;
    }
  }
  if (cursor.Ok())
    ReadLines(cursor, logical, Info);
  return !(SameTextIgnoringCase(Info.UnitName, DispatcherUnit) && Info.RoutineName == DispatcherRoutine);
}

void TRTLITable::ReadLines(TRTLICursor &Cursor, uint64_t Logical, TLineInfo &Info) const {
  const uint32_t fileCount = Cursor.Varint();
  for (uint32_t f = 0; f < fileCount && Cursor.Ok(); ++f) {
    const uint8_t *name = Cursor.SkipName();
    const uint32_t entries = Cursor.Varint();
    uint32_t first;
    int32_t firstLine;
    Cursor.Pair(first, firstLine);
    uint64_t start = first;
    // Steps are summed wide: a table whose lines leave the 32-bit range is
    // damaged, and gives no line information from there on.
    int64_t line = firstLine;
    for (uint32_t e = 0; e < entries && Cursor.Ok(); ++e) {
      uint32_t span;
      int32_t step;
      Cursor.Pair(span, step);
      if (Cursor.Ok() && start <= Logical && Logical < start + span) {
        Info.FileName = TRTLICursor::Descramble(name);
        Info.LineNumber = static_cast<int32_t>(line);
        Info.LineAddress = static_cast<uintptr_t>(start + FModuleBase + RTLIFormat::LogicalOrigin);
        return;
      }
      start += span;
      line += step;
      if (line < INT32_MIN || line > INT32_MAX)
        return;
    }
  }
}

std::string TRTLITable::StackTraceText(const uintptr_t *Addresses, size_t Count) const {
  if (!Available())
    return NoRTLIText;
  std::string text = "RTLI generation timestamp: " + FormatRTLITimestamp(Timestamp()) + "\r\n\r\nStack trace:\r\n";
  struct TRow {
    uintptr_t Address;
    TLineInfo Info;
  };
  std::vector<TRow> rows;
  int width = 0;
  for (size_t i = 0; i < Count; ++i) {
    TRow row{Addresses[i], {}};
    if (!Lookup(row.Address, row.Info))
      continue;
    width = std::max(width, static_cast<int>(row.Info.FileName.size()));
    rows.push_back(std::move(row));
  }
  text += Format("%8s %*s %6s %s\r\n", "Logical", width, "File", "LineNr", "Routine");
  for (const TRow &row : rows) {
    const uint32_t logical = static_cast<uint32_t>(row.Address - FModuleBase - RTLIFormat::LogicalOrigin);
    const std::string routine = row.Info.UnitName + "." + row.Info.RoutineName;
    if (!row.Info.FileName.empty())
      text += Format("%8.8X %*s %6d %s\r\n", logical, width, row.Info.FileName.c_str(), row.Info.LineNumber,
                     routine.c_str());
    else
      text += Format("%8.8X %*s %6s %s\r\n", logical, width, "", "", routine.c_str());
  }
  return text + "\r\n\r\n";
}

std::string FormatRTLITimestamp(double DateTime) {
  using namespace std::chrono;
  const int64_t total = std::llround(DateTime * MillisecondsPerDay);
  int64_t day = total / MillisecondsPerDay, ms = total % MillisecondsPerDay;
  if (ms < 0) {
    --day;
    ms += MillisecondsPerDay;
  }
  const year_month_day date{sys_days{days{day - DateTimeOriginBeforeUnix}}};
  const int64_t seconds = ms / 1000;
  return Format("%04d/%02u/%02u %02d:%02d:%02d", static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

// ---------------------------------------------------------------------------
// Image headers

namespace {

constexpr uint32_t NewHeaderOffsetField = 0x3C;
constexpr uint32_t FileHeaderSize = 20;
constexpr uint32_t SizeOfCodeField = 4;
constexpr uint32_t BaseOfCodeField = 20;
constexpr uint16_t PE32Magic = 0x10B;
constexpr uint32_t PE32ImportDirectory = 104;
constexpr uint32_t PE32PlusImportDirectory = 120;
constexpr uint32_t ImportDescriptorSize = 20;
constexpr uint32_t DescriptorNameField = 12;
constexpr uint32_t DescriptorFirstThunkField = 16;

// The optional header, after checking both signatures.
const uint8_t *OptionalHeader(const uint8_t *Image) {
  if (Image[0] != 'M' || Image[1] != 'Z')
    throw EHookError("Not a valid MZ-file!");
  const uint8_t *pe = Image + ReadLE32(Image + NewHeaderOffsetField);
  if (std::memcmp(pe, "PE\0\0", 4) != 0)
    throw EHookError("Not a valid PE-file!");
  return pe + 4 + FileHeaderSize;
}

} // namespace

TCodeSection ReadCodeSection(const uint8_t *Image) {
  const uint8_t *optional = OptionalHeader(Image);
  TCodeSection code;
  code.Start = reinterpret_cast<uintptr_t>(Image) + ReadLE32(optional + BaseOfCodeField);
  code.End = code.Start + ReadLE32(optional + SizeOfCodeField);
  return code;
}

std::vector<uint32_t> ImportAddressSlots(const uint8_t *Image, const char *DllName) {
  const uint8_t *optional = OptionalHeader(Image);
  const bool plus = ReadLE16(optional) != PE32Magic;
  const uint32_t slotSize = plus ? 8 : 4;
  const uint32_t imports = ReadLE32(optional + (plus ? PE32PlusImportDirectory : PE32ImportDirectory));
  std::vector<uint32_t> slots;
  if (imports == 0)
    return slots;
  for (const uint8_t *descriptor = Image + imports; ReadLE32(descriptor + DescriptorNameField) != 0;
       descriptor += ImportDescriptorSize) {
    const std::string name = reinterpret_cast<const char *>(Image + ReadLE32(descriptor + DescriptorNameField));
    if (!SameTextIgnoringCase(name, DllName))
      continue;
    for (uint32_t slot = ReadLE32(descriptor + DescriptorFirstThunkField);
         ReadLE32(Image + slot) != 0 || (plus && ReadLE32(Image + slot + 4) != 0); slot += slotSize)
      slots.push_back(slot);
  }
  return slots;
}

// ---------------------------------------------------------------------------
// The recorded stack. Process-wide and unlocked: it always holds the stack of
// the most recent raise of any thread, and readers take the text right after
// the exception they report.

namespace {

uintptr_t GStack[MaxStackEntries];
int GStackCount = 0;
bool GCapturing = false;

// Starts a new record: entry 0 is the fault address, when there is one.
void StartRecord(uintptr_t FaultAddress) {
  GStackCount = 0;
  if (FaultAddress != 0)
    GStack[GStackCount++] = FaultAddress;
}

// Clears the re-entrancy flag however the capture ends.
struct TCaptureGuard {
  TCaptureGuard() { GCapturing = true; }
  ~TCaptureGuard() { GCapturing = false; }
};

} // namespace

bool IsRTLIAvailable() { return OwnRTLITable().Available(); }

double GetRTLITimestamp() { return OwnRTLITable().Timestamp(); }

bool LookupAddress(uintptr_t Address, TLineInfo &Info) { return OwnRTLITable().Lookup(Address, Info); }

std::string GetStackTraceText() { return OwnRTLITable().StackTraceText(GStack, static_cast<size_t>(GStackCount)); }

__attribute__((noinline)) void CaptureStackTrace(uintptr_t FaultAddress) {
  StartRecord(FaultAddress);
  WalkOwnStack(GStack, GStackCount, MaxStackEntries, nullptr);
  // Keeps this frame (and so the walk's count of frames to drop) out of a tail call.
  asm volatile("" ::: "memory");
}

std::vector<uintptr_t> GetRecordedStack() { return std::vector<uintptr_t>(GStack, GStack + GStackCount); }

__attribute__((noinline)) void StackTraceHook(uintptr_t Address, bool IsOSException, const void *FaultContext) {
  if (GCapturing)
    return;
  TCaptureGuard guard;
  if (IsOSException) {
    StartRecord(Address);
    WalkOwnStack(GStack, GStackCount, MaxStackEntries, FaultContext);
  } else {
    CaptureStackTrace(0);
  }
}
