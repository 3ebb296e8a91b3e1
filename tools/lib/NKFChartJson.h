// The JSON listing of an open chart that nkf2info prints: the chart's fields
// under their own names, the tag's calibration data, and the image corners in
// WGS 84 degrees. Texts are written byte for byte, bytes outside printable
// ASCII escaped as \u00XX of the same value.
#pragma once

#include <string>

#include "VmNKFCharts.h"

std::string NKFChartJson(TNKFChart &Chart);
