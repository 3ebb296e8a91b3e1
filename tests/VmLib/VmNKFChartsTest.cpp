#include "VmNKFCharts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <random>

#include "NKFChartWriter.h"
#include "OSFile.h"
#include "Raised.h"
#include "TempDir.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;

std::unique_ptr<TNKFChart> Open(const TTempDir &Dir, const TNKFChartDescription &Chart,
                                const std::string &Name = "chart.nkf2") {
  NKFWriteChartFile(Dir.File(Name), Chart);
  return std::make_unique<TNKFChart>(Dir.File(Name));
}



// An RD chart at one metre per pixel: pixel (x, y) is RD (155000 + x, 463000 - y),
// so positions given on the RD grid land on exact fractional pixels.
TNKFChartDescription MetreChart(int32_t Width, int32_t Height) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, Width, Height);
  chart.Tag.Projection = TNKFWriterProjection::RD;
  chart.Tag.PixelPoints[0] = {0, 0};
  chart.Tag.PixelPoints[1] = {static_cast<double>(Width), static_cast<double>(Height)};
  chart.Tag.MapPoints[0] = {155000, 463000};
  chart.Tag.MapPoints[1] = {155000.0 + Width, 463000.0 - Height};
  return chart;
}

TDoublePoint RDOfPixel(double x, double y) { return {155000 + x, 463000 - y}; }

} // namespace

TEST(TNKFChart, FileWithoutTheMagicOpensEmpty) {
  TTempDir dir;
  const std::string name = dir.File("other.nkf2");
  WriteFileBytes(name, "Vlm NKF1 and more bytes than the header needs");
  TNKFChart chart(name);
  EXPECT_EQ(chart.Version, 0u);
  EXPECT_EQ(chart.TileCount, 0u);
  EXPECT_EQ(chart.FileName, "");
  EXPECT_FALSE(chart.IsCalibrated());
  EXPECT_NE(chart.Transformation, nullptr);
  EXPECT_EQ(Raised([&] { chart.PositionToPixelExact({0, 0}, CoordinateSystemRD()); }),
            "ENKFChartError: TNKFChart.PositionToPixelExact: The chart is not calibrated");
}

TEST(TNKFChart, ContainerFailures) {
  TTempDir dir;
  const std::string missing = dir.File("missing.nkf2");
  EXPECT_EQ(Raised([&] { TNKFChart c(missing); }), "EStreamError: Cannot open file " + missing);

  const std::string tiny = dir.File("tiny.nkf2");
  WriteFileBytes(tiny, "Vlm");
  EXPECT_EQ(Raised([&] { TNKFChart c(tiny); }), "EStreamError: Read beyond end of file in " + ExpandFileName(tiny));

  struct Case {
    uint32_t Version;
    const char *Dotted;
  } versions[] = {{0x01000003, "1.0.0.3"}, {0x02000000, "2.0.0.0"}, {0x00000001, "0.0.0.1"}, {0xFFFEFDFC, "255.254.253.252"}};
  for (const Case &c : versions) {
    TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 300, 300);
    chart.Version = c.Version;
    NKFWriteChartFile(dir.File("x.nkf2"), chart);
    EXPECT_EQ(Raised([&] { TNKFChart x(dir.File("x.nkf2")); }),
              "ENKFChartError: TNKFChart.Create: Unsupported version of " + dir.File("x.nkf2") + " (" + c.Dotted + ")");
  }
}

TEST(TNKFChart, LevelsOfTheLaterVersionsFollowFromTheSize) {
  TTempDir dir;
  const auto chart = Open(dir, NKFSampleChart(NKFVersion1_0_0_2, 1000, 600));
  const uint32_t expected[5][5] = {
      {1000, 600, 4, 3, 0}, {500, 300, 2, 2, 12}, {250, 150, 1, 1, 16}, {125, 75, 1, 1, 17}, {63, 38, 1, 1, 18}};
  for (int i = 0; i < 5; ++i) {
    const TNKFLevel &l = chart->Levels[i];
    EXPECT_EQ((std::array<uint32_t, 5>{l.Width, l.Height, l.TilesX, l.TilesY, l.FirstTile}),
              (std::array<uint32_t, 5>{expected[i][0], expected[i][1], expected[i][2], expected[i][3], expected[i][4]}))
        << "level " << i;
  }
  EXPECT_EQ(chart->TileCount, 19u);
  EXPECT_EQ(chart->Width, 1000);
  EXPECT_EQ(chart->Height, 600);
}

// The tile count is the file's only integrity check; an override may not
// name a tile the directory lacks.
TEST(TNKFChart, DataIntegrityErrors) {
  struct Case {
    const char *What;
    void (*Patch)(TNKFChartDescription &);
  } cases[] = {
      {"one tile short", [](TNKFChartDescription &c) { c.TileCountCode = 18; }},
      {"one tile over", [](TNKFChartDescription &c) { c.TileCountCode = 20; }},
      {"negative width", [](TNKFChartDescription &c) { c.Width = -1000; }},
      {"override past the directory", [](TNKFChartDescription &c) { c.Overrides = {{19, 0}}; }},
      {"override far past the directory", [](TNKFChartDescription &c) { c.Overrides = {{2, 1}, {0xFFFFFFFF, 0}}; }},
      {"first version, levels need more tiles", [](TNKFChartDescription &c) {
         c.Version = NKFVersion1_0_0_0;
         c.Levels[4].TilesX = 2;
       }},
      {"first version, tile products overflow 32 bits", [](TNKFChartDescription &c) {
         c.Version = NKFVersion1_0_0_0;
         c.Levels[1].TilesX = 0x10000;
         c.Levels[1].TilesY = 0x10000;
         c.Levels[0].TilesX = 19;
         c.Levels[0].TilesY = 1;
         for (int i = 2; i < 5; ++i)
           c.Levels[i].TilesX = 0;
         c.TileCountCode = 19; // what the sum comes to in wrapping 32-bit arithmetic
       }},
  };
  for (const Case &c : cases) {
    TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 1000, 600);
    c.Patch(chart);
    TTempDir dir;
    const std::string name = dir.File("bad.nkf2");
    NKFWriteChartFile(name, chart);
    EXPECT_EQ(Raised([&] { TNKFChart x(name); }), "ENKFChartError: TNKFChart.Create: Data integrity error in " + name)
        << c.What;
  }
}

