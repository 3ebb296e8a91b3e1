// Writes the nine charts of the sample set (NKFSampleCharts) into a folder,
// under the set's file names: each chart's tag, its overlapping charts as
// links, and its pixels drawn through the chart's own calibration at every
// level of the pyramid, encoded by our tile codec. No clock and no random
// source: two runs write the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "VmGeodetics.h"

struct TNKFSampleSetChart {
  std::string FileName; // within the folder
  int32_t Width = 0, Height = 0;
  uint32_t Tiles = 0;   // tile directory entries
  size_t Blobs = 0;     // distinct tiles stored
  int64_t Bytes = 0;    // file size
  std::vector<std::string> Links; // file names of the overlapping charts
};

using TNKFSampleSetLog = std::function<void(const std::string &Line)>;

// Writes the set into Folder (which must exist) and reads every chart back
// with the chart reader; raises std::runtime_error when a chart does not
// open, calibrate or keep its calibration points. Only: when not empty, the
// indexes (in ChartFileNames order) of the charts to draw; the others are
// left with their tags and placeholder tiles (for a quicker second run that
// is compared with a first), and the result lists the drawn ones only.
std::vector<TNKFSampleSetChart> NKFWriteSampleSet(const std::string &Folder, const TNKFSampleSetLog &Log = nullptr,
                                                  const std::vector<int> &Only = {});

// Frees Cairo's and fontconfig's process-wide caches (fonts, patterns), so
// that a leak checker at exit reports only real leaks. Call it last, after
// every drawing has ended.
void NKFReleaseDrawingCaches();

class TNKFChart;

// Points along a chart's border, Spacing chart pixels apart or closer, in
// the calibration's pixels (border vertices lie on pixel corners, half a
// pixel before the centres).
std::vector<TDoublePoint> NKFBorderPoints(const TNKFChart &Chart, double Spacing);

// A chart's border in WGS 84 (latitude, longitude in radians), along its
// edges every few hundred pixels, through the chart's calibration.
std::vector<TDoublePoint> NKFSampleFootprint(const TNKFChart &Chart);

// Whether two WGS 84 outlines (as NKFSampleFootprint gives) overlap.
bool NKFFootprintsOverlap(const std::vector<TDoublePoint> &A, const std::vector<TDoublePoint> &B);
