// A private temporary folder per test, removed with everything in it.
#pragma once

#include <string>

class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir &) = delete;
  TTempDir &operator=(const TTempDir &) = delete;

  // The folder, with the platform's separator at the end.
  const std::string &Path() const { return FPath; }
  // Path() + name.
  std::string File(const std::string &name) const { return FPath + name; }

private:
  std::string FPath;
};

// Writes bytes to a file, replacing it.
void WriteFileBytes(const std::string &path, const std::string &bytes);
std::string ReadFileBytes(const std::string &path);
