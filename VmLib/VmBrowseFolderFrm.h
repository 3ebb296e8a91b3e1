// The folder browse window: a directory tree, a folder name edit and the
// checks a chosen folder must pass before the window closes. Windows only.
#pragma once

#include <memory>
#include <string>

#include "Forms.h"
#include "VmBrowse.h"

class TFormBrowseFolder : public TForm {
public:
  // Built, not shown. The tree opens at Folder or, when that is missing, at
  // its nearest existing ancestor; the process's current directory becomes
  // that folder.
  TFormBrowseFolder(TApplication *Owner, TBrowseFolderType DialogType, TBrowseDirOptions Options,
                    const std::string &Folder);

  std::unique_ptr<TLabel> LabelFolderName;
  std::unique_ptr<TEdit> EditFolderName;
  std::unique_ptr<TDirTreeView> DirTreeView;
  std::unique_ptr<TButton> ButtonHelp;
  std::unique_ptr<TButton> ButtonOK;
  std::unique_ptr<TButton> ButtonCancel;

  // Checks the folder named in the edit; closes with mrOk only when it passes.
  void ButtonOKClick(TWinControl *Sender);
  void DirTreeViewChange(TWinControl *Sender);

  // The confirmed folder, ending in a backslash.
  const std::string &ChosenFolder() const { return FChosenFolder; }

private:
  std::string FChosenFolder;
  TBrowseDirOptions FOptions;
  TBrowseFolderType FDialogType;
};
