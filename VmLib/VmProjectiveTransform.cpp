#include "VmProjectiveTransform.h"
#include "VmSSE2.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace {

constexpr int32_t FixedShift = 8;  // 24.8 fixed point

using TExtendedMatrix = long double[3][3];

// The matrix counts as singular when its determinant vanishes against the
// products it is made of: |det| at most RelativeSingularity times the sum of
// the absolute values of the six products of its expansion. The elements come
// from single-precision corners, so a determinant that small is rounding
// noise, and the quadrilateral is in truth a line or a point. The test is
// independent of scale: a whole chart drawn into a thumbnail of a few pixels
// has a tiny determinant but is far from singular. A singular matrix becomes
// the identity, so that a degenerate quadrilateral maps every pixel to itself.
constexpr long double RelativeSingularity = 1.0L / (1 << 20);

void StoreMatrix(TFloatMatrix &Dst, const TExtendedMatrix &Src) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      Dst[i][j] = static_cast<float>(Src[i][j]);
}

void CopyMatrix(TExtendedMatrix &Dst, const TExtendedMatrix &Src) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      Dst[i][j] = Src[i][j];
}

// M := A . M.
void PreMultiply(const TExtendedMatrix &A, TExtendedMatrix &M) {
  TExtendedMatrix R;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      R[i][j] = A[i][0] * M[0][j] + A[i][1] * M[1][j] + A[i][2] * M[2][j];
  CopyMatrix(M, R);
}

// The unit square (0,0), (1,0), (1,1), (0,1) onto the quadrilateral with
// corners (x0, y0) .. (x3, y3); Heckbert, "Fundamentals of Texture Mapping
// and Image Warping" (1989), section 2.2.3. Three collinear corners leave M
// all zeros.
void SquareToQuad(long double x0, long double x1, long double x2, long double x3, long double y0, long double y1,
                  long double y2, long double y3, TExtendedMatrix &M) {
  const long double px = x0 - x1 + x2 - x3;
  const long double py = y0 - y1 + y2 - y3;
  for (auto &Row : M)
    for (auto &Value : Row)
      Value = 0;
  if (px == 0 && py == 0) {
    const TExtendedMatrix Affine = {{x1 - x0, y1 - y0, 0}, {x2 - x1, y2 - y1, 0}, {x0, y0, 1}};
    CopyMatrix(M, Affine);
  } else {
    const long double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    const long double del = dx1 * dy2 - dx2 * dy1;
    if (del != 0) {
      const long double g = (px * dy2 - py * dx2) / del;
      const long double h = (dx1 * py - dy1 * px) / del;
      const TExtendedMatrix Perspective = {
          {x1 - x0 + g * x1, y1 - y0 + g * y1, g},
          {x3 - x0 + h * x3, y3 - y0 + h * y3, h},
          {x0, y0, 1},
      };
      CopyMatrix(M, Perspective);
    }
  }
}

// M := adj(M) / det(M), or the identity when M is singular. Every step stays
// in extended precision: rounding the adjugate before the division would,
// for instance, leave a parallelogram's M33 one unit below 1 and send every
// pixel through the division by z.
void Invert(TExtendedMatrix &M) {
  const long double a = M[0][0], b = M[0][1], c = M[0][2];
  const long double d = M[1][0], e = M[1][1], f = M[1][2];
  const long double g = M[2][0], h = M[2][1], i = M[2][2];
  const long double Det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  const long double Magnitude = std::fabs(a * e * i) + std::fabs(a * f * h) + std::fabs(b * d * i) +
                                std::fabs(b * f * g) + std::fabs(c * d * h) + std::fabs(c * e * g);
  if (!(std::fabs(Det) > RelativeSingularity * Magnitude)) {  // NaN and infinities count as singular
    const TExtendedMatrix Identity = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    CopyMatrix(M, Identity);
    return;
  }
  const TExtendedMatrix Adjugate = {
      {e * i - f * h, c * h - b * i, b * f - c * e},
      {f * g - d * i, a * i - c * g, c * d - a * f},
      {d * h - e * g, b * g - a * h, a * e - b * d},
  };
  for (int r = 0; r < 3; ++r)
    for (int s = 0; s < 3; ++s)
      M[r][s] = Adjugate[r][s] / Det;
}

// Nearest integer, halves to even (the rounding of the library's map
// operations, and the floating-point unit's default mode: rint is one
// instruction, where nearbyint saves and restores the whole environment and
// costs a warp seven times as much). A value that does not fit a 32-bit
// integer cannot be a pixel position: it is refused instead of being wrapped.
int32_t RoundHalfEven(long double Value) {
  const long double Result = std::rint(Value);
  if (!(Result >= std::numeric_limits<int32_t>::min() && Result <= std::numeric_limits<int32_t>::max()))
    throw ETransformError("TProjectiveTransformation: Mapped point out of range");
  return static_cast<int32_t>(Result);
}

} // namespace

