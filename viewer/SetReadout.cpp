#include "SetReadout.h"

#include <cmath>
#include <exception>
#include <numbers>

#include "ChartSetOrder.h"
#include "VmNKFCharts.h"

TSetReadout ReadSetPosition(const TSetViewPlan &Plan, const TSetViewport &View, const std::vector<TNKFChart *> &Charts,
                            const TDoublePoint &Client) {
  TSetReadout readout;
  const int32_t x = static_cast<int32_t>(std::floor(Client.X)), y = static_cast<int32_t>(std::floor(Client.Y));
  const int32_t index = Plan.ChartAt(x, y);
  const TSetViewPlan::TChartPlan *plan = index >= 0 ? Plan.PlanOf(index) : nullptr;
  if (plan != nullptr && static_cast<size_t>(index) < Charts.size() && Charts[static_cast<size_t>(index)] != nullptr) {
    TNKFChart &chart = *Charts[static_cast<size_t>(index)];
    readout.Chart = index;
    const std::string scale = ChartScaleText(chart);
    readout.ChartText = chart.Text1 + (scale.empty() ? "" : "  " + scale);
    // The exact pixel, not the mesh's: the readout names the place itself.
    readout.Position = ReadPosition(chart, Plan.Exact(*plan, Client));
    return readout;
  }
  readout.Position.Datum = "No chart here";
  try {
    const TDoublePoint p = View.ClientToWGS84(Client);
    constexpr double degrees = 180 / std::numbers::pi;
    readout.Position.WGS84 = FormatLatitude(p.X * degrees) + "  " + FormatLongitude(p.Y * degrees) + "  WGS 84";
  } catch (const std::exception &) {
  }
  return readout;
}

std::unique_ptr<TCalibration> MakeSetViewCalibration(const TSetViewport &View) {
  const int32_t w = View.ClientWidth(), h = View.ClientHeight();
  if (w <= 0 || h <= 0)
    return nullptr;
  auto calibration = std::make_unique<TCalibration>();
  const int status = calibration->CalibrateMercator2({0, 0}, {double(w), double(h)}, View.ClientToMercator({0, 0}),
                                                    View.ClientToMercator({double(w), double(h)}), w, h, WGS84Datum());
  if (status != csAccepted && status != csCloseTogether)
    return nullptr;
  return calibration;
}
