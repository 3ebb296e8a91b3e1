#include "NKFChartWriter.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <stdexcept>

#include "NKF2SampleTiles.h"
#include "NKF2TileEncoder.h"
#include "VmNKFTag.h"

void TNKFByteWriter::Word(uint16_t Value) {
  Byte(static_cast<uint8_t>(Value));
  Byte(static_cast<uint8_t>(Value >> 8));
}

void TNKFByteWriter::Cardinal(uint32_t Value) {
  for (int i = 0; i < 4; ++i)
    Byte(static_cast<uint8_t>(Value >> (8 * i)));
}

void TNKFByteWriter::Int64(int64_t Value) {
  const auto u = static_cast<uint64_t>(Value);
  for (int i = 0; i < 8; ++i)
    Byte(static_cast<uint8_t>(u >> (8 * i)));
}

void TNKFByteWriter::Single(float Value) {
  uint32_t bits;
  std::memcpy(&bits, &Value, 4);
  Cardinal(bits);
}

void TNKFByteWriter::Double(double Value) {
  uint64_t bits;
  std::memcpy(&bits, &Value, 8);
  Int64(static_cast<int64_t>(bits));
}

// Double to x87 extended: the 52-bit fraction moves up under an explicit
// integer bit and the exponent is rebiased from 1023 to 16383. Subnormal
// doubles are normalised; zero, infinities and NaN keep their special forms.
void TNKFByteWriter::Extended(double Value) {
  uint64_t bits;
  std::memcpy(&bits, &Value, 8);
  const uint16_t sign = (bits >> 63) ? 0x8000 : 0;
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t fraction = bits & 0xFFFFFFFFFFFFFull;
  uint64_t significand = 0;
  int extExponent = 0;
  if (exponent == 0x7FF) {
    extExponent = 0x7FFF;
    significand = 0x8000000000000000ull | (fraction << 11);
  } else if (exponent == 0) {
    if (fraction != 0) {
      int e = 1 - 1023;
      while ((fraction & 0x10000000000000ull) == 0) {
        fraction <<= 1;
        --e;
      }
      significand = fraction << 11;
      extExponent = e + 16383;
    }
  } else {
    significand = 0x8000000000000000ull | (fraction << 11);
    extExponent = exponent - 1023 + 16383;
  }
  Int64(static_cast<int64_t>(significand));
  Word(static_cast<uint16_t>(sign | extExponent));
}

void TNKFByteWriter::Str(const std::string &Value) {
  Integer(static_cast<int32_t>(Value.size()));
  Bytes(Value);
}

std::array<TNKFLevel, 5> NKFLevelsOf(int32_t Width, int32_t Height) {
  std::array<TNKFLevel, 5> levels{};
  NKFComputeLevels(Width, Height, levels.data());
  return levels;
}

static uint32_t TileCountOf(const std::array<TNKFLevel, 5> &Levels) {
  uint32_t count = 0;
  for (const TNKFLevel &level : Levels)
    count += level.TilesX * level.TilesY;
  return count;
}

TNKFChartDescription NKFSampleChart(uint32_t Version, int32_t Width, int32_t Height) {
  TNKFChartDescription chart;
  chart.Version = Version;
  chart.Width = Width;
  chart.Height = Height;
  chart.Levels = NKFLevelsOf(Width, Height);
  const uint32_t tiles = TileCountOf(chart.Levels);
  for (uint32_t t = 0; t < tiles; ++t) {
    chart.Blobs.push_back("tile " + std::to_string(t) + std::string(t % 7, '#'));
    chart.TileBlobs.push_back(t);
  }
  TNKFTagDescription &tag = chart.Tag;
  tag.Text1 = "Sample chart";
  tag.Projection = TNKFWriterProjection::Mercator;
  tag.PointCount = 2;
  tag.PixelPoints[0] = {0, 0};
  tag.PixelPoints[1] = {static_cast<double>(Width), static_cast<double>(Height)};
  // The top left corner at 53.5 N 4.5 E, the bottom right at 53 N 5.5 E, on
  // WGS 84: latitude and longitude where the version stores them, Mercator
  // metres otherwise.
  const double degree = std::numbers::pi / 180;
  const TDoublePoint corners[2] = {{53.5 * degree, 4.5 * degree}, {53.0 * degree, 5.5 * degree}};
  for (int i = 0; i < 2; ++i) {
    const TDoublePoint p = Version == NKFVersion1_0_0_2 ? MercatorForward(corners[i], WGS84Datum()->Ellipsoid) : corners[i];
    tag.MapPoints[i] = {p.X, p.Y};
  }
  return chart;
}