// What the viewer and the export draw by: a first-version chart stores its
// level records as they come, and opening (the installer's validity check)
// only adds up their tiles. Records whose tiles leave pixels uncovered, that
// claim a size the level before does not halve to, or sides no image can
// have must be named; the levels the later versions derive, even in single
// precision for sides beyond 2^24, must pass.
TEST(TNKFChart, LevelFaults) {
  TTempDir dir;
  WriteFileBytes(dir.File("empty.nkf2"), "not a chart");
  struct Case {
    const char *What;
    int32_t Width, Height;
    void (*Patch)(std::array<TNKFLevel, NKFLevelCount> &);
    const char *Fault; // of NKFLevelsFault, "" for none
  } cases[] = {
      {"derived levels", 1000, 600, [](auto &) {}, ""},
      {"derived levels of a side beyond 2^30", (1 << 30) + 33, 300, [](auto &) {}, ""},
      {"derived levels of a side 2^31 - 129", INT32_MAX - 128, 1, [](auto &) {}, ""},
      // Single precision rounds 2^31 - 1 up to 2^31.
      {"derived levels of a side 2^31 - 1", INT32_MAX, 1, [](auto &) {},
       "Level 0 (2147483648 x 1 pixels in 8388608 x 1 tiles) is larger than an image can be"},
      {"one tile column short", 1000, 600, [](auto &l) { l[2].TilesX -= 1; },
       "Level 2 (250 x 150 pixels in 0 x 1 tiles) is not covered exactly by its tiles"},
      {"one tile row too many", 1000, 600, [](auto &l) { l[0].TilesY += 1; },
       "Level 0 (1000 x 600 pixels in 4 x 4 tiles) is not covered exactly by its tiles"},
      {"levels 1 to 4 eight times the size", 512, 512,
       [](auto &l) {
         for (int i = 1; i < NKFLevelCount; ++i) {
           l[i].Width *= 8, l[i].Height *= 8;
           l[i].TilesX = (l[i].Width + 255) / 256, l[i].TilesY = (l[i].Height + 255) / 256;
         }
       },
       "Level 1 (2048 x 2048 pixels in 8 x 8 tiles) is not half of level 0 (512 x 512 pixels)"},
      {"a level two pixels over half", 1000, 600, [](auto &l) { l[3].Height += 2; },
       "Level 3 (125 x 77 pixels in 1 x 1 tiles) is not half of level 2 (250 x 150 pixels)"},
      {"level 0 not the chart's size", 1000, 600, [](auto &l) { l[0].Width = 1024; },
       "Level 0 (1024 x 600 pixels in 4 x 3 tiles) is not the chart's size (1000 x 600)"},
      {"no pixels", 1000, 600, [](auto &l) { l[4].Width = 0, l[4].TilesX = 0; },
       "Level 4 (0 x 38 pixels in 0 x 1 tiles) has no pixels"},
      {"a side beyond 2^31 - 1", 1000, 600,
       [](auto &l) { l[1].Width = 0x80000000u, l[1].TilesX = 0x800000; },
       "Level 1 (2147483648 x 300 pixels in 8388608 x 2 tiles) is larger than an image can be"},
  };
  for (const Case &c : cases) {
    TNKFChart chart(dir.File("empty.nkf2"));
    chart.Width = c.Width;
    chart.Height = c.Height;
    NKFComputeLevels(c.Width, c.Height, chart.Levels.data());
    c.Patch(chart.Levels);
    EXPECT_EQ(NKFLevelsFault(chart), c.Fault) << c.What;
  }
  TNKFChart empty(dir.File("empty.nkf2"));
  EXPECT_EQ(NKFLevelFault(empty, 0), "Level 0 (0 x 0 pixels in 0 x 0 tiles) has no pixels");
  EXPECT_EQ(NKFLevelFault(empty, 5), "Level 5 is not 0 to 4");

  // A first-version file from the writer with level records eight times the
  // size opens (its tile count adds up) and is named by the check.
  TNKFChartDescription d = NKFSampleChart(NKFVersion1_0_0_0, 512, 512);
  uint32_t tiles = 0;
  for (int i = 1; i < NKFLevelCount; ++i) {
    TNKFLevel &l = d.Levels[static_cast<size_t>(i)];
    l.Width *= 8, l.Height *= 8;
    l.TilesX = (l.Width + 255) / 256, l.TilesY = (l.Height + 255) / 256;
  }
  for (const TNKFLevel &l : d.Levels)
    tiles += l.TilesX * l.TilesY;
  d.TileBlobs.resize(tiles, 0);
  const auto opened = Open(dir, d);
  EXPECT_EQ(opened->TileCount, tiles);
  EXPECT_EQ(NKFLevelsFault(*opened),
            "Level 1 (2048 x 2048 pixels in 8 x 8 tiles) is not half of level 0 (512 x 512 pixels)");
  EXPECT_EQ(NKFLevelsFault(*Open(dir, NKFSampleChart(NKFVersion1_0_0_0, 512, 512))), "");
}

