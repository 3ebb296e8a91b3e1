// What every export through GDAL shares: GDAL's messages turned into our
// exceptions and the refusal to write over a chart being read. (An output
// written under a temporary name: NKFStagedOutput.h.)
#pragma once

#include <filesystem>
#include <mutex>
#include <string>

#include <cpl_error.h>

#include "NKFGeoreference.h"

// GDAL reports through a handler; while one of ours runs, its messages are
// kept quiet and end up in our exception instead of on the console. The
// warper's worker threads report through the process-wide handler and keep
// their last message to themselves, so the scope also takes that handler and
// keeps the first failure of any thread for the exception.
class TGdalErrorScope {
public:
  TGdalErrorScope() {
    CPLPushErrorHandler(Record);
    FPrevious = CPLSetErrorHandler(Record);
    CPLErrorReset();
    const std::lock_guard<std::mutex> lock(Mutex());
    FirstFailure().clear();
  }
  ~TGdalErrorScope() {
    CPLSetErrorHandler(FPrevious);
    CPLPopErrorHandler();
  }
  TGdalErrorScope(const TGdalErrorScope &) = delete;
  TGdalErrorScope &operator=(const TGdalErrorScope &) = delete;

  // The first failure reported in any thread since the innermost scope began.
  static std::string Failure() {
    const std::lock_guard<std::mutex> lock(Mutex());
    return FirstFailure();
  }

private:
  static void CPL_STDCALL Record(CPLErr Class, CPLErrorNum, const char *Message) {
    if (Class < CE_Failure || Message == nullptr)
      return;
    const std::lock_guard<std::mutex> lock(Mutex());
    if (FirstFailure().empty())
      FirstFailure() = Message;
  }
  static std::mutex &Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::string &FirstFailure() {
    static std::string failure;
    return failure;
  }

  CPLErrorHandler FPrevious = nullptr;
};

// Raises ENKFExportError "Operation: What", with GDAL's last message in
// brackets when it has one (this thread's, else the first of any thread).
[[noreturn]] inline void RaiseGdal(const std::string &Operation, const std::string &What) {
  const char *last = CPLGetLastErrorMsg();
  const std::string detail = last && *last ? std::string(last) : TGdalErrorScope::Failure();
  throw ENKFExportError(Operation + ": " + What + (detail.empty() ? "" : " (" + detail + ")"));
}

// Writing over a chart would destroy what is being read.
inline void RefuseChartAsOutput(const std::string &ChartFile, const std::string &OutFile,
                                const std::string &Operation) {
  std::error_code error;
  if (std::filesystem::equivalent(ChartFile, OutFile, error))
    throw ENKFExportError(Operation + ": " + OutFile + " is the chart itself");
}
