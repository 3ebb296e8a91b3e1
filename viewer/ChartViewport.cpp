#include "ChartViewport.h"

#include <algorithm>
#include <cmath>

namespace {

// Slack for the sample positions the warp forms in 24.8 fixed point and
// single precision: a position a hair below a pixel boundary may land on the
// pixel before it, so that pixel is read too.
constexpr double SampleSlack = 1.0 / 64;

// 2^(k / StepsPerLevel), exact whenever k is a multiple of StepsPerLevel.
double StepZoom(int k) {
  constexpr int S = TChartViewport::StepsPerLevel;
  const int q = (k >= 0 ? k / S : -((-k + S - 1) / S));
  const int r = k - q * S;
  return std::ldexp(std::exp2(static_cast<double>(r) / S), q);
}

} // namespace

void TChartViewport::SetChart(int32_t Width, int32_t Height, const std::array<TNKFLevel, NKFLevelCount> &Levels) {
  FWidth = std::max(Width, 0);
  FHeight = std::max(Height, 0);
  FLevels = Levels;
  Fit();
}

void TChartViewport::SetClientSize(int32_t Width, int32_t Height) {
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  // A minimised window has no client: the view waits unchanged for its return.
  if (Width == 0 || Height == 0) {
    FClientWidth = Width;
    FClientHeight = Height;
    return;
  }
  const bool first = !FSized;
  FSized = true;
  const TDoublePoint centre = ClientToChart({FLastWidth / 2.0, FLastHeight / 2.0});
  FClientWidth = FLastWidth = Width;
  FClientHeight = FLastHeight = Height;
  // The window's first size shows the whole chart: there was no view to keep.
  if (first) {
    Fit();
    return;
  }
  FZoom = std::clamp(FZoom, MinZoom(), MaxZoom());
  CenterOn(centre);
}

double TChartViewport::FitZoom() const {
  if (FWidth <= 0 || FHeight <= 0 || FLastWidth <= 0 || FLastHeight <= 0)
    return 1;
  return std::min(static_cast<double>(FLastWidth) / FWidth, static_cast<double>(FLastHeight) / FHeight);
}

double TChartViewport::MinZoom() const { return std::max(std::min({FitZoom(), 1.0, MaxZoom()}), CoarsestZoom); }

TDoublePoint TChartViewport::ClientToChart(const TDoublePoint &Client) const {
  return {FOrigin.X + Client.X / FZoom, FOrigin.Y + Client.Y / FZoom};
}

TDoublePoint TChartViewport::ChartToClient(const TDoublePoint &Chart) const {
  return {(Chart.X - FOrigin.X) * FZoom, (Chart.Y - FOrigin.Y) * FZoom};
}

void TChartViewport::ClampAxis(double &Origin, int32_t Extent, int32_t Client) const {
  if (Client <= 0)
    return;
  const double visible = Client / FZoom;
  if (visible >= Extent)
    Origin = -(visible - Extent) / 2;
  else
    Origin = std::clamp(Origin, 0.0, Extent - visible);
}

void TChartViewport::Clamp() {
  ClampAxis(FOrigin.X, FWidth, FClientWidth);
  ClampAxis(FOrigin.Y, FHeight, FClientHeight);
  // On a level's own zoom the view starts at a whole pixel of the level, so
  // that it is painted as a straight copy, sharp and fast, and not warped by
  // a fraction of a pixel: a wheel step about the cursor or a centring moves
  // the chart by at most half a client pixel for it.
  if (LevelZoom() == 1) {
    const double unit = std::ldexp(1.0, Level());
    FOrigin.X = std::round(FOrigin.X / unit) * unit;
    FOrigin.Y = std::round(FOrigin.Y / unit) * unit;
  }
}

void TChartViewport::ZoomAt(double NewZoom, const TDoublePoint &Client) {
  if (!std::isfinite(NewZoom))
    return;
  const TDoublePoint anchor = ClientToChart(Client);
  FZoom = std::clamp(NewZoom, MinZoom(), MaxZoom());
  FOrigin = {anchor.X - Client.X / FZoom, anchor.Y - Client.Y / FZoom};
  Clamp();
}

