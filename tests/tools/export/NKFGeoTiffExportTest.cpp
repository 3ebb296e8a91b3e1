// The GeoTIFF export against GDAL as the reader every GIS uses: the file GDAL
// opens has the chart's size and pixels, GDAL's own transformation of a pixel
// to WGS 84 lands where the chart's position operations put that pixel, the
// TOWGS84 convention is the one GDAL and PROJ apply, the footprint comes back
// onto the border, and charts that cannot be placed are refused clearly.
#include "NKFGeoTiffExport.h"

#include <gtest/gtest.h>

#include <gdal_alg.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "NKF2SampleTiles.h"
#include "NKFExportTestSupport.h"
#include "NKFChartWriter.h"
#include "NKFTileReader.h"
#include "TempDir.h"
#include "VmGeodeticsCalibration.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;
constexpr double ArcSecond = Degree / 3600;
constexpr double EarthRadius = 6378137;
constexpr int Width = 640, Height = 480;

bool Exists(const std::string &Path) { return std::filesystem::exists(Path); }


const testing::Environment *const GdalEnvironment = testing::AddGlobalTestEnvironment(new TGdalEnvironment);

// ---------------------------------------------------------------------------
// Charts of each grid and kind of datum data

struct TPublishedShift { // usual frame, coordinate-frame rotations in arc seconds, ppm
  double DX, DY, DZ, RX, RY, RZ, PPM;
};

// The tag's datum parameters in the geodetic tables' internal form.
std::array<double, 9> InternalParameters(const TPublishedShift &s, double A, double InvF) {
  return {s.DX, -s.DY, s.DZ, -s.RX * ArcSecond, s.RY * ArcSecond, -s.RZ * ArcSecond, 1 + s.PPM * 1e-6, A, InvF};
}

// A strongly rotated shift on an ellipsoid of its own, so that a rotation
// with the wrong sign or a lost ellipsoid moves positions by metres.
constexpr TPublishedShift RotatedShift{-87.5, -98.2, -121.3, 4.5, -3.2, 7.9, 12.5};
constexpr double CustomA = 6378300, CustomInvF = 297.5;

enum class TGrid { Mercator, TransverseMercator, RD };

struct TChartCase {
  const char *Name;
  TGrid Grid;
  uint32_t Version;
  uint8_t DatumTypeCode; // 0 by code, 1 by shift, 2 by parameters
  const char *DatumCode;
  double Lat, Lon;   // chart centre, degrees, on the chart datum
  double Theta;      // chart rotation, degrees; 0 takes two calibration points, else three
  double K0, Lon0;   // transverse Mercator, Lon0 in degrees
  int Level;         // the level exported
};

const TChartCase ChartCases[] = {
    {"Mercator WGS 84, two points", TGrid::Mercator, NKFVersion1_0_0_2, 0, "WGE", 53.2, 4.8, 0, 0, 0, 0},
    {"Mercator ED50 (EUR-A), three points", TGrid::Mercator, NKFVersion1_0_0_2, 0, "EUR-A", 53.2, 4.8, 7.5, 0, 0, 0},
    {"Mercator RD seven parameters by code", TGrid::Mercator, NKFVersion1_0_0_2, 0, "RD", 52.4, 5.1, 0, 0, 0, 0},
    {"Mercator by shift, level 1", TGrid::Mercator, NKFVersion1_0_0_2, 1, "", 53.2, 4.8, -4, 0, 0, 1},
    {"Mercator by parameters, three points", TGrid::Mercator, NKFVersion1_0_0_2, 2, "", 60.1, 24.9, 12, 0, 0, 0},
    {"Mercator 1.0.0.1 by code (OGB-M)", TGrid::Mercator, NKFVersion1_0_0_1, 0, "OGB-M", 50.8, -1.2, 0, 0, 0, 0},
    {"Mercator 1.0.0.0 by old name (ED50, EUR-A)", TGrid::Mercator, NKFVersion1_0_0_0, 0, "EUR-A", 53.2, 4.8, 0, 0, 0, 0},
    {"Transverse Mercator OSGB 1936 (OGB-M)", TGrid::TransverseMercator, NKFVersion1_0_0_2, 0, "OGB-M", 51.5, -1.5, 0,
     0.9996012717, -2, 0},
    {"Transverse Mercator by parameters, three points, level 2", TGrid::TransverseMercator, NKFVersion1_0_0_2, 2, "",
     60.1, 25.4, -20, 1, 27, 2},
    {"Transverse Mercator by shift, UTM 31", TGrid::TransverseMercator, NKFVersion1_0_0_2, 1, "", 52.9, 4.2, 3,
     0.9996, 3, 0},
    {"RD grid, two points", TGrid::RD, NKFVersion1_0_0_2, 0, "", 52.4, 5.1, 0, 0, 0, 0},
    {"RD grid, three points, level 1", TGrid::RD, NKFVersion1_0_0_2, 0, "", 51.9, 4.4, 25, 0, 0, 1},
    {"RD grid 1.0.0.1", TGrid::RD, NKFVersion1_0_0_1, 0, "", 53.0, 6.2, 0, 0, 0, 0},
};

