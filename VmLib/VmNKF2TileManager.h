// The process-wide tile manager: a loader thread that takes tile requests from
// a queue, reads and decodes each tile from its chart file, optionally dims it
// for night use, and files the result in the visible list (a view wants it on
// screen) or in the cache (prefetched), under a memory budget. Windows learn of
// new tiles and of progress through posted messages.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "OSThread.h"
#include "WindowPost.h"

class TBitmap32;
class TNKFChart;
class TStream;
struct TNKFTileEntry;

// Posted to each window that asked for visible tiles, when tiles have arrived.
constexpr uint32_t WM_TILESREADY = 0x2700;
// Posted to the progress window after every tile: wParam tiles done in the
// batch, lParam the batch total.
constexpr uint32_t WM_TILEPROGRESS = 0x2701;
// Posted to the end window when a tile's load failed (the tile is dropped and
// the loader goes on with the other requests) and when the loader thread
// ends: wParam the manager, whose error fields tell the last failure.
constexpr uint32_t WM_TILELOADERENDED = 0x2702;

// One tile request and, once loaded, its result. The manager owns the tiles
// in its lists; a tile's fields are guarded by the manager's lock.
class TNKFTile {
public:
  TNKFTile();
  ~TNKFTile();
  TNKFTile(const TNKFTile &) = delete;
  TNKFTile &operator=(const TNKFTile &) = delete;

  std::unique_ptr<TBitmap32> Bitmap;  // the decoded 256 x 256 tile, set by the loader
  TNKFChart *Chart = nullptr;         // nil once the chart went away during the load
  std::vector<TWindowHandle> Windows; // windows that asked for this tile
  bool Cancelled = false;             // the chart was destroyed while the tile was loading
  uint32_t Size = 0;                  // the tile's weight against the budget, in bytes
  int32_t Visible = 0;                // non-zero: wanted on screen; zero: prefetch
  int32_t TileIndex = 0;              // index in the chart's tile directory
};

// Turns one taken request into pixels. Run by the loader thread outside the
// lock, so it must not touch the tile or its chart: everything it needs was
// copied when it was made.
using TNKFTileLoad = std::function<std::unique_ptr<TBitmap32>(bool NightMode)>;
// Makes the load for a request. Run by the loader thread with the lock held,
// while the request's chart is known to be alive.
using TNKFTilePrepare = std::function<TNKFTileLoad(const TNKFTile &Tile)>;

// The default preparation: copies the chart's file name and the tile's
// directory entry; the load reads the active pair of the entry from the file,
// decodes it with alpha and dims it for night mode.
TNKFTileLoad PrepareChartTileLoad(const TNKFTile &Tile);

// Decodes the tile of Entry's active pair from a chart file's stream, with
// alpha, as the loader does; a size the codec cannot take is refused by the
// codec's own message. For tools that keep the file open across tiles.
void DecodeChartTile(TStream &Stream, const TNKFTileEntry &Entry, TBitmap32 &Bitmap);

// One tile of a chart file as the loader makes it: the active pair of Entry
// read from the file, decoded with alpha, dimmed in night mode. Raises for a
// file that cannot be opened or read and for bytes or a size the codec refuses.
std::unique_ptr<TBitmap32> LoadChartTile(const std::string &FileName, const TNKFTileEntry &Entry, bool NightMode);

// Identifies a tile in the manager's lists (for views and tests).
struct TNKFTileKey {
  TNKFChart *Chart;
  int32_t TileIndex;
  bool operator==(const TNKFTileKey &) const = default;
};

// A consistent view of the manager's lists and counters, taken under the lock.
struct TNKFTileManagerState {
  std::vector<TNKFTileKey> Cache; // oldest first
  std::vector<TNKFTileKey> LoadQueue;
  std::vector<TNKFTileKey> Visible;
  uint64_t CacheBytes = 0;
  uint64_t VisibleBytes = 0;
  bool Loading = false;
  bool HasCurrentTile = false;
};

class TNKFTileManager {
public:
  static constexpr uint32_t DefaultCacheBudget = 0x2000000; // 32 MiB
  static constexpr int32_t DefaultNotifyBatch = 100;
  static constexpr int32_t ProgressBatch = 50;
  static constexpr int IdlePollMilliseconds = 20;

  // Starts the loader thread. The manager must be created and destroyed on the
  // main thread. The second form lets a test replace how requests become pixels.
  TNKFTileManager();
  explicit TNKFTileManager(TNKFTilePrepare Prepare);
  // Stops the loader thread (dispatching messages sent to this thread while it
  // waits) and, unless the loader thread died of an exception, raises
  // EAssertionFailed when tiles are left in the visible list, the cache or the
  // load queue. Every tile is freed either way.
  ~TNKFTileManager() noexcept(false);
  TNKFTileManager(const TNKFTileManager &) = delete;
  TNKFTileManager &operator=(const TNKFTileManager &) = delete;

