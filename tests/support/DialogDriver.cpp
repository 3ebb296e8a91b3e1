#include "DialogDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "Forms.h"

namespace {

std::string ClassOf(HWND Window) {
  char name[64] = {};
  GetClassNameA(Window, name, sizeof(name));
  return name;
}

std::string TextOf(HWND Window) {
  char text[4096] = {};
  GetWindowTextA(Window, text, sizeof(text));
  return text;
}

bool IsDialogClass(const std::string &ClassName) { return ClassName == "#32770" || ClassName == "TMessageForm"; }

BOOL CALLBACK FindDialog(HWND Window, LPARAM Result) {
  if (IsWindowVisible(Window) && IsWindowEnabled(Window) && IsDialogClass(ClassOf(Window))) {
    *reinterpret_cast<HWND *>(Result) = Window;
    return FALSE;
  }
  return TRUE;
}

struct TChild {
  HWND Handle;
  RECT Rect;
};

BOOL CALLBACK CollectChild(HWND Window, LPARAM List) {
  if (IsWindowVisible(Window)) {
    TChild child{Window, {}};
    GetWindowRect(Window, &child.Rect);
    reinterpret_cast<std::vector<TChild> *>(List)->push_back(child);
  }
  return TRUE;
}

TDialogInfo Describe(HWND Dialog) {
  TDialogInfo info;
  info.Handle = Dialog;
  info.ClassName = ClassOf(Dialog);
  info.Caption = TextOf(Dialog);
  GetWindowRect(Dialog, &info.Window);
  std::vector<TChild> children;
  EnumChildWindows(Dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
  std::sort(children.begin(), children.end(),
            [](const TChild &a, const TChild &b) { return a.Rect.left < b.Rect.left; });
  for (const TChild &child : children) {
    const std::string cls = ClassOf(child.Handle);
    if (_stricmp(cls.c_str(), "Button") == 0) {
      info.Buttons.push_back(TextOf(child.Handle));
    } else if (_stricmp(cls.c_str(), "Static") == 0) {
      if ((GetWindowLongPtrA(child.Handle, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        info.Icon = reinterpret_cast<HICON>(SendMessageA(child.Handle, STM_GETICON, 0, 0));
      } else if (info.Text.empty()) {
        info.Text = TextOf(child.Handle);
      }
    }
  }
  return info;
}

HWND FindButton(HWND Dialog, const std::string &Caption) {
  std::vector<TChild> children;
  EnumChildWindows(Dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
  for (const TChild &child : children)
    if (_stricmp(ClassOf(child.Handle).c_str(), "Button") == 0 && TextOf(child.Handle) == Caption)
      return child.Handle;
  return nullptr;
}

std::string Quoted(const std::string &Text) { return "\"" + Text + "\""; }

// Scripts whose body is running, in all the threads: a modal state that comes
// while one runs is that script's to answer.
std::atomic<int> RunningScripts{0};

BOOL CALLBACK CollectWindow(HWND Window, LPARAM List) {
  reinterpret_cast<std::vector<HWND> *>(List)->push_back(Window);
  return TRUE;
}

// A window of the thread that holds it in a modal loop: a message box or
// dialog, a popup menu, or a form shown modally over its disabled owner.
bool IsModal(HWND Window) {
  if (!IsWindowVisible(Window))
    return false;
  const std::string cls = ClassOf(Window);
  if (cls == "#32768")
    return true;
  if (!IsWindowEnabled(Window))
    return false;
  if (IsDialogClass(cls))
    return true;
  HWND owner = GetWindow(Window, GW_OWNER);
  return (GetWindowLongPtrA(Window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION && owner && IsWindowVisible(owner) &&
         !IsWindowEnabled(owner);
}

bool GoneWithin(HWND Window, DWORD TimeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < TimeoutMs) {
    if (!IsWindow(Window) || !IsWindowVisible(Window))
      return true;
    Sleep(20);
  }
  return false;
}

// Ends one modal window of the thread as a user giving up would: a menu
// through EndMenu, WM_CANCELMODE to its owner and Escape (under Wine each
// alone ends it; Windows' EndMenu acts on the calling thread only), a dialog
// or form through WM_CLOSE, else Cancel, else its first button (a Yes/No box
// has no Cancel).
void EndModal(DWORD GuiThread, HWND Window) {
  if (ClassOf(Window) == "#32768") {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    EndMenu(); // ends the process's menu under Wine, whichever thread tracks it
    if (GetGUIThreadInfo(GuiThread, &gui) && gui.hwndMenuOwner)
      PostMessageA(gui.hwndMenuOwner, WM_CANCELMODE, 0, 0);
    PostMessageA(Window, WM_KEYDOWN, VK_ESCAPE, 1);
    GoneWithin(Window, 1000);
    return;
  }
  PostMessageA(Window, WM_CLOSE, 0, 0);
  if (GoneWithin(Window, 1000))
    return;
  PostMessageA(Window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  if (GoneWithin(Window, 1000))
    return;
  std::vector<TChild> children;
  EnumChildWindows(Window, CollectChild, reinterpret_cast<LPARAM>(&children));
  for (const TChild &child : children)
    if (_stricmp(ClassOf(child.Handle).c_str(), "Button") == 0) {
      PostClick(child.Handle);
      break;
    }
  GoneWithin(Window, 1000);
}

// Ends every modal state of the thread; names each in Ended.
void EndModalStates(DWORD GuiThread, std::vector<std::string> &Ended) {
  std::vector<HWND> windows;
  EnumThreadWindows(GuiThread, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  // Topmost first: the last box opened is the one the thread waits in.
  for (HWND window : windows) {
    if (!IsWindow(window) || !IsModal(window))
      continue;
    const TDialogInfo info = Describe(window);
    Ended.push_back(info.ClassName == "#32768" ? std::string("a popup menu")
                                              : info.ClassName + " " + Quoted(info.Caption) +
                                                    (info.Text.empty() ? "" : " saying " + Quoted(info.Text)));
    EndModal(GuiThread, window);
  }
}

} // namespace

DWORD ScaledTimeout(DWORD Ms) {
  static const DWORD factor = std::getenv("VM_EMU32_QEMU") ? 4 : 1;
  return Ms * factor;
}

std::optional<TDialogInfo> TDialogDriver::WaitForDialog(DWORD TimeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < TimeoutMs) {
    HWND dialog = nullptr;
    EnumThreadWindows(FGuiThread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog) {
      Sleep(50); // let the dialog finish showing (focus, layout)
      return Describe(dialog);
    }
    Sleep(20);
  }
  FMissed = "no dialog appeared within " + std::to_string(TimeoutMs) + " ms";
  return std::nullopt;
}

bool TDialogDriver::WaitGone(HWND Window, DWORD TimeoutMs) {
  if (GoneWithin(Window, TimeoutMs))
    return true;
  FMissed = "window " + Quoted(TextOf(Window)) + " was still there after " + std::to_string(TimeoutMs) + " ms";
  return false;
}

bool TDialogDriver::WaitForFocus(HWND Control, DWORD TimeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < TimeoutMs) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    if (GetGUIThreadInfo(FGuiThread, &gui) && gui.hwndFocus == Control)
      return true;
    Sleep(20);
  }
  FMissed = "control " + Quoted(TextOf(Control)) + " did not get the focus within " + std::to_string(TimeoutMs) + " ms";
  return false;
}

bool TDialogDriver::Click(const TDialogInfo &Dialog, const std::string &Caption) {
  HWND button = FindButton(Dialog.Handle, Caption);
  if (!button) {
    FMissed = "no button " + Quoted(Caption) + " on " + Quoted(Dialog.Caption);
    return false;
  }
  PostClick(button);
  return WaitGone(Dialog.Handle);
}

HWND TDialogDriver::KeyboardTarget() const {
  GUITHREADINFO gui{};
  gui.cbSize = sizeof(gui);
  GetGUIThreadInfo(FGuiThread, &gui);
  return gui.hwndFocus ? gui.hwndFocus : gui.hwndActive;
}

void TDialogDriver::PostKey(WORD Key) {
  HWND target = KeyboardTarget();
  PostMessageA(target, WM_KEYDOWN, Key, 1);
  PostMessageA(target, WM_KEYUP, Key, static_cast<LPARAM>(0xC0000001u));
}

void TDialogDriver::PressKeys(const std::vector<WORD> &Keys) {
  constexpr LPARAM AltDown = 1 << 29, WasDown = 1 << 30, Released = static_cast<LPARAM>(1u << 31);
  const bool alt = std::find(Keys.begin(), Keys.end(), VK_MENU) != Keys.end();
  const auto post = [this](UINT Msg, WORD Key, LPARAM Flags) {
    const auto scanCode = static_cast<LPARAM>(MapVirtualKeyA(Key, MAPVK_VK_TO_VSC));
    PostMessageA(KeyboardTarget(), Msg, Key, 1 | scanCode << 16 | Flags);
    Sleep(50); // handled before the next, as keys come one at a time
  };
  for (WORD key : Keys)
    post(alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, alt ? AltDown : 0);
  for (auto key = Keys.rbegin(); key != Keys.rend(); ++key) {
    // Alt itself comes up as a plain key once another key was pressed with it.
    if (*key == VK_MENU)
      post(Keys.size() == 1 ? WM_SYSKEYUP : WM_KEYUP, *key, WasDown | Released);
    else
      post(alt ? WM_SYSKEYUP : WM_KEYUP, *key, (alt ? AltDown : 0) | WasDown | Released);
  }
}

bool TDialogDriver::PressKey(const TDialogInfo &Dialog, WORD Key) {
  PostKey(Key);
  return WaitGone(Dialog.Handle);
}

TDialogScript::TDialogScript(std::function<void(TDialogDriver &)> Script, DWORD GraceMs) {
  const DWORD gui = GetCurrentThreadId();
  ++RunningScripts;
  FThread = std::thread([this, gui, GraceMs, script = std::move(Script)] {
    TDialogDriver driver(gui);
    script(driver);
    FMissed = driver.Missed();
    --RunningScripts;
    FDone = true;
    // Until the test's thread is back to Wait, a modal state of it that no
    // running script answers holds it for good. The thread first has time
    // to act on what the script did last (keys it posted to a menu, say).
    const DWORD ended = GetTickCount();
    while (!FWaiting) {
      if (RunningScripts == 0 && GetTickCount() - ended >= GraceMs)
        EndModalStates(gui, FLeftOpen);
      Sleep(20);
    }
  });
}

void TDialogScript::Wait() {
  if (!FThread.joinable())
    return;
  FWaiting = true;
  FThread.join();
  if (!FLeftOpen.empty()) {
    std::string left;
    for (const std::string &what : FLeftOpen)
      left += (left.empty() ? "" : ", ") + what;
    ADD_FAILURE() << "the dialog script ended with the test's thread still in " << left
                  << " (ended it); the script missed: " << (FMissed.empty() ? "nothing it checked" : FMissed);
  }
}

TDialogScript::~TDialogScript() { Wait(); }

bool PumpMessagesUntil(const std::function<bool()> &Condition, DWORD TimeoutMs) {
  const DWORD start = GetTickCount();
  while (!Condition()) {
    if (GetTickCount() - start >= TimeoutMs)
      return false;
    Application->ProcessMessages();
    Sleep(10);
  }
  return true;
}

void PostClick(HWND Control) { PostMessageA(Control, BM_CLICK, 0, 0); }

