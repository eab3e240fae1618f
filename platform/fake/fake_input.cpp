#include "platform/fake/fake_platform.h"

namespace fake {

void Press(std::int32_t virtualKey) {
  Key& k = Get().keys[virtualKey];
  k.down = true;
  k.pressedSinceQuery = true;
}

void Release(std::int32_t virtualKey) { Get().keys[virtualKey].down = false; }

void Tap(std::int32_t virtualKey) {
  Key& k = Get().keys[virtualKey];
  k.down = false;
  k.pressedSinceQuery = true;
}

void Repeat(std::int32_t virtualKey) { Get().keys[virtualKey].pressedSinceQuery = true; }

}  // namespace fake

namespace os {

std::int16_t KeyState(std::int32_t virtualKey) {
  fake::State& s = fake::Get();
  s.keyQueries.push_back(virtualKey);
  fake::Key& k = s.keys[virtualKey];
  const std::int16_t result =
      static_cast<std::int16_t>((k.down ? 0x8000 : 0) | (k.pressedSinceQuery ? 1 : 0));
  k.pressedSinceQuery = false;
  return result;
}

WindowHandle ActiveWindow() { return fake::Get().activeWindow; }

bool CursorPos(Point& point) {
  if (fake::Get().cursorFails) return false;
  point = fake::Get().cursor;
  return true;
}

bool ButtonsSwapped() { return fake::Get().buttonsSwapped; }

int InjectButton(std::uint32_t downFlag, std::uint32_t upFlag) {
  fake::State& s = fake::Get();
  int sent = 0;
  for (const std::uint32_t flag : {downFlag, upFlag}) {
    if (flag == 0 || (s.inputsTaken >= 0 && sent >= s.inputsTaken)) continue;
    s.injected.push_back({flag, s.cursor.x, s.cursor.y, s.clock});
    fake::HearInjected(flag);
    ++sent;
  }
  return sent;
}

int InjectKey(std::int32_t virtualKey, bool down, bool up) {
  fake::State& s = fake::Get();
  int sent = 0;
  for (const bool isDown : {true, false}) {
    if ((isDown ? !down : !up) || (s.inputsTaken >= 0 && sent >= s.inputsTaken)) continue;
    fake::HearInjectedKey(virtualKey, isDown);
    ++sent;
  }
  return sent;
}

std::wstring KeyName(std::int32_t virtualKey) {
  const auto& names = fake::Get().keyNames;
  const auto it = names.find(virtualKey);
  return it == names.end() ? std::wstring() : it->second;
}

bool HasScanCode(std::int32_t virtualKey) {
  return virtualKey > 0 && virtualKey <= 0xFF && fake::Get().unscanned.count(virtualKey) == 0;
}

std::uint32_t TimeMs() { return fake::Get().clock; }

}  // namespace os
