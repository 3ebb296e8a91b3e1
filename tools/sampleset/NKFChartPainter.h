// Draws the made-up coast (NKFSampleGeography) into one chart's pixels with
// Cairo, the way a chart user expects to see it: land buff, shallow water
// light blue, deep water white, a dark coast line, thin blue depth contours,
// buoys and lights, names, a graticule with labels on the chart's own datum,
// and the title block in the top left corner. Every position goes through
// the chart's calibration (WGS 84 to pixel for the geography, chart datum to
// pixel for the graticule), so charts that overlap show the coast in the
// same place. Pixels beyond the chart's border are transparent.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "NKFChartWriter.h"
#include "NKFSampleGeography.h"
#include "VmGeodeticsCalibration.h"

// The colours of the chart, 0xRRGGBB; a test tells land from water by them.
constexpr uint32_t NKFSampleLandColor = 0xF3DFA2;
constexpr uint32_t NKFSampleShallow5Color = 0xA9D3EF;
constexpr uint32_t NKFSampleShallow10Color = 0xD3E9F7;
constexpr uint32_t NKFSampleDeepColor = 0xFFFFFF;

struct TNKFChartTitleBlock {
  std::vector<std::string> Lines; // the first one is the title, in bold
};

class TNKFChartPainter {
public:
  // Calibration: the chart's own, of Width x Height pixels; Border in chart
  // pixels as the tag stores it (vertices on pixel corners).
  TNKFChartPainter(const TCalibration &Calibration, const std::vector<TNKFWriterBorderPoint> &Border,
                   TNKFChartTitleBlock Title);

  // Paints pyramid level Level (a pixel there covers 2^Level chart pixels
  // from the same top left corner) into Surface, an ARGB32 image whose row 0
  // is the level's row Top. Pixels beyond the level's image are transparent.
  void Paint(cairo_surface_t *Surface, int Level, int Top) const;

private:
  using TPixelLine = std::vector<TDoublePoint>;
  struct TLabel {
    TDoublePoint At;
    std::string Text;
  };
  struct TMark {
    TSampleMarkKind Kind;
    TDoublePoint At;
    std::string Label;
  };

  const TCalibration &FCalibration;
  std::vector<TNKFWriterBorderPoint> FBorder;
  TNKFChartTitleBlock FTitle;
  double FTextScale; // lettering and symbols, against a chart of 1500 pixels
  std::vector<TPixelLine> FLand, FShallow5, FShallow10, FContours;
  std::vector<TPixelLine> FGraticule;
  std::vector<TLabel> FLatitudeLabels, FLongitudeLabels, FHarbours, FIslands, FSeaNames;
  std::vector<TMark> FMarks;

  TPixelLine ToPixels(const TGeoLine &Line) const;
  bool Near(const TDoublePoint &Pixel) const;
  void PrepareGeography();
  void PrepareGraticule();

  void FillAreas(cairo_t *Cr, const std::vector<TPixelLine> &Areas, uint32_t Color) const;
  void StrokeLines(cairo_t *Cr, const std::vector<TPixelLine> &Lines, bool Closed, uint32_t Color,
                   double DeviceWidth, double Scale) const;
  void DrawMarks(cairo_t *Cr, double Scale) const;
  void DrawLabels(cairo_t *Cr, const std::vector<TLabel> &Labels, const TDoublePoint &Offset) const;
  void DrawNames(cairo_t *Cr) const;
  void DrawGraticuleLabels(cairo_t *Cr) const;
  double TitleBlockBottom() const;
  void DrawTitleBlock(cairo_t *Cr) const;
  void ClearOutsideBorder(cairo_t *Cr) const;
};
