// What VmRTLI's platform part (win32/ or posix/) gives its portable part.
#pragma once

#include <cstdint>

#include "VmRTLI.h"

// The process's own table, found at first use and kept for the process's life.
const TRTLITable &OwnRTLITable();

// Appends the return addresses of the current stack to Entries (up to
// Capacity). Without FaultContext the walk starts at the caller's own frame
// and drops the first three code return addresses (the capturing code's);
// with it (a CONTEXT of the faulting thread) it starts at the faulting frame
// and drops none.
void WalkOwnStack(uintptr_t *Entries, int &Count, int Capacity, const void *FaultContext);

// Called by the hooks: records the stack unless a capture is already running.
void StackTraceHook(uintptr_t Address, bool IsOSException, const void *FaultContext);
