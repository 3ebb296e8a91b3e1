#include "ChartView.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "VmNKFCharts.h"
#include "VmNightscreen.h"

namespace {

constexpr char ViewClassName[] = "TChartView";

TNKFTileManager &Manager() { return *GetTileManager(); }

} // namespace

TChartView::TChartView(const TControlArgs &Args) {
  CreateCustom(ViewClassName, Args, WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | WS_CLIPSIBLINGS, WS_EX_CLIENTEDGE);
  Resized();
}

TChartView::~TChartView() { ReleaseTiles(false); }

void TChartView::SetChart(TNKFChart *Chart) {
  ReleaseChart();
  FChart = Chart;
  if (FChart)
    FView.SetChart(FChart->Width, FChart->Height, FChart->Levels);
  FView.Fit();
  ViewChanged();
}

void TChartView::ReleaseChart() {
  ReleaseTiles(true);
  FChart = nullptr;
}

void TChartView::ViewChanged() {
  ScheduleScrollBars();
  UpdateTiles();
  InvalidateRect(Handle(), nullptr, FALSE);
  if (OnViewChanged)
    OnViewChanged();
  // A key, the wheel or a scroll bar moves the chart under a cursor that
  // rests: no mouse message comes, so the readout is brought up to date here.
  ReportCursor();
}

void TChartView::ReportCursor() {
  if (OnCursor && FCursorOver)
    OnCursor(&FCursorAt);
}

void TChartView::SetShowBorder(bool Value) {
  FShowBorder = Value;
  InvalidateRect(Handle(), nullptr, FALSE);
}

void TChartView::SetNight(bool Value) {
  FNight = Value;
  Reload();
}

void TChartView::Reload() {
  ReleaseTiles(false);
  UpdateTiles();
  InvalidateRect(Handle(), nullptr, FALSE);
}

void TChartView::ZoomSteps(int Steps, int ClientX, int ClientY) {
  if (ClientX < 0 || ClientY < 0 || ClientX >= FView.ClientWidth() || ClientY >= FView.ClientHeight()) {
    ZoomStepsAtCentre(Steps);
    return;
  }
  FView.ZoomSteps(Steps, TChartViewport::ClientPixelCentre(ClientX, ClientY));
  ViewChanged();
}

void TChartView::ZoomStepsAtCentre(int Steps) {
  FView.ZoomSteps(Steps, {FView.ClientWidth() / 2.0, FView.ClientHeight() / 2.0});
  ViewChanged();
}

void TChartView::Fit() {
  FView.Fit();
  ViewChanged();
}

// ---------------------------------------------------------------------------
// Tiles

std::unique_ptr<TNKFTile> TChartView::Request(int32_t TileIndex, bool Visible) const {
  auto tile = std::make_unique<TNKFTile>();
  tile->Chart = FChart;
  tile->TileIndex = TileIndex;
  tile->Size = TileBytes;
  tile->Visible = Visible ? 1 : 0;
  if (Visible)
    tile->Windows.push_back(reinterpret_cast<TWindowHandle>(Handle()));
  return tile;
}

// Asks for what the view now shows: held tiles it no longer shows go back to
// the cache, shown ones come from the cache when prefetched, the rest are
// queued. Requests queued for an earlier view are withdrawn first, so that a
// quick pan does not leave a long queue of tiles nobody looks at. The ring
// around the view is prefetched once the shown tiles are in: the loader tells
// the view only when its queue runs dry, so a ring queued with them would
// hold back the first screen.
void TChartView::UpdateTiles() {
  if (!FChart)
    return;
  TilesReady(); // loaded ones first: withdrawing would drop them
  Manager().WithdrawTilesOfChart(FChart);
  FRequested.clear();

  const std::set<int32_t> shown = ShownTiles();
  for (auto it = FTiles.begin(); it != FTiles.end();) {
    if (shown.count(it->first)) {
      ++it;
    } else {
      Manager().KeepInCache(std::move(it->second));
      it = FTiles.erase(it);
    }
  }

  std::vector<std::unique_ptr<TNKFTile>> requests;
  for (int32_t index : shown) {
    if (FTiles.count(index) || FFailed.count(index))
      continue;
    if (auto cached = Manager().TakeCachedTile(FChart, index)) {
      FTiles[index] = std::move(cached);
      continue;
    }
    requests.push_back(Request(index, true));
    FRequested.insert(index);
  }
  if (requests.empty())
    PrefetchRing();
  else
    Manager().QueueTiles(std::move(requests));
}

