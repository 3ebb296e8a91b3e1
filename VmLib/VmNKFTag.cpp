#include "VmNKFTag.h"

#include <algorithm>
#include <cstring>

#include "VmGeodeticsCalibration.h"
#include "VmFileIO.h"
#include "VmNKFErrors.h"

std::string NKFScramble(uint8_t Key, const std::string &S) {
  std::string r(S);
  for (size_t j = 0; j < r.size(); ++j)
    r[j] = static_cast<char>(static_cast<uint8_t>(r[j]) ^ static_cast<uint8_t>(Key + j + 1));
  return r;
}

// ---------------------------------------------------------------------------
// Calibration data records

TTagCalibrationData::TTagCalibrationData(int32_t Count, TDoublePoint P1, TDoublePoint P2, TDoublePoint P3)
    : CalibrationPointCount(Count), PixelPoints{P1, P2, P3} {}

TRDData::TRDData(int32_t Count, TDoublePoint P1, TDoublePoint P2, TDoublePoint P3, TDoublePoint M1, TDoublePoint M2, TDoublePoint M3)
    : TTagCalibrationData(Count, P1, P2, P3) {
  MapPoints = {M1, M2, M3};
}

static void SetDatumData(TTagCalibrationData &Data, const TNKFDatumData &Datum) {
  Data.DatumType = Datum.DatumType;
  Data.DatumCode = Datum.DatumCode;
  Data.DatumValues = Datum.DatumValues;
}

TMercatorData::TMercatorData(int32_t Count, TDoublePoint P1, TDoublePoint P2, TDoublePoint P3, TDoublePoint M1, TDoublePoint M2,
                             TDoublePoint M3, const TNKFDatumData &Datum)
    : TTagCalibrationData(Count, P1, P2, P3) {
  MapPoints = {M1, M2, M3};
  SetDatumData(*this, Datum);
}

TTransverseMercatorData::TTransverseMercatorData(int32_t Count, TDoublePoint P1, TDoublePoint P2, TDoublePoint P3,
                                                 TDoublePoint M1, TDoublePoint M2, TDoublePoint M3, double K0, double Lon0,
                                                 const TNKFDatumData &Datum)
    : TTagCalibrationData(Count, P1, P2, P3), K0(K0), Lon0(Lon0) {
  MapPoints = {M1, M2, M3};
  SetDatumData(*this, Datum);
}

// A datum shifted from WGS 84 so that the chart's grid lines up: the shift
// is anchored at the chart's centre, placed on WGS 84 by a calibration of
// the chart's own points.
static const TGeodeticDatum *ShiftedDatum(const TTagCalibrationData &Data, const TTransverseMercatorData *TM) {
  const int32_t count = Data.CalibrationPointCount;
  if (count != 2 && count != 3)
    throw Exception("TMercatorData.GetDatum: CalibrationPointCount error (" + IntToStr(count) + ")");
  const auto &P = Data.PixelPoints;
  const auto &M = Data.MapPoints;
  TCalibration calibration;
  int status;
  const TGeodeticDatum *wgs84 = WGS84Datum();
  if (TM == nullptr)
    status = count == 2 ? calibration.CalibrateMercator2(P[0], P[1], M[0], M[1], Data.Width, Data.Height, wgs84)
                        : calibration.CalibrateMercator3(P[0], P[1], P[2], M[0], M[1], M[2], Data.Width,
                                                         Data.Height, wgs84);
  else
    status = count == 2 ? calibration.CalibrateTransverseMercator2(P[0], P[1], M[0], M[1], TM->K0, TM->Lon0,
                                                                   Data.Width, Data.Height, wgs84)
                        : calibration.CalibrateTransverseMercator3(P[0], P[1], P[2], M[0], M[1], M[2], TM->K0,
                                                                   TM->Lon0, Data.Width, Data.Height, wgs84);
  // Points the set-up refuses leave the calibration unset, and the chart's
  // own calibration refuses the same points, so the chart stays uncalibrated
  // whatever datum it gets: answer none rather than convert through an
  // unset calibration.
  if (!NKFCalibrationAccepted(status))
    return nullptr;
  const TDoublePoint centre = calibration.PixelToWGS84({static_cast<double>(Data.Width / 2),
                                                     static_cast<double>(Data.Height / 2)});
  return GeodeticDatumCreateFromShift(centre, Data.DatumValues[0], Data.DatumValues[1]);
}

