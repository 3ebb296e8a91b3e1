// Ellipsoidal Mercator projection, scale 1 on the equator, origin at latitude
// 0 and longitude 0. Snyder, "Map Projections - A Working Manual" (USGS PP
// 1395), equations 7-2, 7-7 (forward) and 7-13, 3-5 (inverse through the
// conformal latitude, as a closed series rather than by iteration).
#include "VmGeodetics.h"

#include "VmGeodeticsInternal.h"

#include <cmath>

namespace {
using Ext = long double;
constexpr Ext HalfPi = 1.5707963267948966192313216916397514L;

Ext IsometricScaled(Ext phi, const TGeodeticEllipsoid *Ellipsoid) {
  const Ext a = Ellipsoid->A;
  const Ext e = Ellipsoid->E;
  const Ext sinPhi = std::sin(phi);
  const Ext eSinPhi = e * sinPhi;
  const Ext Power = std::exp(e * std::log((1 - eSinPhi) / (1 + eSinPhi)));
  return a / 2 * std::log((1 + sinPhi) / (1 - sinPhi) * Power);
}

Ext Geodetic(Ext chi, const TGeodeticEllipsoid *Ellipsoid) {
  const long double Coef[4] = {Ellipsoid->ConformalCoef[0], Ellipsoid->ConformalCoef[1],
                               Ellipsoid->ConformalCoef[2], Ellipsoid->ConformalCoef[3]};
  return chi + SineSeries(Coef, std::sin(2 * chi), std::cos(2 * chi));
}
}  // namespace

double IsometricLatitudeScaled(double Phi, const TGeodeticEllipsoid *Ellipsoid) {
  return static_cast<double>(IsometricScaled(Phi, Ellipsoid));
}

double ConformalToGeodetic(double Chi, const TGeodeticEllipsoid *Ellipsoid) {
  return static_cast<double>(Geodetic(Chi, Ellipsoid));
}

TDoublePoint MercatorForward(const TDoublePoint &Geographic, const TGeodeticEllipsoid *Ellipsoid) {
  const Ext lam = Geographic.Y;
  return {static_cast<double>(Ellipsoid->A * lam), static_cast<double>(IsometricScaled(Geographic.X, Ellipsoid))};
}

TDoublePoint MercatorInverse(const TDoublePoint &Projected, const TGeodeticEllipsoid *Ellipsoid) {
  const Ext a = Ellipsoid->A;
  const Ext x = Projected.X;
  const Ext y = Projected.Y;
  const Ext chi = HalfPi - 2 * std::atan(std::exp(-y / a));
  return {static_cast<double>(Geodetic(chi, Ellipsoid)), static_cast<double>(x / a)};
}
