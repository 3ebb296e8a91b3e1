#include "VmGeodeticsCalibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace {

constexpr double Deg = std::numbers::pi / 180;

TDoublePoint Geo(double LatDeg, double LonDeg) { return {LatDeg * Deg, LonDeg * Deg}; }

// A chart's similarity as a chart maker would define it: pixel =
// R(Theta) diag(Scale, -Scale) (P - T) + O, so a north-up chart has y down.
struct TSimilarity {
  TDoublePoint T;
  double Theta, Scale;
  TDoublePoint O;

  TDoublePoint operator()(const TDoublePoint &P) const {
    const double u = (P.X - T.X) * Scale, v = -(P.Y - T.Y) * Scale;
    return {std::cos(Theta) * u - std::sin(Theta) * v + O.X, std::sin(Theta) * u + std::cos(Theta) * v + O.Y};
  }
};

void ExpectPointNear(const TDoublePoint &Got, const TDoublePoint &Want, double Tol, const std::string &What) {
  EXPECT_NEAR(Got.X, Want.X, Tol) << What;
  EXPECT_NEAR(Got.Y, Want.Y, Tol) << What;
}

// The six set-ups behind one signature; the transverse Mercator ones use
// UTM zone 31 (K0 0.9996, central meridian 3 degrees east).
constexpr double UTMK0 = 0.9996, UTM31Lon0 = 3 * Deg;
using TPoints = TDoublePoint[3];

struct TSetUp {
  const char *Name;
  uint8_t Kind;
  int Points;
  int (*Run)(TCalibration &, const TPoints &Px, const TPoints &Pos, int32_t W, int32_t H, const TGeodeticDatum *);
};

const TSetUp SetUps[] = {
    {"Mercator, 2 points", gcsMercator, 2,
     [](TCalibration &C, const TPoints &Px, const TPoints &Pos, int32_t W, int32_t H, const TGeodeticDatum *D) {
       return C.CalibrateMercator2(Px[0], Px[1], Pos[0], Pos[1], W, H, D);
     }},
    {"Mercator, 3 points", gcsMercator, 3,
     [](TCalibration &C, const TPoints &Px, const TPoints &Pos, int32_t W, int32_t H, const TGeodeticDatum *D) {
       return C.CalibrateMercator3(Px[0], Px[1], Px[2], Pos[0], Pos[1], Pos[2], W, H, D);
     }},
    {"transverse Mercator, 2 points", gcsTransverseMercator, 2,
     [](TCalibration &C, const TPoints &Px, const TPoints &Pos, int32_t W, int32_t H, const TGeodeticDatum *D) {
       return C.CalibrateTransverseMercator2(Px[0], Px[1], Pos[0], Pos[1], UTMK0, UTM31Lon0, W, H, D);
     }},
    {"transverse Mercator, 3 points", gcsTransverseMercator, 3,
     [](TCalibration &C, const TPoints &Px, const TPoints &Pos, int32_t W, int32_t H, const TGeodeticDatum *D) {
       return C.CalibrateTransverseMercator3(Px[0], Px[1], Px[2], Pos[0], Pos[1], Pos[2], UTMK0, UTM31Lon0, W, H,
                                             D);
     }},
    {"RD, 2 points", gcsRD, 2,
     [](TCalibration &C, const TPoints &Px, const TPoints &Pos, int32_t W, int32_t H, const TGeodeticDatum *) {
       return C.CalibrateRD2(Px[0], Px[1], Pos[0], Pos[1], W, H);
     }},
    {"RD, 3 points", gcsRD, 3,
     [](TCalibration &C, const TPoints &Px, const TPoints &Pos, int32_t W, int32_t H, const TGeodeticDatum *) {
       return C.CalibrateRD3(Px[0], Px[1], Px[2], Pos[0], Pos[1], Pos[2], W, H);
     }},
};

const TSetUp &SetUpFor(uint8_t Kind, int Points) {
  for (const TSetUp &S : SetUps)
    if (S.Kind == Kind && S.Points == Points)
      return S;
  throw std::logic_error("no such set-up");
}

} // namespace

// --- Interpolate -------------------------------------------------------------------

