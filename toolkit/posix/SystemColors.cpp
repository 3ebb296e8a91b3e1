#include "../SystemColors.h"

namespace {

// The classic Windows scheme, indexed by system colour number.
constexpr uint32_t ClassicColors[SystemColorCount] = {
    0xC8C8C8, 0x808000, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
    0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
    0xE1FFFF, 0x000000, 0x800000, 0xF0CAA6, 0xC0C0C0, 0x6A240A, 0xC8D0D4,
};

} // namespace

uint32_t ReadSystemColor(int Index) {
  return Index >= 0 && Index < SystemColorCount ? ClassicColors[Index] : 0;
}

void WriteSystemColors(int, const int *, const uint32_t *) {}

bool VisualStylesEnabled() { return false; }

void SetVisualStylesEnabled(bool) {}