static const TGeodeticDatum *DatumOf(const TTagCalibrationData &Data, const TTransverseMercatorData *TM) {
  const auto &d = Data.DatumValues;
  switch (Data.DatumType) {
  case 1: return GeodeticDatumCreate(Data.DatumCode);
  case 2: return ShiftedDatum(Data, TM);
  case 3: {
    const TGeodeticEllipsoid *ellipsoid = GeodeticEllipsoidCreateFromParameters(d[10], d[9]);
    return GeodeticDatumCreateFromParameters(ellipsoid, d[2], d[3], d[4], d[5], d[6], d[7], d[8]);
  }
  default: return nullptr;
  }
}

const TGeodeticDatum *TMercatorData::GetDatum() const { return DatumOf(*this, nullptr); }

const TGeodeticDatum *TTransverseMercatorData::GetDatum() const { return DatumOf(*this, this); }

// ---------------------------------------------------------------------------
// Field encodings

static std::string ReadText(TStream &Stream, uint8_t Key) {
  std::string s;
  StreamReadStr(Stream, s);
  return NKFScramble(Key, s);
}

static std::string PlainText(TStream &Stream) {
  std::string s;
  StreamReadStr(Stream, s);
  return s;
}

static int DateField(const std::string &Text, size_t First, size_t Length) {
  const std::string field = Text.substr(First, Length);
  int value = 0;
  for (char c : field) {
    if (c < '0' || c > '9')
      throw EConvertError("'" + field + "' is not a valid integer value");
    value = value * 10 + (c - '0');
  }
  return value;
}

// Days since 30 December 1899 of a proleptic Gregorian date (the civil-day
// count of H. Hinnant, "chrono-Compatible Low-Level Date Algorithms").
static double EncodeDate(int Year, int Month, int Day) {
  static const int daysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
      Day > daysInMonth[Month - 1] + (Month == 2 && leap ? 1 : 0))
    throw EConvertError("Invalid argument to date encode");
  const int y = Year - (Month <= 2 ? 1 : 0);
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = static_cast<long>(era) * 146097 + doe - 719468; // days since 1970-01-01
  return static_cast<double>(days + 25569);
}

double StreamReadNKFDate(TStream &Stream, uint8_t Key) {
  // A short read (past the end of a descrambled tag) leaves zero bytes,
  // which are not digits.
  char raw[8] = {};
  Stream.Read(raw, 8);
  const std::string text = NKFScramble(Key, std::string(raw, 8));
  const int year = DateField(text, 0, 4);
  const int month = DateField(text, 4, 2);
  const int day = DateField(text, 6, 2);
  return EncodeDate(year, month, day);
}

static TDoublePoint ReadSinglePoint(TStream &Stream) {
  TDoublePoint p{};
  p.X = StreamReadSingle(Stream);
  p.Y = StreamReadSingle(Stream);
  return p;
}

static TDoublePoint ReadDoublePoint(TStream &Stream) {
  TDoublePoint p{};
  p.X = StreamReadDouble(Stream);
  p.Y = StreamReadDouble(Stream);
  return p;
}

// Latitude then longitude, radians, as 10-byte extended values.
static TDoublePoint ReadExtendedPoint(TStream &Stream) {
  TDoublePoint p{};
  p.X = static_cast<double>(StreamReadExtended(Stream));
  p.Y = static_cast<double>(StreamReadExtended(Stream));
  return p;
}

using TPointReader = TDoublePoint (*)(TStream &);

static void ReadPoints(TStream &Stream, TPointReader Reader, int Count, std::array<TDoublePoint, 3> &Points) {
  for (int i = 0; i < Count; ++i)
    Points[i] = Reader(Stream);
}

