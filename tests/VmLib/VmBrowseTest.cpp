// The directory tree and the file list as real controls on a form, over real
// folders of a temporary folder, driven by the keys and clicks a user sends.
#include "VmBrowse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "DialogDriver.h"
#include "FileFind.h"
#include "OSFile.h"
#include "TempDir.h"
#include "VmLang.h"
#include "WineHost.h"

namespace {

TApplication App;

std::string NoDelim(const std::string &Path) { return ExcludeTrailingPathDelimiter(Path); }

class BrowseFixture : public ::testing::Test {
protected:
  void SetUp() override {
    App.Initialize();
    Form = std::make_unique<TForm>(TForm::TArgs{"TBrowseTestForm", "Browse test", TBorderStyle::bsSingle, false,
                                                 900, 400, "MS Sans Serif", -11});
    Form->Show();
  }
  void TearDown() override {
    List.reset();
    Tree.reset();
    Form.reset();
    SetCurrentDir(Saved);
  }

  TDirTreeView &MakeTree(TDirTreeView::TArgs Args = {}) {
    Args.Parent = Form.get();
    Args.Bounds = {0, 0, 300, 400};
    Args.HideSelection = false;
    Tree = std::make_unique<TDirTreeView>(Args);
    return *Tree;
  }
  TFileListView &MakeList() {
    TFileListView::TArgs args;
    args.Parent = Form.get();
    args.Bounds = {300, 0, 600, 400}; // every column's header in sight
    args.MultiSelect = true;
    List = std::make_unique<TFileListView>(args);
    return *List;
  }

  std::string Dir(const std::string &Name) {
    std::filesystem::create_directories(Temp.File(Name));
    return Temp.File(Name) + "\\";
  }

  // The child folder names of the node shown for Path ("" for placeholders).
  std::vector<std::string> ChildPaths(TTreeView::TNode Node) {
    std::vector<std::string> paths;
    for (TTreeView::TNode child : Tree->Children(Node)) {
      const TDirInfo *info = Tree->Info(child);
      paths.push_back(info ? info->FolderPath : "placeholder '" + Tree->NodeText(child) + "'");
    }
    return paths;
  }

  // A key press as the keyboard sends it to the focused control.
  void PressKey(HWND Window, WORD Key) {
    SetFocus(Window);
    PostMessageA(Window, WM_KEYDOWN, Key, 1);
    PostMessageA(Window, WM_KEYUP, Key, static_cast<LPARAM>(0xC0000001u));
    App.ProcessMessages();
  }

