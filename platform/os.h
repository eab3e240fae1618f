#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/types.h"

// The operating-system calls the tool makes. Each backend (Win32, fake)
// implements all of them; the link picks the backend.
namespace os {

using platform::LParam;
using platform::LResult;
using platform::MenuHandle;
using platform::Point;
using platform::Rect;
using platform::WindowHandle;
using platform::WndProcAddress;
using platform::WParam;

// --- quiet trace ---

// One line for a debug viewer, never a dialog or a file: why something that
// matters did not work.
void Trace(const std::wstring& line);

// --- keyboard, windows, mouse, clock ---

// Async key state: bit 15 while down, bit 0 when pressed since the previous
// query (the query clears it).
std::int16_t KeyState(std::int32_t virtualKey);
// Active window of the calling thread; 0 while another program is in front.
WindowHandle ActiveWindow();
bool CursorPos(Point& point);
// The user's "swap primary and secondary buttons" setting: the primary
// button is then the right one.
bool ButtonsSwapped();
// A button's down, its up, or both (a flag of 0 is left out) wherever the
// cursor is, as one injection, so that no other input comes between them.
// Returns how many of them went in: Windows may refuse input, or stop
// part-way.
int InjectButton(std::uint32_t downFlag, std::uint32_t upFlag);
// The key's name in the user's keyboard layout ("Left", "Num 4"), or empty.
std::wstring KeyName(std::int32_t virtualKey);
// Millisecond counter; wraps at 2^32.
std::uint32_t TimeMs();

// --- elevation (UAC) ---

// How a token stands: an unsplit one (a standard user's, or UAC off), or
// the elevated (Full) or unelevated (Limited) half of an administrator's.
enum class ElevationType : std::uint8_t { Default, Full, Limited };
struct Elevation {
  bool elevated = false;
  ElevationType type = ElevationType::Default;
  // The mandatory integrity level (0x2000 medium, 0x3000 high); 0 unread.
  std::uint32_t integrity = 0;
};
// This process's token; unelevated and Default when it cannot be read.
Elevation OwnElevation();
enum class Elevated : std::uint8_t { No, Yes, Unknown };
// Whether the process that owns window runs elevated, and its integrity
// level (0 unread); Unknown, with the error in error, when its token cannot
// be read (another account's, a protected process).
Elevated WindowElevated(WindowHandle window, std::uint32_t& integrity, std::uint32_t& error);
// Whether Windows drops this process's messages to window (UIPI), as it
// then drops its input: a message of our own, which any window ignores,
// posted to window fails with access denied.
bool MessagesFiltered(WindowHandle window);
// Starts exe elevated ("runas": the UAC prompt, owned by window), shown or
// in the tray; false with the error when it did not start, kErrorCancelled
// when the user declined.
constexpr std::uint32_t kErrorCancelled = 1223;  // ERROR_CANCELLED
bool StartElevated(WindowHandle window, const std::wstring& exe, bool shown, std::uint32_t& error);

// --- profile files and program location ---

// Fills a buffer of bufferChars characters the way GetPrivateProfileString
// does (default for a missing file, section or key; at most bufferChars - 1
// characters then a NUL) and returns the whole buffer, prefilled with spaces.
std::wstring ReadProfileValue(const std::wstring& section, const std::wstring& key,
                              const std::wstring& fallback, const std::wstring& file,
                              std::size_t bufferChars);
bool WriteProfileValue(const std::wstring& section, const std::wstring& key,
                       const std::wstring& value, const std::wstring& file);
// Full path of the running executable, as it was started.
std::wstring ModulePath();
// The path of the file at path with every 8.3 name, link and substituted
// drive resolved, in \\?\ form; empty when the system cannot tell.
std::wstring FinalPath(const std::wstring& path);

// --- where the settings live ---

enum class Access : std::uint8_t {
  Granted,
  Missing,  // no such file
  Denied,   // refused: access denied or write-protected media
  Busy,     // held by another program for now
  Failed,   // any other failure
};
// Whether file can be opened for writing now; nothing is changed.
Access FileWriteAccess(const std::wstring& file);
// Whether a new file can be created in folder, probed with a temporary file
// that is gone again at once.
Access FolderWriteAccess(const std::wstring& folder);
// What the same user's unelevated token may write to file (or add to
// folder), by the security the path carries; for the elevated half of an
// administrator's token only, and a local volume. A volume without security
// grants it.
Access UnelevatedWriteAccess(const std::wstring& path, bool folder);
// Whether the drive path lies on is a network one (a mapped share).
bool OnNetworkDrive(const std::wstring& path);
enum class KnownFolder : std::uint8_t { RoamingAppData, LocalAppData };
// The user's folder without a trailing separator; empty when unknown.
std::wstring KnownFolderPath(KnownFolder folder);
// True when folder exists afterwards.
bool CreateFolder(const std::wstring& folder);
// Copies from to a new file to; fails when to exists.
bool CopyNewFile(const std::wstring& from, const std::wstring& to);

// --- one running copy per program folder ---

// The text upper-cased the way the file system compares names.
std::wstring UpperCase(const std::wstring& text);
// Claims key (a number standing for the program folder) for this process;
// false while another process holds it. claim is what ReleaseInstance lets
// go (0: nothing).
bool ClaimInstance(std::uint32_t key, std::uintptr_t& claim);
void ReleaseInstance(std::uintptr_t claim);
// Marks window as the one a later start for key brings forward, and lets
// that start's request through even to an elevated copy.
void MarkInstanceWindow(WindowHandle window, std::uint32_t key);
// The window a running copy marked for key; 0 when there is none.
WindowHandle FindInstanceWindow(std::uint32_t key);
// Takes window's mark down; returns the key it marked (0: none), for
// MarkInstanceWindow to put it back.
std::uint32_t UnmarkInstanceWindow(WindowHandle window);
// Lets window's process take the foreground and asks the window to show
// itself (it then raises Form_ShowRequest).
bool RequestShow(WindowHandle window);
// Blocks the thread; only before any window exists.
void Pause(std::uint32_t milliseconds);

// --- power ---

// Process power-throttling features (PROCESS_POWER_THROTTLING_*).
constexpr std::uint32_t kThrottleExecutionSpeed = 0x1;
constexpr std::uint32_t kThrottleTimerResolution = 0x4;  // ..._IGNORE_TIMER_RESOLUTION
// Asks Windows to throttle none of features for this process. Each call sets
// the whole policy: a later call undoes what an earlier one asked for and
// this one leaves out. False when refused, or where there is no such call.
bool OptOutOfThrottling(std::uint32_t features);

// --- notification area ---

// Fixed size of the wide version-1 icon record the shell is told about.
constexpr std::uint32_t kTrayRecordSize = sizeof(void*) == 8 ? 168 : 152;

struct TrayIconData {
  std::uint32_t cbSize = kTrayRecordSize;
  WindowHandle hWnd = 0;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 0;
  std::uint32_t uCallbackMessage = 0;
  platform::IconHandle hIcon = 0;
  std::array<wchar_t, 64> szTip{};
};

// False when the shell refused or did not answer in time; only a failed
// delete is traced here, the caller knows which other failures matter.
bool NotifyIcon(std::uint32_t message, const TrayIconData& data);
// Lets message reach window also from processes of lower integrity, as
// the shell's are for an elevated copy.
bool AllowMessage(WindowHandle window, std::uint32_t message);
std::uint32_t RegisterMessage(const std::wstring& name);
bool BringToForeground(WindowHandle window);
// The window that has the keyboard, in any program; 0 for none.
WindowHandle ForegroundWindow();
bool WindowExists(WindowHandle window);
bool Post(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);
// WM_TIMER to window every milliseconds with id as wParam, until stopped;
// starting it again re-arms it. id must not be a form timer's.
bool StartWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t milliseconds);
void StopWindowTimer(WindowHandle window, std::uintptr_t id);

// --- window procedures ---

using SubClassHandler = LResult (*)(WindowHandle, std::uint32_t, WParam&, LParam&);
// Address of a window procedure that hands every message to handler.
WndProcAddress SubClassProcAddress(SubClassHandler handler);
// Replaces a window's procedure and returns the one in place before (0 on failure).
WndProcAddress SetWindowProc(WindowHandle window, WndProcAddress procedure);
LResult CallWindowProcAt(WndProcAddress procedure, WindowHandle window, std::uint32_t message,
                         WParam wParam, LParam lParam);

// --- menus ---

bool WindowRect(WindowHandle window, Rect& rect);
MenuHandle MenuBar(WindowHandle window);
MenuHandle SubMenu(MenuHandle menu, std::int32_t position);
// Tracks a popup menu modally; the chosen item reaches owner as a command,
// or with kTpmReturnCmd comes back as the result instead (0: none).
std::int32_t TrackMenu(MenuHandle menu, std::uint32_t flags, std::int32_t x, std::int32_t y,
                       WindowHandle owner, const Rect& rect);

}  // namespace os
