// One open raster chart (.nkf2): the container with its five-level tile
// pyramid and tile directory, the tag's data copied in, the calibration that
// ties pixels to the earth, and the chart's coverage of a display view.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "VmGeodeticsCalibration.h"
#include "VmDynamicLists.h"
#include "VmGeodetics.h"
#include "VmNKFErrors.h"
#include "VmNKFTag.h"
#include "VmProjectiveTransform.h"

constexpr char NKFMagic[] = "Vlm NKF2";
constexpr uint32_t NKFVersion1_0_0_0 = 0x01000000;
constexpr uint32_t NKFVersion1_0_0_1 = 0x01000001;
constexpr uint32_t NKFVersion1_0_0_2 = 0x01000002;
constexpr int NKFLevelCount = 5;
constexpr int NKFTileSize = 256;

// Level i shows the chart at 1/2^i of full resolution; its tiles are the
// TilesX x TilesY numbers from FirstTile on.
struct TNKFLevel {
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint32_t TilesX = 0;
  uint32_t TilesY = 0;
  uint32_t FirstTile = 0;
};

// Where a tile's bytes lie: Offset and Size as first written, ActiveOffset
// and ActiveSize where the tile loader reads them (they differ for tiles an
// override entry names).
struct TNKFTileEntry {
  int64_t Offset = 0;
  int64_t ActiveOffset = 0;
  int64_t Size = 0;
  int64_t ActiveSize = 0;
};

// The level records of an image of Width x Height pixels: each level halves
// the one before, rounded up; tiles are 256 x 256. FirstTile is filled in.
void NKFComputeLevels(int32_t Width, int32_t Height, TNKFLevel *Levels);

// "1.0.0.2" for 0x01000002: the four bytes from the most significant down.
std::string NKFDottedVersion(uint32_t Version);

// Grid codes of Calibrate.
constexpr uint8_t NKFProjectionMercator = 1;
constexpr uint8_t NKFProjectionTransverseMercator = 2;
constexpr uint8_t NKFProjectionRD = 3;

class TNKFChart {
public:
  // Opens and reads the chart; raises on any failure. A file that does not
  // start with the chart magic opens as an empty chart.
  explicit TNKFChart(const std::string &FileName);
  virtual ~TNKFChart();
  TNKFChart(const TNKFChart &) = delete;
  TNKFChart &operator=(const TNKFChart &) = delete;

  virtual bool IsAvailable() const { return true; }
  // True when the chart has a calibration its points were accepted for.
  virtual bool IsCalibrated() const { return Calibration != nullptr; }
  virtual void SetClipToBorder(bool Value) { ClipToBorder = Value; }
  // The position operations raise ENKFChartError on an uncalibrated chart.
  virtual bool ContainsPosition(const TDoublePoint &Position, const TGeodeticCoordinateSystem &System);
  virtual TPoint PositionToPixel(const TDoublePoint &Position, const TGeodeticCoordinateSystem &System);
  virtual TDoublePoint PositionToPixelExact(const TDoublePoint &Position, const TGeodeticCoordinateSystem &System);
  // Whether the chart shows in the view the calibration describes; the
  // outputs are written only when it does.
  virtual bool GetViewCoverage(const TCalibration &ViewCalibration, double &Scale, double &Coverage,
                               double &AreaRatio, bool &BorderCutsView);

  // Copies directory entry Index (0 <= Index < TileCount; not checked).
  void GetTileEntry(uint32_t Index, TNKFTileEntry &Entry) const { Entry = Tiles[Index]; }
  void AddBorderPoint(const TPoint &Point) { Border.AddPoint(Point); }
  void ClearBorder() { Border.Clear(); }

  // Replaces the calibration by one set up from the points. Raises for an
  // unsupported count or grid. Points the set-up refuses leave the chart
  // without a calibration (CalibrationStatus tells why) but raise nothing.
  void Calibrate(int32_t Count, uint8_t Projection, const TDoublePoint &P1, const TDoublePoint &P2, const TDoublePoint &P3,
                 const TDoublePoint &M1, const TDoublePoint &M2, const TDoublePoint &M3, double K0, double Lon0,
                 const TGeodeticDatum *Datum);

  std::string Text1, Text2, Text3;
  std::string Text5;
  std::string FileName;
  std::string Text10, Text6, Text7, Text9, Text8;
  std::string Text11;
  int32_t Number1 = 0;
  double Date1 = 0;
  std::array<uint8_t, 16> Identifier{};
  uint32_t Number2 = 0;
  int32_t Number3 = 0;
  float Value1 = 0;
  float Value2 = 0;
  double Date2 = 0;
  uint32_t Version = 0;
  bool Flag1 = false;
  uint8_t SourceFormat = 0;
  bool HasTileOverrides = false;
  double Date3 = 0;
  TPolygon Border;
  std::unique_ptr<TCalibration> Calibration;
  std::array<TNKFLevel, NKFLevelCount> Levels{};
  int32_t Height = 0;
  int32_t Width = 0;
  bool ClipToBorder = true;
  std::unique_ptr<TProjectiveTransformation> Transformation;
  uint32_t TileCount = 0;
  std::vector<TNKFTileEntry> Tiles;
  int64_t TagPos = 0;
  std::vector<TNKFLink> Links;
  // For display-side users; the chart itself never enters it.
  std::recursive_mutex Lock;

  // The calibration data the tag carried (nullptr when none), kept for
  // inspection, and the status of the last Calibrate's set-up.
  std::unique_ptr<TTagCalibrationData> CalibrationData;
  int CalibrationStatus = -1;

private:
  void Open(const std::string &AFileName);
  void ReadLevels(TStream &Stream);
  void ReadDirectory(TStream &Stream, const std::string &AFileName);
  void DeriveFirstVersionSizes();
  void ReadTagFromStream(TStream &Stream, TNKF2Tag &Tag);
  void TakeTag(TNKF2Tag &Tag);
  TDoublePoint PlacePosition(const TDoublePoint &Position, const TGeodeticCoordinateSystem &System,
                          const char *Operation) const;
};

// Why level Level of the chart cannot be drawn as an image, or "" when it
// can: each side has at least one pixel and at most what a signed 32-bit size
// holds, its TilesX x TilesY tiles of 256 x 256 cover exactly its pixels, and
// it is half the level before it (level 0: the chart's Width x Height),
// within the single-precision rounding by which the later versions derive
// their levels. Opening checks only that the tile counts add up, which is
// all the installer asks of a valid chart; what draws or exports the levels
// of a first-version chart, which stores them as they come, checks them here.
std::string NKFLevelFault(const TNKFChart &Chart, int Level);
// The first fault of any level, or "" when every level can be drawn.
std::string NKFLevelsFault(const TNKFChart &Chart);
