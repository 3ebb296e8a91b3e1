#include "VmProjectiveTransform.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using TExtendedMatrix = long double[3][3];

// Below this determinant the matrix counts as singular and is replaced by the
// identity, so that a degenerate quadrilateral maps every pixel to itself.
constexpr long double SingularDeterminant = 0.00001L;

void StoreMatrix(TFloatMatrix &Dst, const TExtendedMatrix &Src) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      Dst[i][j] = static_cast<float>(Src[i][j]);
}

void SetIdentity(TFloatMatrix &M) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      M[i][j] = i == j ? 1.0f : 0.0f;
}

// M := A . M, the product taken in extended precision and stored as singles.
void PreMultiply(const TExtendedMatrix &A, TFloatMatrix &M) {
  TExtendedMatrix R;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      R[i][j] = A[i][0] * M[0][j] + A[i][1] * M[1][j] + A[i][2] * M[2][j];
  StoreMatrix(M, R);
}

long double Determinant(const TFloatMatrix &M) {
  const long double a = M[0][0], b = M[0][1], c = M[0][2];
  const long double d = M[1][0], e = M[1][1], f = M[1][2];
  const long double g = M[2][0], h = M[2][1], i = M[2][2];
  return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

// M := adj(M) / det(M), or the identity when M is (nearly) singular.
void Invert(TFloatMatrix &M) {
  const long double Det = Determinant(M);
  if (!(std::fabs(Det) >= SingularDeterminant)) {
    SetIdentity(M);
    return;
  }
  const long double a = M[0][0], b = M[0][1], c = M[0][2];
  const long double d = M[1][0], e = M[1][1], f = M[1][2];
  const long double g = M[2][0], h = M[2][1], i = M[2][2];
  const TExtendedMatrix Adjugate = {
      {e * i - f * h, c * h - b * i, b * f - c * e},
      {f * g - d * i, a * i - c * g, c * d - a * f},
      {d * h - e * g, b * g - a * h, a * e - b * d},
  };
  StoreMatrix(M, Adjugate);
  const long double Scale = 1.0L / Det;
  TExtendedMatrix Scaled;
  for (int r = 0; r < 3; ++r)
    for (int s = 0; s < 3; ++s)
      Scaled[r][s] = M[r][s] * Scale;
  StoreMatrix(M, Scaled);
}

// Nearest integer, halves to even (the rounding of the library's map
// operations). A value that does not fit a 32-bit integer cannot be a pixel
// position: it is refused instead of being wrapped.
int32_t RoundHalfEven(long double Value) {
  long double Result = std::floor(Value);
  const long double Fraction = Value - Result;
  if (Fraction > 0.5L || (Fraction == 0.5L && std::fmod(Result, 2.0L) != 0))
    Result += 1;
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
  if (px == 0 && py == 0) {
    const TExtendedMatrix Affine = {{x1 - x0, y1 - y0, 0}, {x2 - x1, y2 - y1, 0}, {x0, y0, 1}};
    StoreMatrix(Matrix, Affine);
  } else {
    const long double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    const long double del = dx1 * dy2 - dx2 * dy1;
    if (del == 0) {
      const TExtendedMatrix Zero = {};
      StoreMatrix(Matrix, Zero);
    } else {
      const long double g = (px * dy2 - py * dx2) / del;
      const long double h = (dx1 * py - dy1 * px) / del;
      const TExtendedMatrix Perspective = {
          {x1 - x0 + g * x1, y1 - y0 + g * y1, g},
          {x3 - x0 + h * x3, y3 - y0 + h * y3, h},
          {x0, y0, 1},
      };
      StoreMatrix(Matrix, Perspective);
    }
  }

  // Source rectangle to the unit square: scale, then move Left/Top to 0.
  const TExtendedMatrix ToUnit = {{1 / Width, 0, 0}, {0, 1 / Height, 0}, {0, 0, 1}};
  PreMultiply(ToUnit, Matrix);
  const TExtendedMatrix ToOrigin = {{1, 0, 0}, {0, 1, 0}, {-SrcRect.Left, -SrcRect.Top, 1}};
  PreMultiply(ToOrigin, Matrix);

  Invert(Matrix);
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
  constexpr long double FixedOne = 256;  // 24.8 fixed point
  MapPoint(DstX, DstY, FixedOne, SrcX, SrcY);
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
