#include "platform/win32/dpi_win32.h"

#include <cstdint>

#include "platform/native.h"
#include "platform/win32/system_function.h"

namespace ui::native {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

template <typename Fn>
Fn User32Proc(const char* name) {
  return win32::SystemFunction<Fn>(L"user32.dll", name);
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Proc<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  const win32::WindowDC screen(nullptr);
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

int SystemDpi() {
  const win32::WindowDC screen(nullptr);
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

win32::Font MessageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  static const auto forDpi = User32Proc<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
  if (forDpi == nullptr || !forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    // Per-monitor v1 (Windows 8.1, 10 before 1607): these are at the system
    // DPI, the window's may differ.
    LONG& height = metrics.lfMessageFont.lfHeight;
    height = MulDiv(height, static_cast<int>(dpi), SystemDpi());
  }
  return win32::Font(CreateFontIndirectW(&metrics.lfMessageFont));
}

int MetricForDpi(int index, UINT dpi) {
  static const auto forDpi = User32Proc<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  return forDpi != nullptr ? forDpi(index, dpi) : GetSystemMetrics(index);
}

void AdjustForDpi(RECT& rect, DWORD style, DWORD exStyle, bool menu, UINT dpi) {
  static const auto forDpi = User32Proc<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  if (forDpi != nullptr) {
    forDpi(&rect, style, menu, exStyle, dpi);
  } else {
    AdjustWindowRectEx(&rect, style, menu, exStyle);
  }
}

// The tray shows the small-icon size at the taskbar's DPI now, the primary
// display's, which may not be logon's.
std::uint32_t TaskbarDpi() {
  const HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
  return taskbar != nullptr ? WindowDpi(taskbar) : static_cast<UINT>(SystemDpi());
}

}  // namespace ui::native
