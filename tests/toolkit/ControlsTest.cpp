// The toolkit's labels on a real form: fitting their text in whatever font
// the system provides, and their access keys pressed on the keyboard; and
// the enumeration of a thread's windows.
#include "Controls.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "DialogDriver.h"
#include "Forms.h"
#include "LabelFit.h"

namespace {

TApplication App;

constexpr int ClientWidth = 240;

TForm::TArgs FormArgs() {
  return {"TControlsTestForm", "Labels", TBorderStyle::bsDialog, false, ClientWidth, 120, "MS Sans Serif", -11};
}

std::unique_ptr<TLabel> MakeLabel(TForm &Form, TBounds Bounds, TAlignment Alignment, const std::string &Text) {
  TLabel::TArgs args;
  args.Parent = &Form;
  args.Bounds = Bounds;
  args.Alignment = Alignment;
  args.Text = Text;
  return std::make_unique<TLabel>(args);
}

// Each label is given texts that fit, that need it widened and that cannot
// fit even then, in that order and back to the first: the bounds follow every
// change of text, and come back exactly to the laid-out ones.
TEST(Label, FitsEachTextItIsGiven) {
  App.Initialize();
  TForm form(FormArgs());
  const struct {
    TBounds LaidOut;
    TAlignment Alignment;
  } labels[] = {
      {{20, 10, 60, 13}, TAlignment::taLeftJustify},
      {{160, 30, 60, 13}, TAlignment::taRightJustify},
      {{90, 50, 60, 13}, TAlignment::taCenter},
      {{4, 70, 60, 13}, TAlignment::taCenter}, // near the left edge: moves off it
  };
  const char *const texts[] = {"&Short", "A somewhat longer label text",
                               "A text far too long for any label on this small form, whatever the font", "&Short"};
  for (size_t l = 0; l < std::size(labels); ++l) {
    auto label = MakeLabel(form, labels[l].LaidOut, labels[l].Alignment, texts[0]);
    for (size_t t = 0; t < std::size(texts); ++t) {
      label->SetText(texts[t]);
      EXPECT_TRUE(FitsItsText(*label, labels[l].LaidOut, labels[l].Alignment)) << "label " << l << ", text " << t;
    }
  }
  // The texts do reach each case, in this font as in a wider one.
  auto probe = MakeLabel(form, {0, 90, 60, 13}, TAlignment::taLeftJustify, texts[0]);
  EXPECT_LE(LabelTextWidth(*probe), 60);
  probe->SetText(texts[1]);
  EXPECT_GT(LabelTextWidth(*probe), 60);
  EXPECT_LE(LabelTextWidth(*probe), ClientWidth - 20) << "fits when widened, from either side";
  probe->SetText(texts[2]);
  EXPECT_GT(LabelTextWidth(*probe), ClientWidth);
}

// A word-wrapping label keeps its bounds whatever its text: it grows downwards
// in lines instead (the message dialog sizes its own).
TEST(Label, WordWrappingLabelKeepsItsBounds) {
  App.Initialize();
  TForm form(FormArgs());
  TLabel::TArgs args;
  args.Parent = &form;
  args.Bounds = {10, 10, 50, 40};
  args.WordWrap = true;
  args.Text = "A text far wider than its label, over several lines";
  TLabel label(args);
  const TBounds b = label.Bounds();
  EXPECT_EQ(b.Left, 10);
  EXPECT_EQ(b.Width, 50);
  EXPECT_EQ(b.Height, 40);
}

// A form with two labelled edits and a button, driven from the keyboard.
class AccessKeys : public ::testing::Test {
protected:
  void SetUp() override {
    App.Initialize();
    Form = std::make_unique<TForm>(FormArgs());
    LabelName = MakeLabel(*Form, {8, 12, 50, 13}, TAlignment::taLeftJustify, "&Name:");
    EditName = std::make_unique<TEdit>(Place({60, 8, 120, 21}));
    LabelPath = MakeLabel(*Form, {8, 40, 50, 13}, TAlignment::taLeftJustify, "&Path:");
    TControlArgs path = Place({60, 36, 120, 21});
    path.Enabled = false;
    EditPath = std::make_unique<TEdit>(path);
    TButton::TArgs go;
    static_cast<TControlArgs &>(go) = Place({60, 80, 75, 25});
    go.Text = "&Go";
    Go = std::make_unique<TButton>(go);
    Go->OnClick = [this](TWinControl *) { ++Clicks; };
    Form->SetActiveControl(Go.get());
    Form->Show();
    App.ProcessMessages();
  }

