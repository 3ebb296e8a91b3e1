// The input layouts of the tag and calibration-record fuzz targets, kept here
// so that the harnesses and the seed writer agree on them, and the seeds made
// from chart files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "VmNKFCharts.h"

// Tag target: a byte choosing the stored layout (its value modulo 3: 0 for
// 1.0.0.0, 1 for 1.0.0.1, 2 for 1.0.0.2), then the bytes from TagPos to the
// end of a chart file.
uint32_t NKFTagFuzzVersion(uint8_t Selector);
std::string NKFTagFuzzInput(const std::string &ChartFileName);

// Calibration target: a grid byte (modulo 3: Mercator, RD, transverse
// Mercator), the point count, Width and Height (signed 32-bit), the three
// pixel and the three map points (X then Y, doubles), K0 and Lon0, the datum
// type byte, the eleven datum values, and the rest of the input is the datum
// code. A shorter input reads as if padded with zero bytes.
struct TNKFCalibrationFuzzRecord {
  std::unique_ptr<TTagCalibrationData> Data; // Width and Height filled in
};
TNKFCalibrationFuzzRecord NKFDecodeCalibrationFuzzInput(const uint8_t *Data, size_t Size);
// The input that decodes to the calibration data of an opened chart (empty
// when the chart has none).
std::string NKFCalibrationFuzzInput(const TNKFChart &Chart);
