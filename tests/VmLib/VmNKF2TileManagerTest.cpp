#include "VmNKF2TileManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "NKF2SampleTiles.h"
#include "NKF2TileEncoder.h"
#include "NKFChartWriter.h"
#include "OSFile.h"
#include "SysUtils.h"
#include "TempDir.h"
#include "VmFileIO.h"
#include "VmGraphics.h"
#include "VmNKFCharts.h"
#include "VmNightscreen.h"
#include "VmRTLI.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using namespace std::chrono_literals;

// Long enough for a loaded machine; a wait that runs out is a failure.
constexpr auto Patience = 60s;

struct TPosted {
  TWindowHandle Window;
  uint32_t Msg;
  uintptr_t WParam;
  intptr_t LParam;
  bool operator==(const TPosted &) const = default;
};

std::ostream &operator<<(std::ostream &os, const TPosted &m) {
  return os << "{window " << m.Window << ", msg 0x" << std::hex << m.Msg << std::dec << ", " << m.WParam << ", "
            << m.LParam << "}";
}

// Collects the messages the manager posts to a few windows: real hidden
// windows of this thread on Windows, the process's post sink elsewhere.
// WaitUntil keeps the windows' messages flowing while it waits.
class TPostRecorder {
public:
  static constexpr int WindowCount = 4;

  TPostRecorder() {
    Current = this;
#if defined(_WIN32)
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TileManagerTestWindow";
    RegisterClassA(&wc);
    for (auto &window : FWindows)
      window = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                               wc.hInstance, nullptr);
#else
    SetPostedMessageSink([this](TWindowHandle w, uint32_t msg, uintptr_t wp, intptr_t lp) { Record({w, msg, wp, lp}); });
#endif
  }

  ~TPostRecorder() {
#if defined(_WIN32)
    for (auto window : FWindows)
      DestroyWindow(window);
#else
    SetPostedMessageSink(nullptr);
#endif
    Current = nullptr;
  }

  TWindowHandle Window(int Index) const {
#if defined(_WIN32)
    return reinterpret_cast<TWindowHandle>(FWindows[Index]);
#else
    return static_cast<TWindowHandle>(0x1000 + Index);
#endif
  }

  std::vector<TPosted> Messages() {
    Pump();
    std::lock_guard<std::mutex> lock(FLock);
    return FMessages;
  }

  std::vector<TPosted> MessagesTo(TWindowHandle Window) {
    std::vector<TPosted> result;
    for (const auto &m : Messages())
      if (m.Window == Window)
        result.push_back(m);
    return result;
  }

  // Waits until Condition holds; false when it never did.
  bool WaitUntil(const std::function<bool()> &Condition) {
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    for (;;) {
      Pump();
      if (Condition())
        return true;
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::unique_lock<std::mutex> lock(FLock);
      FArrived.wait_for(lock, 2ms);
    }
  }

private:
  void Record(const TPosted &Message) {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FMessages.push_back(Message);
    }
    FArrived.notify_all();
  }

  void Pump() {
#if defined(_WIN32)
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageA(&msg);
#endif
  }

#if defined(_WIN32)
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg >= WM_TILESREADY && msg <= WM_TILELOADERENDED && Current != nullptr) {
      Current->Record({reinterpret_cast<TWindowHandle>(hwnd), msg, wp, lp});
      return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  }
  HWND FWindows[WindowCount] = {};
#endif

  static inline TPostRecorder *Current = nullptr;
  // One lock for every recorder (there is one at a time) at a fixed address:
  // the loader posts while holding its manager's lock, and a recorder's lock
  // on the stack could share its address with a manager's lock of an earlier
  // test, which ThreadSanitizer would take for a lock-order inversion.
  static inline std::mutex FLock;
  static inline std::condition_variable FArrived;
  std::vector<TPosted> FMessages;
};

// Stands in for the chart files: turns a request into a 1 x 1 surface whose
// pixel is the tile index, and can hold one tile's load at a gate or make a
// tile's load fail. It never touches the chart, which here is only a token.
class TFakeTiles {
public:
  TNKFTilePrepare Prepare() {
    return [this](const TNKFTile &Tile) -> TNKFTileLoad {
      const int32_t index = Tile.TileIndex;
      return [this, index](bool NightMode) { return Load(index, NightMode); };
    };
  }

  void HoldAtGate(int32_t Index) { FGated = Index; }
  void FailWith(int32_t Index, std::function<void()> Raise) {
    FFailing = Index;
    FRaise = std::move(Raise);
  }
  bool WaitUntilGateReached() {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, Patience, [this] { return FReached; });
  }
  void OpenGate() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FOpen = true;
    }
    FChanged.notify_all();
  }
  std::vector<bool> NightModes() {
    std::lock_guard<std::mutex> lock(FLock);
    return FNightModes;
  }

private:
  std::unique_ptr<TBitmap32> Load(int32_t Index, bool NightMode) {
    {
      std::unique_lock<std::mutex> lock(FLock);
      FNightModes.push_back(NightMode);
      if (Index == FGated) {
        FReached = true;
        FChanged.notify_all();
        FChanged.wait(lock, [this] { return FOpen; });
      }
    }
    if (Index == FFailing)
      FRaise();
    auto bitmap = std::make_unique<TBitmap32>();
    bitmap->SetSize(1, 1);
    bitmap->ScanLine(0)[0] = static_cast<TColor32>(Index);
    return bitmap;
  }

  // Set before the manager starts; read by the loader thread afterwards.
  int32_t FGated = -1;
  int32_t FFailing = -1;
  std::function<void()> FRaise;

  std::mutex FLock;
  std::condition_variable FChanged;
  bool FReached = false;
  bool FOpen = false;
  std::vector<bool> FNightModes;
};

