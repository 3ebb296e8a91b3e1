#include "VmMsgBox.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "VmLang.h"

namespace {


struct TKindInfo {
  const TLangTexts *Caption; // null: no caption
  int SystemIcon;            // 0: none
};

// IDI_EXCLAMATION, IDI_HAND, IDI_ASTERISK, IDI_QUESTION.
const TKindInfo Kinds[] = {
    {&SMsgDlgWarning, 32515}, {&SMsgDlgError, 32513}, {&SMsgDlgInformation, 32516},
    {&SMsgDlgConfirm, 32514}, {nullptr, 0},
};

struct TButtonInfo {
  const TLangTexts *Caption;
  TModalResult Result;
};

// Indexed by TMsgDlgBtn.
const TButtonInfo ButtonInfo[MsgDlgButtonCount] = {
    {&SMsgDlgYes, mrYes},     {&SMsgDlgNo, mrNo},       {&SMsgDlgOK, mrOk},           {&SMsgDlgCancel, mrCancel},
    {&SMsgDlgAbort, mrAbort}, {&SMsgDlgRetry, mrRetry}, {&SMsgDlgIgnore, mrIgnore},   {&SMsgDlgAll, mrAll},
    {&SMsgDlgNoToAll, mrNoToAll}, {&SMsgDlgYesToAll, mrYesToAll}, {&SMsgDlgHelp, mrNone},
};

// Left to right on the dialog, whatever the codes.
constexpr TMsgDlgBtn ButtonOrder[] = {mbYes, mbYesToAll, mbNo,     mbNoToAll, mbOK,  mbAbort,
                                      mbRetry, mbIgnore,  mbAll, mbCancel, mbHelp};
static_assert(std::size(ButtonOrder) == MsgDlgButtonCount);

// Caption widths in pixels per language and button; 0 = not measured yet.
// Measured once per program run: the message font does not change.
int ButtonWidths[LanguageCount][MsgDlgButtonCount] = {};

// A device context with the form's font selected, released on exit.
class TFormCanvas {
public:
  explicit TFormCanvas(const TForm &Form)
      : FWindow(Form.Handle()), FDC(GetDC(FWindow)), FOldFont(SelectObject(FDC, Form.Font())) {}
  ~TFormCanvas() {
    SelectObject(FDC, FOldFont);
    ReleaseDC(FWindow, FDC);
  }
  TFormCanvas(const TFormCanvas &) = delete;
  TFormCanvas &operator=(const TFormCanvas &) = delete;
  HDC DC() const { return FDC; }

private:
  HWND FWindow;
  HDC FDC;
  HGDIOBJ FOldFont;
};

// The average character size of the font, the unit of the dialog metrics.
SIZE AverageCharSize(HDC DC) {
  char letters[52];
  for (int i = 0; i < 26; ++i) {
    letters[i] = static_cast<char>('A' + i);
    letters[26 + i] = static_cast<char>('a' + i);
  }
  SIZE size{};
  GetTextExtentPoint32A(DC, letters, 52, &size);
  return {size.cx / 52, size.cy};
}

int CaptionWidth(HDC DC, TMsgDlgBtn Button) {
  int &cached = ButtonWidths[std::clamp(GetLanguage(), 1, LanguageCount) - 1][Button];
  if (cached == 0) {
    RECT r{0, 0, 0, 0};
    const std::string caption = LangText(*ButtonInfo[Button].Caption);
    DrawTextA(DC, caption.c_str(), -1, &r, DT_CALCRECT | DT_LEFT | DT_SINGLELINE);
    cached = r.right - r.left + 8;
  }
  return cached;
}

HICON LoadNamedIcon(const std::string &Name) {
  const char *resource = Name.c_str();
  if (Name.size() > 1 && Name[0] == '#') {
    // "#32514" names a resource by number; anything else after "#" loads nothing.
    char *end = nullptr;
    const long id = std::strtol(Name.c_str() + 1, &end, 10);
    if (*end != '\0' || id <= 0 || id > 0xFFFF)
      return nullptr;
    resource = MAKEINTRESOURCEA(id);
  }
  if (HICON icon = LoadIconA(GetModuleHandleA(nullptr), resource))
    return icon;
  return LoadIconA(nullptr, resource);
}

} // namespace

TMessageForm::TMessageForm(TApplication *)
    : TForm({"TMessageForm", "", TBorderStyle::bsDialog, false, 0, 0, "", 0}) {
  NONCLIENTMETRICSA metrics{};
  if (GetNonClientMetrics(metrics))
    SetFont(std::make_unique<TFont>(metrics.lfMessageFont));
}

