#include "ViewerCharts.h"

#include <algorithm>
#include <exception>

#include "ChartSetNames.h"
#include "ChartSetOrder.h"
#include "ChartSetRegistry.h"

TViewerChart OpenViewerChart(const std::string &FileName) {
  TViewerChart result;
  result.FileName = FileName;
  try {
    result.Chart = std::make_unique<TNKFChart>(FileName);
    if (!result.Chart->IsCalibrated())
      result.Error = "The chart has no calibration and cannot be shown.";
    else if (result.Chart->TileCount == 0)
      result.Error = "The chart holds no picture.";
  } catch (const std::exception &e) {
    result.Chart.reset();
    result.Error = e.what();
  }
  return result;
}

std::vector<TViewerChart> OpenInListOrder(const std::vector<std::string> &FileNames) {
  std::vector<TViewerChart> charts;
  for (const std::string &name : FileNames)
    charts.push_back(OpenViewerChart(name));
  std::stable_sort(charts.begin(), charts.end(), [](const TViewerChart &A, const TViewerChart &B) {
    if (A.Usable() != B.Usable())
      return A.Usable();
    return A.Usable() && ChartIsCoarser(*A.Chart, *B.Chart);
  });
  return charts;
}

std::vector<TViewerChart> OpenSetIn(const std::string &Folder) {
  std::vector<std::string> files;
  for (const char *name : ChartFileNames)
    files.push_back(Folder + name);
  return OpenInListOrder(files);
}

bool OpenInstalledSet(std::vector<TViewerChart> &Charts) {
  std::string folder;
  if (!ReadInstalledFolder(folder))
    return false;
  Charts = OpenSetIn(folder);
  return true;
}
