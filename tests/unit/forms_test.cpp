// The toolkit's event rules and the two forms built on them.
#include <algorithm>

#include "engine/GTIni.h"
#include "fixture.h"
#include "windows/Form1.h"
#include "windows/Form2.h"
#include "windows/app.h"

namespace {

const std::wstring kIni = L"C:\\Tools\\Yorisen\\config.ini";

// --- toolkit rules ---

class ToolkitTest : public FakeTest {};

TEST_F(ToolkitTest, ProgramWrittenTextIsCutAndRunsChangeBeforeReturning) {
  PlainForm form;
  ui::TextBox box(form, nullptr, {0, 0, 10, 10}, 0, {3, false});
  form.Load();
  std::vector<std::wstring> seen;
  box.Change = [&] { seen.push_back(box.Text()); };
  box.SetText(L"5000");
  EXPECT_EQ(box.Text(), L"500");
  EXPECT_EQ(fake::FormOf(form).controls[&box].text, L"500");
  box.SetText(L"500");  // no change, no event
  EXPECT_EQ(seen, std::vector<std::wstring>{L"500"});
  form.Unload();
}

TEST_F(ToolkitTest, CheckBoxChangesRunClickAndUserClicksFlipIt) {
  PlainForm form;
  ui::CheckBox box(form, nullptr, L"c", {0, 0, 10, 10}, 0);
  form.Load();
  int clicks = 0;
  box.Click = [&] { ++clicks; };
  box.SetValue(ui::CheckBox::kGrayed);
  fake::ClickCheckBox(box);
  EXPECT_EQ(box.Value(), ui::CheckBox::kChecked);
  fake::ClickCheckBox(box);
  EXPECT_EQ(box.Value(), ui::CheckBox::kUnchecked);
  box.SetValue(ui::CheckBox::kUnchecked);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(fake::FormOf(form).controls[&box].check, 0);
  form.Unload();
}

class Unloader : public PlainForm {
 public:
  std::function<void()> onUnload;
  int unloads = 0;

