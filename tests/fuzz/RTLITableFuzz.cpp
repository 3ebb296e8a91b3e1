// The line-information table reader over arbitrary table bytes: lookups of
// addresses across the table's whole range and the trace text over them (its
// timestamp included). A damaged table must end a scan quietly; a crash, a
// sanitizer report (a read past the table, an overflow) or a hang is a finding.
#include <cstddef>
#include <cstdint>

#include "VmRTLI.h"

extern "C" const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  constexpr uintptr_t Base = 0x400000, Origin = Base + 0x1000;
  const TRTLITable table(Data, Size, Base);
  const uintptr_t addresses[] = {0,
                                 Base,
                                 Origin,
                                 Origin + 0x10,
                                 Origin + 0x105,
                                 Origin + 0x1000,
                                 Origin + 0x12345,
                                 Origin + 0x7FFFFFFF,
                                 Origin + 0xFFFFFFFFu,
                                 static_cast<uintptr_t>(-1)};
  for (uintptr_t address : addresses) {
    TLineInfo info;
    table.Lookup(address, info);
  }
  table.StackTraceText(addresses, sizeof addresses / sizeof addresses[0]);
  return 0;
}
