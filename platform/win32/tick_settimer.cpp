// Baseline tick: a plain window timer, which Windows clamps to 10 ms and
// rounds to its scheduler tick. Built only for comparison.
#include "platform/win32/window_timer.h"

namespace ui::native {

std::unique_ptr<TickSource> CreateTickSource(HWND window, UINT_PTR id, std::uint32_t milliseconds,
                                             bool) {
  auto source = std::make_unique<WindowTimerSource>(window, id, false);
  source->SetPeriod(milliseconds, false);
  return source;
}

// A window timer never stops on its own.
std::unique_ptr<TickSource> ReplaceTickSource(std::unique_ptr<TickSource> failed, HWND, UINT_PTR,
                                              std::uint32_t, bool) {
  return failed;
}

}  // namespace ui::native
