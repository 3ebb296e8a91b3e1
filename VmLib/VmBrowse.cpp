#include "VmBrowse.h"

#include <shellapi.h>

#include <algorithm>

#include "FileFind.h"
#include "OSFile.h"
#include "VmBrowseFolderFrm.h"
#include "VmLang.h"

const char DirPlaceholder[] = " ";
const char DrivePlaceholder[] = "u**";

namespace {

// The library's start-up: the shell's image lists, taken once, and the
// program's named cursors. A program without these cursor resources gets
// null entries, which show the default arrow.
struct TBrowseStartUp {
  TSystemImageLists Images;
  TBrowseStartUp() : Images(LoadSystemImageLists()) {
    const struct {
      int Index;
      const char *Name;
    } cursors[] = {{crSelection, "CR_SELECTION"}, {crCross, "CR_CROSS"},     {crZoom, "CR_ZOOM"},
                   {crPen, "CR_PEN"},             {crEraser, "CR_ERASER"},   {crPan, "CR_PAN"}};
    for (const auto &c : cursors)
      Screen->SetCursors(c.Index, LoadCursorA(GetModuleHandleA(nullptr), c.Name));
  }
};
const TBrowseStartUp StartUp;

// Shows the hourglass while it lives and then the cursor it found.
class THourGlass {
public:
  THourGlass() { Screen->SetCursor(TCursor::crHourGlass); }
  THourGlass(const THourGlass &) = delete;
  THourGlass &operator=(const THourGlass &) = delete;

  // Puts back the cursor found at construction when it goes.
  class TRestore {
  public:
    TRestore() : FSaved(Screen->Cursor()) {}
    ~TRestore() { Screen->SetCursor(FSaved); }
    TRestore(const TRestore &) = delete;
    TRestore &operator=(const TRestore &) = delete;

  private:
    TCursor FSaved;
  };

private:
  TRestore FRestore; // built first: it saves the cursor before the hourglass shows
};

struct TShellInfo {
  std::string DisplayName;
  std::string TypeName;
  int Icon = 0;
};

TShellInfo ShellInfo(const std::string &Path, UINT Flags) {
  SHFILEINFOA info{};
  TShellInfo result;
  if (SHGetFileInfoA(Path.c_str(), 0, &info, sizeof(info), Flags)) {
    result.DisplayName = info.szDisplayName;
    result.TypeName = std::string(info.szTypeName).substr(0, 80);
    result.Icon = info.iIcon;
  }
  return result;
}

// A shell rename or delete with undo. From holds one or more paths, each
// followed by a null character. True when done and not aborted.
bool ShellFileOperation(HWND Owner, UINT Function, const std::string &From, const std::string &To) {
  const std::string from = From + '\0';
  const std::string to = To + '\0' + '\0';
  SHFILEOPSTRUCTA op{};
  op.hwnd = Owner;
  op.wFunc = Function;
  op.pFrom = from.c_str();
  op.pTo = To.empty() ? nullptr : to.c_str();
  op.fFlags = FOF_ALLOWUNDO;
  return SHFileOperationA(&op) == 0 && !op.fAnyOperationsAborted;
}

HWND ApplicationWindow() {
  return Application && Application->MainForm() ? Application->MainForm()->Handle() : GetActiveWindow();
}

void ProcessPendingMessages() {
  if (Application)
    Application->ProcessMessages();
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The part of Path up to and including its k-th backslash (1-based).
std::string UpToBackslash(const std::string &Path, int k) {
  size_t pos = std::string::npos;
  for (int i = 0; i < k; ++i) {
    pos = Path.find('\\', pos == std::string::npos ? 0 : pos + 1);
    if (pos == std::string::npos)
      return Path;
  }
  return Path.substr(0, pos + 1);
}

// Local time from a file time, as days since 1899-12-30.
double LocalDateTime(int64_t FileTime) {
  FILETIME utc{static_cast<DWORD>(FileTime), static_cast<DWORD>(static_cast<uint64_t>(FileTime) >> 32)};
  FILETIME local{};
  if (FileTime == 0 || !FileTimeToLocalFileTime(&utc, &local))
    return 0;
  const int64_t ticks = (static_cast<int64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  constexpr double ticksPerDay = 864000000000.0;
  constexpr double daysFrom1601To1899 = 109205.0; // 1601-01-01 to 1899-12-30
  return static_cast<double>(ticks) / ticksPerDay - daysFrom1601To1899;
}

// "date time" in the user's short date and long time formats; the time is
// left out at exactly midnight.
std::string DateTimeText(int64_t FileTime) {
  FILETIME utc{static_cast<DWORD>(FileTime), static_cast<DWORD>(static_cast<uint64_t>(FileTime) >> 32)};
  FILETIME local{};
  SYSTEMTIME st{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st))
    return std::string();
  char date[128] = {}, time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, sizeof(date));
  std::string text = date;
  if (st.wHour != 0 || st.wMinute != 0 || st.wSecond != 0 || st.wMilliseconds != 0) {
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, sizeof(time));
    text += ' ';
    text += time;
  }
  return text;
}

} // namespace