// The three pairs define one affine map; Interpolate must agree with it
// wherever the query lies: inside, beyond a side, and behind each vertex (in
// the angle opposite it), where unsigned ratios would land on the wrong side.
TEST(Interpolate, AgreesWithTheAffineMapOfTheThreePairs) {
  const auto f = [](const TDoublePoint &p) -> TDoublePoint {
    return {2 * p.X + 0.5 * p.Y + 10, -0.3 * p.X + 1.5 * p.Y - 20};
  };
  const TDoublePoint A = {10, 10}, B = {200, 40}, C = {60, 180};
  const struct {
    const char *Where;
    TDoublePoint Query;
  } cases[] = {
      {"vertex A", A},         {"vertex B", B},          {"vertex C", C},           {"inside", {80, 70}},
      {"on side AB", {105, 25}}, {"beyond side BC", {250, 250}}, {"behind A", {-50, -40}},
      {"behind B", {299, 7}},  {"behind C", {24, 304}},  {"far away", {1000, -500}},
  };
  for (const auto &c : cases)
    ExpectPointNear(Interpolate(f(A), f(B), f(C), c.Query, C, B, A), f(c.Query), 1e-9, c.Where);
}

TEST(Interpolate, QueryNoVertexSeesIsAnError) {
  try {
    Interpolate({0, 0}, {1, 0}, {0, 1}, {NAN, 5}, {0, 1}, {1, 0}, {0, 0});
    FAIL() << "no error";
  } catch (const EGeodeticsError &e) {
    EXPECT_EQ(e.Message(), "VmGeodetics.Interpolate: This code should never be executed.");
  }
}

// --- Set-up statuses -----------------------------------------------------------------

TEST(TCalibration, TwoPointStatuses) {
  const TDoublePoint E0 = {150000, 450000};
  const struct {
    const char *Name;
    TDoublePoint Pixel1, Pixel2, Position1, Position2;
    int32_t Width, Height;
    int Status;
  } cases[] = {
      {"well apart", {0, 0}, {1000, 800}, E0, {E0.X + 5000, E0.Y - 4000}, 1000, 800, 1},
      {"close together", {100, 100}, {300, 300}, E0, {E0.X + 1000, E0.Y - 1000}, 1000, 800, 0},
      {"10 pixels apart in x", {100, 100}, {110, 700}, E0, {E0.X + 50, E0.Y - 3000}, 1000, 800, 2},
      {"under 2 % in y", {100, 100}, {900, 115}, E0, {E0.X + 4000, E0.Y - 75}, 1000, 800, 2},
      {"same x", {100, 100}, {100, 700}, E0, {E0.X + 50, E0.Y - 3000}, 1000, 800, 3},
      {"same y", {100, 100}, {700, 100}, E0, {E0.X + 3000, E0.Y - 50}, 1000, 800, 3},
      {"same east", {100, 100}, {700, 700}, E0, {E0.X, E0.Y - 3000}, 1000, 800, 4},
      {"same north", {100, 100}, {700, 700}, E0, {E0.X + 3000, E0.Y}, 1000, 800, 4},
      {"chart without width", {100, 100}, {700, 700}, E0, {E0.X + 3000, E0.Y - 3000}, 0, 800, 2},
      {"pixel not a number", {NAN, 100}, {700, 700}, E0, {E0.X + 3000, E0.Y - 3000}, 1000, 800, 2},
      {"pixel infinite", {-INFINITY, 100}, {700, 700}, E0, {E0.X + 3000, E0.Y - 3000}, 1000, 800, 2},
      {"position not a number", {100, 100}, {700, 700}, {NAN, E0.Y}, {E0.X + 3000, E0.Y - 3000}, 1000, 800, 4},
      {"position infinite", {100, 100}, {700, 700}, E0, {E0.X + 3000, INFINITY}, 1000, 800, 4},
  };
  for (const auto &c : cases) {
    TCalibration Cal;
    EXPECT_EQ(Cal.CalibrateRD2(c.Pixel1, c.Pixel2, c.Position1, c.Position2, c.Width, c.Height), c.Status)
        << c.Name;
    EXPECT_EQ(Cal.PointCount(), c.Status < 2 ? 2 : 0) << c.Name;
  }
}