void PrintTo(const TChartCase &c, std::ostream *os) { *os << c.Name; }

const TGeodeticEllipsoid *CaseEllipsoid(const TChartCase &c) {
  if (c.Grid == TGrid::RD)
    return CoordinateSystemRD().Datum->Ellipsoid;
  if (c.DatumTypeCode == 1)
    return WGS84Datum()->Ellipsoid;
  if (c.DatumTypeCode == 2)
    return GeodeticEllipsoidCreateFromParameters(CustomInvF, CustomA);
  return GeodeticDatumCreate(c.DatumCode)->Ellipsoid;
}

TDoublePoint GridOf(const TChartCase &c, const TDoublePoint &Geographic) {
  switch (c.Grid) {
  case TGrid::Mercator: return MercatorForward(Geographic, CaseEllipsoid(c));
  case TGrid::TransverseMercator: return TransverseMercatorForward(Geographic, CaseEllipsoid(c), c.K0, c.Lon0 * Degree);
  default: return RDForward(Geographic);
  }
}

// A chart of 640 x 480 pixels of 20 grid metres, turned by Theta, around the
// case's centre; real tiles, tile t showing MakeChartLikeTile(t).
TNKFChartDescription CaseChart(const TChartCase &c) {
  TNKFChartDescription chart = NKFSampleChart(c.Version, Width, Height);
  // Every case has the same tiles: they are made and encoded once.
  static const TNKFChartDescription tiles = [] {
    TNKFChartDescription d = NKFSampleChart(NKFVersion1_0_0_2, Width, Height);
    NKFFillSampleTiles(d);
    return d;
  }();
  chart.Blobs = tiles.Blobs;
  chart.TileBlobs = tiles.TileBlobs;
  TNKFTagDescription &tag = chart.Tag;
  tag.Projection = c.Grid == TGrid::Mercator             ? TNKFWriterProjection::Mercator
                   : c.Grid == TGrid::TransverseMercator ? TNKFWriterProjection::TransverseMercator
                                                         : TNKFWriterProjection::RD;
  tag.K0 = c.K0;
  tag.Lon0 = c.Lon0 * Degree;
  tag.DatumTypeCode = c.DatumTypeCode;
  tag.DatumCode = c.DatumCode;
  tag.DatumOldName = "ED50, EUR-A";
  tag.DLat = 2e-6;
  tag.DLon = -3e-6;
  tag.DatumParameters = InternalParameters(RotatedShift, CustomA, CustomInvF);
  tag.Border = {{3, 5}, {Width, 0}, {Width - 10, Height}, {0, Height - 40}};

  const TDoublePoint centre = GridOf(c, {c.Lat * Degree, c.Lon * Degree});
  const double size = 20, turn = c.Theta * Degree;
  const auto grid = [&](double x, double y) {
    const double u = (x - Width / 2.0) * size, v = -(y - Height / 2.0) * size;
    return TDoublePoint{centre.X + std::cos(turn) * u - std::sin(turn) * v,
                        centre.Y + std::sin(turn) * u + std::cos(turn) * v};
  };
  const bool three = c.Theta != 0;
  const std::array<TDoublePoint, 3> pixels =
      three ? std::array<TDoublePoint, 3>{{{40, 30}, {600, 90}, {300, 450}}}
            : std::array<TDoublePoint, 3>{{{0, 0}, {Width, Height}, {0, 0}}};
  tag.PointCount = three ? 3 : 2;
  for (int i = 0; i < 3; ++i) {
    tag.PixelPoints[i] = pixels[i];
    tag.MapPoints[i] = grid(pixels[i].X, pixels[i].Y);
    // The older versions keep Mercator points as latitude and longitude.
    if (c.Grid == TGrid::Mercator && c.Version != NKFVersion1_0_0_2)
      tag.MapPoints[i] = MercatorInverse(tag.MapPoints[i], CaseEllipsoid(c));
  }
  return chart;
}

// ---------------------------------------------------------------------------
// GDAL as the reader

