// Scanline conversion and RLE8 decoding, side by side with their yardsticks:
// line conversions (8-bit indexed and 24-bit to 32-bit) against memcpy of the
// same output size and against pixman converting the same line
// (pixman_image_composite32 with PIXMAN_OP_SRC into PIXMAN_a8r8g8b8), and
// the RLE8 decoding of a whole picture against ImageMagick decoding the same
// BMP file. ImageMagick is timed as a library call through Magick++
// (Image::read from a blob in memory), so neither process start-up nor file
// reading is in either figure; its read also fills its own pixel cache, which
// is part of what a caller gets from it. Before timing, the agreement of
// pixman's lines with ours is printed; after it, the ratios.
#include <benchmark/benchmark.h>

#include <Magick++.h>
#include <pixman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "BmpFile.h"
#include "Classes.h"
#include "RateReporter.h"
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

// The line's source bytes for a format, and the palette of the indexed one
// (every entry's reserved byte 0, as in a BMP colour table).
const std::vector<uint8_t> &SourceLine(int BytesPerPixel) {
  static std::map<int, std::vector<uint8_t>> lines;
  std::vector<uint8_t> &line = lines[BytesPerPixel];
  if (line.empty())
    line = RandomBytes(static_cast<size_t>(LineWidth) * BytesPerPixel);
  return line;
}

const std::vector<uint32_t> &Palette() {
  static const std::vector<uint32_t> palette = [] {
    std::vector<uint32_t> p(256);
    for (uint32_t i = 0; i < 256; ++i)
      p[i] = (i * 0x01030507u) & 0xFFFFFF;
    return p;
  }();
  return palette;
}

