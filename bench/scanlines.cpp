// Scanline conversion and RLE8 decoding, side by side with their yardsticks:
// line conversions (8-bit indexed and 24-bit to 32-bit) against memcpy of the
// same output size, and the RLE8 decoding of a whole picture against
// ImageMagick decoding the same BMP file. ImageMagick is timed as a library
// call through Magick++ (Image::read from a blob in memory), so neither
// process start-up nor file reading is in either figure; its read also fills
// its own pixel cache, which is part of what a caller gets from it.
#include <benchmark/benchmark.h>

#include <Magick++.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BmpFile.h"
#include "Classes.h"
#include "VmGraphics.h"

namespace {

constexpr int32_t LineWidth = 4096;

std::vector<uint8_t> RandomBytes(size_t Count) {
  std::mt19937 random(1);
  std::vector<uint8_t> b(Count);
  for (auto &v : b)
    v = static_cast<uint8_t>(random());
  return b;
}

void ConvertLine(benchmark::State &State, TScanlineFormat From, int SourceBytesPerPixel) {
  const std::vector<uint8_t> source = RandomBytes(static_cast<size_t>(LineWidth) * SourceBytesPerPixel);
  std::vector<uint32_t> palette(256);
  for (uint32_t i = 0; i < 256; ++i)
    palette[i] = i * 0x010101u;
  std::vector<uint32_t> dest(LineWidth);
  for (auto _ : State) {
    ConvertScanline(From, TScanlineFormat::sf32Bit, source.data(), dest.data(), LineWidth, palette.data());
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(State.iterations() * LineWidth * 4);
}

void BM_Convert8BitTo32Bit(benchmark::State &State) { ConvertLine(State, TScanlineFormat::sf8Bit, 1); }
void BM_Convert24BitTo32Bit(benchmark::State &State) { ConvertLine(State, TScanlineFormat::sf24Bit, 3); }

// The same 32-bit output written by memcpy alone.
void BM_MemcpyLine32Bit(benchmark::State &State) {
  const std::vector<uint8_t> source = RandomBytes(static_cast<size_t>(LineWidth) * 4);
  std::vector<uint32_t> dest(LineWidth);
  for (auto _ : State) {
    std::memcpy(dest.data(), source.data(), source.size());
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(State.iterations() * LineWidth * 4);
}

BENCHMARK(BM_Convert8BitTo32Bit);
BENCHMARK(BM_Convert24BitTo32Bit);
BENCHMARK(BM_MemcpyLine32Bit);

// A chart-like 1024 x 768 picture in 64 colours (long runs of one colour,
// some single pixels), written as RLE8 by ImageMagick itself.
constexpr int32_t PictureWidth = 1024;
constexpr int32_t PictureHeight = 768;

const std::string &MagickRLE8File() {
  static const std::string file = [] {
    std::mt19937 random(2);
    Magick::Image image(Magick::Geometry(PictureWidth, PictureHeight), Magick::Color("white"));
    std::vector<uint8_t> rgb;
    uint8_t index = 0;
    for (int32_t i = 0; i < PictureWidth * PictureHeight; ++i) {
      if (random() % 24 == 0)
        index = static_cast<uint8_t>(random() % 64);
      rgb.insert(rgb.end(), {static_cast<uint8_t>(index * 4), static_cast<uint8_t>(255 - index * 3),
                             static_cast<uint8_t>(index * 37)});
    }
    image.read(PictureWidth, PictureHeight, "RGB", Magick::CharPixel, rgb.data());
    image.type(Magick::PaletteType);
    image.compressType(Magick::RLECompression);
    image.magick("BMP3");
    Magick::Blob blob;
    image.write(&blob);
    return std::string(static_cast<const char *>(blob.data()), blob.length());
  }();
  return file;
}

void BM_RLE8DecodeOurs(benchmark::State &State) {
  const std::string &file = MagickRLE8File();
  const TBmpHeader header = ReadBmpHeader(file);
  if (header.Compression != TBitmapCompression::bcRLE8) {
    State.SkipWithError("ImageMagick wrote no RLE8");
    return;
  }
  const int32_t stride = header.Stride();
  std::vector<uint8_t> pixels(static_cast<size_t>(stride) * header.Height);
  TMemoryStream stream(std::vector<uint8_t>(file.begin() + header.DataOffset, file.end()));
  for (auto _ : State) {
    stream.SetPosition(0);
    // Bottom-up rows, one line at a time as a BMP reader takes them.
    for (int32_t y = header.Height - 1; y >= 0; --y)
      ScanlineReadRLE8(stream, pixels.data() + static_cast<size_t>(y) * stride, stride);
    benchmark::DoNotOptimize(pixels.data());
  }
  State.counters["file_bytes"] = static_cast<double>(file.size());
}

void BM_RLE8DecodeImageMagick(benchmark::State &State) {
  const std::string &file = MagickRLE8File();
  const Magick::Blob blob(file.data(), file.size());
  for (auto _ : State) {
    Magick::Image image;
    image.read(blob);
    benchmark::DoNotOptimize(image.columns());
  }
}

BENCHMARK(BM_RLE8DecodeOurs);
BENCHMARK(BM_RLE8DecodeImageMagick);

} // namespace

int main(int argc, char **argv) {
  Magick::InitializeMagick(*argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
