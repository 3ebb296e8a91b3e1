// The set view on the sample set (nkf2sampleset, run by ctest first): a mesh
// whose interpolation strays beyond its bound, a chart drawn through a
// shortcut instead of its own calibration and datum (the RD, Helmert and
// turned charts would then be off by metres), a chart cut at its image
// instead of its border (the inset corner), the wrong chart on top, a pan
// whose shifted picture does not match a fresh one, hatching of failed tiles
// spilling over the coarser chart around them, or a readout that disagrees
// with PROJ would each show here. The reference pixels are made here, pixel
// by pixel, from each chart's own calibration.
#include "SetRenderer.h"
#include "SetReadout.h"
#include "SetViewPlan.h"
#include "SetViewport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "ChartSetNames.h"
#include "ChartsHere.h"
#include "ProjTransform.h"
#include "VmNKF2TileManager.h"
#include "VmNKFCharts.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;
// In the order of ChartFileNames.
constexpr int Aldenhof = 0, Baarsum = 1, Corlum = 2, Dalmeer = 3, Eemstad = 5, NorthOverview = 6, Fennum = 7;

class SetViewTest : public testing::Test {
protected:
  static void SetUpTestSuite() {
    for (const char *name : ChartFileNames)
      Owned.push_back(std::make_unique<TNKFChart>(std::string(SAMPLE_SET) + "/" + name));
    std::vector<TSetChartExtent> extents;
    for (auto &c : Owned) {
      Charts.push_back(c.get());
      TSetChartExtent e;
      ASSERT_TRUE(SetChartExtent(*c, e)) << c->FileName;
      extents.push_back(e);
    }
    Extents = extents;
  }
  static void TearDownTestSuite() {
    Tiles.clear();
    Charts.clear();
    Owned.clear();
  }

  static const TBitmap32 &Tile(int32_t Chart, int32_t Index) {
    std::unique_ptr<TBitmap32> &t = Tiles[{Chart, Index}];
    if (!t) {
      TNKFTileEntry entry;
      Charts[static_cast<size_t>(Chart)]->GetTileEntry(static_cast<uint32_t>(Index), entry);
      t = LoadChartTile(Charts[static_cast<size_t>(Chart)]->FileName, entry, false);
    }
    return *t;
  }

  static TSetTileSource AllLoaded() {
    return [](int32_t Chart, int32_t Index, const TBitmap32 *&Bitmap) {
      Bitmap = &Tile(Chart, Index);
      return TTileState::Loaded;
    };
  }

  // A view of W x H centred on a WGS 84 position (degrees) with a client
  // pixel covering about Metres on the ground.
  static TSetViewport ViewAt(int32_t W, int32_t H, double Lat, double Lon, double Metres) {
    TSetViewport v;
    v.SetClientSize(W, H);
    v.SetCharts(Extents);
    const TDoublePoint m = MercatorForward({Lat * Degree, Lon * Degree}, WGS84Datum()->Ellipsoid);
    v.CenterOn(m);
    v.ZoomAt(Metres / std::cos(Lat * Degree), {W / 2.0, H / 2.0});
    return v;
  }

  // Whether the chart's border (its image where it has none) holds the
  // exact pixel position: crossing-number test (W. R. Franklin's pnpoly),
  // vertices on pixel corners.
  static bool BorderHolds(const TNKFChart &Chart, const TDoublePoint &P) {
    const int32_t n = Chart.Border.Count();
    if (n < 3)
      return P.X >= 0 && P.Y >= 0 && P.X < Chart.Width && P.Y < Chart.Height;
    bool inside = false;
    for (int32_t i = 0, j = n - 1; i < n; j = i++) {
      const TPoint a = Chart.Border.GetPoint(i), b = Chart.Border.GetPoint(j);
      if ((a.Y > P.Y) != (b.Y > P.Y) && P.X < (b.X - a.X) * (P.Y - a.Y) / static_cast<double>(b.Y - a.Y) + a.X)
        inside = !inside;
    }
    return inside;
  }

