// The nine chart files of the set, apart from the registry code so that the
// native tools that write the sample set name their files from the same table.
#pragma once

#include <array>

constexpr int ChartFileCount = 9;

// The nine files of the set; every loop over the set uses this order.
extern const std::array<const char *, ChartFileCount> ChartFileNames;
