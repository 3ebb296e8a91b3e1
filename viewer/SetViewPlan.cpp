#include "SetViewPlan.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <set>
#include <unordered_map>
#include <utility>

#include "ChartFault.h"
#include "VmGeodeticsCalibration.h"

namespace {

const TGeodeticEllipsoid *WGS84Ellipsoid() { return WGS84Datum()->Ellipsoid; }

// The outline follows the grid's curve in chords of at most this many
// client pixels: a straight chart edge bends by far less than a pixel over
// tens of kilometres, so a chord's sagitta stays far below a tenth of one.
constexpr double OutlineChord = 16;
constexpr int MaxChordsPerEdge = 4096;

// Cells are halved down to MinCellSize: powers of two keep every corner and
// test point on a whole pixel (the nodes a build shares between cells).
static_assert((TSetViewPlan::CellSize & (TSetViewPlan::CellSize - 1)) == 0 && TSetViewPlan::MinCellSize >= 2,
              "cells are powers of two wide, at least two");

// Where the test points of a cell lie, as fractions of its sides besides its
// corners: the centre and the middle of every side.
constexpr double TestPoints[][2] = {{0.5, 0.5}, {0.5, 0}, {1, 0.5}, {0.5, 1}, {0, 0.5}};

// A cell's affine map at (S, T), fractions of its sides.
TDoublePoint OnCell(const TDoublePoint (&Q)[4], double S, double T) {
  return {Q[0].X + S * (Q[1].X - Q[0].X) + T * (Q[3].X - Q[0].X), Q[0].Y + S * (Q[1].Y - Q[0].Y) + T * (Q[3].Y - Q[0].Y)};
}

// The coarsest level at least as fine as Zoom client pixels per chart pixel
// (as the single-chart view chooses).
int32_t LevelFor(double Zoom) {
  int e = 0;
  const double m = std::frexp(Zoom, &e);
  const int level = (m == 0.5) ? 1 - e : -e;
  return std::clamp(level, 0, NKFLevelCount - 1);
}

} // namespace

// What is kept of a chart between builds at the same zoom.
struct TSetViewPlan::TChartState {
  const TNKFChart *Chart = nullptr;
  double MetresPerPixel = 0;
  std::vector<TDoublePoint> Outline; // global pixels
  double Left = 0, Top = 0, Right = 0, Bottom = 0; // its bounding box
  bool OutlineValid = false;
  // Refined cells by global cell (column, row), in global pixels.
  struct TGlobalCell {
    int64_t Left, Top, Right, Bottom;
    TDoublePoint Corners[4];
  };
  std::map<std::pair<int64_t, int64_t>, std::vector<TGlobalCell>> Cells;

  // The exact mapping at the centre of global pixel (X, Y), remembered for
  // the build: neighbouring cells share their corners and the middles of
  // their sides.
  mutable std::unordered_map<uint64_t, TDoublePoint> Nodes;
  TDoublePoint Node(int64_t X, int64_t Y) const {
    const uint64_t key = (static_cast<uint64_t>(X) << 32) ^ (static_cast<uint64_t>(Y) & 0xFFFFFFFFu);
    const auto found = Nodes.find(key);
    if (found != Nodes.end())
      return found->second;
    const TDoublePoint e = Exact(X + 0.5, Y + 0.5);
    Nodes.emplace(key, e);
    return e;
  }

  // The full-resolution chart pixel under global point (X, Y).
  TDoublePoint Exact(double X, double Y) const {
    return Chart->Calibration->WGS84ToPixel(
        MercatorInverse({X * MetresPerPixel, -Y * MetresPerPixel}, WGS84Ellipsoid()));
  }