  // Called by a chart's destructor: a load in progress for the chart is
  // cancelled and detached from it, and every cached, queued and visible tile
  // of the chart is removed and freed.
  void RemoveTilesOfChart(TNKFChart *Chart);

  // View side.
  // Appends requests to the load queue, all at once, so the loader sees them
  // as one batch. Each request's Chart, Size and Visible must be set.
  void QueueTiles(std::vector<std::unique_ptr<TNKFTile>> Tiles);
  void QueueTile(std::unique_ptr<TNKFTile> Tile);
  // Removes and frees the chart's queued and visible tiles; its cached tiles
  // and a load in progress stay.
  void WithdrawTilesOfChart(TNKFChart *Chart);
  // Hands every tile of the visible list to the caller, oldest first.
  std::vector<std::unique_ptr<TNKFTile>> TakeVisibleTiles();
  // Hands the cached tile of the chart to the caller (a view about to show a
  // prefetched tile), or nullptr when the cache has none.
  std::unique_ptr<TNKFTile> TakeCachedTile(TNKFChart *Chart, int32_t TileIndex);
  // Files a loaded tile that a view no longer shows in the cache, as a
  // prefetched tile: within the budget, the oldest cached tiles making room;
  // dropped when it cannot fit or was never loaded.
  void KeepInCache(std::unique_ptr<TNKFTile> Tile);
  // The tiles whose load failed since the last call, oldest first: a view
  // marks them instead of waiting for them.
  std::vector<TNKFTileKey> TakeFailedTiles();
  void SetProgressWindow(TWindowHandle Window);
  void SetEndWindow(TWindowHandle Window);
  void SetNightMode(bool Value);
  void SetCacheBudget(uint32_t Bytes);
  TNKFTileManagerState GetState();

  // Asks the loader thread to end after the tile in hand; queued requests
  // stay queued (and count as leftovers at destruction).
  void Terminate();
  // Set once the loader thread has ended.
  bool Finished() const { return FFinished.load(); }
  // The last failure, of a tile's load or of the loader thread itself: the
  // exception's class name (empty when nothing failed), message and
  // stack-trace text (empty when no line information is available).
  std::string ErrorClass();
  std::string ErrorMessage();
  std::string ErrorStackTrace();

private:
  using TTileList = std::vector<std::unique_ptr<TNKFTile>>;

  void ThreadMain() noexcept;
  void LoaderLoop();
  bool TakeNextTile(int32_t &Done, int32_t &Total, TNKFTileLoad &Load, bool &NightMode);
  void FileLoadedTile(std::unique_ptr<TBitmap32> Bitmap, int32_t &Done, int32_t &Total, int32_t &SinceNotify);
  // In a handler: records the exception being handled as the last failure.
  void RecordFailure() noexcept;
  void RecordError(const char *ClassName, const std::string &Message);
  // With FLock held.
  void TellEndWindow();
  void CheckNoTilesLeft();

  // With FLock held.
  bool MakeRoom(uint64_t Size);
  void AddToCache(std::unique_ptr<TNKFTile> Tile);
  void AddToVisible(std::unique_ptr<TNKFTile> Tile);
  void DeleteFromCache(size_t Index);
  void AddNotifyWindow(TWindowHandle Window);
  void RemoveChartFrom(TTileList &List, uint64_t *Bytes, TNKFChart *Chart);

  const TNKFTilePrepare FPrepare;
  bool FLoading = false;
  std::unique_ptr<TNKFTile> FCurrentTile;
  std::string FErrorClass;
  TWindowHandle FEndWindow = 0;
  std::string FErrorMessage;
  std::string FErrorStackTrace;
  std::vector<TWindowHandle> FNotifyWindows;
  std::mutex FLock;
  std::condition_variable FWake; // a request was queued or a stop was asked for
  uint32_t FCacheBudget = DefaultCacheBudget;
  // Byte sums kept wider than a tile's Size, so that the budget test cannot wrap.
  uint64_t FVisibleBytes = 0;
  uint64_t FCacheBytes = 0;
  bool FNightMode = false;
  TWindowHandle FProgressWindow = 0;
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FTerminated{false};
  bool FLoaderDied = false; // set by the loader thread before it finishes
  TTileList FCache;
  TTileList FLoadQueue;
  TTileList FVisible;
  std::vector<TNKFTileKey> FFailed; // failed loads not yet taken by a view
  int32_t FNotifyBatch = DefaultNotifyBatch;
  uint32_t FThreadId = 0;
  // Last, so that it is stopped before any field the loader uses goes away.
  std::unique_ptr<TOSThread> FThread;
};

// The process's single manager, created (with its loader thread) on the first
// call and destroyed when the program ends.
TNKFTileManager *GetTileManager();
// The process's manager if it has been created and not yet destroyed, else
// nullptr; never creates it. For those who only need to withdraw from it,
// such as a chart going away (maybe after the manager, at the program's end).
TNKFTileManager *ExistingTileManager();
