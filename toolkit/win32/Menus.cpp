#include "../Menus.h"

namespace {

void AppendItems(HMENU Menu, const std::vector<TMenuItem> &Items);

void AppendItem(HMENU Menu, const TMenuItem &Item) {
  if (Item.Caption == "-") {
    AppendMenuA(Menu, MF_SEPARATOR, 0, nullptr);
    return;
  }
  UINT flags = MF_STRING | (Item.Checked ? MF_CHECKED : 0) | (Item.Enabled ? 0 : MF_GRAYED);
  UINT_PTR id = static_cast<UINT_PTR>(Item.Command);
  if (!Item.Items.empty()) {
    HMENU popup = CreatePopupMenu();
    AppendItems(popup, Item.Items);
    flags |= MF_POPUP;
    id = reinterpret_cast<UINT_PTR>(popup);
  }
  AppendMenuA(Menu, flags, id, Item.Caption.c_str());
}

void AppendItems(HMENU Menu, const std::vector<TMenuItem> &Items) {
  for (const TMenuItem &item : Items)
    AppendItem(Menu, item);
}

// A pop-up menu destroyed with its sub-menus when the call that shows it ends.
class TPopupMenu {
public:
  explicit TPopupMenu(const std::vector<TMenuItem> &Items) : FMenu(CreatePopupMenu()) { AppendItems(FMenu, Items); }
  ~TPopupMenu() { DestroyMenu(FMenu); }
  TPopupMenu(const TPopupMenu &) = delete;
  TPopupMenu &operator=(const TPopupMenu &) = delete;
  HMENU Handle() const { return FMenu; }

private:
  HMENU FMenu;
};

} // namespace

TMainMenu::TMainMenu(HWND Window, const std::vector<TMenuItem> &Items) : FWindow(Window), FMenu(CreateMenu()) {
  AppendItems(FMenu, Items);
  SetMenu(Window, FMenu);
}

void TMainMenu::SetChecked(int Command, bool Value) {
  CheckMenuItem(FMenu, static_cast<UINT>(Command), MF_BYCOMMAND | (Value ? MF_CHECKED : MF_UNCHECKED));
}

bool TMainMenu::Checked(int Command) const {
  return (GetMenuState(FMenu, static_cast<UINT>(Command), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void TMainMenu::SetEnabled(int Command, bool Value) {
  EnableMenuItem(FMenu, static_cast<UINT>(Command), MF_BYCOMMAND | (Value ? MF_ENABLED : MF_GRAYED));
}

void TMainMenu::SetSubmenuItems(int Position, const std::vector<TMenuItem> &Items) {
  HMENU sub = GetSubMenu(FMenu, Position);
  if (!sub)
    return;
  while (GetMenuItemCount(sub) > 0)
    DeleteMenu(sub, 0, MF_BYPOSITION);
  AppendItems(sub, Items);
  EnableMenuItem(FMenu, static_cast<UINT>(Position), MF_BYPOSITION | (Items.empty() ? MF_GRAYED : MF_ENABLED));
  DrawMenuBar(FWindow);
}

int TrackPopup(HWND Owner, const std::vector<TMenuItem> &Items, int ScreenX, int ScreenY) {
  const TPopupMenu menu(Items);
  // The owner must be in front, or the menu does not close when the user
  // clicks elsewhere.
  SetForegroundWindow(Owner);
  const int command = static_cast<int>(
      TrackPopupMenu(menu.Handle(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, ScreenX, ScreenY, 0, Owner, nullptr));
  PostMessageA(Owner, WM_NULL, 0, 0);
  return command;
}

std::string MenuItemCaption(HMENU Menu, int Position) {
  char text[256] = {};
  GetMenuStringA(Menu, static_cast<UINT>(Position), text, sizeof(text), MF_BYPOSITION);
  return text;
}
