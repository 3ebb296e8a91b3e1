// The plain message box under the system's own fonts: wide enough for its
// whole caption, laid out as the system laid it out otherwise.
#include "Forms.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "DialogDriver.h"

namespace {

TApplication App;

// The identifiers of a message box's text and OK button.
constexpr int MessageTextId = 0xFFFF;

struct TBoxLayout {
  RECT Window{};
  RECT Client{};
  RECT Text{};   // client coordinates
  RECT Button{}; // client coordinates
  int CaptionFitWidth = 0;
};

int Width(const RECT &R) { return R.right - R.left; }

RECT ClientRectOf(HWND Child) {
  RECT r{};
  GetWindowRect(Child, &r);
  MapWindowPoints(nullptr, GetParent(Child), reinterpret_cast<POINT *>(&r), 2);
  return r;
}

// The width the whole caption needs, measured here with the system's
// caption font and metrics: frame, caption text, close button.
int CaptionFitWidth(HWND Box, const std::string &Caption) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof(metrics);
  EXPECT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0));
  HFONT font = CreateFontIndirectA(&metrics.lfCaptionFont);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE text{};
  GetTextExtentPoint32A(dc, Caption.c_str(), static_cast<int>(Caption.size()), &text);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  RECT window{}, client{};
  GetWindowRect(Box, &window);
  GetClientRect(Box, &client);
  return Width(window) - Width(client) + text.cx + GetSystemMetrics(SM_CXSIZE);
}

// Shows a message box on this thread, reads its layout from a helper thread
// as it stands on the screen and presses its OK button.
std::optional<TBoxLayout> LayoutOf(const std::function<void()> &Show, const std::string &Caption) {
  std::optional<TBoxLayout> layout;
  TDialogScript script([&](TDialogDriver &Driver) {
    const auto box = Driver.WaitForDialog();
    if (!box)
      return;
    TBoxLayout l;
    l.Window = box->Window;
    GetClientRect(box->Handle, &l.Client);
    l.Text = ClientRectOf(GetDlgItem(box->Handle, MessageTextId));
    l.Button = ClientRectOf(GetDlgItem(box->Handle, IDOK));
    l.CaptionFitWidth = CaptionFitWidth(box->Handle, Caption);
    EXPECT_EQ(box->Caption, Caption);
    layout = l;
    EXPECT_TRUE(Driver.Click(*box, "OK"));
  });
  Show();
  script.Wait();
  return layout;
}

// The box as the system makes it, and as ShowMessage does.
struct TBoxes {
  TBoxLayout System, Shown;
};

std::optional<TBoxes> ShowBoth(const std::string &Caption, const std::string &Text) {
  App.SetTitle(Caption);
  const auto system = LayoutOf(
      [&] { MessageBoxA(nullptr, Text.c_str(), Caption.c_str(), MB_OK | MB_TASKMODAL); }, Caption);
  const auto shown = LayoutOf([&] { ShowMessage(Text); }, Caption);
  if (!system || !shown)
    return std::nullopt;
  return TBoxes{*system, *shown};
}

