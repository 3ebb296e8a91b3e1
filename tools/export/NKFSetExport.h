// The whole chart set as one MBTiles layer for chart plotters and GIS: every
// chart warped by GDAL's warper to Web Mercator (EPSG:3857) from its own
// georeference, clipped to its border, finer charts drawn over coarser ones,
// PNG tiles (the set has transparency beyond its borders).
//
// Each chart is drawn at the web zoom levels from the set's coarsest chart's
// up to its own (its resolution rounded to a whole level), never finer.
// Below the coarsest chart's level, down to the level at which the whole set
// fits in 2 x 2 tiles, the levels are averaged from that level by GDAL's
// overview building, so that a plotter zoomed out still shows the set. With
// Fill, every level also holds the coarser level enlarged wherever none of
// its own charts lies, for plotters and GIS that show only the tiles of the
// level in view.
//
// Each level is drawn into a GeoTIFF of its own in a work folder next to
// the output (the warper's threads write there), and only then copied into
// the MBTiles file in whole tiles by one thread: GDAL's MBTiles writer keeps
// a level that does not start on a tile edge in partial tiles, and merged
// them wrongly when its block cache (64 MB), too small for the level, wrote
// blocks out while the warper was still drawing: blocks of opaque black or
// of transparency, in other places from run to run. The grid starts on a
// tile edge of the coarsest level, so that every level does.
//
// The warper reads each chart's tiles as it needs them (decoded into GDAL's
// block cache), so memory stays bounded by GDAL's block cache and warp
// memory, not by the number or size of the charts. The work folder holds a
// lock while the run lives: a later run removes the folder of a run that
// died, and SIGINT, SIGTERM or SIGHUP stop the run and remove it.
#pragma once

#include <string>
#include <vector>

#include "NKFGeoTiffExport.h"

struct TNKFSetExportOptions {
  std::string Name = "ORVA Welmeland 2003"; // the MBTiles layer's name
  int WarpMemoryMB = 64;                     // GDAL's warp buffer per chart
  int WarpThreads = 2;                       // the warper's computing threads
  bool Fill = false;                         // the coarser level enlarged where a level has no chart
};

// One chart of the set, measured before any work.
struct TNKFSetChart {
  std::string File;
  double Resolution = 0;              // Web Mercator metres per pixel
  int Zoom = 0;                       // the finest web zoom level it is drawn at
  double Left = 0, Bottom = 0;        // its border's extent in Web Mercator
  double Right = 0, Top = 0;
  bool HasBorder = false;
};

// The set's layout: its charts coarsest first (the order they are drawn in),
// the zoom levels (MinZoom, where the set fits in 2 x 2 tiles, to ChartZoom,
// the coarsest chart's, averaged; ChartZoom to MaxZoom drawn), the charts'
// extent in Web Mercator, and the raster of the finest level (whole tiles of
// level MinZoom) whose overviews are the coarser levels.
struct TNKFSetPlan {
  std::vector<TNKFSetChart> Charts;
  int MinZoom = 0, ChartZoom = 0, MaxZoom = 0;
  double West = 0, South = 0, East = 0, North = 0;
  double Left = 0, Top = 0;
  int Width = 0, Height = 0;
};

// A level's pixels that the export draws: whole tiles of the level, in the
// level's pixels from the grid's top left corner.
struct TNKFSetWindow {
  int X = 0, Y = 0, Width = 0, Height = 0;
};
// The window of level Zoom: every chart drawn at that level (every chart
// with Fill), grown to whole tiles; empty when none.
TNKFSetWindow NKFSetLevelWindow(const TNKFSetPlan &Plan, int Zoom, bool Fill);

// Metres of Web Mercator per pixel of web zoom level Zoom (256-pixel tiles).
double NKFWebZoomResolution(int Zoom);
// The web zoom level whose resolution is nearest to MetresPerPixel (a ratio
// on the logarithmic scale), 0 to 24.
int NKFWebZoomOf(double MetresPerPixel);

// A chart's resolution in Web Mercator metres per pixel at its centre (the
// square root of a pixel's area there, so a turned chart counts the same).
double NKFChartWebResolution(const TNKFChart &Chart);

// The nine chart files of the set in Folder, in the table's order. Raises
// ENKFExportError naming the folder when it is not a folder or holds none of
// them, or naming every chart that is missing.
std::vector<std::string> NKFSetChartFiles(const std::string &Folder);

// Measures the charts and lays out the set. Raises ENKFExportError for no
// charts, a file that is not a chart, a chart that cannot be placed or that
// is OutFile itself.
TNKFSetPlan NKFPlanSet(const std::vector<std::string> &ChartFiles, const std::string &OutFile);

// What the export hands GDAL, in its command-line tools' form so that the
// same run can be made by hand: the overview factors of the coarser zoom
// levels (gdaladdo -r NONE on the new file), the factors of the averaged
// levels below the coarsest chart's (gdaladdo -r AVERAGE -oo
// ZOOM_LEVEL=ChartZoom), the MBTiles creation options (-co) and the warp's
// options (gdalwarp, before any cutline).
std::vector<int> NKFSetOverviewFactors(const TNKFSetPlan &Plan);
std::vector<int> NKFSetAveragedFactors(const TNKFSetPlan &Plan);
std::vector<std::string> NKFSetCreationOptions(const TNKFSetExportOptions &Options);
std::vector<std::string> NKFSetWarpArguments(const TNKFSetExportOptions &Options);

// Writes the charts as one MBTiles file OutFile. Raises ENKFExportError (a
// file that is not a chart, a chart that cannot be placed, an output that
// cannot be written, a signal that stopped the run); on any failure the
// output is not written or replaced and the work folder is removed.
void NKFExportSet(const std::vector<std::string> &ChartFiles, const std::string &OutFile,
                  const TNKFSetExportOptions &Options = {}, const TNKFExportProgress &Progress = nullptr);

// The signal that stopped the last export, 0 if none did: a program that
// ends on it raises it again once the export has cleaned up.
int NKFSetExportSignal();