TEST(TNKFChart, DirectoryAndOverrides) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 1000, 600);
  chart.Blobs.push_back("override five, first");
  chart.Blobs.push_back("override five, second");
  chart.Blobs.push_back("override seven");
  chart.Overrides = {{5, 19}, {7, 21}, {5, 20}};
  TNKFWrittenChart written = NKFWriteChart(chart);
  NKFPutInt64(written.Head, written.DirectoryPos + 3 * 16 + 8, -5); // tile 3's stored size
  TTempDir dir;
  const std::string name = dir.File("o.nkf2");
  WriteFileBytes(name, written.Head + written.Tag);
  TNKFChart c(name);
  EXPECT_TRUE(c.HasTileOverrides);
  ASSERT_EQ(c.Tiles.size(), 19u);
  for (uint32_t t = 0; t < 19; ++t) {
    TNKFTileEntry e;
    c.GetTileEntry(t, e);
    EXPECT_EQ(e.Offset, written.BlobOffsets[t]) << t;
    EXPECT_EQ(e.Size, t == 3 ? 0 : static_cast<int64_t>(chart.Blobs[t].size())) << t;
    const size_t active = t == 5 ? 20 : t == 7 ? 21 : t;
    EXPECT_EQ(e.ActiveOffset, written.BlobOffsets[active]) << t;
    EXPECT_EQ(e.ActiveSize, t == 3 ? 0 : static_cast<int64_t>(chart.Blobs[active].size())) << t;
  }
  EXPECT_EQ(c.TagPos, written.TagPos);
  EXPECT_EQ(c.FileName, name);

  chart.Overrides.clear();
  EXPECT_FALSE(Open(dir, chart)->HasTileOverrides);
}

// Override sizes are kept within a 32-bit byte count: a negative one is an
// empty tile, one beyond the count the largest count, which the tile loader
// refuses by name (a cast would have wrapped it to a small size).
TEST(TNKFChart, OverrideSizesAreClampedWhenTheChartIsOpened) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 1000, 600);
  chart.Overrides = {{4, 0}, {6, 1}};
  TNKFWrittenChart written = NKFWriteChart(chart);
  constexpr int64_t entry = 20, size = 16; // an entry's length; its size after the count
  NKFPutInt64(written.Head, written.OverridesPos + size, -7);
  NKFPutInt64(written.Head, written.OverridesPos + entry + size, (int64_t{1} << 32) + 16);
  TTempDir dir;
  WriteFileBytes(dir.File("o.nkf2"), written.Head + written.Tag);
  TNKFChart c(dir.File("o.nkf2"));
  EXPECT_EQ(c.Tiles[4].ActiveSize, 0);
  EXPECT_EQ(c.Tiles[6].ActiveSize, INT32_MAX);
  EXPECT_EQ(c.Tiles[6].Size, static_cast<int64_t>(chart.Blobs[6].size()));
}

// Version 1.0.0.0 keeps offsets only: a tile runs to the next larger offset,
// the last to the tag, and tiles sharing a stored tile share its size.
TEST(TNKFChart, FirstVersionTileSizesFromTheOffsets) {
  struct Case {
    std::vector<int64_t> Offsets;
    std::vector<int64_t> Sizes;
  } cases[] = {
      {{100, 50, 300}, {200, 50, 100}},
      {{100, 300, 100}, {200, 100, 200}},
      {{300, 300, 50}, {100, 100, 250}},
      {{500, 50, 300}, {0, 250, 200}}, // past the tag: nothing to read
      {{INT64_MIN, 50, INT64_MAX}, {INT64_MAX, INT64_MAX - 50, 0}}, // 2^64 apart
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    TNKFChartDescription chart;
    chart.Version = NKFVersion1_0_0_0;
    chart.Levels[0] = {300, 100, 3, 1, 0};
    chart.Blobs = {"", "", ""};
    chart.TileBlobs = {0, 1, 2};
    chart.Tag = NKFSampleChart(NKFVersion1_0_0_0, 300, 100).Tag;
    // header 104 bytes, directory 24: a gap of 272 puts the tag at 400.
    chart.TagGap = 400 - 128;
    TNKFWrittenChart written = NKFWriteChart(chart);
    ASSERT_EQ(written.TagPos, 400);
    for (int t = 0; t < 3; ++t)
      NKFPutInt64(written.Head, written.DirectoryPos + 8 * t, cases[i].Offsets[t]);
    TTempDir dir;
    WriteFileBytes(dir.File("v0.nkf2"), written.Head + std::string(272, '\0') + written.Tag);
    TNKFChart c(dir.File("v0.nkf2"));
    EXPECT_FALSE(c.HasTileOverrides);
    for (int t = 0; t < 3; ++t) {
      EXPECT_EQ(c.Tiles[t].Size, cases[i].Sizes[t]) << "case " << i << " tile " << t;
      EXPECT_EQ(c.Tiles[t].ActiveSize, cases[i].Sizes[t]) << "case " << i << " tile " << t;
      EXPECT_EQ(c.Tiles[t].ActiveOffset, cases[i].Offsets[t]) << "case " << i << " tile " << t;
    }
    EXPECT_EQ(c.Width, 300);
    EXPECT_EQ(c.Height, 100);
  }
}

