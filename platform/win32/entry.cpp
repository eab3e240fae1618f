#include <windows.h>

#include "platform/win32/system_library.h"
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
  return RunYorisen(StartsInTray(show));
}