  // The reference for client pixel (x, y): every chart of the plan that
  // holds the position, coarsest first, each the pixel of its level under
  // the exact WGS 84 position of the pixel's centre, over the one before.
  // Which is the chart on top goes to Top (-1: none).
  static TColor32 Reference(const TSetViewPlan &Plan, const TSetViewport &View, int32_t X, int32_t Y,
                            TColor32 Background, int32_t &Top) {
    const TDoublePoint wgs = View.ClientToWGS84({X + 0.5, Y + 0.5});
    TColor32 colour = Background;
    Top = -1;
    for (const TSetViewPlan::TChartPlan &p : Plan.Charts()) {
      const TNKFChart &chart = *Charts[static_cast<size_t>(p.Chart)];
      const TDoublePoint px = chart.Calibration->WGS84ToPixel(wgs);
      if (!BorderHolds(chart, px))
        continue;
      Top = p.Chart;
      const TNKFLevel &l = chart.Levels[static_cast<size_t>(p.Level)];
      const int32_t lx = static_cast<int32_t>(std::floor(std::ldexp(px.X, -p.Level)));
      const int32_t ly = static_cast<int32_t>(std::floor(std::ldexp(px.Y, -p.Level)));
      if (lx < 0 || ly < 0 || lx >= int32_t(l.Width) || ly >= int32_t(l.Height))
        continue;
      const int32_t t = static_cast<int32_t>(l.FirstTile + static_cast<uint32_t>(ly / NKFTileSize) * l.TilesX +
                                             static_cast<uint32_t>(lx / NKFTileSize));
      const TColor32 c = Tile(p.Chart, t).ScanLine(ly % NKFTileSize)[lx % NKFTileSize];
      const uint32_t alpha = c >> 24;
      colour = alpha == 0xFF ? c : alpha == 0 ? colour : OverOpaque(c, colour);
    }
    return colour;
  }

  static inline std::vector<std::unique_ptr<TNKFChart>> Owned;
  static inline std::vector<TNKFChart *> Charts;
  static inline std::vector<TSetChartExtent> Extents;
  static inline std::map<std::pair<int32_t, int32_t>, std::unique_ptr<TBitmap32>> Tiles;
  const TViewColors Colors = DayViewColors();
};

// Where a view is centred: a point of a chart given as a fraction of its
// image (so at a corner or an edge, the coarser chart shows around it), on
// the ground metres per client pixel.
struct TPlace {
  const char *Name;
  int Chart;
  double FX, FY;
  double Metres;
};

const TPlace Places[] = {
    {"Eemstad's inset corner", Eemstad, 0.9, 0.1, 2},
    {"Dalmeer turned, its corner", Dalmeer, 0, 0, 4},
    {"Baarsum on RD, its corner", Baarsum, 1, 1, 2},
    {"Corlum on the Helmert datum, its corner", Corlum, 0, 1, 2},
    {"Fennum on RD, three points", Fennum, 1, 0, 3},
    {"Aldenhof on TM, its edge", Aldenhof, 0, 0.5, 8},
    {"the north overview's edge", NorthOverview, 1, 0.3, 30},
};

TDoublePoint PlaceWGS84(const TNKFChart &Chart, const TPlace &P) {
  return Chart.Calibration->PixelToWGS84({P.FX * Chart.Width, P.FY * Chart.Height});
}