void TProjectiveTransformation::PrepareTransform() {
  const long double Width = static_cast<long double>(SrcRect.Right) - SrcRect.Left;
  const long double Height = static_cast<long double>(SrcRect.Bottom) - SrcRect.Top;
  if (!(Width != 0 && Height != 0))
    throw ETransformError("TProjectiveTransformation.PrepareTransform: Source rectangle is empty");

  TExtendedMatrix M;
  SquareToQuad(X0, X1, X2, X3, Y0, Y1, Y2, Y3, M);

  // Source rectangle to the unit square: scale, then move Left/Top to 0.
  const TExtendedMatrix ToUnit = {{1 / Width, 0, 0}, {0, 1 / Height, 0}, {0, 0, 1}};
  PreMultiply(ToUnit, M);
  const TExtendedMatrix ToOrigin = {{1, 0, 0}, {0, 1, 0}, {-SrcRect.Left, -SrcRect.Top, 1}};
  PreMultiply(ToOrigin, M);

  Invert(M);
  StoreMatrix(Matrix, M);
  TransformValid = true;
}

void TProjectiveTransformation::PrepareFromDestination(const TFloatRect &DstRect, const float (&SrcX)[4],
                                                       const float (&SrcY)[4]) {
  const long double Width = static_cast<long double>(DstRect.Right) - DstRect.Left;
  const long double Height = static_cast<long double>(DstRect.Bottom) - DstRect.Top;
  if (!(Width != 0 && Height != 0))
    throw ETransformError("TProjectiveTransformation.PrepareFromDestination: Destination rectangle is empty");
  TExtendedMatrix M;
  SquareToQuad(SrcX[0], SrcX[1], SrcX[2], SrcX[3], SrcY[0], SrcY[1], SrcY[2], SrcY[3], M);
  // Destination rectangle to the unit square first; the map then already
  // runs from destination to source, as Matrix does.
  const TExtendedMatrix ToUnit = {{1 / Width, 0, 0}, {0, 1 / Height, 0}, {0, 0, 1}};
  PreMultiply(ToUnit, M);
  const TExtendedMatrix ToOrigin = {{1, 0, 0}, {0, 1, 0}, {-DstRect.Left, -DstRect.Top, 1}};
  PreMultiply(ToOrigin, M);
  StoreMatrix(Matrix, M);
  X0 = X3 = DstRect.Left;
  X1 = X2 = DstRect.Right;
  Y0 = Y1 = DstRect.Top;
  Y2 = Y3 = DstRect.Bottom;
  const auto [MinX, MaxX] = std::minmax({SrcX[0], SrcX[1], SrcX[2], SrcX[3]});
  const auto [MinY, MaxY] = std::minmax({SrcY[0], SrcY[1], SrcY[2], SrcY[3]});
  SrcRect = {MinX, MinY, MaxX, MaxY};
  TransformValid = true;
}

void TProjectiveTransformation::MapPoint(int32_t DstX, int32_t DstY, long double Scale, int32_t &SrcX,
                                         int32_t &SrcY) const {
  const long double x = static_cast<float>(DstX);
  const long double y = static_cast<float>(DstY);
  const long double z = Matrix[0][2] * x + Matrix[1][2] * y + Matrix[2][2];
  if (z == 0)
    return;  // the point lies on the vanishing line: it has no source position
  long double u = Matrix[0][0] * x + Matrix[1][0] * y + Matrix[2][0];
  long double v = Matrix[0][1] * x + Matrix[1][1] * y + Matrix[2][1];
  if (z != 1) {
    const float InverseZ = static_cast<float>(1.0L / z);
    u *= InverseZ;
    v *= InverseZ;
  }
  SrcX = RoundHalfEven(u * Scale);
  SrcY = RoundHalfEven(v * Scale);
}

void TProjectiveTransformation::MapPointInteger(int32_t DstX, int32_t DstY, int32_t &SrcX,
                                                int32_t &SrcY) const {
  MapPoint(DstX, DstY, 1, SrcX, SrcY);
}

void TProjectiveTransformation::MapPointFixed(int32_t DstX, int32_t DstY, int32_t &SrcX,
                                              int32_t &SrcY) const {
  MapPoint(DstX, DstY, 1 << FixedShift, SrcX, SrcY);
}

TIntRect TProjectiveTransformation::TransformedBounds() const {
  const auto [MinX, MaxX] = std::minmax({X0, X1, X2, X3});
  const auto [MinY, MaxY] = std::minmax({Y0, Y1, Y2, Y3});
  TIntRect Bounds;
  Bounds.Left = RoundHalfEven(MinX - 0.5L);
  Bounds.Top = RoundHalfEven(MinY - 0.5L);
  Bounds.Right = RoundHalfEven(MaxX + 0.5L);
  Bounds.Bottom = RoundHalfEven(MaxY + 0.5L);
  return Bounds;
}

// --- Image warping ---------------------------------------------------------------------

