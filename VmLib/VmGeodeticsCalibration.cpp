#include "VmGeodeticsCalibration.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr long double Pi = std::numbers::pi_v<long double>;

// Two reference points closer than this share of the chart's width or height
// cannot carry a calibration; from the second share on they are well apart.
constexpr double MinSpanRatio = 0.02;
constexpr double GoodSpanRatio = 0.25;
// The same for the share of the chart's area that three points enclose.
constexpr float MinAreaRatio = 1.0f / 512;
constexpr float GoodAreaRatio = 1.0f / 32;

const char *const UnknownSystem = "Unknown geodetic coordinate system.";

struct TExtPoint {
  long double X, Y;
};

TExtPoint Ext(const TDoublePoint &P) { return {P.X, P.Y}; }
TExtPoint operator-(TExtPoint a, TExtPoint b) { return {a.X - b.X, a.Y - b.Y}; }
TExtPoint operator+(TExtPoint a, TExtPoint b) { return {a.X + b.X, a.Y + b.Y}; }
TExtPoint operator*(TExtPoint a, long double s) { return {a.X * s, a.Y * s}; }
long double Dot(TExtPoint a, TExtPoint b) { return a.X * b.X + a.Y * b.Y; }
long double Cross(TExtPoint a, TExtPoint b) { return a.X * b.Y - a.Y * b.X; }
long double Length(TExtPoint a) { return std::sqrt(Dot(a, a)); }
TDoublePoint ToDouble(TExtPoint P) { return {static_cast<double>(P.X), static_cast<double>(P.Y)}; }

bool SamePoint(const TDoublePoint &a, const TDoublePoint &b) { return a.X == b.X && a.Y == b.Y; }
bool Finite(const TDoublePoint &P) { return std::isfinite(P.X) && std::isfinite(P.Y); }

// Direction from one point to another as an angle in (-pi, pi].
long double Direction(TExtPoint From, TExtPoint To) {
  const long double Angle = std::atan2(To.Y - From.Y, To.X - From.X);
  return Angle == -Pi ? Pi : Angle;
}

// Whether direction q lies in the smaller sector between directions a and b.
bool Between(long double q, long double a, long double b) {
  const long double lo = std::min(a, b), hi = std::max(a, b);
  if (hi - lo <= Pi)
    return lo <= q && q <= hi;
  return q <= lo || q >= hi;
}

// The line from V through Query meets the side P-Q when Query lies in the
// angle at V, or in the angle opposite it (Query behind V).
bool VertexSees(TExtPoint V, TExtPoint P, TExtPoint Q, TExtPoint Query) {
  const long double q = Direction(V, Query);
  return Between(q, Direction(V, P), Direction(V, Q)) || Between(q, Direction(P, V), Direction(Q, V));
}

// Linear interpolation along V -> X, where X is the intersection of the line
// V-Query with the side P-Q. Both ratios are signed: a query behind V (in the
// opposite angle) lies on the far side of V from X and gets a negative ratio,
// which makes the result the affine map of the three pairs everywhere.
TExtPoint WalkFromVertex(TExtPoint V, TExtPoint TV, TExtPoint P, TExtPoint TP, TExtPoint Q, TExtPoint TQ,
                         TExtPoint Query) {
  const TExtPoint d = Query - V, e = Q - P;
  const long double Denominator = Cross(d, e);
  if (Denominator == 0)
    return TV;
  const TExtPoint X = V + d * (Cross(P - V, e) / Denominator);
  const long double VX2 = Dot(X - V, X - V);
  if (VX2 == 0)
    return TV;
  const TExtPoint TargetX = TP + (TQ - TP) * (Dot(X - P, e) / Dot(e, e));
  return TV + (TargetX - TV) * (Dot(Query - V, X - V) / VX2);
}

