#pragma once

// Sizes at a window's DPI. The per-monitor calls are looked up at run time,
// so that older systems still start the program.
#include <windows.h>

#include "platform/win32/owned.h"

namespace ui::native {

// WM_GETDPISCALEDSIZE, declared only for newer target versions.
constexpr UINT kWmGetDpiScaledSize = 0x02E4;

UINT WindowDpi(HWND window);
int TwipsToPixels(int twips, UINT dpi);
// The DPI the system metrics were read at, at logon.
int SystemDpi();
// The system's message font at dpi.
win32::Font MessageFont(UINT dpi);
// A size from the system metrics at dpi; at logon's where Windows cannot
// tell (before Windows 10 1607).
int MetricForDpi(int index, UINT dpi);
// AdjustWindowRectEx at dpi, where Windows can.
void AdjustForDpi(RECT& rect, DWORD style, DWORD exStyle, bool menu, UINT dpi);

}  // namespace ui::native
