// No raw input: the tick never parks and wakes every period, as in the
// builds the benchmark compares against.
#include "platform/win32/raw_keys.h"

namespace win32 {

bool ListenRawKeys(HWND) { return false; }
void StopRawKeys() {}
bool ListenRawButtons(HWND, bool) { return false; }
int RawKey(LPARAM, bool&) { return -1; }

}  // namespace win32
