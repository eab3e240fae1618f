#include "platform/input_watch.h"

namespace platform {

bool InputWatch::Swallow(int line, bool down, InputSource source, std::uint32_t now, bool& wake) {
  wake = false;
  if (source == InputSource::Own) ++echoes_;
  if (line < 0 || line >= kLines || !lines_[line].watched) return false;
  Line& l = lines_[line];
  if (source == InputSource::User) {
    const bool repeat = down && l.userDown;
    wake = down && !l.userDown;
    if (wake) {
      l.since = now;
      l.taken = false;
    }
    l.userDown = down;
    // A keyboard's repeat of the held key: the user's own until our
    // presses take over, then it would come between them.
    if (repeat) {
      if (l.taken) return true;
      l.known = true;
      l.windowsDown = true;
      return false;
    }
  } else if (source == InputSource::Own && down && l.userDown) {
    l.taken = true;
  }
  const bool repeated = l.known.exchange(true) && l.windowsDown == down;
  l.windowsDown = down;
  // Another program's input goes through as it is: its pairing is its own.
  return repeated && source != InputSource::Other;
}

std::int32_t InputWatch::HeldMs(int line, std::uint32_t now) const {
  const Line& l = lines_[line];
  if (!l.userDown) return -1;
  const auto held = static_cast<std::int32_t>(now - l.since);
  return held < 0 ? 0 : held;
}

void InputWatch::Forget(int line) {
  lines_[line].userDown = false;
  lines_[line].known = false;
}

}  // namespace platform
