#include "VmProjectiveTransform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct TQuad {
  float X[4], Y[4];
};

TProjectiveTransformation Unprepared(TFloatRect Src, TQuad Dst) {
  TProjectiveTransformation T;
  T.SrcRect = Src;
  T.X0 = Dst.X[0], T.X1 = Dst.X[1], T.X2 = Dst.X[2], T.X3 = Dst.X[3];
  T.Y0 = Dst.Y[0], T.Y1 = Dst.Y[1], T.Y2 = Dst.Y[2], T.Y3 = Dst.Y[3];
  return T;
}

TProjectiveTransformation Prepared(TFloatRect Src, TQuad Dst) {
  TProjectiveTransformation T = Unprepared(Src, Dst);
  T.PrepareTransform();
  return T;
}

struct TMapCase {
  int32_t DstX, DstY;
  double SrcX, SrcY;  // exact source position, computed by hand
};

// Checks both map operations against the exact source position. The matrix
// is held in single precision, so the 24.8 result may be one unit off.
void ExpectMaps(const TProjectiveTransformation &T, const TMapCase &c, int index) {
  int32_t ix = -999, iy = -999, fx = -999, fy = -999;
  T.MapPointInteger(c.DstX, c.DstY, ix, iy);
  T.MapPointFixed(c.DstX, c.DstY, fx, fy);
  EXPECT_LE(std::fabs(ix - c.SrcX), 0.5 + 1e-4) << "case " << index;
  EXPECT_LE(std::fabs(iy - c.SrcY), 0.5 + 1e-4) << "case " << index;
  EXPECT_NEAR(fx, c.SrcX * 256, 1.0) << "case " << index;
  EXPECT_NEAR(fy, c.SrcY * 256, 1.0) << "case " << index;
}

} // namespace

TEST(TProjectiveTransformation, CornersOnTheSourceRectangleGiveTheIdentity) {
  const auto T = Prepared({0, 0, 100, 50}, {{0, 100, 100, 0}, {0, 0, 50, 50}});
  for (int32_t y = -10; y <= 60; y += 7)
    for (int32_t x = -10; x <= 110; x += 9) {
      int32_t sx = 0, sy = 0, fx = 0, fy = 0;
      T.MapPointInteger(x, y, sx, sy);
      T.MapPointFixed(x, y, fx, fy);
      ASSERT_EQ(sx, x);
      ASSERT_EQ(sy, y);
      ASSERT_EQ(fx, x * 256);
      ASSERT_EQ(fy, y * 256);
    }
}

// Square 0..128 onto (0,0), (256,0), (128,128), (0,128). By hand the inverse
// is src = (128x/(256 - y), 128y/(256 - y)); the line y = 256 is the image of
// the points at infinity. Powers of two keep the single-precision matrix exact.
const TFloatRect Square = {0, 0, 128, 128};
const TQuad Trapezoid = {{0, 256, 128, 0}, {0, 0, 128, 128}};

TEST(TProjectiveTransformation, PerspectiveQuadrilateralMapsBackToTheSquare) {
  const auto T = Prepared(Square, Trapezoid);
  EXPECT_NE(T.Matrix[1][2], 0.0f) << "a trapezoid takes the perspective branch";
  const TMapCase cases[] = {
      {0, 0, 0, 0},         {256, 0, 128, 0},         {128, 128, 128, 128},    {0, 128, 0, 128},
      {192, 64, 128, 128.0 / 3}, {96, 96, 76.8, 76.8}, {120, 240, 960, 1920}, {10, 320, -20, -640},
  };
  for (int i = 0; i < int(std::size(cases)); ++i)
    ExpectMaps(T, cases[i], i);
  for (int32_t y = 0; y <= 200; y += 10)
    for (int32_t x = 0; x <= 250; x += 10)
      ExpectMaps(T, {x, y, 128.0 * x / (256 - y), 128.0 * y / (256 - y)}, 1000 * y + x);
}

TEST(TProjectiveTransformation, PointOnTheVanishingLineLeavesTheOutputsUnchanged) {
  const auto T = Prepared(Square, Trapezoid);
  int32_t sx = 12345, sy = -678;
  T.MapPointInteger(5, 256, sx, sy);
  EXPECT_EQ(sx, 12345);
  EXPECT_EQ(sy, -678);
  T.MapPointFixed(77, 256, sx, sy);
  EXPECT_EQ(sx, 12345);
  EXPECT_EQ(sy, -678);
}

// An offset, non-square source rectangle onto a general convex quadrilateral
// whose diagonals meet at (100, 100). Projective maps keep incidence, so the
// corners return to the rectangle's corners, the diagonals' intersection to
// the rectangle's centre, and a point on the top edge to the top side.
TEST(TProjectiveTransformation, GeneralQuadrilateralKeepsCornersCentreAndEdges) {
  const auto T = Prepared({10, 20, 110, 70}, {{40, 180, 190, 60}, {20, 60, 220, 120}});
  const TMapCase cases[] = {
      {40, 20, 10, 20}, {180, 60, 110, 20}, {190, 220, 110, 70}, {60, 120, 10, 70}, {100, 100, 60, 45},
  };
  for (int i = 0; i < int(std::size(cases)); ++i)
    ExpectMaps(T, cases[i], i);
  int32_t fx = 0, fy = 0;
  T.MapPointFixed(110, 40, fx, fy);  // on the edge from (40,20) to (180,60)
  EXPECT_NEAR(fy, 20 * 256, 1);
  EXPECT_GT(fx, 10 * 256);
  EXPECT_LT(fx, 110 * 256);
}

