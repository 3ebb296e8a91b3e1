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
}  // namespace

TMercator::TMercator(const TGeodeticEllipsoid *Ellipsoid)
    : FEllipsoid(Ellipsoid), FInvA(1 / static_cast<Ext>(Ellipsoid->A)), FConformal(Ellipsoid->ConformalCoef) {}

Ext TMercator::IsometricScaled(double Phi) const {
  const double e = FEllipsoid->E;
  const Ext sinPhi = std::sin(Phi);
  const Ext eSinPhi = e * sinPhi;
  // ln(Q R^e) taken as ln Q + e ln R: the same value without the power's
  // exp(e ln R), and without overflowing the product near the poles. Q and R
  // share one division, and both logarithms' arguments are rounded before
  // the first call, so that no extended value has to outlive a call.
  const Ext Reciprocal = 1 / ((1 - sinPhi) * (1 + eSinPhi));
  const double Q = static_cast<double>((1 + sinPhi) * (1 + eSinPhi) * Reciprocal);
  const double R = static_cast<double>((1 - eSinPhi) * (1 - sinPhi) * Reciprocal);
  const double LogQ = std::log(Q);
  const double LogR = std::log(R);
  return FEllipsoid->A * 0.5 * (LogQ + e * static_cast<Ext>(LogR));
}

Ext TMercator::Geodetic(Ext Chi) const {
  double sin2Chi, cos2Chi;
  SinCos(static_cast<double>(2 * Chi), sin2Chi, cos2Chi);
  return Chi + FConformal(sin2Chi, cos2Chi);
}

TDoublePoint TMercator::Forward(const TDoublePoint &Geographic) const {
  const double y = static_cast<double>(IsometricScaled(Geographic.X));
  return {static_cast<double>(FEllipsoid->A * static_cast<Ext>(Geographic.Y)), y};
}

TDoublePoint TMercator::Inverse(const TDoublePoint &Projected) const {
  const Ext x = Projected.X;
  const Ext y = Projected.Y;
  // With t = exp(-y/a), chi = pi/2 - 2 arctan t has sin chi = (1 - t^2)/(1 + t^2)
  // and cos chi = 2t/(1 + t^2), which give the series its sin 2chi and cos 2chi.
  // Latitude is odd in y: working on |y| keeps t within (0, 1].
  const double t = std::exp(static_cast<double>(-std::fabs(y) * FInvA));
  const double ArcTanT = std::atan(t);
  const Ext chi = HalfPi - 2 * static_cast<Ext>(ArcTanT);
  const Ext Denominator = 1 / (1 + static_cast<Ext>(t) * t);
  const Ext sinChi = (1 - static_cast<Ext>(t) * t) * Denominator;
  const Ext cosChi = 2 * t * Denominator;
  const Ext AbsPhi =
      chi + FConformal(2 * sinChi * cosChi, (cosChi - sinChi) * (cosChi + sinChi));
  const Ext phi = y < 0 ? -AbsPhi : AbsPhi;
  return {static_cast<double>(phi), static_cast<double>(x * FInvA)};
}

double IsometricLatitudeScaled(double Phi, const TGeodeticEllipsoid *Ellipsoid) {
  return static_cast<double>(TMercator(Ellipsoid).IsometricScaled(Phi));
}

double ConformalToGeodetic(double Chi, const TGeodeticEllipsoid *Ellipsoid) {
  return static_cast<double>(TMercator(Ellipsoid).Geodetic(Chi));
}

TDoublePoint MercatorForward(const TDoublePoint &Geographic, const TGeodeticEllipsoid *Ellipsoid) {
  return TMercator(Ellipsoid).Forward(Geographic);
}

TDoublePoint MercatorInverse(const TDoublePoint &Projected, const TGeodeticEllipsoid *Ellipsoid) {
  return TMercator(Ellipsoid).Inverse(Projected);
}