// Status of two reference points, before anything is stored.
int CheckTwoPoints(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2, const TDoublePoint &Position1,
                   const TDoublePoint &Position2, int32_t Width, int32_t Height) {
  if (Pixel1.X == Pixel2.X || Pixel1.Y == Pixel2.Y)
    return csSamePixels;
  if (Position1.X == Position2.X || Position1.Y == Position2.Y)
    return csSamePositions;
  // A position that is no number fixes no place: the fit would store NaN.
  if (!(Finite(Position1) && Finite(Position2)))
    return csSamePositions;
  // No chart to measure the span against, or an infinite span, which would
  // pass the ratio test.
  if (!(Width > 0 && Height > 0 && Finite(Pixel1) && Finite(Pixel2)))
    return csTooClose;
  const double RatioX = std::fabs(Pixel1.X - Pixel2.X) / Width;
  const double RatioY = std::fabs(Pixel1.Y - Pixel2.Y) / Height;
  if (!(RatioX >= MinSpanRatio && RatioY >= MinSpanRatio))
    return csTooClose;
  return RatioX >= GoodSpanRatio && RatioY >= GoodSpanRatio ? csAccepted : csCloseTogether;
}

long double DoubleArea(const TDoublePoint (&P)[3]) {
  return std::fabs(Cross(Ext(P[1]) - Ext(P[0]), Ext(P[2]) - Ext(P[0])));
}

int CheckThreePoints(const TDoublePoint (&Pixels)[3], const TDoublePoint (&Positions)[3], int32_t Width,
                     int32_t Height) {
  constexpr int Pairs[3][2] = {{0, 1}, {1, 2}, {0, 2}};
  for (const auto &p : Pairs)
    if (SamePoint(Pixels[p[0]], Pixels[p[1]]))
      return csSamePixels;
  for (const auto &p : Pairs)
    if (SamePoint(Positions[p[0]], Positions[p[1]]))
      return csSamePositions;
  // Three positions on one line span no plane: the fit would divide by zero.
  // Non-finite ones span none either, and would make the fit raise midway.
  if (!(std::all_of(Positions, Positions + 3, Finite) && DoubleArea(Positions) != 0))
    return csSamePositions;
  if (!(Width > 0 && Height > 0 && std::all_of(Pixels, Pixels + 3, Finite)))
    return csTooClose;
  const float Ratio = static_cast<float>(DoubleArea(Pixels) / 2 / (static_cast<long double>(Width) * Height));
  if (!(Ratio >= MinAreaRatio))
    return csTooClose;
  return Ratio >= GoodAreaRatio ? csAccepted : csCloseTogether;
}

const TGeodeticDatum *RequireDatum(const TGeodeticDatum *Datum, const char *Operation) {
  if (!Datum)
    throw EGeodeticsError(std::string("TCalibration.") + Operation + ": Datum is nil");
  return Datum;
}

int32_t RoundHalfUp(double Value) {
  const long double Result = std::floor(static_cast<long double>(Value) + 0.5L);
  if (!(Result >= std::numeric_limits<int32_t>::min() && Result <= std::numeric_limits<int32_t>::max()))
    throw EGeodeticsError("TCalibration.ProjectedToPixelInt: Pixel out of range");
  return static_cast<int32_t>(Result);
}

} // namespace

TDoublePoint TCalibrationAffine::Apply(const TDoublePoint &P) const {
  const long double u = static_cast<long double>(P.X) + PreX;
  const long double v = static_cast<long double>(P.Y) + PreY;
  return {static_cast<double>(u * M11 + v * M21 + OffsetX), static_cast<double>(u * M12 + v * M22 + OffsetY)};
}

TDoublePoint Interpolate(const TDoublePoint &TargetA, const TDoublePoint &TargetB, const TDoublePoint &TargetC,
                         const TDoublePoint &Query, const TDoublePoint &SourceC, const TDoublePoint &SourceB,
                         const TDoublePoint &SourceA) {
  if (SamePoint(Query, SourceA))
    return TargetA;
  if (SamePoint(Query, SourceB))
    return TargetB;
  if (SamePoint(Query, SourceC))
    return TargetC;
  const TExtPoint A = Ext(SourceA), B = Ext(SourceB), C = Ext(SourceC), Q = Ext(Query);
  const TExtPoint TA = Ext(TargetA), TB = Ext(TargetB), TC = Ext(TargetC);
  if (VertexSees(C, A, B, Q))
    return ToDouble(WalkFromVertex(C, TC, A, TA, B, TB, Q));
  if (VertexSees(B, A, C, Q))
    return ToDouble(WalkFromVertex(B, TB, A, TA, C, TC, Q));
  if (VertexSees(A, B, C, Q))
    return ToDouble(WalkFromVertex(A, TA, B, TB, C, TC, Q));
  throw EGeodeticsError("VmGeodetics.Interpolate: This code should never be executed.");
}

