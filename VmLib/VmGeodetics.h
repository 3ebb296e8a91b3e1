// Geodetic library: the fixed tables of reference ellipsoids and datums, datum
// changes through WGS 84, the Mercator, transverse Mercator and Dutch RD
// projections, and the conversion engine between coordinate systems.
//
// Conventions used throughout:
// - Angles are radians. A geographic point is (latitude, longitude[, height]),
//   latitude first, positive north and east, height in metres above the
//   ellipsoid. In TDoublePoint / TDoublePoint3 the latitude is X and the
//   longitude Y.
// - A projected point is (x, y) = (easting, northing) in metres (RD: X, Y).
// - Geocentric (X, Y, Z) use an Earth-centred frame whose Y axis points to
//   longitude 90 degrees WEST (Y = -N cos(phi) sin(lambda)). Every geocentric
//   value and datum matrix of this unit is in that frame.
// - Intermediate arithmetic is done in long double (80-bit extended on x86)
//   and results are stored as doubles.
//
// Ellipsoid and datum records live in process-wide tables built on first use
// and kept until the program ends; callers hold plain pointers and never free
// them. The fixed tables are immutable; custom records are added under
// GeodeticsLock().
#pragma once

#include "SysUtils.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

VM_DECLARE_EXCEPTION(EGeodeticsError, Exception);

// --- Points -----------------------------------------------------------------

// Two-dimensional point: geographic (latitude, longitude) or projected (x, y).
struct TDoublePoint {
  double X;
  double Y;
};

// Three-dimensional point (24 bytes): geographic (latitude, longitude, height),
// projected (x, y, height), geocentric or local Cartesian (x, y, z).
struct TDoublePoint3 {
  double X;
  double Y;
  double Z;
};
static_assert(sizeof(TDoublePoint3) == 24, "a point is three packed doubles");

// 4 x 4 matrix acting on row vectors: p' = (x, y, z, 1) * M, so the
// translation sits in the fourth row. Row-major: M[row][column].
struct TGeodeticMatrix {
  double M[4][4];
};

// --- Ellipsoids ---------------------------------------------------------------

// One reference ellipsoid. Only Code, the strings, A and InvF are given; the
// rest is derived when the record is filled. The series arrays are indexed 0..3
// for the coefficients numbered 1..4 in the formulas.
struct TGeodeticEllipsoid {
  uint32_t Code;          // EllipsoidCodeKey of the two-letter code; 0 for a custom ellipsoid
  std::string Name;       // e.g. "Bessel 1841"; empty for a custom ellipsoid
  std::string Region;     // area-of-use remark, often empty
  std::string Reference;  // document the values come from
  double A;               // semi-major axis a (m)
  double B;               // semi-minor axis b = a - f a
  double E;               // first eccentricity e
  double E2Prime;         // second eccentricity squared e'^2 = e^2 / (1 - e^2)
  double E2;              // first eccentricity squared e^2 = 2f - f^2
  double F;               // flattening f = 1 / InvF
  double InvF;            // inverse flattening
  // Conformal latitude chi to geodetic latitude: phi = chi + sum ConformalCoef[k-1] sin(2k chi).
  double ConformalCoef[4];
  // Meridian arc M = a (C1 phi - C2 sin 2phi + C3 sin 4phi - C4 sin 6phi).
  double MeridianCoef[4];
  double MuFactor;  // 1 / (a C1): rectifying latitude mu = M * MuFactor
  // Rectifying latitude mu to footpoint latitude: phi1 = mu + sum FootpointCoef[k-1] sin(2k mu).
  double FootpointCoef[4];
};

// Packs a code of 1 to 4 characters into 32 bits, first character in the top
// byte, missing characters counting as 0 ("AA" -> 0x41410000). Any other length
// fails a contract assertion.
uint32_t EllipsoidCodeKey(const std::string &Code);

// The fixed ellipsoid by its two-letter code (case-sensitive). Unknown codes
// raise EGeodeticsError "GeodeticEllipsoidCreate: Unknown ellipsoid code \"<code>\"".
const TGeodeticEllipsoid *GeodeticEllipsoidCreate(const std::string &Code);

// The record with exactly (bitwise) these A and InvF: a fixed row (the last
// matching one) or a custom record, created on first request.
const TGeodeticEllipsoid *GeodeticEllipsoidCreateFromParameters(double InvF, double A);

// Read access to the fixed table (25 rows, sorted by code).
int GeodeticEllipsoidCount();
const TGeodeticEllipsoid *GeodeticEllipsoidByIndex(int Index);

// --- Datums -------------------------------------------------------------------