TEST(TNKFChart, TagPosZeroIsRefusedOnlyAfterTheWholeDirectory) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_1, 1000, 600);
  chart.TagPosCode = 0;
  TTempDir dir;
  const std::string name = dir.File("z.nkf2");
  NKFWriteChartFile(name, chart);
  EXPECT_EQ(Raised([&] { TNKFChart c(name); }), "ENKFChartError: TNKFChart.Create: TagPos cannot be zero");
  const TNKFWrittenChart written = NKFWriteChart(chart);
  WriteFileBytes(name, written.Head.substr(0, static_cast<size_t>(written.DirectoryPos + 16 * 18 + 4)));
  EXPECT_EQ(Raised([&] { TNKFChart c(name); }), "EStreamError: Read beyond end of file in " + ExpandFileName(name));
}

TEST(TNKFChart, TagPosOutsideTheFileIsTheStreamsError) {
  for (int64_t tagPos : {int64_t{-8}, int64_t{1} << 40}) {
    TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 300, 300);
    chart.TagPosCode = tagPos;
    TTempDir dir;
    const std::string name = dir.File("far.nkf2");
    NKFWriteChartFile(name, chart);
    EXPECT_EQ(Raised([&] { TNKFChart c(name); }), "EStreamError: Invalid new position in " + ExpandFileName(name));
  }
}

// A directory that claims millions of tiles in a small file ends in the
// stream's error, not in an allocation of the claimed size.
TEST(TNKFChart, HugeTileCountInASmallFile) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 300, 300);
  chart.Width = 200000;
  chart.Height = 300000;
  const std::array<TNKFLevel, 5> levels = NKFLevelsOf(chart.Width, chart.Height);
  uint64_t tiles = 0;
  for (const TNKFLevel &l : levels)
    tiles += static_cast<uint64_t>(l.TilesX) * l.TilesY;
  chart.TileCountCode = static_cast<uint32_t>(tiles);
  TTempDir dir;
  const std::string name = dir.File("huge.nkf2");
  NKFWriteChartFile(name, chart);
  EXPECT_EQ(Raised([&] { TNKFChart c(name); }), "EStreamError: Read beyond end of file in " + ExpandFileName(name));
}

// The scrambled tag is read into memory whole; a TagPos far before the end
// of a large file is refused instead of claiming the file.
TEST(TNKFChart, ScrambledTagLargerThanAnyRealTag) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 300, 300);
  chart.TagGap = NKFMaxScrambledTagSize;
  TTempDir dir;
  const std::string name = dir.File("long-tag.nkf2");
  NKFWriteChartFile(name, chart);
  const TNKFWrittenChart written = NKFWriteChart(chart);
  std::string head = written.Head;
  NKFPutInt64(head, NKFHeaderTagPosPos, written.TagPos - NKFMaxScrambledTagSize);
  {
    std::fstream file(name, std::ios::binary | std::ios::in | std::ios::out);
    file.write(head.data(), static_cast<std::streamsize>(head.size()));
  }
  EXPECT_EQ(Raised([&] { TNKFChart c(name); }),
            "ENKFChartError: TNKFChart.ReadTagFromStream: Tag of " +
                std::to_string(written.FileSize() - 2 - (written.TagPos - NKFMaxScrambledTagSize)) +
                " bytes is too large");
}

TEST(TNKFChart, BorderFromTheTagOrTheFourCorners) {
  TTempDir dir;
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 1000, 600);
  auto c = Open(dir, chart);
  ASSERT_EQ(c->Border.Count(), 4);
  const TPoint corners[4] = {{0, 0}, {1000, 0}, {1000, 600}, {0, 600}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(c->Border.GetPoint(i).X, corners[i].X) << i;
    EXPECT_EQ(c->Border.GetPoint(i).Y, corners[i].Y) << i;
  }
  for (uint32_t version : {NKFVersion1_0_0_0, NKFVersion1_0_0_1, NKFVersion1_0_0_2}) {
    TNKFChartDescription bordered = NKFSampleChart(version, 1000, 600);
    bordered.Tag.Border = {{10, 20}, {900, -5}, {-7, 580}};
    c = Open(dir, bordered);
    ASSERT_EQ(c->Border.Count(), 3) << version;
    EXPECT_EQ(c->Border.GetPoint(1).X, 900) << version;
    EXPECT_EQ(c->Border.GetPoint(1).Y, -5) << version;
    EXPECT_EQ(c->Border.GetPoint(2).X, -7) << version;
  }
}

// Files of 2 GiB and more: the tag is found through a 64-bit seek. The file
// is mostly a hole, so it costs no disk space.
TEST(TNKFChart, TagBeyondTwoGibibytes) {
  for (uint32_t version : {NKFVersion1_0_0_0, NKFVersion1_0_0_2}) {
    TNKFChartDescription chart = NKFSampleChart(version, 300, 300);
    chart.TagGap = (int64_t{1} << 31) + 12345;
    chart.Tag.Text1 = "far out";
    TTempDir dir;
    const std::string name = dir.File("big.nkf2");
    NKFWriteChartFile(name, chart);
    TNKFChart c(name);
    EXPECT_GT(c.TagPos, int64_t{1} << 31) << version;
    EXPECT_EQ(c.Text1, "far out") << version;
    EXPECT_TRUE(c.IsCalibrated()) << version;
    const size_t last = chart.TileBlobs.size() - 1;
    if (version == NKFVersion1_0_0_0) { // the last tile runs up to the tag
      EXPECT_EQ(c.Tiles[last].Size, chart.TagGap + static_cast<int64_t>(chart.Blobs[last].size())) << version;
    }
  }
}

