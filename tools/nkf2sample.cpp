// nkf2sample: writes a sample chart, for trying the chart tools and seeding
// the fuzzer.
//
//   nkf2sample OUT.nkf2 VERSION WIDTH HEIGHT [--tiles]
//
// VERSION is 1.0.0.0, 1.0.0.1 or 1.0.0.2. The chart has a two-point Mercator
// calibration on WGS 84; with --tiles its tiles are real encoded pictures,
// otherwise short placeholder bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "NKFChartWriter.h"

int main(int argc, char **argv) {
  if (argc != 5 && !(argc == 6 && std::strcmp(argv[5], "--tiles") == 0)) {
    std::fputs("usage: nkf2sample OUT.nkf2 VERSION WIDTH HEIGHT [--tiles]\n", stderr);
    return 2;
  }
  const std::string version = argv[2];
  const uint32_t code = version == "1.0.0.0"   ? NKFVersion1_0_0_0
                        : version == "1.0.0.1" ? NKFVersion1_0_0_1
                        : version == "1.0.0.2" ? NKFVersion1_0_0_2
                                               : 0;
  const long width = std::strtol(argv[3], nullptr, 10), height = std::strtol(argv[4], nullptr, 10);
  if (code == 0 || width < 1 || height < 1 || width > 1048576 || height > 1048576) {
    std::fputs("nkf2sample: VERSION must be 1.0.0.0, 1.0.0.1 or 1.0.0.2 and the size 1 to 1048576\n", stderr);
    return 2;
  }
  try {
    TNKFChartDescription chart = NKFSampleChart(code, static_cast<int32_t>(width), static_cast<int32_t>(height));
    chart.Tag.Text2 = "Written by nkf2sample";
    chart.Tag.Border = {{0, 0}, {static_cast<int32_t>(width), 0}, {static_cast<int32_t>(width), static_cast<int32_t>(height)}};
    chart.Tag.Links = {{0, "Next chart", "sample-next.nkf2"}};
    if (argc == 6)
      NKFFillSampleTiles(chart);
    NKFWriteChartFile(argv[1], chart);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "nkf2sample: %s\n", e.what());
    return 1;
  }
  return 0;
}
