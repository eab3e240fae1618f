#include "tray/CTray.h"

#include <algorithm>

#include "platform/decimal.h"
#include "platform/os_shell.h"
#include "platform/os_trace.h"

namespace {

void Raise(const std::function<void()>& event) {
  if (event) event();
}

void Raise(const std::function<void(std::int16_t)>& event, std::int16_t button) {
  if (event) event(button);
}

}  // namespace

std::shared_ptr<CTray> CTray::Create() { return std::shared_ptr<CTray>(new CTray()); }

CTray::CTray() : taskbarCreatedMsg_(os::RegisterMessage(L"TaskbarCreated")) {
  record_.cbSize = os::kTrayRecordSize;
  record_.hIcon = 0;
  record_.uCallbackMessage = kCallbackMessage;
  record_.uFlags = kFlags;
  // The same id at every start, so the shell keeps the user's choices for
  // the icon (shown or hidden in the overflow) from one run to the next.
  record_.uID = Identity();
  PutToolTipText(L"");
}

CTray::~CTray() {
  if (visible_) DeleteIcon();
  mdlSubClass::UnSubClass(*this);
  icon_.reset();
}

void CTray::Modify() {
  // While an add is being tried again, the next try takes the new values.
  if (visible_ && tries_ == 0 && !reAdding_ && !os::NotifyIcon(platform::kNimModify, record_))
    os::Trace("Shell_NotifyIcon modify failed");
}

void CTray::Place(std::uint32_t first) {
  const std::uint32_t second =
      first == platform::kNimAdd ? platform::kNimModify : platform::kNimAdd;
  if (os::NotifyIcon(first, record_) || os::NotifyIcon(second, record_)) {
    if (tries_ != 0) {
      os::Trace("tray icon added after ", platform::Decimal(tries_ + 1) + L" tries");
      StopRetry();
    }
    return;
  }
  // One line when the trouble starts and one for how it ends.
  if (++tries_ == 1) {
    os::Trace("Shell_NotifyIcon add failed, trying again");
    // The timer's messages come through WindowProc and never reach the
    // form's own timers. Without a timer nothing is pending.
    if (!os::StartWindowTimer(hWnd_, record_.uID, kRetryMs)) tries_ = 0;
  } else if (tries_ >= kMaxTries) {
    // A new taskbar still brings it.
    os::Trace("tray icon not added after ", platform::Decimal(tries_) + L" tries");
    StopRetry();
  }
}

void CTray::StopRetry() {
  os::StopWindowTimer(hWnd_, record_.uID);
  tries_ = 0;
}

void CTray::SetIcon(std::shared_ptr<const ui::Picture> NewIcon) {
  PutIcon(std::move(NewIcon));
  Modify();
}

void CTray::SetIconAndToolTipText(std::shared_ptr<const ui::Picture> NewIcon,
                                  const std::wstring& NewToolTipText) {
  PutIcon(std::move(NewIcon));
  PutToolTipText(NewToolTipText);
  Modify();
}

void CTray::PutIcon(std::shared_ptr<const ui::Picture> icon) {
  icon_ = std::move(icon);
  record_.hIcon = icon_ ? icon_->handle : 0;
}

std::wstring CTray::ToolTipText() const {
  const auto& tip = record_.szTip;
  const auto nul = std::find(tip.begin(), tip.end(), L'\0');
  // With no NUL (64 characters or more were set) the whole field is the text.
  return std::wstring(tip.begin(), nul);
}

void CTray::SetToolTipText(const std::wstring& NewToolTipText) {
  PutToolTipText(NewToolTipText);
  Modify();
}

void CTray::PutToolTipText(const std::wstring& text) {
  std::wstring field = text;
  field.push_back(L'\0');
  field.resize(record_.szTip.size(), L' ');
  std::copy(field.begin(), field.end(), record_.szTip.begin());
}

void CTray::SetVisible(bool NewVisible) {
  if (NewVisible) {
    AddIcon(hWnd_);
  } else {
    DeleteIcon();
  }
}

bool CTray::AddIcon(WindowHandle hWnd) {
  if (record_.hIcon == 0) return false;
  // Moving to another window: the old one must not stay hooked for nobody.
  if (visible_ && hWnd != hWnd_) DeleteIcon();
  // An elevated copy hears of a new taskbar only if it lets the shell's
  // broadcast in; before the first add, whatever that add does.
  if (!visible_) os::AllowMessage(hWnd, taskbarCreatedMsg_);
  hWnd_ = hWnd;
  record_.hWnd = hWnd;
  Place(platform::kNimAdd);
  mdlSubClass::SubClass(shared_from_this());
  visible_ = true;
  return true;
}

void CTray::DeleteIcon() {
  if (tries_ != 0) StopRetry();
  os::NotifyIcon(platform::kNimDelete, record_);
  mdlSubClass::UnSubClass(*this);
  visible_ = false;
}

void CTray::PopUpMenu(ui::Form& OwnerForm, ui::Menu& ViewMenu, ui::Menu* DefaultMenu) {
  // Without the foreground and the posted message, a menu opened from the
  // tray does not close when the user clicks elsewhere.
  os::BringToForeground(OwnerForm.hWnd());
  OwnerForm.PopupMenu(ViewMenu, DefaultMenu);
  os::Post(hWnd_, platform::kWmNull, 0, 0);
}

LResult CTray::WindowProc(WindowHandle& hWnd, std::uint32_t& iMsg, WParam& wParam, LParam& lParam) {
  (void)hWnd;
  if (iMsg == kCallbackMessage) {
    switch (lParam) {
      case platform::kWmMouseMove:
        Raise(MouseMove);
        return 0;
      case platform::kWmLButtonDown:
        Raise(MouseDown, 1);
        return 0;
      case platform::kWmLButtonUp:
        Raise(MouseUp, 1);
        // The release that ends a double-click is no click of its own.
        if (!dblClicked_) Raise(Click);
        dblClicked_ = false;
        return 0;
      case platform::kWmLButtonDblClk:
        Raise(DblClick);
        dblClicked_ = true;
        return 0;
      case platform::kWmRButtonDown:
        Raise(MouseDown, 2);
        return 0;
      case platform::kWmRButtonUp:
        Raise(MouseUp, 2);
        return 0;
      case platform::kWmMButtonDown:
        Raise(MouseDown, 4);
        return 0;
      case platform::kWmMButtonUp:
        Raise(MouseUp, 4);
        return 0;
      case platform::kWmRButtonDblClk:
      case platform::kWmMButtonDblClk:
        return 0;
      default:
        return -1;
    }
  }
  if (iMsg == taskbarCreatedMsg_) {
    // Also ends a retry: this add tells how it went.
    if (visible_) {
      reAdding_ = true;
      if (TaskbarCreated) TaskbarCreated();
      reAdding_ = false;
      AddIcon(hWnd_);
    }
    return 0;
  }
  if (iMsg == platform::kWmTimer && wParam == record_.uID && tries_ != 0) {
    Place(platform::kNimModify);
    return 0;
  }
  return -1;
}