GDALDatasetUniquePtr OpenRaster(const std::string &FileName) {
  return GDALDatasetUniquePtr(GDALDataset::Open(FileName.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
}

// GDAL's pixel/line to WGS 84 longitude/latitude (degrees) and back, as
// gdalwarp and gdallocationinfo transform.
class TGdalToWGS84 {
public:
  explicit TGdalToWGS84(GDALDataset &Dataset) {
    char **options = CSLSetNameValue(nullptr, "DST_SRS", "EPSG:4326");
    FTransformer = GDALCreateGenImgProjTransformer2(&Dataset, nullptr, options);
    CSLDestroy(options);
  }
  ~TGdalToWGS84() {
    if (FTransformer)
      GDALDestroyGenImgProjTransformer(FTransformer);
  }
  TGdalToWGS84(const TGdalToWGS84 &) = delete;
  TGdalToWGS84 &operator=(const TGdalToWGS84 &) = delete;
  bool Valid() const { return FTransformer != nullptr; }

  // (x, y) in, (x, y) out; false when GDAL fails.
  bool Transform(bool Inverse, double &X, double &Y) const {
    double z = 0;
    int ok = 0;
    return GDALGenImgProjTransform(FTransformer, Inverse, 1, &X, &Y, &z, &ok) && ok;
  }

private:
  void *FTransformer = nullptr;
};

// RGBA of a region, from the dataset or from one of its overviews.
std::vector<uint8_t> ReadRGBA(GDALDataset &Dataset, int Overview, int X, int Y, int W, int H) {
  std::vector<uint8_t> rgba(static_cast<size_t>(W) * H * 4);
  for (int b = 0; b < 4; ++b) {
    GDALRasterBand *band = Dataset.GetRasterBand(b + 1);
    if (Overview >= 0)
      band = band->GetOverview(Overview);
    EXPECT_EQ(band->RasterIO(GF_Read, X, Y, W, H, rgba.data() + b, W, H, GDT_Byte, 4, static_cast<GSpacing>(W) * 4,
                             nullptr),
              CE_None);
  }
  return rgba;
}

// The pixels tile Tile was made from, cut to W x H, as RGBA.
std::vector<uint8_t> ExpectedTile(uint32_t Tile, int W, int H) {
  static std::map<uint32_t, std::vector<TColor32>> made;
  auto it = made.find(Tile);
  if (it == made.end())
    it = made.emplace(Tile, MakeChartLikeTile(Tile)).first;
  const std::vector<TColor32> &pixels = it->second;
  std::vector<uint8_t> rgba;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const TColor32 c = pixels[static_cast<size_t>(y) * NKFTileSize + x];
      rgba.insert(rgba.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c),
                               static_cast<uint8_t>(c >> 24)});
    }
  return rgba;
}

// Every tile of the level's first row and last column, the cut edge tiles
// among them, against the pixels they were made from.
void ExpectLevelTiles(GDALDataset &Dataset, int Overview, const TNKFLevel &Level, const std::string &What) {
  for (uint32_t ty = 0; ty < Level.TilesY; ++ty)
    for (uint32_t tx = 0; tx < Level.TilesX; ++tx) {
      if (ty != 0 && tx + 1 != Level.TilesX)
        continue;
      const int x = static_cast<int>(tx) * NKFTileSize, y = static_cast<int>(ty) * NKFTileSize;
      const int w = std::min<int>(NKFTileSize, static_cast<int>(Level.Width) - x);
      const int h = std::min<int>(NKFTileSize, static_cast<int>(Level.Height) - y);
      const uint32_t tile = NKFLevelTileNumber(Level, tx, ty);
      EXPECT_TRUE(ReadRGBA(Dataset, Overview, x, y, w, h) == ExpectedTile(tile, w, h))
          << What << ": tile " << tile << " at column " << tx << ", row " << ty;
    }
}

// ---------------------------------------------------------------------------

class NKFGeoTiffExportCase : public testing::TestWithParam<TChartCase> {};

// For a 12 x 10 grid of pixel centres over the exported level (the corner
// pixels included), GDAL's WGS 84 position of the pixel, placed back on the
// chart by TNKFChart::PositionToPixelExact, must name that pixel within half
// a pixel; the worst case is printed for the record.
TEST_P(NKFGeoTiffExportCase, GdalPlacesEveryPixelWhereTheChartDoes) {
  const TChartCase &c = GetParam();
  TTempDir dir;
  NKFWriteChartFile(dir.File("c.nkf2"), CaseChart(c));
  TNKFChart chart(dir.File("c.nkf2"));
  ASSERT_TRUE(chart.IsCalibrated()) << c.Name;
  NKFExportGeoTiff(chart, dir.File("c.tif"), TNKFExportOptions{c.Level, false});
  // Everything is in the GeoTIFF's own keys: no side file that a copy of the
  // image would leave behind.
  EXPECT_FALSE(Exists(dir.File("c.tif.aux.xml"))) << c.Name;

  GDALDatasetUniquePtr dataset = OpenRaster(dir.File("c.tif"));
  ASSERT_TRUE(dataset) << c.Name;
  const TNKFLevel &level = chart.Levels[c.Level];
  EXPECT_EQ(dataset->GetRasterXSize(), static_cast<int>(level.Width)) << c.Name;
  EXPECT_EQ(dataset->GetRasterYSize(), static_cast<int>(level.Height)) << c.Name;
  ASSERT_EQ(dataset->GetRasterCount(), 4) << c.Name;
  EXPECT_EQ(dataset->GetRasterBand(4)->GetColorInterpretation(), GCI_AlphaBand) << c.Name;
  ExpectLevelTiles(*dataset, -1, level, c.Name);

  const TGdalToWGS84 gdal(*dataset);
  ASSERT_TRUE(gdal.Valid()) << c.Name << ": " << CPLGetLastErrorMsg();
  const TGeodeticCoordinateSystem wgs84 = CoordinateSystemGeographic(WGS84Datum());
  const double factor = std::ldexp(1.0, c.Level);
  double worstPixels = 0, worstMetres = 0;
  int compared = 0;
  for (int i = 0; i < 12; ++i)
    for (int j = 0; j < 10; ++j) {
      // A level pixel's centre in GDAL's corner-based coordinates, and the
      // same point in the chart's full-resolution, centre-based pixels.
      const double col = (level.Width - 1) * i / 11.0 + 0.5, row = (level.Height - 1) * j / 9.0 + 0.5;
      const TDoublePoint expected{col * factor - 0.5, row * factor - 0.5};
      double lon = col, lat = row;
      ASSERT_TRUE(gdal.Transform(false, lon, lat)) << c.Name;
      const TDoublePoint ours = chart.PositionToPixelExact({lat * Degree, lon * Degree}, wgs84);
      const double pixels = std::hypot(ours.X - expected.X, ours.Y - expected.Y) / factor;
      const TDoublePoint where = chart.Calibration->PixelToWGS84(expected);
      const double metres = std::hypot((where.X - lat * Degree) * EarthRadius,
                                       (where.Y - lon * Degree) * EarthRadius * std::cos(where.X));
      worstPixels = std::max(worstPixels, pixels);
      worstMetres = std::max(worstMetres, metres);
      EXPECT_LT(pixels, 0.5) << c.Name << ": pixel " << col << ", " << row << " at " << lat << " N " << lon << " E";
      ++compared;
    }
  EXPECT_GE(compared, 100);
  std::printf("[ agreement] %-58s worst %.2e pixel, %.2e m\n", c.Name, worstPixels, worstMetres);
}

