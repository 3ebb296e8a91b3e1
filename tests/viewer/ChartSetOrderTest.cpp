// The set's list: a scale printed without its grouping, a projection text
// lost, or the list sorted the wrong way round (harbour charts before the
// overview) or with a chart that failed to open in the middle of it.
#include "ChartSetOrder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "NKFChartWriter.h"
#include "TempDir.h"
#include "VmNKFCharts.h"

namespace {

struct TListCase {
  const char *Title;
  int32_t Scale;        // the tag's scale number
  const char *ScaleText; // the tag's printed scale
  const char *Grid;      // the tag's projection text
  TNKFWriterProjection Projection;
  const char *ExpectedScale;
  const char *ExpectedProjection;
};

const TListCase ListCases[] = {
    {"Harbour", 12500, "1 : 12 500", "RD-stelsel", TNKFWriterProjection::RD, "1 : 12 500", "RD-stelsel"},
    {"Overview", 150000, "", "", TNKFWriterProjection::Mercator, "1 : 150 000", "Mercator"},
    {"Approach", 30000, "", "", TNKFWriterProjection::TransverseMercator, "1 : 30 000", "Transverse Mercator"},
    {"Undated plan", 0, "1:5000 approx.", "", TNKFWriterProjection::RD, "1:5000 approx.", "RD"},
    {"Big approach", 1250000, "", "", TNKFWriterProjection::Mercator, "1 : 1 250 000", "Mercator"},
};

TEST(ChartSetOrderTest, ListTextsAndOrderFromTheOverviewDown) {
  const TTempDir dir;
  std::vector<std::unique_ptr<TNKFChart>> owned;
  std::vector<TNKFChart *> charts;
  for (size_t i = 0; i < std::size(ListCases); ++i) {
    const TListCase &c = ListCases[i];
    TNKFChartDescription d = NKFSampleChart(NKFVersion1_0_0_2, 600, 400);
    d.Tag.Text1 = c.Title;
    d.Tag.Number1 = c.Scale;
    d.Tag.Text3 = c.ScaleText;
    d.Tag.Text8 = c.Grid;
    d.Tag.Projection = c.Projection;
    if (c.Projection != TNKFWriterProjection::Mercator) {
      d.Tag.MapPoints[0] = {150000, 460000};
      d.Tag.MapPoints[1] = {160000, 450000};
    }
    const std::string file = dir.File(std::to_string(i) + ".nkf2");
    NKFWriteChartFile(file, d);
    owned.push_back(std::make_unique<TNKFChart>(file));
    charts.push_back(owned.back().get());
    EXPECT_EQ(ChartScaleText(*charts.back()), c.ExpectedScale) << "case " << i;
    EXPECT_EQ(ChartProjectionText(*charts.back()), c.ExpectedProjection) << "case " << i;
  }
  charts.insert(charts.begin() + 2, nullptr); // a chart that did not open
  // Smaller scale first; the chart without a scale number after those with
  // one; the one that did not open last.
  EXPECT_EQ(SortFromOverview(charts), (std::vector<int32_t>{5, 1, 3, 0, 4, 2}));
}

} // namespace
