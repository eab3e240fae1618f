#pragma once

#include <cstdint>

namespace ui {
class Form;
}

namespace PopUpMenu {

// Pops up the submenu at position of owner's menu bar at the cursor,
// horizontally centred on it, tracks it until it closes, and raises the
// chosen item's click.
void ShowTrayMenu(ui::Form& owner, std::int32_t position);

}  // namespace PopUpMenu
