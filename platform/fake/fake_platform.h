#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/forms.h"
#include "platform/native.h"
#include "platform/os.h"

// A scripted platform for tests: key states, clock, active window, cursor
// and profile files are set by the test; injected input, tray calls and
// window-procedure calls are recorded.
namespace fake {

using platform::LParam;
using platform::LResult;
using platform::MenuHandle;
using platform::WindowHandle;
using platform::WndProcAddress;
using platform::WParam;

struct Key {
  bool down = false;
  bool pressedSinceQuery = false;
};

struct Injected {
  std::uint32_t flags;
  std::int32_t x;  // where the cursor was
  std::int32_t y;
  std::uint32_t at;  // clock
};

struct TrayCall {
  std::uint32_t message;
  os::TrayIconData data;
};

struct ProcCall {
  WndProcAddress procedure;
  WindowHandle window;
  std::uint32_t message;
  WParam wParam;
  LParam lParam;
};

struct MenuTrack {
  MenuHandle menu;
  std::uint32_t flags;
  std::int32_t x;
  std::int32_t y;
  WindowHandle owner;
};

class FakeControl;
class FakeForm;

struct IniSection {
  std::wstring name;
  std::vector<std::pair<std::wstring, std::wstring>> entries;
};
using IniFile = std::vector<IniSection>;

struct State {
  std::vector<std::wstring> traces;
  std::map<std::int32_t, Key> keys;
  std::vector<std::int32_t> keyQueries;
  WindowHandle activeWindow = 0;
  platform::Point cursor{100, 200};
  bool cursorFails = false;
  bool buttonsSwapped = false;
  std::vector<Injected> injected;
  // Events each injection takes (below 0: all), as Windows may refuse them.
  int inputsTaken = -1;
  std::uint32_t clock = 1000;

  std::wstring modulePath = L"C:\\Tools\\Yorisen\\yorisen.exe";
  // What FinalPath answers by path; unlisted paths come back as they are.
  std::map<std::wstring, std::wstring> finalPaths;
  std::map<std::wstring, IniFile> files;
  std::vector<std::wstring> reads;   // "section/key" in call order
  std::vector<std::wstring> writes;  // "section/key=value" in call order
  bool writesFail = false;
  // Write access by file or folder; files default to Granted when they
  // exist and Missing when not, folders to Granted.
  std::map<std::wstring, os::Access> access;
  // What the user's unelevated token may write, by path; defaults as above.
  std::map<std::wstring, os::Access> unelevatedAccess;
  std::set<std::wstring> networkDrives;  // roots: "Z:\"
  std::wstring roamingAppData = L"C:\\Users\\me\\AppData\\Roaming";
  std::wstring localAppData = L"C:\\Users\\me\\AppData\\Local";
  std::vector<std::wstring> createdFolders;
  std::vector<std::wstring> copies;  // "from>to"

  // Keys held by other processes, and the windows they marked.
  std::map<std::uint32_t, WindowHandle> instances;
  std::map<std::uint32_t, WindowHandle> markedWindows;
  std::vector<std::uintptr_t> released;
  std::vector<WindowHandle> showRequests;
  // OptOutOfThrottling calls, and the features the system refuses.
  std::vector<std::uint32_t> throttleOptOuts;
  std::uint32_t throttleRefused = 0;
  // Runs at each pause with the milliseconds paused; the clock moves on.
  std::function<void(std::uint32_t)> onPause;

  std::vector<TrayCall> trayCalls;
  // The shell's icons by window and id: an add of one that is there fails,
  // and so do a modify or delete of one that is not.
  std::set<std::pair<WindowHandle, std::uint32_t>> trayIcons;
  // The next adds that fail as a shell not ready does; a timed-out one may
  // still add the icon.
  int failingAdds = 0;
  bool failedAddsTakeEffect = false;
  // Window timers: period by window and id.
  std::map<std::pair<WindowHandle, std::uintptr_t>, std::uint32_t> windowTimers;
  // Form timers cannot time alarms shorter than this, as a window timer.
  std::int32_t alarmFloorMs = 0;
  // AllowMessage calls: window, message, and how many tray calls came before.
  struct Allowed {
    WindowHandle window;
    std::uint32_t message;
    std::size_t trayCallsBefore;
  };
  std::vector<Allowed> allowedMessages;
  std::map<std::wstring, std::uint32_t> registeredMessages;
  std::vector<WindowHandle> foregrounds;  // every BringToForeground call
  WindowHandle foreground = 0;
  // This process's token, and how other windows' processes answer (No when
  // not listed); every window asked, in order.
  os::Elevation ownElevation;
  std::map<WindowHandle, os::Elevated> windowElevation;
  std::map<WindowHandle, std::uint32_t> windowIntegrity;  // 0 when not listed
  std::vector<WindowHandle> elevationQueries;
  // Windows that filter our messages (UIPI), and every one probed, in order.
  std::set<WindowHandle> filteredWindows;
  std::vector<WindowHandle> messageProbes;
  // StartElevated calls (shown or not), and the error each fails with (0:
  // it starts).
  std::vector<bool> elevatedStarts;
  std::wstring elevatedStartPath;  // the last one's
  // The last one's window, and the window in front at the call.
  std::pair<WindowHandle, WindowHandle> elevatedStartWindows;
  std::uint32_t elevatedStartError = 0;
  std::vector<WindowHandle> goneWindows;  // WindowExists says no
  std::map<std::int32_t, std::wstring> keyNames{{37, L"Left"}, {39, L"Right"}, {38, L"Up"}};
  std::vector<ProcCall> posted;

