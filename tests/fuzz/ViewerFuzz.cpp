// The viewer's core under arbitrary chart bytes: the input becomes a chart
// file, opened and judged as the viewer lists it (ChartShowFault); a chart it
// would show is painted at a few zooms, each tile the view asks for decoded
// or failed. Every painted pixel must come from a tile, the placeholder, the
// hatch or the background:
// - on a level's own zoom (a straight copy) each pixel is checked against the
//   level pixel under it;
// - every view is painted a second time with one colour for everything (the
//   tiles, the placeholder, the hatch, the background and the border line,
//   the shade transparent), so that any other value is a pixel nothing drew:
//   uninitialised memory, or a surface left from the repaint before.
// A mismatch aborts, which the fuzzer keeps as a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "ChartFault.h"
#include "ChartRenderer.h"
#include "ChartViewport.h"
#include "VmNKF2TileManager.h"
#include "VmNKFCharts.h"

extern "C" const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

namespace {

// Small, as the warp's per-pixel sampling is most of an execution; still
// wider than a tile at the zooms below one and across tile seams above it.
constexpr int32_t ClientWidth = 136, ClientHeight = 100;
constexpr TColor32 Uniform = 0xFF3A5C7E;

const std::string &InputFile() {
  static const std::string name = [] {
    std::random_device random;
    return (std::filesystem::temp_directory_path() / ("viewerfuzz-" + std::to_string(random()) + ".nkf2")).string();
  }();
  return name;
}

[[noreturn]] void Fail(const char *What, int32_t X, int32_t Y, TColor32 Got) {
  std::fprintf(stderr, "ViewerFuzz: %s at %d,%d: 0x%08X\n", What, X, Y, static_cast<unsigned>(Got));
  std::abort();
}

// Every tile the views ask for, decoded once through the loader's own
// function or marked failed.
class TTiles {
public:
  explicit TTiles(TNKFChart &Chart) : FChart(Chart) {}

