// GeoTIFF export of a 6000 x 4000 chart (nkf2export's work: decode every
// tile of level 0, write them tiled and DEFLATE-compressed with GDAL), side
// by side with gdal_translate's own code (GDALTranslate) copying the exported
// file into a new GeoTIFF with the same creation options: the floor for
// writing the same pixels, with a GeoTIFF decode in place of our tile decode.
// items/s are pixels per second.
#include <benchmark/benchmark.h>

#include <gdal_priv.h>
#include <gdal_utils.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "NKFChartWriter.h"
#include "NKFGeoTiffExport.h"

namespace {

constexpr int32_t ChartWidth = 6000, ChartHeight = 4000;

// The chart and the first export, made once in a folder of the run's own,
// removed at the end.
class TBenchFiles {
public:
  TBenchFiles() : FFolder(std::filesystem::temp_directory_path() / ("nkf2export-bench-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(FFolder);
    TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, ChartWidth, ChartHeight);
    NKFFillSampleTiles(chart);
    NKFWriteChartFile(Chart(), chart);
    const TNKFChart open(Chart());
    NKFExportGeoTiff(open, Exported(), TNKFExportOptions{});
  }
  ~TBenchFiles() { std::filesystem::remove_all(FFolder); }
  TBenchFiles(const TBenchFiles &) = delete;
  TBenchFiles &operator=(const TBenchFiles &) = delete;

  std::string Chart() const { return (FFolder / "chart.nkf2").string(); }
  std::string Exported() const { return (FFolder / "exported.tif").string(); }
  std::string Output() const { return (FFolder / "out.tif").string(); }

private:
  std::filesystem::path FFolder;
};

const TBenchFiles &Files() {
  static const TBenchFiles files;
  return files;
}

void CountPixels(benchmark::State &State) {
  State.SetItemsProcessed(State.iterations() * int64_t{ChartWidth} * ChartHeight);
  State.counters["MiB_written"] =
      static_cast<double>(std::filesystem::file_size(Files().Output())) / (1024.0 * 1024.0);
}

void BM_Nkf2Export(benchmark::State &State) {
  const TNKFChart chart(Files().Chart());
  for (auto _ : State)
    NKFExportGeoTiff(chart, Files().Output(), TNKFExportOptions{});
  CountPixels(State);
}

void BM_GdalTranslateCopy(benchmark::State &State) {
  std::vector<std::string> arguments{"-of", "GTiff", "-q"};
  for (const std::string &option : NKFGeoTiffCreationOptions()) {
    arguments.push_back("-co");
    arguments.push_back(option);
  }
  std::vector<char *> argv;
  for (std::string &a : arguments)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  GDALTranslateOptions *options = GDALTranslateOptionsNew(argv.data(), nullptr);
  GDALDatasetUniquePtr source(GDALDataset::Open(Files().Exported().c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  if (!options || !source)
    throw std::runtime_error("gdal_translate cannot start");
  for (auto _ : State) {
    GDALDatasetH copy = GDALTranslate(Files().Output().c_str(), GDALDataset::ToHandle(source.get()), options, nullptr);
    if (copy == nullptr)
      throw std::runtime_error("gdal_translate failed");
    GDALClose(copy);
  }
  GDALTranslateOptionsFree(options);
  CountPixels(State);
}

BENCHMARK(BM_Nkf2Export)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GdalTranslateCopy)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv) {
  GDALAllRegister();
  Files();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