  void MakeOutline() {
    OutlineValid = false;
    Outline.clear();
    const TCalibration &c = *Chart->Calibration;
    std::vector<TDoublePoint> corners;
    if (Chart->Border.Count() >= 3)
      for (int32_t i = 0; i < Chart->Border.Count(); ++i) {
        const TPoint p = Chart->Border.GetPoint(i);
        corners.push_back({static_cast<double>(p.X), static_cast<double>(p.Y)});
      }
    else
      corners = {{0, 0}, {double(Chart->Width), 0}, {double(Chart->Width), double(Chart->Height)}, {0, double(Chart->Height)}};
    const auto toGlobal = [&](const TDoublePoint &Pixel) {
      const TDoublePoint m = MercatorForward(c.PixelToWGS84(Pixel), WGS84Ellipsoid());
      return TDoublePoint{m.X / MetresPerPixel, -m.Y / MetresPerPixel};
    };
    try {
      for (size_t i = 0; i < corners.size(); ++i) {
        const TDoublePoint a = corners[i], b = corners[(i + 1) % corners.size()];
        const TDoublePoint ga = toGlobal(a), gb = toGlobal(b);
        const double length = std::hypot(gb.X - ga.X, gb.Y - ga.Y);
        const int n = static_cast<int>(std::clamp(std::ceil(length / OutlineChord), 1.0, double(MaxChordsPerEdge)));
        Outline.push_back(ga);
        for (int k = 1; k < n; ++k) {
          const double t = static_cast<double>(k) / n;
          Outline.push_back(toGlobal({a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y)}));
        }
      }
    } catch (const std::exception &) {
      Outline.clear();
      return;
    }
    Left = Top = std::numeric_limits<double>::infinity();
    Right = Bottom = -Left;
    for (const TDoublePoint &p : Outline) {
      if (!std::isfinite(p.X) || !std::isfinite(p.Y)) {
        Outline.clear();
        return;
      }
      Left = std::min(Left, p.X);
      Right = std::max(Right, p.X);
      Top = std::min(Top, p.Y);
      Bottom = std::max(Bottom, p.Y);
    }
    OutlineValid = true;
  }

  // Splits the cell until its affine map stays within half the bound of the
  // exact mapping at its corners, the middles of its sides and its centre
  // (where the error of a smooth mapping against a fitted plane peaks). The
  // map is the plane fitted to the four exact corners (their mean at the
  // centre, their mean edge vectors): a parallelogram, which the warp draws
  // by its affine branch, stepping along each row without a division.
  void Refine(int64_t X0, int64_t Y0, int64_t X1, int64_t Y1, std::vector<TGlobalCell> &Out) const {
    TGlobalCell cell{X0, Y0, X1, Y1, {}};
    const double nodes[4][2] = {{double(X0), double(Y0)}, {double(X1), double(Y0)}, {double(X1), double(Y1)}, {double(X0), double(Y1)}};
    TDoublePoint e[4];
    for (int i = 0; i < 4; ++i) {
      e[i] = Node(static_cast<int64_t>(nodes[i][0]), static_cast<int64_t>(nodes[i][1]));
      // Where the chart's grid has no answer there is nothing of it to draw
      // (and splitting would only meet the same again, thousands of times).
      if (!std::isfinite(e[i].X) || !std::isfinite(e[i].Y))
        return;
    }
    const TDoublePoint a{((e[1].X - e[0].X) + (e[2].X - e[3].X)) / 2, ((e[1].Y - e[0].Y) + (e[2].Y - e[3].Y)) / 2};
    const TDoublePoint b{((e[3].X - e[0].X) + (e[2].X - e[1].X)) / 2, ((e[3].Y - e[0].Y) + (e[2].Y - e[1].Y)) / 2};
    const TDoublePoint o{(e[0].X + e[1].X + e[2].X + e[3].X) / 4 - (a.X + b.X) / 2,
                         (e[0].Y + e[1].Y + e[2].Y + e[3].Y) / 4 - (a.Y + b.Y) / 2};
    cell.Corners[0] = o;
    cell.Corners[1] = {o.X + a.X, o.Y + a.Y};
    cell.Corners[2] = {o.X + a.X + b.X, o.Y + a.Y + b.Y};
    cell.Corners[3] = {o.X + b.X, o.Y + b.Y};
    const bool splittable = X1 - X0 >= 2 * MinCellSize && Y1 - Y0 >= 2 * MinCellSize;
    if (splittable) {
      // At the corners the plane misses each by a quarter of the twist.
      double error = std::hypot(e[0].X - e[1].X + e[2].X - e[3].X, e[0].Y - e[1].Y + e[2].Y - e[3].Y) / 4;
      for (const auto &t : TestPoints) {
        if (!(error <= MaxError / 2))
          break;
        const TDoublePoint p{o.X + t[0] * a.X + t[1] * b.X, o.Y + t[0] * a.Y + t[1] * b.Y};
        // Cells are powers of two wide, at least two: the test points are
        // whole pixels.
        const TDoublePoint x = Node(X0 + static_cast<int64_t>(t[0] * double(X1 - X0)),
                                    Y0 + static_cast<int64_t>(t[1] * double(Y1 - Y0)));
        if (!std::isfinite(x.X) || !std::isfinite(x.Y))
          return;
        error = std::max(error, std::hypot(p.X - x.X, p.Y - x.Y));
      }
      if (!(error <= MaxError / 2)) {
        const int64_t mx = (X0 + X1) / 2, my = (Y0 + Y1) / 2;
        Refine(X0, Y0, mx, my, Out);
        Refine(mx, Y0, X1, my, Out);
        Refine(X0, my, mx, Y1, Out);
        Refine(mx, my, X1, Y1, Out);
        return;
      }
    }
    Out.push_back(cell);
  }
};

