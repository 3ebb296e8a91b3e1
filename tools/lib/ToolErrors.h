// How the command-line tools end on an error: the exception's class and
// message on standard error, exit status 1, the same for every tool so that
// scripts can rely on it.
#pragma once

#include <functional>

// Runs Body; returns 0, or 1 after reporting what it raised. With Trace the
// report is followed by the trace of where it was raised, from the program's
// own line-information table.
int RunReportingErrors(const std::function<void()> &Body, bool Trace = false);
