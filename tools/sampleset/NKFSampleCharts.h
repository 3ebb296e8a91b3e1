// The nine charts of the sample set as a publisher would lay them out over
// the made-up coast (NKFSampleGeography): two overview charts at 1:150,000,
// harbour and approach charts inside them, and one large approach chart,
// each on its own grid, datum and calibration. Gives each chart's tag (texts,
// calibration points, border); the pixels are drawn elsewhere.
#pragma once

#include <cstdint>
#include <string>

#include "NKFChartWriter.h"
#include "NKFSampleGeography.h"

enum class TSampleGrid { Mercator, TransverseMercator, RD };

struct TSampleChartPlan {
  const char *Title;      // the chart's name, as in its file name
  const char *Number;     // the publisher's chart number
  int32_t Scale;          // 1 : Scale at the chart's centre
  double MetresPerPixel;  // on the ground at the centre
  const char *Harbour;    // centre near this harbour, moved by East/NorthKm; null: at Centre
  double EastKm, NorthKm;
  TGeoPoint Centre;       // WGS 84, when no harbour is named
  int32_t Width, Height;
  TSampleGrid Grid;
  double K0, Lon0;        // transverse Mercator; Lon0 in degrees
  uint8_t DatumType;      // the tag's datum data: 0 by code, 1 by shift, 2 by parameters
  const char *DatumCode;  // type 0
  const char *DatumText;  // as printed on the chart
  double TurnDegrees;     // the grid turned against the image (three points)
  int32_t Points;         // 2 or 3 calibration points
  bool InsetCorner;       // the border leaves out the top right corner
};

// In the order of the set's file names (ChartFileNames).
const TSampleChartPlan &NKFSampleChartPlan(int Index);

// The centre of a chart in WGS 84.
TGeoPoint NKFSampleChartCentre(const TSampleChartPlan &Plan);

// The chart's grid name as printed on the chart ("Mercator", ...).
std::string NKFSampleGridText(const TSampleChartPlan &Plan);

// The chart's tag: texts, dates, calibration points laid so that the chart
// shows Width x Height pixels of MetresPerPixel around its centre (turned by
// TurnDegrees), its datum data and border. Links are left empty.
TNKFTagDescription NKFSampleChartTag(int Index);