RECT WorkArea() {
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

// A caption wider than the text and button: the box grows about its centre
// to show it whole; the text stays where the system put it and the button
// moves to the middle.
TEST(ShowMessage, WidensTheBoxForItsWholeCaption) {
  App.Initialize();
  const char *const captions[] = {
      "WML2003Installer",
      "WML2003Installer - a caption much wider than its text",
  };
  for (const char *caption : captions) {
    SCOPED_TRACE(caption);
    const auto boxes = ShowBoth(caption, "Done");
    ASSERT_TRUE(boxes);
    const TBoxLayout &system = boxes->System, &shown = boxes->Shown;
    EXPECT_GE(Width(shown.Window), shown.CaptionFitWidth);
    EXPECT_GE(Width(shown.Window), Width(system.Window));
    EXPECT_NEAR(shown.Window.left + shown.Window.right, system.Window.left + system.Window.right, 2)
        << "centred where it was";
    EXPECT_EQ(shown.Window.top, system.Window.top);
    EXPECT_EQ(shown.Window.bottom, system.Window.bottom);
    EXPECT_TRUE(EqualRect(&shown.Text, &system.Text)) << "the text stays";
    EXPECT_EQ(Width(shown.Button), Width(system.Button));
    EXPECT_EQ(shown.Button.top, system.Button.top);
    EXPECT_GE(shown.Button.left, 0);
    EXPECT_LE(shown.Button.right, shown.Client.right);
    EXPECT_NEAR(shown.Button.left + shown.Button.right, shown.Client.right, 1) << "the button is centred";
  }
  // The long caption does not fit the system's own box: the case is reached.
  const auto boxes = ShowBoth(captions[1], "Done");
  ASSERT_TRUE(boxes);
  EXPECT_LT(Width(boxes->System.Window), boxes->System.CaptionFitWidth);
}

// A caption that fits already leaves the system's box exactly as it is.
TEST(ShowMessage, KeepsTheSystemsSizeWhenTheCaptionFits) {
  App.Initialize();
  const auto boxes = ShowBoth("Hi", "A text a good deal wider than its caption");
  ASSERT_TRUE(boxes);
  EXPECT_GT(Width(boxes->System.Window), boxes->System.CaptionFitWidth + 40);
  EXPECT_TRUE(EqualRect(&boxes->Shown.Window, &boxes->System.Window));
  EXPECT_TRUE(EqualRect(&boxes->Shown.Button, &boxes->System.Button));
}

// A caption wider than the screen: the box takes the work area's width and
// stays on it, with its button centred.
TEST(ShowMessage, NeverWiderThanTheWorkArea) {
  App.Initialize();
  const RECT work = WorkArea();
  const auto boxes = ShowBoth(std::string(400, 'W'), "Done");
  ASSERT_TRUE(boxes);
  const TBoxLayout &shown = boxes->Shown;
  EXPECT_GT(shown.CaptionFitWidth, Width(work));
  EXPECT_EQ(Width(shown.Window), Width(work));
  EXPECT_EQ(shown.Window.left, work.left);
  EXPECT_NEAR(shown.Button.left + shown.Button.right, shown.Client.right, 1);
}

// A script that gives up while the modal state it was there to answer is
// still up ends that state itself and fails the test, naming what it did not
// find: the test's thread must not stay in the modal loop for good (a hang
// until the test runner's time-out instead of a quick, clear failure).
int BoxTheScriptMisses() {
  TDialogScript script([](TDialogDriver &Driver) {
    if (const auto box = Driver.WaitForDialog())
      Driver.Click(*box, "Never there");
  }, 500);
  const int answer = MessageBoxA(nullptr, "Waits for an answer", "Modal", MB_OK | MB_TASKMODAL);
  script.Wait();
  return answer;
}

UINT MenuTheScriptMisses() {
  HWND owner = CreateWindowExA(0, "STATIC", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 200, 100, nullptr,
                               nullptr, nullptr, nullptr);
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, 1, "First");
  SetForegroundWindow(owner);
  TDialogScript script([](TDialogDriver &Driver) { Driver.WaitForDialog(300); }, 500);
  const UINT command = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD, 120, 120, 0, owner, nullptr));
  script.Wait();
  DestroyMenu(menu);
  DestroyWindow(owner);
  return command;
}

TEST(DialogScript, EndsTheModalStateItLeftBehindAndFails) {
  App.Initialize();
  static int answer = -1;
  EXPECT_NONFATAL_FAILURE(answer = BoxTheScriptMisses(), "no button \"Never there\"");
  EXPECT_NE(answer, -1) << "the message box returned";
  static UINT command = 99;
  EXPECT_NONFATAL_FAILURE(command = MenuTheScriptMisses(), "no dialog appeared within 300 ms");
  EXPECT_EQ(command, 0u) << "the menu ended with no command";
}

} // namespace
