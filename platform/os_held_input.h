#pragma once

#include <bitset>
#include <cstdint>

#include "platform/types.h"

// The primary (0) and secondary (1) mouse buttons and the keyboard's keys
// as the user presses them, told from injected input by low-level hooks on
// a thread of their own: our own input and other programs' never count as
// the user's.
namespace os {

// Hears the buttons in buttons (bit 0 primary, bit 1 secondary), or stops
// hearing them at 0. A user's press of one posts a wake to window, which
// then reaches its RawKeyDown. False (traced) when Windows refused.
bool WatchButtons(unsigned buttons, platform::WindowHandle window);
// The same for the keys in keys, by virtual-key code: the keyboard hook is
// set only while one is.
bool WatchKeys(const std::bitset<256>& keys, platform::WindowHandle window);
// Sets the hooks again, as after Windows removed them.
void RewatchInput();
// How long the user has held button or key, in ms; -1 while it is up or
// unheard.
std::int32_t ButtonHeldMs(int button);
std::int32_t KeyHeldMs(std::int32_t virtualKey);
// Our own downs and ups the hooks have heard so far.
std::uint32_t InputEchoes();
// Takes every button and key as up: the hooks hear nothing while an
// administrator's window is in front, nor on another desktop.
void ForgetHeldInput();

}  // namespace os