TEST_F(SetViewTest, TheMeshStaysWithinItsBoundAtEveryZoom) {
  // From the whole set down to the zoom-in limit, step by step, at three
  // places: Aldenhof (transverse Mercator on ED 50), Baarsum (RD) and
  // Dalmeer (turned). Points of every cell off the ones refinement tested.
  double worst = 0;
  int checked = 0;
  for (int place : {5, 2, 1}) {
    const TPlace &pl = Places[place];
    const TDoublePoint centre = PlaceWGS84(*Charts[static_cast<size_t>(pl.Chart)], pl);
    TSetViewport view;
    view.SetClientSize(320, 240);
    view.SetCharts(Extents);
    view.CenterOn(MercatorForward(centre, WGS84Datum()->Ellipsoid));
    TSetViewPlan plan;
    for (int step = 0; step < 40; ++step) {
      plan.Build(view, Charts);
      for (const TSetViewPlan::TChartPlan &p : plan.Charts())
        for (const TSetViewPlan::TCell &c : p.Cells)
          for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) {
              const TDoublePoint client{c.Left + (i + 0.5) / 4 * (c.Right - c.Left) + 0.5,
                                        c.Top + (j + 0.5) / 4 * (c.Bottom - c.Top) + 0.5};
              const TDoublePoint a = plan.Interpolated(p, client), e = plan.Exact(p, client);
              const double error = std::hypot(a.X - e.X, a.Y - e.Y);
              worst = std::max(worst, error);
              ++checked;
              ASSERT_LE(error, TSetViewPlan::MaxError)
                  << pl.Name << ", chart " << p.Chart << ", " << view.MetresPerPixel() << " m per pixel";
            }
      const double before = view.MetresPerPixel();
      view.ZoomSteps(1, {160, 120});
      if (view.MetresPerPixel() == before)
        break;
    }
  }
  std::printf("mesh: largest error %.4f chart pixels in %d points\n", worst, checked);
}

TEST_F(SetViewTest, PixelsAreTheMostDetailedChartsPixelAtTheSamePosition) {
  for (const TPlace &pl : Places) {
    const TDoublePoint centre = PlaceWGS84(*Charts[static_cast<size_t>(pl.Chart)], pl);
    const TSetViewport view = ViewAt(400, 300, centre.X / Degree, centre.Y / Degree, pl.Metres);
    TSetViewPlan plan;
    plan.Build(view, Charts);
    TBitmap32 surface;
    RenderSetView(plan, AllLoaded(), Colors, TSetSampling::Nearest, surface);
    ASSERT_EQ(surface.Width(), 400);
    std::vector<int32_t> top(400 * 300);
    std::vector<TColor32> reference(top.size());
    for (int32_t y = 0; y < 300; ++y)
      for (int32_t x = 0; x < 400; ++x)
        reference[static_cast<size_t>(y * 400 + x)] =
            Reference(plan, view, x, y, Colors.Background, top[static_cast<size_t>(y * 400 + x)]);
    int equal = 0, nearBorder = 0, nearEdge = 0, elsewhere = 0, onChart = 0;
    bool named = false;
    for (int32_t y = 0; y < 300; ++y)
      for (int32_t x = 0; x < 400; ++x) {
        const size_t k = static_cast<size_t>(y * 400 + x);
        named |= top[k] == pl.Chart;
        onChart += top[k] >= 0;
        if (surface.ScanLine(y)[x] == reference[k]) {
          ++equal;
          continue;
        }
        // Within one pixel of a border: a neighbour has another chart on top.
        bool border = false;
        for (int32_t dy = -1; dy <= 1; ++dy)
          for (int32_t dx = -1; dx <= 1; ++dx) {
            const int32_t u = x + dx, v = y + dy;
            if (u >= 0 && v >= 0 && u < 400 && v < 300 && top[static_cast<size_t>(v * 400 + u)] != top[k])
              border = true;
          }
        if (border) {
          ++nearBorder;
          continue;
        }
        // Or where the exact position lies within the mesh's bound of the
        // edge of a pixel of the level drawn: the mesh may put it in the
        // neighbouring pixel.
        const TSetViewPlan::TChartPlan *p = plan.PlanOf(top[k]);
        ASSERT_NE(p, nullptr);
        const TDoublePoint e = plan.Exact(*p, {x + 0.5, y + 0.5});
        const double margin = std::ldexp(TSetViewPlan::MaxError, -p->Level);
        const auto nearEdgeOf = [margin](double V) { return std::fabs(V - std::round(V)) <= margin; };
        if (nearEdgeOf(std::ldexp(e.X, -p->Level)) || nearEdgeOf(std::ldexp(e.Y, -p->Level)))
          ++nearEdge;
        else
          ++elsewhere;
      }
    EXPECT_TRUE(named) << pl.Name << ": the chart is not on top anywhere in its view";
    EXPECT_GT(onChart, 400 * 300 / 3) << pl.Name;
    EXPECT_GE(equal, 0.995 * 400 * 300) << pl.Name;
    EXPECT_EQ(elsewhere, 0) << pl.Name;
    std::printf("%s: %d of %d pixels equal; of the others %d at a border, %d within the mesh's bound of a pixel's edge\n",
                pl.Name, equal, 400 * 300, nearBorder, nearEdge);
  }
}

