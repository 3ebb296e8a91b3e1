// The library's modal message box: a text, an optional system icon, a caption
// and a row of buttons in the current user-interface language, built in code
// and sized to its text and buttons. Windows only.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Forms.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
constexpr int MsgDlgButtonCount = 11;

// A set of buttons; each button's code is its bit.
class TMsgDlgButtons {
public:
  constexpr TMsgDlgButtons() = default;
  constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> Buttons) {
    for (TMsgDlgBtn button : Buttons)
      FBits = static_cast<uint16_t>(FBits | (1u << button));
  }
  constexpr bool Contains(TMsgDlgBtn Button) const { return (FBits >> Button) & 1u; }
  constexpr bool Empty() const { return FBits == 0; }

private:
  uint16_t FBits = 0;
};

class TMessageForm : public TForm {
public:
  // Takes the system's message-box font when the system reports one.
  explicit TMessageForm(TApplication *Owner);

  int HelpContext = 0;
  std::string HelpFile;

  // The parts CreateMessageDialog put on the form (image and label may be null).
  TImage *IconImage() const { return FImage.get(); }
  TLabel *MessageLabel() const { return FMessage.get(); }
  const std::vector<std::unique_ptr<TButton>> &Buttons() const { return FButtons; }

private:
  friend std::unique_ptr<TMessageForm> CreateMessageDialog(const std::string &, const std::string &,
                                                           const std::string &, TMsgDlgButtons, TMsgDlgType);
  std::unique_ptr<TImage> FImage;
  std::unique_ptr<TLabel> FMessage;
  std::vector<std::unique_ptr<TButton>> FButtons;
};

// A new, not yet shown dialog. An empty caption takes the kind's caption
// (none for mtCustom); an empty icon name takes the kind's system icon. Icon
// names are resource names of the program or the system, "#32514" for an
// identifier.
std::unique_ptr<TMessageForm> CreateMessageDialog(const std::string &Caption, const std::string &Msg,
                                                  const std::string &IconName, TMsgDlgButtons Buttons,
                                                  TMsgDlgType DlgType);

// Shows the dialog modally and returns the modal result of the button pressed
// (mrCancel when the window is closed otherwise). A negative Left or Top
// keeps the centred position on that axis.
int MessageDlgPos(const std::string &Caption, const std::string &Msg, const std::string &IconName,
                  const std::string &HelpFileName, int Top, int Left, int HelpCtx, TMsgDlgButtons Buttons,
                  TMsgDlgType DlgType);

int MessageDlg(const std::string &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
