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

// The odd series of the arc tangent's hyperbolic counterpart, taken up to
// this eccentricity.
constexpr double MaxSeriesEccentricity = 0.0825;
constexpr double Third = 1.0 / 3;
constexpr double Fifth = 1.0 / 5;
constexpr double Seventh = 1.0 / 7;
constexpr double Ninth = 1.0 / 9;
constexpr double Eleventh = 1.0 / 11;
constexpr double Thirteenth = 1.0 / 13;
}  // namespace

TMercator::TMercator(const TGeodeticEllipsoid *Ellipsoid)
    : FEllipsoid(Ellipsoid), FInvA(1 / static_cast<Ext>(Ellipsoid->A)), FConformal(Ellipsoid->ConformalCoef) {}

// a psi = a (atanh(sin phi) - e atanh(e sin phi)), which is the logarithm of
// the projection's formula without its power. The second arc tangent is of
// at most e (0.082 on the earth's ellipsoids), where its odd series to the
// 13th power, evaluated in extended precision, is exact to far below a
// nanometre (the next term adds 2e-12 m); flatter custom ellipsoids take the
// logarithm. One logarithm is left, and the series runs beside it.
Ext TMercator::IsometricScaled(double Phi) const {
  const double e = FEllipsoid->E;
  const Ext sinPhi = std::sin(Phi);
  const Ext Q = (1 + sinPhi) / (1 - sinPhi);
  const Ext x = e * sinPhi;
  Ext eArcTanH;
  if (e <= MaxSeriesEccentricity) {
    const Ext x2 = x * x;
    const Ext x4 = x2 * x2;
    // Estrin's scheme: the two halves are worked on at once.
    const Ext Low = (1 + x2 * Third) + x4 * (Fifth + x2 * Seventh);
    const Ext High = (Ninth + x2 * Eleventh) + x4 * Thirteenth;
    eArcTanH = e * x * (Low + x4 * x4 * High);
  } else {
    eArcTanH = e * 0.5 * static_cast<Ext>(std::log(static_cast<double>((1 + x) / (1 - x))));
  }
  const double LogQ = std::log(static_cast<double>(Q));
  return FEllipsoid->A * (0.5 * static_cast<Ext>(LogQ) - eArcTanH);
}

Ext TMercator::Geodetic(Ext Chi) const {
  double sin2Chi, cos2Chi;
  SinCos(static_cast<double>(2 * Chi), sin2Chi, cos2Chi);
  return Chi + FConformal(sin2Chi, cos2Chi);
}

void TMercator::Forward(const TDoublePoint3 &Geographic, TDoublePoint3 &Out) const {
  const double lam = Geographic.Y;
  Out.Y = static_cast<double>(IsometricScaled(Geographic.X));
  Out.X = static_cast<double>(FEllipsoid->A * static_cast<Ext>(lam));
}

void TMercator::Inverse(const TDoublePoint3 &Projected, TDoublePoint3 &Out) const {
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
  Out.X = static_cast<double>(phi);
  Out.Y = static_cast<double>(x * FInvA);
}

double IsometricLatitudeScaled(double Phi, const TGeodeticEllipsoid *Ellipsoid) {
  return static_cast<double>(TMercator(Ellipsoid).IsometricScaled(Phi));
}

double ConformalToGeodetic(double Chi, const TGeodeticEllipsoid *Ellipsoid) {
  return static_cast<double>(TMercator(Ellipsoid).Geodetic(Chi));
}

TDoublePoint MercatorForward(const TDoublePoint &Geographic, const TGeodeticEllipsoid *Ellipsoid) {
  return ProjectOnePoint(TMercator(Ellipsoid), &TMercator::Forward, Geographic);
}

TDoublePoint MercatorInverse(const TDoublePoint &Projected, const TGeodeticEllipsoid *Ellipsoid) {
  return ProjectOnePoint(TMercator(Ellipsoid), &TMercator::Inverse, Projected);
}
