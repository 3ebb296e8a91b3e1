#include "ToolErrors.h"

#include <cstdio>
#include <exception>
#include <string>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "SysUtils.h"
#include "VmRTLI.h"

namespace {

int Report(const std::string &Text, bool Trace) {
  std::fprintf(stderr, "%s\n", Text.c_str());
  if (Trace) {
    std::fflush(stderr);
#ifdef _WIN32
    // The trace's lines end in CR LF already.
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    std::fputs(GetStackTraceText().c_str(), stderr);
  }
  return 1;
}

} // namespace

int RunReportingErrors(const std::function<void()> &Body, bool Trace) {
  try {
    Body();
  } catch (const Exception &e) {
    return Report(std::string(e.ClassName()) + ": " + e.Message(), Trace);
  } catch (const std::exception &e) {
    return Report(e.what(), Trace);
  }
  return 0;
}