void NKFFillSampleTiles(TNKFChartDescription &Chart) {
  Chart.Blobs.clear();
  for (size_t t = 0; t < Chart.TileBlobs.size(); ++t) {
    const std::vector<TColor32> pixels = MakeChartLikeTile(static_cast<uint32_t>(t));
    const std::vector<uint8_t> bytes = EncodeNKF2Tile(pixels.data(), TNKF2EncodeOptions{});
    Chart.Blobs.emplace_back(bytes.begin(), bytes.end());
    Chart.TileBlobs[t] = t;
  }
}

static void WritePoints(TNKFByteWriter &w, const std::array<TDoublePoint, 3> &Points, int Count, bool Singles) {
  for (int i = 0; i < Count; ++i) {
    if (Singles) {
      w.Single(static_cast<float>(Points[i].X));
      w.Single(static_cast<float>(Points[i].Y));
    } else {
      w.Double(Points[i].X);
      w.Double(Points[i].Y);
    }
  }
}

static void WriteExtendedPoints(TNKFByteWriter &w, const std::array<TDoublePoint, 3> &Points, int Count) {
  for (int i = 0; i < Count; ++i) {
    w.Extended(Points[i].X);
    w.Extended(Points[i].Y);
  }
}

static void WriteText(TNKFByteWriter &w, uint8_t Key, const std::string &Text) { w.Str(NKFScramble(Key, Text)); }

static void WriteDate(TNKFByteWriter &w, uint8_t Key, const std::string &Date) {
  if (Date.size() != 8)
    throw std::invalid_argument("a stored date has eight characters: " + Date);
  w.Bytes(NKFScramble(Key, Date));
}

static void WriteBorder(TNKFByteWriter &w, const TNKFTagDescription &Tag) {
  w.Integer(Tag.BorderCountCode.value_or(static_cast<int32_t>(Tag.Border.size())));
  for (const TNKFWriterBorderPoint &p : Tag.Border) {
    w.Integer(p.X);
    w.Integer(p.Y);
  }
}

static void WriteDatumData(TNKFByteWriter &w, const TNKFTagDescription &Tag) {
  w.Byte(Tag.DatumTypeCode);
  switch (Tag.DatumTypeCode) {
  case 0: WriteText(w, NKFKeyB, Tag.DatumCode); break;
  case 1:
    w.Double(Tag.DLat);
    w.Double(Tag.DLon);
    break;
  case 2:
    for (double d : Tag.DatumParameters)
      w.Double(d);
    break;
  default: break; // an invalid type code: the reader stops here
  }
}

static int32_t StoredProjection(uint32_t Version, const TNKFTagDescription &Tag) {
  if (Tag.ProjectionCode)
    return *Tag.ProjectionCode;
  switch (Tag.Projection) {
  case TNKFWriterProjection::Mercator: return Version == NKFVersion1_0_0_0 ? 1 : 0;
  case TNKFWriterProjection::RD: return Version == NKFVersion1_0_0_0 ? 3 : 1;
  case TNKFWriterProjection::TransverseMercator: return 2;
  }
  return 0;
}

// Version 1.0.0.1 and 1.0.0.2 projection block, after the projection byte.
static void WriteProjectionBlock(TNKFByteWriter &w, uint32_t Version, const TNKFTagDescription &Tag) {
  const uint8_t countByte = Tag.PointCountCode ? static_cast<uint8_t>(*Tag.PointCountCode) : (Tag.PointCount == 2 ? 0 : 1);
  const int count = countByte == 0 ? 2 : 3;
  w.Byte(countByte);
  const bool current = Version == NKFVersion1_0_0_2;
  WritePoints(w, Tag.PixelPoints, count, !current);
  if (!current && Tag.Projection == TNKFWriterProjection::Mercator) {
    WriteExtendedPoints(w, Tag.MapPoints, count);
    WriteText(w, NKFKeyB, Tag.DatumCode);
    return;
  }
  WritePoints(w, Tag.MapPoints, count, false);
  if (!current || Tag.Projection == TNKFWriterProjection::RD)
    return;
  if (Tag.Projection == TNKFWriterProjection::TransverseMercator) {
    w.Double(Tag.K0);
    w.Double(Tag.Lon0);
  }
  WriteDatumData(w, Tag);
}

