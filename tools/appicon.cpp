// appicon FILE.ico: writes the installer's icon (16 and 32 pixels, drawn in
// code) to the file. The program's resources compile in the copy committed
// as installer/WML2003Installer.ico; run this again after changing the
// drawing, and a test checks that the two agree.
#include <cstdio>
#include <fstream>

#include "AppIcon.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: appicon FILE.ico\n");
    return 2;
  }
  const std::string bytes = AppIconFile();
  std::ofstream out(argv[1], std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "appicon: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
