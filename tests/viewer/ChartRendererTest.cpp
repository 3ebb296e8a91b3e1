// The repaint against pixels worked out here: a view shifted by half a pixel,
// tiles warped one by one (seams), a pending tile drawn as garbage or black,
// a failed one not marked, transparent tile pixels drawn black instead of
// over the background, or shading on the wrong side of the border would each
// show in these comparisons.
#include "ChartRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>
#include <map>
#include <memory>
#include <vector>

#include "NKFChartWriter.h"
#include "TempDir.h"
#include "VmNKF2TileManager.h"
#include "VmNKFCharts.h"

namespace {

constexpr int32_t ChartWidth = 1000, ChartHeight = 700;

struct TViewCase {
  int32_t ClientWidth, ClientHeight;
  double Zoom;
  TDoublePoint Centre;
};

// One chart with real tiles (some cut by a transparent border), written and
// decoded once for the whole suite.
class ChartRendererTest : public testing::Test {
protected:
  static void SetUpTestSuite() {
    Dir = new TTempDir;
    TNKFChartDescription d = NKFSampleChart(NKFVersion1_0_0_2, ChartWidth, ChartHeight);
    NKFFillSampleTiles(d);
    NKFWriteChartFile(Dir->File("sample.nkf2"), d);
    Chart = new TNKFChart(Dir->File("sample.nkf2"));
    for (uint32_t t = 0; t < Chart->TileCount; ++t) {
      TNKFTileEntry entry;
      Chart->GetTileEntry(t, entry);
      Tiles.push_back(LoadChartTile(Chart->FileName, entry, false));
    }
  }

  static void TearDownTestSuite() {
    Tiles.clear();
    delete Chart;
    delete Dir;
  }

  TChartViewport View(int32_t ClientWidth, int32_t ClientHeight, double Zoom, TDoublePoint Centre) const {
    TChartViewport v;
    v.SetClientSize(ClientWidth, ClientHeight);
    v.SetChart(Chart->Width, Chart->Height, Chart->Levels);
    v.ZoomAt(Zoom, {0, 0});
    v.CenterOn(Centre);
    return v;
  }

  // The view of a case, rendered with every tile loaded and no border.
  TChartViewport Rendered(const TViewCase &Case, TBitmap32 &Surface) const {
    const TChartViewport v = View(Case.ClientWidth, Case.ClientHeight, Case.Zoom, Case.Centre);
    RenderChartView(v, AllLoaded(), nullptr, Colors, Surface);
    EXPECT_EQ(Surface.Width(), Case.ClientWidth);
    EXPECT_EQ(Surface.Height(), Case.ClientHeight);
    return v;
  }

  TTileSource AllLoaded() const {
    return [](int32_t Index, const TBitmap32 *&Bitmap) {
      Bitmap = Tiles.at(static_cast<size_t>(Index)).get();
      return TTileState::Loaded;
    };
  }

  // Pixel (x, y) of a level's image, from its tiles.
  TColor32 LevelPixel(int32_t Level, int32_t X, int32_t Y) const {
    const TNKFLevel &l = Chart->Levels[static_cast<size_t>(Level)];
    const uint32_t t = l.FirstTile + static_cast<uint32_t>(Y / NKFTileSize) * l.TilesX + static_cast<uint32_t>(X / NKFTileSize);
    return Tiles[t]->ScanLine(Y % NKFTileSize)[X % NKFTileSize];
  }

  // The whole level as one picture over the background.
  void ComposeLevel(int32_t Level, TColor32 Background, TBitmap32 &Image) const {
    const TNKFLevel &l = Chart->Levels[static_cast<size_t>(Level)];
    Image.SetSize(static_cast<int32_t>(l.Width), static_cast<int32_t>(l.Height));
    for (int32_t y = 0; y < Image.Height(); ++y)
      for (int32_t x = 0; x < Image.Width(); ++x)
        Image.ScanLine(y)[x] = OverOpaque(LevelPixel(Level, x, y), Background);
  }

