#include "FormMain.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "AppIcon.h"
#include "ChartSetRegistry.h"
#include "DialogDriver.h"
#include "FileFind.h"
#include "LabelFit.h"
#include "RegistryTree.h"
#include "TempDir.h"

namespace {

// What the window's services report, and what the window asked of them.
struct TFakeServices {
  bool Installed = false;
  bool AdminRights = true;
  bool Found = true;
  std::string FoundFolder = "D:\\";
  std::function<bool(const std::string &)> Register = [](const std::string &) { return true; };

  int AdminAsked = 0;
  std::optional<std::string> SearchedFolderText;
  std::vector<std::string> Registered;

  TFormMainServices Bind() {
    TFormMainServices s;
    s.CheckInstalled = [this] { return Installed; };
    s.HasAdminRights = [this] {
      ++AdminAsked;
      return AdminRights;
    };
    s.FindCharts = [this](const std::string &folderText, std::string &found) {
      SearchedFolderText = folderText;
      if (Found)
        found = FoundFolder;
      return Found;
    };
    s.RegisterCharts = [this](const std::string &folder) {
      Registered.push_back(folder);
      return Register(folder);
    };
    return s;
  }
};

// Sets the process's current directory for a test and puts it back.
class TCurrentDir {
public:
  explicit TCurrentDir(const std::string &Dir) : FSaved(GetCurrentDir()) { SetCurrentDir(Dir); }
  ~TCurrentDir() { SetCurrentDir(FSaved); }
  TCurrentDir(const TCurrentDir &) = delete;
  TCurrentDir &operator=(const TCurrentDir &) = delete;

private:
  std::string FSaved;
};

// A dialog as the user saw it, with the window's state at that moment.
struct TSeenDialog {
  TDialogInfo Dialog;
  bool InstallEnabled, CloseEnabled, CheckBoxEnabled, EditEnabled, BrowseEnabled, LocationEnabled;
  bool SearchingVisible;
  TCursor Cursor;
};

struct TControlStates {
  bool Install, Close, CheckBox, Edit, Browse, Location, SearchingVisible;
  bool operator==(const TControlStates &) const = default;
};

class FormMain : public ::testing::Test {
protected:
  void SetUp() override {
    FApplication = std::make_unique<TApplication>();
    FApplication->Initialize();
  }
  void TearDown() override {
    FForm.reset();
    FApplication->ProcessMessages();
    FApplication.reset();
  }

  TFormMain &CreateForm() {
    FForm = std::make_unique<TFormMain>(FApplication.get(), Fakes.Bind());
    FApplication->SetMainForm(FForm.get());
    FForm->Show();
    FApplication->ProcessMessages();
    return *FForm;
  }

  TControlStates States() const {
    return {FForm->ButtonInstall->Enabled(), FForm->ButtonClose->Enabled(), FForm->CheckBoxSearch->Enabled(),
            FForm->EditFolder->Enabled(),    FForm->ButtonBrowse->Enabled(), FForm->LabelLocation->Enabled(),
            FForm->LabelSearching->Visible()};
  }

  // Starts an action of the user's on the window and answers the dialogs
  // that follow: the question with AnswerCaption, messages with OK. Waits
  // for Expected dialogs, then a moment for any unexpected one. Returns the
  // dialogs in the order they came.
  std::vector<TSeenDialog> RunAndAnswer(const std::function<void()> &UserAction, const std::string &AnswerCaption,
                                        size_t Expected) {
    std::vector<TSeenDialog> seen;
    TFormMain *form = FForm.get();
    TDialogScript script([&](TDialogDriver &driver) {
      while (auto dialog = driver.WaitForDialog(seen.size() < Expected ? ScaledTimeout(30000) : 1000)) {
        seen.push_back({*dialog, IsWindowEnabled(form->ButtonInstall->Handle()) != 0,
                        IsWindowEnabled(form->ButtonClose->Handle()) != 0,
                        IsWindowEnabled(form->CheckBoxSearch->Handle()) != 0,
                        IsWindowEnabled(form->EditFolder->Handle()) != 0,
                        IsWindowEnabled(form->ButtonBrowse->Handle()) != 0,
                        IsWindowEnabled(form->LabelLocation->Handle()) != 0,
                        IsWindowVisible(form->LabelSearching->Handle()) != 0, Screen->Cursor()});
        const bool question = dialog->ClassName == "TMessageForm";
        if (!driver.Click(*dialog, question ? AnswerCaption : "OK"))
          break;
      }
    });
    UserAction();
    EXPECT_TRUE(PumpMessagesUntil([&] { return script.Done(); }, ScaledTimeout(120000)));
    script.Wait();
    FApplication->ProcessMessages();
    return seen;
  }

