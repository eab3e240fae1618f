// Raw input: a key-down anywhere reaches the window as WM_INPUT, with no
// polling, so a parked tick can wake with the press.
#include "platform/win32/raw_keys.h"

#include "platform/win32/trace.h"

namespace win32 {

namespace {

constexpr USHORT kGenericDesktop = 0x01;  // HID usage page
constexpr USHORT kMouse = 0x02;           // HID usage
constexpr USHORT kKeyboard = 0x06;        // HID usage
// Middle, X1 and X2: the buttons that can be watched keys. Left and right
// are the tool's own clicks.
constexpr USHORT kWatchableButtonsDown =
    RI_MOUSE_MIDDLE_BUTTON_DOWN | RI_MOUSE_BUTTON_4_DOWN | RI_MOUSE_BUTTON_5_DOWN;

}  // namespace

bool ListenRawKeys(HWND window) {
  const RAWINPUTDEVICE device{kGenericDesktop, kKeyboard, RIDEV_INPUTSINK, window};
  if (RegisterRawInputDevices(&device, 1, sizeof(device))) return true;
  TraceFailure("RegisterRawInputDevices");
  return false;
}

void StopRawKeys() {
  const RAWINPUTDEVICE device{kGenericDesktop, kKeyboard, RIDEV_REMOVE, nullptr};
  RegisterRawInputDevices(&device, 1, sizeof(device));
}

bool ListenRawButtons(HWND window, bool listen) {
  const DWORD flags = listen ? RIDEV_INPUTSINK : RIDEV_REMOVE;
  const RAWINPUTDEVICE device{kGenericDesktop, kMouse, flags, listen ? window : nullptr};
  if (RegisterRawInputDevices(&device, 1, sizeof(device))) return true;
  TraceFailure("RegisterRawInputDevices (mouse)");
  return false;
}

int RawKey(LPARAM input, bool& down) {
  RAWINPUT raw{};
  UINT size = sizeof(raw);
  down = true;
  if (GetRawInputData(reinterpret_cast<HRAWINPUT>(input), RID_INPUT, &raw, &size,
                      sizeof(RAWINPUTHEADER)) == static_cast<UINT>(-1)) {
    return -1;
  }
  if (raw.header.dwType == RIM_TYPEMOUSE)
    return (raw.data.mouse.usButtonFlags & kWatchableButtonsDown) != 0 ? 0 : -1;
  if (raw.header.dwType != RIM_TYPEKEYBOARD) return -1;
  down = (raw.data.keyboard.Flags & RI_KEY_BREAK) == 0;
  // 255 is the code of keys that have none of their own (parts of Pause).
  const USHORT key = raw.data.keyboard.VKey;
  return key > 0 && key < 255 ? key : 0;
}

}  // namespace win32
