// The cursor readout: rounding that prints 60.000 minutes, a lost or wrong
// hemisphere, "S" for zero, a longitude beyond 180 degrees (a grid's inverse
// near the antimeridian), a number printed for no position, and positions on
// the wrong datum or grid. The
// positions are checked against the published coordinates of the RD grid's
// origin and against PROJ, an independent implementation.
#include "PositionReadout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <numbers>
#include <string>

#include "NKFChartWriter.h"
#include "ProjTransform.h"
#include "TempDir.h"
#include "VmNKFCharts.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;

struct TFormatCase {
  double Degrees;
  const char *Latitude;
  const char *Longitude;
};

const TFormatCase FormatCases[] = {
    {52.3687167, "52\xB0 22.123' N", "52\xB0 22.123' E"},
    {-4.8909333, "4\xB0 53.456' S", "4\xB0 53.456' W"},
    {12.999999, "13\xB0 00.000' N", "13\xB0 00.000' E"},   // 59.99994' carries into the degrees
    {-12.99999, "12\xB0 59.999' S", "12\xB0 59.999' W"},   // 59.9994' does not
    {0.0, "0\xB0 00.000' N", "0\xB0 00.000' E"},
    {-0.0, "0\xB0 00.000' N", "0\xB0 00.000' E"},
    {-0.000001, "0\xB0 00.000' N", "0\xB0 00.000' E"},      // rounds to zero: no "S"
    {-0.5, "0\xB0 30.000' S", "0\xB0 30.000' W"},
    {5.0875, "5\xB0 05.250' N", "5\xB0 05.250' E"},        // minutes keep two digits
    {89.9999999, "90\xB0 00.000' N", "90\xB0 00.000' E"},
    {-90.0, "90\xB0 00.000' S", "90\xB0 00.000' W"},
    // Beyond a pole there is no latitude; a longitude comes back to
    // (-180, 180], with 180 itself east, also when rounding reaches it.
    {90.0000001, "-", "90\xB0 00.000' E"},
    {179.9999999, "-", "180\xB0 00.000' E"},
    {-179.9999999, "-", "180\xB0 00.000' E"},
    {180.0, "-", "180\xB0 00.000' E"},
    {-180.0, "-", "180\xB0 00.000' E"},
    {180.25, "-", "179\xB0 45.000' W"},
    {-180.25, "-", "179\xB0 45.000' E"},
    {359.5, "-", "0\xB0 30.000' W"},
    {540.0, "-", "180\xB0 00.000' E"},
    {-719.75, "-", "0\xB0 15.000' E"},
    {1e300, "-", "-"}, // whatever the remainder: no longitude is known to a thousandth of a minute there
    {std::numeric_limits<double>::infinity(), "-", "-"},
    {-std::numeric_limits<double>::infinity(), "-", "-"},
    {std::numeric_limits<double>::quiet_NaN(), "-", "-"},
};

TEST(PositionReadoutTest, DegreesAndDecimalMinutes) {
  for (size_t i = 0; i < std::size(FormatCases); ++i) {
    EXPECT_EQ(FormatLatitude(FormatCases[i].Degrees), FormatCases[i].Latitude) << "case " << i;
    EXPECT_EQ(FormatLongitude(FormatCases[i].Degrees), FormatCases[i].Longitude) << "case " << i;
  }
}

TEST(PositionReadoutTest, GridMetresGroupedByThousands) {
  EXPECT_EQ(FormatGrid(CoordinateSystemRD(), {121687.4, 487484.6}), "RD x 121 687 m y 487 485 m");
  EXPECT_EQ(FormatGrid(CoordinateSystemTransverseMercator(WGS84Datum(), 0.9996, 0), {-1234.5, 999.4}),
            "TM E -1 235 m N 999 m");
  EXPECT_EQ(FormatGrid(CoordinateSystemMercator(WGS84Datum()), {0, 6987654}), "Mercator E 0 m N 6 987 654 m");
}

// "<lat>  <lon>  <name>" back to degrees.
struct TParsed {
  double Lat, Lon;
  std::string Name;
};

