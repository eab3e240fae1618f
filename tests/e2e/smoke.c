/*
 * Test-only: drives a yorisen.exe from inside Windows, through Windows' own
 * input (SendInput, SetCursorPos, window messages), and prints one line per
 * check, then "smoke: N passed, N failed"; exits 1 when any check failed.
 *     smoke.exe <path of yorisen.exe>
 * The exe runs from a copy in a fresh folder under %TEMP%, with a config.ini
 * of its own, so that no other copy's settings are touched. Every wait is
 * bounded, and the tool's processes are ended by their handles.
 */
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#define WINVER 0x0601
#endif
#include <windows.h>
// Needs windows.h first.
#include <shellapi.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kMaxClicks = 1024, kPeriodMs = 40, kHoldMs = 1000 };

/* What the click window saw of one button: when each down and up arrived. */
typedef struct {
  int downs, ups;
  double down_at[kMaxClicks], up_at[kMaxClicks];
} Button;

typedef struct {
  Button left, right;
  int passed, failed;
  LARGE_INTEGER frequency;
} Smoke;

static Smoke g;

/* The performance counter, not GetMessageTime: Windows' message times step
   by about 15.6 ms, as coarse as the press time being measured. */
static double now_ms(void) {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return (double)t.QuadPart * 1000.0 / (double)g.frequency.QuadPart;
}

static void check(int ok, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  printf("%s: ", ok ? "PASS" : "FAIL");
  vprintf(format, ap);
  printf("\n");
  fflush(stdout);
  va_end(ap);
  if (ok) {
    ++g.passed;
  } else {
    ++g.failed;
  }
}

static void note(Button* b, int down) {
  int* n = down ? &b->downs : &b->ups;
  if (*n < kMaxClicks) (down ? b->down_at : b->up_at)[*n] = now_ms();
  ++*n;
}

static LRESULT CALLBACK target_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      note(&g.left, msg == WM_LBUTTONDOWN);
      return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      note(&g.right, msg == WM_RBUTTONDOWN);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

/* Runs the messages of this thread, the click window's among them, for ms. */
static void pump(DWORD ms) {
  const double end = now_ms() + ms;
  for (;;) {
    MSG m;
    double left;
    while (PeekMessageW(&m, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    left = end - now_ms();
    if (left <= 0) return;
    MsgWaitForMultipleObjects(0, NULL, FALSE, (DWORD)left + 1, QS_ALLINPUT);
  }
}

static void forget_clicks(void) {
  ZeroMemory(&g.left, sizeof g.left);
  ZeroMemory(&g.right, sizeof g.right);
}

/* Waits, at most 3 s, until no button message has come for 300 ms: the
   last click's up comes at most 50 ms after its down. */
static void settle(void) {
  const double end = now_ms() + 3000;
  int seen = -1;
  while (now_ms() < end && seen != g.left.downs + g.left.ups + g.right.downs + g.right.ups) {
    seen = g.left.downs + g.left.ups + g.right.downs + g.right.ups;
    pump(300);
  }
}

static void key(WORD vk, int down) {
  INPUT in;
  ZeroMemory(&in, sizeof in);
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = (WORD)MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  /* The arrow keys are extended keys. */
  in.ki.dwFlags = KEYEVENTF_EXTENDEDKEY | (down ? 0 : KEYEVENTF_KEYUP);
  if (SendInput(1, &in, (int)sizeof in) != 1)
    printf("note: SendInput refused key %u\n", (unsigned)vk);
}

static void hold(WORD vk, DWORD ms) {
  key(vk, 1);
  pump(ms);
  key(vk, 0);
}

/* An injected click activates the window under the pointer, which
   SetForegroundWindow may be refused. */
static void click_at(POINT p) {
  INPUT in[2];
  ZeroMemory(in, sizeof in);
  SetCursorPos(p.x, p.y);
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, (int)sizeof in[0]);
}

/* The click comes first: it is the input SetForegroundWindow's rules ask
   for. Under Wine it alone left the desktop in front. */
static int bring_to_front(HWND w, POINT p) {
  const double until = now_ms() + 5000;
  click_at(p);
  while (GetForegroundWindow() != w && now_ms() < until) {
    pump(20);
    SetForegroundWindow(w);
  }
  return GetForegroundWindow() == w && WindowFromPoint(p) == w;
}

typedef struct {
  DWORD pid; /* 0: any process */
  HWND found;
  int count;
  int tray; /* looking for the tray icon, not the window */
} Probe;

static const wchar_t kTitle[] = L"Yorisen\xFF08\x4EEE\x540D\xFF09";

static BOOL CALLBACK probe_window(HWND w, LPARAM lp) {
  Probe* p = (Probe*)lp;
  DWORD pid = 0;
  wchar_t title[64];
  UINT id;
  GetWindowThreadProcessId(w, &pid);
  if (p->pid != 0 && pid != p->pid) return TRUE;
  if (!p->tray) {
    if (IsWindowVisible(w) && GetWindowTextW(w, title, 64) > 0 && lstrcmpW(title, kTitle) == 0) {
      p->found = w;
      ++p->count;
    }
    return TRUE;
  }
  /* The shell accepts a change of nothing only for an icon it shows. */
  for (id = 0; id < 16; ++id) {
    NOTIFYICONDATAW nid;
    ZeroMemory(&nid, sizeof nid);
    nid.cbSize = NOTIFYICONDATAW_V1_SIZE;
    nid.hWnd = w;
    nid.uID = id;
    if (Shell_NotifyIconW(NIM_MODIFY, &nid)) {
      p->found = w;
      return FALSE;
    }
  }
  return TRUE;
}

static HWND find(DWORD pid, int tray, int* count) {
  Probe p;
  ZeroMemory(&p, sizeof p);
  p.pid = pid;
  p.tray = tray;
  EnumWindows(probe_window, (LPARAM)&p);
  if (count) *count = p.count;
  return p.found;
}

static HWND wait_find(DWORD pid, int tray, DWORD timeout) {
  const double end = now_ms() + timeout;
  HWND w;
  while ((w = find(pid, tray, NULL)) == NULL && now_ms() < end) pump(50);
  return w;
}

static int wait_exit(HANDLE process, DWORD timeout, DWORD* code) {
  const double end = now_ms() + timeout;
  while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT && now_ms() < end) pump(20);
  return GetExitCodeProcess(process, code) && *code != STILL_ACTIVE;
}