void TSetViewPlan::Build(const TSetViewport &View, const std::vector<TNKFChart *> &Charts) {
  FCharts.clear();
  FOutlines.clear();
  FPlanStates.clear();
  FOriginX = View.OriginX();
  FOriginY = View.OriginY();
  FClientWidth = View.ClientWidth();
  FClientHeight = View.ClientHeight();
  FRows.assign(static_cast<size_t>(std::max(FClientHeight, 0)), {});
  FInside.assign(FRows.size(), {});
  if (View.MetresPerPixel() != FMetresPerPixel) {
    FStates.clear();
    FMetresPerPixel = View.MetresPerPixel();
  }
  if (FClientWidth <= 0 || FClientHeight <= 0)
    return;
  const double ox = View.OriginX(), oy = View.OriginY();

  // The view as a calibration, as a chart's GetViewCoverage takes a view.
  TCalibration viewCalibration;
  const int status = viewCalibration.CalibrateMercator2(
      {0, 0}, {double(FClientWidth), double(FClientHeight)}, View.ClientToMercator({0, 0}),
      View.ClientToMercator({double(FClientWidth), double(FClientHeight)}), FClientWidth, FClientHeight, WGS84Datum());
  if (status != csAccepted && status != csCloseTogether)
    return;

  struct TCandidate {
    TChartPlan Plan;
    double AreaRatio;
    TChartState *State;
  };
  std::vector<TCandidate> candidates;
  for (size_t i = 0; i < Charts.size(); ++i) {
    TNKFChart *chart = Charts[i];
    // The viewer's one rule for a chart it can draw: a chart whose levels
    // its tiles do not cover is left out (the coarser charts show there).
    if (chart == nullptr || chart->Width <= 0 || chart->Height <= 0 || !ChartShowFault(*chart).empty())
      continue;
    double scale = 0, coverage = 0, ratio = 0;
    bool cuts = false;
    try {
      if (!chart->GetViewCoverage(viewCalibration, scale, coverage, ratio, cuts))
        continue;
    } catch (const std::exception &) {
      continue;
    }
    if (!(scale > 0))
      continue;
    std::shared_ptr<TChartState> &state = FStates[chart];
    if (!state) {
      state = std::make_shared<TChartState>();
      state->Chart = chart;
      state->MetresPerPixel = FMetresPerPixel;
      state->MakeOutline();
    }
    if (!state->OutlineValid)
      continue;
    if (state->Right - ox < 0 || state->Left - ox > FClientWidth || state->Bottom - oy < 0 || state->Top - oy > FClientHeight)
      continue;
    // Outlined whether or not it is drawn at this zoom: a chart too fine to
    // draw yet is one the user can zoom into.
    TOutline &outline = FOutlines.emplace_back();
    outline.Chart = static_cast<int32_t>(i);
    outline.Outline.reserve(state->Outline.size());
    for (const TDoublePoint &p : state->Outline)
      outline.Outline.push_back({p.X - ox, p.Y - oy});
    if (!(1 / scale <= MaxChartPixelsPerClientPixel))
      continue;
    TCandidate c;
    c.Plan.Chart = static_cast<int32_t>(i);
    c.Plan.ClientPerChartPixel = scale;
    c.Plan.Level = LevelFor(scale);
    c.Plan.Outline.reserve(state->Outline.size());
    for (const TDoublePoint &p : state->Outline)
      c.Plan.Outline.push_back({p.X - ox, p.Y - oy});
    c.AreaRatio = ratio;
    c.State = state.get();
    candidates.push_back(std::move(c));
  }
  // As "Charts here" orders them, most detailed first (the fewest client
  // pixels per chart pixel, then the smaller chart, then the set's order);
  // drawn the other way round.
  std::stable_sort(candidates.begin(), candidates.end(), [](const TCandidate &a, const TCandidate &b) {
    if (a.Plan.ClientPerChartPixel != b.Plan.ClientPerChartPixel)
      return a.Plan.ClientPerChartPixel < b.Plan.ClientPerChartPixel;
    return a.AreaRatio < b.AreaRatio;
  });
  std::reverse(candidates.begin(), candidates.end());
  const int32_t n = static_cast<int32_t>(candidates.size());

  // Spans: each chart's inside along every row's centre line (even-odd, a
  // pixel belonging to the chart when its centre does), what finer charts
  // took already taken away.
  std::vector<std::vector<double>> crossings(FRows.size());
  std::vector<std::vector<std::pair<int32_t, int32_t>>> taken(FRows.size());
  for (int32_t p = n - 1; p >= 0; --p) {
    for (auto &c : crossings)
      c.clear();
    const std::vector<TDoublePoint> &o = candidates[static_cast<size_t>(p)].Plan.Outline;
    for (size_t i = 0; i < o.size(); ++i) {
      const TDoublePoint &a = o[i], &b = o[(i + 1) % o.size()];
      if (a.Y == b.Y)
        continue;
      const double y0 = std::min(a.Y, b.Y), y1 = std::max(a.Y, b.Y);
      const int64_t first = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(y0 - 0.5)));
      const int64_t last = std::min<int64_t>(FClientHeight, static_cast<int64_t>(std::ceil(y1 - 0.5)));
      for (int64_t y = first; y < last; ++y) {
        const double cy = y + 0.5;
        crossings[static_cast<size_t>(y)].push_back(a.X + (cy - a.Y) * (b.X - a.X) / (b.Y - a.Y));
      }
    }
    for (size_t y = 0; y < FRows.size(); ++y) {
      std::vector<double> &c = crossings[y];
      if (c.size() < 2)
        continue;
      std::sort(c.begin(), c.end());
      std::vector<std::pair<int32_t, int32_t>> &t = taken[y];
      for (size_t k = 0; k + 1 < c.size(); k += 2) {
        // Pixels whose centre x + 0.5 lies in [c[k], c[k + 1]).
        const int32_t left = static_cast<int32_t>(std::clamp(std::ceil(c[k] - 0.5), 0.0, double(FClientWidth)));
        const int32_t right = static_cast<int32_t>(std::clamp(std::ceil(c[k + 1] - 0.5), 0.0, double(FClientWidth)));
        if (left < right)
          FInside[y].push_back({left, right, p});
        // The parts of [left, right) no finer chart has taken.
        int32_t x = left;
        for (const auto &[tl, tr] : t) {
          if (tr <= x)
            continue;
          if (tl >= right)
            break;
          if (tl > x)
            FRows[y].push_back({x, tl, p});
          x = std::max(x, tr);
        }
        if (x < right)
          FRows[y].push_back({x, right, p});
      }
      // Merge what this chart took into the taken list.
      for (const TSpan &s : FRows[y])
        if (s.Plan == p)
          t.push_back({s.Left, s.Right});
      std::sort(t.begin(), t.end());
      std::vector<std::pair<int32_t, int32_t>> merged;
      for (const auto &r : t)
        if (!merged.empty() && r.first <= merged.back().second)
          merged.back().second = std::max(merged.back().second, r.second);
        else
          merged.push_back(r);
      t = std::move(merged);
    }
  }
  for (auto &row : FRows)
    std::sort(row.begin(), row.end(), [](const TSpan &a, const TSpan &b) { return a.Left < b.Left; });

  // Cells of each chart where it shows, and the tiles they read.
  for (int32_t p = 0; p < n; ++p) {
    TCandidate &c = candidates[static_cast<size_t>(p)];
    TChartState &state = *c.State;
    const int64_t gx0 = static_cast<int64_t>(std::floor(std::max(state.Left, ox) / CellSize));
    const int64_t gx1 = static_cast<int64_t>(std::floor((std::min(state.Right, ox + FClientWidth) - 1) / CellSize));
    const int64_t gy0 = static_cast<int64_t>(std::floor(std::max(state.Top, oy) / CellSize));
    const int64_t gy1 = static_cast<int64_t>(std::floor((std::min(state.Bottom, oy + FClientHeight) - 1) / CellSize));
    const TNKFLevel &level = state.Chart->Levels[static_cast<size_t>(c.Plan.Level)];
    const double unit = std::ldexp(1.0, -c.Plan.Level);
    c.Plan.LevelWidth = static_cast<int32_t>(level.Width);
    c.Plan.LevelHeight = static_cast<int32_t>(level.Height);
    std::set<int32_t> tiles;
    for (int64_t gy = gy0; gy <= gy1; ++gy)
      for (int64_t gx = gx0; gx <= gx1; ++gx) {
        const int64_t l = gx * CellSize - static_cast<int64_t>(ox), t = gy * CellSize - static_cast<int64_t>(oy);
        const int32_t cl = static_cast<int32_t>(std::max<int64_t>(l, 0)), cr = static_cast<int32_t>(std::min<int64_t>(l + CellSize, FClientWidth));
        const int32_t ct = static_cast<int32_t>(std::max<int64_t>(t, 0)), cb = static_cast<int32_t>(std::min<int64_t>(t + CellSize, FClientHeight));
        bool shows = false;
        for (int32_t y = ct; y < cb && !shows; ++y)
          for (const TSpan &s : FRows[static_cast<size_t>(y)])
            if (s.Plan == p && s.Left < cr && s.Right > cl) {
              shows = true;
              break;
            }
        if (!shows)
          continue;
        auto found = state.Cells.find({gx, gy});
        if (found == state.Cells.end()) {
          std::vector<TChartState::TGlobalCell> cells;
          try {
            state.Refine(gx * CellSize, gy * CellSize, (gx + 1) * CellSize, (gy + 1) * CellSize, cells);
          } catch (const std::exception &) {
            cells.clear(); // a place the chart's grid cannot take: nothing of the chart to draw there
          }
          found = state.Cells.emplace(std::make_pair(gx, gy), std::move(cells)).first;
        }
        for (const TChartState::TGlobalCell &g : found->second) {
          TCell cell{static_cast<int32_t>(g.Left - static_cast<int64_t>(ox)), static_cast<int32_t>(g.Top - static_cast<int64_t>(oy)),
                     static_cast<int32_t>(g.Right - static_cast<int64_t>(ox)), static_cast<int32_t>(g.Bottom - static_cast<int64_t>(oy)),
                     {g.Corners[0], g.Corners[1], g.Corners[2], g.Corners[3]}};
          if (cell.Right <= 0 || cell.Left >= FClientWidth || cell.Bottom <= 0 || cell.Top >= FClientHeight)
            continue;
          c.Plan.Cells.push_back(cell);
          // The level pixels the cell reads: its quadrilateral's box (a
          // projective image of a rectangle lies within its corners' hull),
          // with the right and lower neighbours bilinear sampling blends in.
          double x0 = std::numeric_limits<double>::infinity(), y0 = x0, x1 = -x0, y1 = -x0;
          for (const TDoublePoint &q : cell.Corners) {
            x0 = std::min(x0, q.X * unit - 0.5);
            x1 = std::max(x1, q.X * unit - 0.5);
            y0 = std::min(y0, q.Y * unit - 0.5);
            y1 = std::max(y1, q.Y * unit - 0.5);
          }
          const int64_t c0 = std::max<int64_t>(0, static_cast<int64_t>(std::floor(x0 - 0.5)) / NKFTileSize);
          const int64_t c1 = std::min<int64_t>(int64_t(level.TilesX) - 1, static_cast<int64_t>(std::floor(x1 + 1.5)) / NKFTileSize);
          const int64_t r0 = std::max<int64_t>(0, static_cast<int64_t>(std::floor(y0 - 0.5)) / NKFTileSize);
          const int64_t r1 = std::min<int64_t>(int64_t(level.TilesY) - 1, static_cast<int64_t>(std::floor(y1 + 1.5)) / NKFTileSize);
          if (!(x1 >= -1.5 && y1 >= -1.5))
            continue;
          for (int64_t r = r0; r <= r1; ++r)
            for (int64_t k = c0; k <= c1; ++k)
              tiles.insert(static_cast<int32_t>(r * level.TilesX + k));
        }
      }
    std::sort(c.Plan.Cells.begin(), c.Plan.Cells.end(), [](const TCell &a, const TCell &b) {
      return a.Top != b.Top ? a.Top < b.Top : a.Left < b.Left;
    });
    std::set<int32_t> ring;
    for (int32_t t : tiles) {
      const int32_t col = t % static_cast<int32_t>(level.TilesX), row = t / static_cast<int32_t>(level.TilesX);
      c.Plan.Tiles.push_back({static_cast<int32_t>(level.FirstTile) + t, col, row});
      for (int32_t dy = -1; dy <= 1; ++dy)
        for (int32_t dx = -1; dx <= 1; ++dx) {
          const int32_t k = col + dx, r = row + dy;
          if (k < 0 || r < 0 || k >= int32_t(level.TilesX) || r >= int32_t(level.TilesY))
            continue;
          const int32_t u = r * static_cast<int32_t>(level.TilesX) + k;
          if (!tiles.count(u))
            ring.insert(u);
        }
    }
    for (int32_t t : ring)
      c.Plan.Ring.push_back({static_cast<int32_t>(level.FirstTile) + t, t % static_cast<int32_t>(level.TilesX),
                             t / static_cast<int32_t>(level.TilesX)});
    FCharts.push_back(std::move(c.Plan));
    FPlanStates.push_back(FStates[state.Chart]);
  }
  for (const TCandidate &c : candidates)
    c.State->Nodes.clear();
  // Forget charts that went out of view, so the kept cells follow the view.
  for (auto it = FStates.begin(); it != FStates.end();) {
    bool used = false;
    for (const TCandidate &c : candidates)
      used |= c.State == it->second.get();
    it = used ? std::next(it) : FStates.erase(it);
  }
  // The kept cells of a chart far from where the view now is are dropped
  // too: a long pan would otherwise collect a whole chart's mesh.
  for (auto &[chart, state] : FStates) {
    const int64_t cx0 = static_cast<int64_t>(std::floor(ox / CellSize)) - 8, cx1 = cx0 + FClientWidth / CellSize + 17;
    const int64_t cy0 = static_cast<int64_t>(std::floor(oy / CellSize)) - 8, cy1 = cy0 + FClientHeight / CellSize + 17;
    for (auto it = state->Cells.begin(); it != state->Cells.end();)
      if (it->first.first < cx0 || it->first.first > cx1 || it->first.second < cy0 || it->first.second > cy1)
        it = state->Cells.erase(it);
      else
        ++it;
  }
}

