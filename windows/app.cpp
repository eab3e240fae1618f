#include "windows/app.h"

#include "engine/GTIni.h"
#include "platform/native.h"
#include "platform/os_input.h"
#include "platform/os_instance.h"
#include "platform/os_shell.h"
#include "platform/os_trace.h"
#include "tray/mdlSubClass.h"

namespace {

// Long enough for a copy that is still starting to create its window, or
// one that is ending to let go of its folder.
constexpr std::uint32_t kWaitForOtherCopyMs = 5000;
constexpr std::uint32_t kPollMs = 50;

// True when this start should run; false when a copy from the same folder
// runs already and has been asked to come forward instead.
bool ClaimOrHandOver(std::uint32_t key, std::uintptr_t& claim) {
  const std::uint32_t start = os::TimeMs();
  for (;;) {
    if (os::ClaimInstance(key, claim)) return true;
    if (const WindowHandle window = os::FindInstanceWindow(key); window != 0) {
      if (!os::RequestShow(window)) os::Trace("cannot reach the copy already running");
      return false;
    }
    if (os::TimeMs() - start >= kWaitForOtherCopyMs) {
      os::Trace("a copy from this folder neither runs nor ends; starting anyway");
      return true;
    }
    os::Pause(kPollMs);
  }
}

// A tray tool is hidden most of the time, which is when Windows throttles a
// process first, and its ticks are its whole job. One call for both
// features, since each call replaces the policy the last one set.
void KeepFullSpeed() {
  // Windows before 11 refuses the timer-resolution feature, and the whole
  // call with it.
  if (!os::OptOutOfThrottling(os::kThrottleExecutionSpeed | os::kThrottleTimerResolution))
    os::OptOutOfThrottling(os::kThrottleExecutionSpeed);
}

}  // namespace

std::uint32_t InstanceKey(const std::wstring& exePath) {
  const std::wstring folder = os::UpperCase(exePath.substr(0, exePath.find_last_of(L"\\/") + 1));
  // FNV-1a over the UTF-16 code units.
  std::uint32_t hash = 2166136261U;
  for (const wchar_t c : folder) {
    const auto unit = static_cast<std::uint32_t>(static_cast<std::uint16_t>(c));
    hash = (hash ^ (unit & 0xFFU)) * 16777619U;
    hash = (hash ^ (unit >> 8U)) * 16777619U;
  }
  return hash == 0 ? 1 : hash;
}

int RunYorisen(bool startInTray) {
  // Before Form1 loads: a second copy must neither watch the keys nor write
  // the settings the first one keeps.
  const std::uint32_t key = InstanceKey(GTIni::ProgramPath());
  std::uintptr_t claim = 0;
  if (!ClaimOrHandOver(key, claim)) return 0;
  KeepFullSpeed();
  int code = 0;
  {
    Forms forms;
    forms.form1.Load();
    os::MarkInstanceWindow(forms.form1.hWnd(), key);
    // For the tray it stays hidden: even minimised, it would take the
    // focus from the window in front.
    if (!startInTray) forms.form1.Show();
    code = ui::native::RunMessageLoop();
    // The settings are written: another start may run from here on.
    os::ReleaseInstance(claim);
    // Ends the tray icon object with the collections that hold it.
    mdlSubClass::Discard();
  }
  return code;
}