TEST(TCalibration, TwoPointFitScalesAlongTheAxes) {
  const TDoublePoint E0 = {150000, 450000};
  TCalibration Cal;
  ASSERT_EQ(Cal.CalibrateRD2({0, 0}, {1000, 800}, E0, {E0.X + 5000, E0.Y - 4000}, 1000, 800), 1);
  EXPECT_DOUBLE_EQ(Cal.Forward().M11, 0.2);
  EXPECT_DOUBLE_EQ(Cal.Forward().M22, -0.2);
  EXPECT_EQ(Cal.Rotation(), 0);
  EXPECT_EQ(Cal.Positions(2).X, 0);
  EXPECT_EQ(Cal.Pixels(2).Y, 0);
  ExpectPointNear(Cal.PixelToProjected({500, 400}), {E0.X + 2500, E0.Y - 2000}, 1e-8, "centre");
  ExpectPointNear(Cal.ProjectedToPixel({E0.X + 2500, E0.Y - 2000}), {500, 400}, 1e-9, "centre back");
}

TEST(TCalibration, ThreePointStatuses) {
  const TDoublePoint E0 = {150000, 450000};
  // Pixels on a 1000 x 1000 chart; positions 10 m per pixel, north up.
  const auto Pos = [&](double x, double y) { return TDoublePoint{E0.X + 10 * x, E0.Y - 10 * y}; };
  const struct {
    const char *Name;
    TDoublePoint Pixels[3], Positions[3];
    int Status;
  } cases[] = {
      {"large triangle", {{0, 0}, {1000, 0}, {0, 1000}}, {Pos(0, 0), Pos(1000, 0), Pos(0, 1000)}, 1},
      {"1/100 of the chart", {{0, 0}, {200, 0}, {0, 100}}, {Pos(0, 0), Pos(200, 0), Pos(0, 100)}, 0},
      {"under 1/512", {{0, 0}, {100, 0}, {0, 30}}, {Pos(0, 0), Pos(100, 0), Pos(0, 30)}, 2},
      {"collinear pixels", {{0, 0}, {500, 500}, {900, 900}}, {Pos(0, 0), Pos(500, 0), Pos(0, 500)}, 2},
      {"pixels 1 = 2", {{5, 5}, {5, 5}, {0, 900}}, {Pos(0, 0), Pos(900, 0), Pos(0, 900)}, 3},
      {"pixels 2 = 3", {{0, 0}, {900, 0}, {900, 0}}, {Pos(0, 0), Pos(900, 0), Pos(0, 900)}, 3},
      {"pixels 1 = 3", {{0, 0}, {900, 0}, {0, 0}}, {Pos(0, 0), Pos(900, 0), Pos(0, 900)}, 3},
      {"positions 1 = 3", {{0, 0}, {900, 0}, {0, 900}}, {Pos(0, 0), Pos(900, 0), Pos(0, 0)}, 4},
      {"positions 2 = 3", {{0, 0}, {900, 0}, {0, 900}}, {Pos(0, 0), Pos(900, 0), Pos(900, 0)}, 4},
      {"collinear positions", {{0, 0}, {900, 0}, {0, 900}}, {Pos(0, 0), Pos(450, 0), Pos(900, 0)}, 4},
      {"position not a number", {{0, 0}, {900, 0}, {0, 900}}, {Pos(0, 0), Pos(900, 0), {NAN, E0.Y}}, 4},
      {"position infinite", {{0, 0}, {900, 0}, {0, 900}}, {Pos(0, 0), {INFINITY, E0.Y}, Pos(0, 900)}, 4},
      {"pixel infinite", {{INFINITY, 5}, {0, 0}, {0, 900}}, {Pos(0, 0), Pos(900, 0), Pos(0, 900)}, 2},
  };
  for (const auto &c : cases) {
    TCalibration Cal;
    EXPECT_EQ(Cal.CalibrateRD3(c.Pixels[0], c.Pixels[1], c.Pixels[2], c.Positions[0], c.Positions[1],
                               c.Positions[2], 1000, 1000),
              c.Status)
        << c.Name;
    EXPECT_EQ(Cal.PointCount(), c.Status < 2 ? 3 : 0) << c.Name;
    if (c.Status < 2) {  // accepted, also when close together: the chart maps exactly
      ExpectPointNear(Cal.ProjectedToPixel(Pos(333, 777)), {333, 777}, 1e-7, c.Name);
    }
  }
}

