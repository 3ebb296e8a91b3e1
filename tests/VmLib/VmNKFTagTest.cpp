#include "VmNKFTag.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "NKFChartWriter.h"
#include "OSFile.h"
#include "Raised.h"
#include "TempDir.h"
#include "VmNKFCharts.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;

std::string Versions(uint32_t Version) { return NKFDottedVersion(Version); }

// Opens a chart written from the description.
std::unique_ptr<TNKFChart> Open(const TTempDir &Dir, const TNKFChartDescription &Chart) {
  const std::string name = Dir.File("chart.nkf2");
  NKFWriteChartFile(name, Chart);
  return std::make_unique<TNKFChart>(name);
}

std::string OpenError(const TNKFChartDescription &Chart) {
  TTempDir dir;
  return Raised([&] { Open(dir, Chart); });
}

// The tag of a 1.0.0.2 chart read straight from memory.
void ReadCurrent(const TNKFTagDescription &Tag, TNKF2Tag &Out) {
  const std::string bytes = NKFTagBytes(NKFVersion1_0_0_2, Tag);
  TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  ReadTagCurrentVersion(stream, Out);
}

} // namespace

TEST(NKFScramble, EachCharacterWithTheKeyPlusItsPositionWrapping) {
  const std::string scrambled = NKFScramble(0xFE, std::string("\x00\x00\x00\x10", 4));
  EXPECT_EQ(scrambled, std::string("\xFF\x00\x01\x12", 4));
  const std::string text = "Noord-Holland \xE9\xFF";
  EXPECT_EQ(NKFScramble(NKFKeyC, NKFScramble(NKFKeyC, text)), text);
  EXPECT_EQ(NKFScramble(NKFKeyA, ""), "");
}

TEST(NKFTagBytes, WholeTagIsXoredWithARunningKeyFromTheLastTwoBytes) {
  TNKFTagDescription tag;
  tag.KeyWord = 0x12F0; // key 0xF0 ^ 0x12 = 0xE2
  const std::string plain = NKFPlainTagBytes(NKFVersion1_0_0_2, tag);
  const std::string stored = NKFTagBytes(NKFVersion1_0_0_2, tag);
  ASSERT_EQ(stored.size(), plain.size() + 2);
  for (size_t i = 0; i < plain.size(); ++i)
    ASSERT_EQ(static_cast<uint8_t>(stored[i]), static_cast<uint8_t>(plain[i] ^ static_cast<uint8_t>(0xE2 + i))) << i;
  EXPECT_EQ(stored.substr(stored.size() - 2), std::string("\xF0\x12", 2));
}

TEST(StreamReadNKFDate, EightDigitsGiveThatDayAtMidnight) {
  struct Case {
    const char *Stored;
    const char *Expected; // a day count or the error
  } cases[] = {
      {"20030415", "37726"},
      {"20000229", "36585"},
      {"00010101", "-693593"},
      {"99991231", "2958465"},
      {"2003AB15", "EConvertError: 'AB' is not a valid integer value"},
      {"20031301", "EConvertError: Invalid argument to date encode"},
      {"20030229", "EConvertError: Invalid argument to date encode"},
      {"00000101", "EConvertError: Invalid argument to date encode"},
  };
  for (const Case &c : cases) {
    const std::string bytes = NKFScramble(NKFKeyD, c.Stored);
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    std::string result;
    const std::string error = Raised([&] { result = IntToStr(static_cast<int64_t>(StreamReadNKFDate(stream, NKFKeyD))); });
    EXPECT_EQ(error == "none" ? result : error, c.Expected) << c.Stored;
  }
}

TEST(StreamReadNKFDate, DateCutShortIsAConversionError) {
  TMemoryStream stream(std::vector<uint8_t>{'2', '0'});
  EXPECT_THROW(StreamReadNKFDate(stream, 0), EConvertError);
}

