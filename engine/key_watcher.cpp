#include "engine/key_watcher.h"

#include <algorithm>
#include <utility>

#include "platform/forms.h"
#include "platform/os_held_input.h"
#include "platform/os_input.h"
#include "platform/os_trace.h"

namespace key_watcher {

namespace {

// Down, or pressed since the previous query: a tap between two ticks. A
// keyboard's auto-repeat sets that bit again while the key is held, so it
// counts only for a key that read up at the previous tick; else the tick
// after a release would still click.
// A button is down while the user holds it past the hold delay: our own
// clicks never count, and a shorter press stays the user's click.
// heard: a raw key-down counts as a press too. Not for the on/off key, nor a
// click key sharing its code: read down now and up from the cache at the
// next tick, it would switch twice.
bool ReadsDown(const WatcherState& state, std::int32_t virtualKey, bool heard) {
  if (virtualKey == kPrimaryButton || virtualKey == kSecondaryButton) {
    return os::ButtonHeldMs(virtualKey - kPrimaryButton) >= state.HoldDelay;
  }
  const std::int16_t bits = os::KeyState(virtualKey);
  const auto& was = state.WasDown;
  const bool pressed =
      (bits & 1) != 0 || (heard && state.RawPressed[static_cast<std::size_t>(virtualKey & 0xFF)]);
  return bits < 0 || (pressed && std::find(was.begin(), was.end(), virtualKey) == was.end());
}

bool Due(std::uint32_t due, std::uint32_t now) { return static_cast<std::int32_t>(now - due) >= 0; }

void SendUp(WatcherState::OwedUp& up) {
  if ((up.key != 0 ? os::InjectKey(up.key, false, true) : os::InjectButton(0, up.flag)) == 1) {
    up.flag = 0;
    return;
  }
  // Windows refuses input while a secure desktop shows, for one.
  if (!up.refused) os::Trace("SendInput refused an up; trying again");
  up.refused = true;
  up.due = os::TimeMs() + kUpRetryMs;
}

// During a hold of a button our clicks come back through the hook; when
// they stop, so did the hook, and the user's up would go unheard.
void WatchEchoes(WatcherState& state, bool buttonClicks) {
  const std::uint32_t echoes = os::InputEchoes();
  const std::uint32_t now = os::TimeMs();
  if (!buttonClicks || echoes != state.EchoesSeen) {
    state.EchoesSeen = echoes;
    state.UnechoedSince = now;
  } else if (static_cast<std::int32_t>(now - state.UnechoedSince) >= kEchoTimeoutMs) {
    os::Trace("the hooks hear none of our input; setting them again");
    os::RewatchInput();
    state.UnechoedSince = now;
  }
}

// A primary or a secondary click. The injected flags name physical buttons,
// so for a user who swapped the buttons the primary click is a right one;
// asked at every click, the setting holds from the moment it changes.
void Click(WatcherState& state, bool primary) {
  WatcherState::OwedUp& up = state.Ups[primary ? 0 : 1];
  // The previous click's up goes first; while Windows refuses it, so would
  // it a down.
  if (up.flag != 0) SendUp(up);
  if (up.flag != 0) return;
  const bool left = primary != os::ButtonsSwapped();
  const std::uint32_t upFlag = left ? platform::kMouseLeftUp : platform::kMouseRightUp;
  const bool held = state.PressMs > 0;
  const std::uint32_t downFlag = left ? platform::kMouseLeftDown : platform::kMouseRightDown;
  const int sent = os::InjectButton(downFlag, held ? 0 : upFlag);
  // A down that did not go in leaves nothing to release.
  if (sent == 0 || sent == 2) return;
  up = {upFlag, os::TimeMs() + static_cast<std::uint32_t>(state.PressMs), false};
}

// A skill key held with Ctrl, Alt or a Windows key makes a shortcut, which
// acts once: a held Alt+F4 closes one window at most.
bool ShortcutHeld() {
  for (const std::int32_t key : {vk::kControl, vk::kAlt, vk::kLeftWindows, vk::kRightWindows}) {
    if (os::KeyState(key) < 0) return true;
  }
  return false;
}

// A skill key's down, and its up a press time later, in the slot its last
// up took, or a free one.
void PressKey(WatcherState& state, std::int32_t key) {
  WatcherState::OwedUp* slot = nullptr;
  for (std::size_t i = 2; i < state.Ups.size(); ++i) {
    WatcherState::OwedUp& up = state.Ups[i];
    if (up.flag != 0 && up.key == key) slot = &up;
    if (slot == nullptr && up.flag == 0) slot = &up;
  }
  if (slot == nullptr) return;
  if (slot->flag != 0) SendUp(*slot);
  if (slot->flag != 0) return;
  const bool held = state.PressMs > 0;
  const int sent = os::InjectKey(key, true, !held);
  if (sent == 0 || sent == 2) return;
  *slot = {1, os::TimeMs() + static_cast<std::uint32_t>(state.PressMs), false, key};
}

// The skill keys held past the hold delay press again; true when one is
// held at all, so that the tick stays awake for its delay. act: they may.
bool PressSkillKeys(WatcherState& state, bool act, bool& pressed) {
  const std::bitset<256> keys = WatchedKeys(state);
  if (keys.none()) return false;
  bool held = false;
  bool shortcut = false;
  bool asked = false;
  for (std::int32_t key = 1; key < 255; ++key) {
    if (!keys[static_cast<std::size_t>(key)]) continue;
    const std::int32_t heldMs = os::KeyHeldMs(key);
    held = held || heldMs >= 0;
    if (!act || heldMs < state.HoldDelay) continue;
    if (!std::exchange(asked, true)) shortcut = ShortcutHeld();
    if (shortcut) continue;
    PressKey(state, key);
    pressed = true;
  }
  return held;
}

}  // namespace

std::int32_t PressFor(std::int32_t pressTime, std::int32_t period) {
  std::int32_t press = std::min(period / 2, kLongestDefaultPressMs);
  if (pressTime >= 0) press = pressTime;
  return std::max(0, std::min(press, period - 1));
}

unsigned WatchedButtons(const WatcherState& state) {
  return (state.KeyCodes[0] == kPrimaryButton ? 1U : 0U) |
         (state.KeyCodes[1] == kSecondaryButton ? 2U : 0U);
}

std::bitset<256> WatchedKeys(const WatcherState& state) {
  std::bitset<256> keys = state.Skills.Keys();
  for (int i = 0; i < 3; ++i) {
    const std::int32_t code = state.KeyCodes[static_cast<std::size_t>(i)];
    if (code > 0 && code < 256) keys.reset(static_cast<std::size_t>(code));
  }
  return keys;
}

std::int32_t SendUps(WatcherState& state, bool all) {
  std::int32_t next = -1;
  for (WatcherState::OwedUp& up : state.Ups) {
    if (up.flag != 0 && (all || Due(up.due, os::TimeMs()))) SendUp(up);
    if (up.flag == 0) continue;
    const auto left = std::max(0, static_cast<std::int32_t>(up.due - os::TimeMs()));
    next = next < 0 ? left : std::min(next, left);
  }
  return next;
}

bool Tick(WatcherState& state, ui::Form& window) {
  if (state.FirstTick) {
    // Clears presses made before the watcher started.
    for (int i = 0; i < 3; ++i) os::KeyState(state.KeyCodes[i]);
    state.FirstTick = false;
    state.WasDown = {};
    state.RawPressed.reset();
    return false;
  }

  // Stopped, nothing reads down: a press during the stop counts after it.
  std::array<bool, 3> down{};
  bool skillHeld = false;
  if (!state.StopFlg) {
    const platform::WindowHandle own = window.hWnd();
    // Judged at every tick: a key held right after a switch acts, or not,
    // by the program now in front.
    state.Programs.Update();
    const bool allowed = state.Programs.Allows();
    const auto elsewhere = [own, allowed] { return allowed && own != os::ActiveWindow(); };

    // A key that two roles share is read once, for both.
    for (std::size_t i = 0; i < 3; ++i) {
      std::size_t first = 0;
      while (state.KeyCodes[first] != state.KeyCodes[i]) ++first;
      down[i] = first < i ? down[first]
                          : ReadsDown(state, state.KeyCodes[i],
                                      i < 2 && state.KeyCodes[i] != state.KeyCodes[2]);
    }

    bool buttonClicks = false;
    if (down[0] && elsewhere() && state.WatchEnabled) {
      Click(state, true);
      buttonClicks = state.KeyCodes[0] == kPrimaryButton;
    }

    if (down[1]) {
      if (elsewhere() && state.WatchEnabled) {
        if (!state.RightHeld) {
          state.RightHeldSince = os::TimeMs();
          state.RightHeld = true;
        }
        // Modulo 2^32, so the window survives the counter wrapping.
        const auto held = static_cast<std::int32_t>(os::TimeMs() - state.RightHeldSince);
        if (held < kRightHoldLimitMs) {
          Click(state, false);
          buttonClicks = buttonClicks || state.KeyCodes[1] == kSecondaryButton;
        }
      }
    } else {
      state.RightHeld = false;
    }

    if (down[2]) {
      if (!state.OnOffHeld) {
        state.OnOffHeld = true;
        // A press made in our own window, or in a program not listed, is
        // used up without toggling.
        if (elsewhere()) state.WatchEnabled = !state.WatchEnabled;
      }
    } else {
      state.OnOffHeld = false;
    }
    bool keyPresses = false;
    skillHeld = PressSkillKeys(state, elsewhere() && state.WatchEnabled, keyPresses);
    WatchEchoes(state, buttonClicks || keyPresses);
  }
  for (std::size_t i = 0; i < 3; ++i) state.WasDown[i] = down[i] ? state.KeyCodes[i] : 0;
  state.RawPressed.reset();

  if (window.WindowState() == 1 && window.Visible()) window.Hide();
  return down[0] || down[1] || down[2] || skillHeld;
}

}  // namespace key_watcher
