#pragma once

#include <cstdint>

#include "platform/types.h"

namespace PopUpMenu {

// Pops up the submenu at position of window's menu bar at the cursor,
// horizontally centred on it, and tracks it until it closes. The chosen item
// reaches window as a command. Returns non-zero on success.
std::int32_t ShowTrayMenu(platform::WindowHandle window, std::int32_t position);

}  // namespace PopUpMenu