// Every set-up checks its points, stores its grid and maps its own reference
// points (a wrong argument order would not).
TEST(TCalibration, EverySetUpChecksItsPointsAndKeepsItsGrid) {
  const TDoublePoint E0 = {400000, 6800000};
  const TPoints Pixels = {{100, 50}, {900, 750}, {80, 700}};
  const TPoints Positions = {E0, {E0.X + 8000, E0.Y - 7000}, {E0.X - 200, E0.Y - 6500}};
  const TPoints SamePixels = {Pixels[0], Pixels[0], Pixels[2]};
  const TPoints SamePositions = {Positions[1], Positions[1], Positions[2]};
  const TPoints ClosePixels = {{100, 50}, {105, 52}, {101, 56}};
  const TGeodeticDatum *Datum = GeodeticDatumCreate("EUR-A");
  for (const TSetUp &S : SetUps) {
    TCalibration Cal;
    EXPECT_EQ(S.Run(Cal, SamePixels, Positions, 1000, 800, Datum), csSamePixels) << S.Name;
    EXPECT_EQ(S.Run(Cal, Pixels, SamePositions, 1000, 800, Datum), csSamePositions) << S.Name;
    EXPECT_EQ(S.Run(Cal, ClosePixels, Positions, 1000, 800, Datum), csTooClose) << S.Name;
    EXPECT_EQ(Cal.PointCount(), 0) << S.Name;
    ASSERT_EQ(S.Run(Cal, Pixels, Positions, 1000, 800, Datum), csAccepted) << S.Name;
    EXPECT_EQ(Cal.PointCount(), S.Points) << S.Name;
    EXPECT_EQ(Cal.Width(), 1000) << S.Name;
    EXPECT_EQ(Cal.Height(), 800) << S.Name;
    EXPECT_EQ(Cal.System().Kind, S.Kind) << S.Name;
    EXPECT_EQ(Cal.System().Datum, S.Kind == gcsRD ? GeodeticDatumCreate("RD-OLD") : Datum) << S.Name;
    if (S.Kind == gcsTransverseMercator) {
      EXPECT_EQ(Cal.System().K0, UTMK0) << S.Name;
      EXPECT_EQ(Cal.System().Lon0, UTM31Lon0) << S.Name;
    }
    for (int i = 0; i < 2; ++i) {
      ExpectPointNear(Cal.ProjectedToPixel(Positions[i]), Pixels[i], 1e-8, S.Name);
      EXPECT_EQ(Cal.Pixels(i).X, Pixels[i].X) << S.Name;
      EXPECT_EQ(Cal.Positions(i).Y, Positions[i].Y) << S.Name;
    }
  }
}

TEST(TCalibration, RejectedSetUpLeavesTheCalibrationUnchanged) {
  const TDoublePoint E0 = {150000, 450000};
  TCalibration Cal;
  ASSERT_EQ(Cal.CalibrateRD2({0, 0}, {1000, 800}, E0, {E0.X + 5000, E0.Y - 4000}, 1000, 800), 1);
  const TCalibrationAffine Before = Cal.Forward();
  EXPECT_EQ(Cal.CalibrateRD3({0, 0}, {0, 0}, {5, 9}, E0, {1, 2}, {3, 4}, 50, 60), 3);
  EXPECT_EQ(Cal.CalibrateRD2({0, 0}, {1, 1}, E0, {E0.X + 5000, E0.Y - 4000}, 2000, 2000), 2);
  EXPECT_EQ(Cal.PointCount(), 2);
  EXPECT_EQ(Cal.Width(), 1000);
  EXPECT_EQ(Cal.Forward().M11, Before.M11);
  EXPECT_EQ(Cal.Forward().OffsetY, Before.OffsetY);
}

// An axis-parallel right triangle gives the same similarity as two points.
TEST(TCalibration, AxisParallelTriangleReproducesTheTwoPointFit) {
  const TDoublePoint E0 = {150000, 450000}, E1 = {E0.X + 5000, E0.Y - 4000}, E2 = {E0.X, E0.Y - 4000};
  TCalibration Two, Three;
  ASSERT_EQ(Two.CalibrateRD2({0, 0}, {1000, 800}, E0, E1, 1000, 800), 1);
  ASSERT_EQ(Three.CalibrateRD3({0, 0}, {1000, 800}, {0, 800}, E0, E1, E2, 1000, 800), 1);
  EXPECT_EQ(Three.Rotation(), 0);
  for (const TDoublePoint P : {TDoublePoint{E0.X + 1234, E0.Y - 321}, E1, TDoublePoint{E0.X - 900, E0.Y + 77}})
    ExpectPointNear(Three.ProjectedToPixel(P), Two.ProjectedToPixel(P), 1e-8, "same fit");
}

