#include "VmProjectiveTransform.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct TQuad {
  float X[4], Y[4];
};

TProjectiveTransformation Prepared(TFloatRect Src, TQuad Dst) {
  TProjectiveTransformation T;
  T.SrcRect = Src;
  T.X0 = Dst.X[0], T.X1 = Dst.X[1], T.X2 = Dst.X[2], T.X3 = Dst.X[3];
  T.Y0 = Dst.Y[0], T.Y1 = Dst.Y[1], T.Y2 = Dst.Y[2], T.Y3 = Dst.Y[3];
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