TParsed Parse(const std::string &Text) {
  int latD = 0, lonD = 0, used = 0;
  double latM = 0, lonM = 0;
  char ns = 0, ew = 0;
  const int n = std::sscanf(Text.c_str(), "%d\xB0 %lf' %c  %d\xB0 %lf' %c  %n", &latD, &latM, &ns, &lonD, &lonM, &ew, &used);
  EXPECT_EQ(n, 6) << Text;
  TParsed p{(latD + latM / 60) * (ns == 'S' ? -1 : 1), (lonD + lonM / 60) * (ew == 'W' ? -1 : 1), Text.substr(static_cast<size_t>(used))};
  return p;
}

// Grid (east, north) to (latitude, longitude) in degrees through PROJ.
TParsed Geographic(const TProjTransform &Proj, double East, double North) {
  const TDoublePoint p = Proj(East, North);
  return {p.Y, p.X, ""};
}

struct TChartCase {
  const char *Name;
  TNKFWriterProjection Projection;
  const char *DatumCode;
  double Lon0; // degrees, transverse Mercator
  TDoublePoint Grid1, Grid2; // at pixels (0, 0) and (1000, 700)
  const char *DatumCrs;      // PROJ: the grid on its datum
  const char *DatumGeographic;
  const char *DatumName;     // in the readout
  const char *GridText;      // at pixel (0, 0)
};

// Grid positions 40 m per pixel apart; PROJ reads them on the chart's own
// datum (to check the projection) and into WGS 84 (to check the datum shift).
const TChartCase ChartCases[] = {
    {"TM on ED 50", TNKFWriterProjection::TransverseMercator, "EUR-A", 5, {-20000, 5880000}, {20000, 5852000},
     "+proj=tmerc +lat_0=0 +lon_0=5 +k=0.9999 +x_0=0 +y_0=0 +ellps=intl +towgs84=-87,-96,-120,0,0,0,0 +type=crs",
     "+proj=longlat +ellps=intl +towgs84=-87,-96,-120,0,0,0,0 +type=crs", "ED50, EUR-A",
     "TM E -20 000 m N 5 880 000 m"},
    {"RD", TNKFWriterProjection::RD, "", 0, {155000, 463000}, {195000, 435000},
     "+proj=sterea +lat_0=52.15616055555555 +lon_0=5.38763888888889 +k=0.9999079 +x_0=155000 +y_0=463000 "
     "+ellps=bessel +towgs84=593.16,26.15,478.54,0,0,0,0 +type=crs",
     "+proj=longlat +ellps=bessel +towgs84=593.16,26.15,478.54,0,0,0,0 +type=crs", "BESSEL (NL.RD)",
     "RD x 155 000 m y 463 000 m"},
    // Across the antimeridian (central meridian 180): east of it the grid's
    // inverse gives more than 180 degrees on ED 50, while the WGS 84 line
    // comes through geocentric coordinates; both must read west there.
    {"TM on ED 50 across the antimeridian", TNKFWriterProjection::TransverseMercator, "EUR-A", 180,
     {-25000, 6650000}, {15000, 6622000},
     "+proj=tmerc +lat_0=0 +lon_0=180 +k=0.9999 +x_0=0 +y_0=0 +ellps=intl +towgs84=-87,-96,-120,0,0,0,0 +type=crs",
     "+proj=longlat +ellps=intl +towgs84=-87,-96,-120,0,0,0,0 +type=crs", "ED50, EUR-A",
     "TM E -25 000 m N 6 650 000 m"},
    // The datum's shorter name where it has two.
    {"Mercator on WGS 84", TNKFWriterProjection::Mercator, "WGE", 0, {500000, 6900000}, {540000, 6872000},
     "+proj=merc +datum=WGS84 +type=crs", "+proj=longlat +datum=WGS84 +type=crs", "WGS 1984",
     "Mercator E 500 000 m N 6 900 000 m"},
};

// Half a thousandth of a minute of rounding, and as much again for the
// implementations (under a metre: the RD grid's polynomial against PROJ's
// double stereographic).
constexpr double ReadoutTolerance = 0.001 / 60;