void TChartViewport::ZoomSteps(int Steps, const TDoublePoint &Client) {
  if (Steps == 0)
    return;
  // The step the zoom is on, or the one below it; a zoom within a relative
  // hair of a step counts as on it, so rounding never skips a step.
  const double exact = StepsPerLevel * std::log2(FZoom);
  const double nearest = std::round(exact);
  const bool onStep = std::fabs(exact - nearest) < 1e-9;
  int k;
  if (onStep)
    k = static_cast<int>(nearest) + Steps;
  else if (Steps > 0)
    k = static_cast<int>(std::floor(exact)) + Steps;
  else
    k = static_cast<int>(std::ceil(exact)) + Steps;
  ZoomAt(StepZoom(k), Client);
}

void TChartViewport::ScrollBy(double DX, double DY) {
  if (!std::isfinite(DX) || !std::isfinite(DY))
    return;
  FOrigin.X += DX / FZoom;
  FOrigin.Y += DY / FZoom;
  Clamp();
}

void TChartViewport::CenterOn(const TDoublePoint &Chart) {
  if (!std::isfinite(Chart.X) || !std::isfinite(Chart.Y))
    return;
  FOrigin = {Chart.X - FClientWidth / (2 * FZoom), Chart.Y - FClientHeight / (2 * FZoom)};
  Clamp();
}

void TChartViewport::Fit() {
  const double fit = FitZoom();
  FZoom = std::clamp(fit, MinZoom(), MaxZoom());
  FOrigin = {0, 0};
  Clamp();
  if (FZoom > fit)
    CenterOn({FWidth / 2.0, FHeight / 2.0});
}

namespace {

// Client pixels per scroll unit for a chart side of Extent client pixels.
double ScrollUnit(double Extent) {
  return Extent > TChartViewport::ScrollRange ? Extent / TChartViewport::ScrollRange : 1;
}

// A position in scroll units, within 0..Limit.
int32_t ScrollUnits(double ClientPixels, double Unit, int32_t Limit) {
  const double units = std::round(ClientPixels / Unit);
  return static_cast<int32_t>(std::clamp(units, 0.0, static_cast<double>(Limit)));
}

} // namespace

double TChartViewport::ScrollUnitX() const { return ScrollUnit(FWidth * FZoom); }
double TChartViewport::ScrollUnitY() const { return ScrollUnit(FHeight * FZoom); }
int32_t TChartViewport::ContentWidth() const { return ScrollUnits(FWidth * FZoom, ScrollUnitX(), ScrollRange); }
int32_t TChartViewport::ContentHeight() const { return ScrollUnits(FHeight * FZoom, ScrollUnitY(), ScrollRange); }
int32_t TChartViewport::PageWidth() const {
  return std::max(ScrollUnits(FClientWidth, ScrollUnitX(), ScrollRange), FClientWidth > 0 ? 1 : 0);
}
int32_t TChartViewport::PageHeight() const {
  return std::max(ScrollUnits(FClientHeight, ScrollUnitY(), ScrollRange), FClientHeight > 0 ? 1 : 0);
}
int32_t TChartViewport::ScrollX() const { return ScrollUnits(FOrigin.X * FZoom, ScrollUnitX(), ContentWidth()); }
int32_t TChartViewport::ScrollY() const { return ScrollUnits(FOrigin.Y * FZoom, ScrollUnitY(), ContentHeight()); }

void TChartViewport::ScrollTo(int32_t X, int32_t Y) {
  FOrigin = {X * ScrollUnitX() / FZoom, Y * ScrollUnitY() / FZoom};
  Clamp();
}

// One axis alone: the other keeps its place exactly, not rounded to a unit.
void TChartViewport::ScrollToX(int32_t X) {
  FOrigin.X = X * ScrollUnitX() / FZoom;
  Clamp();
}

void TChartViewport::ScrollToY(int32_t Y) {
  FOrigin.Y = Y * ScrollUnitY() / FZoom;
  Clamp();
}

int32_t TChartViewport::Level() const {
  // Level i has 2^-i chart pixels per full-resolution pixel; the coarsest
  // with 2^-i >= Zoom. frexp gives Zoom = m 2^e with m in [0.5, 1), exactly.
  int e = 0;
  const double m = std::frexp(FZoom, &e);
  const int level = (m == 0.5) ? 1 - e : -e;
  return std::clamp(level, 0, NKFLevelCount - 1);
}

