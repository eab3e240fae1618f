#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

namespace ui::native {

// Posted to a form's window for each tick of a timer; wParam is the timer id.
constexpr UINT kTickMessage = WM_APP + 1;
// Posted when a timer's source stopped for good: wParam the timer id, lParam
// the error. The window replaces it (ReplaceTickSource).
constexpr UINT kTickFailedMessage = WM_APP + 2;
// Posted when a timer's alarm is due; wParam is the timer id.
constexpr UINT kAlarmMessage = WM_APP + 3;

// What drives a form timer: WM_TIMER ticks, or kTickMessage ticks from a
// precise waitable-timer thread, depending on the build.
class TickSource {
 public:
  virtual ~TickSource() = default;
  // Re-arms at once with a new period, counted from now; parked: a
  // heartbeat, which needs no fine timer resolution.
  virtual void SetPeriod(std::uint32_t milliseconds, bool parked) = 0;
  // The window thread has taken the pending tick; the next may be posted.
  virtual void TickTaken() = 0;
  // One kAlarmMessage milliseconds from now, whatever the ticks do; below 0
  // cancels it.
  virtual void SetAlarm(std::int32_t milliseconds) = 0;
  // Whether an alarm this soon comes on time, before the next tick.
  virtual bool TimesAlarm(std::int32_t milliseconds) const {
    (void)milliseconds;
    return true;
  }
  // True once the source stopped for good; it then posts kTickFailedMessage
  // as soon as the queue takes it.
  virtual bool Stopped() const { return false; }
  // Why it stopped, once Stopped().
  virtual std::uint32_t Error() const { return 0; }
  // True for the high-resolution waitable timer.
  virtual bool Fine() const { return false; }
};

std::unique_ptr<TickSource> CreateTickSource(HWND window, UINT_PTR id, std::uint32_t milliseconds,
                                             bool parked);
// The next source after failed stopped: a coarser timer, at last the window
// timer.
std::unique_ptr<TickSource> ReplaceTickSource(std::unique_ptr<TickSource> failed, HWND window,
                                              UINT_PTR id, std::uint32_t milliseconds, bool parked);

}  // namespace ui::native
