#include "NKFChartDataset.h"

#include <cstring>
#include <string>
#include <vector>

#include <cpl_error.h>

#include "NKFBorderClip.h"
#include "NKFGeoTiffExport.h"
#include "NKFTileReader.h"

namespace {

constexpr int BandCount = 4;

// What every level of one chart shares: the chart, the one reader of its
// file (GDAL reads one block at a time), the spatial reference.
struct TChartSource {
  const TNKFChart &Chart;
  TNKFTileReader Reader;
  TNKFGeoreference Georeference;
  OGRSpatialReference SpatialReference;
  bool Clip;
  TChartSource(const TNKFChart &C, bool ClipToBorder)
      : Chart(C), Reader(C), Georeference(NKFChartGeoreference(C)),
        SpatialReference(NKFSpatialReference(Georeference)), Clip(ClipToBorder) {}
};

class TChartLevelDataset;

class TChartBand : public GDALRasterBand {
public:
  TChartBand(TChartLevelDataset *Dataset, int Band, int Width, int Height);
  CPLErr IReadBlock(int BlockX, int BlockY, void *Data) override;
  GDALColorInterp GetColorInterpretation() override {
    return static_cast<GDALColorInterp>(GCI_RedBand + (nBand - 1));
  }
  int GetOverviewCount() override;
  GDALRasterBand *GetOverview(int Index) override;
};

class TChartLevelDataset : public GDALDataset {
public:
  TChartLevelDataset(std::shared_ptr<TChartSource> Source, int Level)
      : FSource(std::move(Source)), FLevel(Level), FClip(NKFClipPolygon(FSource->Chart, Level, FSource->Clip)),
        FTransform(NKFLevelGeoTransform(FSource->Georeference.GeoTransform, Level)) {
    const TNKFLevel &level = FSource->Chart.Levels[Level];
    nRasterXSize = static_cast<int>(level.Width);
    nRasterYSize = static_cast<int>(level.Height);
    for (int b = 1; b <= BandCount; ++b)
      SetBand(b, new TChartBand(this, b, nRasterXSize, nRasterYSize));
  }

  CPLErr GetGeoTransform(double *Transform) override {
    std::memcpy(Transform, FTransform.data(), sizeof(double) * 6);
    return CE_None;
  }
  const OGRSpatialReference *GetSpatialRef() const override { return &FSource->SpatialReference; }

  void AddOverview(std::unique_ptr<TChartLevelDataset> Overview) { FOverviews.push_back(std::move(Overview)); }
  int OverviewCount() const { return static_cast<int>(FOverviews.size()); }
  GDALRasterBand *Overview(int Index, int Band) const {
    return Index >= 0 && Index < OverviewCount() ? FOverviews[Index]->GetRasterBand(Band) : nullptr;
  }

  // Decodes the tile once and hands its four bands to GDAL's cache: Band's
  // into Data, the others into their blocks unless they are there already.
  CPLErr ReadTile(int BlockX, int BlockY, int Band, void *Data) {
    const TNKFLevel &level = FSource->Chart.Levels[FLevel];
    const uint32_t tile = NKFLevelTileNumber(level, static_cast<uint32_t>(BlockX), static_cast<uint32_t>(BlockY));
    try {
      FRGBA = FSource->Reader.ReadRGBA(tile);
    } catch (const Exception &e) {
      CPLError(CE_Failure, CPLE_AppDefined, "Tile %u (level %d) of %s does not decode: %s", tile, FLevel,
               FSource->Chart.FileName.c_str(), e.Message().c_str());
      return CE_Failure;
    }
    if (!FClip.empty())
      NKFClipTile(FRGBA, BlockX * NKFTileSize, BlockY * NKFTileSize, FClip);
    for (int b = 1; b <= BandCount; ++b) {
      if (b == Band) {
        CopyBand(b, static_cast<uint8_t *>(Data));
        continue;
      }
      GDALRasterBlock *block = GetRasterBand(b)->TryGetLockedBlockRef(BlockX, BlockY);
      if (block == nullptr) {
        block = GetRasterBand(b)->GetLockedBlockRef(BlockX, BlockY, TRUE);
        if (block == nullptr)
          continue; // no room in the cache: the band decodes it when asked
        CopyBand(b, static_cast<uint8_t *>(block->GetDataRef()));
      }
      block->DropLock();
    }
    return CE_None;
  }

private:
  void CopyBand(int Band, uint8_t *Target) const {
    const size_t pixels = static_cast<size_t>(NKFTileSize) * NKFTileSize;
    for (size_t i = 0; i < pixels; ++i)
      Target[i] = FRGBA[i * BandCount + (Band - 1)];
  }

  std::shared_ptr<TChartSource> FSource;
  int FLevel;
  TNKFClipPolygon FClip;
  TGeoTransform FTransform;
  std::vector<std::unique_ptr<TChartLevelDataset>> FOverviews;
  std::vector<uint8_t> FRGBA;
};

TChartBand::TChartBand(TChartLevelDataset *Dataset, int Band, int Width, int Height) {
  poDS = Dataset;
  nBand = Band;
  eDataType = GDT_Byte;
  nBlockXSize = NKFTileSize;
  nBlockYSize = NKFTileSize;
  nRasterXSize = Width;
  nRasterYSize = Height;
}

CPLErr TChartBand::IReadBlock(int BlockX, int BlockY, void *Data) {
  return static_cast<TChartLevelDataset *>(poDS)->ReadTile(BlockX, BlockY, nBand, Data);
}

int TChartBand::GetOverviewCount() { return static_cast<TChartLevelDataset *>(poDS)->OverviewCount(); }

GDALRasterBand *TChartBand::GetOverview(int Index) {
  return static_cast<TChartLevelDataset *>(poDS)->Overview(Index, nBand);
}

} // namespace

std::unique_ptr<GDALDataset> NKFOpenChartDataset(const TNKFChart &Chart, bool ClipToBorder) {
  for (int l = 0; l < NKFLevelCount; ++l)
    NKFCheckLevel(Chart, l);
  auto source = std::make_shared<TChartSource>(Chart, ClipToBorder);
  auto dataset = std::make_unique<TChartLevelDataset>(source, 0);
  for (int l = 1; l < NKFLevelCount; ++l)
    dataset->AddOverview(std::make_unique<TChartLevelDataset>(source, l));
  return dataset;
}