void TChartView::PrefetchRing() {
  std::set<int32_t> cached;
  for (const TNKFTileKey &key : Manager().GetState().Cache)
    if (key.Chart == FChart)
      cached.insert(key.TileIndex);
  std::vector<std::unique_ptr<TNKFTile>> requests;
  for (const TViewTile &tile : FView.RingTiles())
    if (!cached.count(tile.TileIndex) && !FTiles.count(tile.TileIndex) && !FFailed.count(tile.TileIndex))
      requests.push_back(Request(tile.TileIndex, false));
  if (!requests.empty())
    Manager().QueueTiles(std::move(requests));
}

void TChartView::ReleaseTiles(bool KeepCached) {
  if (!FChart)
    return;
  TNKFTileManager *manager = ExistingTileManager();
  if (!manager)
    return;
  for (auto &tile : manager->TakeVisibleTiles())
    if (KeepCached)
      manager->KeepInCache(std::move(tile));
  manager->WithdrawTilesOfChart(FChart);
  if (KeepCached)
    for (auto &[index, tile] : FTiles)
      manager->KeepInCache(std::move(tile));
  FTiles.clear();
  FRequested.clear();
  FFailed.clear();
}

std::set<int32_t> TChartView::ShownTiles() const {
  std::set<int32_t> shown;
  for (const TViewTile &tile : FView.VisibleTiles())
    shown.insert(tile.TileIndex);
  return shown;
}

void TChartView::TilesReady() {
  const std::set<int32_t> shown = ShownTiles();
  bool arrived = false;
  for (auto &tile : Manager().TakeVisibleTiles()) {
    const int32_t index = tile->TileIndex;
    if (FChart && tile->Chart == FChart && tile->Bitmap && shown.count(index) && !FTiles.count(index)) {
      FTiles[index] = std::move(tile);
      FRequested.erase(index);
      arrived = true;
    } else {
      Manager().KeepInCache(std::move(tile));
    }
  }
  if (arrived) {
    InvalidateRect(Handle(), nullptr, FALSE);
    if (FRequested.empty())
      PrefetchRing();
  }
}

void TChartView::TilesFailed() {
  bool marked = false;
  for (const TNKFTileKey &key : Manager().TakeFailedTiles())
    if (FChart && key.Chart == FChart) {
      FFailed.insert(key.TileIndex);
      FRequested.erase(key.TileIndex);
      marked = true;
    }
  if (marked) {
    InvalidateRect(Handle(), nullptr, FALSE);
    if (FRequested.empty())
      PrefetchRing();
  }
}

TTileState TChartView::TileOf(int32_t TileIndex, const TBitmap32 *&Bitmap) const {
  if (const auto found = FTiles.find(TileIndex); found != FTiles.end()) {
    Bitmap = found->second->Bitmap.get();
    return TTileState::Loaded;
  }
  return FFailed.count(TileIndex) ? TTileState::Failed : TTileState::Pending;
}

// ---------------------------------------------------------------------------
// Painting and input

void TChartView::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(Handle(), &ps);
  const int width = FView.ClientWidth(), height = FView.ClientHeight();
  if (width > 0 && height > 0) {
    if (FSurface.Width() != width || FSurface.Height() != height)
      FSurface.SetSizeForOverwrite(width, height);
    const TViewColors colors = FNight ? NightViewColors(GetNightScreen()) : DayViewColors();
    if (FChart) {
      const TPolygon *border = FShowBorder && FChart->Border.Count() >= 3 ? &FChart->Border : nullptr;
      FRenderer.Render(
          FView, [this](int32_t Index, const TBitmap32 *&Bitmap) { return TileOf(Index, Bitmap); }, border, colors,
          FSurface);
    } else {
      FSurface.Clear(colors.Background);
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down, as the surface's rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                      static_cast<UINT>(height), FSurface.Bits(), &info, DIB_RGB_COLORS);
  }
  EndPaint(Handle(), &ps);
}