// Many generated charts: whatever the writer puts in, the reader gives back.
TEST(TNKFChart, RoundTripOfGeneratedCharts) {
  std::mt19937 random(20031215);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const auto text = [&] {
    std::string s(static_cast<size_t>(pick(12)), ' ');
    for (char &ch : s)
      ch = static_cast<char>(pick(256));
    return s;
  };
  TTempDir dir;
  for (int n = 0; n < 120; ++n) {
    const uint32_t version = NKFVersion1_0_0_0 + static_cast<uint32_t>(n % 3);
    const int32_t w = 1 + pick(3000), h = 1 + pick(3000);
    TNKFChartDescription chart = NKFSampleChart(version, w, h);
    TNKFTagDescription &tag = chart.Tag;
    tag.Text1 = text();
    tag.Text2 = text();
    tag.Text6 = text();
    tag.Text7 = text();
    tag.Text8 = text();
    tag.Text9 = text();
    tag.Text10 = text();
    tag.Text11 = text();
    tag.Number1 = static_cast<int32_t>(random());
    tag.Number2 = static_cast<uint32_t>(random());
    tag.KeyWord = static_cast<uint16_t>(random());
    for (int k = pick(6); k > 0; --k)
      tag.Border.push_back({pick(w + 1), pick(h + 1)});
    for (int k = pick(4); k > 0; --k)
      tag.Links.push_back({0, text(), text()});
    const int grid = pick(3);
    if (grid == 1 || (grid == 2 && version == NKFVersion1_0_0_2)) {
      tag.Projection = grid == 1 ? TNKFWriterProjection::RD : TNKFWriterProjection::TransverseMercator;
      tag.MapPoints[0] = {100000, 500000};
      tag.MapPoints[1] = {100000.0 + w, 500000.0 - h};
    }
    if (version == NKFVersion1_0_0_2 && tag.Projection != TNKFWriterProjection::RD) {
      tag.DatumTypeCode = static_cast<uint8_t>(pick(3));
      tag.DLat = 1e-6 * pick(10);
      tag.DatumParameters = {1.5 * pick(100), -2, 3, 0, 0, 1e-6, 1, 6378137, 298.257223563};
    }
    if (version != NKFVersion1_0_0_0 && pick(2) == 1) {
      chart.Blobs.push_back(text() + "x");
      chart.Overrides.push_back({static_cast<uint32_t>(pick(static_cast<int>(chart.TileBlobs.size()))),
                                 chart.Blobs.size() - 1});
    }

    const std::string name = "c" + std::to_string(n) + ".nkf2";
    std::unique_ptr<TNKFChart> c;
    const std::string error = Raised([&] { c = Open(dir, chart, name); });
    ASSERT_EQ(error, "none") << "chart " << n;
    const TNKFWrittenChart written = NKFWriteChart(chart);
    EXPECT_EQ(c->Version, version) << n;
    EXPECT_EQ(c->Width, w) << n;
    EXPECT_EQ(c->Height, h) << n;
    EXPECT_EQ(c->TileCount, chart.TileBlobs.size()) << n;
    EXPECT_EQ(c->TagPos, written.TagPos) << n;
    for (size_t t = 0; t < chart.TileBlobs.size(); ++t) {
      ASSERT_EQ(c->Tiles[t].Offset, written.BlobOffsets[t]) << n << " tile " << t;
      ASSERT_EQ(c->Tiles[t].Size, static_cast<int64_t>(chart.Blobs[t].size())) << n << " tile " << t;
    }
    for (const TNKFWriterOverride &o : chart.Overrides) {
      EXPECT_EQ(c->Tiles[o.Tile].ActiveOffset, written.BlobOffsets[o.Blob]) << n;
      EXPECT_EQ(c->Tiles[o.Tile].ActiveSize, static_cast<int64_t>(chart.Blobs[o.Blob].size())) << n;
    }
    EXPECT_EQ(c->HasTileOverrides, !chart.Overrides.empty()) << n;
    EXPECT_EQ(c->Text1, tag.Text1) << n;
    EXPECT_EQ(c->Text9, tag.Text9) << n;
    if (version != NKFVersion1_0_0_0) {
      EXPECT_EQ(c->Text10, tag.Text10) << n;
      EXPECT_EQ(c->Text11, tag.Text11) << n;
      EXPECT_EQ(c->Number1, tag.Number1) << n;
      EXPECT_EQ(c->Number2, tag.Number2) << n;
      ASSERT_EQ(c->Links.size(), tag.Links.size()) << n;
      for (size_t k = 0; k < tag.Links.size(); ++k) {
        EXPECT_EQ(c->Links[k].LinkText1, tag.Links[k].LinkText1) << n;
        EXPECT_EQ(c->Links[k].LinkText2, tag.Links[k].LinkText2) << n;
      }
    }
    const int32_t borderCount = tag.Border.empty() ? 4 : static_cast<int32_t>(tag.Border.size());
    ASSERT_EQ(c->Border.Count(), borderCount) << n;
    for (size_t k = 0; k < tag.Border.size(); ++k) {
      EXPECT_EQ(c->Border.GetPoint(static_cast<int32_t>(k)).X, tag.Border[k].X) << n;
      EXPECT_EQ(c->Border.GetPoint(static_cast<int32_t>(k)).Y, tag.Border[k].Y) << n;
    }
    EXPECT_TRUE(c->IsCalibrated()) << n;
  }
}

