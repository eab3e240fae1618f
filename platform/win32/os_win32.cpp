// The OS calls over Win32 (W functions only).
#include <windows.h>
// Needs windows.h first.
#include <aclapi.h>
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "platform/os.h"
#include "platform/win32/owned.h"
#include "platform/win32/show_request.h"
#include "platform/win32/trace.h"

static_assert(os::kTrayRecordSize == NOTIFYICONDATAW_V1_SIZE);

namespace os {

namespace {

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// Set once by the subclass registry; the trampoline below forwards to it.
SubClassHandler subClassHandler = nullptr;

LRESULT CALLBACK SubClassTrampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WParam w = wParam;
  LParam l = lParam;
  if (subClassHandler == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return subClassHandler(reinterpret_cast<WindowHandle>(window), message, w, l);
}

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

std::wstring Hex(std::uint32_t value) {
  std::wstring text(8, L'0');
  for (std::size_t i = text.size(); i-- > 0; value >>= 4U) {
    text[i] = L"0123456789ABCDEF"[value & 0xFU];
  }
  return text;
}

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

void Trace(const std::wstring& line) {
  const std::wstring text = L"yorisen: " + line + L"\n";
  OutputDebugStringW(text.c_str());
}

std::int16_t KeyState(std::int32_t virtualKey) { return GetAsyncKeyState(virtualKey); }

WindowHandle ActiveWindow() { return reinterpret_cast<WindowHandle>(GetActiveWindow()); }

bool CursorPos(Point& point) {
  POINT p{};
  if (!GetCursorPos(&p)) return false;
  point.x = p.x;
  point.y = p.y;
  return true;
}

bool ButtonsSwapped() { return GetSystemMetrics(SM_SWAPBUTTON) != 0; }

int InjectButton(std::uint32_t downFlag, std::uint32_t upFlag) {
  INPUT inputs[2]{};
  UINT count = 0;
  for (const std::uint32_t flag : {downFlag, upFlag}) {
    if (flag == 0) continue;
    INPUT& in = inputs[count++];
    in.type = INPUT_MOUSE;
    // dx and dy stay 0: without the move flag the click lands where the
    // cursor is, and with it they would move it.
    in.mi.dwFlags = flag;
  }
  return static_cast<int>(SendInput(count, inputs, sizeof(INPUT)));
}

namespace {

// Keys whose scan code needs the extended bit to be named as themselves, not
// as their numpad or left-hand twins; MapVirtualKey does not always say so.
bool IsExtendedKey(std::int32_t virtualKey) {
  switch (virtualKey) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_NUMLOCK:
    case VK_DIVIDE:
    case VK_RCONTROL:
    case VK_RMENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::wstring KeyName(std::int32_t virtualKey) {
  if (virtualKey <= 0 || virtualKey > 0xFF) return std::wstring();
  const UINT scan = MapVirtualKeyW(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC_EX);
  if ((scan & 0xFF) == 0) return std::wstring();
  LONG keyData = static_cast<LONG>(scan & 0xFF) << 16;
  if ((scan & 0xFF00) == 0xE000 || IsExtendedKey(virtualKey)) keyData |= 1L << 24;
  wchar_t name[64]{};
  const int length = GetKeyNameTextW(keyData, name, 64);
  return std::wstring(name, static_cast<std::size_t>(std::max(length, 0)));
}

// A kernel32 clock (winmm's timeGetTime would bring a DLL that is not a
// KnownDLL into the static imports); it wraps as that one did.
std::uint32_t TimeMs() {
  LARGE_INTEGER now{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  const std::int64_t perSecond = frequency.QuadPart;
  return static_cast<std::uint32_t>(now.QuadPart / perSecond * 1000 +
                                    now.QuadPart % perSecond * 1000 / perSecond);
}

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
  win32::TraceFailure((L"WritePrivateProfileString " + key).c_str());
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
    win32::TraceFailure(L"CreateFileW of the exe");
    return std::wstring();
  }
  const win32::KernelHandle file(opened);
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n =
        GetFinalPathNameByHandleW(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) {
      win32::TraceFailure(L"GetFinalPathNameByHandleW");
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
    win32::TraceFailure(L"GetTokenInformation TokenLinkedToken");
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
    win32::TraceFailure(L"AccessCheck", checkError);
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
  if (FAILED(result)) win32::TraceFailure(L"SHGetKnownFolderPath", static_cast<DWORD>(result));
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
    win32::TraceFailure(L"CreateMutexW", error);
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
    win32::TraceFailure(L"SetPropW");
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

bool OptOutOfThrottling(std::uint32_t features) {
  // Not in every SDK's headers yet, and not in Windows 7: looked up.
  constexpr int kProcessPowerThrottling = 4;  // ProcessPowerThrottling
  struct PowerThrottlingState {
    ULONG Version;
    ULONG ControlMask;
    ULONG StateMask;
  };
  using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  // Through void (*)(), which GCC lets stand for any function type.
  const auto set = reinterpret_cast<SetProcessInformationFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetProcessInformation")));
  if (set == nullptr) return false;
  // The features under our control, each in state off: never throttled.
  PowerThrottlingState state{1, features, 0};
  return set(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof(state)) != FALSE;
}

bool NotifyIcon(std::uint32_t message, const TrayIconData& data) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = data.cbSize;
  nid.hWnd = ToHwnd(data.hWnd);
  nid.uID = data.uID;
  nid.uFlags = data.uFlags;
  nid.uCallbackMessage = data.uCallbackMessage;
  nid.hIcon = reinterpret_cast<HICON>(data.hIcon);
  std::copy(data.szTip.begin(), data.szTip.end(), nid.szTip);
  if (Shell_NotifyIconW(message, &nid)) return true;
  // At the program's end the window is gone, and some shells took its icon
  // with it.
  if (message == NIM_DELETE && IsWindow(nid.hWnd)) win32::TraceFailure(L"Shell_NotifyIcon delete");
  return false;
}

bool AllowMessage(WindowHandle window, std::uint32_t message) {
  if (ChangeWindowMessageFilterEx(ToHwnd(window), message, MSGFLT_ALLOW, nullptr)) return true;
  win32::TraceFailure(L"ChangeWindowMessageFilterEx");
  return false;
}

std::uint32_t RegisterMessage(const std::wstring& name) {
  return RegisterWindowMessageW(name.c_str());
}

bool BringToForeground(WindowHandle window) { return SetForegroundWindow(ToHwnd(window)) != FALSE; }

WindowHandle ForegroundWindow() { return reinterpret_cast<WindowHandle>(GetForegroundWindow()); }

namespace {

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
  if (!ReadElevation(GetCurrentProcess(), elevation)) win32::TraceFailure(L"OpenProcessToken");
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

bool WindowExists(WindowHandle window) { return IsWindow(ToHwnd(window)) != FALSE; }

bool Post(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
  return PostMessageW(ToHwnd(window), message, wParam, lParam) != FALSE;
}

bool StartWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t milliseconds) {
  if (SetTimer(ToHwnd(window), id, milliseconds, nullptr) != 0) return true;
  win32::TraceFailure(L"SetTimer");
  return false;
}

void StopWindowTimer(WindowHandle window, std::uintptr_t id) { KillTimer(ToHwnd(window), id); }

WndProcAddress SubClassProcAddress(SubClassHandler handler) {
  subClassHandler = handler;
  return reinterpret_cast<WndProcAddress>(&SubClassTrampoline);
}

WndProcAddress SetWindowProc(WindowHandle window, WndProcAddress procedure) {
  // A previous procedure is never 0, so 0 alone tells a failure.
  const WndProcAddress previous = SetWindowLongPtrW(ToHwnd(window), GWLP_WNDPROC, procedure);
  // Putting the procedure back on a window already destroyed is no failure.
  if (previous == 0 && IsWindow(ToHwnd(window)))
    win32::TraceFailure(L"SetWindowLongPtr GWLP_WNDPROC");
  return previous;
}

LResult CallWindowProcAt(WndProcAddress procedure, WindowHandle window, std::uint32_t message,
                         WParam wParam, LParam lParam) {
  return CallWindowProcW(reinterpret_cast<WNDPROC>(procedure), ToHwnd(window), message, wParam,
                         lParam);
}

bool WindowRect(WindowHandle window, Rect& rect) {
  RECT r{};
  if (!GetWindowRect(ToHwnd(window), &r)) return false;
  rect = {r.left, r.top, r.right, r.bottom};
  return true;
}

MenuHandle MenuBar(WindowHandle window) {
  return reinterpret_cast<MenuHandle>(GetMenu(ToHwnd(window)));
}

MenuHandle SubMenu(MenuHandle menu, std::int32_t position) {
  return reinterpret_cast<MenuHandle>(GetSubMenu(reinterpret_cast<HMENU>(menu), position));
}

std::int32_t TrackMenu(MenuHandle menu, std::uint32_t flags, std::int32_t x, std::int32_t y,
                       WindowHandle owner, const Rect& rect) {
  const RECT r{rect.left, rect.top, rect.right, rect.bottom};
  return TrackPopupMenu(reinterpret_cast<HMENU>(menu), flags, x, y, 0, ToHwnd(owner), &r);
}

}  // namespace os
