// How long a stack trace takes to format: GetStackTraceText's work (a lookup
// per frame over the whole line-information table, then the text) on a table
// shaped like the installer's own, for a trace of 20 frames and a full one of
// 50. Set VM_RTLI_TABLE to a real table (NAME.exe.rtli/table.bin of a Windows
// build) to format over that instead. items/s are traces per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "RTLITableWriter.h"
#include "VmRTLI.h"

namespace {

constexpr uintptr_t ModuleBase = 0x400000;
constexpr uintptr_t Origin = ModuleBase + 0x1000;

// The 32-bit installer's table: 285 units, 2601 routines, 12297 line records
// over about 1.2 MB of code.
constexpr uint32_t Units = 285, Routines = 2601, Records = 12297, CodeSize = 1200000;

std::string InstallerLikeTable() {
  std::mt19937 random(12);
  TRTLITableData data;
  data.Timestamp = 46000.5;
  for (uint32_t u = 1; u <= Units; ++u)
    data.Units.push_back({"VmUnit" + std::to_string(u), CodeSize / Units * u});
  for (uint32_t r = 0; r < Routines; ++r)
    data.Routines.push_back({"TClass" + std::to_string(r % 97) + "::Routine" + std::to_string(r), CodeSize / Routines});
  const uint32_t recordSize = CodeSize / Records;
  for (uint32_t f = 0; f < Records; ++f) {
    TRTLIFileEntry file{f % 3 ? "stl_vector.h" : "VmUnit.cpp", f * recordSize, {}};
    for (uint32_t covered = 0; covered < recordSize;) {
      const uint32_t length = std::min<uint32_t>(recordSize - covered, 1 + random() % 40);
      file.Spans.push_back({length, static_cast<int32_t>(100 + random() % 900)});
      covered += length;
    }
    data.Files.push_back(std::move(file));
  }
  return WriteRTLITable(data);
}

const std::string &Table() {
  static const std::string table = [] {
    if (const char *path = std::getenv("VM_RTLI_TABLE")) {
      std::ifstream in(path, std::ios::binary);
      return std::string(std::istreambuf_iterator<char>(in), {});
    }
    return InstallerLikeTable();
  }();
  return table;
}

void BM_FormatTrace(benchmark::State &State) {
  const std::string &bytes = Table();
  const TRTLITable table(bytes.data(), bytes.size(), ModuleBase);
  std::mt19937 random(7);
  std::vector<uintptr_t> stack;
  for (int64_t i = 0; i < State.range(0); ++i)
    stack.push_back(Origin + random() % CodeSize);
  for (auto _ : State)
    benchmark::DoNotOptimize(table.StackTraceText(stack.data(), stack.size()));
  State.SetItemsProcessed(State.iterations());
  State.counters["table_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_FormatTrace)->Arg(20)->Arg(50)->Unit(benchmark::kMicrosecond);

void BM_LookupAddress(benchmark::State &State) {
  const std::string &bytes = Table();
  const TRTLITable table(bytes.data(), bytes.size(), ModuleBase);
  std::mt19937 random(9);
  TLineInfo info;
  for (auto _ : State)
    benchmark::DoNotOptimize(table.Lookup(Origin + random() % CodeSize, info));
  State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_LookupAddress)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
