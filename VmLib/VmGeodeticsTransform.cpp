// Geocentric conversion, datum changes through WGS 84, and the conversion
// engine that moves arrays of points between coordinate systems.
#include "VmGeodetics.h"

#include "VmGeodeticsInternal.h"

#include <array>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

using Ext = long double;

constexpr Ext HalfPi = 1.5707963267948966192313216916397514L;
constexpr Ext Pi = 3.1415926535897932384626433832795029L;

// Below this |p / Z| a geocentric point counts as lying on the polar axis.
constexpr Ext PolarAxisRatio = 1e-10L;

// Latitude and longitude of a position with their sines and cosines, kept
// from its conversion to geocentric coordinates: after a datum shift the way
// back starts from them (see ToGeodetic).
struct TNearAngles {
  double Phi, SinPhi, CosPhi;
  double Lam, SinLam, CosLam;
};

// Both sine-cosine pairs come first, so that no extended value has to
// outlive a call (the x87 registers do not survive one, and 80-bit spills
// are slow).
TDoublePoint3 Geocentric(double phi, double lam, double h, const TGeodeticEllipsoid *Ellipsoid,
                         TNearAngles *Angles = nullptr) {
  double sinPhiD, cosPhiD, sinLamD, cosLamD;
  SinCos(phi, sinPhiD, cosPhiD);
  SinCos(lam, sinLamD, cosLamD);
  if (Angles != nullptr)
    *Angles = {phi, sinPhiD, cosPhiD, lam, sinLamD, cosLamD};
  const Ext sinPhi = sinPhiD;
  const Ext cosPhi = cosPhiD;
  const double e2 = Ellipsoid->E2;
  const Ext N = Ellipsoid->A / std::sqrt(1 - e2 * sinPhi * sinPhi);
  const Ext NhCosPhi = (N + h) * cosPhi;
  return {static_cast<double>(NhCosPhi * cosLamD), static_cast<double>(-NhCosPhi * sinLamD),
          static_cast<double>(((1 - e2) * N + h) * sinPhi)};
}

// Below this tangent what the arc tangent's series to t^5 leaves out (the
// next term is under 2e-22) is far below the last bit of the double the
// angle is stored as.
constexpr Ext SmallTangent = 1e-3L;
constexpr double Third = 1.0 / 3;
constexpr double Fifth = 1.0 / 5;

Ext ArcTanSmall(Ext t) {
  const Ext t2 = t * t;
  return t * (1 - t2 * (Third - t2 * Fifth));
}

// The angle of (Cos, Sin) as Base plus the arc tangent of the tangent of the
// difference, when that difference is small enough for the series; false
// otherwise (also for NaN).
bool NearAngle(Ext Cos, Ext Sin, double Base, double SinBase, double CosBase, Ext &Angle) {
  const Ext Along = Cos * CosBase + Sin * SinBase;
  const Ext t = (Sin * CosBase - Cos * SinBase) / Along;
  if (!(Along > 0 && std::fabs(t) < SmallTangent))
    return false;
  Angle = Base + ArcTanSmall(t);
  return true;
}

// Longitude of the usual-frame pair (X, Yeast), in (-pi, pi]: the two-argument
// arc tangent, built on the one-argument one, which costs half as much.
double Longitude(double X, double YEast) {
  if (X == 0)
    return static_cast<double>(YEast <= 0 ? -HalfPi : HalfPi);
  const Ext lam = std::atan(static_cast<double>(static_cast<Ext>(YEast) / X));
  if (X > 0)
    return static_cast<double>(lam);
  return static_cast<double>(YEast >= 0 ? lam + Pi : lam - Pi);
}

}  // namespace

// --- Matrices -----------------------------------------------------------------------

TDoublePoint3 TransformPoint(const TDoublePoint3 &Point, const TGeodeticMatrix &Matrix) {
  const Ext x = Point.X;
  const Ext y = Point.Y;
  const Ext z = Point.Z;
  const auto &M = Matrix.M;
  return {static_cast<double>(x * M[0][0] + y * M[1][0] + z * M[2][0] + M[3][0]),
          static_cast<double>(x * M[0][1] + y * M[1][1] + z * M[2][1] + M[3][1]),
          static_cast<double>(x * M[0][2] + y * M[1][2] + z * M[2][2] + M[3][2])};
}