  std::vector<TSeenDialog> ClickInstall(const std::string &AnswerCaption, size_t Expected) {
    return RunAndAnswer([this] { PostClick(FForm->ButtonInstall->Handle()); }, AnswerCaption, Expected);
  }

  void ClickAndPump(TWinControl &Control) {
    PostClick(Control.Handle());
    FApplication->ProcessMessages();
  }

  TFakeServices Fakes;
  std::unique_ptr<TApplication> FApplication;
  std::unique_ptr<TFormMain> FForm;
};

std::string FaceName(HFONT Font, LONG *Height = nullptr, LONG *Weight = nullptr) {
  LOGFONTA font{};
  GetObjectA(Font, sizeof(font), &font);
  if (Height)
    *Height = font.lfHeight;
  if (Weight)
    *Weight = font.lfWeight;
  return font.lfFaceName;
}

HFONT FontOf(const TWinControl &Control) {
  return reinterpret_cast<HFONT>(SendMessageA(Control.Handle(), WM_GETFONT, 0, 0));
}

TEST_F(FormMain, LayoutTextsAndInitialState) {
  TFormMain &form = CreateForm();
  EXPECT_EQ(form.Text(), "ORVA Welmeland 2003 Installer");
  EXPECT_EQ(form.ClientWidth(), 456);
  EXPECT_EQ(form.ClientHeight(), 158);
  const LONG_PTR style = GetWindowLongPtrA(form.Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  const TBounds window = form.Bounds();
  EXPECT_EQ(window.Left, Screen->Width() / 2 - window.Width / 2);
  EXPECT_EQ(window.Top, Screen->Height() / 2 - window.Height / 2);

  struct TExpected {
    TWinControl *Control;
    TBounds Bounds;
    const char *Text;
    bool Enabled, Visible;
  };
  const TExpected expected[] = {
      {form.LabelLocation.get(), {22, 12, 203, 13}, "Location of the ORVA Welmeland 2003 files:", true, true},
      {form.EditFolder.get(), {22, 28, 391, 21}, "C:\\Program Files\\Velmora\\Navoria\\2K\\Charts", false, true},
      {form.ButtonBrowse.get(), {414, 28, 23, 22}, "", false, true},
      {form.CheckBoxSearch.get(), {22, 54, 373, 17}, "Search my harddrives for the files", true, true},
      {form.LabelSearching.get(), {22, 82, 415, 13}, "Searching. Please wait...", true, false},
      {form.ButtonInstall.get(), {274, 122, 75, 25}, "Install", true, true},
      {form.ButtonClose.get(), {362, 122, 75, 25}, "Close", true, true},
  };
  for (size_t i = 0; i < std::size(expected); ++i) {
    const TExpected &e = expected[i];
    if (const auto *label = dynamic_cast<const TLabel *>(e.Control)) {
      // Labels widen, within the window, when the font makes the text wider.
      const TAlignment alignment =
          label == form.LabelSearching.get() ? TAlignment::taCenter : TAlignment::taLeftJustify;
      EXPECT_TRUE(FitsItsText(*label, e.Bounds, alignment)) << "control " << i;
      EXPECT_GE(label->Bounds().Width, LabelTextWidth(*label)) << "control " << i << ": the whole text shows";
    } else {
      const TBounds b = e.Control->Bounds();
      EXPECT_EQ(b.Left, e.Bounds.Left) << "control " << i;
      EXPECT_EQ(b.Top, e.Bounds.Top) << "control " << i;
      EXPECT_EQ(b.Width, e.Bounds.Width) << "control " << i;
      EXPECT_EQ(b.Height, e.Bounds.Height) << "control " << i;
    }
    EXPECT_EQ(e.Control->Text(), e.Text) << "control " << i;
    EXPECT_EQ(e.Control->Enabled(), e.Enabled) << "control " << i;
    EXPECT_EQ(e.Control->Visible(), e.Visible) << "control " << i;
  }
  EXPECT_TRUE(form.CheckBoxSearch->Checked());
  EXPECT_TRUE(form.ButtonInstall->Focused());
  EXPECT_NE(SendMessageA(form.ButtonBrowse->Handle(), BM_GETIMAGE, IMAGE_ICON, 0), 0) << "folder glyph";

  LONG height = 0, weight = 0;
  EXPECT_EQ(FaceName(FontOf(*form.ButtonInstall), &height), "MS Sans Serif");
  EXPECT_EQ(height, -11);
  FaceName(FontOf(*form.LabelSearching), &height, &weight);
  EXPECT_EQ(weight, FW_BOLD);
  EXPECT_EQ(GetWindowLongPtrA(form.LabelSearching->Handle(), GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
  EXPECT_FALSE(form.IsInstalled());
}

// The pixels of the program's icon resource at one size, top row first, as
// the system picks the image for that size; empty when there is none.
std::vector<uint32_t> IconResourcePixels(int Size) {
  HMODULE program = GetModuleHandleA(nullptr);
  HRSRC group = FindResourceA(program, MainIconResource, MAKEINTRESOURCEA(14)); // RT_GROUP_ICON
  if (!group)
    return {};
  const int id = LookupIconIdFromDirectoryEx(static_cast<BYTE *>(LockResource(LoadResource(program, group))), TRUE,
                                             Size, Size, LR_DEFAULTCOLOR);
  HRSRC image = FindResourceA(program, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3)); // RT_ICON
  if (!image)
    return {};
  const auto *header = static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(program, image)));
  if (header->biWidth != Size || header->biBitCount != 32)
    return {};
  const auto *rows = reinterpret_cast<const uint32_t *>(header + 1); // bottom row first
  std::vector<uint32_t> pixels;
  for (int y = Size - 1; y >= 0; --y)
    pixels.insert(pixels.end(), rows + y * Size, rows + (y + 1) * Size);
  return pixels;
}

// The window shows the program's own icon, big and small, not the system's:
// the handles the window and its class hold are those of the program's
// resource, and the resource holds the icon as drawn, at both sizes.
TEST_F(FormMain, ShowsTheProgramsIcon) {
  TFormMain &form = CreateForm();
  const struct {
    WPARAM Kind;
    int SizeMetric;
    int ClassIndex;
  } icons[] = {{ICON_BIG, SM_CXICON, GCLP_HICON}, {ICON_SMALL, SM_CXSMICON, GCLP_HICONSM}};
  for (const auto &icon : icons) {
    const int size = GetSystemMetrics(icon.SizeMetric);
    HANDLE ours = LoadImageA(GetModuleHandleA(nullptr), MainIconResource, IMAGE_ICON, size, size, LR_SHARED);
    ASSERT_NE(ours, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<HANDLE>(SendMessageA(form.Handle(), WM_GETICON, icon.Kind, 0)), ours) << size;
    EXPECT_EQ(reinterpret_cast<HANDLE>(GetClassLongPtrA(form.Handle(), icon.ClassIndex)), ours) << size;
  }
  for (int size : AppIconSizes)
    EXPECT_EQ(IconResourcePixels(size), DrawAppIcon(size)) << size;
}

TEST_F(FormMain, TabWalksInstallEditCheckBoxClose) {
  TFormMain &form = CreateForm();
  ClickAndPump(*form.CheckBoxSearch); // the edit takes part only when enabled
  ASSERT_TRUE(form.EditFolder->Enabled());
  form.ButtonInstall->SetFocus();
  std::vector<HWND> order{GetFocus()};
  for (int i = 0; i < 4; ++i) {
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
    FApplication->ProcessMessages();
    order.push_back(GetFocus());
  }
  EXPECT_EQ(order, (std::vector<HWND>{form.ButtonInstall->Handle(), form.EditFolder->Handle(),
                                      form.CheckBoxSearch->Handle(), form.ButtonClose->Handle(),
                                      form.ButtonInstall->Handle()}));
}

TEST_F(FormMain, CheckBoxSwitchesFolderEditAndBrowseButton) {
  TFormMain &form = CreateForm();
  ClickAndPump(*form.CheckBoxSearch);
  EXPECT_FALSE(form.CheckBoxSearch->Checked());
  EXPECT_TRUE(form.EditFolder->Enabled());
  EXPECT_TRUE(form.ButtonBrowse->Enabled());
  ClickAndPump(*form.CheckBoxSearch);
  EXPECT_TRUE(form.CheckBoxSearch->Checked());
  EXPECT_FALSE(form.EditFolder->Enabled());
  EXPECT_FALSE(form.ButtonBrowse->Enabled());
}

BOOL CALLBACK FindBrowseWindow(HWND Window, LPARAM Found) {
  char name[64] = {};
  GetClassNameA(Window, name, sizeof(name));
  if (IsWindowVisible(Window) && std::string(name) == "TFormBrowseFolder")
    *reinterpret_cast<HWND *>(Found) = Window;
  return TRUE;
}

// The browse button opens the folder browser at the edit's folder; Cancel
// leaves the edit alone, OK puts the folder (with a backslash) into it.
TEST_F(FormMain, BrowseButtonPicksTheFolderAndLeavesTheCurrentDirectory) {
  TTempDir temp;
  std::filesystem::create_directories(temp.File("charts"));
  std::filesystem::create_directories(temp.File("elsewhere"));
  const TCurrentDir current(temp.File("elsewhere"));
  TFormMain &form = CreateForm();
  EXPECT_TRUE(form.BrowseFolderDialog.Options.Contains(bfDirMustExist));
  EXPECT_TRUE(form.BrowseFolderDialog.Options.Contains(bfPathMustExist));
  ClickAndPump(*form.CheckBoxSearch);
  form.EditFolder->SetText(temp.File("charts"));
  const struct {
    const char *Button;
    std::string Edit;
  } cases[] = {{"Cancel", temp.File("charts")}, {"OK", temp.File("charts\\")}};
  for (const auto &c : cases) {
    const DWORD gui = GetCurrentThreadId();
    bool shown = false;
    TDialogScript script([&, gui](TDialogDriver &driver) {
      HWND browse = nullptr;
      for (const DWORD start = GetTickCount(); !browse && GetTickCount() - start < ScaledTimeout(30000);) {
        EnumThreadWindows(gui, FindBrowseWindow, reinterpret_cast<LPARAM>(&browse));
        Sleep(20);
      }
      if (!browse)
        return;
      shown = true;
      PostClick(FindWindowExA(browse, nullptr, "Button", c.Button));
      driver.WaitGone(browse);
    });
    PostClick(form.ButtonBrowse->Handle());
    EXPECT_TRUE(PumpMessagesUntil([&] { return script.Done(); }));
    EXPECT_TRUE(shown) << c.Button;
    EXPECT_TRUE(SameText(form.EditFolder->Text(), c.Edit)) << c.Button << ": " << form.EditFolder->Text();
    EXPECT_TRUE(SameText(GetCurrentDir(), temp.File("elsewhere"))) << c.Button << ": " << GetCurrentDir();
  }
}

TEST_F(FormMain, QuestionNamesTheFoundFolderAndNoWritesNothing) {
  Fakes.FoundFolder = "D:\\";
  TFormMain &form = CreateForm();
  const TControlStates before = States();
  const auto seen = ClickInstall("&No", 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Dialog.ClassName, "TMessageForm");
  EXPECT_EQ(seen[0].Dialog.Caption, "Confirm");
  EXPECT_EQ(seen[0].Dialog.Text, "The ORVA Welmeland 2003 chart are found in:\r\r   D:\\\r\rProceed with installation?");
  EXPECT_EQ(seen[0].Dialog.Buttons, (std::vector<std::string>{"&Yes", "&No"}));
  EXPECT_EQ(Fakes.SearchedFolderText, std::string()) << "search mode searches the fixed drives";
  EXPECT_TRUE(Fakes.Registered.empty());

  // While the question is up the window is busy.
  EXPECT_FALSE(seen[0].InstallEnabled);
  EXPECT_FALSE(seen[0].CloseEnabled);
  EXPECT_FALSE(seen[0].CheckBoxEnabled);
  EXPECT_FALSE(seen[0].EditEnabled);
  EXPECT_FALSE(seen[0].BrowseEnabled);
  EXPECT_FALSE(seen[0].LocationEnabled);
  EXPECT_TRUE(seen[0].SearchingVisible);
  EXPECT_EQ(seen[0].Cursor, TCursor::crHourGlass);

  // Afterwards everything is back as it was.
  EXPECT_EQ(States(), before);
  EXPECT_EQ(Screen->Cursor(), TCursor::crDefault);
  EXPECT_TRUE(form.Visible());
}

TEST_F(FormMain, FolderModeSearchesAndRegistersTheEditTextAsAFullPath) {
  TTempDir temp;
  const TCurrentDir current(temp.Path());
  const std::string drive = temp.Path().substr(0, 2);
  TFormMain &form = CreateForm();
  ClickAndPump(*form.CheckBoxSearch);
  const struct {
    const char *Typed;
    std::string Searched;
  } cases[] = {
      {"E:\\Charts here", "E:\\Charts here\\"},
      {"E:\\Charts here\\", "E:\\Charts here\\"},
      {"E:\\Old\\..\\Charts", "E:\\Charts\\"},
      {"Charts", temp.Path() + "Charts\\"},
      {"\\Charts", drive + "\\Charts\\"},
      {"Q:Charts", "Q:\\Charts\\"}, // no current directory on Q: yet: its root
  };
  for (const auto &c : cases) {
    form.EditFolder->SetText(c.Typed);
    Fakes.FoundFolder = c.Searched;
    const TControlStates before = States();
    const auto seen = ClickInstall("&No", 1);
    ASSERT_EQ(seen.size(), 1u) << c.Typed;
    EXPECT_EQ(seen[0].Dialog.Text,
              "The ORVA Welmeland 2003 chart are found in:\r\r   " + c.Searched + "\r\rProceed with installation?");
    EXPECT_EQ(Fakes.SearchedFolderText, c.Searched) << c.Typed;
    EXPECT_EQ(States(), before);
    EXPECT_TRUE(form.EditFolder->Enabled());
  }

  // What is written is the full path too, whatever the search handed back.
  form.EditFolder->SetText("Charts");
  Fakes.FoundFolder = "Charts";
  ClickInstall("&Yes", 2);
  EXPECT_EQ(Fakes.Registered, std::vector<std::string>{temp.Path() + "Charts\\"});
}

TEST_F(FormMain, EnterOnTheFocusedInstallButtonInstalls) {
  TFormMain &form = CreateForm();
  ASSERT_TRUE(form.ButtonInstall->Focused());
  const auto seen = RunAndAnswer(
      [&] {
        PostMessageA(form.ButtonInstall->Handle(), WM_KEYDOWN, VK_RETURN, 1);
        PostMessageA(form.ButtonInstall->Handle(), WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC0000001u));
      },
      "&No", 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Dialog.ClassName, "TMessageForm");
  EXPECT_TRUE(form.ButtonInstall->Focused()) << "the keyboard works again afterwards";
}