// The other way round: a destination rectangle onto a source quadrilateral,
// for a warp that knows the source positions at the destination's corners
// (a mesh). A matrix that were inverted, or whose rectangle were taken as the
// source, would send the corners and the centre elsewhere.
TEST(TProjectiveTransformation, FromDestinationMapsTheRectangleOntoTheSourceQuadrilateral) {
  TProjectiveTransformation T;
  const float sx[4] = {40, 180, 190, 60}, sy[4] = {20, 60, 220, 120};
  T.PrepareFromDestination({10, 20, 110, 70}, sx, sy);
  EXPECT_TRUE(T.TransformValid);
  // Corners onto corners, the rectangle's centre onto the diagonals' meeting.
  const TMapCase cases[] = {
      {10, 20, 40, 20}, {110, 20, 180, 60}, {110, 70, 190, 220}, {10, 70, 60, 120}, {60, 45, 100, 100},
  };
  for (int i = 0; i < int(std::size(cases)); ++i)
    ExpectMaps(T, cases[i], i);
  // The square onto the trapezoid: by hand (u, v) -> (256u, 256v) / (128 + v).
  const float tx[4] = {0, 256, 128, 0}, ty[4] = {0, 0, 128, 128};
  T.PrepareFromDestination(Square, tx, ty);
  for (int32_t v = 0; v <= 128; v += 8)
    for (int32_t u = 0; u <= 128; u += 8)
      ExpectMaps(T, {u, v, 256.0 * u / (128 + v), 256.0 * v / (128 + v)}, 1000 * v + u);
  // The warp's area is the destination rectangle.
  EXPECT_EQ(T.TransformedBounds(), (TIntRect{0, 0, 128, 128}));
  EXPECT_EQ(T.SrcRect.Right, 256);
  EXPECT_EQ(T.SrcRect.Bottom, 128);
}

TEST(TProjectiveTransformation, FromDestinationRefusesAnEmptyRectangle) {
  TProjectiveTransformation T;
  const float sx[4] = {0, 1, 1, 0}, sy[4] = {0, 0, 1, 1};
  try {
    T.PrepareFromDestination({5, 5, 5, 9}, sx, sy);
    FAIL() << "no error";
  } catch (const ETransformError &e) {
    EXPECT_EQ(e.Message(), "TProjectiveTransformation.PrepareFromDestination: Destination rectangle is empty");
  }
  EXPECT_FALSE(T.TransformValid);
}

// Source 0..2 onto 0..4: the affine branch, src = dst / 2 with no division by
// z, so the halves show the rounding: to the nearest even integer.
TEST(TProjectiveTransformation, AffineBranchRoundsHalvesToEven) {
  const auto T = Prepared({0, 0, 2, 2}, {{0, 4, 4, 0}, {0, 0, 4, 4}});
  EXPECT_EQ(T.Matrix[0][2], 0.0f);
  EXPECT_EQ(T.Matrix[1][2], 0.0f);
  EXPECT_EQ(T.Matrix[2][2], 1.0f);
  const struct {
    int32_t Dst, Src;
  } cases[] = {{1, 0}, {3, 2}, {5, 2}, {7, 4}, {-1, 0}, {-3, -2}, {-5, -2}, {2, 1}};
  for (int i = 0; i < int(std::size(cases)); ++i) {
    int32_t sx = 0, sy = 0;
    T.MapPointInteger(cases[i].Dst, 6, sx, sy);
    EXPECT_EQ(sx, cases[i].Src) << "case " << i;
    EXPECT_EQ(sy, 3) << "case " << i;
  }
  int32_t fx = 0, fy = 0;
  T.MapPointFixed(1, -3, fx, fy);
  EXPECT_EQ(fx, 128);
  EXPECT_EQ(fy, -384);
}

TEST(TProjectiveTransformation, CollinearCornersGiveTheIdentity) {
  const auto T = Prepared({0, 0, 10, 10}, {{0, 10, 20, 30}, {5, 0, 0, 0}});
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_EQ(T.Matrix[i][j], i == j ? 1.0f : 0.0f) << i << "," << j;
  int32_t sx = 0, sy = 0;
  T.MapPointInteger(37, -5, sx, sy);
  EXPECT_EQ(sx, 37);
  EXPECT_EQ(sy, -5);
}

TEST(TProjectiveTransformation, EmptySourceRectangleIsRefused) {
  const TFloatRect rects[] = {{5, 0, 5, 10}, {0, 7, 10, 7}, {0, 0, 0, 0}};
  for (int i = 0; i < int(std::size(rects)); ++i) {
    TProjectiveTransformation T;
    T.SrcRect = rects[i];
    T.X1 = T.X2 = 10;
    T.Y2 = T.Y3 = 10;
    try {
      T.PrepareTransform();
      ADD_FAILURE() << "case " << i << ": no error";
    } catch (const ETransformError &e) {
      EXPECT_EQ(e.Message(), "TProjectiveTransformation.PrepareTransform: Source rectangle is empty") << i;
      EXPECT_FALSE(T.TransformValid) << i;
    }
  }
}

// A source rectangle at x = 2^31 under a plain translation: the last pixel
// that still fits a 32-bit integer maps, the next one is refused rather than
// wrapped into a bogus position.
TEST(TProjectiveTransformation, SourcePositionBeyondThirtyTwoBitsIsRefused) {
  const float Far = 2147483648.0f;
  const auto T = Prepared({Far, 0, Far + 256, 256}, {{0, 256, 256, 0}, {0, 0, 256, 256}});
  int32_t sx = 0, sy = 0;
  T.MapPointInteger(-1, 5, sx, sy);
  EXPECT_EQ(sx, 2147483647);
  EXPECT_EQ(sy, 5);
  try {
    T.MapPointInteger(0, 5, sx, sy);
    ADD_FAILURE() << "no error";
  } catch (const ETransformError &e) {
    EXPECT_EQ(e.Message(), "TProjectiveTransformation: Mapped point out of range");
  }
  EXPECT_THROW(T.MapPointFixed(-1, 5, sx, sy), ETransformError);
}

TEST(TProjectiveTransformation, TransformedBoundsWidenByHalfAPixel) {
  const struct {
    TQuad Corners;
    TIntRect Bounds;
  } cases[] = {
      {{{0.2f, 9.7f, 9.7f, 0.2f}, {0.2f, 0.2f, 5.5f, 5.5f}}, {0, 0, 10, 6}},
      // Halves round to even: -1.5 - 0.5 = -2, 2 + 0.5 = 2.5 -> 2, 0.5 - 0.5 = 0, 3 + 0.5 -> 4.
      {{{-1.5f, 2, 1, 0}, {0.5f, 3, 1, 2}}, {-2, 0, 2, 4}},
  };
  for (int i = 0; i < int(std::size(cases)); ++i) {
    TProjectiveTransformation T;
    const TQuad &q = cases[i].Corners;
    T.X0 = q.X[0], T.X1 = q.X[1], T.X2 = q.X[2], T.X3 = q.X[3];
    T.Y0 = q.Y[0], T.Y1 = q.Y[1], T.Y2 = q.Y[2], T.Y3 = q.Y[3];
    EXPECT_EQ(T.TransformedBounds(), cases[i].Bounds) << "case " << i;
  }
}