TEST_F(SetViewTest, TheChartShownIsTheFirstOfChartsHere) {
  // Away from the borders (where rounding decides), at the whole set and at
  // the places, the chart on top is the first chart "Charts here" lists
  // among those the view draws.
  std::vector<TSetViewport> views;
  TSetViewport home;
  home.SetClientSize(320, 240);
  home.SetCharts(Extents);
  views.push_back(home);
  for (const TPlace &pl : Places) {
    const TDoublePoint c = PlaceWGS84(*Charts[static_cast<size_t>(pl.Chart)], pl);
    views.push_back(ViewAt(320, 240, c.X / Degree, c.Y / Degree, pl.Metres * 2));
  }
  for (size_t v = 0; v < views.size(); ++v) {
    TSetViewPlan plan;
    plan.Build(views[v], Charts);
    const std::unique_ptr<TCalibration> calibration = MakeSetViewCalibration(views[v]);
    ASSERT_TRUE(calibration);
    std::vector<int32_t> drawn;
    for (const TSetViewPlan::TChartPlan &p : plan.Charts()) {
      drawn.push_back(p.Chart);
      EXPECT_LE(1 / p.ClientPerChartPixel, TSetViewPlan::MaxChartPixelsPerClientPixel);
    }
    // Charts left out are those a client pixel would show more than 32
    // pixels of (or out of view).
    for (size_t i = 0; i < Charts.size(); ++i)
      if (std::find(drawn.begin(), drawn.end(), int32_t(i)) == drawn.end()) {
        double scale = 0, coverage = 0, ratio = 0;
        bool cuts = false;
        if (Charts[i]->GetViewCoverage(*calibration, scale, coverage, ratio, cuts) &&
            !(1 / scale > TSetViewPlan::MaxChartPixelsPerClientPixel)) {
          for (int32_t y = 0; y < 240; y += 8)
            for (int32_t x = 0; x < 320; x += 8)
              ASSERT_FALSE(BorderHolds(*Charts[i], Charts[i]->Calibration->WGS84ToPixel(
                                                       views[v].ClientToWGS84({x + 0.5, y + 0.5}))))
                  << "view " << v << " left out chart " << i << ", which shows at " << x << ", " << y;
        }
      }
    for (int32_t y = 4; y < 240; y += 7)
      for (int32_t x = 4; x < 320; x += 7) {
        const int32_t shown = plan.ChartAt(x, y);
        // Skip points within two pixels of any outline.
        bool nearOutline = false;
        for (int32_t dy = -2; dy <= 2 && !nearOutline; ++dy)
          for (int32_t dx = -2; dx <= 2; ++dx)
            if (plan.ChartAt(x + dx, y + dy) != shown) {
              nearOutline = true;
              break;
            }
        if (nearOutline)
          continue;
        const TDoublePoint wgs = views[v].ClientToWGS84({x + 0.5, y + 0.5});
        int32_t expected = -1;
        for (int32_t i : ChartsHere(Charts, wgs, *calibration))
          if (std::find(drawn.begin(), drawn.end(), i) != drawn.end()) {
            expected = i;
            break;
          }
        EXPECT_EQ(shown, expected) << "view " << v << " at " << x << ", " << y;
      }
  }
}

