#include "ChartSetRegistry.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "FileFind.h"
#include "OSFile.h"
#include "Registry.h"
#include "SysUtils.h"
#include "VmNKFCharts.h"

namespace {

const char *const NameValue = "Name";
const char *const PathValue = "Path";

// The named string value of the current key equals Expected byte for byte. A
// value of another type is a mismatch too, not an error.
bool ValueIs(TRegistry &Registry, const char *Name, const std::string &Expected) {
  if (!Registry.ValueExists(Name))
    return false;
  try {
    return Registry.ReadString(Name) == Expected;
  } catch (const ERegistryException &) {
    return false;
  }
}

// The recorded chart folder, trimmed and with its trailing backslash; empty
// when the value is missing, blank or not a string.
std::string RecordedFolder(TRegistry &Registry) {
  if (!Registry.ValueExists(PathValue))
    return {};
  std::string folder;
  try {
    folder = Trim(Registry.ReadString(PathValue));
  } catch (const ERegistryException &) {
    return {};
  }
  return folder.empty() ? folder : IncludeTrailingPathDelimiter(folder);
}

// Opening validates the file; the chart itself is not wanted.
bool OpensAsChart(const std::string &FileName) {
  try {
    TNKFChart chart(FileName);
    return true;
  } catch (...) {
    return false;
  }
}

} // namespace

bool ReadInstalledFolder(std::string &Folder) {
  TRegistry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);

  // The set key may be unreadable for this user while the module key below it
  // is readable; the module's records decide then.
  if (registry.OpenKeyReadOnly(ChartSetKey)) {
    if (!ValueIs(registry, NameValue, ChartSetName))
      return false;
    registry.CloseKey();
  }

  if (!registry.OpenKeyReadOnly(ChartModuleKey) || !ValueIs(registry, NameValue, ChartModuleName))
    return false;
  const std::string folder = RecordedFolder(registry);
  if (folder.empty() || !DirectoryExists(folder))
    return false;

  for (const char *fileName : ChartFileNames) {
    registry.CloseKey();
    if (!registry.OpenKeyReadOnly(std::string(ChartKeyPrefix) + fileName))
      return false;
  }
  Folder = folder;
  return true;
}

bool CheckInstalled() {
  std::string folder;
  if (!ReadInstalledFolder(folder))
    return false;
  return std::all_of(ChartFileNames.begin(), ChartFileNames.end(),
                     [&folder](const char *FileName) { return OpensAsChart(folder + FileName); });
}

namespace {

const char *const ModulesKey = "Modules";
const char *const ModuleName = "B";
const char *const ChartsKey = "Charts";

bool Listed(const std::vector<std::string> &Names, const std::string &Name) {
  // Registry names, like file names, are the same in any letter case.
  return std::any_of(Names.begin(), Names.end(), [&](const std::string &n) { return SameFileName(n, Name); });
}

// Removes from the key Path every value and subkey that the records do not
// name. False when the key cannot be opened or something in it cannot be
// removed: a stale record that stays is a failure, not a success.
bool RemoveUnlisted(TRegistry &Registry, const std::string &Path, const std::vector<std::string> &Values,
                    const std::vector<std::string> &SubKeys) {
  if (!Registry.OpenKey(Path, false))
    return false;
  bool removed = true;
  for (const std::string &name : Registry.GetValueNames())
    if (!Listed(Values, name))
      removed = Registry.DeleteValue(name) && removed;
  for (const std::string &name : Registry.GetKeyNames())
    if (!Listed(SubKeys, name))
      removed = Registry.DeleteKey(name) && removed;
  Registry.CloseKey();
  return removed;
}

// Removes what an earlier registration left that the new one does not hold.
bool RemoveStaleRecords(TRegistry &Registry) {
  const std::vector<std::string> charts(ChartFileNames.begin(), ChartFileNames.end());
  bool removed = RemoveUnlisted(Registry, ChartSetKey, {NameValue}, {ModulesKey});
  removed = RemoveUnlisted(Registry, std::string(ChartSetKey) + "\\" + ModulesKey, {}, {ModuleName}) && removed;
  removed = RemoveUnlisted(Registry, ChartModuleKey, {NameValue, PathValue}, {ChartsKey}) && removed;
  removed = RemoveUnlisted(Registry, std::string(ChartModuleKey) + "\\" + ChartsKey, {}, charts) && removed;
  for (const char *fileName : ChartFileNames)
    removed = RemoveUnlisted(Registry, std::string(ChartKeyPrefix) + fileName, {}, {}) && removed;
  return removed;
}

} // namespace

bool RegisterCharts(const std::string &Folder) {
  // The records are written over the earlier ones, never deleted first, so
  // that a write that fails leaves the earlier registration readable. The
  // folder goes last: until it is written, the records still name the
  // earlier folder, whose keys are all in place.
  TRegistry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!registry.OpenKey(ChartSetKey, true))
    return false;
  registry.WriteString(NameValue, ChartSetName);
  registry.CloseKey();

  for (const char *fileName : ChartFileNames) {
    if (!registry.OpenKey(std::string(ChartKeyPrefix) + fileName, true))
      return false;
    registry.CloseKey();
  }

  if (!registry.OpenKey(ChartModuleKey, true))
    return false;
  registry.WriteString(NameValue, ChartModuleName);
  registry.WriteString(PathValue, Folder);
  registry.CloseKey();

  return RemoveStaleRecords(registry);
}
