#include "NKFSetExport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <numbers>

#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
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

// The signal that stopped the run, 0 while none has.
volatile sig_atomic_t Stopped = 0;

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

// The tiles of level Zoom that the extent All touches, across and down.
std::array<double, 4> TileRange(const TBounds &All, int Zoom) {
  const double tile = WebTile * NKFWebZoomResolution(Zoom), origin = WebWorld / 2;
  return {std::floor((All[0] + origin) / tile), std::floor((origin - All[3]) / tile),
          std::ceil((All[2] + origin) / tile), std::ceil((origin - All[1]) / tile)};
}

// The set's grid: zoom level MaxZoom's pixels over every chart, the extent
// grown to whole tiles of level MinZoom so that every level starts on a
// tile edge and each of its tiles is written from whole blocks.
void PlaceGrid(TNKFSetPlan &Plan) {
  Plan.MaxZoom = Plan.Charts.back().Zoom;
  Plan.ChartZoom = std::min(Plan.MaxZoom, Plan.Charts.front().Zoom);
  TBounds all{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (const TNKFSetChart &c : Plan.Charts) {
    Extend(all, {c.Left, c.Bottom});
    Extend(all, {c.Right, c.Top});
  }
  Plan.West = all[0];
  Plan.South = all[1];
  Plan.East = all[2];
  Plan.North = all[3];
  Plan.MinZoom = 0;
  for (int z = Plan.ChartZoom; z >= 0; --z) {
    const std::array<double, 4> tiles = TileRange(all, z);
    if (tiles[2] - tiles[0] <= 2 && tiles[3] - tiles[1] <= 2) {
      Plan.MinZoom = z;
      break;
    }
  }
  const std::array<double, 4> tiles = TileRange(all, Plan.MinZoom);
  const double scale = std::ldexp(1.0, Plan.MaxZoom - Plan.MinZoom), tile = WebTile * NKFWebZoomResolution(Plan.MinZoom);
  const double pixelsX = (tiles[2] - tiles[0]) * WebTile * scale, pixelsY = (tiles[3] - tiles[1]) * WebTile * scale;
  if (!(pixelsX <= INT32_MAX && pixelsY <= INT32_MAX))
    throw ENKFExportError(std::string(Operation) + ": The set spans more than " + std::to_string(INT32_MAX) +
                          " pixels at zoom level " + std::to_string(Plan.MaxZoom));
  Plan.Left = tiles[0] * tile - WebWorld / 2;
  Plan.Top = WebWorld / 2 - tiles[1] * tile;
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
    return Stopped == 0 ? TRUE : FALSE;
  }

private:
  const TNKFExportProgress &FProgress;
  double FTotal, FDone = 0, FWeight = 0;
};

void CheckStopped() {
  if (Stopped != 0)
    throw ENKFExportError(std::string(Operation) + ": Stopped by signal " + std::to_string(Stopped) + " (" +
                          strsignal(Stopped) + ")");
}

// The signals that end a run from the terminal or the system only note
// themselves while the export runs: the run stops at its next step and
// removes its work folder before the program ends.
class TSignalScope {
public:
  TSignalScope() {
    Stopped = 0;
    struct sigaction action {};
    action.sa_handler = [](int Signal) { Stopped = Signal; };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A signal the program was started to ignore (nohup's SIGHUP) stays
    // ignored: the user asked for the run to outlive the terminal.
    for (size_t i = 0; i < std::size(Signals); ++i)
      if (sigaction(Signals[i], nullptr, &FPrevious[i]) == 0 && FPrevious[i].sa_handler != SIG_IGN)
        sigaction(Signals[i], &action, nullptr);
  }
  ~TSignalScope() {
    for (size_t i = 0; i < std::size(Signals); ++i)
      sigaction(Signals[i], &FPrevious[i], nullptr);
  }
  TSignalScope(const TSignalScope &) = delete;
  TSignalScope &operator=(const TSignalScope &) = delete;

private:
  static constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction FPrevious[std::size(Signals)] {};
};

constexpr const char *WorkTag = ".nkf2export-";
constexpr const char *LockName = "lock";

// A work folder left by a run that is over: its lock is free (the system
// frees it when the run's process ends, however it ends), or, without a
// lock file, its process is gone.
bool Abandoned(const fs::path &Folder) {
  const std::string name = Folder.filename().string();
  const size_t tag = name.rfind(WorkTag);
  if (name.empty() || name[0] != '.' || tag == std::string::npos)
    return false;
  const std::string pid = name.substr(tag + std::strlen(WorkTag));
  if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid.size() > 9)
    return false;
  const int lock = open((Folder / LockName).c_str(), O_RDWR | O_CLOEXEC);
  if (lock < 0)
    return errno == ENOENT && kill(static_cast<pid_t>(std::stol(pid)), 0) != 0 && errno == ESRCH;
  const bool free = flock(lock, LOCK_EX | LOCK_NB) == 0;
  close(lock);
  return free;
}

