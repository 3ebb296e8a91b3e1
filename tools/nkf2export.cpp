// nkf2export: writes a calibrated chart as a georeferenced GeoTIFF that GIS
// software reads, and optionally its border as a GeoJSON footprint.
//
//   nkf2export CHART.nkf2 OUT.tif [--level N] [--overviews] [--clip] [--footprint OUT.geojson]
//   nkf2export --set FOLDER OUT.mbtiles [--fill]
//   nkf2export --set --registry-export FILE.reg OUT.mbtiles [--fill]
//
// --level N      the pyramid level to write (0, full resolution, to 4)
// --overviews    the coarser levels as internal overviews
// --clip         everything beyond the chart's border transparent
// --footprint F  the border polygon in WGS 84 as GeoJSON (not the GeoTIFF's name)
// --set          the nine charts of the set in FOLDER as one MBTiles layer in
//                Web Mercator, finer charts over coarser ones
// --registry-export FILE.reg
//                the set installed in a Wine prefix instead of a folder: its
//                records as `wine reg export` writes them, the folder they
//                name found through $WINEPREFIX's drives (~/.wine by default),
//                its names read through the prefix's ANSI code page as the
//                installer reads them; a set that is not installed is
//                refused with status 1
// --fill         every zoom level of the set whole: the coarser level
//                enlarged wherever none of the level's own charts lies
//
// A progress bar goes to standard error when that is a terminal. On an error
// the exception's class and message go to standard error and the exit status
// is 1; a wrong command line gives the usage and status 2. SIGINT, SIGTERM
// or SIGHUP stop the set's export, which removes its work, and then end the
// program as the signal does.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include <cpl_conv.h>

#include "NKFGeoTiffExport.h"
#include "NKFRegFile.h"
#include "NKFSetExport.h"
#include "NKFStagedOutput.h"
#include "ToolErrors.h"
#include "VmNKFCharts.h"

namespace {

constexpr int BarWidth = 40;

// A bar redrawn in place, only when it grows by a character or a percent.
class TProgressBar {
public:
  explicit TProgressBar(bool Shown) : FShown(Shown) {}
  ~TProgressBar() {
    if (FShown && FPercent >= 0)
      std::fputc('\n', stderr);
  }
  TProgressBar(const TProgressBar &) = delete;
  TProgressBar &operator=(const TProgressBar &) = delete;

  void Show(double Done) {
    const int percent = static_cast<int>(Done * 100);
    if (!FShown || percent == FPercent)
      return;
    FPercent = percent;
    const int filled = static_cast<int>(Done * BarWidth);
    std::fprintf(stderr, "\rnkf2export [%-*s] %3d%%", BarWidth, std::string(static_cast<size_t>(filled), '#').c_str(),
                 percent);
    std::fflush(stderr);
  }

private:
  bool FShown;
  int FPercent = -1;
};

int Usage() {
  std::fputs("usage: nkf2export CHART.nkf2 OUT.tif [--level N] [--overviews] [--clip] [--footprint OUT.geojson]\n"
             "       nkf2export --set FOLDER OUT.mbtiles [--fill]\n"
             "       nkf2export --set --registry-export FILE.reg OUT.mbtiles [--fill]\n",
             stderr);
  return 2;
}

struct TArguments {
  bool Set = false;      // Chart is then the set's folder
  std::string Registry; // or the registry export that names it
  std::string Chart, Output, Footprint;
  TNKFExportOptions Options;
  TNKFSetExportOptions SetOptions;
};

bool Parse(int argc, char **argv, TArguments &Arguments) {
  if (argc < 3)
    return false;
  if (std::strcmp(argv[1], "--set") == 0 && std::strcmp(argv[argc - 1], "--fill") == 0) {
    Arguments.SetOptions.Fill = true;
    --argc;
  }
  if (argc < 3)
    return false;
  if (std::strcmp(argv[1], "--set") == 0 && std::strcmp(argv[2], "--registry-export") == 0) {
    Arguments.Set = true;
    Arguments.Registry = argc > 3 ? argv[3] : "";
    Arguments.Output = argc > 4 ? argv[4] : "";
    return argc == 5;
  }
  if (std::strcmp(argv[1], "--set") == 0) {
    Arguments.Set = true;
    Arguments.Chart = argv[2];
    Arguments.Output = argc > 3 ? argv[3] : "";
    return argc == 4;
  }
  Arguments.Chart = argv[1];
  Arguments.Output = argv[2];
  for (int i = 3; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--overviews") {
      Arguments.Options.Overviews = true;
    } else if (option == "--clip") {
      Arguments.Options.ClipToBorder = true;
    } else if (option == "--level" && i + 1 < argc) {
      char *end = nullptr;
      const long level = std::strtol(argv[++i], &end, 10);
      if (*argv[i] == '\0' || *end != '\0' || level < 0 || level >= NKFLevelCount)
        return false;
      Arguments.Options.Level = static_cast<int>(level);
    } else if (option == "--footprint" && i + 1 < argc) {
      Arguments.Footprint = argv[++i];
    } else {
      return false;
    }
  }
  return true;
}

} // namespace

int main(int argc, char **argv) {
  TArguments arguments;
  if (!Parse(argc, argv, arguments))
    return Usage();
  // GDAL's block cache would take a share of the machine's memory; the set's
  // export reads and writes block by block and needs no more than this.
  CPLSetConfigOption("GDAL_CACHEMAX", CPLGetConfigOption("GDAL_CACHEMAX", "64"));
  const bool terminal = isatty(STDERR_FILENO) != 0;
  if (arguments.Set) {
    const int status = RunReportingErrors([&] {
      std::string folder = arguments.Chart;
      if (!arguments.Registry.empty()) {
        // The records hold what the installer wrote through the prefix's
        // ANSI code page; the same code page reads them back.
        const std::string prefix = NKFWinePrefix();
        const unsigned codePage = NKFWineCodePage(prefix);
        const TNKFRegFile records = TNKFRegFile::Read(arguments.Registry, codePage);
        folder = NKFWinePath(NKFInstalledSetFolder(records, arguments.Registry, codePage), prefix);
      }
      const std::vector<std::string> charts = NKFSetChartFiles(folder);
      TProgressBar bar(terminal);
      NKFExportSet(charts, arguments.Output, arguments.SetOptions, [&bar](double Done) { bar.Show(Done); });
    });
    // Ended as the signal ends a program, for the shell that sent it.
    if (const int signal = NKFSetExportSignal(); signal != 0) {
      std::signal(signal, SIG_DFL);
      std::raise(signal);
    }
    return status;
  }
  return RunReportingErrors([&] {
    // The footprint would replace the GeoTIFF just written.
    if (!arguments.Footprint.empty() && NKFSameFile(arguments.Footprint, arguments.Output))
      throw ENKFExportError("nkf2export: The footprint " + arguments.Footprint + " would replace the GeoTIFF " +
                            arguments.Output);
    TNKFChart chart(arguments.Chart);
    // The chart reader opens a file without the chart magic as an empty chart.
    if (chart.Version == 0)
      throw ENKFExportError("nkf2export: " + arguments.Chart + " is not a chart file");
    {
      TProgressBar bar(terminal);
      NKFExportGeoTiff(chart, arguments.Output, arguments.Options, [&bar](double Done) { bar.Show(Done); });
    }
    if (!arguments.Footprint.empty())
      NKFWriteFootprint(chart, arguments.Footprint);
  });
}
