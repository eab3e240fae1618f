#include "platform/fake/fake_platform.h"
#include "platform/os_buttons.h"

namespace fake {

namespace {

bool Hear(int button, bool down, platform::ButtonSource source) {
  State& s = Get();
  bool wake = false;
  if (s.hookGone || !s.watch->Swallow(button, down, source, s.clock, wake)) {
    s.atWindows.push_back({button, down});
  }
  return wake;
}

}  // namespace

bool UserButton(int button, bool down) { return Hear(button, down, platform::ButtonSource::User); }

void OtherButton(int button, bool down) { Hear(button, down, platform::ButtonSource::Other); }

// Our clicks name physical buttons; the hook hears logical ones.
void HearInjected(std::uint32_t flag) {
  const bool left = flag == platform::kMouseLeftDown || flag == platform::kMouseLeftUp;
  const bool down = flag == platform::kMouseLeftDown || flag == platform::kMouseRightDown;
  Hear(left == Get().buttonsSwapped ? 1 : 0, down, platform::ButtonSource::Own);
}

}  // namespace fake

namespace os {

bool WatchButtons(unsigned buttons, platform::WindowHandle window) {
  fake::State& s = fake::Get();
  if (buttons != 0 && s.watch->Watched() == 0) ++s.hookStarts;
  s.watch->SetWatched(buttons);
  s.buttonWindow = window;
  return true;
}

void RewatchButtons() {
  fake::State& s = fake::Get();
  s.watch->Forget();
  s.hookGone = false;
  ++s.hookStarts;
}

std::int32_t ButtonHeldMs(int button) {
  const fake::State& s = fake::Get();
  return s.watch->HeldMs(button, s.clock);
}

std::uint32_t ButtonEchoes() { return fake::Get().watch->Echoes(); }

void ForgetButtons() { fake::Get().watch->Forget(); }

}  // namespace os
