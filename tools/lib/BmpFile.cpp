#include "BmpFile.h"

#include <algorithm>
#include <cstring>

#include "Classes.h"

namespace {

constexpr uint16_t BmpMagic = 0x4D42; // "BM"
constexpr uint32_t FileHeaderSize = 14;
constexpr uint32_t InfoHeaderSize = 40;

// BI_RGB, BI_RLE8, BI_RLE4 as the info header numbers them.
uint32_t CompressionCode(TBitmapCompression C) {
  switch (C) {
  case TBitmapCompression::bcNone:
    return 0;
  case TBitmapCompression::bcRLE8:
    return 1;
  case TBitmapCompression::bcRLE4:
    return 2;
  }
  return 0;
}

template <class T> void Put(std::string &Out, T Value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &Value, sizeof(T));
  Out.append(bytes, sizeof(T));
}

template <class T> T Get(const std::string &In, size_t Offset) {
  if (Offset + sizeof(T) > In.size())
    throw EGraphicsError("ReadBmpHeader: File too short");
  T v;
  std::memcpy(&v, In.data() + Offset, sizeof(T));
  return v;
}

// Length of the run at I whose pixels alternate between I's and I+1's value.
int32_t AlternatingRun(const uint8_t *P, int32_t I, int32_t Count) {
  int32_t n = 1;
  while (I + n < Count && n < 255 && P[I + n] == P[I + (n & 1)])
    ++n;
  return n;
}

void PutEncoded4(std::string &Out, const uint8_t *P, int32_t Count) {
  Out += static_cast<char>(Count);
  Out += static_cast<char>(P[0] << 4 | (Count > 1 ? P[1] : 0));
}

std::string PixelRows(const TIndexedImage &Image, int BitCount, TBitmapCompression Compression) {
  std::string out;
  const int32_t stride = (Image.Width * BitCount + 31) / 32 * 4;
  std::vector<uint8_t> packed(static_cast<size_t>(stride));
  for (int32_t y = Image.Height - 1; y >= 0; --y) {
    const uint8_t *row = Image.Pixels.data() + static_cast<size_t>(y) * Image.Width;
    if (Compression == TBitmapCompression::bcRLE4) {
      out += EncodeRLE4Line(row, Image.Width);
      continue;
    }
    TMemoryStream line;
    if (Compression == TBitmapCompression::bcRLE8) {
      ScanlineWriteRLE8(line, row, Image.Width);
    } else {
      std::fill(packed.begin(), packed.end(), 0);
      for (int32_t x = 0; x < Image.Width; ++x)
        packed[x * BitCount / 8] |= static_cast<uint8_t>(BitCount == 8 ? row[x] : (x & 1 ? row[x] : row[x] << 4));
      ScanlineWriteRaw(line, packed.data(), stride, stride);
    }
    out.append(reinterpret_cast<const char *>(line.Bytes().data()), line.Bytes().size());
  }
  if (Compression != TBitmapCompression::bcNone)
    out += std::string("\0\1", 2);
  return out;
}

} // namespace

std::string EncodeRLE4Line(const uint8_t *P, int32_t Count) {
  std::string out;
  for (int32_t i = 0; i < Count;) {
    const int32_t run = AlternatingRun(P, i, Count);
    if (run >= 4) {
      PutEncoded4(out, P + i, run);
      i += run;
      continue;
    }
    const int32_t start = i;
    while (i < Count && i - start < 255 && AlternatingRun(P, i, Count) < 4)
      ++i;
    const int32_t length = i - start;
    if (length < 3) {
      PutEncoded4(out, P + start, length);
      continue;
    }
    out += '\0';
    out += static_cast<char>(length);
    const int32_t bytes = (length + 1) / 2;
    for (int32_t b = 0; b < bytes; ++b) {
      const int32_t x = start + 2 * b;
      out += static_cast<char>(P[x] << 4 | (x + 1 < start + length ? P[x + 1] : 0));
    }
    if (bytes & 1)
      out += '\0';
  }
  out += std::string("\0\0", 2);
  return out;
}

