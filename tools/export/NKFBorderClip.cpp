#include "NKFBorderClip.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int Bands = 4; // red, green, blue, alpha

} // namespace

TNKFClipPolygon NKFClipPolygon(const TNKFChart &Chart, int Level, bool Clip) {
  TNKFClipPolygon polygon;
  if (!Clip || Chart.Border.Count() < 3)
    return polygon;
  const double f = std::ldexp(1.0, -Level);
  for (int32_t i = 0; i < Chart.Border.Count(); ++i) {
    const TPoint p = Chart.Border.GetPoint(i);
    polygon.push_back({p.X * f, p.Y * f});
  }
  return polygon;
}

void NKFClipTile(std::vector<uint8_t> &RGBA, int Left, int Top, const TNKFClipPolygon &Polygon) {
  std::vector<double> crossings;
  for (int y = 0; y < NKFTileSize; ++y) {
    const double cy = Top + y + 0.5;
    crossings.clear();
    for (size_t i = 0; i < Polygon.size(); ++i) {
      const TDoublePoint &a = Polygon[i], &b = Polygon[(i + 1) % Polygon.size()];
      if ((a.Y > cy) != (b.Y > cy))
        crossings.push_back(a.X + (cy - a.Y) * (b.X - a.X) / (b.Y - a.Y));
    }
    std::sort(crossings.begin(), crossings.end());
    uint8_t *row = RGBA.data() + static_cast<size_t>(y) * NKFTileSize * Bands;
    size_t next = 0;
    bool inside = false;
    for (int x = 0; x < NKFTileSize; ++x) {
      const double cx = Left + x + 0.5;
      for (; next < crossings.size() && crossings[next] <= cx; ++next)
        inside = !inside;
      if (!inside)
        row[x * Bands + 3] = 0;
    }
  }
}
