// The chart viewer's paint path timed under Wine, through the program's own
// chart view in a real window: a view change until its visible tiles are
// painted (cold: read and decoded by the tile manager's loader; warm: taken
// from the manager's cache, where the view left them when it moved away),
// and one full repaint from the tiles the view holds (the view's own paint:
// the tiles composed, warped between levels, and put on the screen). At
// 1024 x 768 and 1920 x 1080 client pixels, on a level's own zoom and at the
// in-between wheel step 2^-1/2. Prints medians. Give it a screen of at least
// 1920 x 1080 (an Xvfb of its own): a window beyond the screen paints less.
//
// Then the set view (all nine charts of the chart's folder in one Mercator
// view), in the same window at the same sizes, at Home (the whole set) and
// where five charts meet (53.27 N 5.00 E, 20 m a pixel on the ground):
//   first view — from a one-chart view to the set view (the viewer's View >
//     Whole set): a new plan, no mesh cell known, until its tiles are on the
//     screen; cold (no tile of the set read yet) and warm (every tile in the
//     manager's cache, where the set view left them);
//   pan — a drag step of 40 x 24 pixels (mouse messages to the view) and an
//     arrow key step of 32, back and forth: what was drawn shifted and only
//     what comes into view drawn, until it is on the screen;
//   zoom step — one wheel notch in or out about the centre, its tiles in the
//     cache (both levels visited before), until its tiles are on the screen.
// Each figure is the median of five, the best in brackets; "loads" counts the timed steps that
// waited for the loader (a tile not in the cache), which a warm figure
// should not. Goals: first view under 100 ms, pan under 16 ms, zoom step
// under 50 ms at 1920 x 1080.
//   bench_viewerpaint "D:\ORVA Welmeland 2003\Aldenhof.nkf2" [--set-only | --chart-only]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "ChartSetNames.h"
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

