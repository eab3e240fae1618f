#pragma once

#include <memory>
#include <vector>

#include "platform/button_watch.h"
#include "platform/types.h"

namespace fake {

// One down or up of a logical button (0 primary, 1 secondary) that reached
// the windows.
struct ButtonEvent {
  int button;
  bool down;
  bool operator==(const ButtonEvent& other) const {
    return button == other.button && down == other.down;
  }
};

struct ButtonsState {
  // Shared so that the state stays copyable; the rule is the real one.
  std::shared_ptr<platform::ButtonWatch> watch = std::make_shared<platform::ButtonWatch>();
  platform::WindowHandle buttonWindow = 0;
  int hookStarts = 0;
  // Windows removed the hook: nothing is heard, everything passes.
  bool hookGone = false;
  std::vector<ButtonEvent> atWindows;
};

// The user presses or lets go of a logical button, through the hook; true
// when the hook would wake the window.
bool UserButton(int button, bool down);
// Another program injects a down or an up of a logical button.
void OtherButton(int button, bool down);

}  // namespace fake
