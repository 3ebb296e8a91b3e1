// Layout constants of the line-information table that the build stores in the
// program's resources. Shared by the reader (VmRTLI) and the generator in
// tools/, which is built for the host: standard headers only.
#pragma once

#include <cstdint>

namespace RTLIFormat {

// RCDATA resource of the program's own module.
inline constexpr uint16_t ResourceType = 10;
inline constexpr uint16_t ResourceId = 30583;

inline constexpr uint8_t Signature[16] = {0x0F, 0x1F, 0x2F, 0x3F, 0x4F, 0x5F, 0x6F, 0x7F,
                                          0x8F, 0x9F, 0xAF, 0xBF, 0xCF, 0xDF, 0xEF, 0xFF};
inline constexpr unsigned SignatureSize = sizeof(Signature);
inline constexpr unsigned TimestampSize = 8;

// Table addresses are offsets from here (module base + this), where the
// linker starts the code section.
inline constexpr uint32_t LogicalOrigin = 0x1000;

// Name byte i (1-based) is stored XOR ((i + NameKey) mod 256).
inline constexpr uint8_t NameKey = 0x6B;
inline constexpr unsigned MaxNameLength = 255;

inline uint8_t NameMask(unsigned index1) { return static_cast<uint8_t>((index1 + NameKey) & 0xFF); }

// Pair forms: a first byte whose low 6 bits are 0..55 is the one-byte form;
// 57..63 select forms of 8..2 bytes, 56 the nine-byte form.
inline constexpr unsigned PairShortLimit = 56;
inline constexpr unsigned PairWideSelector = 56;
inline constexpr unsigned PairShortMaxStep = 4;
// Length in bytes of the packed form selected by s (57..63).
inline constexpr unsigned PackedPairLength(unsigned s) { return 65 - s; }
// Bits of a and of b in a packed form of n bytes (after the 6 selector bits).
inline constexpr unsigned PackedPairABits(unsigned n) { return 4 * n - 2; }
inline constexpr unsigned PackedPairBBits(unsigned n) { return 4 * n - 4; }

} // namespace RTLIFormat
