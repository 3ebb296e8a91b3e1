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

// One chart as the set's export sees it before warping.
struct TSetChart {
  std::string File;
  double Resolution = 0; // Web Mercator metres per pixel
  TBounds Bounds{};      // the border's extent in Web Mercator
  bool HasBorder = false;
};

TSetChart MeasureChart(const std::string &File) {
  const TNKFChart chart(File);
  // The chart reader opens a file without the chart magic as an empty chart.
  if (chart.Version == 0)
    throw ENKFExportError(std::string(Operation) + ": " + File + " is not a chart file");
  NKFChartGeoreference(chart); // the export's refusals, before any work
  TSetChart c{File, NKFChartWebResolution(chart), {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL},
              chart.Border.Count() >= 3};
  const std::vector<TDoublePoint> border = BorderPixels(chart);
  for (size_t i = 0; i < border.size(); ++i) {
    const TDoublePoint &a = border[i], &b = border[(i + 1) % border.size()];
    for (int s = 0; s < EdgeSteps; ++s) {
      const double t = static_cast<double>(s) / EdgeSteps;
      Extend(c.Bounds, WebMercator(chart.Calibration->PixelToWGS84({a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t})));
    }
  }
  if (!std::isfinite(c.Resolution) || !(c.Resolution > 0) ||
      !std::all_of(c.Bounds.begin(), c.Bounds.end(), [](double v) { return std::isfinite(v); }))
    throw ENKFExportError(std::string(Operation) + ": " + File + " does not lie where Web Mercator can show it");
  return c;
}

// The Web Mercator grid of the set: zoom level MaxZoom's pixels, the extent
// grown to whole tiles of that level so that the MBTiles driver copies
// pixels instead of resampling them.
struct TWebGrid {
  int MinZoom = 0, MaxZoom = 0;
  double Resolution = 0;
  double Left = 0, Top = 0;
  int Width = 0, Height = 0;
};