namespace {

constexpr int32_t FixedFraction = (1 << FixedShift) - 1;
constexpr int32_t NoPosition = std::numeric_limits<int32_t>::min();

// Source position of a destination pixel, or false where there is none: on
// the vanishing line the map leaves the outputs alone, and far beyond it the
// position does not fit 32 bits. Neither lands in a bitmap.
bool MapBack(const TTransformation &T, int32_t X, int32_t Y, bool Fixed, int32_t &SrcX, int32_t &SrcY) {
  SrcX = SrcY = NoPosition;
  try {
    if (Fixed)
      T.MapPointFixed(X, Y, SrcX, SrcY);
    else
      T.MapPointInteger(X, Y, SrcX, SrcY);
  } catch (const ETransformError &) {
    return false;
  }
  return SrcX != NoPosition;
}

// The source's address and size, copied: the compiler need not reload them
// after every pixel written.
class TSourcePixels {
public:
  explicit TSourcePixels(const TBitmap32 &Src) : FBits(Src.Bits()), FWidth(Src.Width()), FHeight(Src.Height()) {}

protected:
  bool Inside(int32_t X, int32_t Y) const {
    return (static_cast<uint32_t>(X) < static_cast<uint32_t>(FWidth)) &
           (static_cast<uint32_t>(Y) < static_cast<uint32_t>(FHeight));
  }
  const TColor32 *Row(int32_t Y) const { return FBits + static_cast<size_t>(Y) * static_cast<size_t>(FWidth); }

  const TColor32 *FBits;
  int32_t FWidth, FHeight;
};

class TNearestSampler : TSourcePixels {
public:
  static constexpr bool Fixed = false;
  using TSourcePixels::TSourcePixels;
  bool Sample(int32_t SrcX, int32_t SrcY, TColor32 &Color) const {
    if (!Inside(SrcX, SrcY))
      return false;
    Color = Row(SrcY)[SrcX];
    return true;
  }
};

// Bilinear between the pixel the position falls in and its right, lower and
// lower-right neighbours (the last row and column stand in for the missing
// ones), with 8-bit weights per channel.
class TLinearSampler : TSourcePixels {
public:
  static constexpr bool Fixed = true;
  using TSourcePixels::TSourcePixels;
  bool Sample(int32_t SrcX, int32_t SrcY, TColor32 &Color) const {
    const int32_t X = SrcX >> FixedShift;  // floor, also for negative positions
    const int32_t Y = SrcY >> FixedShift;
    if (!Inside(X, Y))
      return false;
    const uint32_t Wx = static_cast<uint32_t>(SrcX & FixedFraction);
    const uint32_t Wy = static_cast<uint32_t>(SrcY & FixedFraction);
    const TColor32 *Above = Row(Y), *Below = Row(std::min(Y + 1, FHeight - 1));
    const int32_t Right = std::min(X + 1, FWidth - 1);
    Color = Mix(Above[X], Above[Right], Below[X], Below[Right], Wx, Wy);
    return true;
  }

  // Per channel c: ((c00·(256 - Wx) + c01·Wx)·(256 - Wy) + (c10·(256 - Wx) +
  // c11·Wx)·Wy + 32768) >> 16, four channels at a time in a 64-bit word. The
  // horizontal sums (at most 255·256) fit 16-bit lanes; the vertical ones (at
  // most 2^25) are formed for two channels at a time, 32 bits apart.
  static TColor32 Mix(TColor32 P00, TColor32 P01, TColor32 P10, TColor32 P11, uint32_t Wx, uint32_t Wy) {
#if VM_SSE2_CODE
    if (HasSSE2())
      return MixSSE2(P00, P01, P10, P11, Wx, Wy);
#endif
    auto Spread = [](TColor32 C) {
      uint64_t Lanes = C;
      Lanes = (Lanes | Lanes << 16) & 0x0000FFFF0000FFFF;
      return (Lanes | Lanes << 8) & 0x00FF00FF00FF00FF;
    };
    const uint64_t Ix = 256 - Wx, Iy = 256 - Wy, Even = 0x0000FFFF0000FFFF, Half = uint64_t(32768) << 32 | 32768;
    const uint64_t Top = Spread(P00) * Ix + Spread(P01) * Wx;
    const uint64_t Bottom = Spread(P10) * Ix + Spread(P11) * Wx;
    const uint64_t BlueRed = (Top & Even) * Iy + (Bottom & Even) * Wy + Half;
    const uint64_t GreenAlpha = (Top >> 16 & Even) * Iy + (Bottom >> 16 & Even) * Wy + Half;
    return TColor32(BlueRed >> 16 & 0xFF) | TColor32(GreenAlpha >> 16 & 0xFF) << 8 |
           TColor32(BlueRed >> 48 & 0xFF) << 16 | TColor32(GreenAlpha >> 48 & 0xFF) << 24;
  }

#if VM_SSE2_CODE
  // The same sums in 16-bit lanes, the top row's channels in lanes 0 to 3 and
  // the bottom row's in 4 to 7: the horizontal sums fit (at most 255·256),
  // the vertical products are put together from their low and high halves.
  [[gnu::target("sse2")]] static __m128i Column(TColor32 Top, TColor32 Bottom) {
    return _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(Top)), _mm_cvtsi32_si128(static_cast<int>(Bottom))),
        _mm_setzero_si128());
  }
  [[gnu::target("sse2")]] static __m128i Lanes(uint32_t Value) { return _mm_set1_epi16(static_cast<short>(Value)); }
  [[gnu::target("sse2")]] static TColor32 MixSSE2(TColor32 P00, TColor32 P01, TColor32 P10, TColor32 P11, uint32_t Wx,
                                                  uint32_t Wy) {
    const __m128i Sums = _mm_add_epi16(_mm_mullo_epi16(Column(P00, P10), Lanes(256 - Wx)),
                                       _mm_mullo_epi16(Column(P01, P11), Lanes(Wx)));
    const __m128i Weights = _mm_unpacklo_epi64(Lanes(256 - Wy), Lanes(Wy));
    const __m128i Low = _mm_mullo_epi16(Sums, Weights), High = _mm_mulhi_epu16(Sums, Weights);
    __m128i Result = _mm_add_epi32(_mm_add_epi32(_mm_unpacklo_epi16(Low, High), _mm_unpackhi_epi16(Low, High)),
                                   _mm_set1_epi32(32768));
    Result = _mm_srli_epi32(Result, 16);
    Result = _mm_packs_epi32(Result, Result);
    return static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(Result, Result)));
  }
