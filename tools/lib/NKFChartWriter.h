// Writes chart files (.nkf2) in each of the three versions, field for field
// as the chart reader expects them. Tests build their fixtures with it and
// make malformed files by patching the written bytes; every stored code can
// be given raw, so a fixture can also carry a value the reader must refuse.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "VmNKFCharts.h"

constexpr int64_t NKFMagicSize = 8;
constexpr int64_t NKFHeaderVersionPos = 8;
constexpr int64_t NKFHeaderTagPosPos = 12;
constexpr int64_t NKFHeaderLevelsPos = 20;

// The logical grid of a tag's projection block; the stored code follows from
// it and the version unless the tag gives ProjectionCode.
enum class TNKFWriterProjection { Mercator, RD, TransverseMercator };

struct TNKFWriterBorderPoint {
  int32_t X = 0;
  int32_t Y = 0;
};

struct TNKFWriterLink {
  uint8_t LinkType = 0;
  std::string LinkText1;
  std::string LinkText2;
};

// Everything a tag stores. Fields a version does not store are ignored when
// writing that version. Dates are the eight characters "YYYYMMDD" as stored
// before scrambling.
struct TNKFTagDescription {
  std::string Text1, Text2, Text3, Text4, Text5, Text6, Text7, Text8, Text9, Text10, Text11;
  int32_t Number1 = 0;
  std::array<uint8_t, 16> Identifier{};
  uint32_t Number2 = 0;
  int32_t Number3 = 0;
  std::string Date1 = "20030415";
  std::string Date2 = "20030101";
  std::string Date3 = "20031231";
  double Value1 = 0;
  double Value2 = 0;

  TNKFWriterProjection Projection = TNKFWriterProjection::Mercator;
  std::optional<int32_t> ProjectionCode; // raw stored code instead of the one Projection gives
  int32_t PointCount = 2;                // 2 or 3
  std::optional<int32_t> PointCountCode; // raw stored count (a byte in the later versions)
  std::array<TDoublePoint, 3> PixelPoints{};
  // Grid metres; for the Mercator block of versions 1.0.0.0 and 1.0.0.1,
  // latitude (X) and longitude (Y) in radians instead.
  std::array<TDoublePoint, 3> MapPoints{};
  double K0 = 0.9996;
  double Lon0 = 0;

  // Datum data of the 1.0.0.2 Mercator and transverse Mercator blocks:
  // type code 0 by code, 1 by shift, 2 by parameters.
  uint8_t DatumTypeCode = 0;
  std::string DatumCode = "WGE";     // also the datum code of 1.0.0.1 Mercator blocks
  std::string DatumOldName = "WGS 1984"; // the datum's display name in 1.0.0.0 Mercator blocks
  double DLat = 0;
  double DLon = 0;
  // DX, DY, DZ, RX, RY, RZ, Scale, A, InvF.
  std::array<double, 9> DatumParameters{};

  std::vector<TNKFWriterBorderPoint> Border;
  std::optional<int32_t> BorderCountCode;
  uint8_t Flag1Code = 1;
  uint8_t SourceFormatCode = 0; // stored code: 0, 1 or 3
  std::vector<TNKFWriterLink> Links;
  std::optional<int32_t> LinkCountCode;
  // The file's last two bytes, from which the whole-tag key is derived.
  uint16_t KeyWord = 0xA55A;
};

// An override entry: the tile's active pair points at a stored blob.
struct TNKFWriterOverride {
  uint32_t Tile = 0;
  size_t Blob = 0;
};

struct TNKFChartDescription {
  std::string Magic = "Vlm NKF2";
  uint32_t Version = NKFVersion1_0_0_2;
  int32_t Width = 0;  // full-resolution size (later versions)
  int32_t Height = 0;
  std::array<TNKFLevel, 5> Levels{}; // level records (version 1.0.0.0); FirstTile is not stored
  std::optional<uint32_t> TileCountCode; // raw stored tile count
  // Stored tile data, one blob after another after the directory, in this
  // order; TileBlobs[t] names the blob that tile t uses (tiles may share).
  std::vector<std::string> Blobs;
  std::vector<size_t> TileBlobs;
  std::vector<TNKFWriterOverride> Overrides;
  std::optional<int64_t> TagPosCode; // raw stored TagPos
  // Zero bytes between the last blob and the tag, so a tag can lie far out
  // (written as a hole by NKFWriteChartFile).
  int64_t TagGap = 0;
  TNKFTagDescription Tag;
};

// Where the parts of a written chart lie, for tests that patch bytes.
struct TNKFWrittenChart {
  std::string Head; // magic through the last blob
  std::string Tag;  // the tag as stored (scrambled, with the key word)
  int64_t TagPos = 0;
  int64_t TileCountPos = 0;
  int64_t DirectoryPos = 0;
  int64_t OverridesPos = 0; // later versions: the OverrideCount
  std::vector<int64_t> BlobOffsets;
  int64_t FileSize() const { return TagPos + static_cast<int64_t>(Tag.size()); }
};

// A chart of the given size whose tiles are small distinct blobs, with the
// level records and the tile list the version needs and a two-point Mercator
// calibration on WGS 84 that covers the image.
TNKFChartDescription NKFSampleChart(uint32_t Version, int32_t Width, int32_t Height);

// Replaces the chart's blobs by real encoded tiles (chart-like pictures, with
// alpha), one per tile, so that the chart's tiles decode.
void NKFFillSampleTiles(TNKFChartDescription &Chart);

// The level records of an image, as the later versions derive them.
std::array<TNKFLevel, 5> NKFLevelsOf(int32_t Width, int32_t Height);

// The tag alone, as stored at TagPos (scrambled for 1.0.0.1 and 1.0.0.2).
std::string NKFTagBytes(uint32_t Version, const TNKFTagDescription &Tag);
// The tag's fields before the whole-tag scrambling (no key word).
std::string NKFPlainTagBytes(uint32_t Version, const TNKFTagDescription &Tag);
// Plain tag bytes scrambled as the later versions store them, key word last.
std::string NKFScrambledTagBytes(const std::string &Plain, uint16_t KeyWord);

TNKFWrittenChart NKFWriteChart(const TNKFChartDescription &Chart);
// The whole file in memory (TagGap must be small).
std::string NKFChartBytes(const TNKFChartDescription &Chart);
// Writes the file; a TagGap becomes a hole left by seeking past the end.
void NKFWriteChartFile(const std::string &FileName, const TNKFChartDescription &Chart);

// Overwrites the eight bytes at Pos with Value, little-endian: for tests that
// patch a written chart.
void NKFPutInt64(std::string &Bytes, int64_t Pos, int64_t Value);

// Little-endian encodings as the chart format stores them.
class TNKFByteWriter {
public:
  void Byte(uint8_t Value) { FData.push_back(static_cast<char>(Value)); }
  void Word(uint16_t Value);
  void Integer(int32_t Value) { Cardinal(static_cast<uint32_t>(Value)); }
  void Cardinal(uint32_t Value);
  void Int64(int64_t Value);
  void Single(float Value);
  void Double(double Value);
  // x87 80-bit extended; every double is exactly representable.
  void Extended(double Value);
  void Bytes(const std::string &Value) { FData += Value; }
  // A 32-bit length and the bytes.
  void Str(const std::string &Value);
  std::string &Data() { return FData; }

private:
  std::string FData;
};