static std::string PlainTagVersion1_0_0_0(const TNKFTagDescription &Tag) {
  TNKFByteWriter w;
  WriteBorder(w, Tag);
  for (const std::string *text : {&Tag.Text1, &Tag.Text2, &Tag.Text6, &Tag.Text7, &Tag.Text8, &Tag.Text9})
    w.Str(*text);
  const int32_t count = Tag.PointCountCode.value_or(Tag.PointCount);
  const int points = count == 3 ? 3 : 2;
  w.Integer(count);
  WritePoints(w, Tag.PixelPoints, points, true);
  w.Integer(StoredProjection(NKFVersion1_0_0_0, Tag));
  if (Tag.Projection == TNKFWriterProjection::Mercator) {
    WriteExtendedPoints(w, Tag.MapPoints, points);
    w.Str(Tag.DatumOldName);
  } else {
    WritePoints(w, Tag.MapPoints, points, false);
  }
  return std::move(w.Data());
}

static std::string PlainTagLater(uint32_t Version, const TNKFTagDescription &Tag) {
  const bool current = Version == NKFVersion1_0_0_2;
  TNKFByteWriter w;
  w.Bytes(std::string(reinterpret_cast<const char *>(Tag.Identifier.data()), Tag.Identifier.size()));
  w.Cardinal(Tag.Number2);
  w.Integer(Tag.Number3);
  WriteText(w, NKFKeyA, Tag.Text5);
  if (current)
    WriteText(w, NKFKeyA, Tag.Text4);
  WriteText(w, NKFKeyB, Tag.Text3);
  WriteText(w, NKFKeyC, Tag.Text1);
  WriteText(w, NKFKeyD, Tag.Text2);
  WriteText(w, NKFKeyB, Tag.Text6);
  WriteText(w, NKFKeyA, Tag.Text7);
  WriteText(w, NKFKeyC, Tag.Text8);
  WriteText(w, NKFKeyD, Tag.Text9);
  w.Integer(Tag.Number1);
  WriteText(w, NKFKeyB, Tag.Text10);
  WriteDate(w, NKFKeyD, Tag.Date1);
  if (current) {
    w.Double(Tag.Value1);
    w.Double(Tag.Value2);
  } else {
    w.Single(static_cast<float>(Tag.Value1));
    w.Single(static_cast<float>(Tag.Value2));
  }
  WriteDate(w, NKFKeyA, Tag.Date2);
  w.Byte(static_cast<uint8_t>(StoredProjection(Version, Tag)));
  WriteProjectionBlock(w, Version, Tag);
  WriteBorder(w, Tag);
  w.Byte(Tag.Flag1Code);
  w.Byte(Tag.SourceFormatCode);
  WriteDate(w, NKFKeyD, Tag.Date3);
  WriteText(w, NKFKeyD, Tag.Text11);
  w.Integer(Tag.LinkCountCode.value_or(static_cast<int32_t>(Tag.Links.size())));
  for (const TNKFWriterLink &link : Tag.Links) {
    w.Byte(link.LinkType);
    WriteText(w, NKFKeyA, link.LinkText1);
    WriteText(w, NKFKeyC, link.LinkText2);
  }
  return std::move(w.Data());
}

std::string NKFPlainTagBytes(uint32_t Version, const TNKFTagDescription &Tag) {
  return Version == NKFVersion1_0_0_0 ? PlainTagVersion1_0_0_0(Tag) : PlainTagLater(Version, Tag);
}

std::string NKFScrambledTagBytes(const std::string &Plain, uint16_t KeyWord) {
  // The whole tag is XORed with a running key that starts at the XOR of the
  // key word's two bytes; the key word itself closes the file unscrambled.
  const auto key = static_cast<uint8_t>((KeyWord & 0xFF) ^ (KeyWord >> 8));
  TNKFByteWriter w;
  w.Bytes(Plain);
  std::string &bytes = w.Data();
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(static_cast<uint8_t>(bytes[i]) ^ static_cast<uint8_t>(key + i));
  w.Word(KeyWord);
  return std::move(w.Data());
}

