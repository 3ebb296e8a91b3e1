#include "NKFGeoTiffExport.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "NKFBorderClip.h"
#include "NKFGdalSupport.h"
#include "NKFStagedOutput.h"
#include "NKFTileReader.h"

namespace {

constexpr double Degree = std::numbers::pi / 180;
constexpr int Bands = 4; // red, green, blue, alpha

// The oblique stereographic projection that the RD grid's polynomials
// approximate (EPSG:28992, "Amersfoort / RD New"); the two agree to about a
// millimetre over the Netherlands.
constexpr double RDOriginLatitude = 52.15616055555555;
constexpr double RDOriginLongitude = 5.38763888888889;
constexpr double RDScale = 0.9999079;
constexpr double RDFalseEasting = 155000;
constexpr double RDFalseNorthing = 463000;

CPLStringList CreationOptionList() {
  CPLStringList list;
  for (const std::string &option : NKFGeoTiffCreationOptions())
    list.AddString(option.c_str());
  return list;
}

} // namespace

void NKFCheckLevel(const TNKFChart &Chart, int Level) {
  const std::string fault = NKFLevelFault(Chart, Level);
  if (!fault.empty())
    throw ENKFExportError("NKFExportGeoTiff: " + Chart.FileName + " cannot be written as an image: " + fault);
}

namespace {

// Closes the dataset and reports what GDAL could not write on the way.
void CloseDataset(GDALDatasetUniquePtr &Dataset, const std::string &Operation, const std::string &FileName) {
  Dataset.reset();
  if (CPLGetLastErrorType() >= CE_Failure)
    RaiseGdal(Operation, "Cannot write " + FileName);
}

// Writes one decoded tile into its GeoTIFF block and sends the block to the
// file at once, so that GDAL's cache holds one tile whatever the level's width.
void WriteTile(GDALDataset &Target, const std::vector<uint8_t> &RGBA, uint32_t TX, uint32_t TY,
               const TNKFLevel &Level) {
  const int left = static_cast<int>(TX) * NKFTileSize, top = static_cast<int>(TY) * NKFTileSize;
  const int columns = std::min<int>(NKFTileSize, static_cast<int>(Level.Width) - left);
  const int rows = std::min<int>(NKFTileSize, static_cast<int>(Level.Height) - top);
  if (Target.RasterIO(GF_Write, left, top, columns, rows, const_cast<uint8_t *>(RGBA.data()), columns, rows, GDT_Byte,
                      Bands, nullptr, Bands, static_cast<GSpacing>(NKFTileSize) * Bands, 1, nullptr) != CE_None)
    RaiseGdal("NKFExportGeoTiff", "Cannot write the image");
  // A chart tile is one block of the GeoTIFF (256 x 256, pixel-interleaved):
  // the first band's flush writes the block with all four bands.
  for (int b = 1; b <= Bands; ++b)
    if (Target.GetRasterBand(b)->FlushBlock(static_cast<int>(TX), static_cast<int>(TY)) != CE_None)
      RaiseGdal("NKFExportGeoTiff", "Cannot write the image");
}

// Decodes and writes one level into Target (of the level's size) tile by
// tile, cut at Clip unless that is empty; Step is called after each row of
// tiles.
void WriteLevel(TNKFTileReader &Reader, const TNKFLevel &Level, int LevelIndex, const TNKFClipPolygon &Clip,
                GDALDataset &Target, const std::function<void()> &Step) {
  std::vector<uint8_t> clipped;
  for (uint32_t ty = 0; ty < Level.TilesY; ++ty) {
    for (uint32_t tx = 0; tx < Level.TilesX; ++tx) {
      const uint32_t tile = NKFLevelTileNumber(Level, tx, ty);
      const std::vector<uint8_t> *rgba;
      try {
        rgba = &Reader.ReadRGBA(tile);
      } catch (const Exception &e) {
        throw ENKFExportError("NKFExportGeoTiff: Tile " + std::to_string(tile) + " (level " +
                              std::to_string(LevelIndex) + ", column " + std::to_string(tx) + ", row " +
                              std::to_string(ty) + ") does not decode: " + e.Message());
      }
      if (!Clip.empty()) {
        clipped = *rgba;
        NKFClipTile(clipped, static_cast<int>(tx) * NKFTileSize, static_cast<int>(ty) * NKFTileSize, Clip);
        rgba = &clipped;
      }
      WriteTile(Target, *rgba, tx, ty, Level);
    }
    if (CPLGetLastErrorType() >= CE_Failure)
      RaiseGdal("NKFExportGeoTiff", "Cannot write the image");
    Step();
  }
}

// The overview datasets of Dataset for the pyramid levels below Level, each
// checked to have its level's size.
std::vector<GDALDataset *> CreateOverviews(GDALDataset &Dataset, const TNKFChart &Chart, int Level) {
  std::vector<int> factors;
  for (int l = Level + 1; l < NKFLevelCount; ++l)
    factors.push_back(1 << (l - Level));
  if (factors.empty())
    return {};
  // "NONE" lays the overviews out without computing them: the chart's own
  // levels fill them.
  if (Dataset.BuildOverviews("NONE", static_cast<int>(factors.size()), factors.data(), 0, nullptr, nullptr,
                             nullptr) != CE_None)
    RaiseGdal("NKFExportGeoTiff", "Cannot create the overviews");
  std::vector<GDALDataset *> overviews;
  for (size_t k = 0; k < factors.size(); ++k) {
    GDALRasterBand *band = Dataset.GetRasterBand(1)->GetOverview(static_cast<int>(k));
    GDALDataset *overview = band ? band->GetDataset() : nullptr;
    const TNKFLevel &level = Chart.Levels[Level + 1 + k];
    if (overview == nullptr || overview->GetRasterCount() != Bands ||
        overview->GetRasterXSize() != static_cast<int>(level.Width) ||
        overview->GetRasterYSize() != static_cast<int>(level.Height))
      throw ENKFExportError("NKFExportGeoTiff: GDAL's overview " + std::to_string(k + 1) +
                            " does not have the size of level " + std::to_string(Level + 1 + k));
    overviews.push_back(overview);
  }
  return overviews;
}

// The datum's name with its table code. A bare name such as "ORDNANCE
// SURVEY OF GREAT BRITAIN 1936" is matched by GDAL to the EPSG datum of that
// name, which the GeoTIFF then stores by number instead of our shift: PROJ
// would apply its own transformation, metres away from the chart's.
std::string DatumName(const TGeodeticDatum &Datum) {
  if (Datum.Name.empty())
    return "Chart datum";
  return Datum.Code.empty() ? Datum.Name : Datum.Name + " (" + Datum.Code + ")";
}

} // namespace

