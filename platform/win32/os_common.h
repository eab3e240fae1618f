#pragma once

// What the Win32 side of the OS calls shares.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace win32 {

inline HWND ToHwnd(platform::WindowHandle window) { return reinterpret_cast<HWND>(window); }

// Eight upper-case hex digits: names of our own objects and files.
inline std::wstring Hex(std::uint32_t value) {
  std::wstring text(8, L'0');
  for (std::size_t i = text.size(); i-- > 0; value >>= 4U) {
    text[i] = L"0123456789ABCDEF"[value & 0xFU];
  }
  return text;
}

}  // namespace win32