const std::vector<TSetViewPlan::TSpan> &TSetViewPlan::Row(int32_t Y) const {
  static const std::vector<TSpan> none;
  if (Y < 0 || Y >= static_cast<int32_t>(FRows.size()))
    return none;
  return FRows[static_cast<size_t>(Y)];
}

int32_t TSetViewPlan::ChartAt(int32_t X, int32_t Y) const {
  for (const TSpan &s : Row(Y))
    if (X >= s.Left && X < s.Right)
      return FCharts[static_cast<size_t>(s.Plan)].Chart;
  return -1;
}

const std::vector<TSetViewPlan::TSpan> &TSetViewPlan::InsideRow(int32_t Y) const {
  static const std::vector<TSpan> none;
  if (Y < 0 || Y >= static_cast<int32_t>(FInside.size()))
    return none;
  return FInside[static_cast<size_t>(Y)];
}

const TSetViewPlan::TChartPlan *TSetViewPlan::PlanOf(int32_t Chart) const {
  for (const TChartPlan &p : FCharts)
    if (p.Chart == Chart)
      return &p;
  return nullptr;
}

TDoublePoint TSetViewPlan::Interpolated(const TChartPlan &Plan, const TDoublePoint &Client) const {
  const double x = Client.X - 0.5, y = Client.Y - 0.5;
  for (const TCell &c : Plan.Cells)
    if (x >= c.Left && x < c.Right && y >= c.Top && y < c.Bottom)
      return OnCell(c.Corners, (x - c.Left) / (c.Right - c.Left), (y - c.Top) / (c.Bottom - c.Top));
  return Exact(Plan, Client);
}

