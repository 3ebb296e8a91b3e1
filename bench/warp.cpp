// Warping a 256 x 256 tile through the projective transformation, side by
// side with the libraries a Linux user already has: turned by 30 degrees and
// scaled by 1.5 (an affine case) against Cairo (a surface pattern under the
// inverse matrix, filling the same quadrilateral), and a trapezoid (the
// projective case) against pixman, the library under Cairo, which takes a
// 3 x 3 projective transform (Cairo's own API is affine only); each with
// nearest and bilinear sampling. Before timing, the share of destination
// pixels on which ours and the peer's agree is printed. Rates are
// destination pixels per second over the destination rectangle.
#include "VmProjectiveTransform.h"

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>

namespace {

constexpr int TileSize = 256;
constexpr int DstSize = 512;
constexpr double TurnDegrees = 30;
constexpr double Scale = 1.5;

void FillTile(TBitmap32 &Tile, TResamplerKind Kind) {
  Tile.SetSize(TileSize, TileSize);
  uint32_t State = 12345;
  for (size_t i = 0; i < Tile.PixelCount(); ++i) {
    State = State * 1664525u + 1013904223u;
    Tile.Bits()[i] = 0xFF000000u | (State >> 8);
  }
  Tile.SetResampler(Kind);
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
  TCairoWarp(TBitmap32 &Tile, TBitmap32 &Dst, const TProjectiveTransformation &T, TResamplerKind Kind)
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
    cairo_pattern_set_filter(FPattern, Kind == TResamplerKind::rkNearest ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_BILINEAR);
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

// pixman's side: the tile as a source image under the projective transform
// that takes destination points to tile points, composited over the whole
// destination (outside the tile it is transparent, and OVER leaves the
// destination as it was, as ours does). pixman maps column vectors, so it
// takes our matrix transposed, with the same half-pixel moves as Cairo's. Its
// matrix is 16.16 fixed point, and so are the homogeneous coordinates it
// gives: scaled (a homogeneous matrix may be) so that w reaches WScale in the
// destination, which keeps w·x within range for the tile's coordinates and
// the small perspective elements as exact as it can.
class TPixmanWarp {
public:
  static constexpr double WScale = 64;

  TPixmanWarp(TBitmap32 &Tile, TBitmap32 &Dst, const TProjectiveTransformation &T, TResamplerKind Kind)
      : FTile(Image(Tile)), FDst(Image(Dst)), FWidth(Dst.Width()), FHeight(Dst.Height()) {
    const auto &M = T.Matrix;
    pixman_f_transform Matrix, Half;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        Matrix.m[i][j] = M[j][i];
    pixman_f_transform_init_translate(&Half, -0.5, -0.5);
    pixman_f_transform_multiply(&Matrix, &Matrix, &Half);
    pixman_f_transform_init_translate(&Half, 0.5, 0.5);
    pixman_f_transform_multiply(&Matrix, &Half, &Matrix);
    double LargestW = 0;  // w is linear: largest at a corner of the destination
    for (double x : {0, DstSize})
      for (double y : {0, DstSize})
        LargestW = std::max(LargestW, std::fabs(Matrix.m[2][0] * x + Matrix.m[2][1] * y + Matrix.m[2][2]));
    for (auto &Row : Matrix.m)
      for (double &Value : Row)
        Value *= WScale / LargestW;
    pixman_transform Fixed;
    if (!pixman_transform_from_pixman_f_transform(&Fixed, &Matrix) || !pixman_image_set_transform(FTile, &Fixed))
      std::abort();
    pixman_image_set_filter(FTile, Kind == TResamplerKind::rkNearest ? PIXMAN_FILTER_NEAREST : PIXMAN_FILTER_BILINEAR,
                            nullptr, 0);
  }
  ~TPixmanWarp() {
    pixman_image_unref(FTile);
    pixman_image_unref(FDst);
  }
  void Draw() {
    pixman_image_composite32(PIXMAN_OP_OVER, FTile, nullptr, FDst, 0, 0, 0, 0, 0, 0, FWidth, FHeight);
  }

private:
  static pixman_image_t *Image(TBitmap32 &Bitmap) {
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, Bitmap.Width(), Bitmap.Height(),
                                    reinterpret_cast<uint32_t *>(Bitmap.Bits()), Bitmap.Width() * 4);
  }

  pixman_image_t *FTile, *FDst;
  int FWidth, FHeight;
};

enum class TPeer { Cairo, Pixman };

struct TRow {
  const char *Name;
  TProjectiveTransformation (*Make)();
  TResamplerKind Kind;
  TPeer Peer;
};

const TRow Rows[] = {
    {"affine, nearest", TurnedAndScaled, TResamplerKind::rkNearest, TPeer::Cairo},
    {"affine, bilinear", TurnedAndScaled, TResamplerKind::rkLinear, TPeer::Cairo},
    {"projective, nearest", Trapezoid, TResamplerKind::rkNearest, TPeer::Pixman},
    {"projective, bilinear", Trapezoid, TResamplerKind::rkLinear, TPeer::Pixman},
};

// The peer's warp of a row, ready to draw.
class TPeerWarp {
public:
  TPeerWarp(const TRow &Row, TBitmap32 &Tile, TBitmap32 &Dst, const TProjectiveTransformation &T) {
    if (Row.Peer == TPeer::Cairo)
      FCairo = std::make_unique<TCairoWarp>(Tile, Dst, T, Row.Kind);
    else
      FPixman = std::make_unique<TPixmanWarp>(Tile, Dst, T, Row.Kind);
  }
  void Draw() {
    if (FCairo)
      FCairo->Draw();
    else
      FPixman->Draw();
  }

private:
  std::unique_ptr<TCairoWarp> FCairo;
  std::unique_ptr<TPixmanWarp> FPixman;
};

bool Near(TColor32 A, TColor32 B, int Tolerance) {
  for (int Shift = 0; Shift < 32; Shift += 8)
    if (std::abs(int(A >> Shift & 0xFF) - int(B >> Shift & 0xFF)) > Tolerance)
      return false;
  return true;
}

// Of the pixels either side draws, the share that are the same, and the
// share within 2 of each other in every channel. Nearest, the two sample at
// the same points and differ only where a position falls within rounding of
// a pixel edge (the peers' matrices are 16.16 fixed point) and along the
// quadrilateral's outline (Cairo fills the pixels whose centres are inside
// it, we those that land in the tile). Bilinear, few pixels are exactly the
// same: pixman (under Cairo too) weighs with 7 bits, we with 8, so most
// channels differ by one; and along the outline pixman mixes the tile's edge
// with transparent pixels, where we draw the edge pixels as they are. Those
// outline pixels are the ones more than 2 apart.
void PrintAgreement() {
  for (const TRow &Row : Rows) {
    TBitmap32 Tile, Ours, Theirs;
    FillTile(Tile, Row.Kind);
    Ours.SetSize(DstSize, DstSize);
    Theirs.SetSize(DstSize, DstSize);
    TProjectiveTransformation T = Row.Make();
    Transform(&Ours, &Tile, &T);
    TPeerWarp(Row, Tile, Theirs, T).Draw();
    size_t Same = 0, Close = 0, Drawn = 0;
    for (size_t i = 0; i < Ours.PixelCount(); ++i) {
      const TColor32 A = Ours.Bits()[i], B = Theirs.Bits()[i];
      if (A == 0 && B == 0)
        continue;
      ++Drawn;
      Same += A == B;
      Close += Near(A, B, 2);
    }
    std::printf("%-21s %6zu pixels drawn, %7.3f%% the same as %s's, %7.3f%% within 2\n", Row.Name, Drawn,
                100.0 * double(Same) / double(Drawn), Row.Peer == TPeer::Cairo ? "Cairo" : "pixman",
                100.0 * double(Close) / double(Drawn));
  }
  std::printf("\n");
}

void BM_Ours(benchmark::State &State, const TRow &Row) {
  TBitmap32 Tile, Dst;
  FillTile(Tile, Row.Kind);
  Dst.SetSize(DstSize, DstSize);
  TProjectiveTransformation T = Row.Make();
  for (auto _ : State) {
    Transform(&Dst, &Tile, &T);
    benchmark::DoNotOptimize(Dst.Bits());
  }
  State.SetItemsProcessed(State.iterations() * DstSize * DstSize);
}

void BM_Peer(benchmark::State &State, const TRow &Row) {
  TBitmap32 Tile, Dst;
  FillTile(Tile, Row.Kind);
  Dst.SetSize(DstSize, DstSize);
  const TProjectiveTransformation T = Row.Make();
  TPeerWarp Warp(Row, Tile, Dst, T);
  for (auto _ : State) {
    Warp.Draw();
    benchmark::DoNotOptimize(Dst.Bits());
  }
  State.SetItemsProcessed(State.iterations() * DstSize * DstSize);
}

BENCHMARK_CAPTURE(BM_Ours, AffineNearest, Rows[0])->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Peer, CairoAffineNearest, Rows[0])->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, AffineBilinear, Rows[1])->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Peer, CairoAffineBilinear, Rows[1])->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ProjectiveNearest, Rows[2])->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Peer, PixmanProjectiveNearest, Rows[2])->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, ProjectiveBilinear, Rows[3])->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Peer, PixmanProjectiveBilinear, Rows[3])->Unit(benchmark::kMillisecond);

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