// Gauss-Jordan elimination with partial pivoting, in extended precision.
TGeodeticMatrix InvertMatrix(const TGeodeticMatrix &Matrix) {
  Ext Work[4][8];
  for (int Row = 0; Row < 4; ++Row)
    for (int Col = 0; Col < 4; ++Col) {
      Work[Row][Col] = Matrix.M[Row][Col];
      Work[Row][Col + 4] = Row == Col ? 1 : 0;
    }
  for (int Col = 0; Col < 4; ++Col) {
    int Pivot = Col;
    for (int Row = Col + 1; Row < 4; ++Row)
      if (std::fabs(Work[Row][Col]) > std::fabs(Work[Pivot][Col]))
        Pivot = Row;
    if (!(std::fabs(Work[Pivot][Col]) > 0) || !std::isfinite(Work[Pivot][Col]))
      throw EGeodeticsError("InvertMatrix: Matrix is singular.");
    if (Pivot != Col)
      for (int k = 0; k < 8; ++k)
        std::swap(Work[Pivot][k], Work[Col][k]);
    const Ext Divisor = Work[Col][Col];
    for (int k = 0; k < 8; ++k)
      Work[Col][k] /= Divisor;
    for (int Row = 0; Row < 4; ++Row) {
      if (Row == Col)
        continue;
      const Ext Factor = Work[Row][Col];
      for (int k = 0; k < 8; ++k)
        Work[Row][k] -= Factor * Work[Col][k];
    }
  }
  TGeodeticMatrix Inverse;
  for (int Row = 0; Row < 4; ++Row)
    for (int Col = 0; Col < 4; ++Col)
      Inverse.M[Row][Col] = static_cast<double>(Work[Row][Col + 4]);
  return Inverse;
}

// --- Geocentric coordinates ---------------------------------------------------------------

TDoublePoint3 GeodeticToGeocentric(const TDoublePoint &Point, const TGeodeticEllipsoid *Ellipsoid) {
  return Geocentric(Point.X, Point.Y, 0, Ellipsoid);
}

TDoublePoint3 GeodeticToGeocentric(const TDoublePoint3 &Point, const TGeodeticEllipsoid *Ellipsoid) {
  return Geocentric(Point.X, Point.Y, 0, Ellipsoid);
}

TDoublePoint3 GeodeticToGeocentricH(const TDoublePoint3 &Point, const TGeodeticEllipsoid *Ellipsoid) {
  return Geocentric(Point.X, Point.Y, Point.Z, Ellipsoid);
}

namespace {

// Bowring, "Transformation from spatial to geographical coordinates", Survey
// Review 23 (181), 1976: one closed-form step through the parametric latitude.
// With Near, a position a datum shift away from the result, the two arc
// tangents give way to short series about Near's angles, which spares two
// library calls per point in every datum change.
TDoublePoint3 ToGeodetic(const TDoublePoint3 &Point, const TGeodeticEllipsoid *Ellipsoid, const TNearAngles *Near) {
  const Ext X = Point.X;
  const Ext Y = Point.Y;
  const Ext Z = Point.Z;
  const Ext a = Ellipsoid->A;
  const Ext b = Ellipsoid->B;
  const Ext P2 = X * X + Y * Y;
  const Ext p = std::sqrt(P2);
  if (Z != 0 && std::fabs(p) < PolarAxisRatio * std::fabs(Z))  // |p / Z| below the ratio
    return {static_cast<double>(Z >= 0 ? HalfPi : -HalfPi), 0.0, static_cast<double>(std::fabs(Z) - b)};
  const double e2 = Ellipsoid->E2;
  const double ep2 = Ellipsoid->E2Prime;
  // theta = arctan(Z a / (p b)) and phi = arctan(Num / Den) lie in (-pi/2, pi/2):
  // their sines and cosines follow from the two legs of each tangent. With
  // R = sqrt((p b)^2 + (Z a)^2), cos theta = p b / R and sin theta = Z a / R;
  // Num and Den are taken R^3 times larger, which changes neither their ratio
  // nor h below and leaves a single division where there were five (the
  // slowest x87 operation).
  // R^2 is taken from p^2, not from p, so that its root and p's are worked
  // out side by side instead of one after the other.
  const Ext pb = p * b;
  const Ext Za = Z * a;
  const Ext R2 = P2 * b * b + Za * Za;
  const Ext R3 = R2 * std::sqrt(R2);
  const Ext Num = Z * R3 + ep2 * b * Za * Za * Za;
  const Ext Den = p * R3 - e2 * a * pb * pb * pb;
  // With S = sqrt(Num^2 + Den^2): cos phi = |Den| / S and sin^2 phi = Num^2 / S^2, so
  // h = p / cos phi - N = S (p / |Den| - a / sqrt(U)), U = S^2 - e^2 Num^2.
  const Ext S2 = Num * Num + Den * Den;
  const Ext RootU = std::sqrt(S2 - e2 * Num * Num);
  const Ext Reciprocal = 1 / (Den * RootU);  // the one division
  const double h = static_cast<double>(std::sqrt(S2) * std::fabs(Reciprocal) * (p * RootU - a * std::fabs(Den)));
  Ext phi, lam;
  if (Near != nullptr && Den > 0 && NearAngle(Den, Num, Near->Phi, Near->SinPhi, Near->CosPhi, phi) &&
      NearAngle(X, -Y, Near->Lam, Near->SinLam, Near->CosLam, lam)) {
    if (lam > Pi)
      lam -= 2 * Pi;
    else if (lam <= -Pi)
      lam += 2 * Pi;
    return {static_cast<double>(phi), static_cast<double>(lam), h};
  }
  // The arc tangents last: nothing extended outlives their calls.
  const double Latitude = std::atan(static_cast<double>(Num * RootU * Reciprocal));
  return {Latitude, Longitude(Point.X, -Point.Y), h};
}

}  // namespace