// Rotated charts in every quadrant, with boxes wider and taller than high,
// so both edges of the box give the angle. The reference points sit so that
// the box's corner (minE, minN) lies behind the first of them, which needs
// the signed ratio in Interpolate.
TEST(TCalibration, ThreePointFitRecoversRotationAndScale) {
  const TDoublePoint Base = {100000, 400000};
  const TDoublePoint Wide[3] = {{400, 400}, {4000, 200}, {200, 3000}};
  const TDoublePoint Tall[3] = {{400, 400}, {3000, 200}, {200, 4000}};
  for (const double Theta : {0.3, 2.0, -2.5, -1.2}) {
    for (const auto *Shape : {Wide, Tall}) {
      const TSimilarity S = {{Base.X + 1000, Base.Y + 1000}, Theta, 0.25, {600, 600}};
      TDoublePoint Positions[3], Pixels[3];
      for (int i = 0; i < 3; ++i) {
        Positions[i] = {Base.X + Shape[i].X, Base.Y + Shape[i].Y};
        Pixels[i] = S(Positions[i]);
      }
      const std::string What = "theta " + std::to_string(Theta) + (Shape == Wide ? " wide" : " tall");
      TCalibration Cal;
      ASSERT_EQ(Cal.CalibrateRD3(Pixels[0], Pixels[1], Pixels[2], Positions[0], Positions[1], Positions[2],
                                 1200, 1200),
                1)
          << What;
      EXPECT_NEAR(Cal.Rotation(), Theta, 1e-12) << What;
      for (const TDoublePoint P : {TDoublePoint{Base.X, Base.Y}, TDoublePoint{Base.X + 2500, Base.Y + 1700},
                                   TDoublePoint{Base.X + 5000, Base.Y - 800}}) {
        ExpectPointNear(Cal.ProjectedToPixel(P), S(P), 1e-7, What);
        ExpectPointNear(Cal.PixelToProjected(S(P)), P, 1e-6, What);
      }
    }
  }
}

// --- Rounding and errors ------------------------------------------------------------------

TEST(TCalibration, ProjectedToPixelIntRoundsHalvesUp) {
  TCalibration Cal;  // projected (x, y) metres = pixel (x, y)
  ASSERT_EQ(Cal.CalibrateRD2({0, 0}, {1000, 1000}, {0, 0}, {1000, 1000}, 1000, 1000), 1);
  const struct {
    TDoublePoint Projected;
    int32_t X, Y;
  } cases[] = {
      {{10.5, -10.5}, 11, -10}, {{2.5, -2.5}, 3, -2}, {{-0.5, 3.5}, 0, 4},
      {{0.49999999999999994, -0.50000000000000011}, 0, -1}, {{99.4, 49.6}, 99, 50},
  };
  for (int i = 0; i < int(std::size(cases)); ++i) {
    int32_t x = 0, y = 0;
    Cal.ProjectedToPixelInt(cases[i].Projected, x, y);
    EXPECT_EQ(x, cases[i].X) << "case " << i;
    EXPECT_EQ(y, cases[i].Y) << "case " << i;
  }
  int32_t x = 0, y = 0;
  EXPECT_THROW(Cal.ProjectedToPixelInt({3e9, 0}, x, y), EGeodeticsError);
  EXPECT_THROW(Cal.ProjectedToPixelInt({0, NAN}, x, y), EGeodeticsError);
}

TEST(TCalibration, SetUpWithoutDatumIsAnError) {
  TCalibration Cal;
  try {
    Cal.CalibrateTransverseMercator2({0, 0}, {100, 100}, {0, 0}, {100, -100}, UTMK0, UTM31Lon0, 100, 100, nullptr);
    FAIL() << "no error";
  } catch (const EGeodeticsError &e) {
    EXPECT_EQ(e.Message(), "TCalibration.CalibrateTransverseMercator2: Datum is nil");
  }
  EXPECT_THROW(Cal.CalibrateMercator3({0, 0}, {100, 0}, {0, 100}, {0, 0}, {1, 0}, {0, 1}, 100, 100, nullptr),
               EGeodeticsError);
}