const TSystemImageLists &SystemImages() { return StartUp.Images; }

// ===========================================================================
// TDirTreeView

TDirTreeView::TDirTreeView(const TArgs &Args)
    : TTreeView(Args), FAllowNetwork(Args.AllowNetwork), FGoBelowRecycleBin(Args.GoBelowRecycleBin) {
  FReader.DirType = Args.DirType;
  FReader.Accept = [this](const std::string &Path) { return AcceptDir(Path); };
  for (int i = 0; i < 26; ++i)
    FLastPaths[static_cast<size_t>(i)] = std::string(1, static_cast<char>('A' + i)) + ":\\";
  const std::string current = UpperCase(IncludeTrailingPathDelimiter(GetCurrentDir()));
  if (current.size() >= 3 && current[1] == ':' && IsDriveLetter(current[0]))
    FLastPaths[static_cast<size_t>(current[0] - 'A')] = current;
  SetImages(SystemImages().Small);
  if (Args.ReadOnStart)
    ReadDrives();
}

TDirTreeView::~TDirTreeView() {
  if (FFileListView)
    FFileListView->FTree = nullptr;
  FTreeReady = false;
  Clear(); // frees every node's data through the deletion handler
}

void TDirTreeView::SetAllowNetwork(bool Value) {
  if (Value != FAllowNetwork) {
    FAllowNetwork = Value;
    Reload();
  }
}

void TDirTreeView::SetDirType(TFileAttributes Value) {
  if (!(Value == FReader.DirType)) {
    FReader.DirType = Value;
    Reload();
  }
}

void TDirTreeView::SetGoBelowRecycleBin(bool Value) {
  if (Value != FGoBelowRecycleBin) {
    FGoBelowRecycleBin = Value;
    Reload();
  }
}

void TDirTreeView::SetFileListView(TFileListView *Value) {
  if (Value == FFileListView)
    return;
  if (FFileListView)
    FFileListView->FTree = nullptr;
  FFileListView = Value;
  if (FFileListView) {
    if (FFileListView->FTree && FFileListView->FTree != this)
      FFileListView->FTree->FFileListView = nullptr;
    FFileListView->FTree = this;
    const std::string path = GetSelectedPath();
    if (!path.empty())
      FFileListView->SetDirectory(path);
  }
}

void TDirTreeView::ListForgets() { FFileListView = nullptr; }

const TDirInfo *TDirTreeView::Info(TNode Node) const {
  const auto found = FInfos.find(NodeData(Node));
  return found == FInfos.end() ? nullptr : found->second.get();
}

const std::string &TDirTreeView::LastPath(char DriveLetter) const {
  const char letter = static_cast<char>(UpperCase(std::string(1, DriveLetter))[0]);
  Assert(letter >= 'A' && letter <= 'Z', "Drive letter out of range", "VmLib\\VmBrowse", __LINE__);
  return FLastPaths[static_cast<size_t>(letter - 'A')];
}

