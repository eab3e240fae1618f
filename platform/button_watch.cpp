#include "platform/button_watch.h"

namespace platform {

bool ButtonWatch::Swallow(int button, bool down, ButtonSource source, std::uint32_t now,
                          bool& wake) {
  wake = false;
  if (source == ButtonSource::Own) ++echoes_;
  if (button < 0 || button > 1 || (watched_ & (1U << button)) == 0) return false;
  Line& line = lines_[button];
  if (source == ButtonSource::User) {
    wake = down && !line.userDown;
    if (wake) line.since = now;
    line.userDown = down;
  }
  const bool repeated = !line.unknown.exchange(false) && line.windowsDown == down;
  line.windowsDown = down;
  // Another program's input goes through as it is: its pairing is its own.
  return repeated && source != ButtonSource::Other;
}

std::int32_t ButtonWatch::HeldMs(int button, std::uint32_t now) const {
  const Line& line = lines_[button];
  if (!line.userDown) return -1;
  const auto held = static_cast<std::int32_t>(now - line.since);
  return held < 0 ? 0 : held;
}

void ButtonWatch::Forget() {
  for (Line& line : lines_) {
    line.userDown = false;
    line.unknown = true;
  }
}

}  // namespace platform
