#include "VmMsgBox.h"

#include <gtest/gtest.h>

#include <functional>

#include "DialogDriver.h"
#include "VmLang.h"

namespace {

TApplication App;

class MessageDialog : public ::testing::Test {
protected:
  void SetUp() override { App.Initialize(); }
};

HICON SystemIcon(int Id) { return LoadIconA(nullptr, MAKEINTRESOURCEA(Id)); }

bool IsDefaultButton(const TButton &Button) {
  return (GetWindowLongPtrA(Button.Handle(), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

// The dialog the installer asks its question with: caption, icon, buttons in
// order and centred, Yes as the default.
TEST_F(MessageDialog, ConfirmationWithYesAndNo) {
  auto form = CreateMessageDialog("", "Proceed with installation?", "", {mbNo, mbYes}, mtConfirmation);
  EXPECT_EQ(form->Text(), "Confirm");
  ASSERT_NE(form->IconImage(), nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(form->IconImage()->Handle(), STM_GETICON, 0, 0)), SystemIcon(32514));

  const auto &buttons = form->Buttons();
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(buttons[0]->Text(), "&Yes");
  EXPECT_EQ(buttons[1]->Text(), "&No");
  EXPECT_EQ(buttons[0]->ModalResult(), mrYes);
  EXPECT_EQ(buttons[1]->ModalResult(), mrNo);
  EXPECT_TRUE(IsDefaultButton(*buttons[0]));
  EXPECT_FALSE(IsDefaultButton(*buttons[1]));
  EXPECT_TRUE(buttons[1]->IsCancel());

  const TBounds yes = buttons[0]->Bounds();
  const TBounds no = buttons[1]->Bounds();
  EXPECT_EQ(yes.Top, no.Top);
  EXPECT_EQ(yes.Width, no.Width);
  EXPECT_LT(yes.Left + yes.Width, no.Left);
  const int leftGap = yes.Left;
  const int rightGap = form->ClientWidth() - (no.Left + no.Width);
  EXPECT_LE(std::abs(leftGap - rightGap), 1) << "the buttons are centred";

  // Icon at the margins, text to its right, buttons below both.
  const TBounds icon = form->IconImage()->Bounds();
  const TBounds text = form->MessageLabel()->Bounds();
  EXPECT_EQ(icon.Width, 32);
  EXPECT_EQ(icon.Height, 32);
  EXPECT_GT(text.Left, icon.Left + icon.Width);
  EXPECT_EQ(text.Top, icon.Top);
  EXPECT_GT(yes.Top, icon.Top + icon.Height);

  // Centred on the screen.
  const TBounds window = form->Bounds();
  EXPECT_EQ(window.Left, Screen->Width() / 2 - window.Width / 2);
  EXPECT_EQ(window.Top, Screen->Height() / 2 - window.Height / 2);
}

TEST_F(MessageDialog, ButtonsFollowTheFixedOrderWhateverTheirCodes) {
  auto form = CreateMessageDialog("", "x", "",
                                  {mbHelp, mbCancel, mbAll, mbIgnore, mbRetry, mbAbort, mbOK, mbNoToAll, mbNo,
                                   mbYesToAll, mbYes},
                                  mtWarning);
  std::vector<std::string> captions;
  int previousRight = -1;
  for (const auto &button : form->Buttons()) {
    captions.push_back(button->Text());
    EXPECT_GT(button->Bounds().Left, previousRight);
    previousRight = button->Bounds().Left + button->Bounds().Width;
  }
  EXPECT_EQ(captions, (std::vector<std::string>{"&Yes", "Yes to &All", "&No", "N&o to All", "OK", "&Abort", "&Retry",
                                                "&Ignore", "&All", "Cancel", "&Help"}));
  EXPECT_EQ(form->Text(), "Warning");
  // OK wins the default over Yes; Cancel answers Escape over No.
  for (const auto &button : form->Buttons()) {
    EXPECT_EQ(IsDefaultButton(*button), button->Text() == "OK") << button->Text();
    EXPECT_EQ(button->IsCancel(), button->Text() == "Cancel") << button->Text();
  }
}

TEST_F(MessageDialog, WithoutButtonsTheWidthFollowsTheText) {
  auto shortText = CreateMessageDialog("", "Hi", "", {}, mtCustom);
  auto longerText = CreateMessageDialog("", "A somewhat longer line of text", "", {}, mtCustom);
  EXPECT_TRUE(shortText->Buttons().empty());
  for (TMessageForm *form : {shortText.get(), longerText.get()}) {
    const TBounds text = form->MessageLabel()->Bounds();
    // The same margin on both sides of the text, nothing else decides the width.
    EXPECT_EQ(form->ClientWidth() - (text.Left + text.Width), text.Left) << form->MessageLabel()->Text();
  }
  EXPECT_LT(shortText->ClientWidth(), longerText->ClientWidth());
}

TEST_F(MessageDialog, CustomKindWithoutCaptionHasNoTitleAndNoIcon) {
  auto form = CreateMessageDialog("", "Plain", "", {mbOK}, mtCustom);
  EXPECT_EQ(form->Text(), "");
  EXPECT_EQ(form->IconImage(), nullptr);
  auto captioned = CreateMessageDialog("Mine", "Plain", "", {mbOK}, mtError);
  EXPECT_EQ(captioned->Text(), "Mine");
  ASSERT_NE(captioned->IconImage(), nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(captioned->IconImage()->Handle(), STM_GETICON, 0, 0)),
            SystemIcon(32513));
}

TEST_F(MessageDialog, NamedIconReplacesTheKindsAndAMissingOneLeavesTheImageEmpty) {
  auto named = CreateMessageDialog("", "x", "#32515", {mbOK}, mtCustom);
  ASSERT_NE(named->IconImage(), nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(named->IconImage()->Handle(), STM_GETICON, 0, 0)),
            SystemIcon(32515));
  for (const char *missing : {"#nope", "NoSuchIcon"}) {
    auto form = CreateMessageDialog("", "x", missing, {mbOK}, mtConfirmation);
    ASSERT_NE(form->IconImage(), nullptr) << missing;
    EXPECT_EQ(SendMessageA(form->IconImage()->Handle(), STM_GETICON, 0, 0), 0) << missing;
    EXPECT_GT(form->MessageLabel()->Bounds().Left, 32) << "the icon keeps its place";
  }
}

TEST_F(MessageDialog, LongTextWrapsAtHalfTheScreenWidthAndGrowsInHeight) {
  std::string text;
  for (int i = 0; i < 80; ++i)
    text += "wrapping words ";
  auto oneLine = CreateMessageDialog("", "wrapping words", "", {mbOK}, mtInformation);
  auto form = CreateMessageDialog("", text, "", {mbOK}, mtInformation);
  const TBounds label = form->MessageLabel()->Bounds();
  EXPECT_LE(label.Width, Screen->Width() / 2);
  EXPECT_GT(label.Width, Screen->Width() / 2 - 100) << "lines are filled up to the limit";
  EXPECT_GT(label.Height, 4 * oneLine->MessageLabel()->Bounds().Height);
  EXPECT_LE(form->Width(), Screen->Width() / 2 + 200);
  EXPECT_GT(form->ClientHeight(), label.Height);
}

TEST_F(MessageDialog, CarriageReturnsBreakLines) {
  auto oneLine = CreateMessageDialog("", "first", "", {mbOK}, mtInformation);
  auto threeLines = CreateMessageDialog("", "first\r\rthird", "", {mbOK}, mtInformation);
  EXPECT_EQ(threeLines->MessageLabel()->Bounds().Height, 3 * oneLine->MessageLabel()->Bounds().Height);
}

// Shown modally and answered the way a user would.
struct TAnswerCase {
  const char *Name;
  TMsgDlgButtons Buttons;
  std::function<bool(TDialogDriver &, const TDialogInfo &)> Answer;
  int Expected;
};

class MessageDialogAnswers : public MessageDialog, public ::testing::WithParamInterface<TAnswerCase> {};

TEST_P(MessageDialogAnswers, ResultOfTheAnswer) {
  const TAnswerCase &c = GetParam();
  bool answered = false;
  TDialogScript script([&](TDialogDriver &driver) {
    auto dialog = driver.WaitForDialog();
    if (dialog && dialog->ClassName == "TMessageForm")
      answered = c.Answer(driver, *dialog);
  });
  const int result = MessageDlg("Proceed with installation?", mtConfirmation, c.Buttons, 0);
  script.Wait();
  EXPECT_TRUE(answered);
  EXPECT_EQ(result, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MessageDialogAnswers,
    ::testing::Values(
        TAnswerCase{"EnterPressesYes", {mbYes, mbNo}, [](auto &d, auto &w) { return d.PressKey(w, VK_RETURN); }, mrYes},
        TAnswerCase{"EscapePressesNo", {mbYes, mbNo}, [](auto &d, auto &w) { return d.PressKey(w, VK_ESCAPE); }, mrNo},
        TAnswerCase{"ClickNo", {mbYes, mbNo}, [](auto &d, auto &w) { return d.Click(w, "&No"); }, mrNo},
        TAnswerCase{"EscapePrefersCancelToNo",
                    {mbYes, mbNo, mbCancel},
                    [](auto &d, auto &w) { return d.PressKey(w, VK_ESCAPE); },
                    mrCancel},
        TAnswerCase{"TabThenEnterPressesNo",
                    {mbYes, mbNo},
                    [](auto &d, auto &w) {
                      d.PostKey(VK_TAB);
                      Sleep(200);
                      return d.PressKey(w, VK_RETURN);
                    },
                    mrNo},
        TAnswerCase{"ClosingTheWindowGivesCancel",
                    {mbYes, mbNo},
                    [](auto &d, auto &w) {
                      PostMessageA(w.Handle, WM_CLOSE, 0, 0);
                      return d.WaitGone(w.Handle);
                    },
                    mrCancel}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(MessageDialog, ModalDialogShowsKindCaptionTextAndIcon) {
  std::optional<TDialogInfo> seen;
  TDialogScript script([&](TDialogDriver &driver) {
    seen = driver.WaitForDialog();
    if (seen)
      driver.Click(*seen, "&Yes");
  });
  EXPECT_EQ(MessageDlg("Line one\r\rLine three", mtConfirmation, {mbYes, mbNo}, 0), mrYes);
  script.Wait();
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->Caption, "Confirm");
  EXPECT_EQ(seen->Text, "Line one\r\rLine three");
  EXPECT_EQ(seen->Buttons, (std::vector<std::string>{"&Yes", "&No"}));
  EXPECT_EQ(seen->Icon, SystemIcon(32514));
}

TEST_F(MessageDialog, GivenPositionIsKept) {
  std::optional<TDialogInfo> seen;
  TDialogScript script([&](TDialogDriver &driver) {
    seen = driver.WaitForDialog();
    if (seen)
      driver.Click(*seen, "OK");
  });
  EXPECT_EQ(MessageDlgPos("", "Here", "", "", 40, 30, 0, {mbOK}, mtInformation), mrOk);
  script.Wait();
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->Window.left, 30);
  EXPECT_EQ(seen->Window.top, 40);
}

TEST_F(MessageDialog, HelpAsksForTheTopicAndDoesNotClose) {
  int topic = -1;
  App.OnHelp = [&](int context) { topic = context; };
  bool stayed = false;
  TDialogScript script([&](TDialogDriver &driver) {
    auto dialog = driver.WaitForDialog();
    if (!dialog)
      return;
    HWND help = nullptr;
    for (HWND child = GetWindow(dialog->Handle, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      char text[32] = {};
      GetWindowTextA(child, text, sizeof(text));
      if (std::string(text) == "&Help")
        help = child;
    }
    PostClick(help);
    stayed = !driver.WaitGone(dialog->Handle, 500);
    driver.Click(*dialog, "OK");
  });
  EXPECT_EQ(MessageDlg("Help?", mtInformation, {mbOK, mbHelp}, 77), mrOk);
  script.Wait();
  App.OnHelp = nullptr;
  EXPECT_TRUE(stayed);
  EXPECT_EQ(topic, 77);
}

} // namespace