// Charts are only compared by address here; these tokens are never read.
char ChartTokens[3];
TNKFChart *const ChartA = reinterpret_cast<TNKFChart *>(&ChartTokens[0]);
TNKFChart *const ChartB = reinterpret_cast<TNKFChart *>(&ChartTokens[1]);
TNKFChart *const ChartC = reinterpret_cast<TNKFChart *>(&ChartTokens[2]);

std::unique_ptr<TNKFTile> Request(TNKFChart *Chart, int32_t Index, uint32_t Size, bool Visible,
                                  std::vector<TWindowHandle> Windows = {}) {
  auto tile = std::make_unique<TNKFTile>();
  tile->Chart = Chart;
  tile->TileIndex = Index;
  tile->Size = Size;
  tile->Visible = Visible ? 1 : 0;
  tile->Windows = std::move(Windows);
  return tile;
}

bool IsIdle(TNKFTileManager &Manager) {
  const TNKFTileManagerState state = Manager.GetState();
  return state.LoadQueue.empty() && !state.HasCurrentTile;
}

// Queues the requests at once and waits until the loader has filed them all.
void LoadAll(TNKFTileManager &Manager, TPostRecorder &Posts, std::vector<std::unique_ptr<TNKFTile>> Tiles) {
  Manager.QueueTiles(std::move(Tiles));
  ASSERT_TRUE(Posts.WaitUntil([&] { return IsIdle(Manager); }));
}

// Destroys the manager and returns the text of the assertion it raised, or "".
std::string DestroyReport(std::unique_ptr<TNKFTileManager> &Manager) {
  try {
    delete Manager.release();
  } catch (const EAssertionFailed &e) {
    return e.Message();
  }
  return "";
}

void EmptyAllLists(TNKFTileManager &Manager) {
  for (TNKFChart *chart : {ChartA, ChartB, ChartC})
    Manager.RemoveTilesOfChart(chart);
}

TEST(TNKFTileManager, CacheAndVisibleTilesStayWithinTheBudget) {
  struct TStep {
    TNKFChart *Chart;
    int32_t Index;
    uint32_t Size;
    bool Visible;
  };
  struct TCase {
    const char *Name;
    uint32_t Budget;
    std::vector<TStep> Steps; // loaded in this order
    std::vector<TNKFTileKey> Cache;
    std::vector<TNKFTileKey> Visible;
    uint64_t CacheBytes, VisibleBytes;
  };
  const TCase cases[] = {
      {"the oldest cached tiles make room first", 300,
       {{ChartA, 0, 100, false}, {ChartA, 1, 100, false}, {ChartB, 2, 100, false}, {ChartA, 3, 100, false}},
       {{ChartA, 1}, {ChartB, 2}, {ChartA, 3}}, {}, 300, 0},
      {"a visible tile evicts cached tiles until both fit", 300,
       {{ChartA, 0, 100, false}, {ChartA, 1, 100, false}, {ChartA, 2, 100, false}, {ChartB, 7, 150, true}},
       {{ChartA, 2}}, {{ChartB, 7}}, 100, 150},
      {"a cached tile that cannot fit beside the visible ones is dropped", 300,
       {{ChartA, 0, 250, true}, {ChartA, 1, 100, false}, {ChartA, 2, 50, false}},
       {{ChartA, 2}}, {{ChartA, 0}}, 50, 250},
      {"a visible tile is kept beyond the budget with the cache emptied", 300,
       {{ChartA, 0, 100, false}, {ChartA, 1, 400, true}, {ChartA, 2, 1, false}},
       {}, {{ChartA, 1}}, 0, 400},
      {"sizes near the top of the counter do not wrap the budget test", 0xFFFFFF00u,
       {{ChartA, 0, 0xFFFFFE00u, true}, {ChartA, 1, 0x200, false}},
       {}, {{ChartA, 0}}, 0, 0xFFFFFE00u},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const TCase &c = cases[i];
    SCOPED_TRACE(Format("case %d: %s", static_cast<int>(i), c.Name));
    TPostRecorder posts;
    TFakeTiles fake;
    TNKFTileManager manager(fake.Prepare());
    manager.SetCacheBudget(c.Budget);
    std::vector<std::unique_ptr<TNKFTile>> requests;
    for (const TStep &step : c.Steps)
      requests.push_back(Request(step.Chart, step.Index, step.Size, step.Visible));
    LoadAll(manager, posts, std::move(requests));
    const TNKFTileManagerState state = manager.GetState();
    EXPECT_EQ(state.Cache, c.Cache);
    EXPECT_EQ(state.Visible, c.Visible);
    EXPECT_EQ(state.CacheBytes, c.CacheBytes);
    EXPECT_EQ(state.VisibleBytes, c.VisibleBytes);
    EmptyAllLists(manager);
  }
}

TEST(TNKFTileManager, LoadedTilesCarryTheirPixelsAndTheNightMode) {
  TPostRecorder posts;
  TFakeTiles fake;
  TNKFTileManager manager(fake.Prepare());
  std::vector<std::unique_ptr<TNKFTile>> day;
  day.push_back(Request(ChartA, 5, 1, true));
  LoadAll(manager, posts, std::move(day));
  manager.SetNightMode(true);
  std::vector<std::unique_ptr<TNKFTile>> night;
  night.push_back(Request(ChartA, 6, 1, true));
  LoadAll(manager, posts, std::move(night));

  EXPECT_EQ(fake.NightModes(), (std::vector<bool>{false, true}));
  const auto tiles = manager.TakeVisibleTiles();
  ASSERT_EQ(tiles.size(), 2u);
  for (size_t i = 0; i < tiles.size(); ++i) {
    ASSERT_NE(tiles[i]->Bitmap, nullptr);
    EXPECT_EQ(tiles[i]->Bitmap->ScanLine(0)[0], static_cast<TColor32>(tiles[i]->TileIndex));
  }
  EXPECT_EQ(manager.GetState().VisibleBytes, 0u);
}

