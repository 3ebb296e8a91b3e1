// The set's MBTiles export against GDAL as the reader: three overlapping
// charts of different scales, each painted in a colour of its own, come back
// from the MBTiles file where our calibration puts them, the finest chart on
// top and cut at its border (an inset corner lets the chart below show
// through), transparent outside every border, with the zoom levels, overviews
// and name a plotter reads; and the program's refusals.
#include "NKFSetExport.h"

#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ChartSetNames.h"
#include "NKF2TileEncoder.h"
#include "NKFExportTestSupport.h"
#include "NKFChartWriter.h"
#include "NKFTileReader.h"
#include "TempDir.h"
#include "VmGeodeticsCalibration.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;

const testing::Environment *const GdalEnvironment = testing::AddGlobalTestEnvironment(new TGdalEnvironment);

// A Mercator chart on WGS 84 of Width x Height pixels of Size grid metres
// around a centre; its pixels are Picture(Red, x, y).
struct TSetChartCase {
  const char *Name;
  int Width, Height;
  double Size; // grid metres per pixel
  double Lat, Lon;
  uint8_t Red; // tells the charts apart
  std::vector<TNKFWriterBorderPoint> Border;
};

// Smooth in green and blue (bilinear resampling stays between neighbours),
// varied enough that a chart placed a few pixels off shows other values.
TColor32 Picture(uint8_t Red, double X, double Y) {
  const auto wave = [](double v) { return static_cast<uint32_t>(std::lround(128 + 100 * std::sin(v / 9))); };
  return 0xFF000000u | uint32_t{Red} << 16 | wave(X) << 8 | wave(Y + 0.37 * X);
}

const TSetChartCase SetCharts[] = {
    // The overview chart, with a corner cut off.
    {"coarse", 512, 384, 40, 53.2, 4.8, 60, {{0, 0}, {512, 0}, {512, 300}, {430, 384}, {0, 384}}},
    // A middle chart over its centre, rectangular.
    {"middle", 384, 256, 16, 53.19, 4.79, 130, {{0, 0}, {384, 0}, {384, 256}, {0, 256}}},
    // The finest, half over the middle one's northern edge, with an inset
    // corner (an L shape) over the middle one, which shows there.
    {"fine", 256, 256, 8, 53.2, 4.80, 200, {{0, 0}, {256, 0}, {256, 128}, {128, 128}, {128, 256}, {0, 256}}},
};

// Each tile of each level encoded from Picture at that level's scale.
TNKFChartDescription SetChart(const TSetChartCase &c) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, c.Width, c.Height);
  chart.Blobs.clear();
  std::vector<TColor32> pixels(static_cast<size_t>(NKFTileSize) * NKFTileSize);
  for (int l = 0; l < NKFLevelCount; ++l) {
    const TNKFLevel &level = chart.Levels[l];
    const double f = std::ldexp(1.0, l);
    for (uint32_t ty = 0; ty < level.TilesY; ++ty)
      for (uint32_t tx = 0; tx < level.TilesX; ++tx) {
        for (int y = 0; y < NKFTileSize; ++y)
          for (int x = 0; x < NKFTileSize; ++x)
            pixels[static_cast<size_t>(y) * NKFTileSize + x] =
                Picture(c.Red, (tx * NKFTileSize + x) * f, (ty * NKFTileSize + y) * f);
        const std::vector<uint8_t> bytes = EncodeNKF2Tile(pixels.data(), TNKF2EncodeOptions{});
        chart.TileBlobs[NKFLevelTileNumber(level, tx, ty)] = chart.Blobs.size();
        chart.Blobs.emplace_back(bytes.begin(), bytes.end());
      }
  }
  TNKFTagDescription &tag = chart.Tag;
  tag.Border = c.Border;
  const TDoublePoint centre = MercatorForward({c.Lat * Degree, c.Lon * Degree}, WGS84Datum()->Ellipsoid);
  tag.PixelPoints = {{{0, 0}, {double(c.Width), double(c.Height)}, {0, 0}}};
  for (int i = 0; i < 2; ++i)
    tag.MapPoints[i] = {centre.X + (tag.PixelPoints[i].X - c.Width / 2.0) * c.Size,
                        centre.Y - (tag.PixelPoints[i].Y - c.Height / 2.0) * c.Size};
  return chart;
}

