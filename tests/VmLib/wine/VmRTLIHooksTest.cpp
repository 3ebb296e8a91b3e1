// The raise hooks and the frame walk for real, in a program that carries its
// own line-information table (linked through tools/rtli/rtli-link).
#include "VmRTLI.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

const char *const ThisFile = "VmRTLIHooksTest.cpp";
const char *const ThisUnit = "VmRTLIHooksTest";

// Keeps a call out of tail position, so that its caller's frame stays.
#define KEEP_FRAME() asm volatile("" ::: "memory")

int ThrowLine, Level2CallLine, Level3CallLine;

[[gnu::noinline]] void Level1() {
  ThrowLine = __LINE__ + 1;
  throw EHookError("three calls deep");
}

[[gnu::noinline]] void Level2() {
  Level2CallLine = __LINE__ + 1;
  Level1();
  KEEP_FRAME();
}

[[gnu::noinline]] void Level3() {
  Level3CallLine = __LINE__ + 1;
  Level2();
  KEEP_FRAME();
}

volatile int Sink;

// An unmapped address; reading it is the access violation the tests make.
constexpr uintptr_t BadAddress = 0x123;
constexpr int FaultInstructionLength = 2; // mov (%eax),%eax / mov (%rax),%eax: 8B 00
int FaultLine;
uintptr_t FaultSeenAt;

// It keeps a local on the stack: a routine that needs no stack gets no frame
// of its own on i686, even with frame pointers (the walk then goes on from its
// caller's frame and the caller's row is missing).
[[gnu::noinline]] void Fault() {
  volatile int local = 0;
  int value;
#if defined(__x86_64__)
  FaultLine = __LINE__ + 1;
  asm volatile("movl (%%rax), %%eax" : "=a"(value) : "a"(BadAddress) : "memory");
#else
  FaultLine = __LINE__ + 1;
  asm volatile("movl (%%eax), %%eax" : "=a"(value) : "a"(BadAddress) : "memory");
#endif
  Sink = value + local;
}

#if !defined(__x86_64__)
int FaultInDataEbpLine;

// Code built without frame pointers uses EBP for data; here it holds a small
// number when the read faults. EBP is put back after the read is stepped over.
[[gnu::noinline]] void FaultWithDataInEbp() {
  volatile int local = 0;
  int value;
  FaultInDataEbpLine = __LINE__ + 1;
  asm volatile("pushl %%ebp\n\tmovl $0x100, %%ebp\n\tmovl (%%eax), %%eax\n\tpopl %%ebp"
               : "=a"(value)
               : "a"(BadAddress)
               : "memory");
  Sink = value + local;
}
#endif

// Last in the chain, after the recorder: steps over the faulting read.
LONG CALLBACK SkipFaultingRead(EXCEPTION_POINTERS *Pointers) {
  const EXCEPTION_RECORD &record = *Pointers->ExceptionRecord;
  if (record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record.NumberParameters < 2 ||
      record.ExceptionInformation[1] != BadAddress)
    return EXCEPTION_CONTINUE_SEARCH;
  FaultSeenAt = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
#if defined(__x86_64__)
  Pointers->ContextRecord->Rip += FaultInstructionLength;
#else
  Pointers->ContextRecord->Eip += FaultInstructionLength;
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

class TFaultRecovery {
public:
  TFaultRecovery() : FHandler(AddVectoredExceptionHandler(0, SkipFaultingRead)) {}
  ~TFaultRecovery() { RemoveVectoredExceptionHandler(FHandler); }

private:
  void *FHandler;
};

[[gnu::noinline]] int Recurse(int Depth, void (*Bottom)()) {
  if (Depth <= 1) {
    Bottom();
    KEEP_FRAME();
    return 0;
  }
  const int result = Recurse(Depth - 1, Bottom) + 1;
  KEEP_FRAME();
  return result;
}

void ThrowAtBottom() { throw EHookError("bottom"); }

uintptr_t ModuleBase() { return reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)); }

std::vector<std::string> Lines(const std::string &Text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = Text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(Text.substr(start, end - start + 2));
  return lines;
}

