// The chart view: one chart drawn through the tile manager, with scroll bars,
// dragging, the keys and the mouse wheel to move and zoom. Windows only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>

#include "ChartRenderer.h"
#include "ChartViewport.h"
#include "Controls.h"
#include "VmGraphics.h"
#include "VmNKF2TileManager.h"

class TNKFChart;

class TChartView : public TCustomControl {
public:
  // A tile of 256 x 256 pixels of 32 bits, as the loader makes it.
  static constexpr uint32_t TileBytes = NKFTileSize * NKFTileSize * 4;
  static constexpr int ArrowStep = 32; // pixels an arrow key scrolls

  explicit TChartView(const TControlArgs &Args);
  // The tile manager's budget for a view of this client size.
  static uint32_t BudgetFor(int Width, int Height);
  ~TChartView() override;

  // Shows the chart (nullptr: none) as a whole; its tiles are asked for.
  void SetChart(TNKFChart *Chart);
  TNKFChart *Chart() const { return FChart; }
  // Lets go of the chart's tiles before the chart is destroyed or closed.
  void ReleaseChart();
  const TChartViewport &View() const { return FView; }
  TChartViewport &View() { return FView; }
  // Call after changing the view from outside: scroll bars, tiles, repaint
  // and the readout of a cursor resting on the view.
  void ViewChanged();

  void SetShowBorder(bool Value);
  bool ShowBorder() const { return FShowBorder; }
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

  // Tiles the view holds, and the ones it marks as failed (for tests).
  size_t HeldTiles() const { return FTiles.size(); }
  bool TileFailed(int32_t TileIndex) const { return FFailed.count(TileIndex) != 0; }

  // The cursor's client pixel when it moved over the view or the view moved
  // under it, nullptr when it left the view.
  std::function<void(const POINT *ClientPixel)> OnCursor;
  // A right click at a client pixel.
  std::function<void(int X, int Y)> OnContextMenu;
  // The view's place or zoom changed.
  std::function<void()> OnViewChanged;

protected:
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  void Paint();
  void Resized();
  void ScheduleScrollBars();
  void UpdateScrollBars();
  static constexpr UINT_PTR ScrollBarTimer = 1;
  void Scrolled(int Bar, int Code);
  void KeyDown(WPARAM Key);
  void MouseMoved(int X, int Y);
  // Tells OnCursor where the cursor is, if over the view.
  void ReportCursor();
  void UpdateTiles();
  void PrefetchRing();
  // The tile indices the view shows now.
  std::set<int32_t> ShownTiles() const;
  void ReleaseTiles(bool KeepCached);
  TTileState TileOf(int32_t TileIndex, const TBitmap32 *&Bitmap) const;
  std::unique_ptr<TNKFTile> Request(int32_t TileIndex, bool Visible) const;

  TNKFChart *FChart = nullptr;
  TChartViewport FView;
  TChartRenderer FRenderer;
  TBitmap32 FSurface;
  std::map<int32_t, std::unique_ptr<TNKFTile>> FTiles; // the loaded tiles on screen
  std::set<int32_t> FRequested;                        // asked for as visible, not yet here
  std::set<int32_t> FFailed;
  bool FShowBorder = false;
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
  TScrollState FScrollState; // as last given to the scroll bars
};
