#include "ToolErrors.h"

#include <cstdio>
#include <exception>

#include "SysUtils.h"

int RunReportingErrors(const std::function<void()> &Body) {
  try {
    Body();
  } catch (const Exception &e) {
    std::fprintf(stderr, "%s: %s\n", e.ClassName(), e.Message().c_str());
    return 1;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