TEST(PositionReadoutTest, PositionsAgreeWithProjOnTheChartsDatumAndInWGS84) {
  const TTempDir dir;
  for (size_t i = 0; i < std::size(ChartCases); ++i) {
    const TChartCase &c = ChartCases[i];
    TNKFChartDescription d = NKFSampleChart(NKFVersion1_0_0_2, 1000, 700);
    d.Tag.Projection = c.Projection;
    d.Tag.DatumCode = c.DatumCode;
    d.Tag.DatumTypeCode = 0;
    d.Tag.K0 = 0.9999;
    d.Tag.Lon0 = c.Lon0 * Degree;
    d.Tag.MapPoints[0] = c.Grid1;
    d.Tag.MapPoints[1] = c.Grid2;
    const std::string file = dir.File("chart" + std::to_string(i) + ".nkf2");
    NKFWriteChartFile(file, d);
    TNKFChart chart(file);
    ASSERT_TRUE(chart.IsCalibrated()) << c.Name;

    const TProjTransform onDatum(c.DatumCrs, c.DatumGeographic), toWGS84(c.DatumCrs, "+proj=longlat +datum=WGS84 +type=crs");
    // The calibration pixels and the middle, whose grid position the
    // two-point calibration makes the middle of the two.
    const TDoublePoint pixels[] = {{0, 0}, {1000, 700}, {500, 350}};
    for (const TDoublePoint &px : pixels) {
      const double t = px.X / 1000;
      const double east = c.Grid1.X + t * (c.Grid2.X - c.Grid1.X), north = c.Grid1.Y + t * (c.Grid2.Y - c.Grid1.Y);
      const TPositionReadout r = ReadPosition(chart, px);
      ASSERT_TRUE(r.Valid) << c.Name;
      const TParsed datum = Parse(r.Datum), wgs = Parse(r.WGS84);
      const TParsed datumRef = Geographic(onDatum, east, north), wgsRef = Geographic(toWGS84, east, north);
      EXPECT_NEAR(datum.Lat, datumRef.Lat, ReadoutTolerance) << c.Name << " at " << px.X;
      EXPECT_NEAR(datum.Lon, datumRef.Lon, ReadoutTolerance) << c.Name << " at " << px.X;
      EXPECT_NEAR(wgs.Lat, wgsRef.Lat, ReadoutTolerance) << c.Name << " at " << px.X;
      EXPECT_NEAR(wgs.Lon, wgsRef.Lon, ReadoutTolerance) << c.Name << " at " << px.X;
      EXPECT_EQ(datum.Name, c.DatumName);
      EXPECT_EQ(wgs.Name, "WGS 84");
    }
    EXPECT_EQ(ReadPosition(chart, {0, 0}).Grid, c.GridText);
  }
}

TEST(PositionReadoutTest, RDOriginReadsAsItsPublishedBesselPosition) {
  // Amersfoort, the RD grid's origin (x 155 000, y 463 000): 52 09' 22.178" N
  // 5 23' 15.500" E on Bessel 1841, as the grid's definition publishes it.
  const TTempDir dir;
  TNKFChartDescription d = NKFSampleChart(NKFVersion1_0_0_2, 1000, 700);
  d.Tag.Projection = TNKFWriterProjection::RD;
  d.Tag.MapPoints[0] = {155000, 463000};
  d.Tag.MapPoints[1] = {195000, 435000};
  NKFWriteChartFile(dir.File("rd.nkf2"), d);
  TNKFChart chart(dir.File("rd.nkf2"));
  EXPECT_EQ(ReadPosition(chart, {0, 0}).Datum, "52\xB0 09.370' N  5\xB0 23.258' E  BESSEL (NL.RD)");
}

TEST(PositionReadoutTest, NoNumbersForAPixelThatIsNotANumber) {
  const TTempDir dir;
  NKFWriteChartFile(dir.File("c.nkf2"), NKFSampleChart(NKFVersion1_0_0_2, 1000, 700));
  TNKFChart chart(dir.File("c.nkf2"));
  const TPositionReadout r = ReadPosition(chart, {std::nan(""), 3});
  EXPECT_FALSE(r.Valid);
  EXPECT_TRUE(r.WGS84.empty());
  EXPECT_TRUE(r.Grid.empty());
}

TEST(PositionReadoutTest, UncalibratedChartSaysSo) {
  const TTempDir dir;
  WriteFileBytes(dir.File("empty.nkf2"), "not a chart at all");
  TNKFChart chart(dir.File("empty.nkf2")); // no magic: opens empty, without calibration
  const TPositionReadout r = ReadPosition(chart, {10, 10});
  EXPECT_FALSE(r.Valid);
  EXPECT_NE(r.Datum.find("not calibrated"), std::string::npos) << r.Datum;
  EXPECT_TRUE(r.WGS84.empty());
  EXPECT_TRUE(r.Grid.empty());
}

} // namespace
