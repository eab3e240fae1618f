// Foreground changes through WinEvents, out of context: Windows calls us
// back on our own thread while it pumps messages, so nothing here runs
// beside the UI thread; posting rather than acting keeps the handlers out of
// whatever modal loop or cross-process call is pumping at that moment.
#include "platform/win32/foreground_events.h"

#include "platform/win32/trace.h"

namespace win32 {

namespace {

HWND listener = nullptr;
bool posted = false;

void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
  if (object != OBJID_WINDOW || window == nullptr || listener == nullptr || posted) return;
  posted = PostMessageW(listener, kForegroundMessage, 0, 0) != FALSE;
}

}  // namespace

bool ListenForeground(HWND window, WinEventHook (&hooks)[2]) {
  listener = window;
  posted = false;
  const DWORD events[2] = {EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_MINIMIZEEND};
  for (int i = 0; i < 2; ++i) {
    hooks[i].reset(
        SetWinEventHook(events[i], events[i], nullptr, &OnWinEvent, 0, 0, WINEVENT_OUTOFCONTEXT));
    if (!hooks[i]) {
      TraceFailure(L"SetWinEventHook");
      return false;
    }
  }
  return true;
}

void ForegroundTaken() { posted = false; }

}  // namespace win32
