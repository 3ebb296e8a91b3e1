// The chart set's names: its nine chart files and its registration records, apart
// from the registry code so that the native tools name them from the same table.
#pragma once

#include <array>

constexpr int ChartFileCount = 9;

// The nine files of the set; every loop over the set uses this order.
extern const std::array<const char *, ChartFileCount> ChartFileNames;

// The registration records under HKEY_LOCAL_MACHINE (see ChartSetRegistry.h),
// here so that the native tools read an exported copy with the same names.
extern const char *const ChartSetKey;
extern const char *const ChartSetName;
extern const char *const ChartModuleKey;
extern const char *const ChartModuleName;
// A chart's key is this prefix followed by its file name, extension included.
extern const char *const ChartKeyPrefix;
