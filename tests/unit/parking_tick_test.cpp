// The watcher's tick parks while no key is held and wakes on a raw key-down,
// and the clicks stay what a tick every period would give.
#include "engine/parking_tick.h"

#include <functional>
#include <random>
#include <string>

#include "engine/GTIni.h"
#include "running_tool.h"

namespace {

using platform::kMouseLeftDown;
using platform::kMouseRightDown;

using running::kIni;
using running::kStart;
using running::Tool;

class ParkingTickTest : public FakeTest {
 protected:
  std::size_t Clicks(std::uint32_t downFlag) const {
    std::size_t n = 0;
    for (const auto& e : fake::Get().injected) n += e.flags == downFlag ? 1 : 0;
    return n;
  }
};

TEST_F(ParkingTickTest, ParksOnceIdleAndAwakeLongEnoughAndWakesWithThePress) {
  Tool tool(40);
  tool.Run(80);  // the flush tick, then one inside the first 100 ms
  EXPECT_FALSE(tool.f1().Timer1.Parked());
  tool.Run(40);
  EXPECT_TRUE(tool.f1().Timer1.Parked());
  EXPECT_EQ(tool.Armed(), 1000u) << "a heartbeat";
  EXPECT_EQ(tool.f1().Timer1.Interval(), 40) << "the interval stays";
  tool.Run(5000);
  EXPECT_EQ(tool.ticks, 3 + 5);

  tool.Press(vk::kLeft);
  EXPECT_EQ(Clicks(kMouseLeftDown), 1u) << "the first click comes with the press";
  EXPECT_EQ(fake::Get().injected.back().at, tool.Now());
  EXPECT_EQ(tool.Armed(), 40u);
  const int arms = fake::FormOf(tool.f1()).armCount;
  tool.Run(3);
  tool.f1().NativeRawKeyDown();  // an auto-repeat: nothing
  EXPECT_EQ(fake::FormOf(tool.f1()).armCount, arms);
  tool.Run(37);
  EXPECT_EQ(Clicks(kMouseLeftDown), 2u) << "then every period from the press";
  tool.Run(400);
  EXPECT_EQ(Clicks(kMouseLeftDown), 12u);
  fake::Release(vk::kLeft);
  tool.Run(40);
  EXPECT_TRUE(tool.f1().Timer1.Parked());
}

TEST_F(ParkingTickTest, AClickKeyRawInputHeardClicksThoughItsStateStillReadsUp) {
  Tool tool(40);
  tool.Run(1000);
  ASSERT_TRUE(tool.f1().Timer1.Parked());
  // Wine's cached key state still says up: raw input's word is enough.
  tool.f1().NativeRawKeyDown(vk::kLeft);
  EXPECT_EQ(Clicks(kMouseLeftDown), 1u);
  tool.f1().NativeRawKeyUp(vk::kLeft);
  tool.Run(40);
  EXPECT_EQ(Clicks(kMouseLeftDown), 1u) << "heard once, clicked once";
  // A repeat handled after the tick that read the release (and parked).
  tool.Press(vk::kLeft);
  tool.Run(40);
  fake::Release(vk::kLeft);
  tool.Run(40);
  const std::size_t held = Clicks(kMouseLeftDown);
  tool.f1().NativeRawKeyDown(vk::kLeft);
  tool.f1().NativeRawKeyUp(vk::kLeft);
  tool.Run(40);
  EXPECT_EQ(Clicks(kMouseLeftDown), held) << "no click after the release";
  // Not the on/off key: read down now, up from the cache at the next tick
  // and down after it, it would switch off and on again.
  tool.Run(1000);
  tool.f1().NativeRawKeyDown(vk::kUp);
  tool.Run(40);
  fake::Press(vk::kUp);
  tool.Run(40);
  fake::Release(vk::kUp);
  fake::Press(vk::kLeft);
  tool.Run(80);
  EXPECT_EQ(Clicks(kMouseLeftDown), held) << "switched off once";
}

TEST_F(ParkingTickTest, AWokenTickStaysAwakeTwoPeriodsAndLooksAgainSoonAfterReadingNothing) {
  Tool tool(500);
  tool.Run(1500);
  ASSERT_TRUE(tool.f1().Timer1.Parked());
  // A key-down whose first reading comes back up, as from a stale key state.
  tool.f1().NativeRawKeyDown();
  EXPECT_EQ(tool.Armed(), static_cast<std::uint32_t>(key_watcher::kRecheckMs));
  fake::Press(vk::kLeft);
  tool.Run(60);
  EXPECT_EQ(Clicks(kMouseLeftDown), 1u);
  EXPECT_EQ(tool.Armed(), 500u);
  fake::Release(vk::kLeft);
  tool.Run(500);
  EXPECT_FALSE(tool.f1().Timer1.Parked()) << "awake for two periods";
  tool.Run(500);
  EXPECT_TRUE(tool.f1().Timer1.Parked());
}

TEST_F(ParkingTickTest, HeartbeatStillSeesAnUnreportedKeyAndWakes) {
  Tool tool(40);
  tool.Run(200);
  ASSERT_TRUE(tool.f1().Timer1.Parked());
  fake::Press(vk::kRight);  // no raw key-down
  tool.Run(920);            // the heartbeat 1000 ms after parking at 1120
  EXPECT_EQ(Clicks(kMouseRightDown), 1u);
  EXPECT_EQ(tool.Armed(), 40u);
  tool.Run(40);
  EXPECT_EQ(Clicks(kMouseRightDown), 2u);
}

TEST_F(ParkingTickTest, NeverParksWithoutRawKeys) {
  os().rawKeysFail = true;
  Tool tool(40);
  tool.Run(2000);
  EXPECT_FALSE(tool.f1().Timer1.Parked());
  EXPECT_EQ(tool.ticks, 50);
}

TEST_F(ParkingTickTest, AMiddleOrSideButtonKeyIsHeardOnlyWhileParkedAndItsPressClicksAtOnce) {
  for (std::int32_t button : {4, 5, 6}) {
    fake::Reset();
    Tool tool(40);
    tool.f1().KeyCodes[0] = button;  // as loaded from config.ini
    fake::FakeForm& form = fake::FormOf(tool.f1());
    tool.Run(1000);
    ASSERT_TRUE(tool.f1().Timer1.Parked()) << button;
    EXPECT_TRUE(form.rawButtons);
    tool.Press(button);
    EXPECT_EQ(Clicks(kMouseLeftDown), 1u);
    // Awake, the tick reads the button; our own clicks must not come back as input.
    EXPECT_FALSE(form.rawButtons);
    tool.Run(400);
    EXPECT_EQ(Clicks(kMouseLeftDown), 11u);
    fake::Release(button);
    tool.Run(1000);
    EXPECT_TRUE(tool.f1().Timer1.Parked());
    EXPECT_TRUE(form.rawButtons);
    EXPECT_EQ(form.rawButtonCalls, 3);
  }
  {
    // Captured while parked with keyboard keys.
    fake::Reset();
    Tool tool(40);
    tool.Run(1000);
    fake::FakeForm& form = fake::FormOf(tool.f1());
    ASSERT_TRUE(tool.f1().Timer1.Parked());
    EXPECT_FALSE(form.rawButtons);
    fake::PressButtonIn(tool.f1().TextKey[1], 6);
    EXPECT_FALSE(tool.f1().Timer1.Parked());
    tool.Run(1000);
    EXPECT_TRUE(tool.f1().Timer1.Parked());
    EXPECT_TRUE(form.rawButtons);
    tool.Press(6);
    EXPECT_EQ(Clicks(kMouseRightDown), 1u);
  }
  // Without raw mouse input a parked tick would miss the press: it stays awake.
  fake::Reset();
  os().rawButtonsFail = true;
  Tool tool(40);
  tool.f1().KeyCodes[2] = 5;
  tool.Run(2000);
  EXPECT_FALSE(tool.f1().Timer1.Parked());
  EXPECT_EQ(tool.ticks, 50);
}

TEST_F(ParkingTickTest, TrayIconRetriesLeaveAParkedTickAlone) {
  os().failingAdds = 3;
  Tool tool(40);
  tool.Run(200);
  ASSERT_TRUE(tool.f1().Timer1.Parked());
  const int arms = fake::FormOf(tool.f1()).armCount;
  const int ticks = tool.ticks;
  for (int i = 0; i < 3; ++i) fake::FireWindowTimers();
  EXPECT_EQ(os().trayIcons.size(), 1u);
  EXPECT_EQ(fake::FormOf(tool.f1()).armCount, arms);
  EXPECT_EQ(tool.ticks, ticks);
  for (const auto& call : os().procCalls) EXPECT_NE(call.message, platform::kWmTimer);
}

TEST_F(ParkingTickTest, StopKeyCodeIntervalAndMinimiseWakeAParkedTick) {
  Tool tool(40);
  const auto parkThen = [&](const std::function<void()>& change) {
    tool.Run(1000);
    ASSERT_TRUE(tool.f1().Timer1.Parked());
    change();
    EXPECT_FALSE(tool.f1().Timer1.Parked());
  };
  // Stopped, a held key still lets the tick park.
  fake::ClickCheckBox(tool.f1().ChkStop);
  fake::Press(vk::kLeft);
  parkThen([&] { fake::ClickCheckBox(tool.f1().ChkStop); });
  tool.Run(40);
  EXPECT_EQ(Clicks(kMouseLeftDown), 1u);
  fake::Release(vk::kLeft);
  parkThen([&] { fake::PressKeyIn(tool.f1().TextKey[0], 65); });
  parkThen([&] { fake::Type(tool.f1().TextInterval, L"25"); });
  EXPECT_EQ(tool.Armed(), 25u);
  parkThen([&] { tool.Minimise(); });
  EXPECT_TRUE(tool.f1().Visible());
  tool.Run(25);
  EXPECT_FALSE(tool.f1().Visible());
}

// --- the property: parking changes no click ---

enum class Kind { Hold, Tap, OtherKey, OwnWindow, Stop, Minimise };

struct Episode {
  Kind kind;
  std::int32_t key = 0;
  std::uint32_t length = 0;  // ms the key is held
  std::uint32_t gap = 0;     // ms of quiet after it
};

// What one run gave, episode by episode.
struct Outcome {
  std::vector<std::size_t> leftClicks, rightClicks;
  std::vector<bool> enabled, visible;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> rightSpans;  // first, last click
  int idleTicks = 0;
};

std::vector<Episode> Timeline(std::mt19937& rng) {
  const std::int32_t keys[] = {vk::kLeft, vk::kRight, vk::kUp};
  std::vector<Episode> out;
  for (int i = 0; i < 40; ++i) {
    Episode e{static_cast<Kind>(rng() % 6)};
    e.key = keys[rng() % 3];
    e.length = e.kind == Kind::Hold ? 1 + rng() % (e.key == vk::kRight ? 7000 : 1500) : 0;
    e.gap = 1000 + rng() % 2500;  // the reference tick catches up; parks or not
    out.push_back(e);
  }
  return out;
}

Outcome Play(const std::vector<Episode>& timeline, int interval, bool rawKeys) {
  fake::Reset();
  mdlSubClass::Discard();
  fake::Get().rawKeysFail = !rawKeys;
  Tool tool(interval);
  Outcome out;
  tool.Run(1000);
  const auto injectedSince = [](std::size_t from, std::uint32_t flags) {
    std::vector<std::uint32_t> at;
    const auto& injected = fake::Get().injected;
    for (std::size_t i = from; i < injected.size(); ++i) {
      if (injected[i].flags == flags) at.push_back(injected[i].at);
    }
    return at;
  };
  for (const Episode& e : timeline) {
    const std::size_t mark = fake::Get().injected.size();
    switch (e.kind) {
      case Kind::Hold:
        tool.Press(e.key);
        // Auto-repeat: key-downs every 33 ms after 250 ms.
        for (std::uint32_t t = 0; t < e.length; ++t) {
          tool.Run(1);
          if (t >= 250 && t % 33 == 0) {
            fake::Repeat(e.key);
            tool.f1().NativeRawKeyDown();
          }
        }
        fake::Release(e.key);
        break;
      case Kind::Tap:
        tool.Tap(e.key);
        break;
      case Kind::OtherKey:
        tool.f1().NativeRawKeyDown();
        break;
      case Kind::OwnWindow:
        fake::Get().activeWindow = fake::Get().activeWindow == 0 ? tool.f1().hWnd() : 0;
        break;
      case Kind::Stop:
        fake::ClickCheckBox(tool.f1().ChkStop);
        break;
      case Kind::Minimise:
        if (tool.f1().Visible()) {
          tool.Minimise();
        } else {
          tool.f1().Show();
          tool.f1().SetWindowState(0);
        }
        break;
    }
    const int ticksBefore = tool.ticks;
    tool.Run(e.gap);
    // From a second into the quiet, nothing is held.
    out.idleTicks += tool.ticks - ticksBefore;
    const auto rights = injectedSince(mark, kMouseRightDown);
    out.leftClicks.push_back(injectedSince(mark, kMouseLeftDown).size());
    out.rightClicks.push_back(rights.size());
    out.rightSpans.emplace_back(rights.empty() ? 0 : rights.front(),
                                rights.empty() ? 0 : rights.back());
    out.enabled.push_back(tool.f1().WatchEnabled);
    out.visible.push_back(tool.f1().Visible());
  }
  return out;
}

TEST_F(ParkingTickTest, ParkingGivesTheClicksOfATickEveryPeriod) {
  for (const int interval : {1, 7, 40, 150, 500}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      std::mt19937 rng(seed * 1000 + static_cast<unsigned>(interval));
      const std::vector<Episode> timeline = Timeline(rng);
      const Outcome every = Play(timeline, interval, false);
      const Outcome parking = Play(timeline, interval, true);
      SCOPED_TRACE(testing::Message() << "interval " << interval << ", seed " << seed);
      for (std::size_t i = 0; i < timeline.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "episode " << i);
        EXPECT_NEAR(every.leftClicks[i], parking.leftClicks[i], 1.0);
        EXPECT_NEAR(every.rightClicks[i], parking.rightClicks[i], 1.0);
        EXPECT_EQ(every.enabled[i], parking.enabled[i]);
        EXPECT_EQ(every.visible[i], parking.visible[i]);
        const Episode& e = timeline[i];
        if (e.kind == Kind::Hold && e.key == vk::kRight && parking.rightClicks[i] > 0 &&
            e.length > 5000 + static_cast<std::uint32_t>(interval)) {
          // The right clicks end 5000 ms after the hold's first counted tick.
          const auto [first, last] = parking.rightSpans[i];
          EXPECT_LT(last - first, 5000u);
          EXPECT_GE(last - first + static_cast<std::uint32_t>(interval), 5000u);
        }
      }
      EXPECT_LT(parking.idleTicks, every.idleTicks / 4 + 200) << "parked while idle";
    }
  }
}

}  // namespace

