#include "NKFTileReader.h"

#include <gtest/gtest.h>

#include "NKF2SampleTiles.h"
#include "NKF2TileEncoder.h"
#include "NKFChartWriter.h"
#include "Raised.h"
#include "TempDir.h"
#include "VmNKF2TileManager.h"

namespace {

// A chart of one 256 x 256 tile per level whose tile 1 is overridden by a
// copy of tile 0 with the given stored size.
std::unique_ptr<TNKFChart> ChartWithOverrideSize(const TTempDir &Dir, int64_t Size) {
  TNKFChartDescription chart = NKFSampleChart(NKFVersion1_0_0_2, 256, 256);
  const std::vector<TColor32> pixels = MakeChartLikeTile(0);
  const std::vector<uint8_t> encoded = EncodeNKF2Tile(pixels.data(), TNKF2EncodeOptions());
  for (std::string &blob : chart.Blobs)
    blob.assign(encoded.begin(), encoded.end());
  chart.Overrides = {{1, 0}};
  TNKFWrittenChart written = NKFWriteChart(chart);
  NKFPutInt64(written.Head, written.OverridesPos + 16, Size); // the first override's size
  WriteFileBytes(Dir.File("c.nkf2"), written.Head + written.Tag);
  return std::make_unique<TNKFChart>(Dir.File("c.nkf2"));
}

} // namespace

TEST(TNKFTileReader, ColoursThenAlphaOfEachPixel) {
  TTempDir dir;
  const auto chart = ChartWithOverrideSize(dir, -1);
  TNKFTileReader reader(*chart);
  const std::vector<uint8_t> rgba = reader.ReadRGBA(0);
  const std::vector<TColor32> pixels = MakeChartLikeTile(0);
  ASSERT_EQ(rgba.size(), pixels.size() * 4);
  for (size_t i = 0; i < pixels.size(); ++i) {
    const TColor32 c = pixels[i];
    const uint8_t alpha = (c >> 24) != 0 ? 255 : 0;
    ASSERT_EQ(rgba[4 * i + 3], alpha) << i;
    if (alpha != 0) {
      ASSERT_EQ(rgba[4 * i], static_cast<uint8_t>(c >> 16)) << i;
      ASSERT_EQ(rgba[4 * i + 1], static_cast<uint8_t>(c >> 8)) << i;
      ASSERT_EQ(rgba[4 * i + 2], static_cast<uint8_t>(c)) << i;
    }
  }
}

// A size the loader refuses is refused here with the same message; a size
// beyond 32 bits is not cut to its low half (which would read 16 bytes).
TEST(TNKFTileReader, RefusesTheSizesTheTileLoaderRefuses) {
  for (int64_t size : {int64_t{5} << 20, (int64_t{1} << 32) + 16}) {
    TTempDir dir;
    const auto chart = ChartWithOverrideSize(dir, size);
    TNKFTileEntry entry;
    chart->GetTileEntry(1, entry);
    const std::string loader = Raised([&] { LoadChartTile(chart->FileName, entry, false); });
    EXPECT_NE(loader, "none");
    TNKFTileReader reader(*chart);
    EXPECT_EQ(Raised([&] { reader.ReadRGBA(1); }), loader) << size;
  }
}
