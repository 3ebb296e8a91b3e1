#include "NKFGeoreference.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double ArcSecond = std::numbers::pi / 648000;
constexpr double PartsPerMillion = 1e-6;

// Why a chart's points were refused, by the status of its set-up.
std::string RefusalReason(const TNKFChart &Chart) {
  if (!Chart.CalibrationData)
    return "its tag carries no calibration points";
  switch (Chart.CalibrationStatus) {
  case csTooClose: return "its reference points lie too close together";
  case csSamePixels: return "two of its reference points share a pixel row or column";
  case csSamePositions: return "two of its reference positions coincide";
  default: return "its calibration was not accepted";
  }
}

bool Finite(std::initializer_list<double> Values) {
  for (double v : Values)
    if (!std::isfinite(v))
      return false;
  return true;
}

[[noreturn]] void Refuse(const TNKFChart &Chart, const std::string &Why) {
  throw ENKFExportError("NKFChartGeoreference: " + Chart.FileName + " " + Why);
}

void CheckDatum(const TNKFChart &Chart, const TGeodeticDatum *Datum) {
  if (Datum == nullptr)
    Refuse(Chart, "has a grid without a datum, which cannot be tied to WGS 84");
  const TGeodeticEllipsoid &e = *Datum->Ellipsoid;
  // Our formulas need an oblate ellipsoid; a sphere (1/f = 0) or worse has
  // no flattening they can use, and GDAL would read 0 as a sphere.
  if (!(e.A > 0 && std::isfinite(e.A) && e.InvF > 1 && std::isfinite(e.InvF)))
    Refuse(Chart, "has an ellipsoid that cannot be expressed (a = " + Format("%.17g", e.A) +
                      ", 1/f = " + Format("%.17g", e.InvF) + ")");
}

} // namespace

TNKFTOWGS84 NKFPositionVectorTOWGS84(const TGeodeticDatum &Datum) {
  // The tables keep DY = -dY (their Y axis points west) and RX = -rX,
  // RY = +rY, RZ = -rZ of the coordinate-frame rotations; position-vector
  // rotations are the coordinate-frame ones negated.
  TNKFTOWGS84 t;
  t.DX = Datum.DX;
  t.DY = -Datum.DY;
  t.DZ = Datum.DZ;
  t.RX = Datum.RX / ArcSecond;
  t.RY = -Datum.RY / ArcSecond;
  t.RZ = Datum.RZ / ArcSecond;
  t.PPM = (Datum.Scale - 1) / PartsPerMillion;
  return t;
}

TNKFGeoreference NKFChartGeoreference(const TNKFChart &Chart) {
  if (!Chart.IsCalibrated())
    Refuse(Chart, "is not calibrated: " + RefusalReason(Chart));
  const TCalibration &calibration = *Chart.Calibration;
  const TGeodeticCoordinateSystem &system = calibration.System();
  TNKFGeoreference r;
  r.Kind = system.Kind & 0x7F;
  if (r.Kind != gcsMercator && r.Kind != gcsTransverseMercator && r.Kind != gcsRD)
    Refuse(Chart, "is calibrated on a grid that cannot be exported");
  CheckDatum(Chart, system.Datum);
  r.Datum = system.Datum;
  if (r.Kind == gcsTransverseMercator) {
    if (!(system.K0 > 0 && std::isfinite(system.K0) && std::isfinite(system.Lon0)))
      Refuse(Chart, "has a transverse Mercator grid that cannot be expressed (scale " + Format("%.17g", system.K0) +
                        ", central meridian " + Format("%.17g", system.Lon0) + " rad)");
    r.K0 = system.K0;
    r.Lon0 = system.Lon0;
  }
  const TCalibrationAffine &a = calibration.Inverse();
  const TDoublePoint corner = a.Apply(TDoublePoint{-0.5, -0.5});
  r.GeoTransform = {corner.X, a.M11, a.M21, corner.Y, a.M12, a.M22};
  const double determinant = a.M11 * a.M22 - a.M21 * a.M12;
  if (!Finite({corner.X, corner.Y, a.M11, a.M12, a.M21, a.M22}) || !(std::fabs(determinant) > 0))
    Refuse(Chart, "has a calibration whose pixel-to-grid map is degenerate");
  return r;
}

TGeoTransform NKFLevelGeoTransform(const TGeoTransform &FullResolution, int Level) {
  const double f = std::ldexp(1.0, Level);
  const TGeoTransform &g = FullResolution;
  return {g[0], g[1] * f, g[2] * f, g[3], g[4] * f, g[5] * f};
}

std::vector<TDoublePoint> NKFFootprint(const TNKFChart &Chart) {
  NKFChartGeoreference(Chart); // the same refusals as the export
  std::vector<TDoublePoint> points;
  points.reserve(static_cast<size_t>(Chart.Border.Count()));
  for (int32_t i = 0; i < Chart.Border.Count(); ++i) {
    const TPoint p = Chart.Border.GetPoint(i);
    points.push_back(Chart.Calibration->PixelToWGS84(TDoublePoint{p.X - 0.5, p.Y - 0.5}));
  }
  return points;
}
