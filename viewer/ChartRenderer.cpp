#include "ChartRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

#include "VmNightscreen.h"

namespace {

// Hatching of a failed tile: a diagonal line every HatchPeriod level pixels,
// HatchWidth wide.
constexpr int32_t HatchPeriod = 16;
constexpr int32_t HatchWidth = 3;
// The warp's rows go to at most this many threads, none with fewer rows than
// MinBandRows (a thread costs more than a few short rows).
constexpr int32_t MaxWarpThreads = 4;
constexpr int32_t MinBandRows = 64;

void Fill(TColor32 *Row, int32_t Count, TColor32 Color) { std::fill(Row, Row + Count, Color); }

// One row of a loaded tile over the background. Tiles are opaque inside the
// chart's border, so most rows are a plain copy: copied whole, then checked
// with one AND over the row (which the compiler vectorises), and only a row
// with a pixel that is not opaque is blended pixel by pixel.
void BlendRow(const TColor32 *Src, TColor32 *Dst, int32_t Count, TColor32 Background) {
  std::memcpy(Dst, Src, static_cast<size_t>(Count) * sizeof(TColor32));
  TColor32 all = 0xFF000000;
  for (int32_t i = 0; i < Count; ++i)
    all &= Src[i];
  if ((all >> 24) == 0xFF)
    return;
  for (int32_t i = 0; i < Count; ++i) {
    const uint32_t alpha = Src[i] >> 24;
    if (alpha != 0xFF)
      Dst[i] = alpha == 0 ? Background : OverOpaque(Src[i], Background);
  }
}

void HatchRow(TColor32 *Dst, int32_t Count, int32_t LevelX, int32_t LevelY, const TViewColors &Colors) {
  for (int32_t i = 0; i < Count; ++i) {
    const int32_t phase = ((LevelX + i + LevelY) % HatchPeriod + HatchPeriod) % HatchPeriod;
    Dst[i] = phase < HatchWidth ? Colors.Hatch : Colors.Placeholder;
  }
}

bool UsableTile(const TBitmap32 *Bitmap) {
  return Bitmap != nullptr && Bitmap->Width() >= NKFTileSize && Bitmap->Height() >= NKFTileSize;
}

// Liang and Barsky's parametric clipping of the segment P + t (Q - P), t in
// [0, 1], to the rectangle; false when nothing is left.
bool ClipSegment(TDoublePoint &P, TDoublePoint &Q, double Left, double Top, double Right, double Bottom) {
  const double dx = Q.X - P.X, dy = Q.Y - P.Y;
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {P.X - Left, Right - P.X, P.Y - Top, Bottom - P.Y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0)
        return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
  }
  if (!(t0 <= t1))
    return false;
  const TDoublePoint a{P.X + t0 * dx, P.Y + t0 * dy}, b{P.X + t1 * dx, P.Y + t1 * dy};
  P = a;
  Q = b;
  return true;
}

// The first client pixel whose centre lies at or right of chart x.
int32_t FirstPixelFrom(const TChartViewport &View, double ChartX, int32_t Limit) {
  const double c = std::ceil((ChartX - View.Origin().X) * View.Zoom() - 0.5);
  return static_cast<int32_t>(std::clamp(c, 0.0, static_cast<double>(Limit)));
}

} // namespace

void HatchTileRow(TColor32 *Dst, int32_t Count, int32_t LevelX, int32_t LevelY, const TViewColors &Colors) {
  HatchRow(Dst, Count, LevelX, LevelY, Colors);
}

TColor32 OverOpaque(TColor32 Pixel, TColor32 Background) {
  const uint32_t alpha = Pixel >> 24;
  TColor32 result = 0xFF000000;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t mixed = ((Pixel >> shift) & 0xFF) * alpha + ((Background >> shift) & 0xFF) * (0xFF - alpha);
    result |= ((mixed + 127) / 255) << shift;
  }
  return result;
}

TViewColors DayViewColors() { return {0xFF7F878F, 0xFFD9D9D9, 0xFFC03030, 0xFFD000D0, 0x70000000}; }

TViewColors NightViewColors(const TNightScreen &Night) {
  const TViewColors day = DayViewColors();
  return {Night.NightColor32(day.Background), Night.NightColor32(day.Placeholder), Night.NightColor32(day.Hatch),
          Night.NightColor32(day.Border), day.Shade};
}

void TChartRenderer::SetWarpThreads(int32_t MaxThreads, TThreadStart Start) {
  FMaxThreads = std::max(MaxThreads, 0);
  FStartThread = std::move(Start);
}

