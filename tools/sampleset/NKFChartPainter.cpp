#include "NKFChartPainter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>

namespace {

constexpr double Degree = std::numbers::pi / 180;
// Geometry further than this beyond the image (in chart pixels) is left
// out; wider than the widest stroke at the coarsest level (16 chart pixels
// a level pixel).
constexpr double Margin = 256;

constexpr uint32_t CoastColor = 0x303030;
constexpr uint32_t ContourColor = 0x4A86C5;
constexpr uint32_t GraticuleColor = 0x606060;
constexpr uint32_t TextColor = 0x1A1A1A;
constexpr uint32_t SeaTextColor = 0x2F5F9F;
constexpr uint32_t LightColor = 0xC0308F;
constexpr uint32_t PortColor = 0xD02020;
constexpr uint32_t StarboardColor = 0x1E9E40;
constexpr uint32_t TitleBoxColor = 0xFCFCF6;
constexpr double TitleBlockTop = 16, TitlePad = 12; // chart pixels, and before FTextScale

using TCairo = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

void SetColor(cairo_t *Cr, uint32_t Color) {
  cairo_set_source_rgb(Cr, ((Color >> 16) & 0xFF) / 255.0, ((Color >> 8) & 0xFF) / 255.0, (Color & 0xFF) / 255.0);
}

// Font sizes in chart pixels; no hinting, so that a text has the same shape
// at every level and on every run.
void SetFont(cairo_t *Cr, cairo_font_slant_t Slant, cairo_font_weight_t Weight, double Size) {
  cairo_select_font_face(Cr, "DejaVu Sans", Slant, Weight);
  cairo_set_font_size(Cr, Size);
  std::unique_ptr<cairo_font_options_t, decltype(&cairo_font_options_destroy)> options(cairo_font_options_create(),
                                                                                        cairo_font_options_destroy);
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(Cr, options.get());
}

void ShowText(cairo_t *Cr, const TDoublePoint &At, const std::string &Text) {
  cairo_move_to(Cr, At.X, At.Y);
  cairo_show_text(Cr, Text.c_str());
}

// Leaves out the points of a line that, with their neighbours, lie beyond
// one and the same side of the box: the shortcut stays on that side, so
// neither a fill nor a stroke changes inside the box.
std::vector<TDoublePoint> Pruned(const std::vector<TDoublePoint> &Points, double Left, double Top, double Right,
                                 double Bottom) {
  const auto code = [&](const TDoublePoint &p) {
    return (p.X < Left ? 1u : 0u) | (p.X > Right ? 2u : 0u) | (p.Y < Top ? 4u : 0u) | (p.Y > Bottom ? 8u : 0u);
  };
  std::vector<TDoublePoint> kept;
  if (Points.empty())
    return kept;
  kept.push_back(Points[0]);
  size_t last = 0;
  size_t i = 1;
  while (i < Points.size()) {
    unsigned common = code(Points[last]);
    size_t j = i;
    while (j < Points.size() && (common & code(Points[j])) != 0) {
      common &= code(Points[j]);
      ++j;
    }
    const size_t next = j == i ? i : j - 1;
    kept.push_back(Points[next]);
    last = next;
    i = next + 1;
  }
  return kept;
}

void AddLine(cairo_t *Cr, const std::vector<TDoublePoint> &Line, bool Closed) {
  if (Line.size() < 2)
    return;
  cairo_move_to(Cr, Line[0].X, Line[0].Y);
  for (size_t i = 1; i < Line.size(); ++i)
    cairo_line_to(Cr, Line[i].X, Line[i].Y);
  if (Closed)
    cairo_close_path(Cr);
}

std::string DegreesMinutes(double Value, double SpacingMinutes, char Positive, char Negative) {
  const double seconds = std::round(std::fabs(Value) * 3600);
  const int d = static_cast<int>(seconds / 3600), m = static_cast<int>(std::fmod(seconds, 3600) / 60);
  const int s = static_cast<int>(std::fmod(seconds, 60));
  char text[40];
  if (SpacingMinutes < 1)
    std::snprintf(text, sizeof text, "%d\xC2\xB0%02d'%02d\" %c", d, m, s, Value >= 0 ? Positive : Negative);
  else
    std::snprintf(text, sizeof text, "%d\xC2\xB0%02d' %c", d, m, Value >= 0 ? Positive : Negative);
  return text;
}

} // namespace

