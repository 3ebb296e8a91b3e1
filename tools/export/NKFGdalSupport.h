// What every export through GDAL shares: GDAL's messages turned into our
// exceptions, an output file that disappears unless the writer finished it,
// and the refusal to write over a chart being read.
#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include <cpl_error.h>
#include <cpl_vsi.h>

#include "NKFGeoreference.h"

// GDAL reports through a handler; while one of ours runs, its messages are
// kept quiet and end up in our exception instead of on the console.
class TGdalErrorScope {
public:
  TGdalErrorScope() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~TGdalErrorScope() { CPLPopErrorHandler(); }
  TGdalErrorScope(const TGdalErrorScope &) = delete;
  TGdalErrorScope &operator=(const TGdalErrorScope &) = delete;
};

// Raises ENKFExportError "Operation: What", with GDAL's last message in
// brackets when it has one.
[[noreturn]] inline void RaiseGdal(const std::string &Operation, const std::string &What) {
  const char *detail = CPLGetLastErrorMsg();
  throw ENKFExportError(Operation + ": " + What + (detail && *detail ? std::string(" (") + detail + ")" : ""));
}

// Removes the output unless the writer got to the end: a half-written file
// must not pass for an export.
class TOutputFile {
public:
  explicit TOutputFile(std::string Name) : FName(std::move(Name)) {}
  ~TOutputFile() {
    if (!FKept)
      VSIUnlink(FName.c_str());
  }
  TOutputFile(const TOutputFile &) = delete;
  TOutputFile &operator=(const TOutputFile &) = delete;
  void Keep() { FKept = true; }

private:
  std::string FName;
  bool FKept = false;
};

// Writing over a chart would destroy what is being read.
inline void RefuseChartAsOutput(const std::string &ChartFile, const std::string &OutFile,
                                const std::string &Operation) {
  std::error_code error;
  if (std::filesystem::equivalent(ChartFile, OutFile, error))
    throw ENKFExportError(Operation + ": " + OutFile + " is the chart itself");
}
