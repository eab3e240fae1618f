#pragma once

#include <cstdint>

#include "platform/types.h"

// The primary (0) and secondary (1) mouse buttons as the user presses them,
// told from injected input by a low-level hook on a thread of its own: our
// own clicks and other programs' input never count as the user's.
namespace os {

// Hears the buttons in buttons (bit 0 primary, bit 1 secondary), or stops
// hearing them at 0. A user's press of one posts a wake to window, which
// then reaches its RawKeyDown. False (traced) when Windows refused.
bool WatchButtons(unsigned buttons, platform::WindowHandle window);
// Sets the hook again, as after Windows removed it.
void RewatchButtons();
// How long the user has held button, in ms; -1 while it is up or unheard.
std::int32_t ButtonHeldMs(int button);
// Our own clicks' downs and ups the hook has heard so far.
std::uint32_t ButtonEchoes();
// Takes both buttons as up: the hook hears nothing while an administrator's
// window is in front, nor on another desktop.
void ForgetButtons();

}  // namespace os
