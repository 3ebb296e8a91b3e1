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
  CreateCustom(ViewClassName, Args, WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CLIENTEDGE);
  const auto bar = [this](DWORD Style) {
    return CreateWindowExA(0, "SCROLLBAR", "", WS_CHILD | WS_VISIBLE | Style, 0, 0, 0, 0, Handle(), nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  };
  FHorzBar = bar(SBS_HORZ);
  FVertBar = bar(SBS_VERT);
  Resized();
}

TChartView::~TChartView() { ReleaseTiles(false); }

void TChartView::SetChart(TNKFChart *Chart) {
  ReleaseTiles(true);
  FWholeSet = false;
  FChart = Chart;
  if (FChart)
    FView.SetChart(FChart->Width, FChart->Height, FChart->Levels);
  FView.Fit();
  SetBudget();
  ViewChanged();
}

void TChartView::SetSet(std::vector<TNKFChart *> Charts, std::vector<std::string> Names) {
  ReleaseTiles(true);
  FSetCharts = std::move(Charts);
  FSetNames = std::move(Names);
  std::vector<TSetChartExtent> extents;
  for (TNKFChart *chart : FSetCharts) {
    TSetChartExtent extent;
    if (chart && SetChartExtent(*chart, extent))
      extents.push_back(extent);
  }
  FSetView.SetCharts(std::move(extents));
  FPlan.Forget();
  if (FWholeSet)
    ViewChanged();
}

void TChartView::ShowSet() {
  if (!FWholeSet)
    ReleaseTiles(true);
  FWholeSet = true;
  SetBudget();
  ViewChanged();
}

void TChartView::ReleaseChart() {
  ReleaseTiles(true);
  FChart = nullptr;
  FSetCharts.clear();
  FSetNames.clear();
  FPlan.Forget();
  FPlan.Build(FSetView, FSetCharts);
}

void TChartView::Invalidate() {
  FSurfaceValid = false;
  FDirty.clear();
  InvalidateRect(Handle(), nullptr, FALSE);
}

// A pan of the set view by whole pixels moves what the surface shows and
// redraws only what came into view, as long as the same charts are drawn
// from the same levels; anything else redraws it all.
void TChartView::ViewChanged() {
  if (FWholeSet) {
    std::vector<std::pair<int32_t, int32_t>> before;
    for (const TSetViewPlan::TChartPlan &chart : FPlan.Charts())
      before.push_back({chart.Chart, chart.Level});
    FPlan.Build(FSetView, FSetCharts);
    bool same = FSurfaceValid && FSurface.Width() == ClientWidth() && FSurface.Height() == ClientHeight() &&
                before.size() == FPlan.Charts().size();
    for (size_t i = 0; same && i < before.size(); ++i)
      same = before[i] == std::pair{FPlan.Charts()[i].Chart, FPlan.Charts()[i].Level};
    const int32_t sx = static_cast<int32_t>(FPendingShift.x), sy = static_cast<int32_t>(FPendingShift.y);
    FPendingShift = {};
    ScheduleScrollBars();
    UpdateTiles();
    if (same && (sx != 0 || sy != 0)) {
      // Areas still to draw from an earlier pan move with the picture.
      const int32_t w = ClientWidth(), h = ClientHeight();
      std::vector<TClientRect> dirty;
      for (TClientRect r : FDirty) {
        r = {std::max(r.Left - sx, 0), std::max(r.Top - sy, 0), std::min(r.Right - sx, w), std::min(r.Bottom - sy, h)};
        if (!r.Empty())
          dirty.push_back(r);
      }
      for (const TClientRect &r : ShiftSurface(FSurface, -sx, -sy))
        dirty.push_back(r);
      FDirty = std::move(dirty);
      InvalidateRect(Handle(), nullptr, FALSE);
    } else {
      Invalidate();
    }
    if (OnViewChanged)
      OnViewChanged();
    ReportCursor();
    return;
  }
  ScheduleScrollBars();
  UpdateTiles();
  Invalidate();
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
  Invalidate();
}

void TChartView::SetShowOutlines(bool Value) {
  FShowOutlines = Value;
  Invalidate();
}

void TChartView::SetNight(bool Value) {
  FNight = Value;
  Reload();
}

void TChartView::Reload() {
  ReleaseTiles(false);
  UpdateTiles();
  Invalidate();
}

