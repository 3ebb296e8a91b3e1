// The viewer program: the application object, the main window and the
// message loop. A chart file named on the command line (as a file
// association passes it, maybe quoted) is shown at once.
#include <windows.h>

#include <string>

#include "FormViewer.h"
#include "SysUtils.h"

namespace {

std::string CommandLineFile(const char *CommandLine) {
  std::string file = Trim(CommandLine ? CommandLine : "");
  if (file.size() >= 2 && file.front() == '"') {
    const size_t close = file.find('"', 1);
    file = file.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  return file;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR CommandLine, int) {
  const std::string file = CommandLineFile(CommandLine);
  return RunApplication([&file](TApplication &Application) { return std::make_unique<TFormViewer>(&Application, file); });
}
