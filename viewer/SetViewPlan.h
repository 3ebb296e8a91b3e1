// The plan of one set view: which chart shows where, each chart's clip
// outline in client pixels, the level it is drawn from and its mapping from
// client pixels to chart pixels. A plain object computed from the viewport
// and the charts' calibrations; the renderer only executes it.
//
// The mapping is a mesh of exact points (client pixel centre -> Mercator ->
// WGS 84 -> the chart's own WGS84ToPixel, datum change and grid included),
// drawn cell by cell through the library's projective transformation: each
// cell maps by the plane fitted to the exact points at its four corners (a
// parallelogram, the transformation's affine branch). A cell is split in four
// while that plane strays more than half of MaxError full-resolution chart
// pixels from the exact mapping at its corners, the middles of its sides or
// its centre, in the manner of GDAL's approximate transformer; a test holds
// every pixel to MaxError.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "ChartViewport.h"
#include "SetViewport.h"
#include "VmGeodetics.h"
#include "VmNKFCharts.h"

// A tile of a chart of the set.
struct TSetTile {
  int32_t Chart;     // index in the set's chart list
  int32_t Level;
  TViewTile Tile;
  bool operator==(const TSetTile &) const = default;
};

// A client rectangle [Left, Right) x [Top, Bottom).
struct TClientRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Left >= Right || Top >= Bottom; }
};

class TSetViewPlan {
public:
  // The bound on the mesh's interpolation error, in full-resolution chart
  // pixels; refinement aims at half of it, so the whole cell stays within.
  static constexpr double MaxError = 0.05;
  // Mesh cells start this many client pixels wide, aligned to the global
  // pixel grid (so a pan meets the same cells), and are split down to
  // MinCellSize at most.
  static constexpr int32_t CellSize = 128;
  static constexpr int32_t MinCellSize = 2;
  // A chart takes part while a client pixel covers no more than this many
  // of its full-resolution pixels: its coarsest level at half size.
  static constexpr double MaxChartPixelsPerClientPixel = 2 << (NKFLevelCount - 1);

  // One mesh cell: client pixels [Left, Right) x [Top, Bottom), and where its
  // map puts the centres of the pixels (Left, Top), (Right, Top),
  // (Right, Bottom), (Left, Bottom), in full-resolution chart pixels: a
  // parallelogram (Corners[2] = Corners[1] + Corners[3] - Corners[0]).
  // (Right and Bottom are the first pixels of the neighbouring cells.)
  struct TCell {
    int32_t Left, Top, Right, Bottom;
    TDoublePoint Corners[4];
  };

  // One chart of the view.
  struct TChartPlan {
    int32_t Chart = -1;          // index in the set's chart list
    int32_t Level = 0;           // the pyramid level drawn
    int32_t LevelWidth = 0, LevelHeight = 0; // its image's size
    double ClientPerChartPixel = 0; // client pixels per full-resolution chart pixel (GetViewCoverage's Scale)
    double GroundMetresPerPixel = 0; // of the chart, at its centre: the order of detail
    // The border (or the image's outline), in client pixels, closed, dense
    // enough to follow the curve of the grid within a tenth of a pixel.
    std::vector<TDoublePoint> Outline;
    // The cells where the chart shows in the client (at least one pixel of
    // the row spans is the chart's), sorted by row, then column.
    std::vector<TCell> Cells;
    // Tiles of Level the shown cells read, and the ring of one tile around
    // them (within the level) to prefetch.
    std::vector<TViewTile> Tiles;
    std::vector<TViewTile> Ring;
  };

  // A chart's outline in client pixels, whether the chart is drawn at this
  // zoom or is too fine to be yet (View > Chart outlines shows the charts a
  // user can zoom into).
  struct TOutline {
    int32_t Chart = -1; // index in the set's chart list
    std::vector<TDoublePoint> Outline;
  };

  // A run of client pixels of one row that shows one chart: index into
  // Charts().
  struct TSpan {
    int32_t Left, Right;
    int32_t Plan;
  };

  // Computes the plan for the view. Charts: the set (null entries and
  // charts ChartShowFault refuses are left out). Cells already worked out for the same zoom and
  // charts by an earlier Build are reused, so a pan computes only the cells
  // that come into view.
  void Build(const TSetViewport &View, const std::vector<TNKFChart *> &Charts);
  // Drops the kept cells. Charts are known by their address: call it when
  // the charts are closed, before a Build with charts opened anew.
  void Forget() { FStates.clear(); }

  int32_t ClientWidth() const { return FClientWidth; }
  int32_t ClientHeight() const { return FClientHeight; }
  // Coarsest first (drawing order); the last covers the others.
  const std::vector<TChartPlan> &Charts() const { return FCharts; }
  // The spans of client row Y, left to right (empty outside the client).
  const std::vector<TSpan> &Row(int32_t Y) const;
  // Every chart's inside along row Y (where its clip outline holds the
  // pixels' centres), finest chart first: what the renderer draws, coarsest
  // first, so that a finer chart's pixels that are not opaque (at its
  // border) lie over the coarser chart and not over the background.
  const std::vector<TSpan> &InsideRow(int32_t Y) const;
  // The chart (index in the set's list) shown at client pixel (X, Y), or -1.
  int32_t ChartAt(int32_t X, int32_t Y) const;
  // Every chart of the set whose outline meets the client, in the set's order.
  const std::vector<TOutline> &Outlines() const { return FOutlines; }
  // The plan entry of a chart of the set, or nullptr when it does not show.
  const TChartPlan *PlanOf(int32_t Chart) const;

  // Where a client point falls in a chart's full-resolution pixels: through
  // the mesh (as drawn) and exactly (the reference the mesh is held to).
  // Client point (x + 0.5, y + 0.5) is pixel (x, y)'s centre.
  TDoublePoint Interpolated(const TChartPlan &Plan, const TDoublePoint &Client) const;
  TDoublePoint Exact(const TChartPlan &Plan, const TDoublePoint &Client) const;

  // Every tile to show, chart by chart, coarsest first; and the rings.
  std::vector<TSetTile> VisibleTiles() const;
  std::vector<TSetTile> RingTiles() const;

private:
  struct TChartState;
  std::vector<TChartPlan> FCharts;
  std::vector<TOutline> FOutlines;
  std::vector<std::vector<TSpan>> FRows;
  std::vector<std::vector<TSpan>> FInside;
  int32_t FClientWidth = 0, FClientHeight = 0;
  // Kept between builds: per chart, its mapping and cells by global cell.
  std::map<const TNKFChart *, std::shared_ptr<TChartState>> FStates;
  std::vector<std::shared_ptr<TChartState>> FPlanStates; // of FCharts' entries
  double FMetresPerPixel = 0;
  double FOriginX = 0, FOriginY = 0;
};

// The tile manager's budget for a set view of this client size, whatever the
// number of charts: the charts in view share the client between them, each
// read from a level at up to twice the client's resolution; a client's worth
// of such tiles with a ring, three times over (the tiles along the charts'
// borders that two charts both read, and the prefetched rings).
uint32_t SetViewBudget(int32_t Width, int32_t Height);
