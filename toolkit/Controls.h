// The window layer over Win32: one base class for every window and control,
// and the plain controls the program's forms are built from (labels, edits,
// push buttons, check boxes, a flat tool button, an icon image). ANSI calls
// throughout. Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "SysUtils.h"

// The framework's modal results.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;
constexpr TModalResult mrNoToAll = 9;
constexpr TModalResult mrYesToAll = 10;

class TWinControl;
struct TControlArgs;
using TNotifyEvent = std::function<void(TWinControl *Sender)>;

// A GDI font owned by whoever holds this object.
class TFont {
public:
  TFont(const std::string &Name, int Height, bool Bold = false);
  explicit TFont(const LOGFONTA &Font);
  ~TFont();
  TFont(const TFont &) = delete;
  TFont &operator=(const TFont &) = delete;
  HFONT Handle() const { return FHandle; }

private:
  HFONT FHandle;
};

// An icon handle; destroyed on release only when it was not a shared one.
class TIcon {
public:
  TIcon() = default;
  TIcon(HICON Icon, bool Owned) : FHandle(Icon), FOwned(Owned) {}
  ~TIcon();
  TIcon(const TIcon &) = delete;
  TIcon &operator=(const TIcon &) = delete;
  HICON Handle() const { return FHandle; }

private:
  HICON FHandle = nullptr;
  bool FOwned = false;
};

struct TBounds {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

// Every window is one of these. The static window procedure finds the object
// of a handle and calls its virtual WndProc; WM_COMMAND and WM_NOTIFY are
// reflected to the control that raised them. No exception leaves a window
// procedure: it goes to the application's error report.
class TWinControl {
public:
  TWinControl(const TWinControl &) = delete;
  TWinControl &operator=(const TWinControl &) = delete;
  virtual ~TWinControl();

  HWND Handle() const { return FHandle; }
  int Id() const { return FId; }
  TWinControl *Parent() const { return FParent; }

  bool Enabled() const;
  void SetEnabled(bool Value);
  bool Visible() const;
  void SetVisible(bool Value);
  std::string Text() const;
  void SetText(const std::string &Value);
  TBounds Bounds() const; // relative to the parent's client area (screen for top-level windows)
  void SetBounds(int Left, int Top, int Width, int Height);
  void SetFont(HFONT Font);
  void SetFocus();
  bool Focused() const { return GetFocus() == FHandle; }

  // The object behind a window handle, or null for windows of others.
  static TWinControl *FromHandle(HWND Window);

protected:
  TWinControl() = default;

  struct TCreateArgs {
    const char *ClassName;
    std::string Text;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    TBounds Bounds;
    TWinControl *Parent = nullptr;
  };
  // Creates the window. Windows of system classes are subclassed so that
  // their messages pass through WndProc too.
  void CreateHandle(const TCreateArgs &Args);
  // Creates a child control of a system class from the shared arguments.
  void CreateChild(const char *ClassName, const TControlArgs &Args, DWORD Style, DWORD ExStyle);

  virtual LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam);
  LRESULT DefaultHandler(UINT Msg, WPARAM WParam, LPARAM LParam);

  // A WM_COMMAND notification code (BN_CLICKED, EN_CHANGE, ...) that the
  // parent reflected to this control.
  virtual void CommandNotify(WORD) {}
  // A WM_NOTIFY reflected by the parent.
  virtual LRESULT Notify(NMHDR *) { return 0; }

  // The window procedure of every window class we register.
  static LRESULT CALLBACK StaticWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);

private:
  void Attach(HWND Window);
  void Detach();

  HWND FHandle = nullptr;
  WNDPROC FSystemProc = nullptr; // the system class's procedure for subclassed controls
  int FId = 0;
  TWinControl *FParent = nullptr;
};

enum class TAlignment { taLeftJustify, taCenter, taRightJustify };

struct TControlArgs {
  TWinControl *Parent = nullptr;
  TBounds Bounds;
  std::string Text;
  HFONT Font = nullptr; // the parent form's font when null
  bool Visible = true;
  bool Enabled = true;
};

// A text label. One that does not wrap sizes itself to its text, as the
// framework's auto-sized labels do: whenever its text or font changes, a text
// wider than the laid-out width widens the label (to the right when left
// aligned, to the left when right aligned, both ways when centred), never
// past its parent's client area; otherwise the laid-out bounds stay exactly.
// What still does not fit ends in an ellipsis. An "&" marks the access key
// that focuses the control after the label in tab order.
class TLabel : public TWinControl {
public:
  struct TArgs : TControlArgs {
    TAlignment Alignment = TAlignment::taLeftJustify;
    bool WordWrap = false;
    bool ShowAccelChar = true;
  };
  explicit TLabel(const TArgs &Args);

protected:
  LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
  void AdjustBounds();

  TBounds FLaidOut;
  TAlignment FAlignment;
  bool FAutoSize;
  bool FShowAccelChar;
};

class TEdit : public TWinControl {
public:
  explicit TEdit(const TControlArgs &Args);
  TNotifyEvent OnChange;

protected:
  void CommandNotify(WORD Code) override;
};

// Base of the clickable buttons: BM_CLICK, a click of the mouse, the space
// bar or the form's Enter and Escape all end in Click().
class TButtonControl : public TWinControl {
public:
  TNotifyEvent OnClick;
  virtual void Click();

protected:
  void CommandNotify(WORD Code) override;
};

class TButton : public TButtonControl {
public:
  struct TArgs : TControlArgs {
    TModalResult ModalResult = mrNone;
    bool Default = false; // answers Enter
    bool Cancel = false;  // answers Escape
  };
  explicit TButton(const TArgs &Args);
  TModalResult ModalResult() const { return FModalResult; }
  bool IsDefault() const { return FDefault; }
  bool IsCancel() const { return FCancel; }
  void Click() override;

private:
  TModalResult FModalResult;
  bool FDefault;
  bool FCancel;
};

class TCheckBox : public TButtonControl {
public:
  struct TArgs : TControlArgs {
    bool Checked = false;
  };
  explicit TCheckBox(const TArgs &Args);
  bool Checked() const;
  void SetChecked(bool Value);
};

// A flat button showing a small picture instead of text; not a tab stop.
class TToolButton : public TButtonControl {
public:
  struct TArgs : TControlArgs {
    HICON Glyph = nullptr; // not owned
  };
  explicit TToolButton(const TArgs &Args);
};

// A picture holding an icon, drawn at the icon's size.
class TImage : public TWinControl {
public:
  explicit TImage(const TControlArgs &Args);
  void SetIcon(HICON Icon); // not owned
};

// A control of a window class of the program's own, which paints itself and
// takes its input in a derived class's WndProc. The derived class creates
// the window in its own constructor (CreateCustom), so that the messages of
// the creation already reach its WndProc.
class TCustomControl : public TWinControl {
protected:
  TCustomControl() = default;
  // Registers the class on first use: double clicks, the arrow cursor, no
  // background brush (the control paints all of itself).
  void CreateCustom(const char *ClassName, const TControlArgs &Args, DWORD Style, DWORD ExStyle);
};

// The small shell folder picture used on folder-picking buttons (shared; not
// to be destroyed). Null if the shell has none.
HICON FolderGlyph();

// Calls Visit for every top-level window of the thread ThreadId (0: of every
// thread) until it returns false. An exception raised by Visit ends the
// enumeration and is raised again here, after the system's call returned.
void EnumerateWindows(DWORD ThreadId, const std::function<bool(HWND)> &Visit);

// The same for every child window of Parent (and their children).
void EnumerateChildWindows(HWND Parent, const std::function<bool(HWND)> &Visit);
