// The nine chart files of the set. Portable: the installer's registration
// records and search use the table, and so does the native export of the
// whole set.
#pragma once

#include <array>

constexpr int ChartFileCount = 9;

// The nine files of the set; every loop over the set uses this order.
extern const std::array<const char *, ChartFileCount> ChartFileNames;
