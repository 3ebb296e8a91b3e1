// Chart opening under arbitrary bytes: the input becomes a chart file, which
// is opened and, when it calibrates, asked for positions and its coverage of
// its own view. The library's exceptions are the expected outcome of bad
// input; anything else (a crash, a sanitizer report, a runaway allocation)
// is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "VmNKFCharts.h"

static const std::string &InputFile() {
  static const std::string name = [] {
    std::random_device random;
    return (std::filesystem::temp_directory_path() / ("nkfchartfuzz-" + std::to_string(random()) + ".nkf2")).string();
  }();
  return name;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  {
    std::ofstream out(InputFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(Data), static_cast<std::streamsize>(Size));
  }
  try {
    TNKFChart chart(InputFile());
    if (chart.IsCalibrated()) {
      const TCalibration &own = *chart.Calibration;
      const TDoublePoint centre = own.PixelToWGS84({chart.Width / 2.0, chart.Height / 2.0});
      const TGeodeticCoordinateSystem wgs84 = CoordinateSystemGeographic(WGS84Datum());
      chart.ContainsPosition(centre, wgs84);
      chart.PositionToPixel(centre, wgs84);
      double scale, coverage, ratio;
      bool cuts;
      chart.GetViewCoverage(own, scale, coverage, ratio, cuts);
    }
  } catch (const Exception &) {
  }
  std::remove(InputFile().c_str());
  return 0;
}