#endif
};

// Source over destination by the source's alpha (straight, not premultiplied).
TColor32 BlendOver(TColor32 F, TColor32 B) {
  const uint32_t Alpha = F >> 24;
  if (Alpha == 0xFF)
    return F;
  if (Alpha == 0)
    return B;
  TColor32 Result = 0;
  for (int Shift = 0; Shift < 24; Shift += 8) {
    const uint32_t Mixed = ((F >> Shift) & 0xFF) * Alpha + ((B >> Shift) & 0xFF) * (0xFF - Alpha);
    Result |= ((Mixed + 127) / 255) << Shift;
  }
  const uint32_t ResultAlpha = Alpha + ((B >> 24) * (0xFF - Alpha) + 127) / 255;
  return Result | ResultAlpha << 24;
}

// The per-pixel rule: each destination pixel of the area mapped back on its
// own through the transformation's map operation.
template <typename TSampler, typename TCombine>
void WarpRows(TBitmap32 &Dst, const TSampler &Sampler, const TTransformation &T, const TIntRect &Area,
              const TCombine &Combine) {
  for (int32_t Y = Area.Top; Y < Area.Bottom; ++Y) {
    TColor32 *Row = Dst.ScanLine(Y);
    for (int32_t X = Area.Left; X < Area.Right; ++X) {
      int32_t SrcX, SrcY;
      TColor32 Color;
      if (MapBack(T, X, Y, TSampler::Fixed, SrcX, SrcY) && Sampler.Sample(SrcX, SrcY, Color))
        Combine(Color, Row[X]);
    }
  }
}

// --- Whole rows of a projective transformation --------------------------------------------
//
// TRowMapper gives, for a row of destination pixels at once, exactly the
// source positions of MapPointInteger / MapPointFixed, at a fraction of the
// cost: only the pixels that can land in the source are mapped, z and the
// float InverseZ are found in double once per run of pixels that share it,
// and within a run the positions are stepped in fixed point; nothing touches
// the control word.
//
// Why the result is the same. The map forms three sums of the kind
// M1·x + M2·y + M3 in extended precision. Each product of a float coefficient
// and a coordinate below 2^24 is exact in double as in extended precision, so
// either sum differs from the exact value of the expression only by its two
// roundings: at most 2^-52 (double) or 2^-63 (extended) times S, the sum of
// the magnitudes of its three terms. Bounds below allow four times as much,
// which also covers an x87 build that rounds a double twice.
//
// The rule divides through one value rounded to float, InverseZ =
// float(1/z). Our 1/z, the rule's 1/z and the exact one lie within a bound of
// each other; when that whole interval is strictly inside the rounding
// interval of the float f nearest to our 1/z, the rule's InverseZ is f, known
// exactly. (With z = 1 the rule skips the division; f is then 1 and the
// product the same, so no case of its own is needed. An affine matrix has
// z = 1 everywhere.) The position then is u·f, times 256 for 24.8: ours, A,
// and the rule's are within E = 2^-48·256·|f|·S of each other (S the larger
// of the two sums' magnitude sums). An integer n with |A - n| < 1/2 - E is
// therefore the rule's rounded position, halves and all. A pixel that fails
// any of these checks (a few in a million for ordinary transforms, and those
// with z near 0, positions out of the 32-bit range, non-finite values) is
// mapped by the rule itself.
class TRowMapper {
public:
  // Whether the rows of Area can be mapped so: the transformation is a plain
  // TProjectiveTransformation with a finite matrix, and the coordinates are
  // exact as floats.
  static bool Applies(const TTransformation &T, const TIntRect &Area) {
    if (typeid(T) != typeid(TProjectiveTransformation))
      return false;
    const auto &M = static_cast<const TProjectiveTransformation &>(T).Matrix;
    for (const auto &Row : M)
      for (float Value : Row)
        if (!std::isfinite(Value))
          return false;
    return Area.Right <= ExactFloatLimit && Area.Bottom <= ExactFloatLimit;
  }