  std::string Saved = GetCurrentDir();
  TTempDir Temp;
  std::unique_ptr<TForm> Form;
  std::unique_ptr<TDirTreeView> Tree;
  std::unique_ptr<TFileListView> List;
};

using DirTree = BrowseFixture;

TEST_F(DirTree, ReadsOnlyWhatIsOpenAndOneLevelAhead) {
  Dir("a\\b\\c\\d");
  Dir("a\\b2");
  TDirTreeView &tree = MakeTree();
  ASSERT_GT(tree.Count(), 0) << "the drives are read when the window exists";
  for (TTreeView::TNode drive : tree.Children(nullptr))
    EXPECT_FALSE(tree.Info(drive)->ChildrenRead) << tree.Info(drive)->FolderPath;

  tree.SelectPath(Temp.File("a"));
  TTreeView::TNode a = tree.Selected();
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(SameText(tree.GetSelectedPath(), Temp.File("a\\")));
  EXPECT_TRUE(tree.Info(a)->ChildrenRead);
  ASSERT_EQ(ChildPaths(a), (std::vector<std::string>{Temp.File("a\\b\\"), Temp.File("a\\b2\\")}));
  TTreeView::TNode b = tree.FirstChild(a);
  EXPECT_FALSE(tree.Info(b)->ChildrenRead);
  EXPECT_EQ(tree.FirstChild(b), nullptr);

  // Opening a (the user's Right key) reads its children's children, no deeper.
  PressKey(tree.Handle(), VK_RIGHT);
  EXPECT_TRUE(tree.IsExpanded(a));
  EXPECT_TRUE(tree.Info(b)->ChildrenRead);
  ASSERT_EQ(ChildPaths(b), (std::vector<std::string>{Temp.File("a\\b\\c\\")}));
  TTreeView::TNode c = tree.FirstChild(b);
  EXPECT_FALSE(tree.Info(c)->ChildrenRead);
  EXPECT_EQ(tree.FirstChild(c), nullptr) << "d is not read yet";
}

TEST_F(DirTree, SelectPathIgnoresCaseAndTheTrailingBackslash) {
  Dir("Mixed\\Inner");
  TDirTreeView &tree = MakeTree();
  const std::string wanted = Temp.File("Mixed\\Inner\\");
  for (const std::string &path : {wanted, LowerCase(NoDelim(wanted)), UpperCase(wanted)}) {
    tree.Select(tree.FirstTopNode());
    tree.SelectPath(path);
    EXPECT_TRUE(SameText(tree.GetSelectedPath(), wanted)) << path << " selected " << tree.GetSelectedPath();
  }
  const TTreeView::TNode selected = tree.Selected();
  tree.SelectPath(Temp.File("Mixed\\Missing"));
  EXPECT_EQ(tree.Selected(), selected) << "a missing folder changes nothing";
  EXPECT_EQ(tree.LastPath(wanted[0]), UpperCase(wanted));
}

TEST_F(DirTree, RootSelectedGivesTheRootWithItsBackslash) {
  TDirTreeView &tree = MakeTree();
  EXPECT_EQ(tree.GetSelectedPath(), "") << "nothing selected";
  const std::string drive = Temp.Path().substr(0, 1);
  for (const std::string &root : {drive + ":", LowerCase(drive) + ":\\"}) {
    tree.SelectPath(root);
    EXPECT_EQ(tree.GetSelectedPath(), UpperCase(drive) + ":\\") << root;
  }
}

TEST_F(DirTree, RecycleBinFolderIsShownButNothingBelowIt) {
  Dir("RECYCLED\\S-1-5\\old");
  for (bool below : {false, true}) {
    TDirTreeView::TArgs args;
    args.GoBelowRecycleBin = below;
    TDirTreeView &tree = MakeTree(args);
    tree.SelectPath(Temp.File("RECYCLED"));
    EXPECT_TRUE(SameText(tree.GetSelectedPath(), Temp.File("RECYCLED\\"))) << "the bin itself is listed";
    PressKey(tree.Handle(), VK_RIGHT);
    EXPECT_EQ(ChildPaths(tree.Selected()).size(), below ? 1u : 0u) << "GoBelowRecycleBin " << below;
  }
}

TEST_F(DirTree, FoldersByAttributeAndTheAddDirVeto) {
  Dir("plain");
  for (const auto &[name, attr] : {std::pair{"hid", FILE_ATTRIBUTE_HIDDEN}, std::pair{"sys", FILE_ATTRIBUTE_SYSTEM}}) {
    Dir(name);
    ASSERT_TRUE(SetFileAttributesA(Temp.File(name).c_str(), attr)) << name;
  }
  Dir("ro");
  ASSERT_TRUE(MakeFolderReadOnly(Temp.File("ro")));
  TDirTreeView &tree = MakeTree();
  const auto shown = [&] {
    tree.SelectPath(Temp.Path());
    std::vector<std::string> names;
    for (const std::string &path : ChildPaths(tree.Selected()))
      names.push_back(path.substr(Temp.Path().size(), path.size() - Temp.Path().size() - 1));
    return names;
  };
  EXPECT_EQ(shown(), (std::vector<std::string>{"hid", "plain", "ro", "sys"})) << "the default shows all";
  tree.SetDirType({dtNormal});
  EXPECT_EQ(shown(), (std::vector<std::string>{"plain"}));
  tree.SetDirType({dtNormal, dtHidden});
  EXPECT_EQ(shown(), (std::vector<std::string>{"hid", "plain"}));

  tree.SetDirType({dtNormal, dtAll});
  std::vector<std::string> asked;
  tree.OnAddDir = [&](const std::string &Path, bool &Accept) {
    asked.push_back(Path);
    Accept = Path.find("\\ro\\") == std::string::npos;
  };
  tree.Reload();
  EXPECT_EQ(shown(), (std::vector<std::string>{"hid", "plain", "sys"}));
  EXPECT_NE(std::find(asked.begin(), asked.end(), Temp.File("ro\\")), asked.end());
}

TEST_F(DirTree, ReloadKeepsTheSelectionAndALinkedListFollows) {
  Dir("one\\two");
  WriteFileBytes(Temp.File("one\\two\\f.txt"), "x");
  TDirTreeView &tree = MakeTree();
  TFileListView &list = MakeList();
  tree.SetFileListView(&list);
  EXPECT_EQ(list.DirTreeView(), &tree);
  tree.SelectPath(Temp.File("one\\two"));
  EXPECT_TRUE(SameText(list.Directory(), Temp.File("one\\two")));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Info(0)->FileName(), "f.txt");

