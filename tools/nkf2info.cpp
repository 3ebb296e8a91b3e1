// nkf2info: shows what a chart file holds, or why it does not open.
//
//   nkf2info FILE                       the chart as JSON on standard output
//   nkf2info FILE --tile N --png OUT    tile N decoded as the tile loader does
//                                       it, written as an 8-bit RGBA PNG
//
// On an error the exception's class and message go to standard error and the
// exit status is 1; with --trace last on the line, the trace of where the
// error was raised follows (unit, routine, file and line of every frame). JSON keys are the chart's field names; texts are written
// byte for byte, bytes outside printable ASCII as \u00XX of the same value.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#if defined(VM_HAVE_LIBPNG)
#include <png.h>
#endif

#include "NKFChartJson.h"
#include "NKFTileReader.h"
#include "PngStoredWriter.h"
#include "ToolErrors.h"
#include "VmFileIO.h"
#include "VmNKF2Codec.h"
#include "VmNKFCharts.h"
#include "VmRTLI.h"

namespace {

#if defined(VM_HAVE_LIBPNG)
void WritePng(const std::string &FileName, const std::vector<uint8_t> &RGBA) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = NKF2TileSize;
  image.height = NKF2TileSize;
  image.format = PNG_FORMAT_RGBA;
  if (!png_image_write_to_file(&image, FileName.c_str(), 0, RGBA.data(), 0, nullptr))
    throw EStreamError("Cannot create file " + FileName + " (" + image.message + ")");
}
#else
void WritePng(const std::string &FileName, const std::vector<uint8_t> &RGBA) {
  const std::string png = EncodeStoredPng(NKF2TileSize, NKF2TileSize, RGBA.data());
  std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  if (!out.good())
    throw EStreamError("Cannot create file " + FileName);
}
#endif

int Usage() {
  std::fputs("usage: nkf2info FILE [--tile N --png OUT.png] [--trace]\n", stderr);
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  const bool trace = argc > 1 && std::strcmp(argv[argc - 1], "--trace") == 0;
  if (trace)
    --argc;
  if (argc != 2 && argc != 6)
    return Usage();
  const std::string fileName = argv[1];
  long tile = -1;
  std::string png;
  if (argc == 6) {
    if (std::strcmp(argv[2], "--tile") != 0 || std::strcmp(argv[4], "--png") != 0)
      return Usage();
    char *end = nullptr;
    tile = std::strtol(argv[3], &end, 10);
    if (*end != '\0' || tile < 0)
      return Usage();
    png = argv[5];
  }
  return RunReportingErrors([&] {
    TNKFChart chart(fileName);
    if (png.empty()) {
      const std::string json = NKFChartJson(chart);
      std::fwrite(json.data(), 1, json.size(), stdout);
    } else {
      if (static_cast<uint64_t>(tile) >= chart.TileCount)
        throw ENKFChartError("nkf2info: Tile " + std::to_string(tile) + " is not below TileCount (" +
                             std::to_string(chart.TileCount) + ")");
      TNKFTileReader reader(chart);
      WritePng(png, reader.ReadRGBA(static_cast<uint32_t>(tile)));
    }
  }, trace);
}
