#include "AppIcon.h"

#include <cmath>
#include <iterator>
#include <optional>
#include <stdexcept>

namespace {

// The drawing is laid out on a 32-unit square; strokes are one pixel wide
// at every size, so that the small icon keeps sharp outlines.
constexpr double DesignSize = 32.0;
// Samples per pixel along each axis: edges are anti-aliased by coverage.
constexpr int Supersampling = 8;

constexpr uint32_t Navy = 0x1F3A5F;
constexpr uint32_t Sea = 0x8EC3E6;
constexpr uint32_t Land = 0xE2C784;
constexpr uint32_t RoseFace = 0xFFFFFF;
constexpr uint32_t North = 0xC8102E;

struct TPoint {
  double X, Y;
};

// The chart sheet, its frame included.
constexpr double SheetLeft = 2, SheetTop = 2, SheetRight = 30, SheetBottom = 30;
// A stretch of coast in the sheet's top-left corner.
constexpr TPoint Coast[] = {{2, 2}, {19, 2}, {17, 5}, {13, 7}, {10, 11}, {6, 13}, {2, 16}};
// The compass rose: a ringed disc with four points, north in red.
constexpr TPoint RoseCentre{19, 19};
constexpr double RoseRadius = 9;
constexpr double PointLength = 8;
constexpr double PointHalfWidth = 2.2;

bool InPolygon(const TPoint *Points, size_t Count, double X, double Y) {
  bool inside = false;
  for (size_t i = 0, j = Count - 1; i < Count; j = i++) {
    const TPoint &a = Points[i], &b = Points[j];
    if ((a.Y > Y) != (b.Y > Y) && X < (b.X - a.X) * (Y - a.Y) / (b.Y - a.Y) + a.X)
      inside = !inside;
  }
  return inside;
}

// The rose's point towards (Dx, Dy), a unit direction.
bool InRosePoint(double X, double Y, double Dx, double Dy) {
  const TPoint c = RoseCentre;
  const TPoint triangle[] = {{c.X + Dx * PointLength, c.Y + Dy * PointLength},
                             {c.X - Dy * PointHalfWidth, c.Y + Dx * PointHalfWidth},
                             {c.X + Dy * PointHalfWidth, c.Y - Dx * PointHalfWidth}};
  return InPolygon(triangle, std::size(triangle), X, Y);
}

// The colour at a point of the design, topmost shape first; Stroke is one
// pixel in design units. None outside the sheet.
std::optional<uint32_t> ColourAt(double X, double Y, double Stroke) {
  if (InRosePoint(X, Y, 0, -1))
    return North;
  if (InRosePoint(X, Y, 0, 1) || InRosePoint(X, Y, 1, 0) || InRosePoint(X, Y, -1, 0))
    return Navy;
  const double r = std::hypot(X - RoseCentre.X, Y - RoseCentre.Y);
  if (r < RoseRadius - Stroke)
    return RoseFace;
  if (r < RoseRadius)
    return Navy;
  if (X < SheetLeft || X >= SheetRight || Y < SheetTop || Y >= SheetBottom)
    return std::nullopt;
  if (X < SheetLeft + Stroke || X >= SheetRight - Stroke || Y < SheetTop + Stroke || Y >= SheetBottom - Stroke)
    return Navy;
  return InPolygon(Coast, std::size(Coast), X, Y) ? Land : Sea;
}

uint32_t Channel(uint32_t Colour, int Shift) { return (Colour >> Shift) & 0xFF; }

void PutU16(std::string &Out, uint32_t Value) {
  Out += static_cast<char>(Value & 0xFF);
  Out += static_cast<char>((Value >> 8) & 0xFF);
}

void PutU32(std::string &Out, uint32_t Value) {
  PutU16(Out, Value & 0xFFFF);
  PutU16(Out, Value >> 16);
}

constexpr uint32_t BitmapHeaderSize = 40;
constexpr uint32_t IcoHeaderSize = 6;
constexpr uint32_t IcoEntrySize = 16;

// A mask row: one bit per pixel, padded to whole 32-bit words.
uint32_t MaskRowBytes(int Size) { return static_cast<uint32_t>((Size + 31) / 32 * 4); }

uint32_t ImageBytes(int Size) {
  const auto side = static_cast<uint32_t>(Size);
  return BitmapHeaderSize + side * side * 4 + MaskRowBytes(Size) * side;
}

void PutImage(std::string &Out, const std::vector<uint32_t> &Pixels, int Size) {
  const auto side = static_cast<uint32_t>(Size);
  PutU32(Out, BitmapHeaderSize);
  PutU32(Out, side);
  PutU32(Out, side * 2); // the colour bitmap and the mask, one above the other
  PutU16(Out, 1);        // planes
  PutU16(Out, 32);       // bits per pixel
  PutU32(Out, 0);        // BI_RGB
  PutU32(Out, ImageBytes(Size) - BitmapHeaderSize);
  for (int i = 0; i < 4; ++i)
    PutU32(Out, 0); // resolution and palette: unused
  for (int y = Size - 1; y >= 0; --y)
    for (int x = 0; x < Size; ++x)
      PutU32(Out, Pixels[static_cast<size_t>(y * Size + x)]); // B, G, R, A in memory order
  // Programs that ignore the alpha channel draw through the mask: a pixel
  // less than half covered counts as transparent there.
  for (int y = Size - 1; y >= 0; --y) {
    std::string row(MaskRowBytes(Size), '\0');
    for (int x = 0; x < Size; ++x)
      if (Channel(Pixels[static_cast<size_t>(y * Size + x)], 24) < 0x80)
        row[static_cast<size_t>(x / 8)] = static_cast<char>(row[static_cast<size_t>(x / 8)] | (0x80 >> (x % 8)));
    Out += row;
  }
}

} // namespace

