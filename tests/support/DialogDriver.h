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

// A time-out for a wait of the tests: Ms, several times longer where the
// program runs under user-mode emulation (VM_EMU32_QEMU, set by scripts/emu32),
// where everything is that much slower. A wait ends as soon as its condition
// holds, so a passing test is no slower for a long one.
DWORD ScaledTimeout(DWORD Ms);

class TDialogDriver {
public:
  explicit TDialogDriver(DWORD GuiThread) : FGuiThread(GuiThread) {}

  // The next visible, enabled dialog of the thread; none after the timeout.
  std::optional<TDialogInfo> WaitForDialog(DWORD TimeoutMs = ScaledTimeout(30000));
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
  bool WaitGone(HWND Window, DWORD TimeoutMs = ScaledTimeout(30000));
  // Waits until the control has the keyboard focus of the thread.
  bool WaitForFocus(HWND Control, DWORD TimeoutMs = ScaledTimeout(10000));
  // What the last wait or click that came to nothing was after; empty if
  // none did. The script reports it when it leaves a modal state behind.
  const std::string &Missed() const { return FMissed; }

private:
  HWND KeyboardTarget() const;

  DWORD FGuiThread;
  std::string FMissed;
};

// Runs a script on a helper thread against the dialogs of the calling
// (user-interface) thread. The destructor waits for the script to end.
// A script that ends (or gives up) while the thread is still in a modal
// state, a message box, a dialog, a form shown modally over another or a
// popup menu, would leave the thread in that modal loop for good: from
// GraceMs after its end until Wait, and while no other script runs, the
// helper ends every such state of the thread, and Wait then fails the test
// naming what was left open and what the script missed.
class TDialogScript {
public:
  explicit TDialogScript(std::function<void(TDialogDriver &)> Script, DWORD GraceMs = ScaledTimeout(10000));
  ~TDialogScript();
  TDialogScript(const TDialogScript &) = delete;
  TDialogScript &operator=(const TDialogScript &) = delete;
  bool Done() const { return FDone; }
  // Waits for the script to end.
  void Wait();

private:
  std::atomic<bool> FDone{false};
  std::atomic<bool> FWaiting{false};
  std::vector<std::string> FLeftOpen; // written by the helper until joined
  std::string FMissed;
  std::thread FThread;
};

// Handles the calling thread's messages until the condition holds; false
// after the timeout.
bool PumpMessagesUntil(const std::function<bool()> &Condition, DWORD TimeoutMs = ScaledTimeout(60000));

// Clicks a control as a user would: BM_CLICK posted to it, so that the click
// runs in the thread's message loop.
void PostClick(HWND Control);
