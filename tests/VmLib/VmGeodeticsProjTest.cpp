// Cross-checks of the projections and datum shifts against PROJ, an
// independent implementation. Native builds only: PROJ is not part of the
// Windows tool chain.
#ifndef _WIN32

#include "VmGeodetics.h"

#include <gtest/gtest.h>
#include <proj.h>
#include <proj_experimental.h>

#include <cmath>
#include <numbers>
#include <memory>
#include <string>

namespace {

constexpr double Degree = std::numbers::pi / 180;
constexpr double EarthRadius = 6378137;

const char *const WGS84Ellipsoid = "+a=6378137 +rf=298.257223563";

// One PROJ transformation with its own context.
class TProj {
public:
  // A PROJ operation string (radians in, as PROJ's projections take them).
  static TProj Operation(const std::string &Definition) {
    TProj Proj;
    Proj.FPJ = proj_create(Proj.FContext, Definition.c_str());
    return Proj;
  }
  // Between two CRS, axes in longitude/latitude or easting/northing order,
  // degrees. Geographic CRS are made three-dimensional so that ellipsoidal
  // heights take part in datum shifts.
  static TProj Between(const std::string &Source, const std::string &Target) {
    TProj Proj;
    PJ *From = Proj.Promoted(Source);
    PJ *To = Proj.Promoted(Target);
    PJ *Raw = From != nullptr && To != nullptr
                  ? proj_create_crs_to_crs_from_pj(Proj.FContext, From, To, nullptr, nullptr)
                  : nullptr;
    if (Raw != nullptr) {
      Proj.FPJ = proj_normalize_for_visualization(Proj.FContext, Raw);
      proj_destroy(Raw);
    }
    proj_destroy(From);
    proj_destroy(To);
    return Proj;
  }

  TProj(TProj &&Other) noexcept : FContext(Other.FContext), FPJ(Other.FPJ) {
    Other.FContext = nullptr;
    Other.FPJ = nullptr;
  }
  TProj(const TProj &) = delete;
  TProj &operator=(const TProj &) = delete;
  ~TProj() {
    if (FPJ != nullptr)
      proj_destroy(FPJ);
    if (FContext != nullptr)
      proj_context_destroy(FContext);
  }

  bool Valid() const { return FPJ != nullptr; }

  PJ_COORD Forward(double A, double B, double C = 0) const {
    return proj_trans(FPJ, PJ_FWD, proj_coord(A, B, C, 0));
  }
  PJ_COORD Inverse(double A, double B, double C = 0) const {
    return proj_trans(FPJ, PJ_INV, proj_coord(A, B, C, 0));
  }

private:
  TProj() : FContext(proj_context_create()) {}

  PJ *Promoted(const std::string &Definition) {
    PJ *Crs = proj_create(FContext, Definition.c_str());
    if (Crs == nullptr)
      return nullptr;
    PJ *Crs3D = proj_crs_promote_to_3D(FContext, nullptr, Crs);
    if (Crs3D == nullptr)
      return Crs;  // already three-dimensional, or projected
    proj_destroy(Crs);
    return Crs3D;
  }

