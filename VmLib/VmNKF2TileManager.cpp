#include "VmNKF2TileManager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <new>
#include <utility>

#include "OSFile.h"
#include "SysUtils.h"
#include "VmFileIO.h"
#include "VmGraphics.h"
#include "VmNKF2Codec.h"
#include "VmNKFCharts.h"
#include "VmNKFErrors.h"
#include "VmNightscreen.h"
#include "VmRTLI.h"

namespace {

const char *const SourceName = "VmLib\\VmNKF2TileManager";
// The lines the manager's contract names in its assertion reports.
constexpr int MainThreadAssertionLine = 404;
constexpr int VisibleLeftAssertionLine = 421;
constexpr int CacheLeftAssertionLine = 422;
constexpr int QueueLeftAssertionLine = 423;
// The tile's bytes come in with one read, so a small window suffices.
constexpr int32_t TileReadBufferSize = 32768;

} // namespace

TNKFTile::TNKFTile() = default;
TNKFTile::~TNKFTile() = default;

TNKFTileManager::TNKFTileManager() : TNKFTileManager(PrepareChartTileLoad) {}

TNKFTileManager::TNKFTileManager(TNKFTilePrepare Prepare)
    : FPrepare(std::move(Prepare)) {
  FThread = std::make_unique<TOSThread>([this] { ThreadMain(); });
  FThreadId = FThread->ThreadId();
}

TNKFTileManager::~TNKFTileManager() noexcept(false) {
  // The thread is stopped before anything is checked: an assertion raised
  // while it still ran would leave it using a manager that is going away.
  if (!FFinished.load())
    Terminate();
  FThread->WaitFor();
  FThreadId = 0;

  // An exception already on its way out must not be replaced by a report of
  // leftovers; the tiles are freed with the lists all the same.
  if (std::uncaught_exceptions() > 0)
    return;
  Assert(IsMainThread(), "Assertion failure", SourceName, MainThreadAssertionLine);
  if (!FLoaderDied)
    CheckNoTilesLeft();
}

void TNKFTileManager::CheckNoTilesLeft() {
  const auto check = [](const TTileList &list, const char *name, int line) {
    if (!list.empty())
      AssertionFailed(Format("TNKFTileManager.Destroy: Not all tiles have been removed from the %s (%d left)", name,
                             static_cast<int>(list.size())),
                      SourceName, line);
  };
  check(FVisible, "visible list", VisibleLeftAssertionLine);
  check(FCache, "cache", CacheLeftAssertionLine);
  check(FLoadQueue, "load queue", QueueLeftAssertionLine);
}

void TNKFTileManager::ThreadMain() noexcept {
  try {
    LoaderLoop();
  } catch (...) {
    FLoaderDied = true;
    RecordFailure();
  }
  std::lock_guard<std::mutex> lock(FLock);
  FFinished.store(true);
  TellEndWindow();
}

void TNKFTileManager::RecordFailure() noexcept {
  try {
    throw;
  } catch (const Exception &e) {
    RecordError(e.ClassName(), e.Message());
  } catch (const std::bad_alloc &) {
    RecordError("EOutOfMemory", "Out of memory");
  } catch (const std::exception &e) {
    RecordError("Exception", e.what());
  } catch (...) {
    RecordError("Exception", "Unknown exception");
  }
}

void TNKFTileManager::RecordError(const char *ClassName, const std::string &Message) {
  // The trace belongs to the most recent raise of any thread, so it is taken
  // here, right after the one being reported.
  std::string trace = IsRTLIAvailable() ? GetStackTraceText() : std::string();
  std::lock_guard<std::mutex> lock(FLock);
  FErrorClass = ClassName;
  FErrorMessage = Message;
  FErrorStackTrace = std::move(trace);
}

void TNKFTileManager::TellEndWindow() {
  if (FEndWindow != 0)
    PostWindowMessage(FEndWindow, WM_TILELOADERENDED, reinterpret_cast<uintptr_t>(this), 0);
}