INSTANTIATE_TEST_SUITE_P(Charts, NKFGeoTiffExportCase, testing::ValuesIn(ChartCases));

// The affine map carries the rotation: a turned chart's geotransform has its
// cross terms, and GDAL's origin is the top left pixel's corner, half a pixel
// before the centre the calibration names.
TEST(NKFGeoTiffExport, GeotransformIsTheCalibrationsAffineMap) {
  const TChartCase &c = ChartCases[1];
  TTempDir dir;
  NKFWriteChartFile(dir.File("c.nkf2"), CaseChart(c));
  TNKFChart chart(dir.File("c.nkf2"));
  const TGeoTransform g = NKFChartGeoreference(chart).GeoTransform;
  const double turn = c.Theta * Degree;
  EXPECT_NEAR(g[1], 20 * std::cos(turn), 1e-6);
  EXPECT_NEAR(g[4], 20 * std::sin(turn), 1e-6);
  EXPECT_NEAR(g[2], 20 * std::sin(turn), 1e-6);
  EXPECT_NEAR(g[5], -20 * std::cos(turn), 1e-6);
  const TDoublePoint centre = chart.Calibration->PixelToProjected({0, 0});
  EXPECT_NEAR(g[0] + 0.5 * g[1] + 0.5 * g[2], centre.X, 1e-6);
  EXPECT_NEAR(g[3] + 0.5 * g[4] + 0.5 * g[5], centre.Y, 1e-6);
  const TGeoTransform level2 = NKFLevelGeoTransform(g, 2);
  EXPECT_EQ(level2[0], g[0]);
  EXPECT_EQ(level2[2], 4 * g[2]);
  EXPECT_EQ(level2[5], 4 * g[5]);
}

// The chart's own coarser levels become the overviews, pixel for pixel.
TEST(NKFGeoTiffExport, OverviewsAreTheChartsOwnLevels) {
  TTempDir dir;
  NKFWriteChartFile(dir.File("c.nkf2"), CaseChart(ChartCases[0]));
  TNKFChart chart(dir.File("c.nkf2"));
  for (int first : {0, 3}) {
    NKFExportGeoTiff(chart, dir.File("c.tif"), TNKFExportOptions{first, true});
    GDALDatasetUniquePtr dataset = OpenRaster(dir.File("c.tif"));
    ASSERT_TRUE(dataset);
    GDALRasterBand *band = dataset->GetRasterBand(1);
    ASSERT_EQ(band->GetOverviewCount(), NKFLevelCount - 1 - first);
    ExpectLevelTiles(*dataset, -1, chart.Levels[first], "level " + std::to_string(first));
    for (int k = 0; k < band->GetOverviewCount(); ++k) {
      const TNKFLevel &level = chart.Levels[first + 1 + k];
      EXPECT_EQ(band->GetOverview(k)->GetXSize(), static_cast<int>(level.Width));
      EXPECT_EQ(band->GetOverview(k)->GetYSize(), static_cast<int>(level.Height));
      ExpectLevelTiles(*dataset, k, level, "overview of level " + std::to_string(first + 1 + k));
    }
  }
}

