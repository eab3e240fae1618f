#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/os_input.h"

namespace fake {

using platform::WindowHandle;

struct Key {
  bool down = false;
  bool pressedSinceQuery = false;
};

struct Injected {
  std::uint32_t flags;
  std::int32_t x;  // where the cursor was
  std::int32_t y;
  std::uint32_t at;  // clock
};

struct InputState {
  std::map<std::int32_t, Key> keys;
  std::vector<std::int32_t> keyQueries;
  WindowHandle activeWindow = 0;
  platform::Point cursor{100, 200};
  bool cursorFails = false;
  bool buttonsSwapped = false;
  std::vector<Injected> injected;
  // Events each injection takes (below 0: all), as Windows may refuse them.
  int inputsTaken = -1;
  std::uint32_t clock = 1000;
  std::map<std::int32_t, std::wstring> keyNames{{37, L"Left"}, {39, L"Right"}, {38, L"Up"}};
  // Keys the layout gives no scan code.
  std::set<std::int32_t> unscanned;
};

void Press(std::int32_t virtualKey);
void Release(std::int32_t virtualKey);
// Down and up between two queries: only the pressed-since bit remains.
void Tap(std::int32_t virtualKey);
// A keyboard's auto-repeat of a held key: the pressed-since bit again.
void Repeat(std::int32_t virtualKey);
// The hook hears one of our injected button flags.
void HearInjected(std::uint32_t flag);

}  // namespace fake