// Posted messages of one thread arrive in the order they were posted, so the
// sequence shows which tile each notification followed.
TEST(TNKFTileManager, NotifiesEveryHundredTilesAndAtTheEndWithProgressPerBatch) {
  TPostRecorder posts;
  TFakeTiles fake;
  TNKFTileManager manager(fake.Prepare());
  const TWindowHandle view = posts.Window(0), progress = posts.Window(1);
  manager.SetProgressWindow(progress);
  std::vector<std::unique_ptr<TNKFTile>> requests;
  for (int32_t i = 0; i < 120; ++i)
    requests.push_back(Request(ChartA, i, 1, true, {view}));
  LoadAll(manager, posts, std::move(requests));

  std::vector<TPosted> expected;
  int tile = 0;
  for (int total : {50, 50, 20})
    for (int done = 1; done <= total; ++done) {
      ++tile;
      if (tile == 100 || tile == 120)
        expected.push_back({view, WM_TILESREADY, 0, 0});
      expected.push_back({progress, WM_TILEPROGRESS, static_cast<uintptr_t>(done), total});
    }
  EXPECT_EQ(posts.Messages(), expected);
  EXPECT_EQ(manager.TakeVisibleTiles().size(), 120u);
}

TEST(TNKFTileManager, ProgressStartsANewBatchForRequestsAfterAFinishedOne) {
  struct TCase {
    std::vector<int> Rounds; // requests queued together, one round after the other
    std::vector<std::pair<int, int>> Progress;
  };
  const TCase cases[] = {
      {{3}, {{1, 3}, {2, 3}, {3, 3}}},
      {{3, 1}, {{1, 3}, {2, 3}, {3, 3}, {1, 1}}},
      {{52}, {{1, 50}, {2, 50}, {3, 50}, {4, 50}, {5, 50}, {6, 50}, {7, 50}, {8, 50}, {9, 50}, {10, 50},
              {11, 50}, {12, 50}, {13, 50}, {14, 50}, {15, 50}, {16, 50}, {17, 50}, {18, 50}, {19, 50}, {20, 50},
              {21, 50}, {22, 50}, {23, 50}, {24, 50}, {25, 50}, {26, 50}, {27, 50}, {28, 50}, {29, 50}, {30, 50},
              {31, 50}, {32, 50}, {33, 50}, {34, 50}, {35, 50}, {36, 50}, {37, 50}, {38, 50}, {39, 50}, {40, 50},
              {41, 50}, {42, 50}, {43, 50}, {44, 50}, {45, 50}, {46, 50}, {47, 50}, {48, 50}, {49, 50}, {50, 50},
              {1, 2}, {2, 2}}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(Format("case %d", static_cast<int>(i)));
    TPostRecorder posts;
    TFakeTiles fake;
    TNKFTileManager manager(fake.Prepare());
    manager.SetProgressWindow(posts.Window(1));
    int32_t index = 0;
    for (int count : cases[i].Rounds) {
      std::vector<std::unique_ptr<TNKFTile>> requests;
      for (int k = 0; k < count; ++k)
        requests.push_back(Request(ChartA, index++, 1, false));
      LoadAll(manager, posts, std::move(requests));
    }
    std::vector<TPosted> expected;
    for (auto [done, total] : cases[i].Progress)
      expected.push_back({posts.Window(1), WM_TILEPROGRESS, static_cast<uintptr_t>(done), total});
    EXPECT_EQ(posts.Messages(), expected);
    EmptyAllLists(manager);
  }
}

TEST(TNKFTileManager, NotifiesEachAskingWindowOnceAndNeverForPrefetchedTiles) {
  TPostRecorder posts;
  TFakeTiles fake;
  TNKFTileManager manager(fake.Prepare());
  const TWindowHandle w1 = posts.Window(0), w2 = posts.Window(1), w3 = posts.Window(2);
  std::vector<std::unique_ptr<TNKFTile>> requests;
  requests.push_back(Request(ChartA, 0, 1, true, {w1, w2, w1}));
  requests.push_back(Request(ChartA, 1, 1, true, {w2}));
  requests.push_back(Request(ChartA, 2, 1, false, {w3}));
  LoadAll(manager, posts, std::move(requests));

  // A tile's windows are registered from its last to its first (w1, then w2),
  // and told from the last registered to the first.
  const std::vector<TPosted> expected = {{w2, WM_TILESREADY, 0, 0}, {w1, WM_TILESREADY, 0, 0}};
  EXPECT_EQ(posts.Messages(), expected);
  EmptyAllLists(manager);
}

TEST(TNKFTileManager, ATileWhoseChartIsDestroyedDuringTheLoadIsFreedUnfiled) {
  TPostRecorder posts;
  TFakeTiles fake;
  fake.HoldAtGate(0);
  TNKFTileManager manager(fake.Prepare());
  const TWindowHandle view = posts.Window(0);
  manager.QueueTile(Request(ChartA, 0, 1, true, {view}));
  ASSERT_TRUE(fake.WaitUntilGateReached());
  manager.QueueTile(Request(ChartB, 1, 1, true, {posts.Window(2)}));

  manager.RemoveTilesOfChart(ChartA);
  fake.OpenGate();
  ASSERT_TRUE(posts.WaitUntil([&] { return IsIdle(manager); }));

  const TNKFTileManagerState state = manager.GetState();
  EXPECT_TRUE(state.Cache.empty());
  EXPECT_EQ(state.Visible, (std::vector<TNKFTileKey>{{ChartB, 1}}));
  EXPECT_EQ(state.VisibleBytes, 1u);
  EXPECT_TRUE(posts.MessagesTo(view).empty());
  EXPECT_EQ(posts.MessagesTo(posts.Window(2)).size(), 1u);
  EmptyAllLists(manager);
}

// Loads one visible and one cached tile of each chart A and B, then holds the
// loader on a tile of chart C with one queued request of A and of B behind it.
class TileManagerWithTilesOfTwoCharts : public ::testing::Test {
protected:
  void SetUp() override {
    fake.HoldAtGate(99);
    manager = std::make_unique<TNKFTileManager>(fake.Prepare());
    std::vector<std::unique_ptr<TNKFTile>> loaded;
    loaded.push_back(Request(ChartA, 0, 10, true));
    loaded.push_back(Request(ChartB, 1, 20, true));
    loaded.push_back(Request(ChartA, 2, 30, false));
    loaded.push_back(Request(ChartB, 3, 40, false));
    LoadAll(*manager, posts, std::move(loaded));
    std::vector<std::unique_ptr<TNKFTile>> queued;
    queued.push_back(Request(ChartC, 99, 1, false));
    queued.push_back(Request(ChartA, 4, 50, true));
    queued.push_back(Request(ChartB, 5, 60, true));
    manager->QueueTiles(std::move(queued));
    ASSERT_TRUE(fake.WaitUntilGateReached());
  }
  void TearDown() override {
    fake.OpenGate();
    ASSERT_TRUE(posts.WaitUntil([&] { return IsIdle(*manager); }));
    EmptyAllLists(*manager);
    EXPECT_EQ(DestroyReport(manager), "");
  }

  TPostRecorder posts;
  TFakeTiles fake;
  std::unique_ptr<TNKFTileManager> manager;
};

TEST_F(TileManagerWithTilesOfTwoCharts, RemoveTilesOfChartRemovesQueuedVisibleAndCachedTilesOfThatChartOnly) {
  manager->RemoveTilesOfChart(ChartA);
  const TNKFTileManagerState state = manager->GetState();
  EXPECT_EQ(state.Cache, (std::vector<TNKFTileKey>{{ChartB, 3}}));
  EXPECT_EQ(state.Visible, (std::vector<TNKFTileKey>{{ChartB, 1}}));
  EXPECT_EQ(state.LoadQueue, (std::vector<TNKFTileKey>{{ChartB, 5}}));
  EXPECT_EQ(state.CacheBytes, 40u);
  EXPECT_EQ(state.VisibleBytes, 20u);
  EXPECT_TRUE(state.HasCurrentTile); // chart C's tile is still loading
}

TEST_F(TileManagerWithTilesOfTwoCharts, WithdrawingAChartKeepsItsCachedTiles) {
  manager->WithdrawTilesOfChart(ChartA);
  const TNKFTileManagerState state = manager->GetState();
  EXPECT_EQ(state.Cache, (std::vector<TNKFTileKey>{{ChartA, 2}, {ChartB, 3}}));
  EXPECT_EQ(state.Visible, (std::vector<TNKFTileKey>{{ChartB, 1}}));
  EXPECT_EQ(state.LoadQueue, (std::vector<TNKFTileKey>{{ChartB, 5}}));
  EXPECT_EQ(state.CacheBytes, 70u);
  EXPECT_EQ(state.VisibleBytes, 20u);
}

TEST(TNKFTileManager, DestructionOffTheMainThreadOrWithLeftoverTilesIsReported) {
  const auto loadTwoVisibleAndTwoCached = [](TNKFTileManager &m, TPostRecorder &posts) {
    std::vector<std::unique_ptr<TNKFTile>> loaded;
    loaded.push_back(Request(ChartA, 0, 10, true));
    loaded.push_back(Request(ChartB, 1, 20, true));
    loaded.push_back(Request(ChartA, 2, 30, false));
    loaded.push_back(Request(ChartB, 3, 40, false));
    LoadAll(m, posts, std::move(loaded));
  };
  struct TCase {
    std::function<void(TNKFTileManager &, TPostRecorder &)> Leave;
    const char *Report;
    bool DestroyOnAnotherThread = false;
  };
  const TCase cases[] = {
      {[](TNKFTileManager &, TPostRecorder &) {}, "Assertion failure (VmLib\\VmNKF2TileManager, line 404)", true},
      {loadTwoVisibleAndTwoCached,
       "TNKFTileManager.Destroy: Not all tiles have been removed from the visible list (2 left) "
       "(VmLib\\VmNKF2TileManager, line 421)"},
      {[&](TNKFTileManager &m, TPostRecorder &posts) {
         loadTwoVisibleAndTwoCached(m, posts);
         m.TakeVisibleTiles();
       },
       "TNKFTileManager.Destroy: Not all tiles have been removed from the cache (2 left) "
       "(VmLib\\VmNKF2TileManager, line 422)"},
      {[](TNKFTileManager &m, TPostRecorder &posts) {
         // A loader that was stopped takes nothing from the queue.
         m.Terminate();
         ASSERT_TRUE(posts.WaitUntil([&] { return m.Finished(); }));
         m.QueueTile(Request(ChartB, 6, 1, true));
         m.QueueTile(Request(ChartB, 7, 1, true));
       },
       "TNKFTileManager.Destroy: Not all tiles have been removed from the load queue (2 left) "
       "(VmLib\\VmNKF2TileManager, line 423)"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(Format("case %d", static_cast<int>(i)));
    TPostRecorder posts;
    TFakeTiles fake;
    auto manager = std::make_unique<TNKFTileManager>(fake.Prepare());
    cases[i].Leave(*manager, posts);
    std::string report;
    if (cases[i].DestroyOnAnotherThread)
      std::thread([&] { report = DestroyReport(manager); }).join();
    else
      report = DestroyReport(manager);
    EXPECT_EQ(report, cases[i].Report);
  }
}

// One failed tile is reported as the loader always reported its failures
// (class, message, trace, the end window told) and dropped; the loader goes
// on with the rest of the queue and with later requests.
TEST(TNKFTileManager, AFailedTileIsReportedAndDroppedAndTheLoaderGoesOn) {
  TPostRecorder posts;
  TFakeTiles fake;
  fake.FailWith(1, [] { throw EFOpenError("Cannot open file missing.nkf2"); });
  auto manager = std::make_unique<TNKFTileManager>(fake.Prepare());
  const TWindowHandle progress = posts.Window(2), end = posts.Window(3);
  manager->SetProgressWindow(progress);
  manager->SetEndWindow(end);
  std::vector<std::unique_ptr<TNKFTile>> requests;
  requests.push_back(Request(ChartA, 0, 1, true));
  requests.push_back(Request(ChartA, 1, 1, true));
  requests.push_back(Request(ChartA, 2, 1, true));
  LoadAll(*manager, posts, std::move(requests));
  requests.clear();
  requests.push_back(Request(ChartB, 3, 1, true));
  LoadAll(*manager, posts, std::move(requests));

  const std::vector<TPosted> failed = {{end, WM_TILELOADERENDED, reinterpret_cast<uintptr_t>(manager.get()), 0}};
  EXPECT_EQ(posts.MessagesTo(end), failed);
  EXPECT_EQ(manager->ErrorClass(), "EFOpenError");
  EXPECT_EQ(manager->ErrorMessage(), "Cannot open file missing.nkf2");
  if (IsRTLIAvailable()) {
    EXPECT_EQ(manager->ErrorStackTrace().rfind("RTLI generation timestamp: ", 0), 0u);
  } else {
    EXPECT_EQ(manager->ErrorStackTrace(), "");
  }
  // The failed tile counts in its progress batch, so the next batch starts.
  const std::vector<TPosted> progressed = {{progress, WM_TILEPROGRESS, 1, 3},
                                           {progress, WM_TILEPROGRESS, 2, 3},
                                           {progress, WM_TILEPROGRESS, 3, 3},
                                           {progress, WM_TILEPROGRESS, 1, 1}};
  EXPECT_EQ(posts.MessagesTo(progress), progressed);
  EXPECT_FALSE(manager->Finished());
  const TNKFTileManagerState state = manager->GetState();
  EXPECT_EQ(state.Visible, (std::vector<TNKFTileKey>{{ChartA, 0}, {ChartA, 2}, {ChartB, 3}}));
  EXPECT_TRUE(state.LoadQueue.empty());
  EXPECT_FALSE(state.HasCurrentTile);
  EXPECT_FALSE(state.Loading);
  // The loader did not die, so leftovers are still reported.
  EXPECT_EQ(DestroyReport(manager), "TNKFTileManager.Destroy: Not all tiles have been removed from the visible list "
                                    "(3 left) (VmLib\\VmNKF2TileManager, line 421)");
}

// A view takes prefetched tiles out of the cache when it shows them and gives
// the ones it no longer shows back; the budget holds for both ways.
TEST(TNKFTileManager, AViewTakesCachedTilesAndGivesThemBackWithinTheBudget) {
  TPostRecorder posts;
  TFakeTiles fake;
  TNKFTileManager manager(fake.Prepare());
  manager.SetCacheBudget(300);
  std::vector<std::unique_ptr<TNKFTile>> requests;
  for (int32_t index = 0; index < 3; ++index)
    requests.push_back(Request(ChartA, index, 100, false));
  LoadAll(manager, posts, std::move(requests));

  EXPECT_EQ(manager.TakeCachedTile(ChartB, 1), nullptr);
  std::unique_ptr<TNKFTile> shown = manager.TakeCachedTile(ChartA, 1);
  ASSERT_NE(shown, nullptr);
  ASSERT_NE(shown->Bitmap, nullptr);
  EXPECT_EQ(shown->Bitmap->ScanLine(0)[0], 1u);
  TNKFTileManagerState state = manager.GetState();
  EXPECT_EQ(state.Cache, (std::vector<TNKFTileKey>{{ChartA, 0}, {ChartA, 2}}));
  EXPECT_EQ(state.CacheBytes, 200u);

  requests.push_back(Request(ChartA, 3, 100, false));
  LoadAll(manager, posts, std::move(requests));
  // Given back, it is the newest: the oldest makes room.
  shown->Visible = 1;
  manager.KeepInCache(std::move(shown));
  state = manager.GetState();
  EXPECT_EQ(state.Cache, (std::vector<TNKFTileKey>{{ChartA, 2}, {ChartA, 3}, {ChartA, 1}}));
  EXPECT_EQ(state.CacheBytes, 300u);
  // A request that was never loaded has nothing worth keeping.
  manager.KeepInCache(Request(ChartA, 9, 1, false));
  EXPECT_EQ(manager.GetState().Cache.size(), 3u);
  EmptyAllLists(manager);
}

TEST(TNKFTileManager, FailedTilesAreKeptForTheViewUntilTakenOrTheirChartGoes) {
  TPostRecorder posts;
  TFakeTiles fake;
  fake.FailWith(1, [] { throw ENKFChartError("Damaged tile"); });
  TNKFTileManager manager(fake.Prepare());
  std::vector<std::unique_ptr<TNKFTile>> requests;
  requests.push_back(Request(ChartA, 0, 1, true));
  requests.push_back(Request(ChartA, 1, 1, true));
  requests.push_back(Request(ChartB, 1, 1, true));
  LoadAll(manager, posts, std::move(requests));
  EXPECT_EQ(manager.TakeFailedTiles(), (std::vector<TNKFTileKey>{{ChartA, 1}, {ChartB, 1}}));
  EXPECT_TRUE(manager.TakeFailedTiles().empty());

  requests.push_back(Request(ChartA, 1, 1, true));
  requests.push_back(Request(ChartB, 1, 1, true));
  LoadAll(manager, posts, std::move(requests));
  manager.RemoveTilesOfChart(ChartA);
  EXPECT_EQ(manager.TakeFailedTiles(), (std::vector<TNKFTileKey>{{ChartB, 1}}));
  EmptyAllLists(manager);
}

TEST(TNKFTileManager, ErrorsThatAreNotTheLibrarysOwnAreNamedToo) {
  struct TCase {
    std::function<void()> Raise;
    const char *Class;
    const char *Message;
  };
  const TCase cases[] = {
      {[] { throw std::bad_alloc(); }, "EOutOfMemory", "Out of memory"},
      {[] { throw std::runtime_error("disk on fire"); }, "Exception", "disk on fire"},
      {[] { throw 42; }, "Exception", "Unknown exception"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(Format("case %d", static_cast<int>(i)));
    TPostRecorder posts;
    TFakeTiles fake;
    fake.FailWith(0, cases[i].Raise);
    TNKFTileManager manager(fake.Prepare());
    manager.SetEndWindow(posts.Window(3));
    manager.QueueTile(Request(ChartA, 0, 1, false));
    ASSERT_TRUE(posts.WaitUntil([&] { return !posts.MessagesTo(posts.Window(3)).empty(); }));
    EXPECT_EQ(manager.ErrorClass(), cases[i].Class);
    EXPECT_EQ(manager.ErrorMessage(), cases[i].Message);
    EXPECT_FALSE(manager.Finished());
  }
}

TEST(TNKFTileManager, TheProcessWideManagerIsCreatedOnce) {
  TNKFTileManager *first = GetTileManager();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetTileManager(), first);
  EXPECT_EQ(ExistingTileManager(), first);
  EXPECT_FALSE(first->Finished());
}

// A chart in static storage, opened before the process-wide manager exists
// and so destroyed after it at the program's end. Its destructor must find no
// manager then rather than the freed one (which AddressSanitizer reports as a
// use after free when this program ends).
struct TStaticChart {
  TTempDir Dir;
  std::unique_ptr<TNKFChart> Chart;
  TStaticChart() {
    NKFWriteChartFile(Dir.File("static.nkf2"), NKFSampleChart(NKFVersion1_0_0_2, 300, 200));
    Chart = std::make_unique<TNKFChart>(Dir.File("static.nkf2"));
  }
} StaticChart;

TEST(TNKFTileManager, AChartInStaticStorageMayOutliveTheManager) {
  ASSERT_NE(StaticChart.Chart, nullptr);
  // Created after the chart, the manager goes before it when the program ends.
  EXPECT_NE(GetTileManager(), nullptr);
}

// Chart files from the chart writer whose tiles are chart-like pictures from
// the tile encoder: tile t shows picture t, except tile 2, whose override
// points at picture 5.
class TileManagerOnChartFiles : public ::testing::Test {
protected:
  static constexpr int32_t OverriddenTile = 2;
  static constexpr uint32_t OverridePicture = 5;

  // Patch may change the written bytes before they are stored.
  std::unique_ptr<TNKFChart> WriteAndOpen(const std::string &Name,
                                          const std::function<void(TNKFWrittenChart &)> &Patch = nullptr) {
    TNKFChartDescription description = NKFSampleChart(NKFVersion1_0_0_2, 256, 256); // five 1 x 1 levels
    description.Blobs = EncodedPictures();
    description.Overrides.push_back({static_cast<uint32_t>(OverriddenTile), OverridePicture});
    TNKFWrittenChart written = NKFWriteChart(description);
    if (Patch)
      Patch(written);
    const std::string path = dir.File(Name);
    WriteFileBytes(path, written.Head + written.Tag);
    return std::make_unique<TNKFChart>(path);
  }

  static const std::vector<std::string> &EncodedPictures() {
    static const std::vector<std::string> blobs = [] {
      std::vector<std::string> result;
      for (uint32_t picture = 0; picture <= OverridePicture; ++picture) {
        const std::vector<TColor32> pixels = MakeChartLikeTile(picture);
        const std::vector<uint8_t> encoded = EncodeNKF2Tile(pixels.data(), TNKF2EncodeOptions());
        result.emplace_back(encoded.begin(), encoded.end());
      }
      return result;
    }();
    return blobs;
  }

  static uint32_t PictureOf(int32_t Tile) { return Tile == OverriddenTile ? OverridePicture : Tile; }

  TTempDir dir;
  TPostRecorder posts;
};

TEST_F(TileManagerOnChartFiles, LoadsTheActivePairOfEachTileWithItsTransparencyDimmedInNightMode) {
  std::unique_ptr<TNKFChart> chart = WriteAndOpen("a.nkf2");
  ASSERT_EQ(chart->TileCount, 5u);
  TNKFTileManager manager;
  std::vector<std::unique_ptr<TNKFTile>> requests;
  for (int32_t t = 0; t < 5; ++t)
    requests.push_back(Request(chart.get(), t, 256 * 1024, true));
  LoadAll(manager, posts, std::move(requests));
  manager.SetNightMode(true);
  requests.clear();
  requests.push_back(Request(chart.get(), OverriddenTile, 256 * 1024, true));
  LoadAll(manager, posts, std::move(requests));
  EXPECT_EQ(manager.ErrorMessage(), "");

  const auto tiles = manager.TakeVisibleTiles();
  ASSERT_EQ(tiles.size(), 6u);
  for (size_t i = 0; i < tiles.size(); ++i) {
    const auto &tile = tiles[i];
    const bool night = i == 5;
    SCOPED_TRACE(Format("tile %d%s", tile->TileIndex, night ? " at night" : ""));
    const TBitmap32 &bitmap = *tile->Bitmap;
    ASSERT_EQ(bitmap.Width(), 256);
    ASSERT_EQ(bitmap.Height(), 256);
    EXPECT_EQ(bitmap.Resampler(), TResamplerKind::rkNearest);
    EXPECT_EQ(bitmap.DrawMode(), TDrawMode::dmBlend);
    std::vector<TColor32> expected = MakeChartLikeTile(PictureOf(tile->TileIndex));
    if (night) {
      for (TColor32 &pixel : expected)
        pixel = GetNightScreen().NightColor32(pixel);
    }
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bitmap.Bits()));
  }
}