  tree.Reload();
  EXPECT_TRUE(SameText(tree.GetSelectedPath(), Temp.File("one\\two\\")));

  // The list tells the tree about a new folder too.
  list.SetDirectory(Temp.File("one"));
  EXPECT_TRUE(SameText(tree.GetSelectedPath(), Temp.File("one\\")));

  // A destroyed list leaves no link behind.
  List.reset();
  EXPECT_EQ(tree.FileListView(), nullptr);
  tree.SelectPath(Temp.File("one\\two"));
}

// Ends a label edit the way the user does: types the new name, then Enter.
void TypeLabel(HWND Edit, const std::string &Text) {
  ASSERT_NE(Edit, nullptr) << "no label edit";
  SendMessageA(Edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  for (char c : Text)
    SendMessageA(Edit, WM_CHAR, static_cast<unsigned char>(c), 1);
  PostMessageA(Edit, WM_KEYDOWN, VK_RETURN, 1);
  PostMessageA(Edit, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC0000001u));
  App.ProcessMessages();
}

// Answers the shell's confirmations with Yes (or Enter) until none comes.
void ConfirmShellDialogs(TDialogDriver &Driver) {
  for (int i = 0; i < 3; ++i) {
    const auto dialog = Driver.WaitForDialog(i == 0 ? 5000 : 1500);
    if (!dialog)
      return;
    bool clicked = false;
    for (const char *yes : {"&Yes", "Yes", "OK"})
      if (!clicked && std::find(dialog->Buttons.begin(), dialog->Buttons.end(), yes) != dialog->Buttons.end())
        clicked = Driver.Click(*dialog, yes);
    if (!clicked)
      Driver.PressKey(*dialog, VK_RETURN);
  }
}

TEST_F(DirTree, RenameAndDeleteThroughTheShell) {
  Dir("old\\inner");
  Dir("doomed");
  TDirTreeView::TArgs args;
  args.ReadOnly = false;
  TDirTreeView &tree = MakeTree(args);
  tree.SelectPath(Temp.File("old"));
  HWND edit = reinterpret_cast<HWND>(
      SendMessageA(tree.Handle(), TVM_EDITLABELA, 0, reinterpret_cast<LPARAM>(tree.Selected())));
  TypeLabel(edit, "renamed");
  EXPECT_TRUE(DirectoryExists(Temp.File("renamed\\inner")));
  EXPECT_FALSE(DirectoryExists(Temp.File("old")));
  EXPECT_EQ(tree.Info(tree.Selected())->FolderPath, Temp.File("renamed\\"));
  EXPECT_EQ(tree.NodeText(tree.Selected()), "renamed");

  // A name the shell refuses leaves the node as it was.
  edit = reinterpret_cast<HWND>(
      SendMessageA(tree.Handle(), TVM_EDITLABELA, 0, reinterpret_cast<LPARAM>(tree.Selected())));
  {
    TDialogScript script([](TDialogDriver &driver) { ConfirmShellDialogs(driver); });
    TypeLabel(edit, "bad|name");
  }
  EXPECT_EQ(tree.NodeText(tree.Selected()), "renamed");
  EXPECT_TRUE(DirectoryExists(Temp.File("renamed")));

  tree.SelectPath(Temp.File("doomed"));
  {
    TDialogScript script([](TDialogDriver &driver) { ConfirmShellDialogs(driver); });
    PressKey(tree.Handle(), VK_DELETE);
  }
  App.ProcessMessages();
  EXPECT_FALSE(DirectoryExists(Temp.File("doomed")));
  tree.SelectPath(Temp.Path());
  EXPECT_EQ(ChildPaths(tree.Selected()), (std::vector<std::string>{Temp.File("renamed\\")})) << "the tree reloaded";
}

using FileList = BrowseFixture;

std::vector<std::string> Captions(const TFileListView &List) {
  std::vector<std::string> captions;
  for (int i = 0; i < List.Count(); ++i)
    captions.push_back(List.Info(i)->FileName());
  return captions;
}

