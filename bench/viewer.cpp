// The chart viewer's paint path on the sample set's largest chart (Aldenhof,
// 12 000 x 9 000 pixels):
//   Repaint — one full repaint from tiles already loaded, on a level's own
//     zoom (a straight copy) and at the in-between wheel step 2^-1/2 (a
//     bilinear warp of the finer level), at 1024 x 768 and 1920 x 1080.
//   FirstScreen — from a view change to its visible tiles painted: the view
//     asks the real tile manager for the tiles it lacks (one batch, visible),
//     waits for its WM_TILESREADY messages (delivered here by the posted
//     message sink instead of a window), takes the tiles and paints. Cold: the
//     view holds none of the tiles, so every one is read and decoded by the
//     loader thread (the file itself stays in the system's cache: dropping
//     that would disturb everyone else on the machine). Warm: the view still
//     holds the tiles it took before (a return to a place just seen), so it
//     only paints.
// Goals: a repaint under 16 ms, the first screen warm under 150 ms.
//
// The chart: --set=FOLDER names a folder holding "Aldenhof.nkf2" (an
// installed set); without it the native build writes the chart into a
// temporary folder first (about a minute).
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChartRenderer.h"
#include "ChartViewport.h"
#include "VmNKF2TileManager.h"
#include "VmNKFCharts.h"
#include "WindowPost.h"
#if defined(VM_HAVE_SAMPLESET)
#include "NKFSampleSet.h"
#endif