TEST_F(TileManagerOnChartFiles, AFailedDecodeCarriesATraceThatNamesTheDecoder) {
  TNKFChartDescription description = NKFSampleChart(NKFVersion1_0_0_2, 256, 256);
  description.Blobs = EncodedPictures();
  description.Blobs[0].resize(1); // ends before the palette size
  const std::string path = dir.File("cut.nkf2");
  NKFWriteChartFile(path, description);
  TNKFChart chart(path);
  TNKFTileManager manager;
  manager.SetEndWindow(posts.Window(3));
  manager.QueueTile(Request(&chart, 0, 1, true));
  ASSERT_TRUE(posts.WaitUntil([&] { return !posts.MessagesTo(posts.Window(3)).empty(); }));
  EXPECT_EQ(manager.ErrorClass(), "ENKFChartError");
  EXPECT_EQ(manager.ErrorMessage(), "DecodeTile: Tile data ends before the palette size");
  if (!IsRTLIAvailable()) {
    EXPECT_EQ(manager.ErrorStackTrace(), "");
    return;
  }
  // The innermost row is the decoder's, in its own unit and source file.
  const std::string trace = manager.ErrorStackTrace();
  const size_t heading = trace.find("Routine\r\n");
  ASSERT_NE(heading, std::string::npos) << trace;
  const std::string first = trace.substr(heading + 9, trace.find("\r\n", heading + 9) - heading - 9);
  EXPECT_NE(first.find(" VmNKF2Codec.cpp "), std::string::npos) << trace;
  EXPECT_NE(first.find(" VmNKF2Codec."), std::string::npos) << trace;
  EXPECT_NE(trace.find(" VmNKF2TileManager.TNKFTileManager::LoaderLoop\r\n"), std::string::npos) << trace;
}

