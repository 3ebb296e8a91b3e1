// Private to the geodetics sections: the process-wide tables and the helpers
// the ellipsoid, datum and transform sources share.
#pragma once

#include "VmGeodetics.h"

#include <cmath>
#include <memory>
#include <vector>

// Source names the contract assertions of each section report.
inline constexpr char EllipsoidsUnitName[] = "VmLib\\VmGeodeticsEllipsoids";
inline constexpr char DatumsUnitName[] = "VmLib\\VmGeodeticsDatums";
inline constexpr char TransformUnitName[] = "VmLib\\VmGeodeticsTransform";

// The documents most table rows cite.
inline constexpr char NimaReference[] =
    "\"Department of Defence World Geodetic System 1984, It's definition and relationships with Local "
    "Geodetic Systems\", NIMA TR8350.2 Third edition Amendment 1, 3 January 2000.";
inline constexpr char StanagReference[] = "NATO STANAG 2211";

// The tables of the unit. Built once, on first use, in the order the datums
// need: ellipsoids, datums, old datum names. The fixed rows never change
// afterwards (apart from old names attached through GeodeticDatumOldInitialize);
// custom rows are appended under GeodeticsLock() and never move, because they
// are held by pointer.
struct TGeodeticTables {
  std::vector<TGeodeticEllipsoid> Ellipsoids;  // the fixed table, one contiguous block
  std::vector<std::unique_ptr<TGeodeticEllipsoid>> CustomEllipsoids;
  std::vector<std::unique_ptr<TGeodeticDatum>> Datums;  // the fixed table, sorted by code
  std::vector<std::unique_ptr<TGeodeticDatum>> CustomDatums;
  const TGeodeticDatum *WGS84 = nullptr;  // the "WGE" row
  const TGeodeticDatum *RDOld = nullptr;  // the "RD-OLD" row every RD system carries

  TGeodeticTables();
  ~TGeodeticTables();
  TGeodeticTables(const TGeodeticTables &) = delete;
  TGeodeticTables &operator=(const TGeodeticTables &) = delete;
};

// The tables, built by the first caller (thread-safe).
TGeodeticTables &GeodeticTables();

// Section builders, called in this order by the tables' constructor.
void BuildEllipsoidTable(TGeodeticTables &Tables);
void BuildDatumTable(TGeodeticTables &Tables);
void AttachOldDatumNames(TGeodeticTables &Tables);

// Lookups that work on a table under construction.
const TGeodeticEllipsoid *FindEllipsoid(const TGeodeticTables &Tables, const std::string &Code);
void AttachOldDatumName(TGeodeticTables &Tables, const char *OldName, const std::string &Code);

// Fills the derived fields of an ellipsoid from a and 1/f.
void FillEllipsoid(TGeodeticEllipsoid &Ellipsoid, long double A, long double InvF);

// Sum of Coef[k] * sin(2 (k + 1) x) for k = 0..3, given sin 2x and cos 2x:
// one sine and cosine instead of four sines. With u = cos 2x, sin 4x =
// sin 2x (2u), sin 6x = sin 2x (4u^2 - 1) and sin 8x = sin 2x (8u^3 - 4u), so
// the sum is sin 2x times a cubic in u. Its coefficients are worked out once
// per projection object and held as doubles, like the series coefficients
// they come from; the cubic is evaluated in Estrin's scheme, whose two halves
// the processor works on at once (a short dependency chain is what counts in
// x87 code, where every operation waits for the one before).
class TSineSeries {
public:
  explicit TSineSeries(const double (&Coef)[4])
      : P0(static_cast<double>(static_cast<long double>(Coef[0]) - Coef[2])),
        P1(static_cast<double>(2 * static_cast<long double>(Coef[1]) - 4 * static_cast<long double>(Coef[3]))),
        P2(4 * Coef[2]), P3(8 * Coef[3]) {}
  long double operator()(long double SinTwoX, long double CosTwoX) const {
    const long double u = CosTwoX;
    return SinTwoX * ((P0 + P1 * u) + u * u * (P2 + P3 * u));
  }

private:
  double P0, P1, P2, P3;
};

