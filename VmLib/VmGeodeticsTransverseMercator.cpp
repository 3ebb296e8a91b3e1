// Transverse Mercator projection, origin on the equator at the central
// meridian Lon0, no false easting or northing. The series are Snyder's, "Map
// Projections - A Working Manual" (USGS PP 1395), equations 8-9, 8-10 (forward)
// and 8-17, 8-18 with the footpoint latitude of 3-26 (inverse); the meridian
// arc is 3-21 counted from the equator.
#include "VmGeodetics.h"

#include "VmGeodeticsInternal.h"

#include <cmath>

namespace {
using Ext = long double;

// Division is the slowest x87 operation: the fixed denominators of the series
// are applied as reciprocals, and each formula divides as little as it can.
// They are held as doubles, like the ellipsoid's series coefficients: the
// x87 unit loads a double in one step and an 80-bit constant in many, and the
// terms they scale are small enough for a double's last bit not to matter.
constexpr double Half = 0.5;
constexpr double Sixth = 1.0 / 6;
constexpr double TwentyFourth = 1.0 / 24;
constexpr double OneTwentieth = 1.0 / 120;
constexpr double SevenTwentieth = 1.0 / 720;
constexpr double SmallAngle = 0.003;  // radians; see the footpoint latitude below

// -C2 sin 2phi + C3 sin 4phi - C4 sin 6phi of the meridian arc as a sine series.
TSineSeries MeridianSines(const TGeodeticEllipsoid *Ellipsoid) {
  const double *C = Ellipsoid->MeridianCoef;
  const double Coef[4] = {-C[1], C[2], -C[3], 0};
  return TSineSeries(Coef);
}
}  // namespace

TTransverseMercator::TTransverseMercator(const TGeodeticEllipsoid *Ellipsoid, double K0, double Lon0)
    : FEllipsoid(Ellipsoid), FK0(K0), FLon0(Lon0),
      FMeridian(MeridianSines(Ellipsoid)), FFootpoint(Ellipsoid->FootpointCoef),
      FMuScale(Ellipsoid->MuFactor / static_cast<Ext>(K0)), FInvAK0(1 / (static_cast<Ext>(Ellipsoid->A) * K0)) {}

// The sine-cosine pair comes first in each direction, so that no extended
// value has to outlive a call: the x87 registers do not survive one, and
// 80-bit spills are slow. The ellipsoid's values are read as doubles where used.
void TTransverseMercator::Forward(const TDoublePoint3 &Geographic, TDoublePoint3 &Out) const {
  double sinPhiD, cosPhiD;
  SinCos(Geographic.X, sinPhiD, cosPhiD);
  const Ext phi = Geographic.X;
  const Ext sinPhi = sinPhiD;
  const Ext cosPhi = cosPhiD;
  const double ep2 = FEllipsoid->E2Prime;
  // One division for both N = a / sqrt(1 - e^2 sin^2 phi) and tan phi.
  const Ext RootW = std::sqrt(1 - FEllipsoid->E2 * sinPhi * sinPhi);
  const Ext Reciprocal = 1 / (RootW * cosPhi);
  const Ext N = FEllipsoid->A * cosPhi * Reciprocal;
  const Ext tanPhi = sinPhi * RootW * Reciprocal;
  const Ext T = tanPhi * tanPhi;
  const Ext C = ep2 * cosPhi * cosPhi;
  const Ext A = (Geographic.Y - static_cast<Ext>(FLon0)) * cosPhi;
  const Ext A2 = A * A;
  // Meridian arc from the equator: a (C1 phi - C2 sin 2phi + C3 sin 4phi - C4 sin 6phi).
  const Ext sin2Phi = 2 * sinPhi * cosPhi;
  const Ext cos2Phi = (cosPhi - sinPhi) * (cosPhi + sinPhi);
  const Ext M = FEllipsoid->A * (FEllipsoid->MeridianCoef[0] * phi + FMeridian(sin2Phi, cos2Phi));
  // The series in Horner form over A^2.
  const Ext x = FK0 * N * A *
                (1 + A2 * ((1 - T + C) * Sixth + A2 * (5 - 18 * T + T * T + 72 * C - 58 * ep2) * OneTwentieth));
  const Ext y = FK0 * (M + N * tanPhi * A2 *
                               (Half + A2 * ((5 - T + 9 * C + 4 * C * C) * TwentyFourth +
                                             A2 * (61 - 58 * T + T * T + 600 * C - 330 * ep2) * SevenTwentieth)));
  Out.X = static_cast<double>(x);
  Out.Y = static_cast<double>(y);
}

