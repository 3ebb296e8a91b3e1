// Geocentric conversion, datum changes and the conversion engine.
#include "VmGeodetics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <cstring>
#include <vector>

namespace {

constexpr double Degree = std::numbers::pi / 180;
constexpr double EarthRadius = 6378137;  // to express angular differences as metres on the ground

const TGeodeticEllipsoid *WGS84() { return GeodeticEllipsoidCreate("WE"); }

template <typename Error, typename Call>
std::string ErrorOf(Call &&call) {
  try {
    call();
  } catch (const Error &e) {
    return e.Message();
  }
  return "<no error>";
}

// --- Geocentric coordinates ----------------------------------------------------------------

// EPSG Guidance Note 7-2, section 2.2.1 worked example on WGS 84; the
// geocentric values to 0.1 mm by an independent 30-digit computation (the note
// prints them to the millimetre: 3771793.968, 140253.342, 5124304.349).
const TDoublePoint3 GuidanceNoteGeographic{(53 + 48 / 60.0 + 33.82 / 3600) * Degree,
                                           (2 + 7 / 60.0 + 46.38 / 3600) * Degree, 73.0};
const TDoublePoint3 GuidanceNoteGeocentric{3771793.96764, -140253.34190, 5124304.34935};  // internal frame: Y west

TEST(Geocentric, GuidanceNoteExampleForward) {
  const TDoublePoint3 P = GeodeticToGeocentricH(GuidanceNoteGeographic, WGS84());
  EXPECT_NEAR(P.X, GuidanceNoteGeocentric.X, 1e-4);
  EXPECT_NEAR(P.Y, GuidanceNoteGeocentric.Y, 1e-4);
  EXPECT_NEAR(P.Z, GuidanceNoteGeocentric.Z, 1e-4);
  // The height-less form puts the point on the ellipsoid.
  const TDoublePoint3 Surface = GeodeticToGeocentric(GuidanceNoteGeographic, WGS84());
  const TDoublePoint3 Expected = GeodeticToGeocentricH({GuidanceNoteGeographic.X, GuidanceNoteGeographic.Y, 0}, WGS84());
  EXPECT_EQ(Surface.X, Expected.X);
  EXPECT_EQ(Surface.Y, Expected.Y);
  EXPECT_EQ(Surface.Z, Expected.Z);
}

TEST(Geocentric, GuidanceNoteExampleBack) {
  // Bowring's single step is exact to far below a millimetre near the surface.
  const TDoublePoint3 G = GeocentricToGeodetic(GuidanceNoteGeocentric, WGS84());
  EXPECT_NEAR(G.X, GuidanceNoteGeographic.X, 1e-4 / EarthRadius);
  EXPECT_NEAR(G.Y, GuidanceNoteGeographic.Y, 1e-4 / EarthRadius);
  EXPECT_NEAR(G.Z, 73.0, 1e-4);
}

TEST(Geocentric, PolesGoThroughThePolarAxisBranch) {
  for (double Sign : {1.0, -1.0})
    for (double Height : {0.0, 1000.0}) {
      const TDoublePoint3 P = GeodeticToGeocentricH({Sign * std::numbers::pi / 2, 0.3, Height}, WGS84());
      EXPECT_NEAR(P.X, 0, 1e-6);
      EXPECT_NEAR(P.Y, 0, 1e-6);
      const TDoublePoint3 G = GeocentricToGeodetic(P, WGS84());
      EXPECT_EQ(G.X, Sign * std::numbers::pi / 2);
      EXPECT_EQ(G.Y, 0);
      EXPECT_NEAR(G.Z, Height, 1e-6);
    }
  const TDoublePoint3 OnAxis = GeocentricToGeodetic({0, 0, -6400000}, WGS84());
  EXPECT_EQ(OnAxis.X, -std::numbers::pi / 2);
  EXPECT_EQ(OnAxis.Z, 6400000 - WGS84()->B);
}

TEST(Geocentric, LongitudeCoversEveryQuadrant) {
  for (double Lon : {0.0, 45.0, 135.0, 180.0, -179.0, -90.5, -45.0}) {
    const TDoublePoint3 G =
        GeocentricToGeodetic(GeodeticToGeocentric(TDoublePoint{30 * Degree, Lon * Degree}, WGS84()), WGS84());
    EXPECT_NEAR(G.Y, Lon * Degree, 1e-14) << Lon;
    EXPECT_NEAR(G.X, 30 * Degree, 1e-14) << Lon;
  }
  // On the X = 0 plane: internal Y is west, so negative Y lies at 90 degrees east.
  EXPECT_EQ(GeocentricToGeodetic({0, -4000000, 4000000}, WGS84()).Y, std::numbers::pi / 2);
  EXPECT_EQ(GeocentricToGeodetic({0, 4000000, 4000000}, WGS84()).Y, -std::numbers::pi / 2);
}

// --- Datum changes ----------------------------------------------------------------------------

TEST(DatumChange, ThreeParameterShiftMovesGeocentricPositionByThePublishedVector) {
  const TGeodeticDatum *EUR = GeodeticDatumCreate("EUR-A");
  const TDoublePoint3 In{48.5 * Degree, 9.25 * Degree, 300};
  TDoublePoint3 Out;
  DatumChangeGeodetic(Out, WGS84Datum(), In, EUR);
  const TDoublePoint3 From = GeodeticToGeocentricH(In, EUR->Ellipsoid);
  const TDoublePoint3 To = GeodeticToGeocentricH(Out, WGS84());
  // NIMA TR8350.2: EUR-A to WGS 84 is dX = -87, dY = -96, dZ = -120 m (Y east).
  EXPECT_NEAR(To.X - From.X, -87, 1e-4);
  EXPECT_NEAR(-(To.Y - From.Y), -96, 1e-4);
  EXPECT_NEAR(To.Z - From.Z, -120, 1e-4);
}

TEST(DatumChange, RoundTripsReturnTheInput) {
  const char *const Codes[] = {"EUR-A", "RD", "RD-OLD", "OGB-M", "NAR-C"};
  for (const char *Code : Codes) {
    const TGeodeticDatum *Datum = GeodeticDatumCreate(Code);
    for (double Lat : {-60.0, 0.0, 51.5, 53.0, 80.0}) {
      const TDoublePoint3 In{Lat * Degree, 5.5 * Degree, 120};
      TDoublePoint3 Wgs, Back;
      DatumChangeGeodetic(Wgs, WGS84Datum(), In, Datum);
      DatumChangeGeodetic(Back, Datum, Wgs, WGS84Datum());
      EXPECT_NEAR(Back.X, In.X, 1e-5 / EarthRadius) << Code << " " << Lat;
      EXPECT_NEAR(Back.Y, In.Y, 1e-5 / EarthRadius) << Code << " " << Lat;
      EXPECT_NEAR(Back.Z, In.Z, 1e-5) << Code << " " << Lat;
    }
  }
}

TEST(DatumChange, BetweenWGS84DatumsCopies) {
  const TDoublePoint3 In{0.9, 0.1, 42.5};
  TDoublePoint3 Out;
  DatumChangeGeodetic(Out, GeodeticDatumCreate("KGS"), In, WGS84Datum());
  EXPECT_EQ(std::memcmp(&Out, &In, sizeof(In)), 0);
  DatumChangeGeodetic2D(Out, GeodeticDatumCreate("KGS"), In, WGS84Datum());
  EXPECT_EQ(Out.X, In.X);
  EXPECT_EQ(Out.Y, In.Y);
  EXPECT_EQ(Out.Z, 0);
}

TEST(DatumChange, TwoDimensionalFormIgnoresAndDropsHeights) {
  const TGeodeticDatum *RD = GeodeticDatumCreate("RD");
  TDoublePoint3 Low, High;
  DatumChangeGeodetic2D(Low, WGS84Datum(), {52 * Degree, 5 * Degree, 0}, RD);
  DatumChangeGeodetic2D(High, WGS84Datum(), {52 * Degree, 5 * Degree, 900}, RD);
  EXPECT_EQ(Low.X, High.X);
  EXPECT_EQ(Low.Y, High.Y);
  EXPECT_EQ(Low.Z, 0);
  EXPECT_EQ(High.Z, 0);
  TDoublePoint Flat;
  DatumChangeGeodetic2D(Flat, WGS84Datum(), TDoublePoint{52 * Degree, 5 * Degree}, RD);
  EXPECT_EQ(Flat.X, Low.X);
  EXPECT_EQ(Flat.Y, Low.Y);
}

TEST(DatumChange, GeocentricFormSkipsWGS84Matrices) {
  const TDoublePoint3 P{3900000, -350000, 5000000};
  TDoublePoint3 Out;
  DatumChangeGeocentric(Out, GeodeticDatumCreate("KGS"), P, WGS84Datum());
  EXPECT_EQ(std::memcmp(&Out, &P, sizeof(P)), 0);
  DatumChangeGeocentric(Out, GeodeticDatumCreate("EUR-A"), P, WGS84Datum());
  EXPECT_NEAR(Out.X - P.X, 87, 1e-6);
}

TEST(DatumChange, ShiftDatumMovesPositionsByTheShift) {
  // Read on the shift datum, a position near the reference lands on the WGS 84
  // position moved by (-DLat, -DLon).
  const TDoublePoint Position{53.2 * Degree, 4.8 * Degree};
  const double DLat = 2e-6;
  const double DLon = -3e-6;
  const TGeodeticDatum *Shift = GeodeticDatumCreateFromShift(Position, DLat, DLon);
  EXPECT_EQ(Shift->Ellipsoid, WGS84());
  TDoublePoint Out;
  DatumChangeGeodetic2D(Out, WGS84Datum(), Position, Shift);
  EXPECT_NEAR(Out.X, Position.X - DLat, 1e-11);
  EXPECT_NEAR(Out.Y, Position.Y - DLon, 1e-11);
}

// --- The conversion engine ----------------------------------------------------------------------

// East-north-up frame at a point, as local -> geocentric rows (internal frame).
TGeodeticMatrix EastNorthUp(const TDoublePoint3 &Origin, const TGeodeticEllipsoid *Ellipsoid) {
  const double sinPhi = std::sin(Origin.X), cosPhi = std::cos(Origin.X);
  const double sinLam = std::sin(Origin.Y), cosLam = std::cos(Origin.Y);
  const TDoublePoint3 O = GeodeticToGeocentricH(Origin, Ellipsoid);
  return {{{-sinLam, -cosLam, 0, 0},
           {-sinPhi * cosLam, sinPhi * sinLam, cosPhi, 0},
           {cosPhi * cosLam, -cosPhi * sinLam, sinPhi, 0},
           {O.X, O.Y, O.Z, 1}}};
}

const TDoublePoint3 LocalOrigin{52 * Degree, 5 * Degree, 10};

TGeodeticCoordinateSystem SystemOfKind(int Kind) {
  switch (Kind) {
  case gcsGeographic:
    return CoordinateSystemGeographic(GeodeticDatumCreate("EUR-A"));
  case gcsMercator:
    return CoordinateSystemMercator(WGS84Datum());
  case gcsTransverseMercator:
    return CoordinateSystemTransverseMercator(GeodeticDatumCreate("RD"), 0.9996, 3 * Degree);
  case gcsRD:
    return CoordinateSystemRD();
  default:
    // On "KGS", equivalent to WGS 84, so pairs with the Mercator system skip the datum change.
    return CoordinateSystemLocalCartesian(GeodeticDatumCreate("KGS"), EastNorthUp(LocalOrigin, WGS84()));
  }
}

TDoublePoint3 Convert(const TDoublePoint3 &In, const TGeodeticCoordinateSystem &Src,
                      const TGeodeticCoordinateSystem &Dst) {
  TDoublePoint3 Out;
  ConvertPoints(1, &Out, Dst, nullptr, nullptr, Src, &In);
  return Out;
}

// Difference in metres (angles of geographic points scaled to the ground).
double Distance(int Kind, const TDoublePoint3 &A, const TDoublePoint3 &B) {
  const double Scale = Kind == gcsGeographic ? EarthRadius : 1.0;
  return std::max({std::fabs(A.X - B.X) * Scale, std::fabs(A.Y - B.Y) * Scale, std::fabs(A.Z - B.Z)});
}

class ConvertPointsPair : public testing::TestWithParam<int> {};

// Every converter agrees with going through WGS 84 geographic coordinates:
// converting a point from kind S to kind D gives what converting the same
// WGS 84 position straight to D gives. The RD polynomials only invert each
// other to about a millimetre, which sets the tolerance.
TEST_P(ConvertPointsPair, AgreesWithTheRouteThroughWGS84) {
  const int SrcKind = GetParam() / 5;
  const int DstKind = GetParam() % 5;
  const TGeodeticCoordinateSystem Wgs = CoordinateSystemGeographic(WGS84Datum());
  const TGeodeticCoordinateSystem Src = SystemOfKind(SrcKind);
  const TGeodeticCoordinateSystem Dst = SystemOfKind(DstKind);
  for (const TDoublePoint3 &Position : {TDoublePoint3{52.1 * Degree, 5.2 * Degree, 40},
                                        TDoublePoint3{51.45 * Degree, 3.6 * Degree, -5}}) {
    const TDoublePoint3 InSrc = Convert(Position, Wgs, Src);
    const TDoublePoint3 Expected = Convert(Position, Wgs, Dst);
    const TDoublePoint3 Actual = Convert(InSrc, Src, Dst);
    EXPECT_LT(Distance(DstKind, Actual, Expected), 2e-3) << SrcKind << " -> " << DstKind;
  }
}

INSTANTIATE_TEST_SUITE_P(AllKinds, ConvertPointsPair, testing::Range(0, 25));

TEST(ConvertPoints, LocalCartesianFrameIsEastNorthUp) {
  const TGeodeticCoordinateSystem Wgs = CoordinateSystemGeographic(WGS84Datum());
  const TGeodeticCoordinateSystem Local = SystemOfKind(gcsLocalCartesian);
  const TDoublePoint3 AtOrigin = Convert(LocalOrigin, Wgs, Local);
  EXPECT_NEAR(AtOrigin.X, 0, 1e-8);
  EXPECT_NEAR(AtOrigin.Y, 0, 1e-8);
  EXPECT_NEAR(AtOrigin.Z, 0, 1e-8);
  const TDoublePoint3 Above = Convert({LocalOrigin.X, LocalOrigin.Y, LocalOrigin.Z + 25}, Wgs, Local);
  EXPECT_NEAR(Above.Z, 25, 1e-8);
  EXPECT_NEAR(Above.X, 0, 1e-8);
  const TDoublePoint3 North = Convert({LocalOrigin.X + 1e-5, LocalOrigin.Y, LocalOrigin.Z}, Wgs, Local);
  EXPECT_NEAR(North.X, 0, 1e-6);
  EXPECT_GT(North.Y, 63);  // 1e-5 rad of latitude is about 63.8 m here
  EXPECT_LT(North.Y, 65);
}

TEST(ConvertPoints, EquivalentGeographicSystemsCopyBitForBit) {
  std::vector<TDoublePoint3> In = {{0.5, 0.25, 7}, {std::nan("1"), -HUGE_VAL, 1e300}, {-0.0, 4.0, -1}};
  std::vector<TDoublePoint3> Out(In.size());
  ConvertPoints(3, Out.data(), CoordinateSystemGeographic(GeodeticDatumCreate("KGS")), nullptr, nullptr,
                CoordinateSystemGeographic(WGS84Datum()), In.data());
  EXPECT_EQ(std::memcmp(Out.data(), In.data(), In.size() * sizeof(TDoublePoint3)), 0);
}

TEST(ConvertPoints, OutputMayBeTheInputArray) {
  const TGeodeticCoordinateSystem Wgs = CoordinateSystemGeographic(WGS84Datum());
  const TGeodeticCoordinateSystem RD = CoordinateSystemRD();
  std::vector<TDoublePoint3> Points = {{52 * Degree, 5 * Degree, 0}, {53 * Degree, 6 * Degree, 0}};
  const TDoublePoint3 Expected0 = Convert(Points[0], Wgs, RD);
  const TDoublePoint3 Expected1 = Convert(Points[1], Wgs, RD);
  ConvertPoints(2, Points.data(), RD, nullptr, nullptr, Wgs, Points.data());
  EXPECT_EQ(std::memcmp(&Points[0], &Expected0, sizeof(TDoublePoint3)), 0);
  EXPECT_EQ(std::memcmp(&Points[1], &Expected1, sizeof(TDoublePoint3)), 0);
}

TEST(ConvertPoints, TransverseMercatorCopiesOnlyForTheSameProjection) {
  const TGeodeticCoordinateSystem A = CoordinateSystemTransverseMercator(WGS84Datum(), 0.9996, 3 * Degree);
  const TGeodeticCoordinateSystem SameOnKGS =
      CoordinateSystemTransverseMercator(GeodeticDatumCreate("KGS"), 0.9996, 3 * Degree);
  const TGeodeticCoordinateSystem OtherMeridian = CoordinateSystemTransverseMercator(WGS84Datum(), 0.9996, 9 * Degree);
  const TDoublePoint3 In{500000.125, 5700000.25, 3};
  const TDoublePoint3 Copied = Convert(In, A, SameOnKGS);
  EXPECT_EQ(std::memcmp(&Copied, &In, sizeof(In)), 0);
  const TDoublePoint3 Moved = Convert(In, A, OtherMeridian);
  const TDoublePoint Geographic = TransverseMercatorInverse({In.X, In.Y}, WGS84(), 0.9996, 3 * Degree);
  const TDoublePoint Expected = TransverseMercatorForward(Geographic, WGS84(), 0.9996, 9 * Degree);
  EXPECT_NEAR(Moved.X, Expected.X, 1e-6);
  EXPECT_NEAR(Moved.Y, Expected.Y, 1e-6);
  EXPECT_EQ(Moved.Z, 3);
}

TEST(ConvertPoints, ProgressReportsEveryHundredthAndTheEnds) {
  struct {
    int Count;
    std::vector<float> Expected;
  } Cases[] = {{0, {0, 100}}, {99, {0, 100}}, {1000, {}}, {150, {}}};
  for (int p = 0; p <= 100; ++p)
    Cases[2].Expected.push_back(static_cast<float>(p));
  Cases[2].Expected.push_back(100);
  // 150 points: a report after every point, (150 - i) * 100 div 150.
  Cases[3].Expected.push_back(0);
  for (int Done = 1; Done <= 150; ++Done)
    Cases[3].Expected.push_back(static_cast<float>(Done * 100 / 150));
  Cases[3].Expected.push_back(100);

  const TGeodeticCoordinateSystem Wgs = CoordinateSystemGeographic(WGS84Datum());
  const TGeodeticCoordinateSystem Mercator = CoordinateSystemMercator(WGS84Datum());
  int Sender = 0;
  for (const auto &Case : Cases) {
    std::vector<TDoublePoint3> Points(static_cast<size_t>(Case.Count), TDoublePoint3{0.9, 0.1, 0});
    std::vector<float> Reported;
    ConvertPoints(
        Case.Count, Points.data(), Mercator, &Sender,
        [&](void *From, float Percent) {
          EXPECT_EQ(From, &Sender);
          Reported.push_back(Percent);
        },
        Wgs, Points.data());
    EXPECT_EQ(Reported, Case.Expected) << "count " << Case.Count;
  }
}

TEST(ConvertPoints, UnknownKindsRaiseAndTheHighBitIsIgnored) {
  const TGeodeticCoordinateSystem Wgs = CoordinateSystemGeographic(WGS84Datum());
  for (uint8_t Kind : {5, 6, 127, 255}) {
    TGeodeticCoordinateSystem Bad = Wgs;
    Bad.Kind = Kind;
    TDoublePoint3 P{0.9, 0.1, 0};
    EXPECT_EQ(ErrorOf<EGeodeticsError>([&] { ConvertPoints(1, &P, Wgs, nullptr, nullptr, Bad, &P); }),
              "Unknown geodetic coordinate system.")
        << int(Kind);
    EXPECT_EQ(ErrorOf<EGeodeticsError>([&] { ConvertPoints(1, &P, Bad, nullptr, nullptr, Wgs, &P); }),
              "Unknown geodetic coordinate system.")
        << int(Kind);
    EXPECT_EQ(ErrorOf<EGeodeticsError>([&] { ConvertPoint({0.9, 0.1}, Bad, Wgs); }),
              "Unknown geodetic coordinate system.")
        << int(Kind);
  }
  TGeodeticCoordinateSystem MercatorHigh = CoordinateSystemMercator(WGS84Datum());
  MercatorHigh.Kind |= 128;
  const TDoublePoint P = ConvertPoint({0.9, 0.1}, Wgs, MercatorHigh);
  EXPECT_EQ(P.X, MercatorForward({0.9, 0.1}, WGS84()).X);
}

TEST(ConvertPoints, RDSystemsMustCarryRDOld) {
  TGeodeticCoordinateSystem WrongRD = CoordinateSystemRD();
  WrongRD.Datum = GeodeticDatumCreate("RD");
  const TGeodeticCoordinateSystem Wgs = CoordinateSystemGeographic(WGS84Datum());
  TDoublePoint3 P{0.9, 0.1, 0};
  const std::string To = ErrorOf<EAssertionFailed>([&] { ConvertPoints(1, &P, WrongRD, nullptr, nullptr, Wgs, &P); });
  EXPECT_EQ(To.rfind("Destination datum must be RD-OLD. (VmLib\\VmGeodeticsTransform, line ", 0), 0u) << To;
  const std::string From = ErrorOf<EAssertionFailed>([&] { ConvertPoints(1, &P, Wgs, nullptr, nullptr, WrongRD, &P); });
  EXPECT_EQ(From.rfind("Source datum must be RD-OLD. (VmLib\\VmGeodeticsTransform, line ", 0), 0u) << From;
}

TEST(ConvertPoints, SystemsWithoutDatumRaiseWhenADatumIsNeeded) {
  const TGeodeticCoordinateSystem NoDatum = CoordinateSystemMercator(nullptr);
  const TGeodeticCoordinateSystem Wgs = CoordinateSystemGeographic(WGS84Datum());
  TDoublePoint3 P{0.9, 0.1, 0};
  EXPECT_EQ(ErrorOf<EGeodeticsError>([&] { ConvertPoints(1, &P, NoDatum, nullptr, nullptr, Wgs, &P); }),
            "ConvertPoints: Coordinate system has no datum.");
  // Two identical datum-less Mercator systems still copy.
  ConvertPoints(1, &P, NoDatum, nullptr, nullptr, NoDatum, &P);
  EXPECT_EQ(P.X, 0.9);
}

TEST(ConvertPoints, RDGridToWGS84AndBack) {
  const TGeodeticCoordinateSystem Wgs = CoordinateSystemGeographic(WGS84Datum());
  const TGeodeticCoordinateSystem RD = CoordinateSystemRD();
  for (double X = 20000; X <= 280000; X += 65000)
    for (double Y = 310000; Y <= 610000; Y += 75000) {
      const TDoublePoint Geographic = ConvertPoint({X, Y}, RD, Wgs);
      const TDoublePoint Back = ConvertPoint(Geographic, Wgs, RD);
      EXPECT_NEAR(Back.X, X, 2e-3) << X << " " << Y;
      EXPECT_NEAR(Back.Y, Y, 2e-3) << X << " " << Y;
    }
  // RD-OLD geographic coordinates go straight through the polynomial.
  const TDoublePoint Bessel{52.3 * Degree, 4.9 * Degree};
  const TDoublePoint Grid = ConvertPoint(Bessel, CoordinateSystemGeographic(GeodeticDatumCreate("RD-OLD")), RD);
  EXPECT_EQ(Grid.X, RDForward(Bessel).X);
  EXPECT_EQ(Grid.Y, RDForward(Bessel).Y);
}

}  // namespace
