// The charts the viewer lists: the installed set, found through its
// registration records, and any chart file the user opens. A chart that does
// not open stays in the list with its error. Windows only (the records).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "VmNKFCharts.h"

struct TViewerChart {
  std::string FileName;
  std::unique_ptr<TNKFChart> Chart; // null when it did not open
  std::string Error;                // why it did not open, or why it cannot be shown
  // Opened, and nothing keeps it from being shown (ChartShowFault).
  bool Usable() const { return Chart && Error.empty(); }
};

// Opens one chart file; never raises: a failure is kept in Error.
TViewerChart OpenViewerChart(const std::string &FileName);

// The installed set, coarsest chart first; false when the records do not
// name an installed set (nothing is opened then).
bool OpenInstalledSet(std::vector<TViewerChart> &Charts);
// The same for the nine charts of a given folder (with its trailing backslash).
std::vector<TViewerChart> OpenSetIn(const std::string &Folder);
// Opens the files in the list's order: the charts that can be shown, the
// coarsest first, then the others as given.
std::vector<TViewerChart> OpenInListOrder(const std::vector<std::string> &FileNames);
