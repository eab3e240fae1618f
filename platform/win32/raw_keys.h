#pragma once

#include <windows.h>

namespace win32 {

// Raw keyboard input for window, also while another program is in front;
// false (traced) when it cannot be had.
bool ListenRawKeys(HWND window);
// Ends the raw keyboard input ListenRawKeys started.
void StopRawKeys();
// A WM_INPUT's input is a key going down.
bool IsRawKeyDown(LPARAM input);

}  // namespace win32