void TChartView::ZoomSteps(int Steps, int ClientX, int ClientY) {
  if (ClientX < 0 || ClientY < 0 || ClientX >= ClientWidth() || ClientY >= ClientHeight()) {
    ZoomStepsAtCentre(Steps);
    return;
  }
  const TDoublePoint client = TChartViewport::ClientPixelCentre(ClientX, ClientY);
  if (FWholeSet)
    FSetView.ZoomSteps(Steps, client);
  else
    FView.ZoomSteps(Steps, client);
  ViewChanged();
}

void TChartView::ZoomStepsAtCentre(int Steps) {
  const TDoublePoint centre{ClientWidth() / 2.0, ClientHeight() / 2.0};
  if (FWholeSet)
    FSetView.ZoomSteps(Steps, centre);
  else
    FView.ZoomSteps(Steps, centre);
  ViewChanged();
}

void TChartView::Fit() {
  if (FWholeSet)
    FSetView.Fit();
  else
    FView.Fit();
  ViewChanged();
}

void TChartView::ScrollBy(int DX, int DY) {
  if (FWholeSet) {
    const double x = FSetView.OriginX(), y = FSetView.OriginY();
    FSetView.ScrollBy(DX, DY);
    FPendingShift.x += static_cast<LONG>(FSetView.OriginX() - x);
    FPendingShift.y += static_cast<LONG>(FSetView.OriginY() - y);
  } else {
    FView.ScrollBy(DX, DY);
  }
}

// ---------------------------------------------------------------------------
// Tiles

std::unique_ptr<TNKFTile> TChartView::Request(const TViewTileKey &Key, bool Visible) const {
  auto tile = std::make_unique<TNKFTile>();
  tile->Chart = Key.first;
  tile->TileIndex = Key.second;
  tile->Size = TileBytes;
  tile->Visible = Visible ? 1 : 0;
  if (Visible)
    tile->Windows.push_back(reinterpret_cast<TWindowHandle>(Handle()));
  return tile;
}

std::vector<TNKFChart *> TChartView::ShownCharts() const {
  std::vector<TNKFChart *> charts;
  if (!FWholeSet) {
    if (FChart)
      charts.push_back(FChart);
  } else {
    for (TNKFChart *chart : FSetCharts)
      if (chart)
        charts.push_back(chart);
  }
  return charts;
}

std::set<TViewTileKey> TChartView::ShownTiles() const {
  std::set<TViewTileKey> shown;
  if (!FWholeSet) {
    if (FChart)
      for (const TViewTile &tile : FView.VisibleTiles())
        shown.insert({FChart, tile.TileIndex});
  } else {
    for (const TSetTile &tile : FPlan.VisibleTiles())
      shown.insert({FSetCharts[static_cast<size_t>(tile.Chart)], tile.Tile.TileIndex});
  }
  return shown;
}

std::vector<TViewTileKey> TChartView::RingTiles() const {
  std::vector<TViewTileKey> ring;
  if (!FWholeSet) {
    if (FChart)
      for (const TViewTile &tile : FView.RingTiles())
        ring.push_back({FChart, tile.TileIndex});
  } else {
    for (const TSetTile &tile : FPlan.RingTiles())
      ring.push_back({FSetCharts[static_cast<size_t>(tile.Chart)], tile.Tile.TileIndex});
  }
  return ring;
}

// Asks for what the view now shows: held tiles it no longer shows go back to
// the cache, shown ones come from the cache when prefetched, the rest are
// queued. Requests queued for an earlier view are withdrawn first, so that a
// quick pan does not leave a long queue of tiles nobody looks at. The ring
// around the view is prefetched once the shown tiles are in: the loader tells
// the view only when its queue runs dry, so a ring queued with them would
// hold back the first screen.
void TChartView::UpdateTiles() {
  const std::vector<TNKFChart *> charts = ShownCharts();
  if (charts.empty())
    return;
  TilesReady(); // loaded ones first: withdrawing would drop them
  for (TNKFChart *chart : charts)
    Manager().WithdrawTilesOfChart(chart);
  FRequested.clear();

  const std::set<TViewTileKey> shown = ShownTiles();
  for (auto it = FTiles.begin(); it != FTiles.end();) {
    if (shown.count(it->first)) {
      ++it;
    } else {
      Manager().KeepInCache(std::move(it->second));
      it = FTiles.erase(it);
    }
  }

  std::vector<std::unique_ptr<TNKFTile>> requests;
  for (const TViewTileKey &key : shown) {
    if (FTiles.count(key) || FFailed.count(key))
      continue;
    if (auto cached = Manager().TakeCachedTile(key.first, key.second)) {
      FTiles[key] = std::move(cached);
      continue;
    }
    requests.push_back(Request(key, true));
    FRequested.insert(key);
  }
  if (requests.empty())
    PrefetchRing();
  else
    Manager().QueueTiles(std::move(requests));
}

