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
  const Ext sinPhi = Sin(phi);
  const Ext eSinPhi = e * sinPhi;
  // ln(Q R^e) taken as ln Q + e ln R: the same value without the power's
  // exp(e ln R), and without overflowing the product near the poles.
  return a / 2 * (Log((1 + sinPhi) / (1 - sinPhi)) + e * Log((1 - eSinPhi) / (1 + eSinPhi)));
}

Ext SeriesSum(Ext sin2Chi, Ext cos2Chi, const TGeodeticEllipsoid *Ellipsoid) {
  const long double Coef[4] = {Ellipsoid->ConformalCoef[0], Ellipsoid->ConformalCoef[1],
                               Ellipsoid->ConformalCoef[2], Ellipsoid->ConformalCoef[3]};
  return SineSeries(Coef, sin2Chi, cos2Chi);
}

Ext Geodetic(Ext chi, const TGeodeticEllipsoid *Ellipsoid) {
  return chi + SeriesSum(Sin(2 * chi), Cos(2 * chi), Ellipsoid);
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
  const Ext InvA = 1 / static_cast<Ext>(Ellipsoid->A);
  const Ext x = Projected.X;
  const Ext y = Projected.Y;
  // With t = exp(-y/a), chi = pi/2 - 2 arctan t has sin chi = (1 - t^2)/(1 + t^2)
  // and cos chi = 2t/(1 + t^2), which give the series its sin 2chi and cos 2chi.
  // Latitude is odd in y: working on |y| keeps t within (0, 1].
  const Ext t = Exp(-std::fabs(y) * InvA);
  const Ext chi = HalfPi - 2 * ArcTan(t);
  const Ext Denominator = 1 / (1 + t * t);
  const Ext sinChi = (1 - t * t) * Denominator;
  const Ext cosChi = 2 * t * Denominator;
  const Ext AbsPhi = chi + SeriesSum(2 * sinChi * cosChi, (cosChi - sinChi) * (cosChi + sinChi), Ellipsoid);
  const Ext phi = y < 0 ? -AbsPhi : AbsPhi;
  return {static_cast<double>(phi), static_cast<double>(x * InvA)};
}