// Every outcome of an installation the user can meet.
struct TOutcomeCase {
  const char *Name;
  bool Search;             // the check box
  const char *FolderText;  // the edit, when the check box is off
  bool Found;
  const char *Answer;      // to the question
  std::function<bool(const std::string &)> Register;
  std::vector<std::string> Messages; // after the question, if any
  bool ErrorReport; // the message is the error report, shown once the controls are back
  bool Registers;
  bool Ends; // the window closed and the program's end was requested
};

class FormMainOutcomes : public FormMain, public ::testing::WithParamInterface<TOutcomeCase> {};

TEST_P(FormMainOutcomes, MessagesAndStateAfterwards) {
  const TOutcomeCase &c = GetParam();
  Fakes.Found = c.Found;
  Fakes.FoundFolder = "F:\\Set\\";
  Fakes.Register = c.Register;
  TFormMain &form = CreateForm();
  if (!c.Search) {
    ClickAndPump(*form.CheckBoxSearch);
    form.EditFolder->SetText(c.FolderText);
  }
  const TControlStates before = States();

  const auto seen = ClickInstall(c.Answer, (c.Found ? 1 : 0) + c.Messages.size());

  std::vector<std::string> messages;
  for (const TSeenDialog &dialog : seen) {
    if (dialog.Dialog.ClassName == "TMessageForm")
      continue; // the question
    messages.push_back(dialog.Dialog.Text);
    EXPECT_EQ(dialog.Dialog.Caption, FApplication->Title()) << dialog.Dialog.Text;
    EXPECT_EQ(dialog.Dialog.Buttons, std::vector<std::string>{"OK"}) << dialog.Dialog.Text;
    if (c.ErrorReport) {
      EXPECT_EQ(dialog.Cursor, TCursor::crDefault);
      EXPECT_TRUE(dialog.InstallEnabled);
      EXPECT_EQ(dialog.Dialog.Icon, LoadIconA(nullptr, MAKEINTRESOURCEA(32513))) << "the stop sign";
    } else {
      EXPECT_EQ(dialog.Cursor, TCursor::crHourGlass) << "messages come while the hourglass is set";
      EXPECT_FALSE(dialog.InstallEnabled);
      EXPECT_EQ(dialog.Dialog.Icon, nullptr);
    }
  }
  EXPECT_EQ(messages, c.Messages);
  EXPECT_EQ(seen.size() - messages.size(), c.Found ? 1u : 0u) << "the question is asked only when found";
  EXPECT_EQ(Fakes.Registered, c.Registers ? std::vector<std::string>{"F:\\Set\\"} : std::vector<std::string>{});
  const std::string typed = c.Search ? "" : c.FolderText;
  EXPECT_EQ(Fakes.SearchedFolderText, typed.empty() ? typed : typed + "\\") << "as a full path";

  EXPECT_EQ(States(), before) << "controls restored as the check box says";
  EXPECT_EQ(Screen->Cursor(), TCursor::crDefault);
  EXPECT_EQ(form.Visible(), !c.Ends);
  EXPECT_EQ(FApplication->Terminated(), c.Ends);
}

