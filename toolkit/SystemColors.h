// The operating system's user-interface colours and visual styles, as the
// night screen changes them. On Windows these are the real system settings;
// natively there are no global colours to change, so the set operations do
// nothing and the colours read are the classic Windows defaults (so that a
// system-colour reference still resolves to something sensible).
#pragma once

#include <cstdint>

// Framework colour: 0x00BBGGRR, or with the top bit set a reference to the
// system colour whose number is the low byte.
using TColor = int32_t;
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);

// System colour numbers 0 (scroll bar) to 30 (menu bar).
constexpr int SystemColorCount = 31;

// 0x00BBGGRR of system colour Index (0..SystemColorCount - 1).
uint32_t ReadSystemColor(int Index);
// Sets Count system colours at once; Colors are 0x00BBGGRR.
void WriteSystemColors(int Count, const int *Indices, const uint32_t *Colors);
// Whether visual styles are available and on for this program.
bool VisualStylesEnabled();
// Switches visual styles on or off for this program's windows.
void SetVisualStylesEnabled(bool Enabled);
