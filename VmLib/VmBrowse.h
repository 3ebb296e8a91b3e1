// The library's browsing controls: a directory tree of the machine's drives
// and folders that reads folders as they are opened, a list of the files of a
// folder, and the folder browse dialog that shows a tree. Shell names, icons
// and file operations throughout. Windows only.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "ComCtrls.h"
#include "Forms.h"
#include "VmDirReader.h"

// The shell's shared image lists, taken when the library starts.
const TSystemImageLists &SystemImages();

// Cursor numbers of the program's named cursors, registered with the screen
// when the library starts.
constexpr int crSelection = 1;
constexpr int crCross = 2;
constexpr int crZoom = 3;
constexpr int crPen = 4;
constexpr int crEraser = 105;
constexpr int crPan = 106;

class TFileListView;

// The data of a tree node.
struct TDirInfo {
  std::string FolderPath; // ends in a backslash; a root is "C:\"
  bool ChildrenRead = false;
};

// Placeholder texts: a folder known to have a shown subfolder, and a drive
// whose media is not read before it is opened.
extern const char DirPlaceholder[];
extern const char DrivePlaceholder[];

class TDirTreeView : public TTreeView {
public:
  struct TArgs : TTreeView::TArgs {
    bool AllowNetwork = true;
    TFileAttributes DirType{dtNormal, dtAll};
    bool GoBelowRecycleBin = true;
    bool ReadOnStart = true;
  };
  explicit TDirTreeView(const TArgs &Args);
  ~TDirTreeView() override;

  bool AllowNetwork() const { return FAllowNetwork; }
  void SetAllowNetwork(bool Value);
  TFileAttributes DirType() const { return FReader.DirType; }
  void SetDirType(TFileAttributes Value);
  bool GoBelowRecycleBin() const { return FGoBelowRecycleBin; }
  void SetGoBelowRecycleBin(bool Value);

  TFileListView *FileListView() const { return FFileListView; }
  void SetFileListView(TFileListView *Value);

  // May veto each folder (path with a backslash) before it is shown.
  std::function<void(const std::string &Path, bool &Accept)> OnAddDir;
  // Told after a node's data was freed.
  std::function<void(TDirTreeView *Sender, TNode Node)> OnDeleteItem;

  // Opens the branches down to an existing folder and selects it; letter
  // case does not matter. A missing folder changes nothing.
  void SelectPath(const std::string &Path);
  // The selected folder with a trailing backslash; empty when none.
  std::string GetSelectedPath() const;
  void ReadDrives();
  // Rebuilds the tree and selects again what was selected.
  void Reload();

  // The node's data; null for a placeholder.
  const TDirInfo *Info(TNode Node) const;
  // The path last selected on a drive, upper case.
  const std::string &LastPath(char DriveLetter) const;

  // Whether the shell would show a folder: the recycle-bin rule, then OnAddDir.
  bool AcceptDir(const std::string &Path) const;

protected:
  bool CanExpand(TNode Node) override;
  void Change(TNode Node) override;
  void Deletion(TNode Node, LPARAM Data) override;
  bool Edited(TNode Node, const std::string &Text) override;
  void KeyDown(WORD Key) override;

private:
  friend class TFileListView;
  TNode AddDirNode(TNode Parent, const std::string &Path, TNode After = TVI_LAST);
  void ReadSubDirs(TNode Node);
  void AddPlaceholder(TNode Node, const char *Text);
  bool IsPlaceholder(TNode Node) const { return Info(Node) == nullptr; }
  TNode FindChild(TNode Parent, const std::string &Path) const;
  void ListForgets(); // the linked list was destroyed

  TDirReader FReader;
  bool FAllowNetwork;
  bool FGoBelowRecycleBin;
  bool FTreeReady = false;
  TFileListView *FFileListView = nullptr;
  std::array<std::string, 26> FLastPaths;
  std::unordered_map<LPARAM, std::unique_ptr<TDirInfo>> FInfos;
};

// The data of a file list item.
struct TFileInfo : TFileEntry {
  double Modified = 0; // last write, local time, days since 1899-12-30

  // Takes folder, name, size and time from a directory listing's entry.
  void Fill(const TFileEntry &Entry);
  // Takes everything from the file itself (size and time 0 when missing).
  void Fill(const std::string &FullFileName);
  std::string DisplayName() const;
  std::string TypeName() const; // at most 80 characters
  int IconIndex() const;
};

enum TFileListViewOption { foRecurseSubDirs };
enum TFileListViewColumn { fcName, fcInFolder, fcSize, fcType, fcModified };