const auto Registers = [](const std::string &) { return true; };
const auto RegistrationFails = [](const std::string &) { return false; };
const auto RegistrationRaises = [](const std::string &) -> bool {
  throw Exception("Failed to set data for 'Path'");
};

INSTANTIATE_TEST_SUITE_P(
    Outcomes, FormMainOutcomes,
    ::testing::Values(
        TOutcomeCase{"NothingOnTheHarddrives", true, "", false, "", Registers,
                     {"The charts could not be found on your harddrives."}, false, false, false},
        TOutcomeCase{"EmptyFolderTextSearchesTheHarddrives", false, "", false, "", Registers,
                     {"The charts could not be found on your harddrives."}, false, false, false},
        TOutcomeCase{"NothingInTheFolder", false, "Q:\\Nowhere", false, "", Registers,
                     {"The charts could not be found in Q:\\Nowhere\\"}, false, false, false},
        TOutcomeCase{"UserSaysNo", true, "", true, "&No", Registers, {}, false, false, false},
        TOutcomeCase{"RegistrationFails", true, "", true, "&Yes", RegistrationFails, {"The installation failed."},
                     false, true, false},
        TOutcomeCase{"RegistrationRaises", false, "F:\\Set", true, "&Yes", RegistrationRaises,
                     {"Failed to set data for 'Path'"}, true, true, false},
        TOutcomeCase{"Done", true, "", true, "&Yes", Registers, {"Done"}, false, true, true}),
    [](const auto &info) { return std::string(info.param.Name); });