// Clipped, a pixel keeps its colours and alpha where its centre lies inside
// the border and turns transparent outside, at full resolution and in the
// overviews (the border shrunk with the level). The border has a slanted
// edge, an inset corner and vertices off the overviews' grid, so that a
// clip by bounding box, one by pixel corners instead of centres or one
// with the full-resolution border in an overview shows wrong pixels.
TEST(NKFGeoTiffExport, ClipClearsWhatLiesBeyondTheBorder) {
  const std::vector<TNKFWriterBorderPoint> border{{10, 6}, {600, 30}, {602, 300}, {301, 301}, {303, 470}, {13, 463}};
  // Even-odd test of a point against the border scaled by Scale, by the
  // winding of the edges around it (no shared code with the clip).
  const auto inside = [&](double X, double Y, double Scale) {
    int winding = 0;
    for (size_t i = 0; i < border.size(); ++i) {
      const double ax = border[i].X * Scale, ay = border[i].Y * Scale;
      const double bx = border[(i + 1) % border.size()].X * Scale, by = border[(i + 1) % border.size()].Y * Scale;
      const double cross = (bx - ax) * (Y - ay) - (by - ay) * (X - ax);
      if (ay <= Y && by > Y && cross > 0)
        ++winding;
      else if (ay > Y && by <= Y && cross < 0)
        --winding;
    }
    return winding != 0;
  };
  TTempDir dir;
  TNKFChartDescription description = CaseChart(ChartCases[0]);
  description.Tag.Border = border;
  NKFWriteChartFile(dir.File("c.nkf2"), description);
  TNKFChart chart(dir.File("c.nkf2"));
  NKFExportGeoTiff(chart, dir.File("plain.tif"), TNKFExportOptions{0, true});
  NKFExportGeoTiff(chart, dir.File("clipped.tif"), TNKFExportOptions{0, true, true});
  GDALDatasetUniquePtr plain = OpenRaster(dir.File("plain.tif")), clipped = OpenRaster(dir.File("clipped.tif"));
  ASSERT_TRUE(plain && clipped);
  for (int overview : {-1, 1}) {
    const TNKFLevel &level = chart.Levels[overview + 1];
    const int w = static_cast<int>(level.Width), h = static_cast<int>(level.Height);
    const std::vector<uint8_t> before = ReadRGBA(*plain, overview, 0, 0, w, h);
    const std::vector<uint8_t> after = ReadRGBA(*clipped, overview, 0, 0, w, h);
    int kept = 0, cleared = 0, wrong = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const size_t i = (static_cast<size_t>(y) * w + x) * 4;
        const bool in = inside(x + 0.5, y + 0.5, std::ldexp(1.0, -(overview + 1)));
        const bool same = std::equal(&before[i], &before[i + 3], &after[i]);
        const bool right = same && after[i + 3] == (in ? before[i + 3] : 0);
        if (!right && ++wrong <= 5)
          ADD_FAILURE() << "overview " << overview << ", pixel " << x << ", " << y << (in ? " inside" : " outside");
        (in ? kept : cleared) += 1;
      }
    EXPECT_EQ(wrong, 0) << "overview " << overview;
    EXPECT_GT(kept, w * h / 2) << "overview " << overview;
    EXPECT_GT(cleared, w * h / 20) << "overview " << overview;
  }
}

// Our datum rows carry coordinate-frame rotations; GDAL's TOWGS84 is
// position vector. A datum with rotations of several arc seconds, shifted by
// GDAL from the spatial reference we write, must land where our engine puts
// it; with the signs as stored it lands metres away, so the check can tell.
TEST(NKFGeoTiffExport, TOWGS84RotationsAreWhatGdalApplies) {
  const TGeodeticEllipsoid *ellipsoid = GeodeticEllipsoidCreateFromParameters(CustomInvF, CustomA);
  const std::array<double, 9> p = InternalParameters(RotatedShift, CustomA, CustomInvF);
  const TGeodeticDatum *datum = GeodeticDatumCreateFromParameters(ellipsoid, p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
  TNKFGeoreference georeference;
  georeference.Datum = datum;
  OGRSpatialReference srs = NKFSpatialReference(georeference);
  OGRSpatialReference *geographic = srs.CloneGeogCS();
  geographic->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  OGRSpatialReference wgs84;
  wgs84.SetWellKnownGeogCS("WGS84");
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);

  const TNKFTOWGS84 t = NKFPositionVectorTOWGS84(*datum);
  OGRSpatialReference flipped(*geographic);
  flipped.SetTOWGS84(t.DX, t.DY, t.DZ, -t.RX, -t.RY, -t.RZ, t.PPM);
  flipped.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);

  const auto apart = [&](OGRSpatialReference &From, double Lat, double Lon) {
    std::unique_ptr<OGRCoordinateTransformation> transform(OGRCreateCoordinateTransformation(&From, &wgs84));
    EXPECT_TRUE(transform);
    double x = Lon, y = Lat;
    EXPECT_TRUE(transform->Transform(1, &x, &y));
    const TDoublePoint ours = ConvertPoint({Lat * Degree, Lon * Degree}, CoordinateSystemGeographic(datum),
                                           CoordinateSystemGeographic(WGS84Datum()));
    return std::hypot((ours.X - y * Degree) * EarthRadius, (ours.Y - x * Degree) * EarthRadius * std::cos(ours.X));
  };
  for (double lat : {-35.0, 10.0, 52.0, 70.0})
    for (double lon : {-120.0, 5.0, 140.0}) {
      // PROJ linearises the small rotations; that is all that separates us.
      EXPECT_LT(apart(*geographic, lat, lon), 0.01) << lat << " " << lon;
      EXPECT_GT(apart(flipped, lat, lon), 5.0) << lat << " " << lon;
    }
  delete geographic;

  // The published Dutch seven-parameter row (coordinate frame) comes out with
  // its rotations negated and everything else as published.
  const TNKFTOWGS84 rd = NKFPositionVectorTOWGS84(*GeodeticDatumCreate("RD"));
  const double want[] = {565.04, 49.91, 465.84, -0.4094, 0.3597, -1.8685, 4.0772};
  const double got[] = {rd.DX, rd.DY, rd.DZ, rd.RX, rd.RY, rd.RZ, rd.PPM};
  for (int i = 0; i < 7; ++i)
    EXPECT_NEAR(got[i], want[i], 1e-9) << i;
}

