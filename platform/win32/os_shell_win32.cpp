// The shell and the window manager over Win32: tray, foreground, messages,
// window timers and procedures, menus, power throttling.
#include <windows.h>
// Needs windows.h first.
#include <shellapi.h>

#include <algorithm>

#include "platform/os_shell.h"
#include "platform/win32/os_common.h"
#include "platform/win32/owned.h"
#include "platform/win32/system_function.h"
#include "platform/win32/trace.h"

static_assert(os::kTrayRecordSize == NOTIFYICONDATAW_V1_SIZE);

namespace os {

namespace {

using win32::ToHwnd;

// Set once by the subclass registry; the trampoline below forwards to it.
SubClassHandler subClassHandler = nullptr;

LRESULT CALLBACK SubClassTrampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WParam w = wParam;
  LParam l = lParam;
  if (subClassHandler == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return subClassHandler(reinterpret_cast<WindowHandle>(window), message, w, l);
}

}  // namespace

bool OptOutOfThrottling(std::uint32_t features) {
  // Not in every SDK's headers yet, and not in Windows 7: looked up.
  constexpr int kProcessPowerThrottling = 4;  // ProcessPowerThrottling
  struct PowerThrottlingState {
    ULONG Version;
    ULONG ControlMask;
    ULONG StateMask;
  };
  using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
  const auto set =
      win32::SystemFunction<SetProcessInformationFn>(L"kernel32.dll", "SetProcessInformation");
  if (set == nullptr) return false;
  // The features under our control, each in state off: never throttled.
  PowerThrottlingState state{1, features, 0};
  return set(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof(state)) != FALSE;
}

bool NotifyIcon(std::uint32_t message, const TrayIconData& data) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = data.cbSize;
  nid.hWnd = ToHwnd(data.hWnd);
  nid.uID = data.uID;
  nid.uFlags = data.uFlags;
  nid.uCallbackMessage = data.uCallbackMessage;
  nid.hIcon = reinterpret_cast<HICON>(data.hIcon);
  std::copy(data.szTip.begin(), data.szTip.end(), nid.szTip);
  if (Shell_NotifyIconW(message, &nid)) return true;
  // At the program's end the window is gone, and some shells took its icon
  // with it.
  if (message == NIM_DELETE && IsWindow(nid.hWnd)) win32::TraceFailure("Shell_NotifyIcon delete");
  return false;
}

bool AllowMessage(WindowHandle window, std::uint32_t message) {
  if (ChangeWindowMessageFilterEx(ToHwnd(window), message, MSGFLT_ALLOW, nullptr)) return true;
  win32::TraceFailure("ChangeWindowMessageFilterEx");
  return false;
}

std::uint32_t RegisterMessage(const std::wstring& name) {
  return RegisterWindowMessageW(name.c_str());
}

bool BringToForeground(WindowHandle window) { return SetForegroundWindow(ToHwnd(window)) != FALSE; }

WindowHandle ForegroundWindow() { return reinterpret_cast<WindowHandle>(GetForegroundWindow()); }

std::uint32_t WindowProcessId(WindowHandle window) {
  DWORD id = 0;
  GetWindowThreadProcessId(ToHwnd(window), &id);
  return id;
}

std::uint32_t OwnProcessId() { return GetCurrentProcessId(); }

std::wstring WindowClass(WindowHandle window) {
  wchar_t name[256];  // the longest a class name can be
  const int n = GetClassNameW(ToHwnd(window), name, 256);
  return std::wstring(name, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::wstring ProcessImagePath(std::uint32_t processId, std::uint32_t& error) {
  // The least a process of the same user may ask, elevated or not.
  const win32::KernelHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  std::wstring path(32768, L'\0');
  auto size = static_cast<DWORD>(path.size());
  if (!process || !QueryFullProcessImageNameW(process.get(), 0, path.data(), &size)) {
    error = GetLastError();
    return std::wstring();
  }
  path.resize(size);
  return path;
}

bool WindowExists(WindowHandle window) { return IsWindow(ToHwnd(window)) != FALSE; }

bool Post(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
  return PostMessageW(ToHwnd(window), message, wParam, lParam) != FALSE;
}

bool StartWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t milliseconds) {
  if (SetTimer(ToHwnd(window), id, milliseconds, nullptr) != 0) return true;
  win32::TraceFailure("SetTimer");
  return false;
}

void StopWindowTimer(WindowHandle window, std::uintptr_t id) { KillTimer(ToHwnd(window), id); }

WndProcAddress SubClassProcAddress(SubClassHandler handler) {
  subClassHandler = handler;
  return reinterpret_cast<WndProcAddress>(&SubClassTrampoline);
}

WndProcAddress SetWindowProc(WindowHandle window, WndProcAddress procedure) {
  // A previous procedure is never 0, so 0 alone tells a failure.
  const WndProcAddress previous = SetWindowLongPtrW(ToHwnd(window), GWLP_WNDPROC, procedure);
  // Putting the procedure back on a window already destroyed is no failure.
  if (previous == 0 && IsWindow(ToHwnd(window)))
    win32::TraceFailure("SetWindowLongPtr GWLP_WNDPROC");
  return previous;
}

LResult CallWindowProcAt(WndProcAddress procedure, WindowHandle window, std::uint32_t message,
                         WParam wParam, LParam lParam) {
  return CallWindowProcW(reinterpret_cast<WNDPROC>(procedure), ToHwnd(window), message, wParam,
                         lParam);
}

bool WindowRect(WindowHandle window, Rect& rect) {
  RECT r{};
  if (!GetWindowRect(ToHwnd(window), &r)) return false;
  rect = {r.left, r.top, r.right, r.bottom};
  return true;
}

MenuHandle MenuBar(WindowHandle window) {
  return reinterpret_cast<MenuHandle>(GetMenu(ToHwnd(window)));
}

MenuHandle SubMenu(MenuHandle menu, std::int32_t position) {
  return reinterpret_cast<MenuHandle>(GetSubMenu(reinterpret_cast<HMENU>(menu), position));
}

std::int32_t TrackMenu(MenuHandle menu, std::uint32_t flags, std::int32_t x, std::int32_t y,
                       WindowHandle owner, const Rect& rect) {
  const RECT r{rect.left, rect.top, rect.right, rect.bottom};
  return TrackPopupMenu(reinterpret_cast<HMENU>(menu), flags, x, y, 0, ToHwnd(owner), &r);
}

}  // namespace os