void TTransverseMercator::Inverse(const TDoublePoint3 &Projected, TDoublePoint3 &Out) const {
  const Ext mu = Projected.Y * FMuScale;
  double sinMuD, cosMuD;
  SinCos(static_cast<double>(mu), sinMuD, cosMuD);
  const Ext sinMu = sinMuD;
  const Ext cosMu = cosMuD;
  // phi1 = mu + delta. On the earth's ellipsoids delta stays below 0.003
  // rad, where these Taylor series of its sine and cosine are exact to the
  // last bit of a long double; flatter custom ellipsoids take the direct route.
  const Ext delta = FFootpoint(2 * sinMu * cosMu, (cosMu - sinMu) * (cosMu + sinMu));
  Ext sinPhi1, cosPhi1;
  if (std::fabs(delta) < SmallAngle) {
    const Ext delta2 = delta * delta;
    const Ext sinDelta = delta * (1 - delta2 * (Sixth - delta2 * OneTwentieth));
    const Ext cosDelta = 1 - delta2 * (Half - delta2 * (TwentyFourth - delta2 * SevenTwentieth));
    sinPhi1 = sinMu * cosDelta + cosMu * sinDelta;
    cosPhi1 = cosMu * cosDelta - sinMu * sinDelta;
  } else {
    double sinPhi1D, cosPhi1D;
    SinCos(static_cast<double>(mu + delta), sinPhi1D, cosPhi1D);
    sinPhi1 = sinPhi1D;
    cosPhi1 = cosPhi1D;
  }
  const Ext phi1 = mu + delta;
  const double ep2 = FEllipsoid->E2Prime;
  const Ext secPhi1 = 1 / cosPhi1;
  const Ext tanPhi1 = sinPhi1 * secPhi1;
  const Ext W = 1 - FEllipsoid->E2 * sinPhi1 * sinPhi1;
  const Ext C1 = ep2 * cosPhi1 * cosPhi1;
  const Ext T1 = tanPhi1 * tanPhi1;
  // N1 = a / sqrt(W) and R1 = a (1 - e^2) / W^(3/2), so N1 / R1 = W / (1 - e^2) = W (1 + e'^2).
  const Ext D = Projected.X * std::sqrt(W) * FInvAK0;  // x / (N1 K0)
  const Ext D2 = D * D;
  const Ext C1C1 = C1 * C1;
  // The series in Horner form over D^2.
  const Ext P4 = 5 + 3 * T1 + 10 * C1 - 4 * C1C1 - 9 * ep2;
  const Ext P6 = 61 + 90 * T1 + 298 * C1 + 45 * T1 * T1 - 252 * ep2 - 3 * C1C1;
  const Ext phi = phi1 - tanPhi1 * W * (1 + ep2) * D2 *
                             (Half - D2 * (P4 * TwentyFourth - D2 * P6 * SevenTwentieth));
  const Ext P3 = 1 + 2 * T1 + C1;
  const Ext P5 = 5 - 2 * C1 + 28 * T1 - 3 * C1C1 + 8 * ep2 + 24 * T1 * T1;
  const Ext lam = FLon0 + D * (1 - D2 * (P3 * Sixth - D2 * P5 * OneTwentieth)) * secPhi1;
  Out.X = static_cast<double>(phi);
  Out.Y = static_cast<double>(lam);
}

TDoublePoint TransverseMercatorForward(const TDoublePoint &Geographic, const TGeodeticEllipsoid *Ellipsoid,
                                       double K0, double Lon0) {
  TDoublePoint3 Point{Geographic.X, Geographic.Y, 0};
  TTransverseMercator(Ellipsoid, K0, Lon0).Forward(Point, Point);
  return {Point.X, Point.Y};
}

TDoublePoint TransverseMercatorInverse(const TDoublePoint &Projected, const TGeodeticEllipsoid *Ellipsoid,
                                       double K0, double Lon0) {
  TDoublePoint3 Point{Projected.X, Projected.Y, 0};
  TTransverseMercator(Ellipsoid, K0, Lon0).Inverse(Point, Point);
  return {Point.X, Point.Y};
}
