#include "windows/PopUpMenu.h"

#include "platform/os_input.h"
#include "platform/os_shell.h"

namespace PopUpMenu {

std::int32_t ShowTrayMenu(platform::WindowHandle window, std::int32_t position) {
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
  const std::int32_t result =
      os::TrackMenu(menu, platform::kTpmCenterAlign, cursor.x, cursor.y, window, rect);
  os::Post(window, platform::kWmNull, 0, 0);
  // The owner is hidden: left in front, it would swallow what the user types
  // next. A click elsewhere has already moved the foreground; leave that be.
  if (os::ForegroundWindow() == window && previous != window && os::WindowExists(previous)) {
    os::BringToForeground(previous);
  }
  return result;
}

}  // namespace PopUpMenu
