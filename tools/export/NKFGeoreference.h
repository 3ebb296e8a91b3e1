// What a GIS needs to place a chart, taken from the chart's own calibration:
// the affine map from pixels to the chart's grid in the form of a GDAL
// geotransform, the grid (Mercator, transverse Mercator or the Dutch RD grid)
// with its datum, and the datum's shift to WGS 84 in the convention GDAL and
// PROJ read from a TOWGS84 clause. Nothing here is fitted anew: a GIS reading
// the result puts every pixel where the chart's position operations say it is.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "VmGeodetics.h"
#include "VmNKFCharts.h"

VM_DECLARE_EXCEPTION(ENKFExportError, Exception);

// A Helmert shift to WGS 84 in the usual Earth-centred frame (Y towards 90
// degrees east) with position-vector rotations, as a WKT TOWGS84 clause and
// PROJ's +towgs84 take it: metres, arc seconds, parts per million.
struct TNKFTOWGS84 {
  double DX = 0, DY = 0, DZ = 0;
  double RX = 0, RY = 0, RZ = 0;
  double PPM = 0;
};

// The datum's shift, turned from the geodetic tables' internal form (their
// own geocentric frame, rotations with the coordinate-frame signs of the
// published rows, in radians) into the form above.
TNKFTOWGS84 NKFPositionVectorTOWGS84(const TGeodeticDatum &Datum);

// GDAL's affine geotransform: X = G[0] + col G[1] + row G[2], Y = G[3] + col
// G[4] + row G[5], where (col, row) = (0, 0) is the top left corner of the top
// left pixel. The chart's calibration puts pixel centres on whole numbers
// instead (a position rounds to the pixel that shows it), so a calibration
// pixel p is GDAL's p + 0.5.
using TGeoTransform = std::array<double, 6>;

struct TNKFGeoreference {
  uint8_t Kind = gcsMercator;   // gcsMercator, gcsTransverseMercator or gcsRD
  double K0 = 1;                // transverse Mercator: scale on the central meridian
  double Lon0 = 0;              // transverse Mercator: central meridian, radians
  const TGeodeticDatum *Datum = nullptr;
  TGeoTransform GeoTransform{}; // full resolution (level 0)
};

// The georeference of an open chart. Raises ENKFExportError with the reason
// when the chart has no accepted calibration, its grid has no datum, or its
// grid or ellipsoid cannot be written down (non-finite or degenerate values).
TNKFGeoreference NKFChartGeoreference(const TNKFChart &Chart);

// The geotransform of pyramid level Level (0..4): a pixel there covers 2^Level
// pixels of the full image each way, from the same top left corner.
TGeoTransform NKFLevelGeoTransform(const TGeoTransform &FullResolution, int Level);

// The chart's border polygon as WGS 84 (latitude, longitude) in radians, one
// point per border vertex, converted by the chart's calibration. Border
// vertices sit on pixel corners (half a pixel before the centres).
std::vector<TDoublePoint> NKFFootprint(const TNKFChart &Chart);