void TNKFTileManager::LoaderLoop() {
  int32_t done = 0, total = 0, sinceNotify = 0;
  while (!FTerminated.load()) {
    TNKFTileLoad load;
    bool nightMode = false;
    std::unique_ptr<TBitmap32> bitmap;
    try {
      if (!TakeNextTile(done, total, load, nightMode))
        continue;
      // Outside the lock: a slow read must not block the views, and the load
      // works from its own copies, so the chart may be destroyed meanwhile.
      bitmap = load(nightMode);
    } catch (...) {
      // One bad tile (damaged bytes, a file removed or locked since its chart
      // was opened) is reported and dropped; the other requests are served.
      RecordFailure();
      std::lock_guard<std::mutex> lock(FLock);
      // Kept for the views before the window is told, so that the message
      // always finds the tile; a cancelled tile's chart has gone.
      if (FCurrentTile && FCurrentTile->Chart)
        FFailed.push_back({FCurrentTile->Chart, FCurrentTile->TileIndex});
      TellEndWindow();
      if (!FCurrentTile)
        continue; // it failed before a tile was taken
    }
    FileLoadedTile(std::move(bitmap), done, total, sinceNotify);
  }
}

bool TNKFTileManager::TakeNextTile(int32_t &Done, int32_t &Total, TNKFTileLoad &Load, bool &NightMode) {
  std::unique_lock<std::mutex> lock(FLock);
  if (FLoadQueue.empty()) {
    // An idle poll, cut short when a request arrives or a stop is asked for.
    FWake.wait_for(lock, std::chrono::milliseconds(IdlePollMilliseconds),
                   [this] { return FTerminated.load() || !FLoadQueue.empty(); });
    return false;
  }
  if (Total == 0 || Total == Done) {
    Total = std::min<int32_t>(ProgressBatch, static_cast<int32_t>(FLoadQueue.size()));
    Done = 0;
  }
  FCurrentTile = std::move(FLoadQueue.front());
  FLoadQueue.erase(FLoadQueue.begin());
  FLoading = true;
  NightMode = FNightMode;
  Load = FPrepare(*FCurrentTile);
  return true;
}

void TNKFTileManager::FileLoadedTile(std::unique_ptr<TBitmap32> Bitmap, int32_t &Done, int32_t &Total,
                                     int32_t &SinceNotify) {
  std::lock_guard<std::mutex> lock(FLock);
  std::unique_ptr<TNKFTile> tile = std::move(FCurrentTile);
  if (!tile->Cancelled && Bitmap) {
    // A cancelled or failed tile is freed with its bitmap when this block ends.
    tile->Bitmap = std::move(Bitmap);
    if (tile->Visible == 0) {
      tile->Windows.clear();
      AddToCache(std::move(tile));
    } else {
      MakeRoom(tile->Size); // a visible tile is kept even when nothing fits
      const std::vector<TWindowHandle> windows = std::move(tile->Windows);
      tile->Windows.clear();
      AddToVisible(std::move(tile));
      for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        AddNotifyWindow(*it);
    }
  }
  FLoading = !FLoadQueue.empty();
  ++SinceNotify;
  if (!FLoading || SinceNotify >= FNotifyBatch) {
    for (auto it = FNotifyWindows.rbegin(); it != FNotifyWindows.rend(); ++it) {
      PostWindowMessage(*it, WM_TILESREADY, 0, 0);
      SinceNotify = 0;
    }
    FNotifyWindows.clear();
  }
  if (FProgressWindow != 0) {
    if (FLoading)
      ++Done;
    else
      Done = Total;
    PostWindowMessage(FProgressWindow, WM_TILEPROGRESS, static_cast<uintptr_t>(Done), Total);
    if (Done == Total)
      Total = 0;
  }
}

bool TNKFTileManager::MakeRoom(uint64_t Size) {
  while (!FCache.empty() && FVisibleBytes + FCacheBytes + Size > FCacheBudget)
    DeleteFromCache(0);
  return FVisibleBytes + FCacheBytes + Size <= FCacheBudget;
}

void TNKFTileManager::AddToCache(std::unique_ptr<TNKFTile> Tile) {
  if (!MakeRoom(Tile->Size))
    return; // the decode is lost; the tile is freed here
  FCacheBytes += Tile->Size;
  FCache.push_back(std::move(Tile));
}

void TNKFTileManager::AddToVisible(std::unique_ptr<TNKFTile> Tile) {
  FVisibleBytes += Tile->Size;
  FVisible.push_back(std::move(Tile));
}

void TNKFTileManager::DeleteFromCache(size_t Index) {
  FCacheBytes -= FCache[Index]->Size;
  FCache.erase(FCache.begin() + static_cast<ptrdiff_t>(Index));
}

void TNKFTileManager::AddNotifyWindow(TWindowHandle Window) {
  if (std::find(FNotifyWindows.rbegin(), FNotifyWindows.rend(), Window) == FNotifyWindows.rend())
    FNotifyWindows.push_back(Window);
}

