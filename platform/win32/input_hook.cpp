// The buttons and keys as the user presses them: low-level mouse and
// keyboard hooks, on a thread of their own. Windows calls such a hook
// through its thread's message loop, and every mouse move or key on the
// desktop waits for it; the UI thread sits in modal loops and in the UAC
// prompt, so the hooks only read and write the watch's atomics and post,
// and never wait.
#include "platform/win32/input_hook.h"

#include "platform/input_watch.h"
#include "platform/os_held_input.h"
#include "platform/os_input.h"
#include "platform/win32/owned.h"
#include "platform/win32/trace.h"

namespace {

using platform::InputWatch;

// On the heap, made by the UI thread before the hooks' thread starts: as a
// global it would lie in the exe's initialised data, 3 KB of the file
// (MinGW's -fdata-sections puts even zeroed data there).
InputWatch& Watch() {
  static InputWatch* const watch = new InputWatch();
  return *watch;
}

std::atomic<HWND> listener{nullptr};
win32::KernelHandle thread;
DWORD threadId = 0;
// The hooks the running thread set (the UI thread's): bit 0 the mouse's,
// bit 1 the keyboard's.
unsigned hooked = 0;
unsigned watchedKeys = 0;

// True: keep the event from the windows.
bool Judge(int line, bool down, bool injected, ULONG_PTR extra) {
  const auto source = !injected                   ? platform::InputSource::User
                      : extra == win32::kOwnInput ? platform::InputSource::Own
                                                  : platform::InputSource::Other;
  bool wake = false;
  const bool swallow = Watch().Swallow(line, down, source, os::TimeMs(), wake);
  if (wake) PostMessageW(listener, win32::kHeldMessage, 0, 0);
  return swallow;
}

LRESULT CALLBACK OnMouse(int code, WPARAM message, LPARAM data) {
  // WM_LBUTTONDOWN, UP, DBLCLK (never sent to this hook), WM_RBUTTONDOWN,
  // UP; they name the logical buttons, as our clicks' echoes do.
  const WPARAM index = message - WM_LBUTTONDOWN;
  if (code == HC_ACTION && index <= 4 && index != 2) {
    const auto& event = *reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    if (Judge(InputWatch::ButtonLine(index > 2 ? 1 : 0), index % 3 == 0,
              (event.flags & LLMHF_INJECTED) != 0, event.dwExtraInfo)) {
      return 1;
    }
  }
  return CallNextHookEx(nullptr, code, message, data);
}

LRESULT CALLBACK OnKey(int code, WPARAM message, LPARAM data) {
  if (code == HC_ACTION) {
    const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
    if (Judge(InputWatch::KeyLine(static_cast<std::int32_t>(event.vkCode & 0xFF)),
              (event.flags & LLKHF_UP) == 0, (event.flags & LLKHF_INJECTED) != 0,
              event.dwExtraInfo)) {
      return 1;
    }
  }
  return CallNextHookEx(nullptr, code, message, data);
}

HHOOK SetHook(int kind, HOOKPROC procedure) {
  HHOOK hook = SetWindowsHookExW(kind, procedure, GetModuleHandleW(nullptr), 0);
  if (hook == nullptr) win32::TraceFailure("SetWindowsHookExW");
  return hook;
}

DWORD WINAPI HookThread(void* which) {
  const auto hooks = reinterpret_cast<UINT_PTR>(which);
  HHOOK mouse = (hooks & 1) != 0 ? SetHook(WH_MOUSE_LL, &OnMouse) : nullptr;
  HHOOK keys = (hooks & 2) != 0 ? SetHook(WH_KEYBOARD_LL, &OnKey) : nullptr;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
  }
  if (mouse != nullptr) UnhookWindowsHookEx(mouse);
  if (keys != nullptr) UnhookWindowsHookEx(keys);
  return 0;
}

void StopHooks() {
  hooked = 0;
  if (!thread) return;
  // Its queue may not be there yet; it quits at once, holding nothing.
  while (!PostThreadMessageW(threadId, WM_QUIT, 0, 0) &&
         WaitForSingleObject(thread.get(), 1) == WAIT_TIMEOUT) {
  }
  WaitForSingleObject(thread.get(), INFINITE);
  thread.reset();
}

// The hooks the watched lines need, on a new thread: the old one's hooks
// may have missed an up while they changed.
bool SetHooks() {
  const unsigned hooks =
      (Watch().Watched(InputWatch::ButtonLine(0)) || Watch().Watched(InputWatch::ButtonLine(1))
           ? 1U
           : 0U) |
      (watchedKeys != 0 ? 2U : 0U);
  if (hooks == hooked && (hooks == 0 || thread)) return true;
  StopHooks();
  Watch().ForgetAll();
  if (hooks == 0) return true;
  thread.reset(CreateThread(nullptr, 0, &HookThread, reinterpret_cast<void*>(UINT_PTR{hooks}), 0,
                            &threadId));
  if (!thread) {
    win32::TraceFailure("CreateThread (hooks)");
    return false;
  }
  hooked = hooks;
  // Every mouse move and key waits for it.
  SetThreadPriority(thread.get(), THREAD_PRIORITY_HIGHEST);
  return true;
}

}  // namespace

namespace os {

bool WatchButtons(unsigned buttons, platform::WindowHandle window) {
  listener = reinterpret_cast<HWND>(window);
  for (int button = 0; button < 2; ++button) {
    Watch().SetWatched(InputWatch::ButtonLine(button), (buttons & (1U << button)) != 0);
  }
  return SetHooks();
}

bool WatchKeys(const std::bitset<256>& keys, platform::WindowHandle window) {
  listener = reinterpret_cast<HWND>(window);
  for (std::int32_t key = 0; key < 256; ++key)
    Watch().SetWatched(InputWatch::KeyLine(key), keys[key]);
  watchedKeys = keys.any() ? 1 : 0;
  return SetHooks();
}

void RewatchInput() {
  StopHooks();
  SetHooks();
}

std::int32_t ButtonHeldMs(int button) {
  return Watch().HeldMs(InputWatch::ButtonLine(button), TimeMs());
}

std::int32_t KeyHeldMs(std::int32_t virtualKey) {
  return Watch().HeldMs(InputWatch::KeyLine(virtualKey & 0xFF), TimeMs());
}

std::uint32_t InputEchoes() { return Watch().Echoes(); }

void ForgetHeldInput() { Watch().ForgetAll(); }

}  // namespace os
