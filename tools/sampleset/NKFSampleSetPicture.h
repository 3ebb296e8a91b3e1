// The sample set at a glance: the two overview charts of a written set, at
// their level 2, side by side in the northern overview's pixels, and over
// them the border of every chart of the set with its name. Read back from
// the files through the chart reader, the tile codec and each chart's own
// calibration, so the picture shows where the charts really lie.
#pragma once

#include <string>

// Reads the set from Folder (the set's file names) and writes the picture
// as PNG. Raises std::runtime_error (or the chart reader's errors).
void NKFWriteSampleSetPicture(const std::string &Folder, const std::string &PngFile);