// Every text, number and date lands in its own field, in each version that
// stores it.
TEST(ReadTag, FieldsOfTheScrambledVersionsRoundTrip) {
  for (uint32_t version : {NKFVersion1_0_0_1, NKFVersion1_0_0_2}) {
    TNKFChartDescription chart = NKFSampleChart(version, 600, 400);
    TNKFTagDescription &tag = chart.Tag;
    std::string all;
    for (int b = 0; b < 256; ++b)
      all += static_cast<char>(b);
    tag.Text1 = "one";
    tag.Text2 = "two \xE4";
    tag.Text3 = all;
    tag.Text5 = "five";
    tag.Text6 = "six";
    tag.Text7 = "seven";
    tag.Text8 = "";
    tag.Text9 = "nine";
    tag.Text10 = "ten";
    tag.Text11 = "eleven";
    tag.Number1 = -7;
    tag.Number2 = 0xFEDCBA98;
    tag.Number3 = 123456;
    for (int i = 0; i < 16; ++i)
      tag.Identifier[i] = static_cast<uint8_t>(0xA0 + i);
    tag.Date1 = "20030415";
    tag.Date2 = "19991231";
    tag.Date3 = "20000229";
    tag.Value1 = 0.1;
    tag.Value2 = -2.5e10;
    tag.Flag1Code = 0x80;
    tag.SourceFormatCode = 3;
    tag.Links = {{0, "link one", "http://one"}, {0, "", "\xFF"}};
    tag.KeyWord = 0x0000;

    TTempDir dir;
    const auto c = Open(dir, chart);
    const std::string v = Versions(version);
    EXPECT_EQ(c->Text1, "one") << v;
    EXPECT_EQ(c->Text2, "two \xE4") << v;
    EXPECT_EQ(c->Text3, all) << v;
    EXPECT_EQ(c->Text5, "five") << v;
    EXPECT_EQ(c->Text6, "six") << v;
    EXPECT_EQ(c->Text7, "seven") << v;
    EXPECT_EQ(c->Text8, "") << v;
    EXPECT_EQ(c->Text9, "nine") << v;
    EXPECT_EQ(c->Text10, "ten") << v;
    EXPECT_EQ(c->Text11, "eleven") << v;
    EXPECT_EQ(c->Number1, -7) << v;
    EXPECT_EQ(c->Number2, 0xFEDCBA98u) << v;
    EXPECT_EQ(c->Number3, 123456) << v;
    EXPECT_EQ(c->Identifier, tag.Identifier) << v;
    EXPECT_EQ(c->Date1, 37726) << v;
    EXPECT_EQ(c->Date2, 36525) << v;
    EXPECT_EQ(c->Date3, 36585) << v;
    EXPECT_EQ(c->Value1, 0.1f) << v;
    EXPECT_EQ(c->Value2, -2.5e10f) << v;
    EXPECT_TRUE(c->Flag1) << v;
    EXPECT_EQ(c->SourceFormat, 2) << v;
    ASSERT_EQ(c->Links.size(), 2u) << v;
    EXPECT_EQ(c->Links[0].LinkText1, "link one") << v;
    EXPECT_EQ(c->Links[0].LinkText2, "http://one") << v;
    EXPECT_EQ(c->Links[1].LinkText1, "") << v;
    EXPECT_EQ(c->Links[1].LinkText2, "\xFF") << v;
  }
}

TEST(ReadTag, Text4IsReadFromTheCurrentVersionOnly) {
  TNKFTagDescription tag = NKFSampleChart(NKFVersion1_0_0_2, 300, 300).Tag;
  tag.Text4 = "four";
  tag.Text5 = "five";
  TNKF2Tag read;
  ReadCurrent(tag, read);
  EXPECT_EQ(read.Text4, "four");
  EXPECT_EQ(read.Text5, "five");
}

