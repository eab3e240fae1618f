/* A bare low-level mouse hook, for bench/hookprobe.py: a second thread sets
   WH_MOUSE_LL and runs a GetMessageW loop at the highest priority, as the
   tool's does; the hook only calls CallNextHookEx; the main thread waits.
   "nohook" as the argument: the same process without the hook. Prints
   "ready" once the hook is set. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static int with_hook = 1;
static HANDLE ready;

static LRESULT CALLBACK OnMouse(int code, WPARAM message, LPARAM data) {
  return CallNextHookEx(NULL, code, message, data);
}

static DWORD WINAPI HookThread(void* unused) {
  HHOOK hook = NULL;
  MSG message;
  (void)unused;
  if (with_hook) {
    hook = SetWindowsHookExW(WH_MOUSE_LL, OnMouse, GetModuleHandleW(NULL), 0);
    if (hook == NULL) {
      printf("SetWindowsHookExW failed %lu\n", GetLastError());
      fflush(stdout);
      return 1;
    }
  }
  PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE); /* the queue exists */
  SetEvent(ready);
  while (GetMessageW(&message, NULL, 0, 0) > 0) {
  }
  if (hook) UnhookWindowsHookEx(hook);
  return 0;
}

int main(int argc, char** argv) {
  HANDLE thread;
  with_hook = !(argc > 1 && strcmp(argv[1], "nohook") == 0);
  ready = CreateEventW(NULL, TRUE, FALSE, NULL);
  thread = CreateThread(NULL, 0, HookThread, NULL, 0, NULL);
  /* As the tool does: every mouse move waits for the hook. */
  SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
  WaitForSingleObject(ready, INFINITE);
  printf("ready %s\n", with_hook ? "hook" : "nohook");
  fflush(stdout);
  WaitForSingleObject(thread, INFINITE);
  return 0;
}
