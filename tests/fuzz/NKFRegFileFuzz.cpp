// The registry export reader over arbitrary bytes, then the installer's rules
// over what it read: the first byte picks the ANSI code page the records are
// read through (single-byte, Cyrillic, a double-byte one and UTF-8), the rest
// is the export. ENKFExportError is the expected outcome of bad input; a
// crash, a sanitizer report, a hang or a runaway allocation is a finding.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "NKFGeoreference.h"
#include "NKFRegFile.h"

extern "C" const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  if (Size == 0)
    return 0;
  constexpr std::array<unsigned, 4> codePages = {1252, 1251, 932, 65001};
  const unsigned codePage = codePages[Data[0] % codePages.size()];
  const std::string bytes(reinterpret_cast<const char *>(Data + 1), Size - 1);
  try {
    const TNKFRegFile records = TNKFRegFile::Parse(bytes, "fuzz.reg", codePage);
    NKFInstalledSetFolder(records, "fuzz.reg", codePage);
  } catch (const ENKFExportError &) {
  }
  return 0;
}