// ---------------------------------------------------------------------------
// Calibration

TEST(TNKFChartCalibrate, UnsupportedCountOrGrid) {
  TTempDir dir;
  const auto chart = Open(dir, MetreChart(100, 50));
  const TDoublePoint p{}, q{100, 50};
  for (uint8_t projection : {0, 1, 2, 3, 4})
    EXPECT_EQ(Raised([&] { chart->Calibrate(4, projection, p, q, p, p, q, p, 0, 0, nullptr); }),
              "ENKFChartError: TNKFChart.Calibrate: Unsupported calibrationpoint count (4)")
        << int(projection);
  EXPECT_EQ(Raised([&] { chart->Calibrate(-1, 1, p, q, p, p, q, p, 0, 0, nullptr); }),
            "ENKFChartError: TNKFChart.Calibrate: Unsupported calibrationpoint count (-1)");
  for (uint8_t projection : {0, 4, 255})
    for (int32_t count : {2, 3})
      EXPECT_EQ(Raised([&] { chart->Calibrate(count, projection, p, q, p, p, q, p, 0, 0, nullptr); }),
                "ENKFChartError: TNKFChart.Calibrate: Projection not supported (yet)!")
          << int(projection);
  EXPECT_FALSE(chart->IsCalibrated());
}

// Points a set-up refuses leave no calibration behind: the chart opens, but
// it is not calibrated and refuses to place positions.
TEST(TNKFChartCalibrate, RefusedPointsLeaveTheChartUncalibrated) {
  struct Case {
    const char *What;
    TDoublePoint P2;
    TDoublePoint M2;
    int Status;
  } cases[] = {
      {"points 10 pixels apart", {10, 10}, {155010, 462990}, 2},
      {"same pixel column", {0, 50}, {155100, 462950}, 3},
      {"same grid easting", {100, 50}, {155000, 462950}, 4},
  };
  for (const Case &c : cases) {
    TNKFChartDescription description = MetreChart(1000, 500);
    description.Tag.PixelPoints[1] = c.P2;
    description.Tag.MapPoints[1] = c.M2;
    TTempDir dir;
    std::unique_ptr<TNKFChart> chart;
    ASSERT_EQ(Raised([&] { chart = Open(dir, description); }), "none") << c.What;
    EXPECT_FALSE(chart->IsCalibrated()) << c.What;
    EXPECT_EQ(chart->CalibrationStatus, c.Status) << c.What;
    const TGeodeticCoordinateSystem rd = CoordinateSystemRD();
    EXPECT_EQ(Raised([&] { chart->ContainsPosition({155000, 463000}, rd); }),
              "ENKFChartError: TNKFChart.ContainsPosition: The chart is not calibrated")
        << c.What;
    EXPECT_EQ(Raised([&] { chart->PositionToPixel({155000, 463000}, rd); }),
              "ENKFChartError: TNKFChart.PositionToPixel: The chart is not calibrated")
        << c.What;
    TCalibration view;
    ASSERT_TRUE(NKFCalibrationAccepted(view.CalibrateRD2({0, 0}, {100, 100}, {155000, 463000}, {155100, 462900}, 100, 100)));
    double scale = 0, coverage = 0, ratio = 0;
    bool cuts = false;
    EXPECT_EQ(Raised([&] { chart->GetViewCoverage(view, scale, coverage, ratio, cuts); }),
              "ENKFChartError: TNKFChart.GetViewCoverage: The chart is not calibrated")
        << c.What;
  }
}

TEST(TNKFChartCalibrate, PositionsOnA100By50Chart) {
  TTempDir dir;
  const auto chart = Open(dir, MetreChart(100, 50));
  ASSERT_TRUE(chart->IsCalibrated());
  const TGeodeticCoordinateSystem rd = CoordinateSystemRD();
  struct Case {
    TDoublePoint Pixel;
    bool Clipped;   // ClipToBorder set, four-corner border
    bool Unclipped; // ClipToBorder cleared
  } cases[] = {
      {{99.4, 49.4}, true, true},  {{99.6, 10}, false, true}, {{100, 10}, false, false},
      {{-0.4, 0}, true, false},     {{-0.6, 0}, false, false}, {{50, 49.6}, false, true},
      {{0, 0}, true, true},
  };
  for (const Case &c : cases) {
    chart->SetClipToBorder(true);
    EXPECT_EQ(chart->ContainsPosition(RDOfPixel(c.Pixel.X, c.Pixel.Y), rd), c.Clipped) << c.Pixel.X << "," << c.Pixel.Y;
    chart->SetClipToBorder(false);
    EXPECT_EQ(chart->ContainsPosition(RDOfPixel(c.Pixel.X, c.Pixel.Y), rd), c.Unclipped) << c.Pixel.X << "," << c.Pixel.Y;
  }
  const TPoint p = chart->PositionToPixel(RDOfPixel(-0.5, 3.5), rd);
  EXPECT_EQ(p.X, 0);
  EXPECT_EQ(p.Y, 4);
  const TPoint q = chart->PositionToPixel(RDOfPixel(2.5, -2.5), rd);
  EXPECT_EQ(q.X, 3);
  EXPECT_EQ(q.Y, -2);
  const TDoublePoint exact = chart->PositionToPixelExact(RDOfPixel(12.25, 40.75), rd);
  EXPECT_NEAR(exact.X, 12.25, 1e-9);
  EXPECT_NEAR(exact.Y, 40.75, 1e-9);

  // A pixel beyond the 32-bit range is no pixel at all.
  const TDoublePoint far = RDOfPixel(5e9, 10);
  EXPECT_EQ(Raised([&] { chart->PositionToPixel(far, rd); }),
            "ENKFChartError: TNKFChart.PositionToPixel: The position lies outside the pixel range");
  chart->SetClipToBorder(true);
  EXPECT_FALSE(chart->ContainsPosition(far, rd));
}

