// Menus built in code: a window's menu bar and the pop-up menu of a right
// click, from a tree of items. A chosen item reaches the window as WM_COMMAND
// with its command number in the low word of wParam and lParam 0. Windows only.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct TMenuItem {
  TMenuItem(std::string ACaption, int ACommand = 0, std::vector<TMenuItem> AItems = {}, bool AChecked = false,
            bool AEnabled = true)
      : Caption(std::move(ACaption)), Command(ACommand), Items(std::move(AItems)), Checked(AChecked),
        Enabled(AEnabled) {}
  std::string Caption; // "&" marks the access key, a tab the shortcut text; "-" alone is a separator
  int Command = 0;     // for items without sub-items
  std::vector<TMenuItem> Items;
  bool Checked = false;
  bool Enabled = true;
};

// A window's menu bar. The window owns the menu once it is set, and destroys
// it with itself.
class TMainMenu {
public:
  TMainMenu(HWND Window, const std::vector<TMenuItem> &Items);
  TMainMenu(const TMainMenu &) = delete;
  TMainMenu &operator=(const TMainMenu &) = delete;

  HMENU Handle() const { return FMenu; }
  void SetChecked(int Command, bool Value);
  bool Checked(int Command) const;
  void SetEnabled(int Command, bool Value);
  // Replaces the items of the sub-menu at Position of the bar (0 first),
  // greyed out when there are none.
  void SetSubmenuItems(int Position, const std::vector<TMenuItem> &Items);

private:
  HWND FWindow;
  HMENU FMenu;
};

// Shows a pop-up menu of Items at a screen position for Owner and returns the
// command of the chosen item, or 0 when the menu was dismissed.
int TrackPopup(HWND Owner, const std::vector<TMenuItem> &Items, int ScreenX, int ScreenY);

// The caption of an item of a menu by position, "&" included.
std::string MenuItemCaption(HMENU Menu, int Position);
