// The set view's paint path on the sample set, every tile already decoded (a
// view returning to charts in the tile manager's cache):
//   FirstView — a new plan (no mesh cell known yet) and a full render, at
//     1920 x 1080, nearest and bilinear, at a place where five charts meet
//     and at Home (the whole set).
//   Pan — a drag step of 40 x 24 pixels, back and forth: the plan built again
//     (keeping the cells it knew), what was drawn shifted, and only the
//     strips that came into view drawn.
//   ZoomStep — one wheel step in, then out, about the centre: a new plan at
//     the new zoom and a full render.
//   GdalWarp — the same view drawn by GDAL's warper (the library form of
//     gdalwarp, in this process, so that no program start is counted) from
//     the charts' GeoTIFFs (nkf2export's writer, each cut at its border, at
//     the level the view draws it from) into one Mercator window on WGS 84,
//     coarsest chart first, with the same resampling; its counters tell how
//     many of the pixels both draw agree. GdalWarpProgram: the gdalwarp
//     program on the same files, program start and output file included.
// Times are wall clock and processor time: on a machine shared with other
// jobs the second tells more.
// Goals: the first view under 100 ms, a pan under 16 ms, a zoom step under
// 50 ms, at least ten times faster than the warper.
//
// The set: --set=FOLDER names a folder holding the nine charts; without it
// the sample set is written into a temporary folder first (about a minute).
#include <benchmark/benchmark.h>

#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChartSetNames.h"
#include "NKFGeoTiffExport.h"
#include "NKFSampleSet.h"
#include "SetRenderer.h"
#include "SetViewPlan.h"
#include "SetViewport.h"
#include "VmNKF2TileManager.h"
#include "VmNKFCharts.h"

namespace fs = std::filesystem;

namespace {

constexpr double Degree = std::numbers::pi / 180;
constexpr int32_t Width = 1920, Height = 1080;

std::string SetFolder;

struct TSet {
  std::vector<std::unique_ptr<TNKFChart>> Owned;
  std::vector<TNKFChart *> Charts;
  std::vector<TSetChartExtent> Extents;
  std::map<std::pair<int32_t, int32_t>, std::unique_ptr<TBitmap32>> Tiles;

