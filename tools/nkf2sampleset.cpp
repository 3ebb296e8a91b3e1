// nkf2sampleset: writes the sample chart set, nine charts of one made-up
// coast on their own grids and datums, into a folder under the set's file
// names.
//
//   nkf2sampleset FOLDER [--picture OUT.png]
//
// The folder is created when missing; charts already there are replaced. A
// line per chart goes to standard output. --picture also draws every chart's
// border, with its name, over the two overview charts (as read back). Errors go to standard error with
// exit status 1; a wrong command line gives the usage and status 2.
#include <cstdio>
#include <filesystem>
#include <string>

#include "NKFSampleSet.h"
#include "NKFSampleSetPicture.h"
#include "ToolErrors.h"

int main(int argc, char **argv) {
  if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--picture")) {
    std::fputs("usage: nkf2sampleset FOLDER [--picture OUT.png]\n", stderr);
    return 2;
  }
  const std::string folder = argv[1];
  const int status = RunReportingErrors([&] {
    std::filesystem::create_directories(folder);
    int64_t total = 0;
    for (const TNKFSampleSetChart &chart : NKFWriteSampleSet(folder, [](const std::string &Line) {
           std::printf("%s\n", Line.c_str());
           std::fflush(stdout);
         }))
      total += chart.Bytes;
    std::printf("%lld bytes in all\n", static_cast<long long>(total));
    if (argc == 4)
      NKFWriteSampleSetPicture(folder, argv[3]);
  });
  NKFReleaseDrawingCaches();
  return status;
}