  TControlArgs Place(TBounds Bounds) {
    TControlArgs args;
    args.Parent = Form.get();
    args.Bounds = Bounds;
    return args;
  }

  // Presses the keys, from a helper thread as a keyboard would, while the
  // form handles them.
  void Press(const std::vector<WORD> &Keys) {
    TDialogScript script([&Keys](TDialogDriver &Driver) { Driver.PressKeys(Keys); });
    EXPECT_TRUE(PumpMessagesUntil([&] { return script.Done(); }));
    App.ProcessMessages();
  }

  std::unique_ptr<TForm> Form;
  std::unique_ptr<TLabel> LabelName, LabelPath;
  std::unique_ptr<TEdit> EditName, EditPath;
  std::unique_ptr<TButton> Go;
  int Clicks = 0;
};

TEST_F(AccessKeys, AltAndTheKeyFocusTheControlAfterTheLabel) {
  ASSERT_TRUE(Go->Focused()) << "the form has the keyboard";
  Press({VK_MENU, 'N'});
  EXPECT_TRUE(EditName->Focused());
  // From inside the edit too, and its text is selected as in a dialog.
  EditName->SetText("typed");
  Go->SetFocus();
  Press({VK_MENU, 'N'});
  EXPECT_TRUE(EditName->Focused());
  DWORD start = 0, end = 0;
  SendMessageA(EditName->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 5u);
  // A disabled control is passed over for the next tab stop.
  Press({VK_MENU, 'P'});
  EXPECT_TRUE(Go->Focused());
  EXPECT_EQ(Clicks, 0) << "focusing the button does not press it";
  // A button's access key presses it.
  Press({VK_MENU, 'G'});
  EXPECT_EQ(Clicks, 1);
}

TEST_F(AccessKeys, TheKeyAloneWorksOnlyWhereNoControlTakesCharacters) {
  Press({'N'});
  EXPECT_TRUE(EditName->Focused()) << "a button takes no characters";
  EditName->SetText("");
  Press({'P'});
  EXPECT_TRUE(EditName->Focused()) << "an edit takes the character";
  EXPECT_EQ(EditName->Text(), "p");
}

class WindowEnumeration : public ::testing::Test {
protected:
  void SetUp() override {
    App.Initialize();
    for (int i = 0; i < 3; ++i) {
      Forms.push_back(std::make_unique<TForm>(
          TForm::TArgs{"TEnumTestForm", "Enumerated", TBorderStyle::bsSingle, false, 100, 100, "MS Sans Serif", -11}));
      Forms.back()->Show();
    }
  }

  std::vector<std::unique_ptr<TForm>> Forms;
};

TEST_F(WindowEnumeration, VisitsTheThreadsWindowsUntilTold) {
  int visited = 0;
  EnumerateWindows(GetCurrentThreadId(), [&](HWND) { return ++visited < 2; });
  EXPECT_EQ(visited, 2) << "false ends the enumeration";
  visited = 0;
  EnumerateWindows(GetCurrentThreadId(), [&](HWND) { return ++visited > 0; });
  EXPECT_GE(visited, 3);
}

TEST_F(WindowEnumeration, AnExceptionEndsTheEnumerationAndReachesTheCaller) {
  for (DWORD thread : {GetCurrentThreadId(), DWORD{0}}) {
    int visited = 0;
    try {
      EnumerateWindows(thread, [&](HWND) -> bool {
        ++visited;
        throw EListError("visit failed");
      });
      ADD_FAILURE() << "nothing raised, thread " << thread;
    } catch (const EListError &e) {
      EXPECT_EQ(e.Message(), "visit failed");
    }
    EXPECT_EQ(visited, 1) << "thread " << thread;
  }
  // Later enumerations go on as before.
  int visited = 0;
  EnumerateWindows(GetCurrentThreadId(), [&](HWND) { return ++visited > 0; });
  EXPECT_GE(visited, 3);
}

} // namespace