  static inline TTempDir *Dir = nullptr;
  static inline TNKFChart *Chart = nullptr;
  static inline std::vector<std::unique_ptr<TBitmap32>> Tiles;
  const TViewColors Colors = DayViewColors();
};

int ChannelDifference(TColor32 A, TColor32 B) {
  int d = 0;
  for (int s = 0; s < 32; s += 8)
    d = std::max(d, std::abs(static_cast<int>((A >> s) & 0xFF) - static_cast<int>((B >> s) & 0xFF)));
  return d;
}

// On a level's own zoom at a whole level pixel: the level's pixels, drawn
// over the background, and the background around the chart.
const TViewCase StraightCases[] = {
    {300, 200, 1, {500, 350}},  {300, 200, 1, {0, 0}},      {300, 200, 1, {1000, 700}},
    {300, 200, 0.5, {502, 300}}, {1100, 800, 1, {500, 350}}, // the chart smaller than the client, centred
    {200, 150, 0.25, {0, 0}},
};

TEST_F(ChartRendererTest, OnALevelsOwnZoomTheSurfaceIsTheLevelsPixels) {
  for (size_t i = 0; i < std::size(StraightCases); ++i) {
    const TViewCase &c = StraightCases[i];
    TBitmap32 surface;
    const TChartViewport v = Rendered(c, surface);
    ASSERT_TRUE(v.IsStraightCopy()) << "case " << i;
    const int32_t level = v.Level();
    const TNKFLevel &l = Chart->Levels[static_cast<size_t>(level)];
    int wrong = 0;
    for (int32_t y = 0; y < c.ClientHeight; ++y)
      for (int32_t x = 0; x < c.ClientWidth; ++x) {
        // The level pixel under the client pixel's centre.
        const double lx = std::floor(std::ldexp((x + 0.5) / v.Zoom() + v.Origin().X, -level));
        const double ly = std::floor(std::ldexp((y + 0.5) / v.Zoom() + v.Origin().Y, -level));
        const bool inside = lx >= 0 && ly >= 0 && lx < l.Width && ly < l.Height;
        const TColor32 expected = inside ? OverOpaque(LevelPixel(level, static_cast<int32_t>(lx), static_cast<int32_t>(ly)), Colors.Background)
                                         : Colors.Background;
        if (surface.ScanLine(y)[x] != expected && ++wrong <= 3)
          ADD_FAILURE() << "case " << i << " pixel " << x << "," << y;
      }
    EXPECT_EQ(wrong, 0) << "case " << i;
  }
}

// Between levels: the same as warping the whole composed level once with the
// library's Transform, bilinear (corner positions rounded to single
// precision differ slightly between a whole level and the renderer's part of
// it, hence a channel or two of tolerance on a few pixels).
const TViewCase WarpCases[] = {
    {300, 200, 0.7, {500, 350}}, {300, 200, 1.5, {260, 250}}, {300, 200, 0.35, {0, 0}},
    {300, 200, 3.3, {1000, 700}}, {640, 480, 0.6, {500, 350}}, {301, 203, 0.8123, {377.3, 411.9}},
};

TEST_F(ChartRendererTest, BetweenLevelsTheSurfaceIsOneWarpOfTheComposedLevel) {
  for (size_t i = 0; i < std::size(WarpCases); ++i) {
    const TViewCase &c = WarpCases[i];
    TBitmap32 surface;
    const TChartViewport v = Rendered(c, surface);
    ASSERT_FALSE(v.IsStraightCopy()) << "case " << i;

    TBitmap32 level, expected;
    ComposeLevel(v.Level(), Colors.Background, level);
    level.SetResampler(TResamplerKind::rkLinear);
    expected.SetSize(c.ClientWidth, c.ClientHeight);
    expected.Clear(Colors.Background);
    // Client pixel X's centre samples level position ((X + 0.5) / zoom +
    // origin) / 2^level - 0.5, pixel i at coordinate i.
    const double s = v.LevelZoom(), scale = std::ldexp(1.0, -v.Level());
    const double a = (0.5 / v.Zoom() + v.Origin().X) * scale - 0.5, b = (0.5 / v.Zoom() + v.Origin().Y) * scale - 0.5;
    TProjectiveTransformation t;
    t.SrcRect = {0, 0, static_cast<float>(level.Width()), static_cast<float>(level.Height())};
    t.X0 = t.X3 = static_cast<float>(-a * s);
    t.X1 = t.X2 = static_cast<float>((level.Width() - a) * s);
    t.Y0 = t.Y1 = static_cast<float>(-b * s);
    t.Y2 = t.Y3 = static_cast<float>((level.Height() - b) * s);
    Transform(&expected, &level, &t);

    int differing = 0, worst = 0;
    for (int32_t y = 0; y < c.ClientHeight; ++y)
      for (int32_t x = 0; x < c.ClientWidth; ++x) {
        const int d = ChannelDifference(surface.ScanLine(y)[x], expected.ScanLine(y)[x]);
        worst = std::max(worst, d);
        differing += d != 0;
      }
    EXPECT_LE(worst, 2) << "case " << i;
    EXPECT_LE(differing, c.ClientWidth * c.ClientHeight / 100) << "case " << i;
  }
}

TEST_F(ChartRendererTest, PendingTilesArePlaceholdersAndFailedOnesHatched) {
  // Straight copy at the top left: tile 1 (256..511 x 0..255) still loading,
  // tile 4 (the second row's first) failed, tile 5 "loaded" without pixels.
  const TChartViewport v = View(600, 400, 1, {0, 0});
  const TTileSource source = [](int32_t Index, const TBitmap32 *&Bitmap) {
    if (Index == 1)
      return TTileState::Pending;
    if (Index == 4)
      return TTileState::Failed;
    Bitmap = Index == 5 ? nullptr : Tiles[static_cast<size_t>(Index)].get();
    return TTileState::Loaded;
  };
  TBitmap32 surface;
  RenderChartView(v, source, nullptr, Colors, surface);
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 256; x < 512; ++x)
      ASSERT_EQ(surface.ScanLine(y)[x], Colors.Placeholder) << x << "," << y;
  for (const int32_t left : {0, 256}) { // tiles 4 and 5
    std::map<TColor32, int> seen;
    for (int32_t y = 256; y < 400; ++y)
      for (int32_t x = left; x < left + 256; ++x)
        ++seen[surface.ScanLine(y)[x]];
    EXPECT_EQ(seen.size(), 2u) << "tile at " << left;
    EXPECT_GT(seen[Colors.Hatch], 0) << "tile at " << left;
    EXPECT_GT(seen[Colors.Placeholder], seen[Colors.Hatch]) << "tile at " << left;
  }
  EXPECT_EQ(surface.ScanLine(10)[10], OverOpaque(LevelPixel(0, 10, 10), Colors.Background));

