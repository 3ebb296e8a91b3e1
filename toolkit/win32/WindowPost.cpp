#include "../WindowPost.h"

#include <windows.h>

bool PostWindowMessage(TWindowHandle Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  return PostMessageA(reinterpret_cast<HWND>(Window), Msg, static_cast<WPARAM>(WParam), static_cast<LPARAM>(LParam)) !=
         FALSE;
}