void TChartRenderer::Compose(const TChartViewport &View, const TTileSource &Tiles, const TViewColors &Colors,
                             const TChartViewport::TLevelRect &Area, TBitmap32 &Target, int32_t TargetLeft,
                             int32_t TargetTop) {
  // Where the level's tile grid ends short of its pixels, no tile is drawn:
  // the background, as around the chart. (The viewer shows only charts whose
  // tiles cover their levels exactly; this keeps the target from ever
  // showing what it held before.)
  const TNKFLevel &level = View.Levels()[static_cast<size_t>(View.Level())];
  const int64_t gridRight = static_cast<int64_t>(level.TilesX) * NKFTileSize;
  const int64_t gridBottom = static_cast<int64_t>(level.TilesY) * NKFTileSize;
  for (int32_t y = Area.Top; y < Area.Bottom; ++y) {
    const int32_t from =
        y >= gridBottom ? Area.Left : static_cast<int32_t>(std::clamp<int64_t>(gridRight, Area.Left, Area.Right));
    if (from < Area.Right)
      Fill(Target.ScanLine(y - TargetTop) + (from - TargetLeft), Area.Right - from, Colors.Background);
  }
  for (const TViewTile &tile : View.VisibleTiles()) {
    // The tile's part of the area, in level pixels.
    const int32_t x0 = std::max(Area.Left, tile.Column * NKFTileSize);
    const int32_t x1 = std::min(Area.Right, (tile.Column + 1) * NKFTileSize);
    const int32_t y0 = std::max(Area.Top, tile.Row * NKFTileSize);
    const int32_t y1 = std::min(Area.Bottom, (tile.Row + 1) * NKFTileSize);
    if (x0 >= x1 || y0 >= y1)
      continue;
    const TBitmap32 *bitmap = nullptr;
    TTileState state = Tiles ? Tiles(tile.TileIndex, bitmap) : TTileState::Pending;
    if (state == TTileState::Loaded && !UsableTile(bitmap))
      state = TTileState::Failed;
    for (int32_t y = y0; y < y1; ++y) {
      TColor32 *dst = Target.ScanLine(y - TargetTop) + (x0 - TargetLeft);
      switch (state) {
      case TTileState::Loaded:
        BlendRow(bitmap->ScanLine(y - tile.Row * NKFTileSize) + (x0 - tile.Column * NKFTileSize), dst, x1 - x0,
                 Colors.Background);
        break;
      case TTileState::Pending: Fill(dst, x1 - x0, Colors.Placeholder); break;
      case TTileState::Failed: HatchRow(dst, x1 - x0, x0, y, Colors); break;
      }
    }
  }
}

void TChartRenderer::Warp(const TChartViewport &View, const TChartViewport::TLevelRect &Area, TBitmap32 &Surface) {
  // Client pixel X samples the canvas at u = X / s + a (see LevelSampleX);
  // the corners are where the canvas's own corners land in the client.
  const double s = View.LevelZoom();
  const double a = View.LevelSampleX(0) - Area.Left;
  const double b = View.LevelSampleY(0) - Area.Top;
  const double w = FCanvas.Width(), h = FCanvas.Height();
  FWarp.SrcRect = {0, 0, static_cast<float>(w), static_cast<float>(h)};
  const float left = static_cast<float>(-a * s), right = static_cast<float>((w - a) * s);
  const float top = static_cast<float>(-b * s), bottom = static_cast<float>((h - b) * s);
  FWarp.X0 = left, FWarp.X1 = right, FWarp.X2 = right, FWarp.X3 = left;
  FWarp.Y0 = top, FWarp.Y1 = top, FWarp.Y2 = bottom, FWarp.Y3 = bottom;
  FWarp.PrepareTransform();
  FCanvas.SetResampler(TResamplerKind::rkLinear);
  FCanvas.SetDrawMode(TDrawMode::dmOpaque);
  // The warp is most of a repaint between levels: its rows are shared out
  // between the processors, each band the same pixels as one warp gives.
  const int32_t height = Surface.Height();
  const int32_t threads =
      FMaxThreads > 0 ? FMaxThreads : static_cast<int32_t>(std::thread::hardware_concurrency());
  const int32_t bands =
      std::clamp<int32_t>(threads, 1, std::min<int32_t>(MaxWarpThreads, std::max(height / MinBandRows, 1)));
  const auto warpBand = [&](int32_t Band) {
    TransformRows(&Surface, &FCanvas, &FWarp, height * Band / bands, height * (Band + 1) / bands);
  };
  // A helper that cannot be started costs only speed (RunShared).
  RunShared(bands, warpBand, FStartThread);
}

