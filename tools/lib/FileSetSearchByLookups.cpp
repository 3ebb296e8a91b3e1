#include "FileSetSearchByLookups.h"

#include "FileFind.h"

namespace {

bool ContainsAllFiles(const std::string &Folder, const std::vector<std::string> &Names,
                      const TProcessMessages &ProcessMessages) {
  if (ProcessMessages)
    ProcessMessages();
  TFileSearch lookup;
  TSearchRec entry;
  for (const std::string &name : Names)
    if (!lookup.FindFirst(Folder + PathDelim + name, faAnyFile, entry))
      return false;
  return !Names.empty();
}

bool SearchFolder(const std::string &Folder, const std::vector<std::string> &Names,
                  const TProcessMessages &ProcessMessages, std::string &Result) {
  if (ContainsAllFiles(Folder, Names, ProcessMessages)) {
    Result = Folder;
    return true;
  }
  bool found = false;
  TFileSearch search;
  TSearchRec entry;
  for (bool more = search.FindFirst(Folder + PathDelim + "*.*", faAnyFile, entry); more && !found;
       more = search.FindNext(entry))
    if ((entry.Attr & faDirectory) && !(entry.Attr & faSymLink) && entry.Name != "." && entry.Name != "..")
      found = SearchFolder(Folder + PathDelim + entry.Name, Names, ProcessMessages, Result);
  return found;
}

} // namespace

void FindFileSetByLookups(const std::string &Folder, const std::vector<std::string> &Names,
                          const TProcessMessages &ProcessMessages, std::string &Found) {
  const std::string start =
      !Folder.empty() && Folder.back() == PathDelim ? Folder.substr(0, Folder.size() - 1) : Folder;
  std::string result;
  if (SearchFolder(start, Names, ProcessMessages, result))
    Found = result + PathDelim;
}