 protected:
  void Form_Unload(std::int16_t&) override {
    ++unloads;
    if (onUnload) onUnload();
  }
};

TEST_F(ToolkitTest, UnloadRuleStopsMutualUnloadsAndTheLastFormEndsTheProgram) {
  Unloader a, b;
  a.onUnload = [&] { b.Unload(); };
  b.onUnload = [&] { a.Unload(); };
  a.Load();
  b.Load();
  a.Unload();
  EXPECT_EQ(a.unloads, 1);
  EXPECT_EQ(b.unloads, 1);
  EXPECT_FALSE(a.Loaded());
  EXPECT_FALSE(b.Loaded());
  EXPECT_EQ(os().programEnded, 1);
  a.Unload();  // not loaded: nothing
  EXPECT_EQ(a.unloads, 1);
}

TEST_F(ToolkitTest, TimerTicksOnlyWhileEnabledWithAPositiveInterval) {
  PlainForm form;
  ui::Timer timer(form);
  int ticks = 0;
  timer.Tick = [&] { ++ticks; };
  timer.SetInterval(40);
  form.Load();
  EXPECT_TRUE(fake::FormOf(form).armedTimers.empty()) << "created disabled";
  timer.SetEnabled(true);
  EXPECT_EQ(fake::FormOf(form).armedTimers.at(&timer), 40u);
  timer.SetInterval(7);
  EXPECT_EQ(fake::FormOf(form).armedTimers.at(&timer), 7u) << "re-armed at once";
  fake::FormOf(form).TickTimers();
  timer.SetInterval(0);
  EXPECT_TRUE(fake::FormOf(form).armedTimers.empty());
  EXPECT_EQ(ticks, 1);
  form.Unload();
}

// --- the tool's forms ---

class FormsTest : public FakeTest {
 protected:
  void Start() {
    forms = std::make_unique<Forms>();
    forms->form1.Load();
    forms->form1.Show();
  }
  void TearDown() override {
    forms.reset();
    FakeTest::TearDown();
  }
  Form1& f1() { return forms->form1; }
  Form2& f2() { return forms->form2; }
  void Store(const wchar_t* key, const wchar_t* value) {
    GTIni::WriteIni(L"Config", key, value, kIni);
  }
  LResult TrayCallback(LParam mouse) {
    return fake::Dispatch(f1().hWnd(), CTray::kCallbackMessage, 0, mouse);
  }
  std::unique_ptr<Forms> forms;
};

TEST_F(FormsTest, FirstStartShowsTheDefaults) {
  Start();
  EXPECT_EQ(f1().TextKey[0].Text(), L"37");
  EXPECT_EQ(f1().TextKey[1].Text(), L"39");
  EXPECT_EQ(f1().TextKey[2].Text(), L"38");
  EXPECT_EQ(f1().TextInterval.Text(), L"40");
  EXPECT_EQ(f1().Timer1.Interval(), 40);
  EXPECT_TRUE(f1().Timer1.Enabled());
  EXPECT_EQ(f1().ChkStop.Value(), 0);
  EXPECT_TRUE(f1().WatchEnabled);
  EXPECT_FALSE(f1().StopFlg);
  EXPECT_TRUE(f1().FirstTick);
  EXPECT_FALSE(f2().Loaded()) << "created on first use only";
  ASSERT_EQ(os().trayCalls.size(), 1u);
  EXPECT_EQ(os().trayCalls[0].message, platform::kNimAdd);
  EXPECT_EQ(os().trayCalls[0].data.hWnd, f1().hWnd());
  EXPECT_NE(os().trayCalls[0].data.hIcon, 0u);
  EXPECT_EQ(f1().mTray->ToolTipText(), L"Yorisen（仮名）");
}

TEST_F(FormsTest, SettingsAreReadOnceInOrderFromBesideTheExe) {
  os().modulePath = L"E:\\yorisen.exe";
  Start();
  EXPECT_EQ(GTIni::IniPath, L"E:\\config.ini");
  EXPECT_EQ(os().reads,
            (std::vector<std::wstring>{L"Config/LeftKey", L"Config/RightKey", L"Config/OnOffKey",
                                       L"Config/Interval", L"Config/PressTime", L"Config/HoldDelay",
                                       L"Config/Programs", L"Config/SkillKeys"}));
}

TEST_F(FormsTest, StoredSettingsAreReadAndBadOnesGiveTheirDefaults) {
  Store(L"LeftKey", L"65");
  Store(L"RightKey", L"abc");
  Store(L"OnOffKey", L"99999999999");
  Store(L"Interval", L"100");
  Start();
  EXPECT_EQ(f1().KeyCodes[0], 65);
  EXPECT_EQ(f1().KeyCodes[1], 39);
  EXPECT_EQ(f1().KeyCodes[2], 38);
  EXPECT_EQ(f1().TextKey[0].Text(), L"65");
  EXPECT_EQ(f1().Timer1.Interval(), 100);
}

TEST_F(FormsTest, AButtonAKeyMayNotBeShowsAsTheDefault) {
  Store(L"LeftKey", L"2");
  Store(L"RightKey", L"2");
  Store(L"OnOffKey", L"1");
  Start();
  EXPECT_EQ(f1().TextKey[0].Text(), L"37");
  EXPECT_EQ(f1().TextKey[1].Text(), L"2");
  EXPECT_EQ(f1().TextKey[2].Text(), L"38");
}

TEST_F(FormsTest, StoredIntervalPassesThroughTheBoxRule) {
  struct Case {
    const wchar_t* stored;
    const wchar_t* shown;
    std::int32_t interval;
  };
  for (const Case c : {Case{L"5000", L"500", 500}, Case{L"0", L"1", 1}, Case{L"-5", L"40", 40},
                       Case{L"007", L"7", 7}, Case{L"x", L"40", 40}, Case{L"1", L"1", 1}}) {
    fake::Reset();
    Store(L"Interval", c.stored);
    Start();
    EXPECT_EQ(f1().TextInterval.Text(), c.shown) << "stored " << std::wstring(c.stored).size();
    EXPECT_EQ(f1().Timer1.Interval(), c.interval);
    EXPECT_EQ(fake::FormOf(f1()).armedTimers.at(&f1().Timer1),
              static_cast<std::uint32_t>(c.interval));
    forms.reset();
    mdlSubClass::Discard();
  }
}

TEST_F(FormsTest, IntervalBoxKeepsDigitsOnly) {
  Start();
  auto& box = f1().TextInterval;
  fake::Type(box, L"");
  EXPECT_EQ(box.Text(), L"1");
  EXPECT_EQ(f1().Timer1.Interval(), 1);
  fake::Type(box, L"25");
  EXPECT_EQ(f1().LastInterval, 25);
  fake::Type(box, L"25a");
  EXPECT_EQ(box.Text(), L"25") << "a letter restores the last value";
  fake::Type(box, L"000");
  EXPECT_EQ(box.Text(), L"1");
  fake::Type(box, L"007");
  EXPECT_EQ(box.Text(), L"007");
  EXPECT_EQ(f1().Timer1.Interval(), 7);
  // Typed digits come in plain, with no input method to widen them...
  EXPECT_FALSE(fake::FormOf(f1()).controls[&box].inputMethod);
  EXPECT_FALSE(fake::FormOf(f1()).controls[&f1().TextKey[0]].inputMethod);
  // ...but full-width ones pasted in are still refused.
  fake::Type(box, L"９");
  EXPECT_EQ(box.Text(), L"7") << "full-width digits are refused";
  fake::Type(box, L"9999");
  EXPECT_EQ(box.Text(), L"999");
  EXPECT_EQ(f1().Timer1.Interval(), 999);
  box.SetText(L"5000");
  EXPECT_EQ(box.Text(), L"500");
  EXPECT_EQ(f1().Timer1.Interval(), 500);
}

TEST_F(FormsTest, KeyBoxesCaptureEveryKeyButAlt) {
  Start();
  fake::PressKeyIn(f1().TextKey[1], 65);
  EXPECT_EQ(f1().KeyCodes[1], 65);
  EXPECT_EQ(f1().TextKey[1].Text(), L"65");
  fake::PressKeyIn(f1().TextKey[1], 18);
  EXPECT_EQ(f1().KeyCodes[1], 65);
  EXPECT_EQ(f1().TextKey[1].Text(), L"65");
  fake::PressKeyIn(f1().TextKey[0], 16);
  EXPECT_EQ(f1().KeyCodes[0], 16);
  fake::PressKeyIn(f1().TextKey[2], 17);
  EXPECT_EQ(f1().TextKey[2].Text(), L"17");
  // The tip names the key, and follows every capture; its second line says how.
  const auto tip = [&](int i) {
    const std::wstring& text = fake::FormOf(f1()).controls[&f1().TextKey[i]].toolTip;
    return text.substr(0, text.find(L'\n'));
  };
  EXPECT_EQ(fake::FormOf(f1()).controls[&f1().TextKey[1]].toolTip,
            L"65\nキーかボタンを押して設定（右ボタンは1秒長押し）");
  EXPECT_EQ(tip(2), L"17");
  fake::PressKeyIn(f1().TextKey[2], 39);
  EXPECT_EQ(tip(2), L"Right (39)");
  // The middle and side buttons pressed over a box are its keys; the
  // interval box ignores them.
  fake::PressButtonIn(f1().TextKey[0], 4);
  fake::PressButtonIn(f1().TextKey[1], 5);
  fake::PressButtonIn(f1().TextKey[2], 6);
  fake::PressButtonIn(f1().TextInterval, 5);
  EXPECT_EQ(f1().KeyCodes, (std::array<std::int32_t, 4>{4, 5, 6, 0}));
  EXPECT_EQ(f1().TextKey[1].Text(), L"5");
  EXPECT_EQ(f1().TextInterval.Text(), L"40");
  EXPECT_EQ(tip(0), L"マウス中ボタン (4)");
  EXPECT_EQ(tip(1), L"マウス X1 ボタン (5)");
  EXPECT_EQ(tip(2), L"マウス X2 ボタン (6)");

  // The primary and secondary buttons, each held a second over its own box
  // and let go there; a shorter hold, or the other box, is a click.
  const auto hold = [&](int i, std::int16_t button, std::uint32_t ms) {
    f1().TextKey[i].NativeButtonPressed(button, 5000);
    return f1().TextKey[i].NativeButtonReleased(button, 5000 + ms);
  };
  EXPECT_FALSE(hold(0, 1, 999) || hold(0, 2, 1000) || hold(1, 1, 1000) || hold(2, 1, 5000) ||
               hold(2, 2, 5000));
  EXPECT_FALSE(f1().TextKey[0].NativeButtonReleased(1, 9000)) << "pressed elsewhere";
  EXPECT_EQ(f1().KeyCodes, (std::array<std::int32_t, 4>{4, 5, 6, 0}));
  EXPECT_EQ(fake::WatchedButtons(), 0u);
  EXPECT_TRUE(hold(0, 1, 1000) && hold(1, 2, 1500));
  EXPECT_EQ(f1().KeyCodes, (std::array<std::int32_t, 4>{1, 2, 6, 0}));
  EXPECT_EQ(tip(0), L"マウス左ボタン (1)");
  EXPECT_EQ(tip(1), L"マウス右ボタン (2)");
  EXPECT_EQ(fake::WatchedButtons(), 3u);
}

TEST_F(FormsTest, KeyBoxesLeaveAltCombinationsShiftTabAndChordsAlone) {
  Start();
  ui::TextBox& box = f1().TextKey[0];
  const auto down = [&](std::int16_t key, std::int16_t shift) {
    std::int16_t code = key;
    return box.NativeKeyDown(code, shift);
  };
  // Alt+F4 and Alt+Space keep their system meaning.
  EXPECT_FALSE(down(18, 4));
  EXPECT_FALSE(down(115, 4));
  EXPECT_FALSE(down(32, 4));
  EXPECT_FALSE(box.NativeKeyUp(115));
  EXPECT_EQ(f1().KeyCodes[0], 37);
  // F10 alone is a key: captured, its release swallowed so no menu opens.
  EXPECT_TRUE(down(121, 0));
  EXPECT_EQ(f1().KeyCodes[0], 121);
  EXPECT_TRUE(box.NativeKeyUp(121));
  // Shift+Tab: the Tab never reaches the box, the focus leaves it.
  EXPECT_FALSE(down(16, 1));
  EXPECT_FALSE(down(16, 1));  // auto-repeat
  box.NativeFocusLost();
  box.NativeKeyUp(16);
  EXPECT_EQ(f1().KeyCodes[0], 121);
  // Shift+A is A; Ctrl+Shift is no lone key.
  down(16, 1);
  down(65, 1);
  box.NativeKeyUp(65);
  box.NativeKeyUp(16);
  EXPECT_EQ(f1().KeyCodes[0], 65);
  down(17, 2);
  down(16, 3);
  box.NativeKeyUp(16);
  box.NativeKeyUp(17);
  EXPECT_EQ(f1().KeyCodes[0], 65);
  // A lone Ctrl counts on its release, in the box that saw it go down.
  down(17, 2);
  EXPECT_EQ(f1().KeyCodes[0], 65);
  f1().TextKey[1].NativeKeyUp(17);
  EXPECT_EQ(f1().KeyCodes[1], 39);
  box.NativeKeyUp(17);
  EXPECT_EQ(f1().KeyCodes[0], 17);
}

TEST_F(FormsTest, EachLabelComesRightBeforeItsBoxAndFocusOrderIsKept) {
  Start();
  const std::vector<ui::Control*> order = f1().CreationOrder();
  const auto before = [&](const ui::Control& c) {
    const auto it = std::find(order.begin(), order.end(), &c);
    return it == order.begin() || it == order.end() ? nullptr : *(it - 1);
  };
  EXPECT_EQ(before(f1().TextKey[0]), &f1().LblLeft);
  EXPECT_EQ(before(f1().TextKey[1]), &f1().LblRight);
  EXPECT_EQ(before(f1().TextKey[2]), &f1().LblOnOff);
  EXPECT_EQ(before(f1().TextInterval), &f1().LblInterval);
  std::vector<const ui::Control*> focusable;
  for (const ui::Control* c : order) {
    if (c->Kind() == ui::ControlKind::TextBox || c->Kind() == ui::ControlKind::CheckBox)
      focusable.push_back(c);
  }
  std::vector<const ui::Control*> expected{&f1().TextKey[0], &f1().TextKey[1], &f1().TextKey[2],
                                           &f1().ChkStop, &f1().TextInterval};
  for (const ui::CheckBox& box : f1().ChkF) expected.push_back(&box);
  EXPECT_EQ(focusable, expected);
  EXPECT_EQ(order.back()->Kind(), ui::ControlKind::Frame) << "frames stay behind what they hold";
  EXPECT_EQ(order[order.size() - 2]->Kind(), ui::ControlKind::Frame);
  EXPECT_EQ(order.size(), f1().Controls().size());
}

TEST_F(FormsTest, StopCheckBoxAndMenuItemAlternateTogether) {
  Start();
  fake::ClickCheckBox(f1().ChkStop);
  EXPECT_TRUE(f1().StopFlg);
  EXPECT_TRUE(f2().Loaded());
  EXPECT_FALSE(f2().Visible()) << "never shown";
  EXPECT_TRUE(f2().OptStop.Checked());
  EXPECT_TRUE(fake::FormOf(f2()).menuChecks.at(&f2().OptStop));
  fake::ClickCheckBox(f1().ChkStop);
  EXPECT_FALSE(f1().StopFlg);
  EXPECT_FALSE(f2().OptStop.Checked());
  // The menu's stop item toggles the box, which toggles the rest.
  f2().NativeCommand(f2().OptStop.Id());
  EXPECT_EQ(f1().ChkStop.Value(), 1);
  EXPECT_TRUE(f1().StopFlg);
  EXPECT_TRUE(f2().OptStop.Checked());
  f2().NativeCommand(f2().OptStop.Id());
  EXPECT_EQ(f1().ChkStop.Value(), 0);
  EXPECT_FALSE(f2().OptStop.Checked());
}

TEST_F(FormsTest, IconsAndTrayTipShowWhetherClicksCanComeWithOneModifyPerChange) {
  // o: the on/off key tapped in another program; s: the stop box clicked;
  // m: the menu's stop item chosen; t: a tick with nothing pressed; a, n: an
  // administrator's or a normal program's window comes in front, and a tick;
  // l: only that normal program is listed; x: another comes in front, and
  // the foreground's signal. While stopped, the on/off key is not read.
  struct Case {
    const char* steps;
    // After each step: 1 clicks can come, 0 they cannot, b nor can they in
    // front of an administrator's window, x nor in a program not listed,
    // which the tip names.
    const char* on;
  };
  for (const Case c :
       {Case{"ot", "00"}, Case{"oo", "01"}, Case{"so", "00"}, Case{"sos", "001"},
        Case{"sooms", "00010"}, Case{"mtms", "0010"}, Case{"osmo", "0001"}, Case{"atn", "bb1"},
        Case{"oanon", "0b011"}, Case{"asnsa", "bb01b"}, Case{"mana", "0b0b"},
        Case{"lxonx", "1xx1x"}, Case{"lnoxo", "11000"}, Case{"lxaxs", "1xbx0"}}) {
    fake::Reset();
    Start();
    os().activeWindow = 0;
    os().windowElevation[0x50] = os::Elevated::Yes;
    f1().Timer1.NativeTick();  // the flush tick
    const std::size_t callsBefore = os().trayCalls.size();
    const platform::IconHandle colour = os().trayCalls.back().data.hIcon;
    char shown = '1';
    int changes = 0;
    for (std::size_t i = 0; c.steps[i] != '\0'; ++i) {
      switch (c.steps[i]) {
        case 'o':
          fake::Tap(vk::kUp);
          f1().NativeRawKeyDown();
          f1().Timer1.NativeTick();
          f1().Timer1.NativeTick();  // reads it up again
          break;
        case 's':
          fake::ClickCheckBox(f1().ChkStop);
          break;
        case 'm':
          f2().NativeCommand(f2().OptStop.Id());
          break;
        case 'a':
        case 'n':
          os().foreground = c.steps[i] == 'a' ? 0x50 : 0x60;
          f1().Timer1.NativeTick();
          break;
        case 'l':
          f1().Programs.SetList(L"app96.exe");
          break;
        case 'x':
          os().foreground = 0x70;
          f1().NativeForegroundChanged();
          break;
        default:
          f1().Timer1.NativeTick();
          break;
      }
      const bool on = c.on[i] == '1';
      changes += c.on[i] != shown ? 1 : 0;
      shown = c.on[i];
      const std::string at = std::string(c.steps) + " step " + std::to_string(i);
      EXPECT_EQ(f1().mTray->Record().hIcon == colour, on) << at;
      EXPECT_EQ(f1().mTray->ToolTipText(),
                std::wstring(L"Yorisen（仮名）") +
                    (on               ? L""
                     : c.on[i] == 'b' ? L"\n管理者として実行中のウィンドウでは使えません"
                     : c.on[i] == 'x' ? L"\n登録していないプログラムでは使いません"
                                      : L"\nOFF"))
          << at;
      EXPECT_EQ(fake::FormOf(f1()).iconGreyed, !on) << at;
      EXPECT_EQ(f1().Icon()->handle, f1().mTray->Record().hIcon) << at;
    }
    // One modify per change of state, and none for the ticks between.
    EXPECT_EQ(os().trayCalls.size() - callsBefore, static_cast<std::size_t>(changes)) << c.steps;
    for (std::size_t k = callsBefore; k < os().trayCalls.size(); ++k)
      EXPECT_EQ(os().trayCalls[k].message, platform::kNimModify);
    // A new taskbar (or the primary display's DPI changed) gets one add of
    // icons loaded anew, in the state shown; so does the window.
    const std::size_t callsBeforeNew = os().trayCalls.size();
    fake::Dispatch(f1().hWnd(), f1().mTray->TaskbarCreatedMsg(), 0, 0);
    // The add comes first (this fake shell kept the icon: a modify follows).
    EXPECT_EQ(os().trayCalls.at(callsBeforeNew).message, platform::kNimAdd) << c.steps;
    const auto& add = os().trayCalls.back();
    EXPECT_EQ(add.data.hIcon, f1().Icon()->handle) << c.steps;
    EXPECT_NE(add.data.hIcon & ~platform::IconHandle{0x100000}, colour) << c.steps;
    EXPECT_EQ((add.data.hIcon & 0x100000) == 0, shown == '1') << c.steps;
    EXPECT_EQ(fake::FormOf(f1()).iconReloads, 1) << c.steps;
    EXPECT_EQ(fake::FormOf(f1()).iconGreyed, shown != '1') << c.steps;
    // The window's DPI changed: the same, through a modify.
    f1().NativeDpiChanged();
    EXPECT_EQ(fake::FormOf(f1()).iconReloads, 2) << c.steps;
    EXPECT_EQ(os().trayCalls.back().message, platform::kNimModify) << c.steps;
    EXPECT_EQ(os().trayCalls.back().data.hIcon, f1().Icon()->handle) << c.steps;
    EXPECT_EQ(fake::FormOf(f1()).iconGreyed, shown != '1') << c.steps;
    // A display or setting change reloads only for a new taskbar DPI.
    f1().NativeDisplayChanged();
    os().taskbarDpi = 144;
    f1().NativeDisplayChanged();
    f1().NativeDisplayChanged();
    EXPECT_EQ(fake::FormOf(f1()).iconReloads, 3) << c.steps;
    EXPECT_EQ(os().trayCalls.back().data.hIcon, f1().Icon()->handle) << c.steps;
    forms.reset();
    mdlSubClass::Discard();
  }
}

TEST_F(FormsTest, TrayRightPressOpensTheMenuCentredAtTheCursor) {
  Start();
  os().cursor = {640, 700};
  int chosen = 0;
  os().onTrackMenu = [&](const fake::MenuTrack&) {
    EXPECT_TRUE(f2().Loaded());
    return chosen;
  };
  EXPECT_EQ(TrayCallback(516), 0);
  ASSERT_EQ(os().menuTracks.size(), 1u);
  const fake::MenuTrack& t = os().menuTracks[0];
  EXPECT_EQ(t.flags, platform::kTpmCenterAlign | platform::kTpmReturnCmd);
  EXPECT_EQ(t.x, 640);
  EXPECT_EQ(t.y, 700);
  EXPECT_EQ(t.owner, f2().hWnd());
  EXPECT_EQ(t.menu, os::SubMenu(os::MenuBar(f2().hWnd()), 0));
  EXPECT_EQ(os().foregrounds.back(), f2().hWnd());
  EXPECT_EQ(os().posted.back().message, platform::kWmNull);
  // Left and middle presses open nothing.
  TrayCallback(513);
  TrayCallback(519);
  EXPECT_EQ(os().menuTracks.size(), 1u);
  // Choosing the stop item from the menu.
  chosen = f2().OptStop.Id();
  TrayCallback(516);
  EXPECT_TRUE(f1().StopFlg);
  // The hidden owner gives the keyboard back to the window that had it,
  // unless a click elsewhere already moved it or that window is gone.
  EXPECT_EQ(os().foreground, f2().hWnd()) << "nothing to give back";
  os().foreground = 0x77;
  TrayCallback(516);
  EXPECT_EQ(os().foreground, 0x77u);
  os().onTrackMenu = [&](const fake::MenuTrack&) {
    os().foreground = 0x88;
    return 0;
  };
  TrayCallback(516);
  EXPECT_EQ(os().foreground, 0x88u);
  os().onTrackMenu = nullptr;
  os().goneWindows.push_back(0x88);
  TrayCallback(516);
  EXPECT_EQ(os().foreground, f2().hWnd());
}

TEST_F(FormsTest, TrayMenuNamesTheLastProgramInFrontAndEditsTheListThatExitWrites) {
  Start();
  EXPECT_TRUE(fake::FormOf(f1()).foregroundHeard);
  os().processPaths[0x50] = L"C:\\Games\\game.exe";
  os().windowClasses[0x70] = L"Shell_TrayWnd";
  // The items as the menu shows them, and the one chosen.
  std::wstring shown;
  const ui::Menu* choose = nullptr;
  os().onTrackMenu = [&](const fake::MenuTrack&) {
    shown.clear();
    for (const ui::Menu* item : f2().Opt.Items()) {
      if (item->Visible()) shown += item->Caption() + (item->Checked() ? L"✓|" : L"|");
    }
    return choose != nullptr ? choose->Id() : 0;
  };
  // A program comes in front, then the taskbar the click goes through.
  const auto menuAfter = [&](platform::WindowHandle program, const ui::Menu* item) {
    os().foreground = program;
    f1().NativeForegroundChanged();
    os().foreground = 0x70;
    choose = item;
    TrayCallback(516);
  };
  menuAfter(0x70, nullptr);
  EXPECT_EQ(shown, L"機能を停止させる|-|終了する|") << "no program yet";
  menuAfter(0x50, &f2().OptProgram);
  EXPECT_EQ(shown, L"機能を停止させる|「game.exe」でだけ使う|-|終了する|");
  menuAfter(0x60, nullptr);
  EXPECT_EQ(shown, L"機能を停止させる|「app96.exe」でも使う|すべてのプログラムで使う|-|終了する|");
  EXPECT_TRUE(fake::FormOf(f1()).iconGreyed);
  menuAfter(0x50, nullptr);
  EXPECT_EQ(shown,
            L"機能を停止させる|「game.exe」でだけ使う✓|すべてのプログラムで使う|-|終了する|");
  EXPECT_FALSE(fake::FormOf(f1()).iconGreyed);
  menuAfter(0x60, &f2().OptAllPrograms);
  EXPECT_FALSE(f1().Programs.HasList());
  EXPECT_FALSE(fake::FormOf(f1()).iconGreyed);
  menuAfter(0x60, &f2().OptProgram);
  menuAfter(0x50, &f2().OptProgram);
  // The file did not exist: made Unicode, so that any name survives.
  menuAfter(0x50, &f2().OptEnd);
  EXPECT_EQ(os().unicodeFiles, std::set<std::wstring>{kIni});
  EXPECT_EQ(os().writes.back(), L"Config/Programs=app96.exe|game.exe");
}

TEST_F(FormsTest, AnEmptiedListIsWrittenAndAFileWithoutOneGetsNone) {
  Store(L"Programs", L"a.exe | b.exe");
  Start();
  f1().Programs.ClearList();
  f1().Unload();
  EXPECT_EQ(os().writes.back(), L"Config/Programs=");
  EXPECT_TRUE(os().unicodeFiles.empty()) << "an existing file stays as it is";
  fake::Reset();
  Start();
  f1().Unload();
  EXPECT_EQ(os().writes.back(), L"Config/Interval=40");
}

TEST_F(FormsTest, SkillKeysKeepWhatMayRepeatAndTheBoxesFollowTheList) {
  os().unscanned = {0x88};
  // F2, a hand-listed A, repeats and blanks; dropped: the mouse buttons,
  // modifiers, Windows, lock and input-method keys, PrintScreen, 231, 255,
  // a key without a scan code, 0, negatives, text and too large numbers.
  Store(L"SkillKeys",
        L" 113 ,65,,113,1,2,4,16,160,165,91,20,144,21,25,28,240,44,231,255,256,136,0,-113,F1,"
        L"4294967409,119");
  Start();
  EXPECT_EQ(f1().Skills.ListText(), L"65,113,119");
  for (int i = 0; i < key_watcher::kSkillBoxes; ++i) {
    EXPECT_EQ(f1().ChkF[i].Value(), i == 1 || i == 7 ? ui::CheckBox::kChecked : 0) << i;
    EXPECT_TRUE(f1().ChkF[i].Enabled());
  }
  fake::ClickCheckBox(f1().ChkF[1]);
  fake::ClickCheckBox(f1().ChkF[0]);
  // F3 taken by the on/off key keeps that role; its box greys.
  fake::PressKeyIn(f1().TextKey[2], 114);
  EXPECT_FALSE(f1().ChkF[2].Enabled());
  EXPECT_FALSE(fake::FormOf(f1()).controls[&f1().ChkF[2]].enabled);
  fake::ClickCheckBox(f1().ChkF[2]);
  EXPECT_EQ(f1().ChkF[2].Value(), 0) << "a greyed box takes no click";
  f1().Unload();
  EXPECT_EQ(os().writes.back(), L"Config/SkillKeys=65,112,119");

  // An emptied list is written; a file without one gets none.
  fake::Reset();
  Store(L"SkillKeys", L"abc");
  Start();
  EXPECT_FALSE(f1().Skills.HasList());
  f1().Unload();
  EXPECT_EQ(os().writes.back(), L"Config/SkillKeys=");
}

TEST_F(FormsTest, TrayClickShowsAndRestoresTheHiddenWindow) {
  Start();
  f1().SetWindowState(1);
  fake::FormOf(f1()).TickTimers();  // flush tick: nothing
  EXPECT_TRUE(f1().Visible());
  fake::FormOf(f1()).TickTimers();
  EXPECT_FALSE(f1().Visible()) << "minimised goes to the tray";
  TrayCallback(513);
  TrayCallback(514);
  EXPECT_TRUE(f1().Visible());
  EXPECT_EQ(f1().WindowState(), 0);
  EXPECT_EQ(fake::FormOf(f1()).shownMinimised, 0) << "restored in one step";
  EXPECT_EQ(os().foregrounds.back(), f1().hWnd());
}

TEST_F(FormsTest, AShowRequestFromASecondStartActsAsATrayClick) {
  Start();
  f1().Hide();
  f1().SetWindowState(1);
  f1().NativeShowRequest();
  EXPECT_TRUE(f1().Visible());
  EXPECT_EQ(f1().WindowState(), 0);
  EXPECT_EQ(os().foregrounds.back(), f1().hWnd());
}

TEST_F(FormsTest, OneCopyRunsPerProgramFolder) {
  const std::uint32_t key = InstanceKey(os().modulePath);
  EXPECT_EQ(key, InstanceKey(L"c:\\tools\\yorisen\\other.exe"));
  EXPECT_NE(key, InstanceKey(L"C:\\Tools\\Yorisen2\\yorisen.exe"));

  // The first copy marks its window and lets go once the settings are written.
  EXPECT_EQ(RunYorisen(false), 0);
  EXPECT_NE(os().markedWindows.at(key), 0u);
  EXPECT_EQ(os().released, std::vector<std::uintptr_t>{key});
  EXPECT_EQ(os().reads.size(), 8u);

  // A second start hands over to the running copy's window and writes nothing.
  fake::Reset();
  os().instances[key] = 0x4240;
  EXPECT_EQ(RunYorisen(false), 0);
  EXPECT_EQ(os().showRequests, std::vector<WindowHandle>{0x4240});
  EXPECT_TRUE(os().reads.empty());
  EXPECT_TRUE(os().writes.empty());
  EXPECT_TRUE(os().trayCalls.empty());

  // A copy still starting: its window appears while this start waits.
  fake::Reset();
  os().instances[key] = 0;
  os().onPause = [&](std::uint32_t) { os().instances[key] = 0x4250; };
  EXPECT_EQ(RunYorisen(false), 0);
  EXPECT_EQ(os().showRequests, std::vector<WindowHandle>{0x4250});

  // A copy ending: it lets go while this start waits, and this one runs.
  fake::Reset();
  os().instances[key] = 0;
  os().onPause = [&](std::uint32_t) {
    if (os().clock >= 1200) os().instances.erase(key);
  };
  RunYorisen(true);
  EXPECT_EQ(os().reads.size(), 8u);
  EXPECT_TRUE(os().traces.empty());

  // A copy that neither ends nor shows a window does not block for ever.
  fake::Reset();
  os().instances[key] = 0;
  RunYorisen(false);
  EXPECT_EQ(os().reads.size(), 8u);
  EXPECT_EQ(os().traces.size(), 1u);
  EXPECT_LE(os().clock, 1000u + 6000u);
}

TEST_F(FormsTest, AStartOptsOutOfPowerThrottlingInOneCallOrWithoutTheTimerWhereRefused) {
  RunYorisen(false);
  EXPECT_EQ(os().throttleOptOuts, std::vector<std::uint32_t>{0x5});
  fake::Reset();
  os().throttleRefused = os::kThrottleTimerResolution;  // Windows 10
  RunYorisen(false);
  EXPECT_EQ(os().throttleOptOuts, (std::vector<std::uint32_t>{0x5, 0x1}));
}

TEST_F(FormsTest, ExitFromTheMenuWritesSettingsInOrderAndEndsEverything) {
  GTIni::WriteIni(L"Mine", L"Keep", L"1", kIni);
  Start();
  fake::PressKeyIn(f1().TextKey[0], 65);
  fake::Type(f1().TextInterval, L"100");
  os().writes.clear();
  os().onTrackMenu = [&](const fake::MenuTrack&) { return f2().OptEnd.Id(); };
  TrayCallback(516);
  EXPECT_FALSE(f1().Loaded());
  EXPECT_FALSE(f2().Loaded());
  EXPECT_EQ(os().programEnded, 1);
  EXPECT_EQ(os().writes,
            (std::vector<std::wstring>{L"Config/LeftKey=65", L"Config/RightKey=39",
                                       L"Config/OnOffKey=38", L"Config/Interval=100"}));
  EXPECT_EQ(fake::FileText(kIni),
            L"[Mine]\r\nKeep=1\r\n[Config]\r\nLeftKey=65\r\nRightKey=39\r\nOnOffKey=38\r\n"
            L"Interval=100\r\n");
  // The icon stays until the registry lets the tray object go.
  EXPECT_EQ(os().trayCalls.back().message, platform::kNimAdd);
  mdlSubClass::Discard();
  EXPECT_EQ(os().trayCalls.back().message, platform::kNimDelete);
}

TEST_F(FormsTest, RestartAsAdministratorOnlyFromAnAdministratorsUnelevatedCopy) {
  using os::ElevationType;
  for (const ElevationType type :
       {ElevationType::Default, ElevationType::Full, ElevationType::Limited}) {
    fake::Reset();
    os().ownElevation.type = type;
    Start();
    EXPECT_EQ(f2().OptRestart.Visible(), type == ElevationType::Limited);
    EXPECT_TRUE(f2().OptStop.Visible() && f2().OptEnd.Visible());
    forms.reset();
    mdlSubClass::Discard();
  }
  // Chosen: started, declined at the prompt, failed; shown or in the tray.
  struct Case {
    std::uint32_t error;
    bool hidden;
    const wchar_t* trace;
  };
  for (const Case c :
       {Case{0, false, nullptr}, Case{0, true, nullptr}, Case{os::kErrorCancelled, false, nullptr},
        Case{5, true, L"cannot restart as administrator, error 5"}}) {
    fake::Reset();
    os().ownElevation.type = ElevationType::Limited;
    os().elevatedStartError = c.error;
    // Started from a mapped drive, which the elevated session lacks.
    os().modulePath = L"Z:\\yorisen.exe";
    os().finalPaths[os().modulePath] = L"\\\\?\\UNC\\server\\share\\yorisen.exe";
    Start();
    os().markedWindows[77] = f1().hWnd();
    fake::Type(f1().TextInterval, L"100");
    if (c.hidden) f1().Hide();
    os().writes.clear();
    os().onTrackMenu = [&](const fake::MenuTrack&) { return f2().OptRestart.Id(); };
    os().foreground = 0x66;
    const WindowHandle owner = f2().hWnd();
    TrayCallback(516);
    const std::string at = std::to_string(c.error) + (c.hidden ? " hidden" : " shown");
    EXPECT_EQ(os().elevatedStarts, std::vector<bool>{!c.hidden}) << at;
    // The prompt's owner is the menu's, still in front; the keyboard goes
    // back only after.
    EXPECT_EQ(os().elevatedStartWindows, std::make_pair(owner, owner)) << at;
    EXPECT_EQ(os().foreground, 0x66U) << at;
    EXPECT_EQ(os().elevatedStartPath, L"\\\\server\\share\\yorisen.exe") << at;
    EXPECT_GE(os().writes.size(), 4U) << at;
    EXPECT_EQ(os().writes[3], L"Config/Interval=100") << at;
    EXPECT_EQ(f1().Loaded(), c.error != 0) << at;
    EXPECT_EQ(os().programEnded, c.error == 0 ? 1 : 0) << at;
    EXPECT_EQ(os().markedWindows.count(77), c.error != 0 ? 1U : 0U) << at;
    EXPECT_EQ(os().traces,
              c.trace ? std::vector<std::wstring>{c.trace} : std::vector<std::wstring>{})
        << at;
    forms.reset();
    mdlSubClass::Discard();
  }
}

TEST_F(FormsTest, ClosingTheWindowRunsTheSameChain) {
  Start();
  f1().NativeClose();
  EXPECT_FALSE(f1().Loaded());
  EXPECT_EQ(os().writes.size(), 4u);
  EXPECT_EQ(os().programEnded, 1) << "Form2 was never created";

  fake::Reset();
  Start();
  fake::ClickCheckBox(f1().ChkStop);  // creates Form2
  f1().NativeEndSession();            // logoff: the same chain
  EXPECT_FALSE(f2().Loaded());
  EXPECT_EQ(os().writes.size(), 4u);
  EXPECT_EQ(os().programEnded, 1);
}

TEST_F(FormsTest, FailedWritesAreIgnored) {
  Start();
  os().writesFail = true;
  f1().NativeClose();
  EXPECT_FALSE(f1().Loaded());
  EXPECT_EQ(os().programEnded, 1);
}

}  // namespace
