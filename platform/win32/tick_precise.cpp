// Precise tick: a thread waits on a high-resolution waitable timer with
// absolute deadlines and posts one tick at a time to the window, so the
// period the user typed is the period the watcher runs at, 1 ms included.
// When that cannot start, a window timer ticks as well as it can.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "platform/tick_schedule.h"
#include "platform/win32/owned.h"
#include "platform/win32/test_faults.h"
#include "platform/win32/tick_source.h"
#include "platform/win32/trace.h"
#include "platform/win32/window_timer.h"

namespace ui::native {

namespace {

// Not in every SDK's headers yet.
constexpr DWORD kHighResolutionTimer = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

// A timer that wakes this much late still gets its missed ticks (Wine's
// wakes are up to about a millisecond late); a longer stall skips them.
constexpr std::int64_t kCatchUpLimitMs = 20;

constexpr std::int64_t kNoAlarm = INT64_MAX;
// A full message queue gets the alarm again this much later.
constexpr std::int64_t kAlarmRetryMs = 10;

// Arms timer once, due in relative 100 ns units.
bool SetDue(HANDLE timer, LONGLONG due) {
  if constexpr (win32::faults::kTickCannotSet) {
    // Test build: created, but refused as some Windows versions refuse it.
    (void)timer;
    (void)due;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  } else {
    LARGE_INTEGER when{};
    when.QuadPart = due;
    return SetWaitableTimer(timer, &when, 0, nullptr, nullptr, FALSE) != FALSE;
  }
}

HANDLE StartThread(LPTHREAD_START_ROUTINE main, LPVOID parameter) {
  if constexpr (win32::faults::kTickCannotStart) {
    // Test build: the fallback must still click.
    (void)main;
    (void)parameter;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  } else {
    return CreateThread(nullptr, 0, main, parameter, 0, nullptr);
  }
}

std::int64_t Now() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

class PreciseSource final : public TickSource {
 public:
  PreciseSource(HWND window, UINT_PTR id, std::uint32_t milliseconds)
      : window_(window), id_(id), period_(milliseconds) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    frequency_ = frequency.QuadPart;
  }