// The file column's width, from the heading row of a trace text.
int FileWidth(const std::vector<std::string> &Lines) {
  for (int width = 0; width < 256; ++width)
    if (Lines.size() > 3 && Lines[3] == Format("%8s %*s %6s %s\r\n", "Logical", width, "File", "LineNr", "Routine"))
      return width;
  ADD_FAILURE() << "no heading row";
  return -1;
}

std::string Row(uintptr_t Address, int Width, int Line, const std::string &Routine) {
  const uint32_t logical = static_cast<uint32_t>(Address - ModuleBase() - 0x1000);
  return Format("%8.8X %*s %6d %s.%s\r\n", logical, Width, ThisFile, Line, ThisUnit, Routine.c_str());
}

TEST(VmRTLIHooks, TheProgramCarriesItsTable) {
  ASSERT_TRUE(IsRTLIAvailable());
  EXPECT_GT(GetRTLITimestamp(), 45000.0); // made by this build, after 2023
  TLineInfo info;
  ASSERT_TRUE(LookupAddress(reinterpret_cast<uintptr_t>(&Level2) + 1, info));
  EXPECT_EQ(info.UnitName, ThisUnit);
  EXPECT_EQ(info.RoutineName, "(anonymous namespace)::Level2");
  EXPECT_EQ(info.FileName, ThisFile);
}

TEST(VmRTLIHooks, AThrowThreeCallsDeepNamesItsRoutinesFilesAndLines) {
  try {
    Level3();
    FAIL() << "nothing raised";
  } catch (const EHookError &) {
  }
  const std::vector<uintptr_t> stack = GetRecordedStack();
  const std::vector<std::string> lines = Lines(GetStackTraceText());
  ASSERT_GE(stack.size(), 3u);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0].rfind("RTLI generation timestamp: ", 0), 0u);
  EXPECT_EQ(lines[1], "\r\n");
  EXPECT_EQ(lines[2], "Stack trace:\r\n");
  const int width = FileWidth(lines);
  EXPECT_EQ(lines[4], Row(stack[0], width, ThrowLine, "(anonymous namespace)::Level1"));
  EXPECT_EQ(lines[5], Row(stack[1], width, Level2CallLine, "(anonymous namespace)::Level2"));
  EXPECT_EQ(lines[6], Row(stack[2], width, Level3CallLine, "(anonymous namespace)::Level3"));
}

TEST(VmRTLIHooks, ADeepStackKeepsFiftyEntries) {
  try {
    Recurse(60, ThrowAtBottom);
  } catch (const EHookError &) {
  }
  const std::vector<uintptr_t> stack = GetRecordedStack();
  ASSERT_EQ(stack.size(), 50u);
  TLineInfo info;
  ASSERT_TRUE(LookupAddress(stack[0], info));
  EXPECT_EQ(info.RoutineName, "(anonymous namespace)::ThrowAtBottom");
  for (size_t i = 1; i < stack.size(); ++i) {
    ASSERT_TRUE(LookupAddress(stack[i], info));
    EXPECT_EQ(info.RoutineName, "(anonymous namespace)::Recurse") << i;
  }
}

TEST(VmRTLIHooks, AnAccessViolationShowsTheFaultingAddressFirst) {
  // qemu-user hands Wine the fault as an illegal instruction, with no access
  // address, and the process ends in the debugger: nothing of ours to test.
  if (std::getenv("VM_EMU32_QEMU"))
    GTEST_SKIP() << "hardware faults are not delivered faithfully under user-mode emulation";
  TFaultRecovery recovery;
  Level2CallLine = 0;
  Fault();
  const std::vector<uintptr_t> stack = GetRecordedStack();
  ASSERT_GE(stack.size(), 2u);
  EXPECT_EQ(stack[0], FaultSeenAt);
  const std::vector<std::string> lines = Lines(GetStackTraceText());
  ASSERT_GE(lines.size(), 7u);
  const int width = FileWidth(lines);
  EXPECT_EQ(lines[4], Row(FaultSeenAt, width, FaultLine, "(anonymous namespace)::Fault"));
  TLineInfo info;
  ASSERT_TRUE(LookupAddress(stack[1], info));
  EXPECT_EQ(info.RoutineName,
            "(anonymous namespace)::VmRTLIHooks_AnAccessViolationShowsTheFaultingAddressFirst_Test::TestBody");

  Recurse(60, Fault);
  const std::vector<uintptr_t> deep = GetRecordedStack();
  ASSERT_EQ(deep.size(), 50u);
  EXPECT_EQ(deep[0], FaultSeenAt);
  ASSERT_TRUE(LookupAddress(deep[1], info));
  EXPECT_EQ(info.RoutineName, "(anonymous namespace)::Recurse");
}

