#include "platform/tick_schedule.h"

#include <gtest/gtest.h>

namespace {

using platform::TickSchedule;

TEST(TickScheduleTest, LateWakeUpsDoNotDrift) {
  TickSchedule s;
  s.Start(0, 40);
  // Every wake-up comes 3 units late; the deadlines stay on the 40 grid.
  for (int i = 1; i <= 100; ++i) {
    ASSERT_TRUE(s.Due(i * 40 + 3));
    EXPECT_EQ(s.Next(), (i + 1) * 40);
  }
  EXPECT_EQ(s.Remaining(4003), 37);
}

TEST(TickScheduleTest, EarlyWakeUpIsNoTick) {
  TickSchedule s;
  s.Start(1000, 10);
  EXPECT_FALSE(s.Due(1009));
  EXPECT_EQ(s.Remaining(1009), 1);
  EXPECT_TRUE(s.Due(1010));
  EXPECT_EQ(s.Next(), 1020);
}

TEST(TickScheduleTest, StallSkipsMissedTicksInsteadOfBursting) {
  TickSchedule s;
  s.Start(0, 10);
  ASSERT_TRUE(s.Due(10));
  // Nothing ran for 1 s: one tick now, then the next deadline ahead, in phase.
  EXPECT_TRUE(s.Due(1015));
  EXPECT_EQ(s.Next(), 1020);
  EXPECT_FALSE(s.Due(1019));
  // Landing exactly on a missed deadline counts that one only.
  EXPECT_TRUE(s.Due(1100));
  EXPECT_EQ(s.Next(), 1110);
}

TEST(TickScheduleTest, ShortLatenessIsMadeUpInPhase) {
  TickSchedule s;
  s.Start(0, 1, 20);  // 1 ms period, up to 20 ms made up
  // Woke 2.5 periods late: this tick and the two missed ones are all due.
  EXPECT_TRUE(s.Due(3));
  EXPECT_TRUE(s.Due(3));
  EXPECT_TRUE(s.Due(3));
  EXPECT_FALSE(s.Due(3));
  EXPECT_EQ(s.Next(), 4);
  // A stall beyond the limit is skipped, not made up.
  EXPECT_TRUE(s.Due(100));
  EXPECT_EQ(s.Next(), 101);
  EXPECT_FALSE(s.Due(100));
}

TEST(TickScheduleTest, RearmStartsAFreshPeriodFromNow) {
  TickSchedule s;
  s.Start(0, 100);
  EXPECT_FALSE(s.Due(30));
  s.Start(30, 5);  // the interval changed at 30
  EXPECT_EQ(s.Next(), 35);
  EXPECT_EQ(s.Period(), 5);
  s.Start(40, 0);  // a period of zero would spin: it counts as 1
  EXPECT_EQ(s.Period(), 1);
}

}  // namespace