std::string NKFTagBytes(uint32_t Version, const TNKFTagDescription &Tag) {
  const std::string plain = NKFPlainTagBytes(Version, Tag);
  return Version == NKFVersion1_0_0_0 ? plain : NKFScrambledTagBytes(plain, Tag.KeyWord);
}

TNKFWrittenChart NKFWriteChart(const TNKFChartDescription &Chart) {
  const bool first = Chart.Version == NKFVersion1_0_0_0;
  const size_t tiles = Chart.TileBlobs.size();
  TNKFWrittenChart result;
  TNKFByteWriter w;
  w.Bytes(Chart.Magic);
  w.Cardinal(Chart.Version);
  w.Int64(0); // TagPos, patched below
  if (first) {
    for (const TNKFLevel &level : Chart.Levels) {
      w.Cardinal(level.Width);
      w.Cardinal(level.Height);
      w.Cardinal(level.TilesX);
      w.Cardinal(level.TilesY);
    }
  } else {
    w.Integer(Chart.Width);
    w.Integer(Chart.Height);
  }
  result.TileCountPos = static_cast<int64_t>(w.Data().size());
  w.Cardinal(Chart.TileCountCode.value_or(static_cast<uint32_t>(tiles)));
  result.DirectoryPos = static_cast<int64_t>(w.Data().size());

  const int64_t directorySize = static_cast<int64_t>(tiles) * (first ? 8 : 16);
  const int64_t overridesSize = first ? 0 : 4 + 20 * static_cast<int64_t>(Chart.Overrides.size());
  int64_t blobPos = result.DirectoryPos + directorySize + overridesSize;
  for (const std::string &blob : Chart.Blobs) {
    result.BlobOffsets.push_back(blobPos);
    blobPos += static_cast<int64_t>(blob.size());
  }
  const auto blobSize = [&](size_t blob) { return static_cast<int64_t>(Chart.Blobs.at(blob).size()); };

  for (size_t t = 0; t < tiles; ++t) {
    w.Int64(result.BlobOffsets.at(Chart.TileBlobs[t]));
    if (!first)
      w.Int64(blobSize(Chart.TileBlobs[t]));
  }
  if (!first) {
    result.OverridesPos = static_cast<int64_t>(w.Data().size());
    w.Cardinal(static_cast<uint32_t>(Chart.Overrides.size()));
    for (const TNKFWriterOverride &o : Chart.Overrides) {
      w.Cardinal(o.Tile);
      w.Int64(result.BlobOffsets.at(o.Blob));
      w.Int64(blobSize(o.Blob));
    }
  }
  for (const std::string &blob : Chart.Blobs)
    w.Bytes(blob);
  result.TagPos = blobPos + Chart.TagGap;
  const int64_t storedTagPos = Chart.TagPosCode.value_or(result.TagPos);
  NKFPutInt64(w.Data(), NKFHeaderTagPosPos, storedTagPos);
  result.Head = std::move(w.Data());
  result.Tag = NKFTagBytes(Chart.Version, Chart.Tag);
  return result;
}

std::string NKFChartBytes(const TNKFChartDescription &Chart) {
  if (Chart.TagGap > (1 << 24))
    throw std::invalid_argument("NKFChartBytes: use NKFWriteChartFile for a far-out tag");
  const TNKFWrittenChart written = NKFWriteChart(Chart);
  return written.Head + std::string(static_cast<size_t>(Chart.TagGap), '\0') + written.Tag;
}

void NKFWriteChartFile(const std::string &FileName, const TNKFChartDescription &Chart) {
  const TNKFWrittenChart written = NKFWriteChart(Chart);
  std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
  out.write(written.Head.data(), static_cast<std::streamsize>(written.Head.size()));
  out.seekp(static_cast<std::streamoff>(written.TagPos));
  out.write(written.Tag.data(), static_cast<std::streamsize>(written.Tag.size()));
  if (!out.good())
    throw std::runtime_error("NKFWriteChartFile: cannot write " + FileName);
}

void NKFPutInt64(std::string &Bytes, int64_t Pos, int64_t Value) {
  for (int i = 0; i < 8; ++i)
    Bytes[static_cast<size_t>(Pos + i)] = static_cast<char>(static_cast<uint64_t>(Value) >> (8 * i));
}
