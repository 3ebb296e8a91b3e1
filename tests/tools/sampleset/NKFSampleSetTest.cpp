// The sample chart set as a GIS user meets it: nine charts that open and
// calibrate, on the grids and datums a real set mixes, linked to the charts
// they overlap; exported to GeoTIFF and warped to WGS 84 by GDAL, every two
// overlapping charts tell land from sea alike and put the coast in the same
// place, which a wrong sign in a datum shift or a turned calibration breaks
// at once. And a second run writes the same bytes.
//
// The set comes from nkf2sampleset, run by ctest before this test (the
// folder is SAMPLE_SET).
#include "NKFSampleSet.h"

#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <gdalwarper.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "ChartSetNames.h"
#include "NKFChartPainter.h"
#include "NKFGeoTiffExport.h"
#include "NKFSampleGeography.h"
#include "TempDir.h"
#include "VmNKFCharts.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;
constexpr double MetresPerDegree = 111320;

const std::string SetFolder = SAMPLE_SET;

std::string ChartPath(int Index) { return SetFolder + "/" + ChartFileNames[static_cast<size_t>(Index)]; }

// GDAL's and Cairo's process-wide tables are freed at the end, so that the
// leak checker reports only our own allocations.
class TLibraryEnvironment : public testing::Environment {
public:
  void SetUp() override { GDALAllRegister(); }
  void TearDown() override {
    GDALDestroyDriverManager();
    OSRCleanup();
    NKFReleaseDrawingCaches();
  }
};
const testing::Environment *const LibraryEnvironment = testing::AddGlobalTestEnvironment(new TLibraryEnvironment);

std::vector<std::unique_ptr<TNKFChart>> OpenSet() {
  std::vector<std::unique_ptr<TNKFChart>> charts;
  for (int i = 0; i < ChartFileCount; ++i)
    charts.push_back(std::make_unique<TNKFChart>(ChartPath(i)));
  return charts;
}

std::string Title(int Index) {
  const std::string name = ChartFileNames[static_cast<size_t>(Index)];
  return name.substr(0, name.size() - 5);
}

// The chart's border in WGS 84, from the export library's footprint, as an
// OGR polygon in degrees (x longitude, y latitude).
OGRPolygon FootprintPolygon(const TNKFChart &Chart) {
  OGRLinearRing ring;
  for (const TDoublePoint &p : NKFSampleFootprint(Chart))
    ring.addPoint(p.Y / Degree, p.X / Degree);
  ring.closeRings();
  OGRPolygon polygon;
  polygon.addRing(&ring);
  return polygon;
}

// Ground metres per pixel at the chart's centre.
double GroundPixelSize(const TNKFChart &Chart) {
  const TDoublePoint c{Chart.Width / 2.0, Chart.Height / 2.0};
  const TDoublePoint a = Chart.Calibration->PixelToWGS84(c), b = Chart.Calibration->PixelToWGS84({c.X + 1, c.Y});
  return std::hypot((b.X - a.X) * MetresPerDegree / Degree,
                    (b.Y - a.Y) * MetresPerDegree / Degree * std::cos(a.X));
}

// ---------------------------------------------------------------------------
// What the set is made of