  TRowMapper(const TProjectiveTransformation &T, bool Fixed, const TBitmap32 &Src, const TIntRect &Area)
      : FT(T), FFixed(Fixed), FScale(Fixed ? 1 << FixedShift : 1), FLeft(Area.Left), FRight(Area.Right),
        FLimitX(static_cast<double>(Src.Width()) * FScale), FLimitY(static_cast<double>(Src.Height()) * FScale),
        FAffine(T.Matrix[0][2] == 0 && T.Matrix[1][2] == 0 && T.Matrix[2][2] == 1),
        FSrcX(static_cast<size_t>(Area.Right - Area.Left)), FSrcY(FSrcX.size()), FExact(FSrcX.size()) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        FM[i][j] = T.Matrix[i][j];
  }

  // Maps row Y. Returns the pixels [First, Last) outside which nothing of the
  // row can land in the source; SrcX and SrcY give their positions,
  // NoPosition where the rule gives none.
  void MapRow(int32_t Y, int32_t &First, int32_t &Last) {
    const double y = Y;
    const double MaxX = std::max(std::fabs(static_cast<double>(FLeft)), std::fabs(static_cast<double>(FRight)));
    const double Su = std::fabs(FM[0][0]) * MaxX + std::fabs(FM[1][0] * y) + std::fabs(FM[2][0]);
    const double Sv = std::fabs(FM[0][1]) * MaxX + std::fabs(FM[1][1] * y) + std::fabs(FM[2][1]);
    const TRowSums Row = {FM[1][0] * y + FM[2][0], FM[1][1] * y + FM[2][1], FM[1][2] * y + FM[2][2],
                          Bound * FScale * std::max(Su, Sv),
                          Bound * (std::fabs(FM[0][2]) * MaxX + std::fabs(FM[1][2] * y) + std::fabs(FM[2][2]))};
    First = FLeft;
    Last = FRight;
    Clip(Row, First, Last);
    if ((FAffine ? MapAffine(Row, First, Last) : MapProjective(Row, First, Last)) == 0)
      return;
    for (int32_t X = First; X < Last; ++X)
      if (FExact[Index(X)])
        MapBack(FT, X, Y, FFixed, FSrcX[Index(X)], FSrcY[Index(X)]);
  }

  // Positions of the row's pixels from Area.Left on.
  const int32_t *SrcX() const { return FSrcX.data(); }
  const int32_t *SrcY() const { return FSrcY.data(); }

