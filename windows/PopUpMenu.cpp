#include "windows/PopUpMenu.h"

#include "platform/forms.h"
#include "platform/os_input.h"
#include "platform/os_shell.h"

namespace PopUpMenu {

void ShowTrayMenu(ui::Form& owner, std::int32_t position) {
  const platform::WindowHandle window = owner.hWnd();
  platform::Point cursor;
  os::CursorPos(cursor);
  platform::Rect rect;
  os::WindowRect(window, rect);
  const platform::MenuHandle menu = os::SubMenu(os::MenuBar(window), position);
  // A menu opened from the tray closes on a click elsewhere or Esc only when
  // its owner is in the foreground, and the posted message lets the menu loop
  // finish properly.
  const platform::WindowHandle previous = os::ForegroundWindow();
  os::BringToForeground(window);
  const std::int32_t chosen = os::TrackMenu(
      menu, platform::kTpmCenterAlign | platform::kTpmReturnCmd, cursor.x, cursor.y, window, rect);
  os::Post(window, platform::kWmNull, 0, 0);
  // Taken here rather than posted, the choice runs while the owner is still
  // in front: a prompt it brings (the restart's UAC one) then comes up in
  // front, not only as a flash on the taskbar.
  if (chosen != 0) owner.NativeCommand(chosen);
  // The owner is hidden: left in front, it would swallow what the user types
  // next. A click elsewhere has already moved the foreground; leave that be.
  if (os::ForegroundWindow() == window && previous != window && os::WindowExists(previous)) {
    os::BringToForeground(previous);
  }
}

}  // namespace PopUpMenu
