// A chart as a GDAL raster that decodes its tiles when GDAL reads them: four
// bands (red, green, blue, alpha) of 256 x 256 blocks, one chart tile each,
// the chart's own coarser levels as overviews, its georeference. The set's
// export hands it to GDAL's warper directly, so that no chart is written to
// a file and read back; memory stays GDAL's block cache.
#pragma once

#include <memory>

#include <gdal_priv.h>

#include "VmNKFCharts.h"

// The chart's level 0 with levels 1 to 4 as overviews, cut at its border by
// transparency when ClipToBorder. Chart must outlive the dataset. Raises
// ENKFExportError as NKFExportGeoTiff does for a chart it cannot place or a
// level that cannot be an image; a tile that does not decode fails GDAL's
// read with that tile's message.
std::unique_ptr<GDALDataset> NKFOpenChartDataset(const TNKFChart &Chart, bool ClipToBorder);