// Positions in WGS 84 land on the pixels the calibration points name, for
// each grid (the Mercator and transverse Mercator charts are on WGS 84).
TEST(TNKFChartCalibrate, WGS84PositionsOnEveryGrid) {
  const TGeodeticEllipsoid *we = WGS84Datum()->Ellipsoid;
  const TDoublePoint nw{53.5 * Degree, 4.5 * Degree}, se{53 * Degree, 5.5 * Degree};
  const TGeodeticCoordinateSystem wgs84 = CoordinateSystemGeographic(WGS84Datum());
  for (int grid = 0; grid < 3; ++grid) {
    TNKFChartDescription description = NKFSampleChart(NKFVersion1_0_0_2, 2000, 1500);
    TNKFTagDescription &tag = description.Tag;
    TDoublePoint m1{}, m2{};
    if (grid == 0) {
      m1 = MercatorForward(nw, we);
      m2 = MercatorForward(se, we);
    } else if (grid == 1) {
      tag.Projection = TNKFWriterProjection::TransverseMercator;
      tag.K0 = 0.9996;
      tag.Lon0 = 3 * Degree;
      m1 = TransverseMercatorForward(nw, we, tag.K0, tag.Lon0);
      m2 = TransverseMercatorForward(se, we, tag.K0, tag.Lon0);
    } else {
      tag.Projection = TNKFWriterProjection::RD;
      const TGeodeticDatum *rdOld = GeodeticDatumCreate("RD-OLD");
      TDoublePoint a{}, b{};
      DatumChangeGeodetic2D(a, rdOld, nw, WGS84Datum());
      DatumChangeGeodetic2D(b, rdOld, se, WGS84Datum());
      m1 = RDForward(a);
      m2 = RDForward(b);
    }
    tag.MapPoints[0] = {m1.X, m1.Y};
    tag.MapPoints[1] = {m2.X, m2.Y};
    TTempDir dir;
    const auto chart = Open(dir, description);
    ASSERT_TRUE(chart->IsCalibrated()) << grid;
    const TDoublePoint a = chart->PositionToPixelExact(nw, wgs84);
    const TDoublePoint b = chart->PositionToPixelExact(se, wgs84);
    // The datum changes of the RD grid go through the height-less geocentric
    // form and back; a millimetre is far below a pixel here.
    EXPECT_NEAR(a.X, 0, 1e-3) << grid;
    EXPECT_NEAR(a.Y, 0, 1e-3) << grid;
    EXPECT_NEAR(b.X, 2000, 1e-3) << grid;
    EXPECT_NEAR(b.Y, 1500, 1e-3) << grid;
    EXPECT_TRUE(chart->ContainsPosition({53.25 * Degree, 5 * Degree}, wgs84)) << grid;
    EXPECT_FALSE(chart->ContainsPosition({53.6 * Degree, 5 * Degree}, wgs84)) << grid;
  }
}

// ---------------------------------------------------------------------------
// View coverage, with the chart and the view both on the RD grid at known
// scales so that every outline is exact.

namespace {

// A view of Wv x Hv pixels whose pixel (0, 0) is chart pixel (X0, Y0) of a
// metre chart, at PerPixel metres per view pixel.
std::unique_ptr<TCalibration> View(int32_t Wv, int32_t Hv, double X0, double Y0, double PerPixel) {
  auto view = std::make_unique<TCalibration>();
  const int status = view->CalibrateRD2({0, 0}, {static_cast<double>(Wv), static_cast<double>(Hv)}, RDOfPixel(X0, Y0),
                                        RDOfPixel(X0 + Wv * PerPixel, Y0 + Hv * PerPixel), Wv, Hv);
  EXPECT_TRUE(NKFCalibrationAccepted(status));
  return view;
}

struct TCoverage {
  bool Shows = false;
  double Scale = -1, Coverage = -1, AreaRatio = -1;
  bool BorderCutsView = false;
};

TCoverage CoverageOf(TNKFChart &Chart, const TCalibration &View) {
  TCoverage r;
  r.Shows = Chart.GetViewCoverage(View, r.Scale, r.Coverage, r.AreaRatio, r.BorderCutsView);
  return r;
}

} // namespace