TDoublePoint TSetViewPlan::Exact(const TChartPlan &Plan, const TDoublePoint &Client) const {
  const size_t index = static_cast<size_t>(&Plan - FCharts.data());
  Assert(index < FPlanStates.size(), "TSetViewPlan.Exact: not a chart of this plan", "viewer\\SetViewPlan", __LINE__);
  return FPlanStates[index]->Exact(FOriginX + Client.X, FOriginY + Client.Y);
}

std::vector<TSetTile> TSetViewPlan::VisibleTiles() const {
  std::vector<TSetTile> tiles;
  for (const TChartPlan &p : FCharts)
    for (const TViewTile &t : p.Tiles)
      tiles.push_back({p.Chart, p.Level, t});
  return tiles;
}

std::vector<TSetTile> TSetViewPlan::RingTiles() const {
  std::vector<TSetTile> tiles;
  for (const TChartPlan &p : FCharts)
    for (const TViewTile &t : p.Ring)
      tiles.push_back({p.Chart, p.Level, t});
  return tiles;
}

uint32_t SetViewBudget(int32_t Width, int32_t Height) {
  // As the single-chart view's budget, with room for the tiles that several
  // charts' edges share out between them: the client at up to twice each
  // side, plus a ring, for a few charts at once.
  const uint64_t tileBytes = uint64_t(NKFTileSize) * NKFTileSize * 4;
  const uint64_t columns = static_cast<uint64_t>(std::max(Width, 0)) / (NKFTileSize / 2) + 4;
  const uint64_t rows = static_cast<uint64_t>(std::max(Height, 0)) / (NKFTileSize / 2) + 4;
  const uint64_t bytes = 3 * columns * rows * tileBytes;
  return static_cast<uint32_t>(std::clamp<uint64_t>(bytes, 0x2000000, 0x40000000));
}
