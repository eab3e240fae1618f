// Test only: a DLL put beside the tool under the name of a DLL it loads, to
// show that it never runs there. Loaded, it leaves "<its own path>.ran".
// Lean: the full header declares winmm's functions as imports.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      lstrcpyW(path + length, L".ran");
      HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
      if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    }
  }
  return TRUE;
}

// What an exe that imports winmm statically asks of it, so that such an exe
// still starts and the mark shows.
__declspec(dllexport) DWORD WINAPI timeGetTime(void) { return GetTickCount(); }
__declspec(dllexport) UINT WINAPI timeBeginPeriod(UINT period) { return period == 0; }
__declspec(dllexport) UINT WINAPI timeEndPeriod(UINT period) { return period == 0; }
