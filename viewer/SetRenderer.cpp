#include "SetRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <thread>

#include "VmNKFCharts.h"

namespace {

// Cells go to at most this many threads, each with this many at least.
constexpr int32_t MaxThreads = 4;
constexpr int32_t MinCellsPerThread = 16;

bool UsableTile(const TBitmap32 *Bitmap) {
  return Bitmap != nullptr && Bitmap->Width() >= NKFTileSize && Bitmap->Height() >= NKFTileSize;
}

// A run of a chart's warped pixels over what the coarser charts drew: most
// runs are opaque and copied whole (checked with one AND over the run); a
// pixel with alpha lets what lies below show through (the chart's tiles are
// transparent beyond its border), over the opaque surface.
void BlendSpan(const TColor32 *Src, TColor32 *Dst, int32_t Count) {
  TColor32 all = 0xFF000000;
  for (int32_t i = 0; i < Count; ++i)
    all &= Src[i];
  if ((all >> 24) == 0xFF) {
    std::memcpy(Dst, Src, static_cast<size_t>(Count) * sizeof(TColor32));
    return;
  }
  for (int32_t i = 0; i < Count; ++i) {
    const uint32_t alpha = Src[i] >> 24;
    if (alpha == 0xFF)
      Dst[i] = Src[i];
    else if (alpha != 0)
      Dst[i] = OverOpaque(Src[i], Dst[i]);
  }
}

TClientRect Intersect(const TClientRect &A, const TClientRect &B) {
  return {std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right), std::min(A.Bottom, B.Bottom)};
}

} // namespace

void TSetRenderer::SetThreads(int32_t MaxThreads, TThreadStart Start) {
  FMaxThreads = std::max(MaxThreads, 0);
  FStartThread = std::move(Start);
}

