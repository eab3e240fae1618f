#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

// The keyboard, the mouse and the clock the watcher reads and clicks with.
namespace os {

using platform::Point;
using platform::WindowHandle;

// Async key state: bit 15 while down, bit 0 when pressed since the previous
// query (the query clears it).
std::int16_t KeyState(std::int32_t virtualKey);
// Active window of the calling thread; 0 while another program is in front.
WindowHandle ActiveWindow();
bool CursorPos(Point& point);
// The user's "swap primary and secondary buttons" setting: the primary
// button is then the right one.
bool ButtonsSwapped();
// A button's down, its up, or both (a flag of 0 is left out) wherever the
// cursor is, as one injection, so that no other input comes between them.
// Returns how many of them went in: Windows may refuse input, or stop
// part-way.
int InjectButton(std::uint32_t downFlag, std::uint32_t upFlag);
// A key's down, its up, or both, as one injection, by its virtual-key code
// and its scan code, so that games reading either see the same key.
// Returns how many of them went in.
int InjectKey(std::int32_t virtualKey, bool down, bool up);
// The key's name in the user's keyboard layout ("Left", "Num 4"), or empty.
std::wstring KeyName(std::int32_t virtualKey);
// The key has a scan code in the user's keyboard layout, which games that
// read scan codes need.
bool HasScanCode(std::int32_t virtualKey);
// Millisecond counter; wraps at 2^32.
std::uint32_t TimeMs();

}  // namespace os