TEST_F(FileList, MaskPatternsInTurnAndAFileMatchingTwiceIsListedTwice) {
  for (const char *name : {"a.txt", "b.doc", "c.bin"})
    WriteFileBytes(Temp.File(name), "");
  TFileListView &list = MakeList();
  list.SetDirectory(Temp.Path());
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"a.txt", "b.doc", "c.bin"}));
  list.SetMask("*.txt;*.doc");
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"a.txt", "b.doc"}));
  list.SetMask("*.txt;a.*");
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"a.txt", "a.txt"}));
}

TEST_F(FileList, SetDirectoryWithAMaskAFileAndMissingNames) {
  Dir("data");
  WriteFileBytes(Temp.File("data\\keep.txt"), "");
  WriteFileBytes(Temp.File("data\\other.doc"), "");
  TFileListView &list = MakeList();
  TControlArgs editArgs;
  editArgs.Parent = Form.get();
  editArgs.Bounds = {0, 0, 100, 20};
  TEdit edit(editArgs);
  list.SetFileEdit(&edit);
  EXPECT_EQ(edit.Text(), "*.*") << "the mask while nothing is selected";

  list.SetDirectory(Temp.File("data\\*.txt"));
  EXPECT_TRUE(SameText(list.Directory(), Temp.File("data")));
  EXPECT_EQ(list.Mask(), "*.txt");
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"keep.txt"}));
  EXPECT_TRUE(SameText(GetCurrentDir(), Temp.File("data"))) << "relative names resolve against the list's folder";

  list.SetMask("*.*");
  list.SetDirectory("other.doc"); // relative to the list's folder
  ASSERT_GE(list.Selected(), 0);
  EXPECT_EQ(list.Info(list.Selected())->FileName(), "other.doc");
  EXPECT_EQ(edit.Text(), "other.doc");

  const struct {
    std::string Path;
    const TLangTexts *Error;
  } errors[] = {
      {Temp.File("nowhere\\x.txt"), &SInvalidPath},
      {Temp.File("data\\absent.txt"), &SInvalidFileName},
  };
  for (const auto &e : errors) {
    try {
      list.SetDirectory(e.Path);
      ADD_FAILURE() << "no error for " << e.Path;
    } catch (const EInvalidOperation &error) {
      EXPECT_EQ(error.Message(), e.Path + "\r\r" + LangText(*e.Error));
    }
  }
  // The lock was released: changes re-read the list again.
  WriteFileBytes(Temp.File("data\\late.txt"), "");
  list.SetMask("*.txt");
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"keep.txt", "late.txt"}));
  EXPECT_TRUE(SameText(list.Directory(), Temp.File("data")));
}

// Clicks a column header as the mouse does.
void ClickHeader(TFileListView &List, int Column) {
  HWND header = reinterpret_cast<HWND>(SendMessageA(List.Handle(), LVM_GETHEADER, 0, 0));
  RECT r{};
  SendMessageA(header, HDM_GETITEMRECT, static_cast<WPARAM>(Column), reinterpret_cast<LPARAM>(&r));
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  PostMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
  App.ProcessMessages();
  PostMessageA(header, WM_LBUTTONUP, 0, at);
  App.ProcessMessages();
}

TEST_F(FileList, ColumnsAndSortingByHeaderClicks) {
  WriteFileBytes(Temp.File("b.txt"), std::string(1536, 'x'));
  WriteFileBytes(Temp.File("A.doc"), std::string(10, 'x'));
  WriteFileBytes(Temp.File("c.bin"), "");
  TFileListView &list = MakeList();
  list.SetVisibleColumns({fcSize, fcType, fcModified, fcInFolder});
  list.SetDirectory(Temp.Path());

  const struct {
    const char *Caption;
    int Width;
  } columns[] = {{"Name", 125}, {"In folder", 150}, {"Size", 60}, {"Type", 110}, {"Modified", 110}};
  ASSERT_EQ(list.ColumnCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(list.ColumnCaption(i), columns[i].Caption) << i;
    EXPECT_EQ(list.ColumnWidth(i), columns[i].Width) << i;
  }
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"A.doc", "b.txt", "c.bin"})) << "by name, any case";
  std::vector<std::string> sizes;
  for (int i = 0; i < list.Count(); ++i)
    sizes.push_back(list.SubItem(i, 2));
  EXPECT_EQ(sizes, (std::vector<std::string>{"1 KB", "2 KB", "0 KB"}));
  EXPECT_TRUE(SameText(list.SubItem(0, 1), Temp.Path()));
  EXPECT_FALSE(list.SubItem(0, 4).empty()) << "modified";

  const struct {
    int Header;
    TFileListViewColumn Column;
    bool Descending;
    std::vector<std::string> Order;
  } clicks[] = {
      {2, fcSize, false, {"c.bin", "A.doc", "b.txt"}},
      {2, fcSize, true, {"b.txt", "A.doc", "c.bin"}},
      {3, fcType, true, {"b.txt", "A.doc", "c.bin"}}, // by extension, the order stays descending
      {3, fcType, false, {"c.bin", "A.doc", "b.txt"}},
      {0, fcName, false, {"A.doc", "b.txt", "c.bin"}},
      {0, fcName, true, {"c.bin", "b.txt", "A.doc"}},
  };
  for (size_t i = 0; i < std::size(clicks); ++i) {
    ClickHeader(list, clicks[i].Header);
    EXPECT_EQ(list.SortColumn(), clicks[i].Column) << "click " << i;
    EXPECT_EQ(list.SortDescending(), clicks[i].Descending) << "click " << i;
    EXPECT_EQ(Captions(list), clicks[i].Order) << "click " << i;
  }
}