// The manager never evicts a visible tile: its budget must hold the most a
// view of this size can show at once (a level drawn at just over half its
// size, plus the prefetched ring) twice over, or the prefetched tiles would
// push each other out before they are shown.
uint32_t TChartView::BudgetFor(int Width, int Height) {
  const uint64_t columns = static_cast<uint64_t>(std::max(Width, 0)) / (NKFTileSize / 2) + 4;
  const uint64_t rows = static_cast<uint64_t>(std::max(Height, 0)) / (NKFTileSize / 2) + 4;
  const uint64_t bytes = 2 * columns * rows * TileBytes;
  return static_cast<uint32_t>(std::clamp<uint64_t>(bytes, TNKFTileManager::DefaultCacheBudget, 0x40000000));
}

void TChartView::Resized() {
  RECT r{};
  GetClientRect(Handle(), &r);
  FView.SetClientSize(r.right, r.bottom);
  GetTileManager()->SetCacheBudget(BudgetFor(r.right, r.bottom));
  ViewChanged();
}

// Setting a scroll bar costs Wine some 15 milliseconds (the window's frame is
// worked out anew), as much as painting a screen of tiles: the bars follow
// the view on a timer, whose message comes only after the view has painted,
// once for any number of changes in between, and only when they changed.
void TChartView::ScheduleScrollBars() { SetTimer(Handle(), ScrollBarTimer, USER_TIMER_MINIMUM, nullptr); }

void TChartView::UpdateScrollBars() {
  KillTimer(Handle(), ScrollBarTimer);
  const TScrollState now{FView.ContentWidth(), FView.PageWidth(), FView.ScrollX(),
                         FView.ContentHeight(), FView.PageHeight(), FView.ScrollY()};
  if (now == FScrollState)
    return;
  FScrollState = now;
  const auto set = [this](int Bar, int Content, int Page, int Position) {
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    info.nMin = 0;
    info.nMax = std::max(Content - 1, 0);
    info.nPage = static_cast<UINT>(std::max(Page, 0));
    info.nPos = Position;
    SetScrollInfo(Handle(), Bar, &info, TRUE);
  };
  set(SB_HORZ, now.ContentWidth, now.PageWidth, now.ScrollX);
  set(SB_VERT, now.ContentHeight, now.PageHeight, now.ScrollY);
}

// The arrows and the page areas move the chart by client pixels, so a step
// is the same on any chart; only the thumb and the ends go by the bar's
// position, in the view's scroll units.
void TChartView::Scrolled(int Bar, int Code) {
  const bool horizontal = Bar == SB_HORZ;
  const double page = horizontal ? FView.ClientWidth() : FView.ClientHeight();
  double step = 0;
  int position = -1;
  switch (Code) {
  case SB_LINEUP:
    step = -ArrowStep;
    break;
  case SB_LINEDOWN:
    step = ArrowStep;
    break;
  case SB_PAGEUP:
    step = -page;
    break;
  case SB_PAGEDOWN:
    step = page;
    break;
  case SB_THUMBTRACK:
  case SB_THUMBPOSITION: {
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_TRACKPOS;
    GetScrollInfo(Handle(), Bar, &info);
    position = info.nTrackPos;
    break;
  }
  case SB_TOP:
    position = 0;
    break;
  case SB_BOTTOM:
    position = horizontal ? FView.ContentWidth() : FView.ContentHeight();
    break;
  default:
    return;
  }
  if (position < 0)
    FView.ScrollBy(horizontal ? step : 0, horizontal ? 0 : step);
  else if (horizontal)
    FView.ScrollToX(position);
  else
    FView.ScrollToY(position);
  ViewChanged();
}

