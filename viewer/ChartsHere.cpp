#include "ChartsHere.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "VmNKFCharts.h"

namespace {

struct TCandidate {
  int32_t Index;
  double Scale;
  double AreaRatio;
};

// A few pixels apart, so that the difference is not lost in the rounding of
// positions some 5 million metres from the equator.
constexpr double MeasureStep = 16;

// Distance on the WGS 84 ellipsoid between two nearby positions (radians):
// the meridian and prime-vertical radii of curvature at their mean latitude.
double NearbyDistance(const TDoublePoint &A, const TDoublePoint &B) {
  const TGeodeticEllipsoid &e = *WGS84Datum()->Ellipsoid;
  const double phi = (A.X + B.X) / 2, s = std::sin(phi);
  const double w = 1 - e.E2 * s * s;
  const double M = e.A * (1 - e.E2) / (w * std::sqrt(w)), N = e.A / std::sqrt(w);
  return std::hypot(M * (B.X - A.X), N * std::cos(phi) * (B.Y - A.Y));
}

} // namespace

std::unique_ptr<TCalibration> MakeViewCalibration(TNKFChart &Chart, const TChartViewport &View) {
  if (!Chart.IsCalibrated() || View.ClientWidth() <= 0 || View.ClientHeight() <= 0)
    return nullptr;
  const TCalibration &c = *Chart.Calibration;
  const double w = View.ClientWidth(), h = View.ClientHeight();
  // Three corners of the client: the view is the chart's own similarity
  // scaled and moved, so three points reproduce it, rotation included.
  const TDoublePoint pixels[3] = {{0, 0}, {w, 0}, {0, h}};
  TDoublePoint positions[3];
  for (int i = 0; i < 3; ++i)
    positions[i] = c.PixelToProjected(View.ClientToChart(pixels[i]));
  auto view = std::make_unique<TCalibration>();
  const TGeodeticCoordinateSystem &s = c.System();
  int status = csTooClose;
  switch (s.Kind & 0x7F) {
  case gcsMercator:
    status = view->CalibrateMercator3(pixels[0], pixels[1], pixels[2], positions[0], positions[1], positions[2],
                                      View.ClientWidth(), View.ClientHeight(), s.Datum);
    break;
  case gcsTransverseMercator:
    status = view->CalibrateTransverseMercator3(pixels[0], pixels[1], pixels[2], positions[0], positions[1],
                                                positions[2], s.K0, s.Lon0, View.ClientWidth(),
                                                View.ClientHeight(), s.Datum);
    break;
  case gcsRD:
    status = view->CalibrateRD3(pixels[0], pixels[1], pixels[2], positions[0], positions[1], positions[2],
                                View.ClientWidth(), View.ClientHeight());
    break;
  default: break;
  }
  if (status != csAccepted && status != csCloseTogether)
    return nullptr;
  return view;
}

std::vector<int32_t> ChartsHere(const std::vector<TNKFChart *> &Charts, const TDoublePoint &WGS84,
                                const TCalibration &ViewCalibration) {
  const TGeodeticCoordinateSystem wgs84 = CoordinateSystemGeographic(WGS84Datum());
  std::vector<TCandidate> found;
  for (size_t i = 0; i < Charts.size(); ++i) {
    TNKFChart *chart = Charts[i];
    if (chart == nullptr || !chart->IsCalibrated())
      continue;
    double scale = 0, coverage = 0, ratio = 0;
    bool cuts = false;
    try {
      if (!chart->ContainsPosition(WGS84, wgs84) ||
          !chart->GetViewCoverage(ViewCalibration, scale, coverage, ratio, cuts))
        continue;
    } catch (const std::exception &) {
      continue; // a position this chart's grid cannot take is not on it
    }
    found.push_back({static_cast<int32_t>(i), scale, ratio});
  }
  std::stable_sort(found.begin(), found.end(), [](const TCandidate &a, const TCandidate &b) {
    if (a.Scale != b.Scale)
      return a.Scale < b.Scale;
    return a.AreaRatio < b.AreaRatio;
  });
  std::vector<int32_t> indices;
  for (const TCandidate &c : found)
    indices.push_back(c.Index);
  return indices;
}

double GroundMetresPerPixel(const TNKFChart &Chart, const TDoublePoint &Pixel) {
  const TCalibration &c = *Chart.Calibration;
  const TDoublePoint a = c.PixelToWGS84(Pixel);
  const TDoublePoint east = c.PixelToWGS84({Pixel.X + MeasureStep, Pixel.Y});
  const TDoublePoint south = c.PixelToWGS84({Pixel.X, Pixel.Y + MeasureStep});
  return (NearbyDistance(a, east) + NearbyDistance(a, south)) / (2 * MeasureStep);
}

double MetresPerClientPixel(TNKFChart &Chart, const TChartViewport &View, const TDoublePoint &Client) {
  return GroundMetresPerPixel(Chart, View.ClientToChart(Client)) / View.Zoom();
}

void PlaceAtPosition(TChartViewport &View, TNKFChart &Chart, const TDoublePoint &WGS84, double MetresPerClientPixel) {
  View.SetChart(Chart.Width, Chart.Height, Chart.Levels);
  if (!Chart.IsCalibrated())
    return;
  const TDoublePoint pixel = Chart.Calibration->WGS84ToPixel(WGS84);
  const double zoom = GroundMetresPerPixel(Chart, pixel) / MetresPerClientPixel;
  View.ZoomAt(zoom, {0, 0});
  View.CenterOn(pixel);
}
