// "Charts here": which of the open charts cover a position, most detailed
// first, and opening the chosen one on the same place at a comparable scale.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ChartViewport.h"
#include "VmGeodeticsCalibration.h"

class TNKFChart;

// The view as a calibration of its own: client pixels to positions on the
// chart's grid and datum, image size the client's, as a chart's
// GetViewCoverage takes a view. Null when the chart is not calibrated or the
// client is empty.
std::unique_ptr<TCalibration> MakeViewCalibration(TNKFChart &Chart, const TChartViewport &View);

// Indices of the open (non-null), calibrated charts whose border contains
// the WGS 84 position (latitude, longitude in radians) and which show in the
// view, most detailed first: by the view pixels one chart pixel covers
// (GetViewCoverage's Scale), the smaller first, then the smaller chart, then
// the set's order.
std::vector<int32_t> ChartsHere(const std::vector<TNKFChart *> &Charts, const TDoublePoint &WGS84,
                                const TCalibration &ViewCalibration);

// Shows Chart in View centred on the WGS 84 position (radians), at the zoom
// where a client pixel covers about MetresPerClientPixel on the ground
// (clamped to the view's zoom limits).
void PlaceAtPosition(TChartViewport &View, TNKFChart &Chart, const TDoublePoint &WGS84, double MetresPerClientPixel);

// Metres on the ground one client pixel covers at Client (the grids are
// conformal: the same in every direction).
double MetresPerClientPixel(TNKFChart &Chart, const TChartViewport &View, const TDoublePoint &Client);

// Metres on the ground one full-resolution pixel of the chart covers at Pixel.
double GroundMetresPerPixel(const TNKFChart &Chart, const TDoublePoint &Pixel);
