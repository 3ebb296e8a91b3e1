// The chart view: one chart, or the whole set as one Mercator chart, drawn
// through the tile manager, with scroll bars, dragging, the keys and the mouse
// wheel to move and zoom. Windows only.
//
// The two are modes of one control rather than two controls: they share all
// that makes a view a view (the tile requests and their messages, the
// prefetched ring, the scroll bars, dragging, keys and wheel, night colours)
// and differ only in their document (TChartViewport for one chart, TSetViewport
// with its plan for the set) and in the renderer that paints it.
//
// The scroll bars are controls of the view's own, along its right and lower
// edges, not the window's frame bars: Wine draws frame bars in its theme
// whatever the program asks, and at night they would stay light beside the
// dimmed chart. The view's client pixels (the viewports') are those left of
// and above them.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ChartRenderer.h"
#include "ChartViewport.h"
#include "Controls.h"
#include "SetRenderer.h"
#include "SetViewPlan.h"
#include "SetViewport.h"
#include "VmGraphics.h"
#include "VmNKF2TileManager.h"

class TNKFChart;

// A tile of a chart shown: the chart and the tile's number in its directory.
using TViewTileKey = std::pair<TNKFChart *, int32_t>;

class TChartView : public TCustomControl {
public:
  // A tile of 256 x 256 pixels of 32 bits, as the loader makes it.
  static constexpr uint32_t TileBytes = NKFTileSize * NKFTileSize * 4;
  static constexpr int ArrowStep = 32; // pixels an arrow key scrolls

  explicit TChartView(const TControlArgs &Args);
  // The tile manager's budget for a one-chart view of this client size.
  static uint32_t BudgetFor(int Width, int Height);
  ~TChartView() override;

  // One chart: shows the chart (nullptr: none) as a whole; its tiles are
  // asked for.
  void SetChart(TNKFChart *Chart);
  TNKFChart *Chart() const { return FWholeSet ? nullptr : FChart; }
  // The set, in its list order (null: a chart that cannot be shown), with
  // the names its outlines are labelled with; the set view then shows it
  // whole when next shown.
  void SetSet(std::vector<TNKFChart *> Charts, std::vector<std::string> Names);
  const std::vector<TNKFChart *> &SetCharts() const { return FSetCharts; }
  // Shows the set at the set view's place (SetView(), changed beforehand
  // as the caller likes).
  void ShowSet();
  bool WholeSet() const { return FWholeSet; }
  // Lets go of the tiles before the charts are destroyed or closed.
  void ReleaseChart();

  const TChartViewport &View() const { return FView; }
  TChartViewport &View() { return FView; }
  const TSetViewport &SetView() const { return FSetView; }
  TSetViewport &SetView() { return FSetView; }
  // The set view's plan for where it stands (after ViewChanged).
  const TSetViewPlan &Plan() const { return FPlan; }
  // Call after changing a view from outside: plan, scroll bars, tiles,
  // repaint and the readout of a cursor resting on the view.
  void ViewChanged();

  void SetShowBorder(bool Value);
  bool ShowBorder() const { return FShowBorder; }
  void SetShowOutlines(bool Value);
  bool ShowOutlines() const { return FShowOutlines; }
  void SetNight(bool Value);
  // Drops every tile and asks for them anew (night colours came or went).
  void Reload();

  // Zoom steps about a client point; about the centre when the point is outside.
  void ZoomSteps(int Steps, int ClientX, int ClientY);
  void ZoomStepsAtCentre(int Steps);
  void Fit();

  // The loader's messages, which the form passes on.
  void TilesReady();
  void TilesFailed();

  // The tiles the view shows now, the ones it holds, and the ones it marks
  // as failed (for tests).
  std::set<TViewTileKey> ShownTiles() const;
  size_t HeldTiles() const { return FTiles.size(); }
  bool TileFailed(const TViewTileKey &Key) const { return FFailed.count(Key) != 0; }
  bool TileFailed(int32_t TileIndex) const { return TileFailed({FChart, TileIndex}); }

  // The cursor's client pixel when it moved over the view or the view moved
  // under it, nullptr when it left the view.
  std::function<void(const POINT *ClientPixel)> OnCursor;
  // A right click at a client pixel.
  std::function<void(int X, int Y)> OnContextMenu;
  // The view's place or zoom changed.
  std::function<void()> OnViewChanged;
  // A character typed in the view that it has no use for itself.
  std::function<void(char C)> OnChar;

protected:
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  // The surface must be drawn anew (not merely shifted) at the next paint.
  void Invalidate();
  void Paint();
  void PaintOutlineNames(HDC DC);
  void Resized();
  void SetBudget();
  void PlaceScrollBars(int Width, int Height);
  void ScheduleScrollBars();
  void UpdateScrollBars();
  static constexpr UINT_PTR ScrollBarTimer = 1;
  void Scrolled(int Bar, int Code);
  void ScrollBy(int DX, int DY);
  void KeyDown(WPARAM Key);
  void MouseMoved(int X, int Y);
  int ClientWidth() const { return FView.ClientWidth(); }
  int ClientHeight() const { return FView.ClientHeight(); }
  // Tells OnCursor where the cursor is, if over the view.
  void ReportCursor();

  // The charts whose tiles the view may hold in its mode.
  std::vector<TNKFChart *> ShownCharts() const;
  std::vector<TViewTileKey> RingTiles() const;
  void UpdateTiles();
  void PrefetchRing();
  void ReleaseTiles(bool KeepCached);
  TTileState TileOf(const TViewTileKey &Key, const TBitmap32 *&Bitmap) const;
  std::unique_ptr<TNKFTile> Request(const TViewTileKey &Key, bool Visible) const;

  bool FWholeSet = false;
  TNKFChart *FChart = nullptr;
  TChartViewport FView;
  TChartRenderer FRenderer;
  std::vector<TNKFChart *> FSetCharts;
  std::vector<std::string> FSetNames;
  TSetViewport FSetView;
  TSetViewPlan FPlan;
  TSetRenderer FSetRenderer;
  TBitmap32 FSurface;
  bool FSurfaceValid = false;      // shows the plan, apart from FDirty
  std::vector<TClientRect> FDirty; // came into view by a pan, to draw
  POINT FPendingShift{};           // the set view's pan since the last ViewChanged
  std::map<TViewTileKey, std::unique_ptr<TNKFTile>> FTiles; // the loaded tiles on screen
  std::set<TViewTileKey> FRequested;                        // asked for as visible, not yet here
  std::set<TViewTileKey> FFailed;
  bool FShowBorder = false;
  bool FShowOutlines = false;
  bool FNight = false;
  bool FDragging = false;
  POINT FDragFrom{};
  bool FTracking = false; // asked to be told when the cursor leaves
  // The cursor's client pixel, while it is over the view: the chart moves
  // under a cursor that rests, and the readout must follow.
  bool FCursorOver = false;
  POINT FCursorAt{};
  struct TScrollState {
    int ContentWidth = -1, PageWidth = -1, ScrollX = -1, ContentHeight = -1, PageHeight = -1, ScrollY = -1;
    bool operator==(const TScrollState &) const = default;
  };
  TScrollState ScrollState() const;
  TScrollState FScrollState; // as last given to the scroll bars
  HWND FHorzBar = nullptr, FVertBar = nullptr; // children: destroyed with the view
  RECT FCorner{};                              // between the bars, painted by the view
};
