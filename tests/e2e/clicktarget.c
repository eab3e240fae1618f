/*
 * Test-only click recorder for the end-to-end tests.
 *
 * Opens a plain window and appends one line per mouse button message to the
 * log file named by the first argument:
 *     LD|LU|RD|RU <GetMessageTime ms> <client x> <client y>
 *     ACT <GetTickCount ms> <WA_* state>      (activation changes)
 *     KD|XD <GetMessageTime ms> <vk|button>   (a key's first down while active, a
 *                                              side button's down: the time Wine
 *                                              stamped the X event with)
 *     KEY <GetTickCount ms> <vk> D|U           (Left/Right/Up/A: key messages while
 *                                              active, else a 10 ms GetAsyncKeyState
 *                                              poll)
 *     FA|FD <GetTickCount ms> D|U              (with "frames": the left button as
 *                                              a game reads it once a 16 ms frame,
 *                                              GetAsyncKeyState, DirectInput state)
 *     KM <GetMessageTime ms> <vk> D|R|U        (with "keys": F1 and F2 as messages:
 *     KR <GetTickCount ms> <vk> D|U <scan>      a new down, a repeat, an up; raw
 *     KF <GetTickCount ms> <dik> D|U            input, on change; with "dinput",
 *     KG <GetTickCount ms> <gap ms>             DirectInput's state once an 8 ms
 *                                              frame on a thread of its own, by
 *                                              scan code, on change; a frame over
 *                                              18 ms after the last, which may
 *                                              miss a 20 ms press)
 * Every line is written at once (no buffering) so the harness can read the log live.
 *
 * Optional arguments after the log path:
 *     x y w h     window position and size (default 50 50 400 300)
 *     title       window title (default "clicktarget")
 *     frames      also read the left button once a frame
 *     keys        also log F1 and F2 through messages and raw input
 *     dinput      log F1 and F2 only through DirectInput, the window hidden
 *     close:C     post WM_CLOSE to the window of class C at the first left
 *                 button down
 *
 * clicktarget.exe --press N hold period: injects N left clicks, each held
 * hold ms, one every period ms, as another program would.
 * clicktarget.exe --button: exit code 1 while the left button reads down.
 * clicktarget.exe --key VK: exit code 1 while the key reads down.
 *
 * Build: x86_64-w64-mingw32-gcc -municode -mwindows -O2 -o clicktarget.exe clicktarget.c \
 *            -ldinput8 -ldxguid
 */
#define WIN32_LEAN_AND_MEAN
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
// Needs windows.h first.
#include <dinput.h>
// Needs windows.h first.
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

static HANDLE g_log = INVALID_HANDLE_VALUE;
static CRITICAL_SECTION g_log_lock;

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
     polling the file sees each line as soon as it happens. Wine writes an
     append at the end it finds: two writers at once would write one line
     over the other, so the threads take turns, and processes keep a log
     each. */
  EnterCriticalSection(&g_log_lock);
  WriteFile(g_log, buf, (DWORD)n, &written, NULL);
  LeaveCriticalSection(&g_log_lock);
}

static void log_button(const char* kind, LPARAM lp) {
  /* The input's own time, not when this busy logger got to it. */
  log_line("%s %lu %d %d", kind, (unsigned long)GetMessageTime(), (int)(short)LOWORD(lp),
           (int)(short)HIWORD(lp));
}

/* Keys the tests hold: logged on change, so a test can tell that a key was
   really down for a while without sleeping. Active, the window hears them
   as messages: a poll would clear the pressed-since bit of GetAsyncKeyState,
   which Wine keeps once for the whole desktop, before the tool reads it. */
static const int g_keys[] = {VK_LEFT, VK_RIGHT, VK_UP, 'A'};
static int g_key_down[4];

static void key_seen(int vk, int down) {
  int i;
  for (i = 0; i < 4; ++i) {
    if (g_keys[i] != vk || down == g_key_down[i]) continue;
    g_key_down[i] = down;
    log_line("KEY %lu %d %c", (unsigned long)GetTickCount(), vk, down ? 'D' : 'U');
  }
}

static void poll_keys(HWND hwnd) {
  int i;
  if (GetActiveWindow() == hwnd) return;
  for (i = 0; i < 4; ++i) key_seen(g_keys[i], (GetAsyncKeyState(g_keys[i]) & 0x8000) != 0);
}

