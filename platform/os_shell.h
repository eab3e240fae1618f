#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/types.h"

// The shell and the window manager: the notification area, the foreground,
// messages and window timers, window procedures, menus, and the process's
// power throttling.
namespace os {

using platform::LParam;
using platform::LResult;
using platform::MenuHandle;
using platform::Rect;
using platform::WindowHandle;
using platform::WndProcAddress;
using platform::WParam;

// --- power ---

// Process power-throttling features (PROCESS_POWER_THROTTLING_*).
constexpr std::uint32_t kThrottleExecutionSpeed = 0x1;
constexpr std::uint32_t kThrottleTimerResolution = 0x4;  // ..._IGNORE_TIMER_RESOLUTION
// Asks Windows to throttle none of features for this process. Each call sets
// the whole policy: a later call undoes what an earlier one asked for and
// this one leaves out. False when refused, or where there is no such call.
bool OptOutOfThrottling(std::uint32_t features);

// --- notification area ---

// Fixed size of the wide version-1 icon record the shell is told about.
constexpr std::uint32_t kTrayRecordSize = sizeof(void*) == 8 ? 168 : 152;

struct TrayIconData {
  std::uint32_t cbSize = kTrayRecordSize;
  WindowHandle hWnd = 0;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 0;
  std::uint32_t uCallbackMessage = 0;
  platform::IconHandle hIcon = 0;
  std::array<wchar_t, 64> szTip{};
};

// False when the shell refused or did not answer in time; only a failed
// delete is traced here, the caller knows which other failures matter.
bool NotifyIcon(std::uint32_t message, const TrayIconData& data);
// Lets message reach window also from processes of lower integrity, as
// the shell's are for an elevated copy.
bool AllowMessage(WindowHandle window, std::uint32_t message);
std::uint32_t RegisterMessage(const std::wstring& name);
bool BringToForeground(WindowHandle window);
// The window that has the keyboard, in any program; 0 for none.
WindowHandle ForegroundWindow();
// The id of the process that owns window; 0 when the window is gone.
std::uint32_t WindowProcessId(WindowHandle window);
std::uint32_t OwnProcessId();
// The window's class name ("Shell_TrayWnd"); empty when it is gone.
std::wstring WindowClass(WindowHandle window);
// The full path of a process's executable; empty, with the error in error,
// when it cannot be read (another account's process, a protected one).
std::wstring ProcessImagePath(std::uint32_t processId, std::uint32_t& error);
bool WindowExists(WindowHandle window);
bool Post(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);
// WM_TIMER to window every milliseconds with id as wParam, until stopped;
// starting it again re-arms it. id must not be a form timer's.
bool StartWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t milliseconds);
void StopWindowTimer(WindowHandle window, std::uintptr_t id);

// --- window procedures ---

using SubClassHandler = LResult (*)(WindowHandle, std::uint32_t, WParam&, LParam&);
// Address of a window procedure that hands every message to handler.
WndProcAddress SubClassProcAddress(SubClassHandler handler);
// Replaces a window's procedure and returns the one in place before (0 on failure).
WndProcAddress SetWindowProc(WindowHandle window, WndProcAddress procedure);
LResult CallWindowProcAt(WndProcAddress procedure, WindowHandle window, std::uint32_t message,
                         WParam wParam, LParam lParam);

// --- menus ---

bool WindowRect(WindowHandle window, Rect& rect);
MenuHandle MenuBar(WindowHandle window);
MenuHandle SubMenu(MenuHandle menu, std::int32_t position);
// Tracks a popup menu modally; the chosen item reaches owner as a command,
// or with kTpmReturnCmd comes back as the result instead (0: none).
std::int32_t TrackMenu(MenuHandle menu, std::uint32_t flags, std::int32_t x, std::int32_t y,
                       WindowHandle owner, const Rect& rect);

}  // namespace os
