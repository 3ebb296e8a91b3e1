// How the set's list shows a chart (scale, projection) and in which order:
// from the overview down, as a chart user reads a catalogue.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TNKFChart;

// "1 : 30 000" from the chart's scale number; the tag's printed scale text
// when the number is missing; empty when neither is there.
std::string ChartScaleText(const TNKFChart &Chart);
// The projection as printed on the chart; when the tag has none, the grid of
// its calibration ("Mercator", "Transverse Mercator", "RD"); "Not calibrated".
std::string ChartProjectionText(const TNKFChart &Chart);

// Whether A comes before B in the list: the smaller scale (larger scale
// number) first; charts without a scale number after those with one; then by
// title.
bool ChartIsCoarser(const TNKFChart &A, const TNKFChart &B);
// Indices of Charts in list order; charts that did not open (null) last, in
// their own order.
std::vector<int32_t> SortFromOverview(const std::vector<TNKFChart *> &Charts);