void TSetRenderer::Render(const TSetViewPlan &Plan, const TSetTileSource &Tiles, const TViewColors &Colors,
                          TSetSampling Sampling, TBitmap32 &Surface, const TClientRect *Area) {
  const int32_t w = Plan.ClientWidth(), h = Plan.ClientHeight();
  const TClientRect client{0, 0, w, h};
  TClientRect area = client;
  if (Surface.Width() != w || Surface.Height() != h)
    Surface.SetSizeForOverwrite(w, h);
  else if (Area != nullptr)
    area = Intersect(*Area, client);
  if (Surface.Empty() || area.Empty())
    return;
  for (int32_t y = area.Top; y < area.Bottom; ++y)
    std::fill(Surface.ScanLine(y) + area.Left, Surface.ScanLine(y) + area.Right, Colors.Background);

  const std::vector<TSetViewPlan::TChartPlan> &charts = Plan.Charts();
  std::vector<const TSetViewPlan::TCell *> cells;
  std::vector<std::pair<int32_t, int32_t>> rows; // of each cell, client rows [first, last) drawn
  for (size_t index = 0; index < charts.size(); ++index) {
    const TSetViewPlan::TChartPlan &chart = charts[index];
    const int32_t p = static_cast<int32_t>(index);
    // The cells to draw, and in each the rows where the chart shows, and two
    // more each way for a finer chart's border pixels that are not opaque
    // (the only ones of a finer chart that let this one through).
    cells.clear();
    rows.clear();
    for (const TSetViewPlan::TCell &c : chart.Cells) {
      const TClientRect r = Intersect({c.Left, c.Top, c.Right, c.Bottom}, area);
      if (r.Empty())
        continue;
      int32_t first = r.Bottom, last = r.Top;
      for (int32_t y = r.Top; y < r.Bottom; ++y)
        for (const TSetViewPlan::TSpan &s : Plan.Row(y))
          if (s.Plan == p && s.Left < r.Right && s.Right > r.Left) {
            first = std::min(first, y);
            last = std::max(last, y + 1);
            break;
          }
      first = std::max(r.Top, first - 2);
      last = std::min(r.Bottom, last + 2);
      if (first >= last)
        continue;
      cells.push_back(&c);
      rows.emplace_back(first, last);
    }
    if (cells.empty())
      continue;
    // The level pixels those cells read (pixel i at coordinate i), with the
    // neighbours bilinear sampling blends in, within the level.
    const double unit = std::ldexp(1.0, -chart.Level);
    double x0 = std::numeric_limits<double>::infinity(), y0 = x0, x1 = -x0, y1 = -x0;
    for (const TSetViewPlan::TCell *c : cells)
      for (const TDoublePoint &q : c->Corners) {
        x0 = std::min(x0, q.X * unit - 0.5);
        x1 = std::max(x1, q.X * unit - 0.5);
        y0 = std::min(y0, q.Y * unit - 0.5);
        y1 = std::max(y1, q.Y * unit - 0.5);
      }
    const double levelWidth = chart.LevelWidth, levelHeight = chart.LevelHeight;
    const int32_t left = static_cast<int32_t>(std::clamp(std::floor(x0) - 1, 0.0, levelWidth));
    const int32_t top = static_cast<int32_t>(std::clamp(std::floor(y0) - 1, 0.0, levelHeight));
    const int32_t right = static_cast<int32_t>(std::clamp(std::floor(x1) + 3, 0.0, levelWidth));
    const int32_t bottom = static_cast<int32_t>(std::clamp(std::floor(y1) + 3, 0.0, levelHeight));
    if (left >= right || top >= bottom)
      continue;
    if (FCanvas.Width() < right - left || FCanvas.Height() < bottom - top)
      FCanvas.SetSizeForOverwrite(std::max(FCanvas.Width(), right - left), std::max(FCanvas.Height(), bottom - top));
    // Only what these cells read of the tiles: the box of each cell's rows
    // that are drawn, a pixel more each way (two to the right and below, for
    // bilinear sampling's neighbours). No cell reads a canvas pixel outside
    // them, so the rest of the canvas is left unfilled.
    FNeeded.clear();
    for (size_t i = 0; i < cells.size(); ++i) {
      const TSetViewPlan::TCell &c = *cells[i];
      const double t0 = double(rows[i].first - c.Top) / (c.Bottom - c.Top);
      const double t1 = double(rows[i].second - c.Top) / (c.Bottom - c.Top);
      const TDoublePoint a{c.Corners[1].X - c.Corners[0].X, c.Corners[1].Y - c.Corners[0].Y};
      const TDoublePoint b{c.Corners[3].X - c.Corners[0].X, c.Corners[3].Y - c.Corners[0].Y};
      double cx0 = std::numeric_limits<double>::infinity(), cy0 = cx0, cx1 = -cx0, cy1 = -cx0;
      for (const double s : {0.0, 1.0})
        for (const double t : {t0, t1}) {
          const double x = (c.Corners[0].X + s * a.X + t * b.X) * unit - 0.5;
          const double y = (c.Corners[0].Y + s * a.Y + t * b.Y) * unit - 0.5;
          cx0 = std::min(cx0, x);
          cx1 = std::max(cx1, x);
          cy0 = std::min(cy0, y);
          cy1 = std::max(cy1, y);
        }
      const int32_t px0 = static_cast<int32_t>(std::clamp(std::floor(cx0) - 1, double(left), double(right)));
      const int32_t px1 = static_cast<int32_t>(std::clamp(std::floor(cx1) + 3, double(left), double(right)));
      const int32_t py0 = static_cast<int32_t>(std::clamp(std::floor(cy0) - 1, double(top), double(bottom)));
      const int32_t py1 = static_cast<int32_t>(std::clamp(std::floor(cy1) + 3, double(top), double(bottom)));
      if (px0 >= px1 || py0 >= py1)
        continue;
      for (int32_t r = py0 / NKFTileSize; r <= (py1 - 1) / NKFTileSize; ++r)
        for (int32_t k = px0 / NKFTileSize; k <= (px1 - 1) / NKFTileSize; ++k)
          FNeeded.push_back({(static_cast<int64_t>(r) << 32) | static_cast<uint32_t>(k),
                             {std::max(px0, k * NKFTileSize), std::max(py0, r * NKFTileSize),
                              std::min(px1, (k + 1) * NKFTileSize), std::min(py1, (r + 1) * NKFTileSize)}});
    }
    std::sort(FNeeded.begin(), FNeeded.end(), [](const auto &x, const auto &y) { return x.first < y.first; });
    for (const TViewTile &tile : chart.Tiles) {
      const int64_t key = (static_cast<int64_t>(tile.Row) << 32) | static_cast<uint32_t>(tile.Column);
      auto it = std::lower_bound(FNeeded.begin(), FNeeded.end(), key,
                                 [](const auto &x, int64_t k) { return x.first < k; });
      if (it == FNeeded.end() || it->first != key)
        continue;
      TClientRect need = it->second;
      for (; it != FNeeded.end() && it->first == key; ++it)
        need = {std::min(need.Left, it->second.Left), std::min(need.Top, it->second.Top),
                std::max(need.Right, it->second.Right), std::max(need.Bottom, it->second.Bottom)};
      const int32_t tx0 = need.Left, tx1 = need.Right, ty0 = need.Top, ty1 = need.Bottom;
      if (tx0 >= tx1 || ty0 >= ty1)
        continue;
      const TBitmap32 *bitmap = nullptr;
      TTileState state = Tiles ? Tiles(chart.Chart, tile.TileIndex, bitmap) : TTileState::Pending;
      if (state == TTileState::Loaded && !UsableTile(bitmap))
        state = TTileState::Failed;
      for (int32_t y = ty0; y < ty1; ++y) {
        TColor32 *dst = FCanvas.ScanLine(y - top) + (tx0 - left);
        switch (state) {
        case TTileState::Loaded:
          std::memcpy(dst, bitmap->ScanLine(y - tile.Row * NKFTileSize) + (tx0 - tile.Column * NKFTileSize),
                      static_cast<size_t>(tx1 - tx0) * sizeof(TColor32));
          break;
        case TTileState::Pending: std::fill(dst, dst + (tx1 - tx0), Colors.Placeholder); break;
        case TTileState::Failed: HatchTileRow(dst, tx1 - tx0, tx0, y, Colors); break;
        }
      }
    }
    // The canvas is kept between charts and may be larger than this one's
    // pixels: at the level's right and lower edges the pixel beyond repeats
    // the last one, as bilinear sampling at a bitmap's edge takes it.
    if (right == static_cast<int32_t>(levelWidth) && right - left < FCanvas.Width())
      for (int32_t y = 0; y < bottom - top; ++y)
        FCanvas.ScanLine(y)[right - left] = FCanvas.ScanLine(y)[right - left - 1];
    if (bottom == static_cast<int32_t>(levelHeight) && bottom - top < FCanvas.Height())
      std::memcpy(FCanvas.ScanLine(bottom - top), FCanvas.ScanLine(bottom - top - 1),
                  static_cast<size_t>(std::min(right - left + 1, FCanvas.Width())) * sizeof(TColor32));
    FCanvas.SetResampler(Sampling == TSetSampling::Nearest ? TResamplerKind::rkNearest : TResamplerKind::rkLinear);
    FCanvas.SetDrawMode(TDrawMode::dmOpaque);

    // The cells share out between the processors: cells of a chart do not
    // overlap, so each thread writes pixels of its own. A thread costs more
    // than a few cells (a pan's strip draws a handful).
    const int32_t processors =
        FMaxThreads > 0 ? FMaxThreads : static_cast<int32_t>(std::thread::hardware_concurrency());
    const int32_t threads = std::clamp<int32_t>(processors, 1,
                                                std::min<int32_t>(MaxThreads, static_cast<int32_t>(cells.size() / MinCellsPerThread) + 1));
    while (static_cast<int32_t>(FWorkers.size()) < threads)
      FWorkers.push_back(std::make_unique<TWorker>());
    // Each part draws every threads-th cell with a worker of its own, whether
    // a helper or the calling thread runs it (RunShared).
    const auto work = [&](int32_t Thread) {
      TWorker &worker = *FWorkers[static_cast<size_t>(Thread)];
      if (worker.Scratch.Width() != TSetViewPlan::CellSize || worker.Scratch.Height() != TSetViewPlan::CellSize)
        worker.Scratch.SetSize(TSetViewPlan::CellSize, TSetViewPlan::CellSize);
      for (size_t i = static_cast<size_t>(Thread); i < cells.size(); i += static_cast<size_t>(threads))
        DrawCell(Plan, p, *cells[i], rows[i].first, rows[i].second, unit, left, top, levelWidth, levelHeight, area,
                 worker, Surface);
    };
    RunShared(threads, work, FStartThread);
  }
}

