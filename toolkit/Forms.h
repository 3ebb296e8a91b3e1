// Forms built in code, the application object with its message loop and error
// report, the screen cursor and the plain message box. Windows only.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Controls.h"

// The name of the program's own icon resource, which its forms show in their
// title bars and the task list; without one they show the system's.
inline constexpr char MainIconResource[] = "MAINICON";

enum class TBorderStyle {
  bsSingle, // fixed single border, caption, system menu
  bsDialog, // fixed dialog frame, no minimise or maximise box
  bsSizeable // a main window: sizing border, minimise and maximise boxes
};

// A top-level window. Keyboard navigation is the dialog manager's: Tab and
// Shift+Tab walk the tab stops in z-order, Enter presses the focused push
// button or else the default button, Escape presses the cancel button, and an
// access key ("&" in a caption) presses its button or, for a label, focuses
// the control after the label in tab order: with Alt, or alone while the
// focused control takes no characters. The window shows the program's icon
// (MainIconResource) when the program has one.
class TForm : public TWinControl {
public:
  struct TArgs {
    const char *ClassName; // registered once per name; tests and tools find forms by it
    std::string Caption;
    TBorderStyle BorderStyle = TBorderStyle::bsSingle;
    bool MinimizeBox = false;
    int ClientWidth = 0;
    int ClientHeight = 0;
    std::string FontName; // empty: the system's GUI font
    int FontHeight = 0;
  };
  explicit TForm(const TArgs &Args);
  ~TForm() override;

  HFONT Font() const { return FFont ? FFont->Handle() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }
  void SetFont(std::unique_ptr<TFont> Font);

  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientSize(int Width, int Height);
  int Width() const { return Bounds().Width; }
  int Height() const { return Bounds().Height; }
  void SetLeft(int Left);
  void SetTop(int Top);
  void CenterOnScreen();

  void Show();
  void Hide() { SetVisible(false); }
  // Closing the application's main form ends the program; closing a modal
  // form ends its modal loop with mrCancel unless a result is set.
  void Close();
  TModalResult ShowModal();
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }

  void SetActiveControl(TWinControl *Control) { FActiveControl = Control; }
  // Sets the tab order: the controls' z-order becomes the order given.
  void SetTabOrder(std::initializer_list<TWinControl *> Controls);

  // Enter presses the focused push button, or else the default button;
  // Escape presses the cancel button. False when the key is not one of these
  // or the focused control takes every key itself.
  bool DialogKey(HWND Focus, WPARAM Key);

  // Buttons register themselves as the form's default or cancel button.
  void SetDefaultButton(TButton *Button) { FDefaultButton = Button; }
  void SetCancelButton(TButton *Button) { FCancelButton = Button; }

protected:
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  void PressButton(TButton *Button);
  // The dialog manager's focus move: to the control given by handle, or else
  // to the next (Control zero) or previous tab stop from the focused control.
  void NextControl(WPARAM Control, bool IsHandle);

  std::unique_ptr<TFont> FFont;
  TModalResult FModalResult = mrNone;
  bool FModal = false;
  TWinControl *FActiveControl = nullptr;
  TButton *FDefaultButton = nullptr;
  TButton *FCancelButton = nullptr;
};

// The form a control lives on.
TForm *GetParentForm(TWinControl *Control);

class TApplication {
public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication &) = delete;
  TApplication &operator=(const TApplication &) = delete;

  // Loads the common controls (visual styles come from the program's manifest).
  void Initialize();
  // The program's name unless set: the executable's file name without extension.
  const std::string &Title() const { return FTitle; }
  void SetTitle(const std::string &Value) { FTitle = Value; }

  TForm *MainForm() const { return FMainForm; }
  void SetMainForm(TForm *Form) { FMainForm = Form; }
  // Shows the main form and runs the message loop until the end is requested.
  void Run();
  // Handles every pending message, then returns.
  void ProcessMessages();
  // Handles one message, waiting for one if none is pending.
  void HandleMessage();
  // Asks the message loop to end (a quit request); the caller goes on.
  void Terminate();
  bool Terminated() const { return FTerminated; }

  // Help topics: the program decides how to show one (the toolkit has no
  // help viewer of its own); without a handler a request does nothing.
  std::function<void(int HelpContext)> OnHelp;
  void ShowHelp(int HelpContext) {
    if (OnHelp)
      OnHelp(HelpContext);
  }

  // The default error report: a message box with the error's own message.
  void HandleException(const std::exception &E);
  void HandleUnknownException();

private:
  bool ProcessMessage(MSG &Msg);

  std::string FTitle;
  TForm *FMainForm = nullptr;
  bool FTerminated = false;
};

// A program's whole run: the application object, the main form Create makes
// for it, the message loop until the form closes. An error that escapes is
// reported in the default way and ends the program with status 1.
int RunApplication(const std::function<std::unique_ptr<TForm>(TApplication &Application)> &Create);

// The one application object of the program, or null before it exists.
extern TApplication *Application;

enum class TCursor { crDefault, crHourGlass };

class TScreen {
public:
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value);
  int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
  int Height() const { return GetSystemMetrics(SM_CYSCREEN); }
  // The cursor windows show while not crDefault.
  HCURSOR CursorHandle() const;
  // The program's own cursors by number, as programs register them at start-up.
  void SetCursors(int Index, HCURSOR Cursor);
  HCURSOR Cursors(int Index) const; // null when none is registered

private:
  std::atomic<TCursor> FCursor{TCursor::crDefault};
};

extern TScreen *Screen;

// The system's non-client metrics (caption, menu and message fonts); false
// when the system gives none.
bool GetNonClientMetrics(NONCLIENTMETRICSA &Metrics);

// The standard message box: the text, one OK button, the application's title
// as caption, the box wide enough for the whole caption. Returns when the
// user dismisses it.
void ShowMessage(const std::string &Text);