private:
  static constexpr int32_t ExactFloatLimit = 1 << 24;
  // Four times the largest relative rounding error of a sum in double.
  static constexpr double Bound = 0x1p-48;
  // Rounded positions are kept in this range so that their conversion to an
  // integer is always defined; a position beyond it fails the check.
  static constexpr double Clamp = 0x1p30;
  static constexpr uint64_t ExponentBits = 0x7FF0000000000000;
  static constexpr int32_t SteppedRun = 1 << 12;

  struct TRowSums {
    double U, V, Z;  // the sums at x = 0
    double E;        // bound on the error of a position, per unit of |InverseZ|
    double Ez;       // bound on the error of z
  };

  size_t Index(int32_t X) const { return static_cast<size_t>(X - FLeft); }

  // Nearest integer to A, kept in range; NaN gives -Clamp. Any integer will
  // do: the caller's check proves it right or sends the pixel to the rule.
  static int32_t Nearest(double A) {
    const double Rounder = 0x1.8p52;  // adding it leaves no fraction bits below 2^51
    const double Above = A > -Clamp ? A : -Clamp;  // the forms of the max and min instructions
    const double Kept = Above < Clamp ? Above : Clamp;
#if FLT_EVAL_METHOD == 0
    return static_cast<int32_t>((Kept + Rounder) - Rounder);
#else
    // Extended intermediates would keep the fraction the sum is meant to
    // drop: round in the unit's own mode, which is to nearest.
    static_cast<void>(Rounder);
    return static_cast<int32_t>(std::lrint(Kept));
#endif
  }

  // Rounds a pixel's positions; true when they may not be trusted, that is
  // when either lies within Error of a half.
  static bool Round(double A, double B, double Error, int32_t &SrcX, int32_t &SrcY) {
    SrcX = Nearest(A);
    SrcY = Nearest(B);
    const double Half = 0.5 - Error;
    return !((std::fabs(A - SrcX) < Half) & (std::fabs(B - SrcY) < Half));
  }

  // Positions of pixels [First, Last) under one InverseZ, given as fs =
  // InverseZ·Scale (NaN where it is not known), with E the error bound for
  // it. Returns the number of pixels left to the rule.
  int32_t MapRun(const TRowSums &Row, int32_t First, int32_t Last, double fs, double E) {
    int32_t Count = 0;
    for (int32_t From = First; From < Last; From += SteppedRun) {
      const int32_t To = std::min(Last, From + SteppedRun);
      if (To - From < 8 || !MapStepped(Row, From, To, fs, E, Count))
        Count += MapEach(Row, From, To, fs, E);
    }
    return Count;
  }

  // Each pixel on its own, in a plain loop over local copies, so that the
  // compiler keeps everything in registers.
  int32_t MapEach(const TRowSums &Row, int32_t First, int32_t Last, double fs, double E) {
    const double Mu = FM[0][0], Mv = FM[0][1], U = Row.U, V = Row.V;
    int32_t *__restrict SrcX = &FSrcX[Index(First)];
    int32_t *__restrict SrcY = &FSrcY[Index(First)];
    uint8_t *__restrict Exact = &FExact[Index(First)];
    int32_t Count = 0;
    for (int32_t i = 0; i < Last - First; ++i) {
      const double x = First + i;
      Exact[i] = Round((Mu * x + U) * fs, (Mv * x + V) * fs, E, SrcX[i], SrcY[i]);
      Count += Exact[i];
    }
    return Count;
  }

  // The same positions stepped in 32.32 fixed point: the position is linear
  // in x, P = (Mu·x + U)·fs, and the rule's lies within E of it. Started
  // within E + 2^-32 of P and stepped by a slope within 2^-31 of P's (it is
  // below 2^16), the fixed-point value stays within 2E + 2^-18 of the rule's
  // over a run of at most 2^12 pixels; a half added in advance makes its
  // integer part the rounded position wherever its fraction is farther than
  // that from 0. False (and nothing done) where the positions or the steps
  // are too large for it.
  bool MapStepped(const TRowSums &Row, int32_t First, int32_t Last, double fs, double E, int32_t &Count) {
    const double Mu = FM[0][0], Mv = FM[0][1];
    const double A0 = (Mu * First + Row.U) * fs, B0 = (Mv * First + Row.V) * fs;
    const double A1 = (Mu * (Last - 1) + Row.U) * fs, B1 = (Mv * (Last - 1) + Row.V) * fs;
    const double Reach = 0x1p29, Step = 0x1p16, Margin = (2 * E + 0x1p-18) * 0x1p32;
    if (!(std::fabs(A0) < Reach && std::fabs(B0) < Reach && std::fabs(A1) < Reach && std::fabs(B1) < Reach &&
          std::fabs(Mu * fs) < Step && std::fabs(Mv * fs) < Step && Margin < 0x1p30))
      return false;
    const int64_t One = int64_t(1) << 32;
    int64_t Gu = static_cast<int64_t>(A0 * 0x1p32) + One / 2, Gv = static_cast<int64_t>(B0 * 0x1p32) + One / 2;
    const int64_t Du = static_cast<int64_t>(Mu * fs * 0x1p32), Dv = static_cast<int64_t>(Mv * fs * 0x1p32);
    const uint32_t M = static_cast<uint32_t>(Margin) + 1;
    int32_t *__restrict SrcX = &FSrcX[Index(First)];
    int32_t *__restrict SrcY = &FSrcY[Index(First)];
    uint8_t *__restrict Exact = &FExact[Index(First)];
    int32_t Left = 0;
    for (int32_t i = 0; i < Last - First; ++i) {
      SrcX[i] = static_cast<int32_t>(Gu >> 32);
      SrcY[i] = static_cast<int32_t>(Gv >> 32);
      Exact[i] = (static_cast<uint32_t>(Gu) + M < 2 * M) | (static_cast<uint32_t>(Gv) + M < 2 * M);
      Left += Exact[i];
      Gu += Du;
      Gv += Dv;
    }
    Count += Left;
    return true;
  }

  int32_t MapAffine(const TRowSums &Row, int32_t First, int32_t Last) {
    return MapRun(Row, First, Last, FScale, Row.E);
  }

  // The rule's InverseZ at pixel X, or NaN where it cannot be told from our
  // 1/z. Room is how many pixels further 1/z, moving at Rate per pixel (in
  // magnitude, by the sign of Rate), could go and still round to it (a guess
  // for the next run's length).
  double InverseZ(const TRowSums &Row, int32_t X, double &Room) const {
    const double z = FM[0][2] * X + Row.Z;
    const double q = 1 / z, f = static_cast<float>(q);
    // q within |q|·(4·Ez/|z| + 2^-51) of the rule's 1/z; |q|/|z| is at most
    // 1.25·q². A normal float f with |f| in [2^k, 2^(k+1)) is the nearest to
    // every value within 2^(k-24) of it, or 2^(k-25) on the side towards 0
    // when |f| = 2^k.
    const double Power = std::bit_cast<double>(std::bit_cast<uint64_t>(f) & ExponentBits);
    const double Away = Power * 0x1p-24, Towards = Power * (Power == std::fabs(f) ? 0x1p-25 : 0x1p-24);
    const double Margin = 5 * Row.Ez * q * q + 0x1p-51 * std::fabs(q);
    const double Offset = std::fabs(q) - std::fabs(f);  // > 0: farther from 0 than f
    Room = 0;
    if (!((Offset >= 0 ? Away - Offset : Towards + Offset) > Margin &&
          std::fabs(f) >= std::numeric_limits<float>::min()))
      return std::numeric_limits<double>::quiet_NaN();
    const double Rate = -FM[0][2] * q * std::fabs(q);  // d|1/z|/dx = -M13·q·|q|
    if (Rate > 0)
      Room = (Away - Offset - Margin) / Rate;
    else if (Rate < 0)
      Room = (Towards + Offset - Margin) / -Rate;
    else
      Room = std::numeric_limits<double>::infinity();
    return f;
  }

  // Along a row, 1/z is monotone wherever z keeps its sign, and the bound on
  // the rule's 1/z grows with |1/z|; so when the first and the last pixel of
  // a run both have InverseZ f (the same sign, so z keeps its sign between
  // them), every pixel in between has it too. A run's length is guessed from
  // the room left at its start, then proved at its end; a guess that fails
  // maps just the one pixel. Where the vanishing line is parallel to the
  // rows, z is the same along the whole row and a run covers it; under a
  // strong perspective each pixel is a run of its own.
  int32_t MapProjective(const TRowSums &Row, int32_t First, int32_t Last) {
    int32_t Count = 0;
    for (int32_t X = First; X < Last;) {
      double Room;
      const double f = InverseZ(Row, X, Room);
      int32_t End = X + 1;
      if (Room >= 2) {
        const int32_t Guess = static_cast<int32_t>(std::min<double>(Last - 1, X + std::floor(Room * 0.9)));
        double Unused;
        if (InverseZ(Row, Guess, Unused) == f)
          End = Guess + 1;
      }
      Count += MapRun(Row, X, End, f * FScale, Row.E * std::fabs(f));
      X = End;
    }
    return Count;
  }

  // Narrows [First, Last) to the pixels whose position may land in the
  // source. The rule draws a pixel only if its rounded position R lies in
  // [0, Limit). Where the sums' errors are tiny (as checked here), R differs
  // from the exact P = Scale·u/z by little more than the factor of the float
  // InverseZ, 1 ± 2^-24, so a drawn pixel has -Margin < P < Limit + Margin,
  // Margin = 1 + Limit·2^-22. Where z keeps its sign s along the row, those
  // are the linear conditions s·(Scale·u + Margin·z) > 0 and
  // s·((Limit + Margin)·z - Scale·u) > 0, which hold for a drawn pixel with
  // at least 0.48·|z| to spare; their coefficients are accurate to far less
  // when Error < 0.4·|z| along the row. Each one's root is widened by a pixel
  // against the rounding of its division. An affine map is the case z = 1.
  void Clip(const TRowSums &Row, int32_t &First, int32_t &Last) const {
    const double z0 = FM[0][2] * First + Row.Z, z1 = FM[0][2] * (Last - 1) + Row.Z;
    const double Sign = z0 > 0 ? 1 : -1;
    const double MinZ = std::min(Sign * z0, Sign * z1) - Row.Ez;
    if (!(MinZ > 0 && Row.E < 0x1p-15))
      return;
    double Lo = First, Hi = Last - 1;
    const double Slopes[2] = {FM[0][0], FM[0][1]}, Offsets[2] = {Row.U, Row.V}, Limits[2] = {FLimitX, FLimitY};
    const double Mz = FM[0][2], Z = Row.Z;
    for (int c = 0; c < 2; ++c) {
      const double Mu = Slopes[c] * FScale, U = Offsets[c] * FScale;
      const double Margin = 1 + Limits[c] * 0x1p-22, Far = Limits[c] + Margin;
      if (!(4 * (Row.E + Far * Row.Ez) < 0.4 * MinZ))
        continue;
      Narrow(Sign * (Mu + Margin * Mz), Sign * (U + Margin * Z), Lo, Hi);
      Narrow(Sign * (Far * Mz - Mu), Sign * (Far * Z - U), Lo, Hi);
    }
    if (!(Lo <= Hi)) {
      Last = First;
      return;
    }
    First = static_cast<int32_t>(std::floor(Lo));
    Last = static_cast<int32_t>(std::ceil(Hi)) + 1;
  }

  // [Lo, Hi] := the part of it where a·x + b > 0, widened by a pixel. Lo
  // only grows and Hi only shrinks (an empty part makes Hi -infinity, as
  // Lo - 1 may round to Lo), so Lo <= Hi leaves both within the row.
  static void Narrow(double a, double b, double &Lo, double &Hi) {
    if (a == 0) {
      if (!(b > 0))
        Hi = -std::numeric_limits<double>::infinity();
      return;
    }
    const double Root = -b / a;
    if (a > 0)
      Lo = std::max(Lo, Root - 1);
    else
      Hi = std::min(Hi, Root + 1);
  }

  const TProjectiveTransformation &FT;
  const bool FFixed;
  const double FScale;
  const int32_t FLeft, FRight;
  const double FLimitX, FLimitY;
  const bool FAffine;
  double FM[3][3];
  std::vector<int32_t> FSrcX, FSrcY;
  std::vector<uint8_t> FExact;
};

