// Programs built for this platform carry no line-information table and
// install no raise hooks: traces say that no table is available.
#include "VmRTLIPlatform.h"

const TRTLITable &OwnRTLITable() {
  static const TRTLITable none;
  return none;
}

void WalkOwnStack(uintptr_t *, int &, int, const void *) {}
