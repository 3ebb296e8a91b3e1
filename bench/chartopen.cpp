// Opening a chart against a plain read of the bytes the open has to look at:
// the header and tile directory from the start of the file, and the tag from
// TagPos to the end. The chart's tiles lie between the two and are not read
// by either. Target: the open within 1.5x of the plain read.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "NKFChartWriter.h"
#include "OSFile.h"
#include "VmFileIO.h"
#include "VmNKFCharts.h"
#include "VmNKFTag.h"

namespace {

struct TBenchChart {
  std::string FileName;
  int64_t HeadBytes = 0; // header, directory and overrides
  int64_t TagPos = 0;
  int64_t FileSize = 0;
};

// A chart of Width x Height pixels with placeholder tiles (8 KiB each, less
// for large charts so that the file stays near 8 MiB), so that the tag lies
// well away from the directory as in a real chart.
const TBenchChart &Chart(int32_t Width, int32_t Height) {
  static std::vector<std::unique_ptr<TBenchChart>> charts;
  for (const auto &c : charts)
    if (c->FileName.find(std::to_string(Width) + "x" + std::to_string(Height)) != std::string::npos)
      return *c;
  TNKFChartDescription description = NKFSampleChart(NKFVersion1_0_0_2, Width, Height);
  const size_t blobSize = std::min<size_t>(8192, (size_t{8} << 20) / description.Blobs.size());
  for (std::string &blob : description.Blobs)
    blob.resize(blobSize, '\x5A');
  description.Tag.Border = {{0, 0}, {Width, 0}, {Width, Height}, {0, Height}, {Width / 2, Height / 2}};
  description.Tag.Text1 = "Benchmark chart";
  auto c = std::make_unique<TBenchChart>();
  c->FileName = (std::filesystem::temp_directory_path() /
                 ("chartopen-" + std::to_string(Width) + "x" + std::to_string(Height) + ".nkf2"))
                    .string();
  NKFWriteChartFile(c->FileName, description);
  const TNKFWrittenChart written = NKFWriteChart(description);
  c->HeadBytes = written.OverridesPos + 4;
  c->TagPos = written.TagPos;
  c->FileSize = written.FileSize();
  charts.push_back(std::move(c));
  return *charts.back();
}

void OpenChart(benchmark::State &State) {
  const TBenchChart &c = Chart(static_cast<int32_t>(State.range(0)), static_cast<int32_t>(State.range(1)));
  for (auto _ : State) {
    TNKFChart chart(c.FileName);
    benchmark::DoNotOptimize(chart.TileCount);
  }
  State.counters["bytes"] = static_cast<double>(c.HeadBytes + c.FileSize - c.TagPos);
}

// The same bytes with one open, two reads and a seek through the platform's
// file layer: the least any reader of this layout can do.
void PlainRead(benchmark::State &State) {
  const TBenchChart &c = Chart(static_cast<int32_t>(State.range(0)), static_cast<int32_t>(State.range(1)));
  std::vector<uint8_t> head(static_cast<size_t>(c.HeadBytes)), tag(static_cast<size_t>(c.FileSize - c.TagPos));
  for (auto _ : State) {
    const THandle h = FileOpen(c.FileName, fmOpenRead | fmShareDenyNone);
    FileRead(h, head.data(), static_cast<int32_t>(head.size()));
    FileSeek(h, c.TagPos, 0);
    FileRead(h, tag.data(), static_cast<int32_t>(tag.size()));
    FileClose(h);
    benchmark::DoNotOptimize(head.data());
    benchmark::DoNotOptimize(tag.data());
  }
  State.counters["bytes"] = static_cast<double>(c.HeadBytes + c.FileSize - c.TagPos);
}

// The same bytes through the buffered stream the chart opens (window reads,
// and its closing flush), without the parsing: separates the stream's cost
// from the chart's own.
void BufferedRead(benchmark::State &State) {
  const TBenchChart &c = Chart(static_cast<int32_t>(State.range(0)), static_cast<int32_t>(State.range(1)));
  std::vector<uint8_t> head(static_cast<size_t>(c.HeadBytes)), tag(static_cast<size_t>(c.FileSize - c.TagPos));
  for (auto _ : State) {
    TBufferedFileStream stream(c.FileName, fmOpenRead | fmShareDenyNone, 131072);
    stream.ReadBuffer(head.data(), static_cast<int32_t>(head.size()));
    stream.Seek(c.TagPos, TSeekOrigin::soBeginning);
    stream.ReadBuffer(tag.data(), static_cast<int32_t>(tag.size()));
    benchmark::DoNotOptimize(head.data());
    benchmark::DoNotOptimize(tag.data());
  }
  State.counters["bytes"] = static_cast<double>(c.HeadBytes + c.FileSize - c.TagPos);
}

// An installer-sized chart (a few hundred tiles) and a large one whose
// directory spans several 32 KiB windows.
BENCHMARK(OpenChart)->Args({6000, 4000})->Args({40000, 30000})->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainRead)->Args({6000, 4000})->Args({40000, 30000})->Unit(benchmark::kMicrosecond);
BENCHMARK(BufferedRead)->Args({6000, 4000})->Args({40000, 30000})->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------
// Hostile and largest accepted tags: time and heap of one open. The installer
// opens every registered chart at each start, so a tag must cost little more
// than its own bytes however it is made.

