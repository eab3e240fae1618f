#pragma once

// A form's window: its messages, timers, icons and focus.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/native.h"
#include "platform/win32/control_win32.h"
#include "platform/win32/foreground_events.h"
#include "platform/win32/owned.h"
#include "platform/win32/raw_keys.h"
#include "platform/win32/tick_source.h"

namespace ui::native {

// The entry of pairs whose key is key; pairs.end() when there is none.
template <typename Pairs, typename Key>
auto FindKey(Pairs& pairs, const Key& key) {
  auto it = pairs.begin();
  while (it != pairs.end() && it->first != key) ++it;
  return it;
}

LRESULT CALLBACK FormWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Whether window is the top window of one of our forms.
bool IsFormWindow(HWND window);

class Win32Form final : public FormPeer {
 public:
  explicit Win32Form(Form& form);
  ~Win32Form() override;

  WindowHandle Handle() const override { return reinterpret_cast<WindowHandle>(hwnd_); }
  // Restored: a first SW_SHOW would take the start's show command instead,
  // minimised after a start for the tray.
  void Show() override { ShowWindow(hwnd_, SW_RESTORE); }
  void Hide() override { ShowWindow(hwnd_, SW_HIDE); }
  // From the style, as IsIconic, IsZoomed and IsWindowVisible read it for a
  // top-level window: one import instead of three.
  int WindowState() const override {
    const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
    return (style & WS_MINIMIZE) != 0 ? 1 : (style & WS_MAXIMIZE) != 0 ? 2 : 0;
  }
  void SetWindowState(int state) override {
    if (state == WindowState()) return;
    ShowWindow(hwnd_, state == 1 ? SW_MINIMIZE : state == 2 ? SW_MAXIMIZE : SW_RESTORE);
  }
  bool Visible() const override { return (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

  ControlPeer& PeerOf(const Control& control) override { return *PeerAt(control); }

  void SetMenuChecked(const Menu& item, bool checked) override {
    CheckMenuItem(GetMenu(hwnd_), static_cast<UINT>(item.Id()),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }

  void RefreshMenus() override;
  void PopupMenu(Menu& menu, Menu* defaultItem) override;
  void ArmTimer(Timer& timer, std::uint32_t milliseconds) override;

  void DisarmTimer(Timer& timer) override {
    const auto it = FindKey(timers_, &timer);
    if (it != timers_.end()) timers_.erase(it);
  }

  // Also on each new source: the alarm keeps its time.
  void ArmAlarm(Timer& timer) override {
    const auto it = FindKey(timers_, &timer);
    if (it != timers_.end()) it->second->SetAlarm(timer.AlarmSet() ? timer.AlarmRemaining() : -1);
  }

  bool TimesAlarm(Timer& timer, std::int32_t milliseconds) const override {
    const auto it = FindKey(timers_, &timer);
    return it != timers_.end() && it->second->TimesAlarm(milliseconds);
  }

  bool ListenForeground() override {
    return foregroundHooks_[win32::kForegroundHooks - 1] ||
           win32::ListenForeground(hwnd_, foregroundHooks_);
  }

  bool ListenRawKeys() override {
    rawKeys_ = rawKeys_ || win32::ListenRawKeys(hwnd_);
    return rawKeys_;
  }

  // Mouse input comes with every move, and with each of our own clicks:
  // only while asked.
  bool ListenRawButtons(bool listen) override {
    if (listen == rawButtons_) return true;
    if (!win32::ListenRawButtons(hwnd_, listen)) return false;
    rawButtons_ = listen;
    return true;
  }

  void SetIconGreyed(bool greyed) override;
  void ReloadIcons(bool greyed) override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void Bind(HWND window) {
    hwnd_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  static Win32Form* From(HWND window) {
    return reinterpret_cast<Win32Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  }

 private:
  static void RegisterClassFor(const FormStyle& style);
  HMENU BuildMenuBar();
  static void FillPopup(HMENU popup, const Menu& top);
  void CreateControls();

  // Sizes the window for its client area and places the controls, at the
  // current DPI; suggested is the rectangle Windows proposes on a DPI change.
  void Layout(const RECT* suggested);

  // The window's outer size for its client area at dpi, with the frame at
  // dpi too or as it was drawn at start.
  SIZE WindowSize(UINT dpi, bool scaledFrame = true) const;

  void OnCommand(WPARAM wParam, LPARAM lParam);
  void OnTimer(WPARAM id);
  void OnAlarm(WPARAM id);
  void OnTickFailed(WPARAM id);
  // A key or a watched button went down anywhere.
  void OnPress(int virtualKey);

  // Replaces a source that stopped for good, whether its message came or
  // not (a full queue refuses it); one already replaced has nothing to say.
  using TimerEntry = std::pair<Timer*, std::unique_ptr<TickSource>>;
  void Revive(TimerEntry& entry);
  // The peer of control, or of the control window child; null for none.
  Win32Control* PeerAt(const Control& control) const;
  Win32Control* PeerAt(HWND child) const;

  // Keeps the focus inside the window across activations.
  bool OnActivate(WORD state);

  Form& form_;
  HWND hwnd_ = nullptr;
  DWORD style_ = 0;
  DWORD exStyle_ = 0;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  win32::Font font_;
  // A form has a handful of each: searched in order, as a tree would cost
  // far more code.
  std::vector<std::unique_ptr<Win32Control>> peers_;
  std::vector<std::pair<const Menu*, HMENU>> popups_;
  std::vector<TimerEntry> timers_;
  HWND firstFocus_ = nullptr;
  HWND lastFocus_ = nullptr;
  win32::Window toolTips_;
  win32::WinEventHook foregroundHooks_[win32::kForegroundHooks];
  bool rawKeys_ = false;
  bool rawButtons_ = false;
  bool sizeAsked_ = false;  // WM_GETDPISCALEDSIZE came before WM_DPICHANGED
  // Loaded at the window's DPI once it changed; the class's until then.
  win32::Icon bigIcon_;
  win32::Icon smallIcon_;
  win32::Icon greyedBig_;
  win32::Icon greyedSmall_;
};

}  // namespace ui::native
