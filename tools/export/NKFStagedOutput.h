// An output file written under a temporary name beside it, which takes the
// output's name only when the writer has finished: a failed or interrupted
// export leaves an earlier output as it was, and nothing that passes for an
// output. The temporary file is removed when the writer gives up, and also
// when the program is stopped by SIGINT, SIGTERM or SIGHUP (the signal then
// ends the program as it would have).
#pragma once

#include <string>

class TNKFStagedOutput {
public:
  // Creates the temporary file (empty) beside OutFile, named
  // ".NAME.partial-XXXXXX.EXT" from OutFile's name and extension. Raises
  // ENKFExportError "Operation: Cannot create OutFile (reason)".
  TNKFStagedOutput(const std::string &OutFile, const std::string &Operation);
  // Removes the temporary file unless Commit renamed it.
  ~TNKFStagedOutput();
  TNKFStagedOutput(const TNKFStagedOutput &) = delete;
  TNKFStagedOutput &operator=(const TNKFStagedOutput &) = delete;

  const std::string &TempFile() const { return FTempFile; }
  // Gives the finished file the output's name, replacing an earlier one.
  // Raises ENKFExportError "Operation: Cannot write OutFile (reason)".
  void Commit();

private:
  std::string FOutFile, FOperation, FTempFile;
  int FSlot = -1; // in the list the signal handler removes
  bool FCommitted = false;
};

// Whether two names are the same file: the same path once made absolute and
// normal (symbolic links of existing parts followed), or, both existing, the
// same file on disk.
bool NKFSameFile(const std::string &A, const std::string &B);