double TChartViewport::LevelZoom() const { return std::ldexp(FZoom, Level()); }

bool TChartViewport::IsStraightCopy() const {
  const int32_t level = Level();
  const double x = std::ldexp(FOrigin.X, -level), y = std::ldexp(FOrigin.Y, -level);
  return LevelZoom() == 1 && x == std::floor(x) && y == std::floor(y);
}

double TChartViewport::LevelSampleX(double ClientX) const {
  return std::ldexp((ClientX + 0.5) / FZoom + FOrigin.X, -Level()) - 0.5;
}

double TChartViewport::LevelSampleY(double ClientY) const {
  return std::ldexp((ClientY + 0.5) / FZoom + FOrigin.Y, -Level()) - 0.5;
}

TChartViewport::TLevelRect TChartViewport::LevelPixelsRead() const {
  const TNKFLevel &l = FLevels[static_cast<size_t>(Level())];
  const double lw = l.Width, lh = l.Height;
  TLevelRect r{0, 0, 0, 0};
  if (FClientWidth <= 0 || FClientHeight <= 0 || lw <= 0 || lh <= 0)
    return r;
  double left, top, right, bottom;
  if (IsStraightCopy()) {
    left = LevelSampleX(0);
    top = LevelSampleY(0);
    right = left + FClientWidth;
    bottom = top + FClientHeight;
  } else {
    left = std::floor(LevelSampleX(0) - SampleSlack);
    top = std::floor(LevelSampleY(0) - SampleSlack);
    right = std::floor(LevelSampleX(FClientWidth - 1) + SampleSlack) + 2;
    bottom = std::floor(LevelSampleY(FClientHeight - 1) + SampleSlack) + 2;
  }
  left = std::clamp(left, 0.0, lw);
  right = std::clamp(right, 0.0, lw);
  top = std::clamp(top, 0.0, lh);
  bottom = std::clamp(bottom, 0.0, lh);
  if (left >= right || top >= bottom)
    return r;
  return {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
          static_cast<int32_t>(bottom)};
}

std::vector<TViewTile> TChartViewport::TilesIn(int32_t Col0, int32_t Row0, int32_t Col1, int32_t Row1) const {
  const TNKFLevel &l = FLevels[static_cast<size_t>(Level())];
  Col0 = std::max(Col0, 0);
  Row0 = std::max(Row0, 0);
  Col1 = std::min(Col1, static_cast<int32_t>(l.TilesX) - 1);
  Row1 = std::min(Row1, static_cast<int32_t>(l.TilesY) - 1);
  std::vector<TViewTile> tiles;
  for (int32_t row = Row0; row <= Row1; ++row)
    for (int32_t col = Col0; col <= Col1; ++col)
      tiles.push_back({static_cast<int32_t>(l.FirstTile + static_cast<uint32_t>(row) * l.TilesX +
                                            static_cast<uint32_t>(col)),
                       col, row});
  return tiles;
}

std::vector<TViewTile> TChartViewport::VisibleTiles() const {
  const TLevelRect r = LevelPixelsRead();
  if (r.Left >= r.Right)
    return {};
  return TilesIn(r.Left / NKFTileSize, r.Top / NKFTileSize, (r.Right - 1) / NKFTileSize,
                 (r.Bottom - 1) / NKFTileSize);
}

std::vector<TViewTile> TChartViewport::RingTiles() const {
  const TLevelRect r = LevelPixelsRead();
  if (r.Left >= r.Right)
    return {};
  const int32_t c0 = r.Left / NKFTileSize, r0 = r.Top / NKFTileSize;
  const int32_t c1 = (r.Right - 1) / NKFTileSize, r1 = (r.Bottom - 1) / NKFTileSize;
  std::vector<TViewTile> ring;
  for (const TViewTile &t : TilesIn(c0 - 1, r0 - 1, c1 + 1, r1 + 1))
    if (t.Column < c0 || t.Column > c1 || t.Row < r0 || t.Row > r1)
      ring.push_back(t);
  return ring;
}