struct TStartCase {
  const char *Name;
  bool Installed;
  bool AdminRights;
  std::vector<std::string> Messages;
  int AdminAsked;
  bool Ends;
};

class FormMainStart : public FormMain, public ::testing::WithParamInterface<TStartCase> {};

TEST_P(FormMainStart, RefusalsAtStartUp) {
  const TStartCase &c = GetParam();
  Fakes.Installed = c.Installed;
  Fakes.AdminRights = c.AdminRights;
  std::vector<std::string> messages;
  std::vector<std::string> captions;
  {
    TDialogScript script([&](TDialogDriver &driver) {
      while (auto dialog = driver.WaitForDialog(messages.size() < c.Messages.size() ? ScaledTimeout(30000) : 1000)) {
        messages.push_back(dialog->Text);
        captions.push_back(dialog->Caption);
        if (!driver.Click(*dialog, "OK"))
          break;
      }
    });
    CreateForm();
    EXPECT_TRUE(PumpMessagesUntil([&] { return script.Done(); }, ScaledTimeout(60000)));
    script.Wait();
  }
  FApplication->ProcessMessages();
  EXPECT_EQ(messages, c.Messages);
  for (const std::string &caption : captions)
    EXPECT_EQ(caption, FApplication->Title());
  EXPECT_EQ(Fakes.AdminAsked, c.AdminAsked);
  EXPECT_EQ(FForm->IsInstalled(), c.Installed);
  EXPECT_EQ(FApplication->Terminated(), c.Ends);
}