TEST_F(FileList, AComparisonThatRaisesReachesTheCallerAfterTheSortAndLosesNoItem) {
  for (const char *name : {"c.txt", "a.txt", "d.txt", "b.txt"})
    WriteFileBytes(Temp.File(name), "");
  TFileListView &list = MakeList();
  list.SetDirectory(Temp.Path());
  int compared = 0;
  try {
    list.Sort([&compared](LPARAM, LPARAM) -> int {
      if (++compared == 2)
        throw EListError("comparison failed");
      return 0;
    });
    ADD_FAILURE() << "nothing raised";
  } catch (const EListError &e) {
    EXPECT_EQ(e.Message(), "comparison failed");
  }
  EXPECT_EQ(compared, 2) << "no comparison after the one that raised";
  std::vector<std::string> names = Captions(list);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt"}));

  // The list sorts as before afterwards.
  ClickHeader(list, 0);
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"d.txt", "c.txt", "b.txt", "a.txt"}));
}

TEST_F(FileList, RecursionListsSubfoldersAndFileTypeFilters) {
  Dir("sub");
  WriteFileBytes(Temp.File("top.txt"), "");
  WriteFileBytes(Temp.File("sub\\low.txt"), "");
  WriteFileBytes(Temp.File("sub\\hidden.txt"), "");
  SetFileAttributesA(Temp.File("sub\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  TFileListView &list = MakeList();
  list.SetDirectory(Temp.Path());
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"top.txt"}));
  list.SetRecurseSubDirs(true);
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"low.txt", "top.txt"}));
  list.SetFileType({dtNormal, dtHidden});
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"hidden.txt", "low.txt", "top.txt"}));
}

TEST_F(FileList, RenameAndDeleteThroughTheShell) {
  for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt"})
    WriteFileBytes(Temp.File(name), "");
  TFileListView &list = MakeList();
  list.SetVisibleColumns({fcType});
  list.SetDirectory(Temp.Path());
  ASSERT_EQ(list.Count(), 4);

  HWND edit = reinterpret_cast<HWND>(SendMessageA(list.Handle(), LVM_EDITLABELA, 0, 0));
  TypeLabel(edit, "a.doc");
  EXPECT_TRUE(FileExists(Temp.File("a.doc")));
  EXPECT_EQ(list.Info(0)->FileName(), "a.doc");
  EXPECT_EQ(list.Caption(0), list.Info(0)->DisplayName());
  EXPECT_EQ(list.SubItem(0, 1), list.Info(0)->TypeName()) << "the new type";

  // b and c go; the nearest unselected file before the focused one stays selected.
  list.Select(2);
  LVITEMA also{};
  also.state = also.stateMask = LVIS_SELECTED;
  SendMessageA(list.Handle(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&also));
  {
    TDialogScript script([](TDialogDriver &driver) { ConfirmShellDialogs(driver); });
    PressKey(list.Handle(), VK_DELETE);
  }
  App.ProcessMessages();
  EXPECT_FALSE(FileExists(Temp.File("b.txt")));
  EXPECT_FALSE(FileExists(Temp.File("c.txt")));
  EXPECT_EQ(Captions(list), (std::vector<std::string>{"a.doc", "d.txt"}));
  ASSERT_GE(list.Selected(), 0);
  EXPECT_EQ(list.Info(list.Selected())->FileName(), "a.doc");
}

} // namespace
