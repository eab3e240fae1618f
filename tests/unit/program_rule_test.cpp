// Programs=: which programs the keys act in, and which one is in front.
#include "engine/program_rule.h"

#include "engine/key_watcher.h"
#include "fixture.h"

namespace {

class ProgramRuleTest : public FakeTest {
 protected:
  // A window of a program, by its path.
  void Window(platform::WindowHandle window, std::uint32_t process, const wchar_t* path) {
    os().windowProcesses[window] = process;
    os().processPaths[process] = path;
  }
  void Front(platform::WindowHandle window) {
    os().foreground = window;
    rule.Update();
  }
  key_watcher::ProgramRule rule;
};

TEST_F(ProgramRuleTest, NamesMatchWithoutCaseAndLoseFoldersQuotesBlanksAndRepeats) {
  rule.SetList(
      L" Game.EXE | |C:\\Games\\other.exe|\"D:\\x y\\Third.exe\" |game.exe|\x3000"
      L"full.exe\t");
  EXPECT_EQ(rule.ListText(), L"Game.EXE|other.exe|Third.exe|full.exe");
  EXPECT_TRUE(rule.Listed(L"GAME.exe"));
  EXPECT_TRUE(rule.Listed(L"third.exe"));
  EXPECT_FALSE(rule.Listed(L"game"));
  EXPECT_FALSE(rule.Listed(L"x y"));
  rule.Toggle(L"OTHER.EXE");  // listed: leaves
  rule.Toggle(L"new.exe");
  EXPECT_EQ(rule.ListText(), L"Game.EXE|Third.exe|full.exe|new.exe");
  for (const wchar_t* none : {L"", L"|||", L"  |\"\"| C:\\Games\\ "}) {
    rule.SetList(none);
    EXPECT_FALSE(rule.HasList()) << none;
    EXPECT_TRUE(rule.Allows()) << none;
  }
  rule.SetList(L"a.exe");
  EXPECT_FALSE(rule.ListsOtherThan(L"A.EXE"));
  EXPECT_TRUE(rule.ListsOtherThan(L"b.exe"));
}

TEST_F(ProgramRuleTest, TheProgramInFrontIsReadOncePerWindowAndTheShellKeepsTheLastAnswer) {
  Window(0x50, 0x100, L"C:\\Games\\Game.exe");
  Window(0x51, 0x100, L"C:\\Games\\Game.exe");
  Window(0x60, 0x200, L"C:\\Windows\\notepad.exe");
  Window(0x90, os().ownProcessId, L"C:\\Tools\\yorisen.exe");
  os().windowClasses[0x70] = L"Shell_TrayWnd";
  os().windowClasses[0x71] = L"__winex11_standalone_tray";
  rule.SetList(L"game.exe");
  EXPECT_TRUE(rule.ShownAllows()) << "nothing judged yet";
  Front(0x50);
  EXPECT_TRUE(rule.Allows());
  EXPECT_EQ(rule.LastProgram(), L"Game.exe");
  Front(0x50);
  Front(0x51);
  EXPECT_EQ(os().imageReads.size(), 2u) << "once per window";
  // Our own window and the taskbar: the keys do nothing there, the icon
  // shows the last program's answer, and the menu names that program.
  for (const platform::WindowHandle shell : {0x90u, 0x70u, 0x71u, 0u}) {
    Front(shell);
    EXPECT_FALSE(rule.Allows()) << shell;
    EXPECT_TRUE(rule.ShownAllows()) << shell;
    EXPECT_EQ(rule.LastProgram(), L"Game.exe") << shell;
  }
  Front(0x60);
  EXPECT_FALSE(rule.Allows());
  Front(0x70);
  EXPECT_FALSE(rule.ShownAllows());
  EXPECT_EQ(rule.LastProgram(), L"notepad.exe");
  rule.Toggle(L"NOTEPAD.EXE");  // from the menu, with the taskbar in front
  EXPECT_TRUE(rule.ShownAllows());
  Front(0x60);
  EXPECT_TRUE(rule.Allows());
  // Another account's program: not listed, nameless, one trace line.
  os().unreadableProcesses = {{0x300, 5}, {0x301, 5}};
  os().windowProcesses[0x80] = 0x300;
  os().windowProcesses[0x81] = 0x301;
  Front(0x80);
  Front(0x81);
  EXPECT_FALSE(rule.Allows());
  EXPECT_FALSE(rule.ShownAllows());
  EXPECT_EQ(rule.LastProgram(), L"");
  EXPECT_EQ(os().traces,
            std::vector<std::wstring>{L"cannot read the program of the window in front, error 5"});
  rule.ClearList();
  EXPECT_TRUE(rule.Allows() && rule.ShownAllows());
}

TEST_F(ProgramRuleTest, WithAListTheKeysActOnlyInListedProgramsAndOnOffPressesElsewhereAreUsedUp) {
  PlainForm window;
  window.Load();
  WatcherState state;
  key_watcher::Tick(state, window);  // the flush tick
  Window(0x50, 0x100, L"C:\\Games\\game.exe");
  state.Programs.SetList(L"game.exe");
  os().foreground = 0x50;
  fake::Press(vk::kLeft);
  key_watcher::Tick(state, window);
  EXPECT_EQ(os().injected.size(), 2u);
  // Switched, and held at once: the next tick already knows.
  os().foreground = 0x60;
  key_watcher::Tick(state, window);
  EXPECT_EQ(os().injected.size(), 2u);
  fake::Release(vk::kLeft);
  fake::Press(vk::kUp);
  key_watcher::Tick(state, window);
  os().foreground = 0x50;
  key_watcher::Tick(state, window);
  EXPECT_TRUE(state.WatchEnabled) << "begun elsewhere, used up";
  fake::Release(vk::kUp);
  key_watcher::Tick(state, window);
  fake::Tap(vk::kUp);
  key_watcher::Tick(state, window);
  EXPECT_FALSE(state.WatchEnabled);
}

}  // namespace