bool TDirTreeView::AcceptDir(const std::string &Path) const {
  bool accept = true;
  if (!FGoBelowRecycleBin && IsBelowRecycleBin(Path))
    accept = false;
  if (accept && OnAddDir)
    OnAddDir(Path, accept);
  return accept;
}

TTreeView::TNode TDirTreeView::AddDirNode(TNode Parent, const std::string &Path, TNode After) {
  const std::string path = IncludeTrailingPathDelimiter(Path);
  const TShellInfo shell = ShellInfo(path, SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  const TShellInfo open = ShellInfo(path, SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
  auto info = std::make_unique<TDirInfo>();
  info->FolderPath = path;
  const LPARAM key = reinterpret_cast<LPARAM>(info.get());
  FInfos.emplace(key, std::move(info));
  const std::string text = shell.DisplayName.empty() ? path : shell.DisplayName;
  return AddChild(Parent, text, shell.Icon, open.Icon, key, After);
}

void TDirTreeView::AddPlaceholder(TNode Node, const char *Text) { AddChild(Node, Text, -1, -1, 0); }

void TDirTreeView::ReadDrives() {
  FTreeReady = false;
  THourGlass hourGlass;
  BeginUpdate();
  Clear();
  ProcessPendingMessages();
  const uint32_t drives = GetLogicalDriveMask();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i)))
      continue;
    const std::string root = std::string(1, static_cast<char>('A' + i)) + ":\\";
    const int32_t type = GetDriveTypeOf(root);
    if ((type == drvRemote && !FAllowNetwork) || !AcceptDir(root))
      continue;
    TNode node = AddDirNode(nullptr, root);
    if (type == drvFixed || type == drvRemote || type == drvRAMDisk) {
      if (FReader.HasSubDirs(root))
        AddPlaceholder(node, DirPlaceholder);
    } else {
      AddPlaceholder(node, DrivePlaceholder); // the media stays untouched until opened
    }
  }
  FTreeReady = true;
  EndUpdate();
  if (TNode selected = Selected())
    MakeTop(selected);
}

void TDirTreeView::ReadSubDirs(TNode Node) {
  const TDirInfo *info = Info(Node);
  if (!info || info->ChildrenRead)
    return;
  const std::string folder = info->FolderPath;
  DeleteChildren(Node);
  FInfos.at(NodeData(Node))->ChildrenRead = true;
  for (const std::string &name : FReader.SubDirs(folder))
    AddDirNode(Node, folder + name);
}

bool TDirTreeView::CanExpand(TNode Node) {
  {
    THourGlass hourGlass;
    ReadSubDirs(Node);
    for (TNode child : Children(Node))
      ReadSubDirs(child);
  }
  return FirstChild(Node) != nullptr;
}

TTreeView::TNode TDirTreeView::FindChild(TNode Parent, const std::string &Path) const {
  for (TNode node : Children(Parent))
    if (const TDirInfo *info = Info(node); info && SameText(info->FolderPath, Path))
      return node;
  return nullptr;
}

void TDirTreeView::SelectPath(const std::string &Path) {
  const std::string path = IncludeTrailingPathDelimiter(Path);
  if (path.size() != 3 && !DirectoryExists(ExcludeTrailingPathDelimiter(path)))
    return;
  const int n = static_cast<int>(std::count(path.begin(), path.end(), '\\'));
  if (n == 0)
    return;
  THourGlass hourGlass;
  BeginUpdate();
  const std::string upper = UpperCase(path);
  TNode reached = FindChild(nullptr, UpToBackslash(upper, 1));
  if (reached) {
    ReadSubDirs(reached);
    for (int k = 2; k <= n; ++k) {
      TNode next = FindChild(reached, UpToBackslash(upper, k));
      if (!next)
        break;
      reached = next;
      ReadSubDirs(reached);
    }
    Select(reached);
    MakeTop(reached);
  }
  EndUpdate();
}

std::string TDirTreeView::GetSelectedPath() const {
  TNode node = Selected();
  const TDirInfo *info = node ? Info(node) : nullptr;
  return info ? IncludeTrailingPathDelimiter(info->FolderPath) : std::string();
}

