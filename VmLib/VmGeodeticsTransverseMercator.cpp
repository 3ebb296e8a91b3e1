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

TDoublePoint TransverseMercatorForward(const TDoublePoint &Geographic, const TGeodeticEllipsoid *Ellipsoid,
                                       double K0, double Lon0) {
  const Ext phi = Geographic.X;
  const Ext lam = Geographic.Y;
  const Ext a = Ellipsoid->A;
  const Ext e2 = Ellipsoid->E2;
  const Ext ep2 = Ellipsoid->E2Prime;
  const Ext sinPhi = std::sin(phi);
  const Ext cosPhi = std::cos(phi);
  const Ext tanPhi = sinPhi / cosPhi;
  const Ext N = a / std::sqrt(1 - e2 * sinPhi * sinPhi);
  const Ext T = tanPhi * tanPhi;
  const Ext C = ep2 * cosPhi * cosPhi;
  const Ext A = (lam - Lon0) * cosPhi;
  const Ext A2 = A * A;
  const Ext M = MeridianArc(phi, sinPhi, cosPhi, Ellipsoid);
  const Ext x = K0 * N * A * (1 + (1 - T + C) * A2 / 6 + (5 - 18 * T + T * T + 72 * C - 58 * ep2) * A2 * A2 / 120);
  const Ext y = K0 * (M + N * tanPhi *
                              (A2 / 2 + (5 - T + 9 * C + 4 * C * C) * A2 * A2 / 24 +
                               (61 - 58 * T + T * T + 600 * C - 330 * ep2) * A2 * A2 * A2 / 720));
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
  const Ext phi1 = mu + SineSeries(Footpoint, std::sin(2 * mu), std::cos(2 * mu));
  const Ext sinPhi1 = std::sin(phi1);
  const Ext cosPhi1 = std::cos(phi1);
  const Ext tanPhi1 = sinPhi1 / cosPhi1;
  const Ext W = 1 - e2 * sinPhi1 * sinPhi1;
  const Ext C1 = ep2 * cosPhi1 * cosPhi1;
  const Ext T1 = tanPhi1 * tanPhi1;
  const Ext N1 = a / std::sqrt(W);
  const Ext R1 = a * (1 - e2) / (W * std::sqrt(W));
  const Ext D = x / (N1 * K0);
  const Ext D2 = D * D;
  const Ext phi = phi1 - (N1 * tanPhi1 / R1) *
                             (D2 / 2 - (5 + 3 * T1 + 10 * C1 - 4 * C1 * C1 - 9 * ep2) * D2 * D2 / 24 +
                              (61 + 90 * T1 + 298 * C1 + 45 * T1 * T1 - 252 * ep2 - 3 * C1 * C1) * D2 * D2 * D2 / 720);
  const Ext lam = Lon0 + (D - (1 + 2 * T1 + C1) * D2 * D / 6 +
                          (5 - 2 * C1 + 28 * T1 - 3 * C1 * C1 + 8 * ep2 + 24 * T1 * T1) * D2 * D2 * D / 120) /
                             cosPhi1;
  return {static_cast<double>(phi), static_cast<double>(lam)};
}