std::unique_ptr<TMessageForm> CreateMessageDialog(const std::string &Caption, const std::string &Msg,
                                                  const std::string &IconName, TMsgDlgButtons Buttons,
                                                  TMsgDlgType DlgType) {
  auto form = std::make_unique<TMessageForm>(Application);
  int horzMargin, vertMargin, horzSpacing, vertSpacing, buttonWidth, buttonHeight, buttonSpacing;
  RECT textRect;
  {
    TFormCanvas canvas(*form);
    const SIZE unit = AverageCharSize(canvas.DC());
    horzMargin = MulDiv(8, unit.cx, 4);
    vertMargin = MulDiv(8, unit.cy, 8);
    horzSpacing = MulDiv(10, unit.cx, 4);
    vertSpacing = MulDiv(10, unit.cy, 8);
    buttonWidth = MulDiv(50, unit.cx, 4);
    for (TMsgDlgBtn button : ButtonOrder)
      if (Buttons.Contains(button))
        buttonWidth = std::max(buttonWidth, CaptionWidth(canvas.DC(), button));
    buttonHeight = MulDiv(14, unit.cy, 8);
    buttonSpacing = MulDiv(4, unit.cx, 4);
    // The label draws its text without access-key prefixes, so it is measured so too.
    textRect = {0, 0, Screen->Width() / 2, 0};
    DrawTextA(canvas.DC(), Msg.c_str(), -1, &textRect, DT_EXPANDTABS | DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  }
  const int textWidth = textRect.right;
  const int textHeight = textRect.bottom;

  HICON icon = nullptr;
  if (!IconName.empty())
    icon = LoadNamedIcon(IconName);
  else if (Kinds[DlgType].SystemIcon != 0)
    icon = LoadIconA(nullptr, MAKEINTRESOURCEA(Kinds[DlgType].SystemIcon));
  const bool hasIcon = !IconName.empty() || Kinds[DlgType].SystemIcon != 0;
  int iconTextWidth = textWidth;
  int iconTextHeight = textHeight;
  if (hasIcon) {
    iconTextWidth += horzSpacing + 32;
    iconTextHeight = std::max(iconTextHeight, 32);
  }

  int buttonCount = 0;
  for (TMsgDlgBtn button : ButtonOrder)
    buttonCount += Buttons.Contains(button) ? 1 : 0;
  const int buttonGroupWidth = buttonCount > 0 ? buttonCount * buttonWidth + (buttonCount - 1) * buttonSpacing : 0;

  const int clientWidth = std::max(iconTextWidth, buttonGroupWidth) + horzMargin * 2;
  const int clientHeight = iconTextHeight + buttonHeight + vertSpacing + vertMargin * 2;
  form->SetClientSize(clientWidth, clientHeight);
  form->SetLeft(Screen->Width() / 2 - form->Width() / 2);
  form->SetTop(Screen->Height() / 2 - form->Height() / 2);

  if (!Caption.empty())
    form->SetText(Caption);
  else if (Kinds[DlgType].Caption)
    form->SetText(LangText(*Kinds[DlgType].Caption));

  if (hasIcon) {
    TControlArgs args;
    args.Parent = form.get();
    args.Bounds = {horzMargin, vertMargin, 32, 32};
    form->FImage = std::make_unique<TImage>(args);
    if (icon)
      form->FImage->SetIcon(icon);
  }

  TLabel::TArgs label;
  label.Parent = form.get();
  label.Text = Msg;
  label.WordWrap = true;
  label.ShowAccelChar = false;
  label.Bounds = {horzMargin + (iconTextWidth - textWidth), vertMargin, textWidth, textHeight};
  form->FMessage = std::make_unique<TLabel>(label);

  const TMsgDlgBtn defaultButton = Buttons.Contains(mbOK) ? mbOK : Buttons.Contains(mbYes) ? mbYes : mbRetry;
  const TMsgDlgBtn cancelButton = Buttons.Contains(mbCancel) ? mbCancel : Buttons.Contains(mbNo) ? mbNo : mbOK;
  int left = (clientWidth - buttonGroupWidth) / 2;
  for (TMsgDlgBtn button : ButtonOrder) {
    if (!Buttons.Contains(button))
      continue;
    TButton::TArgs args;
    args.Parent = form.get();
    args.Text = LangText(*ButtonInfo[button].Caption);
    args.ModalResult = ButtonInfo[button].Result;
    args.Default = button == defaultButton;
    args.Cancel = button == cancelButton;
    args.Bounds = {left, iconTextHeight + vertMargin + vertSpacing, buttonWidth, buttonHeight};
    auto control = std::make_unique<TButton>(args);
    if (button == mbHelp) {
      TMessageForm *owner = form.get();
      control->OnClick = [owner](TWinControl *) {
        if (Application)
          Application->ShowHelp(owner->HelpContext);
      };
    }
    if (args.Default)
      form->SetActiveControl(control.get());
    form->FButtons.push_back(std::move(control));
    left += buttonWidth + buttonSpacing;
  }
  return form;
}

int MessageDlgPos(const std::string &Caption, const std::string &Msg, const std::string &IconName,
                  const std::string &HelpFileName, int Top, int Left, int HelpCtx, TMsgDlgButtons Buttons,
                  TMsgDlgType DlgType) {
  std::unique_ptr<TMessageForm> form = CreateMessageDialog(Caption, Msg, IconName, Buttons, DlgType);
  form->HelpContext = HelpCtx;
  form->HelpFile = HelpFileName;
  if (Left >= 0)
    form->SetLeft(Left);
  if (Top >= 0)
    form->SetTop(Top);
  if (Left < 0 && Top < 0)
    form->CenterOnScreen();
  return form->ShowModal();
}

int MessageDlg(const std::string &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) {
  return MessageDlgPos("", Msg, "", "", -1, -1, HelpCtx, Buttons, DlgType);
}