TEST(ReadTag, FirstVersionDefaultsForWhatItDoesNotStore) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_0, 300, 300);
  chart.Tag.Text1 = "plain one";
  chart.Tag.Text9 = "plain nine";
  chart.Tag.Text3 = "not stored";
  TTempDir dir;
  const auto c = Open(dir, chart);
  EXPECT_EQ(c->Text1, "plain one");
  EXPECT_EQ(c->Text9, "plain nine");
  EXPECT_EQ(c->Text3, "");
  EXPECT_TRUE(c->Flag1);
  EXPECT_EQ(c->Value1, 1.0E37f);
  EXPECT_EQ(c->Identifier, (std::array<uint8_t, 16>{}));
  EXPECT_EQ(c->Date1, 0);
  EXPECT_EQ(c->SourceFormat, 0);
  EXPECT_TRUE(c->Links.empty());
}

TEST(ReadTag, LinkCountBeyondTheDataStopsAtTheEndOfTheTag) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 300, 300);
  chart.Tag.Links = {{0, "a", "b"}, {0, "c", "d"}};
  chart.Tag.LinkCountCode = 5;
  TTempDir dir;
  EXPECT_EQ(Open(dir, chart)->Links.size(), 2u);
  chart.Tag.LinkCountCode = -3;
  EXPECT_TRUE(Open(dir, chart)->Links.empty());
}

