#include "NKFSampleSetPicture.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "ChartSetNames.h"
#include "NKFSampleSet.h"
#include "NKFTileReader.h"
#include "VmNKFCharts.h"

namespace {

constexpr int Level = 2; // the overview charts at a quarter of their size
constexpr double Shrink = 1 << Level;
constexpr int Margin = 24;
constexpr int North = 6, South = 8;      // the overview charts in ChartFileNames

using TSurface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using TCairo = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

// A chart's level as one picture, 0xAARRGGBB.
struct TLevelImage {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels; // transparent pixels 0, as Cairo's premultiplied ARGB32 wants them
};

TLevelImage ReadLevel(const TNKFChart &Chart) {
  const TNKFLevel &l = Chart.Levels[Level];
  TLevelImage image;
  image.Width = static_cast<int>(l.Width);
  image.Height = static_cast<int>(l.Height);
  image.Pixels.resize(static_cast<size_t>(image.Width) * image.Height);
  TNKFTileReader reader(Chart);
  for (uint32_t ty = 0; ty < l.TilesY; ++ty)
    for (uint32_t tx = 0; tx < l.TilesX; ++tx) {
      const std::vector<uint8_t> &rgba = reader.ReadRGBA(NKFLevelTileNumber(l, tx, ty));
      for (int y = 0; y < NKFTileSize; ++y)
        for (int x = 0; x < NKFTileSize; ++x) {
          const int px = static_cast<int>(tx) * NKFTileSize + x, py = static_cast<int>(ty) * NKFTileSize + y;
          if (px >= image.Width || py >= image.Height)
            continue;
          const uint8_t *p = &rgba[(static_cast<size_t>(y) * NKFTileSize + x) * 4];
          image.Pixels[static_cast<size_t>(py) * image.Width + px] =
              p[3] == 0 ? 0 : 0xFF000000u | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
        }
    }
  return image;
}

// Full-resolution pixels of the northern overview to picture pixels and back.
TDoublePoint ToPicture(const TDoublePoint &Pixel, const TDoublePoint &Origin) {
  return {(Pixel.X + 0.5) / Shrink - Origin.X, (Pixel.Y + 0.5) / Shrink - Origin.Y};
}
TDoublePoint FromPicture(double X, double Y, const TDoublePoint &Origin) {
  return {(X + Origin.X) * Shrink - 0.5, (Y + Origin.Y) * Shrink - 0.5};
}

// A chart's border, every few chart pixels, in the northern overview's pixels.
std::vector<TDoublePoint> Outline(const TNKFChart &Chart, const TNKFChart &Base) {
  std::vector<TDoublePoint> outline;
  for (const TDoublePoint &p : NKFBorderPoints(Chart, 100))
    outline.push_back(Base.Calibration->PixelToPixel(p, *Chart.Calibration));
  return outline;
}

// A chart's level image over the picture: the map from picture pixels to
// the chart's (through both charts' calibrations) is affine to far below a
// pixel over the picture, so Cairo draws it as a transformed pattern,
// smoothing where the two pixel grids do not meet (a one-pixel line would
// otherwise drop out where nearest-pixel sampling skips its column).
void PaintChart(cairo_t *Cr, TLevelImage &Image, const TNKFChart &Chart, const TNKFChart &Base,
                const TDoublePoint &Origin, int Width, int Height) {
  TSurface surface(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char *>(Image.Pixels.data()),
                                                       CAIRO_FORMAT_ARGB32, Image.Width, Image.Height,
                                                       Image.Width * 4),
                   cairo_surface_destroy);
  const auto level = [&](double X, double Y) {
    const TDoublePoint p = Chart.Calibration->PixelToPixel(FromPicture(X, Y, Origin), *Base.Calibration);
    return TDoublePoint{(p.X + 0.5) / Shrink, (p.Y + 0.5) / Shrink};
  };
  const TDoublePoint q0 = level(0, 0), q1 = level(Width, 0), q2 = level(0, Height);
  cairo_matrix_t m;
  cairo_matrix_init(&m, (q1.X - q0.X) / Width, (q1.Y - q0.Y) / Width, (q2.X - q0.X) / Height,
                    (q2.Y - q0.Y) / Height, q0.X, q0.Y);
  std::unique_ptr<cairo_pattern_t, decltype(&cairo_pattern_destroy)> pattern(
      cairo_pattern_create_for_surface(surface.get()), cairo_pattern_destroy);
  cairo_pattern_set_matrix(pattern.get(), &m);
  cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_GOOD);
  cairo_set_source(Cr, pattern.get());
  cairo_paint(Cr);
}