std::vector<std::string> NKFGeoTiffCreationOptions() {
  return {"TILED=YES",         "BLOCKXSIZE=256",         "BLOCKYSIZE=256",   "COMPRESS=DEFLATE",
          "PHOTOMETRIC=RGB",   "ALPHA=YES",     "BIGTIFF=IF_SAFER", "INTERLEAVE=PIXEL"};
}

OGRSpatialReference NKFSpatialReference(const TNKFGeoreference &Georeference) {
  const TGeodeticDatum &datum = *Georeference.Datum;
  OGRSpatialReference srs;
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  OGRErr err = OGRERR_NONE;
  switch (Georeference.Kind) {
  case gcsMercator:
    srs.SetProjCS("Chart Mercator");
    err = srs.SetMercator(0, 0, 1, 0, 0);
    break;
  case gcsTransverseMercator:
    srs.SetProjCS("Chart transverse Mercator");
    err = srs.SetTM(0, Georeference.Lon0 / Degree, Georeference.K0, 0, 0);
    break;
  default:
    srs.SetProjCS("Chart RD grid");
    err = srs.SetOS(RDOriginLatitude, RDOriginLongitude, RDScale, RDFalseEasting, RDFalseNorthing);
    break;
  }
  if (err == OGRERR_NONE) {
    if (datum.IsWGS84) {
      err = srs.SetWellKnownGeogCS("WGS84");
    } else {
      const TGeodeticEllipsoid &e = *datum.Ellipsoid;
      const std::string name = DatumName(datum);
      err = srs.SetGeogCS(name.c_str(), name.c_str(), e.Name.empty() ? "Chart ellipsoid" : e.Name.c_str(), e.A,
                          e.InvF);
      const TNKFTOWGS84 t = NKFPositionVectorTOWGS84(datum);
      if (err == OGRERR_NONE)
        err = srs.SetTOWGS84(t.DX, t.DY, t.DZ, t.RX, t.RY, t.RZ, t.PPM);
    }
  }
  if (err == OGRERR_NONE)
    err = srs.SetLinearUnits(SRS_UL_METER, 1.0);
  if (err != OGRERR_NONE)
    throw ENKFExportError("NKFSpatialReference: GDAL refuses the chart's grid (OGR error " + std::to_string(err) + ")");
  return srs;
}

