// Profile files, the program's path and write access over Win32.
#include <windows.h>
// Needs windows.h first.
#include <aclapi.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <vector>

#include "platform/os_files.h"
#include "platform/win32/os_common.h"
#include "platform/win32/owned.h"
#include "platform/win32/trace.h"

namespace os {

namespace {

using win32::Hex;

Access AccessFromError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return Access::Missing;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return Access::Denied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return Access::Busy;
    default:
      return Access::Failed;
  }
}

}  // namespace

std::wstring ReadProfileValue(const std::wstring& section, const std::wstring& key,
                              const std::wstring& fallback, const std::wstring& file,
                              std::size_t bufferChars) {
  std::wstring buffer(bufferChars, L' ');
  if (bufferChars == 0) return buffer;
  GetPrivateProfileStringW(section.c_str(), key.c_str(), fallback.c_str(), buffer.data(),
                           static_cast<DWORD>(bufferChars), file.c_str());
  return buffer;
}

bool WriteProfileValue(const std::wstring& section, const std::wstring& key,
                       const std::wstring& value, const std::wstring& file) {
  if (WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str())) {
    return true;
  }
  win32::TraceFailure(L"WritePrivateProfileString " + key);
  return false;
}

std::wstring ModulePath() {
  // Grows the buffer until the path fits, so long paths are not cut.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    if (buffer.size() >= 32768) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring FinalPath(const std::wstring& path) {
  // Attributes only: the exe is running, and nothing is read or changed.
  const HANDLE opened = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    win32::TraceFailure("CreateFileW of the exe");
    return std::wstring();
  }
  const win32::KernelHandle file(opened);
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n =
        GetFinalPathNameByHandleW(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) {
      win32::TraceFailure("GetFinalPathNameByHandleW");
      return std::wstring();
    }
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

Access FileWriteAccess(const std::wstring& file) {
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return AccessFromError(GetLastError());
  CloseHandle(handle);
  return Access::Granted;
}

Access FolderWriteAccess(const std::wstring& folder) {
  std::wstring base = folder;
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
  base += L"~yorisen-" + Hex(GetCurrentProcessId()) + L"-";
  for (wchar_t attempt = L'0'; attempt <= L'9'; ++attempt) {
    const std::wstring probe = base + attempt + L".tmp";
    const HANDLE handle = CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      CloseHandle(handle);
      return Access::Granted;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return AccessFromError(error);
  }
  return Access::Failed;
}

namespace {

// FAT and the like: no security to refuse anyone.
bool HasSecurity(const std::wstring& path) {
  wchar_t root[MAX_PATH + 1];
  DWORD flags = 0;
  if (!GetVolumePathNameW(path.c_str(), root, MAX_PATH + 1) ||
      !GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    return true;  // the check below decides
  }
  return (flags & FILE_PERSISTENT_ACLS) != 0;
}

// The unelevated half of this process's token, for identification only.
win32::KernelHandle LinkedToken() {
  HANDLE own = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return win32::KernelHandle();
  const win32::KernelHandle owned(own);
  TOKEN_LINKED_TOKEN linked{};
  DWORD size = 0;
  if (!GetTokenInformation(own, TokenLinkedToken, &linked, sizeof(linked), &size)) {
    return win32::KernelHandle();
  }
  return win32::KernelHandle(linked.LinkedToken);
}

}  // namespace

Access UnelevatedWriteAccess(const std::wstring& path, bool folder) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return AccessFromError(GetLastError());
  if (!folder && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return Access::Denied;
  if (!HasSecurity(path)) return Access::Granted;
  const win32::KernelHandle user = LinkedToken();
  if (!user) {
    win32::TraceFailure("GetTokenInformation TokenLinkedToken");
    return Access::Failed;
  }
  PSECURITY_DESCRIPTOR security = nullptr;
  const DWORD error = GetNamedSecurityInfoW(
      path.c_str(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
      nullptr, nullptr, nullptr, &security);
  if (error != ERROR_SUCCESS) return AccessFromError(error);
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                          FILE_ALL_ACCESS};
  DWORD desired = folder ? FILE_ADD_FILE : FILE_GENERIC_WRITE;
  MapGenericMask(&desired, &mapping);
  PRIVILEGE_SET privileges{};
  DWORD privilegesSize = sizeof(privileges);
  DWORD granted = 0;
  BOOL allowed = FALSE;
  const BOOL checked = AccessCheck(security, user.get(), desired, &mapping, &privileges,
                                   &privilegesSize, &granted, &allowed);
  const DWORD checkError = GetLastError();
  LocalFree(security);
  if (!checked) {
    win32::TraceFailure("AccessCheck", checkError);
    return Access::Failed;
  }
  return allowed ? Access::Granted : Access::Denied;
}

bool OnNetworkDrive(const std::wstring& path) {
  // The root, since a folder's own path answers DRIVE_NO_ROOT_DIR.
  wchar_t root[MAX_PATH + 1];
  return GetVolumePathNameW(path.c_str(), root, MAX_PATH + 1) &&
         GetDriveTypeW(root) == DRIVE_REMOTE;
}

std::wstring KnownFolderPath(KnownFolder folder) {
  PWSTR path = nullptr;
  const HRESULT result = SHGetKnownFolderPath(
      folder == KnownFolder::RoamingAppData ? FOLDERID_RoamingAppData : FOLDERID_LocalAppData,
      KF_FLAG_CREATE, nullptr, &path);
  std::wstring text;
  if (SUCCEEDED(result) && path != nullptr) text = path;
  CoTaskMemFree(path);
  if (FAILED(result)) win32::TraceFailure("SHGetKnownFolderPath", static_cast<DWORD>(result));
  return text;
}

bool CreateFolder(const std::wstring& folder) {
  if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CopyNewFile(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), TRUE) != FALSE;
}

bool CreateUnicodeFile(const std::wstring& file) {
  const HANDLE created = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return false;
  const win32::KernelHandle owned(created);
  static const BYTE kMark[2] = {0xFF, 0xFE};
  DWORD written = 0;
  if (WriteFile(created, kMark, sizeof(kMark), &written, nullptr) && written == sizeof(kMark)) {
    return true;
  }
  win32::TraceFailure("WriteFile");
  return false;
}

}  // namespace os