// A bad tile of one chart, then a good tile of another: the bad one is
// reported by name and dropped, the good one loads, the queue drains and
// loading ends.
TEST_F(TileManagerOnChartFiles, AFailedTileIsReportedAndTheNextChartsTileLoads) {
  const auto overrideAt = [](int64_t Field, int64_t Value) {
    return [=](TNKFWrittenChart &w) { NKFPutInt64(w.Head, w.OverridesPos + Field, Value); };
  };
  constexpr int64_t OverrideOffset = 8, OverrideSize = 16; // after the count and the tile number
  struct TCase {
    const char *Name;
    int32_t Tile;
    std::function<void(TNKFWrittenChart &)> Patch;
    const char *Class;
    std::string Message; // "<file>" stands for the chart's file name
  };
  const auto none = [](TNKFWrittenChart &) {};
  const TCase cases[] = {
      {"a chart file gone since it was opened", 0, none, "EStreamError", "Cannot open file <file>"},
      {"a tile beyond the directory", 5, none, "ENKFChartError",
       "TNKFTileManager.LoadTile: Tile index 5 out of range in <file>"},
      {"a negative tile index", -1, none, "ENKFChartError",
       "TNKFTileManager.LoadTile: Tile index -1 out of range in <file>"},
      {"corrupt tile bytes", OverriddenTile,
       [](TNKFWrittenChart &w) { w.Head[static_cast<size_t>(w.BlobOffsets[OverridePicture])] = '\x7F'; },
       "ENKFChartError", "DecodeTile: Run passes the end of block 0"},
      {"an offset past the end", OverriddenTile, overrideAt(OverrideOffset, int64_t{1} << 40), "EStreamError",
       "Invalid new position in <file>"},
      {"a size over 4 MiB", OverriddenTile, overrideAt(OverrideSize, 5 << 20), "ENKFChartError",
       "DecodeTile: Byte count 5242880 out of range"},
      {"a size beyond 32 bits", OverriddenTile, overrideAt(OverrideSize, (int64_t{1} << 32) + 16), "ENKFChartError",
       "DecodeTile: Byte count 2147483647 out of range"},
      {"a negative override size (read as an empty tile)", OverriddenTile, overrideAt(OverrideSize, -5),
       "ENKFChartError", "DecodeTile: Tile data ends before the palette size"},
  };
  std::unique_ptr<TNKFChart> good = WriteAndOpen("good.nkf2");
  for (size_t i = 0; i < std::size(cases); ++i) {
    const TCase &c = cases[i];
    SCOPED_TRACE(Format("case %d: %s", static_cast<int>(i), c.Name));
    std::unique_ptr<TNKFChart> bad = WriteAndOpen(Format("case%d.nkf2", static_cast<int>(i)), c.Patch);
    if (i == 0) {
      ASSERT_TRUE(FileDelete(bad->FileName));
    }
    TNKFTileManager manager;
    manager.SetEndWindow(posts.Window(3));
    std::vector<std::unique_ptr<TNKFTile>> requests;
    requests.push_back(Request(bad.get(), c.Tile, 1, true));
    requests.push_back(Request(good.get(), OverriddenTile, 1, true));
    LoadAll(manager, posts, std::move(requests));
    EXPECT_EQ(manager.ErrorClass(), c.Class);
    std::string message = c.Message;
    if (const size_t at = message.find("<file>"); at != std::string::npos)
      message.replace(at, 6, bad->FileName);
    EXPECT_EQ(manager.ErrorMessage(), message);
    EXPECT_FALSE(manager.Finished());
    EXPECT_FALSE(manager.GetState().Loading);
    const auto tiles = manager.TakeVisibleTiles();
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0]->Chart, good.get());
    const std::vector<TColor32> expected = MakeChartLikeTile(OverridePicture);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), tiles[0]->Bitmap->Bits()));
  }
}

