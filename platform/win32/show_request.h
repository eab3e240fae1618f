#pragma once

#include <windows.h>

namespace win32 {

// What a second start from the same folder posts to the running copy's main
// window; 0 when it could not be registered.
inline UINT ShowRequestMessage() {
  static const UINT message = RegisterWindowMessageW(L"Yorisen.ShowRequest");
  return message;
}

}  // namespace win32
