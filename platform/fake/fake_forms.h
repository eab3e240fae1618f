#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/forms.h"
#include "platform/native.h"

// The fake toolkit backend: forms and controls without windows, which the
// test drives as the user would.
namespace fake {

using platform::MenuHandle;
using platform::WindowHandle;

class FakeForm;

struct FormsState {
  std::vector<std::pair<ui::Menu*, ui::Menu*>> popupMenus;  // menu, default item
  // Form timers cannot time alarms shorter than this, as a window timer.
  std::int32_t alarmFloorMs = 0;
  // Icons loaded: each load gives a new handle.
  int iconLoads = 0;
  std::uint32_t taskbarDpi = 96;
  bool rawKeysFail = false;
  bool rawButtonsFail = false;
  bool foregroundFails = false;

  int programEnded = 0;
  WindowHandle nextHandle = 0x1000;
  std::map<WindowHandle, FakeForm*> forms;
};

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
  void SetEnabled(bool isEnabled) override { enabled = isEnabled; }
  std::wstring text;
  std::wstring toolTip;
  int check = 0;
  bool enabled = true;
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
  void RefreshMenus() override { ++menuRefreshes; }
  void PopupMenu(ui::Menu& menu, ui::Menu* defaultItem) override;
  void ArmTimer(ui::Timer& timer, std::uint32_t milliseconds) override;
  void DisarmTimer(ui::Timer& timer) override;
  void ArmAlarm(ui::Timer& timer) override;
  bool TimesAlarm(ui::Timer& timer, std::int32_t milliseconds) const override;
  bool ListenRawKeys() override;
  bool ListenRawButtons(bool listen) override;
  bool ListenForeground() override;
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
  int menuRefreshes = 0;
  bool foregroundHeard = false;
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
