#include "FormMain.h"

#include <vector>

#include "ChartSetRegistry.h"
#include "VmAdminRights.h"
#include "VmFileIO.h"

TFormMainServices DefaultFormMainServices() {
  TFormMainServices services;
  services.CheckInstalled = [] { return CheckInstalled(); };
  services.HasAdminRights = [] { return HasAdminRights(); };
  services.FindCharts = [](const std::string &folderText, std::string &found) {
    const std::vector<std::string> names(ChartFileNames.begin(), ChartFileNames.end());
    // The window repaints once per folder while a drive is walked.
    return FindCharts(folderText, names, found, [] { Application->ProcessMessages(); });
  };
  services.RegisterCharts = [](const std::string &folder) { return RegisterCharts(folder); };
  return services;
}