// A datum: its ellipsoid and the shift to WGS 84, with the two precomputed
// matrices. Parameters are in internal form: the unit's geocentric frame
// (DY = -published dY), rotations in radians with the internal signs
// (RX = -rX, RY = +rY, RZ = -rZ of the published arc seconds), Scale = 1 + ppm * 1e-6.
struct TGeodeticDatum {
  std::string Code;       // table code, e.g. "EUR-A"; empty for a custom datum
  std::string Region;     // area of use
  std::string Name;       // e.g. "EUROPEAN 1950"
  const char *OldName;    // alternative display name (not owned, not copied); may be null
  std::string Reference;  // document the parameters come from
  const TGeodeticEllipsoid *Ellipsoid;
  double DX;
  double DY;
  double DZ;
  double RX;
  double RY;
  double RZ;
  double Scale;
  TGeodeticMatrix ToLocal;  // WGS 84 geocentric -> this datum's geocentric
  TGeodeticMatrix ToWGS84;  // this datum's geocentric -> WGS 84 geocentric
  bool IsWGS84;             // WGS 84 in all but name
};

// The fixed datum by code (case-sensitive). Unknown codes raise
// EGeodeticsError "GeodeticDatumCreate: Unknown datum code \"<code>\"".
const TGeodeticDatum *GeodeticDatumCreate(const std::string &Code);

// The fixed datum by its old display name (case-sensitive, scanned from the
// last row). Unknown names raise EGeodeticsError
// "GeodeticDatumCreateFromOldName: Unknown geodetic datum \"<name>\"".
const TGeodeticDatum *GeodeticDatumCreateFromOldName(const std::string &OldName);

// Attaches OldName (not copied: it must outlive the program's use of the
// tables) to the fixed row with this code. An unknown code raises
// EGeodeticsError "GeodeticDatumOldInitialize: Datum not found.".
void GeodeticDatumOldInitialize(const char *OldName, const std::string &Code);

// The record with this ellipsoid and exactly these internal parameters: a
// fixed row or a custom datum, created on first request. Non-finite parameters
// or a scale that is not positive raise EGeodeticsError
// "GeodeticDatumCreateFromParameters: Invalid datum parameters.".
const TGeodeticDatum *GeodeticDatumCreateFromParameters(const TGeodeticEllipsoid *Ellipsoid, double DX,
                                                        double DY, double DZ, double RX, double RY,
                                                        double RZ, double Scale);

// A translation-only datum on the WGS 84 ellipsoid under which a position read
// near Position (latitude, longitude on WGS 84) lands on the WGS 84 position
// shifted by (-DLat, -DLon). All values in radians.
const TGeodeticDatum *GeodeticDatumCreateFromShift(const TDoublePoint &Position, double DLat, double DLon);

// The fixed "WGE" row.
const TGeodeticDatum *WGS84Datum();

// Same record, or both WGS 84 in all but name.
bool DatumsEquivalent(const TGeodeticDatum *A, const TGeodeticDatum *B);

// Read access to the fixed table (229 rows, sorted by code).
int GeodeticDatumCount();
const TGeodeticDatum *GeodeticDatumByIndex(int Index);

// The process-wide lock held while a custom ellipsoid or datum is added.
std::mutex &GeodeticsLock();

// --- Geocentric conversion and datum changes ------------------------------------

// Geographic to geocentric; the first form ignores any height (uses 0).
TDoublePoint3 GeodeticToGeocentric(const TDoublePoint &Point, const TGeodeticEllipsoid *Ellipsoid);
TDoublePoint3 GeodeticToGeocentric(const TDoublePoint3 &Point, const TGeodeticEllipsoid *Ellipsoid);
TDoublePoint3 GeodeticToGeocentricH(const TDoublePoint3 &Point, const TGeodeticEllipsoid *Ellipsoid);
// Geocentric to geographic (latitude, longitude, height); Bowring's closed form.
TDoublePoint3 GeocentricToGeodetic(const TDoublePoint3 &Point, const TGeodeticEllipsoid *Ellipsoid);

// Datum changes, pivoting through WGS 84. Out may alias In.
void DatumChangeGeocentric(TDoublePoint3 &Out, const TGeodeticDatum *DstDatum, const TDoublePoint3 &In,
                           const TGeodeticDatum *SrcDatum);
void DatumChangeGeodetic(TDoublePoint3 &Out, const TGeodeticDatum *DstDatum, const TDoublePoint3 &In,
                         const TGeodeticDatum *SrcDatum);
// Without heights: the input height is ignored and the output height is 0.
void DatumChangeGeodetic2D(TDoublePoint3 &Out, const TGeodeticDatum *DstDatum, const TDoublePoint3 &In,
                           const TGeodeticDatum *SrcDatum);
void DatumChangeGeodetic2D(TDoublePoint &Out, const TGeodeticDatum *DstDatum, const TDoublePoint &In,
                           const TGeodeticDatum *SrcDatum);

