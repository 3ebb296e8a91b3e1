#include "NKFSampleSet.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <numbers>
#include <stdexcept>

#include "ChartSetNames.h"
#include "NKF2TileEncoder.h"
#include "NKFChartPainter.h"
#include "NKFSampleCharts.h"
#include "VmNKFCharts.h"

namespace {

using TSurface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

std::string PathOf(const std::string &Folder, int Index) {
  return (std::filesystem::path(Folder) / ChartFileNames[static_cast<size_t>(Index)]).string();
}

[[noreturn]] void Fail(int Index, const std::string &Why) {
  throw std::runtime_error(std::string("NKFWriteSampleSet: ") + ChartFileNames[static_cast<size_t>(Index)] + " " + Why);
}

// The chart as the reader sees it: every pixel's position comes from the
// calibration the chart makes of its own tag, so the tag is written first
// (with placeholder tiles) and read back.
std::unique_ptr<TNKFChart> OpenCalibrated(const std::string &Path, int Index) {
  auto chart = std::make_unique<TNKFChart>(Path);
  if (!chart->IsCalibrated() || chart->CalibrationStatus != csAccepted)
    Fail(Index, "is not calibrated (status " + std::to_string(chart->CalibrationStatus) + ")");
  return chart;
}

// The calibration must put the tag's points where the tag says, to a
// millimetre of the grid: a turned or shifted fit shows here first.
void CheckCalibrationPoints(const TNKFChart &Chart, const TNKFTagDescription &Tag, int Index) {
  for (int i = 0; i < Tag.PointCount; ++i) {
    const TDoublePoint grid = Chart.Calibration->PixelToProjected(Tag.PixelPoints[static_cast<size_t>(i)]);
    const TDoublePoint &want = Tag.MapPoints[static_cast<size_t>(i)];
    if (!(std::hypot(grid.X - want.X, grid.Y - want.Y) < 1e-3))
      Fail(Index, "misplaces calibration point " + std::to_string(i + 1));
  }
}

TNKFChartTitleBlock TitleBlock(const TNKFTagDescription &Tag) {
  return {{Tag.Text1, Tag.Text2 + " - " + Tag.Text5, "Schaal " + Tag.Text3, Tag.Text8, "Datum: " + Tag.Text7,
           Tag.Text9}};
}

// Every level drawn a row of tiles at a time and encoded; tiles with equal
// pixels (open sea, inland) are encoded and stored once.
void PaintTiles(const TNKFChartPainter &Painter, TNKFChartDescription &Chart) {
  Chart.Levels = NKFLevelsOf(Chart.Width, Chart.Height);
  Chart.Blobs.clear();
  Chart.TileBlobs.clear();
  std::map<std::string, size_t> stored; // a tile's pixels -> its blob
  std::vector<TColor32> pixels(static_cast<size_t>(NKFTileSize) * NKFTileSize);
  for (int level = 0; level < NKFLevelCount; ++level) {
    const TNKFLevel &l = Chart.Levels[static_cast<size_t>(level)];
    TSurface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(l.TilesX) * NKFTileSize,
                                                NKFTileSize),
                     cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
      throw std::runtime_error("NKFWriteSampleSet: Cairo cannot make a surface for " + Chart.Tag.Text1);
    for (uint32_t ty = 0; ty < l.TilesY; ++ty) {
      Painter.Paint(surface.get(), level, static_cast<int>(ty) * NKFTileSize);
      const unsigned char *data = cairo_image_surface_get_data(surface.get());
      const int stride = cairo_image_surface_get_stride(surface.get());
      for (uint32_t tx = 0; tx < l.TilesX; ++tx) {
        // Cairo's ARGB32 is our TColor32: opaque or cleared pixels only, so
        // premultiplication changes nothing.
        for (int y = 0; y < NKFTileSize; ++y)
          std::memcpy(&pixels[static_cast<size_t>(y) * NKFTileSize], data + y * stride + tx * NKFTileSize * 4,
                      NKFTileSize * 4);
        const auto [it, added] = stored.emplace(
            std::string(reinterpret_cast<const char *>(pixels.data()), pixels.size() * sizeof(TColor32)),
            Chart.Blobs.size());
        if (added) {
          const std::vector<uint8_t> bytes = EncodeNKF2Tile(pixels.data(), TNKF2EncodeOptions{});
          Chart.Blobs.emplace_back(bytes.begin(), bytes.end());
        }
        Chart.TileBlobs.push_back(it->second);
      }
    }
  }
}

TNKFSampleSetChart Summary(const std::string &Path, const TNKFChartDescription &Chart) {
  TNKFSampleSetChart s;
  s.FileName = std::filesystem::path(Path).filename().string();
  s.Width = Chart.Width;
  s.Height = Chart.Height;
  s.Tiles = static_cast<uint32_t>(Chart.TileBlobs.size());
  s.Blobs = Chart.Blobs.size();
  s.Bytes = static_cast<int64_t>(std::filesystem::file_size(Path));
  for (const TNKFWriterLink &link : Chart.Tag.Links)
    s.Links.push_back(link.LinkText2);
  return s;
}

struct TPlane {
  double X, Y;
};

// Latitude and longitude as a plane near 53 N, for the overlap test.
TPlane Flat(const TDoublePoint &p) { return {p.Y * std::cos(53.2 * std::numbers::pi / 180), p.X}; }

bool Inside(const TPlane &p, const std::vector<TDoublePoint> &Polygon) {
  bool inside = false;
  for (size_t i = 0, j = Polygon.size() - 1; i < Polygon.size(); j = i++) {
    const TPlane a = Flat(Polygon[i]), b = Flat(Polygon[j]);
    if ((a.Y > p.Y) != (b.Y > p.Y) && p.X < (b.X - a.X) * (p.Y - a.Y) / (b.Y - a.Y) + a.X)
      inside = !inside;
  }
  return inside;
}

