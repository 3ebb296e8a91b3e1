// Tile decoding throughput: DecodeTile over chart-like tiles made by the
// tile encoder, side by side with libpng decoding the same pixels stored as
// PNG, and with a plain copy of one tile's 256 KiB of pixels as the ceiling.
// items/s are tiles per second; bytes/s count decoded pixel bytes.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "NKF2SampleTiles.h"
#include "NKF2TileEncoder.h"
#include "VmNKF2Codec.h"

namespace {

constexpr int TileCount = 16;
constexpr size_t TileBytes = size_t{NKF2TilePixels} * sizeof(TColor32);

struct TSampleSet {
  std::vector<std::vector<TColor32>> Pixels;
  std::vector<std::vector<uint8_t>> Direct; // no global palette
  std::vector<std::vector<uint8_t>> Global; // with a global palette
  std::vector<std::vector<uint8_t>> Png;
};

std::vector<uint8_t> EncodePng(const std::vector<TColor32> &Pixels) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = NKF2TileSize;
  image.height = NKF2TileSize;
  image.format = PNG_FORMAT_BGRA; // TColor32's byte order
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, Pixels.data(), 0, nullptr))
    throw std::runtime_error(image.message);
  std::vector<uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, Pixels.data(), 0, nullptr))
    throw std::runtime_error(image.message);
  out.resize(size);
  return out;
}

const TSampleSet &Samples() {
  static const TSampleSet set = [] {
    TSampleSet s;
    for (uint32_t seed = 0; seed < TileCount; ++seed) {
      s.Pixels.push_back(MakeChartLikeTile(seed + 100));
      TNKF2EncodeOptions options;
      s.Direct.push_back(EncodeNKF2Tile(s.Pixels.back().data(), options));
      options.GlobalPalette = true;
      s.Global.push_back(EncodeNKF2Tile(s.Pixels.back().data(), options));
      s.Png.push_back(EncodePng(s.Pixels.back()));
    }
    return s;
  }();
  return set;
}

double AverageSize(const std::vector<std::vector<uint8_t>> &Tiles) {
  size_t total = 0;
  for (const auto &t : Tiles)
    total += t.size();
  return static_cast<double>(total) / static_cast<double>(Tiles.size());
}

void Report(benchmark::State &State, const std::vector<std::vector<uint8_t>> &Tiles) {
  State.SetItemsProcessed(State.iterations());
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(TileBytes));
  State.counters["stored_bytes"] = AverageSize(Tiles);
}

void DecodeSet(benchmark::State &State, const std::vector<std::vector<uint8_t>> &Tiles) {
  TBitmap32 bitmap;
  bitmap.SetSize(NKF2TileSize, NKF2TileSize);
  size_t i = 0;
  for (auto _ : State) {
    const auto &tile = Tiles[i++ % Tiles.size()];
    DecodeTileData(tile.data(), tile.size(), bitmap, true);
    benchmark::DoNotOptimize(bitmap.Bits());
  }
  Report(State, Tiles);
}

void BM_DecodeTile_Direct(benchmark::State &State) { DecodeSet(State, Samples().Direct); }
void BM_DecodeTile_GlobalPalette(benchmark::State &State) { DecodeSet(State, Samples().Global); }

void BM_LibPng(benchmark::State &State) {
  const auto &tiles = Samples().Png;
  std::vector<TColor32> pixels(NKF2TilePixels);
  size_t i = 0;
  for (auto _ : State) {
    const auto &tile = tiles[i++ % tiles.size()];
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, tile.data(), tile.size()))
      State.SkipWithError(image.message);
    image.format = PNG_FORMAT_BGRA;
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
      State.SkipWithError(image.message);
    benchmark::DoNotOptimize(pixels.data());
  }
  Report(State, tiles);
}

void BM_Memcpy256KiB(benchmark::State &State) {
  const auto &source = Samples().Pixels;
  std::vector<TColor32> pixels(NKF2TilePixels);
  size_t i = 0;
  for (auto _ : State) {
    std::memcpy(pixels.data(), source[i++ % source.size()].data(), TileBytes);
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
  State.SetItemsProcessed(State.iterations());
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(TileBytes));
}

// Checks once that the decoder gives back exactly the pixels libpng sees, so
// the two are timed on the same pictures.
void BM_CheckSamePixels(benchmark::State &State) {
  const TSampleSet &s = Samples();
  TBitmap32 bitmap;
  bitmap.SetSize(NKF2TileSize, NKF2TileSize);
  for (auto _ : State) {
    for (int t = 0; t < TileCount; ++t) {
      DecodeTileData(s.Direct[t].data(), s.Direct[t].size(), bitmap, true);
      if (std::memcmp(bitmap.Bits(), s.Pixels[t].data(), TileBytes) != 0)
        State.SkipWithError("decoded tile differs from its picture");
    }
  }
}

} // namespace

BENCHMARK(BM_CheckSamePixels)->Iterations(1);
BENCHMARK(BM_DecodeTile_Direct);
BENCHMARK(BM_DecodeTile_GlobalPalette);
BENCHMARK(BM_LibPng);
BENCHMARK(BM_Memcpy256KiB);

BENCHMARK_MAIN();