  // False, with nothing running, when a part of the tick cannot be made;
  // coarse: the ordinary waitable timer even where the fine one exists.
  bool Start(bool parked, bool coarse) {
    if (!coarse) {
      timer_.reset(
          CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS));
    }
    if (!timer_) {
      // Older systems: a normal waitable timer at the finest system tick.
      lowResolution_ = true;
      timer_.reset(CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS));
      if (!timer_) {
        win32::TraceFailure("CreateWaitableTimerExW");
        return false;
      }
    }
    wake_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!wake_) {
      win32::TraceFailure("CreateEventW");
      return false;
    }
    thread_.reset(StartThread(&PreciseSource::ThreadMain, this));
    if (!thread_) {
      win32::TraceFailure("CreateThread");
      return false;
    }
    SetThreadPriority(thread_.get(), THREAD_PRIORITY_HIGHEST);
    if (lowResolution_) resolution_.Hold(!parked);
    return true;
  }

  ~PreciseSource() override {
    if (!thread_) return;
    stop_ = true;
    SetEvent(wake_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
  }

  void SetPeriod(std::uint32_t milliseconds, bool parked) override {
    if (lowResolution_) resolution_.Hold(!parked);
    period_ = milliseconds;
    rearm_ = true;
    SetEvent(wake_.get());
  }

  bool Stopped() const override { return stopped_; }
  std::uint32_t Error() const override { return error_; }
  bool Fine() const override { return !lowResolution_; }

  void TickTaken() override {
    pending_ = false;
    // Only when the thread waits for it: a round trip per tick costs CPU.
    if (waitingForTake_.exchange(false)) SetEvent(wake_.get());
  }

  void SetAlarm(std::int32_t milliseconds) override {
    alarm_ = milliseconds < 0 ? kNoAlarm : Now() + milliseconds * frequency_ / 1000;
    SetEvent(wake_.get());
  }

 private:
  static DWORD WINAPI ThreadMain(LPVOID self) {
    static_cast<PreciseSource*>(self)->Run();
    return 0;
  }

  bool PostFailure() {
    if constexpr (win32::faults::kTickCannotPost) {
      // Test build: the window must find the stopped source itself.
      return false;
    } else {
      return PostMessageW(window_, kTickFailedMessage, id_, static_cast<LPARAM>(error_)) != FALSE;
    }
  }

  // Posts the alarm once due; one that cannot be posted now goes again soon.
  void PostAlarm(std::int64_t now) {
    std::int64_t due = alarm_.load();
    if (due == kNoAlarm || now < due) return;
    std::int64_t next = kNoAlarm;
    if (!PostMessageW(window_, kAlarmMessage, id_, 0))
      next = now + kAlarmRetryMs * frequency_ / 1000;
    // Unless the window set another alarm meanwhile.
    alarm_.compare_exchange_strong(due, next);
  }

  void Run() {
    platform::TickSchedule schedule;
    const HANDLE waits[2] = {wake_.get(), timer_.get()};
    while (!stop_) {
      if (rearm_.exchange(false)) {
        schedule.Start(Now(), static_cast<std::int64_t>(period_.load()) * frequency_ / 1000,
                       kCatchUpLimitMs * frequency_ / 1000);
      }
      PostAlarm(Now());
      // One tick at a time: the next waits until the window took this one,
      // which TickTaken signals only when told that the thread waits.
      bool waitingForTake = false;
      if (pending_) {
        waitingForTake_ = true;
        // Checked again after announcing the wait, so a take in between is seen.
        waitingForTake = pending_.load();
        if (!waitingForTake) waitingForTake_ = false;
      }
      const std::int64_t alarm = alarm_.load();
      const std::int64_t due = waitingForTake ? alarm : std::min(alarm, schedule.Next());
      if (due == kNoAlarm) {
        WaitForSingleObject(wake_.get(), INFINITE);
        continue;
      }
      const std::int64_t remaining = due - Now();
      if (remaining > 0) {
        // Relative due time in 100 ns units; negative means relative.
        const std::int64_t ticks100ns = remaining * 10'000'000 / frequency_;
        if (!SetDue(timer_.get(), -std::max<std::int64_t>(1, ticks100ns))) {
          // The window replaces this source; the thread ends here.
          error_ = GetLastError();
          stopped_ = true;
          // A full queue refuses it for now; the window also replaces a
          // stopped source it finds.
          while (!stop_ && !PostFailure()) WaitForSingleObject(wake_.get(), kAlarmRetryMs);
          break;
        }
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) continue;
      }
      if (!waitingForTake && schedule.Due(Now())) {
        pending_ = true;
        if (!PostMessageW(window_, kTickMessage, id_, 0)) pending_ = false;
      }
    }
    CancelWaitableTimer(timer_.get());
  }

  HWND window_;
  UINT_PTR id_;
  std::int64_t frequency_ = 1;
  std::atomic<std::uint32_t> period_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> stopped_{false};
  DWORD error_ = 0;  // written before stopped_
  std::atomic<bool> rearm_{true};
  std::atomic<bool> pending_{false};
  std::atomic<bool> waitingForTake_{false};
  std::atomic<std::int64_t> alarm_{kNoAlarm};  // performance-counter time
  bool lowResolution_ = false;
  FineResolution resolution_;
  win32::KernelHandle timer_;
  win32::KernelHandle wake_;
  win32::KernelHandle thread_;
};

}  // namespace

namespace {

std::unique_ptr<TickSource> StartSource(HWND window, UINT_PTR id, std::uint32_t milliseconds,
                                        bool parked, bool coarse) {
  auto precise = std::make_unique<PreciseSource>(window, id, milliseconds);
  if (precise->Start(parked, coarse)) return precise;
  auto fallback = std::make_unique<WindowTimerSource>(window, id, true);
  fallback->SetPeriod(milliseconds, parked);
  return fallback;
}

}  // namespace

std::unique_ptr<TickSource> CreateTickSource(HWND window, UINT_PTR id, std::uint32_t milliseconds,
                                             bool parked) {
  return StartSource(window, id, milliseconds, parked, false);
}

std::unique_ptr<TickSource> ReplaceTickSource(std::unique_ptr<TickSource> failed, HWND window,
                                              UINT_PTR id, std::uint32_t milliseconds,
                                              bool parked) {
  // Only a precise source stops on its own: the fine timer gives way to the
  // ordinary one, and that to the window timer.
  const bool fine = failed->Fine();
  failed.reset();
  if (!fine) {
    auto fallback = std::make_unique<WindowTimerSource>(window, id, true);
    fallback->SetPeriod(milliseconds, parked);
    return fallback;
  }
  return StartSource(window, id, milliseconds, parked, true);
}

}  // namespace ui::native
