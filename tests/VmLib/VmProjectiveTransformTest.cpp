#include "VmProjectiveTransform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

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
