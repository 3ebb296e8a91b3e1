#include "PositionReadout.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <numbers>

#include "VmNKFCharts.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;
constexpr double ThousandthsPerDegree = 60000;

constexpr long long ThousandthsPerTurn = 360 * 60000;

// A whole number of thousandths of a minute as degrees and minutes with the
// hemisphere; zero is north or east.
std::string FormatThousandths(long long Thousandths, char Positive, char Negative) {
  const long long total = Thousandths < 0 ? -Thousandths : Thousandths;
  const long long degrees = total / 60000, thousandths = total % 60000;
  const char hemisphere = Thousandths >= 0 ? Positive : Negative;
  const std::string fraction = std::to_string(1000 + thousandths % 1000).substr(1); // three digits
  const long long minutes = thousandths / 1000;
  return std::to_string(degrees) + "\xB0 " + (minutes < 10 ? "0" : "") + std::to_string(minutes) + "." + fraction +
         "' " + hemisphere;
}

std::string GroupedMetres(double Value) {
  // Beyond the 64-bit range the position is meaningless anyway.
  if (!(std::fabs(Value) < 9e18))
    return "-";
  return GroupThousands(std::llround(Value));
}

// The datum's shorter name: a status bar has room for "WGS 1984", not for
// "WORLD GEODETIC SYSTEM 1984 (WGS 1984)".
std::string DatumName(const TNKFChart &Chart, const TGeodeticDatum *Datum) {
  if (Datum != nullptr && Datum->OldName != nullptr && *Datum->OldName &&
      (Datum->Name.empty() || std::strlen(Datum->OldName) < Datum->Name.size()))
    return Datum->OldName;
  if (Datum != nullptr && !Datum->Name.empty())
    return Datum->Name;
  if (!Chart.Text7.empty())
    return Chart.Text7;
  return "chart datum";
}

bool IsPosition(const TDoublePoint &Geographic) {
  return IsLatitude(Geographic.X / Degree) && IsLongitude(Geographic.Y / Degree);
}

std::string LatLon(const TDoublePoint &Geographic) {
  return FormatLatitude(Geographic.X / Degree) + "  " + FormatLongitude(Geographic.Y / Degree);
}

} // namespace

std::string GroupThousands(long long Value) {
  const unsigned long long magnitude = Value < 0 ? 0ULL - static_cast<unsigned long long>(Value)
                                                 : static_cast<unsigned long long>(Value);
  const std::string digits = std::to_string(magnitude);
  std::string grouped = Value < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      grouped += ' ';
    grouped += digits[i];
  }
  return grouped;
}

// Rounded once, as a whole number of thousandths of a minute, so that
// 59.9996' becomes the next degree and not "60.000".
std::string FormatLatitude(double Degrees) {
  if (!IsLatitude(Degrees))
    return "-";
  return FormatThousandths(std::llround(Degrees * ThousandthsPerDegree), 'N', 'S');
}

// A grid's inverse adds its central meridian without wrapping (179.75 + 0.5
// on a chart across the antimeridian) while the way into WGS 84 through
// geocentric coordinates wraps: both lines of the readout are reduced here,
// so that the same place reads the same on both. The reduction is exact
// (remainder), and is done again after rounding so that -179.9999999 reads
// as 180 east, the one spelling of that meridian.
std::string FormatLongitude(double Degrees) {
  if (!IsLongitude(Degrees))
    return "-";
  long long thousandths = std::llround(std::remainder(Degrees, 360) * ThousandthsPerDegree);
  if (thousandths <= -ThousandthsPerTurn / 2)
    thousandths += ThousandthsPerTurn;
  return FormatThousandths(thousandths, 'E', 'W');
}

bool IsLatitude(double Degrees) { return std::fabs(Degrees) <= 90; }

bool IsLongitude(double Degrees) {
  // Beyond this neighbouring doubles lie more than a thousandth of a minute
  // apart: the value names no meridian to the readout's precision.
  constexpr double Largest = 1 / (ThousandthsPerDegree * std::numeric_limits<double>::epsilon());
  return std::fabs(Degrees) <= Largest;
}

std::string FormatGrid(const TGeodeticCoordinateSystem &System, const TDoublePoint &EastNorth) {
  const char *name = "Grid", *first = "E", *second = "N";
  switch (System.Kind & 0x7F) {
  case gcsMercator: name = "Mercator"; break;
  case gcsTransverseMercator: name = "TM"; break;
  case gcsRD: name = "RD", first = "x", second = "y"; break;
  default: break;
  }
  return std::string(name) + " " + first + " " + GroupedMetres(EastNorth.X) + " m " + second + " " +
         GroupedMetres(EastNorth.Y) + " m";
}

TPositionReadout ReadPosition(TNKFChart &Chart, const TDoublePoint &Pixel) {
  TPositionReadout readout;
  if (!Chart.IsCalibrated()) {
    readout.Datum = "Chart not calibrated: no position";
    return readout;
  }
  if (!std::isfinite(Pixel.X) || !std::isfinite(Pixel.Y)) {
    readout.Datum = "No position here";
    return readout;
  }
  const TCalibration &c = *Chart.Calibration;
  try {
    const TDoublePoint datum = c.PixelToGeographic(Pixel), wgs84 = c.PixelToWGS84(Pixel);
    // A latitude beyond a pole, or no number at all, is where the grid's
    // inverse has left the earth: nowhere to name.
    if (!IsPosition(datum) || !IsPosition(wgs84)) {
      readout.Datum = "No position here";
      return readout;
    }
    readout.Datum = LatLon(datum) + "  " + DatumName(Chart, c.System().Datum);
    readout.WGS84 = LatLon(wgs84) + "  WGS 84";
    readout.Grid = FormatGrid(c.System(), c.PixelToProjected(Pixel));
    readout.Valid = true;
  } catch (const std::exception &e) {
    // Far outside the chart a projection's inverse can fail; the cursor is
    // then simply nowhere.
    readout = TPositionReadout{};
    readout.Datum = std::string("No position here: ") + e.what();
  }
  return readout;
}
