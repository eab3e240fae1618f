// A held skill key repeats past the hold delay; the windows see its downs
// and ups alternate, and only the user's own presses count.
#include <vector>

#include "platform/os_held_input.h"
#include "running_tool.h"

namespace {

using fake::KeyEvent;
using running::kIni;
using running::Tool;

constexpr std::int32_t kF1 = 112;
constexpr std::int32_t kF4 = 115;

class SkillRepeatTest : public FakeTest {
 protected:
  // A press wakes the window, as the hook's post does.
  static void User(Tool& tool, std::int32_t key, bool down) {
    if (fake::UserKey(key, down)) tool.f1().NativeRawKeyDown();
  }
  // Held for ms, with the keyboard's own repeats from 500 ms, every 40 ms.
  static void Hold(Tool& tool, std::int32_t key, std::uint32_t ms) {
    User(tool, key, true);
    for (std::uint32_t t = 0; t < ms; t += 10) {
      tool.Run(10);
      if (t >= 500 && t % 40 == 0) User(tool, key, true);
    }
    User(tool, key, false);
  }
  static void Store(const wchar_t* key, const wchar_t* value) {
    GTIni::WriteIni(L"Config", key, value, kIni);
  }
  // New downs of key at the windows, checking that downs and ups come by
  // turns and end with an up; a keyboard's repeat of a down, unless strict.
  static int Downs(std::int32_t key, bool strict = false) {
    int downs = 0;
    bool down = false;
    for (const KeyEvent& e : fake::Get().keysAtWindows) {
      if (e.key != key || (e.down && down && !strict)) continue;
      if (e.down == down) return -1;
      down = e.down;
      downs += down ? 1 : 0;
    }
    return down ? -2 : downs;
  }
};

TEST_F(SkillRepeatTest, AHeldKeyPressesEachPeriodAndAQuickOneOrAnotherProgramsStaysOnePress) {
  Store(L"SkillKeys", L"112");
  Tool tool(40);
  EXPECT_TRUE(os().keyHook);
  Hold(tool, kF1, 100);
  fake::OtherKey(kF1, true);  // a remote-play tool, an on-screen keyboard
  tool.Run(1000);
  fake::OtherKey(kF1, false);
  EXPECT_EQ(Downs(kF1, true), 2);
  ASSERT_TRUE(tool.f1().Timer1.Parked());

  // Ticks from 200 to 1000 ms: the first one's down goes into the user's
  // press, and the keyboard's repeats never come between.
  fake::Get().keysAtWindows.clear();
  Hold(tool, kF1, 1010);
  tool.Run(100);
  EXPECT_EQ(Downs(kF1, true), 21);
  EXPECT_TRUE(tool.f1().Timer1.Parked());
}

TEST_F(SkillRepeatTest, NoRepeatInAShortcutInOurOwnWindowOrSwitchedOffAndAStopLeavesTheKeyUp) {
  Store(L"SkillKeys", L"115,112");
  Tool tool(40);
  fake::Press(vk::kAlt);
  Hold(tool, kF4, 1000);  // a held Alt+F4 closes one window
  fake::Release(vk::kAlt);
  os().activeWindow = tool.f1().hWnd();
  Hold(tool, kF1, 1000);
  os().activeWindow = 0;
  tool.f1().WatchEnabled = false;  // the on/off key
  Hold(tool, kF1, 1000);
  tool.f1().WatchEnabled = true;
  EXPECT_EQ(Downs(kF4), 1);
  EXPECT_EQ(Downs(kF1), 2);

  // Stopped mid-hold, and over an administrator's window, where the
  // user's up goes unheard.
  fake::Get().keysAtWindows.clear();
  User(tool, kF1, true);
  tool.Run(410);
  fake::ClickCheckBox(tool.f1().ChkStop);
  tool.Run(100);
  EXPECT_EQ(fake::Get().keysAtWindows.back(), (KeyEvent{kF1, false}));
  fake::ClickCheckBox(tool.f1().ChkStop);
  tool.Run(100);
  const std::size_t seen = fake::Get().keysAtWindows.size();
  os().windowElevation[0x50] = os::Elevated::Yes;
  os().foreground = 0x50;
  tool.f1().NativeForegroundChanged();
  tool.Run(1000);
  EXPECT_LE(fake::Get().keysAtWindows.size(), seen + 1) << "its owed up at most";
  EXPECT_GT(Downs(kF1, true), 5);
  EXPECT_EQ(os::KeyHeldMs(kF1), -1);
}

TEST_F(SkillRepeatTest, AKeyBoxsKeyKeepsItsRoleAndTheHookComesAndGoesWithTheList) {
  Store(L"SkillKeys", L"112,37");  // 37: the left-click key
  Tool tool(40);
  Hold(tool, vk::kLeft, 1000);
  EXPECT_EQ(Downs(vk::kLeft), 1) << "the user's own press, and none of ours";
  EXPECT_TRUE(os().keyHook);
  fake::ClickCheckBox(tool.f1().ChkF[0]);
  EXPECT_FALSE(os().keyHook);
  tool.f1().Unload();
  EXPECT_EQ(os().writes.back(), L"Config/SkillKeys=37");
}

}  // namespace