// A parallelogram's matrix is affine: third column exactly (0, 0, 1), so the
// map never divides by z. A source width of 3 makes 1/width inexact; rounding
// the adjugate to singles before scaling it once left M33 at 0.99999994.
TEST(TProjectiveTransformation, ParallelogramTakesTheAffineBranchExactly) {
  const TQuad Parallelograms[] = {
      {{10.25f, 40.5f, 47.75f, 17.5f}, {5.5f, 12.75f, 33.5f, 26.25f}},
      {{2, 9, 9, 2}, {0, 0, 7, 7}},
      {{-3.75f, 0.125f, 101.5f, 97.625f}, {1000.25f, 900.5f, 950.5f, 1050.25f}},
  };
  const TFloatRect Rects[] = {{0, 0, 3, 7}, {1.5f, 2.5f, 11.1f, 9.9f}, {0, 0, 100, 100}};
  for (int q = 0; q < int(std::size(Parallelograms)); ++q)
    for (int r = 0; r < int(std::size(Rects)); ++r) {
      const auto T = Prepared(Rects[r], Parallelograms[q]);
      EXPECT_EQ(T.Matrix[0][2], 0.0f) << "quad " << q << ", rect " << r;
      EXPECT_EQ(T.Matrix[1][2], 0.0f) << "quad " << q << ", rect " << r;
      EXPECT_EQ(T.Matrix[2][2], 1.0f) << "quad " << q << ", rect " << r;
    }
}

// A whole 10 000 x 10 000 chart drawn into 30 x 30 pixels: the determinant is
// about 1e-5 and once counted as singular, which drew the chart's top-left
// corner unscaled. The corners and the centre must map to the chart's.
TEST(TProjectiveTransformation, StrongReductionIsNotTheIdentity) {
  const TQuad Thumbnails[] = {
      {{0, 30, 30, 0}, {0, 0, 30, 30}},
      {{2, 28, 30, 0}, {1, 3, 30, 27}},  // perspective
  };
  for (int i = 0; i < int(std::size(Thumbnails)); ++i) {
    const auto T = Prepared({0, 0, 10000, 10000}, Thumbnails[i]);
    const TQuad &q = Thumbnails[i];
    const TMapCase cases[] = {
        {int32_t(q.X[0]), int32_t(q.Y[0]), 0, 0},
        {int32_t(q.X[1]), int32_t(q.Y[1]), 10000, 0},
        {int32_t(q.X[2]), int32_t(q.Y[2]), 10000, 10000},
        {int32_t(q.X[3]), int32_t(q.Y[3]), 0, 10000},
    };
    for (int c = 0; c < int(std::size(cases)); ++c) {
      int32_t sx = 0, sy = 0;
      T.MapPointInteger(cases[c].DstX, cases[c].DstY, sx, sy);
      EXPECT_NEAR(sx, cases[c].SrcX, 1) << "thumbnail " << i << ", corner " << c;
      EXPECT_NEAR(sy, cases[c].SrcY, 1) << "thumbnail " << i << ", corner " << c;
    }
  }
  const auto T = Prepared({0, 0, 10000, 10000}, Thumbnails[0]);
  int32_t sx = 0, sy = 0;
  T.MapPointInteger(15, 15, sx, sy);
  EXPECT_EQ(sx, 5000);
  EXPECT_EQ(sy, 5000);
}

// A quadrilateral squeezed to a line with every corner distinct: the
// determinant is rounding noise against its products, so the matrix is
// singular and the map becomes the identity.
TEST(TProjectiveTransformation, QuadrilateralFlattenedToALineGivesTheIdentity) {
  const auto T = Prepared({0, 0, 10, 10}, {{0, 10, 20.000002f, 10.000001f}, {0, 10, 20, 10}});
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_EQ(T.Matrix[i][j], i == j ? 1.0f : 0.0f) << i << "," << j;
}

// --- Image warping -----------------------------------------------------------------------

namespace {

constexpr TColor32 Untouched = 0x12345678;

// Every pixel tells where it came from: alpha FF, x in the low 16 bits, y above.
TColor32 PatternAt(int32_t X, int32_t Y) { return 0xFF000000u | uint32_t(Y) << 12 | uint32_t(X); }

void FillPattern(TBitmap32 &B, int32_t W, int32_t H) {
  B.SetSize(W, H);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      B.Bits()[size_t(y) * size_t(W) + size_t(x)] = PatternAt(x, y);
  B.SetResampler(TResamplerKind::rkNearest);
}

void MakeDestination(TBitmap32 &B, int32_t W, int32_t H) {
  B.SetSize(W, H);
  B.Clear(Untouched);
}

std::string Where(const char *Name, int32_t X, int32_t Y) {
  return std::string(Name) + " at (" + std::to_string(X) + ", " + std::to_string(Y) + ")";
}

} // namespace