std::string WriteIndexedBmp(const TIndexedImage &Image, int BitCount, TBitmapCompression Compression) {
  const std::string rows = PixelRows(Image, BitCount, Compression);
  const uint32_t colours = 1u << BitCount;
  const uint32_t dataOffset = FileHeaderSize + InfoHeaderSize + 4 * colours;
  std::string out;
  Put<uint16_t>(out, BmpMagic);
  Put<uint32_t>(out, dataOffset + static_cast<uint32_t>(rows.size()));
  Put<uint32_t>(out, 0);
  Put<uint32_t>(out, dataOffset);
  Put<uint32_t>(out, InfoHeaderSize);
  Put<int32_t>(out, Image.Width);
  Put<int32_t>(out, Image.Height);
  Put<uint16_t>(out, 1);
  Put<uint16_t>(out, static_cast<uint16_t>(BitCount));
  Put<uint32_t>(out, CompressionCode(Compression));
  Put<uint32_t>(out, static_cast<uint32_t>(rows.size()));
  Put<int32_t>(out, 2835); // 72 dpi
  Put<int32_t>(out, 2835);
  Put<uint32_t>(out, colours);
  Put<uint32_t>(out, 0);
  for (uint32_t i = 0; i < colours; ++i)
    Put<uint32_t>(out, i < Image.Palette.size() ? Image.Palette[i] : 0);
  return out + rows;
}

TBmpHeader ReadBmpHeader(const std::string &File) {
  if (Get<uint16_t>(File, 0) != BmpMagic)
    throw EGraphicsError("ReadBmpHeader: Not a BMP file");
  TBmpHeader h;
  h.DataOffset = Get<uint32_t>(File, 10);
  const uint32_t infoSize = Get<uint32_t>(File, 14);
  h.Width = Get<int32_t>(File, 18);
  h.Height = Get<int32_t>(File, 22);
  h.BitCount = Get<uint16_t>(File, 28);
  const uint32_t compression = Get<uint32_t>(File, 30);
  uint32_t colours = Get<uint32_t>(File, 46);
  if (h.Width <= 0 || h.Height <= 0 || (h.BitCount != 4 && h.BitCount != 8) || compression > 2)
    throw EGraphicsError("ReadBmpHeader: Not an indexed bottom-up BMP");
  h.Compression = compression == 0 ? TBitmapCompression::bcNone
                  : compression == 1 ? TBitmapCompression::bcRLE8
                                     : TBitmapCompression::bcRLE4;
  if (colours == 0 || colours > (1u << h.BitCount))
    colours = 1u << h.BitCount;
  for (uint32_t i = 0; i < colours; ++i)
    h.Palette.push_back(Get<uint32_t>(File, FileHeaderSize + infoSize + 4 * i) & 0xFFFFFF);
  return h;
}

TIndexedImage DecodeIndexedBmp(const std::string &File) {
  const TBmpHeader h = ReadBmpHeader(File);
  const int32_t stride = h.Stride();
  TMemoryStream stream(std::vector<uint8_t>(File.begin() + std::min<size_t>(h.DataOffset, File.size()), File.end()));
  TIndexedImage image{h.Width, h.Height, h.Palette,
                      std::vector<uint8_t>(static_cast<size_t>(h.Width) * static_cast<size_t>(h.Height))};
  const TScanlineCoder &coder = ScanlineCoders[static_cast<int>(h.Compression)];
  const TScanlineFormat format = h.BitCount == 4 ? TScanlineFormat::sf4Bit : TScanlineFormat::sf8Bit;
  std::vector<uint8_t> line(static_cast<size_t>(stride));
  for (int32_t y = h.Height - 1; y >= 0; --y) {
    std::fill(line.begin(), line.end(), 0);
    const TScanlineEnd end = coder.ReadLine(stream, line.data(), stride, stride);
    ConvertScanline(format, TScanlineFormat::sf8Bit, line.data(),
                    image.Pixels.data() + static_cast<size_t>(y) * h.Width, h.Width, nullptr);
    if (end == TScanlineEnd::seEndOfBitmap)
      break;
  }
  return image;
}
