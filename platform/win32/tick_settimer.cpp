// Baseline tick: a plain window timer, which Windows clamps to 10 ms and
// rounds to its scheduler tick. Built only for comparison.
#include "platform/win32/tick_source.h"
#include "platform/win32/trace.h"

namespace ui::native {

namespace {

class SetTimerSource final : public TickSource {
 public:
  SetTimerSource(HWND window, UINT_PTR id, std::uint32_t milliseconds) : window_(window), id_(id) {
    SetPeriod(milliseconds, false);
  }
  ~SetTimerSource() override { KillTimer(window_, id_); }
  void SetPeriod(std::uint32_t milliseconds, bool) override {
    if (SetTimer(window_, id_, milliseconds, nullptr) == 0) win32::TraceFailure(L"SetTimer");
  }
  void TickTaken() override {}

 private:
  HWND window_;
  UINT_PTR id_;
};

}  // namespace

std::unique_ptr<TickSource> CreateTickSource(HWND window, UINT_PTR id, std::uint32_t milliseconds,
                                             bool) {
  return std::make_unique<SetTimerSource>(window, id, milliseconds);
}

}  // namespace ui::native