// The same pixels as WarpRows, row by row through TRowMapper.
template <typename TSampler, typename TCombine>
void WarpMappedRows(TBitmap32 &Dst, const TSampler &Sampler, TRowMapper &Mapper, const TIntRect &Area,
                    const TCombine &Combine) {
  const TSampler Source = Sampler;
  for (int32_t Y = Area.Top; Y < Area.Bottom; ++Y) {
    int32_t First, Last;
    Mapper.MapRow(Y, First, Last);
    TColor32 *Row = Dst.ScanLine(Y);
    const int32_t *SrcX = Mapper.SrcX(), *SrcY = Mapper.SrcY();
    for (int32_t X = First; X < Last; ++X) {
      TColor32 Color;
      if (Source.Sample(SrcX[X - Area.Left], SrcY[X - Area.Left], Color))
        Combine(Color, Row[X]);
    }
  }
}

#if VM_SSE2_CODE
// The same rows compiled for SSE2 as a whole, so that the bilinear mix's SSE2
// form is inlined into the loop instead of called for every pixel (the
// 32-bit build compiles everything else for processors without SSE2).
template <typename TSampler, typename TCombine>
[[gnu::target("sse2"), gnu::flatten]] void WarpMappedRowsSSE2(TBitmap32 &Dst, const TSampler &Sampler,
                                                              TRowMapper &Mapper, const TIntRect &Area,
                                                              const TCombine &Combine) {
  WarpMappedRows(Dst, Sampler, Mapper, Area, Combine);
}
#endif

