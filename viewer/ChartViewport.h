// Where a chart lies in the view: the zoom, the chart position at the view's
// top-left corner, the pyramid level drawn and the tiles that level needs. A
// plain object without a window, so that painting, scrolling, the readout and
// "Charts here" all map between view and chart through the same functions.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "VmGeodetics.h"
#include "VmNKFCharts.h"

// A tile of the level drawn: its number in the chart's tile directory and its
// place in the level's grid.
struct TViewTile {
  int32_t TileIndex;
  int32_t Column;
  int32_t Row;
  bool operator==(const TViewTile &) const = default;
};

// Client pixels are the view's (x right, y down); chart positions are
// full-resolution chart pixels as doubles, pixel (i, j) covering [i, i + 1) x
// [j, j + 1). Client pixel (x, y) shows what lies under its centre.
class TChartViewport {
public:
  static constexpr int StepsPerLevel = 2;

  // A new chart is shown whole (Fit).
  void SetChart(int32_t Width, int32_t Height, const std::array<TNKFLevel, NKFLevelCount> &Levels);
  // Keeps the chart point at the client's centre where it was; the first size
  // shows the whole chart, and an empty client (minimised) changes nothing.
  void SetClientSize(int32_t Width, int32_t Height);
  int32_t ClientWidth() const { return FClientWidth; }
  int32_t ClientHeight() const { return FClientHeight; }
  int32_t ChartWidth() const { return FWidth; }
  int32_t ChartHeight() const { return FHeight; }
  const std::array<TNKFLevel, NKFLevelCount> &Levels() const { return FLevels; }

  // Client pixels per full-resolution chart pixel.
  double Zoom() const { return FZoom; }
  // Zooming out stops where the whole chart fits (or at full resolution, for
  // a chart smaller than the view: a tiny chart is not shrunk further), but
  // never below the coarsest level drawn at half its size (CoarsestZoom):
  // further out, a view of a huge chart would need more tiles than the tile
  // manager holds for a window and a surface many times the window's size to
  // compose them in; so what a view costs follows the window, not the chart.
  // Zooming in stops at four client pixels per chart pixel, enough to pick a
  // single pixel with the mouse, beyond which bilinear magnification only
  // shows blur.
  static constexpr double CoarsestZoom = 1.0 / (2 << (NKFLevelCount - 1));
  double MinZoom() const;
  double MaxZoom() const { return 4.0; }
  // The chart position at the client's top-left corner.
  TDoublePoint Origin() const { return FOrigin; }
  TDoublePoint ClientToChart(const TDoublePoint &Client) const;
  TDoublePoint ChartToClient(const TDoublePoint &Chart) const;
  // Client pixel (X, Y) shows what lies under its centre, as painting
  // samples it: the readout, "Charts here", the switch to another chart and
  // zooming about the cursor take the pixel pointed at through these, so
  // that they all name the place the user sees there.
  static TDoublePoint ClientPixelCentre(int32_t X, int32_t Y) { return {X + 0.5, Y + 0.5}; }
  TDoublePoint ClientPixelToChart(int32_t X, int32_t Y) const { return ClientToChart(ClientPixelCentre(X, Y)); }

  // Clamped to MinZoom..MaxZoom; the chart point under Client stays under it
  // unless that would leave the view scrolled beyond the chart's edge. On a
  // level's own zoom the view snaps to whole level pixels (see IsStraightCopy),
  // which moves the point by at most half a client pixel.
  void ZoomAt(double NewZoom, const TDoublePoint &Client);
  // Wheel notches and + / -: the zooms 2^(k / StepsPerLevel) in turn, so every
  // level's own zoom (1, 1/2, 1/4, ...) is reached exactly. From a zoom
  // between two steps the first step goes to the next one in that direction.
  void ZoomSteps(int Steps, const TDoublePoint &Client);
  // Client pixels; clamped so the view stays on the chart (a chart narrower
  // or lower than the client is centred on that axis).
  void ScrollBy(double DX, double DY);
  void CenterOn(const TDoublePoint &Chart);
  // The whole chart, centred (Home and "Fit to window"); a chart too large to
  // fit at MinZoom is shown from its middle.
  void Fit();

  // For scroll bars, in scroll units: the chart's size at this zoom, the
  // client's size and the client's position in the chart (0 on an axis where
  // the chart is centred). A unit is a client pixel as long as the chart's
  // size fits in ScrollRange; a chart larger at this zoom (one wider than
  // 2^28 pixels at the greatest zoom) takes as many client pixels per unit as
  // bring it within, so that a scroll bar's 32-bit range holds it.
  static constexpr int32_t ScrollRange = 1 << 30;
  int32_t ContentWidth() const;
  int32_t ContentHeight() const;
  int32_t PageWidth() const;
  int32_t PageHeight() const;
  int32_t ScrollX() const;
  int32_t ScrollY() const;
  void ScrollTo(int32_t X, int32_t Y);
  void ScrollToX(int32_t X);
  void ScrollToY(int32_t Y);
  // Client pixels per scroll unit on each axis.
  double ScrollUnitX() const;
  double ScrollUnitY() const;

  // The coarsest pyramid level at least as fine as the zoom.
  int32_t Level() const;
  // Client pixels per pixel of Level(): exactly 1 on a level's own zoom.
  double LevelZoom() const;
  // Whether the view is a straight copy of Level()'s pixels: on the level's
  // own zoom and at a whole pixel of the level.
  bool IsStraightCopy() const;
  // Level()'s pixels the client reads: [Left, Right) x [Top, Bottom), within
  // the level's image, including the right and lower neighbours bilinear
  // sampling blends in. Empty (Left == Right) when the chart is not in view.
  struct TLevelRect {
    int32_t Left, Top, Right, Bottom;
  };
  TLevelRect LevelPixelsRead() const;
  // Where client pixel X's centre falls in Level()'s pixel coordinates, in
  // the convention of the warp's sampling (pixel i at coordinate i).
  double LevelSampleX(double ClientX) const;
  double LevelSampleY(double ClientY) const;

  std::vector<TViewTile> VisibleTiles() const;
  // The ring of one tile around the visible ones, within the level: what to
  // prefetch for the next scroll.
  std::vector<TViewTile> RingTiles() const;

private:
  double FitZoom() const;
  void Clamp();
  void ClampAxis(double &Origin, int32_t Extent, int32_t Client) const;
  std::vector<TViewTile> TilesIn(int32_t Col0, int32_t Row0, int32_t Col1, int32_t Row1) const;

  int32_t FWidth = 0, FHeight = 0;
  std::array<TNKFLevel, NKFLevelCount> FLevels{};
  int32_t FClientWidth = 0, FClientHeight = 0;
  // The last non-empty client size, which zoom limits and centring keep to
  // while the window is minimised.
  int32_t FLastWidth = 0, FLastHeight = 0;
  bool FSized = false;
  double FZoom = 1;
  TDoublePoint FOrigin{0, 0};
};