// Pixel (x, y) samples the source at the point (x, y), so exact turns and
// mirrors put the corners one pixel short of the far edges. Odd far corners
// keep the bounds' half-to-even rounding from dropping the last column or row.
TEST(Transform, IdentityTurnsAndMirrorsPermuteThePixelsExactly) {
  constexpr int32_t W = 6, H = 4;
  const struct {
    const char *Name;
    TQuad Corners;
    int32_t DstW, DstH;
    int32_t (*SrcX)(int32_t X, int32_t Y);
    int32_t (*SrcY)(int32_t X, int32_t Y);
  } Cases[] = {
      {"identity", {{0, W, W, 0}, {0, 0, H, H}}, W, H, [](int32_t X, int32_t) { return X; },
       [](int32_t, int32_t Y) { return Y; }},
      {"quarter turn", {{H - 1, H - 1, -1, -1}, {0, W, W, 0}}, H, W, [](int32_t, int32_t Y) { return Y; },
       [](int32_t X, int32_t) { return H - 1 - X; }},
      {"half turn", {{W - 1, -1, -1, W - 1}, {H - 1, H - 1, -1, -1}}, W, H,
       [](int32_t X, int32_t) { return W - 1 - X; }, [](int32_t, int32_t Y) { return H - 1 - Y; }},
      {"mirror", {{W - 1, -1, -1, W - 1}, {0, 0, H, H}}, W, H, [](int32_t X, int32_t) { return W - 1 - X; },
       [](int32_t, int32_t Y) { return Y; }},
      {"flip", {{0, W, W, 0}, {H - 1, H - 1, -1, -1}}, W, H, [](int32_t X, int32_t) { return X; },
       [](int32_t, int32_t Y) { return H - 1 - Y; }},
  };
  for (TResamplerKind Kind : {TResamplerKind::rkNearest, TResamplerKind::rkLinear})
    for (const auto &c : Cases) {
      TBitmap32 Src, Dst;
      FillPattern(Src, W, H);
      Src.SetResampler(Kind);
      MakeDestination(Dst, c.DstW, c.DstH);
      auto T = Unprepared({0, 0, W, H}, c.Corners);
      Transform(&Dst, &Src, &T);
      EXPECT_TRUE(T.TransformValid);
      for (int32_t y = 0; y < c.DstH; ++y)
        for (int32_t x = 0; x < c.DstW; ++x)
          ASSERT_EQ(Dst.ScanLine(y)[x], PatternAt(c.SrcX(x, y), c.SrcY(x, y)))
              << Where(c.Name, x, y) << (Kind == TResamplerKind::rkLinear ? ", bilinear" : "");
    }
}

// The destination-to-source homography of a trapezoid, solved here directly
// from the four corner pairs (Gaussian elimination on the usual 8 x 8 system,
// in double) rather than through the unit square and an inverse.
struct THomography {
  double H[9];  // src = (H0 x + H1 y + H2, H3 x + H4 y + H5) / (H6 x + H7 y + 1)
};

THomography SolveHomography(const double (&Dst)[4][2], const double (&Src)[4][2]) {
  double A[8][9] = {};
  for (int i = 0; i < 4; ++i) {
    const double x = Dst[i][0], y = Dst[i][1], u = Src[i][0], v = Src[i][1];
    const double RowU[9] = {x, y, 1, 0, 0, 0, -u * x, -u * y, u};
    const double RowV[9] = {0, 0, 0, x, y, 1, -v * x, -v * y, v};
    std::copy(RowU, RowU + 9, A[2 * i]);
    std::copy(RowV, RowV + 9, A[2 * i + 1]);
  }
  for (int c = 0; c < 8; ++c) {
    int Pivot = c;
    for (int r = c + 1; r < 8; ++r)
      if (std::fabs(A[r][c]) > std::fabs(A[Pivot][c]))
        Pivot = r;
    std::swap(A[c], A[Pivot]);
    for (int r = 0; r < 8; ++r)
      if (r != c) {
        const double f = A[r][c] / A[c][c];
        for (int k = c; k < 9; ++k)
          A[r][k] -= f * A[c][k];
      }
  }
  THomography Result;
  for (int i = 0; i < 8; ++i)
    Result.H[i] = A[i][8] / A[i][i];
  Result.H[8] = 1;
  return Result;
}

TEST(Transform, TrapezoidMatchesAnIndependentHomography) {
  constexpr int32_t W = 40, H = 30;
  const TQuad Corners = {{6.5f, 61, 52.25f, 2}, {3, 9.5f, 47, 41}};
  const double DstCorners[4][2] = {{6.5, 3}, {61, 9.5}, {52.25, 47}, {2, 41}};
  const double SrcCorners[4][2] = {{0, 0}, {W, 0}, {W, H}, {0, H}};
  const THomography Ref = SolveHomography(DstCorners, SrcCorners);
  TBitmap32 Src, Dst;
  FillPattern(Src, W, H);
  MakeDestination(Dst, 64, 50);
  auto T = Unprepared({0, 0, W, H}, Corners);
  Transform(&Dst, &Src, &T);
  int Drawn = 0, Skipped = 0;
  for (int32_t y = 0; y < Dst.Height(); ++y)
    for (int32_t x = 0; x < Dst.Width(); ++x) {
      const double *h = Ref.H;
      const double z = h[6] * x + h[7] * y + 1;
      const double u = (h[0] * x + h[1] * y + h[2]) / z, v = (h[3] * x + h[4] * y + h[5]) / z;
      // Single-precision matrices may round a position within a hair of a
      // half the other way; those pixels prove nothing either way.
      const double Margin = 1e-3;
      if (std::fabs(u - std::floor(u) - 0.5) < Margin || std::fabs(v - std::floor(v) - 0.5) < Margin) {
        ++Skipped;
        continue;
      }
      const int32_t sx = int32_t(std::nearbyint(u)), sy = int32_t(std::nearbyint(v));
      const bool Inside = sx >= 0 && sx < W && sy >= 0 && sy < H;
      const TColor32 Expected = Inside ? PatternAt(sx, sy) : Untouched;
      Drawn += Inside;
      ASSERT_EQ(Dst.ScanLine(y)[x], Expected) << Where("trapezoid", x, y);
    }
  EXPECT_GT(Drawn, 1500);
  EXPECT_LT(Skipped, 20);
}

// The destination is smaller than the quadrilateral on every side: only its
// own pixels are written (the sanitizers catch any write past them) and each
// gets its source pixel.
TEST(Transform, ClipsToEveryEdgeOfTheDestination) {
  TBitmap32 Src, Dst;
  FillPattern(Src, 9, 9);
  const struct {
    TQuad Corners;
    int32_t OffsetX, OffsetY;  // src = dst + offset
  } Cases[] = {
      {{{-2, 7, 7, -2}, {-2, -2, 7, 7}}, 2, 2},     // beyond all four edges at once
      {{{-5, 4, 4, -5}, {1, 1, 10, 10}}, 5, -1},    // left and bottom
      {{{3, 12, 12, 3}, {-6, -6, 3, 3}}, -3, 6},    // top and right
      {{{40, 49, 49, 40}, {0, 0, 9, 9}}, 0, 0},     // wholly outside: nothing drawn
  };
  for (int i = 0; i < int(std::size(Cases)); ++i) {
    MakeDestination(Dst, 5, 5);
    auto T = Unprepared({0, 0, 9, 9}, Cases[i].Corners);
    Transform(&Dst, &Src, &T);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 5; ++x) {
        const int32_t sx = x + Cases[i].OffsetX, sy = y + Cases[i].OffsetY;
        const bool Inside = i < 3 && sx >= 0 && sx < 9 && sy >= 0 && sy < 9;
        ASSERT_EQ(Dst.ScanLine(y)[x], Inside ? PatternAt(sx, sy) : Untouched)
            << Where(("case " + std::to_string(i)).c_str(), x, y);
      }
  }
}