TDoublePoint3 GeocentricToGeodetic(const TDoublePoint3 &Point, const TGeodeticEllipsoid *Ellipsoid) {
  return ToGeodetic(Point, Ellipsoid, nullptr);
}

// --- Datum changes -----------------------------------------------------------------------

void DatumChangeGeocentric(TDoublePoint3 &Out, const TGeodeticDatum *DstDatum, const TDoublePoint3 &In,
                           const TGeodeticDatum *SrcDatum) {
  TDoublePoint3 Point = SrcDatum->IsWGS84 ? In : TransformPoint(In, SrcDatum->ToWGS84);
  if (!DstDatum->IsWGS84)
    Point = TransformPoint(Point, DstDatum->ToLocal);
  Out = Point;
}

namespace {

// A datum matrix applied to many points. Most datums are given by three
// shifts alone, and then the 3 x 3 block is exactly the identity: adding the
// shift gives the very sums the full product would (x 1 + y 0 + z 0 + dx is
// x + dx) for a third of the work.
class TMatrixStep {
public:
  explicit TMatrixStep(const TGeodeticMatrix &Matrix) : FMatrix(Matrix), FShiftOnly(IsShiftOnly(Matrix)) {}

  TDoublePoint3 operator()(const TDoublePoint3 &Point) const {
    if (!FShiftOnly)
      return TransformPoint(Point, FMatrix);
    const auto &Shift = FMatrix.M[3];
    return {static_cast<double>(static_cast<Ext>(Point.X) + Shift[0]),
            static_cast<double>(static_cast<Ext>(Point.Y) + Shift[1]),
            static_cast<double>(static_cast<Ext>(Point.Z) + Shift[2])};
  }

private:
  static bool IsShiftOnly(const TGeodeticMatrix &Matrix) {
    for (int Row = 0; Row < 3; ++Row)
      for (int Col = 0; Col < 3; ++Col)
        if (Matrix.M[Row][Col] != (Row == Col ? 1.0 : 0.0))
          return false;
    return true;
  }

  const TGeodeticMatrix &FMatrix;
  bool FShiftOnly;
};

// The geodetic datum change between two datums, with what depends on them
// alone worked out once: the conversion engine makes one per call. With
// height (Geodetic) the geocentric conversion uses the input height and the
// output keeps one; without (Geodetic2D) both are 0.
class TDatumChange {
public:
  TDatumChange(const TGeodeticDatum *DstDatum, const TGeodeticDatum *SrcDatum)
      : FDst(DstDatum), FSrc(SrcDatum), FToWGS84(SrcDatum->ToWGS84), FToLocal(DstDatum->ToLocal) {}

