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
// A WM_INPUT's key or watched button: its virtual-key code, 0 when it has
// none to say (the middle or a side button, a key without a code of its
// own), -1 for input of no interest; down tells a press from a release.
int RawKey(LPARAM input, bool& down);

}  // namespace win32