// The footprint is the border: each vertex of the GeoJSON polygon, taken
// back to pixels by GDAL through the exported file, is the border vertex.
TEST(NKFGeoTiffExport, FootprintRoundTripsThroughGdal) {
  for (const TChartCase &c : {ChartCases[1], ChartCases[8], ChartCases[11]}) {
    TTempDir dir;
    NKFWriteChartFile(dir.File("c.nkf2"), CaseChart(c));
    TNKFChart chart(dir.File("c.nkf2"));
    NKFExportGeoTiff(chart, dir.File("c.tif"), TNKFExportOptions{});
    NKFWriteFootprint(chart, dir.File("c.geojson"));
    GDALDatasetUniquePtr raster = OpenRaster(dir.File("c.tif"));
    GDALDatasetUniquePtr vector(GDALDataset::Open(dir.File("c.geojson").c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    ASSERT_TRUE(raster && vector) << c.Name;
    OGRLayer *layer = vector->GetLayer(0);
    ASSERT_EQ(layer->GetFeatureCount(), 1) << c.Name;
    std::unique_ptr<OGRFeature> feature(layer->GetNextFeature());
    EXPECT_STREQ(feature->GetFieldAsString("chart"), "c.nkf2");
    const OGRGeometry *geometry = feature->GetGeometryRef();
    ASSERT_EQ(wkbFlatten(geometry->getGeometryType()), wkbPolygon) << c.Name;
    const OGRLinearRing *ring = geometry->toPolygon()->getExteriorRing();
    ASSERT_EQ(ring->getNumPoints(), chart.Border.Count() + 1) << c.Name;
    const TGdalToWGS84 gdal(*raster);
    for (int i = 0; i < chart.Border.Count(); ++i) {
      double x = ring->getX(i), y = ring->getY(i);
      ASSERT_TRUE(gdal.Transform(true, x, y));
      EXPECT_NEAR(x, chart.Border.GetPoint(i).X, 1e-3) << c.Name << " vertex " << i;
      EXPECT_NEAR(y, chart.Border.GetPoint(i).Y, 1e-3) << c.Name << " vertex " << i;
    }
  }
}

// Charts that cannot be placed, or whose tiles do not decode, are refused
// with the reason, and no half-written file is left behind.
TEST(NKFGeoTiffExport, RefusesWhatCannotBeExported) {
  struct TRefusal {
    const char *Name;
    void (*Spoil)(TNKFChartDescription &);
    const char *Message;
  } const refusals[] = {
      {"pixels in one column", [](TNKFChartDescription &d) { d.Tag.PixelPoints[1].X = d.Tag.PixelPoints[0].X; },
       " is not calibrated: two of its reference points share a pixel row or column"},
      {"points too close", [](TNKFChartDescription &d) { d.Tag.PixelPoints[1] = {5, 4}; },
       " is not calibrated: its reference points lie too close together"},
      // The geodetic tables refuse a sphere (1/f = 0) themselves; a
      // flattening beyond 1 passes them but is no ellipsoid.
      {"flattening 2", [](TNKFChartDescription &d) {
         d.Tag.DatumTypeCode = 2;
         d.Tag.DatumParameters = InternalParameters(RotatedShift, 6371000, 0.5);
       },
       " has an ellipsoid that cannot be expressed (a = 6371000, 1/f = 0.5)"},
      {"zero scale", [](TNKFChartDescription &d) {
         d.Tag.Projection = TNKFWriterProjection::TransverseMercator;
         d.Tag.K0 = 0;
       },
       " has a transverse Mercator grid that cannot be expressed (scale 0, central meridian 0 rad)"},
  };
  for (const TRefusal &r : refusals) {
    TTempDir dir;
    TNKFChartDescription description = CaseChart(ChartCases[0]);
    r.Spoil(description);
    NKFWriteChartFile(dir.File("c.nkf2"), description);
    TNKFChart chart(dir.File("c.nkf2"));
    try {
      NKFExportGeoTiff(chart, dir.File("c.tif"), TNKFExportOptions{});
      ADD_FAILURE() << r.Name << ": exported";
    } catch (const ENKFExportError &e) {
      EXPECT_EQ(e.Message(), "NKFChartGeoreference: " + dir.File("c.nkf2") + r.Message) << r.Name;
    }
    EXPECT_THROW(NKFWriteFootprint(chart, dir.File("c.geojson")), ENKFExportError) << r.Name;
    EXPECT_FALSE(Exists(dir.File("c.tif"))) << r.Name;
    EXPECT_FALSE(Exists(dir.File("c.geojson"))) << r.Name;
  }

  {
    // The first version stores level records as they come: one tile column
    // more than the level's pixels need must not be written past the image.
    TTempDir dir;
    TNKFChartDescription description = NKFSampleChart(NKFVersion1_0_0_0, Width, Height);
    description.Levels[1].TilesX += 1;
    for (int extra = 0; extra < static_cast<int>(description.Levels[1].TilesY); ++extra)
      description.TileBlobs.push_back(0);
    NKFFillSampleTiles(description);
    NKFWriteChartFile(dir.File("c.nkf2"), description);
    TNKFChart chart(dir.File("c.nkf2"));
    NKFExportGeoTiff(chart, dir.File("c.tif"), TNKFExportOptions{0, false});
    try {
      NKFExportGeoTiff(chart, dir.File("c.tif"), TNKFExportOptions{0, true});
      ADD_FAILURE() << "level records that do not fit: exported";
    } catch (const ENKFExportError &e) {
      EXPECT_EQ(e.Message(), "NKFExportGeoTiff: " + dir.File("c.nkf2") +
                                 " cannot be written as an image: Level 1 (320 x 240 pixels in 3 x 1 tiles) is not "
                                 "covered exactly by its tiles");
    }
  }

  // Placeholder bytes instead of tiles: the export stops at the first tile
  // and removes what it had begun; an earlier output of that name stays as
  // it was, byte for byte.
  TTempDir dir;
  TNKFChartDescription description = NKFSampleChart(NKFVersion1_0_0_2, Width, Height);
  NKFWriteChartFile(dir.File("c.nkf2"), description);
  TNKFChart chart(dir.File("c.nkf2"));
  // Nor may an output name the chart, which it would overwrite.
  const std::string before = ReadFileBytes(dir.File("c.nkf2"));
  const std::string same =
      dir.Path() + "../" + std::filesystem::path(dir.Path()).parent_path().filename().string() + "/c.nkf2";
  EXPECT_THROW(NKFExportGeoTiff(chart, same, TNKFExportOptions{}), ENKFExportError);
  EXPECT_THROW(NKFWriteFootprint(chart, dir.File("c.nkf2")), ENKFExportError);
  EXPECT_EQ(ReadFileBytes(dir.File("c.nkf2")), before);
  try {
    NKFExportGeoTiff(chart, dir.File("c.tif"), TNKFExportOptions{});
    ADD_FAILURE() << "exported placeholder tiles";
  } catch (const ENKFExportError &e) {
    EXPECT_EQ(e.Message().rfind("NKFExportGeoTiff: Tile 0 (level 0, column 0, row 0) does not decode: ", 0), 0u)
        << e.Message();
  }
  EXPECT_FALSE(Exists(dir.File("c.tif")));
  NKFWriteChartFile(dir.File("good.nkf2"), CaseChart(ChartCases[0]));
  NKFExportGeoTiff(TNKFChart(dir.File("good.nkf2")), dir.File("c.tif"), TNKFExportOptions{2, false});
  const std::string good = ReadFileBytes(dir.File("c.tif"));
  EXPECT_THROW(NKFExportGeoTiff(chart, dir.File("c.tif"), TNKFExportOptions{}), ENKFExportError);
  EXPECT_EQ(ReadFileBytes(dir.File("c.tif")), good);
  EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"c.nkf2", "c.tif", "good.nkf2"}));
}

