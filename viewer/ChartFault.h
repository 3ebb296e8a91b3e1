// Whether the viewer can show an opened chart, and why not: one rule for the
// list's greyed entries and for what is ever handed to the viewport and the
// renderer.
#pragma once

#include <string>

#include "VmNKFCharts.h"

// "" when the chart can be shown; otherwise the reason, as the list shows it.
std::string ChartShowFault(const TNKFChart &Chart);