// --- Set-up ---------------------------------------------------------------------

int TCalibration::CalibrateMercator2(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2,
                                     const TDoublePoint &Position1, const TDoublePoint &Position2, int32_t Width,
                                     int32_t Height, const TGeodeticDatum *Datum) {
  const auto System = CoordinateSystemMercator(RequireDatum(Datum, "CalibrateMercator2"));
  return Calibrate2(System, Pixel1, Pixel2, Position1, Position2, Width, Height);
}

int TCalibration::CalibrateMercator3(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2,
                                     const TDoublePoint &Pixel3, const TDoublePoint &Position1,
                                     const TDoublePoint &Position2, const TDoublePoint &Position3, int32_t Width,
                                     int32_t Height, const TGeodeticDatum *Datum) {
  const auto System = CoordinateSystemMercator(RequireDatum(Datum, "CalibrateMercator3"));
  return Calibrate3(System, {Pixel1, Pixel2, Pixel3}, {Position1, Position2, Position3}, Width, Height);
}

int TCalibration::CalibrateTransverseMercator2(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2,
                                               const TDoublePoint &Position1, const TDoublePoint &Position2,
                                               double K0, double Lon0, int32_t Width, int32_t Height,
                                               const TGeodeticDatum *Datum) {
  const auto System =
      CoordinateSystemTransverseMercator(RequireDatum(Datum, "CalibrateTransverseMercator2"), K0, Lon0);
  return Calibrate2(System, Pixel1, Pixel2, Position1, Position2, Width, Height);
}

int TCalibration::CalibrateTransverseMercator3(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2,
                                               const TDoublePoint &Pixel3, const TDoublePoint &Position1,
                                               const TDoublePoint &Position2, const TDoublePoint &Position3,
                                               double K0, double Lon0, int32_t Width, int32_t Height,
                                               const TGeodeticDatum *Datum) {
  const auto System =
      CoordinateSystemTransverseMercator(RequireDatum(Datum, "CalibrateTransverseMercator3"), K0, Lon0);
  return Calibrate3(System, {Pixel1, Pixel2, Pixel3}, {Position1, Position2, Position3}, Width, Height);
}

int TCalibration::CalibrateRD2(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2,
                               const TDoublePoint &Position1, const TDoublePoint &Position2, int32_t Width,
                               int32_t Height) {
  return Calibrate2(CoordinateSystemRD(), Pixel1, Pixel2, Position1, Position2, Width, Height);
}

int TCalibration::CalibrateRD3(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2, const TDoublePoint &Pixel3,
                               const TDoublePoint &Position1, const TDoublePoint &Position2,
                               const TDoublePoint &Position3, int32_t Width, int32_t Height) {
  return Calibrate3(CoordinateSystemRD(), {Pixel1, Pixel2, Pixel3}, {Position1, Position2, Position3}, Width,
                    Height);
}

int TCalibration::Calibrate2(const TGeodeticCoordinateSystem &System, const TDoublePoint &Pixel1,
                             const TDoublePoint &Pixel2, const TDoublePoint &Position1,
                             const TDoublePoint &Position2, int32_t Width, int32_t Height) {
  const int Status = CheckTwoPoints(Pixel1, Pixel2, Position1, Position2, Width, Height);
  if (Status >= csTooClose)
    return Status;
  FSystem = System;
  FPointCount = 2;
  FPositions[0] = Position1, FPositions[1] = Position2, FPositions[2] = {0, 0};
  FPixels[0] = Pixel1, FPixels[1] = Pixel2, FPixels[2] = {0, 0};
  FWidth = Width;
  FHeight = Height;
  Fit2();
  return Status;
}

