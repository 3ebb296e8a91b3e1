// nkf2tiles OUTDIR: writes a few small encoded tiles, one file each, covering
// both forms, every block mode and the alpha runs (seed inputs for the tile
// decoder's fuzz harness).
#include <cstdio>
#include <fstream>
#include <string>

#include "NKF2SampleTiles.h"
#include "NKF2TileEncoder.h"
#include "VmNKF2Codec.h"

namespace {

// A chart-like picture with only the first Keep blocks of its top row kept;
// the others take one colour, so the tile stays small.
std::vector<TColor32> SmallChartPicture(uint32_t Seed, int Keep) {
  std::vector<TColor32> pixels = MakeChartLikeTile(Seed);
  for (int p = 0; p < NKF2TilePixels; ++p) {
    const int block = (p / NKF2TileSize / NKF2BlockSize) * NKF2BlocksPerSide + p % NKF2TileSize / NKF2BlockSize;
    if (block >= Keep)
      pixels[p] = (pixels[p] & 0xFF000000) | 0xD8EEF9;
  }
  return pixels;
}

bool Write(const std::string &Folder, const std::string &Name, const std::vector<uint8_t> &Bytes) {
  std::ofstream out(Folder + "/" + Name, std::ios::binary);
  out.write(reinterpret_cast<const char *>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
  return static_cast<bool>(out);
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nkf2tiles OUTDIR\n");
    return 2;
  }
  const std::string folder = argv[1];
  static constexpr TNKF2BlockKind Kinds[] = {TNKF2BlockKind::Uniform, TNKF2BlockKind::BlockPalette,
                                             TNKF2BlockKind::Runs, TNKF2BlockKind::Raw};
  static constexpr const char *KindNames[] = {"uniform", "palette", "runs", "raw"};
  bool ok = true;
  try {
    for (bool global : {false, true}) {
      const std::string form = global ? "global" : "direct";
      for (int k = 0; k < 4; ++k) {
        TNKF2EncodeOptions options;
        options.GlobalPalette = global;
        options.WithAlpha = k % 2 == 0;
        for (int b = 0; b < NKF2BlockCount; ++b)
          options.BlockKinds.push_back(b < 3 && k > 0 ? Kinds[k] : TNKF2BlockKind::Uniform);
        const auto pixels = SmallChartPicture(static_cast<uint32_t>(3 * k + global), k > 0 ? 3 : 0);
        ok &= Write(folder, form + "-" + KindNames[k] + ".tile", EncodeNKF2Tile(pixels.data(), options));
      }
      TNKF2EncodeOptions options;
      options.GlobalPalette = global;
      const auto pixels = SmallChartPicture(9, 6);
      ok &= Write(folder, form + "-auto.tile", EncodeNKF2Tile(pixels.data(), options));
    }
  } catch (const Exception &e) {
    std::fprintf(stderr, "%s: %s\n", e.ClassName(), e.Message().c_str());
    return 1;
  }
  return ok ? 0 : 1;
}
