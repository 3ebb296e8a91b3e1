// Throughput of the conversion engine against PROJ's proj_trans_generic on the
// same 100 000 points: Mercator, transverse Mercator and RD both ways, and the
// EUR-A to WGS 84 datum change. Before timing, the largest disagreement with
// PROJ is printed for each operation; after timing, points per second and
// the ratio to PROJ.
#include "VmGeodetics.h"
#include "RateReporter.h"

#include <benchmark/benchmark.h>
#include <proj.h>

#include <cmath>
#include <numbers>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int PointCount = 100000;
constexpr double Degree = std::numbers::pi / 180;
constexpr double EarthRadius = 6378137;

enum class TLayout { Geographic, Projected };

// One operation: our source and destination systems, the equivalent PROJ
// operation (radians for angles) and where the points lie.
struct TOperation {
  std::string Name;
  TGeodeticCoordinateSystem Src;
  TGeodeticCoordinateSystem Dst;
  std::string ProjDefinition;
  PJ_DIRECTION Direction;
  bool WithHeight;
  double MinLat, MaxLat, MinLon, MaxLon;  // degrees, of the geographic points the input comes from
  std::vector<TDoublePoint3> Input;       // in our layout for Src
};

TLayout LayoutOf(const TGeodeticCoordinateSystem &System) {
  return System.Kind == gcsGeographic ? TLayout::Geographic : TLayout::Projected;
}

// Deterministic points spread over the operation's area, in Src's layout.
std::vector<TDoublePoint3> MakeInput(const TOperation &Op) {
  std::vector<TDoublePoint3> Points(PointCount);
  uint64_t State = 0x9E3779B97F4A7C15u;
  auto Next = [&State] {
    State = State * 6364136223846793005u + 1442695040888963407u;
    return static_cast<double>(State >> 11) / 9007199254740992.0;
  };
  const TGeodeticDatum *Datum = Op.Src.Kind == gcsGeographic ? Op.Src.Datum : Op.Dst.Datum;
  for (TDoublePoint3 &P : Points)
    P = {(Op.MinLat + (Op.MaxLat - Op.MinLat) * Next()) * Degree,
         (Op.MinLon + (Op.MaxLon - Op.MinLon) * Next()) * Degree, Op.WithHeight ? 500 * Next() : 0};
  if (LayoutOf(Op.Src) == TLayout::Projected) {
    // Inverse operations start from the forward projection of the points.
    const TGeodeticCoordinateSystem Geographic = CoordinateSystemGeographic(Datum);
    ConvertPoints(PointCount, Points.data(), Op.Src, nullptr, nullptr, Geographic, Points.data());
  }
  return Points;
}

// PROJ reads and writes (longitude, latitude) or (x, y) through strides over
// our 24-byte points, in place.
void ProjTransform(PJ *P, const TOperation &Op, std::vector<TDoublePoint3> &Points) {
  const bool Geographic = LayoutOf(Op.Src) == TLayout::Geographic;
  double *First = Geographic ? &Points[0].Y : &Points[0].X;
  double *Second = Geographic ? &Points[0].X : &Points[0].Y;
  const size_t Stride = sizeof(TDoublePoint3);
  proj_trans_generic(P, Op.Direction, First, Stride, PointCount, Second, Stride, PointCount,
                     Op.WithHeight ? &Points[0].Z : nullptr, Stride, Op.WithHeight ? PointCount : 0, nullptr, 0, 0);
}

// PROJ's result in our layout for Dst.
std::vector<TDoublePoint3> ProjResult(PJ *P, const TOperation &Op) {
  std::vector<TDoublePoint3> Points = Op.Input;
  ProjTransform(P, Op, Points);
  const bool SrcGeographic = LayoutOf(Op.Src) == TLayout::Geographic;
  const bool DstGeographic = LayoutOf(Op.Dst) == TLayout::Geographic;
  // Values sit in (first, second) = (lon, lat) or (x, y) slots of the source layout.
  for (TDoublePoint3 &Point : Points) {
    const double First = SrcGeographic ? Point.Y : Point.X;
    const double Second = SrcGeographic ? Point.X : Point.Y;
    Point.X = DstGeographic ? Second : First;
    Point.Y = DstGeographic ? First : Second;
  }
  return Points;
}

struct TProjHandle {
  PJ_CONTEXT *Context = proj_context_create();
  PJ *P = nullptr;
  explicit TProjHandle(const std::string &Definition) : P(proj_create(Context, Definition.c_str())) {}
  ~TProjHandle() {
    proj_destroy(P);
    proj_context_destroy(Context);
  }
};

