#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/os_shell.h"

namespace fake {

using platform::LParam;
using platform::LResult;
using platform::MenuHandle;
using platform::WindowHandle;
using platform::WndProcAddress;
using platform::WParam;

struct TrayCall {
  std::uint32_t message;
  os::TrayIconData data;
};

struct ProcCall {
  WndProcAddress procedure;
  WindowHandle window;
  std::uint32_t message;
  WParam wParam;
  LParam lParam;
};

struct MenuTrack {
  MenuHandle menu;
  std::uint32_t flags;
  std::int32_t x;
  std::int32_t y;
  WindowHandle owner;
};

struct ShellState {
  // OptOutOfThrottling calls, and the features the system refuses.
  std::vector<std::uint32_t> throttleOptOuts;
  std::uint32_t throttleRefused = 0;

  std::vector<TrayCall> trayCalls;
  // The shell's icons by window and id: an add of one that is there fails,
  // and so do a modify or delete of one that is not.
  std::set<std::pair<WindowHandle, std::uint32_t>> trayIcons;
  // The next adds that fail as a shell not ready does; a timed-out one may
  // still add the icon.
  int failingAdds = 0;
  bool failedAddsTakeEffect = false;
  // Window timers: period by window and id.
  std::map<std::pair<WindowHandle, std::uintptr_t>, std::uint32_t> windowTimers;
  // AllowMessage calls: window, message, and how many tray calls came before.
  struct Allowed {
    WindowHandle window;
    std::uint32_t message;
    std::size_t trayCallsBefore;
  };
  std::vector<Allowed> allowedMessages;
  std::map<std::wstring, std::uint32_t> registeredMessages;
  std::vector<WindowHandle> foregrounds;  // every BringToForeground call
  WindowHandle foreground = 0;
  std::vector<WindowHandle> goneWindows;  // WindowExists says no
  // Who owns a window: by default our own forms' windows are this process's
  // and any other window is a process of the same number, "app<n>.exe".
  std::uint32_t ownProcessId = 7;
  std::map<WindowHandle, std::uint32_t> windowProcesses;
  std::map<WindowHandle, std::wstring> windowClasses;
  std::map<std::uint32_t, std::wstring> processPaths;
  std::map<std::uint32_t, std::uint32_t> unreadableProcesses;  // the error
  std::vector<std::uint32_t> imageReads;                       // every read
  std::vector<ProcCall> posted;

  // Window procedures: each window starts with its own fake procedure.
  std::map<WindowHandle, WndProcAddress> windowProcs;
  std::vector<ProcCall> procCalls;                     // calls of non-subclass procedures
  std::function<LResult(const ProcCall&)> procAnswer;  // default answers 7
  os::SubClassHandler subClassHandler = nullptr;
  bool setWindowProcFails = false;

  std::vector<MenuTrack> menuTracks;
  // Runs while a menu is tracked; returns the chosen command id or 0.
  std::function<int(const MenuTrack&)> onTrackMenu;
};

constexpr WndProcAddress kSubClassProc = 0x5C;
// The procedure a fake window starts with.
WndProcAddress OriginalProc(WindowHandle window);

// Delivers a message to a window through its current procedure.
LResult Dispatch(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);
// Delivers one WM_TIMER for every window timer running.
void FireWindowTimers();

}  // namespace fake
