// The form toolkit's Win32 backend: one window class per form, standard
// controls laid out from twips at the window's DPI, the system message font.
#include "platform/win32/form_win32.h"

// Needs windows.h first.
#include <commctrl.h>

#include <utility>

#include "platform/win32/dpi_win32.h"
#include "platform/win32/icons_win32.h"
#include "platform/win32/input_hook.h"
#include "platform/win32/show_request.h"
#include "platform/win32/trace.h"

namespace ui::native {

Win32Form::Win32Form(Form& form) : form_(form) {
  static const bool controlsReady = [] {
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    return InitCommonControlsEx(&init) != FALSE;
  }();
  (void)controlsReady;
  const FormStyle& style = form.Style();
  RegisterClassFor(style);
  style_ =
      style.fixedDialog
          ? (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | (style.minimizeButton ? WS_MINIMIZEBOX : 0))
          : WS_OVERLAPPEDWINDOW;
  exStyle_ = style.fixedDialog ? WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT : 0;
  HMENU bar = BuildMenuBar();
  // WM_NCCREATE binds hwnd_, so no message reaches this object without it.
  CreateWindowExW(exStyle_, style.className.c_str(), style.caption.c_str(), style_, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, bar,
                  GetModuleHandleW(nullptr), this);
  dpi_ = WindowDpi(hwnd_);
  CreateControls();
  Layout(nullptr);
}

Win32Form::~Win32Form() {
  // Messages sent while the window goes must not reach this object.
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  for (auto& hook : foregroundHooks_) hook.reset();
  if (rawKeys_) win32::StopRawKeys();
  if (rawButtons_) win32::ListenRawButtons(hwnd_, false);
  timers_.clear();
  toolTips_.reset();
  DestroyWindow(hwnd_);
}

void Win32Form::PopupMenu(Menu& menu, Menu* defaultItem) {
  const auto it = FindKey(popups_, &menu);
  if (it == popups_.end()) return;
  if (defaultItem != nullptr)
    SetMenuDefaultItem(it->second, static_cast<UINT>(defaultItem->Id()), FALSE);
  POINT cursor{};
  GetCursorPos(&cursor);
  TrackPopupMenu(it->second, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, hwnd_,
                 nullptr);
}

void Win32Form::ArmTimer(Timer& timer, std::uint32_t milliseconds) {
  const auto it = FindKey(timers_, &timer);
  if (it != timers_.end()) {
    Revive(*it);
    it->second->SetPeriod(milliseconds, timer.Parked());
    return;
  }
  timers_.emplace_back(&timer, CreateTickSource(hwnd_, reinterpret_cast<UINT_PTR>(&timer),
                                                milliseconds, timer.Parked()));
  ArmAlarm(timer);
}

void Win32Form::SetIconGreyed(bool greyed) {
  if (greyed && !greyedBig_) {
    greyedBig_.reset(GreyedIcon(
        bigIcon_ ? bigIcon_.get() : reinterpret_cast<HICON>(GetClassLongPtrW(hwnd_, GCLP_HICON))));
    greyedSmall_.reset(
        GreyedIcon(smallIcon_ ? smallIcon_.get()
                              : reinterpret_cast<HICON>(GetClassLongPtrW(hwnd_, GCLP_HICONSM))));
  }
  // Null gives the class icons back.
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(greyed ? greyedBig_.get() : bigIcon_.get()));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(greyed ? greyedSmall_.get() : smallIcon_.get()));
}

void Win32Form::ReloadIcons(bool greyed) {
  const int resource = form_.Style().iconResource;
  if (resource == 0) return;
  // Held until the window has the new ones: a WM_GETICON in between must
  // not get a destroyed handle.
  const win32::Icon oldIcons[] = {std::move(bigIcon_), std::move(smallIcon_), std::move(greyedBig_),
                                  std::move(greyedSmall_)};
  bigIcon_.reset(LoadIconSized(resource, MetricForDpi(SM_CXICON, dpi_)));
  smallIcon_.reset(LoadIconSized(resource, MetricForDpi(SM_CXSMICON, dpi_)));
  SetIconGreyed(greyed);
}

