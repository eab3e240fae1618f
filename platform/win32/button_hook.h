#pragma once

#include <windows.h>

namespace win32 {

// What a user's press of a watched button posts to the listening window.
constexpr UINT kButtonMessage = WM_APP + 5;
// dwExtraInfo of our own clicks, so that the hook knows them from other
// programs' input, which Windows flags as injected too.
constexpr ULONG_PTR kOwnInput = 0x59524953;

}  // namespace win32