TEST(TCalibration, ConversionBeforeSetUpIsAnError) {
  const TCalibration Empty;
  TCalibration Set;
  ASSERT_EQ(Set.CalibrateRD2({0, 0}, {1000, 1000}, {0, 0}, {1000, 1000}, 1000, 1000), 1);
  try {
    Empty.WGS84ToPixel({0.9, 0.1});
    FAIL() << "no error";
  } catch (const EGeodeticsError &e) {
    EXPECT_EQ(e.Message(), "TCalibration: Not calibrated");
  }
  EXPECT_THROW(Empty.PixelToWGS84({1, 2}), EGeodeticsError);
  EXPECT_THROW(Empty.GeographicToPixel({0.9, 0.1}), EGeodeticsError);
  EXPECT_THROW(Empty.PixelToPixel({1, 2}, Set), EGeodeticsError);
  EXPECT_THROW(Set.PixelToPixel({1, 2}, Empty), EGeodeticsError);
}

// --- Calibrated charts ------------------------------------------------------------------------

namespace {

// A chart of W x H pixels whose corner pixels (0, 0) and (W, H) show the
// north-west and south-east corners, calibrated with those two points, or with
// the south-west corner as a third.
struct TChartCase {
  const char *Name;
  uint8_t Kind;
  const char *Datum;
  int Points;
  TDoublePoint NorthWest, SouthEast;  // (lat, lon) in degrees
};

TDoublePoint Project(const TChartCase &c, const TDoublePoint &Geographic, const TGeodeticDatum *Datum) {
  switch (c.Kind) {
  case gcsMercator:
    return MercatorForward(Geographic, Datum->Ellipsoid);
  case gcsTransverseMercator:
    return TransverseMercatorForward(Geographic, Datum->Ellipsoid, UTMK0, UTM31Lon0);
  default:
    return RDForward(Geographic);
  }
}

int Calibrate(TCalibration &Cal, const TChartCase &c, int32_t W, int32_t H) {
  const TGeodeticDatum *Datum = GeodeticDatumCreate(c.Datum);
  const TDoublePoint NW = Geo(c.NorthWest.X, c.NorthWest.Y), SE = Geo(c.SouthEast.X, c.SouthEast.Y);
  const TDoublePoint SW = {SE.X, NW.Y};
  const TDoublePoint E[3] = {Project(c, NW, Datum), Project(c, SE, Datum), Project(c, SW, Datum)};
  // Grid north up: the third pixel follows from the grid position of the
  // south-west corner, which is off the box's corner in a transverse grid.
  const double Sx = W / (E[1].X - E[0].X), Sy = H / (E[1].Y - E[0].Y);
  const TDoublePoint P[3] = {{0, 0}, {double(W), double(H)}, {(E[2].X - E[0].X) * Sx, (E[2].Y - E[0].Y) * Sy}};
  return SetUpFor(c.Kind, c.Points).Run(Cal, P, E, W, H, Datum);
}

const TChartCase Charts[] = {
    {"Mercator WGS 84, 2 points", gcsMercator, "WGE", 2, {53.5, 3.0}, {52.0, 5.5}},
    {"Mercator ED50, 3 points", gcsMercator, "EUR-A", 3, {53.5, 3.0}, {52.0, 5.5}},
    {"UTM 31 ED50, 2 points", gcsTransverseMercator, "EUR-A", 2, {52.6, 2.5}, {51.8, 4.2}},
    {"UTM 31 WGS 84, 3 points", gcsTransverseMercator, "WGE", 3, {52.6, 2.5}, {51.8, 4.2}},
    {"RD, 2 points", gcsRD, "RD-OLD", 2, {52.5, 4.5}, {51.9, 5.8}},
    {"RD, 3 points", gcsRD, "RD-OLD", 3, {52.5, 4.5}, {51.9, 5.8}},
};

} // namespace

class CalibratedChart : public testing::TestWithParam<TChartCase> {};

// The reference pixels give back their own positions; every pixel survives the
// way to WGS 84 and back. Pixels here are 40 to 140 m. The projections' series
// round trips stay under a millimetre (2e-5 pixel); the 2-D datum changes also
// drop the ellipsoidal height each way, which moves a point by well under a
// centimetre (1e-4 pixel).
TEST_P(CalibratedChart, PixelToWGS84AndBack) {
  const TChartCase &c = GetParam();
  TCalibration Cal;
  ASSERT_LE(Calibrate(Cal, c, 2000, 1500), 1);
  EXPECT_EQ(Cal.System().Kind, c.Kind);
  EXPECT_EQ(Cal.System().Datum, GeodeticDatumCreate(c.Datum));
  ExpectPointNear(Cal.PixelToGeographic({0, 0}), Geo(c.NorthWest.X, c.NorthWest.Y), 1e-10, "north-west");
  ExpectPointNear(Cal.PixelToGeographic({2000, 1500}), Geo(c.SouthEast.X, c.SouthEast.Y), 1e-10, "south-east");
  for (int y = -300; y <= 1800; y += 350)
    for (int x = -400; x <= 2400; x += 400) {
      const TDoublePoint WGS84 = Cal.PixelToWGS84Int(x, y);
      ExpectPointNear(Cal.WGS84ToPixel(WGS84), {double(x), double(y)}, 1e-4,
                      "pixel " + std::to_string(x) + "," + std::to_string(y));
      ExpectPointNear(Cal.GeographicToPixel(Cal.PixelToGeographic({x + 0.5, y + 0.25})), {x + 0.5, y + 0.25},
                      2e-5, "chart datum");
    }
}

