// The walk for a folder holding a set of files as it was before each folder
// was listed only once: every name looked up on its own (a directory query
// each), then the folder listed again for its subfolders. Kept as the
// reference that the library's walk is checked and timed against: both must
// give the same answer after the same folders.
#pragma once

#include <string>
#include <vector>

#include "VmFileIO.h"

// As FindFileSet with Recursive set: Found is assigned only on success, and
// then ends in the path delimiter; ProcessMessages runs once per folder tested.
void FindFileSetByLookups(const std::string &Folder, const std::vector<std::string> &Names,
                          const TProcessMessages &ProcessMessages, std::string &Found);