#if defined(_WIN32)
// Another program holding the chart file without sharing it makes the tile
// fail to open; the loader serves the next request all the same.
TEST_F(TileManagerOnChartFiles, AChartFileLockedByAnotherProgramFailsOnlyItsTile) {
  std::unique_ptr<TNKFChart> locked = WriteAndOpen("locked.nkf2");
  std::unique_ptr<TNKFChart> good = WriteAndOpen("good.nkf2");
  TBufferedFileStream holder(locked->FileName, fmOpenReadWrite | fmShareExclusive, 1024);
  TNKFTileManager manager;
  std::vector<std::unique_ptr<TNKFTile>> requests;
  requests.push_back(Request(locked.get(), 0, 1, true));
  requests.push_back(Request(good.get(), 0, 1, true));
  LoadAll(manager, posts, std::move(requests));
  EXPECT_EQ(manager.ErrorMessage(), "Cannot open file " + locked->FileName);
  const auto tiles = manager.TakeVisibleTiles();
  ASSERT_EQ(tiles.size(), 1u);
  EXPECT_EQ(tiles[0]->Chart, good.get());
}
#endif

TEST_F(TileManagerOnChartFiles, DestroyingAChartRemovesItsTilesFromTheProcessWideManager) {
  std::unique_ptr<TNKFChart> doomed = WriteAndOpen("doomed.nkf2");
  std::unique_ptr<TNKFChart> kept = WriteAndOpen("kept.nkf2");
  TNKFTileManager &manager = *GetTileManager();
  std::vector<std::unique_ptr<TNKFTile>> requests;
  requests.push_back(Request(doomed.get(), 0, 1, false));
  requests.push_back(Request(kept.get(), 1, 1, false));
  requests.push_back(Request(doomed.get(), 3, 1, false));
  LoadAll(manager, posts, std::move(requests));
  ASSERT_EQ(manager.GetState().Cache.size(), 3u);

  doomed.reset();
  const TNKFTileManagerState state = manager.GetState();
  EXPECT_EQ(state.Cache, (std::vector<TNKFTileKey>{{kept.get(), 1}}));
  EXPECT_EQ(state.CacheBytes, 1u);
  kept.reset();
  EXPECT_TRUE(manager.GetState().Cache.empty());
}

