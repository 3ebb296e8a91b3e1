// The tag reader alone over arbitrary bytes, in each of its three stored
// layouts: the first byte picks the layout, the rest stands from TagPos to
// the end of the file. The library's exceptions are the expected outcome of
// bad input; a crash, a sanitizer report or a runaway allocation is a finding.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "NKFFuzzInputs.h"
#include "VmNKFTag.h"

extern "C" const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  if (Size == 0)
    return 0;
  TMemoryStream stream(std::vector<uint8_t>(Data + 1, Data + Size));
  TNKF2Tag tag;
  try {
    switch (NKFTagFuzzVersion(Data[0])) {
    case NKFVersion1_0_0_0: ReadTagVersion1_0_0_0(stream, tag); break;
    case NKFVersion1_0_0_1: ReadTagVersion1_0_0_1(stream, tag); break;
    default: ReadTagCurrentVersion(stream, tag); break;
    }
  } catch (const Exception &) {
  }
  return 0;
}