// Straight alpha, source over destination, each channel rounded to nearest.
TColor32 ReferenceBlend(TColor32 F, TColor32 B) {
  const double a = (F >> 24) / 255.0;
  TColor32 R = 0;
  for (int s = 0; s < 24; s += 8)
    R |= TColor32(std::lround(((F >> s) & 0xFF) * a + ((B >> s) & 0xFF) * (1 - a))) << s;
  return R | TColor32(std::lround(255 * (a + (B >> 24) / 255.0 * (1 - a)))) << 24;
}

TEST(Transform, DrawModesCopyBlendOrCombine) {
  const TColor32 Pixels[4] = {0xFF102030, 0x80FF8000, 0x00ABCDEF, 0x40204080};
  const TColor32 Below = 0x60C0A090;
  const struct {
    const char *Name;
    TDrawMode Mode;
    bool WithCombine;
    TColor32 (*Expected)(TColor32 F, TColor32 B);
  } Cases[] = {
      {"opaque", TDrawMode::dmOpaque, false, [](TColor32 F, TColor32) { return F; }},
      {"blend", TDrawMode::dmBlend, false, ReferenceBlend},
      {"custom", TDrawMode::dmCustom, true, [](TColor32 F, TColor32 B) { return (F ^ B) + 1; }},
      {"custom without a routine", TDrawMode::dmCustom, false, [](TColor32, TColor32 B) { return B; }},
  };
  for (const auto &c : Cases) {
    TBitmap32 Src, Dst;
    Src.SetSize(2, 2);
    std::copy(Pixels, Pixels + 4, Src.Bits());
    Src.SetResampler(TResamplerKind::rkNearest);
    Src.SetDrawMode(c.Mode);
    int Calls = 0;
    if (c.WithCombine)
      Src.OnPixelCombine = [&Calls](TColor32 F, TColor32 &B) {
        ++Calls;
        B = (F ^ B) + 1;
      };
    MakeDestination(Dst, 3, 3);
    Dst.Clear(Below);
    auto T = Unprepared({0, 0, 2, 2}, {{0, 2, 2, 0}, {0, 0, 2, 2}});
    Transform(&Dst, &Src, &T);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(Dst.ScanLine(i / 2)[i % 2], c.Expected(Pixels[i], Below)) << c.Name << ", pixel " << i;
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Dst.ScanLine(2)[i], Below) << c.Name << ": outside the source";
      EXPECT_EQ(Dst.ScanLine(i)[2], Below) << c.Name << ": outside the source";
    }
    EXPECT_EQ(Calls, c.WithCombine ? 4 : 0) << c.Name;
  }
}

// Twice the size: every other destination pixel falls halfway between source
// pixels and takes the per-channel mean (rounded up at .5, the 8-bit weights'
// rounding); past the last column and row the edge pixel stands in.
TEST(Transform, BilinearSamplingMixesTheFourNeighbours) {
  const TColor32 Pixels[4] = {0xFF000000, 0xFF0000FF, 0x00FF0000, 0x8000FF10};
  TBitmap32 Src, Dst;
  Src.SetSize(2, 2);
  std::copy(Pixels, Pixels + 4, Src.Bits());
  Src.SetResampler(TResamplerKind::rkLinear);
  MakeDestination(Dst, 4, 4);
  auto T = Unprepared({0, 0, 2, 2}, {{0, 4, 4, 0}, {0, 0, 4, 4}});
  Transform(&Dst, &Src, &T);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) {
      const double u = x / 2.0, v = y / 2.0;
      const int x0 = int(u), y0 = int(v), x1 = std::min(x0 + 1, 1), y1 = std::min(y0 + 1, 1);
      const double fu = u - x0, fv = v - y0;
      TColor32 Expected = 0;
      for (int s = 0; s < 32; s += 8) {
        auto C = [&](int px, int py) { return double((Pixels[py * 2 + px] >> s) & 0xFF); };
        const double Value = (C(x0, y0) * (1 - fu) + C(x1, y0) * fu) * (1 - fv) + (C(x0, y1) * (1 - fu) + C(x1, y1) * fu) * fv;
        Expected |= TColor32(std::floor(Value + 0.5)) << s;
      }
      EXPECT_EQ(Dst.ScanLine(y)[x], Expected) << Where("bilinear", x, y);
    }
}

// A 1000 x 1000 chart into 3 x 3 pixels: each pixel takes the source pixel
// at the nearest third of the way, not the chart's top-left corner.
TEST(Transform, StrongReductionSamplesTheWholeSource) {
  TBitmap32 Src, Dst;
  FillPattern(Src, 1000, 1000);
  MakeDestination(Dst, 3, 3);
  auto T = Unprepared({0, 0, 1000, 1000}, {{0, 3, 3, 0}, {0, 0, 3, 3}});
  Transform(&Dst, &Src, &T);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 3; ++x)
      EXPECT_EQ(Dst.ScanLine(y)[x], PatternAt((x * 1000 + 1) / 3, (y * 1000 + 1) / 3)) << Where("reduction", x, y);
}

// A source rectangle near x = 2^31: most destination pixels map to positions
// that do not fit 32 bits. They are outside the bitmap, not an error.
TEST(Transform, PositionsBeyondThirtyTwoBitsLeaveThePixelsAlone) {
  const float Far = 2147483520.0f;  // 2^31 - 128
  TBitmap32 Src, Dst;
  FillPattern(Src, 4, 4);
  MakeDestination(Dst, 256, 2);
  auto T = Unprepared({Far, 0, Far + 256, 2}, {{0, 256, 256, 0}, {0, 0, 2, 2}});
  ASSERT_NO_THROW(Transform(&Dst, &Src, &T));
  for (int32_t x = 0; x < 256; ++x)
    ASSERT_EQ(Dst.ScanLine(0)[x], Untouched) << x;
}

