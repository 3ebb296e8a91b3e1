#include "VmRTLI.h"

bool IsRTLIAvailable() { return false; }

double GetRTLITimestamp() { return 0.0; }

bool LookupAddress(uintptr_t, TLineInfo &Info) {
  Info = TLineInfo();
  return false;
}

std::string GetStackTraceText() { return NoRTLIText; }

void CaptureStackTrace(uintptr_t) {
  // Without a line-information table a recorded stack could never be
  // printed, so nothing is recorded.
}
