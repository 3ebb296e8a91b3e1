#include "FormMain.h"

#include "SysUtils.h"

// Interim: the installed check, the rights probe, the search and the
// registration are bound here as they land.
TFormMainServices DefaultFormMainServices() {
  TFormMainServices services;
  services.CheckInstalled = [] { return false; };
  services.HasAdminRights = [] { return true; };
  services.FindCharts = [](const std::string &, std::string &) -> bool {
    throw Exception("The chart-set search is not available in this build");
  };
  services.RegisterCharts = [](const std::string &) -> bool {
    throw Exception("The registration is not available in this build");
  };
  return services;
}
