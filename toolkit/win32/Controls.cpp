#include "../Controls.h"

#include <algorithm>
#include <atomic>

#include "../Forms.h"
#include "../SystemCallback.h"

namespace {

// The object of a window lives in a window property: it serves our own
// classes and subclassed system controls alike, and leaves GWLP_USERDATA to
// whoever else wants it.
const char ObjectProperty[] = "VmWinControl";

// Windows of our own classes meet the window procedure before CreateWindowEx
// returns; the object being created is handed over through this variable.
thread_local TWinControl *CreatingControl = nullptr;

// Control identifiers stay clear of IDOK, IDCANCEL and the other dialog ids.
std::atomic<int> NextControlId{100};

DWORD CommonStyle(const TControlArgs &Args) {
  return WS_CHILD | (Args.Visible ? WS_VISIBLE : 0) | (Args.Enabled ? 0 : WS_DISABLED);
}

// The width of a window's text on one line in the window's own font, the
// access key's "&" left out unless the text is shown as it is.
int MeasureText(HWND Window, const std::string &Text, bool ShowAccelChar) {
  HDC dc = GetDC(Window);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(Window, WM_GETFONT, 0, 0)));
  RECT r{};
  DrawTextA(dc, Text.c_str(), static_cast<int>(Text.size()), &r,
            DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS | (ShowAccelChar ? 0 : DT_NOPREFIX));
  SelectObject(dc, old);
  ReleaseDC(Window, dc);
  return r.right - r.left;
}

// The bounds of an auto-sized label whose text is TextWidth pixels wide: the
// laid-out ones when the text fits; otherwise widened on the side its
// alignment grows to (a centred one on both, moved off an edge it meets),
// never past the client area's edges (a label laid out beyond them keeps
// those bounds) and never narrower than laid out.
TBounds FitToText(const TBounds &LaidOut, int TextWidth, TAlignment Alignment, int ClientWidth) {
  if (TextWidth <= LaidOut.Width)
    return LaidOut;
  const int minLeft = std::min(0, LaidOut.Left);
  const int laidRight = LaidOut.Left + LaidOut.Width;
  const int maxRight = std::max(ClientWidth, laidRight);
  int left = LaidOut.Left;
  int right = laidRight;
  switch (Alignment) {
  case TAlignment::taLeftJustify:
    right = std::min(left + TextWidth, maxRight);
    break;
  case TAlignment::taRightJustify:
    left = std::max(right - TextWidth, minLeft);
    break;
  case TAlignment::taCenter:
    left = std::max(std::min(left - (TextWidth - LaidOut.Width) / 2, maxRight - TextWidth), minLeft);
    right = std::min(left + TextWidth, maxRight);
    break;
  }
  return {left, LaidOut.Top, right - left, LaidOut.Height};
}

} // namespace

TFont::TFont(const std::string &Name, int Height, bool Bold) {
  LOGFONTA font{};
  font.lfHeight = Height;
  font.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(font.lfFaceName, Name.c_str(), LF_FACESIZE);
  FHandle = CreateFontIndirectA(&font);
}

TFont::TFont(const LOGFONTA &Font) : FHandle(CreateFontIndirectA(&Font)) {}

TFont::~TFont() {
  if (FHandle)
    DeleteObject(FHandle);
}

TIcon::~TIcon() {
  if (FHandle && FOwned)
    DestroyIcon(FHandle);
}

TWinControl::~TWinControl() {
  if (FHandle)
    DestroyWindow(FHandle); // WM_NCDESTROY detaches the object
}

TWinControl *TWinControl::FromHandle(HWND Window) {
  return Window ? static_cast<TWinControl *>(GetPropA(Window, ObjectProperty)) : nullptr;
}

void TWinControl::Attach(HWND Window) {
  FHandle = Window;
  SetPropA(Window, ObjectProperty, this);
}

void TWinControl::Detach() {
  RemovePropA(FHandle, ObjectProperty);
  if (FSystemProc)
    SetWindowLongPtrA(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FSystemProc));
  FSystemProc = nullptr;
  FHandle = nullptr;
}

void TWinControl::CreateHandle(const TCreateArgs &Args) {
  FParent = Args.Parent;
  HWND parentHandle = FParent ? FParent->Handle() : nullptr;
  const bool child = (Args.Style & WS_CHILD) != 0;
  if (child)
    FId = NextControlId++;
  CreatingControl = this;
  HWND window = CreateWindowExA(Args.ExStyle, Args.ClassName, Args.Text.c_str(), Args.Style, Args.Bounds.Left,
                                Args.Bounds.Top, Args.Bounds.Width, Args.Bounds.Height, parentHandle,
                                child ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(FId)) : nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  CreatingControl = nullptr;
  if (!window)
    throw EOSError(Format("Cannot create a window of class %s (error %lu)", Args.ClassName, GetLastError()));
  if (!FHandle) {
    // A system class: subclass it so its messages pass through WndProc.
    Attach(window);
    FSystemProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::StaticWndProc)));
  }
}