  PJ_CONTEXT *FContext;
  PJ *FPJ = nullptr;
};

TEST(ProjCrossCheck, MercatorAgreesWithProjMerc) {
  const TProj Merc = TProj::Operation(std::string("+proj=merc ") + WGS84Ellipsoid);
  ASSERT_TRUE(Merc.Valid());
  const TGeodeticEllipsoid *WE = GeodeticEllipsoidCreate("WE");
  for (double Lat = -84; Lat <= 84; Lat += 6)
    for (double Lon = -177; Lon <= 177; Lon += 59) {
      const PJ_COORD Ref = Merc.Forward(Lon * Degree, Lat * Degree);
      const TDoublePoint P = MercatorForward({Lat * Degree, Lon * Degree}, WE);
      EXPECT_NEAR(P.X, Ref.xy.x, 1e-6) << Lat << " " << Lon;
      EXPECT_NEAR(P.Y, Ref.xy.y, 1e-6) << Lat << " " << Lon;
      // Closed conformal-latitude series against PROJ's iteration.
      const TDoublePoint G = MercatorInverse({Ref.xy.x, Ref.xy.y}, WE);
      EXPECT_NEAR(G.X, Merc.Inverse(Ref.xy.x, Ref.xy.y).lp.phi, 1e-11) << Lat << " " << Lon;
      EXPECT_NEAR(G.Y, Lon * Degree, 1e-14) << Lat << " " << Lon;
    }
}

// Snyder's series (our transverse Mercator) against PROJ's series of the same
// family (+approx) and against its default algorithm, which is exact to a few
// nanometres. Within 3 degrees of the central meridian both agree with ours
// to under a millimetre (0.96 mm at worst, from the series truncation); the
// difference grows quickly beyond (about 1 cm at 6 degrees).
TEST(ProjCrossCheck, TransverseMercatorAgreesWithProjTmerc) {
  const std::string Zone = std::string("+proj=tmerc +lat_0=0 +lon_0=3 +k=0.9996 ") + WGS84Ellipsoid;
  const TProj Approx = TProj::Operation(Zone + " +approx");
  const TProj Exact = TProj::Operation(Zone);
  ASSERT_TRUE(Approx.Valid());
  ASSERT_TRUE(Exact.Valid());
  const TGeodeticEllipsoid *WE = GeodeticEllipsoidCreate("WE");
  for (double Lat = -80; Lat <= 80; Lat += 8)
    for (double Lon = 0; Lon <= 6; Lon += 0.75) {
      const TDoublePoint P = TransverseMercatorForward({Lat * Degree, Lon * Degree}, WE, 0.9996, 3 * Degree);
      for (const TProj *Proj : {&Approx, &Exact}) {
        const PJ_COORD Ref = Proj->Forward(Lon * Degree, Lat * Degree);
        EXPECT_NEAR(P.X, Ref.xy.x, 2e-3) << Lat << " " << Lon;
        EXPECT_NEAR(P.Y, Ref.xy.y, 2e-3) << Lat << " " << Lon;
        const TDoublePoint G = TransverseMercatorInverse({Ref.xy.x, Ref.xy.y}, WE, 0.9996, 3 * Degree);
        EXPECT_NEAR(G.X, Lat * Degree, 2e-3 / EarthRadius) << Lat << " " << Lon;
        EXPECT_NEAR((G.Y - Lon * Degree) * std::cos(Lat * Degree), 0, 2e-3 / EarthRadius) << Lat << " " << Lon;
      }
    }
}

TEST(ProjCrossCheck, RDPolynomialAgreesWithEPSG28992) {
  // Amersfoort geographic (EPSG:4289) to RD New (EPSG:28992): the oblique
  // stereographic projection the polynomial approximates, on the same datum.
  // Over the Netherlands they agree to about a millimetre.
  const TProj RD = TProj::Between("EPSG:4289", "EPSG:28992");
  ASSERT_TRUE(RD.Valid());
  for (double Lat = 50.75; Lat <= 53.5; Lat += 0.25)
    for (double Lon = 3.4; Lon <= 7.2; Lon += 0.3) {
      const PJ_COORD Ref = RD.Forward(Lon, Lat);
      const TDoublePoint P = RDForward({Lat * Degree, Lon * Degree});
      EXPECT_NEAR(P.X, Ref.xy.x, 5e-3) << Lat << " " << Lon;
      EXPECT_NEAR(P.Y, Ref.xy.y, 5e-3) << Lat << " " << Lon;
      const TDoublePoint G = RDInverse({Ref.xy.x, Ref.xy.y});
      EXPECT_NEAR(G.X, Lat * Degree, 5e-3 / EarthRadius) << Lat << " " << Lon;
      EXPECT_NEAR((G.Y - Lon * Degree) * std::cos(Lat * Degree), 0, 5e-3 / EarthRadius) << Lat << " " << Lon;
    }
}

// Shifts to WGS 84 through the conversion engine against PROJ's +towgs84 (a
// Helmert transformation in the position-vector convention, in the usual
// frame) between the same ellipsoids.
void ExpectShiftMatches(const char *DatumCode, const std::string &SourceCRS, double Tolerance) {
  const TProj Proj = TProj::Between(SourceCRS, "+proj=longlat +datum=WGS84 +type=crs");
  ASSERT_TRUE(Proj.Valid());
  const TGeodeticCoordinateSystem Src = CoordinateSystemGeographic(GeodeticDatumCreate(DatumCode));
  const TGeodeticCoordinateSystem Dst = CoordinateSystemGeographic(WGS84Datum());
  for (double Lat = 50.5; Lat <= 53.5; Lat += 1.0)
    for (double Lon = 3.5; Lon <= 7.5; Lon += 1.0) {
      const TDoublePoint3 In{Lat * Degree, Lon * Degree, 45};
      TDoublePoint3 Out;
      ConvertPoints(1, &Out, Dst, nullptr, nullptr, Src, &In);
      const PJ_COORD Ref = Proj.Forward(Lon, Lat, 45);
      EXPECT_NEAR(Out.X / Degree, Ref.lpz.phi, Tolerance / EarthRadius / Degree) << DatumCode << " " << Lat << " " << Lon;
      EXPECT_NEAR(Out.Y / Degree, Ref.lpz.lam, Tolerance / EarthRadius / Degree) << DatumCode << " " << Lat << " " << Lon;
      EXPECT_NEAR(Out.Z, Ref.lpz.z, Tolerance) << DatumCode << " " << Lat << " " << Lon;
    }
}

TEST(ProjCrossCheck, ThreeParameterShiftAgreesWithTowgs84) {
  ExpectShiftMatches("EUR-A", "+proj=longlat +ellps=intl +towgs84=-87,-96,-120 +type=crs", 1e-3);
  ExpectShiftMatches("RD-OLD", "+proj=longlat +ellps=bessel +towgs84=593.16,26.15,478.54 +type=crs", 1e-3);
}

// The "RD" row is published as rX, rY, rZ = 0.4094, -0.3597, 1.8685 arc
// seconds in the coordinate-frame convention, so PROJ's +towgs84 (position
// vector) needs the opposite signs. PROJ linearises the small rotations; that
// and nothing else separates the two, by well under a centimetre.
TEST(ProjCrossCheck, SevenParameterRDRowIsCoordinateFrame) {
  ExpectShiftMatches("RD",
                     "+proj=longlat +ellps=bessel +towgs84=565.04,49.91,465.84,-0.4094,0.3597,-1.8685,4.0772 +type=crs",
                     1e-2);
  // The same numbers read as position-vector rotations land tens of metres away.
  const TProj Wrong = TProj::Between(
      "+proj=longlat +ellps=bessel +towgs84=565.04,49.91,465.84,0.4094,-0.3597,1.8685,4.0772 +type=crs",
      "+proj=longlat +datum=WGS84 +type=crs");
  ASSERT_TRUE(Wrong.Valid());
  const TDoublePoint3 In{52 * Degree, 5 * Degree, 0};
  TDoublePoint3 Out;
  ConvertPoints(1, &Out, CoordinateSystemGeographic(WGS84Datum()), nullptr, nullptr,
                CoordinateSystemGeographic(GeodeticDatumCreate("RD")), &In);
  const PJ_COORD Ref = Wrong.Forward(5, 52, 0);
  const double Apart = std::hypot((Out.X / Degree - Ref.lpz.phi) * Degree * EarthRadius,
                                  (Out.Y / Degree - Ref.lpz.lam) * Degree * EarthRadius * std::cos(52 * Degree));
  EXPECT_GT(Apart, 10);
}

}  // namespace

#endif
