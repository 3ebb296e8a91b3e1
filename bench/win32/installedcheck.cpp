// The installed check at start-up, timed under Wine: the records are written
// for the chart folder given (the sample set of scripts/run), then the check
// runs as the main window runs it at start-up (registry reads, the nine
// charts opened and closed). Prints the first check of the process (which
// also starts the tile manager's loader thread; after a drop of the system's
// caches it is the cold start) and the median of the ones after it.
//   bench_installedcheck "D:\ORVA Welmeland 2003\"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "ChartSetRegistry.h"
#include "SysUtils.h"

namespace {

double CheckMs(bool &Installed) {
  const auto start = std::chrono::steady_clock::now();
  Installed = CheckInstalled();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_installedcheck <chart folder>\n");
    return 2;
  }
  if (!RegisterCharts(IncludeTrailingPathDelimiter(argv[1]))) {
    std::fprintf(stderr, "the records could not be written\n");
    return 1;
  }
  bool installed = false;
  const double first = CheckMs(installed);
  if (!installed) {
    std::fprintf(stderr, "the set in %s does not count as installed\n", argv[1]);
    return 1;
  }
  constexpr int Runs = 21;
  std::vector<double> times;
  for (int i = 0; i < Runs; ++i)
    times.push_back(CheckMs(installed));
  std::sort(times.begin(), times.end());
  std::printf("installed check: first %.2f ms, then median %.2f ms (min %.2f, max %.2f, %d runs)\n", first,
              times[Runs / 2], times.front(), times.back(), Runs);
  return 0;
}
