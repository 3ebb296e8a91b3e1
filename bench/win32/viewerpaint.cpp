// The chart viewer's paint path timed under Wine, through the program's own
// chart view in a real window: a view change until its visible tiles are
// painted (cold: read and decoded by the tile manager's loader; warm: taken
// from the manager's cache, where the view left them when it moved away),
// and one full repaint from the tiles the view holds (the view's own paint:
// the tiles composed, warped between levels, and put on the screen). At
// 1024 x 768 and 1920 x 1080 client pixels, on a level's own zoom and at the
// in-between wheel step 2^-1/2. Prints medians. Give it a screen of at least
// 1920 x 1080 (an Xvfb of its own): a window beyond the screen paints less.
//   bench_viewerpaint "D:\ORVA Welmeland 2003\Aldenhof.nkf2"
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "ChartView.h"
#include "Forms.h"
#include "VmNKFCharts.h"

namespace {

using TClock = std::chrono::steady_clock;

double Ms(TClock::time_point Start) {
  return std::chrono::duration<double, std::milli>(TClock::now() - Start).count();
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

// Handles messages until the condition holds (a minute at most).
bool PumpUntil(const std::function<bool()> &Condition) {
  const auto start = TClock::now();
  while (!Condition()) {
    if (Ms(start) > 60000)
      return false;
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
  }
  return true;
}

// Every visible tile of the view held or marked failed.
bool TilesShown(TChartView &View) {
  size_t failed = 0;
  const auto visible = View.View().VisibleTiles();
  for (const TViewTile &tile : visible)
    failed += View.TileFailed(tile.TileIndex) ? 1 : 0;
  return View.HeldTiles() + failed == visible.size();
}

// The loader has nothing queued or in hand (the prefetch of the last view
// done), so that it does not compete with what is timed next.
void WaitIdle(TChartView &View) {
  PumpUntil([&View] {
    const TNKFTileManagerState state = GetTileManager()->GetState();
    return TilesShown(View) && state.LoadQueue.empty() && !state.HasCurrentTile;
  });
}

// Moves the view to a place and times it until its tiles are on the screen.
double ShowPlace(TChartView &View, double Zoom, const TDoublePoint &Centre) {
  const auto start = TClock::now();
  View.View().ZoomAt(Zoom, {0, 0});
  View.View().CenterOn(Centre);
  View.ViewChanged();
  if (!PumpUntil([&View] { return TilesShown(View); }))
    std::fprintf(stderr, "the tiles did not come within a minute\n");
  UpdateWindow(View.Handle());
  return Ms(start);
}

// Drops every tile of the chart, held or cached; the view then shows the
// whole chart (a few tiles of the coarsest levels).
void Forget(TChartView &View, TNKFChart &Chart) {
  View.SetChart(nullptr);
  GetTileManager()->RemoveTilesOfChart(&Chart);
  View.SetChart(&Chart);
  WaitIdle(View);
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_viewerpaint <chart file>\n");
    return 2;
  }
  TApplication application;
  application.Initialize();
  TForm form({"TBenchViewerPaint", "bench_viewerpaint", TBorderStyle::bsSizeable, true, 1024, 768, {}, 0});
  TControlArgs args;
  args.Parent = &form;
  args.Bounds = {0, 0, 1024, 768};
  TChartView view(args);
  TNKFChart chart(argv[1]);
  view.SetChart(&chart);
  form.Show();
  std::printf("%s: %d x %d pixels\n", argv[1], chart.Width, chart.Height);
  // Places far enough apart that two views share no tile.
  const TDoublePoint places[] = {{2500, 2000}, {9500, 2000}, {2500, 7000}, {9500, 7000}, {6000, 4500}};
  constexpr int Runs = 5;
  for (const auto &[w, h] : {std::pair{1024, 768}, std::pair{1920, 1080}}) {
    form.SetClientSize(w, h);
    view.SetBounds(0, 0, w, h);
    for (const double zoom : {1.0, 0.70710678118654752}) {
      std::vector<double> cold, warm, repaint;
      for (int run = 0; run < Runs; ++run) {
        const TDoublePoint &place = places[run % std::size(places)];
        Forget(view, chart);
        cold.push_back(ShowPlace(view, zoom, place));
        WaitIdle(view);
        // Away and back: the view leaves its tiles in the manager's cache.
        ShowPlace(view, zoom, places[(run + 2) % std::size(places)]);
        WaitIdle(view);
        warm.push_back(ShowPlace(view, zoom, place));
        WaitIdle(view);
        for (int i = 0; i < 5; ++i) {
          const auto start = TClock::now();
          InvalidateRect(view.Handle(), nullptr, FALSE);
          UpdateWindow(view.Handle());
          GdiFlush();
          repaint.push_back(Ms(start));
        }
      }
      std::printf("%4d x %4d, zoom %.3f (%zu tiles): first screen cold %7.1f ms, warm %6.1f ms; repaint %6.2f ms\n",
                  w, h, zoom, view.View().VisibleTiles().size(), Median(cold), Median(warm), Median(repaint));
    }
  }
  view.ReleaseChart();
  GetTileManager()->RemoveTilesOfChart(&chart);
  return 0;
}
