// The Windows side of VmRTLI: the program's own table resource, the raise
// hooks and the frame walk.
//
// How a raise reaches the recorder with this toolchain:
// - C++ throws. The i686 run-time unwinds with DWARF tables and never calls
//   RaiseException; the x86-64 one raises through RaiseException with its
//   own code. Neither is the shape the import hook below looks for, so every
//   throw is caught at the run-time's throw entry instead: the programs are
//   linked with --wrap=__cxa_throw, and __wrap___cxa_throw records the stack
//   before the real throw. A rethrow (__cxa_rethrow) keeps the record of the
//   original throw, which is the more useful one.
// - Operating-system exceptions (access violations and the like): a vectored
//   handler, first in the chain, records the faulting address and the stack
//   of the faulting frame, then lets the search continue. C++ throws raised
//   through RaiseException carry a code of the "customer" kind and are left
//   to the throw hook, so one throw is recorded once.
// - RaiseException calls of the language run-time's own shape (code
//   0x0EEDFADE, seven arguments on the stack): this module's import of
//   RaiseException is redirected to a replacement that records them.
#include "VmRTLIPlatform.h"

#include <windows.h>

#include <cstring>

#include "VmRTLIFormat.h"

namespace {

constexpr DWORD RunTimeExceptionCode = 0x0EEDFADE;
constexpr DWORD RunTimeExceptionArgs = 7;
constexpr DWORD NonContinuable = 1;
constexpr DWORD SeverityMask = 0xF0000000; // severity bits and the customer bit
constexpr DWORD SystemErrorSeverity = 0xC0000000;
constexpr int OwnFramesToDrop = 3;
constexpr uint8_t PushOpcode = 0x68;
constexpr uint8_t JumpOpcode = 0xE9;
constexpr int StubJumpOffset = 5;

using TRaiseException = void(WINAPI *)(DWORD, DWORD, DWORD, const ULONG_PTR *);

uint8_t *OwnImage() { return reinterpret_cast<uint8_t *>(GetModuleHandleA(nullptr)); }

bool GHookSet = false;
TRaiseException GRealRaiseException = nullptr;

void WINAPI ReplacementRaiseException(DWORD Code, DWORD Flags, DWORD ArgCount, const ULONG_PTR *Args) {
  // The run-time's raise pushes its arguments right above the argument-array
  // parameter; nothing else raises that shape.
  const volatile void *argsSlot = &Args;
  if (Flags == NonContinuable && Code == RunTimeExceptionCode && ArgCount == RunTimeExceptionArgs &&
      static_cast<const void *>(Args) == static_cast<const void *const *>(const_cast<const void *>(argsSlot)) + 1 &&
      GHookSet)
    StackTraceHook(Args[0], false, nullptr);
  GRealRaiseException(Code, Flags, ArgCount, Args);
}

LONG CALLBACK OnOSException(EXCEPTION_POINTERS *Pointers) {
  const DWORD code = Pointers->ExceptionRecord->ExceptionCode;
  if (GHookSet && (code & SeverityMask) == SystemErrorSeverity) {
    try {
      StackTraceHook(reinterpret_cast<uintptr_t>(Pointers->ExceptionRecord->ExceptionAddress), true,
                     Pointers->ContextRecord);
    } catch (...) {
      // No exception may leave the dispatcher's call; the record stays empty.
    }
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// Windows 9x hands out a push/jump stub for a system function; two stubs
// stand for the same function when they push the same value.
bool IsWin9xStub(const void *Address) {
  const uint8_t *code = static_cast<const uint8_t *>(Address);
  return code[0] == PushOpcode && code[StubJumpOffset] == JumpOpcode;
}

bool SameImport(const void *Slot, const void *Address, bool Win9x) {
  if (Slot == Address)
    return true;
  if (!Win9x || !IsWin9xStub(Slot) || !IsWin9xStub(Address))
    return false;
  return std::memcmp(static_cast<const uint8_t *>(Slot) + 1, static_cast<const uint8_t *>(Address) + 1, 4) == 0;
}

// The hooks' lifetime: the unit's initialisation and finalisation.
class TRTLIHooks {
public:
  TRTLIHooks() {
    FHandler = AddVectoredExceptionHandler(1, OnOSException);
    GRealRaiseException = reinterpret_cast<TRaiseException>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "RaiseException")));
    if (GRealRaiseException != nullptr &&
        !PatchImports("Kernel32.dll", reinterpret_cast<const void *>(GRealRaiseException),
                      reinterpret_cast<const void *>(&ReplacementRaiseException)))
      GRealRaiseException = nullptr;
    GHookSet = true;
    OwnRTLITable();
  }
  ~TRTLIHooks() {
    GHookSet = false;
    if (GRealRaiseException != nullptr &&
        PatchImports("Kernel32.dll", reinterpret_cast<const void *>(&ReplacementRaiseException),
                     reinterpret_cast<const void *>(GRealRaiseException)))
      GRealRaiseException = nullptr;
    if (FHandler != nullptr)
      RemoveVectoredExceptionHandler(FHandler);
  }
  TRTLIHooks(const TRTLIHooks &) = delete;
  TRTLIHooks &operator=(const TRTLIHooks &) = delete;

private:
  void *FHandler = nullptr;
};

const TRTLIHooks GHooks;

