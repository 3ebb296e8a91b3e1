#include "SetViewport.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>

#include "PositionReadout.h"
#include "VmNKFCharts.h"

namespace {

const TGeodeticEllipsoid *WGS84Ellipsoid() { return WGS84Datum()->Ellipsoid; }

// Points along each edge of the border: enough that the bounding box of the
// curved image of a straight chart edge is found to well under a pixel.
constexpr int EdgeSteps = 16;
// A few pixels apart, so that the difference is not lost in the rounding of
// Mercator metres some 7 million from the equator.
constexpr double MeasureStep = 16;

// 2^(k / S) exactly whenever k is a multiple of S.
double StepMetres(int k) {
  constexpr int S = TSetViewport::StepsPerLevel;
  const int q = (k >= 0 ? k / S : -((-k + S - 1) / S));
  const int r = k - q * S;
  return std::ldexp(std::exp2(static_cast<double>(r) / S), q);
}

} // namespace

bool SetChartExtent(const TNKFChart &Chart, TSetChartExtent &Extent) {
  if (!Chart.IsCalibrated() || Chart.Width <= 0 || Chart.Height <= 0)
    return false;
  const TCalibration &c = *Chart.Calibration;
  std::vector<TDoublePoint> corners;
  if (Chart.Border.Count() >= 3)
    for (int32_t i = 0; i < Chart.Border.Count(); ++i) {
      const TPoint p = Chart.Border.GetPoint(i);
      corners.push_back({static_cast<double>(p.X), static_cast<double>(p.Y)});
    }
  else
    corners = {{0, 0}, {static_cast<double>(Chart.Width), 0},
               {static_cast<double>(Chart.Width), static_cast<double>(Chart.Height)},
               {0, static_cast<double>(Chart.Height)}};
  double left = std::numeric_limits<double>::infinity(), right = -left, bottom = left, top = -left;
  try {
    for (size_t i = 0; i < corners.size(); ++i) {
      const TDoublePoint a = corners[i], b = corners[(i + 1) % corners.size()];
      for (int k = 0; k < EdgeSteps; ++k) {
        const double t = static_cast<double>(k) / EdgeSteps;
        const TDoublePoint m =
            MercatorForward(c.PixelToWGS84({a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y)}), WGS84Ellipsoid());
        left = std::min(left, m.X);
        right = std::max(right, m.X);
        bottom = std::min(bottom, m.Y);
        top = std::max(top, m.Y);
      }
    }
    const TDoublePoint centre{Chart.Width / 2.0, Chart.Height / 2.0};
    const TDoublePoint m0 = MercatorForward(c.PixelToWGS84(centre), WGS84Ellipsoid());
    const TDoublePoint mx = MercatorForward(c.PixelToWGS84({centre.X + MeasureStep, centre.Y}), WGS84Ellipsoid());
    const TDoublePoint my = MercatorForward(c.PixelToWGS84({centre.X, centre.Y + MeasureStep}), WGS84Ellipsoid());
    Extent.MercatorMetresPerPixel =
        (std::hypot(mx.X - m0.X, mx.Y - m0.Y) + std::hypot(my.X - m0.X, my.Y - m0.Y)) / (2 * MeasureStep);
  } catch (const std::exception &) {
    return false;
  }
  if (!(std::isfinite(left) && std::isfinite(right) && std::isfinite(top) && std::isfinite(bottom) &&
        Extent.MercatorMetresPerPixel > 0 && std::isfinite(Extent.MercatorMetresPerPixel)))
    return false;
  Extent.Left = left;
  Extent.Right = right;
  Extent.Bottom = bottom;
  Extent.Top = top;
  return true;
}

void TSetViewport::SetCharts(std::vector<TSetChartExtent> Charts) {
  FCharts = std::move(Charts);
  Fit();
}

void TSetViewport::SetClientSize(int32_t Width, int32_t Height) {
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  if (Width == 0 || Height == 0) {
    FClientWidth = Width;
    FClientHeight = Height;
    return;
  }
  const bool first = !FSized;
  FSized = true;
  const TDoublePoint centre = Centre();
  FClientWidth = FLastWidth = Width;
  FClientHeight = FLastHeight = Height;
  if (first) {
    Fit();
    return;
  }
  FMetresPerPixel = std::clamp(FMetresPerPixel, MinMetresPerPixel(), MaxMetresPerPixel());
  CenterOn(centre);
}

TDoublePoint TSetViewport::ClientToMercator(const TDoublePoint &Client) const {
  return {(FOriginX + Client.X) * FMetresPerPixel, -(FOriginY + Client.Y) * FMetresPerPixel};
}

TDoublePoint TSetViewport::MercatorToClient(const TDoublePoint &Mercator) const {
  return {Mercator.X / FMetresPerPixel - FOriginX, -Mercator.Y / FMetresPerPixel - FOriginY};
}

TDoublePoint TSetViewport::ClientToWGS84(const TDoublePoint &Client) const {
  return MercatorInverse(ClientToMercator(Client), WGS84Ellipsoid());
}

TDoublePoint TSetViewport::WGS84ToClient(const TDoublePoint &WGS84) const {
  return MercatorToClient(MercatorForward(WGS84, WGS84Ellipsoid()));
}

TDoublePoint TSetViewport::Centre() const { return ClientToMercator({FLastWidth / 2.0, FLastHeight / 2.0}); }