#if !defined(__x86_64__)
// The i686 walk starts at the fault's EBP. Holding data, it must not be read
// (a second access violation inside the handler would hide the first and the
// user would get no report): the report still has the faulting row.
TEST(VmRTLIHooks, AFaultWithDataInEbpStillShowsItsRow) {
  if (std::getenv("VM_EMU32_QEMU"))
    GTEST_SKIP() << "hardware faults are not delivered faithfully under user-mode emulation";
  TFaultRecovery recovery;
  FaultWithDataInEbp();
  const std::vector<uintptr_t> stack = GetRecordedStack();
  ASSERT_GE(stack.size(), 1u);
  EXPECT_EQ(stack[0], FaultSeenAt);
  const std::vector<std::string> lines = Lines(GetStackTraceText());
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[4], Row(FaultSeenAt, FileWidth(lines), FaultInDataEbpLine, "(anonymous namespace)::FaultWithDataInEbp"));
}
#endif

// How many of this program's Kernel32 import slots hold Address.
int SlotsHolding(const void *Address) {
  uint8_t *image = reinterpret_cast<uint8_t *>(GetModuleHandleA(nullptr));
  int count = 0;
  for (uint32_t rva : ImportAddressSlots(image, "KERNEL32.dll"))
    count += *reinterpret_cast<void *const volatile *>(image + rva) == Address;
  return count;
}

constexpr DWORD TestRaiseCode = 0xE0001234;
bool ContinuedRaiseSeen;

LONG CALLBACK ContinueTestRaise(EXCEPTION_POINTERS *Pointers) {
  if (Pointers->ExceptionRecord->ExceptionCode != TestRaiseCode)
    return EXCEPTION_CONTINUE_SEARCH;
  ContinuedRaiseSeen = true;
  return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(VmRTLIHooks, RaiseExceptionIsRedirectedAndStillRaises) {
  const void *real =
      reinterpret_cast<const void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "RaiseException"));
  // A dllimport function's address is read from its import slot (our call
  // below makes sure that the program imports it). Kept in a volatile: the
  // compiler takes the slot for constant and could read it again later.
  const void *volatile imported = reinterpret_cast<const void *>(&RaiseException);
  const void *replacement = imported;
  ASSERT_NE(replacement, real);
  EXPECT_EQ(SlotsHolding(real), 0);
  ASSERT_EQ(SlotsHolding(replacement), 1);
  // The DLL name is compared without regard to case.
  ASSERT_TRUE(PatchImports("kernel32.DLL", replacement, real));
  EXPECT_EQ(SlotsHolding(replacement), 0);
  EXPECT_EQ(SlotsHolding(real), 1);
  EXPECT_FALSE(PatchImports("user32.dll", real, replacement));
  ASSERT_TRUE(PatchImports("KERNEL32.dll", real, replacement));
  EXPECT_EQ(SlotsHolding(replacement), 1);

  // A continuable raise that a handler continues comes back: the replacement
  // hands every raise on to the real function.
  ContinuedRaiseSeen = false;
  void *handler = AddVectoredExceptionHandler(1, ContinueTestRaise);
  RaiseException(TestRaiseCode, 0, 0, nullptr);
  RemoveVectoredExceptionHandler(handler);
  EXPECT_TRUE(ContinuedRaiseSeen);
}