TEST_F(SetViewTest, APanRedrawsOnlyWhatCameIntoViewAndMatchesAFreshView) {
  const TPlace &pl = Places[3];
  const TDoublePoint c = PlaceWGS84(*Charts[static_cast<size_t>(pl.Chart)], pl);
  TSetViewport view = ViewAt(400, 300, c.X / Degree, c.Y / Degree, 3);
  TSetViewPlan plan;
  TSetRenderer renderer;
  TBitmap32 surface;
  plan.Build(view, Charts);
  renderer.Render(plan, AllLoaded(), Colors, TSetSampling::Bilinear, surface);
  const int32_t moves[][2] = {{37, -12}, {-80, 45}, {0, 130}, {-250, 0}};
  for (const auto &m : moves) {
    // The drag moves the content with the mouse: the view the other way.
    view.ScrollBy(-m[0], -m[1]);
    plan.Build(view, Charts);
    for (const TClientRect &r : ShiftSurface(surface, m[0], m[1]))
      renderer.Render(plan, AllLoaded(), Colors, TSetSampling::Bilinear, surface, &r);
    TSetViewPlan fresh;
    fresh.Build(view, Charts);
    TBitmap32 whole;
    RenderSetView(fresh, AllLoaded(), Colors, TSetSampling::Bilinear, whole);
    int differing = 0, largest = 0;
    for (int32_t y = 0; y < 300; ++y)
      for (int32_t x = 0; x < 400; ++x) {
        const TColor32 a = surface.ScanLine(y)[x], b = whole.ScanLine(y)[x];
        if (a == b)
          continue;
        ++differing;
        for (int s = 0; s < 24; s += 8)
          largest = std::max(largest, std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)));
      }
    // The same pixels: the mesh's cells lie on the global pixel grid, and a
    // cell's corners are placed on a grid of 1/2048 canvas pixel, so the
    // canvas starting elsewhere for a strip than for the whole view moves
    // them by whole pixels exactly.
    EXPECT_EQ(differing, 0) << m[0] << ", " << m[1] << ": by up to " << largest;
  }
}

// The cells are shared out to helper threads; one that cannot be started
// (the first, second or third of three here) must neither end the program (a
// joinable std::thread destroyed calls std::terminate) nor leave its cells
// undrawn: the picture is the one a single thread draws, byte for byte.
TEST_F(SetViewTest, AHelperThatCannotStartCostsNothingButSpeed) {
  const TPlace &pl = Places[3];
  const TDoublePoint c = PlaceWGS84(*Charts[static_cast<size_t>(pl.Chart)], pl);
  const TSetViewport view = ViewAt(1024, 768, c.X / Degree, c.Y / Degree, 3);
  TSetViewPlan plan;
  plan.Build(view, Charts);
  TSetRenderer single;
  single.SetThreads(1, nullptr);
  TBitmap32 expected;
  single.Render(plan, AllLoaded(), Colors, TSetSampling::Bilinear, expected);

  for (const int failing : {1, 2, 3, 0}) { // which start fails; 0: none
    int starts = 0, started = 0;
    TSetRenderer renderer;
    renderer.SetThreads(4, [&](std::function<void()> Work) {
      if (++starts == failing)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      ++started;
      return std::thread(std::move(Work));
    });
    TBitmap32 surface;
    renderer.Render(plan, AllLoaded(), Colors, TSetSampling::Bilinear, surface);
    EXPECT_GE(starts, failing) << "too few cells for the helpers";
    // Each chart in view shares its cells out anew: only the one start fails.
    EXPECT_EQ(started, failing == 0 ? starts : starts - 1) << "failing start " << failing;
    ASSERT_EQ(surface.Width(), expected.Width());
    ASSERT_EQ(surface.Height(), expected.Height());
    for (int32_t y = 0; y < surface.Height(); ++y)
      ASSERT_EQ(std::memcmp(surface.ScanLine(y), expected.ScanLine(y), static_cast<size_t>(surface.Width()) * 4), 0)
          << "failing start " << failing << ", row " << y;
  }
}

