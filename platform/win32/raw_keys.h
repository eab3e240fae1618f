#pragma once

#include <windows.h>

namespace win32 {

// Raw keyboard input for window, also while another program is in front;
// false (traced) when it cannot be had.
bool ListenRawKeys(HWND window);
// Ends the raw keyboard input ListenRawKeys started.
void StopRawKeys();
// Raw mouse input for window, also while another program is in front, or
// its end; false (traced) when it cannot be had.
bool ListenRawButtons(HWND window, bool listen);
// A WM_INPUT's input going down: the key's virtual-key code, 0 for the
// middle or a side button; -1 for anything else.
int RawPress(LPARAM input);

}  // namespace win32
