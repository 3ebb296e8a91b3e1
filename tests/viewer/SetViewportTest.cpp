// The set view's viewport: Home that leaves part of the set outside, a zoom
// limit taken from the wrong chart (all of the set's instead of those in
// view), a zoom that loses the place under the cursor, a pan that moves by a
// fraction of a pixel (so that shifting the drawn picture would no longer
// match a fresh one), and a scale in the status bar off by the latitude's
// factor would each show here.
#include "SetViewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// Two made-up charts near 53 N in Mercator metres (WGS 84): a coarse one
// (10 Mercator metres per pixel) and, in its south-west, a fine one (2).
const TSetChartExtent Coarse{500000, 6990000, 560000, 7030000, 10};
const TSetChartExtent Fine{505000, 6992000, 515000, 7000000, 2};

TSetViewport Viewport(int32_t W = 800, int32_t H = 600) {
  TSetViewport v;
  v.SetClientSize(W, H);
  v.SetCharts({Coarse, Fine});
  return v;
}

TEST(SetViewportTest, HomeShowsTheWholeSetCentred) {
  const TSetViewport v = Viewport();
  const TDoublePoint a = v.MercatorToClient({Coarse.Left, Coarse.Top});
  const TDoublePoint b = v.MercatorToClient({Coarse.Right, Coarse.Bottom});
  // 60 km by 40 km into 800 x 600: the width fills the client.
  EXPECT_NEAR(v.MetresPerPixel(), 60000.0 / 800, 1e-9);
  EXPECT_NEAR(a.X, 0, 0.5);
  EXPECT_NEAR(b.X, 800, 0.5);
  EXPECT_NEAR((a.Y + b.Y) / 2, 300, 0.5);
}

TEST(SetViewportTest, ZoomingInStopsAtFourPixelsPerPixelOfTheFinestChartInView) {
  struct TCase {
    TDoublePoint Place; // Mercator, zoomed into
    double Limit;
  };
  // Over the fine chart its pixels set the limit; far from it, the coarse
  // chart's (the fine chart's limit there would show its pixels 20 wide).
  const TCase cases[] = {{{510000, 6996000}, Fine.MercatorMetresPerPixel / 4},
                         {{555000, 7025000}, Coarse.MercatorMetresPerPixel / 4}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    TSetViewport v = Viewport();
    v.CenterOn(cases[i].Place);
    v.ZoomSteps(40, {400, 300});
    EXPECT_DOUBLE_EQ(v.MetresPerPixel(), cases[i].Limit) << "case " << i;
    v.ZoomSteps(1, {400, 300});
    EXPECT_DOUBLE_EQ(v.MetresPerPixel(), cases[i].Limit) << "case " << i;
  }
}

TEST(SetViewportTest, ZoomKeepsThePlaceUnderTheCursorAndStepsByHalfLevels) {
  TSetViewport v = Viewport();
  const TDoublePoint cursor{123, 456};
  for (int step : {1, 1, 1, -1, 2, -3}) {
    const TDoublePoint before = v.ClientToMercator(cursor);
    v.ZoomSteps(step, cursor);
    const TDoublePoint after = v.MercatorToClient(before);
    // The corner snaps to a whole global pixel: at most half a pixel each way.
    EXPECT_LE(std::fabs(after.X - cursor.X), 0.5 + 1e-9);
    EXPECT_LE(std::fabs(after.Y - cursor.Y), 0.5 + 1e-9);
    const double k = 2 * std::log2(v.MetresPerPixel());
    EXPECT_NEAR(k, std::round(k), 1e-9) << "a zoom between the steps";
  }
  // Out as far as it goes: the whole set, and then some, but not further.
  v.ZoomSteps(-40, cursor);
  EXPECT_DOUBLE_EQ(v.MetresPerPixel(), v.MaxMetresPerPixel());
  EXPECT_GE(v.MaxMetresPerPixel(), 60000.0 / 800);
}

TEST(SetViewportTest, APanMovesByWholePixels) {
  TSetViewport v = Viewport();
  v.ZoomSteps(3, {400, 300});
  EXPECT_EQ(v.OriginX(), std::floor(v.OriginX()));
  EXPECT_EQ(v.OriginY(), std::floor(v.OriginY()));
  const TDoublePoint p{10.5, 20.5};
  const TDoublePoint before = v.ClientToMercator(p);
  v.ScrollBy(37, -12);
  const TDoublePoint after = v.ClientToMercator({p.X - 37, p.Y + 12});
  EXPECT_EQ(before.X, after.X);
  EXPECT_EQ(before.Y, after.Y);
  // Not beyond the set: the view's centre stays over it.
  v.ScrollBy(1000000, 1000000);
  const TDoublePoint c = v.Centre();
  EXPECT_LE(c.X, Coarse.Right + v.MetresPerPixel());
  EXPECT_GE(c.Y, Coarse.Bottom - v.MetresPerPixel());
}

TEST(SetViewportTest, ScaleAtTheCentreCountsTheLatitude) {
  // On the ground a pixel covers m cos(phi) / sqrt(1 - e^2 sin^2(phi)); at
  // 96 pixels per inch a pixel is 0.0254 / 96 m.
  const double e2 = WGS84Datum()->Ellipsoid->E2;
  TSetViewport v = Viewport();
  const double phi = v.ClientToWGS84({400, 300}).X;
  const double ground = 25000 * 0.0254 / 96;
  v.ZoomAt(ground / (std::cos(phi) / std::sqrt(1 - e2 * std::sin(phi) * std::sin(phi))), {400, 300});
  EXPECT_NEAR(v.ScaleNumber(), 25000, 1);
  EXPECT_EQ(v.ScaleText(), "1 : 25 000");
}

} // namespace
