// The sample set to one MBTiles file (nkf2export --set), side by side with
// the same work done by hand with GDAL's command-line tools on the nine
// charts' GeoTIFFs: gdal_create makes the empty MBTiles file with the
// export's creation options, gdaladdo -r NONE its coarser zoom levels, and
// one gdalwarp per chart and zoom level (the export's warp options, -doo
// ZOOM_LEVEL) draws the charts coarsest first, and gdaladdo -r AVERAGE the
// levels below the coarsest chart's; with fill, each level first takes the
// level before it enlarged. Twice: on GeoTIFFs as a GIS
// user has them (nkf2export CHART OUT.tif --overviews --footprint B.geojson,
// each warp cut with -cutline B.geojson), and on GeoTIFFs cut by their own
// transparency (--clip, no cutline: what the export itself warps). The tools
// start from decoded GeoTIFFs; the export decodes the charts itself within
// its time.
//
// Each run takes minutes: one iteration (--benchmark_repetitions=3 for
// medians, --benchmark_filter for some of the runs); cpu_s
// is the processor time of the run (this process's, or the tools'), which
// a loaded machine disturbs less than the wall clock. The
// sample set is written once into a folder of the run's own (removed at the
// end); BENCH_SET_FOLDER names an existing set instead. BENCH_KEEP=1 keeps
// the folder.
#include <benchmark/benchmark.h>

#include <gdal_priv.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "ChartSetNames.h"
#include "NKFGeoTiffExport.h"
#include "NKFSampleSet.h"
#include "NKFSetExport.h"

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string &S) { return "'" + S + "'"; }

void Run(const std::string &Command) {
  if (std::system(Command.c_str()) != 0)
    throw std::runtime_error("failed: " + Command);
}

class TBenchSet {
public:
  TBenchSet() : FFolder(fs::temp_directory_path() / ("nkf2export-set-bench-" + std::to_string(getpid()))) {
    fs::create_directories(FFolder / "tif");
    const char *given = std::getenv("BENCH_SET_FOLDER");
    FSet = given && *given ? fs::path(given) : FFolder / "set";
    if (!(given && *given)) {
      fs::create_directories(FSet);
      NKFWriteSampleSet(FSet.string());
    }
    for (const char *name : ChartFileNames)
      FCharts.push_back((FSet / name).string());
    FPlan = NKFPlanSet(FCharts, Output());
    // The tools' input: each chart's GeoTIFF with its own levels as
    // overviews, and its border, written once.
    for (const TNKFSetChart &chart : FPlan.Charts) {
      const TNKFChart open(chart.File);
      const std::string stem = Stem(chart);
      TNKFExportOptions options;
      options.Overviews = true;
      NKFExportGeoTiff(open, stem + ".tif", options);
      options.ClipToBorder = true;
      NKFExportGeoTiff(open, stem + "-clipped.tif", options);
      if (chart.HasBorder)
        NKFWriteFootprint(open, stem + ".geojson");
    }
  }
  ~TBenchSet() {
    const char *keep = std::getenv("BENCH_KEEP");
    if (!(keep && *keep == '1'))
      fs::remove_all(FFolder);
  }
  TBenchSet(const TBenchSet &) = delete;
  TBenchSet &operator=(const TBenchSet &) = delete;

  const std::vector<std::string> &Charts() const { return FCharts; }
  const TNKFSetPlan &Plan() const { return FPlan; }
  std::string Output() const { return (FFolder / "out.mbtiles").string(); }
  std::string Stem(const TNKFSetChart &Chart) const {
    return (FFolder / "tif" / fs::path(Chart.File).stem()).string();
  }

private:
  fs::path FFolder, FSet;
  std::vector<std::string> FCharts;
  TNKFSetPlan FPlan;
};

const TBenchSet &Set() {
  static const TBenchSet set;
  return set;
}