TEST(TNKFChartCoverage, ViewCases) {
  TTempDir dir;
  const auto chart = Open(dir, MetreChart(1000, 500));
  struct Case {
    const char *What;
    int32_t Wv, Hv;
    double X0, Y0, PerPixel;
    bool Shows;
    double Scale, Coverage, AreaRatio;
    bool Cuts;
  } cases[] = {
      {"exact fit", 1000, 500, 0, 0, 1, true, 1, 1, 1, false},
      {"exact fit at half size", 500, 250, 0, 0, 2, true, 0.5, 1, 1, false},
      {"chart in the left half", 2000, 500, 0, 0, 1, true, 1, 0.5, 0.5, false},
      {"chart across the whole width, the view taller", 1000, 1000, 0, -250, 1, true, 1, 0.5, 0.5, false},
      {"chart across the whole height, the view wider", 1400, 500, -200, 0, 1, true, 1, 1000.0 / 1400, 1000.0 / 1400,
       false},
      {"view inside the chart", 100, 100, 200, 100, 1, true, 1, 1, 50, false},
      {"view across the right edge", 100, 100, 950, 100, 1, true, 1, 0.5, 50, false},
      {"view beyond the right edge", 100, 100, 1200, 100, 1, false, -1, -1, -1, false},
      {"view ending at the chart's left edge", 100, 100, -100, 0, 1, false, -1, -1, -1, false},
      {"view above the chart", 100, 100, 0, -300, 1, false, -1, -1, -1, false},
      {"zoomed in", 100, 100, 500, 200, 0.25, true, 4, 1, 4 * 4 * 50, false},
  };
  for (const Case &c : cases) {
    const auto view = View(c.Wv, c.Hv, c.X0, c.Y0, c.PerPixel);
    const TCoverage r = CoverageOf(*chart, *view);
    EXPECT_EQ(r.Shows, c.Shows) << c.What;
    EXPECT_NEAR(r.Scale, c.Scale, 1e-6) << c.What;
    EXPECT_NEAR(r.Coverage, c.Coverage, 1e-6) << c.What;
    EXPECT_NEAR(r.AreaRatio, c.AreaRatio, 1e-6 * std::max(1.0, c.AreaRatio)) << c.What;
    EXPECT_EQ(r.BorderCutsView, c.Cuts) << c.What;
  }
}

TEST(TNKFChartCoverage, BorderThatLeavesOutACornerOfTheView) {
  TTempDir dir;
  TNKFChartDescription description = MetreChart(1000, 500);
  // The top right corner of the chart is cut off diagonally.
  description.Tag.Border = {{0, 0}, {800, 0}, {1000, 200}, {1000, 500}, {0, 500}};
  const auto chart = Open(dir, description);
  TCoverage r = CoverageOf(*chart, *View(1000, 500, 0, 0, 1));
  EXPECT_TRUE(r.Shows);
  EXPECT_NEAR(r.Coverage, 1, 1e-9);
  EXPECT_TRUE(r.BorderCutsView);
  // A view away from the cut corner lies wholly inside the border.
  r = CoverageOf(*chart, *View(100, 100, 100, 300, 1));
  EXPECT_TRUE(r.Shows);
  EXPECT_FALSE(r.BorderCutsView);
  // So does one whose corner only touches the cut.
  r = CoverageOf(*chart, *View(100, 100, 700, 0, 1));
  EXPECT_FALSE(r.BorderCutsView);
  // A border wholly inside the view cuts it.
  description.Tag.Border = {{100, 100}, {900, 100}, {900, 400}, {100, 400}};
  const auto inner = Open(dir, description, "inner.nkf2");
  r = CoverageOf(*inner, *View(1000, 500, 0, 0, 1));
  EXPECT_TRUE(r.BorderCutsView);
}

TEST(TNKFChartCoverage, OutputsStayUnchangedWhenTheChartDoesNotShow) {
  TTempDir dir;
  const auto chart = Open(dir, MetreChart(1000, 500));
  double scale = 7, coverage = 7, ratio = 7;
  bool cuts = true;
  EXPECT_FALSE(chart->GetViewCoverage(*View(100, 100, 5000, 5000, 1), scale, coverage, ratio, cuts));
  EXPECT_EQ(scale, 7);
  EXPECT_EQ(coverage, 7);
  EXPECT_EQ(ratio, 7);
  EXPECT_TRUE(cuts);
}

// A view turned 45 degrees against the chart: the chart's outline crosses the
// view's sides at a slant, so clipping cuts the triangles obliquely.
TEST(TNKFChartCoverage, ViewTurnedAgainstTheChart) {
  TTempDir dir;
  const auto chart = Open(dir, MetreChart(1000, 500));
  struct Case {
    const char *What;
    double CentreX, CentreY; // chart pixel under the view's centre
    double Coverage, AreaRatio;
  } cases[] = {
      {"inside the chart", 500, 250, 1, 500000.0 / 40000},
      {"centred on the right edge", 1000, 250, 0.5, 500000.0 / 40000},
      {"centred on the top right corner", 1000, 0, 0.25, 500000.0 / 40000},
  };
  const double c = std::cos(45 * Degree), s = std::sin(45 * Degree);
  for (const Case &k : cases) {
    // View pixel (u, v) shows chart pixel centre + R(45) (u - 100, v - 100).
    const auto chartOf = [&](double u, double v) {
      return RDOfPixel(k.CentreX + c * (u - 100) - s * (v - 100), k.CentreY + s * (u - 100) + c * (v - 100));
    };
    TCalibration view;
    ASSERT_TRUE(NKFCalibrationAccepted(
        view.CalibrateRD3({0, 0}, {200, 0}, {0, 200}, chartOf(0, 0), chartOf(200, 0), chartOf(0, 200), 200, 200)))
        << k.What;
    const TCoverage r = CoverageOf(*chart, view);
    EXPECT_TRUE(r.Shows) << k.What;
    EXPECT_NEAR(r.Scale, 1, 1e-6) << k.What;
    EXPECT_NEAR(r.Coverage, k.Coverage, 1e-6) << k.What;
    EXPECT_NEAR(r.AreaRatio, k.AreaRatio, 1e-6) << k.What;
    EXPECT_FALSE(r.BorderCutsView) << k.What;
  }
}
