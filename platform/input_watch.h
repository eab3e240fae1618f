#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

// Where an event came from: the user's own mouse or keyboard, our own
// input, or another program's.
enum class InputSource { User, Own, Other };

// The primary and secondary buttons and the keyboard's keys as low-level
// hooks hear them, in the order input comes; each is a line (ButtonLine,
// KeyLine). The user's presses are published for the UI thread; of the
// user's and our own events, only those that change the line's state reach
// the windows, so that downs and ups alternate there whatever the two do
// between them: our first press of a hold swallows into the user's press
// and its up ends it; the user's up after ours is swallowed. A key's own
// repeats pass until our presses take over its hold, and are swallowed
// from then on. The hooks' thread calls Swallow; the UI thread reads and
// resets through the atomics, never waiting for that thread.
class InputWatch {
 public:
  static constexpr int kLines = 2 + 256;
  // 0 primary, 1 secondary.
  static constexpr int ButtonLine(int button) { return button; }
  static constexpr int KeyLine(std::int32_t virtualKey) { return 2 + virtualKey; }

  // Only watched lines are judged; the others' events pass untouched. A
  // change forgets the line: an unwatched one's up goes unheard.
  void SetWatched(int line, bool watched) {
    if (lines_[line].watched.exchange(watched) != watched) Forget(line);
  }
  bool Watched(int line) const { return lines_[line].watched; }
  // One event; true: keep it from the windows. wake: the user pressed a
  // watched line.
  bool Swallow(int line, bool down, InputSource source, std::uint32_t now, bool& wake);
  // How long the user has held line, in ms; -1 while it is up.
  std::int32_t HeldMs(int line, std::uint32_t now) const;
  // Our own downs and ups heard so far: the hooks are alive.
  std::uint32_t Echoes() const { return echoes_; }
  // Takes the line as up, and the windows' state as unknown: the hooks
  // may not hear an up (an administrator's window, another desktop).
  void Forget(int line);
  void ForgetAll() {
    for (int line = 0; line < kLines; ++line) Forget(line);
  }

 private:
  struct Line {
    std::atomic<bool> watched{false};
    std::atomic<bool> userDown{false};
    std::atomic<std::uint32_t> since{0};
    // Else the next event passes, whatever it is, and tells the state.
    std::atomic<bool> known{false};
    // The hooks' thread only.
    bool windowsDown = false;
    bool taken = false;  // our presses took over the user's hold
  };
  Line lines_[kLines];
  std::atomic<std::uint32_t> echoes_{0};
};

}  // namespace platform
