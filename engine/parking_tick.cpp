#include "engine/parking_tick.h"

#include <algorithm>
#include <utility>

#include "platform/forms.h"
#include "platform/os_held_input.h"
#include "platform/os_input.h"

namespace key_watcher {

namespace {

// Buttons that raw mouse input reports as presses.
bool IsOtherButton(std::int32_t code) { return code == 4 || code == 5 || code == 6; }

}  // namespace

ParkingTick::ParkingTick(WatcherState& state, ui::Form& window, ui::Timer& timer)
    : state_(state), window_(window), timer_(timer) {}

void ParkingTick::Start(bool rawKeys) {
  rawKeys_ = rawKeys;
  Wake();
}

void ParkingTick::Tick() {
  const bool flush = state_.FirstTick;
  const std::int32_t press = PressFor(state_.PressTime, timer_.Interval());
  // A press the timer cannot time stays a click with no length.
  state_.PressMs = press > 0 && timer_.TimesAlarm(press) ? press : 0;
  const bool keyDown = key_watcher::Tick(state_, window_);
  // The next owed up goes on the timer's alarm, which neither parking nor a
  // re-arm delays.
  timer_.SetAlarm(SendUps(state_, false));
  const bool woken = std::exchange(justWoken_, false);
  if (!flush && MayPark(keyDown)) {
    if (!timer_.Parked() && HearsWatchedButtons())
      timer_.SetPace(std::max(kHeartbeatMs, timer_.Interval()), true);
  } else if (timer_.Parked()) {
    // A heartbeat found a key down.
    Wake();
  } else if (woken && !keyDown && timer_.Interval() > kRecheckMs) {
    timer_.SetPace(kRecheckMs);
  } else if (timer_.Pace() != 0) {
    timer_.SetPace(0);  // the recheck is done: every period from here
  }
}

void ParkingTick::KeyDown(std::int32_t virtualKey) {
  // A down of a key raw input last heard down is the keyboard's repeat,
  // perhaps handled after the tick that read the release: no press.
  if (virtualKey > 0 && virtualKey < 256) {
    const auto key = static_cast<std::size_t>(virtualKey);
    if (!rawDown_[key]) state_.RawPressed.set(key);
    rawDown_.set(key);
  }
  if (!timer_.Parked() || !timer_.Enabled()) return;
  Wake();
  justWoken_ = true;
  Tick();
}

void ParkingTick::KeyUp(std::int32_t virtualKey) {
  // A missed up only costs the next press raw input's word: its state
  // still counts.
  if (virtualKey > 0 && virtualKey < 256) rawDown_.reset(static_cast<std::size_t>(virtualKey));
}

void ParkingTick::Alarm() { timer_.SetAlarm(SendUps(state_, false)); }

void ParkingTick::End() {
  timer_.SetAlarm(SendUps(state_, true));
  os::WatchButtons(0, 0);
  os::WatchKeys({}, 0);
}

void ParkingTick::Wake() {
  // The hooks are there only while a click key is a button, and while a
  // skill key is listed.
  os::WatchButtons(WatchedButtons(state_), window_.hWnd());
  os::WatchKeys(WatchedKeys(state_), window_.hWnd());
  StayAwake();
  if (timer_.Parked()) timer_.SetPace(0);
  // Awake, the tick reads the buttons itself; raw mouse input would only
  // bring every move and each of our own clicks.
  if (hearingButtons_) hearingButtons_ = !window_.ListenRawButtons(false);
}

bool ParkingTick::HearsWatchedButtons() {
  bool watched = false;
  for (int i = 0; i < 3; ++i) watched = watched || IsOtherButton(state_.KeyCodes[i]);
  if (!watched || hearingButtons_) return true;
  // Refused once, refused for good: no retry at every tick.
  if (buttonsRefused_) return false;
  hearingButtons_ = window_.ListenRawButtons(true);
  buttonsRefused_ = !hearingButtons_;
  return hearingButtons_;
}

void ParkingTick::StayAwake() {
  staying_ = true;
  wokeAt_ = os::TimeMs();
}

bool ParkingTick::MayPark(bool keyDown) {
  if (staying_) {
    const std::int32_t stay = std::max(kStayAwakeMs, 2 * timer_.Interval());
    // Modulo 2^32, like every use of the clock.
    if (static_cast<std::int32_t>(os::TimeMs() - wokeAt_) < stay) return false;
    staying_ = false;
  }
  // A button's press wakes the tick through the hook, but its hold starts
  // only after the hold delay: the tick waits for it awake.
  return !keyDown && rawKeys_ && os::ButtonHeldMs(0) < 0 && os::ButtonHeldMs(1) < 0;
}

}  // namespace key_watcher