  TDoublePoint3 Geodetic(const TDoublePoint3 &In) const { return Change<true>(In); }
  TDoublePoint3 Geodetic2D(const TDoublePoint3 &In) const { return Change<false>(In); }

private:
  template <bool WithHeight>
  TDoublePoint3 Change(const TDoublePoint3 &In) const {
    if (FSrc->IsWGS84 && FDst->IsWGS84)
      return WithHeight ? In : TDoublePoint3{In.X, In.Y, 0};
    TNearAngles Near;
    TDoublePoint3 Point = Geocentric(In.X, In.Y, WithHeight ? In.Z : 0, FSrc->Ellipsoid, &Near);
    Point = ToGeodetic(ShiftGeocentric(Point), FDst->Ellipsoid, &Near);
    if (!WithHeight)
      Point.Z = 0;
    return Point;
  }

  // Source datum to WGS 84 to destination datum, on geocentric coordinates.
  TDoublePoint3 ShiftGeocentric(TDoublePoint3 Point) const {
    if (!FSrc->IsWGS84)
      Point = FToWGS84(Point);
    if (!FDst->IsWGS84)
      Point = FToLocal(Point);
    return Point;
  }

  const TGeodeticDatum *FDst;
  const TGeodeticDatum *FSrc;
  TMatrixStep FToWGS84;
  TMatrixStep FToLocal;
};

}  // namespace

void DatumChangeGeodetic(TDoublePoint3 &Out, const TGeodeticDatum *DstDatum, const TDoublePoint3 &In,
                         const TGeodeticDatum *SrcDatum) {
  Out = TDatumChange(DstDatum, SrcDatum).Geodetic(In);
}

void DatumChangeGeodetic2D(TDoublePoint3 &Out, const TGeodeticDatum *DstDatum, const TDoublePoint3 &In,
                           const TGeodeticDatum *SrcDatum) {
  Out = TDatumChange(DstDatum, SrcDatum).Geodetic2D(In);
}

void DatumChangeGeodetic2D(TDoublePoint &Out, const TGeodeticDatum *DstDatum, const TDoublePoint &In,
                           const TGeodeticDatum *SrcDatum) {
  const TDoublePoint3 Point = TDatumChange(DstDatum, SrcDatum).Geodetic2D({In.X, In.Y, 0});
  Out = {Point.X, Point.Y};
}

// --- Coordinate systems --------------------------------------------------------------------

namespace {

TGeodeticCoordinateSystem EmptySystem(uint8_t Kind, const TGeodeticDatum *Datum) {
  TGeodeticCoordinateSystem System;
  std::memset(&System, 0, sizeof(System));
  System.Kind = Kind;
  System.Datum = Datum;
  return System;
}

}  // namespace

TGeodeticCoordinateSystem CoordinateSystemGeographic(const TGeodeticDatum *Datum) {
  return EmptySystem(gcsGeographic, Datum);
}

TGeodeticCoordinateSystem CoordinateSystemMercator(const TGeodeticDatum *Datum) {
  return EmptySystem(gcsMercator, Datum);
}

TGeodeticCoordinateSystem CoordinateSystemTransverseMercator(const TGeodeticDatum *Datum, double K0, double Lon0) {
  TGeodeticCoordinateSystem System = EmptySystem(gcsTransverseMercator, Datum);
  System.K0 = K0;
  System.Lon0 = Lon0;
  return System;
}

TGeodeticCoordinateSystem CoordinateSystemRD() { return EmptySystem(gcsRD, GeodeticTables().RDOld); }

TGeodeticCoordinateSystem CoordinateSystemLocalCartesian(const TGeodeticDatum *Datum,
                                                         const TGeodeticMatrix &LocalToGeocentric) {
  TGeodeticCoordinateSystem System = EmptySystem(gcsLocalCartesian, Datum);
  System.LocalToGeocentric = LocalToGeocentric;
  System.GeocentricToLocal = InvertMatrix(LocalToGeocentric);
  return System;
}

// --- The conversion engine ------------------------------------------------------------------

