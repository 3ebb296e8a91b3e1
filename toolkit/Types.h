// Small value types of the framework.
#pragma once

#include <cstdint>

// A point in pixels.
struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
};

inline bool operator==(const TPoint &a, const TPoint &b) { return a.X == b.X && a.Y == b.Y; }
