#include "../ComCtrls.h"

#include <shellapi.h>

#include "../SystemCallback.h"

TSystemImageLists LoadSystemImageLists() {
  TSystemImageLists lists;
  SHFILEINFOA info{};
  // The root of the Windows folder always exists; any path would do.
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  windows[3] = '\0';
  lists.Small = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA(windows, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  lists.Large = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA(windows, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_LARGEICON));
  return lists;
}

void TUpdateCounter::Begin(HWND Window) {
  if (FCount++ == 0)
    SendMessageA(Window, WM_SETREDRAW, FALSE, 0);
}

void TUpdateCounter::End(HWND Window) {
  if (FCount > 0 && --FCount == 0) {
    SendMessageA(Window, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(Window, nullptr, TRUE);
  }
}

// ---------------------------------------------------------------------------
// TTreeView

TTreeView::TTreeView(const TArgs &Args) {
  DWORD style = WS_TABSTOP | WS_BORDER;
  if (!Args.HideSelection)
    style |= TVS_SHOWSELALWAYS;
  if (!Args.ReadOnly)
    style |= TVS_EDITLABELS;
  if (Args.ShowButtons)
    style |= TVS_HASBUTTONS;
  if (Args.ShowLines)
    style |= TVS_HASLINES;
  if (Args.ShowRoot)
    style |= TVS_LINESATROOT;
  CreateChild(WC_TREEVIEWA, Args, style, WS_EX_CLIENTEDGE);
}

TTreeView::TNode TTreeView::AddChild(TNode Parent, const std::string &Text, int Image, int SelectedImage,
                                     LPARAM Data, TNode InsertAfter) {
  TVINSERTSTRUCTA insert{};
  insert.hParent = Parent ? Parent : TVI_ROOT;
  insert.hInsertAfter = InsertAfter ? InsertAfter : TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
  insert.item.pszText = const_cast<char *>(Text.c_str());
  insert.item.iImage = Image;
  insert.item.iSelectedImage = SelectedImage;
  insert.item.lParam = Data;
  return reinterpret_cast<TNode>(SendMessageA(Handle(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

void TTreeView::Delete(TNode Node) { SendMessageA(Handle(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(Node)); }

void TTreeView::DeleteChildren(TNode Node) {
  for (TNode child = FirstChild(Node); child;) {
    TNode next = NextSibling(child);
    Delete(child);
    child = next;
  }
}

void TTreeView::Clear() { Delete(TVI_ROOT); }

TTreeView::TNode TTreeView::FirstTopNode() const {
  return reinterpret_cast<TNode>(SendMessageA(Handle(), TVM_GETNEXTITEM, TVGN_ROOT, 0));
}

TTreeView::TNode TTreeView::FirstChild(TNode Node) const {
  return reinterpret_cast<TNode>(
      SendMessageA(Handle(), TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(Node)));
}

TTreeView::TNode TTreeView::NextSibling(TNode Node) const {
  return reinterpret_cast<TNode>(
      SendMessageA(Handle(), TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(Node)));
}

TTreeView::TNode TTreeView::ParentNode(TNode Node) const {
  return reinterpret_cast<TNode>(
      SendMessageA(Handle(), TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(Node)));
}

std::vector<TTreeView::TNode> TTreeView::Children(TNode Node) const {
  std::vector<TNode> nodes;
  for (TNode child = Node ? FirstChild(Node) : FirstTopNode(); child; child = NextSibling(child))
    nodes.push_back(child);
  return nodes;
}

int TTreeView::Count() const { return static_cast<int>(SendMessageA(Handle(), TVM_GETCOUNT, 0, 0)); }

std::string TTreeView::NodeText(TNode Node) const {
  char text[MAX_PATH * 2] = {};
  TVITEMA item{};
  item.mask = TVIF_TEXT;
  item.hItem = Node;
  item.pszText = text;
  item.cchTextMax = sizeof(text);
  SendMessageA(Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return text;
}

void TTreeView::SetNodeText(TNode Node, const std::string &Text) {
  TVITEMA item{};
  item.mask = TVIF_TEXT;
  item.hItem = Node;
  item.pszText = const_cast<char *>(Text.c_str());
  SendMessageA(Handle(), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

LPARAM TTreeView::NodeData(TNode Node) const {
  TVITEMA item{};
  item.mask = TVIF_PARAM;
  item.hItem = Node;
  SendMessageA(Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item.lParam;
}

bool TTreeView::IsExpanded(TNode Node) const {
  return (SendMessageA(Handle(), TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(Node), TVIS_EXPANDED) &
          TVIS_EXPANDED) != 0;
}

void TTreeView::Expand(TNode Node) {
  SendMessageA(Handle(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(Node));
}

TTreeView::TNode TTreeView::Selected() const {
  return reinterpret_cast<TNode>(SendMessageA(Handle(), TVM_GETNEXTITEM, TVGN_CARET, 0));
}

void TTreeView::Select(TNode Node) {
  SendMessageA(Handle(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Node));
}

void TTreeView::MakeTop(TNode Node) {
  SendMessageA(Handle(), TVM_SELECTITEM, TVGN_FIRSTVISIBLE, reinterpret_cast<LPARAM>(Node));
}

void TTreeView::SetImages(HIMAGELIST Images) {
  SendMessageA(Handle(), TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(Images));
}

bool TTreeView::ReadOnly() const { return (GetWindowLongPtrA(Handle(), GWL_STYLE) & TVS_EDITLABELS) == 0; }

void TTreeView::SetReadOnly(bool Value) {
  LONG_PTR style = GetWindowLongPtrA(Handle(), GWL_STYLE);
  style = Value ? (style & ~static_cast<LONG_PTR>(TVS_EDITLABELS)) : (style | TVS_EDITLABELS);
  SetWindowLongPtrA(Handle(), GWL_STYLE, style);
}

bool TTreeView::IsEditing() const { return SendMessageA(Handle(), TVM_GETEDITCONTROL, 0, 0) != 0; }

LRESULT TTreeView::Notify(NMHDR *Header) {
  // The form answers WM_NOTIFYFORMAT as an ANSI window, but the wide codes
  // of the notifications that carry no text are taken too.
  switch (Header->code) {
  case TVN_ITEMEXPANDINGA:
  case TVN_ITEMEXPANDINGW: {
    auto *nm = reinterpret_cast<NMTREEVIEWA *>(Header);
    if (nm->action & TVE_EXPAND)
      return CanExpand(nm->itemNew.hItem) ? FALSE : TRUE;
    return FALSE;
  }
  case TVN_SELCHANGEDA:
  case TVN_SELCHANGEDW:
    Change(reinterpret_cast<NMTREEVIEWA *>(Header)->itemNew.hItem);
    return 0;
  case TVN_DELETEITEMA:
  case TVN_DELETEITEMW: {
    auto *nm = reinterpret_cast<NMTREEVIEWA *>(Header);
    Deletion(nm->itemOld.hItem, nm->itemOld.lParam);
    return 0;
  }
  case TVN_BEGINLABELEDITA:
    return ReadOnly() ? TRUE : FALSE;
  case TVN_ENDLABELEDITA: {
    auto *nm = reinterpret_cast<NMTVDISPINFOA *>(Header);
    if (!nm->item.pszText)
      return FALSE;
    return Edited(nm->item.hItem, nm->item.pszText) ? TRUE : FALSE;
  }
  case TVN_KEYDOWN:
    if (!IsEditing())
      KeyDown(reinterpret_cast<NMTVKEYDOWN *>(Header)->wVKey);
    return 0;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// TListView

TListView::TListView(const TArgs &Args) {
  DWORD style = WS_TABSTOP | LVS_REPORT | LVS_SHAREIMAGELISTS | LVS_SHOWSELALWAYS;
  if (!Args.ReadOnly)
    style |= LVS_EDITLABELS;
  if (!Args.MultiSelect)
    style |= LVS_SINGLESEL;
  CreateChild(WC_LISTVIEWA, Args, style, WS_EX_CLIENTEDGE);
  if (Args.RowSelect)
    SendMessageA(Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

void TListView::AddColumn(const std::string &Caption, int Width, TAlignment Alignment) {
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  column.fmt = Alignment == TAlignment::taRightJustify ? LVCFMT_RIGHT
               : Alignment == TAlignment::taCenter    ? LVCFMT_CENTER
                                                      : LVCFMT_LEFT;
  column.cx = Width;
  column.pszText = const_cast<char *>(Caption.c_str());
  SendMessageA(Handle(), LVM_INSERTCOLUMNA, static_cast<WPARAM>(ColumnCount()), reinterpret_cast<LPARAM>(&column));
}

void TListView::ClearColumns() {
  while (ColumnCount() > 0)
    SendMessageA(Handle(), LVM_DELETECOLUMN, static_cast<WPARAM>(ColumnCount() - 1), 0);
}

int TListView::ColumnCount() const {
  HWND header = reinterpret_cast<HWND>(SendMessageA(Handle(), LVM_GETHEADER, 0, 0));
  return header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int TListView::ColumnWidth(int Index) const {
  return static_cast<int>(SendMessageA(Handle(), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(Index), 0));
}

std::string TListView::ColumnCaption(int Index) const {
  char text[256] = {};
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT;
  column.pszText = text;
  column.cchTextMax = sizeof(text);
  SendMessageA(Handle(), LVM_GETCOLUMNA, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(&column));
  return text;
}

int TListView::AddItem(const std::string &Caption, int Image, LPARAM Data) {
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = Count();
  item.pszText = const_cast<char *>(Caption.c_str());
  item.iImage = Image;
  item.lParam = Data;
  return static_cast<int>(SendMessageA(Handle(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

void TListView::SetSubItem(int Item, int Sub, const std::string &Text) {
  LVITEMA item{};
  item.iSubItem = Sub;
  item.pszText = const_cast<char *>(Text.c_str());
  SendMessageA(Handle(), LVM_SETITEMTEXTA, static_cast<WPARAM>(Item), reinterpret_cast<LPARAM>(&item));
}

std::string TListView::SubItem(int Item, int Sub) const {
  char text[MAX_PATH * 2] = {};
  LVITEMA item{};
  item.iSubItem = Sub;
  item.pszText = text;
  item.cchTextMax = sizeof(text);
  SendMessageA(Handle(), LVM_GETITEMTEXTA, static_cast<WPARAM>(Item), reinterpret_cast<LPARAM>(&item));
  return text;
}

void TListView::SetImage(int Item, int Image) {
  LVITEMA item{};
  item.mask = LVIF_IMAGE;
  item.iItem = Item;
  item.iImage = Image;
  SendMessageA(Handle(), LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void TListView::Delete(int Item) { SendMessageA(Handle(), LVM_DELETEITEM, static_cast<WPARAM>(Item), 0); }

void TListView::Clear() { SendMessageA(Handle(), LVM_DELETEALLITEMS, 0, 0); }

int TListView::Count() const { return static_cast<int>(SendMessageA(Handle(), LVM_GETITEMCOUNT, 0, 0)); }

std::string TListView::Caption(int Item) const { return SubItem(Item, 0); }

void TListView::SetCaption(int Item, const std::string &Text) { SetSubItem(Item, 0, Text); }

LPARAM TListView::ItemData(int Item) const {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = Item;
  SendMessageA(Handle(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item.lParam;
}

int TListView::IndexOfData(LPARAM Data) const {
  LVFINDINFOA find{};
  find.flags = LVFI_PARAM;
  find.lParam = Data;
  return static_cast<int>(SendMessageA(Handle(), LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

bool TListView::IsSelected(int Item) const {
  return (SendMessageA(Handle(), LVM_GETITEMSTATE, static_cast<WPARAM>(Item), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

int TListView::Focused() const {
  return static_cast<int>(SendMessageA(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

int TListView::Selected() const {
  const int focused = Focused();
  if (focused >= 0 && IsSelected(focused))
    return focused;
  return static_cast<int>(SendMessageA(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

std::vector<int> TListView::SelectedItems() const {
  std::vector<int> items;
  for (int i = static_cast<int>(SendMessageA(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
       i >= 0; i = static_cast<int>(SendMessageA(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED)))
    items.push_back(i);
  return items;
}

void TListView::Select(int Item) {
  LVITEMA clear{};
  clear.stateMask = LVIS_SELECTED;
  SendMessageA(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
  if (Item < 0)
    return;
  LVITEMA set{};
  set.state = set.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(Item), reinterpret_cast<LPARAM>(&set));
  SendMessageA(Handle(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(Item), FALSE);
}

int TListView::FindCaption(const std::string &Text) const {
  LVFINDINFOA find{};
  find.flags = LVFI_STRING;
  find.psz = Text.c_str();
  return static_cast<int>(SendMessageA(Handle(), LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

namespace {

struct TSortCall {
  const std::function<int(LPARAM, LPARAM)> &Compare;
  TCallbackError Error;
};

// After a failed comparison the rest of the sort sees every pair as equal:
// it ends soon with the items in some order, all of them still there.
int CALLBACK CompareItems(LPARAM A, LPARAM B, LPARAM Call) {
  auto &call = *reinterpret_cast<TSortCall *>(Call);
  return call.Error.Guard([&] { return call.Compare(A, B); }, 0);
}

} // namespace

void TListView::Sort(const std::function<int(LPARAM, LPARAM)> &Compare) {
  TSortCall call{Compare, {}};
  SendMessageA(Handle(), LVM_SORTITEMS, reinterpret_cast<WPARAM>(&call), reinterpret_cast<LPARAM>(&CompareItems));
  call.Error.Rethrow();
}

void TListView::SetImages(HIMAGELIST Small, HIMAGELIST Large) {
  SendMessageA(Handle(), LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(Small));
  SendMessageA(Handle(), LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(Large));
}

bool TListView::ReadOnly() const { return (GetWindowLongPtrA(Handle(), GWL_STYLE) & LVS_EDITLABELS) == 0; }

bool TListView::IsEditing() const { return SendMessageA(Handle(), LVM_GETEDITCONTROL, 0, 0) != 0; }

LRESULT TListView::Notify(NMHDR *Header) {
  switch (Header->code) {
  case LVN_COLUMNCLICK:
    ColumnClick(reinterpret_cast<NMLISTVIEW *>(Header)->iSubItem);
    return 0;
  case LVN_DELETEITEM: {
    auto *nm = reinterpret_cast<NMLISTVIEW *>(Header);
    Deletion(nm->iItem, nm->lParam);
    return 0;
  }
  case LVN_ITEMCHANGED:
    if (reinterpret_cast<NMLISTVIEW *>(Header)->uChanged & LVIF_STATE)
      SelectionChanged();
    return 0;
  case LVN_BEGINLABELEDITA:
    return ReadOnly() ? TRUE : FALSE;
  case LVN_ENDLABELEDITA: {
    auto *nm = reinterpret_cast<NMLVDISPINFOA *>(Header);
    if (!nm->item.pszText)
      return FALSE;
    return Edited(nm->item.iItem, nm->item.pszText) ? TRUE : FALSE;
  }
  case LVN_KEYDOWN:
    if (!IsEditing())
      KeyDown(reinterpret_cast<NMLVKEYDOWN *>(Header)->wVKey);
    return 0;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// TStatusBar, TProgressBar

TStatusBar::TStatusBar(const TControlArgs &Args) { CreateChild(STATUSCLASSNAMEA, Args, SBARS_SIZEGRIP, 0); }

void TStatusBar::SetParts(const std::vector<int> &RightEdges) {
  SendMessageA(Handle(), SB_SETPARTS, RightEdges.size(), reinterpret_cast<LPARAM>(RightEdges.data()));
}

void TStatusBar::SetPartText(int Part, const std::string &Text) {
  SendMessageA(Handle(), SB_SETTEXTA, static_cast<WPARAM>(Part), reinterpret_cast<LPARAM>(Text.c_str()));
}

std::string TStatusBar::PartText(int Part) const {
  const auto length = LOWORD(SendMessageA(Handle(), SB_GETTEXTLENGTHA, static_cast<WPARAM>(Part), 0));
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(Handle(), SB_GETTEXTA, static_cast<WPARAM>(Part), reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return text;
}

TBounds TStatusBar::PartBounds(int Part) const {
  RECT r{};
  SendMessageA(Handle(), SB_GETRECT, static_cast<WPARAM>(Part), reinterpret_cast<LPARAM>(&r));
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void TStatusBar::ParentResized() { SendMessageA(Handle(), WM_SIZE, 0, 0); }

TProgressBar::TProgressBar(const TControlArgs &Args) { CreateChild(PROGRESS_CLASSA, Args, PBS_SMOOTH, 0); }

void TProgressBar::SetMax(int Value) { SendMessageA(Handle(), PBM_SETRANGE32, 0, Value); }
int TProgressBar::Max() const { return static_cast<int>(SendMessageA(Handle(), PBM_GETRANGE, FALSE, 0)); }
void TProgressBar::SetPosition(int Value) { SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(Value), 0); }
int TProgressBar::Position() const { return static_cast<int>(SendMessageA(Handle(), PBM_GETPOS, 0, 0)); }