// Every chart opens and its calibration is accepted (a refused set-up
// leaves a chart that opens but cannot place anything); together they use
// every grid, two- and three-point calibrations, datums of each kind, a
// turned grid, a border with an inset corner, sizes from a harbour plan to
// a chart that needs background loading, and the whole set fits its budget.
TEST(NKFSampleSet, ChartsOpenCalibratedAndCoverWhatASetMixes) {
  const auto charts = OpenSet();
  std::set<int> grids, pointCounts;
  bool helmert = false, threeParameter = false, wgs84 = false, turned = false, inset = false;
  int64_t minPixels = INT64_MAX, maxWidth = 0, maxHeight = 0, bytes = 0;
  for (int i = 0; i < ChartFileCount; ++i) {
    const TNKFChart &c = *charts[static_cast<size_t>(i)];
    SCOPED_TRACE(ChartFileNames[static_cast<size_t>(i)]);
    ASSERT_TRUE(c.IsCalibrated());
    EXPECT_EQ(c.CalibrationStatus, csAccepted);
    EXPECT_EQ(c.Text1, Title(i));
    EXPECT_FALSE(c.Text3.empty()); // the scale
    EXPECT_NE(c.Date1, 0);
    const TGeodeticCoordinateSystem &system = c.Calibration->System();
    grids.insert(system.Kind & 0x7F);
    pointCounts.insert(c.Calibration->PointCount());
    const TGeodeticDatum &d = *system.Datum;
    wgs84 |= d.IsWGS84;
    helmert |= !d.IsWGS84 && (d.RX != 0 || d.RY != 0 || d.RZ != 0) && d.Scale != 1;
    threeParameter |= !d.IsWGS84 && d.RX == 0 && d.RY == 0 && d.RZ == 0 && d.Scale == 1 && d.DX != 0;
    const double rotation = std::fabs(c.Calibration->Rotation()) / Degree;
    turned |= rotation > 1 && rotation < 10;
    inset |= c.Border.Count() > 4;
    minPixels = std::min<int64_t>(minPixels, int64_t{c.Width} * c.Height);
    if (int64_t{c.Width} * c.Height > maxWidth * maxHeight)
      maxWidth = c.Width, maxHeight = c.Height;
    bytes += static_cast<int64_t>(std::filesystem::file_size(ChartPath(i)));
  }
  EXPECT_EQ(grids, (std::set<int>{gcsMercator, gcsTransverseMercator, gcsRD}));
  EXPECT_EQ(pointCounts, (std::set<int>{2, 3}));
  EXPECT_TRUE(wgs84 && helmert && threeParameter);
  EXPECT_TRUE(turned);
  EXPECT_TRUE(inset);
  EXPECT_GE(minPixels, 1500 * 1000);
  EXPECT_GE(maxWidth, 12000);
  EXPECT_GE(maxHeight, 9000);
  EXPECT_LT(bytes, 60 * 1000 * 1000);
  std::printf("[ set      ] %lld bytes; largest chart %lld x %lld pixels\n", static_cast<long long>(bytes),
              static_cast<long long>(maxWidth), static_cast<long long>(maxHeight));
}

// Each chart links to exactly the charts whose borders overlap its own, as
// OGR intersects the footprints: by title and file name.
TEST(NKFSampleSet, LinksNameTheOverlappingCharts) {
  const auto charts = OpenSet();
  std::vector<OGRPolygon> footprints;
  for (const auto &c : charts)
    footprints.push_back(FootprintPolygon(*c));
  int links = 0;
  for (int i = 0; i < ChartFileCount; ++i) {
    std::set<std::pair<std::string, std::string>> expected, linked;
    for (int j = 0; j < ChartFileCount; ++j)
      if (j != i && footprints[static_cast<size_t>(i)].Intersects(&footprints[static_cast<size_t>(j)]))
        expected.insert({Title(j), ChartFileNames[static_cast<size_t>(j)]});
    for (const TNKFLink &link : charts[static_cast<size_t>(i)]->Links)
      linked.insert({link.LinkText1, link.LinkText2});
    EXPECT_EQ(linked, expected) << ChartFileNames[static_cast<size_t>(i)];
    EXPECT_FALSE(expected.empty()) << ChartFileNames[static_cast<size_t>(i)] << " overlaps no other chart";
    links += static_cast<int>(linked.size());
  }
  EXPECT_GE(links, 2 * 8);
}

// ---------------------------------------------------------------------------
// Land and sea through GDAL

enum class TClass { None, Land, Sea };

TClass Classify(const uint8_t *Rgba) {
  if (Rgba[3] != 255)
    return TClass::None;
  const uint32_t rgb = uint32_t{Rgba[0]} << 16 | uint32_t{Rgba[1]} << 8 | Rgba[2];
  if (rgb == NKFSampleLandColor)
    return TClass::Land;
  if (rgb == NKFSampleShallow5Color || rgb == NKFSampleShallow10Color || rgb == NKFSampleDeepColor)
    return TClass::Sea;
  return TClass::None; // lines, lettering, symbols, the title block
}

// A common WGS 84 grid with square pixels of Size ground metres.
struct TGrid {
  double West, North, Size;
  double DLon, DLat;
  int Columns, Rows;
};

TGrid GridOver(const OGREnvelope &Area, double Size) {
  TGrid g;
  g.Size = Size;
  g.DLat = Size / MetresPerDegree;
  g.DLon = Size / (MetresPerDegree * std::cos((Area.MinY + Area.MaxY) / 2 * Degree));
  g.West = Area.MinX;
  g.North = Area.MaxY;
  g.Columns = static_cast<int>(std::ceil((Area.MaxX - Area.MinX) / g.DLon));
  g.Rows = static_cast<int>(std::ceil((Area.MaxY - Area.MinY) / g.DLat));
  return g;
}

