#include "platform/win32/key_box_win32.h"

// Needs windows.h first.
#include <commctrl.h>

#include <cstdint>

#include "platform/os_input.h"

namespace ui::native {

namespace {

constexpr UINT_PTR kKeyBoxSubclassId = 1;

LRESULT CALLBACK KeyBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                            DWORD_PTR refData) {
  auto* box = reinterpret_cast<TextBox*>(refData);
  switch (message) {
    case WM_GETDLGCODE: {
      // Every key but Tab reaches the box, so Enter and Esc can be captured
      // while Tab still moves the focus.
      const auto* msg = reinterpret_cast<const MSG*>(lParam);
      if (box->ReadOnly() &&
          !(msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB)) {
        return DefSubclassProc(window, message, wParam, lParam) | DLGC_WANTALLKEYS;
      }
      break;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      std::int16_t shift = 0;
      if (GetKeyState(VK_SHIFT) < 0) shift |= 1;
      if (GetKeyState(VK_CONTROL) < 0) shift |= 2;
      if (GetKeyState(VK_MENU) < 0) shift |= 4;
      auto code = static_cast<std::int16_t>(wParam);
      const bool reported = box->NativeKeyDown(code, shift);
      if (code == 0) return 0;
      // A captured F10 must not start menu mode.
      if (reported && message == WM_SYSKEYDOWN) return 0;
      wParam = static_cast<WPARAM>(static_cast<std::uint16_t>(code));
      break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
      // Menu mode starts on F10's release: swallow that of a captured one.
      if (box->NativeKeyUp(static_cast<std::int16_t>(wParam)) && message == WM_SYSKEYUP) return 0;
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_XBUTTONDOWN:
    case WM_XBUTTONDBLCLK: {
      const bool middle = message == WM_MBUTTONDOWN || message == WM_MBUTTONDBLCLK;
      const std::int16_t code = middle                                   ? VK_MBUTTON
                                : GET_XBUTTON_WPARAM(wParam) == XBUTTON1 ? VK_XBUTTON1
                                                                         : VK_XBUTTON2;
      // Taken by the box: the focus stays, and no Back or Forward command goes out.
      if (box->NativeButtonDown(code)) return middle ? 0 : TRUE;
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: {
      // The client messages name the logical buttons: primary 1, secondary 2.
      const bool primary = message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK;
      box->NativeButtonPressed(primary ? VK_LBUTTON : VK_RBUTTON, os::TimeMs());
      break;  // a click still focuses the box
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      const bool primary = message == WM_LBUTTONUP;
      // A taken hold of the secondary button opens no context menu.
      if (box->NativeButtonReleased(primary ? VK_LBUTTON : VK_RBUTTON, os::TimeMs()) && !primary) {
        return 0;
      }
      break;
    }
    case WM_KILLFOCUS:
      box->NativeFocusLost();
      break;
    case WM_CHAR:
      if (box->ReadOnly()) return 0;  // captured keys are no text
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, &KeyBoxProc, id);
      break;
    default:
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void SubclassKeyBox(HWND window, TextBox& box) {
  SetWindowSubclass(window, &KeyBoxProc, kKeyBoxSubclassId, reinterpret_cast<DWORD_PTR>(&box));
}

}  // namespace ui::native
