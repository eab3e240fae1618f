/*
 * Benchmark probe: how many ticks Wine lets a program get at a short period.
 *
 * A thread waits on a waitable timer armed the way yorisen's precise tick arms
 * it (absolute deadlines one period apart on QueryPerformanceCounter, a
 * relative due time per wait, late deadlines skipped), and posts one tick at a
 * time to a window.  It splits the loss of ticks into: deadlines skipped
 * because the wait woke too late, and ticks dropped because the window had not
 * taken the previous one yet.
 *
 *   timerprobe <period ms> <seconds> <mode>
 *     mode 0: the window does nothing per tick
 *     mode 1: per tick the window makes the calls the tool's watcher makes
 *             (3 GetAsyncKeyState, GetActiveWindow, GetCursorPos) and a
 *             SendInput of two zero mouse moves (a click-sized round trip that
 *             clicks nothing)
 *     mode 2: no ticks; times 20000 SetEvent calls, each a round trip to
 *             wineserver, and prints roundtrip_us
 *
 * Prints one line of key=value figures on stdout.
 * Build: x86_64-w64-mingw32-gcc -O2 -o timerprobe.exe timerprobe.c -lwinmm
 */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// Needs windows.h first.
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>

#define TICK_MSG (WM_APP + 1)
#define MAX_WAKES 200000

static LARGE_INTEGER g_freq;
static LONGLONG g_period;  // in QPC units
static LONGLONG g_end;
static HWND g_hwnd;
static int g_work;
static volatile LONG g_pending;
static LONG g_posted, g_dropped, g_handled, g_skipped, g_wakes, g_waits, g_early;
static LONGLONG g_late[MAX_WAKES];  // wake time - deadline, QPC units
static int g_high_res;

static LONGLONG now(void) {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

static DWORD WINAPI tick_thread(LPVOID arg) {
  HANDLE timer = CreateWaitableTimerExW(NULL, NULL, 0x2 /* HIGH_RESOLUTION */, TIMER_ALL_ACCESS);
  LONGLONG next;
  (void)arg;
  g_high_res = timer != NULL;
  if (!timer) {
    timeBeginPeriod(1);
    timer = CreateWaitableTimerExW(NULL, NULL, 0, TIMER_ALL_ACCESS);
  }
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  next = now() + g_period;
  for (;;) {
    LONGLONG t = now(), remaining = next > t ? next - t : 0;
    LARGE_INTEGER due;
    due.QuadPart = -(remaining * 10000000 / g_freq.QuadPart);
    if (due.QuadPart == 0) due.QuadPart = -1;
    SetWaitableTimer(timer, &due, 0, NULL, NULL, FALSE);
    WaitForSingleObject(timer, INFINITE);
    t = now();
    if (t >= g_end) break;
    ++g_waits;
    if (t < next) {
      // Woken before the deadline on QueryPerformanceCounter: wait again.
      ++g_early;
      continue;
    }
    if (g_wakes < MAX_WAKES) g_late[g_wakes] = t - next;
    ++g_wakes;
    next += g_period;
    if (next <= t) {
      LONGLONG missed = (t - next) / g_period + 1;
      g_skipped += (LONG)missed;
      next += missed * g_period;
    }
    if (InterlockedExchange(&g_pending, 1) == 0) {
      PostMessageW(g_hwnd, TICK_MSG, 0, 0);
      ++g_posted;
    } else {
      ++g_dropped;
    }
  }
  PostMessageW(g_hwnd, WM_CLOSE, 0, 0);
  return 0;
}

static void work(void) {
  INPUT in[2];
  POINT p;
  ZeroMemory(in, sizeof in);
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = in[1].mi.dwFlags = MOUSEEVENTF_MOVE;
  GetAsyncKeyState(VK_LEFT);
  GetAsyncKeyState(VK_RIGHT);
  GetAsyncKeyState(VK_UP);
  GetActiveWindow();
  GetCursorPos(&p);
  SendInput(2, in, sizeof(INPUT));
}

static LRESULT CALLBACK wnd_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == TICK_MSG) {
    InterlockedExchange(&g_pending, 0);
    ++g_handled;
    if (g_work) work();
    return 0;
  }
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

static int cmp(const void* a, const void* b) {
  LONGLONG x = *(const LONGLONG*)a, y = *(const LONGLONG*)b;
  return x < y ? -1 : x > y;
}

static double us(LONGLONG qpc) { return qpc * 1e6 / (double)g_freq.QuadPart; }

int main(int argc, char** argv) {
  WNDCLASSW wc;
  MSG m;
  LONGLONG start;
  double seconds;
  int n;
  if (argc < 4) return 2;
  QueryPerformanceFrequency(&g_freq);
  g_period = atoi(argv[1]) * g_freq.QuadPart / 1000;
  seconds = atof(argv[2]);
  g_work = atoi(argv[3]);

  if (g_work == 2) {
    HANDLE event = CreateEventW(NULL, TRUE, FALSE, NULL);
    const int calls = 20000;
    int i;
    start = now();
    for (i = 0; i < calls; ++i) SetEvent(event);
    printf("roundtrip_us=%.1f\n", us(now() - start) / calls);
    return 0;
  }

  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = wnd_proc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"TimerProbe";
  RegisterClassW(&wc);
  // A message-only window: nothing on screen, messages as usual.
  g_hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                           wc.hInstance, NULL);
  if (!g_hwnd) return 1;

  start = now();
  g_end = start + (LONGLONG)(seconds * g_freq.QuadPart);
  CloseHandle(CreateThread(NULL, 0, tick_thread, NULL, 0, NULL));
  while (GetMessageW(&m, NULL, 0, 0) > 0) DispatchMessageW(&m);

  n = g_wakes < MAX_WAKES ? g_wakes : MAX_WAKES;
  qsort(g_late, n, sizeof g_late[0], cmp);
  printf(
      "high_res=%d deadlines=%.0f waits=%ld early=%ld wakes=%ld skipped=%ld posted=%ld dropped=%ld "
      "handled=%ld rate=%.1f late_p50_us=%.0f late_p99_us=%.0f late_max_us=%.0f\n",
      g_high_res, seconds * g_freq.QuadPart / (double)g_period, g_waits, g_early, g_wakes,
      g_skipped, g_posted, g_dropped, g_handled, g_handled / seconds, n ? us(g_late[n / 2]) : 0.0,
      n ? us(g_late[(n * 99 + 99) / 100 - 1]) : 0.0, n ? us(g_late[n - 1]) : 0.0);
  fflush(stdout);
  return 0;
}
