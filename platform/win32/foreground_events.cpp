// Foreground changes through WinEvents, out of context: Windows calls us
// back on our own thread while it pumps messages, so nothing here runs
// beside the UI thread; posting rather than acting keeps the handlers out of
// whatever modal loop or cross-process call is pumping at that moment.
#include "platform/win32/foreground_events.h"

#include "platform/os_held_input.h"
#include "platform/win32/system_function.h"
#include "platform/win32/system_library.h"
#include "platform/win32/trace.h"

namespace win32 {

namespace {

HWND listener = nullptr;
bool posted = false;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD, DWORD) {
  // The secure desktop or the lock screen: a button's up there never
  // reaches the hook.
  if (event == EVENT_SYSTEM_DESKTOPSWITCH) os::ForgetHeldInput();
  if (object != OBJID_WINDOW || window == nullptr || listener == nullptr || posted) return;
  posted = PostMessageW(listener, kForegroundMessage, 0, 0) != FALSE;
}

}  // namespace

bool ListenForeground(HWND window, WinEventHook (&hooks)[kForegroundHooks]) {
  ListenSessionLock(window);
  listener = window;
  posted = false;
  const DWORD events[kForegroundHooks] = {EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_MINIMIZEEND,
                                          EVENT_SYSTEM_DESKTOPSWITCH};
  for (int i = 0; i < kForegroundHooks; ++i) {
    hooks[i].reset(
        SetWinEventHook(events[i], events[i], nullptr, &OnWinEvent, 0, 0, WINEVENT_OUTOFCONTEXT));
    if (!hooks[i]) {
      TraceFailure("SetWinEventHook");
      return false;
    }
  }
  return true;
}

void ForegroundTaken() { posted = false; }

void ListenSessionLock(HWND window) {
  // wtsapi32 is no KnownDLL: from the system folder, for the life of the
  // process.
  static const Library wtsapi(LoadSystemLibrary(L"wtsapi32.dll"));
  using RegisterFn = BOOL(WINAPI*)(HWND, DWORD);
  constexpr DWORD kThisSession = 0;  // NOTIFY_FOR_THIS_SESSION
  const auto reg = SystemFunction<RegisterFn>(wtsapi.get(), "WTSRegisterSessionNotification");
  if (reg == nullptr || !reg(window, kThisSession)) TraceFailure("WTSRegisterSessionNotification");
}

void SessionChanged(WPARAM change) {
  // The lock screen: a button's up there never reaches the hook.
  if (change == WTS_SESSION_LOCK) os::ForgetHeldInput();
}

}  // namespace win32
