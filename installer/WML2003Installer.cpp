// The program: the application object, the main window, the message loop.
// No command line is read.
#include <windows.h>

#include "FormMain.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  TApplication application;
  application.Initialize();
  try {
    TFormMain form(&application);
    application.SetMainForm(&form);
    application.Run();
  } catch (const std::exception &e) {
    application.HandleException(e);
    return 1;
  }
  return 0;
}
