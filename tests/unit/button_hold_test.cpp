// A held mouse button clicks on its own past the hold delay; the windows
// see its downs and ups alternate, and only the user's own presses count.
#include <vector>

#include "platform/os_held_input.h"
#include "running_tool.h"

namespace {

using fake::ButtonEvent;
using platform::kMouseLeftDown;
using platform::kMouseRightDown;
using running::kIni;
using running::kStart;
using running::Tool;

class ButtonHoldTest : public FakeTest {
 protected:
  // A press wakes the window, as the hook's post does.
  static void User(Tool& tool, int button, bool down) {
    if (fake::UserButton(button, down)) tool.f1().NativeRawKeyDown();
  }
  static void Store(const wchar_t* key, const wchar_t* value) {
    GTIni::WriteIni(L"Config", key, value, kIni);
  }
  // Injected downs and the clock of the last one.
  static std::size_t Downs(std::uint32_t flag, std::uint32_t* last = nullptr) {
    std::size_t n = 0;
    for (const fake::Injected& e : fake::Get().injected) {
      if (e.flags != flag) continue;
      ++n;
      if (last != nullptr) *last = e.at;
    }
    return n;
  }
  // What reached the windows of button: downs and ups by turns, from a
  // down to an up.
  static ::testing::AssertionResult Alternate(int button) {
    bool down = false;
    for (const ButtonEvent& e : fake::Get().atWindows) {
      if (e.button != button) continue;
      if (e.down == down) return ::testing::AssertionFailure() << "two in a row";
      down = e.down;
    }
    if (down) return ::testing::AssertionFailure() << "left down";
    return ::testing::AssertionSuccess();
  }
};

TEST_F(ButtonHoldTest, AQuickPressStaysTheUsersOwnClickAndTheHookComesAndGoesWithTheKey) {
  Store(L"LeftKey", L"1");
  Tool tool(40);
  EXPECT_EQ(fake::WatchedButtons(), 1u);
  tool.Run(1000);
  ASSERT_TRUE(tool.f1().Timer1.Parked()) << "the hook wakes it";
  // 0 ms: no tick comes between, as while the window's thread is in a
  // modal loop; the hook alone decides.
  for (const std::uint32_t ms : {0U, 100U, 199U}) {
    User(tool, 0, true);
    EXPECT_FALSE(tool.f1().Timer1.Parked());
    tool.Run(ms);
    User(tool, 0, false);
    tool.Run(300);
  }
  EXPECT_TRUE(os().injected.empty());
  const ButtonEvent down{0, true};
  const ButtonEvent up{0, false};
  EXPECT_EQ(os().atWindows, (std::vector<ButtonEvent>{down, up, down, up, down, up}));
  EXPECT_TRUE(tool.f1().Timer1.Parked());

  fake::UserButton(0, true);  // still held when the key changes: never heard up
  fake::PressKeyIn(tool.f1().TextKey[0], 65);
  EXPECT_EQ(fake::WatchedButtons(), 0u);
  EXPECT_EQ(os::ButtonHeldMs(0), -1) << "else the tick would never park";
  fake::PressKeyIn(tool.f1().TextKey[1], 39);
  EXPECT_EQ(os().hookStarts, 1);
}

TEST_F(ButtonHoldTest, AHoldClicksEachPeriodAndTheWindowsSeeDownsAndUpsByTurnsToTheLastUp) {
  // Let go at a tick, inside one of our presses (20 ms), and between two.
  for (const std::uint32_t extra : {0U, 10U, 30U}) {
    fake::Reset();
    Store(L"LeftKey", L"1");
    Tool tool(40);
    tool.Run(1000);
    const std::uint32_t pressed = tool.Now();
    User(tool, 0, true);
    tool.Run(1000 + extra);
    const std::uint32_t released = tool.Now();
    User(tool, 0, false);
    tool.Run(500);
    std::uint32_t last = 0;
    EXPECT_EQ(Downs(kMouseLeftDown, &last), 21u) << extra;  // from 200 ms to 1000 ms
    EXPECT_EQ(os().injected.front().at, pressed + 200) << extra;
    EXPECT_LE(last, released) << extra;
    EXPECT_TRUE(Alternate(0)) << extra;
  }
}

TEST_F(ButtonHoldTest, NoneButTheUsersOwnHoldElsewhereClicksAndASwapClicksThePrimaryButton) {
  Store(L"LeftKey", L"1");
  Store(L"HoldDelay", L"10");  // cut to 50
  Tool tool(40);
  fake::OtherButton(0, true);  // a remote-play tool, an on-screen keyboard
  tool.Run(1000);
  fake::OtherButton(0, false);
  os().activeWindow = tool.f1().hWnd();  // our own window's boxes
  User(tool, 0, true);
  tool.Run(1000);
  User(tool, 0, false);
  EXPECT_TRUE(os().injected.empty());

  os().activeWindow = 0;
  os().buttonsSwapped = true;
  User(tool, 0, true);
  tool.Run(130);
  User(tool, 0, false);
  tool.Run(100);
  EXPECT_EQ(Downs(kMouseRightDown), 2u) << "at the ticks past 50 ms: 80 and 120";
  EXPECT_TRUE(Alternate(0));
}

TEST_F(ButtonHoldTest, TheSecondaryButtonClicksForFiveSecondsOfEachHold) {
  Store(L"RightKey", L"2");
  Tool tool(40);
  EXPECT_EQ(fake::WatchedButtons(), 2u);
  User(tool, 1, true);
  tool.Run(7000);
  User(tool, 1, false);
  EXPECT_EQ(Downs(kMouseRightDown), 125u);
  EXPECT_TRUE(Alternate(1));
}

TEST_F(ButtonHoldTest, AHoldEndsOverAnAdministratorsWindowAndWhenTheHookIsGone) {
  for (const bool admin : {true, false}) {
    fake::Reset();
    Store(L"LeftKey", L"1");
    Tool tool(40);
    User(tool, 0, true);
    tool.Run(400);
    if (admin) {
      os().windowElevation[0x50] = os::Elevated::Yes;
      os().foreground = 0x50;
      tool.f1().NativeForegroundChanged();
    } else {
      os().hookGone = true;
    }
    const std::size_t clicks = Downs(kMouseLeftDown);
    tool.Run(2000);  // the user's up goes unheard
    EXPECT_EQ(Downs(kMouseLeftDown), clicks + (admin ? 0 : 13)) << admin;
    EXPECT_EQ(os().hookStarts, admin ? 1 : 2);
    EXPECT_EQ(os().traces.size(), admin ? 0U : 1U);
  }
}

}  // namespace
