#pragma once

#include <windows.h>

namespace win32 {

// What a user's press of a watched button or key posts to the listening
// window.
constexpr UINT kHeldMessage = WM_APP + 5;
// dwExtraInfo of our own clicks and keys, so that the hooks know them from
// other programs' input, which Windows flags as injected too.
constexpr ULONG_PTR kOwnInput = 0x59524953;

}  // namespace win32
