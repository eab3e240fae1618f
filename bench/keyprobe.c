/*
 * Benchmark probe: what a parked tick woken by raw input finds. A hidden
 * window hears key-downs through raw input (RIDEV_INPUTSINK, as the tool's
 * window does without the focus) and asks GetAsyncKeyState once a second
 * meanwhile, as the parked tick's heartbeat does. For each raw key-down of
 * the key it writes one line to the log:
 *     <input stamp> <delivered> <down> <seen>
 * input stamp: GetMessageTime of the WM_INPUT (ms, Wine's input clock);
 * delivered: ms from that stamp to the window procedure; down: 1 if
 * GetAsyncKeyState said "down" then; seen: ms from the stamp until it said
 * so, polling every ms (-1: not within 500 ms).
 *
 *   keyprobe <log path> <virtual-key code>
 * Build: x86_64-w64-mingw32-gcc -O2 -municode -mwindows -o keyprobe.exe keyprobe.c
 */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static FILE* g_log;
static int g_key;

static int Down(void) { return (GetAsyncKeyState(g_key) & 0x8000) != 0; }

static void OnInput(HRAWINPUT input) {
  RAWINPUT raw;
  UINT size = sizeof raw;
  if (GetRawInputData(input, RID_INPUT, &raw, &size, sizeof(RAWINPUTHEADER)) == (UINT)-1) return;
  if (raw.header.dwType != RIM_TYPEKEYBOARD || raw.data.keyboard.VKey != g_key ||
      (raw.data.keyboard.Flags & RI_KEY_BREAK))
    return;
  DWORD stamp = (DWORD)GetMessageTime();
  DWORD delivered = GetTickCount() - stamp;
  int down = Down();
  long seen = -1;
  for (int i = 0; i < 500; ++i) {
    if (Down()) {
      seen = (long)(GetTickCount() - stamp);
      break;
    }
    Sleep(1);
  }
  fprintf(g_log, "%lu %lu %d %ld\n", (unsigned long)stamp, (unsigned long)delivered, down, seen);
  fflush(g_log);
}

static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INPUT) {
    OnInput((HRAWINPUT)lp);
  } else if (msg == WM_TIMER) {
    Down();  // the heartbeat's query
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  g_log = _wfopen(argv[1], L"wb");
  g_key = _wtoi(argv[2]);
  if (!g_log) return 1;
  WNDCLASSW wc = {0};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"keyprobe";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowW(L"keyprobe", L"keyprobe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL,
                            NULL, wc.hInstance, NULL);
  RAWINPUTDEVICE device = {0x01, 0x06, RIDEV_INPUTSINK, hwnd};
  if (!hwnd || !RegisterRawInputDevices(&device, 1, sizeof device)) return 1;
  SetTimer(hwnd, 1, 1000, NULL);
  fprintf(g_log, "START\n");
  fflush(g_log);
  MSG msg;
  while (GetMessageW(&msg, NULL, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}