// Every visible tile of the view held or marked failed (either mode).
bool TilesShown(TChartView &View) {
  size_t failed = 0;
  const auto visible = View.ShownTiles();
  for (const TViewTileKey &key : visible)
    failed += View.TileFailed(key) ? 1 : 0;
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

// Handles messages for a while: the scroll bars follow the view on a timer,
// after its paint, and are not part of a step's time.
void PumpFor(double Milliseconds) {
  const auto start = TClock::now();
  PumpUntil([&] { return Ms(start) >= Milliseconds; });
}

// Times one change of the view until its tiles are on the screen; Loads
// counts it when its tiles were not all at hand at once. After runs once the
// step is timed, before any other message is handled.
double TimeStep(TChartView &View, const std::function<void()> &Change, int &Loads,
                const std::function<void()> &After = {}) {
  const auto start = TClock::now();
  Change();
  if (!TilesShown(View)) {
    ++Loads;
    if (!PumpUntil([&View] { return TilesShown(View); }))
      std::fprintf(stderr, "the tiles did not come within a minute\n");
  }
  UpdateWindow(View.Handle());
  GdiFlush();
  const double ms = Ms(start);
  if (After)
    After();
  PumpFor(30);
  WaitIdle(View);
  return ms;
}

struct TSetPlace {
  const char *Name;
  bool Home;
  double Latitude, Longitude, GroundMetres; // degrees; metres a pixel
};

void PlaceSet(TChartView &View, const TSetPlace &Place) {
  TSetViewport &set = View.SetView();
  if (Place.Home) {
    set.Fit();
    return;
  }
  constexpr double degree = std::numbers::pi / 180;
  const TDoublePoint c{Place.Latitude * degree, Place.Longitude * degree};
  set.CenterOn(MercatorForward(c, WGS84Datum()->Ellipsoid));
  set.ZoomAt(Place.GroundMetres / std::cos(c.X), {set.ClientWidth() / 2.0, set.ClientHeight() / 2.0});
}

// From the one-chart view to the set view at a place, as the viewer's
// View > Whole set does; the plan is new (its kept cells forgotten).
double FirstSetView(TChartView &View, TNKFChart &Chart, const std::vector<TNKFChart *> &Set,
                    const std::vector<std::string> &Names, const TSetPlace &Place, int &Loads) {
  View.SetChart(&Chart);
  WaitIdle(View);
  View.SetSet(Set, Names);
  PlaceSet(View, Place);
  PumpFor(30);
  return TimeStep(View, [&View] { View.ShowSet(); }, Loads);
}

void MouseAt(TChartView &View, UINT Msg, int X, int Y) {
  SendMessageA(View.Handle(), Msg, Msg == WM_MOUSEMOVE ? 0 : MK_LBUTTON, MAKELPARAM(X, Y));
}

void BenchSet(TForm &Form, TChartView &View, TNKFChart &Chart, const std::string &Folder) {
  std::vector<std::unique_ptr<TNKFChart>> owned;
  std::vector<TNKFChart *> set;
  std::vector<std::string> names;
  for (const char *name : ChartFileNames) {
    owned.push_back(std::make_unique<TNKFChart>(Folder + "\\" + name));
    set.push_back(owned.back().get());
    names.push_back(name);
  }
  std::printf("\nthe set view, %zu charts of %s\n", set.size(), Folder.c_str());
  const TSetPlace places[] = {{"Home", true, 0, 0, 0}, {"five charts", false, 53.27, 5.00, 20}};
  constexpr int Runs = 5;
  const auto forgetAll = [&] {
    View.SetChart(&Chart);
    WaitIdle(View);
    for (TNKFChart *chart : set)
      GetTileManager()->RemoveTilesOfChart(chart);
    GetTileManager()->RemoveTilesOfChart(&Chart);
  };
  for (const auto &[w, h] : {std::pair{1024, 768}, std::pair{1920, 1080}}) {
    // The set view's own client pixels (left of and above its scroll bars,
    // inside its edge) at the size, as the goals count them.
    Form.SetClientSize(w, h);
    View.SetBounds(0, 0, w, h);
    const int vw = 2 * w - View.SetView().ClientWidth(), vh = 2 * h - View.SetView().ClientHeight();
    Form.SetClientSize(vw, vh);
    View.SetBounds(0, 0, vw, vh);
    for (const TSetPlace &place : places) {
      std::vector<double> cold, warm, drag, arrow, zoom;
      int coldLoads = 0, warmLoads = 0, dragLoads = 0, arrowLoads = 0, zoomLoads = 0;
      for (int run = 0; run < Runs; ++run) {
        forgetAll();
        cold.push_back(FirstSetView(View, Chart, set, names, place, coldLoads));
        warm.push_back(FirstSetView(View, Chart, set, names, place, warmLoads));
      }
      const int cw = View.SetView().ClientWidth(), ch = View.SetView().ClientHeight();
      const size_t tiles = View.ShownTiles().size(), charts = View.Plan().Charts().size();
      // A drag step from the centre, back and forth; the ring prefetched
      // around the view holds what comes into view. The button is let go
      // before other messages are handled: a mouse move Wine makes up for
      // the real cursor would drag the view too.
      const int x0 = cw / 2, y0 = ch / 2;
      for (int run = 0; run < Runs; ++run) {
        const int d = run % 2 ? 1 : -1;
        MouseAt(View, WM_LBUTTONDOWN, x0, y0);
        drag.push_back(TimeStep(
            View, [&] { MouseAt(View, WM_MOUSEMOVE, x0 + 40 * d, y0 + 24 * d); }, dragLoads,
            [&] { MouseAt(View, WM_LBUTTONUP, x0 + 40 * d, y0 + 24 * d); }));
      }
      for (int run = 0; run < Runs; ++run) {
        const WPARAM key = run % 2 ? VK_LEFT : VK_RIGHT;
        arrow.push_back(TimeStep(View, [&] { SendMessageA(View.Handle(), WM_KEYDOWN, key, 1); }, arrowLoads));
      }
      // Both zooms visited first, so that the timed steps find their tiles
      // in the cache; then in and out about the centre, a wheel notch each.
      POINT centre{x0, y0};
      ClientToScreen(View.Handle(), &centre);
      const auto wheel = [&](int Notches) {
        SendMessageA(View.Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, Notches * WHEEL_DELTA),
                     MAKELPARAM(centre.x, centre.y));
      };
      int untimed = 0;
      TimeStep(View, [&] { wheel(1); }, untimed);
      TimeStep(View, [&] { wheel(-1); }, untimed);
      for (int run = 0; run < Runs; ++run) {
        const int notches = run % 2 ? -1 : 1;
        zoom.push_back(TimeStep(View, [&] { wheel(notches); }, zoomLoads));
      }
      // Medians, the best of the five in brackets: on a machine shared with
      // other jobs the best tells what the view costs when it has a core.
      const auto both = [](const std::vector<double> &Values) {
        char text[40];
        std::snprintf(text, sizeof text, "%.1f (%.1f)", Median(Values), *std::min_element(Values.begin(), Values.end()));
        return std::string(text);
      };
      std::printf("%4d x %4d (view %d x %d), %s, %zu charts, %zu tiles: first view cold %s ms (%d loads), warm %s ms "
                  "(%d); pan: drag %s ms (%d), arrow %s ms (%d); zoom step %s ms (%d)\n",
                  cw, ch, vw, vh, place.Name, charts, tiles, both(cold).c_str(), coldLoads, both(warm).c_str(),
                  warmLoads, both(drag).c_str(), dragLoads, both(arrow).c_str(), arrowLoads, both(zoom).c_str(),
                  zoomLoads);
      std::fflush(stdout);
    }
  }
  View.ReleaseChart();
  for (TNKFChart *chart : set)
    GetTileManager()->RemoveTilesOfChart(chart);
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_viewerpaint <chart file of the set> [--set-only | --chart-only]\n");
    return 2;
  }
  const bool chartPart = !(argc > 2 && std::strcmp(argv[2], "--set-only") == 0);
  const bool setPart = !(argc > 2 && std::strcmp(argv[2], "--chart-only") == 0);
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
    if (!chartPart)
      break;
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
      std::fflush(stdout);
    }
  }
  if (setPart) {
    std::string folder = argv[1];
    folder.resize(folder.find_last_of("\\/") == std::string::npos ? 0 : folder.find_last_of("\\/"));
    BenchSet(form, view, chart, folder.empty() ? "." : folder);
  }
  view.ReleaseChart();
  GetTileManager()->RemoveTilesOfChart(&chart);
  return 0;
}
