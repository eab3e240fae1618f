#include <windows.h>
// Needs windows.h first.
#include <objbase.h>

#include "platform/win32/system_library.h"
#include "platform/win32/trace.h"
#include "windows/app.h"

namespace {

// A shortcut set to "Run: Minimized" asks for one of these.
bool StartsInTray(int show) {
  switch (show) {
    case SW_HIDE:
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
      return true;
    default:
      return false;
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  win32::RestrictDllSearch();
  // The shell's verbs may run through COM, which ShellExecuteEx asks to
  // find ready in this thread. The restart tries without it as well.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (FAILED(com)) win32::TraceFailure("CoInitializeEx", static_cast<DWORD>(com));
  const int code = RunYorisen(StartsInTray(show));
  if (SUCCEEDED(com)) CoUninitialize();
  return code;
}