void TNKFTileManager::RemoveChartFrom(TTileList &List, uint64_t *Bytes, TNKFChart *Chart) {
  for (size_t i = List.size(); i-- > 0;) {
    if (List[i]->Chart != Chart)
      continue;
    if (Bytes != nullptr)
      *Bytes -= List[i]->Size;
    List.erase(List.begin() + static_cast<ptrdiff_t>(i));
  }
}

void TNKFTileManager::RemoveTilesOfChart(TNKFChart *Chart) {
  if (Chart == nullptr)
    return;
  std::lock_guard<std::mutex> lock(FLock);
  if (FCurrentTile && FCurrentTile->Chart == Chart) {
    FCurrentTile->Cancelled = true;
    FCurrentTile->Chart = nullptr;
  }
  RemoveChartFrom(FCache, &FCacheBytes, Chart);
  // A queued request of a destroyed chart would make the loader read through
  // a dangling chart, and a visible tile would keep pointing at it; both go.
  RemoveChartFrom(FLoadQueue, nullptr, Chart);
  RemoveChartFrom(FVisible, &FVisibleBytes, Chart);
  // A later chart may be given the same address.
  std::erase_if(FFailed, [Chart](const TNKFTileKey &Key) { return Key.Chart == Chart; });
}

void TNKFTileManager::QueueTiles(std::vector<std::unique_ptr<TNKFTile>> Tiles) {
  for (const auto &tile : Tiles)
    Assert(tile != nullptr && tile->Chart != nullptr, "TNKFTileManager.QueueTiles: A request names no chart",
           SourceName, __LINE__);
  {
    std::lock_guard<std::mutex> lock(FLock);
    for (auto &tile : Tiles)
      FLoadQueue.push_back(std::move(tile));
    FLoading = FLoading || !FLoadQueue.empty();
  }
  FWake.notify_one();
}

void TNKFTileManager::QueueTile(std::unique_ptr<TNKFTile> Tile) {
  std::vector<std::unique_ptr<TNKFTile>> tiles;
  tiles.push_back(std::move(Tile));
  QueueTiles(std::move(tiles));
}

void TNKFTileManager::Terminate() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FTerminated.store(true);
  }
  FWake.notify_all();
}

void TNKFTileManager::WithdrawTilesOfChart(TNKFChart *Chart) {
  std::lock_guard<std::mutex> lock(FLock);
  RemoveChartFrom(FLoadQueue, nullptr, Chart);
  RemoveChartFrom(FVisible, &FVisibleBytes, Chart);
}

std::vector<std::unique_ptr<TNKFTile>> TNKFTileManager::TakeVisibleTiles() {
  std::lock_guard<std::mutex> lock(FLock);
  TTileList taken = std::move(FVisible);
  FVisible.clear();
  FVisibleBytes = 0;
  return taken;
}

std::unique_ptr<TNKFTile> TNKFTileManager::TakeCachedTile(TNKFChart *Chart, int32_t TileIndex) {
  std::lock_guard<std::mutex> lock(FLock);
  for (size_t i = 0; i < FCache.size(); ++i)
    if (FCache[i]->Chart == Chart && FCache[i]->TileIndex == TileIndex) {
      FCacheBytes -= FCache[i]->Size;
      std::unique_ptr<TNKFTile> tile = std::move(FCache[i]);
      FCache.erase(FCache.begin() + static_cast<ptrdiff_t>(i));
      return tile;
    }
  return nullptr;
}

void TNKFTileManager::KeepInCache(std::unique_ptr<TNKFTile> Tile) {
  if (!Tile || !Tile->Bitmap || !Tile->Chart)
    return;
  std::lock_guard<std::mutex> lock(FLock);
  Tile->Visible = 0;
  Tile->Windows.clear();
  AddToCache(std::move(Tile));
}

std::vector<TNKFTileKey> TNKFTileManager::TakeFailedTiles() {
  std::lock_guard<std::mutex> lock(FLock);
  return std::exchange(FFailed, {});
}

void TNKFTileManager::SetProgressWindow(TWindowHandle Window) {
  std::lock_guard<std::mutex> lock(FLock);
  FProgressWindow = Window;
}

void TNKFTileManager::SetEndWindow(TWindowHandle Window) {
  std::lock_guard<std::mutex> lock(FLock);
  FEndWindow = Window;
}

void TNKFTileManager::SetNightMode(bool Value) {
  std::lock_guard<std::mutex> lock(FLock);
  FNightMode = Value;
}

void TNKFTileManager::SetCacheBudget(uint32_t Bytes) {
  std::lock_guard<std::mutex> lock(FLock);
  FCacheBudget = Bytes;
}

