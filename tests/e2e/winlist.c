/*
 * Test-only: lists the visible top-level windows, one line each, UTF-8:
 *     <X window id> <Win32 class> <x>,<y> <width>x<height> <title>
 * X alone cannot tell a popup menu from a tooltip (both are untitled windows
 * of the same exe); the Win32 class can. The X id is the property Wine's X11
 * driver keeps on each window (0 where there is none).
 * Given an X window id, lists instead the visible controls of that window,
 * in z-order, as <class> <text>: what a test reads of another program's
 * text boxes.
 */
#include <stdio.h>
#include <windows.h>

static void Put(const wchar_t* text) {
  char utf8[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
  if (n > 1) fwrite(utf8, 1, (size_t)n - 1, stdout);
}

static BOOL CALLBACK Line(HWND hwnd, LPARAM unused) {
  (void)unused;
  if (!IsWindowVisible(hwnd)) return TRUE;
  wchar_t cls[256] = L"", title[256] = L"";
  GetClassNameW(hwnd, cls, 256);
  GetWindowTextW(hwnd, title, 256);
  RECT r = {0, 0, 0, 0};
  GetWindowRect(hwnd, &r);
  printf("%lu ", (unsigned long)(ULONG_PTR)GetPropW(hwnd, L"__wine_x11_whole_window"));
  Put(cls);
  printf(" %ld,%ld %ldx%ld ", r.left, r.top, r.right - r.left, r.bottom - r.top);
  Put(title);
  printf("\n");
  return TRUE;
}

static BOOL CALLBACK Control(HWND hwnd, LPARAM unused) {
  (void)unused;
  if (!IsWindowVisible(hwnd)) return TRUE;
  wchar_t cls[256] = L"", text[256] = L"";
  GetClassNameW(hwnd, cls, 256);
  DWORD_PTR copied = 0;
  // WM_GETTEXT, unlike GetWindowText, reads a text box of another process.
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 256, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &copied);
  Put(cls);
  printf(" ");
  Put(text);
  printf("\n");
  return TRUE;
}

static BOOL CALLBACK Controls(HWND hwnd, LPARAM xid) {
  if ((LPARAM)(ULONG_PTR)GetPropW(hwnd, L"__wine_x11_whole_window") != xid) return TRUE;
  EnumChildWindows(hwnd, Control, 0);
  return FALSE;
}

int wmain(int argc, wchar_t** argv) {
  if (argc > 1) {
    EnumWindows(Controls, (LPARAM)wcstoul(argv[1], NULL, 10));
  } else {
    EnumWindows(Line, 0);
  }
  return 0;
}