namespace {

std::string SetFolder;
const char *const LargestChart = "Aldenhof.nkf2";

TNKFChart &Chart() {
  static TNKFChart chart(SetFolder + "/" + LargestChart);
  return chart;
}

constexpr double InBetweenZoom = 0.70710678118654752; // 2^-1/2: one wheel step below full resolution

TChartViewport ViewAt(int32_t Width, int32_t Height, double Zoom, const TDoublePoint &Centre) {
  TChartViewport v;
  v.SetClientSize(Width, Height);
  v.SetChart(Chart().Width, Chart().Height, Chart().Levels);
  v.ZoomAt(Zoom, {0, 0});
  v.CenterOn(Centre);
  return v;
}

// The tiles a view holds, by tile index.
using TTileStore = std::map<int32_t, std::unique_ptr<TBitmap32>>;

TTileSource FromStore(const TTileStore &Store) {
  return [&Store](int32_t Index, const TBitmap32 *&Bitmap) {
    const auto it = Store.find(Index);
    if (it == Store.end())
      return TTileState::Pending;
    Bitmap = it->second.get();
    return TTileState::Loaded;
  };
}

void Repaint(benchmark::State &State) {
  const int32_t w = static_cast<int32_t>(State.range(0)), h = static_cast<int32_t>(State.range(1));
  const double zoom = State.range(2) ? InBetweenZoom : 1.0;
  const TChartViewport view = ViewAt(w, h, zoom, {6000, 4500});
  TTileStore store;
  for (const TViewTile &t : view.VisibleTiles()) {
    TNKFTileEntry entry;
    Chart().GetTileEntry(static_cast<uint32_t>(t.TileIndex), entry);
    store[t.TileIndex] = LoadChartTile(Chart().FileName, entry, false);
  }
  const TTileSource source = FromStore(store);
  const TViewColors colors = DayViewColors();
  TChartRenderer renderer;
  TBitmap32 surface;
  for (auto _ : State) {
    renderer.Render(view, source, &Chart().Border, colors, surface);
    benchmark::DoNotOptimize(surface.Bits());
  }
  State.counters["tiles"] = static_cast<double>(store.size());
  State.SetItemsProcessed(State.iterations());
}

// Waits for the manager's WM_TILESREADY posts to the view's window.
class TReadySignal {
public:
  static constexpr TWindowHandle Window = 0x5EE;
  TReadySignal() {
    SetPostedMessageSink([this](TWindowHandle Target, uint32_t Msg, uintptr_t, intptr_t) {
      if (Target != Window || Msg != WM_TILESREADY)
        return;
      std::lock_guard<std::mutex> lock(FLock);
      ++FPosts;
      FChanged.notify_all();
    });
  }
  ~TReadySignal() { SetPostedMessageSink(nullptr); }
  // Returns once a post has arrived since the last call.
  void Wait() {
    std::unique_lock<std::mutex> lock(FLock);
    if (!FChanged.wait_for(lock, std::chrono::seconds(30), [this] { return FPosts > FSeen; }))
      throw std::runtime_error("bench_viewer: the tile manager sent no WM_TILESREADY within 30 s");
    FSeen = FPosts;
  }

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  uint64_t FPosts = 0, FSeen = 0;
};

// The view's side of a view change: ask for the visible tiles it does not
// hold, take them as they arrive, paint.
void ShowView(TNKFTileManager &Manager, TReadySignal &Ready, const TChartViewport &View, TTileStore &Store,
              TChartRenderer &Renderer, TBitmap32 &Surface) {
  std::vector<std::unique_ptr<TNKFTile>> requests;
  for (const TViewTile &t : View.VisibleTiles())
    if (!Store.count(t.TileIndex)) {
      auto tile = std::make_unique<TNKFTile>();
      tile->Chart = &Chart();
      tile->TileIndex = t.TileIndex;
      tile->Size = NKFTileSize * NKFTileSize * sizeof(TColor32);
      tile->Visible = 1;
      tile->Windows.push_back(TReadySignal::Window);
      requests.push_back(std::move(tile));
    }
  size_t missing = requests.size();
  if (missing > 0)
    Manager.QueueTiles(std::move(requests));
  while (missing > 0) {
    Ready.Wait();
    for (auto &tile : Manager.TakeVisibleTiles()) {
      Store[tile->TileIndex] = std::move(tile->Bitmap);
      --missing;
    }
  }
  Renderer.Render(View, FromStore(Store), nullptr, DayViewColors(), Surface);
}

void FirstScreen(benchmark::State &State) {
  const int32_t w = static_cast<int32_t>(State.range(0)), h = static_cast<int32_t>(State.range(1));
  const bool warm = State.range(2) != 0;
  const double zoom = State.range(3) ? InBetweenZoom : 1.0;
  TReadySignal ready;
  TNKFTileManager manager;
  TChartRenderer renderer;
  TBitmap32 surface;
  TTileStore store;
  // Places far enough apart that two views share no tile.
  const TDoublePoint places[] = {{2000, 1500}, {10000, 1500}, {2000, 7500}, {10000, 7500}, {6000, 4500}};
  size_t next = 0, tiles = 0;
  for (auto _ : State) {
    const TChartViewport view = ViewAt(w, h, zoom, places[next++ % std::size(places)]);
    if (warm) {
      State.PauseTiming();
      ShowView(manager, ready, view, store, renderer, surface);
      State.ResumeTiming();
    } else {
      State.PauseTiming();
      store.clear();
      State.ResumeTiming();
    }
    ShowView(manager, ready, view, store, renderer, surface);
    tiles = view.VisibleTiles().size();
  }
  State.counters["tiles"] = static_cast<double>(tiles);
  State.SetItemsProcessed(State.iterations());
  store.clear();
  manager.RemoveTilesOfChart(&Chart());
}

void Sizes(benchmark::internal::Benchmark *B, bool FirstScreen) {
  for (const auto &[w, h] : {std::pair{1024, 768}, std::pair{1920, 1080}})
    for (int inBetween : {0, 1}) {
      if (FirstScreen)
        for (int warm : {0, 1})
          B->Args({w, h, warm, inBetween});
      else
        B->Args({w, h, inBetween});
    }
  B->Unit(benchmark::kMillisecond);
}

BENCHMARK(Repaint)->ArgNames({"w", "h", "between"})->Apply([](auto *B) { Sizes(B, false); });
BENCHMARK(FirstScreen)->ArgNames({"w", "h", "warm", "between"})->Apply([](auto *B) { Sizes(B, true); })->UseRealTime();

} // namespace

int main(int argc, char **argv) {
  const std::string option = "--set=";
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], option.c_str(), option.size()) == 0) {
      SetFolder = argv[i] + option.size();
      for (int k = i; k + 1 < argc; ++k)
        argv[k] = argv[k + 1];
      --argc;
      break;
    }
  std::filesystem::path written;
  if (SetFolder.empty()) {
#if defined(VM_HAVE_SAMPLESET)
    written = std::filesystem::temp_directory_path() / "bench_viewer_set";
    std::filesystem::create_directories(written);
    if (!std::filesystem::exists(written / LargestChart))
      NKFWriteSampleSet(written.string(), nullptr, {0});
    SetFolder = written.string();
#else
    std::fprintf(stderr, "bench_viewer: --set=FOLDER (a folder holding %s) is needed\n", LargestChart);
    return 2;
#endif
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
