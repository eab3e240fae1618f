#include "engine/key_watcher.h"

#include "engine/admin_foreground.h"
#include "fixture.h"

namespace {

using platform::kMouseLeftDown;
using platform::kMouseLeftUp;
using platform::kMouseRightDown;
using platform::kMouseRightUp;

class KeyWatcherTest : public FakeTest {
 protected:
  void SetUp() override {
    FakeTest::SetUp();
    window.Load();
    window.Show();
    os().activeWindow = 0;             // another program is in front
    key_watcher::Tick(state, window);  // the flush tick
  }
  void Tick() { key_watcher::Tick(state, window); }
  std::size_t Clicks(std::uint32_t downFlag) const {
    std::size_t n = 0;
    for (const auto& e : fake::Get().injected) n += e.flags == downFlag ? 1 : 0;
    return n;
  }
  PlainForm window;
  WatcherState state;
};

TEST_F(KeyWatcherTest, FirstTickOnlyFlushesTheThreeKeys) {
  os().keyQueries.clear();
  WatcherState fresh;
  fake::Press(vk::kLeft);
  fake::Press(vk::kUp);
  window.SetWindowState(1);
  key_watcher::Tick(fresh, window);
  EXPECT_EQ(os().keyQueries, (std::vector<std::int32_t>{37, 39, 38}));
  EXPECT_TRUE(os().injected.empty());
  EXPECT_TRUE(fresh.WatchEnabled);
  EXPECT_TRUE(window.Visible()) << "no minimise check on the flush tick";
  EXPECT_FALSE(fresh.FirstTick);
  // A key pressed before the start and still held clicks from the next tick.
  key_watcher::Tick(fresh, window);
  EXPECT_EQ(Clicks(kMouseLeftDown), 1u);
}

TEST_F(KeyWatcherTest, HeldLeftKeyGivesOneClickPairPerTickAtTheCursor) {
  fake::Press(vk::kLeft);
  os().cursor = {321, 654};
  for (int i = 0; i < 5; ++i) Tick();
  ASSERT_EQ(os().injected.size(), 10u);
  for (std::size_t i = 0; i < 10; i += 2) {
    EXPECT_EQ(os().injected[i].flags, kMouseLeftDown);
    EXPECT_EQ(os().injected[i + 1].flags, kMouseLeftUp);
    EXPECT_EQ(os().injected[i].x, 321);
    EXPECT_EQ(os().injected[i + 1].y, 654);
  }
  fake::Release(vk::kLeft);
  Tick();
  EXPECT_EQ(os().injected.size(), 10u);
}

TEST_F(KeyWatcherTest, ShortTapBetweenTicksStillClicksOnce) {
  fake::Tap(vk::kLeft);
  Tick();
  Tick();
  EXPECT_EQ(Clicks(kMouseLeftDown), 1u);
}

// A keyboard repeats a held key, which sets the pressed-since bit again: the
// tick after the release reads the key up, and a tap right after that is a
// press of its own.
TEST_F(KeyWatcherTest, NoClickOrToggleAfterARepeatingKeyIsReleased) {
  for (const std::int32_t key : {vk::kLeft, vk::kRight, vk::kUp}) {
    fake::Press(key);
    Tick();
    fake::Repeat(key);
    Tick();
    fake::Repeat(key);
    fake::Release(key);
    Tick();
    fake::Tap(key);
    Tick();
    Tick();
  }
  EXPECT_EQ(Clicks(kMouseLeftDown), 3u) << "two while held, one for the tap";
  EXPECT_EQ(Clicks(kMouseRightDown), 3u);
  EXPECT_TRUE(state.WatchEnabled) << "off with the hold, on again with the tap";
}

TEST_F(KeyWatcherTest, NothingWhileOwnWindowIsActive) {
  os().activeWindow = window.hWnd();
  fake::Press(vk::kLeft);
  fake::Press(vk::kRight);
  Tick();
  EXPECT_TRUE(os().injected.empty());
  // The right hold was not timed while our window was active.
  EXPECT_FALSE(state.RightHeld);
}

TEST_F(KeyWatcherTest, RightClicksStopFiveSecondsIntoAHold) {
  fake::Press(vk::kRight);
  Tick();
  EXPECT_EQ(Clicks(kMouseRightDown), 1u);
  os().clock += 4999;
  Tick();
  EXPECT_EQ(Clicks(kMouseRightDown), 2u);
  os().clock += 1;
  Tick();
  Tick();
  EXPECT_EQ(Clicks(kMouseRightDown), 2u);
  // Release and press again: a new hold, timed afresh.
  fake::Release(vk::kRight);
  Tick();
  fake::Press(vk::kRight);
  Tick();
  EXPECT_EQ(Clicks(kMouseRightDown), 3u);
  EXPECT_EQ(os().injected.back().flags, kMouseRightUp);
}

TEST_F(KeyWatcherTest, RightHoldSurvivesTheClockWrapping) {
  os().clock = 0xFFFFFFFFu - 1000;
  fake::Press(vk::kRight);
  Tick();
  os().clock += 3000;  // wrapped past zero
  Tick();
  EXPECT_EQ(Clicks(kMouseRightDown), 2u);
  os().clock += 2000;  // exactly 5000 ms in
  Tick();
  EXPECT_EQ(Clicks(kMouseRightDown), 2u);
}

TEST_F(KeyWatcherTest, RightHoldIsTimedFromWhenTheFeatureIsEnabled) {
  state.WatchEnabled = false;
  fake::Press(vk::kRight);
  Tick();
  os().clock += 10000;
  Tick();
  EXPECT_EQ(Clicks(kMouseRightDown), 0u);
  state.WatchEnabled = true;
  Tick();
  os().clock += 4000;
  Tick();
  EXPECT_EQ(Clicks(kMouseRightDown), 2u);
}

TEST_F(KeyWatcherTest, SwappedButtonsGivePrimaryAndSecondaryClicksUnderTheSameRules) {
  os().buttonsSwapped = true;
  fake::Press(vk::kLeft);
  Tick();
  fake::Release(vk::kLeft);
  fake::Press(vk::kRight);
  Tick();
  os().clock += 5000;
  Tick();
  ASSERT_EQ(os().injected.size(), 4u) << "the secondary clicks keep their 5 s cap";
  EXPECT_EQ(os().injected[0].flags, kMouseRightDown);
  EXPECT_EQ(os().injected[1].flags, kMouseRightUp);
  EXPECT_EQ(os().injected[2].flags, kMouseLeftDown);
  EXPECT_EQ(os().injected[3].flags, kMouseLeftUp);
}

TEST_F(KeyWatcherTest, LeftAndRightTogetherGiveLeftPairThenRightPair) {
  fake::Press(vk::kLeft);
  fake::Press(vk::kRight);
  Tick();
  ASSERT_EQ(os().injected.size(), 4u);
  EXPECT_EQ(os().injected[0].flags, kMouseLeftDown);
  EXPECT_EQ(os().injected[1].flags, kMouseLeftUp);
  EXPECT_EQ(os().injected[2].flags, kMouseRightDown);
  EXPECT_EQ(os().injected[3].flags, kMouseRightUp);
}

TEST_F(KeyWatcherTest, OnOffKeyTogglesOncePerPress) {
  fake::Press(vk::kUp);
  Tick();
  EXPECT_FALSE(state.WatchEnabled);
  Tick();  // still the same press
  EXPECT_FALSE(state.WatchEnabled);
  fake::Press(vk::kLeft);
  Tick();
  EXPECT_EQ(Clicks(kMouseLeftDown), 0u) << "disabled";
  fake::Release(vk::kUp);
  Tick();
  fake::Press(vk::kUp);
  Tick();
  EXPECT_TRUE(state.WatchEnabled);
  EXPECT_EQ(Clicks(kMouseLeftDown), 0u) << "the left key is read before the toggle";
  Tick();
  EXPECT_EQ(Clicks(kMouseLeftDown), 1u);
}

TEST_F(KeyWatcherTest, OnOffPressInOwnWindowIsUsedUpWithoutToggling) {
  os().activeWindow = window.hWnd();
  fake::Press(vk::kUp);
  Tick();
  os().activeWindow = 0;  // another window comes to the front, key still held
  Tick();
  EXPECT_TRUE(state.WatchEnabled);
}

TEST_F(KeyWatcherTest, StopFlagSkipsTheKeysWithoutQueryingThem) {
  state.StopFlg = true;
  fake::Press(vk::kLeft);
  os().keyQueries.clear();
  Tick();
  EXPECT_TRUE(os().keyQueries.empty());
  EXPECT_TRUE(os().injected.empty());
  // A tap during the stop still reads down once after it.
  fake::Release(vk::kLeft);
  fake::Tap(vk::kLeft);
  state.StopFlg = false;
  Tick();
  EXPECT_EQ(Clicks(kMouseLeftDown), 1u);
}

TEST_F(KeyWatcherTest, EqualKeyCodesTriggerBothRolesOnOneTick) {
  state.KeyCodes[2] = vk::kLeft;
  fake::Press(vk::kLeft);
  Tick();
  EXPECT_EQ(Clicks(kMouseLeftDown), 1u);
  EXPECT_FALSE(state.WatchEnabled);
  // A tap reaches both roles too: the key is read once for both.
  fake::Release(vk::kLeft);
  Tick();
  fake::Tap(vk::kLeft);
  Tick();
  EXPECT_TRUE(state.WatchEnabled);
}

TEST_F(KeyWatcherTest, MinimisedVisibleWindowIsHiddenAlsoWhileStopped) {
  state.StopFlg = true;
  window.SetWindowState(1);
  Tick();
  EXPECT_FALSE(window.Visible());
  // A hidden window is left alone.
  fake::FormOf(window).showCount = 0;
  Tick();
  EXPECT_FALSE(window.Visible());
}

}  // namespace

