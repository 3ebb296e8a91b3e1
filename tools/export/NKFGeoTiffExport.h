// Writes a calibrated chart as a georeferenced GeoTIFF through GDAL: one
// pyramid level's tiles, decoded by our codec, as a tiled, DEFLATE-compressed
// RGBA image (the chart's transparency as an alpha band), with the chart's
// own georeference; optionally the finer levels' smaller neighbours as
// internal overviews. And the chart's border as a GeoJSON footprint in WGS 84.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <ogr_spatialref.h>

#include "NKFGeoreference.h"
#include "VmNKFCharts.h"

struct TNKFExportOptions {
  int Level = 0;          // pyramid level to write, 0..4
  bool Overviews = false; // the coarser levels as internal overviews
  // Pixels whose centres lie outside the chart's border transparent: the
  // chart without its margins, cut where a mosaic puts the next chart.
  bool ClipToBorder = false;
};

// Share of the work done, 0 to 1; called after each row of tiles.
using TNKFExportProgress = std::function<void(double Done)>;

// The GeoTIFF creation options of every export: 256 x 256 tiles (one chart
// tile each), DEFLATE, RGB with an unassociated alpha band, BigTIFF where the
// file may pass 4 GiB.
std::vector<std::string> NKFGeoTiffCreationOptions();

// The chart's grid and datum as a spatial reference (axis order east, north;
// longitude, latitude for the geographic part).
OGRSpatialReference NKFSpatialReference(const TNKFGeoreference &Georeference);

// The first chart version stores its level records as they are: a level is
// written only when the library takes it for an image (NKFLevelFault, the
// rule the viewer draws by too). Raises ENKFExportError naming the level and
// its fault otherwise.
void NKFCheckLevel(const TNKFChart &Chart, int Level);

// Writes the chart's level Options.Level into OutFile, a tile at a time: memory
// does not grow with the chart's size. Raises ENKFExportError (an
// uncalibrated chart, a bad level, a tile that does not decode, a file GDAL
// cannot write). The file is written under a temporary name beside OutFile
// and renamed at the end: a failed or interrupted export leaves an earlier
// output as it was and no file that passes for an output.
void NKFExportGeoTiff(const TNKFChart &Chart, const std::string &OutFile, const TNKFExportOptions &Options,
                      const TNKFExportProgress &Progress = nullptr);

// Writes the chart's border as one GeoJSON polygon feature in WGS 84
// (longitude, latitude degrees), points converted by the chart's calibration;
// written under a temporary name like the GeoTIFF.
void NKFWriteFootprint(const TNKFChart &Chart, const std::string &OutFile);
