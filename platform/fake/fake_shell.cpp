#include <algorithm>

#include "platform/fake/fake_platform.h"

namespace fake {

namespace {

LResult CallProc(WndProcAddress procedure, WindowHandle window, std::uint32_t message,
                 WParam wParam, LParam lParam) {
  State& s = Get();
  if (procedure == kSubClassProc && s.subClassHandler != nullptr) {
    return s.subClassHandler(window, message, wParam, lParam);
  }
  const ProcCall call{procedure, window, message, wParam, lParam};
  s.procCalls.push_back(call);
  return s.procAnswer ? s.procAnswer(call) : 7;
}

}  // namespace

WndProcAddress OriginalProc(WindowHandle window) {
  return static_cast<WndProcAddress>(0x70000 + window);
}

LResult Dispatch(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
  const auto& procs = Get().windowProcs;
  const auto it = procs.find(window);
  return CallProc(it == procs.end() ? OriginalProc(window) : it->second, window, message, wParam,
                  lParam);
}

void FireWindowTimers() {
  const auto timers = Get().windowTimers;
  for (const auto& [key, period] : timers) {
    (void)period;
    if (Get().windowTimers.count(key) != 0) Dispatch(key.first, platform::kWmTimer, key.second, 0);
  }
}

}  // namespace fake

namespace os {

bool OptOutOfThrottling(std::uint32_t features) {
  fake::Get().throttleOptOuts.push_back(features);
  return (features & fake::Get().throttleRefused) == 0;
}

bool NotifyIcon(std::uint32_t message, const TrayIconData& data) {
  fake::State& s = fake::Get();
  s.trayCalls.push_back({message, data});
  const std::pair<WindowHandle, std::uint32_t> icon{data.hWnd, data.uID};
  const bool there = s.trayIcons.count(icon) != 0;
  switch (message) {
    case platform::kNimAdd:
      if (s.failingAdds > 0) {
        --s.failingAdds;
        if (s.failedAddsTakeEffect) s.trayIcons.insert(icon);
        return false;
      }
      return !there && s.trayIcons.insert(icon).second;
    case platform::kNimDelete:
      return s.trayIcons.erase(icon) != 0;
    default:
      return there;
  }
}

bool AllowMessage(WindowHandle window, std::uint32_t message) {
  fake::State& s = fake::Get();
  s.allowedMessages.push_back({window, message, s.trayCalls.size()});
  return true;
}

std::uint32_t RegisterMessage(const std::wstring& name) {
  auto& messages = fake::Get().registeredMessages;
  const auto it = messages.find(name);
  if (it != messages.end()) return it->second;
  const auto id = static_cast<std::uint32_t>(0xC000 + messages.size());
  messages[name] = id;
  return id;
}

bool BringToForeground(WindowHandle window) {
  fake::Get().foregrounds.push_back(window);
  fake::Get().foreground = window;
  return true;
}

WindowHandle ForegroundWindow() { return fake::Get().foreground; }

std::uint32_t WindowProcessId(WindowHandle window) {
  const fake::State& s = fake::Get();
  if (window == 0) return 0;
  if (s.forms.count(window) != 0) return s.ownProcessId;
  const auto it = s.windowProcesses.find(window);
  return it != s.windowProcesses.end() ? it->second : static_cast<std::uint32_t>(window);
}

std::uint32_t OwnProcessId() { return fake::Get().ownProcessId; }

std::wstring WindowClass(WindowHandle window) {
  const auto& classes = fake::Get().windowClasses;
  const auto it = classes.find(window);
  return it != classes.end() ? it->second : std::wstring(L"AppWindow");
}

std::wstring ProcessImagePath(std::uint32_t processId, std::uint32_t& error) {
  fake::State& s = fake::Get();
  s.imageReads.push_back(processId);
  const auto refused = s.unreadableProcesses.find(processId);
  if (refused != s.unreadableProcesses.end()) {
    error = refused->second;
    return std::wstring();
  }
  const auto it = s.processPaths.find(processId);
  if (it != s.processPaths.end()) return it->second;
  return L"C:\\Apps\\app" + std::to_wstring(processId) + L".exe";
}

bool WindowExists(WindowHandle window) {
  const auto& gone = fake::Get().goneWindows;
  return window != 0 && std::find(gone.begin(), gone.end(), window) == gone.end();
}

bool Post(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
  fake::Get().posted.push_back({0, window, message, wParam, lParam});
  return true;
}

bool StartWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t milliseconds) {
  fake::Get().windowTimers[{window, id}] = milliseconds;
  return true;
}

void StopWindowTimer(WindowHandle window, std::uintptr_t id) {
  fake::Get().windowTimers.erase({window, id});
}

WndProcAddress SubClassProcAddress(SubClassHandler handler) {
  fake::Get().subClassHandler = handler;
  return fake::kSubClassProc;
}

WndProcAddress SetWindowProc(WindowHandle window, WndProcAddress procedure) {
  fake::State& s = fake::Get();
  if (s.setWindowProcFails) return 0;
  const auto it = s.windowProcs.find(window);
  const WndProcAddress previous =
      it == s.windowProcs.end() ? fake::OriginalProc(window) : it->second;
  s.windowProcs[window] = procedure;
  return previous;
}

LResult CallWindowProcAt(WndProcAddress procedure, WindowHandle window, std::uint32_t message,
                         WParam wParam, LParam lParam) {
  return fake::CallProc(procedure, window, message, wParam, lParam);
}

bool WindowRect(WindowHandle window, Rect& rect) {
  if (fake::Get().forms.count(window) == 0) return false;
  rect = {10, 20, 300, 400};
  return true;
}

MenuHandle MenuBar(WindowHandle window) {
  const auto& forms = fake::Get().forms;
  const auto it = forms.find(window);
  return it == forms.end() ? 0 : it->second->menuBar;
}

MenuHandle SubMenu(MenuHandle menu, std::int32_t position) {
  if (menu == 0) return 0;
  for (const auto& [handle, form] : fake::Get().forms) {
    (void)handle;
    if (form->menuBar != menu) continue;
    std::int32_t i = 0;
    for (const auto& [sub, top] : form->menus) {
      (void)top;
      if (i++ == position) return sub;
    }
  }
  return 0;
}

std::int32_t TrackMenu(MenuHandle menu, std::uint32_t flags, std::int32_t x, std::int32_t y,
                       WindowHandle owner, const Rect& rect) {
  (void)rect;
  fake::State& s = fake::Get();
  if (menu == 0) return 0;
  const fake::MenuTrack track{menu, flags, x, y, owner};
  s.menuTracks.push_back(track);
  const int chosen = s.onTrackMenu ? s.onTrackMenu(track) : 0;
  if ((flags & platform::kTpmReturnCmd) != 0) return chosen;
  // Posted, as Windows does: it runs only after the caller returns.
  if (chosen != 0) s.posted.push_back({0, owner, platform::kWmCommand, WParam(chosen), 0});
  return 1;
}

}  // namespace os