// Map points given as (latitude, longitude) on Datum become Mercator metres
// on the datum's ellipsoid.
static void ProjectMercator(const TGeodeticDatum *Datum, int Count, std::array<TDoublePoint, 3> &Points) {
  for (int i = 0; i < Count; ++i)
    Points[i] = MercatorForward(Points[i], Datum->Ellipsoid);
}

static ENKFChartError InvalidCount(const char *Reader, const char *What, int32_t Count) {
  return ENKFChartError(std::string(Reader) + ": Invalid " + What + " count (" + IntToStr(Count) + ")");
}

static void ReadBorder(TStream &Stream, TPolygon &Border, const char *Reader) {
  const int32_t count = StreamReadInteger(Stream);
  // Past the end of a descrambled tag the points would read as zeros without
  // end: a count larger than the bytes left could hold is refused too.
  if (count > NKFMaxBorderPoints || (count > 0 && count > (Stream.Size() - Stream.Position()) / 8))
    throw InvalidCount(Reader, "border point", count);
  Border.Clear();
  for (int32_t i = 0; i < count; ++i) {
    const int32_t x = StreamReadInteger(Stream);
    const int32_t y = StreamReadInteger(Stream);
    Border.AddPoint(TPoint{x, y});
  }
}

static uint8_t SourceFormatOf(uint8_t Code, const char *Reader) {
  switch (Code) {
  case 0: return 0;
  case 1: return 1;
  case 3: return 2;
  default: throw ENKFChartError(std::string(Reader) + ": Invalid Source Format code (" + IntToStr(Code) + ")");
  }
}

// ---------------------------------------------------------------------------
// Version 1.0.0.0: plain, read straight from the file

void ReadTagVersion1_0_0_0(TStream &Stream, TNKF2Tag &Tag) {
  ReadBorder(Stream, Tag.Border, "TNKFChart.ReadTagFromStream.ReadTagVersion1_0_0_0");
  for (std::string *text : {&Tag.Text1, &Tag.Text2, &Tag.Text6, &Tag.Text7, &Tag.Text8, &Tag.Text9})
    *text = PlainText(Stream);
  const int32_t count = StreamReadInteger(Stream);
  const int points = count == 3 ? 3 : 2;
  std::array<TDoublePoint, 3> pixels{}, maps{};
  ReadPoints(Stream, ReadSinglePoint, points, pixels);
  const int32_t projection = StreamReadInteger(Stream);
  if (projection == 1) {
    ReadPoints(Stream, ReadExtendedPoint, points, maps);
    const TGeodeticDatum *datum = GeodeticDatumCreateFromOldName(PlainText(Stream));
    ProjectMercator(datum, points, maps);
    TNKFDatumData datumData;
    datumData.DatumType = 1;
    datumData.DatumCode = datum->Code;
    Tag.CalibrationData = std::make_unique<TMercatorData>(count, pixels[0], pixels[1], pixels[2], maps[0], maps[1],
                                                          maps[2], datumData);
  } else if (projection == 3) {
    ReadPoints(Stream, ReadDoublePoint, points, maps);
    Tag.CalibrationData =
        std::make_unique<TRDData>(count, pixels[0], pixels[1], pixels[2], maps[0], maps[1], maps[2]);
  } else {
    throw ENKFChartError("TNKFChart.ReadTagFromStream.ReadTagVersion1_0_0_0: Invalid projection");
  }
  Tag.Text3.clear();
  Tag.Text4.clear();
  Tag.Text5.clear();
  Tag.Text10.clear();
  Tag.Number1 = 0;
  Tag.Identifier.fill(0);
  Tag.Number2 = 0;
  Tag.Number3 = 0;
  Tag.Date1 = 0;
  Tag.Value1 = static_cast<double>(1.0E37f);
  Tag.Value2 = 0;
  Tag.Date2 = 0;
  Tag.Date3 = 0;
  Tag.Text11.clear();
  Tag.Flag1 = true;
  Tag.SourceFormat = 0;
  Tag.Links.clear();
}