// Heap bytes in use and their peak: every allocation of the program passes
// through the replacements of operator new and delete below.
std::atomic<size_t> HeapLive{0}, HeapPeak{0};

void *CountedAlloc(size_t Size) {
  void *p = std::malloc(Size == 0 ? 1 : Size);
  if (p == nullptr)
    throw std::bad_alloc();
  const size_t live = HeapLive += malloc_usable_size(p);
  size_t peak = HeapPeak.load();
  while (live > peak && !HeapPeak.compare_exchange_weak(peak, live)) {
  }
  return p;
}

void CountedFree(void *p) noexcept {
  if (p == nullptr)
    return;
  HeapLive -= malloc_usable_size(p);
  std::free(p);
}

struct TTagCase {
  const char *Name;
  std::string FileName;
  int64_t FileSize = 0;
};

std::string WriteTagCase(const std::string &Name, const std::string &Bytes) {
  const std::string fileName = (std::filesystem::temp_directory_path() / ("chartopen-" + Name + ".nkf2")).string();
  std::FILE *f = std::fopen(fileName.c_str(), "wb");
  std::fwrite(Bytes.data(), 1, Bytes.size(), f);
  std::fclose(f);
  return fileName;
}

// 0: the largest tag accepted (1.0.0.2: the most border points and links
// allowed, each link with two 50-byte texts); 1: the first version's largest
// border; 2: 7 million empty links in a 63 MB 1.0.0.2 chart; 3: a border of
// 7.8 million points in a 1.0.0.0 chart.
const TTagCase &TagCase(int64_t Index) {
  static std::vector<std::unique_ptr<TTagCase>> cases(4);
  std::unique_ptr<TTagCase> &c = cases[static_cast<size_t>(Index)];
  if (c)
    return *c;
  c = std::make_unique<TTagCase>();
  const uint32_t version = Index == 0 || Index == 2 ? NKFVersion1_0_0_2 : NKFVersion1_0_0_0;
  TNKFChartDescription chart = NKFSampleChart(version, 300, 200);
  std::string bytes;
  if (Index < 2) {
    for (int32_t i = 0; i < NKFMaxBorderPoints; ++i)
      chart.Tag.Border.push_back({i % 300, i / 300 % 200});
    if (version != NKFVersion1_0_0_0)
      chart.Tag.Links.assign(NKFMaxLinks, TNKFWriterLink{0, std::string(50, 'l'), std::string(50, 'm')});
    bytes = NKFChartBytes(chart);
    c->Name = Index == 0 ? "largest accepted tag (1.0.0.2)" : "largest accepted border (1.0.0.0)";
  } else if (Index == 2) {
    constexpr int32_t links = 7000000;
    chart.Tag.LinkCountCode = links;
    const TNKFWrittenChart written = NKFWriteChart(chart);
    std::string plain = NKFPlainTagBytes(version, chart.Tag);
    plain.append(static_cast<size_t>(links) * 9, '\0'); // type 0 and two empty texts each
    bytes = written.Head + NKFScrambledTagBytes(plain, chart.Tag.KeyWord);
    c->Name = "7 million empty links (refused)";
  } else {
    constexpr int32_t points = 7800000;
    chart.Tag.BorderCountCode = points;
    const TNKFWrittenChart written = NKFWriteChart(chart);
    const std::string tag = NKFTagBytes(version, chart.Tag);
    bytes = written.Head + tag.substr(0, 4) + std::string(static_cast<size_t>(points) * 8, '\0') + tag.substr(4);
    c->Name = "border of 7.8 million points (refused)";
  }
  c->FileName = WriteTagCase("tag" + std::to_string(Index), bytes);
  c->FileSize = static_cast<int64_t>(bytes.size());
  return *c;
}

// One open and, when it opens, the first border test (which prepares the
// border's edges); counters: the file's size and the heap's peak during one
// open beyond what was in use before, also as a multiple of the file size.
void OpenTag(benchmark::State &State) {
  const TTagCase &c = TagCase(State.range(0));
  State.SetLabel(c.Name);
  size_t peak = 0;
  for (auto _ : State) {
    const size_t before = HeapLive.load();
    HeapPeak.store(before);
    try {
      TNKFChart chart(c.FileName);
      benchmark::DoNotOptimize(chart.Border.Contains(TPoint{1, 1}));
    } catch (const ENKFChartError &) {
    }
    peak = std::max(peak, HeapPeak.load() - before);
  }
  State.counters["file_MB"] = static_cast<double>(c.FileSize) / 1e6;
  State.counters["heap_peak_MB"] = static_cast<double>(peak) / 1e6;
  State.counters["peak_per_file_byte"] = static_cast<double>(peak) / static_cast<double>(c.FileSize);
}

BENCHMARK(OpenTag)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

} // namespace

void *operator new(size_t Size) { return CountedAlloc(Size); }
void *operator new[](size_t Size) { return CountedAlloc(Size); }
void operator delete(void *p) noexcept { CountedFree(p); }
void operator delete[](void *p) noexcept { CountedFree(p); }
void operator delete(void *p, size_t) noexcept { CountedFree(p); }
void operator delete[](void *p, size_t) noexcept { CountedFree(p); }

BENCHMARK_MAIN();
