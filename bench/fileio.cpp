// Reading a 16 MiB file as 4-byte integers: through the buffered file stream
// and StreamReadInteger (as the chart reader reads), through a std::ifstream
// read loop, and with one read of the whole file into memory. Prints the
// buffered stream's time relative to the other two.
#include "VmFileIO.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int64_t FileBytes = 16 << 20;
constexpr int64_t IntegerCount = FileBytes / 4;

const std::string &SampleFile() {
  static const std::string path = [] {
    const auto file = std::filesystem::temp_directory_path() / "vm-bench-fileio.bin";
    std::vector<uint8_t> bytes(static_cast<size_t>(FileBytes));
    for (size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }();
  return path;
}

void BufferedStream(benchmark::State &state) {
  for (auto _ : state) {
    TBufferedFileStream stream(SampleFile(), fmOpenRead | fmShareDenyNone, 131072);
    int64_t sum = 0;
    for (int64_t i = 0; i < IntegerCount; ++i)
      sum += StreamReadInteger(stream);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * FileBytes);
}

void IfstreamLoop(benchmark::State &state) {
  for (auto _ : state) {
    std::ifstream in(SampleFile(), std::ios::binary);
    int64_t sum = 0;
    for (int64_t i = 0; i < IntegerCount; ++i) {
      int32_t value;
      in.read(reinterpret_cast<char *>(&value), 4);
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * FileBytes);
}

void WholeFileRead(benchmark::State &state) {
  for (auto _ : state) {
    std::vector<int32_t> values(static_cast<size_t>(IntegerCount));
    std::FILE *f = std::fopen(SampleFile().c_str(), "rb");
    const size_t got = std::fread(values.data(), 1, static_cast<size_t>(FileBytes), f);
    std::fclose(f);
    int64_t sum = 0;
    for (size_t i = 0; i < got / 4; ++i)
      sum += values[i];
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * FileBytes);
}

BENCHMARK(BufferedStream)->Unit(benchmark::kMillisecond);
BENCHMARK(IfstreamLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(WholeFileRead)->Unit(benchmark::kMillisecond);

// The console report, then the ratios of the buffered stream to its peers.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        FTimes[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    // Both clocks: on a shared machine the wall time carries other load.
    const TTimes buffered = FTimes["BufferedStream"];
    for (const char *peer : {"IfstreamLoop", "WholeFileRead"}) {
      const TTimes other = FTimes[peer];
      if (buffered.Real > 0 && other.Real > 0 && other.Cpu > 0)
        std::printf("BufferedStream / %-13s = %.2f (wall time), %.2f (CPU time)\n", peer, buffered.Real / other.Real,
                    buffered.Cpu / other.Cpu);
    }
  }

private:
  struct TTimes {
    double Real = 0, Cpu = 0;
  };
  std::map<std::string, TTimes> FTimes;
};

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove(SampleFile());
  return 0;
}