TNKFChartPainter::TNKFChartPainter(const TCalibration &Calibration, const std::vector<TNKFWriterBorderPoint> &Border,
                                   TNKFChartTitleBlock Title)
    : FCalibration(Calibration), FBorder(Border), FTitle(std::move(Title)),
      FTextScale(std::clamp(std::min(Calibration.Width(), Calibration.Height()) / 1500.0, 1.0, 4.0)) {
  PrepareGeography();
  PrepareGraticule();
}

TNKFChartPainter::TPixelLine TNKFChartPainter::ToPixels(const TGeoLine &Line) const {
  TPixelLine pixels;
  pixels.reserve(Line.size());
  for (const TGeoPoint &p : Line)
    pixels.push_back(FCalibration.WGS84ToPixel({p.Lat * Degree, p.Lon * Degree}));
  return Pruned(pixels, -Margin, -Margin, FCalibration.Width() + Margin, FCalibration.Height() + Margin);
}

bool TNKFChartPainter::Near(const TDoublePoint &p) const {
  return p.X > -Margin && p.Y > -Margin && p.X < FCalibration.Width() + Margin &&
         p.Y < FCalibration.Height() + Margin;
}

void TNKFChartPainter::PrepareGeography() {
  const TSampleGeography &g = NKFSampleGeography();
  for (const TGeoLine &l : g.Land)
    FLand.push_back(ToPixels(l));
  for (const TGeoLine &l : g.Shallow5)
    FShallow5.push_back(ToPixels(l));
  for (const TGeoLine &l : g.Shallow10)
    FShallow10.push_back(ToPixels(l));
  for (const TGeoLine &l : g.Contour20)
    FContours.push_back(ToPixels(l));
  const auto place = [&](const TGeoPoint &p) { return FCalibration.WGS84ToPixel({p.Lat * Degree, p.Lon * Degree}); };
  const auto places = [&](const std::vector<TSamplePlace> &From, std::vector<TLabel> &To) {
    for (const TSamplePlace &p : From)
      if (Near(place(p.Position)))
        To.push_back({place(p.Position), p.Name});
  };
  places(g.Harbours, FHarbours);
  places(g.Islands, FIslands);
  places(g.SeaNames, FSeaNames);
  for (const TSampleMark &m : g.Marks)
    if (Near(place(m.Position)))
      FMarks.push_back({m.Kind, place(m.Position), m.Label});
}

