#pragma once

// The window timer (WM_TIMER), which Windows clamps to 10 ms, and the fine
// system tick a timer may hold while it is awake.
#include <windows.h>

#include <cstdint>

#include "platform/win32/system_function.h"
#include "platform/win32/system_library.h"
#include "platform/win32/tick_source.h"
#include "platform/win32/trace.h"

namespace ui::native {

// timeBeginPeriod(1) while awake only: a fine system tick costs power.
// winmm is loaded when first needed, from the system folder: most systems
// have the high-resolution timer and never need it. Without it the tick
// goes on at the system's coarse resolution.
class FineResolution {
 public:
  FineResolution() = default;
  FineResolution(const FineResolution&) = delete;
  FineResolution& operator=(const FineResolution&) = delete;
  ~FineResolution() { Hold(false); }
  void Hold(bool hold) {
    if (hold == held_ || (hold && !Load())) return;
    (hold ? begin_ : end_)(1);
    held_ = hold;
  }

 private:
  using PeriodFn = UINT(WINAPI*)(UINT);

  bool Load() {
    if (begin_ != nullptr) return true;
    if (tried_) return false;
    tried_ = true;
    winmm_.reset(win32::LoadSystemLibrary(L"winmm.dll"));
    if (!winmm_) return false;
    begin_ = Function("timeBeginPeriod");
    end_ = Function("timeEndPeriod");
    if (begin_ == nullptr || end_ == nullptr) {
      win32::TraceFailure("GetProcAddress timeBeginPeriod");
      begin_ = nullptr;
    }
    return begin_ != nullptr;
  }
  PeriodFn Function(const char* name) const {
    return win32::SystemFunction<PeriodFn>(winmm_.get(), name);
  }

  win32::Library winmm_;
  PeriodFn begin_ = nullptr;
  PeriodFn end_ = nullptr;
  bool tried_ = false;
  bool held_ = false;
};

// Ticks through WM_TIMER; fineWhileAwake also holds the fine system tick
// while not parked (the fallback does; the plain baseline does not).
class WindowTimerSource final : public TickSource {
 public:
  WindowTimerSource(HWND window, UINT_PTR id, bool fineWhileAwake)
      : window_(window), id_(id), fineWhileAwake_(fineWhileAwake) {}
  ~WindowTimerSource() override {
    KillTimer(window_, id_);
    KillTimer(window_, AlarmId(id_));
  }
  WindowTimerSource(const WindowTimerSource&) = delete;
  WindowTimerSource& operator=(const WindowTimerSource&) = delete;
  void SetPeriod(std::uint32_t milliseconds, bool parked) override {
    resolution_.Hold(fineWhileAwake_ && !parked);
    period_ = milliseconds;
    if (SetTimer(window_, id_, milliseconds, nullptr) == 0) win32::TraceFailure("SetTimer");
  }
  void TickTaken() override {}
  // A window timer of its own, one-shot: the window stops it when it comes.
  void SetAlarm(std::int32_t milliseconds) override {
    if (milliseconds < 0) {
      KillTimer(window_, AlarmId(id_));
    } else if (SetTimer(window_, AlarmId(id_), static_cast<UINT>(milliseconds), nullptr) == 0) {
      win32::TraceFailure("SetTimer");
    }
  }
  // Window timers come no sooner than 10 ms, and may come one such step late.
  bool TimesAlarm(std::int32_t milliseconds) const override {
    return milliseconds >= static_cast<std::int32_t>(USER_TIMER_MINIMUM) &&
           milliseconds + static_cast<std::int64_t>(USER_TIMER_MINIMUM) <= period_;
  }
  // Timer ids are addresses, so the one after is no other timer's.
  static UINT_PTR AlarmId(UINT_PTR id) { return id + 1; }

 private:
  HWND window_;
  UINT_PTR id_;
  std::uint32_t period_ = 0;
  bool fineWhileAwake_;
  FineResolution resolution_;
};

}  // namespace ui::native
