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

// The parts of the series that depend on e'^2 alone.
TTransverseMercator::TForwardTerms ForwardTerms(double Ep2) {
  const Ext ep2 = Ep2;
  return {static_cast<double>(5 - 58 * ep2), static_cast<double>(61 - 330 * ep2)};
}

TTransverseMercator::TInverseTerms InverseTerms(double Ep2) {
  const Ext ep2 = Ep2;
  return {static_cast<double>(5 - 9 * ep2), static_cast<double>(5 + 8 * ep2), static_cast<double>(61 - 252 * ep2),
          static_cast<double>(1 + ep2)};
}

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
      FMuScale(static_cast<double>(Ellipsoid->MuFactor / static_cast<Ext>(K0))),
      FInvAK0(static_cast<double>(1 / (static_cast<Ext>(Ellipsoid->A) * K0))),
      FAK0(static_cast<double>(static_cast<Ext>(Ellipsoid->A) * K0)),
      FForwardTerms(ForwardTerms(Ellipsoid->E2Prime)), FInverseTerms(InverseTerms(Ellipsoid->E2Prime)) {}

// The sine-cosine pair comes first in each direction, so that no extended
// value has to outlive a call: the x87 registers do not survive one, and
// 80-bit spills are slow. The ellipsoid's values are read as doubles where used.
//
// Forward: the one long chain is the square root and the division of
// R = 1 / (cos phi sqrt(1 - e^2 sin^2 phi)), with N = a cos phi R and
// N tan phi = a sin phi R. The series are worked out from
// tan^2 phi = sin^2 phi / cos^2 phi in the meantime, so R joins them only in
// the last multiplication of each coordinate. The squares, C and A are
// worked out again at each use from the sine and cosine, read afresh as
// doubles: a multiplication and a load cost less than one more extended
// value, which the eight x87 registers cannot hold beside the others and
// the compiler spills as 80 bits.
void TTransverseMercator::Forward(const TDoublePoint3 &Geographic, TDoublePoint3 &Out) const {
  // phi is kept apart: the easting is written before the meridian arc is
  // worked out, and Out may be the input point.
  const double phiD = Geographic.X;
  double sinPhiD, cosPhiD;
  SinCos(phiD, sinPhiD, cosPhiD);
  const auto sinPhi = [&] { return Reload(sinPhiD); };
  const auto cosPhi = [&] { return Reload(cosPhiD); };
  const auto sin2 = [&] { return sinPhi() * sinPhi(); };
  const auto cos2 = [&] { return cosPhi() * cosPhi(); };
  const Ext R = 1 / (cosPhi() * std::sqrt(1 - FEllipsoid->E2 * sin2()));
  const Ext T = sin2() / cos2();
  const auto C = [&] { return FEllipsoid->E2Prime * cos2(); };
  const auto A = [&] { return (Geographic.Y - static_cast<Ext>(FLon0)) * cosPhi(); };
  const Ext A2 = A() * A();
  // The series in Horner form over A^2, easting first, each sum starting
  // from a variable term (a leading constant would be loaded as 80 bits).
  const Ext X = FAK0 * cosPhi() * A() *
                (1 + A2 * ((C() - T + 1) * Sixth + A2 * (T * T - 18 * T + 72 * C() + FForwardTerms.X5) * OneTwentieth));
  Out.X = static_cast<double>(X * R);
  const Ext Y = FAK0 * sinPhi() * A2 *
                (Half + A2 * ((C() * (9 + 4 * C()) - T + 5) * TwentyFourth +
                              A2 * (T * T - 58 * T + 600 * C() + FForwardTerms.Y6) * SevenTwentieth));
  // Meridian arc from the equator: a (C1 phi - C2 sin 2phi + C3 sin 4phi - C4 sin 6phi).
  const Ext M = FEllipsoid->A * (FEllipsoid->MeridianCoef[0] * static_cast<Ext>(phiD) +
                                   FMeridian(2 * sinPhi() * cosPhi(), cos2() - sin2()));
  Out.Y = static_cast<double>(FK0 * M + Y * R);
}

