// The viewport's arithmetic: a view that scrolls past the chart's edge, a
// zoom that lets the point under the cursor slide away, a wheel step that
// misses a level's own zoom by a rounding (and so warps every repaint), the
// wrong level for a zoom, or a tile missing at the view's edge would each be
// seen by a user at once.
#include "ChartViewport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

namespace {

std::array<TNKFLevel, NKFLevelCount> LevelsOf(int32_t Width, int32_t Height) {
  std::array<TNKFLevel, NKFLevelCount> levels{};
  NKFComputeLevels(Width, Height, levels.data());
  return levels;
}

TChartViewport View(int32_t Width, int32_t Height, int32_t ClientWidth, int32_t ClientHeight) {
  TChartViewport v;
  v.SetClientSize(ClientWidth, ClientHeight);
  v.SetChart(Width, Height, LevelsOf(Width, Height));
  return v;
}

struct TClampCase {
  int32_t Width, Height, ClientWidth, ClientHeight;
  double Zoom;
  double ScrollX, ScrollY; // client pixels
  double OriginX, OriginY; // expected
};

// Scrolled far beyond each side the view stops at the chart's edge; a chart
// smaller than the client on an axis stays centred on it whatever the
// scroll.
const TClampCase ClampCases[] = {
    {4000, 3000, 800, 600, 1, -1e6, -1e6, 0, 0},
    {4000, 3000, 800, 600, 1, 1e6, 1e6, 3200, 2400},
    {4000, 3000, 800, 600, 0.5, 1e6, -1e6, 2400, 0},
    {4000, 3000, 800, 600, 2, 1e6, 1e6, 3600, 2700},
    {500, 3000, 800, 600, 1, 1e6, 1e6, -150, 2400},  // narrow: centred across
    {4000, 300, 800, 600, 1, -1e6, 1e6, 0, -150},    // low: centred down
    {600, 500, 800, 600, 1, 1e6, -1e6, -100, -50},   // small chart: 1:1, centred
};

TEST(ChartViewportTest, ScrollingStopsAtTheChartsEdgesAndCentresASmallChart) {
  for (size_t i = 0; i < std::size(ClampCases); ++i) {
    const TClampCase &c = ClampCases[i];
    TChartViewport v = View(c.Width, c.Height, c.ClientWidth, c.ClientHeight);
    v.ZoomAt(c.Zoom, {0, 0});
    v.ScrollBy(c.ScrollX, c.ScrollY);
    EXPECT_DOUBLE_EQ(v.Origin().X, c.OriginX) << "case " << i;
    EXPECT_DOUBLE_EQ(v.Origin().Y, c.OriginY) << "case " << i;
    // The scroll bars agree: position within the content, never negative.
    EXPECT_GE(v.ScrollX(), 0) << "case " << i;
    EXPECT_LE(v.ScrollX() + std::min(c.ClientWidth, v.ContentWidth()), v.ContentWidth()) << "case " << i;
  }
}

TEST(ChartViewportTest, ScrollBarPositionRoundTrips) {
  TChartViewport v = View(12000, 9000, 1024, 768);
  v.ZoomAt(0.5, {0, 0});
  v.ScrollTo(1234, 987);
  EXPECT_EQ(v.ScrollX(), 1234);
  EXPECT_EQ(v.ScrollY(), 987);
  EXPECT_EQ(v.ContentWidth(), 6000);
  v.ScrollTo(1000000, -5);
  EXPECT_EQ(v.ScrollX(), 6000 - 1024);
  EXPECT_EQ(v.ScrollY(), 0);
}

// A chart far wider than a scroll bar's 32-bit range at the greatest zoom:
// the range is scaled into what a bar holds, the position stays inside it,
// and one step of the bar's arrow (as the view takes it: the position plus a
// step, back through ScrollToX) moves the view by about that step, not to an
// edge; the thumb at the bar's end shows the chart's last pixels.
TEST(ChartViewportTest, ScrollRangeOfAChartWiderThanABarHolds) {
  struct Case {
    int32_t Width, Height;
  } cases[] = {{(1 << 29) + 1000, 900}, {INT32_MAX - 128, 600}, {700, INT32_MAX - 128}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    TChartViewport v = View(c.Width, c.Height, 1024, 768);
    v.ZoomAt(v.MaxZoom(), {0, 0});
    v.CenterOn({c.Width / 2.0, c.Height / 2.0});
    for (const bool across : {true, false}) {
      const int32_t content = across ? v.ContentWidth() : v.ContentHeight();
      const int32_t page = across ? v.PageWidth() : v.PageHeight();
      const int32_t position = across ? v.ScrollX() : v.ScrollY();
      const double unit = across ? v.ScrollUnitX() : v.ScrollUnitY();
      const double extent = (across ? c.Width : c.Height) * v.Zoom();
      EXPECT_GT(content, 0) << "case " << i << (across ? " across" : " down");
      EXPECT_LE(content, TChartViewport::ScrollRange) << "case " << i;
      EXPECT_NEAR(content * unit, extent, unit) << "case " << i;
      EXPECT_GE(position, 0) << "case " << i;
      EXPECT_LE(position + page, content) << "case " << i;
      if (extent < 2 * (across ? v.ClientWidth() : v.ClientHeight()))
        continue; // centred: nothing to scroll
      // In the middle, as the view was centred.
      EXPECT_NEAR(position, content / 2.0 - page / 2.0, 2) << "case " << i;
      const double before = across ? v.Origin().X : v.Origin().Y;
      const double other = across ? v.Origin().Y : v.Origin().X;
      constexpr int32_t Step = 32;
      if (across)
        v.ScrollToX(position + Step);
      else
        v.ScrollToY(position + Step);
      const double moved = ((across ? v.Origin().X : v.Origin().Y) - before) * v.Zoom(); // client pixels
      EXPECT_NEAR(moved, Step * unit, unit) << "case " << i << (across ? " across" : " down");
      EXPECT_EQ(across ? v.Origin().Y : v.Origin().X, other) << "case " << i << ": the other axis moved";
      // The bar's end shows the chart's end.
      if (across)
        v.ScrollToX(content - page);
      else
        v.ScrollToY(content - page);
      const double end = across ? v.ClientToChart({1024.0, 0}).X : v.ClientToChart({0, 768.0}).Y;
      EXPECT_NEAR(end, across ? c.Width : c.Height, 2 * unit / v.Zoom()) << "case " << i;
      v.CenterOn({c.Width / 2.0, c.Height / 2.0});
    }
  }
}

// Fit and the least zoom of a chart far larger than the window: the
// coarsest level is drawn at no less than half its size, so the tiles the
// view asks for and the pixels it composes follow the window (a 160000 x
// 120000 chart fitted whole would need 1,200 tiles of level 4 and a level
// surface of 10000 x 7500 pixels), and the view starts at the chart's middle.
TEST(ChartViewportTest, AHugeChartsViewFollowsTheWindow) {
  struct Case {
    int32_t Width, Height, ClientWidth, ClientHeight;
  } cases[] = {{160000, 120000, 1024, 768}, {2000000, 30000, 800, 600}, {40000, 40000, 1920, 1080},
               {INT32_MAX - 128, 256, 640, 480}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    TChartViewport v = View(c.Width, c.Height, c.ClientWidth, c.ClientHeight);
    v.ZoomAt(1e-9, {0, 0});
    EXPECT_EQ(v.Zoom(), TChartViewport::CoarsestZoom) << "case " << i;
    v.Fit();
    EXPECT_EQ(v.Zoom(), TChartViewport::CoarsestZoom) << "case " << i;
    EXPECT_EQ(v.Level(), NKFLevelCount - 1) << "case " << i;
    const TDoublePoint middle = v.ClientToChart({c.ClientWidth / 2.0, c.ClientHeight / 2.0});
    EXPECT_NEAR(middle.X, std::min(c.Width / 2.0, std::max(c.Width - c.ClientWidth * 16.0, c.Width / 2.0)), 32)
        << "case " << i;
    // Level 4 at half its size: at most twice the client's pixels a side,
    // plus the bilinear neighbours, and the tiles that takes.
    const TChartViewport::TLevelRect r = v.LevelPixelsRead();
    EXPECT_LE(r.Right - r.Left, 2 * c.ClientWidth + 2) << "case " << i;
    EXPECT_LE(r.Bottom - r.Top, 2 * c.ClientHeight + 2) << "case " << i;
    const size_t most = static_cast<size_t>((2 * c.ClientWidth + 2) / NKFTileSize + 2) *
                        static_cast<size_t>((2 * c.ClientHeight + 2) / NKFTileSize + 2);
    EXPECT_LE(v.VisibleTiles().size(), most) << "case " << i;
  }
  // A chart that fits above the least zoom is still fitted whole.
  TChartViewport fits = View(30000, 20000, 1024, 768);
  EXPECT_DOUBLE_EQ(fits.Zoom(), 1024.0 / 30000);
  EXPECT_DOUBLE_EQ(fits.Origin().X, 0);
}

struct TZoomCase {
  double From, To;
  TDoublePoint Client;
};

// Away from the edges the chart point under the cursor stays under it.
const TZoomCase ZoomCases[] = {
    {0.5, 1, {300, 200}}, {1, 0.5, {512, 384}}, {1, 3.3, {17, 760}}, {0.25, 0.7071067811865476, {1000, 5}},
    {2, 0.3, {0, 0}},
};

TEST(ChartViewportTest, ZoomKeepsThePointUnderTheCursor) {
  for (size_t i = 0; i < std::size(ZoomCases); ++i) {
    const TZoomCase &c = ZoomCases[i];
    TChartViewport v = View(12000, 9000, 1024, 768);
    v.ZoomAt(c.From, {0, 0});
    v.CenterOn({6000, 4500});
    const TDoublePoint before = v.ClientToChart(c.Client);
    v.ZoomAt(c.To, c.Client);
    EXPECT_DOUBLE_EQ(v.Zoom(), c.To) << "case " << i;
    const TDoublePoint after = v.ChartToClient(before);
    // A level's own zoom snaps the view to whole level pixels: half a client
    // pixel at most.
    const double tolerance = v.LevelZoom() == 1 ? 0.5 : 1e-9;
    EXPECT_NEAR(after.X, c.Client.X, tolerance) << "case " << i;
    EXPECT_NEAR(after.Y, c.Client.Y, tolerance) << "case " << i;
  }
}

struct TPixelCase {
  int32_t Width, Height, ClientWidth, ClientHeight;
  double Zoom;
  int32_t ScrollX, ScrollY;
  int32_t X, Y;            // a client pixel
  double ChartX, ChartY;   // the centre of what it shows, worked out by hand
};

// A client pixel covers 1 / Zoom chart pixels from Origin + X / Zoom; it
// shows (and the readout names) the middle of that square, not its corner:
// at 12.5 % the corner is four chart pixels off.
const TPixelCase PixelCases[] = {
    {8192, 6144, 1024, 768, 0.125, 0, 0, 0, 0, 4, 4},            // the overview fitted at 12.5 %
    {8192, 6144, 1024, 768, 0.125, 0, 0, 1023, 767, 8188, 6140}, // its last pixel
    {4000, 3000, 800, 600, 1, 100, 50, 10, 20, 110.5, 70.5},
    {4000, 3000, 800, 600, 4, 400, 400, 1, 2, 100.375, 100.625},
    {600, 500, 800, 600, 1, 0, 0, 100, 50, 0.5, 0.5}, // a small chart, centred: its first pixel
};

TEST(ChartViewportTest, AClientPixelNamesThePlaceUnderItsCentreAsPaintingSamplesIt) {
  for (size_t i = 0; i < std::size(PixelCases); ++i) {
    const TPixelCase &c = PixelCases[i];
    TChartViewport v = View(c.Width, c.Height, c.ClientWidth, c.ClientHeight);
    v.ZoomAt(c.Zoom, {0, 0});
    v.ScrollTo(c.ScrollX, c.ScrollY);
    ASSERT_EQ(v.Zoom(), c.Zoom) << "case " << i;
    const TDoublePoint p = v.ClientPixelToChart(c.X, c.Y);
    EXPECT_DOUBLE_EQ(p.X, c.ChartX) << "case " << i;
    EXPECT_DOUBLE_EQ(p.Y, c.ChartY) << "case " << i;
    // Painting samples the level drawn at the same place (pixel k of the
    // level at coordinate k there).
    EXPECT_DOUBLE_EQ(std::ldexp(p.X, -v.Level()) - 0.5, v.LevelSampleX(c.X)) << "case " << i;
    EXPECT_DOUBLE_EQ(std::ldexp(p.Y, -v.Level()) - 0.5, v.LevelSampleY(c.Y)) << "case " << i;
  }
}

TEST(ChartViewportTest, ALevelsOwnZoomIsAlwaysAStraightCopy) {
  // However the view got there: a wheel step about any cursor position, a
  // centring on a fractional point, a drag by whole pixels, a chart smaller
  // than an odd-sized client.
  TChartViewport v = View(12000, 9000, 1023, 767);
  v.ZoomAt(std::sqrt(2.0), {0, 0});
  v.CenterOn({5000.3, 4000.7});
  v.ZoomSteps(-1, {333.3, 97.1});
  EXPECT_EQ(v.Zoom(), 1);
  EXPECT_TRUE(v.IsStraightCopy());
  v.ZoomSteps(-2, {17.9, 700.2});
  EXPECT_EQ(v.Zoom(), 0.5);
  EXPECT_TRUE(v.IsStraightCopy());
  v.CenterOn({1234.567, 891.011});
  EXPECT_TRUE(v.IsStraightCopy());
  v.ScrollBy(7, -3);
  EXPECT_TRUE(v.IsStraightCopy());
  TChartViewport small = View(1000, 700, 1101, 801);
  small.ZoomAt(1, {550.5, 400.5});
  EXPECT_TRUE(small.IsStraightCopy());
}

TEST(ChartViewportTest, ZoomIsClampedToTheLimits) {
  TChartViewport v = View(12000, 9000, 1200, 600);
  EXPECT_DOUBLE_EQ(v.MinZoom(), 600.0 / 9000);
  v.ZoomAt(100, {10, 10});
  EXPECT_EQ(v.Zoom(), v.MaxZoom());
  v.ZoomAt(1e-9, {10, 10});
  EXPECT_EQ(v.Zoom(), v.MinZoom());
  v.ZoomAt(std::nan(""), {10, 10});
  EXPECT_EQ(v.Zoom(), v.MinZoom());
  // Fit shows the whole chart, centred on the wider axis.
  v.ZoomAt(1, {0, 0});
  v.Fit();
  EXPECT_DOUBLE_EQ(v.Zoom(), 600.0 / 9000);
  EXPECT_DOUBLE_EQ(v.ChartToClient({0, 0}).X, (1200 - 800) / 2.0);
  EXPECT_DOUBLE_EQ(v.ChartToClient({12000, 9000}).Y, 600);
}

TEST(ChartViewportTest, WheelStepsLandExactlyOnEveryLevel) {
  TChartViewport v = View(100000, 80000, 1000, 800); // fits at 1/100: all five levels reachable
  std::vector<double> zooms;
  for (int i = 0; i < 40 && v.Zoom() < v.MaxZoom(); ++i) {
    v.ZoomSteps(1, {500, 400});
    zooms.push_back(v.Zoom());
  }
  for (int level = 0; level < NKFLevelCount; ++level) {
    const double own = std::ldexp(1.0, -level);
    EXPECT_NE(std::find(zooms.begin(), zooms.end(), own), zooms.end()) << "level " << level;
  }
  // Between two levels there is exactly one step, at the geometric middle.
  EXPECT_NE(std::find(zooms.begin(), zooms.end(), std::sqrt(0.5)), zooms.end());
  EXPECT_EQ(zooms.back(), v.MaxZoom());
  // Back down the same steps, to the same values bit for bit.
  for (size_t i = zooms.size() - 1; i > 0; --i) {
    v.ZoomSteps(-1, {500, 400});
    EXPECT_EQ(v.Zoom(), zooms[i - 1]) << "step " << i;
  }
}

TEST(ChartViewportTest, StepsFromBetweenTwoStepsGoToTheNextOneInThatDirection) {
  TChartViewport v = View(100000, 80000, 1000, 800);
  v.ZoomAt(0.3, {0, 0});
  v.ZoomSteps(1, {0, 0});
  EXPECT_DOUBLE_EQ(v.Zoom(), std::sqrt(0.125));
  v.ZoomAt(0.3, {0, 0});
  v.ZoomSteps(-1, {0, 0});
  EXPECT_EQ(v.Zoom(), 0.25);
  v.ZoomAt(0.3, {0, 0});
  v.ZoomSteps(-2, {0, 0});
  EXPECT_DOUBLE_EQ(v.Zoom(), std::sqrt(0.125) / 2);
}

struct TLevelCase {
  double Zoom;
  int32_t Level;
  double LevelZoom;
};

// The coarsest level that still has at least one pixel per client pixel.
const TLevelCase LevelCases[] = {
    {4, 0, 4}, {1, 0, 1}, {0.75, 0, 0.75}, {0.5000001, 0, 0.5000001}, {0.5, 1, 1}, {0.4, 1, 0.8},
    {0.25, 2, 1}, {0.2, 2, 0.8}, {0.125, 3, 1}, {0.0625, 4, 1}, {0.04, 4, 0.64}, {1.0 / 32, 4, 0.5},
};

TEST(ChartViewportTest, LevelIsTheCoarsestAtLeastAsFineAsTheZoom) {
  for (size_t i = 0; i < std::size(LevelCases); ++i) {
    const TLevelCase &c = LevelCases[i];
    TChartViewport v = View(100000, 80000, 1000, 800);
    v.ZoomAt(c.Zoom, {0, 0});
    ASSERT_EQ(v.Zoom(), c.Zoom) << "case " << i;
    EXPECT_EQ(v.Level(), c.Level) << "case " << i;
    EXPECT_DOUBLE_EQ(v.LevelZoom(), c.LevelZoom) << "case " << i;
  }
}

// --- Visible tiles against a brute-force cover of the client's pixels ---

using TTileSet = std::set<std::pair<int32_t, int32_t>>; // (column, row)

// Every level pixel a client pixel's bilinear sample reads: the pixel its
// centre falls in and the right and lower neighbours (when the fraction is
// not zero), within the level. Slack widens the centre's position both ways.
TTileSet BruteForceCover(const TChartViewport &v, double Slack) {
  const int32_t level = v.Level();
  const TNKFLevel &l = v.Levels()[static_cast<size_t>(level)];
  const double scale = std::ldexp(1.0, -level);
  auto pixelsRead = [&](double centre, double origin, uint32_t extent) {
    const double u = (centre / v.Zoom() + origin) * scale - 0.5;
    std::set<int32_t> pixels;
    for (double s : {u - Slack, u, u + Slack}) {
      const double f = std::floor(s);
      for (double p : {f, s == f ? f : f + 1})
        if (p >= 0 && p < extent)
          pixels.insert(static_cast<int32_t>(p) / NKFTileSize);
    }
    return pixels;
  };
  std::set<int32_t> columns, rows;
  for (int32_t x = 0; x < v.ClientWidth(); ++x)
    for (int32_t c : pixelsRead(x + 0.5, v.Origin().X, l.Width))
      columns.insert(c);
  for (int32_t y = 0; y < v.ClientHeight(); ++y)
    for (int32_t r : pixelsRead(y + 0.5, v.Origin().Y, l.Height))
      rows.insert(r);
  TTileSet tiles;
  for (int32_t c : columns)
    for (int32_t r : rows)
      tiles.insert({c, r});
  return tiles;
}

struct TTileCase {
  int32_t Width, Height, ClientWidth, ClientHeight;
  double Zoom;
  TDoublePoint Centre; // chart pixels
};

const TTileCase TileCases[] = {
    {12000, 9000, 1024, 768, 1, {0, 0}},           // top left corner, straight copy
    {12000, 9000, 1024, 768, 1, {12000, 9000}},    // bottom right corner
    {12000, 9000, 1024, 768, 0.7, {12000, 0}},     // top right, warped
    {12000, 9000, 1024, 768, 0.35, {0, 9000}},     // bottom left, level 1
    {12000, 9000, 1920, 1080, 0.09, {6000, 4500}}, // whole chart at level 3
    {1000, 600, 1024, 768, 1, {500, 300}},         // chart smaller than the client
    {1000, 600, 1024, 768, 3.7, {999, 599}},       // magnified at the last pixel
    {2049, 1025, 640, 480, 0.5, {1024.5, 512.5}},  // tile boundaries inside the client
    {5000, 4400, 1024, 768, 1, {2560, 2304}},      // view edge on a tile boundary
};

TEST(ChartViewportTest, VisibleTilesAreTheBruteForceCoverAndTheRingSurroundsThem) {
  for (size_t i = 0; i < std::size(TileCases); ++i) {
    const TTileCase &c = TileCases[i];
    TChartViewport v = View(c.Width, c.Height, c.ClientWidth, c.ClientHeight);
    v.ZoomAt(c.Zoom, {0, 0});
    v.CenterOn(c.Centre);
    const TNKFLevel &l = v.Levels()[static_cast<size_t>(v.Level())];
    TTileSet visible;
    for (const TViewTile &t : v.VisibleTiles()) {
      ASSERT_GE(t.Column, 0) << "case " << i;
      ASSERT_LT(t.Column, static_cast<int32_t>(l.TilesX)) << "case " << i;
      ASSERT_GE(t.Row, 0) << "case " << i;
      ASSERT_LT(t.Row, static_cast<int32_t>(l.TilesY)) << "case " << i;
      // Row by row from the top left, as the writer numbers them.
      EXPECT_EQ(t.TileIndex, static_cast<int32_t>(l.FirstTile + t.Row * l.TilesX + t.Column)) << "case " << i;
      EXPECT_TRUE(visible.insert({t.Column, t.Row}).second) << "case " << i << ": tile listed twice";
    }
    const TTileSet needed = BruteForceCover(v, 0), allowed = BruteForceCover(v, 1.0 / 32);
    for (const auto &t : needed)
      EXPECT_TRUE(visible.count(t)) << "case " << i << ": missing tile " << t.first << "," << t.second;
    for (const auto &t : visible)
      EXPECT_TRUE(allowed.count(t)) << "case " << i << ": tile " << t.first << "," << t.second << " not shown";

    // The ring: every in-level tile next to the visible block, none of them
    // visible, none outside the level.
    int32_t c0 = INT32_MAX, r0 = INT32_MAX, c1 = -1, r1 = -1;
    for (const auto &[col, row] : visible) {
      c0 = std::min(c0, col), c1 = std::max(c1, col), r0 = std::min(r0, row), r1 = std::max(r1, row);
    }
    TTileSet expectedRing;
    for (int32_t row = r0 - 1; row <= r1 + 1; ++row)
      for (int32_t col = c0 - 1; col <= c1 + 1; ++col)
        if (col >= 0 && row >= 0 && col < static_cast<int32_t>(l.TilesX) && row < static_cast<int32_t>(l.TilesY) &&
            !visible.count({col, row}))
          expectedRing.insert({col, row});
    TTileSet ring;
    for (const TViewTile &t : v.RingTiles()) {
      EXPECT_EQ(t.TileIndex, static_cast<int32_t>(l.FirstTile + t.Row * l.TilesX + t.Column)) << "case " << i;
      ring.insert({t.Column, t.Row});
    }
    EXPECT_EQ(ring, expectedRing) << "case " << i;
  }
}

TEST(ChartViewportTest, MinimisedWindowKeepsTheViewAndShowsNoTiles) {
  TChartViewport v = View(12000, 9000, 1024, 768);
  v.ZoomAt(1, {0, 0});
  v.CenterOn({3000, 2000});
  const TDoublePoint origin = v.Origin();
  v.SetClientSize(0, 0);
  EXPECT_TRUE(v.VisibleTiles().empty());
  v.SetClientSize(1024, 768);
  EXPECT_EQ(v.Zoom(), 1);
  EXPECT_DOUBLE_EQ(v.Origin().X, origin.X);
  EXPECT_DOUBLE_EQ(v.Origin().Y, origin.Y);
}

} // namespace
