// Run-time line information: stack traces with unit, routine, source file and
// line, read from a line-information table that the build stores in the
// program's own resources (RCDATA 30583).
//
// On Windows the unit's initialisation installs the hooks that record the
// stack of every raise: every C++ throw (at the run-time's throw entry), the
// operating system's exceptions (a vectored handler, first in the chain) and
// RaiseException calls of the shape the run-time's raise produces (through
// this module's import table). Elsewhere nothing is recorded and no table
// exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
// The most entries a recorded stack holds.
inline constexpr int MaxStackEntries = 50;

// Whether the line-information table was found in the program's resources.
bool IsRTLIAvailable();
// When the table was generated (days since 30 December 1899); 0 without one
// or when its signature is wrong.
double GetRTLITimestamp();
// Clears Info and looks Address up; false when there is no valid table, and
// for the frame of the run-time's catch-all exception dispatcher.
bool LookupAddress(uintptr_t Address, TLineInfo &Info);
// The stack recorded at the most recent raise as a text table, or NoRTLIText
// when there is no table.
std::string GetStackTraceText();
// Records the current stack (after FaultAddress, when it is not 0) as the
// stack of the most recent raise. Called by the hooks: the first three code
// return addresses, those of the capturing code, are left out.
void CaptureStackTrace(uintptr_t FaultAddress);
// The addresses recorded at the most recent raise, innermost first. Return
// addresses are recorded one byte back, inside their call instruction.
std::vector<uintptr_t> GetRecordedStack();

// A line-information table in memory: the reader and the formatter, for any
// module base. The process's own table is one of these.
class TRTLITable {
public:
  TRTLITable() = default;
  // Data may be null (no table); it must outlive the object.
  TRTLITable(const void *Data, size_t Size, uintptr_t ModuleBase);

  bool Available() const { return FData != nullptr; }
  bool SignatureValid() const;
  double Timestamp() const;
  bool Lookup(uintptr_t Address, TLineInfo &Info) const;
  std::string StackTraceText(const uintptr_t *Addresses, size_t Count) const;

private:
  void ReadLines(class TRTLICursor &Cursor, uint64_t Logical, TLineInfo &Info) const;

  const uint8_t *FData = nullptr;
  size_t FSize = 0;
  uintptr_t FModuleBase = 0;
};

// "yyyy/mm/dd hh:nn:ss" for a date-time in days since 30 December 1899.
std::string FormatRTLITimestamp(double DateTime);

// The code section of a mapped module image, from its PE header (PE32 or
// PE32+); EHookError when the image has no MZ or no PE signature.
struct TCodeSection {
  uintptr_t Start = 0;
  uintptr_t End = 0;
};
TCodeSection ReadCodeSection(const uint8_t *Image);

// The relative addresses of the import address slots that a mapped image
// (PE32 or PE32+) has for DllName (compared without regard to case), up to
// each table's zero slot.
std::vector<uint32_t> ImportAddressSlots(const uint8_t *Image, const char *DllName);

#ifdef _WIN32
// Points every import slot of this module for DllName that holds OldAddress
// at NewAddress; whether any slot was replaced.
bool PatchImports(const char *DllName, const void *OldAddress, const void *NewAddress);
#endif