TEST_F(SetViewTest, FailedAndPendingTilesStayWithinTheirChartsBorder) {
  // Eemstad's inset corner, the north overview around it.
  const TPlace &pl = Places[0];
  const TDoublePoint c = PlaceWGS84(*Charts[static_cast<size_t>(pl.Chart)], pl);
  const TSetViewport view = ViewAt(400, 300, c.X / Degree, c.Y / Degree, 5);
  TSetViewPlan plan;
  plan.Build(view, Charts);
  ASSERT_NE(plan.PlanOf(Eemstad), nullptr);
  TBitmap32 loaded;
  RenderSetView(plan, AllLoaded(), Colors, TSetSampling::Nearest, loaded);
  for (TTileState state : {TTileState::Failed, TTileState::Pending}) {
    TBitmap32 surface;
    RenderSetView(
        plan,
        [state](int32_t Chart, int32_t Index, const TBitmap32 *&Bitmap) {
          if (Chart == Eemstad)
            return state;
          Bitmap = &Tile(Chart, Index);
          return TTileState::Loaded;
        },
        Colors, TSetSampling::Nearest, surface);
    int eemstad = 0, hatch = 0;
    for (int32_t y = 0; y < 300; ++y)
      for (int32_t x = 0; x < 400; ++x) {
        const TColor32 p = surface.ScanLine(y)[x];
        if (plan.ChartAt(x, y) == Eemstad) {
          ++eemstad;
          hatch += p == Colors.Hatch;
          EXPECT_TRUE(p == Colors.Placeholder || p == Colors.Hatch) << x << ", " << y;
        } else {
          // The coarser chart shows around the failed chart, as drawn with
          // every tile there.
          ASSERT_EQ(p, loaded.ScanLine(y)[x]) << x << ", " << y;
        }
      }
    EXPECT_GT(eemstad, 1000);
    if (state == TTileState::Failed)
      EXPECT_GT(hatch, eemstad / 10);
    else
      EXPECT_EQ(hatch, 0);
  }
}

TEST_F(SetViewTest, OutlinesFollowEveryChartsBorderWithAPlaceForItsName) {
  // Eemstad's inset corner with the north overview around it: both outlines,
  // the inset one along its cut-out corner.
  const TDoublePoint c = PlaceWGS84(*Charts[Eemstad], Places[0]);
  const TSetViewport view = ViewAt(400, 300, c.X / Degree, c.Y / Degree, 5);
  TSetViewPlan plan;
  plan.Build(view, Charts);
  TBitmap32 surface;
  TSetRenderer renderer;
  renderer.Render(plan, AllLoaded(), Colors, TSetSampling::Nearest, surface);
  renderer.DrawOutlines(plan, Colors.Border, surface);
  int outlined = 0;
  for (const TSetViewPlan::TChartPlan &p : plan.Charts()) {
    const TNKFChart &chart = *Charts[static_cast<size_t>(p.Chart)];
    // The border's own vertices, through the chart's calibration into the
    // view: each one in view is drawn.
    for (int32_t i = 0; i < chart.Border.Count(); ++i) {
      const TPoint b = chart.Border.GetPoint(i);
      const TDoublePoint v = view.WGS84ToClient(chart.Calibration->PixelToWGS84({double(b.X), double(b.Y)}));
      if (!(v.X >= 1 && v.Y >= 1 && v.X < 399 && v.Y < 299))
        continue;
      bool drawn = false;
      for (int32_t dy = -1; dy <= 1; ++dy)
        for (int32_t dx = -1; dx <= 1; ++dx)
          drawn |= surface.ScanLine(static_cast<int32_t>(v.Y) + dy)[static_cast<int32_t>(v.X) + dx] == Colors.Border;
      EXPECT_TRUE(drawn) << "chart " << p.Chart << ", vertex " << i;
      ++outlined;
    }
    TDoublePoint label;
    if (OutlineLabelPoint(p, 400, 300, label)) {
      EXPECT_GE(label.X, 0);
      EXPECT_LT(label.Y, 300);
    }
  }
  EXPECT_GE(outlined, 2) << "no border vertex in view";
}


