#include "engine/key_watcher.h"

#include "platform/forms.h"
#include "platform/os.h"

namespace key_watcher {

namespace {

bool ReadsDown(std::int32_t virtualKey) { return os::KeyState(virtualKey) != 0; }

// A primary or a secondary click. The injected flags name physical buttons,
// so for a user who swapped the buttons the primary click is a right one;
// asked at every click, the setting holds from the moment it changes.
void ClickPair(WatcherState& state, bool primary) {
  // A failed query keeps the previous position.
  os::CursorPos(state.Cursor);
  const bool left = primary != os::ButtonsSwapped();
  os::InjectClickPair(left ? platform::kMouseLeftDown : platform::kMouseRightDown,
                      left ? platform::kMouseLeftUp : platform::kMouseRightUp, state.Cursor.x,
                      state.Cursor.y);
}

}  // namespace

bool Tick(WatcherState& state, ui::Form& window) {
  if (state.FirstTick) {
    // Clears presses made before the watcher started.
    for (int i = 0; i < 3; ++i) os::KeyState(state.KeyCodes[i]);
    state.FirstTick = false;
    return false;
  }

  bool anyDown = false;
  if (!state.StopFlg) {
    const platform::WindowHandle own = window.hWnd();
    const auto elsewhere = [own] { return own != os::ActiveWindow(); };

    const bool leftDown = ReadsDown(state.KeyCodes[0]);
    if (leftDown && elsewhere() && state.WatchEnabled) {
      ClickPair(state, true);
    }

    const bool rightDown = ReadsDown(state.KeyCodes[1]);
    if (rightDown) {
      if (elsewhere() && state.WatchEnabled) {
        if (!state.RightHeld) {
          state.RightHeldSince = os::TimeMs();
          state.RightHeld = true;
        }
        // Modulo 2^32, so the window survives the counter wrapping.
        const auto held = static_cast<std::int32_t>(os::TimeMs() - state.RightHeldSince);
        if (held < kRightHoldLimitMs) {
          ClickPair(state, false);
        }
      }
    } else {
      state.RightHeld = false;
    }

    const bool onOffDown = ReadsDown(state.KeyCodes[2]);
    if (onOffDown) {
      if (!state.OnOffHeld) {
        state.OnOffHeld = true;
        // A press made in our own window is used up without toggling.
        if (elsewhere()) state.WatchEnabled = !state.WatchEnabled;
      }
    } else {
      state.OnOffHeld = false;
    }
    anyDown = leftDown || rightDown || onOffDown;
  }

  if (window.WindowState() == 1 && window.Visible()) window.Hide();
  return anyDown;
}

}  // namespace key_watcher