class TFileListViewColumns {
public:
  constexpr TFileListViewColumns() = default;
  constexpr TFileListViewColumns(std::initializer_list<TFileListViewColumn> Columns) {
    for (TFileListViewColumn c : Columns)
      FBits = static_cast<uint8_t>(FBits | (1u << c));
  }
  constexpr bool Contains(TFileListViewColumn Column) const { return (FBits >> Column) & 1u; }
  constexpr bool operator==(const TFileListViewColumns &) const = default;

private:
  uint8_t FBits = 0;
};

VM_DECLARE_EXCEPTION(EInvalidOperation, Exception);

class TFileListView : public TListView {
public:
  struct TArgs : TListView::TArgs {};
  explicit TFileListView(const TArgs &Args);
  ~TFileListView() override;

  TFileAttributes FileType() const { return FFileType; }
  void SetFileType(TFileAttributes Value);
  const std::string &Mask() const { return FMask; }
  void SetMask(const std::string &Value);
  bool RecurseSubDirs() const { return FRecurse; }
  void SetRecurseSubDirs(bool Value);
  TFileListViewColumns VisibleColumns() const { return FVisibleColumns; }
  void SetVisibleColumns(TFileListViewColumns Value);
  TFileListViewColumn SortColumn() const { return FSortColumn; }
  void SetSortColumn(TFileListViewColumn Value);
  bool SortDescending() const { return FSortDescending; }
  void SetSortDescending(bool Value);
  TEdit *FileEdit() const;
  void SetFileEdit(TEdit *Value);
  TDirTreeView *DirTreeView() const { return FTree; }

  // The folder shown, without a trailing backslash.
  const std::string &Directory() const { return FDirectory; }
  // A folder, a file (selected) or a folder with a mask. Raises
  // EInvalidOperation for a missing folder or file.
  virtual void SetDirectory(const std::string &Path);
  void Refresh();
  // A counted lock on re-reading; the last unlock re-reads when Changed.
  void LockUpdates() { ++FLockCount; }
  void UnlockUpdates(bool Changed);

  // The item's data.
  const TFileInfo *Info(int Item) const { return reinterpret_cast<const TFileInfo *>(ItemData(Item)); }

protected:
  void ColumnClick(int Column) override;
  void Deletion(int Item, LPARAM Data) override;
  bool Edited(int Item, const std::string &Text) override;
  void KeyDown(WORD Key) override;
  void SelectionChanged() override;

private:
  friend class TDirTreeView;
  void RebuildColumns();
  void AddFile(const TFileEntry &Entry);
  void FillSubItems(int Item, const TFileInfo &Info);
  void SortItems();
  void ShowSelection();
  int SelectedByName(const std::string &FileName);

  TFileAttributes FFileType{dtNormal};
  std::string FMask = "*.*";
  bool FRecurse = false;
  TFileListViewColumns FVisibleColumns;
  TFileListViewColumn FSortColumn = fcName;
  bool FSortDescending = false;
  TEdit *FFileEdit = nullptr;
  HWND FFileEditHandle = nullptr; // to notice the edit's destruction
  TDirTreeView *FTree = nullptr;
  std::string FDirectory;
  int FLockCount = 0;
  bool FColumnsChanged = true;
  std::unordered_map<LPARAM, std::unique_ptr<TFileInfo>> FInfos;
};

// The folder browse dialog's options; each option's bit is its position.
enum TBrowseDirOption { bfCreatePrompt, bfDirMustExist, bfNoReadOnlyReturn, bfPathMustExist, bfShowHelp };

class TBrowseDirOptions {
public:
  constexpr TBrowseDirOptions() = default;
  constexpr TBrowseDirOptions(std::initializer_list<TBrowseDirOption> Options) {
    for (TBrowseDirOption o : Options)
      FBits = static_cast<uint8_t>(FBits | (1u << o));
  }
  constexpr bool Contains(TBrowseDirOption Option) const { return (FBits >> Option) & 1u; }
  constexpr uint8_t Bits() const { return FBits; }

private:
  uint8_t FBits = 0;
};

// btOpen: the folder is picked in the tree only; btSave: it may be typed.
enum TBrowseFolderType { btOpen, btSave };

// Shows the folder browse window modally. True when the user confirmed a
// folder; only then is Folder replaced by it (ending in a backslash).
bool BrowseForFolder(const std::string &Caption, std::string &Folder, TBrowseFolderType DialogType,
                     TBrowseDirOptions Options);

// The component a form holds to ask for a folder.
class TBrowseFolderDialog {
public:
  virtual ~TBrowseFolderDialog() = default;

  std::string Folder;
  TBrowseDirOptions Options;
  std::string Title; // empty: a caption by dialog type
  TBrowseFolderType DialogType = btOpen;

  virtual bool Execute();
};