INSTANTIATE_TEST_SUITE_P(Charts, CalibratedChart, testing::ValuesIn(Charts),
                         [](const testing::TestParamInfo<TChartCase> &info) {
                           return "Chart" + std::to_string(info.index);
                         });

// Mercator x grows linearly with longitude: half-way between the reference
// pixels lies the mean longitude.
TEST(TCalibration, MercatorChartIsLinearInLongitude) {
  TCalibration Cal;
  ASSERT_EQ(Calibrate(Cal, Charts[0], 2000, 1500), 1);
  const TDoublePoint Mid = Cal.PixelToWGS84({1000, 123});
  EXPECT_NEAR(Mid.Y, 4.25 * Deg, 1e-12);
  EXPECT_EQ(Cal.PixelToWGS84({1000, 1400}).Y, Mid.Y);
}

// The RD origin, Amersfoort: RD (155000, 463000) is by definition 52.15616056 N,
// 5.38763889 E on Bessel; its published ETRS89 position is 52.15517440 N,
// 5.38720621 E. The three-parameter RD-OLD shift reproduces that to about half
// a metre there (and ETRS89 is within a metre of WGS 84): 1.5e-7 rad is 1 m,
// and so is 0.1 pixel of this 10 m chart.
TEST(TCalibration, RDChartPlacesAmersfoort) {
  TCalibration Cal;
  ASSERT_EQ(Cal.CalibrateRD2({0, 0}, {2000, 2000}, {145000, 473000}, {165000, 453000}, 2000, 2000), 1);
  ExpectPointNear(Cal.PixelToGeographic({1000, 1000}), Geo(52.15616056, 5.38763889), 1e-9, "Bessel");
  ExpectPointNear(Cal.PixelToWGS84({1000, 1000}), Geo(52.15517440, 5.38720621), 1.5e-7, "WGS 84");
  ExpectPointNear(Cal.WGS84ToPixel(Geo(52.15517440, 5.38720621)), {1000, 1000}, 0.1, "pixel");
}

// A pixel of one chart lands on the pixel of another chart that shows the
// same place, whichever grids and datums the two use.
TEST(TCalibration, PixelToPixelBetweenCharts) {
  const TChartCase Overlap[] = {
      {"RD", gcsRD, "RD-OLD", 3, {52.5, 4.5}, {51.9, 5.8}},
      {"Mercator ED50", gcsMercator, "EUR-A", 2, {52.6, 4.3}, {51.8, 6.0}},
      {"UTM 31 WGS 84", gcsTransverseMercator, "WGE", 3, {52.7, 4.0}, {51.7, 5.9}},
  };
  TCalibration Cals[3];
  for (int i = 0; i < 3; ++i)
    ASSERT_LE(Calibrate(Cals[i], Overlap[i], 1600, 1200), 1) << Overlap[i].Name;
  for (int s = 0; s < 3; ++s)
    for (int d = 0; d < 3; ++d)
      for (const TDoublePoint P : {TDoublePoint{100, 100}, TDoublePoint{800, 600}, TDoublePoint{1500, 1100}}) {
        const std::string What = std::string(Overlap[s].Name) + " -> " + Overlap[d].Name;
        const TDoublePoint Via = Cals[d].WGS84ToPixel(Cals[s].PixelToWGS84(P));
        const TDoublePoint Direct = Cals[d].PixelToPixel(P, Cals[s]);
        ExpectPointNear(Direct, Via, 1e-3, What);
        ExpectPointNear(Cals[s].PixelToPixel(Direct, Cals[d]), P, 1e-3, What + " and back");
      }
}