std::vector<std::string> ReadLines(const std::string &Path) {
  std::ifstream in(Path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

std::string BaseName(const std::string &Path) { return Path.substr(Path.find_last_of("/\\") + 1); }

// addr2line's answer "path:line [(discriminator n)]" as file base name and
// line; "??" and "?" where it knows none.
std::pair<std::string, std::string> FileAndLine(std::string Answer) {
  const size_t discriminator = Answer.find(" (discriminator");
  if (discriminator != std::string::npos)
    Answer.erase(discriminator);
  const size_t colon = Answer.rfind(':');
  return {BaseName(Answer.substr(0, colon)), Answer.substr(colon + 1)};
}

// Addresses sampled across this program's code by rtli-peer-check, with what
// binutils say about them: addr2line on the unstripped file for file and
// line, nm (names through c++filt -p) for the routine.
TEST(VmRTLIPeer, AgreesWithAddr2lineAndTheSymbolTable) {
  const char *dir = std::getenv("VM_RTLI_PEER_DIR");
  if (dir == nullptr)
    GTEST_SKIP() << "run by tests/VmLib/wine/rtli-peer-check";
  const std::string at = std::string(dir) + "/";
  const std::vector<std::string> addresses = ReadLines(at + "addresses.txt"), answers = ReadLines(at + "addr2line.txt"),
                                 symbols = ReadLines(at + "symbols.txt"), names = ReadLines(at + "names.txt"),
                                 base = ReadLines(at + "imagebase.txt");
  ASSERT_GE(addresses.size(), 1000u);
  ASSERT_EQ(answers.size(), addresses.size());
  ASSERT_EQ(symbols.size(), names.size());
  ASSERT_EQ(base.size(), 1u);
  const uint64_t imageBase = std::stoull(base[0], nullptr, 16);
  const uintptr_t loadedBase = ModuleBase();

  // The symbol table's code symbols, by address, with the functions' section
  // symbols of the libraries that have no function symbols (the table keeps
  // names of at most 255 bytes).
  std::map<uint64_t, std::set<std::string>> routines;
  for (size_t i = 0; i < symbols.size(); ++i) {
    std::istringstream in(symbols[i]);
    std::string address, type;
    in >> address >> type;
    std::string raw;
    in >> raw;
    const bool function = !raw.empty() && (raw[0] != '.' || raw.rfind(".text$", 0) == 0);
    if (type.size() == 1 && std::string("tTwW").find(type[0]) != std::string::npos && function && !names[i].empty())
      routines[std::stoull(address, nullptr, 16)].insert(names[i].substr(0, 255));
  }

  size_t lineAgreed = 0, routineAgreed = 0;
  std::string disagreements;
  for (size_t i = 0; i < addresses.size(); ++i) {
    const uint64_t vma = std::stoull(addresses[i], nullptr, 16);
    TLineInfo info;
    ASSERT_TRUE(LookupAddress(static_cast<uintptr_t>(vma - imageBase + loadedBase), info));
    const auto [file, line] = FileAndLine(answers[i]);
    const bool known = file != "??" && line != "?" && line != "0";
    const bool lineSame = known ? info.FileName == file && std::to_string(info.LineNumber) == line
                                : info.FileName.empty() || info.LineNumber == 0;
    auto routine = routines.upper_bound(vma);
    const bool routineSame = routine != routines.begin() && std::prev(routine)->second.count(info.RoutineName) > 0;
    lineAgreed += lineSame;
    routineAgreed += routineSame;
    if (!lineSame || !routineSame)
      disagreements += Format("%s: addr2line %s, nm %s; table %s:%d %s\n", addresses[i].c_str(), answers[i].c_str(),
                              routine == routines.begin() ? "-" : std::prev(routine)->second.begin()->c_str(),
                              info.FileName.c_str(), info.LineNumber, info.RoutineName.c_str());
  }
  std::printf("peer check: %zu addresses, file and line agree for %zu (%.2f %%), routine for %zu\n",
              addresses.size(), lineAgreed, 100.0 * lineAgreed / addresses.size(), routineAgreed);
  std::fputs(disagreements.c_str(), stdout);
  EXPECT_GE(lineAgreed * 100, addresses.size() * 99);
  EXPECT_EQ(routineAgreed, addresses.size());
}

} // namespace