  TSet() {
    for (const char *name : ChartFileNames) {
      Owned.push_back(std::make_unique<TNKFChart>(SetFolder + "/" + name));
      Charts.push_back(Owned.back().get());
      TSetChartExtent e;
      if (!SetChartExtent(*Charts.back(), e))
        throw std::runtime_error(std::string("bench_setview: cannot place ") + name);
      Extents.push_back(e);
    }
  }
  // Decodes every tile the plan shows (outside the timing).
  void Load(const TSetViewPlan &Plan) {
    for (const TSetTile &t : Plan.VisibleTiles()) {
      std::unique_ptr<TBitmap32> &bitmap = Tiles[{t.Chart, t.Tile.TileIndex}];
      if (!bitmap) {
        TNKFTileEntry entry;
        Charts[static_cast<size_t>(t.Chart)]->GetTileEntry(static_cast<uint32_t>(t.Tile.TileIndex), entry);
        bitmap = LoadChartTile(Charts[static_cast<size_t>(t.Chart)]->FileName, entry, false);
      }
    }
  }
  TSetTileSource Source() const {
    return [this](int32_t Chart, int32_t Index, const TBitmap32 *&Bitmap) {
      const auto it = Tiles.find({Chart, Index});
      if (it == Tiles.end())
        return TTileState::Pending;
      Bitmap = it->second.get();
      return TTileState::Loaded;
    };
  }
};

TSet &Set() {
  static TSet set;
  return set;
}

// Home, or 53.27 N 5.00 E at 20 m per pixel on the ground: Dalmeer (turned,
// on the RD datum), Corlum (Helmert datum), Aldenhof (transverse Mercator on
// ED 50) and both overview charts.
TSetViewport ViewFor(bool Home) {
  TSetViewport v;
  v.SetClientSize(Width, Height);
  v.SetCharts(Set().Extents);
  if (!Home) {
    const TDoublePoint c{53.27 * Degree, 5.00 * Degree};
    v.CenterOn(MercatorForward(c, WGS84Datum()->Ellipsoid));
    v.ZoomAt(20 / std::cos(c.X), {Width / 2.0, Height / 2.0});
  }
  return v;
}

TSetSampling SamplingOf(int64_t Arg) { return Arg ? TSetSampling::Bilinear : TSetSampling::Nearest; }

void FirstView(benchmark::State &State) {
  const TSetViewport view = ViewFor(State.range(0) != 0);
  const TSetSampling sampling = SamplingOf(State.range(1));
  {
    TSetViewPlan plan;
    plan.Build(view, Set().Charts);
    Set().Load(plan);
    State.counters["charts"] = static_cast<double>(plan.Charts().size());
    State.counters["tiles"] = static_cast<double>(plan.VisibleTiles().size());
  }
  TSetRenderer renderer;
  TBitmap32 surface;
  const TSetTileSource source = Set().Source();
  size_t cells = 0;
  for (auto _ : State) {
    TSetViewPlan plan;
    plan.Build(view, Set().Charts);
    renderer.Render(plan, source, DayViewColors(), sampling, surface);
    benchmark::DoNotOptimize(surface.Bits());
    cells = 0;
    for (const auto &p : plan.Charts())
      cells += p.Cells.size();
  }
  State.counters["cells"] = static_cast<double>(cells);
}

// The plan alone, new: how much of the first view is working out the mesh.
void PlanOnly(benchmark::State &State) {
  const TSetViewport view = ViewFor(State.range(0) != 0);
  for (auto _ : State) {
    TSetViewPlan plan;
    plan.Build(view, Set().Charts);
    benchmark::DoNotOptimize(plan.Charts().data());
  }
}

void Pan(benchmark::State &State) {
  TSetViewport view = ViewFor(false);
  const TSetSampling sampling = SamplingOf(State.range(0));
  TSetViewPlan plan;
  TSetRenderer renderer;
  TBitmap32 surface;
  // Both places decoded first.
  plan.Build(view, Set().Charts);
  Set().Load(plan);
  view.ScrollBy(-40, -24);
  plan.Build(view, Set().Charts);
  Set().Load(plan);
  view.ScrollBy(40, 24);
  plan.Build(view, Set().Charts);
  const TSetTileSource source = Set().Source();
  renderer.Render(plan, source, DayViewColors(), sampling, surface);
  int sign = 1;
  for (auto _ : State) {
    view.ScrollBy(-40 * sign, -24 * sign);
    plan.Build(view, Set().Charts);
    for (const TClientRect &r : ShiftSurface(surface, 40 * sign, 24 * sign))
      renderer.Render(plan, source, DayViewColors(), sampling, surface, &r);
    benchmark::DoNotOptimize(surface.Bits());
    sign = -sign;
  }
}

void ZoomStep(benchmark::State &State) {
  TSetViewport view = ViewFor(false);
  const TSetSampling sampling = SamplingOf(State.range(0));
  TSetViewPlan plan;
  TSetRenderer renderer;
  TBitmap32 surface;
  const TDoublePoint centre{Width / 2.0, Height / 2.0};
  plan.Build(view, Set().Charts);
  Set().Load(plan);
  view.ZoomSteps(1, centre);
  plan.Build(view, Set().Charts);
  Set().Load(plan);
  view.ZoomSteps(-1, centre);
  const TSetTileSource source = Set().Source();
  int steps = 1;
  for (auto _ : State) {
    view.ZoomSteps(steps, centre);
    plan.Build(view, Set().Charts);
    renderer.Render(plan, source, DayViewColors(), sampling, surface);
    benchmark::DoNotOptimize(surface.Bits());
    steps = -steps;
  }
}

// The charts' GeoTIFFs for a view: each drawn chart at the level the view
// draws it from, cut at its border, written once per level.
std::vector<std::string> GeoTiffsFor(const TSetViewPlan &Plan) {
  const fs::path folder = fs::temp_directory_path() / "bench_setview_tif";
  fs::create_directories(folder);
  std::vector<std::string> files;
  for (const TSetViewPlan::TChartPlan &p : Plan.Charts()) {
    const TNKFChart &chart = *Set().Charts[static_cast<size_t>(p.Chart)];
    const fs::path file = folder / (fs::path(chart.FileName).stem().string() + "-" + std::to_string(p.Level) + ".tif");
    if (!fs::exists(file)) {
      TNKFExportOptions options;
      options.Level = p.Level;
      options.ClipToBorder = true;
      NKFExportGeoTiff(chart, file.string(), options);
    }
    files.push_back(file.string());
  }
  return files;
}

struct TGdalDataset {
  GDALDatasetH Handle = nullptr;
  ~TGdalDataset() {
    if (Handle)
      GDALClose(Handle);
  }
};

void GdalWarp(benchmark::State &State) {
  GDALAllRegister();
  const TSetViewport view = ViewFor(false);
  const TSetSampling sampling = SamplingOf(State.range(0));
  TSetViewPlan plan;
  plan.Build(view, Set().Charts);
  Set().Load(plan);
  std::vector<TGdalDataset> sources(plan.Charts().size());
  std::vector<GDALDatasetH> handles;
  const std::vector<std::string> files = GeoTiffsFor(plan);
  for (size_t i = 0; i < files.size(); ++i) {
    sources[i].Handle = GDALOpen(files[i].c_str(), GA_ReadOnly);
    if (!sources[i].Handle)
      throw std::runtime_error("bench_setview: GDAL cannot open " + files[i]);
    handles.push_back(sources[i].Handle);
  }
  // The view: World Mercator on WGS 84 (EPSG:3395), the client's corner and
  // size.
  TGdalDataset target;
  target.Handle = GDALCreate(GDALGetDriverByName("MEM"), "", Width, Height, 4, GDT_Byte, nullptr);
  const TDoublePoint corner = view.ClientToMercator({0, 0});
  double transform[6] = {corner.X, view.MetresPerPixel(), 0, corner.Y, 0, -view.MetresPerPixel()};
  GDALSetGeoTransform(target.Handle, transform);
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  OSRImportFromEPSG(srs, 3395);
  char *wkt = nullptr;
  OSRExportToWkt(srs, &wkt);
  GDALSetProjection(target.Handle, wkt);
  CPLFree(wkt);
  OSRDestroySpatialReference(srs);
  const GDALColorInterp colours[4] = {GCI_RedBand, GCI_GreenBand, GCI_BlueBand, GCI_AlphaBand};
  for (int b = 0; b < 4; ++b)
    GDALSetRasterColorInterpretation(GDALGetRasterBand(target.Handle, b + 1), colours[b]);
  const char *arguments[] = {"-r", sampling == TSetSampling::Nearest ? "near" : "bilinear", "-q", nullptr};
  GDALWarpAppOptions *options = GDALWarpAppOptionsNew(const_cast<char **>(arguments), nullptr);
  for (auto _ : State) {
    for (int b = 1; b <= 4; ++b)
      GDALFillRaster(GDALGetRasterBand(target.Handle, b), 0, 0);
    int usageError = 0;
    if (GDALWarp(nullptr, target.Handle, static_cast<int>(handles.size()), handles.data(), options, &usageError) ==
        nullptr)
      throw std::runtime_error("bench_setview: GDALWarp failed");
  }
  GDALWarpAppOptionsFree(options);

  // How many pixels agree with the set view drawn the same way, where both
  // show a chart.
  TBitmap32 ours;
  RenderSetView(plan, Set().Source(), DayViewColors(), sampling, ours);
  std::vector<uint8_t> bands(static_cast<size_t>(Width) * Height * 4);
  for (int b = 0; b < 4; ++b)
    if (GDALRasterIO(GDALGetRasterBand(target.Handle, b + 1), GF_Read, 0, 0, Width, Height,
                     bands.data() + static_cast<size_t>(b) * Width * Height, Width, Height, GDT_Byte, 0, 0) != CE_None)
      throw std::runtime_error("bench_setview: cannot read GDAL's picture");
  size_t both = 0, equal = 0, close = 0;
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x) {
      const size_t k = static_cast<size_t>(y) * Width + x, plane = static_cast<size_t>(Width) * Height;
      if (bands[k + 3 * plane] != 255 || plan.ChartAt(x, y) < 0)
        continue;
      ++both;
      const TColor32 p = ours.ScanLine(y)[x];
      int largest = 0;
      for (int b = 0; b < 3; ++b)
        largest = std::max(largest, std::abs(static_cast<int>((p >> (16 - 8 * b)) & 0xFF) - bands[k + b * plane]));
      equal += largest == 0;
      close += largest <= 8;
    }
  State.counters["both_px"] = static_cast<double>(both);
  State.counters["equal_pct"] = 100.0 * static_cast<double>(equal) / static_cast<double>(both);
  State.counters["within8_pct"] = 100.0 * static_cast<double>(close) / static_cast<double>(both);
}