// A folder of the run's own next to the output, locked while the run
// lives, removed with what it holds; abandoned ones beside it go first.
class TWorkFolder {
public:
  explicit TWorkFolder(const std::string &OutFile) {
    const fs::path out(OutFile);
    const fs::path parent = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    std::error_code error;
    for (fs::directory_iterator i(parent, error), end; !error && i != end; i.increment(error))
      if (i->is_directory(error) && Abandoned(i->path()))
        fs::remove_all(i->path(), error);
    FPath = out.parent_path() / ("." + out.filename().string() + WorkTag + std::to_string(getpid()));
    error.clear();
    const bool created = fs::create_directory(FPath, error);
    if (!error) {
      FLock = open((FPath / LockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (FLock < 0 || flock(FLock, LOCK_EX | LOCK_NB) != 0)
        error = std::error_code(errno, std::generic_category());
    }
    if (error) {
      if (!created) // another export of this process holds it
        FPath.clear();
      Remove();
      throw ENKFExportError(std::string(Operation) + ": Cannot write " + OutFile + " (" + error.message() + ")");
    }
  }
  ~TWorkFolder() { Remove(); }
  TWorkFolder(const TWorkFolder &) = delete;
  TWorkFolder &operator=(const TWorkFolder &) = delete;
  std::string File(const std::string &Name) const { return (FPath / Name).string(); }

private:
  void Remove() {
    std::error_code ignored;
    if (!FPath.empty())
      fs::remove_all(FPath, ignored);
    if (FLock >= 0)
      close(FLock);
    FLock = -1;
  }
  fs::path FPath;
  int FLock = -1;
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

constexpr int Bands = 4;

GDALDatasetUniquePtr OpenLevel(const std::string &Tiles, int Zoom, bool Update) {
  const std::string level = "ZOOM_LEVEL=" + std::to_string(Zoom);
  const char *const openOptions[] = {level.c_str(), nullptr};
  GDALDatasetUniquePtr dataset(GDALDataset::Open(
      Tiles.c_str(), GDAL_OF_RASTER | (Update ? GDAL_OF_UPDATE : GDAL_OF_READONLY), nullptr, openOptions));
  if (!dataset)
    RaiseGdal(Operation, "Cannot open zoom level " + std::to_string(Zoom) + " of " + Tiles);
  return dataset;
}

void Close(GDALDatasetUniquePtr &Dataset, const std::string &What) {
  Dataset.reset();
  if (CPLGetLastErrorType() >= CE_Failure)
    RaiseGdal(Operation, "Cannot write " + What);
}

// The level's drawing: a tiled GeoTIFF over the level's window, its blocks
// the level's tiles, empty blocks not written.
GDALDatasetUniquePtr CreateLevel(const std::string &File, const TNKFSetPlan &Plan, int Zoom,
                                 const TNKFSetWindow &Window) {
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  const char *const options[] = {"TILED=YES",     "BLOCKXSIZE=256", "BLOCKYSIZE=256", "SPARSE_OK=TRUE",
                                 "PHOTOMETRIC=RGB", "ALPHA=YES",     "BIGTIFF=IF_SAFER", nullptr};
  GDALDatasetUniquePtr level(
      driver ? driver->Create(File.c_str(), Window.Width, Window.Height, Bands, GDT_Byte, const_cast<char **>(options))
             : nullptr);
  if (!level)
    RaiseGdal(Operation, "Cannot create " + File);
  const double resolution = NKFWebZoomResolution(Zoom);
  const double transform[6] = {Plan.Left + Window.X * resolution, resolution, 0, Plan.Top - Window.Y * resolution, 0,
                               -resolution};
  OGRSpatialReference web;
  web.importFromEPSG(3857);
  if (level->SetSpatialRef(&web) != CE_None || level->SetGeoTransform(const_cast<double *>(transform)) != CE_None)
    RaiseGdal(Operation, "Cannot georeference " + File);
  return level;
}

// Warps one chart into a level's drawing over what is there. The warper
// reads and writes only the window the chart covers, and takes the chart's
// own coarser level where the zoom level is coarser than the chart.
void WarpInto(GDALDataset &Level, GDALDataset &Source, const std::string &Chart, const TNKFSetExportOptions &Options,
              TStagedProgress &Progress) {
  TWarpOptions options(GDALWarpAppOptionsNew(StringList(NKFSetWarpArguments(Options)).List(), nullptr));
  if (!options)
    RaiseGdal(Operation, "GDAL refuses the warp options");
  GDALWarpAppOptionsSetProgress(options.get(), TStagedProgress::Gdal, &Progress);
  GDALDatasetH sources[] = {GDALDataset::ToHandle(&Source)};
  int usageError = FALSE;
  const bool warped =
      GDALWarp(nullptr, GDALDataset::ToHandle(&Level), 1, sources, options.get(), &usageError) != nullptr;
  CheckStopped();
  if (!warped)
    RaiseGdal(Operation, "Cannot warp " + Chart);
}

// Over: Top's pixels over Below's where Top is not opaque (straight alpha).
void Composite(uint8_t *Top, const uint8_t *Below, size_t Pixels) {
  for (size_t i = 0; i < Pixels; ++i, Top += Bands, Below += Bands) {
    const unsigned a = Top[3];
    if (a == 255 || Below[3] == 0)
      continue;
    const unsigned b = Below[3] * (255 - a); // Below's weight, in 255ths of 255ths
    const unsigned alpha = a * 255 + b;
    for (int c = 0; c < 3; ++c)
      Top[c] = static_cast<uint8_t>((Top[c] * a * 255 + Below[c] * b + alpha / 2) / alpha);
    Top[3] = static_cast<uint8_t>((alpha + 127) / 255);
  }
}

// The coarser level's pixels under Width x 256 pixels of this level from X,
// Y (the level's pixels from the grid's corner), enlarged twice: bilinear,
// weighted by alpha so that transparent pixels do not darken their
// neighbours. (GDAL's resampling reads take most of the time of --fill.)
void Enlarge(GDALDataset &Below, const TNKFSetWindow &Window, int X, int Y, int Width, std::vector<uint8_t> &Source,
             std::vector<uint8_t> &Out) {
  // The coarser pixels around those under the row, clamped to its drawing.
  const int left = std::max(0, X / 2 - 1 - Window.X), right = std::min(Window.Width, (X + Width) / 2 + 1 - Window.X);
  const int top = std::max(0, Y / 2 - 1 - Window.Y), bottom = std::min(Window.Height, (Y + WebTile) / 2 + 1 - Window.Y);
  const int columns = right - left, rows = bottom - top;
  std::fill(Out.begin(), Out.end(), 0);
  if (columns <= 0 || rows <= 0)
    return;
  Source.resize(static_cast<size_t>(columns) * rows * Bands);
  if (Below.RasterIO(GF_Read, left, top, columns, rows, Source.data(), columns, rows, GDT_Byte, Bands, nullptr, Bands,
                     static_cast<GSpacing>(columns) * Bands, 1, nullptr) != CE_None)
    RaiseGdal(Operation, "Cannot read the coarser level's drawing");
  // A pixel's centre lies a quarter of a coarser pixel from the nearer of
  // two coarser centres: weights 3 and 1 (in quarters) across and down.
  const auto taps = [](int Pixel, int Origin, int First, int Count) {
    const int near = Pixel / 2 - Origin, far = near + ((Pixel & 1) ? 1 : -1);
    return std::array<int, 2>{std::clamp(near - First, 0, Count - 1), std::clamp(far - First, 0, Count - 1)};
  };
  std::vector<std::array<int, 2>> across(static_cast<size_t>(Width));
  for (int i = 0; i < Width; ++i)
    across[i] = taps(X + i, Window.X, left, columns);
  for (int r = 0; r < WebTile; ++r) {
    const std::array<int, 2> down = taps(Y + r, Window.Y, top, rows);
    const uint8_t *near = Source.data() + static_cast<size_t>(down[0]) * columns * Bands;
    const uint8_t *far = Source.data() + static_cast<size_t>(down[1]) * columns * Bands;
    uint8_t *out = Out.data() + static_cast<size_t>(r) * Width * Bands;
    for (int i = 0; i < Width; ++i, out += Bands) {
      const uint8_t *p[4] = {near + across[i][0] * Bands, near + across[i][1] * Bands, far + across[i][0] * Bands,
                             far + across[i][1] * Bands};
      constexpr unsigned Weight[4] = {9, 3, 3, 1}; // sixteenths
      unsigned alpha = 0, colour[3] = {0, 0, 0};
      for (int k = 0; k < 4; ++k) {
        const unsigned w = Weight[k] * p[k][3];
        alpha += w;
        for (int c = 0; c < 3; ++c)
          colour[c] += w * p[k][c];
      }
      if (alpha == 0)
        continue;
      for (int c = 0; c < 3; ++c)
        out[c] = static_cast<uint8_t>((colour[c] + alpha / 2) / alpha);
      out[3] = static_cast<uint8_t>((alpha + 8) / 16);
    }
  }
}

// The open chart and its dataset, for every level it is drawn at.
struct TOpenChart {
  const TNKFSetChart &Chart;
  TNKFChart File;
  std::unique_ptr<GDALDataset> Dataset;
  explicit TOpenChart(const TNKFSetChart &C) : Chart(C), File(C.File), Dataset(NKFOpenChartDataset(File, true)) {}
};

// One level: its charts warped into its drawing, with Fill over the coarser
// level's drawing (Below) enlarged; then copied into the MBTiles level in
// rows of whole tiles, by this thread alone.
void DrawLevel(const std::string &Tiles, const std::string &Drawing, GDALDataset *Below,
               const TNKFSetWindow &BelowWindow, int Zoom, const TNKFSetPlan &Plan,
               std::vector<std::unique_ptr<TOpenChart>> &Charts, const TNKFSetExportOptions &Options,
               TStagedProgress &Progress, GDALDatasetUniquePtr &Level) {
  const TNKFSetWindow window = NKFSetLevelWindow(Plan, Zoom, Options.Fill);
  if (window.Width == 0)
    return;
  Level = CreateLevel(Drawing, Plan, Zoom, window);
  for (const std::unique_ptr<TOpenChart> &chart : Charts)
    if (chart->Chart.Zoom >= Zoom) {
      Progress.Begin(WarpPixels(chart->Chart, Zoom));
      WarpInto(*Level, *chart->Dataset, chart->Chart.File, Options, Progress);
    }
  Progress.Begin(static_cast<double>(window.Width) * window.Height);
  GDALDatasetUniquePtr tiles = OpenLevel(Tiles, Zoom, true);
  const bool keep = Options.Fill && Zoom < Plan.MaxZoom; // the next level's Below
  constexpr int ChunkTiles = 32;
  std::vector<uint8_t> row(static_cast<size_t>(ChunkTiles) * WebTile * WebTile * Bands), below, source;
  const auto io = [&](GDALDataset &Dataset, GDALRWFlag Direction, int X, int Y, int Width, int Height, uint8_t *Data,
                      int BufferWidth, int BufferHeight, GDALRasterIOExtraArg *Extra) {
    if (Dataset.RasterIO(Direction, X, Y, Width, Height, Data, BufferWidth, BufferHeight, GDT_Byte, Bands, nullptr,
                         Bands, static_cast<GSpacing>(BufferWidth) * Bands, 1, Extra) != CE_None)
      RaiseGdal(Operation, "Cannot copy zoom level " + std::to_string(Zoom) + " into " + Tiles);
  };
  const double resolution = NKFWebZoomResolution(Zoom);
  for (int y = 0; y < window.Height; y += WebTile) {
    CheckStopped();
    Progress.Report(static_cast<double>(y) / window.Height);
    // Only the tiles across the charts that reach this row: the window of
    // charts far apart (the overview charts, the harbours) is mostly empty.
    const double top = Plan.Top - (window.Y + y) * resolution, bottom = top - WebTile * resolution;
    double left = HUGE_VAL, right = -HUGE_VAL;
    for (const TNKFSetChart &c : Plan.Charts)
      if ((Options.Fill || c.Zoom >= Zoom) && c.Top > bottom && c.Bottom < top) {
        left = std::min(left, c.Left);
        right = std::max(right, c.Right);
      }
    if (!(left < right))
      continue;
    const auto edge = [&](double X, double (*Round)(double)) {
      return static_cast<int>(
          std::clamp(Round(((X - Plan.Left) / resolution - window.X) / WebTile) * WebTile, 0.0, double(window.Width)));
    };
    const int first = edge(left, std::floor), last = edge(right, std::ceil);
    // In pieces of at most ChunkTiles tiles, so that the buffers stay small.
    for (int x = first; x < last; x += ChunkTiles * WebTile) {
      const int width = std::min(last - x, ChunkTiles * WebTile);
      io(*Level, GF_Read, x, y, width, WebTile, row.data(), width, WebTile, nullptr);
      if (Below != nullptr) {
        below.resize(row.size());
        Enlarge(*Below, BelowWindow, window.X + x, window.Y + y, width, source, below);
        Composite(row.data(), below.data(), static_cast<size_t>(width) * WebTile);
        if (keep) // as the next level's Below
          io(*Level, GF_Write, x, y, width, WebTile, row.data(), width, WebTile, nullptr);
      }
      // Runs of tiles with something drawn; transparent tiles are not stored.
      const auto drawn = [&](int Tile) {
        for (int r = 0; r < WebTile; ++r) {
          const uint8_t *p = row.data() + (static_cast<size_t>(r) * width + static_cast<size_t>(Tile) * WebTile) * Bands;
          for (int i = 0; i < WebTile; ++i)
            if (p[i * Bands + 3] != 0)
              return true;
        }
        return false;
      };
      const int count = width / WebTile;
      for (int t = 0; t < count;) {
        if (!drawn(t)) {
          ++t;
          continue;
        }
        int end = t + 1;
        while (end < count && drawn(end))
          ++end;
        if (tiles->RasterIO(GF_Write, window.X + x + t * WebTile, window.Y + y, (end - t) * WebTile, WebTile,
                            row.data() + static_cast<size_t>(t) * WebTile * Bands, (end - t) * WebTile, WebTile, GDT_Byte,
                            Bands, nullptr, Bands, static_cast<GSpacing>(width) * Bands, 1, nullptr) != CE_None)
          RaiseGdal(Operation, "Cannot copy zoom level " + std::to_string(Zoom) + " into " + Tiles);
        t = end;
      }
    }
  }
  Close(tiles, "zoom level " + std::to_string(Zoom) + " of " + Tiles);
  if (!keep)
    Level.reset();
}

// The levels below the coarsest chart's, each the average of the one above,
// from the coarsest chart's level down.
void AverageLevels(const std::string &Tiles, const TNKFSetPlan &Plan, TStagedProgress &Progress) {
  const std::vector<int> factors = NKFSetAveragedFactors(Plan);
  if (factors.empty())
    return;
  const TNKFSetWindow window = NKFSetLevelWindow(Plan, Plan.ChartZoom, true);
  Progress.Begin(static_cast<double>(window.Width) * window.Height / 3);
  GDALDatasetUniquePtr tiles = OpenLevel(Tiles, Plan.ChartZoom, true);
  const bool built = tiles->BuildOverviews("AVERAGE", static_cast<int>(factors.size()), factors.data(), 0, nullptr,
                                           TStagedProgress::Gdal, &Progress) == CE_None;
  CheckStopped();
  if (!built)
    RaiseGdal(Operation, "Cannot average the zoom levels below " + std::to_string(Plan.ChartZoom) + " of " + Tiles);
  Close(tiles, Tiles);
}

// GDAL's MBTiles driver stores every tile by itself, and the set repeats
// many (open sea, land, the enlarged levels of --fill are one colour over
// whole tiles): each distinct tile is stored once, in the layout of the
// MBTiles format for that (tiles as a view over map and images), which GDAL
// and plotters read as they read the plain table.
constexpr const char *StoreTilesOnce =
    "CREATE TABLE images (tile_id INTEGER PRIMARY KEY, tile_data BLOB);"
    "CREATE TABLE map (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_id INTEGER);"
    "INSERT INTO images (tile_data) SELECT tile_data FROM tiles GROUP BY tile_data ORDER BY MIN(rowid);"
    "CREATE INDEX images_data ON images (tile_data);"
    "INSERT INTO map SELECT t.zoom_level, t.tile_column, t.tile_row, i.tile_id FROM tiles t "
    "JOIN images i ON i.tile_data = t.tile_data ORDER BY t.rowid;"
    "DROP INDEX images_data;"
    "DROP TABLE tiles;"
    "CREATE UNIQUE INDEX map_index ON map (zoom_level, tile_column, tile_row);"
    "CREATE VIEW tiles AS SELECT map.zoom_level AS zoom_level, map.tile_column AS tile_column, "
    "map.tile_row AS tile_row, images.tile_data AS tile_data FROM map JOIN images ON images.tile_id = map.tile_id;";

// What a plotter reads before any tile. The MBTiles driver records the
// level at which the grid fits one tile and the grid's extent, which starts
// on a tile edge of the coarsest level; GDAL offers no way to change
// either, so the file's database takes the set's own directly.
void FinishDatabase(const std::string &File, const TNKFSetPlan &Plan) {
  sqlite3 *opened = nullptr;
  const int status = sqlite3_open_v2(File.c_str(), &opened, SQLITE_OPEN_READWRITE, nullptr);
  const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> database(opened, sqlite3_close);
  const auto degrees = [](double Radians) { return Radians * 180 / std::numbers::pi; };
  char bounds[160];
  std::snprintf(bounds, sizeof bounds, "%.9f,%.9f,%.9f,%.9f", degrees(Plan.West / WebRadius),
                degrees(2 * std::atan(std::exp(Plan.South / WebRadius)) - std::numbers::pi / 2),
                degrees(Plan.East / WebRadius),
                degrees(2 * std::atan(std::exp(Plan.North / WebRadius)) - std::numbers::pi / 2));
  const std::string sql = std::string("BEGIN;") + StoreTilesOnce + "UPDATE metadata SET value = '" +
                          std::to_string(Plan.MinZoom) + "' WHERE name = 'minzoom'; UPDATE metadata SET value = '" +
                          bounds + "' WHERE name = 'bounds'; COMMIT; VACUUM;";
  if (status != SQLITE_OK || sqlite3_exec(opened, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
    throw ENKFExportError(std::string(Operation) + ": Cannot finish " + File + " (" +
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

std::vector<int> NKFSetAveragedFactors(const TNKFSetPlan &Plan) {
  std::vector<int> factors;
  for (int z = Plan.ChartZoom - 1; z >= Plan.MinZoom; --z)
    factors.push_back(1 << (Plan.ChartZoom - z));
  return factors;
}

TNKFSetWindow NKFSetLevelWindow(const TNKFSetPlan &Plan, int Zoom, bool Fill) {
  const double resolution = NKFWebZoomResolution(Zoom);
  const int width = Plan.Width >> (Plan.MaxZoom - Zoom), height = Plan.Height >> (Plan.MaxZoom - Zoom);
  TBounds all{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (const TNKFSetChart &c : Plan.Charts)
    if (Fill || c.Zoom >= Zoom) {
      Extend(all, {c.Left, c.Bottom});
      Extend(all, {c.Right, c.Top});
    }
  if (!(all[0] < all[2]))
    return {};
  const auto edge = [](double Pixels, double (*Round)(double), int Limit) {
    return static_cast<int>(std::clamp(Round(Pixels / WebTile) * WebTile, 0.0, double(Limit)));
  };
  const int left = edge((all[0] - Plan.Left) / resolution, std::floor, width);
  const int right = edge((all[2] - Plan.Left) / resolution, std::ceil, width);
  const int top = edge((Plan.Top - all[3]) / resolution, std::floor, height);
  const int bottom = edge((Plan.Top - all[1]) / resolution, std::ceil, height);
  return {left, top, right - left, bottom - top};
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
  for (int z = plan.ChartZoom; z <= plan.MaxZoom; ++z) {
    for (const TNKFSetChart &chart : plan.Charts)
      if (chart.Zoom >= z)
        work += WarpPixels(chart, z);
    const TNKFSetWindow window = NKFSetLevelWindow(plan, z, Options.Fill);
    work += static_cast<double>(window.Width) * window.Height;
  }
  if (plan.MinZoom < plan.ChartZoom) {
    const TNKFSetWindow window = NKFSetLevelWindow(plan, plan.ChartZoom, true);
    work += static_cast<double>(window.Width) * window.Height / 3;
  }
  GDALAllRegister();
  TGdalErrorScope quiet;
  const TSignalScope signals;
  const TWorkFolder folder(OutFile);
  TStagedProgress progress(Progress, work);
  const std::string tiles = folder.File("set.mbtiles");
  CreateTiles(tiles, plan, Options);
  {
    std::vector<std::unique_ptr<TOpenChart>> charts;
    for (const TNKFSetChart &chart : plan.Charts)
      charts.push_back(std::make_unique<TOpenChart>(chart));
    GDALDatasetUniquePtr below;
    TNKFSetWindow belowWindow;
    std::string belowFile;
    for (int z = plan.ChartZoom; z <= plan.MaxZoom; ++z) {
      const std::string drawing = folder.File(std::to_string(z) + ".tif");
      GDALDatasetUniquePtr level;
      DrawLevel(tiles, drawing, below.get(), belowWindow, z, plan, charts, Options, progress, level);
      below = std::move(level);
      belowWindow = NKFSetLevelWindow(plan, z, Options.Fill);
      // The coarser drawing has served; the disk need not hold every level.
      if (!belowFile.empty())
        VSIUnlink(belowFile.c_str());
      belowFile = below ? drawing : "";
      if (!below)
        VSIUnlink(drawing.c_str());
    }
  }
  AverageLevels(tiles, plan, progress);
  FinishDatabase(tiles, plan);
  CheckStopped();
  // Only a finished file takes the output's name: a failed run leaves an
  // earlier output as it was.
  std::error_code error;
  fs::rename(tiles, OutFile, error);
  if (error)
    throw ENKFExportError(std::string(Operation) + ": Cannot write " + OutFile + " (" + error.message() + ")");
  progress.Begin(0);
  progress.Report(1);
}

int NKFSetExportSignal() { return Stopped; }