// Warps by the per-pixel rule or, where it applies, by whole rows.
template <typename TSampler, typename TCombine>
void WarpArea(TBitmap32 &Dst, const TBitmap32 &Src, const TSampler &Sampler, const TTransformation &T,
              const TIntRect &Area, bool PerPixel, const TCombine &Combine) {
  if (Area.Left >= Area.Right || Area.Top >= Area.Bottom)
    return;
  if (PerPixel || !TRowMapper::Applies(T, Area)) {
    WarpRows(Dst, Sampler, T, Area, Combine);
    return;
  }
  TRowMapper Mapper(static_cast<const TProjectiveTransformation &>(T), TSampler::Fixed, Src, Area);
#if VM_SSE2_CODE
  if (TSampler::Fixed && HasSSE2()) {
    WarpMappedRowsSSE2(Dst, Sampler, Mapper, Area, Combine);
    return;
  }
#endif
  WarpMappedRows(Dst, Sampler, Mapper, Area, Combine);
}

template <typename TSampler>
void WarpWithMode(TBitmap32 &Dst, const TBitmap32 &Src, const TTransformation &T, const TIntRect &Area,
                  bool PerPixel) {
  const TSampler Sampler(Src);
  switch (Src.DrawMode()) {
  case TDrawMode::dmOpaque:
    WarpArea(Dst, Src, Sampler, T, Area, PerPixel, [](TColor32 F, TColor32 &B) { B = F; });
    break;
  case TDrawMode::dmBlend:
    WarpArea(Dst, Src, Sampler, T, Area, PerPixel, [](TColor32 F, TColor32 &B) { B = BlendOver(F, B); });
    break;
  case TDrawMode::dmCustom:
    if (Src.OnPixelCombine)
      WarpArea(Dst, Src, Sampler, T, Area, PerPixel, Src.OnPixelCombine);
    break;
  }
}

void Warp(TBitmap32 *Dst, const TBitmap32 *Src, TTransformation *Transformation, bool PerPixel,
          int32_t FirstRow = 0, int32_t EndRow = INT32_MAX) {
  if (Dst == nullptr || Dst->Empty())
    throw ETransformError("Destination bitmap is nil or empty");
  if (Src == nullptr || Src->Empty())
    throw ETransformError("Source bitmap is nil or empty");
  Assert(Transformation != nullptr, "Transform needs a transformation", "VmLib\\VmProjectiveTransform", __LINE__);
  if (!Transformation->TransformValid)
    Transformation->PrepareTransform();
  TIntRect Area = Transformation->TransformedBounds();
  Area.Left = std::max(Area.Left, 0);
  Area.Top = std::max({Area.Top, 0, FirstRow});
  Area.Right = std::min(Area.Right, Dst->Width());
  Area.Bottom = std::min({Area.Bottom, Dst->Height(), EndRow});
  if (Src->Resampler() == TResamplerKind::rkNearest)
    WarpWithMode<TNearestSampler>(*Dst, *Src, *Transformation, Area, PerPixel);
  else
    WarpWithMode<TLinearSampler>(*Dst, *Src, *Transformation, Area, PerPixel);
}

} // namespace

void Transform(TBitmap32 *Dst, const TBitmap32 *Src, TTransformation *Transformation) {
  Warp(Dst, Src, Transformation, false);
}

void TransformPerPixel(TBitmap32 *Dst, const TBitmap32 *Src, TTransformation *Transformation) {
  Warp(Dst, Src, Transformation, true);
}

void TransformRows(TBitmap32 *Dst, const TBitmap32 *Src, TTransformation *Transformation, int32_t FirstRow,
                   int32_t EndRow) {
  Warp(Dst, Src, Transformation, false, FirstRow, EndRow);
}
