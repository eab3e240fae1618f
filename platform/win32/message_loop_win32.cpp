// The thread's message loop, with the dialog keys inside our forms.
#include <windows.h>

#include "platform/native.h"
#include "platform/win32/form_win32.h"

namespace ui::native {

void EndProgram() { PostQuitMessage(0); }

int RunMessageLoop() {
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Tab and the other dialog keys inside our forms.
    const HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && IsFormWindow(root) && IsDialogMessageW(root, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace ui::native
