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

// Meridian arc from the equator: a (C1 phi - C2 sin 2phi + C3 sin 4phi - C4 sin 6phi).
Ext MeridianArc(Ext phi, Ext sinPhi, Ext cosPhi, const TGeodeticEllipsoid *Ellipsoid) {
  const double *C = Ellipsoid->MeridianCoef;
  const long double Coef[4] = {-C[1], C[2], -C[3], 0};
  const Ext sin2Phi = 2 * sinPhi * cosPhi;
  const Ext cos2Phi = (cosPhi - sinPhi) * (cosPhi + sinPhi);
  return Ellipsoid->A * (C[0] * phi + SineSeries(Coef, sin2Phi, cos2Phi));
}
}  // namespace

// Division is the slowest x87 operation: the fixed denominators of the series
// are applied as reciprocals, and each formula divides as little as it can.
constexpr Ext Half = 0.5L;
constexpr Ext Sixth = 1.0L / 6;
constexpr Ext TwentyFourth = 1.0L / 24;
constexpr Ext OneTwentieth = 1.0L / 120;
constexpr Ext SevenTwentieth = 1.0L / 720;
constexpr Ext SmallAngle = 0.01L;  // below this, sin x to the x^7 term is exact in long double

TDoublePoint TransverseMercatorForward(const TDoublePoint &Geographic, const TGeodeticEllipsoid *Ellipsoid,
                                       double K0, double Lon0) {
  const Ext phi = Geographic.X;
  const Ext lam = Geographic.Y;
  const Ext a = Ellipsoid->A;
  const Ext e2 = Ellipsoid->E2;
  const Ext ep2 = Ellipsoid->E2Prime;
  const Ext sinPhi = Sin(phi);
  const Ext cosPhi = Cos(phi);
  const Ext tanPhi = sinPhi / cosPhi;
  const Ext N = a / std::sqrt(1 - e2 * sinPhi * sinPhi);
  const Ext T = tanPhi * tanPhi;
  const Ext C = ep2 * cosPhi * cosPhi;
  const Ext A = (lam - Lon0) * cosPhi;
  const Ext A2 = A * A;
  const Ext M = MeridianArc(phi, sinPhi, cosPhi, Ellipsoid);
  // The series in Horner form over A^2.
  const Ext x = K0 * N * A *
                (1 + A2 * ((1 - T + C) * Sixth + A2 * (5 - 18 * T + T * T + 72 * C - 58 * ep2) * OneTwentieth));
  const Ext y = K0 * (M + N * tanPhi * A2 *
                              (Half + A2 * ((5 - T + 9 * C + 4 * C * C) * TwentyFourth +
                                            A2 * (61 - 58 * T + T * T + 600 * C - 330 * ep2) * SevenTwentieth)));
  return {static_cast<double>(x), static_cast<double>(y)};
}

TDoublePoint TransverseMercatorInverse(const TDoublePoint &Projected, const TGeodeticEllipsoid *Ellipsoid,
                                       double K0, double Lon0) {
  const Ext x = Projected.X;
  const Ext y = Projected.Y;
  const Ext a = Ellipsoid->A;
  const Ext e2 = Ellipsoid->E2;
  const Ext ep2 = Ellipsoid->E2Prime;
  const Ext mu = y / K0 * Ellipsoid->MuFactor;
  const long double Footpoint[4] = {Ellipsoid->FootpointCoef[0], Ellipsoid->FootpointCoef[1],
                                    Ellipsoid->FootpointCoef[2], Ellipsoid->FootpointCoef[3]};
  // One sine and cosine serves both the series in 2mu and the footpoint
  // latitude phi1 = mu + delta. On the earth's ellipsoids delta stays below
  // 0.003 rad, where the Taylor series of its sine and cosine below are exact
  // to the last bit; flatter custom ellipsoids take the direct route.
  const Ext sinMu = Sin(mu);
  const Ext cosMu = Cos(mu);
  const Ext delta = SineSeries(Footpoint, 2 * sinMu * cosMu, (cosMu - sinMu) * (cosMu + sinMu));
  const Ext phi1 = mu + delta;
  Ext sinPhi1, cosPhi1;
  if (std::fabs(delta) < SmallAngle) {
    const Ext delta2 = delta * delta;
    const Ext sinDelta = delta * (1 - delta2 * Sixth * (1 - delta2 * (1.0L / 20) * (1 - delta2 * (1.0L / 42))));
    const Ext cosDelta = 1 - delta2 * Half * (1 - delta2 * (1.0L / 12) * (1 - delta2 * (1.0L / 30)));
    sinPhi1 = sinMu * cosDelta + cosMu * sinDelta;
    cosPhi1 = cosMu * cosDelta - sinMu * sinDelta;
  } else {
    sinPhi1 = Sin(phi1);
    cosPhi1 = Cos(phi1);
  }
  const Ext secPhi1 = 1 / cosPhi1;
  const Ext tanPhi1 = sinPhi1 * secPhi1;
  const Ext W = 1 - e2 * sinPhi1 * sinPhi1;
  const Ext C1 = ep2 * cosPhi1 * cosPhi1;
  const Ext T1 = tanPhi1 * tanPhi1;
  // N1 = a / sqrt(W) and R1 = a (1 - e^2) / W^(3/2), so N1 / R1 = W / (1 - e^2) = W (1 + e'^2).
  const Ext D = x * std::sqrt(W) / (a * K0);  // x / (N1 K0)
  const Ext D2 = D * D;
  const Ext C1C1 = C1 * C1;
  // The series in Horner form over D^2.
  const Ext P4 = 5 + 3 * T1 + 10 * C1 - 4 * C1C1 - 9 * ep2;
  const Ext P6 = 61 + 90 * T1 + 298 * C1 + 45 * T1 * T1 - 252 * ep2 - 3 * C1C1;
  const Ext phi = phi1 - tanPhi1 * W * (1 + ep2) * D2 *
                             (Half - D2 * (P4 * TwentyFourth - D2 * P6 * SevenTwentieth));
  const Ext P3 = 1 + 2 * T1 + C1;
  const Ext P5 = 5 - 2 * C1 + 28 * T1 - 3 * C1C1 + 8 * ep2 + 24 * T1 * T1;
  const Ext lam = Lon0 + D * (1 - D2 * (P3 * Sixth - D2 * P5 * OneTwentieth)) * secPhi1;
  return {static_cast<double>(phi), static_cast<double>(lam)};
}