// The exported chart warped by GDAL onto the grid, nearest neighbour (the
// chart's colours stay exact), its alpha band carried: RGBA rows.
std::vector<uint8_t> Warp(GDALDataset &Source, const TGrid &Grid) {
  GDALDriver *mem = GetGDALDriverManager()->GetDriverByName("MEM");
  GDALDatasetUniquePtr target(mem->Create("", Grid.Columns, Grid.Rows, 4, GDT_Byte, nullptr));
  double transform[6] = {Grid.West, Grid.DLon, 0, Grid.North, 0, -Grid.DLat};
  target->SetGeoTransform(transform);
  OGRSpatialReference wgs84;
  wgs84.SetWellKnownGeogCS("WGS84");
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  target->SetSpatialRef(&wgs84);
  char *wkt = nullptr;
  wgs84.exportToWkt(&wkt);
  GDALWarpOptions *options = GDALCreateWarpOptions();
  options->nBandCount = 3;
  options->panSrcBands = static_cast<int *>(CPLMalloc(sizeof(int) * 3));
  options->panDstBands = static_cast<int *>(CPLMalloc(sizeof(int) * 3));
  for (int b = 0; b < 3; ++b)
    options->panSrcBands[b] = options->panDstBands[b] = b + 1;
  options->nSrcAlphaBand = 4;
  options->nDstAlphaBand = 4;
  const CPLErr err = GDALReprojectImage(&Source, nullptr, target.get(), wkt, GRA_NearestNeighbour, 0, 0.125, nullptr,
                                        nullptr, options);
  GDALDestroyWarpOptions(options);
  CPLFree(wkt);
  EXPECT_EQ(err, CE_None) << CPLGetLastErrorMsg();
  std::vector<uint8_t> rgba(static_cast<size_t>(Grid.Columns) * Grid.Rows * 4);
  EXPECT_EQ(target->RasterIO(GF_Read, 0, 0, Grid.Columns, Grid.Rows, rgba.data(), Grid.Columns, Grid.Rows, GDT_Byte,
                             4, nullptr, 4, static_cast<GSpacing>(Grid.Columns) * 4, 1, nullptr),
            CE_None);
  return rgba;
}

// An exported chart read whole, with GDAL's own transformation from WGS 84
// to its pixels (as gdalwarp and gdallocationinfo place a position): the
// coast is found in each chart's own pixels, without a second resampling.
class TExportedChart {
public:
  explicit TExportedChart(const std::string &FileName)
      : FDataset(GDALDataset::Open(FileName.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY)) {
    if (!FDataset)
      return;
    FWidth = FDataset->GetRasterXSize();
    FHeight = FDataset->GetRasterYSize();
    FRgba.resize(static_cast<size_t>(FWidth) * FHeight * 4);
    if (FDataset->RasterIO(GF_Read, 0, 0, FWidth, FHeight, FRgba.data(), FWidth, FHeight, GDT_Byte, 4, nullptr, 4,
                           static_cast<GSpacing>(FWidth) * 4, 1, nullptr) != CE_None)
      FRgba.clear();
    char **options = CSLSetNameValue(nullptr, "DST_SRS", "EPSG:4326");
    FTransformer = GDALCreateGenImgProjTransformer2(FDataset.get(), nullptr, options);
    CSLDestroy(options);
  }
  ~TExportedChart() {
    if (FTransformer)
      GDALDestroyGenImgProjTransformer(FTransformer);
  }
  TExportedChart(const TExportedChart &) = delete;
  TExportedChart &operator=(const TExportedChart &) = delete;

  bool Valid() const { return FTransformer != nullptr && !FRgba.empty(); }
  GDALDataset &Dataset() const { return *FDataset; }

  TClass At(const TGeoPoint &p) const {
    double x = p.Lon, y = p.Lat, z = 0;
    int ok = 0;
    if (!GDALGenImgProjTransform(FTransformer, TRUE, 1, &x, &y, &z, &ok) || !ok)
      return TClass::None;
    const int c = static_cast<int>(std::floor(x)), r = static_cast<int>(std::floor(y));
    if (c < 0 || r < 0 || c >= FWidth || r >= FHeight)
      return TClass::None;
    return Classify(&FRgba[(static_cast<size_t>(r) * FWidth + c) * 4]);
  }

private:
  GDALDatasetUniquePtr FDataset;
  int FWidth = 0, FHeight = 0;
  std::vector<uint8_t> FRgba;
  void *FTransformer = nullptr;
};

