#pragma once

#include <cstdint>

namespace platform {

// Deadlines of a periodic tick on a monotonic clock (any unit). Deadlines
// are absolute, next = previous + period, so waking late never accumulates
// drift. Deadlines missed by less than the catch-up limit are still due (a
// timer that wakes a little late loses no ticks); after a longer stall the
// missed deadlines are skipped, not made up in a burst.
class TickSchedule {
 public:
  // Restarts the schedule: the first deadline is one period from now.
  void Start(std::int64_t now, std::int64_t period, std::int64_t catchUpLimit = 0) {
    period_ = period > 0 ? period : 1;
    catchUpLimit_ = catchUpLimit;
    next_ = now + period_;
  }
  std::int64_t Next() const { return next_; }
  std::int64_t Period() const { return period_; }
  // Time left until the deadline, or 0 when it has passed.
  std::int64_t Remaining(std::int64_t now) const { return next_ > now ? next_ - now : 0; }

  // True when the deadline has come at now; the schedule then moves to the
  // next deadline, or, past the catch-up limit, to the first one still ahead
  // that is in phase with the old ones.
  bool Due(std::int64_t now) {
    if (now < next_) return false;
    next_ += period_;
    if (next_ <= now && now - next_ >= catchUpLimit_) {
      next_ += ((now - next_) / period_ + 1) * period_;
    }
    return true;
  }

 private:
  std::int64_t period_ = 1;
  std::int64_t catchUpLimit_ = 0;
  std::int64_t next_ = 1;
};

}  // namespace platform