// Each click holds its button for the press time; the ups keep their time
// however the hold ends, and are owed again while Windows refuses them.
class PressTest : public ParkingTickTest {
 protected:
  // Every event as "flags@ms since the first", to compare at a glance.
  static std::vector<std::string> Events() {
    std::vector<std::string> out;
    const auto& all = fake::Get().injected;
    for (const auto& e : all) {
      out.push_back(std::to_string(e.flags) + "@" + std::to_string(e.at - all.front().at));
    }
    return out;
  }
  using V = std::vector<std::string>;
};

TEST_F(PressTest, DefaultPressIsHalfThePeriodAtMost50AndTheSettingIsCut) {
  for (const auto& [period, press] :
       std::vector<std::pair<int, int>>{{1, 0}, {2, 1}, {40, 20}, {99, 49}, {100, 50}, {999, 50}}) {
    EXPECT_EQ(key_watcher::PressFor(-1, period), press) << period;
  }
  EXPECT_EQ(key_watcher::PressFor(0, 40), 0);
  EXPECT_EQ(key_watcher::PressFor(500, 40), 39);
  EXPECT_EQ(key_watcher::PressFor(7, 1), 0);
  for (const auto& [stored, press] : std::vector<std::pair<const wchar_t*, int>>{
           {L"", 20}, {L"-3", 20}, {L"x1", 20}, {L"99999999999", 20}, {L"0", 0}, {L"15", 15}}) {
    fake::Reset();
    GTIni::WriteIni(L"Config", L"PressTime", stored, kIni);
    Tool tool(40);
    EXPECT_EQ(key_watcher::PressFor(tool.f1().PressTime, 40), press) << stored;
    EXPECT_TRUE(fake::Get().traces.empty());
  }
  fake::Reset();
  Tool(40).f1().Unload();
  EXPECT_EQ(fake::FileText(kIni).find(L"PressTime"), std::wstring::npos) << "never written";
}