double TSetViewport::MinMetresPerPixel() const {
  double finest = std::numeric_limits<double>::infinity(), inView = finest;
  const TDoublePoint a = ClientToMercator({0, 0}), b = ClientToMercator({double(FLastWidth), double(FLastHeight)});
  for (const TSetChartExtent &c : FCharts) {
    finest = std::min(finest, c.MercatorMetresPerPixel);
    if (c.Right >= a.X && c.Left <= b.X && c.Top >= b.Y && c.Bottom <= a.Y)
      inView = std::min(inView, c.MercatorMetresPerPixel);
  }
  const double m = std::isfinite(inView) ? inView : finest;
  return std::isfinite(m) ? m / MaxChartZoom : 1e-3;
}

double TSetViewport::MaxMetresPerPixel() const {
  if (FCharts.empty() || FLastWidth <= 0 || FLastHeight <= 0)
    return 1e5;
  const auto [left, bottom, right, top] = SetExtent();
  return 2 * std::max((right - left) / FLastWidth, (top - bottom) / FLastHeight);
}

void TSetViewport::SetOrigin(double CentreX, double CentreY) {
  // The corner snapped to a whole global pixel: the centre moves by at most
  // half a pixel for it.
  FOriginX = std::round(CentreX / FMetresPerPixel - FLastWidth / 2.0);
  FOriginY = std::round(-CentreY / FMetresPerPixel - FLastHeight / 2.0);
}

std::array<double, 4> TSetViewport::SetExtent() const {
  double left = FCharts[0].Left, right = FCharts[0].Right, bottom = FCharts[0].Bottom, top = FCharts[0].Top;
  for (const TSetChartExtent &c : FCharts) {
    left = std::min(left, c.Left);
    right = std::max(right, c.Right);
    bottom = std::min(bottom, c.Bottom);
    top = std::max(top, c.Top);
  }
  return {left, bottom, right, top};
}

void TSetViewport::Clamp() {
  if (FCharts.empty())
    return;
  const auto [left, bottom, right, top] = SetExtent();
  // The view's centre stays over the set: the set never leaves the view.
  const TDoublePoint c = Centre();
  const double x = std::clamp(c.X, left, right), y = std::clamp(c.Y, bottom, top);
  if (x != c.X || y != c.Y)
    SetOrigin(x, y);
}

void TSetViewport::ZoomAt(double NewMetresPerPixel, const TDoublePoint &Client) {
  if (!std::isfinite(NewMetresPerPixel) || !(NewMetresPerPixel > 0))
    return;
  const TDoublePoint anchor = ClientToMercator(Client);
  // The limit of the charts in view now, then of those in the new view (a
  // subset when zooming in: the limit can only rise).
  for (int pass = 0; pass < 2; ++pass) {
    FMetresPerPixel = std::clamp(NewMetresPerPixel, MinMetresPerPixel(), std::max(MinMetresPerPixel(), MaxMetresPerPixel()));
    FOriginX = std::round(anchor.X / FMetresPerPixel - Client.X);
    FOriginY = std::round(-anchor.Y / FMetresPerPixel - Client.Y);
    Clamp();
    if (FMetresPerPixel >= MinMetresPerPixel())
      break;
    NewMetresPerPixel = MinMetresPerPixel();
  }
}

void TSetViewport::ZoomSteps(int Steps, const TDoublePoint &Client) {
  if (Steps == 0)
    return;
  const double exact = StepsPerLevel * std::log2(FMetresPerPixel);
  const double nearest = std::round(exact);
  int k;
  if (std::fabs(exact - nearest) < 1e-9)
    k = static_cast<int>(nearest) - Steps;
  else if (Steps > 0)
    k = static_cast<int>(std::floor(exact)) - Steps + 1;
  else
    k = static_cast<int>(std::ceil(exact)) - Steps - 1;
  ZoomAt(StepMetres(k), Client);
}

void TSetViewport::ScrollBy(int32_t DX, int32_t DY) {
  FOriginX += DX;
  FOriginY += DY;
  Clamp();
}

void TSetViewport::CenterOn(const TDoublePoint &Mercator) {
  if (!std::isfinite(Mercator.X) || !std::isfinite(Mercator.Y))
    return;
  SetOrigin(Mercator.X, Mercator.Y);
  Clamp();
}

void TSetViewport::Fit() {
  if (FCharts.empty() || FLastWidth <= 0 || FLastHeight <= 0)
    return;
  const auto [left, bottom, right, top] = SetExtent();
  FMetresPerPixel = std::max({(right - left) / FLastWidth, (top - bottom) / FLastHeight, MinMetresPerPixel()});
  SetOrigin((left + right) / 2, (bottom + top) / 2);
}

double TSetViewport::GroundMetresPerPixel() const {
  // The ellipsoidal Mercator's scale at latitude phi is
  // sqrt(1 - e^2 sin^2 phi) / cos phi (Snyder, Map Projections: A Working
  // Manual, eq. 7-8).
  const double phi = ClientToWGS84({FLastWidth / 2.0, FLastHeight / 2.0}).X;
  const double s = std::sin(phi);
  return FMetresPerPixel * std::cos(phi) / std::sqrt(1 - WGS84Ellipsoid()->E2 * s * s);
}

double TSetViewport::ScaleNumber(double ScreenPixelMetres) const {
  return GroundMetresPerPixel() / ScreenPixelMetres;
}

std::string TSetViewport::ScaleText(double ScreenPixelMetres) const {
  const double n = ScaleNumber(ScreenPixelMetres);
  if (!std::isfinite(n) || !(n >= 1))
    return "";
  // Three significant digits, as a chart's scale is read off a scale bar.
  const double unit = std::pow(10.0, std::max(0.0, std::floor(std::log10(n)) - 2));
  return "1 : " + GroupThousands(static_cast<long long>(std::llround(n / unit) * static_cast<long long>(unit)));
}