TEST(Transform, MissingOrEmptyBitmapsAreRefusedDestinationFirst) {
  TBitmap32 Good, Empty;
  FillPattern(Good, 2, 2);
  TBitmap32 Good2;
  FillPattern(Good2, 2, 2);
  const struct {
    TBitmap32 *Dst;
    const TBitmap32 *Src;
    const char *Message;
  } Cases[] = {
      {nullptr, &Good, "Destination bitmap is nil or empty"},
      {&Empty, &Good, "Destination bitmap is nil or empty"},
      {nullptr, nullptr, "Destination bitmap is nil or empty"},
      {&Good2, nullptr, "Source bitmap is nil or empty"},
      {&Good2, &Empty, "Source bitmap is nil or empty"},
  };
  for (int i = 0; i < int(std::size(Cases)); ++i) {
    auto T = Unprepared({0, 0, 2, 2}, {{0, 2, 2, 0}, {0, 0, 2, 2}});
    try {
      Transform(Cases[i].Dst, Cases[i].Src, &T);
      ADD_FAILURE() << "case " << i << ": no error";
    } catch (const ETransformError &e) {
      EXPECT_EQ(e.Message(), Cases[i].Message) << "case " << i;
    }
    EXPECT_FALSE(T.TransformValid) << "case " << i << ": the bitmaps are checked first";
  }
}

// --- The row-wise warp against the per-pixel rule -----------------------------------------

namespace {

// A small generator of our own, so that every platform draws the same cases.
class TRandom {
public:
  uint32_t Next() {
    FState = FState * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(FState >> 32);
  }
  // Uniform in [Lo, Hi).
  float Uniform(float Lo, float Hi) { return Lo + (Hi - Lo) * static_cast<float>(Next() >> 8) * 0x1p-24f; }
  int32_t Below(int32_t N) { return static_cast<int32_t>(Next() % static_cast<uint32_t>(N)); }

private:
  uint64_t FState = 0x2545F4914F6CDD1Dull;
};

struct TWarpCase {
  std::string Name;
  TFloatRect SrcRect;
  TQuad Corners;
};

void FillRandom(TBitmap32 &B, int32_t W, int32_t H, TRandom &Random) {
  B.SetSize(W, H);
  for (size_t i = 0; i < B.PixelCount(); ++i) {
    const uint32_t Alpha = std::array<uint32_t, 4>{0, 0x80, 0xFF, Random.Next() >> 24}[Random.Below(4)];
    B.Bits()[i] = Alpha << 24 | (Random.Next() & 0xFFFFFF);
  }
}

// Warps Src into two copies of Dst, once row-wise and once by the rule, in
// the given sampling and draw mode, and reports the first pixel (or call of
// the custom combine, which must see the same pixels in the same order) in
// which they differ.
class TDifferentialWarp {
public:
  TDifferentialWarp(const TBitmap32 &Src, const TBitmap32 &Dst) : FSrc(Src), FDst(Dst) {}

  std::string Compare(const TWarpCase &Case, TResamplerKind Kind, TDrawMode Mode) {
    TBitmap32 Src, Fast, Rule;
    Copy(FSrc, Src);
    Src.SetResampler(Kind);
    Src.SetDrawMode(Mode);
    std::vector<TColor32> Calls[2];
    std::vector<TColor32> *Log = &Calls[0];
    Src.OnPixelCombine = [&Log](TColor32 F, TColor32 &B) {
      Log->push_back(F);
      Log->push_back(B);
      B = (F ^ B) + 1;
    };
    Copy(FDst, Fast);
    Copy(FDst, Rule);
    const std::string What = Case.Name + (Kind == TResamplerKind::rkNearest ? ", nearest" : ", bilinear") +
                             ", mode " + std::to_string(int(Mode));
    const std::string Errors[2] = {Run(Transform, Fast, Src, Case), (Log = &Calls[1], Run(TransformPerPixel, Rule, Src, Case))};
    if (Errors[0] != Errors[1])
      return What + ": \"" + Errors[0] + "\" against the rule's \"" + Errors[1] + "\"";
    for (int32_t y = 0; y < Fast.Height(); ++y)
      for (int32_t x = 0; x < Fast.Width(); ++x)
        if (Fast.ScanLine(y)[x] != Rule.ScanLine(y)[x])
          return Where(What.c_str(), x, y) + ": " + std::to_string(Fast.ScanLine(y)[x]) + " against the rule's " +
                 std::to_string(Rule.ScanLine(y)[x]);
    if (Calls[0] != Calls[1])
      return What + ": the custom combine saw other pixels (" + std::to_string(Calls[0].size() / 2) + " calls against " +
             std::to_string(Calls[1].size() / 2) + ")";
    return "";
  }

private:
  // The error the warp raised, if any: corners beyond the 32-bit range have no bounds.
  static std::string Run(void (*Warp)(TBitmap32 *, const TBitmap32 *, TTransformation *), TBitmap32 &Dst,
                         const TBitmap32 &Src, const TWarpCase &Case) {
    auto T = Unprepared(Case.SrcRect, Case.Corners);
    try {
      Warp(&Dst, &Src, &T);
    } catch (const ETransformError &e) {
      return e.Message();
    }
    return "";
  }

  static void Copy(const TBitmap32 &From, TBitmap32 &To) {
    To.SetSize(From.Width(), From.Height());
    std::copy(From.Bits(), From.Bits() + From.PixelCount(), To.Bits());
  }

  const TBitmap32 &FSrc, &FDst;
};

constexpr TResamplerKind Kinds[] = {TResamplerKind::rkNearest, TResamplerKind::rkLinear};
constexpr TDrawMode Modes[] = {TDrawMode::dmOpaque, TDrawMode::dmBlend, TDrawMode::dmCustom};

} // namespace