// ---------------------------------------------------------------------------
// Versions 1.0.0.1 and 1.0.0.2: scrambled as a whole

// The tag's bytes up to the file's last two, each XORed with a running key
// that starts at the XOR of those two bytes. Read through the stream's window
// in blocks rather than byte by byte.
static std::vector<uint8_t> DescrambledTag(TStream &Stream) {
  const int64_t start = Stream.Position();
  Stream.Seek(int64_t{-2}, TSeekOrigin::soEnd);
  const uint16_t word = StreamReadWord(Stream);
  const auto key = static_cast<uint8_t>((word & 0xFF) ^ (word >> 8));
  Stream.Seek(start, TSeekOrigin::soBeginning);
  const int64_t length = std::max<int64_t>(0, Stream.Size() - 2 - start);
  // The tag runs to the end of the file and is descrambled in memory; a
  // TagPos far before the end of a large file would claim the whole file.
  if (length > NKFMaxScrambledTagSize)
    throw ENKFChartError("TNKFChart.ReadTagFromStream: Tag of " + IntToStr(length) + " bytes is too large");
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  constexpr int64_t block = 32768;
  for (int64_t done = 0; done < length; done += block) {
    const auto n = static_cast<int32_t>(std::min(block, length - done));
    Stream.ReadBuffer(bytes.data() + done, n);
  }
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] ^= static_cast<uint8_t>(key + i);
  return bytes;
}

static TNKFDatumData ReadDatumData(TStream &Stream) {
  TNKFDatumData datum;
  const uint8_t type = StreamReadByte(Stream);
  switch (type) {
  case 0:
    datum.DatumType = 1;
    datum.DatumCode = ReadText(Stream, NKFKeyB);
    break;
  case 1:
    datum.DatumType = 2;
    datum.DatumValues[0] = StreamReadDouble(Stream);
    datum.DatumValues[1] = StreamReadDouble(Stream);
    break;
  case 2:
    datum.DatumType = 3;
    for (int i = 2; i < 11; ++i)
      datum.DatumValues[i] = StreamReadDouble(Stream);
    break;
  default:
    throw ENKFChartError("ReadTagFromStream.ReadTagCurrentVersion.ReadDatumData: Invalid datumtype (" +
                         IntToStr(type) + ")");
  }
  return datum;
}

enum class TNKFGrid { Mercator, RD, TransverseMercator };

static void ReadProjectionBlock(TStream &Stream, TNKFGrid Grid, bool Current, TNKF2Tag &Tag) {
  const int count = StreamReadByte(Stream) != 0 ? 3 : 2;
  std::array<TDoublePoint, 3> pixels{}, maps{};
  ReadPoints(Stream, Current ? ReadDoublePoint : ReadSinglePoint, count, pixels);
  if (!Current && Grid == TNKFGrid::Mercator) {
    ReadPoints(Stream, ReadExtendedPoint, count, maps);
    const TGeodeticDatum *datum = GeodeticDatumCreate(ReadText(Stream, NKFKeyB));
    ProjectMercator(datum, count, maps);
    TNKFDatumData datumData;
    datumData.DatumType = 1;
    datumData.DatumCode = datum->Code;
    Tag.CalibrationData =
        std::make_unique<TMercatorData>(count, pixels[0], pixels[1], pixels[2], maps[0], maps[1], maps[2], datumData);
    return;
  }
  ReadPoints(Stream, ReadDoublePoint, count, maps);
  switch (Grid) {
  case TNKFGrid::RD:
    Tag.CalibrationData =
        std::make_unique<TRDData>(count, pixels[0], pixels[1], pixels[2], maps[0], maps[1], maps[2]);
    break;
  case TNKFGrid::Mercator:
    Tag.CalibrationData = std::make_unique<TMercatorData>(count, pixels[0], pixels[1], pixels[2], maps[0], maps[1],
                                                          maps[2], ReadDatumData(Stream));
    break;
  case TNKFGrid::TransverseMercator: {
    const double k0 = StreamReadDouble(Stream);
    const double lon0 = StreamReadDouble(Stream);
    Tag.CalibrationData = std::make_unique<TTransverseMercatorData>(
        count, pixels[0], pixels[1], pixels[2], maps[0], maps[1], maps[2], k0, lon0, ReadDatumData(Stream));
    break;
  }
  }
}