// ---------------------------------------------------------------------------
// The program as a user runs it

TEST(NKF2ExportProgram, WritesTheFilesAndReportsErrorsWithStatusOne) {
  TTempDir dir;
  NKFWriteChartFile(dir.File("c.nkf2"), CaseChart(ChartCases[2]));
  const TRun ok = RunExport(dir, Quoted(dir.File("c.nkf2")) + " " + Quoted(dir.File("c.tif")) +
                                     " --level 1 --overviews --footprint " + Quoted(dir.File("c.geojson")));
  EXPECT_EQ(ok.Status, 0) << ok.Errors;
  EXPECT_EQ(ok.Errors, ""); // no bar when standard error is not a terminal
  GDALDatasetUniquePtr dataset = OpenRaster(dir.File("c.tif"));
  ASSERT_TRUE(dataset);
  EXPECT_EQ(dataset->GetRasterXSize(), Width / 2);
  EXPECT_EQ(dataset->GetRasterBand(1)->GetOverviewCount(), 3);
  EXPECT_TRUE(Exists(dir.File("c.geojson")));

  // On a terminal (script(1) gives it one) the bar is drawn in place on
  // standard error and ends full.
  const std::string terminal = OnTerminal(dir, Quoted(dir.File("c.nkf2")) + " " + Quoted(dir.File("bar.tif")));
  EXPECT_EQ(terminal.rfind("\rnkf2export [", 0), 0u) << terminal;
  EXPECT_NE(terminal.find("] 100%\r\n"), std::string::npos) << terminal;

  const TRun missing = RunExport(dir, Quoted(dir.File("missing.nkf2")) + " " + Quoted(dir.File("m.tif")));
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Errors, "EStreamError: Cannot open file " + dir.File("missing.nkf2") + "\n");

  TNKFChartDescription refused = CaseChart(ChartCases[0]);
  refused.Tag.PixelPoints[1].Y = refused.Tag.PixelPoints[0].Y;
  NKFWriteChartFile(dir.File("u.nkf2"), refused);
  const TRun uncalibrated = RunExport(dir, Quoted(dir.File("u.nkf2")) + " " + Quoted(dir.File("u.tif")));
  EXPECT_EQ(uncalibrated.Status, 1);
  EXPECT_EQ(uncalibrated.Errors, "ENKFExportError: NKFChartGeoreference: " + dir.File("u.nkf2") +
                                     " is not calibrated: two of its reference points share a pixel row or column\n");
  EXPECT_FALSE(Exists(dir.File("u.tif")));

  WriteFileBytes(dir.File("text.nkf2"), "not a chart at all");
  const TRun text = RunExport(dir, Quoted(dir.File("text.nkf2")) + " " + Quoted(dir.File("t.tif")));
  EXPECT_EQ(text.Status, 1);
  EXPECT_EQ(text.Errors, "ENKFExportError: nkf2export: " + dir.File("text.nkf2") + " is not a chart file\n");

  // A footprint named as the GeoTIFF, in any spelling, would replace it.
  const std::string tif = ReadFileBytes(dir.File("c.tif"));
  std::filesystem::create_directory(dir.File("sub"));
  for (const std::string &same : {dir.File("c.tif"), dir.File("sub/../c.tif"), dir.File("./c.tif")}) {
    const TRun refused = RunExport(dir, Quoted(dir.File("c.nkf2")) + " " + Quoted(dir.File("c.tif")) +
                                            " --level 1 --footprint " + Quoted(same));
    EXPECT_EQ(refused.Status, 1) << same;
    EXPECT_EQ(refused.Errors, "ENKFExportError: nkf2export: The footprint " + same + " would replace the GeoTIFF " +
                                  dir.File("c.tif") + "\n");
    EXPECT_EQ(ReadFileBytes(dir.File("c.tif")), tif) << same;
  }

  for (const std::string &wrong : {std::string("only-one-argument"), Quoted(dir.File("c.nkf2")) + " x.tif --level 5",
                                   Quoted(dir.File("c.nkf2")) + " x.tif --level", Quoted(dir.File("c.nkf2")) + " x.tif -v"}) {
    const TRun usage = RunExport(dir, wrong);
    EXPECT_EQ(usage.Status, 2) << wrong;
    EXPECT_EQ(usage.Errors.rfind("usage: nkf2export CHART.nkf2 OUT.tif", 0), 0u) << wrong;
  }
}

