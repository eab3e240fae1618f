#pragma once

// The tool on the fake platform with a clock that runs, for the tests of
// what happens over time.
#include <string>

#include "engine/GTIni.h"
#include "fixture.h"
#include "windows/app.h"

namespace running {

const std::wstring kIni = L"C:\\Tools\\Yorisen\\config.ini";
constexpr std::uint32_t kStart = 1000;  // the fake clock at load

// The tool on the fake platform, with a clock that runs: Run(ms) moves the
// clock one millisecond at a time and fires Timer1 at its deadlines.
class Tool {
 public:
  explicit Tool(int interval) {
    fake::Get().clock = kStart;
    GTIni::WriteIni(L"Config", L"Interval", GTIni::ToDecimal(interval), kIni);
    forms_.form1.Load();
    forms_.form1.Show();
    fake::Get().activeWindow = 0;  // another program is in front
  }
  ~Tool() { mdlSubClass::Discard(); }
  Tool(const Tool&) = delete;
  Tool& operator=(const Tool&) = delete;

  Form1& f1() { return forms_.form1; }
  std::uint32_t Now() const { return fake::Get().clock; }
  std::uint32_t Armed() { return fake::FormOf(f1()).armedTimers.at(&f1().Timer1); }

  void Run(std::uint32_t ms) {
    for (std::uint32_t i = 0; i < ms; ++i) {
      ++fake::Get().clock;
      FireIfDue();
    }
  }
  // A key goes down: its state, then the raw key-down.
  void Press(std::int32_t key) {
    fake::Press(key);
    f1().NativeRawKeyDown(key);
  }
  void Tap(std::int32_t key) {
    fake::Tap(key);
    f1().NativeRawKeyDown(key);
  }
  void Minimise() {
    f1().SetWindowState(1);
    f1().NativeResized();
  }
  int ticks = 0;

 private:
  void FireIfDue() {
    ui::Timer& timer = f1().Timer1;
    if (timer.AlarmSet() && timer.AlarmRemaining() == 0) timer.NativeAlarm();
    fake::FakeForm& form = fake::FormOf(f1());
    const auto it = form.armedTimers.find(&f1().Timer1);
    if (it == form.armedTimers.end()) return;
    if (form.armCount != seenArm_) {
      seenArm_ = form.armCount;
      next_ = form.armedAt.at(&f1().Timer1) + it->second;
    }
    if (static_cast<std::int32_t>(Now() - next_) < 0) return;
    const std::uint32_t period = it->second;
    ++ticks;
    f1().Timer1.NativeTick();
    if (form.armCount == seenArm_) next_ += period;
  }
  Forms forms_;
  int seenArm_ = -1;
  std::uint32_t next_ = 0;
};

}  // namespace running