// Pixel (calibration pixels, centres on whole numbers) inside the border
// polygon (vertices on pixel corners), and its distance to the border.
double SignedBorderDistance(const TSetChartCase &c, const TDoublePoint &P) {
  bool inside = false;
  double nearest = HUGE_VAL;
  const size_t n = c.Border.size();
  for (size_t i = 0; i < n; ++i) {
    const double ax = c.Border[i].X - 0.5, ay = c.Border[i].Y - 0.5;
    const double bx = c.Border[(i + 1) % n].X - 0.5, by = c.Border[(i + 1) % n].Y - 0.5;
    if ((ay > P.Y) != (by > P.Y) && P.X < ax + (P.Y - ay) * (bx - ax) / (by - ay))
      inside = !inside;
    const double dx = bx - ax, dy = by - ay;
    const double t = std::clamp(((P.X - ax) * dx + (P.Y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    nearest = std::min(nearest, std::hypot(P.X - ax - t * dx, P.Y - ay - t * dy));
  }
  return inside ? nearest : -nearest;
}

// The MBTiles as a QGIS user's GDAL reads it: the RGBA pixel at a WGS 84
// position, found by GDAL's own transformation to Web Mercator, at the
// finest zoom level or at a given one.
class TMBTilesReader {
public:
  explicit TMBTilesReader(const std::string &File, int Zoom = -1) {
    const std::string level = "ZOOM_LEVEL=" + std::to_string(Zoom);
    const char *const options[] = {Zoom >= 0 ? level.c_str() : nullptr, nullptr};
    FDataset.reset(GDALDataset::Open(File.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, options));
    if (!FDataset)
      return;
    FDataset->GetGeoTransform(FTransform);
    OGRSpatialReference wgs84;
    wgs84.SetWellKnownGeogCS("WGS84");
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    FToWeb.reset(OGRCreateCoordinateTransformation(&wgs84, FDataset->GetSpatialRef()));
  }
  GDALDataset *Dataset() const { return FDataset.get(); }

  // Lat, Lon in degrees; false outside the raster.
  bool Pixel(double Lat, double Lon, std::array<uint8_t, 4> &RGBA) const {
    double x = Lon, y = Lat;
    if (!FToWeb || !FToWeb->Transform(1, &x, &y))
      return false;
    const int col = static_cast<int>(std::floor((x - FTransform[0]) / FTransform[1]));
    const int row = static_cast<int>(std::floor((y - FTransform[3]) / FTransform[5]));
    if (col < 0 || row < 0 || col >= FDataset->GetRasterXSize() || row >= FDataset->GetRasterYSize()) {
      RGBA = {0, 0, 0, 0}; // beyond the tiles: nothing drawn
      return true;
    }
    return FDataset->RasterIO(GF_Read, col, row, 1, 1, RGBA.data(), 1, 1, GDT_Byte, 4, nullptr, 4, 4, 1,
                              nullptr) == CE_None;
  }

private:
  GDALDatasetUniquePtr FDataset;
  double FTransform[6] = {};
  std::unique_ptr<OGRCoordinateTransformation> FToWeb;
};

// The charts and their exports, written once for every suite that reads
// them (each suite would run SetUpTestSuite again), removed at the end.
class NKFSetExport : public testing::Test {
protected:
  static void SetUpTestSuite() {
    static TTempDir dir;
    Dir = &dir;
    static const bool written = [] {
      std::vector<std::string> files;
      // Finest first: the export must order them itself.
      for (int i = std::size(SetCharts) - 1; i >= 0; --i) {
        files.push_back(dir.File(std::string(SetCharts[i].Name) + ".nkf2"));
        NKFWriteChartFile(files.back(), SetChart(SetCharts[i]));
      }
      NKFExportSet(files, dir.File("set.mbtiles"));
      TNKFSetExportOptions fill;
      fill.Fill = true;
      NKFExportSet(files, dir.File("fill.mbtiles"), fill);
      return true;
    }();
    (void)written;
  }
  static TTempDir *Dir;
};
TTempDir *NKFSetExport::Dir = nullptr;

// The web zoom level each case is drawn up to: 40 m, 16 m and 8 m a pixel
// are levels 12, 13 and 14; every chart is drawn from level 12 up to its own,
// and level 11, where the set fits in 2 x 2 tiles, is level 12 averaged.
constexpr int ChartZooms[] = {12, 13, 14};
constexpr int AveragedZoom = 11;

struct TLevelCase {
  int Zoom;
  bool Fill;
};

// At each zoom level, over a grid of positions across the coarse chart and
// beyond it, at every position at least two of that level's pixels away
// from each border: the MBTiles pixel is the picture of the finest chart
// drawn at that level there, within what bilinear resampling over one pixel
// of the level (or of the chart, where that is larger) can give, or
// transparent where no chart drawn at the level lies. With --fill every
// chart counts at every level: where none of the level's own lies, the
// coarser level's pixels enlarged show the finest chart there at its own
// level. A chart drawn in the wrong order, not cut at its border, placed off
// by a few pixels, shifted by a datum, drawn at a level finer than its own,
// missing from a coarser level or from the averaged level, or a hole left
// in a filled level shows another colour.
class NKFSetExportLevel : public testing::WithParamInterface<TLevelCase>, public NKFSetExport {};

TEST_P(NKFSetExportLevel, EveryPositionShowsTheFinestChartDrawnThere) {
  const int zoom = GetParam().Zoom;
  const bool fill = GetParam().Fill;
  const auto drawn = [&](int Chart) { return fill || ChartZooms[Chart] >= std::max(zoom, ChartZooms[0]); };
  std::vector<std::unique_ptr<TNKFChart>> charts;
  std::vector<double> scale; // the pixel of the level shown in chart pixels, at least 1
  for (size_t k = 0; k < std::size(SetCharts); ++k) {
    charts.push_back(std::make_unique<TNKFChart>(Dir->File(std::string(SetCharts[k].Name) + ".nkf2")));
    scale.push_back(std::max(1.0, NKFWebZoomResolution(std::min(zoom, ChartZooms[k])) /
                                      NKFChartWebResolution(*charts.back())));
  }
  const TMBTilesReader tiles(Dir->File(fill ? "fill.mbtiles" : "set.mbtiles"), zoom);
  ASSERT_TRUE(tiles.Dataset());
  int shown[std::size(SetCharts)] = {}, transparent = 0;
  constexpr int Steps = 80;
  for (int i = 0; i <= Steps; ++i)
    for (int j = 0; j <= Steps; ++j) {
      // A third beyond the coarse chart on every side.
      const double lat = 53.2 + (0.5 - i / double(Steps)) * 0.11, lon = 4.8 + (j / double(Steps) - 0.5) * 0.24;
      int finest = -1;
      bool clear = true;
      TDoublePoint at{};
      for (int k = 0; k < static_cast<int>(std::size(SetCharts)); ++k) {
        if (!drawn(k))
          continue;
        const TDoublePoint p = charts[k]->Calibration->WGS84ToPixel({lat * Degree, lon * Degree});
        const double d = SignedBorderDistance(SetCharts[k], p);
        clear = clear && std::fabs(d) > 2 * scale[k];
        if (d > 0) {
          finest = k;
          at = p;
        }
      }
      if (!clear)
        continue;
      std::array<uint8_t, 4> rgba{};
      ASSERT_TRUE(tiles.Pixel(lat, lon, rgba)) << lat << " N " << lon << " E";
      if (finest < 0) {
        EXPECT_EQ(rgba[3], 0) << "level " << zoom << ", outside every border at " << lat << " N " << lon << " E";
        ++transparent;
        continue;
      }
      const TSetChartCase &c = SetCharts[finest];
      // The range of the chart's picture within 1.5 of the level's pixels.
      const double reach = 1.5 * scale[finest], step = reach / 6;
      int low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
      for (double dy = -reach; dy <= reach; dy += step)
        for (double dx = -reach; dx <= reach; dx += step) {
          const TColor32 v = Picture(c.Red, at.X + dx, at.Y + dy);
          for (int b = 0; b < 3; ++b) {
            const int value = static_cast<int>(v >> (16 - 8 * b) & 0xFF);
            low[b] = std::min(low[b], value);
            high[b] = std::max(high[b], value);
          }
        }
      EXPECT_EQ(rgba[3], 255) << "level " << zoom << (fill ? " filled" : "") << ", " << c.Name << " at " << lat << " N " << lon << " E";
      for (int b = 0; b < 3; ++b)
        EXPECT_TRUE(rgba[b] + 2 >= low[b] && rgba[b] <= high[b] + 2)
            << "level " << zoom << ", " << c.Name << " at " << lat << " N " << lon << " E, band " << b << ": "
            << int(rgba[b]) << " not in " << low[b] << ".." << high[b];
      ++shown[finest];
    }
  // Enough of each chart drawn at the level to mean something, the inset
  // corner's middle chart included.
  for (size_t k = 0; k < std::size(SetCharts); ++k)
    if (drawn(static_cast<int>(k))) {
      EXPECT_GE(shown[k], 12) << "level " << zoom << ", " << SetCharts[k].Name;
    }
  EXPECT_GE(transparent, 100) << "level " << zoom;
}

INSTANTIATE_TEST_SUITE_P(ZoomLevels, NKFSetExportLevel,
                         testing::Values(TLevelCase{AveragedZoom, false}, TLevelCase{12, false},
                                         TLevelCase{13, false}, TLevelCase{14, false}, TLevelCase{13, true},
                                         TLevelCase{14, true}),
                         [](const testing::TestParamInfo<TLevelCase> &Info) {
                           return (Info.param.Fill ? "Fill" : "Plain") + std::to_string(Info.param.Zoom);
                         });

// The files as QGIS shows them (its GDAL provider, headless): the whole set,
// the approach and the harbour, each rendered at a zoom level's resolution
// to PNG. Every rendered pixel at least two pixels from each border is the
// picture of the finest chart there, through our calibration, within what
// resampling gives (QGIS picks the level and draws it nearest-neighbour),
// or transparent; beyond every chart transparent. Without --fill the
// harbour view has holes around the fine chart (QGIS shows only the level
// in view); with it, no pixel inside the coarse chart's border is
// transparent.
struct TQgisView {
  const char *Name;
  int Zoom;              // the resolution rendered at
  double Lat, Lon;       // the centre
  double HalfLat, HalfLon;
};

const TQgisView QgisViews[] = {
    {"whole set", 11, 53.2, 4.8, 0.065, 0.13},
    {"approach", 13, 53.19, 4.79, 0.03, 0.06},
    {"harbour", 14, 53.2, 4.8, 0.015, 0.03},
};

const char *const QgisViewNames[] = {"WholeSet", "Approach", "Harbour"};

class NKFSetExportQgis : public testing::WithParamInterface<std::tuple<int, bool>>, public NKFSetExport {};

TEST_P(NKFSetExportQgis, RenderedPixelsShowTheFinestChart) {
  const TQgisView &view = QgisViews[std::get<0>(GetParam())];
  const bool fill = std::get<1>(GetParam());
  const auto web = [](double Lat, double Lon) {
    return std::array<double, 2>{6378137 * Lon * Degree, 6378137 * std::log(std::tan(std::numbers::pi / 4 + Lat * Degree / 2))};
  };
  const auto low = web(view.Lat - view.HalfLat, view.Lon - view.HalfLon);
  const auto high = web(view.Lat + view.HalfLat, view.Lon + view.HalfLon);
  const double resolution = NKFWebZoomResolution(view.Zoom);
  const int width = static_cast<int>(std::lround((high[0] - low[0]) / resolution));
  const int height = static_cast<int>(std::lround((high[1] - low[1]) / resolution));
  const std::string png = Dir->File(std::string(fill ? "fill-" : "plain-") + std::to_string(view.Zoom) + ".png");
  char command[1024];
  std::snprintf(command, sizeof command, "QT_QPA_PLATFORM=offscreen '%s' '%s' '%s' %.6f %.6f %.6f %.6f %d %d 2>/dev/null",
                QGIS_RENDER, Dir->File(fill ? "fill.mbtiles" : "set.mbtiles").c_str(), png.c_str(), low[0], low[1],
                high[0], high[1], width, height);
  FILE *pipe = popen(command, "r");
  ASSERT_TRUE(pipe);
  double extent[4] = {};
  const int read = std::fscanf(pipe, "%lf %lf %lf %lf", &extent[0], &extent[1], &extent[2], &extent[3]);
  ASSERT_EQ(pclose(pipe), 0) << command;
  ASSERT_EQ(read, 4) << command;
  GDALDatasetUniquePtr image(GDALDataset::Open(png.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  ASSERT_TRUE(image);
  ASSERT_EQ(image->GetRasterCount(), 4);
  ASSERT_EQ(image->GetRasterXSize(), width);
  const int rows = image->GetRasterYSize();
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * rows * 4);
  ASSERT_EQ(image->RasterIO(GF_Read, 0, 0, width, rows, rgba.data(), width, rows, GDT_Byte, 4, nullptr, 4,
                            static_cast<GSpacing>(width) * 4, 1, nullptr),
            CE_None);
  const double pixelX = (extent[2] - extent[0]) / width, pixelY = (extent[3] - extent[1]) / rows;

  std::vector<std::unique_ptr<TNKFChart>> charts;
  for (const TSetChartCase &c : SetCharts)
    charts.push_back(std::make_unique<TNKFChart>(Dir->File(std::string(c.Name) + ".nkf2")));
  int compared[std::size(SetCharts)] = {}, holes = 0, transparent = 0, mismatches = 0;
  for (int j = 1; j < rows; j += 3)
    for (int i = 1; i < width; i += 3) {
      const double x = extent[0] + (i + 0.5) * pixelX, y = extent[3] - (j + 0.5) * pixelY;
      const double lat = 2 * std::atan(std::exp(y / 6378137)) - std::numbers::pi / 2, lon = x / 6378137;
      int finest = -1;
      bool clear = true;
      TDoublePoint at{};
      double reach = 0;
      for (int k = 0; k < static_cast<int>(std::size(SetCharts)); ++k) {
        const double chartPixel = NKFChartWebResolution(*charts[k]);
        const double scale =
            std::max({1.0, pixelX / chartPixel, NKFWebZoomResolution(std::min(view.Zoom, ChartZooms[k])) / chartPixel});
        // With --fill the coarser level enlarged around a chart holds its
        // border as drawn at that level: warped and then enlarged, both
        // bilinear, it spreads over up to a pixel and a half of that level.
        const double blur =
            fill && view.Zoom > ChartZooms[0] ? 1.5 * NKFWebZoomResolution(view.Zoom - 1) / chartPixel : scale;
        const TDoublePoint p = charts[k]->Calibration->WGS84ToPixel({lat, lon});
        const double d = SignedBorderDistance(SetCharts[k], p);
        clear = clear && std::fabs(d) > 2 * std::max(scale, blur);
        if (d > 0) {
          finest = k;
          at = p;
          reach = 1.5 * scale;
        }
      }
      if (!clear)
        continue;
      const uint8_t *pixel = rgba.data() + (static_cast<size_t>(j) * width + i) * 4;
      if (finest < 0) {
        EXPECT_EQ(pixel[3], 0) << view.Name << ": outside every chart at " << lat / Degree << " N " << lon / Degree << " E";
        continue;
      }
      if (pixel[3] != 255) {
        ++transparent;
        if (fill && ++holes <= 5)
          ADD_FAILURE() << view.Name << " with --fill: alpha " << int(pixel[3]) << " inside " << SetCharts[finest].Name
                        << " at " << lat / Degree << " N " << lon / Degree << " E";
        continue;
      }
      const TSetChartCase &c = SetCharts[finest];
      int lowest[3] = {255, 255, 255}, highest[3] = {0, 0, 0};
      const double step = reach / 6;
      for (double dy = -reach; dy <= reach; dy += step)
        for (double dx = -reach; dx <= reach; dx += step) {
          const TColor32 v = Picture(c.Red, at.X + dx, at.Y + dy);
          for (int b = 0; b < 3; ++b) {
            const int value = static_cast<int>(v >> (16 - 8 * b) & 0xFF);
            lowest[b] = std::min(lowest[b], value);
            highest[b] = std::max(highest[b], value);
          }
        }
      bool within = true;
      for (int b = 0; b < 3; ++b)
        within = within && pixel[b] + 2 >= lowest[b] && pixel[b] <= highest[b] + 2;
      if (!within && ++mismatches <= 5)
        ADD_FAILURE() << view.Name << (fill ? " with --fill" : "") << ": " << c.Name << " at " << lat / Degree
                      << " N " << lon / Degree << " E shows " << int(pixel[0]) << "," << int(pixel[1]) << ","
                      << int(pixel[2]);
      ++compared[finest];
    }
  // Every chart of the view compared somewhere (without --fill, those drawn
  // at the level in view); the holes a plotter that shows one level has
  // without --fill, and none with it.
  EXPECT_EQ(mismatches, 0) << view.Name;
  for (size_t k = 0; k < std::size(SetCharts); ++k)
    if (fill || ChartZooms[k] >= view.Zoom) {
      EXPECT_GE(compared[k], 12) << view.Name << (fill ? " with --fill" : "") << ", " << SetCharts[k].Name;
    }
  if (std::string(view.Name) == "harbour") {
    if (fill)
      EXPECT_EQ(transparent, 0);
    else
      EXPECT_GT(transparent, 100);
  }
}

INSTANTIATE_TEST_SUITE_P(Views, NKFSetExportQgis, testing::Combine(testing::Values(0, 1, 2), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<int, bool>> &Info) {
                           return std::string(QgisViewNames[std::get<0>(Info.param)]) +
                                  (std::get<1>(Info.param) ? "Fill" : "Plain");
                         });

// The inset corner of the fine chart shows the middle chart, and the middle
// chart's own corner beyond the fine one the coarse chart, at the levels
// where both are drawn; at the fine chart's own level nothing coarser is
// drawn (a plotter enlarges the coarser level's tile there). Named
// positions, so that a failure says which cut or which level is wrong.
TEST_F(NKFSetExport, InsetCornerShowsTheChartBelow) {
  struct TProbe {
    const char *Where;
    int Zoom;
    int Chart;   // whose pixel (x, y) it is
    double X, Y; // calibration pixel
    uint8_t Red; // the chart expected on top, 0 for none
  } const probes[] = {
      {"fine chart, top left quarter", 14, 2, 64, 64, 200},
      {"fine chart, top left quarter", 13, 2, 64, 64, 200},
      {"fine chart's inset corner", 13, 2, 192, 192, 130},
      {"fine chart's inset corner", 14, 2, 192, 192, 0},
      {"coarse chart's cut corner", 12, 0, 500, 375, 0},
      {"coarse chart's far corner", 12, 0, 8, 8, 60},
      {"coarse chart's far corner", 13, 0, 8, 8, 0},
  };
  for (size_t i = 0; i < std::size(probes); ++i) {
    const TProbe &p = probes[i];
    const TMBTilesReader tiles(Dir->File("set.mbtiles"), p.Zoom);
    ASSERT_TRUE(tiles.Dataset()) << i;
    TNKFChart chart(Dir->File(std::string(SetCharts[p.Chart].Name) + ".nkf2"));
    const TDoublePoint g = chart.Calibration->PixelToWGS84({p.X, p.Y});
    std::array<uint8_t, 4> rgba{};
    ASSERT_TRUE(tiles.Pixel(g.X / Degree, g.Y / Degree, rgba)) << i << ": " << p.Where;
    if (p.Red == 0) {
      EXPECT_EQ(rgba[3], 0) << i << ": " << p.Where << " at level " << p.Zoom;
    } else {
      EXPECT_EQ(rgba[3], 255) << i << ": " << p.Where << " at level " << p.Zoom;
      EXPECT_NEAR(rgba[0], p.Red, 2) << i << ": " << p.Where << " at level " << p.Zoom;
    }
  }
}

// What a plotter reads before any tile: the layer's name, bounds around the
// charts, the zoom levels from the one at which the set fits in 2 x 2 tiles
// (11) to the fine chart's (8 m: level 14) as overviews, PNG tiles for
// transparency.
TEST_F(NKFSetExport, MetadataAndZoomLevels) {
  EXPECT_EQ(NKFWebZoomOf(NKFWebZoomResolution(14) * 1.3), 14);
  EXPECT_EQ(NKFWebZoomOf(NKFWebZoomResolution(14) * 1.5), 13);
  for (const char *file : {"set.mbtiles", "fill.mbtiles"}) {
    const TMBTilesReader tiles(Dir->File(file));
    GDALDataset *d = tiles.Dataset();
    ASSERT_TRUE(d) << file;
    EXPECT_STREQ(d->GetDriver()->GetDescription(), "MBTiles");
    ASSERT_EQ(d->GetRasterCount(), 4);
    double transform[6];
    d->GetGeoTransform(transform);
    EXPECT_NEAR(transform[1], NKFWebZoomResolution(14), 1e-6);
    EXPECT_EQ(d->GetRasterBand(1)->GetOverviewCount(), 3) << file;
    const char *name = d->GetMetadataItem("name");
    EXPECT_STREQ(name ? name : "", "ORVA Welmeland 2003");
    const char *format = d->GetMetadataItem("format");
    EXPECT_STREQ(format ? format : "", "png");
    const char *minzoom = d->GetMetadataItem("minzoom"), *maxzoom = d->GetMetadataItem("maxzoom");
    EXPECT_STREQ(minzoom ? minzoom : "", "11") << file;
    EXPECT_STREQ(maxzoom ? maxzoom : "", "14") << file;
    // bounds: west, south, east, north in degrees: the coarse chart's, 4.708
    // to 4.892 E and 53.159 to 53.241 N, not the tiles' (the grid starts on
    // a tile edge of level 11, 0.18 degrees wide).
    const char *bounds = d->GetMetadataItem("bounds");
    ASSERT_TRUE(bounds);
    double w = 0, s = 0, e = 0, n = 0;
    ASSERT_EQ(std::sscanf(bounds, "%lf,%lf,%lf,%lf", &w, &s, &e, &n), 4) << bounds;
    EXPECT_NEAR(w, 4.708, 0.002) << bounds;
    EXPECT_NEAR(e, 4.892, 0.002) << bounds;
    EXPECT_NEAR(s, 53.159, 0.002) << bounds;
    EXPECT_NEAR(n, 53.241, 0.002) << bounds;
  }
}

// A tile that does not decode stops the run with the tile named (the warper
// reads the charts' tiles as it goes), and leaves no output behind.
TEST(NKFSetExportBadInput, UndecodableTileStopsTheRun) {
  TTempDir dir;
  TNKFChartDescription broken = SetChart(SetCharts[2]);
  broken.Blobs[broken.TileBlobs[0]] = {1, 2, 3, 4, 5};
  NKFWriteChartFile(dir.File("coarse.nkf2"), SetChart(SetCharts[0]));
  NKFWriteChartFile(dir.File("fine.nkf2"), broken);
  try {
    NKFExportSet({dir.File("coarse.nkf2"), dir.File("fine.nkf2")}, dir.File("set.mbtiles"));
    ADD_FAILURE() << "no error";
  } catch (const ENKFExportError &e) {
    EXPECT_NE(e.Message().find(dir.File("fine.nkf2") + " does not decode"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("set.mbtiles")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

// A stop signal that arrives while the set is exported ends the run with
// nothing left behind, unless the program was started to ignore it (nohup's
// SIGHUP, a shell's trap ''): then the run goes on to its output.
TEST(NKFSetExportSignal, StopsTheRunUnlessStartedIgnored) {
  struct TCase {
    int Signal;
    bool Ignored;
  };
  for (const TCase c : {TCase{SIGTERM, false}, TCase{SIGHUP, false}, TCase{SIGHUP, true}, TCase{SIGINT, true}}) {
    SCOPED_TRACE(std::string(strsignal(c.Signal)) + (c.Ignored ? ", ignored" : ""));
    TTempDir dir;
    NKFWriteChartFile(dir.File("coarse.nkf2"), SetChart(SetCharts[0]));
    struct sigaction before {}, ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(c.Signal, c.Ignored ? &ignore : nullptr, &before);
    bool raised = false;
    const auto raiseOnce = [&](double) {
      if (!std::exchange(raised, true))
        raise(c.Signal);
    };
    std::string error;
    try {
      NKFExportSet({dir.File("coarse.nkf2")}, dir.File("set.mbtiles"), {}, raiseOnce);
    } catch (const ENKFExportError &e) {
      error = e.Message();
    }
    sigaction(c.Signal, &before, nullptr);
    EXPECT_TRUE(raised);
    if (c.Ignored) {
      EXPECT_EQ(error, "");
      EXPECT_TRUE(std::filesystem::exists(dir.File("set.mbtiles")));
      EXPECT_EQ(NKFSetExportSignal(), 0);
    } else {
      EXPECT_NE(error.find("Stopped by signal " + std::to_string(c.Signal)), std::string::npos) << error;
      EXPECT_EQ(NKFSetExportSignal(), c.Signal);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), c.Ignored ? 2 : 1);
  }
}

// A run that died (killed, or the machine went down) left its work folder
// next to the output: the next run in that folder removes it, whether it
// holds a lock that is free now or, as older runs left them, none and names
// a process that is gone; the folder of a run still going (its lock held,
// or without a lock its process alive) stays as it is.
TEST(NKFSetExportWorkFolder, AbandonedFoldersGoLiveOnesStay) {
  TTempDir dir;
  NKFWriteChartFile(dir.File("coarse.nkf2"), SetChart(SetCharts[0]));
  const pid_t dead = fork();
  ASSERT_GE(dead, 0);
  if (dead == 0)
    _exit(0);
  ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
  const auto folder = [&](const std::string &Name, bool Lock) {
    const std::string path = dir.File(Name);
    std::filesystem::create_directory(path);
    WriteFileBytes(path + "/set.mbtiles", "half written");
    if (Lock)
      WriteFileBytes(path + "/lock", "");
    return path;
  };
  const std::string died = folder(".old.mbtiles.nkf2export-" + std::to_string(dead), true);
  const std::string diedUnlocked = folder(".older.mbtiles.nkf2export-" + std::to_string(dead), false);
  const std::string live = folder(".live.mbtiles.nkf2export-" + std::to_string(getpid()), true);
  const std::string liveUnlocked = folder(".busy.mbtiles.nkf2export-" + std::to_string(getppid()), false);
  const int lock = open((live + "/lock").c_str(), O_RDWR);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
  NKFExportSet({dir.File("coarse.nkf2")}, dir.File("out.mbtiles"));
  close(lock);
  EXPECT_FALSE(std::filesystem::exists(died));
  EXPECT_FALSE(std::filesystem::exists(diedUnlocked));
  EXPECT_TRUE(std::filesystem::exists(live + "/set.mbtiles"));
  EXPECT_TRUE(std::filesystem::exists(liveUnlocked + "/set.mbtiles"));
  EXPECT_TRUE(std::filesystem::exists(dir.File("out.mbtiles")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 4); // and no folder of its own
}

// ---------------------------------------------------------------------------
// The program as a user runs it

TEST(NKF2ExportSetProgram, RefusesWithStatusOneAndLeavesNothingBehind) {
  TTempDir dir;
  const std::string set = dir.File("set");
  std::filesystem::create_directory(set);
  const auto run = [&](const std::string &Output) {
    return RunExport(dir, "--set " + Quoted(set) + " " + Quoted(Output));
  };

  const TRun empty = run(dir.File("out.mbtiles"));
  EXPECT_EQ(empty.Status, 1);
  EXPECT_EQ(empty.Errors, "ENKFExportError: NKFSetChartFiles: " + set + " holds none of the charts of the set\n");

  // Every file but the fifth and the last, as small charts.
  const std::string chart = NKFChartBytes(SetChart({"tiny", 64, 64, 40, 53.2, 4.8, 60, {}}));
  for (size_t i = 0; i < ChartFileNames.size(); ++i)
    if (i != 4 && i + 1 != ChartFileNames.size())
      WriteFileBytes(set + "/" + ChartFileNames[i], chart);
  const TRun missing = run(dir.File("out.mbtiles"));
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Errors, "ENKFExportError: NKFSetChartFiles: " + set + " lacks " + ChartFileNames[4] + ", " +
                                ChartFileNames[8] + "\n");

  // All there, but one is no chart: the run stops after work has begun.
  WriteFileBytes(set + "/" + ChartFileNames[4], chart);
  WriteFileBytes(set + "/" + ChartFileNames[8], "not a chart at all");
  const TRun text = run(dir.File("out.mbtiles"));
  EXPECT_EQ(text.Status, 1);
  EXPECT_EQ(text.Errors, "ENKFExportError: NKFExportSet: " + set + "/" + ChartFileNames[8] + " is not a chart file\n");

  WriteFileBytes(set + "/" + ChartFileNames[8], chart);
  const TRun unwritable = run(dir.File("no such folder/out.mbtiles"));
  EXPECT_EQ(unwritable.Status, 1);
  EXPECT_EQ(unwritable.Errors.rfind("ENKFExportError: NKFExportSet: Cannot write " + dir.File("no such folder/out.mbtiles"), 0),
            0u)
      << unwritable.Errors;
  EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"set", "stderr.txt"}));

  // On a terminal one bar covers the whole run and ends full.
  const std::string terminal = OnTerminal(dir, "--set " + Quoted(set) + " " + Quoted(dir.File("out.mbtiles")));
  EXPECT_EQ(terminal.rfind("\rnkf2export [", 0), 0u) << terminal;
  EXPECT_NE(terminal.find("] 100%\r\n"), std::string::npos) << terminal;
  EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"out.mbtiles", "set", "stderr.txt", "terminal.txt"}));

  for (const std::string &wrong : {"--set " + Quoted(set), "--set " + Quoted(set) + " a.mbtiles extra",
                                   std::string("--set --registry-export set.reg")}) {
    const TRun usage = RunExport(dir, wrong);
    EXPECT_EQ(usage.Status, 2) << wrong;
    EXPECT_NE(usage.Errors.find("nkf2export --set FOLDER OUT.mbtiles"), std::string::npos) << wrong;
  }
}

// The records found through a registry export: an uninstalled set is refused
// by name and reason, and an installed one whose drive the Wine prefix lacks
// names the drive; neither run leaves an output behind.
TEST(NKF2ExportSetProgram, RegistryExportRefusesWhatIsNotThere) {
  TTempDir dir;
  const std::string reg = dir.File("set.reg"), out = dir.File("out.mbtiles");
  const std::string root = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Charts\\ORVA2003";
  const std::string setOnly = "REGEDIT4\r\n\r\n" + root + "]\r\n\"Name\"=\"ORVA (Editie 2003)\"\r\n\r\n";
  WriteFileBytes(reg, setOnly);
  // A prefix of drive links alone, and its ANSI code page.
  const std::string prefix = dir.File("prefix");
  std::filesystem::create_directories(prefix + "/dosdevices");
  WriteFileBytes(prefix + "/system.reg",
                 "WINE REGISTRY Version 2\n\n[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\Codepage] 1\n"
                 "\"ACP\"=\"1252\"\n");
  const char *before = std::getenv("WINEPREFIX");
  const std::string saved = before ? before : "";
  setenv("WINEPREFIX", prefix.c_str(), 1);
  const TRun uninstalled = RunExport(dir, "--set --registry-export " + Quoted(reg) + " " + Quoted(out));
  EXPECT_EQ(uninstalled.Status, 1);
  EXPECT_EQ(uninstalled.Errors, "ENKFExportError: NKFInstalledSetFolder: ORVA (Editie 2003) is not installed according "
                                "to " + reg + ": there is no key HKEY_LOCAL_MACHINE\\Software\\Velmora\\Charts\\"
                                "ORVA2003\\Modules\\B\n");

  std::string installed = setOnly + root + "\\Modules\\B]\r\n\"Name\"=\"B: Welmeland/Welml\xE2n\"\r\n"
                                           "\"Path\"=\"Q:\\\\Charts\"\r\n\r\n";
  for (const char *file : ChartFileNames)
    installed += root + "\\Modules\\B\\Charts\\" + file + "]\r\n\r\n";
  WriteFileBytes(reg, installed);
  const TRun noDrive = RunExport(dir, "--set --registry-export " + Quoted(reg) + " " + Quoted(out));
  if (before)
    setenv("WINEPREFIX", saved.c_str(), 1);
  else
    unsetenv("WINEPREFIX");
  EXPECT_EQ(noDrive.Status, 1);
  EXPECT_EQ(noDrive.Errors, "ENKFExportError: NKFWinePath: the Wine prefix " + prefix + " has no drive Q: (" + prefix +
                                "/dosdevices/q:)\n");
  EXPECT_FALSE(std::filesystem::exists(out));
}

} // namespace
