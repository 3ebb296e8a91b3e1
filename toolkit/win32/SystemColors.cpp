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

// The program's theme switch alone does not reach Wine, whose themes ignore
// it: each window and control of the program also has its theme taken away
// (a class list that names no class draws it the classic way, in the system
// colours) and given back. Scroll bars of a window's own frame stay themed
// under Wine whatever is done: a window that must go dark draws its scroll
// bars as controls of their own.
void SetVisualStylesEnabled(bool Enabled) {
  SetThemeAppProperties(Enabled ? STAP_VALIDBITS : 0);
  const auto retheme = [Enabled](HWND Window) {
    SetWindowTheme(Window, Enabled ? nullptr : L" ", Enabled ? nullptr : L" ");
    // Windows already open redraw with the new setting only when told.
    SendMessageA(Window, WM_THEMECHANGED, 0, 0);
    return true;
  };
  EnumerateWindows(0, [&retheme](HWND Window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(Window, &owner);
    if (owner == GetCurrentProcessId()) {
      retheme(Window);
      EnumerateChildWindows(Window, retheme);
    }
    return true;
  });
}