TNKFTileManagerState TNKFTileManager::GetState() {
  const auto keys = [](const TTileList &list) {
    std::vector<TNKFTileKey> result;
    result.reserve(list.size());
    for (const auto &tile : list)
      result.push_back({tile->Chart, tile->TileIndex});
    return result;
  };
  std::lock_guard<std::mutex> lock(FLock);
  TNKFTileManagerState state;
  state.Cache = keys(FCache);
  state.LoadQueue = keys(FLoadQueue);
  state.Visible = keys(FVisible);
  state.CacheBytes = FCacheBytes;
  state.VisibleBytes = FVisibleBytes;
  state.Loading = FLoading;
  state.HasCurrentTile = FCurrentTile != nullptr;
  return state;
}

std::string TNKFTileManager::ErrorClass() {
  std::lock_guard<std::mutex> lock(FLock);
  return FErrorClass;
}

std::string TNKFTileManager::ErrorMessage() {
  std::lock_guard<std::mutex> lock(FLock);
  return FErrorMessage;
}

std::string TNKFTileManager::ErrorStackTrace() {
  std::lock_guard<std::mutex> lock(FLock);
  return FErrorStackTrace;
}

namespace {

// The process's manager while it exists. Constant-initialised and trivially
// destructible, so that it can still be read while the program's other
// statics are destroyed (a chart in static storage may outlive the manager).
std::atomic<TNKFTileManager *> TheManager{nullptr};

// Owns the process's manager; destroyed with the program's other statics.
class TTileManagerOwner {
public:
  // The loader may be dimming a tile until the manager is gone; creating the
  // night screen first makes it outlive the manager at the program's end.
  TTileManagerOwner() : FManager((GetNightScreen(), new TNKFTileManager())) { TheManager.store(FManager); }
  ~TTileManagerOwner() {
    TheManager.store(nullptr);
    try {
      delete FManager;
    } catch (const Exception &e) {
      // Nobody is left to catch a leftover-tile report at the program's end.
      std::fprintf(stderr, "%s: %s\n", e.ClassName(), e.Message().c_str());
    }
  }
  TTileManagerOwner(const TTileManagerOwner &) = delete;
  TTileManagerOwner &operator=(const TTileManagerOwner &) = delete;
  TNKFTileManager *Manager() const { return FManager; }

private:
  TNKFTileManager *FManager;
};

} // namespace

TNKFTileManager *GetTileManager() {
  static TTileManagerOwner owner;
  return owner.Manager();
}

TNKFTileManager *ExistingTileManager() { return TheManager.load(); }

void DecodeChartTile(TStream &Stream, const TNKFTileEntry &Entry, TBitmap32 &Bitmap) {
  Stream.Seek(Entry.ActiveOffset, TSeekOrigin::soBeginning);
  // A size beyond a 32-bit count must not wrap into a plausible one: it is
  // kept at the largest count, which the codec refuses by name.
  DecodeTile(Stream, Bitmap, true, static_cast<int32_t>(std::clamp<int64_t>(Entry.ActiveSize, 0, INT32_MAX)));
}

// Each load opens and closes the file; no handle is kept between tiles.
std::unique_ptr<TBitmap32> LoadChartTile(const std::string &FileName, const TNKFTileEntry &Entry, bool NightMode) {
  auto bitmap = std::make_unique<TBitmap32>();
  bitmap->SetResampler(TResamplerKind::rkNearest);
  bitmap->SetSize(NKF2TileSize, NKF2TileSize);
  TBufferedFileStream stream(FileName, fmOpenRead | fmShareDenyWrite, TileReadBufferSize);
  DecodeChartTile(stream, Entry, *bitmap);
  if (NightMode)
    GetNightScreen().ApplyToBitmap(*bitmap);
  return bitmap;
}

TNKFTileLoad PrepareChartTileLoad(const TNKFTile &Tile) {
  const TNKFChart &chart = *Tile.Chart;
  // The directory is not range-checked by the chart; a request beyond it is
  // a fault of whoever queued it and fails like any other load.
  if (Tile.TileIndex < 0 || static_cast<uint32_t>(Tile.TileIndex) >= chart.TileCount)
    throw ENKFChartError(Format("TNKFTileManager.LoadTile: Tile index %d out of range in ", Tile.TileIndex) +
                         chart.FileName);
  TNKFTileEntry entry;
  chart.GetTileEntry(static_cast<uint32_t>(Tile.TileIndex), entry);
  return [fileName = chart.FileName, entry](bool NightMode) { return LoadChartTile(fileName, entry, NightMode); };
}
