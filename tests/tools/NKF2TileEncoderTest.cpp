#include "NKF2TileEncoder.h"

#include <gtest/gtest.h>

#include <functional>

#include "VmNKF2Codec.h"

namespace {

// What the encoder must refuse rather than write a tile that decodes to
// something else.
TEST(NKF2TileEncoder, RefusesPicturesItCannotWriteAsAsked) {
  struct TCase {
    const char *Name;
    std::function<void(std::vector<TColor32> &, TNKF2EncodeOptions &)> Setup;
    const char *Message;
  } cases[] = {
      {"UniformKindOnTwoColours",
       [](auto &p, auto &o) {
         p[17 * 256 + 40] = 0xFF000001;
         o.Kind = TNKF2BlockKind::Uniform;
       },
       "EncodeNKF2Tile: Block 18 cannot be written in the kind asked for"},
      {"BlockPaletteOver253Colours",
       [](auto &p, auto &o) {
         for (int i = 0; i < 254; ++i)
           p[(i / 16) * 256 + i % 16] = 0xFF000000 | i;
         o.Kind = TNKF2BlockKind::BlockPalette;
       },
       "EncodeNKF2Tile: Block 0 cannot be written in the kind asked for"},
      {"GlobalPaletteOver65535Colours",
       [](auto &p, auto &o) {
         for (int i = 0; i < 65536; ++i)
           p[i] = 0xFF000000 | (i * 3);
         o.GlobalPalette = true;
       },
       "EncodeNKF2Tile: More than 65535 colours for a global palette"},
      {"PartialAlpha", [](auto &p, auto &) { p[300] = 0x80FFFFFF; },
       "EncodeNKF2Tile: Pixel 300 is neither opaque nor transparent"},
      {"ShortKindList", [](auto &, auto &o) { o.BlockKinds.resize(255, TNKF2BlockKind::Raw); },
       "EncodeNKF2Tile: Block kinds must name all 256 blocks"},
  };
  for (const TCase &c : cases) {
    std::vector<TColor32> pixels(NKF2TilePixels, 0xFF102030);
    TNKF2EncodeOptions options;
    c.Setup(pixels, options);
    try {
      EncodeNKF2Tile(pixels.data(), options);
      ADD_FAILURE() << c.Name << ": no error";
    } catch (const ENKF2EncodeError &e) {
      EXPECT_EQ(e.Message(), c.Message) << c.Name;
    }
  }
}

// Bits fill little-endian words from the lowest bit; a word is emitted as
// soon as it is full and padded with zeros when flushed.
TEST(NKF2TileEncoder, WriterLaysBitsOutAsTheDecoderReadsThem) {
  TNKF2TileWriter w;
  w.WriteByte(0xEE);
  w.WriteBits(1, 1);
  w.WriteBits(0x7F, 7);
  w.WriteBits(0xABCDEF, 24); // exactly fills the word
  EXPECT_EQ(w.Bytes(), (std::vector<uint8_t>{0xEE, 0xFF, 0xEF, 0xCD, 0xAB}));
  w.WriteBits(0x3, 2);
  w.FlushBits();
  w.WriteWord(0x8000);
  EXPECT_EQ(w.Bytes(), (std::vector<uint8_t>{0xEE, 0xFF, 0xEF, 0xCD, 0xAB, 0x03, 0, 0, 0, 0x00, 0x80}));
  w.WriteBits(1, 1);
  EXPECT_THROW(w.WriteByte(0), ENKF2EncodeError);
  EXPECT_THROW(w.WriteBits(4, 2), ENKF2EncodeError);
}

} // namespace
