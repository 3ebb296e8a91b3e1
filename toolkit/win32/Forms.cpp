#include "../Forms.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <map>
#include <set>
#include <utility>
#include <vector>

TApplication *Application = nullptr;

namespace {

TScreen TheScreen;

// The program's own icon at the size of a system metric, or the system's
// application icon when the program has none. Shared handles, never destroyed.
HICON ProgramIcon(int SizeMetric) {
  const int size = GetSystemMetrics(SizeMetric);
  if (HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MainIconResource, IMAGE_ICON, size, size, LR_SHARED))
    return static_cast<HICON>(icon);
  return static_cast<HICON>(
      LoadImageA(nullptr, MAKEINTRESOURCEA(32512), IMAGE_ICON, size, size, LR_SHARED)); // IDI_APPLICATION
}

void RegisterFormClass(const char *ClassName, WNDPROC Proc) {
  static std::set<std::string> registered;
  if (!registered.insert(ClassName).second)
    return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hIcon = ProgramIcon(SM_CXICON);
  wc.hIconSm = ProgramIcon(SM_CXSMICON);
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = ClassName;
  RegisterClassExA(&wc);
}

DWORD FormStyle(TBorderStyle BorderStyle, bool MinimizeBox) {
  if (BorderStyle == TBorderStyle::bsDialog)
    return WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  if (BorderStyle == TBorderStyle::bsSizeable)
    return WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | (MinimizeBox ? WS_MINIMIZEBOX : 0);
}

DWORD FormExStyle(TBorderStyle BorderStyle) {
  return WS_EX_CONTROLPARENT | (BorderStyle == TBorderStyle::bsDialog ? WS_EX_DLGMODALFRAME : 0);
}

// The window size that gives a client area of the wanted size.
SIZE WindowSizeFor(HWND Window, int ClientWidth, int ClientHeight) {
  RECT r{0, 0, ClientWidth, ClientHeight};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrA(Window, GWL_STYLE)), GetMenu(Window) != nullptr,
                     static_cast<DWORD>(GetWindowLongPtrA(Window, GWL_EXSTYLE)));
  return {r.right - r.left, r.bottom - r.top};
}

std::string ModuleBaseName() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name = path;
  if (const size_t slash = name.find_last_of("\\/"); slash != std::string::npos)
    name.erase(0, slash + 1);
  if (const size_t dot = name.rfind('.'); dot != std::string::npos)
    name.erase(dot);
  return name;
}

// ---------------------------------------------------------------------------
// Message boxes wide enough for their caption

// Room the title bar keeps besides the caption's text and the close button:
// the gap before the text, between the text and the button, and after it.
constexpr int CaptionTextPadding = 8;