int TCalibration::Calibrate3(const TGeodeticCoordinateSystem &System, const TDoublePoint (&Pixels)[3],
                             const TDoublePoint (&Positions)[3], int32_t Width, int32_t Height) {
  const int Status = CheckThreePoints(Pixels, Positions, Width, Height);
  if (Status >= csTooClose)
    return Status;
  FSystem = System;
  FPointCount = 3;
  std::copy(Positions, Positions + 3, FPositions);
  std::copy(Pixels, Pixels + 3, FPixels);
  FWidth = Width;
  FHeight = Height;
  Fit3();
  return Status;
}

// pixel = R(theta) diag(Sx, Sy) (P - T) + O, and its inverse.
void TCalibration::SetAffinePair(const TDoublePoint &T, long double Cos, long double Sin, long double Sx,
                                 long double Sy, const TDoublePoint &O) {
  FForward.M11 = static_cast<double>(Sx * Cos);
  FForward.M12 = static_cast<double>(Sx * Sin);
  FForward.M21 = static_cast<double>(-Sy * Sin);
  FForward.M22 = static_cast<double>(Sy * Cos);
  FForward.OffsetX = O.X, FForward.OffsetY = O.Y;
  FForward.PreX = -T.X, FForward.PreY = -T.Y;
  FInverse.M11 = static_cast<double>(Cos / Sx);
  FInverse.M12 = static_cast<double>(-Sin / Sy);
  FInverse.M21 = static_cast<double>(Sin / Sx);
  FInverse.M22 = static_cast<double>(Cos / Sy);
  FInverse.OffsetX = T.X, FInverse.OffsetY = T.Y;
  FInverse.PreX = -O.X, FInverse.PreY = -O.Y;
}

// Scales along the axes only; a north-up chart gets a negative Sy.
void TCalibration::Fit2() {
  const TExtPoint P1 = Ext(FPixels[0]), P2 = Ext(FPixels[1]);
  const TExtPoint E1 = Ext(ToAffine(FPositions[0])), E2 = Ext(ToAffine(FPositions[1]));
  const long double Sx = (P2.X - P1.X) / (E2.X - E1.X);
  const long double Sy = (P2.Y - P1.Y) / (E2.Y - E1.Y);
  const TDoublePoint O = ToDouble({P1.X - E1.X * Sx, P1.Y - E1.Y * Sy});
  SetAffinePair({0, 0}, 1, 0, Sx, Sy, O);
  FRotation = 0;
}

// Pixels of three corners of the positions' bounding box, through the
// reference triangle; scales from the box edges, the angle from the longer one.
void TCalibration::Fit3() {
  TDoublePoint E[3];
  for (int i = 0; i < 3; ++i)
    E[i] = ToAffine(FPositions[i]);
  const double MinE = std::min({E[0].X, E[1].X, E[2].X}), MaxE = std::max({E[0].X, E[1].X, E[2].X});
  const double MinN = std::min({E[0].Y, E[1].Y, E[2].Y}), MaxN = std::max({E[0].Y, E[1].Y, E[2].Y});
  const TDoublePoint A = {MinE, MinN}, B = {MinE, MaxN}, C = {MaxE, MinN};
  const auto PixelOf = [&](const TDoublePoint &Q) {
    return Ext(Interpolate(FPixels[0], FPixels[1], FPixels[2], Q, E[2], E[1], E[0]));
  };
  const TExtPoint PixelA = PixelOf(A);
  const TExtPoint eX = PixelOf(C) - PixelA, eY = PixelOf(B) - PixelA;
  const long double LengthX = Length(eX), LengthY = Length(eY);
  const long double Sx = LengthX / (static_cast<long double>(MaxE) - MinE);
  const long double Sy = LengthY / (static_cast<long double>(MinN) - MaxN);
  long double Cos, Sin;
  if (LengthX <= LengthY) {
    Cos = -eY.Y / LengthY;
    Sin = eY.X / LengthY;
  } else {
    Cos = eX.X / LengthX;
    Sin = eX.Y / LengthX;
  }
  SetAffinePair(A, Cos, Sin, Sx, Sy, ToDouble(PixelA));
  if (Cos == 0)
    FRotation = static_cast<double>(Sin <= 0 ? -Pi / 2 : Pi / 2);
  else {
    const long double Angle = std::atan2(Sin, Cos);
    FRotation = static_cast<double>(Angle == -Pi ? Pi : Angle);
  }
}

