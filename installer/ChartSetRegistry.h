// The chart set's registration records under HKEY_LOCAL_MACHINE, which the
// maker's chart viewer reads to find the charts, and the table of the nine
// chart files. The main window keeps the answer of CheckInstalled in its
// Installed flag and calls RegisterCharts after the user confirmed a folder.
// Windows only.
//
//   Software\Velmora\Charts\ORVA2003               Name = "ORVA (Editie 2003)"
//     Modules\B                                     Name = "B: Welmeland/Welml\xE2n"
//                                                   Path = chart folder, ending in "\"
//       Charts\<file name>                          one empty key per chart file
#pragma once

#include <string>

#include "ChartSetNames.h"

// True when the records name the set and the module exactly, the recorded
// folder exists, every chart has its key and every file opens as a chart.
// Anything else, including a file that fails to open or a value of the wrong
// type, reads as "not installed"; nothing is raised and nothing is shown.
bool CheckInstalled();

// The records' part of that check, for the chart viewer, which opens the
// charts itself and shows each one that fails with its error: true when the
// records name the set and the module exactly, the recorded folder exists and
// every chart has its key; Folder is then the recorded folder, with its
// trailing backslash. Nothing is raised.
bool ReadInstalledFolder(std::string &Folder);

// Writes the records for Folder (exactly as given: the search hands it over
// with its trailing backslash) over the earlier ones, the folder last, then
// removes every value and key below the set key that the records do not name.
// False when a key cannot be opened or created, or a stale value or key
// cannot be removed. Until the folder is written the earlier registration
// stays readable. A value that cannot be written raises the registry object's
// ERegistryException.
bool RegisterCharts(const std::string &Folder);
