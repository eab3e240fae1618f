#pragma once

#include <array>
#include <bitset>
#include <cstdint>

#include "engine/program_rule.h"
#include "engine/skill_keys.h"

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
constexpr std::int32_t kLeftWindows = 91;
constexpr std::int32_t kRightWindows = 92;
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
  // The key codes that read down at the previous tick (0: none).
  std::array<std::int32_t, 3> WasDown{};
  // Keys raw input heard go down since the previous tick. Wine answers a
  // key's state from a cache up to 50 ms old in a process without the
  // focus, so a press may read up at the tick it woke.
  std::bitset<256> RawPressed;
  // "PressTime" from the settings; below 0: the default for the period.
  std::int32_t PressTime = -1;
  // How long this tick's clicks hold their button; 0: down and up at once.
  std::int32_t PressMs = 0;
  // The up each key's click still owes (0 primary, 1 secondary, then the
  // skill keys held): the physical button's up flag, so that a swap in
  // between cannot leave the other one down, or for a skill key 1 (0:
  // none); when it is due; the skill key.
  struct OwedUp {
    std::uint32_t flag = 0;
    std::uint32_t due = 0;
    bool refused = false;
    std::int32_t key = 0;
  };
  std::array<OwedUp, 2 + key_watcher::kHeldSkillKeys> Ups{};
  // The programs the keys act in, and which one is in front.
  key_watcher::ProgramRule Programs;
  // The keys that repeat while held.
  key_watcher::SkillKeys Skills;
  // "HoldDelay": how long the user holds a button before it clicks.
  std::int32_t HoldDelay = 200;
  // Our clicks' echoes through the button hook, as last seen, and since
  // when a button's hold has clicked without a new one.
  std::uint32_t EchoesSeen = 0;
  std::uint32_t UnechoedSince = 0;
};

namespace key_watcher {

// Key codes of the primary and the secondary button: the left-click key may
// be the one, the right-click key the other.
constexpr std::int32_t kPrimaryButton = 1;
constexpr std::int32_t kSecondaryButton = 2;
// A shorter press of a watched button stays the user's own click.
constexpr std::int32_t kShortestHoldDelayMs = 50;
constexpr std::int32_t kLongestHoldDelayMs = 1000;
// A hold that clicks without hearing its clicks come back this long has
// lost the hook (Windows drops a hook it finds slow).
constexpr std::int32_t kEchoTimeoutMs = 500;

// Secondary (right) clicks stop this long into a hold of the right-click key.
constexpr std::int32_t kRightHoldLimitMs = 5000;
// A game that reads the mouse once a frame, at 20 frames a second, still
// sees a press this long; longer ones only risk drags.
constexpr std::int32_t kLongestDefaultPressMs = 50;
// An up that Windows refused goes again this often, until it goes.
constexpr std::int32_t kUpRetryMs = 100;

// How long each click holds its button at period: pressTime (below 0: half
// the period, at most kLongestDefaultPressMs), always up before the next
// tick.
std::int32_t PressFor(std::int32_t pressTime, std::int32_t period);

// The buttons the click keys are (bit 0 primary, bit 1 secondary): the ones
// to hear through the hook.
unsigned WatchedButtons(const WatcherState& state);
// The skill keys that repeat: those listed, but for the click keys and the
// on/off key, which keep their roles.
std::bitset<256> WatchedKeys(const WatcherState& state);

// Sends the ups that are due (all of them when all), and again later the
// ones Windows refuses. Returns the milliseconds until the next owed up, or
// -1 when none is owed.
std::int32_t SendUps(WatcherState& state, bool all);

// One tick: turns the held keys into clicks at the cursor (the left-click
// key's with the primary button, the right-click key's with the secondary
// one, whichever physical buttons the user made them), toggles the
// feature on the on/off key, and hides window when it is minimised. Keys do
// nothing while window is the active window, nor, with a list of programs,
// while one not listed is in front. Skill keys held past the hold delay
// press again, each a press time long. True when one of the three keys
// read down or a skill key is held (never on the flush tick or while
// stopped).
bool Tick(WatcherState& state, ui::Form& window);

}  // namespace key_watcher