// Each kind of quadrilateral the row-wise mapping treats on its own, and the
// positions where a shortcut most easily rounds otherwise: exact halves
// (scalings by 2 and by 2/3, corners on half pixels), z exactly 1 inside a
// perspective, corners far outside, near-degenerate corners, and positions
// beyond the 32-bit range.
TEST(Transform, RowWiseWarpGivesThePixelsOfThePerPixelRule) {
  const TFloatRect Tile = {0, 0, 20, 16};
  const TWarpCase Cases[] = {
      {"identity", Tile, {{0, 20, 20, 0}, {0, 0, 16, 16}}},
      {"quarter turn", Tile, {{15, 15, -1, -1}, {0, 20, 20, 0}}},
      {"half turn", Tile, {{19, -1, -1, 19}, {15, 15, -1, -1}}},
      {"three-quarter turn", Tile, {{0, 0, 16, 16}, {19, -1, -1, 19}}},
      {"mirror", Tile, {{19, -1, -1, 19}, {0, 0, 16, 16}}},
      {"flip", Tile, {{0, 20, 20, 0}, {15, 15, -1, -1}}},
      {"twice the size", Tile, {{0, 40, 40, 0}, {0, 0, 32, 32}}},
      {"half the size", Tile, {{0, 10, 10, 0}, {0, 0, 8, 8}}},
      {"two thirds", {0, 0, 30, 24}, {{0, 20, 20, 0}, {0, 0, 16, 16}}},
      {"1.5 times, offset by a half", Tile, {{0.5f, 30.5f, 30.5f, 0.5f}, {-0.5f, -0.5f, 23.5f, 23.5f}}},
      {"offset source rectangle", {-7.25f, 3.5f, 12.75f, 19.5f}, {{2, 40, 40, 2}, {1, 1, 30, 30}}},
      {"turned by 30 degrees", Tile, {{10, 27.32f, 19.32f, 2}, {2, 12, 25.86f, 15.86f}}},
      {"turned by 7 degrees, scaled 1.3", Tile, {{3, 28.81f, 26.27f, 0.46f}, {1, 4.17f, 24.81f, 21.64f}}},
      {"turned by -63 degrees", Tile, {{5, 14.08f, 31.9f, 22.82f}, {30, 12.18f, 19.44f, 37.26f}}},
      {"parallelogram", Tile, {{4.5f, 38.25f, 44.75f, 11}, {3.25f, 9.5f, 40.75f, 34.5f}}},
      {"sheared", Tile, {{0, 20, 36, 16}, {0, 0, 16, 16}}},
      {"trapezoid", Tile, {{12, 40, 46, 2}, {2, 2, 38, 38}}},
      {"trapezoid on its side", Tile, {{2, 44, 44, 2}, {10, 1, 46, 34}}},
      {"general quadrilateral", Tile, {{3.3f, 41.7f, 37.2f, 0.6f}, {5.1f, 1.9f, 44.4f, 30.8f}}},
      {"strong perspective", Tile, {{20, 28, 60, -12}, {0, 0, 40, 40}}},
      {"vanishing line inside", Tile, {{0, 64, 40, 0}, {0, 0, 40, 40}}},
      {"z is 1 on a line", {0, 0, 32, 32}, {{0, 32, 40, -8}, {0, 0, 40, 40}}},
      {"near-degenerate", Tile, {{0, 40, 40.0001f, 0.0001f}, {0, 0, 0.0002f, 0.0001f}}},
      {"three collinear corners", Tile, {{0, 20, 40, 5}, {0, 20, 40, 30}}},
      {"corners far outside", Tile, {{-3000, 5000, 4000, -2500}, {-2000, -3500, 4200, 3800}}},
      {"far off, scaled down", Tile, {{-1e6f, 1e6f, 1e6f, -1e6f}, {-1e6f, -1e6f, 1e6f, 1e6f}}},
      {"huge corners", Tile, {{-1e30f, 3e30f, 1e30f, -2e30f}, {5, 1e29f, 2e30f, -1e30f}}},
      {"source beyond 32 bits", {2147483520.0f, 0, 2147483776.0f, 16}, {{0, 48, 48, 0}, {0, 0, 40, 40}}},
      {"tiny source rectangle", {0, 0, 1e-6f, 1e-6f}, {{0, 40, 40, 0}, {0, 0, 40, 40}}},
  };
  TRandom Random;
  TBitmap32 Src, Dst;
  FillRandom(Src, 20, 16, Random);
  FillRandom(Dst, 48, 40, Random);
  TDifferentialWarp Warp(Src, Dst);
  for (const auto &c : Cases)
    for (TResamplerKind Kind : Kinds)
      for (TDrawMode Mode : Modes)
        ASSERT_EQ(Warp.Compare(c, Kind, Mode), "");
}

// Random quadrilaterals with a fixed seed: affine and perspective, with
// corners anywhere from inside the destination to far beyond it, on whole,
// half and arbitrary pixel positions, each in one sampling and draw mode.
TEST(Transform, RowWiseWarpMatchesTheRuleOnRandomQuadrilaterals) {
  TRandom Random;
  TBitmap32 Dst;
  FillRandom(Dst, 16, 16, Random);  // small: the rule's x87 arithmetic is slow under emulation
  constexpr int Count = 2000;
  for (int i = 0; i < Count; ++i) {
    TBitmap32 Src;
    FillRandom(Src, 1 + Random.Below(20), 1 + Random.Below(20), Random);
    const float Reach = std::array<float, 4>{30, 60, 400, 1e5f}[Random.Below(4)];
    const int Grid = Random.Below(3);  // arbitrary, whole or half pixels
    auto Corner = [&] {
      const float Value = Random.Uniform(-Reach / 2, Reach);
      return Grid == 0 ? Value : std::round(Value * Grid) / Grid;
    };
    TWarpCase Case = {"random case " + std::to_string(i),
                      {0, 0, float(Src.Width()), float(Src.Height())},
                      {{Corner(), Corner(), Corner(), Corner()}, {Corner(), Corner(), Corner(), Corner()}}};
    if (Random.Below(2) == 0) {  // a parallelogram: the affine branch
      Case.Corners.X[2] = Case.Corners.X[1] + Case.Corners.X[3] - Case.Corners.X[0];
      Case.Corners.Y[2] = Case.Corners.Y[1] + Case.Corners.Y[3] - Case.Corners.Y[0];
    }
    TDifferentialWarp Warp(Src, Dst);
    ASSERT_EQ(Warp.Compare(Case, Kinds[Random.Below(2)], Modes[Random.Below(3)]), "");
  }
}

