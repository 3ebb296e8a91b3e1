#include "VmProjectiveTransform.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

  // Unit square (0,0), (1,0), (1,1), (0,1) onto the four corners; Heckbert,
  // "Fundamentals of Texture Mapping and Image Warping" (1989), section 2.2.3.
  const long double x0 = X0, x1 = X1, x2 = X2, x3 = X3;
  const long double y0 = Y0, y1 = Y1, y2 = Y2, y3 = Y3;
  const long double px = x0 - x1 + x2 - x3;
  const long double py = y0 - y1 + y2 - y3;
  TExtendedMatrix M = {};
  if (px == 0 && py == 0) {
    const TExtendedMatrix Affine = {{x1 - x0, y1 - y0, 0}, {x2 - x1, y2 - y1, 0}, {x0, y0, 1}};
    CopyMatrix(M, Affine);
  } else {
    const long double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    const long double del = dx1 * dy2 - dx2 * dy1;
    if (del != 0) {  // else three corners are collinear: M stays all zeros
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

  // Source rectangle to the unit square: scale, then move Left/Top to 0.
  const TExtendedMatrix ToUnit = {{1 / Width, 0, 0}, {0, 1 / Height, 0}, {0, 0, 1}};
  PreMultiply(ToUnit, M);
  const TExtendedMatrix ToOrigin = {{1, 0, 0}, {0, 1, 0}, {-SrcRect.Left, -SrcRect.Top, 1}};
  PreMultiply(ToOrigin, M);

  Invert(M);
  StoreMatrix(Matrix, M);
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

bool Inside(const TBitmap32 &Bitmap, int32_t X, int32_t Y) {
  return X >= 0 && X < Bitmap.Width() && Y >= 0 && Y < Bitmap.Height();
}

class TNearestSampler {
public:
  static constexpr bool Fixed = false;
  explicit TNearestSampler(const TBitmap32 &Src) : FSrc(Src) {}
  bool Sample(int32_t SrcX, int32_t SrcY, TColor32 &Color) const {
    if (!Inside(FSrc, SrcX, SrcY))
      return false;
    Color = FSrc.Bits()[static_cast<size_t>(SrcY) * static_cast<size_t>(FSrc.Width()) + static_cast<size_t>(SrcX)];
    return true;
  }

private:
  const TBitmap32 &FSrc;
};

// Bilinear between the pixel the position falls in and its right, lower and
// lower-right neighbours (the last row and column stand in for the missing
// ones), with 8-bit weights per channel.
class TLinearSampler {
public:
  static constexpr bool Fixed = true;
  explicit TLinearSampler(const TBitmap32 &Src) : FSrc(Src) {}
  bool Sample(int32_t SrcX, int32_t SrcY, TColor32 &Color) const {
    const int32_t X = SrcX >> FixedShift;  // floor, also for negative positions
    const int32_t Y = SrcY >> FixedShift;
    if (!Inside(FSrc, X, Y))
      return false;
    const uint32_t Wx = static_cast<uint32_t>(SrcX & FixedFraction);
    const uint32_t Wy = static_cast<uint32_t>(SrcY & FixedFraction);
    const TColor32 *Row = FSrc.ScanLine(Y);
    const TColor32 *Below = FSrc.ScanLine(std::min(Y + 1, FSrc.Height() - 1));
    const int32_t Right = std::min(X + 1, FSrc.Width() - 1);
    Color = 0;
    for (int Shift = 0; Shift < 32; Shift += 8) {
      auto Channel = [Shift](TColor32 C) { return (C >> Shift) & 0xFF; };
      const uint32_t Top = Channel(Row[X]) * (256 - Wx) + Channel(Row[Right]) * Wx;
      const uint32_t Bottom = Channel(Below[X]) * (256 - Wx) + Channel(Below[Right]) * Wx;
      Color |= ((Top * (256 - Wy) + Bottom * Wy + 32768) >> 16) << Shift;
    }
    return true;
  }

private:
  const TBitmap32 &FSrc;
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

template <typename TSampler>
void WarpWithMode(TBitmap32 &Dst, const TBitmap32 &Src, const TTransformation &T, const TIntRect &Area) {
  const TSampler Sampler(Src);
  switch (Src.DrawMode()) {
  case TDrawMode::dmOpaque:
    WarpRows(Dst, Sampler, T, Area, [](TColor32 F, TColor32 &B) { B = F; });
    break;
  case TDrawMode::dmBlend:
    WarpRows(Dst, Sampler, T, Area, [](TColor32 F, TColor32 &B) { B = BlendOver(F, B); });
    break;
  case TDrawMode::dmCustom:
    if (Src.OnPixelCombine)
      WarpRows(Dst, Sampler, T, Area, Src.OnPixelCombine);
    break;
  }
}

} // namespace

void Transform(TBitmap32 *Dst, const TBitmap32 *Src, TTransformation *Transformation) {
  if (Dst == nullptr || Dst->Empty())
    throw ETransformError("Destination bitmap is nil or empty");
  if (Src == nullptr || Src->Empty())
    throw ETransformError("Source bitmap is nil or empty");
  Assert(Transformation != nullptr, "Transform needs a transformation", "VmLib\\VmProjectiveTransform", __LINE__);
  if (!Transformation->TransformValid)
    Transformation->PrepareTransform();
  TIntRect Area = Transformation->TransformedBounds();
  Area.Left = std::max(Area.Left, 0);
  Area.Top = std::max(Area.Top, 0);
  Area.Right = std::min(Area.Right, Dst->Width());
  Area.Bottom = std::min(Area.Bottom, Dst->Height());
  if (Src->Resampler() == TResamplerKind::rkNearest)
    WarpWithMode<TNearestSampler>(*Dst, *Src, *Transformation, Area);
  else
    WarpWithMode<TLinearSampler>(*Dst, *Src, *Transformation, Area);
}
