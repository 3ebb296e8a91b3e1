// Replays inputs through a fuzz harness without libFuzzer: every file named on
// the command line, or every file of the folders named. Builds with MinGW too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static void Replay(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

int main(int argc, char **argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      for (const auto &entry : std::filesystem::recursive_directory_iterator(path))
        if (entry.is_regular_file()) {
          Replay(entry.path());
          ++count;
        }
    } else if (std::filesystem::exists(path)) {
      Replay(path);
      ++count;
    }
  }
  std::printf("replayed %d inputs\n", count);
  return 0;
}