void TDirTreeView::Change(TNode Node) {
  if (FTreeReady && Node) {
    if (const TDirInfo *info = Info(Node); info && IsDriveLetter(info->FolderPath[0]))
      FLastPaths[static_cast<size_t>(UpperCase(info->FolderPath.substr(0, 1))[0] - 'A')] =
          UpperCase(info->FolderPath);
    if (FFileListView)
      FFileListView->SetDirectory(GetSelectedPath());
  }
  TTreeView::Change(Node);
}

void TDirTreeView::Deletion(TNode Node, LPARAM Data) {
  if (FInfos.erase(Data) && OnDeleteItem)
    OnDeleteItem(this, Node);
}

void TDirTreeView::Reload() {
  const std::string remembered = GetSelectedPath();
  ReadDrives();
  SelectPath(remembered);
  if (FirstTopNode() && !Selected() && remembered.size() >= 3)
    SelectPath(remembered.substr(0, 3));
  if (Selected())
    return;
  const std::vector<TNode> drives = Children(nullptr);
  if (drives.empty())
    return;
  TNode drive = drives.back();
  for (TNode node : drives) {
    TNode first = FirstChild(node);
    if (!first || NodeText(first) != DrivePlaceholder || Info(first)) {
      drive = node;
      break;
    }
  }
  const std::string last = LastPath(Info(drive)->FolderPath[0]);
  SelectPath(last);
  if (!SameText(GetSelectedPath(), last)) {
    const bool already = Selected() == drive;
    Select(drive);
    if (already)
      Change(drive);
  }
}

bool TDirTreeView::Edited(TNode Node, const std::string &Text) {
  const TDirInfo *info = Info(Node);
  if (!info || Text.empty())
    return false;
  const std::string oldPath = ExcludeTrailingPathDelimiter(info->FolderPath);
  const size_t slash = oldPath.rfind('\\');
  if (slash == std::string::npos)
    return false; // a drive root is not renamed
  const std::string newPath = oldPath.substr(0, slash + 1) + Text;
  if (!ShellFileOperation(ApplicationWindow(), FO_RENAME, oldPath, newPath))
    return false; // the node keeps its old text
  FInfos.at(NodeData(Node))->FolderPath = newPath + '\\';
  SetNodeText(Node, ShellInfo(newPath, SHGFI_DISPLAYNAME).DisplayName);
  return false; // the text was set above
}

void TDirTreeView::KeyDown(WORD Key) {
  const bool modifier = (GetKeyState(VK_SHIFT) | GetKeyState(VK_CONTROL) | GetKeyState(VK_MENU)) & 0x8000;
  if (Key != VK_DELETE || modifier || ReadOnly())
    return;
  const std::string path = GetSelectedPath();
  if (path.size() <= 3)
    return; // drives are not deleted
  TFileListView *list = FFileListView;
  if (list)
    list->LockUpdates();
  ShellFileOperation(ApplicationWindow(), FO_DELETE, ExcludeTrailingPathDelimiter(path), "");
  Reload();
  if (list && FFileListView == list)
    list->UnlockUpdates(true);
}

// ===========================================================================
// TFileInfo

void TFileInfo::Fill(const TFileEntry &Entry) {
  static_cast<TFileEntry &>(*this) = Entry;
  Modified = LocalDateTime(Time);
}

void TFileInfo::Fill(const std::string &FullFileName) {
  const size_t slash = FullFileName.find_last_of("\\:");
  Folder = slash == std::string::npos ? std::string() : FullFileName.substr(0, slash + 1);
  SplitExtension(FullFileName.substr(slash == std::string::npos ? 0 : slash + 1), Name, Extension);
  Size = 0;
  Time = 0;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExA(FullFileName.c_str(), GetFileExInfoStandard, &data)) {
    Size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    Time = (static_cast<int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
  }
  Modified = LocalDateTime(Time);
}

std::string TFileInfo::DisplayName() const { return ShellInfo(FullName(), SHGFI_DISPLAYNAME).DisplayName; }
std::string TFileInfo::TypeName() const { return ShellInfo(FullName(), SHGFI_TYPENAME).TypeName; }
int TFileInfo::IconIndex() const { return ShellInfo(FullName(), SHGFI_SYSICONINDEX | SHGFI_SMALLICON).Icon; }

