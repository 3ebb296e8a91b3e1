// The program: the application object, the main window, the message loop.
// No command line is read.
#include <windows.h>

#include "FormMain.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return RunApplication([](TApplication &Application) { return std::make_unique<TFormMain>(&Application); });
}