void TTransverseMercator::Inverse(const TDoublePoint3 &Projected, TDoublePoint3 &Out) const {
  const double x = Projected.X;
  const double y = Projected.Y;
  // mu as the double the library takes, worked out as a double: moving an
  // extended result over to the library's registers goes through memory and
  // stalls. In extended precision it is worked out again where it is added.
  double sinMuD, cosMuD;
  SinCos(y * FMuScale, sinMuD, cosMuD);
  const Ext sinMu = sinMuD;
  const Ext cosMu = cosMuD;
  // phi1 = mu + delta. On the earth's ellipsoids delta stays below 0.003
  // rad, where what these Taylor series of its sine and cosine leave out
  // (the cosine's delta^6 / 720, under 1.1e-18) is a hundredth of the last
  // bit of the double results; flatter custom ellipsoids take the direct
  // route.
  const Ext delta = FFootpoint(2 * sinMu * cosMu, (cosMu - sinMu) * (cosMu + sinMu));
  Ext sinPhi1, cosPhi1;
  if (std::fabs(delta) < SmallAngle) {
    const Ext delta2 = delta * delta;
    const Ext sinDelta = delta * (1 - delta2 * (Sixth - delta2 * OneTwentieth));
    const Ext cosDelta = 1 - delta2 * (Half - delta2 * TwentyFourth);
    sinPhi1 = sinMu * cosDelta + cosMu * sinDelta;
    cosPhi1 = cosMu * cosDelta - sinMu * sinDelta;
  } else {
    double sinPhi1D, cosPhi1D;
    SinCos(static_cast<double>(y * static_cast<Ext>(FMuScale) + delta), sinPhi1D, cosPhi1D);
    sinPhi1 = sinPhi1D;
    cosPhi1 = cosPhi1D;
  }
  const double ep2 = FEllipsoid->E2Prime;
  const Ext secPhi1 = 1 / cosPhi1;
  const Ext tanPhi1 = sinPhi1 * secPhi1;
  const Ext T1 = tanPhi1 * tanPhi1;
  const Ext C1 = ep2 * cosPhi1 * cosPhi1;
  const Ext W = 1 - FEllipsoid->E2 * sinPhi1 * sinPhi1;
  // D = x / (N1 K0) = x sqrt(W) / (a K0), and N1 / R1 = W / (1 - e^2) =
  // W (1 + e'^2) for N1 = a / sqrt(W) and R1 = a (1 - e^2) / W^(3/2).
  const Ext D = x * std::sqrt(W) * static_cast<Ext>(FInvAK0);
  const Ext NOverR = tanPhi1 * W * FInverseTerms.OnePlusEp2;
  const Ext DSec = D * secPhi1;
  const Ext D2 = D * D;
  const Ext C1C1 = C1 * C1;
  // The series in Horner form over D^2, the longitude first. Each sum
  // starts from a variable term: a leading constant would be loaded as 80
  // bits, a constant added later is an operand read as a float.
  const Ext P3 = 2 * T1 + C1 + 1;
  const Ext P5 = 28 * T1 - 2 * C1 - 3 * C1C1 + 24 * T1 * T1 + FInverseTerms.P5;
  const double lam = static_cast<double>(FLon0 + DSec * (1 - D2 * (P3 * Sixth - D2 * P5 * OneTwentieth)));
  const Ext P4 = 3 * T1 + 10 * C1 - 4 * C1C1 + FInverseTerms.P4;
  const Ext P6 = 90 * T1 + 298 * C1 + 45 * T1 * T1 - 3 * C1C1 + FInverseTerms.P6;
  const Ext Correction = NOverR * D2 * (Half - D2 * (P4 * TwentyFourth - D2 * P6 * SevenTwentieth));
  Out.X = static_cast<double>((y * static_cast<Ext>(FMuScale) + delta) - Correction);
  Out.Y = lam;
}

TDoublePoint TransverseMercatorForward(const TDoublePoint &Geographic, const TGeodeticEllipsoid *Ellipsoid,
                                       double K0, double Lon0) {
  return ProjectOnePoint(TTransverseMercator(Ellipsoid, K0, Lon0), &TTransverseMercator::Forward, Geographic);
}

TDoublePoint TransverseMercatorInverse(const TDoublePoint &Projected, const TGeodeticEllipsoid *Ellipsoid,
                                       double K0, double Lon0) {
  return ProjectOnePoint(TTransverseMercator(Ellipsoid, K0, Lon0), &TTransverseMercator::Inverse, Projected);
}