bool Cross(const TPlane &a, const TPlane &b, const TPlane &c, const TPlane &d) {
  const auto side = [](const TPlane &p, const TPlane &q, const TPlane &r) {
    return (q.X - p.X) * (r.Y - p.Y) - (q.Y - p.Y) * (r.X - p.X);
  };
  return side(a, b, c) * side(a, b, d) < 0 && side(c, d, a) * side(c, d, b) < 0;
}

} // namespace

void NKFReleaseDrawingCaches() {
  cairo_debug_reset_static_data();
  FcFini();
}

std::vector<TDoublePoint> NKFBorderPoints(const TNKFChart &Chart, double Spacing) {
  std::vector<TDoublePoint> points;
  const int32_t n = Chart.Border.Count();
  for (int32_t i = 0; i < n; ++i) {
    const TPoint a = Chart.Border.GetPoint(i), b = Chart.Border.GetPoint((i + 1) % n);
    const int steps = std::max(1, static_cast<int>(std::hypot(b.X - a.X, b.Y - a.Y) / Spacing));
    for (int k = 0; k < steps; ++k) {
      const double t = static_cast<double>(k) / steps;
      points.push_back({a.X + t * (b.X - a.X) - 0.5, a.Y + t * (b.Y - a.Y) - 0.5});
    }
  }
  return points;
}

std::vector<TDoublePoint> NKFSampleFootprint(const TNKFChart &Chart) {
  std::vector<TDoublePoint> outline;
  for (const TDoublePoint &p : NKFBorderPoints(Chart, 200))
    outline.push_back(Chart.Calibration->PixelToWGS84(p));
  return outline;
}

bool NKFFootprintsOverlap(const std::vector<TDoublePoint> &A, const std::vector<TDoublePoint> &B) {
  if (A.empty() || B.empty())
    return false;
  if (Inside(Flat(A[0]), B) || Inside(Flat(B[0]), A))
    return true;
  for (size_t i = 0; i < A.size(); ++i)
    for (size_t j = 0; j < B.size(); ++j)
      if (Cross(Flat(A[i]), Flat(A[(i + 1) % A.size()]), Flat(B[j]), Flat(B[(j + 1) % B.size()])))
        return true;
  return false;
}

std::vector<TNKFSampleSetChart> NKFWriteSampleSet(const std::string &Folder, const TNKFSampleSetLog &Log,
                                                  const std::vector<int> &Only) {
  std::vector<TNKFTagDescription> tags;
  std::vector<std::unique_ptr<TNKFChart>> charts;
  for (int i = 0; i < ChartFileCount; ++i) {
    tags.push_back(NKFSampleChartTag(i));
    const TSampleChartPlan &plan = NKFSampleChartPlan(i);
    if (tags.back().Text1 + ".nkf2" != ChartFileNames[static_cast<size_t>(i)])
      Fail(i, "has the title " + tags.back().Text1);
    TNKFChartDescription probe = NKFSampleChart(NKFVersion1_0_0_2, plan.Width, plan.Height);
    probe.Tag = tags.back();
    NKFWriteChartFile(PathOf(Folder, i), probe);
    charts.push_back(OpenCalibrated(PathOf(Folder, i), i));
    CheckCalibrationPoints(*charts.back(), tags.back(), i);
  }
  std::vector<std::vector<TDoublePoint>> footprints;
  for (const auto &chart : charts)
    footprints.push_back(NKFSampleFootprint(*chart));
  for (int i = 0; i < ChartFileCount; ++i)
    for (int j = 0; j < ChartFileCount; ++j)
      if (i != j && NKFFootprintsOverlap(footprints[static_cast<size_t>(i)], footprints[static_cast<size_t>(j)]))
        tags[static_cast<size_t>(i)].Links.push_back(
            {0, tags[static_cast<size_t>(j)].Text1, ChartFileNames[static_cast<size_t>(j)]});

  std::vector<TNKFSampleSetChart> written;
  for (int i = 0; i < ChartFileCount; ++i) {
    if (!Only.empty() && std::find(Only.begin(), Only.end(), i) == Only.end())
      continue;
    const TNKFTagDescription &tag = tags[static_cast<size_t>(i)];
    const TNKFChartPainter painter(*charts[static_cast<size_t>(i)]->Calibration, tag.Border, TitleBlock(tag));
    TNKFChartDescription chart;
    chart.Version = NKFVersion1_0_0_2;
    chart.Width = NKFSampleChartPlan(i).Width;
    chart.Height = NKFSampleChartPlan(i).Height;
    chart.Tag = tag;
    PaintTiles(painter, chart);
    NKFWriteChartFile(PathOf(Folder, i), chart);
    const std::unique_ptr<TNKFChart> check = OpenCalibrated(PathOf(Folder, i), i);
    CheckCalibrationPoints(*check, tag, i);
    if (check->TileCount != chart.TileBlobs.size() || check->Links.size() != tag.Links.size())
      Fail(i, "does not read back as written");
    written.push_back(Summary(PathOf(Folder, i), chart));
    if (Log)
      Log(written.back().FileName + ": " + std::to_string(chart.Width) + " x " + std::to_string(chart.Height) +
          " pixels, " + std::to_string(written.back().Tiles) + " tiles (" + std::to_string(written.back().Blobs) +
          " distinct), " + std::to_string(written.back().Bytes) + " bytes, " + std::to_string(tag.Links.size()) +
          " links");
  }
  return written;
}