namespace {

constexpr uint8_t KindMask = 127;

uint8_t KindOf(const TGeodeticCoordinateSystem &System) {
  const uint8_t Kind = System.Kind & KindMask;
  if (Kind >= GeodeticCoordinateSystemKinds)
    throw EGeodeticsError("Unknown geodetic coordinate system.");
  return Kind;
}

// The projection of a system of the kind, made once per conversion: for the
// geographic and local Cartesian kinds both directions copy the point. Each
// direction writes the first two values of Out, which may be In; the height
// is the caller's.
void StorePair(const TDoublePoint &Pair, TDoublePoint3 &Out) {
  Out.X = Pair.X;
  Out.Y = Pair.Y;
}

template <uint8_t Kind>
struct TProjectionOf {
  explicit TProjectionOf(const TGeodeticCoordinateSystem &) {}
  static void Forward(const TDoublePoint3 &In, TDoublePoint3 &Out) { StorePair({In.X, In.Y}, Out); }
  static void Inverse(const TDoublePoint3 &In, TDoublePoint3 &Out) { StorePair({In.X, In.Y}, Out); }
};

template <>
struct TProjectionOf<gcsMercator> : TMercator {
  explicit TProjectionOf(const TGeodeticCoordinateSystem &System) : TMercator(System.Datum->Ellipsoid) {}
};

template <>
struct TProjectionOf<gcsTransverseMercator> : TTransverseMercator {
  explicit TProjectionOf(const TGeodeticCoordinateSystem &System)
      : TTransverseMercator(System.Datum->Ellipsoid, System.K0, System.Lon0) {}
};

template <>
struct TProjectionOf<gcsRD> {
  explicit TProjectionOf(const TGeodeticCoordinateSystem &) {}
  static void Forward(const TDoublePoint3 &In, TDoublePoint3 &Out) { StorePair(RDForward({In.X, In.Y}), Out); }
  static void Inverse(const TDoublePoint3 &In, TDoublePoint3 &Out) { StorePair(RDInverse({In.X, In.Y}), Out); }
};

// Progress during a conversion: about a hundred reports, counted down per point.
class TProgressCounter {
public:
  TProgressCounter(int Count, void *Sender, const TGeodeticProgress &Progress)
      : FCount(Count), FStep(Progress ? Count / 100 : 0), FCountdown(FStep), FSender(Sender),
        FProgress(Progress) {}