void TSetRenderer::DrawCell(const TSetViewPlan &Plan, int32_t P, const TSetViewPlan::TCell &Cell, int32_t First,
                            int32_t Last, double Unit, int32_t Left, int32_t Top, double LevelWidth,
                            double LevelHeight, const TClientRect &Area, TWorker &Worker, TBitmap32 &Surface) const {
  const TClientRect r = Intersect({Cell.Left, Cell.Top, Cell.Right, Cell.Bottom}, Area);
  const int32_t first = First, last = Last;
  const int32_t cw = Cell.Right - Cell.Left, ch = Cell.Bottom - Cell.Top;
  // Every pixel of the cell is warped from the canvas unless the cell
  // reaches beyond the level's image: only then can some keep what the
  // scratch held, and it starts transparent.
  double qx0 = std::numeric_limits<double>::infinity(), qy0 = qx0, qx1 = -qx0, qy1 = -qx0;
  for (const TDoublePoint &q : Cell.Corners) {
    qx0 = std::min(qx0, q.X * Unit - 0.5);
    qx1 = std::max(qx1, q.X * Unit - 0.5);
    qy0 = std::min(qy0, q.Y * Unit - 0.5);
    qy1 = std::max(qy1, q.Y * Unit - 0.5);
  }
  TBitmap32 &scratch = Worker.Scratch;
  if (!(qx0 >= 1 && qy0 >= 1 && qx1 <= LevelWidth - 2 && qy1 <= LevelHeight - 2))
    for (int32_t y = first - Cell.Top; y < last - Cell.Top; ++y)
      std::fill(scratch.ScanLine(y), scratch.ScanLine(y) + cw, TColor32(0));
  // The cell's parallelogram in canvas pixels, on a grid of 1/2048 pixel (a
  // shift of at most 1/1000 of a pixel): below 8192 pixels its corners and
  // their sums are then exact single-precision numbers, the corners form an
  // exact parallelogram and the warp takes its affine branch.
  const auto grid = [](double V) { return std::round(V * 2048) / 2048; };
  const TDoublePoint *q = Cell.Corners;
  const double ox = grid(q[0].X * Unit - 0.5 - Left), oy = grid(q[0].Y * Unit - 0.5 - Top);
  const double ax = grid((q[1].X - q[0].X) * Unit), ay = grid((q[1].Y - q[0].Y) * Unit);
  const double bx = grid((q[3].X - q[0].X) * Unit), by = grid((q[3].Y - q[0].Y) * Unit);
  const float sx[4] = {static_cast<float>(ox), static_cast<float>(ox + ax), static_cast<float>(ox + ax + bx),
                       static_cast<float>(ox + bx)};
  const float sy[4] = {static_cast<float>(oy), static_cast<float>(oy + ay), static_cast<float>(oy + ay + by),
                       static_cast<float>(oy + by)};
  Worker.Warp.PrepareFromDestination({0, 0, static_cast<float>(cw), static_cast<float>(ch)}, sx, sy);
  TransformRows(&scratch, &FCanvas, &Worker.Warp, first - Cell.Top, last - Cell.Top);
  // The chart's whole inside in those rows: where a finer chart shows, it
  // is drawn over this afterwards.
  for (int32_t y = first; y < last; ++y)
    for (const TSetViewPlan::TSpan &s : Plan.InsideRow(y)) {
      if (s.Plan != P)
        continue;
      const int32_t a = std::max(s.Left, r.Left), b = std::min(s.Right, r.Right);
      if (a < b)
        BlendSpan(scratch.ScanLine(y - Cell.Top) + (a - Cell.Left), Surface.ScanLine(y) + a, b - a);
    }
}