std::vector<uint32_t> DrawAppIcon(int Size) {
  if (Size < 1 || Size > 256)
    throw std::invalid_argument("DrawAppIcon: size out of range");
  const double pixel = DesignSize / Size;
  const double step = pixel / Supersampling;
  std::vector<uint32_t> pixels(static_cast<size_t>(Size * Size));
  for (int py = 0; py < Size; ++py) {
    for (int px = 0; px < Size; ++px) {
      uint32_t sum[3] = {}, covered = 0;
      for (int sy = 0; sy < Supersampling; ++sy) {
        for (int sx = 0; sx < Supersampling; ++sx) {
          const auto colour = ColourAt(px * pixel + (sx + 0.5) * step, py * pixel + (sy + 0.5) * step, pixel);
          if (!colour)
            continue;
          for (int c = 0; c < 3; ++c)
            sum[c] += Channel(*colour, 16 - 8 * c);
          ++covered;
        }
      }
      uint32_t argb = 0;
      if (covered) {
        const uint32_t samples = Supersampling * Supersampling;
        argb = (covered * 255 + samples / 2) / samples << 24;
        for (int c = 0; c < 3; ++c)
          argb |= (sum[c] + covered / 2) / covered << (16 - 8 * c);
      }
      pixels[static_cast<size_t>(py * Size + px)] = argb;
    }
  }
  return pixels;
}

std::string EncodeIco(const std::vector<std::vector<uint32_t>> &Images, const std::vector<int> &Sizes) {
  if (Images.size() != Sizes.size() || Images.empty())
    throw std::invalid_argument("EncodeIco: one size per image needed");
  std::string out;
  PutU16(out, 0);
  PutU16(out, 1); // an icon, not a cursor
  PutU16(out, static_cast<uint32_t>(Images.size()));
  uint32_t offset = IcoHeaderSize + IcoEntrySize * static_cast<uint32_t>(Images.size());
  for (size_t i = 0; i < Images.size(); ++i) {
    const int size = Sizes[i];
    if (size < 1 || size > 256 || Images[i].size() != static_cast<size_t>(size * size))
      throw std::invalid_argument("EncodeIco: image does not match its size");
    out += static_cast<char>(size & 0xFF); // 256 is written as 0
    out += static_cast<char>(size & 0xFF);
    out += '\0'; // no palette
    out += '\0';
    PutU16(out, 1);
    PutU16(out, 32);
    PutU32(out, ImageBytes(size));
    PutU32(out, offset);
    offset += ImageBytes(size);
  }
  for (size_t i = 0; i < Images.size(); ++i)
    PutImage(out, Images[i], Sizes[i]);
  return out;
}

std::string AppIconFile() {
  std::vector<std::vector<uint32_t>> images;
  std::vector<int> sizes;
  for (int size : AppIconSizes) {
    images.push_back(DrawAppIcon(size));
    sizes.push_back(size);
  }
  return EncodeIco(images, sizes);
}
