#include "NKF2SampleTiles.h"

#include <cmath>

namespace {

constexpr int Side = 256;
constexpr TColor32 Opaque = 0xFF000000;

// xorshift32: the same sequence everywhere, unlike the standard distributions.
class TRandom {
public:
  explicit TRandom(uint32_t Seed) : FState(Seed * 2654435761u + 1) {}
  uint32_t Next() {
    FState ^= FState << 13;
    FState ^= FState >> 17;
    FState ^= FState << 5;
    return FState;
  }
  int Below(int N) { return static_cast<int>(Next() % static_cast<uint32_t>(N)); }

private:
  uint32_t FState;
};

// Depth bands from shallow to deep, then land.
constexpr TColor32 BandColors[] = {0x9FD4F0, 0xBCE2F5, 0xD8EEF9, 0xFFFFFF, 0xF2E3B6};
constexpr int BandCount = sizeof(BandColors) / sizeof(BandColors[0]);
constexpr TColor32 ContourColor = 0x6E8FA8;
constexpr TColor32 CoastColor = 0x202020;
constexpr TColor32 MagentaColor = 0xB0308F;
constexpr TColor32 TextColor = 0x101010;

void Put(std::vector<TColor32> &Pixels, int X, int Y, TColor32 Color) {
  if (X >= 0 && X < Side && Y >= 0 && Y < Side)
    Pixels[Y * Side + X] = Opaque | Color;
}

void DrawBands(std::vector<TColor32> &Pixels, TRandom &Random) {
  const double fx = 0.01 + Random.Below(20) * 0.001, fy = 0.012 + Random.Below(20) * 0.001;
  const double px = Random.Below(628) * 0.01, py = Random.Below(628) * 0.01;
  std::vector<int> band(Side * Side);
  for (int y = 0; y < Side; ++y)
    for (int x = 0; x < Side; ++x) {
      const double depth = std::sin(x * fx + px) + std::cos(y * fy + py) + (x + y) * 0.004;
      int b = static_cast<int>(std::floor((depth + 2.0) * BandCount / 5.0));
      b = b < 0 ? 0 : (b >= BandCount ? BandCount - 1 : b);
      band[y * Side + x] = b;
      Pixels[y * Side + x] = Opaque | BandColors[b];
    }
  // A one-pixel line wherever the band changes: contours at sea, the coast at land.
  for (int y = 0; y + 1 < Side; ++y)
    for (int x = 0; x + 1 < Side; ++x) {
      const int b = band[y * Side + x];
      const int right = band[y * Side + x + 1], below = band[(y + 1) * Side + x];
      if (b != right || b != below) {
        const bool coast = b == BandCount - 1 || right == BandCount - 1 || below == BandCount - 1;
        Put(Pixels, x, y, coast ? CoastColor : ContourColor);
      }
    }
}

void DrawLeadingLines(std::vector<TColor32> &Pixels, TRandom &Random) {
  for (int line = Random.Below(3); line > 0; --line) {
    const int x0 = Random.Below(Side), y0 = Random.Below(Side);
    const int dx = Random.Below(5) - 2, dy = 1 + Random.Below(2);
    for (int t = 0; t < 2 * Side; ++t)
      Put(Pixels, x0 + t * dx / 2 - Side / 2, y0 + t * dy / 2 - Side / 2, MagentaColor);
  }
}

// Soundings and names: rows of 5 x 7 glyphs of random strokes.
void DrawText(std::vector<TColor32> &Pixels, TRandom &Random) {
  for (int word = 4 + Random.Below(8); word > 0; --word) {
    const int x0 = Random.Below(Side - 40), y0 = Random.Below(Side - 8);
    const int letters = 1 + Random.Below(6);
    for (int letter = 0; letter < letters; ++letter) {
      const uint32_t strokes = Random.Next();
      for (int gy = 0; gy < 7; ++gy)
        for (int gx = 0; gx < 5; ++gx)
          if ((strokes >> ((gy * 5 + gx) % 32)) & 1)
            Put(Pixels, x0 + letter * 6 + gx, y0 + gy, TextColor);
    }
  }
}

// Beyond the chart's border (a slanted edge) the tile is transparent.
void CutBorder(std::vector<TColor32> &Pixels, TRandom &Random) {
  const int edge = 64 + Random.Below(128);
  for (int y = 0; y < Side; ++y)
    for (int x = 0; x < Side; ++x)
      if (x + y / 4 > edge + Side / 2)
        Pixels[y * Side + x] &= 0x00FFFFFF;
}

} // namespace

std::vector<TColor32> MakeChartLikeTile(uint32_t Seed) {
  TRandom random(Seed);
  std::vector<TColor32> pixels(Side * Side);
  DrawBands(pixels, random);
  DrawLeadingLines(pixels, random);
  DrawText(pixels, random);
  if (Seed % 3 == 0)
    CutBorder(pixels, random);
  return pixels;
}
