// The sample set's MBTiles file read back through GDAL, every pixel of every
// zoom level, against where our calibration puts each chart's border: inside
// the charts drawn at a level (all of them at the averaged levels and with
// --fill) every pixel is opaque, away from them every pixel is transparent,
// and nowhere is there a block of opaque black. GDAL's MBTiles writer, fed
// from the warper into levels that do not start on a tile edge, wrote whole
// tiles of black where nothing was drawn and blocks of black or of
// transparency inside the charts, different from run to run; so two runs
// must also write the same tiles. (--fill is checked on a small set of
// charts: on this one it writes four times the tiles.)
//
// The set comes from nkf2sampleset, run by ctest before this test (the
// folder is SAMPLE_SET). The exports take minutes: the suite writes each
// file once.
#include "NKFSetExport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <gdal_priv.h>
#include <sqlite3.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "ChartSetNames.h"
#include "NKFExportTestSupport.h"
#include "TempDir.h"
#include "VmNKFCharts.h"

namespace {

const testing::Environment *const GdalEnvironment = testing::AddGlobalTestEnvironment(new TGdalEnvironment);

constexpr double WebRadius = 6378137;
// Pixels of a level within which a border may blur (bilinear resampling,
// averaging, enlarging): the model says nothing there.
constexpr double Margin = 3;
// A square of opaque black this large is no drawing of the sample set.
constexpr int BlackCell = 16;

std::vector<std::string> SetFiles() {
  std::vector<std::string> files;
  for (const char *name : ChartFileNames)
    files.push_back(std::string(SAMPLE_SET) + "/" + name);
  return files;
}

// The exports, written once for every suite that reads them (each suite
// would run SetUpTestSuite again) and removed at the end of the program.
class NKFSetExportSample : public testing::Test {
protected:
  static void SetUpTestSuite() {
    static TTempDir dir;
    Dir = &dir;
    static const bool written = [] {
      const std::vector<std::string> files = SetFiles();
      NKFExportSet(files, dir.File("set.mbtiles"));
      NKFExportSet(files, dir.File("again.mbtiles"));
      return true;
    }();
    (void)written;
  }
  static TTempDir *Dir;
};
TTempDir *NKFSetExportSample::Dir = nullptr;

// Every tile of the file: (zoom, column, row) to its bytes.
std::map<std::array<int, 3>, std::string> Tiles(const std::string &File) {
  std::map<std::array<int, 3>, std::string> tiles;
  sqlite3 *database = nullptr;
  EXPECT_EQ(sqlite3_open_v2(File.c_str(), &database, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK) << File;
  sqlite3_stmt *query = nullptr;
  if (sqlite3_prepare_v2(database, "SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles", -1, &query,
                         nullptr) == SQLITE_OK)
    while (sqlite3_step(query) == SQLITE_ROW)
      tiles[{sqlite3_column_int(query, 0), sqlite3_column_int(query, 1), sqlite3_column_int(query, 2)}] =
          std::string(static_cast<const char *>(sqlite3_column_blob(query, 3)),
                      static_cast<size_t>(sqlite3_column_bytes(query, 3)));
  sqlite3_finalize(query);
  sqlite3_close(database);
  return tiles;
}

// The second run writes every tile as the first did; the files as a whole
// are the same too (nothing of the run's time or place is written).
TEST_F(NKFSetExportSample, TwoRunsWriteTheSameTiles) {
  const auto first = Tiles(Dir->File("set.mbtiles")), second = Tiles(Dir->File("again.mbtiles"));
  EXPECT_GT(first.size(), 1000u);
  EXPECT_EQ(first.size(), second.size());
  size_t differing = 0;
  for (const auto &[key, bytes] : first) {
    const auto other = second.find(key);
    if (other == second.end() || other->second != bytes) {
      if (differing++ < 10)
        ADD_FAILURE() << "tile " << key[0] << "/" << key[1] << "/" << key[2] << " differs";
    }
  }
  EXPECT_EQ(differing, 0u);
  EXPECT_TRUE(ReadFileBytes(Dir->File("set.mbtiles")) == ReadFileBytes(Dir->File("again.mbtiles")));
}

// The levels a plotter reads: from the level at which the set fits in 2 x 2
// tiles (8) to the finest chart's (16), every one holding tiles.
TEST_F(NKFSetExportSample, EveryLevelFromTheWholeSetToTheHarbours) {
  for (const char *file : {"set.mbtiles"}) {
    GDALDatasetUniquePtr d(GDALDataset::Open(Dir->File(file).c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    ASSERT_TRUE(d) << file;
    const char *minzoom = d->GetMetadataItem("minzoom"), *maxzoom = d->GetMetadataItem("maxzoom");
    EXPECT_STREQ(minzoom ? minzoom : "", "8") << file;
    EXPECT_STREQ(maxzoom ? maxzoom : "", "16") << file;
    int perLevel[17] = {};
    for (const auto &[key, bytes] : Tiles(Dir->File(file)))
      ++perLevel[std::clamp(key[0], 0, 16)];
    EXPECT_LE(perLevel[8], 4) << file;
    for (int z = 8; z <= 16; ++z)
      EXPECT_GT(perLevel[z], 0) << file << " level " << z;
  }
  // Open sea and land repeat whole tiles: each is stored once.
  sqlite3 *database = nullptr;
  ASSERT_EQ(sqlite3_open_v2(Dir->File("set.mbtiles").c_str(), &database, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  int counts[2] = {};
  const char *queries[] = {"SELECT COUNT(*) FROM map", "SELECT COUNT(*) FROM images"};
  for (int i = 0; i < 2; ++i) {
    sqlite3_stmt *query = nullptr;
    if (sqlite3_prepare_v2(database, queries[i], -1, &query, nullptr) == SQLITE_OK && sqlite3_step(query) == SQLITE_ROW)
      counts[i] = sqlite3_column_int(query, 0);
    sqlite3_finalize(query);
  }
  sqlite3_close(database);
  EXPECT_LT(counts[1], counts[0] * 9 / 10) << "tiles " << counts[0] << ", stored " << counts[1];
}

// One chart's border in a level's pixels (GDAL's raster of that level).
using TPolygon = std::vector<std::array<double, 2>>;

TPolygon BorderAtLevel(const TNKFChart &Chart, const double *Transform) {
  std::vector<std::array<double, 2>> corners;
  for (int32_t i = 0; i < Chart.Border.Count(); ++i)
    corners.push_back({Chart.Border.GetPoint(i).X - 0.5, Chart.Border.GetPoint(i).Y - 0.5});
  if (corners.size() < 3) {
    const double w = Chart.Levels[0].Width - 0.5, h = Chart.Levels[0].Height - 0.5;
    corners = {{-0.5, -0.5}, {w, -0.5}, {w, h}, {-0.5, h}};
  }
  TPolygon polygon;
  constexpr int Steps = 32; // the edges are straight on the chart's grid only
  for (size_t i = 0; i < corners.size(); ++i) {
    const auto &a = corners[i], &b = corners[(i + 1) % corners.size()];
    for (int s = 0; s < Steps; ++s) {
      const double t = static_cast<double>(s) / Steps;
      const TDoublePoint g = Chart.Calibration->PixelToWGS84({a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t});
      const double x = WebRadius * g.Y, y = WebRadius * std::log(std::tan(std::numbers::pi / 4 + g.X / 2));
      polygon.push_back({(x - Transform[0]) / Transform[1], (y - Transform[3]) / Transform[5]});
    }
  }
  return polygon;
}

// The polygon's inside along the line y (pairs of x).
std::vector<double> Crossings(const TPolygon &Polygon, double Y) {
  std::vector<double> xs;
  for (size_t i = 0; i < Polygon.size(); ++i) {
    const auto &a = Polygon[i], &b = Polygon[(i + 1) % Polygon.size()];
    if ((a[1] > Y) != (b[1] > Y))
      xs.push_back(a[0] + (Y - a[1]) * (b[0] - a[0]) / (b[1] - a[1]));
  }
  std::sort(xs.begin(), xs.end());
  return xs;
}

enum : uint8_t { Outside, Unsure, Inside };

// Each pixel of row Row from column Left on: Inside when it lies at least
// Margin inside some polygon, Outside when it lies at least Margin beyond
// every one.
void ClassifyRow(const std::vector<TPolygon> &Polygons, int Row, int Left, std::vector<uint8_t> &Class) {
  std::fill(Class.begin(), Class.end(), Outside);
  const int width = static_cast<int>(Class.size());
  const auto mark = [&](double From, double To, uint8_t Value) {
    const int a = std::max(0, static_cast<int>(std::ceil(From - 0.5)) - Left);
    const int b = std::min(width - 1, static_cast<int>(std::floor(To - 0.5)) - Left);
    for (int x = a; x <= b; ++x)
      Class[x] = std::max(Class[x], Value);
  };
  for (const TPolygon &polygon : Polygons) {
    const double centre = Row + 0.5;
    std::vector<double> lines[3] = {Crossings(polygon, centre - Margin), Crossings(polygon, centre),
                                    Crossings(polygon, centre + Margin)};
    for (const auto &xs : lines)
      for (size_t i = 0; i + 1 < xs.size(); i += 2)
        mark(xs[i] - Margin, xs[i + 1] + Margin, Unsure);
    // Inside on all three lines, Margin from the ends.
    std::vector<std::array<double, 2>> inside;
    for (size_t i = 0; i + 1 < lines[1].size(); i += 2)
      inside.push_back({lines[1][i] + Margin, lines[1][i + 1] - Margin});
    for (const auto *other : {&lines[0], &lines[2]}) {
      std::vector<std::array<double, 2>> both;
      for (const auto &a : inside)
        for (size_t j = 0; j + 1 < other->size(); j += 2) {
          const double from = std::max(a[0], (*other)[j] + Margin), to = std::min(a[1], (*other)[j + 1] - Margin);
          if (from <= to)
            both.push_back({from, to});
        }
      inside = both;
    }
    for (const auto &a : inside)
      mark(a[0], a[1], Inside);
  }
}

struct TLevelCase {
  const char *File;
  bool Fill;
  int Zoom;
};

class NKFSetExportSampleLevel : public testing::WithParamInterface<TLevelCase>, public NKFSetExportSample {};

TEST_P(NKFSetExportSampleLevel, EveryPixelAsTheBordersSay) {
  const TLevelCase &c = GetParam();
  const std::string file = Dir->File(c.File);
  const std::string level = "ZOOM_LEVEL=" + std::to_string(c.Zoom);
  const char *const options[] = {level.c_str(), nullptr};
  GDALDatasetUniquePtr d(GDALDataset::Open(file.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, options));
  ASSERT_TRUE(d);
  double transform[6];
  ASSERT_EQ(d->GetGeoTransform(transform), CE_None);
  ASSERT_NEAR(transform[1], NKFWebZoomResolution(c.Zoom), 1e-6);
  // The charts drawn at the level: those fine enough for it; every chart
  // below the coarsest chart's level and with --fill.
  const TNKFSetPlan plan = NKFPlanSet(SetFiles(), file);
  std::vector<TPolygon> polygons;
  for (const TNKFSetChart &chart : plan.Charts)
    if (c.Fill || c.Zoom <= plan.ChartZoom || chart.Zoom >= c.Zoom)
      polygons.push_back(BorderAtLevel(TNKFChart(chart.File), transform));
  const int width = d->GetRasterXSize(), height = d->GetRasterYSize();
  constexpr int Rows = 256;
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * Rows * 4), classes(static_cast<size_t>(width));
  long inside = 0, outside = 0, holes = 0, strays = 0, blacks = 0;
  std::string firstHole, firstStray, firstBlack;
  const auto where = [&](int X, int Y) {
    return std::to_string(X) + ", " + std::to_string(Y) + " (" + std::to_string(c.Zoom) + "/" +
           std::to_string(static_cast<long>(std::floor((transform[0] + (X + 0.5) * transform[1] + M_PI * WebRadius) /
                                                       (256 * transform[1])))) +
           "/" +
           std::to_string(static_cast<long>(std::floor((M_PI * WebRadius - transform[3] - (Y + 0.5) * transform[5]) /
                                                       (256 * transform[1])))) +
           ")";
  };
  // Only the columns near a chart or where the file has a tile: anywhere
  // else the level is transparent by having no tile.
  std::vector<std::array<double, 4>> boxes; // left, top, right, bottom
  for (const TPolygon &polygon : polygons) {
    std::array<double, 4> box{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const auto &p : polygon)
      box = {std::min(box[0], p[0]), std::min(box[1], p[1]), std::max(box[2], p[0]), std::max(box[3], p[1])};
    boxes.push_back({box[0] - Margin - 2, box[1] - Margin - 2, box[2] + Margin + 2, box[3] + Margin + 2});
  }
  const double tile = 256 * transform[1], half = M_PI * WebRadius;
  for (const auto &[key, bytes] : Tiles(file))
    if (key[0] == c.Zoom) {
      const double x = (key[1] * tile - half - transform[0]) / transform[1];
      const double y = (half - ((1 << c.Zoom) - 1 - key[2]) * tile - transform[3]) / transform[5];
      boxes.push_back({x, y, x + 256, y + 256});
    }
  for (int top = 0; top < height; top += Rows) {
    const int rows = std::min(Rows, height - top);
    std::vector<std::array<int, 2>> spans;
    for (const auto &box : boxes)
      if (box[3] >= top && box[1] <= top + rows)
        spans.push_back({std::max(0, static_cast<int>(std::floor(box[0]))),
                         std::min(width, static_cast<int>(std::ceil(box[2])))});
    std::sort(spans.begin(), spans.end());
    std::vector<std::array<int, 2>> merged;
    for (const auto &span : spans)
      if (span[1] > span[0]) {
        if (!merged.empty() && span[0] <= merged.back()[1])
          merged.back()[1] = std::max(merged.back()[1], span[1]);
        else
          merged.push_back(span);
      }
    for (const auto &[left, right] : merged) {
      const int columns = right - left;
      ASSERT_EQ(d->RasterIO(GF_Read, left, top, columns, rows, rgba.data(), columns, rows, GDT_Byte, 4, nullptr, 4,
                            static_cast<GSpacing>(columns) * 4, 1, nullptr),
                CE_None);
      classes.resize(static_cast<size_t>(columns));
      for (int y = 0; y < rows; ++y) {
        ClassifyRow(polygons, top + y, left, classes);
        const uint8_t *row = rgba.data() + static_cast<size_t>(y) * columns * 4;
        for (int x = 0; x < columns; ++x) {
          const uint8_t alpha = row[x * 4 + 3];
          if (classes[x] == Inside) {
            ++inside;
            if (alpha != 255 && holes++ == 0)
              firstHole = where(left + x, top + y);
          } else if (classes[x] == Outside) {
            ++outside;
            if (alpha != 0 && strays++ == 0)
              firstStray = where(left + x, top + y);
          }
        }
      }
      for (int y = 0; y + BlackCell <= rows; y += BlackCell)
        for (int x = 0; x + BlackCell <= columns; x += BlackCell) {
          bool black = true;
          for (int v = 0; black && v < BlackCell; ++v)
            for (int u = 0; black && u < BlackCell; ++u) {
              const uint8_t *p = rgba.data() + (static_cast<size_t>(y + v) * columns + x + u) * 4;
              black = p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 255;
            }
          if (black && blacks++ == 0)
            firstBlack = where(left + x, top + y);
        }
    }
  }
  EXPECT_GT(inside, 1000) << "the model sees no chart at level " << c.Zoom;
  EXPECT_EQ(holes, 0) << "pixels not opaque inside the charts, the first at " << firstHole;
  EXPECT_EQ(strays, 0) << "pixels not transparent beyond the charts, the first at " << firstStray;
  EXPECT_EQ(blacks, 0) << BlackCell << "-pixel squares of opaque black, the first at " << firstBlack;
}

std::vector<TLevelCase> LevelCases() {
  std::vector<TLevelCase> cases;
  for (int z = 8; z <= 16; ++z)
    cases.push_back({"set.mbtiles", false, z});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Levels, NKFSetExportSampleLevel, testing::ValuesIn(LevelCases()),
                         [](const testing::TestParamInfo<TLevelCase> &Info) {
                           return std::string(Info.param.Fill ? "Fill" : "Plain") + std::to_string(Info.param.Zoom);
                         });

// Ctrl+C in the middle of a run: the program stops, removes its work
// folder and writes no output, and ends as SIGINT ends a program.
TEST(NKF2ExportSetSignal, InterruptLeavesNothingBehind) {
  TTempDir dir;
  const std::string out = dir.File("set.mbtiles");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, STDERR_FILENO);
    execl(NKF2EXPORT, NKF2EXPORT, "--set", SAMPLE_SET, out.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  // Until the work folder is there, and the warper a while at work.
  const auto work = [&] {
    for (const auto &entry : std::filesystem::directory_iterator(dir.Path()))
      if (entry.path().filename().string().rfind(".set.mbtiles.nkf2export-", 0) == 0)
        return true;
    return false;
  };
  for (int i = 0; i < 600 && !work(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(work()) << "no work folder appeared";
  std::this_thread::sleep_for(std::chrono::seconds(3));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, WNOHANG), 0) << "the run ended before the signal";
  kill(child, SIGINT);
  for (int i = 0; i < 1200 && waitpid(child, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (kill(child, 0) == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "the run did not stop on SIGINT";
  }
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);
}

} // namespace
