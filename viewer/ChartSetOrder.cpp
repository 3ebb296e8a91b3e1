#include "ChartSetOrder.h"

#include <algorithm>
#include <numeric>

#include "PositionReadout.h"
#include "VmNKFCharts.h"

std::string ChartScaleText(const TNKFChart &Chart) {
  if (Chart.Number1 > 0)
    return "1 : " + GroupThousands(Chart.Number1);
  return Chart.Text3;
}

std::string ChartProjectionText(const TNKFChart &Chart) {
  if (!Chart.Text8.empty())
    return Chart.Text8;
  if (!Chart.IsCalibrated())
    return "Not calibrated";
  switch (Chart.Calibration->System().Kind & 0x7F) {
  case gcsMercator: return "Mercator";
  case gcsTransverseMercator: return "Transverse Mercator";
  case gcsRD: return "RD";
  default: return "Unknown grid";
  }
}

bool ChartIsCoarser(const TNKFChart &A, const TNKFChart &B) {
  const bool aScaled = A.Number1 > 0, bScaled = B.Number1 > 0;
  if (aScaled != bScaled)
    return aScaled;
  if (A.Number1 != B.Number1)
    return A.Number1 > B.Number1;
  return A.Text1 < B.Text1;
}

std::vector<int32_t> SortFromOverview(const std::vector<TNKFChart *> &Charts) {
  std::vector<int32_t> order(Charts.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    const TNKFChart *ca = Charts[static_cast<size_t>(a)], *cb = Charts[static_cast<size_t>(b)];
    if ((ca == nullptr) != (cb == nullptr))
      return cb == nullptr;
    return ca != nullptr && ChartIsCoarser(*ca, *cb);
  });
  return order;
}
