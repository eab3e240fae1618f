#include "platform/win32/system_library.h"

#include <string>

#include "platform/win32/system_function.h"
#include "platform/win32/test_faults.h"
#include "platform/win32/trace.h"

namespace win32 {

namespace {

// Not in every SDK's headers for Windows 7.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

template <typename Fn>
Fn Kernel32Function(const char* name) {
  if constexpr (faults::kWindows7Load) {
    // Test build: a Windows 7 without KB2533623.
    if (lstrcmpA(name, "SetDefaultDllDirectories") == 0 || lstrcmpA(name, "AddDllDirectory") == 0)
      return nullptr;
  }
  return SystemFunction<Fn>(L"kernel32.dll", name);
}

}  // namespace

void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  // Windows 8 and later, and Windows 7 with KB2533623.
  const auto setDefault = Kernel32Function<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(kSearchSystem32)) return;
  if (setDefault != nullptr) TraceFailure("SetDefaultDllDirectories");
  // Older: at least not the current folder. The exe's own stays searched.
  if (!SetDllDirectoryW(L"")) TraceFailure("SetDllDirectoryW");
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  if constexpr (faults::kBareLoad) {
    // Test build: only the search restricted at start keeps this one safe.
    return LoadLibraryW(name);
  }
  // The search flags came with AddDllDirectory.
  using AddDllDirectoryFn = void*(WINAPI*)(const wchar_t*);
  if (Kernel32Function<AddDllDirectoryFn>("AddDllDirectory") != nullptr) {
    const HMODULE module = LoadLibraryExW(name, nullptr, kSearchSystem32);
    if (module == nullptr) TraceFailure(std::wstring(L"LoadLibraryExW ") + name);
    return module;
  }
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    TraceFailure("GetSystemDirectoryW");
    return nullptr;
  }
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  // By full path, and without this flag the DLL's own imports would still
  // be looked for beside the exe.
  const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) TraceFailure(L"LoadLibraryExW " + path);
  return module;
}

}  // namespace win32
