// Elevation and integrity over Win32: process tokens and the shell's
// "runas" verb.
#include <windows.h>
// Needs windows.h first.
#include <shellapi.h>

#include "platform/os_elevation.h"
#include "platform/win32/os_common.h"
#include "platform/win32/owned.h"
#include "platform/win32/trace.h"

namespace os {

namespace {

using win32::ToHwnd;

bool ReadElevation(HANDLE process, Elevation& elevation) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return false;
  const win32::KernelHandle owned(token);
  TOKEN_ELEVATION elevated{};
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenElevation, &elevated, sizeof(elevated), &size)) return false;
  elevation.elevated = elevated.TokenIsElevated != 0;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  if (GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &size)) {
    elevation.type = type == TokenElevationTypeFull      ? ElevationType::Full
                     : type == TokenElevationTypeLimited ? ElevationType::Limited
                                                         : ElevationType::Default;
  }
  // The label and the SID it points to, which follows it.
  union {
    TOKEN_MANDATORY_LABEL label;
    BYTE bytes[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
  } integrity{};
  if (GetTokenInformation(token, TokenIntegrityLevel, &integrity, sizeof(integrity), &size)) {
    // The level is the last sub-authority; read in place, which saves the
    // two advapi32 imports that would fetch it.
    const SID& sid = *static_cast<const SID*>(integrity.label.Label.Sid);
    if (sid.SubAuthorityCount != 0)
      elevation.integrity = sid.SubAuthority[sid.SubAuthorityCount - 1];
  }
  return true;
}

}  // namespace

Elevation OwnElevation() {
  Elevation elevation;
  if (!ReadElevation(GetCurrentProcess(), elevation)) win32::TraceFailure("OpenProcessToken");
  return elevation;
}

bool StartElevated(WindowHandle window, const std::wstring& exe, bool shown, std::uint32_t& error) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  // No error box of the shell's: a failure is traced by the caller.
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.hwnd = ToHwnd(window);
  info.lpVerb = L"runas";
  info.lpFile = exe.c_str();
  info.nShow = shown ? SW_SHOWNORMAL : SW_SHOWMINNOACTIVE;
  if (ShellExecuteExW(&info)) return true;
  error = GetLastError();
  return false;
}

Elevated WindowElevated(WindowHandle window, std::uint32_t& integrity, std::uint32_t& error) {
  DWORD id = 0;
  GetWindowThreadProcessId(ToHwnd(window), &id);
  // The least a process of the same user may ask, elevated or not.
  const win32::KernelHandle process(
      id == 0 ? nullptr : OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  Elevation elevation;
  if (!process || !ReadElevation(process.get(), elevation)) {
    error = GetLastError();
    return Elevated::Unknown;
  }
  integrity = elevation.integrity;
  return elevation.elevated ? Elevated::Yes : Elevated::No;
}

bool MessagesFiltered(WindowHandle window) {
  const UINT probe = RegisterWindowMessageW(L"Yorisen.Probe");
  return probe != 0 && !PostMessageW(ToHwnd(window), probe, 0, 0) &&
         GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace os