TWebGrid SetGrid(const std::vector<TSetChart> &Charts) {
  TWebGrid g;
  g.MaxZoom = NKFWebZoomOf(Charts.back().Resolution);
  g.MinZoom = std::min(g.MaxZoom, NKFWebZoomOf(Charts.front().Resolution));
  g.Resolution = NKFWebZoomResolution(g.MaxZoom);
  TBounds all{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (const TSetChart &c : Charts) {
    Extend(all, {c.Bounds[0], c.Bounds[1]});
    Extend(all, {c.Bounds[2], c.Bounds[3]});
  }
  const double tile = WebTile * g.Resolution, origin = WebWorld / 2;
  const double left = std::floor((all[0] + origin) / tile), right = std::ceil((all[2] + origin) / tile);
  const double top = std::floor((origin - all[3]) / tile), bottom = std::ceil((origin - all[1]) / tile);
  const double pixelsX = (right - left) * WebTile, pixelsY = (bottom - top) * WebTile;
  if (!(pixelsX <= INT32_MAX && pixelsY <= INT32_MAX))
    throw ENKFExportError(std::string(Operation) + ": The set spans more than " + std::to_string(INT32_MAX) +
                          " pixels at zoom level " + std::to_string(g.MaxZoom));
  g.Left = left * tile - origin;
  g.Top = origin - top * tile;
  g.Width = static_cast<int>(pixelsX);
  g.Height = static_cast<int>(pixelsY);
  return g;
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
using TTranslateOptions =
    std::unique_ptr<GDALTranslateOptions, TGdalFree<GDALTranslateOptions, GDALTranslateOptionsFree>>;

// The tiled Web Mercator GeoTIFF that the charts are warped into, empty (and
// so transparent: its blocks are sparse) until then.
GDALDatasetUniquePtr CreateMosaic(const std::string &File, const TWebGrid &Grid) {
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  if (driver == nullptr)
    RaiseGdal(Operation, "GDAL has no GTiff driver");
  CPLStringList options;
  for (const std::string &option : NKFGeoTiffCreationOptions())
    options.AddString(option.c_str());
  // A working file: fast compression, and no blocks for empty sea.
  options.AddString("ZLEVEL=1");
  options.AddString("SPARSE_OK=TRUE");
  GDALDatasetUniquePtr mosaic(driver->Create(File.c_str(), Grid.Width, Grid.Height, 4, GDT_Byte, options.List()));
  if (!mosaic)
    RaiseGdal(Operation, "Cannot create " + File);
  const double transform[6] = {Grid.Left, Grid.Resolution, 0, Grid.Top, 0, -Grid.Resolution};
  OGRSpatialReference web;
  web.importFromEPSG(3857);
  if (mosaic->SetGeoTransform(const_cast<double *>(transform)) != CE_None || mosaic->SetSpatialRef(&web) != CE_None)
    RaiseGdal(Operation, "Cannot georeference " + File);
  return mosaic;
}

// Warps one chart's GeoTIFF into the mosaic over what is there, cut at the
// chart's border where it has one.
void WarpInto(GDALDataset &Mosaic, const std::string &Chart, const std::string &Cutline, int WarpMemoryMB,
              TStagedProgress &Progress) {
  CPLStringList arguments;
  for (const char *a : {"-r", "bilinear", "-dstalpha", "-wm"})
    arguments.AddString(a);
  arguments.AddString(std::to_string(WarpMemoryMB).c_str());
  if (!Cutline.empty()) {
    arguments.AddString("-cutline");
    arguments.AddString(Cutline.c_str());
  }
  TWarpOptions options(GDALWarpAppOptionsNew(arguments.List(), nullptr));
  if (!options)
    RaiseGdal(Operation, "GDAL refuses the warp options");
  GDALWarpAppOptionsSetProgress(options.get(), TStagedProgress::Gdal, &Progress);
  GDALDatasetUniquePtr source(GDALDataset::Open(Chart.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  if (!source)
    RaiseGdal(Operation, "Cannot read " + Chart);
  GDALDatasetH sources[] = {GDALDataset::ToHandle(source.get())};
  int usageError = FALSE;
  if (GDALWarp(nullptr, GDALDataset::ToHandle(&Mosaic), 1, sources, options.get(), &usageError) == nullptr)
    RaiseGdal(Operation, "Cannot warp " + Chart);
}

// Exports one chart and warps it into the mosaic; its working files go at
// once, so that the disk holds one chart's at a time.
void AddChart(GDALDataset &Mosaic, const TSetChart &Chart, const TWorkFolder &Work, int WarpMemoryMB,
              TStagedProgress &Progress) {
  const std::string image = Work.File("chart.tif"), cutline = Work.File("border.geojson");
  TOutputFile imageFile(image), cutlineFile(cutline);
  const TNKFChart chart(Chart.File);
  Progress.Begin(1);
  NKFExportGeoTiff(chart, image, TNKFExportOptions{}, [&Progress](double Done) { Progress.Report(Done); });
  if (Chart.HasBorder)
    NKFWriteFootprint(chart, cutline);
  Progress.Begin(1);
  WarpInto(Mosaic, image, Chart.HasBorder ? cutline : std::string(), WarpMemoryMB, Progress);
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

void WriteMBTiles(const std::string &Mosaic, const std::string &File, const TWebGrid &Grid,
                  const TNKFSetExportOptions &Options, TStagedProgress &Progress) {
  const std::string name = "NAME=" + Options.Name, description = "DESCRIPTION=" + Options.Name;
  CPLStringList arguments;
  for (const char *a : {"-of", "MBTiles", "-co", "TILE_FORMAT=PNG", "-co", "TYPE=baselayer", "-co", name.c_str(), "-co",
                        description.c_str()})
    arguments.AddString(a);
  TTranslateOptions options(GDALTranslateOptionsNew(arguments.List(), nullptr));
  if (!options)
    RaiseGdal(Operation, "GDAL refuses the MBTiles options");
  GDALTranslateOptionsSetProgress(options.get(), TStagedProgress::Gdal, &Progress);
  GDALDatasetUniquePtr source(GDALDataset::Open(Mosaic.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  if (!source)
    RaiseGdal(Operation, "Cannot read " + Mosaic);
  int usageError = FALSE;
  GDALDatasetUniquePtr tiles(GDALDataset::FromHandle(
      GDALTranslate(File.c_str(), GDALDataset::ToHandle(source.get()), options.get(), &usageError)));
  if (!tiles)
    RaiseGdal(Operation, "Cannot write the tiles");
  tiles.reset();

  // The overviews a plotter shows when zoomed out, down to the coarsest chart's level.
  std::vector<int> factors;
  for (int z = Grid.MaxZoom - 1; z >= Grid.MinZoom; --z)
    factors.push_back(1 << (Grid.MaxZoom - z));
  Progress.Begin(1);
  if (factors.empty())
    return;
  tiles.reset(GDALDataset::Open(File.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE));
  if (!tiles || tiles->BuildOverviews("AVERAGE", static_cast<int>(factors.size()), factors.data(), 0, nullptr,
                                      TStagedProgress::Gdal, &Progress) != CE_None)
    RaiseGdal(Operation, "Cannot write the overviews");
  tiles.reset();
  if (CPLGetLastErrorType() >= CE_Failure)
    RaiseGdal(Operation, "Cannot write the overviews");
  SetMinZoom(File, Grid.MinZoom);
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

void NKFExportSet(const std::vector<std::string> &ChartFiles, const std::string &OutFile,
                  const TNKFSetExportOptions &Options, const TNKFExportProgress &Progress) {
  if (ChartFiles.empty())
    throw ENKFExportError(std::string(Operation) + ": No charts to export");
  std::vector<TSetChart> charts;
  for (const std::string &file : ChartFiles) {
    RefuseChartAsOutput(file, OutFile, Operation);
    charts.push_back(MeasureChart(file));
  }
  // Coarsest first: each finer chart is drawn over those before it.
  std::stable_sort(charts.begin(), charts.end(),
                   [](const TSetChart &a, const TSetChart &b) { return a.Resolution > b.Resolution; });
  const TWebGrid grid = SetGrid(charts);

  GDALAllRegister();
  TGdalErrorScope quiet;
  const TWorkFolder work(OutFile);
  TStagedProgress progress(Progress, 2.0 * static_cast<double>(charts.size()) + 3);
  {
    GDALDatasetUniquePtr mosaic = CreateMosaic(work.File("mosaic.tif"), grid);
    for (const TSetChart &chart : charts)
      AddChart(*mosaic, chart, work, Options.WarpMemoryMB, progress);
    mosaic.reset();
    if (CPLGetLastErrorType() >= CE_Failure)
      RaiseGdal(Operation, "Cannot write " + work.File("mosaic.tif"));
  }
  progress.Begin(2);
  const std::string tiles = work.File("set.mbtiles");
  WriteMBTiles(work.File("mosaic.tif"), tiles, grid, Options, progress);
  // Only a finished file takes the output's name: a failed run leaves an
  // earlier output as it was.
  std::error_code error;
  fs::rename(tiles, OutFile, error);
  if (error)
    throw ENKFExportError(std::string(Operation) + ": Cannot write " + OutFile + " (" + error.message() + ")");
  progress.Report(1);
}
