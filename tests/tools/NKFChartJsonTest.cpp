#include "NKFChartJson.h"

#include <gtest/gtest.h>

#include "NKFChartWriter.h"
#include "TempDir.h"

namespace {

bool Has(const std::string &Json, const std::string &Line) { return Json.find(Line) != std::string::npos; }

} // namespace

// Scripts rely on the keys and on texts coming out byte for byte; every
// version's listing is checked for both.
TEST(NKFChartJson, ListsTheChartUnderItsFieldNames) {
  for (uint32_t version : {NKFVersion1_0_0_0, NKFVersion1_0_0_1, NKFVersion1_0_0_2}) {
    TNKFChartDescription description = NKFSampleChart(version, 1000, 600);
    description.Tag.Text1 = "Den Helder \"Marsdiep\" \\ \xE4\x01";
    description.Tag.Text4 = "four";
    description.Tag.Number1 = -3;
    for (int i = 0; i < 16; ++i)
      description.Tag.Identifier[i] = static_cast<uint8_t>(i * 17);
    description.Tag.Links = {{0, "next", "b.nkf2"}};
    description.Tag.Border = {{1, 2}, {999, 2}, {500, 598}};
    TTempDir dir;
    NKFWriteChartFile(dir.File("c.nkf2"), description);
    TNKFChart chart(dir.File("c.nkf2"));
    const std::string json = NKFChartJson(chart);
    const std::string v = NKFDottedVersion(version);
    const bool later = version != NKFVersion1_0_0_0;

    EXPECT_TRUE(Has(json, "\"Version\": \"" + v + "\"")) << v;
    EXPECT_TRUE(Has(json, "\"Width\": 1000,")) << v;
    EXPECT_TRUE(Has(json, "\"TileCount\": 19,")) << v;
    EXPECT_TRUE(Has(json, "\"FirstTile\": 18")) << v;
    EXPECT_TRUE(Has(json, "\"ActiveSize\": ")) << v;
    EXPECT_TRUE(Has(json, "\"Text1\": \"Den Helder \\\"Marsdiep\\\" \\\\ \\u00E4\\u0001\",")) << v;
    EXPECT_TRUE(Has(json, std::string("\"Text4\": \"") + (version == NKFVersion1_0_0_2 ? "four" : "") + "\",")) << v;
    EXPECT_TRUE(Has(json, "\"Text11\": ")) << v;
    EXPECT_TRUE(Has(json, std::string("\"Number1\": ") + (later ? "-3" : "0") + ",")) << v;
    EXPECT_TRUE(Has(json, std::string("\"Identifier\": \"") +
                              (later ? "00112233445566778899AABBCCDDEEFF" : "00000000000000000000000000000000") + "\""))
        << v;
    EXPECT_TRUE(Has(json, std::string("\"Date1\": ") + (later ? "37726" : "0") + ",")) << v;
    EXPECT_TRUE(Has(json, "\"Border\": [\n    [1, 2],\n    [999, 2],\n    [500, 598]\n  ]")) << v;
    EXPECT_EQ(Has(json, "\"LinkText2\": \"b.nkf2\""), later) << v;
    EXPECT_TRUE(Has(json, "\"IsCalibrated\": true,")) << v;
    EXPECT_TRUE(Has(json, "\"Kind\": \"Mercator\"")) << v;
    EXPECT_TRUE(Has(json, "\"DatumCode\": \"WGE\"")) << v;
    // The sample's top left corner is 53.5 N 4.5 E.
    EXPECT_TRUE(Has(json, "\"Corners\": [\n    [53.4")) << v;
    EXPECT_EQ(json.back(), '\n');
  }
}

TEST(NKFChartJson, EmptyChartHasNoCalibration) {
  TTempDir dir;
  WriteFileBytes(dir.File("x.nkf2"), "not a chart at all");
  TNKFChart chart(dir.File("x.nkf2"));
  const std::string json = NKFChartJson(chart);
  EXPECT_TRUE(Has(json, "\"Version\": \"0.0.0.0\""));
  EXPECT_TRUE(Has(json, "\"Tiles\": [],"));
  EXPECT_TRUE(Has(json, "\"CalibrationData\": {},"));
  EXPECT_TRUE(Has(json, "\"Corners\": []"));
}
