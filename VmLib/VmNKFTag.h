// The chart tag: the descriptive data, border, links and calibration points
// that a chart file keeps at TagPos, its three stored layouts, the text and
// whole-tag scrambling, and the per-grid calibration data records.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "VmDynamicLists.h"
#include "VmGeodetics.h"
#include "Types.h"

// Key bytes of the text and date scrambling.
constexpr uint8_t NKFKeyA = 0x3B;
constexpr uint8_t NKFKeyB = 0x2D;
constexpr uint8_t NKFKeyC = 0xD4;
constexpr uint8_t NKFKeyD = 0x4E;

// Statuses 0 and 1 of a calibration set-up accept the points; 2 to 4 refuse
// them and leave the calibration unset.
inline bool NKFCalibrationAccepted(int Status) { return Status == 0 || Status == 1; }

// Limits no real chart comes near, so that a damaged or hostile tag is
// refused before it costs more than a few megabytes (the installer opens every
// registered chart at each start). A border outlines the charted area with
// tens to a few hundred vertices; even one traced pixel by pixel around a
// 20000 x 20000 chart stays below the cap. Links name the neighbouring and
// inset charts: a handful, a few dozen at most. A scrambled tag holds the
// texts, the border and the links, kilobytes in practice; the cap leaves room
// for the largest border allowed (8 bytes a point) and is read whole into
// memory, so it is kept far below the file sizes.
constexpr int32_t NKFMaxBorderPoints = 100000;
constexpr int32_t NKFMaxLinks = 1000;
constexpr int64_t NKFMaxScrambledTagSize = int64_t{1} << 20;

// R[j] = S[j] xor (Key + j) for j = 1 .. length (wrapping at 256); its own
// inverse, so it both scrambles and descrambles.
std::string NKFScramble(uint8_t Key, const std::string &S);

// Calibration points of a tag and, for the Mercator grids, its datum.
class TTagCalibrationData {
public:
  TTagCalibrationData(int32_t Count, TDoublePoint P1, TDoublePoint P2, TDoublePoint P3);
  virtual ~TTagCalibrationData() = default;
  TTagCalibrationData(const TTagCalibrationData &) = delete;
  TTagCalibrationData &operator=(const TTagCalibrationData &) = delete;

  // The datum the grid is drawn on, or nullptr. Owned by the geodetic tables.
  virtual const TGeodeticDatum *GetDatum() const { return nullptr; }

  int32_t CalibrationPointCount = 0;
  std::array<TDoublePoint, 3> PixelPoints{};
  int32_t Width = 0;
  int32_t Height = 0;
  std::array<TDoublePoint, 3> MapPoints{};
  uint8_t DatumType = 0; // 0 none, 1 by code, 2 by shift, 3 by parameters
  std::string DatumCode;
  // Type 2: d1 DLat, d2 DLon; type 3: d3..d9 DX, DY, DZ, RX, RY, RZ, Scale,
  // d10 A, d11 InvF. Index 0 holds d1.
  std::array<double, 11> DatumValues{};
};

// Datum fields shared by the Mercator and transverse Mercator records.
struct TNKFDatumData {
  uint8_t DatumType = 0;
  std::string DatumCode;
  std::array<double, 11> DatumValues{};
};

class TRDData : public TTagCalibrationData {
public:
  TRDData(int32_t Count, TDoublePoint P1, TDoublePoint P2, TDoublePoint P3, TDoublePoint M1, TDoublePoint M2, TDoublePoint M3);
};

class TMercatorData : public TTagCalibrationData {
public:
  TMercatorData(int32_t Count, TDoublePoint P1, TDoublePoint P2, TDoublePoint P3, TDoublePoint M1, TDoublePoint M2, TDoublePoint M3,
                const TNKFDatumData &Datum);
  const TGeodeticDatum *GetDatum() const override;
};

class TTransverseMercatorData : public TTagCalibrationData {
public:
  TTransverseMercatorData(int32_t Count, TDoublePoint P1, TDoublePoint P2, TDoublePoint P3, TDoublePoint M1, TDoublePoint M2,
                          TDoublePoint M3, double K0, double Lon0, const TNKFDatumData &Datum);
  const TGeodeticDatum *GetDatum() const override;

  double K0 = 0;
  double Lon0 = 0;
};

struct TNKFLink {
  uint8_t LinkType = 0;
  std::string LinkText1;
  std::string LinkText2;
};

class TNKF2Tag {
public:
  TNKF2Tag() = default;
  TNKF2Tag(const TNKF2Tag &) = delete;
  TNKF2Tag &operator=(const TNKF2Tag &) = delete;

  std::string Text1, Text2, Text3, Text4, Text5, Text6, Text7, Text8, Text9, Text10;
  int32_t Number1 = 0;
  std::array<uint8_t, 16> Identifier{};
  uint32_t Number2 = 0;
  int32_t Number3 = 0;
  double Date1 = 0;
  double Value1 = 0;
  double Value2 = 0;
  double Date2 = 0;
  std::unique_ptr<TTagCalibrationData> CalibrationData;
  TPolygon Border;
  double Date3 = 0;
  std::string Text11;
  bool Flag1 = true;
  uint8_t SourceFormat = 0;
  std::vector<TNKFLink> Links;
};

// Reads eight scrambled characters YYYYMMDD and returns that day at midnight
// (days since 30 December 1899). Raises EConvertError for anything else.
double StreamReadNKFDate(TStream &Stream, uint8_t Key);

// The three stored layouts; Stream is positioned at TagPos.
void ReadTagVersion1_0_0_0(TStream &Stream, TNKF2Tag &Tag);
void ReadTagVersion1_0_0_1(TStream &Stream, TNKF2Tag &Tag);
void ReadTagCurrentVersion(TStream &Stream, TNKF2Tag &Tag);
