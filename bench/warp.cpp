// Warping a 256 x 256 tile through the projective transformation: turned by
// 30 degrees and scaled by 1.5 (an affine case) side by side with Cairo doing
// the same work (a surface pattern under the inverse matrix, nearest filter,
// filling the same quadrilateral), and a trapezoid (the projective case) on
// its own. Before timing, the share of destination pixels on which the two
// agree is printed: they sample at the same points, so they differ only where
// a position falls within rounding of a pixel edge. Rates are destination
// pixels per second over the destination rectangle.
#include "VmProjectiveTransform.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>

namespace {

constexpr int TileSize = 256;
constexpr int DstSize = 512;
constexpr double TurnDegrees = 30;
constexpr double Scale = 1.5;

void FillTile(TBitmap32 &Tile) {
  Tile.SetSize(TileSize, TileSize);
  uint32_t State = 12345;
  for (size_t i = 0; i < Tile.PixelCount(); ++i) {
    State = State * 1664525u + 1013904223u;
    Tile.Bits()[i] = 0xFF000000u | (State >> 8);
  }
  Tile.SetResampler(TResamplerKind::rkNearest);
  Tile.SetDrawMode(TDrawMode::dmOpaque);
}

// The tile's corners turned about its centre, scaled, and centred in the destination.
TProjectiveTransformation TurnedAndScaled() {
  const double a = TurnDegrees * std::numbers::pi / 180;
  const double c = std::cos(a) * Scale, s = std::sin(a) * Scale;
  float X[4], Y[4];
  const double Corners[4][2] = {{0, 0}, {TileSize, 0}, {TileSize, TileSize}, {0, TileSize}};
  for (int i = 0; i < 4; ++i) {
    const double u = Corners[i][0] - TileSize / 2.0, v = Corners[i][1] - TileSize / 2.0;
    X[i] = static_cast<float>(DstSize / 2.0 + c * u - s * v);
    Y[i] = static_cast<float>(DstSize / 2.0 + s * u + c * v);
  }
  TProjectiveTransformation T;
  T.SrcRect = {0, 0, TileSize, TileSize};
  T.X0 = X[0], T.X1 = X[1], T.X2 = X[2], T.X3 = X[3];
  T.Y0 = Y[0], T.Y1 = Y[1], T.Y2 = Y[2], T.Y3 = Y[3];
  T.PrepareTransform();
  return T;
}

TProjectiveTransformation Trapezoid() {
  TProjectiveTransformation T;
  T.SrcRect = {0, 0, TileSize, TileSize};
  T.X0 = 150, T.X1 = 362, T.X2 = 500, T.X3 = 12;
  T.Y0 = 40, T.Y1 = 40, T.Y2 = 470, T.Y3 = 470;
  T.PrepareTransform();
  return T;
}

struct TCairoSurface {
  cairo_surface_t *Surface;
  explicit TCairoSurface(TBitmap32 &Bitmap)
      : Surface(cairo_image_surface_create_for_data(reinterpret_cast<unsigned char *>(Bitmap.Bits()),
                                                    CAIRO_FORMAT_ARGB32, Bitmap.Width(), Bitmap.Height(),
                                                    Bitmap.Width() * 4)) {}
  ~TCairoSurface() { cairo_surface_destroy(Surface); }
};

// Cairo's side: the tile as a pattern whose matrix takes destination points
// to tile points. Cairo samples at pixel centres, so the map is moved by half
// a pixel on both sides to sample where ours does.
class TCairoWarp {
public:
  TCairoWarp(TBitmap32 &Tile, TBitmap32 &Dst, const TProjectiveTransformation &T)
      : FTile(Tile), FDst(Dst), FContext(cairo_create(FDst.Surface)),
        FPattern(cairo_pattern_create_for_surface(FTile.Surface)), FTransformation(T) {
    const auto &M = T.Matrix;
    cairo_matrix_t Matrix;
    cairo_matrix_init(&Matrix, M[0][0], M[0][1], M[1][0], M[1][1], M[2][0], M[2][1]);
    cairo_matrix_t Half;
    cairo_matrix_init_translate(&Half, -0.5, -0.5);
    cairo_matrix_multiply(&Matrix, &Half, &Matrix);
    cairo_matrix_init_translate(&Half, 0.5, 0.5);
    cairo_matrix_multiply(&Matrix, &Matrix, &Half);
    cairo_pattern_set_matrix(FPattern, &Matrix);
    cairo_pattern_set_filter(FPattern, CAIRO_FILTER_NEAREST);
    cairo_set_antialias(FContext, CAIRO_ANTIALIAS_NONE);
    cairo_set_source(FContext, FPattern);
  }
  ~TCairoWarp() {
    cairo_pattern_destroy(FPattern);
    cairo_destroy(FContext);
  }
  void Draw() {
    const TProjectiveTransformation &T = FTransformation;
    cairo_move_to(FContext, T.X0, T.Y0);
    cairo_line_to(FContext, T.X1, T.Y1);
    cairo_line_to(FContext, T.X2, T.Y2);
    cairo_line_to(FContext, T.X3, T.Y3);
    cairo_close_path(FContext);
    cairo_fill(FContext);
    cairo_surface_flush(FDst.Surface);
  }

private:
  TCairoSurface FTile, FDst;
  cairo_t *FContext;
  cairo_pattern_t *FPattern;
  const TProjectiveTransformation &FTransformation;
};

void PrintAgreement() {
  TBitmap32 Tile, Ours, Theirs;
  FillTile(Tile);
  Ours.SetSize(DstSize, DstSize);
  Theirs.SetSize(DstSize, DstSize);
  TProjectiveTransformation T = TurnedAndScaled();
  Transform(&Ours, &Tile, &T);
  TCairoWarp(Tile, Theirs, T).Draw();
  size_t Same = 0, Drawn = 0;
  for (size_t i = 0; i < Ours.PixelCount(); ++i) {
    Drawn += Ours.Bits()[i] != 0 || Theirs.Bits()[i] != 0;
    Same += (Ours.Bits()[i] != 0 || Theirs.Bits()[i] != 0) && Ours.Bits()[i] == Theirs.Bits()[i];
  }
  std::printf("Turned and scaled tile: %zu pixels drawn, %.3f%% the same as Cairo's\n\n", Drawn,
              100.0 * static_cast<double>(Same) / static_cast<double>(Drawn));
}

// Ours, through the transformation Make returns.
void BM_Ours(benchmark::State &State, TProjectiveTransformation (*Make)()) {
  TBitmap32 Tile, Dst;
  FillTile(Tile);
  Dst.SetSize(DstSize, DstSize);
  TProjectiveTransformation T = Make();
  for (auto _ : State) {
    Transform(&Dst, &Tile, &T);
    benchmark::DoNotOptimize(Dst.Bits());
  }
  State.SetItemsProcessed(State.iterations() * DstSize * DstSize);
}

void BM_CairoAffine(benchmark::State &State) {
  TBitmap32 Tile, Dst;
  FillTile(Tile);
  Dst.SetSize(DstSize, DstSize);
  const TProjectiveTransformation T = TurnedAndScaled();
  TCairoWarp Warp(Tile, Dst, T);
  for (auto _ : State) {
    Warp.Draw();
    benchmark::DoNotOptimize(Dst.Bits());
  }
  State.SetItemsProcessed(State.iterations() * DstSize * DstSize);
}

BENCHMARK_CAPTURE(BM_Ours, Affine, TurnedAndScaled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CairoAffine)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, Projective, Trapezoid)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  PrintAgreement();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
