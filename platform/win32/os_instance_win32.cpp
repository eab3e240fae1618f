// One copy per program folder over Win32: a named mutex, and a window
// property the later start looks for.
#include <windows.h>

#include "platform/os_instance.h"
#include "platform/os_shell.h"
#include "platform/win32/os_common.h"
#include "platform/win32/show_request.h"
#include "platform/win32/trace.h"

namespace os {

namespace {

using win32::Hex;
using win32::ToHwnd;

constexpr wchar_t kInstanceProperty[] = L"Yorisen.Folder";

HANDLE KeyValue(std::uint32_t key) { return reinterpret_cast<HANDLE>(std::uintptr_t{key}); }

struct InstanceSearch {
  HANDLE key;
  HWND found;
};

BOOL CALLBACK MatchInstance(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<InstanceSearch*>(param);
  if (GetPropW(window, kInstanceProperty) != search->key) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

std::wstring UpperCase(const std::wstring& text) {
  std::wstring upper = text;
  if (!upper.empty()) CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

bool ClaimInstance(std::uint32_t key, std::uintptr_t& claim) {
  claim = 0;
  const std::wstring name = L"Local\\Yorisen-" + Hex(key);
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  const DWORD error = GetLastError();
  if (mutex == nullptr) {
    // An elevated copy's mutex is out of reach, but it is there.
    if (error == ERROR_ACCESS_DENIED) return false;
    win32::TraceFailure("CreateMutexW", error);
    return true;  // nothing to tell copies apart by: run
  }
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  claim = reinterpret_cast<std::uintptr_t>(mutex);
  return true;
}

void ReleaseInstance(std::uintptr_t claim) {
  if (claim != 0) CloseHandle(reinterpret_cast<HANDLE>(claim));
}

void MarkInstanceWindow(WindowHandle window, std::uint32_t key) {
  if (!SetPropW(ToHwnd(window), kInstanceProperty, KeyValue(key))) {
    win32::TraceFailure("SetPropW");
  }
  // A copy started without elevation may still reach an elevated one.
  const UINT request = win32::ShowRequestMessage();
  if (request != 0) AllowMessage(window, request);
}

std::uint32_t UnmarkInstanceWindow(WindowHandle window) {
  return static_cast<std::uint32_t>(
      reinterpret_cast<std::uintptr_t>(RemovePropW(ToHwnd(window), kInstanceProperty)));
}

WindowHandle FindInstanceWindow(std::uint32_t key) {
  InstanceSearch search{KeyValue(key), nullptr};
  EnumWindows(&MatchInstance, reinterpret_cast<LPARAM>(&search));
  return reinterpret_cast<WindowHandle>(search.found);
}

bool RequestShow(WindowHandle window) {
  const UINT request = win32::ShowRequestMessage();
  if (request == 0) return false;
  DWORD process = 0;
  GetWindowThreadProcessId(ToHwnd(window), &process);
  // This start came from the user and may hand the foreground on.
  AllowSetForegroundWindow(process);
  return PostMessageW(ToHwnd(window), request, 0, 0) != FALSE;
}

void Pause(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace os
