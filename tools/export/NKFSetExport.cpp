#include "NKFSetExport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <numbers>

#include <unistd.h>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <sqlite3.h>

#include "ChartSetNames.h"
#include "NKFChartDataset.h"
#include "NKFGdalSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr double WebRadius = 6378137; // EPSG:3857's sphere
constexpr double WebWorld = 2 * std::numbers::pi * WebRadius;
constexpr int WebTile = 256;
constexpr int MaxWebZoom = 24;
// Border edges are straight on the chart's grid, not in Web Mercator: each
// is followed at this many points for the set's extent.
constexpr int EdgeSteps = 16;
const char *const Operation = "NKFExportSet";

TDoublePoint WebMercator(const TDoublePoint &LatLon) {
  return {WebRadius * LatLon.Y, WebRadius * std::log(std::tan(std::numbers::pi / 4 + LatLon.X / 2))};
}

// Minimum x, minimum y, maximum x, maximum y.
using TBounds = std::array<double, 4>;

void Extend(TBounds &Bounds, const TDoublePoint &P) {
  Bounds = {std::min(Bounds[0], P.X), std::min(Bounds[1], P.Y), std::max(Bounds[2], P.X), std::max(Bounds[3], P.Y)};
}

// The chart's border in calibration pixels (corners of pixels); the image's
// rectangle for a chart without one.
std::vector<TDoublePoint> BorderPixels(const TNKFChart &Chart) {
  std::vector<TDoublePoint> points;
  for (int32_t i = 0; i < Chart.Border.Count(); ++i) {
    const TPoint p = Chart.Border.GetPoint(i);
    points.push_back({p.X - 0.5, p.Y - 0.5});
  }
  if (points.size() < 3) {
    const double w = Chart.Levels[0].Width - 0.5, h = Chart.Levels[0].Height - 0.5;
    points = {{-0.5, -0.5}, {w, -0.5}, {w, h}, {-0.5, h}};
  }
  return points;
}

