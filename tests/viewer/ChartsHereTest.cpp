// "Charts here" on the sample set: a chart listed for a point in its
// border's cut-out corner or just outside its edge, a chart missed just
// inside it, the overview listed before the harbour chart, a view
// calibration that loses a chart's rotation, or the chosen chart opened
// somewhere else or at another scale would each send the user to the wrong
// chart or place. The set comes from nkf2sampleset, run by ctest first.
#include "ChartsHere.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "ChartSetNames.h"
#include "VmNKFCharts.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;

// Metres on the ground per chart pixel, as the set was laid out (in the
// order of ChartFileNames): the reference for "most detailed first".
constexpr double PlannedMetresPerPixel[ChartFileCount] = {3.0, 1.25, 1.5, 2.5, 2.0, 1.25, 15.0, 2.0, 15.0};
constexpr int Eemstad = 5, Corlum = 2, NorthOverview = 6;

class ChartsHereTest : public testing::Test {
protected:
  static void SetUpTestSuite() {
    for (const char *name : ChartFileNames)
      Owned.push_back(std::make_unique<TNKFChart>(std::string(SAMPLE_SET) + "/" + name));
    for (auto &c : Owned)
      Charts.push_back(c.get());
  }
  static void TearDownTestSuite() {
    Charts.clear();
    Owned.clear();
  }

  static TChartViewport ViewOn(const TNKFChart &Chart, int32_t W, int32_t H, double Zoom, const TDoublePoint &Centre) {
    TChartViewport v;
    v.SetClientSize(W, H);
    v.SetChart(Chart.Width, Chart.Height, Chart.Levels);
    v.ZoomAt(Zoom, {0, 0});
    v.CenterOn(Centre);
    return v;
  }

  // Whether the chart's border polygon holds the position: crossing-number
  // test (W. R. Franklin's pnpoly) on the exact pixel position.
  static bool BorderHolds(const TNKFChart &Chart, const TDoublePoint &WGS84) {
    const TDoublePoint p = Chart.Calibration->WGS84ToPixel(WGS84);
    bool inside = false;
    const int32_t n = Chart.Border.Count();
    for (int32_t i = 0, j = n - 1; i < n; j = i++) {
      const TPoint a = Chart.Border.GetPoint(i), b = Chart.Border.GetPoint(j);
      if ((a.Y > p.Y) != (b.Y > p.Y) && p.X < (b.X - a.X) * (p.Y - a.Y) / static_cast<double>(b.Y - a.Y) + a.X)
        inside = !inside;
    }
    return inside;
  }

  static inline std::vector<std::unique_ptr<TNKFChart>> Owned;
  static inline std::vector<TNKFChart *> Charts;
};

struct TPointCase {
  const char *Name;
  int Chart;           // the position is this chart's pixel
  TDoublePoint Pixel;
  bool OnChart;        // whether that chart must be listed
};

const TPointCase PointCases[] = {
    {"Eemstad inside", Eemstad, {300, 800}, true},
    {"Eemstad's cut-out corner", Eemstad, {1500 * 0.95, 1000 * 0.1}, false},
    {"3 px inside Corlum's west edge", Corlum, {3, 750}, true},
    {"3 px outside Corlum's west edge", Corlum, {-3, 750}, false},
    {"3 px inside Corlum's south edge", Corlum, {1000, 1497}, true},
    {"Aldenhof's middle", 0, {6000, 4500}, true},
};

TEST_F(ChartsHereTest, ChartsContainingThePositionMostDetailedFirst) {
  for (const TPointCase &c : PointCases) {
    TNKFChart &chart = *Charts[static_cast<size_t>(c.Chart)];
    const TDoublePoint wgs84 = chart.Calibration->PixelToWGS84(c.Pixel);
    // The view: the north overview centred on the point, as a user who
    // right-clicks there sees it.
    TNKFChart &overview = *Charts[NorthOverview];
    const TChartViewport view = ViewOn(overview, 800, 600, 1, overview.Calibration->WGS84ToPixel(wgs84));
    const std::unique_ptr<TCalibration> viewCalibration = MakeViewCalibration(overview, view);
    ASSERT_NE(viewCalibration, nullptr);
    const std::vector<int32_t> found = ChartsHere(Charts, wgs84, *viewCalibration);

    std::vector<int32_t> expected;
    for (int32_t i = 0; i < ChartFileCount; ++i)
      if (BorderHolds(*Charts[static_cast<size_t>(i)], wgs84))
        expected.push_back(i);
    std::vector<int32_t> sorted = found;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, expected) << c.Name;
    EXPECT_EQ(std::count(found.begin(), found.end(), c.Chart), c.OnChart ? 1 : 0) << c.Name;
    for (size_t k = 1; k < found.size(); ++k)
      EXPECT_LE(PlannedMetresPerPixel[found[k - 1]], PlannedMetresPerPixel[found[k]]) << c.Name << " at " << k;
  }
}

