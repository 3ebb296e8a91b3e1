#include "VmBrowseFolderFrm.h"

#include <string>

#include "FileFind.h"
#include "OSFile.h"
#include "VmLang.h"
#include "VmMsgBox.h"

namespace {

// The characters a folder name never holds.
constexpr char InvalidFolderChars[] = "\"*<>?|";

// Path without its last component: "C:\a\b" gives "C:\a\", "C:\" gives
// "" (no backslash is left once the trailing one is gone), so a walk up
// always ends.
std::string ParentWithBackslash(const std::string &Path) {
  const std::string path = ExcludeTrailingPathDelimiter(Path);
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The folder the window opens at: the nearest existing ancestor of Folder,
// stopping at a drive root.
std::string StartFolder(const std::string &Folder) {
  std::string folder = Folder.empty() ? Folder : ExpandFileName(Folder);
  while (!folder.empty() && folder.size() >= 4 && !DirectoryExists(folder))
    folder = ParentWithBackslash(folder);
  return folder;
}

// Creates a folder with all its missing parents.
void ForceDirectories(const std::string &Path) {
  const std::string path = ExcludeTrailingPathDelimiter(Path);
  if (path.size() < 3 || DirectoryExists(path))
    return;
  ForceDirectories(ParentWithBackslash(path));
  if (!CreateDirectoryA(path.c_str(), nullptr) && !DirectoryExists(path))
    throw EOSError(Format("Unable to create directory %s (error %lu)", path.c_str(), GetLastError()));
}

// A folder that exists; "C:" is the drive's root, not its current folder.
bool FolderExists(const std::string &Path) {
  return DirectoryExists(Path.size() == 2 && Path[1] == ':' ? Path + '\\' : Path);
}

bool Warn(const std::string &Path, const TLangTexts &Text) {
  MessageDlg(Path + "\r\r" + LangText(Text), mtWarning, {mbOK}, 0);
  return false;
}

} // namespace

TFormBrowseFolder::TFormBrowseFolder(TApplication *, TBrowseFolderType DialogType, TBrowseDirOptions Options,
                                     const std::string &Folder)
    : TForm({"TFormBrowseFolder", "", TBorderStyle::bsDialog, false, 310, 269, "MS Sans Serif", -11}),
      FOptions(Options), FDialogType(DialogType) {
  TLabel::TArgs label;
  label.Parent = this;
  label.Bounds = {8, 212, 61, 13};
  label.Alignment = TAlignment::taRightJustify;
  LabelFolderName = std::make_unique<TLabel>(label);

  TControlArgs edit;
  edit.Parent = this;
  edit.Bounds = {76, 208, 225, 21};
  EditFolderName = std::make_unique<TEdit>(edit);

  TDirTreeView::TArgs tree;
  tree.Parent = this;
  tree.Bounds = {4, 0, 301, 201};
  tree.AllowNetwork = true;
  tree.DirType = {dtReadOnly, dtHidden, dtSystem, dtNormal, dtAll};
  tree.GoBelowRecycleBin = false;
  tree.HideSelection = false;
  tree.ReadOnly = true;
  tree.ReadOnStart = true;
  DirTreeView = std::make_unique<TDirTreeView>(tree);

  const auto button = [this](int Left, TModalResult Result, bool Default, bool Cancel) {
    TButton::TArgs args;
    args.Parent = this;
    args.Bounds = {Left, 240, 75, 25};
    args.ModalResult = Result;
    args.Default = Default;
    args.Cancel = Cancel;
    return std::make_unique<TButton>(args);
  };
  ButtonHelp = button(72, mrNone, false, false);
  ButtonOK = button(152, mrNone, true, false);
  ButtonCancel = button(232, mrCancel, false, true);
  // The label comes just before the edit, so its access key reaches the edit.
  SetTabOrder({LabelFolderName.get(), EditFolderName.get(), DirTreeView.get(), ButtonHelp.get(), ButtonOK.get(),
               ButtonCancel.get()});
  SetActiveControl(EditFolderName.get());
  ButtonOK->OnClick = [this](TWinControl *Sender) { ButtonOKClick(Sender); };
  DirTreeView->OnChange = [this](TWinControl *Sender) { DirTreeViewChange(Sender); };
  CenterOnScreen();

  ButtonHelp->SetVisible(FOptions.Contains(bfShowHelp));
  const std::string start = StartFolder(Folder);
  SetCurrentDir(start);
  const std::string current = GetCurrentDir();
  DirTreeView->SelectPath(current);
  EditFolderName->SetText(current);
  ButtonOK->SetText(LangText(SMsgDlgOK));
  ButtonCancel->SetText(LangText(SMsgDlgCancel));
  ButtonHelp->SetText(LangText(SMsgDlgHelp));
  LabelFolderName->SetText(LangText(SBrowseFolderName));
  SendMessageA(EditFolderName->Handle(), EM_SETREADONLY, FDialogType == btOpen, 0);
}

void TFormBrowseFolder::DirTreeViewChange(TWinControl *) { EditFolderName->SetText(DirTreeView->GetSelectedPath()); }

void TFormBrowseFolder::ButtonOKClick(TWinControl *) {
  const std::string text = EditFolderName->Text();
  const std::string selected = DirTreeView->GetSelectedPath();
  std::string folder;
  if (text.empty())
    folder = selected;
  else if (text[0] == '\\')
    folder = (selected.empty() ? std::string() : selected.substr(0, 1) + ":") + text;
  else if (text.size() >= 2 && text[1] == ':')
    folder = text;
  else
    folder = selected + text;
  FChosenFolder = folder;

  // Refused before the disk is asked anything.
  if (folder.find_first_of(InvalidFolderChars) != std::string::npos) {
    Warn(folder, SBrowseInvalidFolderName);
    return;
  }
  folder = ExpandFileName(folder);
  if (!folder.empty() && folder.back() == '\\')
    folder.pop_back();
  FChosenFolder = folder;

  if (FOptions.Contains(bfPathMustExist)) {
    const size_t slash = folder.rfind('\\');
    const std::string parent = slash == std::string::npos ? folder : folder.substr(0, slash);
    if (!parent.empty() && !FolderExists(parent)) {
      Warn(parent, SBrowsePathNotFound);
      return;
    }
  }
  if (FOptions.Contains(bfDirMustExist) && !FolderExists(folder)) {
    Warn(folder, SBrowseFolderNotFound);
    return;
  }
  if (FOptions.Contains(bfCreatePrompt) && !FolderExists(folder)) {
    if (MessageDlg(folder + "\r\r" + LangText(SBrowseCreateFolder), mtConfirmation, {mbYes, mbNo}, 0) != mrYes)
      return;
    ForceDirectories(folder);
  }
  if (FOptions.Contains(bfNoReadOnlyReturn) && FolderExists(folder)) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      Warn(folder, SBrowseReadOnlyFolder);
      return;
    }
  }
  FChosenFolder = folder + '\\';
  SetModalResult(mrOk);
}
