#include "NKFSampleSetPicture.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "ChartSetNames.h"
#include "NKFTileReader.h"
#include "VmNKFCharts.h"

namespace {

constexpr int Level = 2; // the overview charts at a quarter of their size
constexpr double Shrink = 1 << Level;
constexpr int Margin = 24;
constexpr uint32_t Outside = 0xFFE4E4E4; // beyond both overview charts
constexpr int North = 6, South = 8;      // the overview charts in ChartFileNames

using TSurface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using TCairo = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

// A chart's level as one picture, 0xAARRGGBB.
struct TLevelImage {
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;
  uint32_t At(int X, int Y) const {
    return X < 0 || Y < 0 || X >= Width || Y >= Height ? 0 : Pixels[static_cast<size_t>(Y) * Width + X];
  }
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
  const int32_t n = Chart.Border.Count();
  for (int32_t i = 0; i < n; ++i) {
    const TPoint a = Chart.Border.GetPoint(i), b = Chart.Border.GetPoint((i + 1) % n);
    const int steps = std::max(1, static_cast<int>(std::hypot(b.X - a.X, b.Y - a.Y) / 100));
    for (int k = 0; k < steps; ++k) {
      const double t = static_cast<double>(k) / steps;
      outline.push_back(Base.Calibration->PixelToPixel(
          {a.X + t * (b.X - a.X) - 0.5, a.Y + t * (b.Y - a.Y) - 0.5}, *Chart.Calibration));
    }
  }
  return outline;
}

// The background: the northern overview where it shows, else the southern
// one, through the two charts' calibrations (computed every 8 picture pixels
// and interpolated between: the map between two charts is smooth).
void PaintBackground(uint32_t *Pixels, int Stride, int Width, int Height, const TDoublePoint &Origin,
                     const TNKFChart &North, const TLevelImage &NorthImage, const TNKFChart &South,
                     const TLevelImage &SouthImage) {
  constexpr int Step = 8;
  const int cols = Width / Step + 2, rows = Height / Step + 2;
  std::vector<TDoublePoint> lattice(static_cast<size_t>(cols) * rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c)
      lattice[static_cast<size_t>(r) * cols + c] =
          South.Calibration->PixelToPixel(FromPicture(c * Step, r * Step, Origin), *North.Calibration);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      const TDoublePoint n = FromPicture(x, y, Origin);
      uint32_t color = NorthImage.At(static_cast<int>(std::floor((n.X + 0.5) / Shrink)),
                                     static_cast<int>(std::floor((n.Y + 0.5) / Shrink)));
      if (color == 0) {
        const int c = x / Step, r = y / Step;
        const double u = (x - c * Step) / double{Step}, v = (y - r * Step) / double{Step};
        const auto at = [&](int dc, int dr) { return lattice[static_cast<size_t>(r + dr) * cols + c + dc]; };
        const TDoublePoint s{(1 - v) * ((1 - u) * at(0, 0).X + u * at(1, 0).X) + v * ((1 - u) * at(0, 1).X + u * at(1, 1).X),
                             (1 - v) * ((1 - u) * at(0, 0).Y + u * at(1, 0).Y) + v * ((1 - u) * at(0, 1).Y + u * at(1, 1).Y)};
        color = SouthImage.At(static_cast<int>(std::floor((s.X + 0.5) / Shrink)),
                              static_cast<int>(std::floor((s.Y + 0.5) / Shrink)));
      }
      Pixels[static_cast<size_t>(y) * Stride + x] = color == 0 ? Outside : color;
    }
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
  cairo_surface_flush(surface.get());
  PaintBackground(reinterpret_cast<uint32_t *>(cairo_image_surface_get_data(surface.get())),
                  cairo_image_surface_get_stride(surface.get()) / 4, width, height, origin, north, ReadLevel(north),
                  south, ReadLevel(south));
  cairo_surface_mark_dirty(surface.get());
  TCairo cr(cairo_create(surface.get()), cairo_destroy);
  for (size_t i = 0; i < charts.size(); ++i)
    DrawOutline(cr.get(), outlines[i], origin, charts[i]->Text1);
  cairo_surface_flush(surface.get());
  if (cairo_surface_write_to_png(surface.get(), PngFile.c_str()) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("NKFWriteSampleSetPicture: Cannot write " + PngFile);
}