// A sum whose last bits lie beyond double precision: u = x + 8192.5 + 2^-42
// in row 1. Extended precision keeps the 2^-42 and rounds every position up;
// a double sum would be an exact half and round the even ones down. The
// row-wise warp has to notice and take the rule there.
TEST(Transform, RowWiseWarpTakesTheRuleWhereDoublePrecisionEndsAtAHalf) {
  TBitmap32 Src, Fast, Rule;
  FillPattern(Src, 8256, 2);
  MakeDestination(Fast, 16, 2);
  MakeDestination(Rule, 16, 2);
  TProjectiveTransformation T;
  const TFloatMatrix M = {{1, 0, 0}, {0x1p-42f, 1, 0}, {8192.5f, 0, 1}};
  std::copy(&M[0][0], &M[0][0] + 9, &T.Matrix[0][0]);
  T.X1 = T.X2 = 16;
  T.Y2 = T.Y3 = 2;
  T.TransformValid = true;
  Transform(&Fast, &Src, &T);
  TransformPerPixel(&Rule, &Src, &T);
  for (int32_t x = 0; x < 16; ++x) {
    ASSERT_EQ(Rule.ScanLine(1)[x], PatternAt(x + 8193, 1)) << x;
    ASSERT_EQ(Fast.ScanLine(1)[x], Rule.ScanLine(1)[x]) << x;
    ASSERT_EQ(Fast.ScanLine(0)[x], Rule.ScanLine(0)[x]) << x;
  }
}

// Warped in bands of rows, as threads share a warp, the destination comes out
// as from one warp; a band touches its own rows only.
TEST(Transform, RowBandsTogetherGiveTheWholeWarp) {
  const TFloatRect Tile = {0, 0, 20, 16};
  const TWarpCase Cases[] = {
      {"turned by 30 degrees", Tile, {{10, 27.32f, 19.32f, 2}, {2, 12, 25.86f, 15.86f}}},
      {"1.5 times, offset by a half", Tile, {{0.5f, 30.5f, 30.5f, 0.5f}, {-0.5f, -0.5f, 23.5f, 23.5f}}},
      {"trapezoid", Tile, {{12, 40, 46, 2}, {2, 2, 38, 38}}},
  };
  const int32_t Bands[][2] = {{-5, 7}, {7, 7}, {7, 23}, {23, 1000}};
  TRandom Random;
  TBitmap32 Src, Dst;
  FillRandom(Src, 20, 16, Random);
  FillRandom(Dst, 48, 40, Random);
  for (const TWarpCase &c : Cases)
    for (TResamplerKind Kind : Kinds) {
      SCOPED_TRACE(c.Name);
      Src.SetResampler(Kind);
      TBitmap32 Whole, Banded;
      for (TBitmap32 *B : {&Whole, &Banded}) {
        B->SetSize(Dst.Width(), Dst.Height());
        std::copy(Dst.Bits(), Dst.Bits() + Dst.PixelCount(), B->Bits());
      }
      auto T = Unprepared(c.SrcRect, c.Corners);
      Transform(&Whole, &Src, &T);
      T.PrepareTransform();
      for (const auto &band : Bands) {
        TransformRows(&Banded, &Src, &T, band[0], band[1]);
        for (int32_t y = std::max(band[1], 0); y < Dst.Height(); ++y)
          ASSERT_TRUE(std::equal(Dst.ScanLine(y), Dst.ScanLine(y) + Dst.Width(), Banded.ScanLine(y)))
              << "row " << y << " touched by the band ending at " << band[1];
      }
      EXPECT_TRUE(std::equal(Whole.Bits(), Whole.Bits() + Whole.PixelCount(), Banded.Bits()));
    }
}

// Magnified 256 times, a 2 x 2 source is sampled at every pair of 8-bit
// weights: each pixel must be the mix's integer formula, per channel
// ((c00·(256 - wx) + c01·wx)·(256 - wy) + (c10·(256 - wx) + c11·wx)·wy + 32768) >> 16,
// for extreme and random channel values (the right column and bottom row
// stand in for their missing neighbours).
TEST(Transform, BilinearMixIsTheIntegerFormulaAtEveryWeight) {
  TRandom Random;
  std::vector<std::array<TColor32, 4>> Quads = {{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
                                                {0x00000000, 0xFFFFFFFF, 0xFFFFFFFF, 0x00000000},
                                                {0xFF00FF00, 0x00FF00FF, 0x80808080, 0x7F7F7F7F}};
  for (int i = 0; i < 3; ++i)
    Quads.push_back({Random.Next(), Random.Next(), Random.Next(), Random.Next()});
  for (const auto &Quad : Quads) {
    TBitmap32 Src, Dst;
    Src.SetSize(2, 2);
    std::copy(Quad.begin(), Quad.end(), Src.Bits());
    Src.SetResampler(TResamplerKind::rkLinear);
    Dst.SetSize(512, 512);
    auto T = Unprepared({0, 0, 2, 2}, {{0, 512, 512, 0}, {0, 0, 512, 512}});
    Transform(&Dst, &Src, &T);
    for (uint32_t y = 0; y < 512; ++y)
      for (uint32_t x = 0; x < 512; ++x) {
        const uint32_t X = x >> 8, Y = y >> 8, Wx = x & 0xFF, Wy = y & 0xFF;
        const auto C = [&](uint32_t Px, uint32_t Py, int Shift) { return Quad[std::min(Py, 1u) * 2 + std::min(Px, 1u)] >> Shift & 0xFF; };
        TColor32 Expected = 0;
        for (int s = 0; s < 32; s += 8) {
          const uint32_t Top = C(X, Y, s) * (256 - Wx) + C(X + 1, Y, s) * Wx;
          const uint32_t Bottom = C(X, Y + 1, s) * (256 - Wx) + C(X + 1, Y + 1, s) * Wx;
          Expected |= ((Top * (256 - Wy) + Bottom * Wy + 32768) >> 16) << s;
        }
        ASSERT_EQ(Dst.ScanLine(static_cast<int32_t>(y))[x], Expected) << Where("mix", int(x), int(y));
      }
  }
}