void TSetRenderer::DrawOutlines(const TSetViewPlan &Plan, TColor32 Color, TBitmap32 &Surface) {
  const int32_t w = Surface.Width(), h = Surface.Height();
  for (const TSetViewPlan::TOutline &chart : Plan.Outlines()) {
    const std::vector<TDoublePoint> &o = chart.Outline;
    for (size_t i = 0; i < o.size(); ++i) {
      const TDoublePoint p = o[i], q = o[(i + 1) % o.size()];
      // Chords are short (a few client pixels): one wholly outside is skipped.
      if (std::max(p.X, q.X) < -1 || std::min(p.X, q.X) > w + 1 || std::max(p.Y, q.Y) < -1 ||
          std::min(p.Y, q.Y) > h + 1)
        continue;
      const double steps = std::ceil(std::max(std::fabs(q.X - p.X), std::fabs(q.Y - p.Y)));
      if (!(steps < 1e6))
        continue;
      const int32_t count = static_cast<int32_t>(steps);
      for (int32_t k = 0; k <= count; ++k) {
        const double t = count == 0 ? 0 : static_cast<double>(k) / count;
        const double fx = std::floor(p.X + t * (q.X - p.X)), fy = std::floor(p.Y + t * (q.Y - p.Y));
        if (fx >= 0 && fx < w && fy >= 0 && fy < h)
          Surface.ScanLine(static_cast<int32_t>(fy))[static_cast<int32_t>(fx)] = Color;
      }
    }
  }
}