// The width of a one-line text in the font.
int TextWidth(HWND Window, const LOGFONTA &Font, const std::string &Text) {
  const TFont font(Font);
  HDC dc = GetDC(Window);
  HGDIOBJ old = SelectObject(dc, font.Handle());
  SIZE size{};
  GetTextExtentPoint32A(dc, Text.c_str(), static_cast<int>(Text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(Window, dc);
  return size.cx;
}

std::string WindowText(HWND Window) {
  std::string text(static_cast<size_t>(GetWindowTextLengthA(Window)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(Window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The window width at which the whole caption shows: the frame, the text in
// the caption font, the close button and the gaps around them.
int WidthForCaption(HWND Box) {
  NONCLIENTMETRICSA metrics{};
  if (!GetNonClientMetrics(metrics))
    return 0;
  RECT window{}, client{};
  GetWindowRect(Box, &window);
  GetClientRect(Box, &client);
  const int frame = (window.right - window.left) - (client.right - client.left);
  return frame + TextWidth(Box, metrics.lfCaptionFont, WindowText(Box)) + GetSystemMetrics(SM_CXSIZE) +
         CaptionTextPadding;
}

// The visible buttons of a box, in client coordinates.
using TButtonPlaces = std::vector<std::pair<HWND, RECT>>;

// The visible buttons of a box, with their places in its client area.
TButtonPlaces VisibleButtons(HWND Box) {
  TButtonPlaces places;
  EnumerateChildWindows(Box, [&places](HWND Child) {
    char name[16] = {};
    GetClassNameA(Child, name, sizeof(name));
    // The style, not IsWindowVisible: the box itself is not shown yet.
    if (lstrcmpiA(name, "Button") == 0 && (GetWindowLongPtrA(Child, GWL_STYLE) & WS_VISIBLE)) {
      RECT r{};
      GetWindowRect(Child, &r);
      MapWindowPoints(nullptr, GetParent(Child), reinterpret_cast<POINT *>(&r), 2);
      places.emplace_back(Child, r);
    }
    return true;
  });
  return places;
}

// Moves the row of buttons, as one, to the middle of the client area.
void CentreButtons(HWND Box) {
  const TButtonPlaces places = VisibleButtons(Box);
  if (places.empty())
    return;
  int left = INT_MAX, right = INT_MIN;
  for (const auto &[button, r] : places) {
    left = std::min(left, static_cast<int>(r.left));
    right = std::max(right, static_cast<int>(r.right));
  }
  RECT client{};
  GetClientRect(Box, &client);
  const int distance = (client.right - (right - left)) / 2 - left;
  for (const auto &[button, r] : places)
    SetWindowPos(button, nullptr, r.left + distance, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Wine sizes a message box to its text and buttons alone and cuts a longer
// caption with an ellipsis, where Windows makes the box wide enough for its
// caption. A narrower box is widened about its centre, never past the work
// area; its buttons move to the new middle, its text and icon stay.
void FitMessageBoxToCaption(HWND Box) {
  RECT box{};
  GetWindowRect(Box, &box);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoA(MonitorFromWindow(Box, MONITOR_DEFAULTTONEAREST), &monitor))
    return;
  const RECT &work = monitor.rcWork;
  const int width = std::min(WidthForCaption(Box), static_cast<int>(work.right - work.left));
  if (width <= box.right - box.left)
    return;
  const int centre = (box.left + box.right) / 2;
  const int left = std::clamp(centre - width / 2, static_cast<int>(work.left), static_cast<int>(work.right) - width);
  SetWindowPos(Box, nullptr, left, box.top, width, box.bottom - box.top, SWP_NOZORDER | SWP_NOACTIVATE);
  CentreButtons(Box);
}

// Lays the box out anew once the system has laid it out, when its
// initialisation has run; off again after that.
LRESULT CALLBACK FitAfterInit(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam, UINT_PTR Id, DWORD_PTR) {
  const LRESULT result = DefSubclassProc(Window, Msg, WParam, LParam);
  if (Msg == WM_INITDIALOG || Msg == WM_NCDESTROY) {
    RemoveWindowSubclass(Window, FitAfterInit, Id);
    if (Msg == WM_INITDIALOG) {
      try {
        FitMessageBoxToCaption(Window);
      } catch (...) {
        // A box left at the system's size is still usable; nothing may
        // unwind through the system's dialog code.
      }
    }
  }
  return result;
}

// Fits the first message box the thread creates while it is installed. The
// hook is the calling thread's alone and comes off on every way out.
// Activation is too early a moment under Wine, which activates the box before
// it lays it out.
class TCaptionFitHook {
public:
  TCaptionFitHook()
      : FOuter(Current), FHook(SetWindowsHookExA(WH_CBT, Proc, nullptr, GetCurrentThreadId())) {
    Current = this;
  }
  ~TCaptionFitHook() {
    Current = FOuter;
    if (FHook)
      UnhookWindowsHookEx(FHook);
  }
  TCaptionFitHook(const TCaptionFitHook &) = delete;
  TCaptionFitHook &operator=(const TCaptionFitHook &) = delete;

private:
  static constexpr UINT_PTR SubclassId = 1;

  static LRESULT CALLBACK Proc(int Code, WPARAM WParam, LPARAM LParam) {
    if (Code == HCBT_CREATEWND && Current && !Current->FBoxSeen) {
      HWND window = reinterpret_cast<HWND>(WParam);
      char name[16] = {};
      GetClassNameA(window, name, sizeof(name));
      if (lstrcmpA(name, "#32770") == 0) {
        Current->FBoxSeen = true;
        SetWindowSubclass(window, FitAfterInit, SubclassId, 0);
      }
    }
    return CallNextHookEx(nullptr, Code, WParam, LParam);
  }

  // The innermost box being shown on this thread (a box's message loop may
  // show another).
  static thread_local TCaptionFitHook *Current;

  TCaptionFitHook *FOuter;
  HHOOK FHook;
  bool FBoxSeen = false;
};

thread_local TCaptionFitHook *TCaptionFitHook::Current = nullptr;

int CaptionFittingMessageBox(HWND Owner, const std::string &Text, const std::string &Caption, UINT Type) {
  const TCaptionFitHook hook;
  return MessageBoxA(Owner, Text.c_str(), Caption.c_str(), Type);
}

} // namespace

TScreen *Screen = &TheScreen;

// ---------------------------------------------------------------------------
// TForm

TForm::TForm(const TArgs &Args) {
  RegisterFormClass(Args.ClassName, &TWinControl::StaticWndProc);
  if (!Args.FontName.empty())
    FFont = std::make_unique<TFont>(Args.FontName, Args.FontHeight);
  CreateHandle({Args.ClassName, Args.Caption, FormStyle(Args.BorderStyle, Args.MinimizeBox),
                FormExStyle(Args.BorderStyle), TBounds{0, 0, 100, 100}, nullptr});
  // Set on the window as well: the title bar and the task list ask the
  // window first.
  SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon(SM_CXICON)));
  SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(ProgramIcon(SM_CXSMICON)));
  if (Args.ClientWidth > 0 || Args.ClientHeight > 0)
    SetClientSize(Args.ClientWidth, Args.ClientHeight);
}

TForm::~TForm() {
  if (Application && Application->MainForm() == this)
    Application->SetMainForm(nullptr);
}

void TForm::SetFont(std::unique_ptr<TFont> Font) { FFont = std::move(Font); }

int TForm::ClientWidth() const {
  RECT r;
  GetClientRect(Handle(), &r);
  return r.right;
}

int TForm::ClientHeight() const {
  RECT r;
  GetClientRect(Handle(), &r);
  return r.bottom;
}

void TForm::SetClientSize(int Width, int Height) {
  const SIZE size = WindowSizeFor(Handle(), Width, Height);
  SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetLeft(int Left) {
  SetWindowPos(Handle(), nullptr, Left, Bounds().Top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetTop(int Top) {
  SetWindowPos(Handle(), nullptr, Bounds().Left, Top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::CenterOnScreen() {
  const TBounds b = Bounds();
  SetWindowPos(Handle(), nullptr, Screen->Width() / 2 - b.Width / 2, Screen->Height() / 2 - b.Height / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Show() {
  ShowWindow(Handle(), SW_SHOW);
  SetForegroundWindow(Handle());
  SetActiveWindow(Handle());
}

void TForm::Close() {
  if (FModal) {
    if (FModalResult == mrNone)
      FModalResult = mrCancel;
  } else if (Application && Application->MainForm() == this) {
    Hide();
    Application->Terminate();
  } else {
    Hide();
  }
}

TModalResult TForm::ShowModal() {
  if (!Application)
    throw Exception("TForm.ShowModal: no application object");
  HWND owner = GetActiveWindow();
  if (owner == Handle())
    owner = nullptr;
  if (owner)
    SetWindowLongPtrA(Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
  // The other windows of the thread take no input while this one is up.
  std::vector<HWND> disabled;
  EnumerateWindows(GetCurrentThreadId(), [&disabled](HWND Window) {
    if (IsWindowVisible(Window) && IsWindowEnabled(Window))
      disabled.push_back(Window);
    return true;
  });
  std::erase(disabled, Handle());
  for (HWND window : disabled)
    EnableWindow(window, FALSE);

  FModal = true;
  FModalResult = mrNone;
  Show();
  while (FModalResult == mrNone) {
    Application->HandleMessage();
    if (Application->Terminated())
      FModalResult = mrCancel;
  }
  // Enabled again before this one hides, so that activation goes back to the owner.
  for (HWND window : disabled)
    if (IsWindow(window))
      EnableWindow(window, TRUE);
  Hide();
  FModal = false;
  if (owner && IsWindow(owner))
    SetActiveWindow(owner);
  return FModalResult;
}

void TForm::SetTabOrder(std::initializer_list<TWinControl *> Controls) {
  HWND previous = HWND_TOP;
  for (TWinControl *control : Controls) {
    SetWindowPos(control->Handle(), previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    previous = control->Handle();
  }
}

bool TForm::DialogKey(HWND Focus, WPARAM Key) {
  MSG msg{Focus, WM_KEYDOWN, Key, 0, 0, {}};
  if (Focus && (SendMessageA(Focus, WM_GETDLGCODE, Key, reinterpret_cast<LPARAM>(&msg)) & DLGC_WANTALLKEYS))
    return false;
  if (Key == VK_RETURN) {
    auto *focused = dynamic_cast<TButton *>(FromHandle(Focus));
    PressButton(focused ? focused : FDefaultButton);
    return true;
  }
  if (Key == VK_ESCAPE) {
    PressButton(FCancelButton);
    return true;
  }
  return false;
}

void TForm::NextControl(WPARAM Control, bool IsHandle) {
  HWND target = IsHandle ? reinterpret_cast<HWND>(Control) : GetNextDlgTabItem(Handle(), GetFocus(), Control != 0);
  if (!target)
    return;
  ::SetFocus(target);
  // As in a dialog, an edit reached by the keyboard has its text selected.
  if (SendMessageA(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
    SendMessageA(target, EM_SETSEL, 0, -1);
}

void TForm::PressButton(TButton *Button) {
  if (Button && Button->Enabled() && Button->Visible())
    Button->Click();
}

LRESULT TForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
  case WM_CLOSE:
    Close();
    return 0;
  case WM_GETFONT:
    return reinterpret_cast<LRESULT>(Font());
  case WM_NEXTDLGCTL:
    // The dialog manager moves the focus with this message, a label's access
    // key among others; only windows of the dialog class answer it by
    // themselves.
    NextControl(WParam, LOWORD(LParam) != 0);
    return 0;
  case DM_GETDEFID:
    if (FDefaultButton && FDefaultButton->Enabled())
      return MAKELRESULT(FDefaultButton->Id(), DC_HASDEFID);
    return 0;
  case WM_COMMAND:
    // Enter and Escape from the dialog manager arrive as IDOK and IDCANCEL
    // when no control of the form raised them.
    if (!FromHandle(reinterpret_cast<HWND>(LParam))) {
      if (LOWORD(WParam) == IDOK) {
        PressButton(FDefaultButton);
        return 0;
      }
      if (LOWORD(WParam) == IDCANCEL) {
        PressButton(FCancelButton);
        return 0;
      }
    }
    break;
  case WM_ACTIVATE:
    // Keep the focused control across deactivation (a message box on top),
    // so Enter and Tab work again when the form comes back.
    if (LOWORD(WParam) == WA_INACTIVE) {
      HWND focus = GetFocus();
      if (focus && IsChild(Handle(), focus))
        FActiveControl = FromHandle(focus);
    } else {
      HWND target = FActiveControl && FActiveControl->Enabled() && FActiveControl->Visible()
                        ? FActiveControl->Handle()
                        : GetNextDlgTabItem(Handle(), nullptr, FALSE);
      if (target) {
        ::SetFocus(target);
        return 0;
      }
    }
    break;
  }
  return TWinControl::WndProc(Msg, WParam, LParam);
}

TForm *GetParentForm(TWinControl *Control) {
  while (Control && Control->Parent())
    Control = Control->Parent();
  return dynamic_cast<TForm *>(Control);
}

// ---------------------------------------------------------------------------
// TApplication

TApplication::TApplication() : FTitle(ModuleBaseName()) { Application = this; }

TApplication::~TApplication() {
  if (Application == this)
    Application = nullptr;
}

void TApplication::Initialize() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
}

bool TApplication::ProcessMessage(MSG &Msg) {
  if (!PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE))
    return false;
  if (Msg.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  if (Msg.hwnd) {
    HWND root = GetAncestor(Msg.hwnd, GA_ROOT);
    if (auto *form = dynamic_cast<TForm *>(TWinControl::FromHandle(root))) {
      if (Msg.message == WM_KEYDOWN && form->DialogKey(Msg.hwnd, Msg.wParam))
        return true;
      if (IsDialogMessageA(root, &Msg))
        return true;
    }
  }
  TranslateMessage(&Msg);
  DispatchMessageA(&Msg);
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (ProcessMessage(msg)) {
  }
}

void TApplication::HandleMessage() {
  MSG msg;
  if (!ProcessMessage(msg))
    WaitMessage();
}

void TApplication::Run() {
  if (FMainForm)
    FMainForm->Show();
  while (!FTerminated) {
    try {
      HandleMessage();
    } catch (const std::exception &e) {
      HandleException(e);
    }
  }
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::HandleException(const std::exception &E) {
  CaptionFittingMessageBox(GetActiveWindow(), E.what(), FTitle, MB_OK | MB_ICONSTOP);
}

void TApplication::HandleUnknownException() {
  CaptionFittingMessageBox(GetActiveWindow(), "Unknown error", FTitle, MB_OK | MB_ICONSTOP);
}

int RunApplication(const std::function<std::unique_ptr<TForm>(TApplication &Application)> &Create) {
  TApplication application;
  application.Initialize();
  try {
    const std::unique_ptr<TForm> form = Create(application);
    application.SetMainForm(form.get());
    application.Run();
  } catch (const std::exception &e) {
    application.HandleException(e);
    return 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// TScreen and the message box

void TScreen::SetCursor(TCursor Value) {
  FCursor = Value;
  ::SetCursor(CursorHandle());
}

HCURSOR TScreen::CursorHandle() const {
  return LoadCursorA(nullptr, MAKEINTRESOURCEA(FCursor == TCursor::crHourGlass ? 32514 : 32512)); // IDC_WAIT, IDC_ARROW
}

namespace {

// A function-local table, so that unit initialisations may register cursors
// whatever the order in which the units start.
std::map<int, HCURSOR> &CursorTable() {
  static std::map<int, HCURSOR> table;
  return table;
}

} // namespace

void TScreen::SetCursors(int Index, HCURSOR Cursor) { CursorTable()[Index] = Cursor; }

HCURSOR TScreen::Cursors(int Index) const {
  const auto found = CursorTable().find(Index);
  return found == CursorTable().end() ? nullptr : found->second;
}

void ShowMessage(const std::string &Text) {
  HWND owner = GetActiveWindow();
  const std::string caption = Application ? Application->Title() : std::string();
  CaptionFittingMessageBox(owner, Text, caption, MB_OK | (owner ? 0 : MB_TASKMODAL));
}

bool GetNonClientMetrics(NONCLIENTMETRICSA &Metrics) {
  Metrics.cbSize = sizeof(Metrics);
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, Metrics.cbSize, &Metrics, 0))
    return true;
  // Systems before Vista know the structure without its last field.
  Metrics.cbSize = sizeof(Metrics) - sizeof(Metrics.iPaddedBorderWidth);
  return SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, Metrics.cbSize, &Metrics, 0) != FALSE;
}