// The gdalwarp program itself on the same files into a GeoTIFF of the same
// window: what a user of the command line waits for (program start, reading
// the files, writing the result).
void GdalWarpProgram(benchmark::State &State) {
  const TSetViewport view = ViewFor(false);
  TSetViewPlan plan;
  plan.Build(view, Set().Charts);
  const TDoublePoint a = view.ClientToMercator({0, 0}), b = view.ClientToMercator({double(Width), double(Height)});
  const fs::path out = fs::temp_directory_path() / "bench_setview_gdalwarp.tif";
  char window[256];
  std::snprintf(window, sizeof window, " -te %.6f %.6f %.6f %.6f -ts %d %d ", a.X, b.Y, b.X, a.Y, Width, Height);
  std::string command = std::string("gdalwarp -q -overwrite -t_srs EPSG:3395 -r ") +
                        (State.range(0) ? "bilinear" : "near") + window;
  for (const std::string &file : GeoTiffsFor(plan))
    command += " '" + file + "'";
  command += " '" + out.string() + "'";
  for (auto _ : State)
    if (std::system(command.c_str()) != 0)
      throw std::runtime_error("bench_setview: failed: " + command);
  fs::remove(out);
}

BENCHMARK(FirstView)->ArgNames({"home", "bilinear"})->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(PlanOnly)->ArgName("home")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(Pan)->ArgName("bilinear")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(ZoomStep)->ArgName("bilinear")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(GdalWarp)->ArgName("bilinear")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(GdalWarpProgram)->ArgName("bilinear")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
  const std::string option = "--set=";
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], option.c_str(), option.size()) == 0) {
      SetFolder = argv[i] + option.size();
      for (int k = i; k + 1 < argc; ++k)
        argv[k] = argv[k + 1];
      --argc;
      break;
    }
  if (SetFolder.empty()) {
    const fs::path written = fs::temp_directory_path() / "bench_setview_set";
    fs::create_directories(written);
    if (!fs::exists(written / ChartFileNames[ChartFileCount - 1]))
      NKFWriteSampleSet(written.string());
    SetFolder = written.string();
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