// The tools' command lines for the whole run, in order: with cutlines on the
// charts as they are, or without on the clipped ones; with Fill, each level
// after the first starts as the level before it enlarged (gdal_translate
// takes it out of the file, gdalwarp -r bilinear draws it in), as
// nkf2export --fill does. Last, the levels below the coarsest chart's
// averaged from it.
std::vector<std::string> ToolCommands(bool Cutlines, bool Fill) {
  const TBenchSet &set = Set();
  const TNKFSetPlan &plan = set.Plan();
  const TNKFSetExportOptions options;
  const std::string config = " --config GDAL_CACHEMAX 64 ", out = Quoted(set.Output());
  const double resolution = NKFWebZoomResolution(plan.MaxZoom);
  char extent[200];
  std::snprintf(extent, sizeof extent, " -a_ullr %.9f %.9f %.9f %.9f ", plan.Left, plan.Top,
                plan.Left + plan.Width * resolution, plan.Top - plan.Height * resolution);
  std::string create = "gdal_create -q -of MBTiles -ot Byte -bands 4 -a_srs EPSG:3857 -outsize " +
                       std::to_string(plan.Width) + " " + std::to_string(plan.Height) + extent;
  for (const std::string &option : NKFSetCreationOptions(options))
    create += " -co " + Quoted(option);
  std::vector<std::string> commands{create + config + out};
  std::string overviews = "gdaladdo -q -r NONE" + config + out;
  for (int factor : NKFSetOverviewFactors(plan))
    overviews += " " + std::to_string(factor);
  commands.push_back(overviews);
  std::string warp = "gdalwarp -q" + config;
  for (const std::string &argument : NKFSetWarpArguments(options))
    warp += " " + Quoted(argument);
  const std::string below = Quoted(set.Output() + ".below.tif");
  for (int z = plan.ChartZoom; z <= plan.MaxZoom; ++z) {
    const std::string level = " -doo ZOOM_LEVEL=" + std::to_string(z) + " ";
    if (Fill && z > plan.ChartZoom) {
      commands.push_back("gdal_translate -q" + config + "-oo ZOOM_LEVEL=" + std::to_string(z - 1) +
                         " -co TILED=YES " + out + " " + below);
      commands.push_back("gdalwarp -q" + config + "-r bilinear" + level + below + " " + out);
      commands.push_back("rm -f " + below);
    }
    for (const TNKFSetChart &chart : plan.Charts) {
      if (chart.Zoom < z)
        continue;
      const std::string stem = set.Stem(chart);
      const std::string cutline = Cutlines && chart.HasBorder ? " -cutline " + Quoted(stem + ".geojson") : "";
      const std::string image = Quoted(stem + (Cutlines ? ".tif" : "-clipped.tif"));
      commands.push_back(warp + cutline + level + image + " " + out);
    }
  }
  std::string averaged = "gdaladdo -q -r AVERAGE" + config + "-oo ZOOM_LEVEL=" + std::to_string(plan.ChartZoom) + " " + out;
  for (int factor : NKFSetAveragedFactors(plan))
    averaged += " " + std::to_string(factor);
  commands.push_back(averaged);
  return commands;
}

// Seconds of processor time (user and system) of this process or of its
// finished children: on a loaded machine the wall clock says more about the
// other jobs than about the run.
double ProcessorSeconds(int Who) {
  rusage usage{};
  getrusage(Who, &usage);
  const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void CountOutput(benchmark::State &State) {
  State.counters["MiB"] = static_cast<double>(fs::file_size(Set().Output())) / (1024.0 * 1024.0);
  State.counters["zooms"] = Set().Plan().MaxZoom - Set().Plan().MinZoom + 1;
}

void BM_Nkf2ExportSet(benchmark::State &State) {
  TNKFSetExportOptions options;
  options.Fill = State.range(0) != 0;
  const double before = ProcessorSeconds(RUSAGE_SELF);
  for (auto _ : State) {
    fs::remove(Set().Output());
    NKFExportSet(Set().Charts(), Set().Output(), options);
  }
  State.counters["cpu_s"] = ProcessorSeconds(RUSAGE_SELF) - before;
  CountOutput(State);
}

void BM_GdalTools(benchmark::State &State) {
  const std::vector<std::string> commands = ToolCommands(State.range(0) != 0, State.range(1) != 0);
  const double before = ProcessorSeconds(RUSAGE_CHILDREN);
  for (auto _ : State) {
    fs::remove(Set().Output());
    for (const std::string &command : commands)
      Run(command);
  }
  State.counters["cpu_s"] = ProcessorSeconds(RUSAGE_CHILDREN) - before;
  CountOutput(State);
}

BENCHMARK(BM_Nkf2ExportSet)->ArgName("fill")->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_GdalTools)
    ->ArgNames({"cutlines", "fill"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

} // namespace

int main(int argc, char **argv) {
  GDALAllRegister();
  // nkf2export's own setting, which the tools get on their command lines.
  CPLSetConfigOption("GDAL_CACHEMAX", "64");
  benchmark::Initialize(&argc, argv);
  if (std::getenv("BENCH_PRINT_COMMANDS"))
    for (const std::string &command : ToolCommands(true, false))
      std::printf("%s\n", command.c_str());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