// ===========================================================================
// TFileListView

TFileListView::TFileListView(const TArgs &Args) : TListView(Args), FDirectory(GetCurrentDir()) {
  SetImages(SystemImages().Small, SystemImages().Large);
  Refresh();
}

TFileListView::~TFileListView() {
  if (FTree)
    FTree->ListForgets();
  Clear();
}

void TFileListView::SetFileType(TFileAttributes Value) {
  FFileType = Value;
  Refresh();
}

void TFileListView::SetMask(const std::string &Value) {
  FMask = Value;
  Refresh();
}

void TFileListView::SetRecurseSubDirs(bool Value) {
  FRecurse = Value;
  Refresh();
}

void TFileListView::SetVisibleColumns(TFileListViewColumns Value) {
  FVisibleColumns = Value;
  FColumnsChanged = true;
  Refresh();
}

void TFileListView::SetSortColumn(TFileListViewColumn Value) {
  FSortColumn = Value;
  SortItems();
}

void TFileListView::SetSortDescending(bool Value) {
  FSortDescending = Value;
  SortItems();
}

TEdit *TFileListView::FileEdit() const {
  // An edit destroyed since it was linked has left its window.
  return FFileEdit && TWinControl::FromHandle(FFileEditHandle) == FFileEdit ? FFileEdit : nullptr;
}

void TFileListView::SetFileEdit(TEdit *Value) {
  FFileEdit = Value;
  FFileEditHandle = Value ? Value->Handle() : nullptr;
  ShowSelection();
}

void TFileListView::RebuildColumns() {
  const int nameWidth = ColumnCount() > 0 ? ColumnWidth(0) : 125;
  ClearColumns();
  AddColumn(LangText(SListColumnName), nameWidth);
  if (FVisibleColumns.Contains(fcInFolder))
    AddColumn(LangText(SListColumnInFolder), 150);
  if (FVisibleColumns.Contains(fcSize))
    AddColumn(LangText(SListColumnSize), 60, TAlignment::taRightJustify);
  if (FVisibleColumns.Contains(fcType))
    AddColumn(LangText(SListColumnType), 110);
  if (FVisibleColumns.Contains(fcModified))
    AddColumn(LangText(SListColumnModified), 110);
  FColumnsChanged = false;
}

void TFileListView::FillSubItems(int Item, const TFileInfo &Info) {
  int sub = 1;
  if (FVisibleColumns.Contains(fcInFolder))
    SetSubItem(Item, sub++, Info.Folder);
  if (FVisibleColumns.Contains(fcSize))
    SetSubItem(Item, sub++, FormatFileSize({suKB}, 0, true, Info.Size));
  if (FVisibleColumns.Contains(fcType))
    SetSubItem(Item, sub++, Info.TypeName());
  if (FVisibleColumns.Contains(fcModified))
    SetSubItem(Item, sub++, DateTimeText(Info.Time));
}

void TFileListView::AddFile(const TFileEntry &Entry) {
  auto info = std::make_unique<TFileInfo>();
  info->Fill(Entry);
  const LPARAM key = reinterpret_cast<LPARAM>(info.get());
  const TFileInfo &data = *info;
  FInfos.emplace(key, std::move(info));
  const std::string caption = data.DisplayName();
  const int item = AddItem(caption.empty() ? data.FileName() : caption, data.IconIndex(), key);
  FillSubItems(item, data);
}

void TFileListView::Refresh() {
  if (FLockCount > 0)
    return;
  THourGlass hourGlass;
  if (FColumnsChanged)
    RebuildColumns();
  TListView::BeginUpdate();
  Clear();
  for (const TFileEntry &entry : ListFiles(ExcludeTrailingPathDelimiter(FDirectory), FMask, FFileType, FRecurse))
    AddFile(entry);
  SortItems();
  TListView::EndUpdate();
  ShowSelection();
}

