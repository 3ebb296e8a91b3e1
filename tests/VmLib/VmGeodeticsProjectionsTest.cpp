// Mercator, transverse Mercator and the RD grid against published worked
// examples and independently computed values, plus round trips.
#include "VmGeodetics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr double Degree = std::numbers::pi / 180;

const TGeodeticEllipsoid *WGS84() { return GeodeticEllipsoidCreate("WE"); }

// --- Mercator ---------------------------------------------------------------------------

TEST(Mercator, SnyderWorkedExample) {
  // Snyder, "Map Projections - A Working Manual", p. 267: Clarke 1866,
  // 35 N, 75 W on a central meridian of 180 gives x = 11688673.7, y = 4139145.6 m.
  const TGeodeticEllipsoid *Clarke = GeodeticEllipsoidCreate("CC");
  const TDoublePoint P = MercatorForward({35 * Degree, 105 * Degree}, Clarke);
  EXPECT_NEAR(P.X, 11688673.7, 0.05);
  EXPECT_NEAR(P.Y, 4139145.6, 0.07);
  const TDoublePoint Back = MercatorInverse({11688673.7, 4139145.6}, Clarke);
  EXPECT_NEAR(Back.X, 35 * Degree, 1e-8);
  EXPECT_NEAR(Back.Y, 105 * Degree, 1e-8);
}

TEST(Mercator, NorthingMatchesIsometricLatitude) {
  // a * (atanh(sin phi) - e atanh(e sin phi)), evaluated to 30 digits with mpmath.
  struct {
    double LatitudeDegrees;
    double Northing;
  } const Cases[] = {{0, 0}, {52, 6766432.490645153}, {80, 15496570.739723719}, {-60, -8362698.548500750}};
  for (const auto &Case : Cases) {
    const double Phi = Case.LatitudeDegrees * Degree;
    EXPECT_NEAR(MercatorForward({Phi, 0}, WGS84()).Y, Case.Northing, 1e-6) << Case.LatitudeDegrees;
    EXPECT_NEAR(IsometricLatitudeScaled(Phi, WGS84()), Case.Northing, 1e-6) << Case.LatitudeDegrees;
  }
  const TDoublePoint Origin = MercatorForward({0, 0}, WGS84());
  EXPECT_EQ(Origin.X, 0);
  EXPECT_EQ(Origin.Y, 0);
}

// The eccentricity's term is summed as a series up to the earth's flattest
// ellipsoids and taken from its logarithm beyond: both sides of that
// border, and far past it, follow the closed form in extended precision.
TEST(Mercator, NorthingOfEveryFlatteningFollowsTheClosedForm) {
  for (const double InvF : {298.257223563, 293.465, 290.0, 50.0}) {
    const TGeodeticEllipsoid *Ellipsoid = GeodeticEllipsoidCreateFromParameters(InvF, 6378137);
    const long double e = Ellipsoid->E;
    for (const double Lat : {-80.0, -35.0, 1e-3, 52.0, 80.0}) {
      const long double s = std::sin(static_cast<long double>(Lat * Degree));
      const long double Expected =
          Ellipsoid->A / 2 * std::log((1 + s) / (1 - s) * std::pow((1 - e * s) / (1 + e * s), e));
      EXPECT_NEAR(IsometricLatitudeScaled(Lat * Degree, Ellipsoid), static_cast<double>(Expected), 1e-6)
          << "1/f " << InvF << ", latitude " << Lat;
    }
  }
}

TEST(Mercator, InverseUndoesForward) {
  // The inverse's closed conformal-latitude series is truncated after e^8:
  // its error stays far below 1e-9 rad (6 mm) at every latitude a chart uses.
  for (double Lat = -85; Lat <= 85; Lat += 5)
    for (double Lon : {-179.5, -5.0, 0.0, 5.0, 179.5}) {
      const TDoublePoint Back = MercatorInverse(MercatorForward({Lat * Degree, Lon * Degree}, WGS84()), WGS84());
      EXPECT_NEAR(Back.X, Lat * Degree, 1e-9) << Lat << " " << Lon;
      EXPECT_NEAR(Back.Y, Lon * Degree, 1e-15) << Lat << " " << Lon;
    }
}

TEST(Mercator, InverseOfExtremeNorthingsReachesThePoles) {
  for (double Sign : {1.0, -1.0}) {
    EXPECT_EQ(MercatorInverse({0, Sign * 1e12}, WGS84()).X, Sign * std::numbers::pi / 2);
    EXPECT_EQ(MercatorInverse({0, Sign * HUGE_VAL}, WGS84()).X, Sign * std::numbers::pi / 2);
  }
}

TEST(Mercator, ConformalToGeodeticOfZeroAndPole) {
  EXPECT_EQ(ConformalToGeodetic(0, WGS84()), 0);
  EXPECT_NEAR(ConformalToGeodetic(std::numbers::pi / 2, WGS84()), std::numbers::pi / 2, 1e-15);
}

// --- Transverse Mercator -----------------------------------------------------------------------