INSTANTIATE_TEST_SUITE_P(
    Start, FormMainStart,
    ::testing::Values(
        TStartCase{"AlreadyInstalledSkipsTheRightsCheck", true, false,
                   {"The ORVA Welmeland 2003 charts have already been installed."}, 0, true},
        TStartCase{"NoAdministratorRights", false, false, {"You must have administator rights to use this program."},
                   1, true},
        TStartCase{"ReadyToInstall", false, true, {}, 1, false}),
    [](const auto &info) { return std::string(info.param.Name); });

// The window over the real search and registration: a folder holding the
// nine files, named in the edit. No writes nothing; Yes writes the records.
TEST_F(FormMain, RealFolderNoWritesNothingYesRegistersIt) {
  TRegistryGuard guard(HKEY_LOCAL_MACHINE, ChartSetKey);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, ChartSetKey);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, ChartSetKey);
  TTempDir charts;
  for (const char *name : ChartFileNames)
    WriteFileBytes(charts.File(name), "not opened by the search");

  TFormMainServices real = DefaultFormMainServices();
  FForm = std::make_unique<TFormMain>(FApplication.get(), real);
  FApplication->SetMainForm(FForm.get());
  FForm->Show();
  FApplication->ProcessMessages();
  ClickAndPump(*FForm->CheckBoxSearch);
  const std::string folder = ExcludeTrailingPathDelimiter(charts.Path());
  FForm->EditFolder->SetText(folder);

  auto seen = ClickInstall("&No", 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Dialog.Text,
            "The ORVA Welmeland 2003 chart are found in:\r\r   " + folder + "\\\r\rProceed with installation?");
  EXPECT_EQ(DumpRegKey(HKEY_LOCAL_MACHINE, ChartSetKey), "(absent)");

  seen = ClickInstall("&Yes", 2);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].Dialog.Text, "Done");
  const std::string dump = DumpRegKey(HKEY_LOCAL_MACHINE, ChartSetKey);
  EXPECT_NE(dump.find("Modules\\B: \"Path\" REG_SZ \"" + folder + "\\\\x00\""), std::string::npos) << dump;
  EXPECT_TRUE(FApplication->Terminated());
}

TEST_F(FormMain, CloseButtonEndsTheProgram) {
  TFormMain &form = CreateForm();
  ClickAndPump(*form.ButtonClose);
  EXPECT_FALSE(form.Visible());
  EXPECT_TRUE(FApplication->Terminated());
}

} // namespace
