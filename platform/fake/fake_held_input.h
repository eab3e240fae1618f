#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/input_watch.h"
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

// One down or up of a key (virtual-key code) that reached the windows.
struct KeyEvent {
  std::int32_t key;
  bool down;
  bool operator==(const KeyEvent& other) const { return key == other.key && down == other.down; }
};

struct ButtonsState {
  // Shared so that the state stays copyable; the rule is the real one.
  std::shared_ptr<platform::InputWatch> watch = std::make_shared<platform::InputWatch>();
  platform::WindowHandle buttonWindow = 0;
  int hookStarts = 0;
  bool keyHook = false;
  // Windows removed the hook: nothing is heard, everything passes.
  bool hookGone = false;
  std::vector<ButtonEvent> atWindows;
  std::vector<KeyEvent> keysAtWindows;
};

// The user presses or lets go of a logical button, through the hook; true
// when the hook would wake the window.
bool UserButton(int button, bool down);
// Another program injects a down or an up of a logical button.
void OtherButton(int button, bool down);
// The same for keys; a user's down while the key is down is the keyboard's
// repeat.
bool UserKey(std::int32_t key, bool down);
void OtherKey(std::int32_t key, bool down);
// The buttons the hook hears: bit 0 primary, bit 1 secondary.
unsigned WatchedButtons();
// The hook hears one of our injected keys.
void HearInjectedKey(std::int32_t key, bool down);

}  // namespace fake
