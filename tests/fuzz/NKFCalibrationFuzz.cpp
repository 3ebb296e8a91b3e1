// The calibration data records over arbitrary values: a record of one of the
// three grids is made from the input, asked for its datum, and the chart's
// calibration is set up from it as a chart does when it opens; a calibration
// that is accepted is then asked to place the chart's centre. The library's
// exceptions are the expected outcome of bad values; a crash, a sanitizer
// report or a hang is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "NKFFuzzInputs.h"
#include "VmNKFCharts.h"

extern "C" const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

namespace {

// A chart to calibrate: a file without the magic opens as an empty chart, whose size
// the record then sets.
TNKFChart &Chart() {
  static TNKFChart *const chart = [] {
    std::random_device random;
    const std::string name =
        (std::filesystem::temp_directory_path() / ("nkfcalibrationfuzz-" + std::to_string(random()) + ".nkf2")).string();
    std::ofstream(name, std::ios::binary) << std::string(16, ' ');
    auto *opened = new TNKFChart(name);
    std::remove(name.c_str());
    return opened;
  }();
  return *chart;
}

uint8_t GridOf(const TTagCalibrationData &Data) {
  if (dynamic_cast<const TTransverseMercatorData *>(&Data))
    return NKFProjectionTransverseMercator;
  if (dynamic_cast<const TRDData *>(&Data))
    return NKFProjectionRD;
  return NKFProjectionMercator;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const TNKFCalibrationFuzzRecord record = NKFDecodeCalibrationFuzzInput(Data, Size);
  const TTagCalibrationData &data = *record.Data;
  TNKFChart &chart = Chart();
  chart.Width = data.Width;
  chart.Height = data.Height;
  const auto *tm = dynamic_cast<const TTransverseMercatorData *>(&data);
  try {
    const auto &P = data.PixelPoints;
    const auto &M = data.MapPoints;
    chart.Calibrate(data.CalibrationPointCount, GridOf(data), P[0], P[1], P[2], M[0], M[1], M[2],
                    tm != nullptr ? tm->K0 : 0, tm != nullptr ? tm->Lon0 : 0, data.GetDatum());
    if (chart.IsCalibrated()) {
      const TDoublePoint centre = chart.Calibration->PixelToWGS84({data.Width / 2.0, data.Height / 2.0});
      const TGeodeticCoordinateSystem wgs84 = CoordinateSystemGeographic(WGS84Datum());
      chart.PositionToPixelExact(centre, wgs84);
      chart.ContainsPosition(centre, wgs84);
    }
  } catch (const Exception &) {
  }
  return 0;
}