  // Warped, a pending tile's inside is the placeholder colour exactly.
  const TChartViewport warped = View(600, 400, 0.7, {0, 0});
  RenderChartView(warped, source, nullptr, Colors, surface);
  const TDoublePoint middle = warped.ChartToClient({384, 128});
  EXPECT_EQ(surface.ScanLine(static_cast<int32_t>(middle.Y))[static_cast<int32_t>(middle.X)], Colors.Placeholder);
}

// Level records whose tiles stop short of the level's pixels (the second
// tile column of level 1 missing): where no tile lies the view shows the
// background, never what the renderer's level surface held from the repaint
// before (here placeholders, which a surface of the same size keeps).
TEST_F(ChartRendererTest, WhereNoTileLiesTheBackgroundShows) {
  std::array<TNKFLevel, NKFLevelCount> levels = Chart->Levels;
  levels[1].TilesX -= 1; // 500 pixels, one tile of 256
  TChartViewport before = View(300, 200, 0.4, {600, 350});
  TChartViewport damaged;
  damaged.SetClientSize(300, 200);
  damaged.SetChart(Chart->Width, Chart->Height, levels);
  damaged.ZoomAt(0.4, {0, 0});
  damaged.CenterOn({600, 350});
  ASSERT_EQ(damaged.Level(), 1);
  ASSERT_FALSE(damaged.IsStraightCopy());
  ASSERT_EQ(damaged.Origin().X, before.Origin().X);

  TChartRenderer renderer;
  TBitmap32 surface;
  renderer.Render(before, [](int32_t, const TBitmap32 *&) { return TTileState::Pending; }, nullptr, Colors, surface);
  renderer.Render(damaged, AllLoaded(), nullptr, Colors, surface);
  int checked = 0;
  for (int32_t y = 0; y < surface.Height(); ++y)
    for (int32_t x = 0; x < surface.Width(); ++x) {
      // Level 1 pixels 257 on: the bilinear sample reads no tiled pixel.
      if (damaged.LevelSampleX(x) < NKFTileSize + 1)
        continue;
      ++checked;
      ASSERT_EQ(surface.ScanLine(y)[x], Colors.Background) << x << "," << y;
    }
  EXPECT_GT(checked, 1000);
}

// The warp shares its rows out to helper threads; one that cannot be started
// (the second of three here) must neither end the program (a joinable
// std::thread destroyed calls std::terminate) nor leave its rows unwarped:
// the picture is the one a single thread warps, byte for byte.
TEST_F(ChartRendererTest, AWarpHelperThatCannotStartCostsNothingButSpeed) {
  const TChartViewport v = View(640, 480, 0.7, {500, 350});
  ASSERT_FALSE(v.IsStraightCopy());
  TChartRenderer single;
  single.SetWarpThreads(1, nullptr);
  TBitmap32 expected;
  single.Render(v, AllLoaded(), nullptr, Colors, expected);

  for (const int failing : {1, 2, 3, 0}) { // which start fails; 0: none
    int starts = 0, started = 0;
    TChartRenderer renderer;
    renderer.SetWarpThreads(4, [&](std::function<void()> Work) {
      if (++starts == failing)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      ++started;
      return std::thread(std::move(Work));
    });
    TBitmap32 surface;
    renderer.Render(v, AllLoaded(), nullptr, Colors, surface);
    EXPECT_EQ(started, failing == 0 ? 3 : failing - 1) << "failing start " << failing;
    ASSERT_EQ(surface.Width(), expected.Width());
    ASSERT_EQ(surface.Height(), expected.Height());
    for (int32_t y = 0; y < surface.Height(); ++y)
      ASSERT_EQ(std::memcmp(surface.ScanLine(y), expected.ScanLine(y), static_cast<size_t>(surface.Width()) * 4), 0)
          << "failing start " << failing << ", row " << y;
  }
}

