#include "platform/fake/fake_platform.h"
#include "platform/os_held_input.h"

namespace fake {

namespace {

using platform::InputWatch;

bool Hear(int line, bool down, platform::InputSource source) {
  State& s = Get();
  bool wake = false;
  if (s.hookGone || !s.watch->Swallow(line, down, source, s.clock, wake)) {
    if (line < 2) {
      s.atWindows.push_back({line, down});
    } else {
      s.keysAtWindows.push_back({line - InputWatch::KeyLine(0), down});
    }
  }
  return wake;
}

}  // namespace

bool UserButton(int button, bool down) { return Hear(button, down, platform::InputSource::User); }

void OtherButton(int button, bool down) { Hear(button, down, platform::InputSource::Other); }

unsigned WatchedButtons() {
  const State& s = Get();
  return (s.watch->Watched(0) ? 1U : 0U) | (s.watch->Watched(1) ? 2U : 0U);
}

bool UserKey(std::int32_t key, bool down) {
  return Hear(InputWatch::KeyLine(key), down, platform::InputSource::User);
}

void OtherKey(std::int32_t key, bool down) {
  Hear(InputWatch::KeyLine(key), down, platform::InputSource::Other);
}

void HearInjectedKey(std::int32_t key, bool down) {
  Hear(InputWatch::KeyLine(key), down, platform::InputSource::Own);
}

// Our clicks name physical buttons; the hook hears logical ones.
void HearInjected(std::uint32_t flag) {
  const bool left = flag == platform::kMouseLeftDown || flag == platform::kMouseLeftUp;
  const bool down = flag == platform::kMouseLeftDown || flag == platform::kMouseRightDown;
  Hear(left == Get().buttonsSwapped ? 1 : 0, down, platform::InputSource::Own);
}

}  // namespace fake

namespace os {

bool WatchButtons(unsigned buttons, platform::WindowHandle window) {
  fake::State& s = fake::Get();
  const bool was = s.watch->Watched(0) || s.watch->Watched(1);
  if (buttons != 0 && !was) ++s.hookStarts;
  s.watch->SetWatched(0, (buttons & 1) != 0);
  s.watch->SetWatched(1, (buttons & 2) != 0);
  s.buttonWindow = window;
  return true;
}

bool WatchKeys(const std::bitset<256>& keys, platform::WindowHandle window) {
  fake::State& s = fake::Get();
  s.keyHook = keys.any();
  for (std::int32_t key = 0; key < 256; ++key) {
    s.watch->SetWatched(platform::InputWatch::KeyLine(key), keys[key]);
  }
  s.buttonWindow = window;
  return true;
}

void RewatchInput() {
  fake::State& s = fake::Get();
  s.watch->ForgetAll();
  s.hookGone = false;
  ++s.hookStarts;
}

std::int32_t ButtonHeldMs(int button) {
  const fake::State& s = fake::Get();
  return s.watch->HeldMs(button, s.clock);
}

std::int32_t KeyHeldMs(std::int32_t virtualKey) {
  const fake::State& s = fake::Get();
  return s.watch->HeldMs(platform::InputWatch::KeyLine(virtualKey & 0xFF), s.clock);
}

std::uint32_t InputEchoes() { return fake::Get().watch->Echoes(); }

void ForgetHeldInput() { fake::Get().watch->ForgetAll(); }

}  // namespace os
