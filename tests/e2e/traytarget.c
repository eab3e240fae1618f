/*
 * Test-only probe for the end-to-end harness: a small window plus a
 * notification-area icon, used to learn how Wine's tray, keyboard state,
 * activation and injected input behave under Xvfb.
 *
 * Usage: traytarget.exe LOG [option...]
 * Log lines (flushed one by one, "<t>" is GetTickCount ms):
 *     START <t> <icon added 0|1>
 *     TRAY <t> <callback lParam> <cursor x> <cursor y>
 *     KEY <t> <vk> D|U            GetAsyncKeyState transitions (VK_LEFT, VK_RIGHT, VK_UP, 'A')
 *     FG <t> <title>              foreground window changes (UTF-8 title, "-" if none)
 *     SENT <t> L|R <n>            SendInput result of an injected click
 *     MENU <t> <command id>       item chosen in the tray popup menu
 *     DEL <t> <ok>  ADD <t> <ok>  icon removed / re-added
 *     END <t>                     message loop finished
 * Options:
 *     inject   holding 'A' injects one left click per 40 ms tick, like the tool under test
 *     menu     right button press on the icon opens a popup menu (ids 101 "Item", 102 "Quit")
 *     delkey   'D' removes the icon, 'N' adds it back
 *     x y      two integers: window position (default 500 50)
 *
 * Build: x86_64-w64-mingw32-gcc -municode -mwindows -O2 -o traytarget.exe traytarget.c
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// Needs windows.h first.
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define WM_TRAY (WM_APP + 1)
#define TIMER_POLL 1
#define ID_ITEM 101
#define ID_QUIT 102

static HANDLE g_log = INVALID_HANDLE_VALUE;
static NOTIFYICONDATAW g_nid;
static int g_inject, g_menu, g_delkey;
static SHORT g_prev[256];
static HWND g_prev_fg = (HWND)-1;

static void log_line(const char* fmt, ...) {
  char buf[512];
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
  WriteFile(g_log, buf, (DWORD)n, &written, NULL);
  FlushFileBuffers(g_log);
}

static unsigned long now(void) { return (unsigned long)GetTickCount(); }

static UINT inject_click(int right) {
  INPUT in[2];
  ZeroMemory(in, sizeof in);
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  return SendInput(2, in, sizeof(INPUT));
}

static void log_foreground(void) {
  HWND fg = GetForegroundWindow();
  wchar_t wt[128];
  char title[384];

  if (fg == g_prev_fg) return;
  g_prev_fg = fg;
  wt[0] = 0;
  if (fg) GetWindowTextW(fg, wt, 128);
  if (!wt[0]) wcscpy(wt, L"-");
  WideCharToMultiByte(CP_UTF8, 0, wt, -1, title, sizeof title, NULL, NULL);
  log_line("FG %lu %s", now(), title);
}

static void poll(void) {
  static const int vks[] = {VK_LEFT, VK_RIGHT, VK_UP, 'A', 'D', 'N'};
  size_t i;

  for (i = 0; i < sizeof vks / sizeof vks[0]; i++) {
    int vk = vks[i];
    SHORT down = (GetAsyncKeyState(vk) & 0x8000) ? 1 : 0;
    if (down != g_prev[vk]) {
      g_prev[vk] = down;
      log_line("KEY %lu %d %c", now(), vk, down ? 'D' : 'U');
      if (down && g_delkey && vk == 'D')
        log_line("DEL %lu %d", now(), (int)Shell_NotifyIconW(NIM_DELETE, &g_nid));
      if (down && g_delkey && vk == 'N')
        log_line("ADD %lu %d", now(), (int)Shell_NotifyIconW(NIM_ADD, &g_nid));
    }
  }
  if (g_inject && g_prev['A']) log_line("SENT %lu L %u", now(), inject_click(0));
  log_foreground();
}

static void show_menu(HWND hwnd) {
  HMENU m = CreatePopupMenu();
  POINT pt;
  UINT cmd;

  AppendMenuW(m, MF_STRING, ID_ITEM, L"Item");
  AppendMenuW(m, MF_SEPARATOR, 0, NULL);
  AppendMenuW(m, MF_STRING, ID_QUIT, L"Quit");
  GetCursorPos(&pt);
  /* Without foreground activation the menu would not close when the user
     clicks elsewhere (documented TrackPopupMenu caveat). */
  SetForegroundWindow(hwnd);
  cmd = TrackPopupMenu(m, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, NULL);
  PostMessageW(hwnd, WM_NULL, 0, 0);
  DestroyMenu(m);
  log_line("MENU %lu %u", now(), cmd);
  if (cmd == ID_QUIT) DestroyWindow(hwnd);
}

static LRESULT CALLBACK wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_TRAY: {
      POINT pt;
      GetCursorPos(&pt);
      log_line("TRAY %lu %u %ld %ld", now(), (unsigned)LOWORD(lp), pt.x, pt.y);
      if (g_menu && LOWORD(lp) == WM_RBUTTONDOWN) show_menu(hwnd);
      return 0;
    }
    case WM_TIMER:
      if (wp == TIMER_POLL) poll();
      return 0;
    case WM_DESTROY:
      log_line("DEL %lu %d", now(), (int)Shell_NotifyIconW(NIM_DELETE, &g_nid));
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE prev, PWSTR cmdline, int show) {
  int argc = 0, i, nums = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  int pos[2] = {500, 50};
  WNDCLASSW wc;
  HWND hwnd;
  MSG m;
  BOOL added;

  (void)prev;
  (void)cmdline;
  (void)show;

  if (argv && argc > 1)
    g_log = CreateFileW(argv[1], FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, NULL);
  for (i = 2; argv && i < argc; i++) {
    if (!wcscmp(argv[i], L"inject"))
      g_inject = 1;
    else if (!wcscmp(argv[i], L"menu"))
      g_menu = 1;
    else if (!wcscmp(argv[i], L"delkey"))
      g_delkey = 1;
    else if (nums < 2)
      pos[nums++] = _wtoi(argv[i]);
  }

  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = wnd_proc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  wc.lpszClassName = L"TrayTargetWindow";
  RegisterClassW(&wc);

  hwnd = CreateWindowExW(0, wc.lpszClassName, L"traytarget", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                         pos[0], pos[1], 240, 160, NULL, NULL, inst, NULL);
  if (!hwnd) return 1;

  ZeroMemory(&g_nid, sizeof g_nid);
  g_nid.cbSize = sizeof g_nid;
  g_nid.hWnd = hwnd;
  g_nid.uID = 1;
  g_nid.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  g_nid.uCallbackMessage = WM_TRAY;
  g_nid.hIcon = LoadIconW(NULL, (LPCWSTR)IDI_APPLICATION);
  wcscpy(g_nid.szTip, L"traytarget");
  added = Shell_NotifyIconW(NIM_ADD, &g_nid);
  log_line("START %lu %d", now(), (int)added);

  SetTimer(hwnd, TIMER_POLL, 40, NULL);
  while (GetMessageW(&m, NULL, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  log_line("END %lu", now());
  if (g_log != INVALID_HANDLE_VALUE) CloseHandle(g_log);
  LocalFree(argv);
  return 0;
}
