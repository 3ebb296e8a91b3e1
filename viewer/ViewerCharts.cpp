#include "ViewerCharts.h"

#include <exception>

#include "ChartFault.h"
#include "ChartSetNames.h"
#include "ChartSetOrder.h"
#include "ChartSetRegistry.h"

TViewerChart OpenViewerChart(const std::string &FileName) {
  TViewerChart result;
  result.FileName = FileName;
  try {
    result.Chart = std::make_unique<TNKFChart>(FileName);
    result.Error = ChartShowFault(*result.Chart);
  } catch (const std::exception &e) {
    result.Chart.reset();
    result.Error = e.what();
  }
  return result;
}

std::vector<TViewerChart> OpenInListOrder(const std::vector<std::string> &FileNames) {
  std::vector<TViewerChart> opened;
  std::vector<TNKFChart *> usable;
  for (const std::string &name : FileNames) {
    opened.push_back(OpenViewerChart(name));
    usable.push_back(opened.back().Usable() ? opened.back().Chart.get() : nullptr);
  }
  std::vector<TViewerChart> charts;
  for (int32_t index : SortFromOverview(usable))
    charts.push_back(std::move(opened[static_cast<size_t>(index)]));
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