LRESULT CALLBACK TWinControl::StaticWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TWinControl *self = FromHandle(Window);
  if (!self && CreatingControl) {
    self = CreatingControl;
    CreatingControl = nullptr;
    self->Attach(Window);
  }
  if (!self)
    return DefWindowProcA(Window, Msg, WParam, LParam);
  if (Msg == WM_NCDESTROY) {
    const LRESULT result = self->DefaultHandler(Msg, WParam, LParam);
    self->Detach();
    return result;
  }
  try {
    return self->WndProc(Msg, WParam, LParam);
  } catch (const std::exception &e) {
    if (Application)
      Application->HandleException(e);
  } catch (...) {
    if (Application)
      Application->HandleUnknownException();
  }
  return 0;
}

LRESULT TWinControl::DefaultHandler(UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (FSystemProc)
    return CallWindowProcA(FSystemProc, FHandle, Msg, WParam, LParam);
  return DefWindowProcA(FHandle, Msg, WParam, LParam);
}

LRESULT TWinControl::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
  case WM_COMMAND:
    if (TWinControl *control = FromHandle(reinterpret_cast<HWND>(LParam)); control && control != this) {
      control->CommandNotify(HIWORD(WParam));
      return 0;
    }
    break;
  case WM_NOTIFY:
    if (auto *header = reinterpret_cast<NMHDR *>(LParam); header) {
      if (TWinControl *control = FromHandle(header->hwndFrom); control && control != this)
        return control->Notify(header);
    }
    break;
  case WM_SETCURSOR:
    if (Screen && Screen->Cursor() != TCursor::crDefault) {
      ::SetCursor(Screen->CursorHandle());
      return TRUE;
    }
    break;
  }
  return DefaultHandler(Msg, WParam, LParam);
}

bool TWinControl::Enabled() const { return IsWindowEnabled(FHandle) != FALSE; }
void TWinControl::SetEnabled(bool Value) { EnableWindow(FHandle, Value); }
bool TWinControl::Visible() const { return (GetWindowLongPtrA(FHandle, GWL_STYLE) & WS_VISIBLE) != 0; }
void TWinControl::SetVisible(bool Value) { ShowWindow(FHandle, Value ? SW_SHOW : SW_HIDE); }

std::string TWinControl::Text() const {
  std::string text(static_cast<size_t>(GetWindowTextLengthA(FHandle)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(FHandle, text.data(), static_cast<int>(text.size()))));
  return text;
}

void TWinControl::SetText(const std::string &Value) { SetWindowTextA(FHandle, Value.c_str()); }