TEST_F(ChartsHereTest, NoChartsOutsideTheSetAndClosedChartsSkipped) {
  TNKFChart &overview = *Charts[NorthOverview];
  const TChartViewport view = ViewOn(overview, 800, 600, 0.2, {2500, 2200});
  const std::unique_ptr<TCalibration> viewCalibration = MakeViewCalibration(overview, view);
  ASSERT_NE(viewCalibration, nullptr);
  EXPECT_TRUE(ChartsHere(Charts, {50 * Degree, 0}, *viewCalibration).empty());
  // A chart that failed to open is a null entry: passed over, the others kept.
  std::vector<TNKFChart *> some = Charts;
  some[0] = nullptr;
  const TDoublePoint aldenhof = Charts[0]->Calibration->PixelToWGS84({6000, 4500});
  TNKFChart &south = *Charts[8];
  const TChartViewport southView = ViewOn(south, 800, 600, 0.2, south.Calibration->WGS84ToPixel(aldenhof));
  const std::vector<int32_t> found = ChartsHere(some, aldenhof, *MakeViewCalibration(south, southView));
  EXPECT_EQ(std::count(found.begin(), found.end(), 0), 0);
  EXPECT_FALSE(found.empty());
}

TEST_F(ChartsHereTest, ViewCalibrationIsTheChartsOwnThroughTheView) {
  // Every grid and both calibrations of the set, Dalmeer's turned grid among them.
  for (int i = 0; i < ChartFileCount; ++i) {
    TNKFChart &chart = *Charts[static_cast<size_t>(i)];
    const TChartViewport view = ViewOn(chart, 640, 480, 0.3, {chart.Width / 2.0, chart.Height / 2.0});
    const std::unique_ptr<TCalibration> vc = MakeViewCalibration(chart, view);
    ASSERT_NE(vc, nullptr) << ChartFileNames[static_cast<size_t>(i)];
    for (const TDoublePoint &client : {TDoublePoint{0, 0}, TDoublePoint{640, 480}, TDoublePoint{100, 400}}) {
      const TDoublePoint a = vc->PixelToWGS84(client), b = chart.Calibration->PixelToWGS84(view.ClientToChart(client));
      // 1e-9 rad is 6 mm on the ground.
      EXPECT_NEAR(a.X, b.X, 1e-9) << ChartFileNames[static_cast<size_t>(i)];
      EXPECT_NEAR(a.Y, b.Y, 1e-9) << ChartFileNames[static_cast<size_t>(i)];
    }
  }
}

TEST_F(ChartsHereTest, ChosenChartOpensOnTheSamePlaceAtAComparableScale) {
  TNKFChart &overview = *Charts[NorthOverview], &eemstad = *Charts[Eemstad];
  // The chart's middle, so that the placed view needs no clamping.
  const TDoublePoint wgs84 = eemstad.Calibration->PixelToWGS84({750, 500});
  const TChartViewport view = ViewOn(overview, 400, 300, 4, overview.Calibration->WGS84ToPixel(wgs84));
  const TDoublePoint click = view.ChartToClient(overview.Calibration->WGS84ToPixel(wgs84));
  const double metres = MetresPerClientPixel(overview, view, click);
  EXPECT_NEAR(metres, PlannedMetresPerPixel[NorthOverview] / 4, 0.02 * metres);

  TChartViewport placed = view;
  PlaceAtPosition(placed, eemstad, wgs84, metres);
  EXPECT_EQ(placed.ChartWidth(), eemstad.Width);
  const TDoublePoint centre = placed.ClientToChart({200, 150});
  // A thousandth of a pixel: the datum round trip through WGS 84.
  EXPECT_NEAR(centre.X, 750, 1e-3);
  EXPECT_NEAR(centre.Y, 500, 1e-3);
  EXPECT_NEAR(MetresPerClientPixel(eemstad, placed, {200, 150}), metres, 1e-3 * metres);
}

} // namespace
