// The common controls the browsing controls are built on: a tree view and a
// report-style list view, with the notifications they raise turned into
// virtual calls, and the shell's system image lists. ANSI calls throughout.
// Windows only.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "Controls.h"

// The shell's system image lists (small and large icons), shared by every
// control that shows shell icons. They belong to the system: nobody destroys
// them.
struct TSystemImageLists {
  HIMAGELIST Small = nullptr;
  HIMAGELIST Large = nullptr;
};
// Asks the shell for both lists.
TSystemImageLists LoadSystemImageLists();

// Counts nested bulk updates of a control and keeps its redrawing off while
// any is open.
class TUpdateCounter {
public:
  void Begin(HWND Window);
  void End(HWND Window);

private:
  int FCount = 0;
};

class TTreeView : public TWinControl {
public:
  using TNode = HTREEITEM;
  struct TArgs : TControlArgs {
    bool HideSelection = true;
    bool ReadOnly = false; // labels not editable
    bool ShowButtons = true;
    bool ShowLines = true;
    bool ShowRoot = true;
  };
  explicit TTreeView(const TArgs &Args);

  // Adds a child of Parent (a top-level node when null) after InsertAfter.
  TNode AddChild(TNode Parent, const std::string &Text, int Image, int SelectedImage, LPARAM Data,
                 TNode InsertAfter = TVI_LAST);
  void Delete(TNode Node);
  void DeleteChildren(TNode Node);
  void Clear();

  TNode FirstTopNode() const;
  TNode FirstChild(TNode Node) const;
  TNode NextSibling(TNode Node) const;
  TNode ParentNode(TNode Node) const;
  std::vector<TNode> Children(TNode Node) const; // top-level nodes for null
  int Count() const;

  std::string NodeText(TNode Node) const;
  void SetNodeText(TNode Node, const std::string &Text);
  LPARAM NodeData(TNode Node) const;
  bool IsExpanded(TNode Node) const;
  void Expand(TNode Node);

  TNode Selected() const;
  void Select(TNode Node);
  // Scrolls the node to the top of the view.
  void MakeTop(TNode Node);

  void BeginUpdate() { FUpdates.Begin(Handle()); }
  void EndUpdate() { FUpdates.End(Handle()); }
  void SetImages(HIMAGELIST Images);

  bool ReadOnly() const;
  void SetReadOnly(bool Value);
  bool IsEditing() const;

  TNotifyEvent OnChange;

protected:
  // Before a node opens; false keeps it closed.
  virtual bool CanExpand(TNode) { return true; }
  // After the selection moved to Node.
  virtual void Change(TNode) {
    if (OnChange)
      OnChange(this);
  }
  // While a node is being deleted, with its data.
  virtual void Deletion(TNode, LPARAM) {}
  // A label edit ended with Text (not when cancelled); false reverts the text.
  virtual bool Edited(TNode, const std::string &) { return false; }
  // A key went down while the tree had the focus (not while editing).
  virtual void KeyDown(WORD) {}

  LRESULT Notify(NMHDR *Header) override;

private:
  TUpdateCounter FUpdates;
};

// A list view in report style: columns, items with a caption, sub-items, an
// image and a data value.
class TListView : public TWinControl {
public:
  struct TArgs : TControlArgs {
    bool ReadOnly = false; // captions not editable
    bool MultiSelect = false;
    bool RowSelect = false;
  };
  explicit TListView(const TArgs &Args);

  void AddColumn(const std::string &Caption, int Width, TAlignment Alignment = TAlignment::taLeftJustify);
  void ClearColumns();
  int ColumnCount() const;
  int ColumnWidth(int Index) const;
  std::string ColumnCaption(int Index) const;

  // Appends an item; returns its index.
  int AddItem(const std::string &Caption, int Image, LPARAM Data);
  void SetSubItem(int Item, int SubItem, const std::string &Text); // SubItem 1 is the second column
  std::string SubItem(int Item, int SubItem) const;
  void SetImage(int Item, int Image);
  void Delete(int Item);
  void Clear();
  int Count() const;
  std::string Caption(int Item) const;
  void SetCaption(int Item, const std::string &Text);
  LPARAM ItemData(int Item) const;
  int IndexOfData(LPARAM Data) const;

  bool IsSelected(int Item) const;
  int Focused() const;
  // The focused item when selected, else the first selected one, else -1.
  int Selected() const;
  std::vector<int> SelectedItems() const;
  // Selects and focuses the item alone (-1 clears the selection).
  void Select(int Item);
  // The item whose caption is Text, without regard to case; -1 when none.
  int FindCaption(const std::string &Text) const;

  // Sorts by a comparison of two items' data values.
  void Sort(const std::function<int(LPARAM, LPARAM)> &Compare);

  void BeginUpdate() { FUpdates.Begin(Handle()); }
  void EndUpdate() { FUpdates.End(Handle()); }
  void SetImages(HIMAGELIST Small, HIMAGELIST Large);

  bool ReadOnly() const;
  bool IsEditing() const;

protected:
  virtual void ColumnClick(int) {}
  virtual void Deletion(int, LPARAM) {}
  virtual bool Edited(int, const std::string &) { return false; }
  virtual void KeyDown(WORD) {}
  // The selection or focus changed.
  virtual void SelectionChanged() {}

  LRESULT Notify(NMHDR *Header) override;

private:
  TUpdateCounter FUpdates;
};

// The status bar along the bottom of its parent, divided into parts.
class TStatusBar : public TWinControl {
public:
  explicit TStatusBar(const TControlArgs &Args);
  // The right edge of each part, from the left; -1 runs to the bar's end.
  void SetParts(const std::vector<int> &RightEdges);
  void SetPartText(int Part, const std::string &Text);
  std::string PartText(int Part) const;
  TBounds PartBounds(int Part) const; // in the bar's client area
  // The bar follows its parent's width and bottom edge: call on its WM_SIZE.
  void ParentResized();
  int Height() const { return Bounds().Height; }
};

// A progress bar from 0 to a maximum.
class TProgressBar : public TWinControl {
public:
  explicit TProgressBar(const TControlArgs &Args);
  void SetMax(int Value);
  int Max() const;
  void SetPosition(int Value);
  int Position() const;
};