TNKFSetChart MeasureChart(const std::string &File) {
  const TNKFChart chart(File);
  // The chart reader opens a file without the chart magic as an empty chart.
  if (chart.Version == 0)
    throw ENKFExportError(std::string(Operation) + ": " + File + " is not a chart file");
  NKFChartGeoreference(chart); // the export's refusals, before any work
  TNKFSetChart c;
  c.File = File;
  c.Resolution = NKFChartWebResolution(chart);
  c.Zoom = NKFWebZoomOf(c.Resolution);
  c.HasBorder = chart.Border.Count() >= 3;
  TBounds bounds{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  const std::vector<TDoublePoint> border = BorderPixels(chart);
  for (size_t i = 0; i < border.size(); ++i) {
    const TDoublePoint &a = border[i], &b = border[(i + 1) % border.size()];
    for (int s = 0; s < EdgeSteps; ++s) {
      const double t = static_cast<double>(s) / EdgeSteps;
      Extend(bounds, WebMercator(chart.Calibration->PixelToWGS84({a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t})));
    }
  }
  c.Left = bounds[0];
  c.Bottom = bounds[1];
  c.Right = bounds[2];
  c.Top = bounds[3];
  if (!std::isfinite(c.Resolution) || !(c.Resolution > 0) ||
      !std::all_of(bounds.begin(), bounds.end(), [](double v) { return std::isfinite(v); }))
    throw ENKFExportError(std::string(Operation) + ": " + File + " does not lie where Web Mercator can show it");
  return c;
}

// The set's grid: zoom level MaxZoom's pixels over every chart, the extent
// grown to whole tiles of that level so that each tile of the finest level
// is written from one block.
void PlaceGrid(TNKFSetPlan &Plan) {
  Plan.MaxZoom = Plan.Charts.back().Zoom;
  Plan.MinZoom = std::min(Plan.MaxZoom, Plan.Charts.front().Zoom);
  const double resolution = NKFWebZoomResolution(Plan.MaxZoom);
  TBounds all{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (const TNKFSetChart &c : Plan.Charts) {
    Extend(all, {c.Left, c.Bottom});
    Extend(all, {c.Right, c.Top});
  }
  const double tile = WebTile * resolution, origin = WebWorld / 2;
  const double left = std::floor((all[0] + origin) / tile), right = std::ceil((all[2] + origin) / tile);
  const double top = std::floor((origin - all[3]) / tile), bottom = std::ceil((origin - all[1]) / tile);
  const double pixelsX = (right - left) * WebTile, pixelsY = (bottom - top) * WebTile;
  if (!(pixelsX <= INT32_MAX && pixelsY <= INT32_MAX))
    throw ENKFExportError(std::string(Operation) + ": The set spans more than " + std::to_string(INT32_MAX) +
                          " pixels at zoom level " + std::to_string(Plan.MaxZoom));
  Plan.Left = left * tile - origin;
  Plan.Top = origin - top * tile;
  Plan.Width = static_cast<int>(pixelsX);
  Plan.Height = static_cast<int>(pixelsY);
}

// The pixels of zoom level Zoom that the chart's warp fills, for the progress.
double WarpPixels(const TNKFSetChart &Chart, int Zoom) {
  const double resolution = NKFWebZoomResolution(Zoom);
  return (Chart.Right - Chart.Left) / resolution * ((Chart.Top - Chart.Bottom) / resolution);
}

// The run's share of the work: each step has a weight, and GDAL's progress
// within a step moves the whole run's figure.
class TStagedProgress {
public:
  TStagedProgress(const TNKFExportProgress &Progress, double Total) : FProgress(Progress), FTotal(Total) {}
  void Begin(double Weight) {
    FDone += FWeight;
    FWeight = Weight;
    Report(0);
  }
  void Report(double Share) {
    if (FProgress)
      FProgress(std::min(1.0, (FDone + FWeight * std::clamp(Share, 0.0, 1.0)) / FTotal));
  }
  static int CPL_STDCALL Gdal(double Share, const char *, void *Self) {
    static_cast<TStagedProgress *>(Self)->Report(Share);
    return TRUE;
  }

private:
  const TNKFExportProgress &FProgress;
  double FTotal, FDone = 0, FWeight = 0;
};

// A folder of the run's own next to the output, removed with what it holds.
class TWorkFolder {
public:
  explicit TWorkFolder(const std::string &OutFile) {
    const fs::path out(OutFile);
    FPath = out.parent_path() / ("." + out.filename().string() + ".nkf2export-" + std::to_string(getpid()));
    std::error_code error;
    fs::create_directory(FPath, error);
    if (error)
      throw ENKFExportError(std::string(Operation) + ": Cannot write " + OutFile + " (" + error.message() + ")");
  }
  ~TWorkFolder() {
    std::error_code ignored;
    fs::remove_all(FPath, ignored);
  }
  TWorkFolder(const TWorkFolder &) = delete;
  TWorkFolder &operator=(const TWorkFolder &) = delete;
  std::string File(const std::string &Name) const { return (FPath / Name).string(); }

private:
  fs::path FPath;
};

template <typename T, void (*Free)(T *)> struct TGdalFree {
  void operator()(T *P) const { Free(P); }
};
using TWarpOptions = std::unique_ptr<GDALWarpAppOptions, TGdalFree<GDALWarpAppOptions, GDALWarpAppOptionsFree>>;

CPLStringList StringList(const std::vector<std::string> &Strings) {
  CPLStringList list;
  for (const std::string &s : Strings)
    list.AddString(s.c_str());
  return list;
}

// The empty MBTiles file: no tile yet, its zoom levels from MinZoom to
// MaxZoom as empty overviews for the charts' warps to fill.
void CreateTiles(const std::string &File, const TNKFSetPlan &Plan, const TNKFSetExportOptions &Options) {
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("MBTiles");
  if (driver == nullptr)
    RaiseGdal(Operation, "GDAL has no MBTiles driver");
  GDALDatasetUniquePtr tiles(
      driver->Create(File.c_str(), Plan.Width, Plan.Height, 4, GDT_Byte, StringList(NKFSetCreationOptions(Options)).List()));
  if (!tiles)
    RaiseGdal(Operation, "Cannot create " + File);
  const double resolution = NKFWebZoomResolution(Plan.MaxZoom);
  const double transform[6] = {Plan.Left, resolution, 0, Plan.Top, 0, -resolution};
  OGRSpatialReference web;
  web.importFromEPSG(3857);
  if (tiles->SetSpatialRef(&web) != CE_None || tiles->SetGeoTransform(const_cast<double *>(transform)) != CE_None)
    RaiseGdal(Operation, "Cannot georeference " + File);
  const std::vector<int> factors = NKFSetOverviewFactors(Plan);
  if (!factors.empty() && tiles->BuildOverviews("NONE", static_cast<int>(factors.size()), factors.data(), 0, nullptr,
                                                nullptr, nullptr) != CE_None)
    RaiseGdal(Operation, "Cannot make the zoom levels of " + File);
  tiles.reset();
  if (CPLGetLastErrorType() >= CE_Failure)
    RaiseGdal(Operation, "Cannot write " + File);
}

// Warps one chart into zoom level Zoom of the tiles over what is there. The
// warper reads and writes only the window the chart covers, and takes the
// chart's own coarser level where the zoom level is coarser than the chart.
void WarpInto(const std::string &Tiles, int Zoom, GDALDataset &Source, const std::string &Chart,
              const TNKFSetExportOptions &Options, TStagedProgress &Progress) {
  TWarpOptions options(GDALWarpAppOptionsNew(StringList(NKFSetWarpArguments(Options)).List(), nullptr));
  if (!options)
    RaiseGdal(Operation, "GDAL refuses the warp options");
  GDALWarpAppOptionsSetProgress(options.get(), TStagedProgress::Gdal, &Progress);
  const std::string level = "ZOOM_LEVEL=" + std::to_string(Zoom);
  const char *const openOptions[] = {level.c_str(), nullptr};
  GDALDatasetUniquePtr target(GDALDataset::Open(Tiles.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE, nullptr, openOptions));
  if (!target)
    RaiseGdal(Operation, "Cannot open zoom level " + std::to_string(Zoom) + " of " + Tiles);
  GDALDatasetH sources[] = {GDALDataset::ToHandle(&Source)};
  int usageError = FALSE;
  if (GDALWarp(nullptr, GDALDataset::ToHandle(target.get()), 1, sources, options.get(), &usageError) == nullptr)
    RaiseGdal(Operation, "Cannot warp " + Chart);
  target.reset();
  if (CPLGetLastErrorType() >= CE_Failure)
    RaiseGdal(Operation, "Cannot write zoom level " + std::to_string(Zoom) + " of " + Tiles);
}

// Warps one chart into every zoom level it is drawn at, straight from its
// tiles, everything beyond its border transparent: that cuts the chart where
// a cutline would, at half the warper's cost.
void AddChart(const std::string &Tiles, const TNKFSetChart &Chart, const TNKFSetPlan &Plan,
              const TNKFSetExportOptions &Options, TStagedProgress &Progress) {
  const TNKFChart chart(Chart.File);
  const std::unique_ptr<GDALDataset> source = NKFOpenChartDataset(chart, true);
  for (int z = Plan.MinZoom; z <= Chart.Zoom; ++z) {
    Progress.Begin(WarpPixels(Chart, z));
    WarpInto(Tiles, z, *source, Chart.File, Options, Progress);
  }
}

// The MBTiles driver records the level at which the whole set fits one
// tile, coarser than any tile written: a plotter would show an empty layer
// there. GDAL offers no way to change the value, so the file's database
// takes the true level directly.
void SetMinZoom(const std::string &File, int MinZoom) {
  sqlite3 *opened = nullptr;
  const int status = sqlite3_open_v2(File.c_str(), &opened, SQLITE_OPEN_READWRITE, nullptr);
  const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> database(opened, sqlite3_close);
  const std::string sql = "UPDATE metadata SET value = '" + std::to_string(MinZoom) + "' WHERE name = 'minzoom'";
  if (status != SQLITE_OK || sqlite3_exec(opened, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    throw ENKFExportError(std::string(Operation) + ": Cannot write the zoom levels into " + File + " (" +
                          (opened ? sqlite3_errmsg(opened) : "out of memory") + ")");
}

} // namespace

double NKFWebZoomResolution(int Zoom) { return WebWorld / WebTile / std::ldexp(1.0, Zoom); }

int NKFWebZoomOf(double MetresPerPixel) {
  const double zoom = std::round(std::log2(WebWorld / WebTile / MetresPerPixel));
  return static_cast<int>(std::clamp(std::isfinite(zoom) ? zoom : 0.0, 0.0, double{MaxWebZoom}));
}

double NKFChartWebResolution(const TNKFChart &Chart) {
  const TCalibration &calibration = *Chart.Calibration;
  const double x = Chart.Levels[0].Width / 2.0, y = Chart.Levels[0].Height / 2.0;
  const TDoublePoint o = WebMercator(calibration.PixelToWGS84({x, y}));
  const TDoublePoint a = WebMercator(calibration.PixelToWGS84({x + 1, y}));
  const TDoublePoint b = WebMercator(calibration.PixelToWGS84({x, y + 1}));
  return std::sqrt(std::fabs((a.X - o.X) * (b.Y - o.Y) - (a.Y - o.Y) * (b.X - o.X)));
}

std::vector<std::string> NKFSetChartFiles(const std::string &Folder) {
  std::error_code error;
  if (!fs::is_directory(Folder, error))
    throw ENKFExportError("NKFSetChartFiles: " + Folder + " is not a folder");
  std::vector<std::string> files, missing;
  for (const char *name : ChartFileNames) {
    const fs::path file = fs::path(Folder) / name;
    (fs::is_regular_file(file, error) ? files : missing).push_back(file.string());
  }
  if (files.empty())
    throw ENKFExportError("NKFSetChartFiles: " + Folder + " holds none of the charts of the set");
  if (!missing.empty()) {
    std::string names;
    for (const std::string &m : missing)
      names += (names.empty() ? "" : ", ") + fs::path(m).filename().string();
    throw ENKFExportError("NKFSetChartFiles: " + Folder + " lacks " + names);
  }
  return files;
}

TNKFSetPlan NKFPlanSet(const std::vector<std::string> &ChartFiles, const std::string &OutFile) {
  if (ChartFiles.empty())
    throw ENKFExportError(std::string(Operation) + ": No charts to export");
  TNKFSetPlan plan;
  for (const std::string &file : ChartFiles) {
    RefuseChartAsOutput(file, OutFile, Operation);
    plan.Charts.push_back(MeasureChart(file));
  }
  // Coarsest first: each finer chart is drawn over those before it.
  std::stable_sort(plan.Charts.begin(), plan.Charts.end(),
                   [](const TNKFSetChart &a, const TNKFSetChart &b) { return a.Resolution > b.Resolution; });
  PlaceGrid(plan);
  return plan;
}

std::vector<int> NKFSetOverviewFactors(const TNKFSetPlan &Plan) {
  std::vector<int> factors;
  for (int z = Plan.MaxZoom - 1; z >= Plan.MinZoom; --z)
    factors.push_back(1 << (Plan.MaxZoom - z));
  return factors;
}

std::vector<std::string> NKFSetCreationOptions(const TNKFSetExportOptions &Options) {
  return {"TILE_FORMAT=PNG", "TYPE=baselayer", "NAME=" + Options.Name, "DESCRIPTION=" + Options.Name};
}

std::vector<std::string> NKFSetWarpArguments(const TNKFSetExportOptions &Options) {
  return {"-r", "bilinear", "-dstalpha", "-wm", std::to_string(Options.WarpMemoryMB), "-multi", "-wo",
          "NUM_THREADS=" + std::to_string(Options.WarpThreads)};
}

void NKFExportSet(const std::vector<std::string> &ChartFiles, const std::string &OutFile,
                  const TNKFSetExportOptions &Options, const TNKFExportProgress &Progress) {
  const TNKFSetPlan plan = NKFPlanSet(ChartFiles, OutFile);
  double work = 0;
  for (const TNKFSetChart &chart : plan.Charts) {
    for (int z = plan.MinZoom; z <= chart.Zoom; ++z)
      work += WarpPixels(chart, z);
  }
  GDALAllRegister();
  TGdalErrorScope quiet;
  const TWorkFolder folder(OutFile);
  TStagedProgress progress(Progress, work);
  const std::string tiles = folder.File("set.mbtiles");
  CreateTiles(tiles, plan, Options);
  for (const TNKFSetChart &chart : plan.Charts)
    AddChart(tiles, chart, plan, Options, progress);
  SetMinZoom(tiles, plan.MinZoom);
  // Only a finished file takes the output's name: a failed run leaves an
  // earlier output as it was.
  std::error_code error;
  fs::rename(tiles, OutFile, error);
  if (error)
    throw ENKFExportError(std::string(Operation) + ": Cannot write " + OutFile + " (" + error.message() + ")");
  progress.Begin(0);
  progress.Report(1);
}