  // Called after point Index (the walk goes from the last point to the first).
  void Done(int Index) {
    if (FStep >= 1 && --FCountdown == 0) {
      FCountdown = FStep;
      const int64_t Percent = static_cast<int64_t>(FCount - Index) * 100 / FCount;
      FProgress(FSender, static_cast<float>(Percent));
    }
  }

private:
  int FCount;
  int FStep;
  int FCountdown;
  void *FSender;
  const TGeodeticProgress &FProgress;
};

void CopyPoints(int Count, TDoublePoint3 *Out, const TDoublePoint3 *In) {
  if (Count > 0 && Out != In)
    std::memmove(Out, In, static_cast<size_t>(Count) * sizeof(TDoublePoint3));
}

// Whether the pair needs no work beyond copying the array.
template <uint8_t SrcKind, uint8_t DstKind>
bool IsCopy(const TGeodeticCoordinateSystem &Dst, const TGeodeticCoordinateSystem &Src) {
  if constexpr (SrcKind != DstKind)
    return false;
  else if constexpr (SrcKind == gcsRD)
    return true;
  else if constexpr (SrcKind == gcsGeographic || SrcKind == gcsMercator)
    return DatumsEquivalent(Src.Datum, Dst.Datum);
  else if constexpr (SrcKind == gcsTransverseMercator)
    return DatumsEquivalent(Src.Datum, Dst.Datum) && Src.K0 == Dst.K0 && Src.Lon0 == Dst.Lon0;
  else
    return false;
}

// One converter of the 5 x 5 table: source point to geographic on the source
// datum (or geocentric when a local Cartesian system is involved), datum
// change unless the datums are equivalent, then the destination's forward step.
template <uint8_t SrcKind, uint8_t DstKind>
void Convert(int Count, TDoublePoint3 *Out, const TGeodeticCoordinateSystem &Dst, void *Sender,
             const TGeodeticProgress &Progress, const TGeodeticCoordinateSystem &Src, const TDoublePoint3 *In) {
  Assert((Src.Kind & KindMask) == SrcKind && (Dst.Kind & KindMask) == DstKind,
         "Converter called for other coordinate system kinds.", TransformUnitName, 1000 + 5 * SrcKind + DstKind);
  const TGeodeticDatum *RDOld = GeodeticTables().RDOld;
  if constexpr (DstKind == gcsRD)
    Assert(Dst.Datum == RDOld, "Destination datum must be RD-OLD.", TransformUnitName, __LINE__);
  if constexpr (SrcKind == gcsRD)
    Assert(Src.Datum == RDOld, "Source datum must be RD-OLD.", TransformUnitName, __LINE__);
  if (IsCopy<SrcKind, DstKind>(Dst, Src)) {
    CopyPoints(Count, Out, In);
    return;
  }
  if (Count <= 0)
    return;
  if (Src.Datum == nullptr || Dst.Datum == nullptr)
    throw EGeodeticsError("ConvertPoints: Coordinate system has no datum.");

  const bool SameDatum = DatumsEquivalent(Src.Datum, Dst.Datum);
  const TDatumChange DatumChange(Dst.Datum, Src.Datum);
  const TProjectionOf<SrcKind> SrcProjection(Src);
  const TProjectionOf<DstKind> DstProjection(Dst);
  TProgressCounter Counter(Count, Sender, Progress);
  for (int i = Count - 1; i >= 0; --i) {
    // The source point on geographic coordinates of its datum, height kept.
    TDoublePoint3 Point;
    if constexpr (SrcKind != gcsLocalCartesian) {
      Point.Z = In[i].Z;
      SrcProjection.Inverse(In[i], Point);
    }
    if constexpr (SrcKind == gcsLocalCartesian || DstKind == gcsLocalCartesian) {
      if constexpr (SrcKind == gcsLocalCartesian)
        Point = TransformPoint(In[i], Src.LocalToGeocentric);
      else
        Point = GeodeticToGeocentricH(Point, Src.Datum->Ellipsoid);
      if (!SameDatum)
        DatumChangeGeocentric(Point, Dst.Datum, Point, Src.Datum);
      if constexpr (DstKind == gcsLocalCartesian)
        Out[i] = TransformPoint(Point, Dst.GeocentricToLocal);
      else
        Point = GeocentricToGeodetic(Point, Dst.Datum->Ellipsoid);
    } else if (!SameDatum) {
      Point = DatumChange.Geodetic(Point);
    }
    if constexpr (DstKind != gcsLocalCartesian) {
      Out[i].Z = Point.Z;
      DstProjection.Forward(Point, Out[i]);
    }
    Counter.Done(i);
  }
}

using TConverter = void (*)(int, TDoublePoint3 *, const TGeodeticCoordinateSystem &, void *,
                            const TGeodeticProgress &, const TGeodeticCoordinateSystem &, const TDoublePoint3 *);

template <size_t... Index>
constexpr std::array<TConverter, sizeof...(Index)> MakeConverters(std::index_sequence<Index...>) {
  return {&Convert<static_cast<uint8_t>(Index / GeodeticCoordinateSystemKinds),
                   static_cast<uint8_t>(Index % GeodeticCoordinateSystemKinds)>...};
}

// Indexed by 5 * source kind + destination kind.
constexpr std::array<TConverter, GeodeticCoordinateSystemKinds * GeodeticCoordinateSystemKinds> Converters =
    MakeConverters(std::make_index_sequence<GeodeticCoordinateSystemKinds * GeodeticCoordinateSystemKinds>());

}  // namespace

void ConvertPoints(int Count, TDoublePoint3 *Out, const TGeodeticCoordinateSystem &DstSystem, void *Sender,
                   const TGeodeticProgress &Progress, const TGeodeticCoordinateSystem &SrcSystem,
                   const TDoublePoint3 *In) {
  const uint8_t SrcKind = KindOf(SrcSystem);
  const uint8_t DstKind = KindOf(DstSystem);
  Assert(Count >= 0 && (Count == 0 || (Out != nullptr && In != nullptr)),
         "ConvertPoints needs a non-negative count and both arrays.", TransformUnitName, __LINE__);
  if (Progress)
    Progress(Sender, 0.0f);
  Converters[static_cast<size_t>(SrcKind * GeodeticCoordinateSystemKinds + DstKind)](Count, Out, DstSystem, Sender,
                                                                                     Progress, SrcSystem, In);
  if (Progress)
    Progress(Sender, 100.0f);
}

TDoublePoint ConvertPoint(const TDoublePoint &In, const TGeodeticCoordinateSystem &SrcSystem,
                          const TGeodeticCoordinateSystem &DstSystem) {
  KindOf(SrcSystem);
  TDoublePoint3 Point{In.X, In.Y, 0};
  ConvertPoints(1, &Point, DstSystem, nullptr, TGeodeticProgress(), SrcSystem, &Point);
  return {Point.X, Point.Y};
}