static void ReadScrambledTag(TStream &FileStream, TNKF2Tag &Tag, bool Current) {
  const char *reader = Current ? "TNKFChart.ReadTagFromStream.ReadTagCurrentVersion"
                               : "TNKFChart.ReadTagFromStream.ReadTagVersion1_0_0_1";
  TMemoryStream Stream(DescrambledTag(FileStream));
  StreamReadIdentifier(Stream, Tag.Identifier.data());
  Tag.Number2 = StreamReadCardinal(Stream);
  Tag.Number3 = StreamReadInteger(Stream);
  Tag.Text5 = ReadText(Stream, NKFKeyA);
  if (Current)
    Tag.Text4 = ReadText(Stream, NKFKeyA);
  Tag.Text3 = ReadText(Stream, NKFKeyB);
  Tag.Text1 = ReadText(Stream, NKFKeyC);
  Tag.Text2 = ReadText(Stream, NKFKeyD);
  Tag.Text6 = ReadText(Stream, NKFKeyB);
  Tag.Text7 = ReadText(Stream, NKFKeyA);
  Tag.Text8 = ReadText(Stream, NKFKeyC);
  Tag.Text9 = ReadText(Stream, NKFKeyD);
  Tag.Number1 = StreamReadInteger(Stream);
  Tag.Text10 = ReadText(Stream, NKFKeyB);
  Tag.Date1 = StreamReadNKFDate(Stream, NKFKeyD);
  if (Current) {
    Tag.Value1 = StreamReadDouble(Stream);
    Tag.Value2 = StreamReadDouble(Stream);
  } else {
    Tag.Value1 = StreamReadSingle(Stream);
    Tag.Value2 = StreamReadSingle(Stream);
  }
  Tag.Date2 = StreamReadNKFDate(Stream, NKFKeyA);

  const uint8_t projection = StreamReadByte(Stream);
  TNKFGrid grid;
  if (projection == 0)
    grid = TNKFGrid::Mercator;
  else if (projection == 1)
    grid = TNKFGrid::RD;
  else if (projection == 2 && Current)
    grid = TNKFGrid::TransverseMercator;
  else
    throw ENKFChartError(std::string(reader) + ": Invalid projection (" + IntToStr(projection) + ")");
  ReadProjectionBlock(Stream, grid, Current, Tag);

  ReadBorder(Stream, Tag.Border, reader);
  Tag.Flag1 = StreamReadBoolean(Stream);
  Tag.SourceFormat = SourceFormatOf(StreamReadByte(Stream), reader);
  Tag.Date3 = StreamReadNKFDate(Stream, NKFKeyD);
  Tag.Text11 = ReadText(Stream, NKFKeyD);
  const int32_t linkCount = StreamReadInteger(Stream);
  // A count beyond the links stored ends at the tag's end (below).
  if (linkCount > NKFMaxLinks)
    throw InvalidCount(reader, "link", linkCount);
  for (int32_t k = 1; k <= linkCount; ++k) {
    if (Stream.Position() >= Stream.Size())
      break;
    TNKFLink link;
    link.LinkType = StreamReadByte(Stream);
    if (link.LinkType != 0)
      throw ENKFChartError(std::string(reader) + ": Invalid LinkType");
    link.LinkText1 = ReadText(Stream, NKFKeyA);
    link.LinkText2 = ReadText(Stream, NKFKeyC);
    Tag.Links.push_back(std::move(link));
  }
}

void ReadTagVersion1_0_0_1(TStream &Stream, TNKF2Tag &Tag) { ReadScrambledTag(Stream, Tag, false); }

void ReadTagCurrentVersion(TStream &Stream, TNKF2Tag &Tag) { ReadScrambledTag(Stream, Tag, true); }
