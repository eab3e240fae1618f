/*
 * Test-only click recorder for the end-to-end tests.
 *
 * Opens a plain window and appends one line per mouse button message to the
 * log file named by the first argument:
 *     LD|LU|RD|RU <GetMessageTime ms> <client x> <client y>
 *     ACT <GetTickCount ms> <WA_* state>      (activation changes)
 *     KEY <GetTickCount ms> <vk> D|U           (Left/Right/Up/A seen by a 10 ms
 *                                              GetAsyncKeyState poll)
 * Every line is written at once (no buffering) so the harness can read the log live.
 *
 * Optional arguments after the log path:
 *     x y w h     window position and size (default 50 50 400 300)
 *     title       window title (default "clicktarget")
 *
 * Build: x86_64-w64-mingw32-gcc -municode -mwindows -O2 -o clicktarget.exe clicktarget.c
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// Needs windows.h first.
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static HANDLE g_log = INVALID_HANDLE_VALUE;

static void log_line(const char* fmt, ...) {
  char buf[256];
  va_list ap;
  int n;
  DWORD written;

  if (g_log == INVALID_HANDLE_VALUE) return;
  va_start(ap, fmt);
  n = vsnprintf(buf, sizeof buf - 2, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (n > (int)sizeof buf - 2) n = (int)sizeof buf - 2;
  buf[n++] = '\n';
  /* The log is opened in append mode and written unbuffered, so a reader
     polling the file sees each line as soon as it happens. */
  WriteFile(g_log, buf, (DWORD)n, &written, NULL);
}

static void log_button(const char* kind, LPARAM lp) {
  /* The input's own time, not when this busy logger got to it. */
  log_line("%s %lu %d %d", kind, (unsigned long)GetMessageTime(), (int)(short)LOWORD(lp),
           (int)(short)HIWORD(lp));
}

/* Keys the tests hold: logged on change, so a test can tell that a key was
   really down for a while without sleeping. */
static const int g_keys[] = {VK_LEFT, VK_RIGHT, VK_UP, 'A'};
static int g_key_down[4];

static void poll_keys(void) {
  int i;
  for (i = 0; i < 4; ++i) {
    int down = (GetAsyncKeyState(g_keys[i]) & 0x8000) != 0;
    if (down != g_key_down[i]) {
      g_key_down[i] = down;
      log_line("KEY %lu %d %c", (unsigned long)GetTickCount(), g_keys[i], down ? 'D' : 'U');
    }
  }
}

static LRESULT CALLBACK wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_TIMER:
      poll_keys();
      return 0;
    case WM_LBUTTONDOWN:
      log_button("LD", lp);
      return 0;
    case WM_LBUTTONUP:
      log_button("LU", lp);
      return 0;
    case WM_RBUTTONDOWN:
      log_button("RD", lp);
      return 0;
    case WM_RBUTTONUP:
      log_button("RU", lp);
      return 0;
    case WM_ACTIVATE:
      log_line("ACT %lu %u", (unsigned long)GetTickCount(), (unsigned)LOWORD(wp));
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE prev, PWSTR cmdline, int show) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  int x = 50, y = 50, w = 400, h = 300;
  const wchar_t* title = L"clicktarget";
  WNDCLASSW wc;
  HWND hwnd;
  MSG m;

  (void)prev;
  (void)cmdline;
  (void)show;

  if (argv && argc > 1) {
    g_log = CreateFileW(argv[1], FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, NULL);
  }
  if (argv && argc > 5) {
    x = _wtoi(argv[2]);
    y = _wtoi(argv[3]);
    w = _wtoi(argv[4]);
    h = _wtoi(argv[5]);
  }
  if (argv && argc > 6) title = argv[6];

  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = wnd_proc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  wc.lpszClassName = L"ClickTargetWindow";
  RegisterClassW(&wc);

  hwnd = CreateWindowExW(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, w, h,
                         NULL, NULL, inst, NULL);
  if (!hwnd) return 1;
  log_line("START %lu", (unsigned long)GetTickCount());
  SetTimer(hwnd, 1, 10, NULL);

  while (GetMessageW(&m, NULL, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  if (g_log != INVALID_HANDLE_VALUE) CloseHandle(g_log);
  LocalFree(argv);
  return 0;
}