void NKFExportGeoTiff(const TNKFChart &Chart, const std::string &OutFile, const TNKFExportOptions &Options,
                      const TNKFExportProgress &Progress) {
  if (Options.Level < 0 || Options.Level >= NKFLevelCount)
    throw ENKFExportError("NKFExportGeoTiff: Level " + std::to_string(Options.Level) + " is not 0 to 4");
  const TNKFGeoreference georeference = NKFChartGeoreference(Chart);
  const OGRSpatialReference srs = NKFSpatialReference(georeference);
  const int last = Options.Overviews ? NKFLevelCount - 1 : Options.Level;
  for (int l = Options.Level; l <= last; ++l)
    NKFCheckLevel(Chart, l);
  const TNKFLevel &level = Chart.Levels[Options.Level];
  RefuseChartAsOutput(Chart.FileName, OutFile, "NKFExportGeoTiff");
  TNKFTileReader reader(Chart);

  GDALAllRegister();
  TGdalErrorScope quiet;
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  if (driver == nullptr)
    RaiseGdal("NKFExportGeoTiff", "GDAL has no GTiff driver");
  TNKFStagedOutput output(OutFile, "NKFExportGeoTiff");
  GDALDatasetUniquePtr dataset(driver->Create(output.TempFile().c_str(), static_cast<int>(level.Width),
                                              static_cast<int>(level.Height), Bands, GDT_Byte,
                                              CreationOptionList().List()));
  if (!dataset)
    RaiseGdal("NKFExportGeoTiff", "Cannot create " + OutFile);
  TGeoTransform transform = NKFLevelGeoTransform(georeference.GeoTransform, Options.Level);
  if (dataset->SetGeoTransform(transform.data()) != CE_None || dataset->SetSpatialRef(&srs) != CE_None)
    RaiseGdal("NKFExportGeoTiff", "Cannot georeference " + OutFile);

  uint64_t rowsTotal = 0, rowsDone = 0;
  for (int l = Options.Level; l <= last; ++l)
    rowsTotal += Chart.Levels[l].TilesY;
  const auto step = [&] {
    ++rowsDone;
    if (Progress)
      Progress(static_cast<double>(rowsDone) / static_cast<double>(rowsTotal));
  };
  WriteLevel(reader, level, Options.Level, NKFClipPolygon(Chart, Options.Level, Options.ClipToBorder), *dataset, step);
  if (Options.Overviews) {
    const std::vector<GDALDataset *> overviews = CreateOverviews(*dataset, Chart, Options.Level);
    for (size_t k = 0; k < overviews.size(); ++k) {
      const int l = Options.Level + 1 + static_cast<int>(k);
      WriteLevel(reader, Chart.Levels[l], l, NKFClipPolygon(Chart, l, Options.ClipToBorder), *overviews[k], step);
    }
  }
  CloseDataset(dataset, "NKFExportGeoTiff", OutFile);
  output.Commit();
}

void NKFWriteFootprint(const TNKFChart &Chart, const std::string &OutFile) {
  const std::vector<TDoublePoint> points = NKFFootprint(Chart);
  RefuseChartAsOutput(Chart.FileName, OutFile, "NKFWriteFootprint");
  GDALAllRegister();
  TGdalErrorScope quiet;
  GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("GeoJSON");
  if (driver == nullptr)
    RaiseGdal("NKFWriteFootprint", "GDAL has no GeoJSON driver");
  TNKFStagedOutput output(OutFile, "NKFWriteFootprint");
  // The GeoJSON driver does not write over a file, not even the empty one
  // that holds the temporary name.
  VSIUnlink(output.TempFile().c_str());
  GDALDatasetUniquePtr dataset(driver->Create(output.TempFile().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!dataset)
    RaiseGdal("NKFWriteFootprint", "Cannot create " + OutFile);
  OGRSpatialReference wgs84;
  wgs84.SetWellKnownGeogCS("WGS84");
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  CPLStringList layerOptions;
  // 1e-10 degrees is about 10 micrometres: the points as we computed them.
  layerOptions.AddString("COORDINATE_PRECISION=10");
  OGRLayer *layer = dataset->CreateLayer("footprint", &wgs84, wkbPolygon, layerOptions.List());
  if (layer == nullptr)
    RaiseGdal("NKFWriteFootprint", "Cannot create the footprint layer");
  OGRFieldDefn chartField("chart", OFTString);
  OGRFieldDefn titleField("title", OFTString);
  if (layer->CreateField(&chartField) != OGRERR_NONE || layer->CreateField(&titleField) != OGRERR_NONE)
    RaiseGdal("NKFWriteFootprint", "Cannot create the footprint's fields");

  OGRLinearRing ring;
  for (const TDoublePoint &p : points)
    ring.addPoint(p.Y / Degree, p.X / Degree);
  ring.closeRings();
  OGRPolygon polygon;
  polygon.addRing(&ring);
  OGRFeature feature(layer->GetLayerDefn());
  feature.SetField("chart", CPLGetFilename(Chart.FileName.c_str()));
  // Chart texts are Windows-1252; GeoJSON is UTF-8.
  char *title = CPLRecode(Chart.Text1.c_str(), "CP1252", CPL_ENC_UTF8);
  feature.SetField("title", title);
  CPLFree(title);
  feature.SetGeometry(&polygon);
  if (layer->CreateFeature(&feature) != OGRERR_NONE)
    RaiseGdal("NKFWriteFootprint", "Cannot write the footprint");
  CloseDataset(dataset, "NKFWriteFootprint", OutFile);
  output.Commit();
}