  TTileState Get(int32_t Index, const TBitmap32 *&Bitmap) {
    if (Index < 0 || static_cast<uint32_t>(Index) >= FChart.TileCount)
      Fail("tile index outside the directory", Index, 0, 0);
    auto found = FTiles.find(Index);
    if (found == FTiles.end()) {
      std::unique_ptr<TBitmap32> tile;
      try {
        TNKFTileEntry entry;
        FChart.GetTileEntry(static_cast<uint32_t>(Index), entry);
        tile = LoadChartTile(FChart.FileName, entry, false);
      } catch (const Exception &) {
      }
      found = FTiles.emplace(Index, std::move(tile)).first;
    }
    Bitmap = found->second.get();
    return Bitmap ? TTileState::Loaded : TTileState::Failed;
  }

private:
  TNKFChart &FChart;
  std::map<int32_t, std::unique_ptr<TBitmap32>> FTiles;
};

// On a straight copy, the pixel each client pixel must show.
void CheckStraight(const TChartViewport &View, TTiles &Tiles, const TViewColors &Colors, const TBitmap32 &Surface) {
  const int32_t level = View.Level();
  const TNKFLevel &l = View.Levels()[static_cast<size_t>(level)];
  for (int32_t y = 0; y < Surface.Height(); ++y)
    for (int32_t x = 0; x < Surface.Width(); ++x) {
      const TColor32 got = Surface.ScanLine(y)[x];
      const double lx = std::floor(View.LevelSampleX(x) + 0.5), ly = std::floor(View.LevelSampleY(y) + 0.5);
      if (!(lx >= 0 && ly >= 0 && lx < l.Width && ly < l.Height)) {
        if (got != Colors.Background)
          Fail("not the background beside the chart", x, y, got);
        continue;
      }
      const int32_t px = static_cast<int32_t>(lx), py = static_cast<int32_t>(ly);
      const int32_t column = px / NKFTileSize, row = py / NKFTileSize;
      if (static_cast<uint32_t>(column) >= l.TilesX || static_cast<uint32_t>(row) >= l.TilesY) {
        if (got != Colors.Background)
          Fail("not the background where no tile lies", x, y, got);
        continue;
      }
      const TBitmap32 *bitmap = nullptr;
      const int32_t index = static_cast<int32_t>(l.FirstTile + static_cast<uint32_t>(row) * l.TilesX +
                                                 static_cast<uint32_t>(column));
      if (Tiles.Get(index, bitmap) == TTileState::Loaded && bitmap->Width() >= NKFTileSize &&
          bitmap->Height() >= NKFTileSize) {
        const TColor32 want = OverOpaque(bitmap->ScanLine(py % NKFTileSize)[px % NKFTileSize], Colors.Background);
        if (got != want)
          Fail("not the tile's pixel", x, y, got);
      } else if (got != Colors.Hatch && got != Colors.Placeholder) {
        Fail("not the hatch of a failed tile", x, y, got);
      }
    }
}

void Paint(TNKFChart &Chart) {
  TTiles tiles(Chart);
  TChartViewport view;
  view.SetClientSize(ClientWidth, ClientHeight);
  view.SetChart(Chart.Width, Chart.Height, Chart.Levels);
  // Distinct colours, so that a pixel from the wrong source shows.
  const TViewColors colors = DayViewColors();
  const TViewColors uniform{Uniform, Uniform, Uniform, Uniform, Uniform & 0x00FFFFFF};
  TBitmap32 plain;
  plain.SetSize(NKFTileSize, NKFTileSize);
  plain.Clear(Uniform);
  const TTileSource real = [&](int32_t Index, const TBitmap32 *&Bitmap) { return tiles.Get(Index, Bitmap); };
  const TTileSource one = [&](int32_t Index, const TBitmap32 *&Bitmap) {
    const TTileState state = tiles.Get(Index, Bitmap);
    Bitmap = &plain;
    return state;
  };
  const TPolygon *border = Chart.Border.Count() >= 3 ? &Chart.Border : nullptr;

  // One renderer for all the views, as a window keeps it: a surface left from
  // one view must not show in the next.
  TChartRenderer renderer;
  TBitmap32 surface;
  const TDoublePoint middle{Chart.Width / 2.0, Chart.Height / 2.0};
  const double zooms[] = {0, 1, 0.7, 0.25, 0.0625, 0.04, 1.7};
  for (const double zoom : zooms) {
    if (zoom == 0)
      view.Fit();
    else
      view.ZoomAt(zoom, {0, 0});
    const TDoublePoint corner{static_cast<double>(Chart.Width), static_cast<double>(Chart.Height)};
    for (const TDoublePoint &at : {middle, TDoublePoint{0, 0}, corner}) {
      if (zoom != 0)
        view.CenterOn(at);
      renderer.Render(view, real, nullptr, colors, surface);
      if (surface.Width() != ClientWidth || surface.Height() != ClientHeight)
        Fail("surface not the client's size", surface.Width(), surface.Height(), 0);
      if (view.IsStraightCopy())
        CheckStraight(view, tiles, colors, surface);
      renderer.Render(view, one, border, uniform, surface);
      for (int32_t y = 0; y < surface.Height(); ++y)
        for (int32_t x = 0; x < surface.Width(); ++x)
          if (surface.ScanLine(y)[x] != Uniform)
            Fail("a pixel nothing drew", x, y, surface.ScanLine(y)[x]);
      if (zoom == 0)
        break;
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  {
    std::ofstream out(InputFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(Data), static_cast<std::streamsize>(Size));
  }
  std::unique_ptr<TNKFChart> chart;
  try {
    chart = std::make_unique<TNKFChart>(InputFile());
  } catch (const Exception &) {
  }
  // Painting a chart the viewer shows raises nothing: a tile that does not
  // decode is drawn hatched.
  if (chart && ChartShowFault(*chart).empty()) {
    try {
      Paint(*chart);
    } catch (const std::exception &e) {
      std::fprintf(stderr, "ViewerFuzz: painting raised %s\n", e.what());
      std::abort();
    }
  }
  std::remove(InputFile().c_str());
  return 0;
}