TEST_F(ChartRendererTest, AnEmptyChartShowsOnlyTheBackground) {
  // A file without the chart magic opens as a chart of no pixels and no tiles.
  WriteFileBytes(Dir->File("empty.nkf2"), "not a chart");
  TNKFChart empty(Dir->File("empty.nkf2"));
  TChartViewport v;
  v.SetClientSize(64, 48);
  v.SetChart(empty.Width, empty.Height, empty.Levels);
  v.ZoomSteps(3, {10, 10});
  bool asked = false;
  TBitmap32 surface;
  RenderChartView(v, [&](int32_t, const TBitmap32 *&) { asked = true; return TTileState::Failed; }, &empty.Border,
                  Colors, surface);
  EXPECT_FALSE(asked);
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x)
      ASSERT_EQ(surface.ScanLine(y)[x], Colors.Background) << x << "," << y;
}

// Crossing-number point-in-polygon (W. R. Franklin's pnpoly).
bool InsidePolygon(const std::vector<TDoublePoint> &P, double X, double Y) {
  bool inside = false;
  for (size_t i = 0, j = P.size() - 1; i < P.size(); j = i++)
    if ((P[i].Y > Y) != (P[j].Y > Y) && X < (P[j].X - P[i].X) * (Y - P[i].Y) / (P[j].Y - P[i].Y) + P[i].X)
      inside = !inside;
  return inside;
}

double DistanceToSegment(const TDoublePoint &P, const TDoublePoint &A, const TDoublePoint &B) {
  const double dx = B.X - A.X, dy = B.Y - A.Y;
  const double t = std::clamp(((P.X - A.X) * dx + (P.Y - A.Y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(P.X - (A.X + t * dx), P.Y - (A.Y + t * dy));
}

TEST_F(ChartRendererTest, BorderIsDrawnAndTheChartOutsideItShaded) {
  // The top right corner left out, and a sloping edge across the bottom left.
  const std::vector<TDoublePoint> border = {{0, 0}, {750, 0}, {750, 233}, {1000, 233}, {1000, 700}, {200, 700}, {0, 400}};
  TPolygon polygon;
  for (const TDoublePoint &p : border)
    polygon.AddPoint({static_cast<int32_t>(p.X), static_cast<int32_t>(p.Y)});
  const TViewCase cases[] = {{500, 400, 1, {750, 200}}, {400, 300, 2, {760, 240}}, {400, 300, 0.6, {300, 500}},
                             {700, 600, 0.5, {500, 350}}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const TViewCase &c = cases[i];
    const TChartViewport v = View(c.ClientWidth, c.ClientHeight, c.Zoom, c.Centre);
    TBitmap32 plain, bordered;
    RenderChartView(v, AllLoaded(), nullptr, Colors, plain);
    RenderChartView(v, AllLoaded(), &polygon, Colors, bordered);
    int shaded = 0, kept = 0, lines = 0;
    for (int32_t y = 0; y < c.ClientHeight; ++y)
      for (int32_t x = 0; x < c.ClientWidth; ++x) {
        const TDoublePoint centre{x + 0.5, y + 0.5};
        double nearest = 1e9;
        for (size_t k = 0; k < border.size(); ++k)
          nearest = std::min(nearest, DistanceToSegment(centre, v.ChartToClient(border[k]),
                                                        v.ChartToClient(border[(k + 1) % border.size()])));
        const TColor32 got = bordered.ScanLine(y)[x], base = plain.ScanLine(y)[x];
        if (nearest < 1.5) {
          lines += got == Colors.Border;
          continue;
        }
        const TDoublePoint chart = v.ClientToChart(centre);
        const bool onChart = chart.X >= 0 && chart.Y >= 0 && chart.X < ChartWidth && chart.Y < ChartHeight;
        const TColor32 expected =
            !onChart || InsidePolygon(border, chart.X, chart.Y) ? base : OverOpaque(Colors.Shade, base);
        if (got != expected) {
          ADD_FAILURE() << "case " << i << " pixel " << x << "," << y;
          return;
        }
        (expected == base ? kept : shaded)++;
      }
    EXPECT_GT(shaded, 0) << "case " << i;
    EXPECT_GT(kept, 0) << "case " << i;
    EXPECT_GT(lines, 0) << "case " << i;
  }
}

} // namespace
