#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

// Where a button's event came from: the user's own mouse, one of our
// clicks, or another program's input.
enum class ButtonSource { User, Own, Other };

// The primary (0) and secondary (1) buttons as a low-level hook hears
// them, in the order input comes. The user's presses are published for the
// UI thread; of the user's and our own events, only those that change the
// button's state reach the windows, so that downs and ups alternate there
// whatever the two do between them: our first click of a hold swallows into
// the user's press and its up ends it; the user's up after ours is
// swallowed. The hook's thread calls Swallow; the UI thread reads and resets
// through the atomics, never waiting for that thread.
class ButtonWatch {
 public:
  // Bit 0 primary, bit 1 secondary; the others' events pass untouched. A
  // change forgets the buttons: an unwatched one's up goes unheard.
  void SetWatched(unsigned buttons) {
    if (watched_.exchange(buttons) != buttons) Forget();
  }
  unsigned Watched() const { return watched_; }
  // One event; true: keep it from the windows. wake: the user pressed a
  // watched button.
  bool Swallow(int button, bool down, ButtonSource source, std::uint32_t now, bool& wake);
  // How long the user has held button, in ms; -1 while it is up.
  std::int32_t HeldMs(int button, std::uint32_t now) const;
  // Our own clicks' downs and ups heard so far: the hook is alive.
  std::uint32_t Echoes() const { return echoes_; }
  // Takes both buttons as up, and the windows' state as unknown: the hook
  // may not hear an up (an administrator's window, another desktop).
  void Forget();

 private:
  struct Line {
    std::atomic<bool> userDown{false};
    std::atomic<std::uint32_t> since{0};
    // The next event passes, whatever it is, and tells the state.
    std::atomic<bool> unknown{true};
    bool windowsDown = false;  // the hook's thread only
  };
  Line lines_[2];
  std::atomic<unsigned> watched_{0};
  std::atomic<std::uint32_t> echoes_{0};
};

}  // namespace platform