TEST(TransverseMercator, SnyderWorkedExample) {
  // Snyder p. 269-270: Clarke 1866, 40.5 N, 73.5 W, central meridian 75 W,
  // k0 = 0.9996 gives x = 127106.5, y = 4484124.4 m (printed to 0.1 m).
  const TGeodeticEllipsoid *Clarke = GeodeticEllipsoidCreate("CC");
  const TDoublePoint P = TransverseMercatorForward({40.5 * Degree, -73.5 * Degree}, Clarke, 0.9996, -75 * Degree);
  EXPECT_NEAR(P.X, 127106.5, 0.06);
  EXPECT_NEAR(P.Y, 4484124.4, 0.06);
  const TDoublePoint Back = TransverseMercatorInverse({127106.5, 4484124.4}, Clarke, 0.9996, -75 * Degree);
  EXPECT_NEAR(Back.X, 40.5 * Degree, 1e-8);
  EXPECT_NEAR(Back.Y, -73.5 * Degree, 1e-8);
}

TEST(TransverseMercator, CentralMeridianIsTheScaledMeridianArc) {
  // Meridian arcs on WGS 84 by numerical quadrature (mpmath, 30 digits). The
  // arc series stops at e^6, which leaves well under a millimetre.
  constexpr double K0 = 0.9996;
  constexpr double Lon0 = 3 * Degree;
  struct {
    double LatitudeDegrees;
    double Arc;
  } const Cases[] = {{30, 3320113.397940}, {45, 4984944.377978}, {52, 5763343.550010}, {60, 6654072.819491}};
  for (const auto &Case : Cases) {
    const TDoublePoint P = TransverseMercatorForward({Case.LatitudeDegrees * Degree, Lon0}, WGS84(), K0, Lon0);
    EXPECT_EQ(P.X, 0) << Case.LatitudeDegrees;
    EXPECT_NEAR(P.Y, K0 * Case.Arc, 1e-3) << Case.LatitudeDegrees;
  }
  const TDoublePoint Origin = TransverseMercatorForward({0, Lon0}, WGS84(), K0, Lon0);
  EXPECT_EQ(Origin.X, 0);
  EXPECT_EQ(Origin.Y, 0);
  const TDoublePoint Back = TransverseMercatorInverse({0, 0}, WGS84(), K0, Lon0);
  EXPECT_EQ(Back.X, 0);
  EXPECT_EQ(Back.Y, Lon0);
}

TEST(TransverseMercator, RoundTripAcrossAUTMZone) {
  // The footpoint series stops at e1^4 and the arc series at e^6, so forward
  // and inverse agree to under a millimetre on the ground (about 1.2e-10 rad
  // of latitude at worst, near 70 degrees), not to rounding.
  constexpr double K0 = 0.9996;
  constexpr double Lon0 = 3 * Degree;
  constexpr double Millimetre = 1e-3 / 6378137;  // in radians of arc
  for (double Lat = -80; Lat <= 84; Lat += 4)
    for (double DLon = -3; DLon <= 3; DLon += 0.5) {
      const TDoublePoint P{Lat * Degree, Lon0 + DLon * Degree};
      const TDoublePoint Back =
          TransverseMercatorInverse(TransverseMercatorForward(P, WGS84(), K0, Lon0), WGS84(), K0, Lon0);
      EXPECT_NEAR(Back.X, P.X, Millimetre) << Lat << " " << DLon;
      EXPECT_NEAR((Back.Y - P.Y) * std::cos(P.X), 0, Millimetre) << Lat << " " << DLon;
    }
}

// --- RD grid -----------------------------------------------------------------------------------

constexpr double RDPhi0 = 0.9102967269708095363;
constexpr double RDLam0 = 0.094032037521539308366;

TEST(RDGrid, OriginMapsExactlyBothWays) {
  const TDoublePoint Grid = RDForward({RDPhi0, RDLam0});
  EXPECT_EQ(Grid.X, 155000);
  EXPECT_EQ(Grid.Y, 463000);
  const TDoublePoint Geographic = RDInverse({155000, 463000});
  EXPECT_EQ(Geographic.X, RDPhi0);
  EXPECT_EQ(Geographic.Y, RDLam0);
}

TEST(RDGrid, OriginIsAmersfoort) {
  // 52 09' 22.178" N, 5 23' 15.500" E on Bessel.
  EXPECT_NEAR(RDPhi0, (52 + 9 / 60.0 + 22.178 / 3600) * Degree, 1e-10);
  EXPECT_NEAR(RDLam0, (5 + 23 / 60.0 + 15.5 / 3600) * Degree, 1e-10);
}

TEST(RDGrid, ForwardInverseForwardOverTheNetherlands) {
  for (double Lat = 50.5; Lat <= 53.7; Lat += 0.2)
    for (double Lon = 3.2; Lon <= 7.3; Lon += 0.25) {
      const TDoublePoint Grid = RDForward({Lat * Degree, Lon * Degree});
      const TDoublePoint Again = RDForward(RDInverse(Grid));
      EXPECT_NEAR(Again.X, Grid.X, 1e-3) << Lat << " " << Lon;
      EXPECT_NEAR(Again.Y, Grid.Y, 1e-3) << Lat << " " << Lon;
    }
}

}  // namespace
