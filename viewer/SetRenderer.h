// Draws a set view's plan into a client-sized surface: for each chart of the
// plan, coarsest first, the tiles of its level composed into a canvas and
// warped cell by cell through the library's projective transformation, each
// pixel kept only within the chart's clip outline, and only in the cells
// where the chart shows (a cell wholly under finer charts is skipped; in the
// others the finer charts are drawn over it afterwards, so that a finer
// chart's pixels that are not opaque lie over the coarser chart). Painting
// never waits: a pending tile is drawn as a placeholder, a failed one
// hatched, both only within the chart's border.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ChartRenderer.h"
#include "SetViewPlan.h"
#include "VmGraphics.h"
#include "VmProjectiveTransform.h"

// Answers for one tile of a chart of the set (Chart: index in the set's
// list); as TTileSource.
using TSetTileSource = std::function<TTileState(int32_t Chart, int32_t TileIndex, const TBitmap32 *&Bitmap)>;

enum class TSetSampling { Nearest, Bilinear };

class TSetRenderer {
public:
  // At most MaxThreads threads draw a repaint's cells (up to four), the
  // calling one included, started through Start (SharedWork.h; a test makes
  // a start fail); 0 for as many as the processors.
  void SetThreads(int32_t MaxThreads, TThreadStart Start);

  // Draws the whole client, or only Area of it (the rest of Surface is left
  // as it is: after a pan, the strips that came into view). Surface is sized
  // to the plan's client (all of it redrawn when that changes its size).
  void Render(const TSetViewPlan &Plan, const TSetTileSource &Tiles, const TViewColors &Colors,
              TSetSampling Sampling, TBitmap32 &Surface, const TClientRect *Area = nullptr);

  // Every chart's outline in the plan (Outlines(): drawn or too fine yet), in Color (View > Chart outlines); the
  // names are the window's to write, at OutlineLabelPoint.
  void DrawOutlines(const TSetViewPlan &Plan, TColor32 Color, TBitmap32 &Surface);

private:
  // What each thread drawing cells needs of its own.
  struct TWorker {
    TBitmap32 Scratch; // one cell, warped
    TProjectiveTransformation Warp;
  };
  // Client rows [First, Last) of a cell of chart P (index in the plan).
  void DrawCell(const TSetViewPlan &Plan, int32_t P, const TSetViewPlan::TCell &Cell, int32_t First, int32_t Last,
                double Unit, int32_t Left, int32_t Top, double LevelWidth, double LevelHeight, const TClientRect &Area,
                TWorker &Worker, TBitmap32 &Surface) const;

  int32_t FMaxThreads = 0;
  TThreadStart FStartThread;
  TBitmap32 FCanvas; // a chart's level pixels the cells read
  std::vector<std::unique_ptr<TWorker>> FWorkers;
  // What the cells read of a chart's tiles: (row << 32) | column, and the
  // level pixels.
  std::vector<std::pair<int64_t, TClientRect>> FNeeded;
};

// A pan by whole pixels: moves what Surface shows by (DX, DY) (the view's
// content moves opposite to the view: ScrollBy(DX, DY) wants (-DX, -DY)) and
// gives the rectangles that came into view, which the caller then renders.
std::vector<TClientRect> ShiftSurface(TBitmap32 &Surface, int32_t DX, int32_t DY);

// Where to write a chart's name with its outline: the top-left point of its
// outline within the client (a corner of the chart), or false when none of
// it is in view.
bool OutlineLabelPoint(const TSetViewPlan::TChartPlan &Plan, int32_t ClientWidth, int32_t ClientHeight,
                       TDoublePoint &Point);
bool OutlineLabelPoint(const std::vector<TDoublePoint> &Outline, int32_t ClientWidth, int32_t ClientHeight,
                       TDoublePoint &Point);

// A renderer of its own for a single picture (tests, screenshots).
void RenderSetView(const TSetViewPlan &Plan, const TSetTileSource &Tiles, const TViewColors &Colors,
                   TSetSampling Sampling, TBitmap32 &Surface);