struct TParsed {
  double Lat, Lon;
  std::string Name;
};

TParsed Parse(const std::string &Text) {
  int latD = 0, lonD = 0, used = 0;
  double latM = 0, lonM = 0;
  char ns = 0, ew = 0;
  const int n =
      std::sscanf(Text.c_str(), "%d\xB0 %lf' %c  %d\xB0 %lf' %c  %n", &latD, &latM, &ns, &lonD, &lonM, &ew, &used);
  EXPECT_EQ(n, 6) << Text;
  return {(latD + latM / 60) * (ns == 'S' ? -1 : 1), (lonD + lonM / 60) * (ew == 'W' ? -1 : 1),
          Text.substr(static_cast<size_t>(used))};
}

// "<grid> <axis> <metres> m <axis> <metres> m" back to metres.
TDoublePoint ParseGrid(const std::string &Text) {
  double values[2] = {0, 0};
  size_t at = Text.find(' '); // after the grid's name
  for (double &value : values) {
    at = Text.find(' ', at + 1); // after the axis letter
    const size_t end = Text.find(" m", at);
    std::string number;
    for (size_t i = at; i < end; ++i)
      if (Text[i] != ' ')
        number += Text[i];
    value = std::stod(number);
    at = end + 2;
  }
  return {values[0], values[1]};
}

TEST_F(SetViewTest, TheReadoutAgreesWithProjInThreeCharts) {
  struct TCase {
    int Chart;
    const char *GridCrs;
    const char *Geographic;
    const char *DatumName;
  };
  const TCase cases[] = {
      {Aldenhof,
       "+proj=tmerc +lat_0=0 +lon_0=5 +k=0.9999 +x_0=0 +y_0=0 +ellps=intl +towgs84=-87,-96,-120,0,0,0,0 +type=crs",
       "+proj=longlat +ellps=intl +towgs84=-87,-96,-120,0,0,0,0 +type=crs", "ED50, EUR-A"},
      {Baarsum,
       "+proj=sterea +lat_0=52.15616055555555 +lon_0=5.38763888888889 +k=0.9999079 +x_0=155000 +y_0=463000 "
       "+ellps=bessel +towgs84=593.16,26.15,478.54,0,0,0,0 +type=crs",
       "+proj=longlat +ellps=bessel +towgs84=593.16,26.15,478.54,0,0,0,0 +type=crs", "BESSEL (NL.RD)"},
      {NorthOverview, "+proj=merc +datum=WGS84 +type=crs", "+proj=longlat +datum=WGS84 +type=crs", "WGS 1984"},
  };
  const char *mercator = "+proj=merc +datum=WGS84 +type=crs";
  // Half a thousandth of a minute of rounding and as much again for the
  // implementations; grid metres are printed whole.
  constexpr double Tolerance = 0.001 / 60;
  for (const TCase &c : cases) {
    const TNKFChart &chart = *Charts[static_cast<size_t>(c.Chart)];
    const TDoublePoint centre = chart.Calibration->PixelToWGS84({chart.Width * 0.4, chart.Height * 0.6});
    const TSetViewport view = ViewAt(300, 200, centre.X / Degree, centre.Y / Degree, 1);
    TSetViewPlan plan;
    plan.Build(view, Charts);
    const TProjTransform toDatum(mercator, c.Geographic), toWGS84(mercator, "+proj=longlat +datum=WGS84 +type=crs"),
        toGrid(mercator, c.GridCrs);
    for (const TDoublePoint client : {TDoublePoint{150.5, 100.5}, TDoublePoint{20.25, 180.75}}) {
      const TSetReadout r = ReadSetPosition(plan, view, Charts, client);
      ASSERT_EQ(r.Chart, c.Chart) << c.DatumName;
      EXPECT_EQ(r.ChartText.rfind(chart.Text1, 0), 0u) << r.ChartText;
      ASSERT_TRUE(r.Position.Valid);
      const TDoublePoint m = view.ClientToMercator(client);
      const TDoublePoint d = toDatum(m.X, m.Y), w = toWGS84(m.X, m.Y), g = toGrid(m.X, m.Y);
      const TParsed datum = Parse(r.Position.Datum), wgs = Parse(r.Position.WGS84);
      EXPECT_NEAR(datum.Lat, d.Y, Tolerance) << c.DatumName;
      EXPECT_NEAR(datum.Lon, d.X, Tolerance) << c.DatumName;
      EXPECT_EQ(datum.Name, c.DatumName);
      EXPECT_NEAR(wgs.Lat, w.Y, Tolerance) << c.DatumName;
      EXPECT_NEAR(wgs.Lon, w.X, Tolerance) << c.DatumName;
      const TDoublePoint grid = ParseGrid(r.Position.Grid);
      EXPECT_NEAR(grid.X, g.X, 1.0) << r.Position.Grid;
      EXPECT_NEAR(grid.Y, g.Y, 1.0) << r.Position.Grid;
    }
  }
}

} // namespace

