#include "NKFSampleCharts.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

#include "ChartSetNames.h"
#include "VmGeodetics.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;
constexpr double ArcSecond = Degree / 3600;

// A local datum of the made-up country, on Bessel's ellipsoid with a
// seven-parameter shift to WGS 84 of its own (usual frame, coordinate-frame
// rotations in arc seconds, parts per million), carried by one chart's tag.
constexpr double Welmeland1975[] = {571.3, 45.2, 470.9, 0.35, -0.42, 1.71, 3.8};
constexpr double BesselA = 6377397.155, BesselInvF = 299.1528128;
// The shift of the chart whose datum is WGS 84 moved so that its grid lines up.
constexpr double ShiftLat = 0.4 * ArcSecond, ShiftLon = -0.7 * ArcSecond;

using G = TSampleGrid;
// In the order of ChartFileNames.
const TSampleChartPlan Plans[ChartFileCount] = {
    {"Aldenhof", "WML 1815", 30000, 3.0, nullptr, 0, 0, {53.100, 4.880}, 12000, 9000, G::TransverseMercator, 0.9999,
     5.0, 0, "EUR-A", "ED 50", 0, 2, false},
    {"kvt Welmeland noord - Baarsum", "WML 1811", 12500, 1.25, "Baarsum", -0.6, 0.1, {}, 2400, 1800, G::RD, 0, 0, 0,
     "", "RD (Bessel, Amersfoort)", 0, 2, false},
    {"kvt Welmeland noord - Corlum", "WML 1812", 15000, 1.5, "Corlum", -0.5, -0.1, {}, 2000, 1500,
     G::TransverseMercator, 0.9996, 3.0, 2, "", "Welmeland 1975 (Bessel)", 0, 2, false},
    {"kvt Welmeland noord - Dalmeer", "WML 1813", 25000, 2.5, "Dalmeer", -1.4, 0.3, {}, 3000, 2200, G::Mercator, 0, 0,
     0, "RD", "RD (Bessel, zeven parameters)", 4.0, 3, false},
    {"kvt Welmeland noord - Dalmoog", "WML 1814", 20000, 2.0, "Dalmoog", 0.6, -0.2, {}, 2400, 1600, G::Mercator, 0, 0,
     1, "", "WGS 84 (verschoven)", 0, 2, false},
    {"kvt Welmeland noord - Eemstad", "WML 1816", 12500, 1.25, "Eemstad", -0.3, -0.4, {}, 1500, 1000,
     G::TransverseMercator, 0.9996, 3.0, 0, "WGE", "WGS 84", 0, 3, true},
    {"kvt Welmeland noord", "WML 1810", 150000, 15.0, nullptr, 0, 0, {53.440, 5.100}, 5000, 4400, G::Mercator, 0, 0,
     0, "WGE", "WGS 84", 0, 2, false},
    {"kvt Welmeland zuid - Fennum", "WML 1821", 20000, 2.0, "Fennum", -1.0, 0.2, {}, 2800, 2000, G::RD, 0, 0, 0, "",
     "RD (Bessel, Amersfoort)", 0, 3, false},
    {"kvt Welmeland zuid", "WML 1820", 150000, 15.0, nullptr, 0, 0, {52.880, 4.780}, 4400, 4400, G::Mercator, 0, 0,
     0, "EUR-A", "ED 50", 0, 3, false},
};

const TGeodeticDatum *Welmeland1975Datum() {
  const double *p = Welmeland1975;
  return GeodeticDatumCreateFromParameters(GeodeticEllipsoidCreateFromParameters(BesselInvF, BesselA), p[0], -p[1],
                                           p[2], -p[3] * ArcSecond, p[4] * ArcSecond, -p[5] * ArcSecond,
                                           1 + p[6] * 1e-6);
}

// The grid the chart's map points are given in. A datum given by shift is
// derived by the chart from its own calibration; its grid is WGS 84's.
TGeodeticCoordinateSystem GridSystem(const TSampleChartPlan &s) {
  if (s.Grid == G::RD)
    return CoordinateSystemRD();
  const TGeodeticDatum *datum = s.DatumType == 0   ? GeodeticDatumCreate(s.DatumCode)
                                : s.DatumType == 2 ? Welmeland1975Datum()
                                                   : WGS84Datum();
  switch (s.Grid) {
  case G::Mercator: return CoordinateSystemMercator(datum);
  default: return CoordinateSystemTransverseMercator(datum, s.K0, s.Lon0 * Degree);
  }
}

TDoublePoint ToGrid(const TGeoPoint &p, const TGeodeticCoordinateSystem &Grid) {
  return ConvertPoint({p.Lat * Degree, p.Lon * Degree}, CoordinateSystemGeographic(WGS84Datum()), Grid);
}

// Grid metres per metre on the ground at p, eastward (the grids are conformal).
double PointScale(const TGeoPoint &p, const TGeodeticCoordinateSystem &Grid) {
  const TGeodeticEllipsoid &e = *WGS84Datum()->Ellipsoid;
  const double phi = p.Lat * Degree, ground = 100;
  const double N = e.A / std::sqrt(1 - e.E2 * std::sin(phi) * std::sin(phi));
  const double dLon = ground / (N * std::cos(phi)) / Degree;
  const TDoublePoint a = ToGrid({p.Lat, p.Lon - dLon / 2}, Grid), b = ToGrid({p.Lat, p.Lon + dLon / 2}, Grid);
  return std::hypot(b.X - a.X, b.Y - a.Y) / ground;
}

