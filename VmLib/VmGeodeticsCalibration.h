// Geodetic calibration of a raster chart: a plane similarity (scale, rotation,
// offset) between the chart's projected coordinates and its pixels, fitted to
// two or three reference points, and the conversions it gives between pixels,
// projected coordinates, geographic coordinates on the chart datum and WGS 84.
#pragma once

#include "VmGeodetics.h"

#include <cstdint>

// u' = u + PreX, v' = v + PreY; x = u' M11 + v' M21 + OffsetX; y = u' M12 + v' M22 + OffsetY.
struct TCalibrationAffine {
  double M11 = 0, M12 = 0, M21 = 0, M22 = 0;
  double OffsetX = 0, OffsetY = 0;
  double PreX = 0, PreY = 0;

  TDoublePoint Apply(const TDoublePoint &P) const;
};

// Maps Query through the triangle SourceA, SourceB, SourceC whose images are
// TargetA, TargetB, TargetC: the affine map the three pairs define, found by
// walking from one vertex through Query to the opposite side. Raises
// EGeodeticsError when no vertex sees Query (degenerate or non-finite input).
TDoublePoint Interpolate(const TDoublePoint &TargetA, const TDoublePoint &TargetB, const TDoublePoint &TargetC,
                         const TDoublePoint &Query, const TDoublePoint &SourceC, const TDoublePoint &SourceB,
                         const TDoublePoint &SourceA);

// Set-up statuses.
enum TCalibrationStatus : int {
  csCloseTogether = 0,     // accepted, reference points close together
  csAccepted = 1,          // accepted
  csTooClose = 2,          // pixel span under 2 % of the chart, or triangle under 1/512 of its area
  csSamePixels = 3,        // coinciding pixels
  csSamePositions = 4,     // coinciding (or, for three points, collinear) positions
};

// Created empty, set up once by one of the Calibrate operations, read-only
// afterwards. Pixels are (x right, y down); positions are the projection's
// (east, north) in metres; geographic points are (latitude, longitude) in
// radians. A rejected set-up (status 2, 3 or 4) leaves the object unchanged.
// Conversions need a successful set-up; before one they raise EGeodeticsError.
class TCalibration {
public:
  int CalibrateMercator2(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2, const TDoublePoint &Position1,
                         const TDoublePoint &Position2, int32_t Width, int32_t Height,
                         const TGeodeticDatum *Datum);
  int CalibrateMercator3(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2, const TDoublePoint &Pixel3,
                         const TDoublePoint &Position1, const TDoublePoint &Position2,
                         const TDoublePoint &Position3, int32_t Width, int32_t Height,
                         const TGeodeticDatum *Datum);
  int CalibrateTransverseMercator2(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2,
                                   const TDoublePoint &Position1, const TDoublePoint &Position2, double K0,
                                   double Lon0, int32_t Width, int32_t Height, const TGeodeticDatum *Datum);
  int CalibrateTransverseMercator3(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2,
                                   const TDoublePoint &Pixel3, const TDoublePoint &Position1,
                                   const TDoublePoint &Position2, const TDoublePoint &Position3, double K0,
                                   double Lon0, int32_t Width, int32_t Height, const TGeodeticDatum *Datum);
  int CalibrateRD2(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2, const TDoublePoint &Position1,
                   const TDoublePoint &Position2, int32_t Width, int32_t Height);
  int CalibrateRD3(const TDoublePoint &Pixel1, const TDoublePoint &Pixel2, const TDoublePoint &Pixel3,
                   const TDoublePoint &Position1, const TDoublePoint &Position2, const TDoublePoint &Position3,
                   int32_t Width, int32_t Height);

  TDoublePoint ProjectedToPixel(const TDoublePoint &Projected) const;
  TDoublePoint GeographicToPixel(const TDoublePoint &Geographic) const;  // on the chart datum
  TDoublePoint WGS84ToPixel(const TDoublePoint &Geographic) const;
  TDoublePoint PixelToProjected(const TDoublePoint &Pixel) const;
  TDoublePoint PixelToGeographic(const TDoublePoint &Pixel) const;       // on the chart datum
  TDoublePoint PixelToWGS84(const TDoublePoint &Pixel) const;
  TDoublePoint PixelToWGS84Int(int32_t X, int32_t Y) const;
  // ProjectedToPixel rounded to whole pixels, halves upward (10.5 -> 11,
  // -10.5 -> -10). A pixel outside the 32-bit range raises EGeodeticsError.
  void ProjectedToPixelInt(const TDoublePoint &Projected, int32_t &X, int32_t &Y) const;
  // A pixel of the Source calibration's chart to the pixel of this chart that
  // shows the same place.
  TDoublePoint PixelToPixel(const TDoublePoint &Pixel, const TCalibration &Source) const;

  int32_t PointCount() const { return FPointCount; }
  const TDoublePoint &Positions(int Index) const { return FPositions[Index]; }  // 0..2
  const TDoublePoint &Pixels(int Index) const { return FPixels[Index]; }        // 0..2
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  double Rotation() const { return FRotation; }  // radians, (-pi, pi]
  const TGeodeticCoordinateSystem &System() const { return FSystem; }
  const TCalibrationAffine &Forward() const { return FForward; }  // projected -> pixel
  const TCalibrationAffine &Inverse() const { return FInverse; }  // pixel -> projected

private:
  int Calibrate2(const TGeodeticCoordinateSystem &System, const TDoublePoint &Pixel1, const TDoublePoint &Pixel2,
                 const TDoublePoint &Position1, const TDoublePoint &Position2, int32_t Width, int32_t Height);
  int Calibrate3(const TGeodeticCoordinateSystem &System, const TDoublePoint (&Pixels)[3],
                 const TDoublePoint (&Positions)[3], int32_t Width, int32_t Height);
  void Fit2();
  void Fit3();
  void SetAffinePair(const TDoublePoint &T, long double Cos, long double Sin, long double Sx, long double Sy,
                     const TDoublePoint &O);
  void RequireCalibrated() const;
  TDoublePoint ToAffine(const TDoublePoint &Projected) const;
  TDoublePoint FromAffine(const TDoublePoint &EastNorth) const;

  int32_t FPointCount = 0;
  TDoublePoint FPositions[3] = {};
  int32_t FHeight = 0;
  TCalibrationAffine FForward;
  TCalibrationAffine FInverse;
  TDoublePoint FPixels[3] = {};
  TGeodeticCoordinateSystem FSystem = {};
  double FRotation = 0;
  int32_t FWidth = 0;
};