LRESULT Win32Form::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      form_.NativeClose();  // may destroy this object: return at once
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The settings must be written before the session ends.
      if (wParam != FALSE) form_.NativeEndSession();
      return 0;
    case WM_COMMAND:
      OnCommand(wParam, lParam);
      return 0;
    case WM_TIMER:
    case kTickMessage:
      OnTimer(wParam);
      return 0;
    case kAlarmMessage:
      OnAlarm(wParam);
      return 0;
    case WM_POWERBROADCAST:
      // Alarms whose time passed in a sleep come now.
      if (wParam == PBT_APMRESUMEAUTOMATIC) {
        // By index: an alarm's handler may arm or disarm timers.
        for (std::size_t i = 0; i < timers_.size(); ++i) {
          Timer* timer = timers_[i].first;
          if (timer->AlarmSet()) OnAlarm(reinterpret_cast<WPARAM>(timer));
        }
      }
      break;
    case kTickFailedMessage:
      OnTickFailed(wParam);
      return 0;
    case WM_INPUT: {
      bool down = true;
      const int key = win32::RawKey(lParam, down);
      if (key >= 0 && down) OnPress(key);
      if (key > 0 && !down) form_.NativeRawKeyUp(key);
      break;  // the default handling frees the input
    }
    case win32::kHeldMessage:
      OnPress(0);
      return 0;
    case WM_WTSSESSION_CHANGE:
      win32::SessionChanged(wParam);
      break;
    case win32::kForegroundMessage:
      win32::ForegroundTaken();
      form_.NativeForegroundChanged();
      return 0;
    case WM_SIZE:
      form_.NativeResized();
      break;
    case WM_ACTIVATE:
      if (OnActivate(LOWORD(wParam))) return 0;
      break;
    case kWmGetDpiScaledSize:
      sizeAsked_ = true;
      *reinterpret_cast<SIZE*>(lParam) = WindowSize(static_cast<UINT>(wParam));
      return TRUE;
    case WM_DPICHANGED:
      dpi_ = HIWORD(wParam);
      Layout(reinterpret_cast<const RECT*>(lParam));
      sizeAsked_ = false;
      form_.NativeDpiChanged();
      return 0;
    case WM_DISPLAYCHANGE:
    case WM_SETTINGCHANGE:
      form_.NativeDisplayChanged();
      break;
    default:
      if (message != 0 && message == win32::ShowRequestMessage()) {
        form_.NativeShowRequest();
        return 0;
      }
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Win32Form::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (lParam == 0) {
    // A menu item (or an accelerator).
    if (HIWORD(wParam) == 0) form_.NativeCommand(LOWORD(wParam));
    return;
  }
  Win32Control* found = PeerAt(reinterpret_cast<HWND>(lParam));
  if (found == nullptr) return;
  Win32Control& peer = *found;
  Control& control = peer.Owner();
  const UINT code = HIWORD(wParam);
  if (control.Kind() == ControlKind::TextBox && code == EN_CHANGE && !peer.ProgramWrite()) {
    const int length = GetWindowTextLengthW(peer.Hwnd());
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(peer.Hwnd(), text.data(), length + 1)));
    static_cast<TextBox&>(control).NativeTextChanged(std::move(text));
  } else if (control.Kind() == ControlKind::CheckBox && code == BN_CLICKED) {
    static_cast<CheckBox&>(control).NativeClicked();
  }
}

void Win32Form::OnTimer(WPARAM id) {
  const auto it = FindKey(timers_, reinterpret_cast<Timer*>(id));
  if (it == timers_.end()) {
    // A window timer's alarm, which comes once.
    if (FindKey(timers_, reinterpret_cast<Timer*>(id - 1)) == timers_.end()) return;
    KillTimer(hwnd_, id);
    OnAlarm(id - 1);
    return;
  }
  it->second->TickTaken();
  it->first->NativeTick();  // may disarm the timer: it is not used after this
}

void Win32Form::OnAlarm(WPARAM id) {
  const auto it = FindKey(timers_, reinterpret_cast<Timer*>(id));
  if (it != timers_.end()) it->first->NativeAlarm();
}

void Win32Form::OnTickFailed(WPARAM id) {
  const auto it = FindKey(timers_, reinterpret_cast<Timer*>(id));
  if (it != timers_.end()) Revive(*it);
}

void Win32Form::OnPress(int virtualKey) {
  // An awake tick is not re-armed by a press: it may have died.
  for (TimerEntry& entry : timers_) Revive(entry);
  form_.NativeRawKeyDown(virtualKey);
}

void Win32Form::Revive(TimerEntry& entry) {
  auto& [timer, source] = entry;
  if (!source->Stopped()) return;
  win32::TraceFailure("SetWaitableTimer", source->Error());
  source = ReplaceTickSource(std::move(source), hwnd_, reinterpret_cast<UINT_PTR>(timer),
                             static_cast<std::uint32_t>(timer->Interval()), timer->Parked());
  ArmAlarm(*timer);
}

Win32Control* Win32Form::PeerAt(const Control& control) const {
  for (const auto& peer : peers_) {
    if (&peer->Owner() == &control) return peer.get();
  }
  return nullptr;
}

Win32Control* Win32Form::PeerAt(HWND child) const {
  for (const auto& peer : peers_) {
    if (peer->Hwnd() == child) return peer.get();
  }
  return nullptr;
}

bool Win32Form::OnActivate(WORD state) {
  if (state == WA_INACTIVE) {
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(hwnd_, focus)) lastFocus_ = focus;
    return false;
  }
  const HWND target = lastFocus_ != nullptr ? lastFocus_ : firstFocus_;
  if (target == nullptr) return false;
  SetFocus(target);
  return true;
}

LRESULT CALLBACK FormWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<Win32Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->Bind(window);
  }
  // WM_GETMINMAXINFO comes before WM_NCCREATE: default handling serves it.
  Win32Form* form = Win32Form::From(window);
  if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return form->OnMessage(message, wParam, lParam);
}

bool IsFormWindow(HWND window) { return Win32Form::From(window) != nullptr; }

std::unique_ptr<FormPeer> CreateFormPeer(Form& form) { return std::make_unique<Win32Form>(form); }

}  // namespace ui::native
