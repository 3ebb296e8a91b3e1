// The folder browse window shown modally through BrowseForFolder, answered
// from a helper thread the way a user would: typing into the folder edit,
// pressing keys in the tree, clicking OK or Cancel and answering the
// messages that come up.
#include "VmBrowseFolderFrm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "DialogDriver.h"
#include "FileFind.h"
#include "LabelFit.h"
#include "OSFile.h"
#include "TempDir.h"
#include "VmLang.h"
#include "WineHost.h"

namespace {

TApplication App;

std::string ClassOf(HWND Window) {
  char name[64] = {};
  GetClassNameA(Window, name, sizeof(name));
  return name;
}

std::string TextOf(HWND Window) {
  char text[1024] = {};
  GetWindowTextA(Window, text, sizeof(text));
  return text;
}

// The browse window as the helper thread sees it: its handle and controls.
struct TBrowseWindow {
  HWND Form = nullptr;
  HWND Edit = nullptr;
  HWND Tree = nullptr;
  HWND OK = nullptr;
  HWND Cancel = nullptr;
};

BOOL CALLBACK FindBrowseForm(HWND Window, LPARAM Result) {
  if (IsWindowVisible(Window) && IsWindowEnabled(Window) && ClassOf(Window) == "TFormBrowseFolder") {
    *reinterpret_cast<HWND *>(Result) = Window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectControl(HWND Window, LPARAM Result) {
  auto &w = *reinterpret_cast<TBrowseWindow *>(Result);
  const std::string cls = ClassOf(Window);
  if (_stricmp(cls.c_str(), "Edit") == 0 && GetParent(Window) == w.Form)
    w.Edit = Window;
  else if (cls == WC_TREEVIEWA)
    w.Tree = Window;
  else if (_stricmp(cls.c_str(), "Button") == 0 && TextOf(Window) == "OK")
    w.OK = Window;
  else if (_stricmp(cls.c_str(), "Button") == 0 && TextOf(Window) == "Cancel")
    w.Cancel = Window;
  return TRUE;
}

std::optional<TBrowseWindow> WaitForBrowseWindow(DWORD GuiThread) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start < ScaledTimeout(30000);) {
    TBrowseWindow w;
    EnumThreadWindows(GuiThread, FindBrowseForm, reinterpret_cast<LPARAM>(&w.Form));
    if (w.Form) {
      Sleep(50);
      EnumChildWindows(w.Form, CollectControl, reinterpret_cast<LPARAM>(&w));
      return w;
    }
    Sleep(20);
  }
  return std::nullopt;
}

// Replaces the edit's text with Text as typed characters.
void Type(HWND Edit, const std::string &Text) {
  SendMessageA(Edit, EM_SETSEL, 0, -1);
  SendMessageA(Edit, WM_KEYDOWN, VK_DELETE, 1);
  SendMessageA(Edit, WM_KEYUP, VK_DELETE, static_cast<LPARAM>(0xC0000001u));
  for (char c : Text)
    SendMessageA(Edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void PostKey(HWND Window, WORD Key) {
  PostMessageA(Window, WM_KEYDOWN, Key, 1);
  PostMessageA(Window, WM_KEYUP, Key, static_cast<LPARAM>(0xC0000001u));
}

class BrowseDialog : public ::testing::Test {
protected:
  void SetUp() override { App.Initialize(); }
  void TearDown() override { SetCurrentDir(Saved); }

  std::string Dir(const std::string &Name) {
    std::filesystem::create_directories(Temp.File(Name));
    return Temp.File(Name) + "\\";
  }

  // Runs BrowseForFolder with the script answering it; the script gets the
  // window and the driver for the messages.
  bool Browse(std::string &Folder, TBrowseFolderType Type, TBrowseDirOptions Options,
              const std::function<void(const TBrowseWindow &, TDialogDriver &)> &Script,
              const std::string &Caption = "") {
    const DWORD gui = GetCurrentThreadId();
    bool found = false;
    bool result;
    {
      TDialogScript script([&, gui](TDialogDriver &driver) {
        const auto w = WaitForBrowseWindow(gui);
        if (!w)
          return;
        found = true;
        Script(*w, driver);
      });
      result = BrowseForFolder(Caption, Folder, Type, Options);
    }
    EXPECT_TRUE(found) << "the browse window did not appear";
    return result;
  }

  std::string Saved = GetCurrentDir();
  TTempDir Temp;
};

const TBrowseDirOptions InstallerOptions{bfDirMustExist, bfPathMustExist};

// One typed folder and the messages it brings, each answered with a button.
struct TAnswer {
  std::string Text; // the expected message, after the path and two carriage returns
  std::string Button;
};

TEST_F(BrowseDialog, ValidationMessagesInOrder) {
  Dir("have\\sub");
  Dir("ro");
  ASSERT_TRUE(MakeFolderReadOnly(Temp.File("ro")));
  const std::string t = Temp.Path();
  const std::string invalid = LangText(SBrowseInvalidFolderName);
  const std::string noPath = LangText(SBrowsePathNotFound);
  const std::string noFolder = LangText(SBrowseFolderNotFound);
  const std::string create = LangText(SBrowseCreateFolder);
  const std::string readOnly = LangText(SBrowseReadOnlyFolder);
  const TBrowseDirOptions all{bfCreatePrompt, bfDirMustExist, bfNoReadOnlyReturn, bfPathMustExist};
  const struct {
    TBrowseDirOptions Options;
    std::string Typed;
    std::string Path; // named first in the message
    std::string Message;
    std::string Button = "OK";
  } cases[] = {
      // Invalid characters come first, before the missing parent is seen.
      {all, t + "gone\\x?y", t + "gone\\x?y", invalid},
      {all, t + "a|b", t + "a|b", invalid},
      {all, t + "\"q\"", t + "\"q\"", invalid},
      {InstallerOptions, t + "gone\\deeper", t + "gone", noPath},
      {InstallerOptions, t + "absent", t + "absent", noFolder},
      // Both options: the folder is refused, creating it is never offered.
      {{bfDirMustExist, bfCreatePrompt}, t + "absent", t + "absent", noFolder},
      {{bfCreatePrompt}, t + "new\\deeper", t + "new\\deeper", create, "&No"},
      {{bfNoReadOnlyReturn}, t + "ro\\", t + "ro", readOnly},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    std::string folder = t + "have";
    std::string message, textAfter;
    bool stayedOpen = false;
    const bool ok = Browse(folder, btSave, c.Options, [&](const TBrowseWindow &w, TDialogDriver &driver) {
      Type(w.Edit, c.Typed);
      PostClick(w.OK);
      if (const auto dialog = driver.WaitForDialog()) {
        message = dialog->Text;
        driver.Click(*dialog, c.Button);
      }
      Sleep(100);
      stayedOpen = IsWindowVisible(w.Form) != FALSE;
      textAfter = TextOf(w.Edit);
      PostClick(w.Cancel);
    });
    EXPECT_FALSE(ok) << "case " << i;
    EXPECT_EQ(folder, t + "have") << "case " << i << ": the caller's folder is unchanged";
    EXPECT_EQ(message, c.Path + "\r\r" + c.Message) << "case " << i;
    EXPECT_TRUE(stayedOpen) << "case " << i;
    EXPECT_EQ(textAfter, c.Typed) << "case " << i << ": the text is left for correcting";
  }
  EXPECT_FALSE(DirectoryExists(t + "new")) << "answered No";
}

TEST_F(BrowseDialog, ConfirmedFoldersEndInABackslash) {
  Dir("have\\sub");
  const std::string t = Temp.Path();
  const std::string drive = t.substr(0, 2);
  const struct {
    TBrowseDirOptions Options;
    std::string Typed;
    std::string Chosen;
    const char *Answer = nullptr; // a message expected and answered with this button
  } cases[] = {
      {InstallerOptions, t + "have", t + "have\\"},
      {InstallerOptions, "sub", t + "have\\sub\\"},                // relative to the selected folder
      {InstallerOptions, "", t + "have\\"},                        // empty: the selected folder
      {InstallerOptions, t.substr(2) + "have\\sub", t + "have\\sub\\"}, // a backslash first: the selected drive
      {InstallerOptions, drive + "\\", UpperCase(drive) + "\\"},   // a root
      {{bfCreatePrompt}, t + "made\\deep", t + "made\\deep\\", "&Yes"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    std::string folder = t + "have";
    const bool ok = Browse(folder, btSave, c.Options, [&](const TBrowseWindow &w, TDialogDriver &driver) {
      Type(w.Edit, c.Typed);
      PostClick(w.OK);
      if (c.Answer) {
        if (const auto dialog = driver.WaitForDialog())
          driver.Click(*dialog, c.Answer);
      }
      if (!driver.WaitGone(w.Form, 5000))
        PostClick(w.Cancel);
    });
    EXPECT_TRUE(ok) << "case " << i;
    EXPECT_TRUE(SameText(folder, c.Chosen)) << "case " << i << ": " << folder;
  }
  EXPECT_TRUE(DirectoryExists(t + "made\\deep")) << "created with its parent";
}

TEST_F(BrowseDialog, PickedInTheTreeWhenTheEditIsReadOnly) {
  Dir("start\\first");
  Dir("start\\second");
  const std::string t = Temp.Path();
  std::string folder = t + "start";
  std::string shown, afterTyping;
  const bool ok = Browse(folder, btOpen, InstallerOptions, [&](const TBrowseWindow &w, TDialogDriver &driver) {
    shown = TextOf(w.Edit);
    Type(w.Edit, "typed");
    afterTyping = TextOf(w.Edit);
    PostKey(w.Tree, VK_RIGHT); // open "start"
    PostKey(w.Tree, VK_DOWN);  // its first folder
    PostKey(w.Tree, VK_DOWN);  // the second
    Sleep(300);
    PostClick(w.OK);
    if (!driver.WaitGone(w.Form, 5000))
      PostClick(w.Cancel);
  });
  EXPECT_TRUE(SameText(ExcludeTrailingPathDelimiter(shown), t + "start"));
  EXPECT_TRUE(SameText(ExcludeTrailingPathDelimiter(afterTyping), t + "start")) << "the edit takes no typing";
  EXPECT_TRUE(ok);
  EXPECT_TRUE(SameText(folder, t + "start\\second\\")) << folder;
}

TEST_F(BrowseDialog, StartFolderWalksUpToAnExistingAncestor) {
  Dir("a");
  const std::string t = Temp.Path();
  const struct {
    std::string Start;
    std::string Opened;
  } cases[] = {
      {t + "a\\missing\\deeper", t + "a"},
      {t + "a", t + "a"},
      {"Q:\\nothing\\here", t}, // no drive Q: the current directory stays
      {std::string(2000, 'x'), t}, // too long to expand, and no backslash to walk up by
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SetCurrentDir(t);
    std::string folder = cases[i].Start;
    std::string shown, selected, caption;
    const bool ok = Browse(folder, btOpen, {}, [&](const TBrowseWindow &w, TDialogDriver &driver) {
      shown = TextOf(w.Edit);
      caption = TextOf(w.Form);
      TVITEMA item{};
      char text[MAX_PATH] = {};
      item.mask = TVIF_TEXT;
      item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(w.Tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
      item.pszText = text;
      item.cchTextMax = MAX_PATH;
      SendMessageA(w.Tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
      selected = text;
      PostKey(w.Edit, VK_ESCAPE);
      driver.WaitGone(w.Form, 5000);
    });
    EXPECT_FALSE(ok) << "case " << i;
    EXPECT_EQ(folder, cases[i].Start) << "case " << i << ": cancel leaves the folder";
    EXPECT_TRUE(SameText(ExcludeTrailingPathDelimiter(shown), ExcludeTrailingPathDelimiter(cases[i].Opened)))
        << "case " << i << ": " << shown;
    EXPECT_TRUE(SameText(ExcludeTrailingPathDelimiter(GetCurrentDir()), ExcludeTrailingPathDelimiter(t)))
        << "case " << i << ": the caller's current directory is back";
    EXPECT_EQ(caption, "Select Source Folder");
    const std::string opened = ExcludeTrailingPathDelimiter(cases[i].Opened);
    EXPECT_TRUE(SameText(selected, opened.substr(opened.rfind('\\') + 1))) << "case " << i << ": " << selected;
  }
}

TEST_F(BrowseDialog, LayoutCaptionsAndHelp) {
  const struct {
    TBrowseFolderType Type;
    TBrowseDirOptions Options;
    std::string Caption;
    std::string Expected;
    bool Help;
    bool ReadOnlyEdit;
  } cases[] = {
      {btOpen, {}, "", "Select Source Folder", false, true},
      {btSave, {bfShowHelp}, "", "Select Destination Folder", true, false},
      {btSave, {}, "Pick one", "Pick one", false, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    std::string folder = Temp.Path();
    std::string caption;
    bool help = false, readOnly = false, focusOnEdit = false;
    std::vector<std::string> tabOrder; // the class of each tab stop, the caption of a button
    Browse(
        folder, cases[i].Type, cases[i].Options,
        [&](const TBrowseWindow &w, TDialogDriver &driver) {
          caption = TextOf(w.Form);
          HWND helpButton = FindWindowExA(w.Form, nullptr, "Button", "&Help");
          help = helpButton && IsWindowVisible(helpButton);
          readOnly = (GetWindowLongPtrA(w.Edit, GWL_STYLE) & ES_READONLY) != 0;
          HWND first = GetNextDlgTabItem(w.Form, nullptr, FALSE);
          for (HWND c = first; c && tabOrder.size() < 6; c = GetNextDlgTabItem(w.Form, c, FALSE)) {
            if (!tabOrder.empty() && c == first)
              break;
            const std::string cls = ClassOf(c);
            tabOrder.push_back(_stricmp(cls.c_str(), "Button") == 0 ? TextOf(c) : cls);
          }
          GUITHREADINFO gui{};
          gui.cbSize = sizeof(gui);
          GetGUIThreadInfo(GetWindowThreadProcessId(w.Form, nullptr), &gui);
          focusOnEdit = gui.hwndFocus == w.Edit;
          TDialogInfo info;
          info.Handle = w.Form;
          driver.Click(info, "Cancel");
        },
        cases[i].Caption);
    EXPECT_EQ(caption, cases[i].Expected) << "case " << i;
    EXPECT_EQ(help, cases[i].Help) << "case " << i;
    EXPECT_EQ(readOnly, cases[i].ReadOnlyEdit) << "case " << i;
    std::vector<std::string> expected = {"Edit", WC_TREEVIEWA};
    if (cases[i].Help)
      expected.push_back("&Help");
    expected.push_back("OK");
    expected.push_back("Cancel");
    EXPECT_EQ(tabOrder, expected) << "case " << i;
    EXPECT_TRUE(focusOnEdit) << "case " << i;
  }

  // The window as built: sizes and places of the controls.
  TFormBrowseFolder form(&App, btSave, {}, Temp.Path());
  EXPECT_EQ(form.ClientWidth(), 310);
  EXPECT_EQ(form.ClientHeight(), 269);
  const struct {
    TWinControl *Control;
    TBounds Bounds;
    const char *Text;
  } controls[] = {
      {form.EditFolderName.get(), {76, 208, 225, 21}, nullptr},

      {form.DirTreeView.get(), {4, 0, 301, 201}, nullptr},
      {form.ButtonHelp.get(), {72, 240, 75, 25}, "&Help"},
      {form.ButtonOK.get(), {152, 240, 75, 25}, "OK"},
      {form.ButtonCancel.get(), {232, 240, 75, 25}, "Cancel"},
  };
  for (size_t i = 0; i < std::size(controls); ++i) {
    const TBounds b = controls[i].Control->Bounds();
    EXPECT_EQ(b.Left, controls[i].Bounds.Left) << "control " << i;
    EXPECT_EQ(b.Top, controls[i].Bounds.Top) << "control " << i;
    EXPECT_EQ(b.Width, controls[i].Bounds.Width) << "control " << i;
    EXPECT_EQ(b.Height, controls[i].Bounds.Height) << "control " << i;
    if (controls[i].Text) {
      EXPECT_EQ(controls[i].Control->Text(), controls[i].Text) << "control " << i;
    }
  }
  // The label keeps its right edge and widens to the left, within the
  // window, when the font needs it.
  EXPECT_TRUE(FitsItsText(*form.LabelFolderName, {8, 212, 61, 13}, TAlignment::taRightJustify));
  EXPECT_EQ(form.LabelFolderName->Text(), "Folder &Name:");
  EXPECT_TRUE(form.ButtonOK->IsDefault());
  EXPECT_TRUE(form.ButtonCancel->IsCancel());
  EXPECT_EQ(form.ButtonCancel->ModalResult(), mrCancel);
  EXPECT_FALSE(form.DirTreeView->GoBelowRecycleBin());
  EXPECT_TRUE(form.DirTreeView->ReadOnly());
  EXPECT_TRUE(form.DirTreeView->DirType() == (TFileAttributes{dtReadOnly, dtHidden, dtSystem, dtNormal, dtAll}));
}

// The label's access key from the keyboard: Alt+N from the tree, and N
// alone from a button (which takes no characters), focus the folder name.
TEST_F(BrowseDialog, FolderNameAccessKeyFocusesTheEdit) {
  std::string folder = Temp.Path();
  bool tree = false, fromTree = false, ok = false, fromButton = false;
  Browse(folder, btSave, {}, [&](const TBrowseWindow &w, TDialogDriver &driver) {
    if (!driver.WaitForFocus(w.Edit))
      return;
    driver.PressKeys({VK_TAB});
    tree = driver.WaitForFocus(w.Tree);
    driver.PressKeys({VK_MENU, 'N'});
    fromTree = driver.WaitForFocus(w.Edit);
    driver.PressKeys({VK_TAB});
    driver.PressKeys({VK_TAB});
    ok = driver.WaitForFocus(w.OK);
    driver.PressKeys({'N'});
    fromButton = driver.WaitForFocus(w.Edit);
    PostClick(w.Cancel);
    driver.WaitGone(w.Form, 5000);
  });
  EXPECT_TRUE(tree) << "Tab reaches the tree";
  EXPECT_TRUE(fromTree) << "Alt+N from the tree";
  EXPECT_TRUE(ok) << "Tab reaches OK";
  EXPECT_TRUE(fromButton) << "N from the OK button";
}

TEST_F(BrowseDialog, ExecuteUsesTheComponentsProperties) {
  Dir("x");
  TBrowseFolderDialog dialog;
  EXPECT_EQ(dialog.DialogType, btOpen);
  EXPECT_EQ(dialog.Options.Bits(), 0);
  dialog.Folder = Temp.File("x");
  dialog.Title = "Where";
  dialog.Options = InstallerOptions;
  const DWORD gui = GetCurrentThreadId();
  std::string caption;
  bool result;
  {
    TDialogScript script([&, gui](TDialogDriver &driver) {
      if (const auto w = WaitForBrowseWindow(gui)) {
        caption = TextOf(w->Form);
        PostClick(w->OK);
        driver.WaitGone(w->Form, 5000);
      }
    });
    result = dialog.Execute();
  }
  EXPECT_TRUE(result);
  EXPECT_EQ(caption, "Where");
  EXPECT_TRUE(SameText(dialog.Folder, Temp.File("x\\")));
}

} // namespace