// A double in memory, read afresh at this use: the empty statement tells the
// compiler that the value may have changed there. Under register pressure the
// compiler's x87 code spills a value it has loaded as 80 bits (a store and a
// reload cost some ten cycles), even where the value is a double in memory
// anyway, such as a result of the library; a fresh load of the double costs
// under one cycle and gives the same extended value.
inline long double Reload(double &x) {
  asm("" : "+m"(x));
  return x;
}

// Sine and cosine of one angle, computed together (the compiler merges the
// two calls into one sincos where the C library has it). Like every
// elementary function of the geodetic formulas they are the library's, in
// double precision, while the arithmetic around them is done in long double:
// the x87 versions cost five to ten times as much per call, and their extra
// bits do not survive the rounding of every result to double (the difference
// is below a nanometre on the ground), while conversion throughput is what
// callers converting whole chart outlines notice.
inline void SinCos(double x, double &SinX, double &CosX) {
  SinX = std::sin(x);
  CosX = std::cos(x);
}

// The projections with what depends only on the ellipsoid and the system
// worked out once: the conversion engine makes one per call and runs it over
// every point; the single-point functions of VmGeodetics.h make one per point.
// Each direction writes the first two values of Out, which may be In, and
// leaves the height to the caller: stored straight from the extended
// registers, the results take no detour through a returned pair.
class TMercator {
public:
  explicit TMercator(const TGeodeticEllipsoid *Ellipsoid);
  void Forward(const TDoublePoint3 &Geographic, TDoublePoint3 &Out) const;
  void Inverse(const TDoublePoint3 &Projected, TDoublePoint3 &Out) const;
  long double IsometricScaled(double Phi) const;  // a psi, the Mercator y
  long double Geodetic(long double Chi) const;     // phi of the conformal latitude chi

private:
  const TGeodeticEllipsoid *FEllipsoid;
  long double FInvA;  // 1 / a
  TSineSeries FConformal;  // conformal latitude to geodetic
};

class TTransverseMercator {
public:
  TTransverseMercator(const TGeodeticEllipsoid *Ellipsoid, double K0, double Lon0);
  void Forward(const TDoublePoint3 &Geographic, TDoublePoint3 &Out) const;
  void Inverse(const TDoublePoint3 &Projected, TDoublePoint3 &Out) const;

  // The constant terms of the series' polynomials. Forward: 5 - 58 e'^2 and
  // 61 - 330 e'^2. Inverse: 5 - 9 e'^2, 5 + 8 e'^2, 61 - 252 e'^2, and 1 + e'^2.
  struct TForwardTerms {
    double X5, Y6;
  };
  struct TInverseTerms {
    double P4, P5, P6, OnePlusEp2;
  };

private:
  const TGeodeticEllipsoid *FEllipsoid;
  double FK0;
  double FLon0;
  TSineSeries FMeridian;   // the meridian arc's sines: -C2, C3, -C4 (C1 phi apart)
  TSineSeries FFootpoint;  // rectifying latitude to footpoint latitude
  // Held as doubles, like the ellipsoid's own factors: the x87 unit loads a
  // double in one step and an 80-bit value in many.
  double FMuScale;  // MuFactor / K0: northing to rectifying latitude
  double FInvAK0;   // 1 / (a K0)
  double FAK0;      // a K0
  TForwardTerms FForwardTerms;
  TInverseTerms FInverseTerms;
};

// One direction of a projection applied to a two-value point, as the
// single-point functions of VmGeodetics.h take and give them.
template <class TProjection>
TDoublePoint ProjectOnePoint(const TProjection &Projection,
                             void (TProjection::*Direction)(const TDoublePoint3 &, TDoublePoint3 &) const,
                             const TDoublePoint &In) {
  TDoublePoint3 Point{In.X, In.Y, 0};
  (Projection.*Direction)(Point, Point);
  return {Point.X, Point.Y};
}