void TChartView::KeyDown(WPARAM Key) {
  const int page = std::max(FView.ClientHeight() - ArrowStep, ArrowStep);
  switch (Key) {
  case VK_LEFT:
    FView.ScrollBy(-ArrowStep, 0);
    break;
  case VK_RIGHT:
    FView.ScrollBy(ArrowStep, 0);
    break;
  case VK_UP:
    FView.ScrollBy(0, -ArrowStep);
    break;
  case VK_DOWN:
    FView.ScrollBy(0, ArrowStep);
    break;
  case VK_PRIOR:
    FView.ScrollBy(0, -page);
    break;
  case VK_NEXT:
    FView.ScrollBy(0, page);
    break;
  case VK_HOME:
    FView.Fit();
    break;
  default:
    return;
  }
  ViewChanged();
}

void TChartView::MouseMoved(int X, int Y) {
  if (!FTracking) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Handle(), 0};
    FTracking = TrackMouseEvent(&track) != FALSE;
  }
  FCursorOver = true;
  FCursorAt = {X, Y};
  if (FDragging) {
    FView.ScrollBy(FDragFrom.x - X, FDragFrom.y - Y);
    FDragFrom = {X, Y};
    ViewChanged(); // which reports the cursor
  } else {
    ReportCursor();
  }
}

LRESULT TChartView::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
  case WM_PAINT:
    Paint();
    return 0;
  case WM_ERASEBKGND:
    return 1;
  case WM_SIZE:
    Resized();
    return 0;
  case WM_GETDLGCODE:
    return DLGC_WANTARROWS | DLGC_WANTCHARS;
  case WM_HSCROLL:
    Scrolled(SB_HORZ, LOWORD(WParam));
    return 0;
  case WM_VSCROLL:
    Scrolled(SB_VERT, LOWORD(WParam));
    return 0;
  case WM_KEYDOWN:
    KeyDown(WParam);
    return 0;
  case WM_CHAR: {
    const int steps = WParam == '+' || WParam == '=' ? 1 : WParam == '-' || WParam == '_' ? -1 : 0;
    if (steps != 0) {
      POINT p{};
      GetCursorPos(&p);
      ScreenToClient(Handle(), &p);
      ZoomSteps(steps, p.x, p.y);
    }
    return 0;
  }
  case WM_MOUSEWHEEL: {
    POINT p{GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
    ScreenToClient(Handle(), &p);
    const int steps = GET_WHEEL_DELTA_WPARAM(WParam) / WHEEL_DELTA;
    if (steps != 0)
      ZoomSteps(steps, p.x, p.y);
    return 0;
  }
  case WM_LBUTTONDOWN:
    SetFocus();
    SetCapture(Handle());
    FDragging = true;
    FDragFrom = {GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)};
    return 0;
  case WM_LBUTTONUP:
  case WM_CAPTURECHANGED:
    if (FDragging) {
      FDragging = false;
      if (Msg == WM_LBUTTONUP)
        ReleaseCapture();
    }
    return 0;
  case WM_MOUSEMOVE:
    MouseMoved(GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam));
    return 0;
  case WM_MOUSELEAVE:
    FTracking = false;
    FCursorOver = false;
    if (OnCursor)
      OnCursor(nullptr);
    return 0;
  case WM_RBUTTONDOWN:
    SetFocus();
    return 0;
  case WM_RBUTTONUP:
    if (OnContextMenu)
      OnContextMenu(GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam));
    return 0;
  case WM_CONTEXTMENU:
    // From the keyboard (no position): the middle of the view.
    if (LParam == -1 && OnContextMenu)
      OnContextMenu(FView.ClientWidth() / 2, FView.ClientHeight() / 2);
    return 0;
  case WM_TILESREADY:
    TilesReady();
    return 0;
  case WM_TIMER:
    if (WParam == ScrollBarTimer) {
      UpdateScrollBars();
      return 0;
    }
    break;
  }
  return TCustomControl::WndProc(Msg, WParam, LParam);
}
