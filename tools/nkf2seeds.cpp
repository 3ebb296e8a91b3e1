// nkf2seeds: turns chart files into seed inputs for the tag and the
// calibration-record fuzz targets.
//
//   nkf2seeds OUTDIR CHART...
//
// Writes OUTDIR/NKFTag/<stem>.tag (the layout byte and the tag) for every
// chart and OUTDIR/NKFCalibration/<stem>.calibration for every chart that
// opens with calibration data. A chart that does not open is named on standard error and
// skipped; the exit status is 1 when no seed was written at all.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "NKFFuzzInputs.h"

namespace {

void WriteSeed(const std::filesystem::path &Folder, const std::string &Name, const std::string &Bytes) {
  std::filesystem::create_directories(Folder);
  std::ofstream out(Folder / Name, std::ios::binary | std::ios::trunc);
  out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fputs("usage: nkf2seeds OUTDIR CHART...\n", stderr);
    return 2;
  }
  const std::filesystem::path out = argv[1];
  int written = 0;
  for (int i = 2; i < argc; ++i) {
    const std::string chartFile = argv[i];
    const std::string stem = std::filesystem::path(chartFile).stem().string();
    try {
      WriteSeed(out / "NKFTag", stem + ".tag", NKFTagFuzzInput(chartFile));
      ++written;
      TNKFChart chart(chartFile);
      const std::string calibration = NKFCalibrationFuzzInput(chart);
      if (!calibration.empty()) {
        WriteSeed(out / "NKFCalibration", stem + ".calibration", calibration);
        ++written;
      }
    } catch (const std::exception &e) {
      std::fprintf(stderr, "nkf2seeds: %s: %s\n", chartFile.c_str(), e.what());
    }
  }
  return written > 0 ? 0 : 1;
}