// Runs the program on Arguments in the background and sends it SIGINT once
// its temporary file (".STEM.partial-*") in Folder holds data; the wait
// status, or -1 when the export ended before it could be stopped.
int InterruptedExport(const std::string &Folder, const std::string &Stem, const std::vector<std::string> &Arguments) {
  std::vector<char *> argv = {const_cast<char *>(NKF2EXPORT)};
  for (const std::string &a : Arguments)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawn(&child, NKF2EXPORT, nullptr, nullptr, argv.data(), environ) != 0)
    return -1;
  const auto writing = [&] {
    for (const auto &entry : std::filesystem::directory_iterator(Folder)) {
      std::error_code error;
      if (entry.path().filename().string().rfind("." + Stem + ".partial-", 0) == 0 && entry.file_size(error) > 0)
        return true;
    }
    return false;
  };
  int status = 0;
  for (int wait = 0; wait < 60000 && !writing(); wait += 5) {
    if (waitpid(child, &status, WNOHANG) == child)
      return -1;
    usleep(5000);
  }
  kill(child, SIGINT);
  waitpid(child, &status, 0);
  return status;
}

// Stopped by Ctrl+C while it writes, the program leaves no file under the
// output's name, no temporary file, and an earlier output as it was.
TEST(NKF2ExportProgram, InterruptedExportLeavesNothingBehind) {
  TTempDir dir;
  // 16 x 16 real tiles: long enough to be stopped halfway.
  TNKFChartDescription description = NKFSampleChart(NKFVersion1_0_0_2, 4096, 4096);
  NKFFillSampleTiles(description);
  NKFWriteChartFile(dir.File("c.nkf2"), description);
  const std::vector<std::string> arguments = {dir.File("c.nkf2"), dir.File("c.tif"), "--overviews"};

  const int first = InterruptedExport(dir.Path(), "c", arguments);
  ASSERT_NE(first, -1) << "the export ended before it could be stopped";
  EXPECT_TRUE(WIFSIGNALED(first) && WTERMSIG(first) == SIGINT) << first;
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"c.nkf2"});

  const TRun earlier = RunExport(dir, Quoted(dir.File("c.nkf2")) + " " + Quoted(dir.File("c.tif")) + " --level 4");
  ASSERT_EQ(earlier.Status, 0) << earlier.Errors;
  const std::string before = ReadFileBytes(dir.File("c.tif"));
  const int second = InterruptedExport(dir.Path(), "c", arguments);
  ASSERT_NE(second, -1) << "the export ended before it could be stopped";
  EXPECT_TRUE(WIFSIGNALED(second) && WTERMSIG(second) == SIGINT) << second;
  EXPECT_EQ(ReadFileBytes(dir.File("c.tif")), before);
  EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"c.nkf2", "c.tif", "stderr.txt"}));
}

} // namespace