TBounds TWinControl::Bounds() const {
  RECT r;
  GetWindowRect(FHandle, &r);
  if (FParent)
    MapWindowPoints(HWND_DESKTOP, FParent->Handle(), reinterpret_cast<POINT *>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void TWinControl::SetBounds(int Left, int Top, int Width, int Height) {
  SetWindowPos(FHandle, nullptr, Left, Top, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::SetFont(HFONT Font) { SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font), TRUE); }

void TWinControl::SetFocus() { ::SetFocus(FHandle); }

void TWinControl::CreateChild(const char *ClassName, const TControlArgs &Args, DWORD Style, DWORD ExStyle) {
  CreateHandle({ClassName, Args.Text, CommonStyle(Args) | Style, ExStyle, Args.Bounds, Args.Parent});
  // Without a font of its own a control takes its parent's, as forms answer WM_GETFONT.
  SetFont(Args.Font ? Args.Font : reinterpret_cast<HFONT>(SendMessageA(Args.Parent->Handle(), WM_GETFONT, 0, 0)));
}

TLabel::TLabel(const TArgs &Args)
    : FLaidOut(Args.Bounds), FAlignment(Args.Alignment), FAutoSize(!Args.WordWrap),
      FShowAccelChar(Args.ShowAccelChar) {
  DWORD style = Args.Alignment == TAlignment::taCenter          ? SS_CENTER
                : Args.Alignment == TAlignment::taRightJustify ? SS_RIGHT
                : Args.WordWrap                                ? SS_LEFT
                                                               : SS_LEFTNOWORDWRAP;
  // One line: centred and right-aligned statics would otherwise wrap a text
  // too wide for them onto lines below, out of sight.
  if (FAutoSize)
    style |= SS_ENDELLIPSIS;
  if (!Args.ShowAccelChar)
    style |= SS_NOPREFIX;
  CreateChild("STATIC", Args, style, 0);
  AdjustBounds();
}

LRESULT TLabel::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
  const LRESULT result = TWinControl::WndProc(Msg, WParam, LParam);
  if (Msg == WM_SETTEXT || Msg == WM_SETFONT)
    AdjustBounds();
  return result;
}

void TLabel::AdjustBounds() {
  if (!FAutoSize || !Handle() || !Parent())
    return;
  RECT client;
  GetClientRect(Parent()->Handle(), &client);
  const TBounds b = FitToText(FLaidOut, MeasureText(Handle(), Text(), FShowAccelChar), FAlignment, client.right);
  SetBounds(b.Left, b.Top, b.Width, b.Height);
}

TEdit::TEdit(const TControlArgs &Args) { CreateChild("EDIT", Args, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE); }

void TEdit::CommandNotify(WORD Code) {
  if (Code == EN_CHANGE && OnChange)
    OnChange(this);
}

void TButtonControl::Click() {
  if (OnClick)
    OnClick(this);
}

void TButtonControl::CommandNotify(WORD Code) {
  if (Code == BN_CLICKED)
    Click();
}

TButton::TButton(const TArgs &Args) : FModalResult(Args.ModalResult), FDefault(Args.Default), FCancel(Args.Cancel) {
  CreateChild("BUTTON", Args, WS_TABSTOP | (Args.Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0);
  if (TForm *form = GetParentForm(this)) {
    if (FDefault)
      form->SetDefaultButton(this);
    if (FCancel)
      form->SetCancelButton(this);
  }
}

void TButton::Click() {
  if (FModalResult != mrNone)
    if (TForm *form = GetParentForm(this))
      form->SetModalResult(FModalResult);
  TButtonControl::Click();
}

TCheckBox::TCheckBox(const TArgs &Args) {
  CreateChild("BUTTON", Args, WS_TABSTOP | BS_AUTOCHECKBOX, 0);
  SetChecked(Args.Checked);
}

bool TCheckBox::Checked() const { return SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool Value) {
  SendMessageA(Handle(), BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
}

TToolButton::TToolButton(const TArgs &Args) {
  CreateChild("BUTTON", Args, BS_PUSHBUTTON | BS_FLAT | (Args.Glyph ? BS_ICON : 0), 0);
  if (Args.Glyph)
    SendMessageA(Handle(), BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(Args.Glyph));
}

TImage::TImage(const TControlArgs &Args) { CreateChild("STATIC", Args, SS_ICON | SS_CENTERIMAGE, 0); }

void TImage::SetIcon(HICON Icon) {
  const TBounds bounds = Bounds();
  SendMessageA(Handle(), STM_SETICON, reinterpret_cast<WPARAM>(Icon), 0);
  SetBounds(bounds.Left, bounds.Top, bounds.Width, bounds.Height); // the static resizes itself to the icon
}

void TCustomControl::CreateCustom(const char *ClassName, const TControlArgs &Args, DWORD Style, DWORD ExStyle) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  if (!GetClassInfoExA(GetModuleHandleA(nullptr), ClassName, &wc)) {
    wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &TWinControl::StaticWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    wc.lpszClassName = ClassName;
    RegisterClassExA(&wc);
  }
  CreateChild(ClassName, Args, Style, ExStyle);
}

HICON FolderGlyph() {
  // Icon 4 of the shell library is its closed folder.
  static const HICON glyph = static_cast<HICON>(
      LoadImageA(LoadLibraryA("shell32.dll"), MAKEINTRESOURCEA(4), IMAGE_ICON, 16, 16, LR_SHARED));
  return glyph;
}

namespace {

struct TEnumeration {
  const std::function<bool(HWND)> &Visit;
  TCallbackError Error;
};

BOOL CALLBACK VisitWindow(HWND Window, LPARAM Enumeration) {
  auto &enumeration = *reinterpret_cast<TEnumeration *>(Enumeration);
  return enumeration.Error.Guard([&] { return enumeration.Visit(Window) ? TRUE : FALSE; }, FALSE);
}

} // namespace

void EnumerateWindows(DWORD ThreadId, const std::function<bool(HWND)> &Visit) {
  TEnumeration enumeration{Visit, {}};
  if (ThreadId == 0)
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&enumeration));
  else
    EnumThreadWindows(ThreadId, VisitWindow, reinterpret_cast<LPARAM>(&enumeration));
  enumeration.Error.Rethrow();
}

void EnumerateChildWindows(HWND Parent, const std::function<bool(HWND)> &Visit) {
  TEnumeration enumeration{Visit, {}};
  EnumChildWindows(Parent, VisitWindow, reinterpret_cast<LPARAM>(&enumeration));
  enumeration.Error.Rethrow();
}