// Parallels and meridians of the chart's own datum, a round number of
// minutes apart (at least 300 chart pixels, and no more than about eight
// across), labelled where they leave the chart at the left and at the bottom.
void TNKFChartPainter::PrepareGraticule() {
  const double w = FCalibration.Width(), h = FCalibration.Height();
  double minLat = 90, maxLat = -90, minLon = 180, maxLon = -180;
  for (int i = 0; i <= 16; ++i)
    for (const TDoublePoint &p : {TDoublePoint{w * i / 16, 0}, TDoublePoint{w * i / 16, h}, TDoublePoint{0, h * i / 16},
                                  TDoublePoint{w, h * i / 16}}) {
      const TDoublePoint g = FCalibration.PixelToGeographic(p);
      minLat = std::min(minLat, g.X / Degree), maxLat = std::max(maxLat, g.X / Degree);
      minLon = std::min(minLon, g.Y / Degree), maxLon = std::max(maxLon, g.Y / Degree);
    }
  const double midLat = (minLat + maxLat) / 2, midLon = (minLon + maxLon) / 2;
  const auto pixel = [&](double Lat, double Lon) { return FCalibration.GeographicToPixel({Lat * Degree, Lon * Degree}); };
  const TDoublePoint a = pixel(midLat, midLon), b = pixel(midLat + 1.0 / 60, midLon);
  const double pixelsPerMinute = std::hypot(b.X - a.X, b.Y - a.Y);
  double spacing = 60;
  for (double minutes : {0.25, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0})
    if (minutes * pixelsPerMinute >= std::max(300.0, std::min(w, h) / 8)) {
      spacing = minutes;
      break;
    }
  const double step = spacing / 60;
  const auto crossing = [](const TPixelLine &Line, bool Vertical, double At, double Low, double High,
                           TDoublePoint &Where) {
    for (size_t i = 1; i < Line.size(); ++i) {
      const double p = Vertical ? Line[i - 1].X : Line[i - 1].Y, q = Vertical ? Line[i].X : Line[i].Y;
      if ((p - At) * (q - At) > 0 || p == q)
        continue;
      const double t = (At - p) / (q - p);
      const TDoublePoint x{Line[i - 1].X + t * (Line[i].X - Line[i - 1].X),
                           Line[i - 1].Y + t * (Line[i].Y - Line[i - 1].Y)};
      const double other = Vertical ? x.Y : x.X;
      if (other > Low && other < High) {
        Where = x;
        return true;
      }
    }
    return false;
  };
  for (double lat = std::ceil(minLat / step) * step; lat <= maxLat; lat += step) {
    TPixelLine line;
    for (int i = 0; i <= 64; ++i)
      line.push_back(pixel(lat, minLon + (maxLon - minLon) * i / 64));
    TDoublePoint at;
    if (crossing(line, true, 8, 40, h - 40, at))
      FLatitudeLabels.push_back({at, DegreesMinutes(lat, spacing, 'N', 'S')});
    FGraticule.push_back(std::move(line));
  }
  for (double lon = std::ceil(minLon / step) * step; lon <= maxLon; lon += step) {
    TPixelLine line;
    for (int i = 0; i <= 64; ++i)
      line.push_back(pixel(minLat + (maxLat - minLat) * i / 64, lon));
    TDoublePoint at;
    if (crossing(line, false, h - 8, 40, w - 200, at))
      FLongitudeLabels.push_back({at, DegreesMinutes(lon, spacing, 'E', 'W')});
    FGraticule.push_back(std::move(line));
  }
}

void TNKFChartPainter::FillAreas(cairo_t *Cr, const std::vector<TPixelLine> &Areas, uint32_t Color) const {
  cairo_new_path(Cr);
  for (const TPixelLine &area : Areas)
    AddLine(Cr, area, true);
  SetColor(Cr, Color);
  cairo_set_fill_rule(Cr, CAIRO_FILL_RULE_WINDING);
  cairo_fill(Cr);
}

// Lines keep their width in level pixels (at least one), as a printed line
// keeps its width on a smaller copy of the chart.
void TNKFChartPainter::StrokeLines(cairo_t *Cr, const std::vector<TPixelLine> &Lines, bool Closed, uint32_t Color,
                                   double DeviceWidth, double Scale) const {
  cairo_new_path(Cr);
  for (const TPixelLine &line : Lines)
    AddLine(Cr, line, Closed);
  SetColor(Cr, Color);
  cairo_set_line_width(Cr, std::max(DeviceWidth * Scale, 1.0) / Scale);
  cairo_set_line_join(Cr, CAIRO_LINE_JOIN_ROUND);
  cairo_stroke(Cr);
}

