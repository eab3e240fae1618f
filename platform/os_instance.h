#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

// One running copy per program folder: a later start finds the running copy
// and asks it to show itself.
namespace os {

using platform::WindowHandle;

// The text upper-cased the way the file system compares names.
std::wstring UpperCase(const std::wstring& text);
// Claims key (a number standing for the program folder) for this process;
// false while another process holds it. claim is what ReleaseInstance lets
// go (0: nothing).
bool ClaimInstance(std::uint32_t key, std::uintptr_t& claim);
void ReleaseInstance(std::uintptr_t claim);
// Marks window as the one a later start for key brings forward, and lets
// that start's request through even to an elevated copy.
void MarkInstanceWindow(WindowHandle window, std::uint32_t key);
// The window a running copy marked for key; 0 when there is none.
WindowHandle FindInstanceWindow(std::uint32_t key);
// Takes window's mark down; returns the key it marked (0: none), for
// MarkInstanceWindow to put it back.
std::uint32_t UnmarkInstanceWindow(WindowHandle window);
// Lets window's process take the foreground and asks the window to show
// itself (it then raises Form_ShowRequest).
bool RequestShow(WindowHandle window);
// Blocks the thread; only before any window exists.
void Pause(std::uint32_t milliseconds);

}  // namespace os