static IDirectInputDevice8W* g_mouse;
static const wchar_t* g_close;
static int g_frame_down[2];

static void log_frame(int which, int down) {
  if (down == g_frame_down[which]) return;
  g_frame_down[which] = down;
  log_line("%s %lu %c", which ? "FD" : "FA", (unsigned long)GetTickCount(), down ? 'D' : 'U');
}

/* A game's view: one reading a frame, so a press between two is lost. */
static void read_frame(void) {
  DIMOUSESTATE state;
  log_frame(0, (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0);
  if (g_mouse && SUCCEEDED(g_mouse->lpVtbl->GetDeviceState(g_mouse, sizeof state, &state)))
    log_frame(1, (state.rgbButtons[0] & 0x80) != 0);
}

static void open_mouse(HINSTANCE inst, HWND hwnd) {
  IDirectInput8W* di = NULL;
  if (FAILED(
          DirectInput8Create(inst, DIRECTINPUT_VERSION, &IID_IDirectInput8W, (void**)&di, NULL)) ||
      FAILED(di->lpVtbl->CreateDevice(di, &GUID_SysMouse, &g_mouse, NULL)))
    return;
  g_mouse->lpVtbl->SetDataFormat(g_mouse, &c_dfDIMouse);
  g_mouse->lpVtbl->SetCooperativeLevel(g_mouse, hwnd, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
  g_mouse->lpVtbl->Acquire(g_mouse);
}

/* F1 and F2 as a game may read them: by messages, raw input and
   DirectInput's immediate state, each logged on change. */
static IDirectInputDevice8W* g_keyboard;
static int g_raw_down[2];
static int g_frame_key[2];

static int skill_index(unsigned vk) { return vk == VK_F1 ? 0 : vk == VK_F2 ? 1 : -1; }

/* A game's loop: a frame every 8 ms, whatever the window's queue does. */
static DWORD WINAPI key_frames(void* unused) {
  BYTE keys[256];
  DWORD last = GetTickCount();
  int i;
  (void)unused;
  for (;;) {
    const DWORD now = GetTickCount();
    if (now - last > 18) log_line("KG %lu %lu", (unsigned long)now, (unsigned long)(now - last));
    last = now;
    /* Wine may drop the acquisition (another window's start): take it again. */
    if (FAILED(g_keyboard->lpVtbl->GetDeviceState(g_keyboard, sizeof keys, keys))) {
      log_line("KL %lu", (unsigned long)now);
      g_keyboard->lpVtbl->Acquire(g_keyboard);
    } else {
      for (i = 0; i < 2; ++i) {
        const int down = (keys[DIK_F1 + i] & 0x80) != 0;
        if (down == g_frame_key[i]) continue;
        g_frame_key[i] = down;
        log_line("KF %lu %d %c", (unsigned long)now, DIK_F1 + i, down ? 'D' : 'U');
      }
    }
    Sleep(8);
  }
  return 0;
}

static void raw_key(LPARAM lp) {
  RAWINPUT raw;
  UINT size = sizeof raw;
  int i, down;
  if (GetRawInputData((HRAWINPUT)lp, RID_INPUT, &raw, &size, sizeof(RAWINPUTHEADER)) == (UINT)-1 ||
      raw.header.dwType != RIM_TYPEKEYBOARD)
    return;
  i = skill_index(raw.data.keyboard.VKey);
  down = !(raw.data.keyboard.Flags & RI_KEY_BREAK);
  if (i < 0 || down == g_raw_down[i]) return;
  g_raw_down[i] = down;
  log_line("KR %lu %u %c %u", (unsigned long)GetTickCount(), raw.data.keyboard.VKey,
           down ? 'D' : 'U', raw.data.keyboard.MakeCode);
}

/* Raw input and DirectInput's keyboard each in a process of its own: Wine
   10's DirectInput reads the keyboard through raw input, whose registration
   is one per process, as Windows' own may; a game uses one or the other. */
static void open_keyboard(HINSTANCE inst, HWND hwnd) {
  IDirectInput8W* di = NULL;
  if (FAILED(
          DirectInput8Create(inst, DIRECTINPUT_VERSION, &IID_IDirectInput8W, (void**)&di, NULL)) ||
      FAILED(di->lpVtbl->CreateDevice(di, &GUID_SysKeyboard, &g_keyboard, NULL)))
    return;
  g_keyboard->lpVtbl->SetDataFormat(g_keyboard, &c_dfDIKeyboard);
  g_keyboard->lpVtbl->SetCooperativeLevel(g_keyboard, hwnd, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
  g_keyboard->lpVtbl->Acquire(g_keyboard);
  CloseHandle(CreateThread(NULL, 0, key_frames, NULL, 0, NULL));
}

static int press(int n, int hold, int period) {
  INPUT in;
  int i;
  ZeroMemory(&in, sizeof in);
  in.type = INPUT_MOUSE;
  for (i = 0; i < n; ++i) {
    in.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &in, sizeof in);
    Sleep((DWORD)hold);
    in.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &in, sizeof in);
    Sleep((DWORD)(period - hold));
  }
  return 0;
}

static LRESULT CALLBACK wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_TIMER:
      if (wp == 2)
        read_frame();
      else
        poll_keys(hwnd);
      return 0;
    case WM_INPUT:
      raw_key(lp);
      break;
    case WM_KEYDOWN:
    case WM_KEYUP:
      if (msg == WM_KEYDOWN && !(lp & (1L << 30)))
        log_line("KD %lu %u", (unsigned long)GetMessageTime(), (unsigned)wp);
      if (skill_index((unsigned)wp) >= 0)
        log_line("KM %lu %u %c", (unsigned long)GetMessageTime(), (unsigned)wp,
                 msg == WM_KEYUP     ? 'U'
                 : (lp & (1L << 30)) ? 'R'
                                     : 'D');
      key_seen((int)wp, msg == WM_KEYDOWN);
      break;
    case WM_LBUTTONDOWN:
      log_button("LD", lp);
      if (g_close) PostMessageW(FindWindowW(g_close, NULL), WM_CLOSE, 0, 0);
      g_close = NULL;
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
    case WM_XBUTTONDOWN:
      log_line("XD %lu %u", (unsigned long)GetMessageTime(), (unsigned)HIWORD(wp));
      break;
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
  int hidden = 0;
  WNDCLASSW wc;
  HWND hwnd;
  MSG m;

  (void)prev;
  (void)cmdline;
  (void)show;

  if (argv && argc > 4 && wcscmp(argv[1], L"--press") == 0)
    return press(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]));
  if (argv && argc > 1 && wcscmp(argv[1], L"--button") == 0)
    return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0;
  if (argv && argc > 2 && wcscmp(argv[1], L"--key") == 0)
    return (GetAsyncKeyState(_wtoi(argv[2])) & 0x8000) != 0;
  InitializeCriticalSection(&g_log_lock);
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

  for (int i = 7; argv && i < argc; ++i) hidden |= wcscmp(argv[i], L"dinput") == 0;
  hwnd =
      CreateWindowExW(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW | (hidden ? 0 : WS_VISIBLE),
                      x, y, w, h, NULL, NULL, inst, NULL);
  if (!hwnd) return 1;
  /* The hidden reader logs its keys only: not the polled ones twice. */
  if (!hidden) SetTimer(hwnd, 1, 10, NULL);
  for (int i = 7; argv && i < argc; ++i) {
    if (wcscmp(argv[i], L"frames") == 0) {
      open_mouse(inst, hwnd);
      SetTimer(hwnd, 2, 16, NULL);
    } else if (wcscmp(argv[i], L"keys") == 0) {
      RAWINPUTDEVICE rid = {1, 6, RIDEV_INPUTSINK, hwnd};
      RegisterRawInputDevices(&rid, 1, sizeof rid);
    } else if (wcscmp(argv[i], L"dinput") == 0) {
      open_keyboard(inst, hwnd);
    } else if (wcsncmp(argv[i], L"close:", 6) == 0) {
      g_close = argv[i] + 6;
    }
  }

  /* Once its readers are open. */
  log_line("START %lu", (unsigned long)GetTickCount());
  while (GetMessageW(&m, NULL, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  /* The frames' thread may still log. */
  EnterCriticalSection(&g_log_lock);
  if (g_log != INVALID_HANDLE_VALUE) CloseHandle(g_log);
  g_log = INVALID_HANDLE_VALUE;
  LeaveCriticalSection(&g_log_lock);
  LocalFree(argv);
  return 0;
}