// p * M for a point and one of the 4 x 4 matrices above.
TDoublePoint3 TransformPoint(const TDoublePoint3 &Point, const TGeodeticMatrix &Matrix);

// General 4 x 4 inverse. A singular matrix raises EGeodeticsError
// "InvertMatrix: Matrix is singular.".
TGeodeticMatrix InvertMatrix(const TGeodeticMatrix &Matrix);

// --- Map projections and grids ---------------------------------------------------
// No false easting or northing except the RD grid's own origin. Only the first
// two values of a point are produced; heights are the caller's business.

// Ellipsoidal Mercator, scale 1 on the equator, origin at (0, 0).
TDoublePoint MercatorForward(const TDoublePoint &Geographic, const TGeodeticEllipsoid *Ellipsoid);
TDoublePoint MercatorInverse(const TDoublePoint &Projected, const TGeodeticEllipsoid *Ellipsoid);
// a * psi, psi the isometric latitude: the Mercator y of latitude Phi.
double IsometricLatitudeScaled(double Phi, const TGeodeticEllipsoid *Ellipsoid);
// Geodetic latitude of conformal latitude Chi (closed series).
double ConformalToGeodetic(double Chi, const TGeodeticEllipsoid *Ellipsoid);

// Transverse Mercator, origin on the equator at Lon0, scale K0 on that meridian.
TDoublePoint TransverseMercatorForward(const TDoublePoint &Geographic, const TGeodeticEllipsoid *Ellipsoid,
                                       double K0, double Lon0);
TDoublePoint TransverseMercatorInverse(const TDoublePoint &Projected, const TGeodeticEllipsoid *Ellipsoid,
                                       double K0, double Lon0);

// Dutch RD grid: Bessel geographic coordinates on the "RD-OLD" datum <-> RD
// metres (X, Y), by the RD approximation polynomials.
TDoublePoint RDForward(const TDoublePoint &Geographic);
TDoublePoint RDInverse(const TDoublePoint &Grid);

// --- Coordinate systems and the conversion engine ------------------------------------

// Kinds of coordinate system; only the low 7 bits of Kind select the kind.
enum TGeodeticCoordinateSystemKind : uint8_t {
  gcsGeographic = 0,
  gcsMercator = 1,
  gcsTransverseMercator = 2,
  gcsRD = 3,
  gcsLocalCartesian = 4,
};
constexpr int GeodeticCoordinateSystemKinds = 5;

struct TGeodeticCoordinateSystem {
  uint8_t Kind;                         // a TGeodeticCoordinateSystemKind
  const TGeodeticDatum *Datum;          // not owned
  TGeodeticMatrix LocalToGeocentric;    // local Cartesian: local (x, y, z) -> datum geocentric
  TGeodeticMatrix GeocentricToLocal;    // local Cartesian: datum geocentric -> local
  double K0;                            // transverse Mercator: scale on the central meridian
  double Lon0;                          // transverse Mercator: central meridian, radians
};

// Initialisers; each starts from an all-zero record.
TGeodeticCoordinateSystem CoordinateSystemGeographic(const TGeodeticDatum *Datum);
TGeodeticCoordinateSystem CoordinateSystemMercator(const TGeodeticDatum *Datum);
TGeodeticCoordinateSystem CoordinateSystemTransverseMercator(const TGeodeticDatum *Datum, double K0, double Lon0);
// The RD grid always carries the "RD-OLD" datum.
TGeodeticCoordinateSystem CoordinateSystemRD();
// A local Cartesian frame given by its local -> datum geocentric matrix (row
// vectors, unit's geocentric frame); GeocentricToLocal is its inverse.
TGeodeticCoordinateSystem CoordinateSystemLocalCartesian(const TGeodeticDatum *Datum,
                                                         const TGeodeticMatrix &LocalToGeocentric);

// Progress report: Sender is the caller's value, Percent 0..100.
using TGeodeticProgress = std::function<void(void *Sender, float Percent)>;

// Converts Count points from SrcSystem to DstSystem. Point i is read from In[i]
// and written to Out[i], so Out may be In. Progress, when set, hears 0, at
// most about a hundred intermediate values, then 100. Kinds of 5 or more
// raise EGeodeticsError "Unknown geodetic coordinate system."; a system without
// a datum where one is needed raises EGeodeticsError
// "ConvertPoints: Coordinate system has no datum.".
void ConvertPoints(int Count, TDoublePoint3 *Out, const TGeodeticCoordinateSystem &DstSystem, void *Sender,
                   const TGeodeticProgress &Progress, const TGeodeticCoordinateSystem &SrcSystem,
                   const TDoublePoint3 *In);

// One 2-D point (height 0) from SrcSystem to DstSystem.
TDoublePoint ConvertPoint(const TDoublePoint &In, const TGeodeticCoordinateSystem &SrcSystem,
                          const TGeodeticCoordinateSystem &DstSystem);
