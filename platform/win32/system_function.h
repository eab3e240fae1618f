#pragma once

// Calls that not every supported Windows has are looked up at run time, so
// that the exe still starts where they are missing.
#include <windows.h>

namespace win32 {

// The function name of module, as the function pointer type Fn; null when
// the module is null or does not export it.
template <typename Fn>
Fn SystemFunction(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  // Through void (*)(), which GCC lets stand for any function type.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The same from a module already loaded, by name ("user32.dll").
template <typename Fn>
Fn SystemFunction(const wchar_t* module, const char* name) {
  return SystemFunction<Fn>(GetModuleHandleW(module), name);
}

}  // namespace win32
