// The console options of a benchmark program's own reporter. Google Benchmark
// applies --benchmark_color to its default reporter only; a reporter of our
// own decides as that flag's "auto" does: colours on a terminal, none in a
// file or pipe.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

inline benchmark::ConsoleReporter::OutputOptions ConsoleOptions() {
  return isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular : benchmark::ConsoleReporter::OO_Tabular;
}
