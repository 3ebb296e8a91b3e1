// The whole chart set as one MBTiles layer for chart plotters and GIS: every
// chart warped by GDAL's warper to Web Mercator (EPSG:3857) from its own
// georeference, clipped to its border, finer charts drawn over coarser ones,
// at the finest chart's resolution rounded to a whole web zoom level, with
// overviews down to the coarsest chart's zoom level and PNG tiles (the set has
// transparency beyond its borders).
//
// The work goes through files in a temporary folder next to the output (one
// chart's GeoTIFF at a time and one tiled Web Mercator GeoTIFF of the whole
// set), so memory stays bounded by GDAL's block cache and warp memory, not by
// the number or size of the charts.
#pragma once

#include <string>
#include <vector>

#include "NKFGeoTiffExport.h"

struct TNKFSetExportOptions {
  std::string Name = "ORVA Welmeland 2003"; // the MBTiles layer's name
  int WarpMemoryMB = 64;                     // GDAL's warp buffer per chart
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

// Writes the charts as one MBTiles file OutFile. Raises ENKFExportError (a
// file that is not a chart, a chart that cannot be placed, an output that
// cannot be written); on any failure the output is not written or replaced
// and the temporary folder is removed.
void NKFExportSet(const std::vector<std::string> &ChartFiles, const std::string &OutFile,
                  const TNKFSetExportOptions &Options = {}, const TNKFExportProgress &Progress = nullptr);