std::string ScaleText(int32_t Scale) {
  std::string digits = std::to_string(Scale), grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      grouped += ' ';
    grouped += digits[i];
  }
  return "1 : " + grouped;
}

std::vector<TNKFWriterBorderPoint> Border(const TSampleChartPlan &s) {
  const int32_t w = s.Width, h = s.Height;
  if (!s.InsetCorner)
    return {{0, 0}, {w, 0}, {w, h}, {0, h}};
  // The top right corner is left out, as where a chart's frame steps round
  // a neighbouring chart's title.
  const int32_t iw = w / 4, ih = h / 3;
  return {{0, 0}, {w - iw, 0}, {w - iw, ih}, {w, ih}, {w, h}, {0, h}};
}

} // namespace

const TSampleChartPlan &NKFSampleChartPlan(int Index) {
  if (Index < 0 || Index >= ChartFileCount)
    throw std::out_of_range("NKFSampleChartPlan: no chart " + std::to_string(Index));
  return Plans[Index];
}

TGeoPoint NKFSampleChartCentre(const TSampleChartPlan &s) {
  if (s.Harbour == nullptr)
    return s.Centre;
  const TGeoPoint h = NKFSampleHarbour(s.Harbour).Position;
  return {h.Lat + s.NorthKm / 111.25, h.Lon + s.EastKm / (111.32 * std::cos(h.Lat * Degree))};
}

std::string NKFSampleGridText(const TSampleChartPlan &s) {
  switch (s.Grid) {
  case G::Mercator: return "Mercator";
  case G::TransverseMercator:
    return "Transversale Mercator (k0 " + std::to_string(s.K0).substr(0, 6) + ", " +
           std::to_string(static_cast<int>(s.Lon0)) + " gr. O)";
  default: return "RD-stelsel";
  }
}

TNKFTagDescription NKFSampleChartTag(int Index) {
  const TSampleChartPlan &s = NKFSampleChartPlan(Index);
  TNKFTagDescription tag;
  tag.Text1 = s.Title;
  tag.Text2 = "ORVA Welmeland 2003";
  tag.Text3 = ScaleText(s.Scale);
  tag.Text5 = s.Number;
  tag.Text6 = "Editie 2003";
  tag.Text7 = s.DatumText;
  tag.Text8 = NKFSampleGridText(s);
  tag.Text9 = "Diepten in meters t.o.v. LAT";
  tag.Text10 = "Uitgave april 2003, bijgewerkt tot BaZ 46/2003";
  tag.Text11 = "Alleen gebruiken met de bijgewerkte Berichten aan Zeevarenden";
  tag.Number1 = s.Scale;
  tag.Number2 = static_cast<uint32_t>(Index + 1);
  tag.Number3 = 2003;
  const std::string id = std::string("ORVA2003") + s.Number;
  for (size_t i = 0; i < tag.Identifier.size() && i < id.size(); ++i)
    tag.Identifier[i] = static_cast<uint8_t>(id[i]);
  tag.Date1 = "20030401";
  tag.Date2 = "20031115";
  tag.Date3 = "20041231";
  tag.Value1 = s.Scale;
  tag.Value2 = NKFSampleChartCentre(s).Lat;

  tag.Projection = s.Grid == G::Mercator             ? TNKFWriterProjection::Mercator
                   : s.Grid == G::TransverseMercator ? TNKFWriterProjection::TransverseMercator
                                                     : TNKFWriterProjection::RD;
  tag.K0 = s.K0;
  tag.Lon0 = s.Lon0 * Degree;
  tag.DatumTypeCode = s.DatumType;
  tag.DatumCode = s.DatumCode;
  tag.DLat = ShiftLat;
  tag.DLon = ShiftLon;
  const double *p = Welmeland1975;
  tag.DatumParameters = {p[0], -p[1], p[2], -p[3] * ArcSecond, p[4] * ArcSecond, -p[5] * ArcSecond,
                         1 + p[6] * 1e-6, BesselA, BesselInvF};

  // The grid around the centre: Width x Height pixels of MetresPerPixel on
  // the ground, turned by TurnDegrees (north up when 0).
  const TGeodeticCoordinateSystem grid = GridSystem(s);
  const TGeoPoint centre = NKFSampleChartCentre(s);
  const TDoublePoint c = ToGrid(centre, grid);
  const double size = s.MetresPerPixel * PointScale(centre, grid), turn = s.TurnDegrees * Degree;
  const auto gridOf = [&](const TDoublePoint &Pixel) {
    const double u = (Pixel.X - s.Width / 2.0) * size, v = -(Pixel.Y - s.Height / 2.0) * size;
    return TDoublePoint{c.X + std::cos(turn) * u - std::sin(turn) * v, c.Y + std::sin(turn) * u + std::cos(turn) * v};
  };
  const double w = s.Width, h = s.Height;
  const std::array<TDoublePoint, 3> pixels =
      s.Points == 3 ? std::array<TDoublePoint, 3>{{{0.1 * w, 0.1 * h}, {0.9 * w, 0.2 * h}, {0.4 * w, 0.9 * h}}}
                    : std::array<TDoublePoint, 3>{{{0.1 * w, 0.12 * h}, {0.9 * w, 0.85 * h}, {0, 0}}};
  tag.PointCount = s.Points;
  for (int i = 0; i < 3; ++i) {
    tag.PixelPoints[i] = {std::round(pixels[i].X), std::round(pixels[i].Y)};
    tag.MapPoints[i] = i < s.Points ? gridOf(tag.PixelPoints[i]) : TDoublePoint{0, 0};
  }
  tag.Border = Border(s);
  return tag;
}