// Symbols and texts grow with the chart (FTextScale), as a large sheet's
// lettering does; their lines keep at least one level pixel.
void TNKFChartPainter::DrawMarks(cairo_t *Cr, double Scale) const {
  const double k = FTextScale;
  for (const TMark &m : FMarks) {
    cairo_save(Cr);
    cairo_translate(Cr, m.At.X, m.At.Y);
    cairo_scale(Cr, k, k);
    cairo_set_line_width(Cr, std::max(1.5 * Scale * k, 1.0) / (Scale * k));
    cairo_new_path(Cr);
    switch (m.Kind) {
    case TSampleMarkKind::PortBuoy: // a red can
      cairo_rectangle(Cr, -5, -12, 10, 12);
      SetColor(Cr, PortColor);
      break;
    case TSampleMarkKind::StarboardBuoy: // a green cone
      cairo_move_to(Cr, -6, 0);
      cairo_line_to(Cr, 6, 0);
      cairo_line_to(Cr, 0, -13);
      cairo_close_path(Cr);
      SetColor(Cr, StarboardColor);
      break;
    case TSampleMarkKind::Light: // the light flare, with its character
      cairo_move_to(Cr, 0, 0);
      cairo_line_to(Cr, 26, -10);
      cairo_line_to(Cr, 24, -16);
      cairo_close_path(Cr);
      SetColor(Cr, LightColor);
      break;
    }
    cairo_fill_preserve(Cr);
    SetColor(Cr, TextColor);
    cairo_stroke(Cr);
    if (m.Kind == TSampleMarkKind::Light) {
      cairo_arc(Cr, 0, 0, 3, 0, 2 * std::numbers::pi);
      cairo_fill(Cr);
      SetFont(Cr, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL, 15);
      SetColor(Cr, LightColor);
      ShowText(Cr, {30, -10}, m.Label);
    }
    cairo_restore(Cr);
  }
}

void TNKFChartPainter::DrawLabels(cairo_t *Cr, const std::vector<TLabel> &Labels, const TDoublePoint &Offset) const {
  for (const TLabel &l : Labels) {
    cairo_save(Cr);
    cairo_translate(Cr, l.At.X, l.At.Y);
    cairo_scale(Cr, FTextScale, FTextScale);
    ShowText(Cr, Offset, l.Text);
    cairo_restore(Cr);
  }
}

void TNKFChartPainter::DrawNames(cairo_t *Cr) const {
  SetColor(Cr, TextColor);
  SetFont(Cr, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD, 22);
  DrawLabels(Cr, FHarbours, {24, 8});
  SetFont(Cr, CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_BOLD, 20);
  DrawLabels(Cr, FIslands, {-30, 0});
  SetColor(Cr, SeaTextColor);
  SetFont(Cr, CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_NORMAL, 26);
  DrawLabels(Cr, FSeaNames, {-60, 0});
}

void TNKFChartPainter::DrawGraticuleLabels(cairo_t *Cr) const {
  SetColor(Cr, TextColor);
  SetFont(Cr, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL, 14);
  // None under the title block in the top left corner.
  std::vector<TLabel> latitudes;
  for (const TLabel &l : FLatitudeLabels)
    if (l.At.Y > TitleBlockBottom())
      latitudes.push_back(l);
  DrawLabels(Cr, latitudes, {4, -5});
  DrawLabels(Cr, FLongitudeLabels, {5, -6});
}

double TNKFChartPainter::TitleBlockBottom() const {
  return TitleBlockTop + FTextScale * (2 * TitlePad + 32 + 20 * (static_cast<double>(FTitle.Lines.size()) - 1) + 20);
}