#if defined(_WIN32)
int SentSeen = 0;

LRESULT CALLBACK SendTargetProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_APP + 1) {
    ++SentSeen;
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// A loader blocked in SendMessage to a window of the destroying thread can
// only finish if the destructor's wait dispatches sent messages.
TEST(TNKFTileManager, DestructionDispatchesMessagesSentToTheWaitingThread) {
  TPostRecorder posts;
  SentSeen = 0;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = SendTargetProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TileManagerSendTarget";
  RegisterClassA(&wc);
  HWND target = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                wc.hInstance, nullptr);
  ASSERT_NE(target, nullptr);

  std::mutex lock;
  std::condition_variable changed;
  bool sending = false;
  auto prepare = [&](const TNKFTile &) -> TNKFTileLoad {
    return [&](bool) {
      {
        std::lock_guard<std::mutex> guard(lock);
        sending = true;
      }
      changed.notify_all();
      SendMessageA(target, WM_APP + 1, 0, 0);
      return std::make_unique<TBitmap32>();
    };
  };
  auto manager = std::make_unique<TNKFTileManager>(prepare);
  manager->SetCacheBudget(0);
  manager->QueueTile(Request(ChartA, 0, 1, false)); // dropped: nothing fits a budget of 0
  {
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(changed.wait_for(guard, Patience, [&] { return sending; }));
  }
  // This thread pumps no messages of its own from here on.
  EXPECT_EQ(DestroyReport(manager), "");
  EXPECT_EQ(SentSeen, 1);
  DestroyWindow(target);
}
#endif

} // namespace