static int start(const wchar_t* exe, const wchar_t* folder, PROCESS_INFORMATION* pi) {
  STARTUPINFOW si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  return CreateProcessW(exe, NULL, NULL, NULL, FALSE, 0, NULL, folder, &si, pi);
}

static void end(PROCESS_INFORMATION* pi) {
  if (pi->hProcess == NULL) return;
  if (WaitForSingleObject(pi->hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(pi->hProcess, 1);
    WaitForSingleObject(pi->hProcess, 5000);
  }
  CloseHandle(pi->hThread);
  CloseHandle(pi->hProcess);
  ZeroMemory(pi, sizeof *pi);
}

static int file_has(const wchar_t* path, const char* text) {
  char data[4096];
  DWORD n = 0;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_EXISTING, 0, NULL);
  if (f == INVALID_HANDLE_VALUE) return 0;
  ReadFile(f, data, sizeof data - 1, &n, NULL);
  CloseHandle(f);
  data[n] = 0;
  if (n >= 2 && (BYTE)data[0] == 0xFF && (BYTE)data[1] == 0xFE) {
    /* UTF-16: its ASCII, narrowed, is enough to find a setting in. */
    DWORD i;
    for (i = 2; i + 1 < n; i += 2) data[i / 2 - 1] = data[i];
    data[n / 2 - 1] = 0;
  }
  return strstr(data, text) != NULL;
}

static int write_file(const wchar_t* path, const char* text) {
  DWORD n = 0;
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (f == INVALID_HANDLE_VALUE) return 0;
  WriteFile(f, text, (DWORD)strlen(text), &n, NULL);
  CloseHandle(f);
  return n == strlen(text);
}