void TFileListView::UnlockUpdates(bool Changed) {
  if (FLockCount > 0 && --FLockCount == 0 && Changed)
    Refresh();
}

void TFileListView::SortItems() {
  const TFileListViewColumn column = FSortColumn;
  const bool descending = FSortDescending;
  const auto compare = [column, descending](LPARAM A, LPARAM B) {
    const auto &a = *reinterpret_cast<const TFileInfo *>(A);
    const auto &b = *reinterpret_cast<const TFileInfo *>(B);
    int result = 0;
    const auto byNumber = [](auto x, auto y) { return x < y ? -1 : (x > y ? 1 : 0); };
    switch (column) {
    case fcName:
      result = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.FileName().c_str(), -1,
                              b.FileName().c_str(), -1) - CSTR_EQUAL;
      break;
    case fcInFolder:
      result = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.Folder.c_str(), -1, b.Folder.c_str(), -1) -
               CSTR_EQUAL;
      break;
    case fcType:
      result = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.Extension.c_str(), -1,
                              b.Extension.c_str(), -1) - CSTR_EQUAL;
      break;
    case fcSize:
      result = byNumber(a.Size, b.Size);
      break;
    case fcModified:
      result = byNumber(a.Modified, b.Modified);
      break;
    }
    return descending ? -result : result;
  };
  Sort(compare);
}

void TFileListView::ColumnClick(int Column) {
  // The first header is the name; the others are the visible extra columns in order.
  TFileListViewColumn kind = fcName;
  int index = 0;
  for (TFileListViewColumn c : {fcInFolder, fcSize, fcType, fcModified})
    if (FVisibleColumns.Contains(c) && ++index == Column)
      kind = c;
  if (kind == FSortColumn)
    FSortDescending = !FSortDescending;
  else
    FSortColumn = kind;
  SortItems();
}

void TFileListView::Deletion(int, LPARAM Data) { FInfos.erase(Data); }

void TFileListView::ShowSelection() {
  if (TEdit *edit = FileEdit()) {
    const int item = Selected();
    edit->SetText(item >= 0 ? Info(item)->FileName() : FMask);
  }
}

void TFileListView::SelectionChanged() { ShowSelection(); }

int TFileListView::SelectedByName(const std::string &FileName) {
  const int item = FindCaption(FileName);
  if (item >= 0)
    Select(item);
  return item;
}

void TFileListView::SetDirectory(const std::string &Path) {
  SetCurrentDir(FDirectory);
  std::string path = ExpandFileName(Path);
  if (path.size() > 1 && path.back() == '\\' && path[path.size() - 2] != ':')
    path.pop_back();
  if (const int selected = Selected(); selected >= 0 && SameText(path, Info(selected)->FullName()))
    return;

  std::string folder = path, filePart;
  if (!DirectoryExists(path)) {
    const size_t split = path.find_last_of("\\:");
    folder = split == std::string::npos ? std::string() : path.substr(0, split + 1);
    filePart = path.substr(split == std::string::npos ? 0 : split + 1);
    if (folder.size() > 1 && folder.back() == '\\' && folder[folder.size() - 2] != ':')
      folder.pop_back();
  }

  bool changed = false;
  LockUpdates();
  try {
    if (!folder.empty() && !SameText(ExcludeTrailingPathDelimiter(folder), ExcludeTrailingPathDelimiter(FDirectory))) {
      if (!DirectoryExists(folder))
        throw EInvalidOperation(Path + "\r\r" + LangText(SInvalidPath));
      SetCurrentDir(folder);
      FDirectory = GetCurrentDir();
      if (FTree)
        FTree->SelectPath(FDirectory);
      changed = true;
    }
    if (filePart.find_first_of("*?") != std::string::npos) {
      FMask = filePart;
      changed = true;
    } else if (!filePart.empty()) {
      const std::string full = IncludeTrailingPathDelimiter(FDirectory) + filePart;
      if (!FileExists(full))
        throw EInvalidOperation(Path + "\r\r" + LangText(SInvalidFileName));
      // The list may still show another folder: then the file becomes the
      // mask, and is selected once the list is read again.
      if (changed || SelectedByName(ShellInfo(full, SHGFI_DISPLAYNAME).DisplayName) < 0) {
        FMask = filePart;
        changed = true;
      }
    }
  } catch (...) {
    UnlockUpdates(false);
    throw;
  }
  UnlockUpdates(changed);
  if (changed && !filePart.empty() && filePart.find_first_of("*?") == std::string::npos)
    SelectedByName(ShellInfo(IncludeTrailingPathDelimiter(FDirectory) + filePart, SHGFI_DISPLAYNAME).DisplayName);
}

