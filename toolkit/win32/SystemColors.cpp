#include "../SystemColors.h"

#include <windows.h>
#include <uxtheme.h>

#include <vector>

#include "../Controls.h"

uint32_t ReadSystemColor(int Index) { return GetSysColor(Index); }

void WriteSystemColors(int Count, const int *Indices, const uint32_t *Colors) {
  const std::vector<COLORREF> colors(Colors, Colors + Count);
  SetSysColors(Count, Indices, colors.data());
}

// The program's own theme properties count too: they are what switching
// visual styles off for this program changes.
bool VisualStylesEnabled() {
  return IsThemeActive() && IsAppThemed() && (GetThemeAppProperties() & STAP_ALLOW_CONTROLS) != 0;
}

void SetVisualStylesEnabled(bool Enabled) {
  SetThemeAppProperties(Enabled ? STAP_VALIDBITS : 0);
  // Windows already open redraw with the new setting only when told.
  EnumerateWindows(0, [](HWND Window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(Window, &owner);
    if (owner == GetCurrentProcessId())
      SendMessageA(Window, WM_THEMECHANGED, 0, 0);
    return true;
  });
}
