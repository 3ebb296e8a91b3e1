// Draws the chart view into a client-sized surface: the tiles of the level
// the viewport chose, straight on a level's own zoom and warped bilinearly
// through the library's projective transformation in between, over the
// background; optionally the chart's border with the chart outside it shaded.
// Painting never waits: a tile the source has not loaded yet is drawn as a
// placeholder, one that failed as a hatched square.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "ChartViewport.h"
#include "SharedWork.h"
#include "VmDynamicLists.h"
#include "VmGraphics.h"
#include "VmProjectiveTransform.h"

class TNightScreen;

enum class TTileState { Pending, Loaded, Failed };

// Answers for one tile of the view's level; sets Bitmap (a decoded 256 x 256
// tile with alpha, alive until the render returns) when the tile is Loaded.
using TTileSource = std::function<TTileState(int32_t TileIndex, const TBitmap32 *&Bitmap)>;

struct TViewColors {
  TColor32 Background;  // outside the chart
  TColor32 Placeholder; // a tile still loading
  TColor32 Hatch;       // the lines over a tile that failed to load
  TColor32 Border;      // the border line
  TColor32 Shade;       // over the chart outside its border; its alpha says how much
};

// A grey desk around the chart, a paler grey for tiles on their way, red
// hatching for damage (the colour of a warning, not of chart ink) and a
// magenta border, the colour charts print their limits in.
TViewColors DayViewColors();
// The same dimmed as the night screen dims the tiles, so the view around the
// chart is never brighter than the chart.
TViewColors NightViewColors(const TNightScreen &Night);

// Keeps the scratch surfaces between repaints: a repaint then allocates
// nothing.
class TChartRenderer {
public:
  // The warp shares its rows out through Start (SharedWork.h); a test
  // replaces it to make a start fail.
  using TThreadStart = ::TThreadStart;
  // At most MaxThreads threads warp a repaint, the calling one included; 0
  // for as many as the processors.
  void SetWarpThreads(int32_t MaxThreads, TThreadStart Start);

  // Surface is sized to the view's client. Border, when given, is in
  // full-resolution chart pixels (vertices on pixel corners).
  void Render(const TChartViewport &View, const TTileSource &Tiles, const TPolygon *Border,
              const TViewColors &Colors, TBitmap32 &Surface);

private:
  void Compose(const TChartViewport &View, const TTileSource &Tiles, const TViewColors &Colors,
               const TChartViewport::TLevelRect &Area, TBitmap32 &Target, int32_t TargetLeft, int32_t TargetTop);
  void Warp(const TChartViewport &View, const TChartViewport::TLevelRect &Area, TBitmap32 &Surface);
  void ShadeOutside(const TChartViewport &View, TColor32 Shade, TBitmap32 &Surface);
  void DrawOutline(const TChartViewport &View, TColor32 Color, TBitmap32 &Surface);

  int32_t FMaxThreads = 0;
  TThreadStart FStartThread;
  TBitmap32 FCanvas; // the level's pixels the view reads, over the background
  TProjectiveTransformation FWarp;
  std::vector<TDoublePoint> FPoints;   // the border in chart pixels
  std::vector<double> FCrossings;      // one row's border crossings
};

// A renderer of its own for a single picture (tests, screenshots).
void RenderChartView(const TChartViewport &View, const TTileSource &Tiles, const TPolygon *Border,
                     const TViewColors &Colors, TBitmap32 &Surface);

// One row of a failed tile's hatching: Count pixels from level pixel
// (LevelX, LevelY) on, so that the lines run on across a level's tiles.
void HatchTileRow(TColor32 *Dst, int32_t Count, int32_t LevelX, int32_t LevelY, const TViewColors &Colors);

// A tile's pixel drawn over an opaque background colour: straight alpha,
// rounded to nearest, the result opaque.
TColor32 OverOpaque(TColor32 Pixel, TColor32 Background);
