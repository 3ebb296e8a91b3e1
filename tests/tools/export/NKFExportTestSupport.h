// What the export tests share: GDAL set up once per test program, and the
// export program as a user runs it (its status and standard error, or what it
// shows on a terminal of its own; NKF2EXPORT names the program).
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>

#include "TempDir.h"

// GDAL's tables are process-wide; freeing them at the end keeps the leak
// checker's report to our own allocations. Each test program registers one.
class TGdalEnvironment : public testing::Environment {
public:
  void SetUp() override { GDALAllRegister(); }
  void TearDown() override {
    GDALDestroyDriverManager();
    OSRCleanup();
  }
};

struct TRun {
  int Status;
  std::string Errors;
};

inline TRun RunExport(const TTempDir &Dir, const std::string &Arguments) {
  const std::string errors = Dir.File("stderr.txt");
  const int raw = std::system((std::string("'") + NKF2EXPORT + "' " + Arguments + " 2>'" + errors + "'").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFileBytes(errors)};
}

// The names in Folder, sorted: what a run left behind.
inline std::vector<std::string> Entries(const std::string &Folder) {
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(Folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string Quoted(const std::string &Path) { return "'" + Path + "'"; }

// What the program shows on a terminal of its own (script(1) gives it one),
// kept in Dir's terminal.txt.
inline std::string OnTerminal(const TTempDir &Dir, const std::string &Arguments) {
  const std::string shown = Dir.File("terminal.txt");
  const std::string command = std::string("'") + NKF2EXPORT + "' " + Arguments;
  EXPECT_EQ(std::system(("script -qec \"" + command + "\" /dev/null >'" + shown + "'").c_str()), 0);
  return ReadFileBytes(shown);
}
