#include "ChartFault.h"

std::string ChartShowFault(const TNKFChart &Chart) {
  if (!Chart.IsCalibrated())
    return "The chart has no calibration and cannot be shown.";
  if (Chart.TileCount == 0)
    return "The chart holds no picture.";
  // A first-version chart's level records are stored as they come: drawn as
  // they claim, tiles that do not cover a level leave holes, and a level far
  // larger than the chart makes the view compose a surface of its size.
  if (const std::string fault = NKFLevelsFault(Chart); !fault.empty())
    return "The chart's picture is damaged and cannot be shown: " + fault + ".";
  return {};
}