void ConvertLine(benchmark::State &State, TScanlineFormat From, int SourceBytesPerPixel, TScanlineFormat To) {
  const std::vector<uint8_t> &source = SourceLine(SourceBytesPerPixel);
  std::vector<uint32_t> dest(LineWidth);
  for (auto _ : State) {
    ConvertScanline(From, To, source.data(), dest.data(), LineWidth, Palette().data());
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(State.iterations() * LineWidth * 4);
}

void BM_Convert8BitTo32Bit(benchmark::State &State) {
  ConvertLine(State, TScanlineFormat::sf8Bit, 1, TScanlineFormat::sf32Bit);
}
void BM_Convert24BitTo32Bit(benchmark::State &State) {
  ConvertLine(State, TScanlineFormat::sf24Bit, 3, TScanlineFormat::sf32Bit);
}
// With opaque alpha: byte for byte what pixman writes.
void BM_Convert8BitTo32BitAlpha(benchmark::State &State) {
  ConvertLine(State, TScanlineFormat::sf8Bit, 1, TScanlineFormat::sf32BitAlpha);
}
void BM_Convert24BitTo32BitAlpha(benchmark::State &State) {
  ConvertLine(State, TScanlineFormat::sf24Bit, 3, TScanlineFormat::sf32BitAlpha);
}

// Short lines (a small picture's, or the tail of a clipped one): whatever a
// converter sets up before its loop must not cost them more than it saves.
void BM_Convert8BitTo32BitShort(benchmark::State &State) {
  const auto width = static_cast<int32_t>(State.range(0));
  const std::vector<uint8_t> &source = SourceLine(1);
  std::vector<uint32_t> dest(width);
  for (auto _ : State) {
    ConvertScanline(TScanlineFormat::sf8Bit, TScanlineFormat::sf32Bit, source.data(), dest.data(), width,
                    Palette().data());
    benchmark::DoNotOptimize(dest.data());
    benchmark::ClobberMemory();
  }
  State.SetItemsProcessed(State.iterations() * width);
}

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

// pixman's images over our line buffers (pixman wants 32-bit aligned rows).
struct TPixmanImage {
  pixman_image_t *Image;
  explicit TPixmanImage(pixman_image_t *I) : Image(I) {}
  ~TPixmanImage() { pixman_image_unref(Image); }
  TPixmanImage(const TPixmanImage &) = delete;
  TPixmanImage &operator=(const TPixmanImage &) = delete;
};

// The source line as a pixman image: PIXMAN_r8g8b8 (bytes blue, green, red,
// as ours) or PIXMAN_c8 with our palette.
struct TPixmanSource {
  std::vector<uint32_t> Bits;
  std::unique_ptr<pixman_indexed_t> Indexed;
  std::unique_ptr<TPixmanImage> Image;

  explicit TPixmanSource(int BytesPerPixel) : Bits(static_cast<size_t>(LineWidth) * BytesPerPixel / 4) {
    std::memcpy(Bits.data(), SourceLine(BytesPerPixel).data(), Bits.size() * 4);
    const pixman_format_code_t format = BytesPerPixel == 3 ? PIXMAN_r8g8b8 : PIXMAN_c8;
    Image = std::make_unique<TPixmanImage>(
        pixman_image_create_bits(format, LineWidth, 1, Bits.data(), LineWidth * BytesPerPixel));
    if (BytesPerPixel == 1) {
      Indexed = std::make_unique<pixman_indexed_t>();
      // pixman's table holds a8r8g8b8 colours: a BMP colour table's reserved
      // byte is no alpha, so the entries go in opaque, as a caller would set them.
      Indexed->color = 1;
      for (size_t i = 0; i < Palette().size(); ++i)
        Indexed->rgba[i] = Palette()[i] | 0xFF000000u;
      pixman_image_set_indexed(Image->Image, Indexed.get());
    }
  }
};

void PixmanConvert(const TPixmanSource &Source, std::vector<uint32_t> &Dest, const TPixmanImage &DestImage) {
  pixman_image_composite32(PIXMAN_OP_SRC, Source.Image->Image, nullptr, DestImage.Image, 0, 0, 0, 0, 0, 0,
                           LineWidth, 1);
  benchmark::DoNotOptimize(Dest.data());
}

void PixmanLine(benchmark::State &State, int SourceBytesPerPixel) {
  const TPixmanSource source(SourceBytesPerPixel);
  std::vector<uint32_t> dest(LineWidth);
  const TPixmanImage destImage(pixman_image_create_bits(PIXMAN_a8r8g8b8, LineWidth, 1, dest.data(), LineWidth * 4));
  for (auto _ : State) {
    PixmanConvert(source, dest, destImage);
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(State.iterations() * LineWidth * 4);
}

void BM_Pixman8BitTo32Bit(benchmark::State &State) { PixmanLine(State, 1); }
void BM_Pixman24BitTo32Bit(benchmark::State &State) { PixmanLine(State, 3); }

BENCHMARK(BM_Convert8BitTo32Bit);
BENCHMARK(BM_Convert24BitTo32Bit);
BENCHMARK(BM_Convert8BitTo32BitAlpha);
BENCHMARK(BM_Convert24BitTo32BitAlpha);
BENCHMARK(BM_Convert8BitTo32BitShort)->Arg(7)->Arg(20)->Arg(40);
BENCHMARK(BM_Pixman8BitTo32Bit);
BENCHMARK(BM_Pixman24BitTo32Bit);
BENCHMARK(BM_MemcpyLine32Bit);

// pixman's line against ours with opaque alpha, pixel for pixel.
void PrintPixmanAgreement() {
  std::printf("Agreement with pixman over a line of %d pixels:\n", LineWidth);
  for (const auto &[name, bytes, format] : {std::tuple{"8-bit indexed", 1, TScanlineFormat::sf8Bit},
                                            std::tuple{"24-bit", 3, TScanlineFormat::sf24Bit}}) {
    const TPixmanSource source(bytes);
    std::vector<uint32_t> theirs(LineWidth), ours(LineWidth);
    const TPixmanImage destImage(
        pixman_image_create_bits(PIXMAN_a8r8g8b8, LineWidth, 1, theirs.data(), LineWidth * 4));
    PixmanConvert(source, theirs, destImage);
    ConvertScanline(format, TScanlineFormat::sf32BitAlpha, SourceLine(bytes).data(), ours.data(), LineWidth,
                    Palette().data());
    int32_t same = 0;
    for (int32_t i = 0; i < LineWidth; ++i)
      same += theirs[i] == ours[i];
    std::printf("  %-14s -> 32-bit with alpha: %d of %d pixels equal\n", name, same, LineWidth);
  }
  std::printf("\n");
}

// The closing table: the conversions' rates against memcpy and pixman.
void PrintRatios(const TRateReporter &Reporter) {
  std::printf("\n%-28s %12s %14s %12s\n", "conversion", "ours (GB/s)", "of memcpy", "of pixman");
  const double memcpy = Reporter.Rate("BM_MemcpyLine32Bit");
  for (const std::string row : {"8BitTo32Bit", "24BitTo32Bit", "8BitTo32BitAlpha", "24BitTo32BitAlpha"}) {
    const double ours = Reporter.Rate("BM_Convert" + row);
    const double pixman = Reporter.Rate("BM_Pixman" + row.substr(0, row.find("Alpha")));
    if (ours > 0)
      std::printf("%-28s %12.2f %13.0f%% %11.2fx\n", row.c_str(), ours / 1e9, memcpy > 0 ? 100 * ours / memcpy : 0,
                  pixman > 0 ? ours / pixman : 0);
  }
}

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
  PrintPixmanAgreement();
  TRateReporter reporter("bytes_per_second");
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter);
  benchmark::Shutdown();
  return 0;
}