TEST(AdminForegroundTest, BlockedWhereWindowsFiltersOurInputToTheWindowInFront) {
  // Levels: 2 medium, 3 high, 4 system, 0 unread. Under Wine every level
  // reads high, and elevation alone tells; a token we cannot read leaves it
  // to the message probe.
  struct Case {
    int own;
    bool ownElevated;
    int front;
    bool frontElevated;
    bool readable;
    bool filtered;
    bool blocked;
  };
  for (const Case c :
       {Case{2, false, 2, false, true, false, false}, Case{2, false, 3, true, true, false, true},
        Case{2, false, 3, false, true, false, true}, Case{3, true, 3, true, true, false, false},
        Case{3, true, 4, false, true, false, true},
        Case{3, false, 3, true, true, false, true},  // Wine
        Case{3, true, 3, false, true, false, false}, Case{0, false, 0, true, true, false, true},
        Case{0, false, 0, false, true, true, false}, Case{2, false, 0, false, false, true, true},
        Case{2, false, 0, false, false, false, false},  // protected, our level
        Case{3, true, 0, false, false, true, true}}) {
    fake::Reset();
    auto& os = fake::Get();
    os.ownElevation.elevated = c.ownElevated;
    os.ownElevation.integrity = static_cast<std::uint32_t>(c.own) << 12U;
    const os::Elevated front = !c.readable       ? os::Elevated::Unknown
                               : c.frontElevated ? os::Elevated::Yes
                                                 : os::Elevated::No;
    os.windowElevation = {{0x50, front}, {0x60, front}};
    os.windowIntegrity = {{0x50, c.front << 12U}, {0x60, c.front << 12U}};
    if (c.filtered) os.filteredWindows = {0x50, 0x60};
    key_watcher::AdminForeground watcher;
    const std::string at = std::to_string(c.own) + std::to_string(c.ownElevated) +
                           std::to_string(c.front) + std::to_string(c.frontElevated) +
                           std::to_string(c.readable) + std::to_string(c.filtered);
    os.foreground = 0x50;
    EXPECT_EQ(watcher.Update(), c.blocked) << at;
    EXPECT_EQ(watcher.Blocked(), c.blocked) << at;
    // The same window again: nothing is asked.
    EXPECT_FALSE(watcher.Update()) << at;
    os.foreground = 0x60;
    EXPECT_FALSE(watcher.Update()) << at;
    // A normal window, or none, in front: back.
    os.foreground = 0x70;
    EXPECT_EQ(watcher.Update(), c.blocked) << at;
    os.foreground = 0;
    EXPECT_FALSE(watcher.Update() || watcher.Blocked()) << at;
    // Once per window; the probe and one trace line for unreadable tokens only.
    using Windows = std::vector<platform::WindowHandle>;
    EXPECT_EQ(os.elevationQueries, (Windows{0x50, 0x60, 0x70})) << at;
    EXPECT_EQ(os.messageProbes, (c.readable ? Windows{} : Windows{0x50, 0x60})) << at;
    EXPECT_EQ(os.traces.size(), c.readable ? 0U : 1U) << at;
  }
}