// Where a transect across the coast, Reach metres each way from p along the
// ground direction (East, North), passes from sea to land: halfway between
// the last sea and the first land sample, in metres from p. False when the
// transect is not one clean crossing (it leaves the chart, or lettering
// covers the coast).
bool Crossing(const TExportedChart &Chart, const TGeoPoint &p, double East, double North, double Reach, double Step,
              double &S) {
  double lastSea = -1e9, firstLand = 1e9;
  bool sea = false, land = false;
  for (double s = -Reach; s <= Reach; s += Step) {
    const TClass k = Chart.At({p.Lat + s * North / MetresPerDegree,
                               p.Lon + s * East / (MetresPerDegree * std::cos(p.Lat * Degree))});
    if (k == TClass::Sea)
      lastSea = std::max(lastSea, s), sea = true;
    if (k == TClass::Land)
      firstLand = std::min(firstLand, s), land = true;
  }
  if (!sea || !land || !(lastSea < firstLand))
    return false;
  S = (lastSea + firstLand) / 2;
  return true;
}

// A harbour's entrance cuts the coast within a few hundred metres of it.
bool NearHarbour(const TGeoPoint &p) {
  for (const TSamplePlace &h : NKFSampleGeography().Harbours)
    if (std::fabs(p.Lat - h.Position.Lat) * MetresPerDegree < 400 &&
        std::fabs(p.Lon - h.Position.Lon) * MetresPerDegree * std::cos(p.Lat * Degree) < 2500)
      return true;
  return false;
}

struct TCoastCheck {
  int Checked = 0, Skipped = 0;
  double Worst = 0; // metres
};

// Sample points every 200 m along the mainland's and the islands' coasts
// (away from the harbours, whose narrow entrances a transect would cross
// twice) inside the common area, and a transect along the coast's normal
// through each, in both charts: the two crossings lie within Tolerance
// metres (a pixel of the coarser chart).
TCoastCheck CompareCoast(const TExportedChart &A, const TExportedChart &B, const OGRGeometry &Common,
                         double Tolerance, double Fine, const std::string &Pair) {
  const TSampleGeography &g = NKFSampleGeography();
  std::vector<const TGeoLine *> coasts = {&g.Coast};
  for (size_t k = 1; k < g.Land.size(); ++k) // the islands
    coasts.push_back(&g.Land[k]);
  // Short enough to stay clear of names and light characters near the
  // coast; a coast moved further (a datum shift of a hundred metres) finds
  // no crossing in one of the charts, and the skipped points tell.
  const double reach = 3 * Tolerance, step = Fine / 4;
  TCoastCheck check;
  for (const TGeoLine *coast : coasts) {
    const size_t n = coast->size();
    size_t last = 0;
    for (size_t i = 0; i < n; ++i) {
      const TGeoPoint &p = (*coast)[i], &q = (*coast)[last];
      const double since = std::hypot((p.Lat - q.Lat) * MetresPerDegree,
                                      (p.Lon - q.Lon) * MetresPerDegree * std::cos(p.Lat * Degree));
      if ((i > 0 && since < 200) || i < 20 || i + 20 >= n)
        continue;
      last = i;
      OGRPoint at(p.Lon, p.Lat);
      if (NearHarbour(p) || !Common.Contains(&at))
        continue;
      // The coast's normal in ground metres.
      const double east = ((*coast)[i + 20].Lon - (*coast)[i - 20].Lon) * std::cos(p.Lat * Degree);
      const double north = (*coast)[i + 20].Lat - (*coast)[i - 20].Lat;
      const double length = std::hypot(east, north);
      double sa = 0, sb = 0;
      bool found = false;
      for (double side : {1.0, -1.0})
        if (!found && Crossing(A, p, side * north / length, -side * east / length, reach, step, sa) &&
            Crossing(B, p, side * north / length, -side * east / length, reach, step, sb))
          found = true;
      if (!found) {
        ++check.Skipped;
        continue;
      }
      ++check.Checked;
      const double apart = std::fabs(sa - sb);
      check.Worst = std::max(check.Worst, apart);
      EXPECT_LE(apart, Tolerance) << Pair << ": coast at " << p.Lat << " N " << p.Lon << " E";
    }
  }
  return check;
}

