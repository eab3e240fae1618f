// The buttons as the user presses them: a low-level mouse hook, on a thread
// of its own. Windows calls such a hook through its thread's message loop,
// and every mouse move on the desktop waits for it; the UI thread sits in
// modal loops and in the UAC prompt, so the hook only reads and writes the
// watch's atomics and posts, and never waits.
#include "platform/win32/button_hook.h"

#include "platform/button_watch.h"
#include "platform/os_buttons.h"
#include "platform/os_input.h"
#include "platform/win32/owned.h"
#include "platform/win32/trace.h"

namespace {

platform::ButtonWatch watch;
std::atomic<HWND> listener{nullptr};
win32::KernelHandle thread;
DWORD threadId = 0;

LRESULT CALLBACK OnMouse(int code, WPARAM message, LPARAM data) {
  // WM_LBUTTONDOWN, UP, DBLCLK (never sent to this hook), WM_RBUTTONDOWN,
  // UP; they name the logical buttons, as our clicks' echoes do.
  const WPARAM index = message - WM_LBUTTONDOWN;
  if (code == HC_ACTION && index <= 4 && index != 2) {
    const auto& event = *reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    const bool injected = (event.flags & LLMHF_INJECTED) != 0;
    const auto source = !injected                               ? platform::ButtonSource::User
                        : event.dwExtraInfo == win32::kOwnInput ? platform::ButtonSource::Own
                                                                : platform::ButtonSource::Other;
    bool wake = false;
    const bool swallow =
        watch.Swallow(index > 2 ? 1 : 0, index % 3 == 0, source, os::TimeMs(), wake);
    if (wake) PostMessageW(listener, win32::kButtonMessage, 0, 0);
    if (swallow) return 1;
  }
  return CallNextHookEx(nullptr, code, message, data);
}

DWORD WINAPI HookThread(void*) {
  HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, &OnMouse, GetModuleHandleW(nullptr), 0);
  if (hook == nullptr) {
    win32::TraceFailure("SetWindowsHookExW");
    return 1;
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
  }
  UnhookWindowsHookEx(hook);
  return 0;
}

void StopHook() {
  if (!thread) return;
  // Its queue may not be there yet; it quits at once, holding nothing.
  while (!PostThreadMessageW(threadId, WM_QUIT, 0, 0) &&
         WaitForSingleObject(thread.get(), 1) == WAIT_TIMEOUT) {
  }
  WaitForSingleObject(thread.get(), INFINITE);
  thread.reset();
}

bool StartHook() {
  thread.reset(CreateThread(nullptr, 0, &HookThread, nullptr, 0, &threadId));
  if (!thread) {
    win32::TraceFailure("CreateThread (buttons)");
    return false;
  }
  // Every mouse move waits for it.
  SetThreadPriority(thread.get(), THREAD_PRIORITY_HIGHEST);
  return true;
}

}  // namespace

namespace os {

bool WatchButtons(unsigned buttons, platform::WindowHandle window) {
  listener = reinterpret_cast<HWND>(window);
  watch.SetWatched(buttons);
  if (buttons == 0) StopHook();
  return buttons == 0 || thread || StartHook();
}

void RewatchButtons() {
  StopHook();
  watch.Forget();
  if (watch.Watched() != 0) StartHook();
}

std::int32_t ButtonHeldMs(int button) { return watch.HeldMs(button, TimeMs()); }

std::uint32_t ButtonEchoes() { return watch.Echoes(); }

void ForgetButtons() { watch.Forget(); }

}  // namespace os