void TChartRenderer::ShadeOutside(const TChartViewport &View, TColor32 Shade,
                                  TBitmap32 &Surface) {
  const int32_t w = Surface.Width();
  const int32_t chartLeft = FirstPixelFrom(View, 0, w), chartRight = FirstPixelFrom(View, View.ChartWidth(), w);
  const size_t n = FPoints.size();
  for (int32_t y = 0; y < Surface.Height(); ++y) {
    const double cy = View.ClientToChart({0, y + 0.5}).Y;
    if (cy < 0 || cy >= View.ChartHeight())
      continue;
    // Even-odd crossings of the row's centre line, each edge half-open in y
    // so a vertex on the line counts once.
    FCrossings.clear();
    for (size_t i = 0; i < n; ++i) {
      const TDoublePoint &p = FPoints[i], &q = FPoints[(i + 1) % n];
      if ((p.Y <= cy) != (q.Y <= cy))
        FCrossings.push_back(p.X + (cy - p.Y) * (q.X - p.X) / (q.Y - p.Y));
    }
    std::sort(FCrossings.begin(), FCrossings.end());
    TColor32 *row = Surface.ScanLine(y);
    int32_t x = chartLeft;
    for (size_t i = 0; i + 1 < FCrossings.size(); i += 2) {
      const int32_t spanLeft = std::max(x, FirstPixelFrom(View, FCrossings[i], chartRight));
      for (; x < spanLeft; ++x)
        row[x] = OverOpaque(Shade, row[x]);
      x = std::max(x, FirstPixelFrom(View, FCrossings[i + 1], chartRight));
    }
    for (; x < chartRight; ++x)
      row[x] = OverOpaque(Shade, row[x]);
  }
}

void TChartRenderer::DrawOutline(const TChartViewport &View, TColor32 Color,
                                 TBitmap32 &Surface) {
  const int32_t w = Surface.Width(), h = Surface.Height();
  const size_t n = FPoints.size();
  for (size_t i = 0; i < n; ++i) {
    TDoublePoint p = View.ChartToClient(FPoints[i]), q = View.ChartToClient(FPoints[(i + 1) % n]);
    // Clipped first: zoomed in, an edge can run for tens of thousands of
    // client pixels outside the view.
    if (!ClipSegment(p, q, -1, -1, w + 1, h + 1))
      continue;
    const double steps = std::ceil(std::max(std::fabs(q.X - p.X), std::fabs(q.Y - p.Y)));
    const int32_t count = static_cast<int32_t>(steps);
    for (int32_t k = 0; k <= count; ++k) {
      const double t = count == 0 ? 0 : static_cast<double>(k) / count;
      const int32_t x = static_cast<int32_t>(std::floor(p.X + t * (q.X - p.X)));
      const int32_t y = static_cast<int32_t>(std::floor(p.Y + t * (q.Y - p.Y)));
      if (x >= 0 && x < w && y >= 0 && y < h)
        Surface.ScanLine(y)[x] = Color;
    }
  }
}

void TChartRenderer::Render(const TChartViewport &View, const TTileSource &Tiles, const TPolygon *Border,
                            const TViewColors &Colors, TBitmap32 &Surface) {
  const int32_t w = View.ClientWidth(), h = View.ClientHeight();
  if (Surface.Width() != w || Surface.Height() != h)
    Surface.SetSizeForOverwrite(w, h);
  if (Surface.Empty())
    return;
  Surface.Clear(Colors.Background);
  const TChartViewport::TLevelRect area = View.LevelPixelsRead();
  if (area.Left < area.Right) {
    if (View.IsStraightCopy()) {
      // Client pixel X shows level pixel X + LevelSampleX(0): compose straight
      // into the surface.
      const int32_t left = static_cast<int32_t>(View.LevelSampleX(0));
      const int32_t top = static_cast<int32_t>(View.LevelSampleY(0));
      Compose(View, Tiles, Colors, area, Surface, left, top);
    } else {
      // Compose first and warp once: bilinear sampling across tile seams
      // then reads true neighbours.
      const int32_t cw = area.Right - area.Left, ch = area.Bottom - area.Top;
      if (FCanvas.Width() != cw || FCanvas.Height() != ch)
        FCanvas.SetSizeForOverwrite(cw, ch);
      Compose(View, Tiles, Colors, area, FCanvas, area.Left, area.Top);
      Warp(View, area, Surface);
    }
  }
  if (Border != nullptr && Border->Count() > 0) {
    FPoints.clear();
    for (int32_t i = 0; i < Border->Count(); ++i) {
      const TPoint p = Border->GetPoint(i);
      FPoints.push_back({static_cast<double>(p.X), static_cast<double>(p.Y)});
    }
    ShadeOutside(View, Colors.Shade, Surface);
    DrawOutline(View, Colors.Border, Surface);
  }
}

void RenderChartView(const TChartViewport &View, const TTileSource &Tiles, const TPolygon *Border,
                     const TViewColors &Colors, TBitmap32 &Surface) {
  TChartRenderer renderer;
  renderer.Render(View, Tiles, Border, Colors, Surface);
}
