#pragma once

#include <bitset>
#include <cstdint>

#include "engine/key_watcher.h"

namespace ui {
class Timer;
}

namespace key_watcher {

// A parked tick still runs this often (or once a period, if longer), in case
// a key-down went unreported.
constexpr std::int32_t kHeartbeatMs = 1000;
// Once woken, the tick stays awake this long (or two periods, if longer), so
// a press whose first reading came back up is still seen.
constexpr std::int32_t kStayAwakeMs = 100;
// A key-state query may answer from a cache for a while after the previous
// one (Wine: 50 ms); when the tick woken by a key-down reads nothing down,
// the next comes this soon (or after a period, if shorter).
constexpr std::int32_t kRecheckMs = 60;

// Runs the watcher on its timer, but stops the timer waking (parks it) while
// none of the keys is held, so that idling costs nothing; a raw key-down
// wakes it with a tick at once, so that the first click comes with the press.
// Which keys are down is still for the watcher's tick to say, never the raw
// key-down. Without raw key-downs the tick never parks. A watched middle or
// side button is heard through raw mouse input, asked for only while parked;
// the primary and the secondary button through their hook, which wakes it.
class ParkingTick {
 public:
  ParkingTick(WatcherState& state, ui::Form& window, ui::Timer& timer);

  // The timer has just started; rawKeys: raw key-downs will reach KeyDown.
  void Start(bool rawKeys);
  // The timer's tick: the watcher's tick, then parks or wakes the timer.
  void Tick();
  // A raw key-down: a parked tick ticks at once, then every period from
  // now. Key-downs while awake, auto-repeats included, change nothing.
  void KeyDown(std::int32_t virtualKey = 0);
  // Raw input heard a key go up: its next down is a press again.
  void KeyUp(std::int32_t virtualKey);
  // The stop flag, a key code, the interval or the window state changed: a
  // parked tick ticks again every period, from now.
  void Wake();
  // The timer's alarm: the ups that are due.
  void Alarm();
  // The tool is about to end: every owed up now, and the button hook goes.
  void End();

 private:
  void StayAwake();
  bool MayPark(bool keyDown);
  // True when a press of every watched key would wake a parked tick.
  bool HearsWatchedButtons();

  WatcherState& state_;
  ui::Form& window_;
  ui::Timer& timer_;
  bool rawKeys_ = false;
  bool staying_ = false;
  std::uint32_t wokeAt_ = 0;
  bool justWoken_ = false;
  // The keys raw input last heard go down and not up yet.
  std::bitset<256> rawDown_;
  bool hearingButtons_ = false;
  bool buttonsRefused_ = false;
};

}  // namespace key_watcher
