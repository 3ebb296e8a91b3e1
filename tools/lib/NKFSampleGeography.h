// The made-up coast of the sample chart set, as vector data in WGS 84
// latitude and longitude (degrees): a mainland coast running north-east
// across 53 N 5 E with the sea to its west, two islands off it, seven
// harbours named after the set's charts, depth areas and contours, lights and
// buoys. Every chart of the set is drawn from this one description, each
// through its own calibration, so that charts agree wherever they overlap.
// Built once from fixed formulas: the same on every run and platform.
#pragma once

#include <string>
#include <vector>

struct TGeoPoint {
  double Lat = 0; // degrees north, WGS 84
  double Lon = 0; // degrees east
};

using TGeoLine = std::vector<TGeoPoint>;

enum class TSampleMarkKind { Light, PortBuoy, StarboardBuoy };

struct TSampleMark {
  TSampleMarkKind Kind;
  TGeoPoint Position;
  std::string Label; // the light's character; empty for buoys
};

struct TSamplePlace {
  std::string Name;
  TGeoPoint Position;
};

struct TSampleGeography {
  // Closed polygons (the last point joins the first). The mainland and the
  // mainland's depth areas close far inland, beyond every chart.
  std::vector<TGeoLine> Land;
  std::vector<TGeoLine> Shallow5;  // water less than 5 m deep (land included)
  std::vector<TGeoLine> Shallow10; // less than 10 m (land included)
  // Depth contours drawn as lines only: the 20 m line of each coast.
  std::vector<TGeoLine> Contour20;
  // The mainland coast alone, south to north with the sea on its left, as a
  // line (for tests that walk along it).
  TGeoLine Coast;
  std::vector<TSamplePlace> Harbours; // at the head of each harbour
  std::vector<TSamplePlace> Islands;  // island names at their centres
  std::vector<TSamplePlace> SeaNames;
  std::vector<TSampleMark> Marks;
};

const TSampleGeography &NKFSampleGeography();

// The harbour of that name (one of the seven); raises std::out_of_range.
const TSamplePlace &NKFSampleHarbour(const std::string &Name);
