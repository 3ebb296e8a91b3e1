// The whole chart set as one MBTiles layer for chart plotters and GIS: every
// chart warped by GDAL's warper to Web Mercator (EPSG:3857) from its own
// georeference, clipped to its border, finer charts drawn over coarser ones,
// PNG tiles (the set has transparency beyond its borders).
//
// Each chart is drawn at the web zoom levels from the set's coarsest chart's
// up to its own (its resolution rounded to a whole level), never finer: the
// finest levels hold tiles only where the finest charts lie, and a plotter
// shows a coarser level's tiles enlarged elsewhere. The warper reads and
// writes only the window each chart covers at each level.
//
// The warper reads each chart's tiles as it needs them (decoded into GDAL's
// block cache) and writes the MBTiles file in a temporary folder next to the
// output until it is finished, so memory stays bounded by GDAL's block cache
// and warp memory, not by the number or size of the charts.
#pragma once

#include <string>
#include <vector>

#include "NKFGeoTiffExport.h"

struct TNKFSetExportOptions {
  std::string Name = "ORVA Welmeland 2003"; // the MBTiles layer's name
  int WarpMemoryMB = 64;                     // GDAL's warp buffer per chart
  int WarpThreads = 2;                       // the warper's computing threads
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
// the zoom levels, and the raster of the finest level (Web Mercator, whole
// tiles of that level) whose overviews are the coarser levels.
struct TNKFSetPlan {
  std::vector<TNKFSetChart> Charts;
  int MinZoom = 0, MaxZoom = 0;
  double Left = 0, Top = 0;
  int Width = 0, Height = 0;
};

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
// levels (gdaladdo), the MBTiles creation options (-co) and the warp's
// options (gdalwarp, before any cutline).
std::vector<int> NKFSetOverviewFactors(const TNKFSetPlan &Plan);
std::vector<std::string> NKFSetCreationOptions(const TNKFSetExportOptions &Options);
std::vector<std::string> NKFSetWarpArguments(const TNKFSetExportOptions &Options);

// Writes the charts as one MBTiles file OutFile. Raises ENKFExportError (a
// file that is not a chart, a chart that cannot be placed, an output that
// cannot be written); on any failure the output is not written or replaced
// and the temporary folder is removed.
void NKFExportSet(const std::vector<std::string> &ChartFiles, const std::string &OutFile,
                  const TNKFSetExportOptions &Options = {}, const TNKFExportProgress &Progress = nullptr);