void TChartView::PrefetchRing() {
  std::set<TViewTileKey> cached;
  for (const TNKFTileKey &key : Manager().GetState().Cache)
    cached.insert({key.Chart, key.TileIndex});
  std::vector<std::unique_ptr<TNKFTile>> requests;
  for (const TViewTileKey &key : RingTiles())
    if (!cached.count(key) && !FTiles.count(key) && !FFailed.count(key))
      requests.push_back(Request(key, false));
  if (!requests.empty())
    Manager().QueueTiles(std::move(requests));
}

// Every chart the view may have asked for, in either mode: a switch of mode
// leaves no request of the other behind.
void TChartView::ReleaseTiles(bool KeepCached) {
  TNKFTileManager *manager = ExistingTileManager();
  if (!manager)
    return;
  for (auto &tile : manager->TakeVisibleTiles())
    if (KeepCached)
      manager->KeepInCache(std::move(tile));
  std::set<TNKFChart *> charts(FSetCharts.begin(), FSetCharts.end());
  charts.insert(FChart);
  charts.erase(nullptr);
  for (TNKFChart *chart : charts)
    manager->WithdrawTilesOfChart(chart);
  if (KeepCached)
    for (auto &[key, tile] : FTiles)
      manager->KeepInCache(std::move(tile));
  FTiles.clear();
  FRequested.clear();
  FFailed.clear();
}

void TChartView::TilesReady() {
  const std::set<TViewTileKey> shown = ShownTiles();
  bool arrived = false;
  for (auto &tile : Manager().TakeVisibleTiles()) {
    const TViewTileKey key{tile->Chart, tile->TileIndex};
    if (tile->Bitmap && shown.count(key) && !FTiles.count(key)) {
      FTiles[key] = std::move(tile);
      FRequested.erase(key);
      arrived = true;
    } else {
      Manager().KeepInCache(std::move(tile));
    }
  }
  if (arrived) {
    Invalidate();
    if (FRequested.empty())
      PrefetchRing();
  }
}

void TChartView::TilesFailed() {
  const std::vector<TNKFChart *> charts = ShownCharts();
  bool marked = false;
  for (const TNKFTileKey &failed : Manager().TakeFailedTiles())
    if (std::find(charts.begin(), charts.end(), failed.Chart) != charts.end()) {
      const TViewTileKey key{failed.Chart, failed.TileIndex};
      FFailed.insert(key);
      FRequested.erase(key);
      marked = true;
    }
  if (marked) {
    Invalidate();
    if (FRequested.empty())
      PrefetchRing();
  }
}

TTileState TChartView::TileOf(const TViewTileKey &Key, const TBitmap32 *&Bitmap) const {
  if (const auto found = FTiles.find(Key); found != FTiles.end()) {
    Bitmap = found->second->Bitmap.get();
    return TTileState::Loaded;
  }
  return FFailed.count(Key) ? TTileState::Failed : TTileState::Pending;
}

// ---------------------------------------------------------------------------
// Painting and input

void TChartView::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(Handle(), &ps);
  const int width = ClientWidth(), height = ClientHeight();
  if (width > 0 && height > 0) {
    if (FSurface.Width() != width || FSurface.Height() != height)
      FSurface.SetSizeForOverwrite(width, height);
    const TViewColors colors = FNight ? NightViewColors(GetNightScreen()) : DayViewColors();
    if (FWholeSet) {
      const TSetTileSource tiles = [this](int32_t Chart, int32_t Index, const TBitmap32 *&Bitmap) {
        return TileOf({FSetCharts[static_cast<size_t>(Chart)], Index}, Bitmap);
      };
      if (FSurfaceValid) {
        for (const TClientRect &r : FDirty)
          FSetRenderer.Render(FPlan, tiles, colors, TSetSampling::Bilinear, FSurface, &r);
      } else {
        FSetRenderer.Render(FPlan, tiles, colors, TSetSampling::Bilinear, FSurface);
      }
      if (FShowOutlines)
        FSetRenderer.DrawOutlines(FPlan, colors.Border, FSurface);
    } else if (FChart) {
      const TPolygon *border = FShowBorder && FChart->Border.Count() >= 3 ? &FChart->Border : nullptr;
      FRenderer.Render(
          FView, [this](int32_t Index, const TBitmap32 *&Bitmap) { return TileOf({FChart, Index}, Bitmap); }, border,
          colors, FSurface);
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
    FSurfaceValid = true;
    FDirty.clear();
    if (FWholeSet && FShowOutlines)
      PaintOutlineNames(dc);
  }
  FillRect(dc, &FCorner, GetSysColorBrush(COLOR_BTNFACE));
  EndPaint(Handle(), &ps);
}

