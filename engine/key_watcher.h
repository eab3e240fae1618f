#pragma once

#include <array>
#include <cstdint>

#include "platform/types.h"

namespace ui {
class Form;
}

// Virtual-key codes the tool knows by name.
namespace vk {
constexpr std::int32_t kShift = 16;
constexpr std::int32_t kControl = 17;
constexpr std::int32_t kAlt = 18;
constexpr std::int32_t kLeft = 37;
constexpr std::int32_t kUp = 38;
constexpr std::int32_t kRight = 39;
}  // namespace vk

// The watcher's state; the main window holds it.
struct WatcherState {
  // 0 left-click key, 1 right-click key, 2 on/off key; 3 is never read.
  std::array<std::int32_t, 4> KeyCodes{vk::kLeft, vk::kRight, vk::kUp, 0};
  bool WatchEnabled = true;
  bool StopFlg = false;
  bool FirstTick = true;
  bool RightHeld = false;
  std::uint32_t RightHeldSince = 0;
  bool OnOffHeld = false;
  platform::Point Cursor;
};

namespace key_watcher {

// Secondary (right) clicks stop this long into a hold of the right-click key.
constexpr std::int32_t kRightHoldLimitMs = 5000;

// One tick: turns the held keys into clicks at the cursor (the left-click
// key's with the primary button, the right-click key's with the secondary
// one, whichever physical buttons the user made them), toggles the
// feature on the on/off key, and hides window when it is minimised. Keys do
// nothing while window is the active window. True when one of the three keys
// read down (never on the flush tick or while stopped).
bool Tick(WatcherState& state, ui::Form& window);

}  // namespace key_watcher
