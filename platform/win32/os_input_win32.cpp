// Keyboard, mouse and clock over Win32.
#include <windows.h>

#include <algorithm>

#include "platform/os_input.h"
#include "platform/win32/input_hook.h"

namespace os {

std::int16_t KeyState(std::int32_t virtualKey) { return GetAsyncKeyState(virtualKey); }

WindowHandle ActiveWindow() { return reinterpret_cast<WindowHandle>(GetActiveWindow()); }

bool CursorPos(Point& point) {
  POINT p{};
  if (!GetCursorPos(&p)) return false;
  point.x = p.x;
  point.y = p.y;
  return true;
}

bool ButtonsSwapped() { return GetSystemMetrics(SM_SWAPBUTTON) != 0; }

int InjectButton(std::uint32_t downFlag, std::uint32_t upFlag) {
  INPUT inputs[2]{};
  UINT count = 0;
  for (const std::uint32_t flag : {downFlag, upFlag}) {
    if (flag == 0) continue;
    INPUT& in = inputs[count++];
    in.type = INPUT_MOUSE;
    // dx and dy stay 0: without the move flag the click lands where the
    // cursor is, and with it they would move it.
    in.mi.dwFlags = flag;
    in.mi.dwExtraInfo = win32::kOwnInput;
  }
  return static_cast<int>(SendInput(count, inputs, sizeof(INPUT)));
}

namespace {

// Keys whose scan code needs the extended bit to be named as themselves, not
// as their numpad or left-hand twins; MapVirtualKey does not always say so.
bool IsExtendedKey(std::int32_t virtualKey) {
  switch (virtualKey) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_NUMLOCK:
    case VK_DIVIDE:
    case VK_RCONTROL:
    case VK_RMENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS:
      return true;
    default:
      return false;
  }
}

}  // namespace

int InjectKey(std::int32_t virtualKey, bool down, bool up) {
  const auto key = static_cast<UINT>(virtualKey & 0xFF);
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC_EX);
  const bool extended = (scan & 0xFF00) == 0xE000 || IsExtendedKey(virtualKey);
  DWORD flags = extended ? KEYEVENTF_EXTENDEDKEY : 0;
  // By its scan code only when that names this very key (Windows then
  // ignores the code), not its numpad or left-hand twin.
  if ((scan & 0xFF) != 0 &&
      MapVirtualKeyW((scan & 0xFF) | (extended ? 0xE000 : 0), MAPVK_VSC_TO_VK_EX) == key) {
    flags |= KEYEVENTF_SCANCODE;
  }
  INPUT inputs[2]{};
  UINT count = 0;
  for (const bool isUp : {false, true}) {
    if (isUp ? !up : !down) continue;
    INPUT& in = inputs[count++];
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = static_cast<WORD>(key);
    in.ki.wScan = static_cast<WORD>(scan & 0xFF);
    in.ki.dwFlags = flags | (isUp ? KEYEVENTF_KEYUP : 0);
    in.ki.dwExtraInfo = win32::kOwnInput;
  }
  return static_cast<int>(SendInput(count, inputs, sizeof(INPUT)));
}

std::wstring KeyName(std::int32_t virtualKey) {
  if (virtualKey <= 0 || virtualKey > 0xFF) return std::wstring();
  const UINT scan = MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC_EX);
  if ((scan & 0xFF) == 0) return std::wstring();
  LONG keyData = static_cast<LONG>(scan & 0xFF) << 16;
  if ((scan & 0xFF00) == 0xE000 || IsExtendedKey(virtualKey)) keyData |= 1L << 24;
  wchar_t name[64]{};
  const int length = GetKeyNameTextW(keyData, name, 64);
  return std::wstring(name, static_cast<std::size_t>(std::max(length, 0)));
}

bool HasScanCode(std::int32_t virtualKey) {
  return virtualKey > 0 && virtualKey <= 0xFF &&
         (MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC_EX) & 0xFF) != 0;
}

// A kernel32 clock (winmm's timeGetTime would bring a DLL that is not a
// KnownDLL into the static imports); it wraps as that one did.
std::uint32_t TimeMs() {
  LARGE_INTEGER now{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  const std::int64_t perSecond = frequency.QuadPart;
  return static_cast<std::uint32_t>(now.QuadPart / perSecond * 1000 +
                                    now.QuadPart % perSecond * 1000 / perSecond);
}

}  // namespace os