TEST_F(SetViewTest, OutlinesShowEveryChartInViewAlsoThoseTooFineToDrawYet) {
  // The whole set: the harbour charts are too fine to draw, but View > Chart
  // outlines shows them, as the charts a user can zoom into.
  TSetViewport home;
  home.SetClientSize(320, 240);
  home.SetCharts(Extents);
  TSetViewPlan plan;
  plan.Build(home, Charts);
  std::vector<int32_t> drawn, outlined;
  for (const TSetViewPlan::TChartPlan &p : plan.Charts())
    drawn.push_back(p.Chart);
  for (const TSetViewPlan::TOutline &o : plan.Outlines())
    outlined.push_back(o.Chart);
  ASSERT_EQ(outlined.size(), Charts.size()) << "every chart of the set is in view";
  EXPECT_TRUE(std::is_sorted(outlined.begin(), outlined.end()));
  EXPECT_EQ(std::count(drawn.begin(), drawn.end(), Eemstad), 0) << "a harbour chart is not drawn at the whole set";
  // A drawn chart's outline is the one its pixels are clipped to.
  for (const TSetViewPlan::TChartPlan &p : plan.Charts())
    for (const TSetViewPlan::TOutline &o : plan.Outlines()) {
      if (o.Chart == p.Chart) {
        EXPECT_EQ(o.Outline.size(), p.Outline.size()) << "chart " << p.Chart;
      }
    }
  // The renderer draws them all: some pixel of each outline's colour lies
  // on the harbour chart's outline.
  TBitmap32 surface;
  surface.SetSize(320, 240);
  surface.Clear(0xFF000000);
  TSetRenderer renderer;
  renderer.DrawOutlines(plan, 0xFFFF00FF, surface);
  const auto &eemstad = *std::find_if(plan.Outlines().begin(), plan.Outlines().end(),
                                      [](const TSetViewPlan::TOutline &o) { return o.Chart == Eemstad; });
  int onOutline = 0;
  for (const TDoublePoint &p : eemstad.Outline)
    if (p.X >= 0 && p.Y >= 0 && p.X < 320 && p.Y < 240 &&
        surface.ScanLine(static_cast<int32_t>(p.Y))[static_cast<int32_t>(p.X)] == 0xFFFF00FF)
      ++onOutline;
  EXPECT_GT(onOutline, 0);
}