// Each outline's chart named inside its top-left corner, in the outline's
// colour on the window's background colour (both dimmed at night), so that
// the name reads over any chart.
void TChartView::PaintOutlineNames(HDC DC) {
  const TViewColors colors = FNight ? NightViewColors(GetNightScreen()) : DayViewColors();
  const auto ref = [](TColor32 C) { return RGB(C >> 16 & 0xFF, C >> 8 & 0xFF, C & 0xFF); };
  HGDIOBJ oldFont = SelectObject(DC, reinterpret_cast<HGDIOBJ>(SendMessageA(GetParent(Handle()), WM_GETFONT, 0, 0)));
  SetTextColor(DC, ref(colors.Border));
  SetBkColor(DC, GetSysColor(COLOR_WINDOW));
  SetBkMode(DC, OPAQUE);
  for (const TSetViewPlan::TOutline &outline : FPlan.Outlines()) {
    TDoublePoint point{};
    if (static_cast<size_t>(outline.Chart) >= FSetNames.size() ||
        !OutlineLabelPoint(outline.Outline, ClientWidth(), ClientHeight(), point))
      continue;
    const std::string &name = FSetNames[static_cast<size_t>(outline.Chart)];
    // On the outline's inner side: a chart whose upper edge is out of view
    // is labelled at a lower corner, above the line; always wholly in view.
    double cy = 0;
    for (const TDoublePoint &p : outline.Outline)
      cy += p.Y;
    cy /= static_cast<double>(outline.Outline.size());
    SIZE size{};
    GetTextExtentPoint32A(DC, name.c_str(), static_cast<int>(name.size()), &size);
    const int x = std::clamp(static_cast<int>(point.X) + 3, 0, std::max(ClientWidth() - static_cast<int>(size.cx), 0));
    const int y = std::clamp(static_cast<int>(point.Y) + (cy < point.Y ? -static_cast<int>(size.cy) - 4 : 2), 0,
                             std::max(ClientHeight() - static_cast<int>(size.cy), 0));
    TextOutA(DC, x, y, name.c_str(), static_cast<int>(name.size()));
  }
  SelectObject(DC, oldFont);
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

void TChartView::SetBudget() {
  GetTileManager()->SetCacheBudget(FWholeSet ? SetViewBudget(ClientWidth(), ClientHeight())
                                             : BudgetFor(ClientWidth(), ClientHeight()));
}

void TChartView::Resized() {
  RECT r{};
  GetClientRect(Handle(), &r);
  PlaceScrollBars(r.right, r.bottom);
  FView.SetClientSize(FCorner.left, FCorner.top);
  FSetView.SetClientSize(FCorner.left, FCorner.top);
  SetBudget();
  ViewChanged();
}

void TChartView::PlaceScrollBars(int Width, int Height) {
  const int across = std::min(GetSystemMetrics(SM_CXVSCROLL), Width);
  const int down = std::min(GetSystemMetrics(SM_CYHSCROLL), Height);
  FCorner = {Width - across, Height - down, Width, Height};
  MoveWindow(FHorzBar, 0, FCorner.top, FCorner.left, down, TRUE);
  MoveWindow(FVertBar, FCorner.left, 0, across, FCorner.top, TRUE);
}

// Setting a scroll bar costs Wine some 15 milliseconds (the window's frame is
// worked out anew), as much as painting a screen of tiles: the bars follow
// the view on a timer, whose message comes only after the view has painted,
// once for any number of changes in between, and only when they changed.
void TChartView::ScheduleScrollBars() { SetTimer(Handle(), ScrollBarTimer, USER_TIMER_MINIMUM, nullptr); }

// The set view scrolls as far as its centre stays over the set: its content
// is the set's extent at the zoom with half a client on each side.
TChartView::TScrollState TChartView::ScrollState() const {
  if (!FWholeSet)
    return {FView.ContentWidth(), FView.PageWidth(), FView.ScrollX(),
            FView.ContentHeight(), FView.PageHeight(), FView.ScrollY()};
  const std::vector<TSetChartExtent> &charts = FSetView.Charts();
  const int width = ClientWidth(), height = ClientHeight();
  if (charts.empty())
    return {0, width, 0, 0, height, 0};
  const auto [left, bottom, right, top] = FSetView.SetExtent();
  const double m = FSetView.MetresPerPixel();
  const auto whole = [](double V) { return static_cast<int>(std::lround(V)); };
  return {whole((right - left) / m) + width,  width,  whole(FSetView.OriginX() - (left / m - width / 2.0)),
          whole((top - bottom) / m) + height, height, whole(FSetView.OriginY() - (-top / m - height / 2.0))};
}

void TChartView::UpdateScrollBars() {
  KillTimer(Handle(), ScrollBarTimer);
  const TScrollState now = ScrollState();
  if (now == FScrollState)
    return;
  FScrollState = now;
  const auto set = [](HWND Bar, int Content, int Page, int Position) {
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    info.nMin = 0;
    info.nMax = std::max(Content - 1, 0);
    info.nPage = static_cast<UINT>(std::max(Page, 0));
    info.nPos = Position;
    SetScrollInfo(Bar, SB_CTL, &info, TRUE);
  };
  set(FHorzBar, now.ContentWidth, now.PageWidth, now.ScrollX);
  set(FVertBar, now.ContentHeight, now.PageHeight, now.ScrollY);
}

// The arrows and the page areas move the chart by client pixels, so a step
// is the same on any chart; only the thumb and the ends go by the bar's
// position, in the view's scroll units.
void TChartView::Scrolled(int Bar, int Code) {
  const bool horizontal = Bar == SB_HORZ;
  const TScrollState state = ScrollState();
  const double page = horizontal ? ClientWidth() : ClientHeight();
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
    GetScrollInfo(horizontal ? FHorzBar : FVertBar, SB_CTL, &info);
    position = info.nTrackPos;
    break;
  }
  case SB_TOP:
    position = 0;
    break;
  case SB_BOTTOM:
    position = horizontal ? state.ContentWidth : state.ContentHeight;
    break;
  default:
    return;
  }
  if (FWholeSet) {
    // The set view's scroll units are its client pixels.
    if (position >= 0) {
      const int content = horizontal ? state.ContentWidth : state.ContentHeight;
      const int pageUnits = horizontal ? state.PageWidth : state.PageHeight;
      step = std::clamp(position, 0, std::max(content - pageUnits, 0)) - (horizontal ? state.ScrollX : state.ScrollY);
    }
    const int delta = static_cast<int>(std::lround(step));
    ScrollBy(horizontal ? delta : 0, horizontal ? 0 : delta);
  } else if (position < 0) {
    FView.ScrollBy(horizontal ? step : 0, horizontal ? 0 : step);
  } else if (horizontal) {
    FView.ScrollToX(position);
  } else {
    FView.ScrollToY(position);
  }
  ViewChanged();
}

void TChartView::KeyDown(WPARAM Key) {
  const int page = std::max(ClientHeight() - ArrowStep, ArrowStep);
  switch (Key) {
  case VK_LEFT:
    ScrollBy(-ArrowStep, 0);
    break;
  case VK_RIGHT:
    ScrollBy(ArrowStep, 0);
    break;
  case VK_UP:
    ScrollBy(0, -ArrowStep);
    break;
  case VK_DOWN:
    ScrollBy(0, ArrowStep);
    break;
  case VK_PRIOR:
    ScrollBy(0, -page);
    break;
  case VK_NEXT:
    ScrollBy(0, page);
    break;
  case VK_HOME:
    Fit();
    return;
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
    ScrollBy(FDragFrom.x - X, FDragFrom.y - Y);
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
    } else if (OnChar && WParam >= 0x20 && WParam < 0x100) {
      OnChar(static_cast<char>(WParam));
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
      OnContextMenu(ClientWidth() / 2, ClientHeight() / 2);
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