bool TFileListView::Edited(int Item, const std::string &Text) {
  TFileInfo *info = FInfos.count(ItemData(Item)) ? FInfos.at(ItemData(Item)).get() : nullptr;
  if (!info || Text.empty())
    return false;
  const std::string newName = info->Folder + Text;
  if (!ShellFileOperation(ApplicationWindow(), FO_RENAME, info->FullName(), newName))
    return false;
  info->Fill(newName);
  SetCaption(Item, info->DisplayName());
  int sub = 1 + (FVisibleColumns.Contains(fcInFolder) ? 1 : 0) + (FVisibleColumns.Contains(fcSize) ? 1 : 0);
  if (FVisibleColumns.Contains(fcType))
    SetSubItem(Item, sub, info->TypeName());
  SetImage(Item, info->IconIndex());
  return false; // the caption was set above
}

void TFileListView::KeyDown(WORD Key) {
  const bool modifier = (GetKeyState(VK_SHIFT) | GetKeyState(VK_CONTROL) | GetKeyState(VK_MENU)) & 0x8000;
  if (Key != VK_DELETE || modifier || ReadOnly())
    return;
  const std::vector<int> selected = SelectedItems();
  if (selected.empty())
    return;
  // The nearest unselected file at or before the focused one stays selected afterwards.
  std::string keep;
  for (int i = std::max(Focused(), 0); i >= 0; --i)
    if (!IsSelected(i)) {
      keep = Info(i)->FullName();
      break;
    }
  std::string from;
  for (int item : selected)
    from += Info(item)->FullName() + '\0';
  from.pop_back(); // ShellFileOperation ends the list
  ShellFileOperation(ApplicationWindow(), FO_DELETE, from, "");
  Refresh();
  int index = 0;
  for (int i = 0; i < Count(); ++i)
    if (!keep.empty() && SameText(Info(i)->FullName(), keep))
      index = i;
  if (Count() > 0)
    Select(index);
}

// ===========================================================================
// The dialog

namespace {

// The window makes its start folder the process's current directory, so that
// typed relative names resolve against what the tree shows; the caller's own
// current directory is back once the window is gone, whatever ended it.
class TCurrentDirRestore {
public:
  TCurrentDirRestore() : FSaved(GetCurrentDir()) {}
  ~TCurrentDirRestore() {
    if (!FSaved.empty())
      SetCurrentDir(FSaved);
  }
  TCurrentDirRestore(const TCurrentDirRestore &) = delete;
  TCurrentDirRestore &operator=(const TCurrentDirRestore &) = delete;

private:
  std::string FSaved;
};

} // namespace

bool BrowseForFolder(const std::string &Caption, std::string &Folder, TBrowseFolderType DialogType,
                     TBrowseDirOptions Options) {
  const TCurrentDirRestore currentDir;
  // The hourglass while the window reads the drives; the cursor found is
  // back for the modal window and again after it, errors included.
  std::unique_ptr<TFormBrowseFolder> form;
  {
    THourGlass hourGlass;
    form = std::make_unique<TFormBrowseFolder>(Application, DialogType, Options, Folder);
    form->SetText(!Caption.empty() ? Caption
                                   : LangText(DialogType == btOpen ? SBrowseSelectSource : SBrowseSelectDestination));
  }
  THourGlass::TRestore restore;
  const bool result = form->ShowModal() == mrOk;
  if (result)
    Folder = form->ChosenFolder();
  return result;
}

bool TBrowseFolderDialog::Execute() { return BrowseForFolder(Title, Folder, DialogType, Options); }