TEST_F(PressTest, DownAtTheTickUpAPressLaterAndBothButtonsOweTheirOwn) {
  Tool tool(40);
  tool.Run(200);
  fake::Press(vk::kLeft);
  tool.Press(vk::kRight);
  tool.Run(60);
  fake::Release(vk::kLeft);
  fake::Release(vk::kRight);
  tool.Run(200);
  EXPECT_EQ(Events(), (V{"2@0", "8@0", "4@20", "16@20", "2@40", "8@40", "4@60", "16@60"}));
}

TEST_F(PressTest, EveryWayAHoldEndsStillSendsTheUpAtItsTime) {
  const std::vector<std::function<void(Tool&)>> ends = {
      [](Tool&) { fake::Release(vk::kLeft); },
      [](Tool& t) { t.Tap(vk::kUp); },
      [](Tool& t) { fake::ClickCheckBox(t.f1().ChkStop); },
      [](Tool& t) { fake::Get().activeWindow = t.f1().hWnd(); },
      [](Tool& t) { fake::Type(t.f1().TextInterval, L"300"); },
      [](Tool& t) { t.Minimise(); },
      [](Tool&) { fake::Get().buttonsSwapped = true; },
  };
  for (std::size_t i = 0; i < ends.size(); ++i) {
    fake::Reset();
    Tool tool(40);
    tool.Run(200);
    tool.Press(vk::kLeft);
    tool.Run(5);
    ends[i](tool);
    tool.Run(30);
    fake::Release(vk::kLeft);
    tool.Run(1000);
    EXPECT_EQ(Events(), (V{"2@0", "4@20"})) << "end " << i;
  }
  // Ending the tool sends it at once.
  fake::Reset();
  GTIni::WriteIni(L"Config", L"PressTime", L"150", kIni);
  Tool tool(200);
  tool.Run(1000);
  tool.Press(vk::kLeft);
  tool.Run(1);
  tool.f1().Unload();
  EXPECT_EQ(Events(), (V{"2@0", "4@1"}));
}

TEST_F(PressTest, ARefusedUpGoesAgainEvery100MsWhileTheTickParks) {
  Tool tool(40);
  tool.Run(200);
  tool.Press(vk::kLeft);
  fake::Release(vk::kLeft);
  fake::Get().inputsTaken = 0;
  tool.Run(400);
  EXPECT_TRUE(tool.f1().Timer1.Parked());
  EXPECT_EQ(fake::Get().traces.size(), 1u);
  tool.Press(vk::kLeft);  // no down while its up is owed
  fake::Release(vk::kLeft);
  fake::Get().inputsTaken = 1;
  tool.Run(400);
  EXPECT_EQ(Events(), (V{"2@0", "4@500"}));
  // A pair cut after its down owes the up; a refused down owes nothing.
  fake::Get().alarmFloorMs = 30;
  tool.Press(vk::kLeft);
  fake::Release(vk::kLeft);
  tool.Run(400);
  fake::Get().inputsTaken = 0;
  tool.Press(vk::kLeft);
  fake::Release(vk::kLeft);
  tool.Run(400);
  EXPECT_EQ(Events(), (V{"2@0", "4@500", "2@800", "4@800"}));
  EXPECT_EQ(fake::Get().traces.size(), 1u);
}