static int compare_ms(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

/* The median time from each left down to its up, in ms; -1 without pairs. */
static double median_press(void) {
  static double press[kMaxClicks];
  int i, n = g.left.downs < g.left.ups ? g.left.downs : g.left.ups;
  if (n > kMaxClicks) n = kMaxClicks;
  if (n == 0) return -1;
  for (i = 0; i < n; ++i) press[i] = g.left.up_at[i] - g.left.down_at[i];
  qsort(press, (size_t)n, sizeof press[0], compare_ms);
  return press[n / 2];
}

static void check_rate(const char* what, int clicks) {
  const int expected = kHoldMs / kPeriodMs, low = expected * 6 / 10, high = expected * 14 / 10;
  check(clicks >= low && clicks <= high, "%s held %d ms: %d clicks (expected %d..%d)", what,
        kHoldMs, clicks, low, high);
}

int wmain(int argc, wchar_t** argv) {
  wchar_t temp[MAX_PATH], folder[MAX_PATH], exe[MAX_PATH], ini[MAX_PATH];
  static const char kConfig[] = "[Config]\r\nInterval=40\r\n";
  PROCESS_INFORMATION tool, second;
  WNDCLASSW wc;
  HWND target, window;
  RECT r;
  POINT centre;
  DWORD code = 0;
  double press;
  int windows = 0, exited;

  if (argc != 2) {
    printf("usage: smoke.exe <path of yorisen.exe>\n");
    return 2;
  }
  QueryPerformanceFrequency(&g.frequency);
  /* Screen coordinates in pixels, whatever the desktop's scale. */
  SetProcessDPIAware();
  ZeroMemory(&tool, sizeof tool);
  ZeroMemory(&second, sizeof second);

  GetTempPathW(MAX_PATH, temp);
  wsprintfW(folder, L"%syorisen-smoke-%lu", temp, GetCurrentProcessId());
  wsprintfW(exe, L"%s\\yorisen.exe", folder);
  wsprintfW(ini, L"%s\\config.ini", folder);
  check(CreateDirectoryW(folder, NULL) && CopyFileW(argv[1], exe, TRUE) && write_file(ini, kConfig),
        "a fresh folder with the exe and a config.ini of its own");

  /* The click window: in front of everything, the tool's window too. */
  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = target_proc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  wc.lpszClassName = L"SmokeClickWindow";
  RegisterClassW(&wc);
  target = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"smoke click window",
                           WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 250, 400, 300, NULL, NULL,
                           wc.hInstance, NULL);
  GetClientRect(target, &r);
  centre.x = r.right / 2;
  centre.y = r.bottom / 2;
  ClientToScreen(target, &centre);

  if (!start(exe, folder, &tool)) {
    check(0, "the tool starts (CreateProcess error %lu)", GetLastError());
  } else {
    window = wait_find(tool.dwProcessId, 0, 20000);
    check(window != NULL, "the tool starts and shows its window, found by its title");
    check(wait_find(tool.dwProcessId, 1, 10000) != NULL, "its icon is in the notification area");

    check(bring_to_front(target, centre), "the click window is in front, with the pointer over it");
    settle();

    forget_clicks();
    hold(VK_LEFT, kHoldMs);
    settle();
    check_rate("the left-click key", g.left.downs);
    check(g.right.downs == 0 && g.left.ups == g.left.downs,
          "  left clicks only, each down with its up (%d down, %d up, %d right)", g.left.downs,
          g.left.ups, g.right.downs);
    press = median_press();
    /* The default press time: half the period, at most 50 ms. */
    check(press >= 10 && press <= 35,
          "press time: each button down for about the default 20 ms at 40 ms (median %.1f ms "
          "down to up, expected 10..35)",
          press);

    forget_clicks();
    hold(VK_RIGHT, kHoldMs);
    settle();
    check_rate("the right-click key", g.right.downs);
    check(g.left.downs == 0 && g.right.ups == g.right.downs,
          "  right clicks only, each down with its up (%d down, %d up, %d left)", g.right.downs,
          g.right.ups, g.left.downs);

    /* Held a few ticks, so that the tool's poll sees it. */
    hold(VK_UP, 200);
    pump(200);
    forget_clicks();
    hold(VK_LEFT, kHoldMs);
    settle();
    check(g.left.downs == 0, "the on/off key switches the clicks off (%d clicks in %d ms)",
          g.left.downs, kHoldMs);
    hold(VK_UP, 200);
    pump(200);
    forget_clicks();
    hold(VK_LEFT, kHoldMs);
    settle();
    check_rate("switched on again, the left-click key", g.left.downs);

    if (!start(exe, folder, &second)) {
      check(0, "a second start (CreateProcess error %lu)", GetLastError());
    } else {
      exited = wait_exit(second.hProcess, 10000, &code);
      check(exited && code == 0,
            "a second start from the same folder ends at once, with exit code %lu", code);
      end(&second);
      find(0, 0, &windows);
      check(WaitForSingleObject(tool.hProcess, 0) == WAIT_TIMEOUT && windows == 1 &&
                file_has(ini, kConfig),
            "  and starts no second copy: the first runs, %d window, config.ini untouched",
            windows);
    }

    /* The second start brought the tool's window forward. While the
       clicks come, the window is closed. */
    check(bring_to_front(target, centre), "the click window in front again");
    settle();
    forget_clicks();
    key(VK_LEFT, 1);
    {
      const double until = now_ms() + 3000;
      while (g.left.downs < 3 && now_ms() < until) pump(5);
    }
    PostMessageW(window, WM_CLOSE, 0, 0);
    code = STILL_ACTIVE;
    exited = wait_exit(tool.hProcess, 10000, &code);
    check(exited && code == 0, "closing the tool's window while it clicks ends it, exit code %lu",
          code);
    key(VK_LEFT, 0);
    settle();
    check(file_has(ini, "LeftKey=37"), "  config.ini written on exit");
    {
      /* A cached state under Wine may lag a little; a stuck one never goes. */
      const double until = now_ms() + 500;
      while ((GetAsyncKeyState(VK_LBUTTON) & 0x8000) && now_ms() < until) pump(20);
    }
    check(g.left.ups == g.left.downs && !(GetAsyncKeyState(VK_LBUTTON) & 0x8000),
          "  the left button is up (%d down, %d up)", g.left.downs, g.left.ups);
  }
  end(&second);
  end(&tool);
  DestroyWindow(target);
  DeleteFileW(ini);
  DeleteFileW(exe);
  RemoveDirectoryW(folder);
  printf("smoke: %d passed, %d failed\n", g.passed, g.failed);
  return g.failed ? 1 : 0;
}
