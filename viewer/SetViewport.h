// The set view's place on the earth: one Mercator view on the WGS 84
// ellipsoid, north up, into which every chart of the set is drawn. A plain
// object without a window: the zoom (Mercator metres per client pixel), the
// place (the client's top-left corner on a grid of whole "global" pixels),
// the client size, panning and zooming about a point, Home (the whole set),
// the zoom limits and the scale at the view's centre.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "VmGeodetics.h"

class TNKFChart;

// What the viewport needs to know of one chart: where it lies and how fine
// it is. Mercator metres on the WGS 84 ellipsoid, north (y) up.
struct TSetChartExtent {
  double Left = 0, Bottom = 0, Right = 0, Top = 0; // the chart's border's bounding box
  double MercatorMetresPerPixel = 0;               // one full-resolution pixel, at the chart's centre
};

// The extent of a calibrated chart (its border, or its image where it has
// none, followed along its edges); false for a chart that cannot be placed.
bool SetChartExtent(const TNKFChart &Chart, TSetChartExtent &Extent);

// Client pixels are the view's (x right, y down), pixel (x, y) covering
// [x, x + 1) x [y, y + 1) and showing what lies under its centre. Global
// pixels are the same at the view's zoom with their origin at Mercator (0, 0):
// global (gx, gy) is Mercator (gx * m, -gy * m), m = MetresPerPixel(). The
// client's top-left corner always lies on a whole global pixel, so that a pan
// by whole pixels shows exactly the pixels shifted (a repaint then draws only
// what comes into view).
class TSetViewport {
public:
  static constexpr int StepsPerLevel = 2;
  // Zooming in stops at this many client pixels per full-resolution pixel of
  // the most detailed chart in view.
  static constexpr double MaxChartZoom = 4;

  // The charts of the set (extents as SetChartExtent gives them); the view
  // then shows the whole set (Fit).
  void SetCharts(std::vector<TSetChartExtent> Charts);
  const std::vector<TSetChartExtent> &Charts() const { return FCharts; }
  // Keeps the place at the client's centre; the first size shows the whole
  // set; an empty client (minimised) changes nothing.
  void SetClientSize(int32_t Width, int32_t Height);
  int32_t ClientWidth() const { return FClientWidth; }
  int32_t ClientHeight() const { return FClientHeight; }

  // Mercator metres per client pixel (along the equator's scale; on the
  // ground a pixel covers MetresPerPixel * cos(latitude)).
  double MetresPerPixel() const { return FMetresPerPixel; }
  // The global pixel at the client's top-left corner (whole numbers).
  double OriginX() const { return FOriginX; }
  double OriginY() const { return FOriginY; }

  TDoublePoint ClientToMercator(const TDoublePoint &Client) const;
  TDoublePoint MercatorToClient(const TDoublePoint &Mercator) const;
  // WGS 84 (latitude, longitude) in radians.
  TDoublePoint ClientToWGS84(const TDoublePoint &Client) const;
  TDoublePoint WGS84ToClient(const TDoublePoint &WGS84) const;
  // Mercator metres at the client's centre.
  TDoublePoint Centre() const;

  // Limits of MetresPerPixel: zoomed out, the whole set fits twice over;
  // zoomed in, MaxChartZoom client pixels per full-resolution pixel of the
  // most detailed chart whose extent meets the view (of the finest chart of
  // all when none does).
  double MinMetresPerPixel() const;
  double MaxMetresPerPixel() const;

  // Clamped to the limits; the place under Client stays under it (to within
  // the snap of the origin to a whole global pixel).
  void ZoomAt(double NewMetresPerPixel, const TDoublePoint &Client);
  // Wheel notches and + / -: MetresPerPixel through 2^(k / StepsPerLevel)
  // metres; from a zoom between two steps the first step goes to the next
  // one in that direction.
  void ZoomSteps(int Steps, const TDoublePoint &Client);
  // Whole client pixels (a drag, the keys).
  void ScrollBy(int32_t DX, int32_t DY);
  void CenterOn(const TDoublePoint &Mercator);
  // Home: the whole set, centred.
  void Fit();

  // Ground metres per client pixel at the view's centre, and the scale that
  // gives on a screen of ScreenPixelMetres per pixel (96 dots per inch by
  // default): the number N of "1 : N".
  double GroundMetresPerPixel() const;
  double ScaleNumber(double ScreenPixelMetres = 0.0254 / 96) const;
  // "1 : 25 000": the scale number to three significant digits, grouped by
  // thousands with spaces; empty before the view has a size.
  std::string ScaleText(double ScreenPixelMetres = 0.0254 / 96) const;
  // Every chart's extent together: left, bottom, right, top (Charts() not empty).
  std::array<double, 4> SetExtent() const;

private:
  void SetOrigin(double CentreX, double CentreY); // Mercator at the client's centre
  void Clamp();

  std::vector<TSetChartExtent> FCharts;
  int32_t FClientWidth = 0, FClientHeight = 0;
  int32_t FLastWidth = 0, FLastHeight = 0;
  bool FSized = false;
  double FMetresPerPixel = 1;
  double FOriginX = 0, FOriginY = 0;
};
