#include "TempDir.h"

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TTempDir::TTempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    // Of one length every time: a test near the path limit then meets the
    // same lengths in every run, not one that comes with a small number.
    name << "vmtest-" << std::hex << std::setfill('0') << std::setw(8) << rd() << std::setw(8) << rd();
    const fs::path dir = fs::temp_directory_path() / name.str();
    if (fs::create_directory(dir)) {
      FPath = (dir / "").string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TTempDir::~TTempDir() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

void WriteFileBytes(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}