void TNKFChartPainter::DrawTitleBlock(cairo_t *Cr) const {
  cairo_save(Cr);
  cairo_translate(Cr, TitleBlockTop, TitleBlockTop);
  cairo_scale(Cr, FTextScale, FTextScale);
  const double pad = TitlePad;
  double width = 0, height = pad;
  std::vector<double> baselines;
  const auto font = [&](size_t Line) {
    SetFont(Cr, CAIRO_FONT_SLANT_NORMAL, Line == 0 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL,
            Line == 0 ? 26 : 15);
  };
  for (size_t i = 0; i < FTitle.Lines.size(); ++i) {
    font(i);
    cairo_text_extents_t e;
    cairo_text_extents(Cr, FTitle.Lines[i].c_str(), &e);
    width = std::max(width, e.x_advance);
    height += i == 0 ? 26 : 20;
    baselines.push_back(height);
    if (i == 0)
      height += 6;
  }
  height += pad;
  cairo_new_path(Cr);
  cairo_rectangle(Cr, 0, 0, width + 2 * pad, height);
  SetColor(Cr, TitleBoxColor);
  cairo_fill_preserve(Cr);
  SetColor(Cr, TextColor);
  cairo_set_line_width(Cr, 1.5);
  cairo_stroke(Cr);
  for (size_t i = 0; i < FTitle.Lines.size(); ++i) {
    font(i);
    ShowText(Cr, {pad, baselines[i]}, FTitle.Lines[i]);
  }
  cairo_restore(Cr);
}

// Beyond the border the chart shows nothing: transparent pixels. Border
// vertices lie on pixel corners, half a pixel before the centres.
void TNKFChartPainter::ClearOutsideBorder(cairo_t *Cr) const {
  cairo_new_path(Cr);
  cairo_rectangle(Cr, -1e5, -1e5, 2e5 + FCalibration.Width(), 2e5 + FCalibration.Height());
  for (size_t i = 0; i < FBorder.size(); ++i) {
    const double x = FBorder[i].X - 0.5, y = FBorder[i].Y - 0.5;
    if (i == 0)
      cairo_move_to(Cr, x, y);
    else
      cairo_line_to(Cr, x, y);
  }
  cairo_close_path(Cr);
  cairo_set_fill_rule(Cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_set_operator(Cr, CAIRO_OPERATOR_CLEAR);
  cairo_fill(Cr);
  cairo_set_operator(Cr, CAIRO_OPERATOR_OVER);
}

void TNKFChartPainter::Paint(cairo_surface_t *Surface, int Level, int Top) const {
  TCairo owner(cairo_create(Surface), cairo_destroy);
  cairo_t *cr = owner.get();
  const double scale = std::ldexp(1.0, -Level);
  // Chart pixel centres are whole numbers; a level pixel covers 2^Level of
  // them from the same top left corner.
  cairo_translate(cr, 0, -Top);
  cairo_scale(cr, scale, scale);
  cairo_translate(cr, 0.5, 0.5);
  // Areas and lines without smoothing: every pixel is one of the chart's
  // colours, as on a scanned and reduced chart (and the tiles stay small).
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  SetColor(cr, NKFSampleDeepColor);
  cairo_paint(cr);
  FillAreas(cr, FShallow10, NKFSampleShallow10Color);
  FillAreas(cr, FShallow5, NKFSampleShallow5Color);
  StrokeLines(cr, FShallow10, true, ContourColor, 1, scale);
  StrokeLines(cr, FShallow5, true, ContourColor, 1, scale);
  StrokeLines(cr, FContours, false, ContourColor, 1, scale);
  FillAreas(cr, FLand, NKFSampleLandColor);
  StrokeLines(cr, FLand, true, CoastColor, 2.5, scale);
  StrokeLines(cr, FGraticule, false, GraticuleColor, 1, scale);
  DrawMarks(cr, scale);
  DrawNames(cr);
  DrawGraticuleLabels(cr);
  DrawTitleBlock(cr);
  ClearOutsideBorder(cr);

  // Beyond the level's image: transparent.
  const auto levelSize = [&](int32_t Size) { return static_cast<int>(std::ceil(Size * scale)); };
  cairo_identity_matrix(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  const int width = cairo_image_surface_get_width(Surface), height = cairo_image_surface_get_height(Surface);
  cairo_rectangle(cr, levelSize(FCalibration.Width()), 0, width, height);
  cairo_rectangle(cr, 0, levelSize(FCalibration.Height()) - Top, width, height);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_fill(cr);
  cairo_surface_flush(Surface);
}