// --- Conversions --------------------------------------------------------------------

// The affine works on (east, north); geographic points come as (lat, lon).
TDoublePoint TCalibration::ToAffine(const TDoublePoint &Projected) const {
  switch (FSystem.Kind & 127) {
  case gcsGeographic:
    return {Projected.Y, Projected.X};
  case gcsMercator:
  case gcsTransverseMercator:
  case gcsRD:
    return Projected;
  default:
    throw EGeodeticsError(UnknownSystem);
  }
}

TDoublePoint TCalibration::FromAffine(const TDoublePoint &EastNorth) const {
  return (FSystem.Kind & 127) == gcsGeographic ? TDoublePoint{EastNorth.Y, EastNorth.X} : EastNorth;
}

void TCalibration::RequireCalibrated() const {
  if (FPointCount == 0)
    throw EGeodeticsError("TCalibration: Not calibrated");
}

TDoublePoint TCalibration::ProjectedToPixel(const TDoublePoint &Projected) const {
  RequireCalibrated();
  return FForward.Apply(ToAffine(Projected));
}

TDoublePoint TCalibration::PixelToProjected(const TDoublePoint &Pixel) const {
  RequireCalibrated();
  return FromAffine(FInverse.Apply(Pixel));
}

TDoublePoint TCalibration::GeographicToPixel(const TDoublePoint &Geographic) const {
  RequireCalibrated();
  switch (FSystem.Kind & 127) {
  case gcsGeographic:
    return ProjectedToPixel(Geographic);
  case gcsMercator:
    return ProjectedToPixel(MercatorForward(Geographic, FSystem.Datum->Ellipsoid));
  case gcsTransverseMercator:
    return ProjectedToPixel(
        TransverseMercatorForward(Geographic, FSystem.Datum->Ellipsoid, FSystem.K0, FSystem.Lon0));
  case gcsRD:
    return ProjectedToPixel(RDForward(Geographic));
  default:
    throw EGeodeticsError(UnknownSystem);
  }
}

TDoublePoint TCalibration::PixelToGeographic(const TDoublePoint &Pixel) const {
  const TDoublePoint Projected = PixelToProjected(Pixel);
  switch (FSystem.Kind & 127) {
  case gcsGeographic:
    return Projected;
  case gcsMercator:
    return MercatorInverse(Projected, FSystem.Datum->Ellipsoid);
  case gcsTransverseMercator:
    return TransverseMercatorInverse(Projected, FSystem.Datum->Ellipsoid, FSystem.K0, FSystem.Lon0);
  case gcsRD:
    return RDInverse(Projected);
  default:
    throw EGeodeticsError(UnknownSystem);
  }
}

TDoublePoint TCalibration::WGS84ToPixel(const TDoublePoint &Geographic) const {
  RequireCalibrated();
  TDoublePoint OnChartDatum;
  DatumChangeGeodetic2D(OnChartDatum, FSystem.Datum, Geographic, WGS84Datum());
  return GeographicToPixel(OnChartDatum);
}

TDoublePoint TCalibration::PixelToWGS84(const TDoublePoint &Pixel) const {
  TDoublePoint OnWGS84;
  DatumChangeGeodetic2D(OnWGS84, WGS84Datum(), PixelToGeographic(Pixel), FSystem.Datum);
  return OnWGS84;
}

TDoublePoint TCalibration::PixelToWGS84Int(int32_t X, int32_t Y) const { return PixelToWGS84({double(X), double(Y)}); }

void TCalibration::ProjectedToPixelInt(const TDoublePoint &Projected, int32_t &X, int32_t &Y) const {
  const TDoublePoint Pixel = ProjectedToPixel(Projected);
  X = RoundHalfUp(Pixel.X);
  Y = RoundHalfUp(Pixel.Y);
}

TDoublePoint TCalibration::PixelToPixel(const TDoublePoint &Pixel, const TCalibration &Source) const {
  RequireCalibrated();
  const TDoublePoint Projected = ConvertPoint(Source.PixelToProjected(Pixel), Source.System(), FSystem);
  return ProjectedToPixel(Projected);
}
