// "Where am I" in the set view: the chart shown under the cursor (title and
// scale), the position in that chart's datum and in WGS 84 and its grid
// coordinates, through the same mapping the set view draws with; and the set
// view as a calibration, for "Charts here".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PositionReadout.h"
#include "SetViewPlan.h"
#include "SetViewport.h"
#include "VmGeodeticsCalibration.h"

class TNKFChart;

struct TSetReadout {
  int32_t Chart = -1;        // index in the set's list of the chart shown there; -1: none
  std::string ChartText;     // "<title>  1 : 25 000"; empty where no chart shows
  TPositionReadout Position; // in that chart (its datum, WGS 84 and grid); where no chart shows,
                             // only WGS84 from the view itself
};

// The readout at a client point (fractional: the cursor's place; pixel
// (x, y)'s centre is (x + 0.5, y + 0.5)).
TSetReadout ReadSetPosition(const TSetViewPlan &Plan, const TSetViewport &View, const std::vector<TNKFChart *> &Charts,
                            const TDoublePoint &Client);

// The set view as a Mercator calibration on WGS 84, image size the client's,
// as ChartsHere and a chart's GetViewCoverage take a view. Null for an empty
// client.
std::unique_ptr<TCalibration> MakeSetViewCalibration(const TSetViewport &View);