  // Window procedures: each window starts with its own fake procedure.
  std::map<WindowHandle, WndProcAddress> windowProcs;
  std::vector<ProcCall> procCalls;                     // calls of non-subclass procedures
  std::function<LResult(const ProcCall&)> procAnswer;  // default answers 7
  os::SubClassHandler subClassHandler = nullptr;
  bool setWindowProcFails = false;

  std::vector<MenuTrack> menuTracks;
  // Runs while a menu is tracked; returns the chosen command id or 0.
  std::function<int(const MenuTrack&)> onTrackMenu;
  std::vector<std::pair<ui::Menu*, ui::Menu*>> popupMenus;  // menu, default item

  // Icons loaded: each load gives a new handle.
  int iconLoads = 0;
  std::uint32_t taskbarDpi = 96;
  bool rawKeysFail = false;
  bool rawButtonsFail = false;

  int programEnded = 0;
  WindowHandle nextHandle = 0x1000;
  std::map<WindowHandle, FakeForm*> forms;
};

State& Get();
// Fresh state for a new test.
void Reset();

constexpr WndProcAddress kSubClassProc = 0x5C;
// The procedure a fake window starts with.
WndProcAddress OriginalProc(WindowHandle window);

void Press(std::int32_t virtualKey);
void Release(std::int32_t virtualKey);
// Down and up between two queries: only the pressed-since bit remains.
void Tap(std::int32_t virtualKey);
// A keyboard's auto-repeat of a held key: the pressed-since bit again.
void Repeat(std::int32_t virtualKey);

// Delivers a message to a window through its current procedure.
LResult Dispatch(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);
// Delivers one WM_TIMER for every window timer running.
void FireWindowTimers();

// Reads the fake file back as INI text.
std::wstring FileText(const std::wstring& file);

// User actions on the fake toolkit.
FakeForm& FormOf(ui::Form& form);
void Type(ui::TextBox& box, const std::wstring& newText);
// A key down then up in the box; a modifier key counts itself as held.
void PressKeyIn(ui::TextBox& box, std::int16_t keyCode);
// A middle (4) or side (5, 6) button pressed over the box.
void PressButtonIn(ui::TextBox& box, std::int16_t keyCode);
void ClickCheckBox(ui::CheckBox& box);

class FakeControl final : public ui::native::ControlPeer {
 public:
  void SetText(const std::wstring& newText) override { text = newText; }
  void SetCheck(int value) override { check = value; }
  void SetToolTip(const std::wstring& tip) override { toolTip = tip; }
  std::wstring text;
  std::wstring toolTip;
  int check = 0;
  bool inputMethod = true;  // off for a box made without one
};

class FakeForm final : public ui::native::FormPeer {
 public:
  explicit FakeForm(ui::Form& form);
  ~FakeForm() override;
  WindowHandle Handle() const override { return handle; }
  void Show() override;
  void Hide() override { visible = false; }
  int WindowState() const override { return state; }
  void SetWindowState(int newState) override;
  bool Visible() const override { return visible; }
  ui::native::ControlPeer& PeerOf(const ui::Control& control) override;
  void SetMenuChecked(const ui::Menu& item, bool checked) override;
  void PopupMenu(ui::Menu& menu, ui::Menu* defaultItem) override;
  void ArmTimer(ui::Timer& timer, std::uint32_t milliseconds) override;
  void DisarmTimer(ui::Timer& timer) override;
  void ArmAlarm(ui::Timer& timer) override;
  bool TimesAlarm(ui::Timer& timer, std::int32_t milliseconds) const override;
  bool ListenRawKeys() override;
  bool ListenRawButtons(bool listen) override;
  void SetIconGreyed(bool greyed) override { iconGreyed = greyed; }
  void ReloadIcons(bool greyed) override {
    iconGreyed = greyed;
    ++iconReloads;
  }

  // Runs the ticks of every armed timer once.
  void TickTimers();

  ui::Form& form;
  WindowHandle handle;
  bool visible = false;
  int state = 0;
  int showCount = 0;
  // How often the window came into view minimised: on the taskbar, where
  // it does not belong.
  int shownMinimised = 0;
  std::map<const ui::Control*, FakeControl> controls;
  std::map<const ui::Menu*, bool> menuChecks;
  std::map<ui::Timer*, std::uint32_t> armedTimers;
  std::map<ui::Timer*, std::uint32_t> armedAt;  // clock when last armed
  int armCount = 0;
  int alarmArms = 0;
  bool rawKeys = false;
  bool rawButtons = false;
  int rawButtonCalls = 0;  // ListenRawButtons calls that changed something
  bool iconGreyed = false;
  int iconReloads = 0;
  MenuHandle menuBar = 0;
  std::map<MenuHandle, const ui::Menu*> menus;  // submenus by handle
};

}  // namespace fake