std::vector<TClientRect> ShiftSurface(TBitmap32 &Surface, int32_t DX, int32_t DY) {
  const int32_t w = Surface.Width(), h = Surface.Height();
  if (Surface.Empty())
    return {};
  if (std::abs(DX) >= w || std::abs(DY) >= h)
    return {{0, 0, w, h}};
  // Rows in the order that never overwrites a row still to be moved.
  const int32_t count = w - std::abs(DX);
  const int32_t from = DX >= 0 ? 0 : -DX, to = DX >= 0 ? DX : 0;
  if (DY >= 0)
    for (int32_t y = h - 1; y >= DY; --y)
      std::memmove(Surface.ScanLine(y) + to, Surface.ScanLine(y - DY) + from, static_cast<size_t>(count) * sizeof(TColor32));
  else
    for (int32_t y = 0; y < h + DY; ++y)
      std::memmove(Surface.ScanLine(y) + to, Surface.ScanLine(y - DY) + from, static_cast<size_t>(count) * sizeof(TColor32));
  std::vector<TClientRect> exposed;
  if (DY > 0)
    exposed.push_back({0, 0, w, DY});
  else if (DY < 0)
    exposed.push_back({0, h + DY, w, h});
  const int32_t top = std::max(DY, 0), bottom = h + std::min(DY, 0);
  if (DX > 0)
    exposed.push_back({0, top, DX, bottom});
  else if (DX < 0)
    exposed.push_back({w + DX, top, w, bottom});
  return exposed;
}

bool OutlineLabelPoint(const TSetViewPlan::TChartPlan &Plan, int32_t ClientWidth, int32_t ClientHeight,
                       TDoublePoint &Point) {
  return OutlineLabelPoint(Plan.Outline, ClientWidth, ClientHeight, Point);
}

bool OutlineLabelPoint(const std::vector<TDoublePoint> &Outline, int32_t ClientWidth, int32_t ClientHeight,
                       TDoublePoint &Point) {
  bool found = false;
  for (const TDoublePoint &p : Outline)
    if (p.X >= 0 && p.Y >= 0 && p.X < ClientWidth && p.Y < ClientHeight && (!found || p.X + p.Y < Point.X + Point.Y)) {
      Point = p;
      found = true;
    }
  return found;
}

void RenderSetView(const TSetViewPlan &Plan, const TSetTileSource &Tiles, const TViewColors &Colors,
                   TSetSampling Sampling, TBitmap32 &Surface) {
  TSetRenderer renderer;
  renderer.Render(Plan, Tiles, Colors, Sampling, Surface);
}