// Border points and links beyond what any real chart holds are refused
// before they are kept; the largest counts allowed open.
TEST(ReadTag, BorderAndLinkCountsHaveCaps) {
  const auto border = [](int32_t Count) {
    std::vector<TNKFWriterBorderPoint> points(static_cast<size_t>(Count));
    for (int32_t i = 0; i < Count; ++i)
      points[static_cast<size_t>(i)] = {i % 300, i / 300 % 200};
    return points;
  };
  struct Case {
    uint32_t Version;
    int32_t BorderPoints, Links;
    std::string Error;
  } cases[] = {
      {NKFVersion1_0_0_0, NKFMaxBorderPoints, 0, "none"},
      {NKFVersion1_0_0_0, NKFMaxBorderPoints + 1, 0,
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagVersion1_0_0_0: Invalid border point count (100001)"},
      {NKFVersion1_0_0_2, NKFMaxBorderPoints, NKFMaxLinks, "none"},
      {NKFVersion1_0_0_2, NKFMaxBorderPoints + 1, 0,
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagCurrentVersion: Invalid border point count (100001)"},
      {NKFVersion1_0_0_1, 0, NKFMaxLinks + 1,
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagVersion1_0_0_1: Invalid link count (1001)"},
  };
  for (const Case &c : cases) {
    TNKFChartDescription chart = NKFSampleChart(c.Version, 300, 200);
    chart.Tag.Border = border(c.BorderPoints);
    chart.Tag.Links.assign(static_cast<size_t>(c.Links), TNKFWriterLink{});
    TTempDir dir;
    std::unique_ptr<TNKFChart> opened;
    EXPECT_EQ(Raised([&] { opened = Open(dir, chart); }), c.Error) << Versions(c.Version);
    if (opened) {
      EXPECT_EQ(opened->Border.Count(), c.BorderPoints);
      EXPECT_EQ(opened->Links.size(), static_cast<size_t>(c.Links));
    }
  }
}

// The first version's tag is read straight from the file; read on its own
// from a stream that returns short (zeros), a count larger than the bytes
// left would add points without end.
TEST(ReadTag, FirstVersionBorderCountBeyondTheBytesLeftIsRefused) {
  TNKFTagDescription tag = NKFSampleChart(NKFVersion1_0_0_0, 300, 200).Tag;
  tag.BorderCountCode = 50000;
  const std::string bytes = NKFTagBytes(NKFVersion1_0_0_0, tag);
  TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  TNKF2Tag read;
  EXPECT_EQ(Raised([&] { ReadTagVersion1_0_0_0(stream, read); }),
            "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagVersion1_0_0_0: Invalid border point count (50000)");
}

// The failure table of the tag readers, message for message.
TEST(ReadTag, RefusesInvalidCodes) {
  struct Case {
    uint32_t Version;
    void (*Patch)(TNKFTagDescription &);
    const char *Error;
  } cases[] = {
      {NKFVersion1_0_0_0, [](TNKFTagDescription &t) { t.ProjectionCode = 2; },
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagVersion1_0_0_0: Invalid projection"},
      {NKFVersion1_0_0_1, [](TNKFTagDescription &t) { t.ProjectionCode = 2; },
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagVersion1_0_0_1: Invalid projection (2)"},
      {NKFVersion1_0_0_1, [](TNKFTagDescription &t) { t.SourceFormatCode = 2; },
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagVersion1_0_0_1: Invalid Source Format code (2)"},
      {NKFVersion1_0_0_1, [](TNKFTagDescription &t) { t.Links = {{0, "a", "b"}, {1, "c", "d"}}; },
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagVersion1_0_0_1: Invalid LinkType"},
      {NKFVersion1_0_0_2, [](TNKFTagDescription &t) { t.ProjectionCode = 3; },
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagCurrentVersion: Invalid projection (3)"},
      {NKFVersion1_0_0_2, [](TNKFTagDescription &t) { t.ProjectionCode = 255; },
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagCurrentVersion: Invalid projection (255)"},
      {NKFVersion1_0_0_2, [](TNKFTagDescription &t) { t.SourceFormatCode = 2; },
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagCurrentVersion: Invalid Source Format code (2)"},
      {NKFVersion1_0_0_2, [](TNKFTagDescription &t) { t.SourceFormatCode = 4; },
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagCurrentVersion: Invalid Source Format code (4)"},
      {NKFVersion1_0_0_2, [](TNKFTagDescription &t) { t.Links = {{2, "a", "b"}}; },
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagCurrentVersion: Invalid LinkType"},
      {NKFVersion1_0_0_2, [](TNKFTagDescription &t) { t.DatumTypeCode = 3; },
       "ENKFChartError: ReadTagFromStream.ReadTagCurrentVersion.ReadDatumData: Invalid datumtype (3)"},
      {NKFVersion1_0_0_2,
       [](TNKFTagDescription &t) {
         t.Projection = TNKFWriterProjection::TransverseMercator;
         t.DatumTypeCode = 9;
       },
       "ENKFChartError: ReadTagFromStream.ReadTagCurrentVersion.ReadDatumData: Invalid datumtype (9)"},
      {NKFVersion1_0_0_2, [](TNKFTagDescription &t) { t.DatumCode = "wge"; },
       "EGeodeticsError: GeodeticDatumCreate: Unknown datum code \"wge\""},
      {NKFVersion1_0_0_1, [](TNKFTagDescription &t) { t.DatumCode = "XYZ"; },
       "EGeodeticsError: GeodeticDatumCreate: Unknown datum code \"XYZ\""},
      {NKFVersion1_0_0_0, [](TNKFTagDescription &t) { t.DatumOldName = "WGS 84"; },
       "EGeodeticsError: GeodeticDatumCreateFromOldName: Unknown geodetic datum \"WGS 84\""},
      {NKFVersion1_0_0_2, [](TNKFTagDescription &t) { t.Date1 = "2003-4-1"; },
       "EConvertError: '-4' is not a valid integer value"},
      {NKFVersion1_0_0_1, [](TNKFTagDescription &t) { t.Date3 = "20031232"; },
       "EConvertError: Invalid argument to date encode"},
      {NKFVersion1_0_0_0, [](TNKFTagDescription &t) { t.PointCount = 4; },
       "ENKFChartError: TNKFChart.Calibrate: Unsupported calibrationpoint count (4)"},
      {NKFVersion1_0_0_2, [](TNKFTagDescription &t) { t.BorderCountCode = 0x7FFFFFFF; },
       "ENKFChartError: TNKFChart.ReadTagFromStream.ReadTagCurrentVersion: Invalid border point count (2147483647)"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    TNKFChartDescription chart = NKFSampleChart(cases[i].Version, 300, 200);
    cases[i].Patch(chart.Tag);
    EXPECT_EQ(OpenError(chart), cases[i].Error) << "case " << i;
  }
}

TEST(ReadTag, TextLongerThanTheTagIsTheStreamError) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 300, 200);
  TNKFWrittenChart written = NKFWriteChart(chart);
  // Text5 starts after the identifier and two numbers: make its length
  // 0x7F0000xx by changing the top byte of the prefix.
  const std::string plain = NKFPlainTagBytes(chart.Version, chart.Tag);
  const auto key = static_cast<uint8_t>((chart.Tag.KeyWord & 0xFF) ^ (chart.Tag.KeyWord >> 8));
  written.Tag[27] = static_cast<char>((plain[27] ^ 0x7F) ^ static_cast<uint8_t>(key + 27));
  TTempDir dir;
  WriteFileBytes(dir.File("c.nkf2"), written.Head + written.Tag);
  EXPECT_EQ(Raised([&] { TNKFChart c(dir.File("c.nkf2")); }),
            "EStreamError: StreamReadStr: Length of string exceeds amount of bytes that are left in the stream.");
}

TEST(ReadTag, FirstVersionTagCutShortReadsBeyondTheEndOfTheFile) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_0, 300, 200);
  chart.Tag.Text1 = "";
  const TNKFWrittenChart written = NKFWriteChart(chart);
  TTempDir dir;
  const std::string name = dir.File("short.nkf2");
  // Border count, six empty texts, the point count, then three bytes of the
  // first pixel point.
  WriteFileBytes(name, written.Head + written.Tag.substr(0, 4 + 6 * 4 + 4 + 3));
  EXPECT_EQ(Raised([&] { TNKFChart c(name); }), "EStreamError: Read beyond end of file in " + ExpandFileName(name));
}

TEST(ReadTag, CountByteOtherThanZeroMeansThreePoints) {
  TNKFTagDescription tag = NKFSampleChart(NKFVersion1_0_0_2, 300, 300).Tag;
  tag.PointCount = 3;
  tag.PointCountCode = 7;
  tag.PixelPoints = {{{0, 0}, {300, 0}, {0, 300}}};
  tag.MapPoints = {{{1000, 9000}, {4000, 9000}, {1000, 6000}}};
  TNKF2Tag read;
  ReadCurrent(tag, read);
  ASSERT_NE(read.CalibrationData, nullptr);
  EXPECT_EQ(read.CalibrationData->CalibrationPointCount, 3);
  EXPECT_EQ(read.CalibrationData->PixelPoints[2].Y, 300);
  EXPECT_EQ(read.CalibrationData->MapPoints[2].Y, 6000);
}

// Each grid and each way of giving the datum, in every version that has it.
TEST(ReadTag, CalibrationDataOfEveryProjectionBlock) {
  struct Case {
    uint32_t Version;
    TNKFWriterProjection Projection;
    uint8_t DatumTypeCode;
    const char *Class;
    uint8_t DatumType;
  } cases[] = {
      {NKFVersion1_0_0_0, TNKFWriterProjection::Mercator, 0, "Mercator", 1},
      {NKFVersion1_0_0_0, TNKFWriterProjection::RD, 0, "RD", 0},
      {NKFVersion1_0_0_1, TNKFWriterProjection::Mercator, 0, "Mercator", 1},
      {NKFVersion1_0_0_1, TNKFWriterProjection::RD, 0, "RD", 0},
      {NKFVersion1_0_0_2, TNKFWriterProjection::Mercator, 0, "Mercator", 1},
      {NKFVersion1_0_0_2, TNKFWriterProjection::Mercator, 1, "Mercator", 2},
      {NKFVersion1_0_0_2, TNKFWriterProjection::Mercator, 2, "Mercator", 3},
      {NKFVersion1_0_0_2, TNKFWriterProjection::RD, 0, "RD", 0},
      {NKFVersion1_0_0_2, TNKFWriterProjection::TransverseMercator, 0, "TransverseMercator", 1},
      {NKFVersion1_0_0_2, TNKFWriterProjection::TransverseMercator, 1, "TransverseMercator", 2},
      {NKFVersion1_0_0_2, TNKFWriterProjection::TransverseMercator, 2, "TransverseMercator", 3},
  };
  const bool mercatorAsDegrees[] = {true, false, true, false, false, false, false, false, false, false, false};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    TNKFChartDescription chart = NKFSampleChart(c.Version, 800, 600);
    TNKFTagDescription &tag = chart.Tag;
    tag.Projection = c.Projection;
    tag.DatumTypeCode = c.DatumTypeCode;
    tag.PointCount = 3;
    tag.PixelPoints = {{{10.5, 20.25}, {790, 30}, {400, 580}}};
    if (c.Projection == TNKFWriterProjection::Mercator && mercatorAsDegrees[i])
      tag.MapPoints = {{{53.5 * Degree, 4.5 * Degree}, {53.49 * Degree, 5.5 * Degree}, {53 * Degree, 5 * Degree}}};
    else if (c.Projection == TNKFWriterProjection::RD)
      tag.MapPoints = {{{100000, 500000}, {180000, 499000}, {140000, 440000}}};
    else
      tag.MapPoints = {{{500000, 5900000}, {560000, 5899000}, {530000, 5850000}}};
    tag.K0 = 0.9996;
    tag.Lon0 = 3 * Degree;
    tag.DatumCode = "EUR-A";
    tag.DatumOldName = "ED50, EUR-A";
    tag.DLat = 1e-6;
    tag.DLon = -2e-6;
    tag.DatumParameters = {-87, 96, -120, 1e-6, 2e-6, 3e-6, 1.000001, 6378388, 297};

    TTempDir dir;
    std::unique_ptr<TNKFChart> chartRead;
    const std::string error = Raised([&] { chartRead = Open(dir, chart); });
    ASSERT_EQ(error, "none") << "case " << i;
    const TTagCalibrationData *data = chartRead->CalibrationData.get();
    ASSERT_NE(data, nullptr) << "case " << i;
    const std::string cls = dynamic_cast<const TTransverseMercatorData *>(data) ? "TransverseMercator"
                            : dynamic_cast<const TMercatorData *>(data)         ? "Mercator"
                            : dynamic_cast<const TRDData *>(data)               ? "RD"
                                                                                : "?";
    EXPECT_EQ(cls, c.Class) << "case " << i;
    EXPECT_EQ(data->CalibrationPointCount, 3) << "case " << i;
    EXPECT_EQ(data->Width, 800) << "case " << i;
    EXPECT_EQ(data->Height, 600) << "case " << i;
    EXPECT_EQ(data->DatumType, c.DatumType) << "case " << i;
    // Version 1.0.0.1 stores pixel points as singles, which hold these exactly.
    EXPECT_EQ(data->PixelPoints[0].X, 10.5) << "case " << i;
    EXPECT_EQ(data->PixelPoints[2].Y, 580) << "case " << i;
    if (mercatorAsDegrees[i]) {
      // Stored as latitude and longitude, kept as Mercator metres on the datum's ellipsoid.
      const TDoublePoint expected =
          MercatorForward({tag.MapPoints[1].X, tag.MapPoints[1].Y}, GeodeticDatumCreate("EUR-A")->Ellipsoid);
      EXPECT_EQ(data->MapPoints[1].X, expected.X) << "case " << i;
      EXPECT_EQ(data->MapPoints[1].Y, expected.Y) << "case " << i;
      EXPECT_EQ(data->DatumCode, "EUR-A") << "case " << i;
    } else {
      EXPECT_EQ(data->MapPoints[1].X, tag.MapPoints[1].X) << "case " << i;
      EXPECT_EQ(data->MapPoints[2].Y, tag.MapPoints[2].Y) << "case " << i;
    }
    if (c.DatumType == 1 && c.Projection != TNKFWriterProjection::RD) {
      EXPECT_EQ(data->GetDatum(), GeodeticDatumCreate("EUR-A")) << "case " << i;
    }
    if (c.DatumType == 2) {
      EXPECT_EQ(data->DatumValues[0], 1e-6) << "case " << i;
      EXPECT_EQ(data->DatumValues[1], -2e-6) << "case " << i;
    }
    if (c.DatumType == 3) {
      for (int k = 0; k < 9; ++k)
        EXPECT_EQ(data->DatumValues[2 + k], tag.DatumParameters[k]) << "case " << i << " value " << k;
      const TGeodeticDatum *datum = data->GetDatum();
      ASSERT_NE(datum, nullptr);
      EXPECT_EQ(datum->Ellipsoid->A, 6378388);
      EXPECT_EQ(datum->DX, -87);
      EXPECT_EQ(datum->Scale, 1.000001);
    }
    if (const auto *tm = dynamic_cast<const TTransverseMercatorData *>(data)) {
      EXPECT_EQ(tm->K0, 0.9996) << "case " << i;
      EXPECT_EQ(tm->Lon0, 3 * Degree) << "case " << i;
    }
    EXPECT_TRUE(chartRead->IsCalibrated()) << "case " << i;
  }
}

TEST(GetDatum, AnswersByDatumType) {
  const TDoublePoint p1{0, 0}, p2{1000, 800}, p3{0, 800};
  const TDoublePoint m1{500000, 7000000}, m2{600000, 6900000}, m3{500000, 6900000};
  TNKFDatumData none;
  TNKFDatumData byCode;
  byCode.DatumType = 1;
  byCode.DatumCode = "WGE";
  TNKFDatumData zeroShift;
  zeroShift.DatumType = 2;

  EXPECT_EQ(TRDData(2, p1, p2, p3, m1, m2, m3).GetDatum(), nullptr);
  EXPECT_EQ(TMercatorData(2, p1, p2, p3, m1, m2, m3, none).GetDatum(), nullptr);
  EXPECT_EQ(TMercatorData(2, p1, p2, p3, m1, m2, m3, byCode).GetDatum(), WGS84Datum());

  TMercatorData shifted(3, p1, p2, p3, m1, m2, m3, zeroShift);
  shifted.Width = 1000;
  shifted.Height = 800;
  EXPECT_EQ(shifted.GetDatum(), WGS84Datum());

  TTransverseMercatorData fourPoints(4, p1, p2, p3, m1, m2, m3, 0.9996, 0, zeroShift);
  fourPoints.Width = 1000;
  fourPoints.Height = 800;
  EXPECT_EQ(Raised([&] { fourPoints.GetDatum(); }),
            "Exception: TMercatorData.GetDatum: CalibrationPointCount error (4)");
}

// A shift is anchored at the chart's centre: read on the shifted datum, the
// centre's WGS 84 position comes out moved by (-DLat, -DLon).
TEST(GetDatum, ShiftMovesTheCentreByTheStoredAngles) {
  const TGeodeticEllipsoid *we = WGS84Datum()->Ellipsoid;
  const TDoublePoint nw = MercatorForward({53.5 * Degree, 4.5 * Degree}, we);
  const TDoublePoint se = MercatorForward({53 * Degree, 5.5 * Degree}, we);
  TNKFDatumData shift;
  shift.DatumType = 2;
  shift.DatumValues[0] = 1e-5;
  shift.DatumValues[1] = 2e-5;
  TMercatorData data(2, {0, 0}, {1000, 800}, {}, nw, se, {}, shift);
  data.Width = 1000;
  data.Height = 800;
  const TGeodeticDatum *datum = data.GetDatum();
  ASSERT_NE(datum, nullptr);
  ASSERT_NE(datum, WGS84Datum());
  TCalibration wgs;
  ASSERT_TRUE(NKFCalibrationAccepted(wgs.CalibrateMercator2({0, 0}, {1000, 800}, nw, se, 1000, 800, WGS84Datum())));
  const TDoublePoint centre = wgs.PixelToWGS84({500, 400});
  TDoublePoint moved{};
  DatumChangeGeodetic2D(moved, WGS84Datum(), centre, datum);
  EXPECT_NEAR(moved.X, centre.X - 1e-5, 1e-9);
  EXPECT_NEAR(moved.Y, centre.Y - 2e-5, 1e-9);
}
