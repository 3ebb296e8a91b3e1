// Run-time line information: stack traces with unit, routine, source file and
// line, read from a line-information table in the program's own resources.
//
// This build carries no line-information table and installs no raise hooks
// yet, so every query answers as it does for a program without the table:
// nothing is available, lookups fail and the trace text says so.
#pragma once

#include <cstdint>
#include <string>

#include "SysUtils.h"

// Raised by the first stack walk when the module's own image header is not a
// valid MZ/PE header.
VM_DECLARE_EXCEPTION(EHookError, Exception);

// The result of LookupAddress. Addresses are absolute code addresses.
struct TLineInfo {
  std::string UnitName;
  uintptr_t UnitStart = 0;
  uintptr_t UnitEnd = 0;
  uintptr_t LineAddress = 0;
  int32_t LineNumber = 0;
  std::string FileName;
  uintptr_t RoutineStart = 0;
  uintptr_t RoutineEnd = 0;
  std::string RoutineName;
  std::string NextRoutineName;
};

// The text GetStackTraceText returns when the program has no line information.
inline constexpr const char *NoRTLIText = "(NO RTLI AVAILABLE!)\r\n";

// Whether the line-information table was found in the program's resources.
bool IsRTLIAvailable();
// When the table was generated (days since 30 December 1899); 0 without one.
double GetRTLITimestamp();
// Clears Info and looks Address up; false when there is no table.
bool LookupAddress(uintptr_t Address, TLineInfo &Info);
// The stack recorded at the most recent raise as a text table, or NoRTLIText
// when there is no table.
std::string GetStackTraceText();
// Records the current stack (after FaultAddress, when it is not 0) as the
// stack of the most recent raise.
void CaptureStackTrace(uintptr_t FaultAddress);