// Every pair of overlapping charts, warped by GDAL onto one WGS 84 grid over
// their common area (the finer chart's pixels, but no finer than half the
// coarser's): at least 99.5 % of the pixels that both show as land or sea
// agree; and the coast, found in each chart's own pixels, lies within one
// pixel of the coarser chart. Each pair's figures are printed.
TEST(NKFSampleSet, OverlappingChartsAgreeOnLandSeaAndCoastThroughGdal) {
  const auto charts = OpenSet();
  TTempDir dir;
  std::vector<std::unique_ptr<TExportedChart>> exported;
  std::vector<double> pixelSize; // ground metres of the exported level
  std::vector<OGRPolygon> footprints;
  for (int i = 0; i < ChartFileCount; ++i) {
    const TNKFChart &c = *charts[static_cast<size_t>(i)];
    // The large chart at its level 1 (6 m pixels, still a detail chart
    // beside the overview charts it is compared with); the others at full
    // resolution.
    const int level = int64_t{c.Width} * c.Height > 50'000'000 ? 1 : 0;
    const std::string tif = dir.File(std::to_string(i) + ".tif");
    NKFExportGeoTiff(c, tif, TNKFExportOptions{level, false});
    exported.push_back(std::make_unique<TExportedChart>(tif));
    ASSERT_TRUE(exported.back()->Valid()) << tif << ": " << CPLGetLastErrorMsg();
    pixelSize.push_back(GroundPixelSize(c) * std::ldexp(1.0, level));
    footprints.push_back(FootprintPolygon(c));
  }
  int pairs = 0;
  for (int i = 0; i < ChartFileCount; ++i)
    for (int j = i + 1; j < ChartFileCount; ++j) {
      std::unique_ptr<OGRGeometry> common(
          footprints[static_cast<size_t>(i)].Intersection(&footprints[static_cast<size_t>(j)]));
      if (!common || common->IsEmpty())
        continue;
      ++pairs;
      const std::string pair = Title(i) + " / " + Title(j);
      OGREnvelope area;
      common->getEnvelope(&area);
      const double coarse = std::max(pixelSize[static_cast<size_t>(i)], pixelSize[static_cast<size_t>(j)]);
      const double fine = std::min(pixelSize[static_cast<size_t>(i)], pixelSize[static_cast<size_t>(j)]);
      const TGrid grid = GridOver(area, std::max(fine, coarse / 2));
      const std::vector<uint8_t> a = Warp(exported[static_cast<size_t>(i)]->Dataset(), grid);
      const std::vector<uint8_t> b = Warp(exported[static_cast<size_t>(j)]->Dataset(), grid);
      int64_t both = 0, agree = 0;
      for (size_t p = 0; p < a.size(); p += 4) {
        const TClass ka = Classify(&a[p]), kb = Classify(&b[p]);
        if (ka == TClass::None || kb == TClass::None)
          continue;
        ++both;
        agree += ka == kb;
      }
      const TCoastCheck coast = CompareCoast(*exported[static_cast<size_t>(i)], *exported[static_cast<size_t>(j)],
                                             *common, coarse, fine, pair);
      const double share = both > 0 ? static_cast<double>(agree) / static_cast<double>(both) : 0;
      std::printf("[ pair     ] %-50s grid %4.1f m: %8lld common pixels, %7.3f %% agree; coast at %3d points, worst "
                  "%4.1f m = %.2f pixel of %4.1f m (%d skipped)\n",
                  pair.c_str(), grid.Size, static_cast<long long>(both), share * 100, coast.Checked, coast.Worst,
                  coast.Worst / coarse, coarse, coast.Skipped);
      EXPECT_GE(both, 10000) << pair;
      EXPECT_GE(share, 0.995) << pair;
      EXPECT_GE(coast.Checked, 3) << pair;
      EXPECT_LE(coast.Skipped, coast.Checked / 4 + 1) << pair << ": the coast is not where both charts show it";
    }
  EXPECT_GE(pairs, 8);
}

// ---------------------------------------------------------------------------

// Nothing in the set depends on a clock, a random source or the memory a
// run happens to get: written again here, in another process than
// nkf2sampleset's, every file has the same bytes. The charts drawn again
// are all but the three largest, which take the same code paths at four
// times the cost of all the others together.
TEST(NKFSampleSet, SecondRunWritesTheSameBytes) {
  const std::vector<int> again = {1, 2, 3, 4, 5, 7};
  TTempDir dir;
  ASSERT_EQ(NKFWriteSampleSet(dir.Path(), nullptr, again).size(), again.size());
  for (int i : again) {
    const std::string name = ChartFileNames[static_cast<size_t>(i)];
    EXPECT_TRUE(ReadFileBytes(dir.File(name)) == ReadFileBytes(ChartPath(i))) << name;
  }
}

} // namespace