// The stack of the walking thread: each walk uses its own thread's bounds,
// so the loader thread's walk stays inside the loader's stack.
uintptr_t StackBase() {
  // NT_TIB.StackBase of the thread's own TEB (NtCurrentTeb's inline read
  // trips the compiler's array-bounds check).
  uintptr_t base;
#if defined(__x86_64__)
  asm("movq %%gs:8, %0" : "=r"(base));
#else
  asm("movl %%fs:4, %0" : "=r"(base));
#endif
  return base;
}

const TCodeSection &OwnCodeSection() {
  static const TCodeSection code = ReadCodeSection(OwnImage());
  return code;
}

// Records a return address one byte back, inside its call: a call that does
// not return (a throw at a routine's end) is followed by the next routine.
void Record(uintptr_t ReturnAddress, const TCodeSection &Code, int &Skip, uintptr_t *Entries, int &Count) {
  if (ReturnAddress <= Code.Start || ReturnAddress >= Code.End)
    return;
  if (Skip < 1)
    Entries[Count++] = ReturnAddress - 1;
  --Skip;
}

} // namespace

const TRTLITable &OwnRTLITable() {
  static const TRTLITable table = [] {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(RTLIFormat::ResourceId), MAKEINTRESOURCEA(RTLIFormat::ResourceType));
    HGLOBAL loaded = info != nullptr ? LoadResource(module, info) : nullptr;
    const void *data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
      return TRTLITable();
    return TRTLITable(data, SizeofResource(module, info), reinterpret_cast<uintptr_t>(module));
  }();
  return table;
}

bool PatchImports(const char *DllName, const void *OldAddress, const void *NewAddress) {
  uint8_t *image = OwnImage();
  const bool win9x = (GetVersion() & 0x80000000u) != 0;
  bool replaced = false;
  for (uint32_t rva : ImportAddressSlots(image, DllName)) {
    void **slot = reinterpret_cast<void **>(image + rva);
    if (!SameImport(*slot, OldAddress, win9x))
      continue;
    DWORD protection;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection))
      continue;
    *slot = const_cast<void *>(NewAddress);
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    replaced = true;
  }
  return replaced;
}

#if defined(_M_X64) || defined(__x86_64__)

// Frame pointers do not chain on x86-64 Windows (the frame pointer may sit
// anywhere in the frame), so the walk unwinds with the image's unwind tables.
__attribute__((noinline)) void WalkOwnStack(uintptr_t *Entries, int &Count, int Capacity, const void *FaultContext) {
  const TCodeSection &code = OwnCodeSection();
  CONTEXT context;
  if (FaultContext != nullptr)
    context = *static_cast<const CONTEXT *>(FaultContext);
  else
    RtlCaptureContext(&context);
  int skip = FaultContext != nullptr ? 0 : OwnFramesToDrop;
  const uintptr_t upper = StackBase();
  uintptr_t lower = context.Rsp - 1;
  while (Count < Capacity) {
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
    if (function != nullptr) {
      void *handlerData = nullptr;
      DWORD64 establisher = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData, &establisher,
                       nullptr);
    } else {
      // A leaf routine: the return address is on top of the stack.
      if (!(context.Rsp > lower && context.Rsp + sizeof(DWORD64) <= upper))
        break;
      context.Rip = *reinterpret_cast<const DWORD64 *>(context.Rsp);
      context.Rsp += sizeof(DWORD64);
    }
    if (!(context.Rsp > lower && context.Rsp < upper) || context.Rip == 0)
      break;
    lower = context.Rsp;
    Record(context.Rip, code, skip, Entries, Count);
  }
}

#else

// The i686 frame chain: each frame holds the caller's frame pointer and, above
// it, the return address. Our code is built with frame pointers, but code
// built without them (libjpeg at -O3) keeps data in EBP: a frame is read only
// where it lies inside the walking thread's stack, between the stack pointer
// and the stack's base, and each frame must lie above the one before. A walk
// from a fault context must not fault itself: a second access violation inside
// the handler would hide the first one's report.
__attribute__((noinline)) void WalkOwnStack(uintptr_t *Entries, int &Count, int Capacity, const void *FaultContext) {
  const TCodeSection &code = OwnCodeSection();
  uintptr_t frame, lower;
  if (FaultContext != nullptr) {
    const CONTEXT &context = *static_cast<const CONTEXT *>(FaultContext);
    frame = context.Ebp;
    lower = context.Esp;
  } else {
    frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    lower = frame;
  }
  int skip = FaultContext != nullptr ? 0 : OwnFramesToDrop;
  const uintptr_t upper = StackBase();
  constexpr uintptr_t frameSize = 2 * sizeof(uintptr_t);
  while (Count < Capacity && frame >= lower && frame < upper && upper - frame >= frameSize &&
         frame % sizeof(uintptr_t) == 0) {
    const uintptr_t *slots = reinterpret_cast<const uintptr_t *>(frame);
    Record(slots[1], code, skip, Entries, Count);
    lower = frame + frameSize;
    frame = slots[0];
  }
}

#endif

// The run-time's throw entry, reached through --wrap=__cxa_throw.
extern "C" [[noreturn]] void __real___cxa_throw(void *Object, void *Type, void (*Destructor)(void *));

extern "C" [[noreturn]] __attribute__((noinline)) void __wrap___cxa_throw(void *Object, void *Type,
                                                                           void (*Destructor)(void *)) {
  if (GHookSet)
    StackTraceHook(0, false, nullptr);
  __real___cxa_throw(Object, Type, Destructor);
}