std::vector<TOperation> &Operations() {
  static std::vector<TOperation> List = [] {
    const TGeodeticDatum *WGE = WGS84Datum();
    const TGeodeticDatum *EUR = GeodeticDatumCreate("EUR-A");
    const TGeodeticDatum *RDOld = GeodeticDatumCreate("RD-OLD");
    const std::string WGS84 = " +a=6378137 +rf=298.257223563";
    const std::string Merc = "+proj=merc" + WGS84;
    const std::string Tmerc = "+proj=tmerc +lat_0=0 +lon_0=3 +k=0.9996" + WGS84;
    const std::string Sterea = "+proj=sterea +lat_0=52.1561605555556 +lon_0=5.38763888888889 +k=0.9999079 "
                               "+x_0=155000 +y_0=463000 +ellps=bessel";
    const std::string Shift = "+proj=pipeline +step +proj=cart +ellps=intl +step +proj=helmert +x=-87 +y=-96 "
                              "+z=-120 +step +inv +proj=cart" + WGS84;
    const auto Geo = CoordinateSystemGeographic;
    const TGeodeticCoordinateSystem Tm = CoordinateSystemTransverseMercator(WGE, 0.9996, 3 * Degree);
    std::vector<TOperation> Ops = {
        {"Mercator forward", Geo(WGE), CoordinateSystemMercator(WGE), Merc, PJ_FWD, false, -80, 80, -180, 180, {}},
        {"Mercator inverse", CoordinateSystemMercator(WGE), Geo(WGE), Merc, PJ_INV, false, -80, 80, -180, 180, {}},
        {"TM forward", Geo(WGE), Tm, Tmerc, PJ_FWD, false, 0, 80, 0, 6, {}},
        {"TM inverse", Tm, Geo(WGE), Tmerc, PJ_INV, false, 0, 80, 0, 6, {}},
        {"TM forward (PROJ +approx)", Geo(WGE), Tm, Tmerc + " +approx", PJ_FWD, false, 0, 80, 0, 6, {}},
        {"TM inverse (PROJ +approx)", Tm, Geo(WGE), Tmerc + " +approx", PJ_INV, false, 0, 80, 0, 6, {}},
        {"EUR-A -> WGS 84", Geo(EUR), Geo(WGE), Shift, PJ_FWD, true, 36, 70, -10, 30, {}},
        {"RD forward", Geo(RDOld), CoordinateSystemRD(), Sterea, PJ_FWD, false, 50.75, 53.5, 3.4, 7.2, {}},
        {"RD inverse", CoordinateSystemRD(), Geo(RDOld), Sterea, PJ_INV, false, 50.75, 53.5, 3.4, 7.2, {}},
    };
    for (TOperation &Op : Ops)
      Op.Input = MakeInput(Op);
    return Ops;
  }();
  return List;
}

// Largest difference in metres (angles scaled to the ground).
void PrintAgreement() {
  std::printf("Agreement with PROJ over %d points (largest difference):\n", PointCount);
  for (const TOperation &Op : Operations()) {
    TProjHandle Proj(Op.ProjDefinition);
    const std::vector<TDoublePoint3> Theirs = ProjResult(Proj.P, Op);
    std::vector<TDoublePoint3> Ours(PointCount);
    ConvertPoints(PointCount, Ours.data(), Op.Dst, nullptr, nullptr, Op.Src, Op.Input.data());
    double Worst = 0;
    const bool Geographic = LayoutOf(Op.Dst) == TLayout::Geographic;
    for (int i = 0; i < PointCount; ++i) {
      const double North = (Ours[i].X - Theirs[i].X) * (Geographic ? EarthRadius : 1);
      const double East = (Ours[i].Y - Theirs[i].Y) * (Geographic ? EarthRadius * std::cos(Ours[i].X) : 1);
      Worst = std::max({Worst, std::hypot(North, East), Op.WithHeight ? std::fabs(Ours[i].Z - Theirs[i].Z) : 0});
    }
    std::printf("  %-28s %.3g m\n", Op.Name.c_str(), Worst);
  }
  std::printf("\n");
}

// Each side is timed doing the conversion only: ours reads the input and
// writes a separate array; PROJ works in place, so its fresh copy of the input
// is made outside the timed region.
void BM_Ours(benchmark::State &State, const TOperation *Op) {
  std::vector<TDoublePoint3> Points(PointCount);
  for (auto _ : State) {
    ConvertPoints(PointCount, Points.data(), Op->Dst, nullptr, nullptr, Op->Src, Op->Input.data());
    benchmark::DoNotOptimize(Points.data());
  }
  State.SetItemsProcessed(State.iterations() * PointCount);
}

void BM_Proj(benchmark::State &State, const TOperation *Op) {
  TProjHandle Proj(Op->ProjDefinition);
  std::vector<TDoublePoint3> Points(PointCount);
  for (auto _ : State) {
    State.PauseTiming();
    std::memcpy(Points.data(), Op->Input.data(), PointCount * sizeof(TDoublePoint3));
    State.ResumeTiming();
    ProjTransform(Proj.P, *Op, Points);
    benchmark::DoNotOptimize(Points.data());
  }
  State.SetItemsProcessed(State.iterations() * PointCount);
}

// The closing table of points per second and ratios.
void PrintRatios(const TRateReporter &Reporter) {
  std::printf("\n%-28s %16s %16s %8s\n", "operation", "ours (pts/s)", "PROJ (pts/s)", "ratio");
  for (const TOperation &Op : Operations()) {
    const double Ours = Reporter.Rate("Ours/" + Op.Name);
    const double Proj = Reporter.Rate("PROJ/" + Op.Name);
    if (Ours > 0 && Proj > 0)
      std::printf("%-28s %16.4g %16.4g %7.2fx\n", Op.Name.c_str(), Ours, Proj, Ours / Proj);
  }
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  PrintAgreement();
  for (const TOperation &Op : Operations()) {
    benchmark::RegisterBenchmark(("Ours/" + Op.Name).c_str(), BM_Ours, &Op)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("PROJ/" + Op.Name).c_str(), BM_Proj, &Op)->Unit(benchmark::kMillisecond);
  }
  TRateReporter Reporter("items_per_second");
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  PrintRatios(Reporter);
  benchmark::Shutdown();
  return 0;
}