// The outline in magenta and the chart's name: inside the bottom left
// corner of a large chart (its title block holds the top left), beside the
// sea-side top corner of a small one (its inside shows the harbour's name).
void DrawOutline(cairo_t *Cr, const std::vector<TDoublePoint> &Outline, const TDoublePoint &Origin,
                 const std::string &Name) {
  cairo_new_path(Cr);
  double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
  for (const TDoublePoint &p : Outline) {
    const TDoublePoint q = ToPicture(p, Origin);
    cairo_line_to(Cr, q.X, q.Y);
    left = std::min(left, q.X), top = std::min(top, q.Y), right = std::max(right, q.X), bottom = std::max(bottom, q.Y);
  }
  cairo_close_path(Cr);
  cairo_set_source_rgb(Cr, 0.75, 0.1, 0.55);
  cairo_set_line_width(Cr, 2.5);
  cairo_stroke(Cr);
  cairo_select_font_face(Cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(Cr, 14);
  cairo_text_extents_t e;
  cairo_text_extents(Cr, Name.c_str(), &e);
  const bool large = right - left > 200;
  double x = large ? left + 8 : left - 8 - e.x_advance;
  if (x < 4) // no room on the sea side: beside the other edge
    x = right + 8;
  const double y = large ? bottom - 10 : top + 14;
  cairo_rectangle(Cr, x - 3, y - 14, e.x_advance + 6, 19);
  cairo_set_source_rgba(Cr, 1, 1, 1, 0.85);
  cairo_fill(Cr);
  cairo_set_source_rgb(Cr, 0.45, 0.05, 0.35);
  cairo_move_to(Cr, x, y);
  cairo_show_text(Cr, Name.c_str());
}

} // namespace

void NKFWriteSampleSetPicture(const std::string &Folder, const std::string &PngFile) {
  std::vector<std::unique_ptr<TNKFChart>> charts;
  for (const char *name : ChartFileNames) {
    charts.push_back(std::make_unique<TNKFChart>((std::filesystem::path(Folder) / name).string()));
    if (!charts.back()->IsCalibrated())
      throw std::runtime_error(std::string("NKFWriteSampleSetPicture: ") + name + " is not calibrated");
  }
  const TNKFChart &north = *charts[North], &south = *charts[South];
  std::vector<std::vector<TDoublePoint>> outlines;
  double left = 1e18, top = 1e18, right = -1e18, bottom = -1e18;
  for (const auto &chart : charts) {
    outlines.push_back(Outline(*chart, north));
    for (const TDoublePoint &p : outlines.back()) {
      const TDoublePoint q = ToPicture(p, {0, 0});
      left = std::min(left, q.X), top = std::min(top, q.Y), right = std::max(right, q.X), bottom = std::max(bottom, q.Y);
    }
  }
  const TDoublePoint origin{std::floor(left) - Margin, std::floor(top) - Margin};
  const int width = static_cast<int>(std::ceil(right - origin.X)) + Margin;
  const int height = static_cast<int>(std::ceil(bottom - origin.Y)) + Margin;

  TSurface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("NKFWriteSampleSetPicture: Cairo cannot make a picture of that size");
  TCairo cr(cairo_create(surface.get()), cairo_destroy);
  cairo_set_source_rgb(cr.get(), 0.89, 0.89, 0.89); // beyond both overview charts
  cairo_paint(cr.get());
  // The southern chart first: the northern one, north up in the picture,
  // covers it where both show.
  TLevelImage southImage = ReadLevel(south), northImage = ReadLevel(north);
  PaintChart(cr.get(), southImage, south, north, origin, width, height);
  PaintChart(cr.get(), northImage, north, north, origin, width, height);
  for (size_t i = 0; i < charts.size(); ++i)
    DrawOutline(cr.get(), outlines[i], origin, charts[i]->Text1);
  cairo_surface_flush(surface.get());
  if (cairo_surface_write_to_png(surface.get(), PngFile.c_str()) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("NKFWriteSampleSetPicture: Cannot write " + PngFile);
}
