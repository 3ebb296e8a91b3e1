// Plane projective (perspective) mapping from an axis-aligned source rectangle
// onto an arbitrary quadrilateral, used to warp raster images: a destination
// pixel is mapped back to its source position. Values are single precision;
// intermediate arithmetic is done in extended precision.
#pragma once

#include "SysUtils.h"
#include "VmGraphics.h"

#include <cstdint>

VM_DECLARE_EXCEPTION(ETransformError, Exception);

struct TFloatRect {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;
};

struct TIntRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

inline bool operator==(const TIntRect &a, const TIntRect &b) {
  return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

// 3 x 3 matrix, row-major, used with row vectors: (x, y, 1) . M.
using TFloatMatrix = float[3][3];

// Base class of transformations. The map operations go from destination to
// source; they use the matrix as last prepared.
class TTransformation {
public:
  virtual ~TTransformation() = default;

  virtual void MapPointInteger(int32_t DstX, int32_t DstY, int32_t &SrcX, int32_t &SrcY) const = 0;
  // Results are 24.8 fixed point.
  virtual void MapPointFixed(int32_t DstX, int32_t DstY, int32_t &SrcX, int32_t &SrcY) const = 0;
  virtual void PrepareTransform() = 0;
  virtual TIntRect TransformedBounds() const = 0;

  TFloatRect SrcRect;
  bool TransformValid = false;
};

class TProjectiveTransformation : public TTransformation {
public:
  void MapPointInteger(int32_t DstX, int32_t DstY, int32_t &SrcX, int32_t &SrcY) const override;
  void MapPointFixed(int32_t DstX, int32_t DstY, int32_t &SrcX, int32_t &SrcY) const override;
  // Computes the destination-to-source matrix from SrcRect and the corners.
  // Raises ETransformError when the source rectangle has no width or height.
  void PrepareTransform() override;
  // The integer rectangle that holds the quadrilateral, widened by half a pixel.
  TIntRect TransformedBounds() const override;
  // The other way round, for a warp whose source positions are known at the
  // corners of a destination rectangle (a mesh of exact points, drawn cell by
  // cell): prepares the matrix that maps DstRect onto the source
  // quadrilateral SrcX, SrcY (the images of DstRect's (Left, Top),
  // (Right, Top), (Right, Bottom), (Left, Bottom)), with no inversion. The
  // corners X0..Y3 become DstRect's, so TransformedBounds is DstRect widened
  // by half a pixel, and SrcRect the quadrilateral's bounding box. Raises
  // ETransformError when DstRect has no width or height.
  void PrepareFromDestination(const TFloatRect &DstRect, const float (&SrcX)[4], const float (&SrcY)[4]);

  // Corners of the destination quadrilateral: the images of (Left, Top),
  // (Right, Top), (Right, Bottom) and (Left, Bottom).
  float X0 = 0, X1 = 0, X2 = 0, X3 = 0;
  float Y0 = 0, Y1 = 0, Y2 = 0, Y3 = 0;
  TFloatMatrix Matrix = {};

private:
  void MapPoint(int32_t DstX, int32_t DstY, long double Scale, int32_t &SrcX, int32_t &SrcY) const;
};

// Warps Src into Dst: every destination pixel inside the transformation's
// bounds (clipped to Dst) is mapped back into Src and, where it lands inside
// Src, combined into Dst by Src's draw mode (copy, blend by Src's alpha, or
// Src's OnPixelCombine). Src's resampler picks the sampling: nearest pixel, or
// bilinear between the four pixels around the 24.8 fixed-point position.
// Destination pixels that map outside Src, or to no point at all, are left
// as they are. Prepares the transformation when it is not valid yet.
// Raises ETransformError for a missing or empty bitmap.
//
// A TProjectiveTransformation is warped a whole row at a time, with the same
// pixels as TransformPerPixel.
void Transform(TBitmap32 *Dst, const TBitmap32 *Src, TTransformation *Transformation);

// The rule that defines Transform's pixels: every pixel of the area mapped on
// its own through the transformation's MapPointInteger or MapPointFixed. The
// way for every other kind of transformation, and the reference for the
// row-wise one.
void TransformPerPixel(TBitmap32 *Dst, const TBitmap32 *Src, TTransformation *Transformation);

// Transform restricted to the destination rows FirstRow to EndRow - 1: there
// the same pixels, elsewhere none touched. Threads may warp disjoint rows of
// one destination at once, from one source and one transformation, once the
// transformation is prepared (PrepareTransform is not safe to share).
void TransformRows(TBitmap32 *Dst, const TBitmap32 *Src, TTransformation *Transformation, int32_t FirstRow,
                   int32_t EndRow);
