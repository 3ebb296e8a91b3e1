// Answers the dialogs a program's user-interface thread opens, from a helper
// thread, the way a user would: it finds the message box or message dialog
// that appeared, reads its caption, text and buttons, and presses a button by
// message (BM_CLICK, or Enter and Escape through the focused control).
// Windows only.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct TDialogInfo {
  HWND Handle = nullptr;
  std::string ClassName; // "#32770" for the system message box, "TMessageForm" for ours
  std::string Caption;
  std::string Text;
  std::vector<std::string> Buttons; // captions, left to right
  HICON Icon = nullptr;             // the icon shown, if any
  RECT Window{};                    // screen rectangle
};

class TDialogDriver {
public:
  explicit TDialogDriver(DWORD GuiThread) : FGuiThread(GuiThread) {}

  // The next visible, enabled dialog of the thread; none after the timeout.
  std::optional<TDialogInfo> WaitForDialog(DWORD TimeoutMs = 15000);
  // Presses the button with this caption (BM_CLICK) and waits until the
  // dialog has gone. False if there is no such button or it stays.
  bool Click(const TDialogInfo &Dialog, const std::string &Caption);
  // Sends a key press to the focused control of the dialog's thread and waits
  // until the dialog has gone. False if it stays.
  bool PressKey(const TDialogInfo &Dialog, WORD Key);
  // Posts a key press to the focused control of the thread; does not wait.
  void PostKey(WORD Key);
  // Presses the keys one after the other and releases them in reverse
  // order, posting to the thread's focused control of the moment the
  // messages a keyboard produces: WM_SYSKEYDOWN and WM_SYSKEYUP while Alt
  // is held, with the context bit, else WM_KEYDOWN and WM_KEYUP. Posted
  // rather than sent through the system's input, so that a window of
  // another program running at the same time cannot take the keys.
  void PressKeys(const std::vector<WORD> &Keys);
  // Waits until the window is destroyed or hidden.
  bool WaitGone(HWND Window, DWORD TimeoutMs = 15000);
  // Waits until the control has the keyboard focus of the thread.
  bool WaitForFocus(HWND Control, DWORD TimeoutMs = 5000);

private:
  HWND KeyboardTarget() const;

  DWORD FGuiThread;
};

// Runs a script on a helper thread against the dialogs of the calling
// (user-interface) thread. The destructor waits for the script to end.
class TDialogScript {
public:
  explicit TDialogScript(std::function<void(TDialogDriver &)> Script);
  ~TDialogScript();
  TDialogScript(const TDialogScript &) = delete;
  TDialogScript &operator=(const TDialogScript &) = delete;
  bool Done() const { return FDone; }
  // Waits for the script to end.
  void Wait();

private:
  std::atomic<bool> FDone{false};
  std::thread FThread;
};

// Handles the calling thread's messages until the condition holds; false
// after the timeout.
bool PumpMessagesUntil(const std::function<bool()> &Condition, DWORD TimeoutMs = 20000);

// Clicks a control as a user would: BM_CLICK posted to it, so that the click
// runs in the thread's message loop.
void PostClick(HWND Control);
