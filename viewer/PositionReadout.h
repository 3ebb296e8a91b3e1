// The status bar's "where am I": a chart pixel as latitude and longitude on
// the chart's datum and on WGS 84, and as grid coordinates of the chart's
// projection. Texts are Windows-1252 (degree sign 0xB0).
#pragma once

#include <string>

#include "VmGeodetics.h"

class TNKFChart;

// Degrees and decimal minutes to a thousandth of a minute with the
// hemisphere: "52\xB0 22.123' N", "4\xB0 05.456' E". Rounding carries into
// the degrees (never 60.000 minutes); a value that rounds to zero, negative
// zero included, is north or east. A longitude is reduced to (-180, 180]
// first: 180.25 is "179\xB0 45.000' W", 180 and -180 are "180\xB0 00.000' E".
// What is no position gives "-": not a number, an infinity, a latitude
// beyond a pole, a longitude too large to hold a thousandth of a minute.
std::string FormatLatitude(double Degrees);
std::string FormatLongitude(double Degrees);
// Whether Degrees is a latitude (within -90..90) or a longitude (a finite
// number whose doubles are finer than a thousandth of a minute, some 7.5e10
// degrees); not a number is neither.
bool IsLatitude(double Degrees);
bool IsLongitude(double Degrees);

// Digits grouped by threes with spaces, as charts print scales and grid
// values: "-1 234 567".
std::string GroupThousands(long long Value);

// Grid coordinates as "<grid> <first> <metres> m <second> <metres> m", whole
// metres grouped by thousands with spaces: "RD x 121 687 m y 487 484 m",
// "TM E 312 004 m N 5 880 217 m", "Mercator E 543 210 m N 6 987 654 m".
std::string FormatGrid(const TGeodeticCoordinateSystem &System, const TDoublePoint &EastNorth);

struct TPositionReadout {
  bool Valid = false;
  std::string Datum; // "<lat>  <lon>  <datum name>", or why there is no position
  std::string WGS84; // "<lat>  <lon>  WGS 84"
  std::string Grid;  // FormatGrid
};

// The readout at a full-resolution chart pixel (fractional: the cursor's
// place). An uncalibrated chart gives Valid false and says so in Datum, and
// so does a place the grid's inverse puts beyond a pole.
TPositionReadout ReadPosition(TNKFChart &Chart, const TDoublePoint &Pixel);
