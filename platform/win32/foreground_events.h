#pragma once

#include <windows.h>

#include "platform/win32/owned.h"

namespace win32 {

// What a foreground change posts to the listening window.
constexpr UINT kForegroundMessage = WM_APP + 4;

constexpr int kForegroundHooks = 3;
using WinEventHook = Owned<HWINEVENTHOOK, &UnhookWinEvent>;

// Posts kForegroundMessage to window whenever another window comes to the
// foreground, or one is restored from the taskbar (which need not change
// the foreground); at most one waits in the queue. A desktop switch takes
// the mouse buttons as up; so does a lock (ListenSessionLock). The hooks go into
// hooks and live as long as they do; false (traced) when Windows refused.
bool ListenForeground(HWND window, WinEventHook (&hooks)[kForegroundHooks]);
// window took the message: the next change posts again.
void ForegroundTaken();
// WM_WTSSESSION_CHANGE for window; a lock takes the mouse buttons as up.
void ListenSessionLock(HWND window);
void SessionChanged(WPARAM change);

}  // namespace win32
