// The form toolkit's Win32 backend: one window class per form, standard
// controls laid out from twips at the window's DPI, the system message font.
#include <windows.h>
// Needs windows.h first.
#include <commctrl.h>
#include <imm.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "platform/native.h"
#include "platform/win32/owned.h"
#include "platform/win32/raw_keys.h"
#include "platform/win32/show_request.h"
#include "platform/win32/tick_source.h"
#include "platform/win32/trace.h"

namespace ui::native {

namespace {

// Per-monitor DPI calls, looked up at run time so that older systems still
// start the program.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

template <typename Fn>
Fn User32Proc(const char* name) {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  // Through void (*)(), which GCC lets stand for any function type.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Proc<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  const win32::WindowDC screen(nullptr);
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

// The DPI the system metrics were read at, at logon.
int SystemDpi() {
  const win32::WindowDC screen(nullptr);
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

win32::Font MessageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  static const auto forDpi = User32Proc<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
  if (forDpi == nullptr || !forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    // Per-monitor v1 (Windows 8.1, 10 before 1607): these are at the system
    // DPI, the window's may differ.
    LONG& height = metrics.lfMessageFont.lfHeight;
    height = MulDiv(height, static_cast<int>(dpi), SystemDpi());
  }
  return win32::Font(CreateFontIndirectW(&metrics.lfMessageFont));
}

// A size from the system metrics at dpi; at logon's where Windows cannot
// tell (before Windows 10 1607).
int MetricForDpi(int index, UINT dpi) {
  static const auto forDpi = User32Proc<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  return forDpi != nullptr ? forDpi(index, dpi) : GetSystemMetrics(index);
}

HICON LoadIconSized(int resourceId, int size) {
  // The icon holds 16, 20, 24, 32 and 48 px images; others are scaled.
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId),
                                       IMAGE_ICON, size, size, 0));
}

void AdjustForDpi(RECT& rect, DWORD style, DWORD exStyle, bool menu, UINT dpi) {
  static const auto forDpi = User32Proc<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  if (forDpi != nullptr) {
    forDpi(&rect, style, menu, exStyle, dpi);
  } else {
    AdjustWindowRectEx(&rect, style, menu, exStyle);
  }
}

constexpr UINT_PTR kKeyBoxSubclassId = 1;
// WM_GETDPISCALEDSIZE, declared only for newer target versions.
constexpr UINT kWmGetDpiScaledSize = 0x02E4;

// The icon in greys at reduced contrast: still the same picture, but plainly
// not the active one, on light and dark taskbars alike. Its shape (alpha)
// stays, so the outline holds on a light taskbar and the body on a dark one.
// Null when the icon cannot be read.
HICON GreyedIcon(HICON icon) {
  ICONINFO info{};
  if (icon == nullptr || !GetIconInfo(icon, &info)) return nullptr;
  const win32::Bitmap color(info.hbmColor);
  const win32::Bitmap mask(info.hbmMask);
  BITMAP size{};
  if (!color || GetObjectW(color.get(), sizeof(size), &size) == 0) return nullptr;
  const int width = size.bmWidth;
  const int height = size.bmHeight;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;  // top-down, as CreateBitmap takes them
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<std::uint32_t> pixels(count), maskPixels(count);
  const win32::WindowDC screen(nullptr);
  const auto read = [&](HBITMAP bitmap, std::vector<std::uint32_t>& into) {
    return GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(height), into.data(), &format,
                     DIB_RGB_COLORS) != 0;
  };
  if (!read(color.get(), pixels) || !read(mask.get(), maskPixels)) return nullptr;
  // Icons of fewer colours carry their shape in the mask only.
  const bool alpha =
      std::any_of(pixels.begin(), pixels.end(), [](std::uint32_t p) { return (p >> 24) != 0; });
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t p = pixels[i];
    const std::uint32_t a = alpha ? p >> 24 : ((maskPixels[i] & 0xFFFFFFU) != 0 ? 0 : 255);
    const std::uint32_t luma =
        (((p >> 16) & 0xFFU) * 299 + ((p >> 8) & 0xFFU) * 587 + (p & 0xFFU) * 114) / 1000;
    // Black stays dark and white light, but both drift towards the middle.
    const std::uint32_t grey = 64 + luma * 128 / 255;
    pixels[i] = (a << 24) | (grey << 16) | (grey << 8) | grey;
  }
  const win32::Bitmap greyed(CreateBitmap(width, height, 1, 32, pixels.data()));
  ICONINFO made{TRUE, 0, 0, mask.get(), greyed.get()};
  return greyed ? CreateIconIndirect(&made) : nullptr;
}

class Win32Form;

struct ControlWindow {
  Control* control = nullptr;
  HWND hwnd = nullptr;
};

class Win32Control final : public ControlPeer {
 public:
  Win32Control(Control& control, HWND hwnd, HWND toolTips)
      : control_(control), hwnd_(hwnd), toolTips_(toolTips) {}
  void SetText(const std::wstring& text) override {
    programWrite_ = true;
    SetWindowTextW(hwnd_, text.c_str());
    programWrite_ = false;
    if (control_.Kind() == ControlKind::TextBox) {
      const auto end = static_cast<LPARAM>(text.size());
      SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(end), end);
    }
  }
  void SetCheck(int value) override {
    const WPARAM state = value == CheckBox::kChecked  ? BST_CHECKED
                         : value == CheckBox::kGrayed ? BST_INDETERMINATE
                                                      : BST_UNCHECKED;
    SendMessageW(hwnd_, BM_SETCHECK, state, 0);
  }
  void SetToolTip(const std::wstring& text) override {
    if (toolTips_ == nullptr) return;
    TOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = GetParent(hwnd_);
    info.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    info.lpszText = const_cast<wchar_t*>(text.c_str());
    if (!toolAdded_) {
      toolAdded_ = SendMessageW(toolTips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != 0;
      if (!toolAdded_) win32::TraceFailure(L"TTM_ADDTOOL");
    } else {
      SendMessageW(toolTips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    }
  }
  bool ProgramWrite() const { return programWrite_; }
  Control& Owner() const { return control_; }
  HWND Hwnd() const { return hwnd_; }

 private:
  Control& control_;
  HWND hwnd_;
  HWND toolTips_;
  bool programWrite_ = false;
  bool toolAdded_ = false;
};

std::set<std::wstring>& RegisteredClasses() {
  static std::set<std::wstring> classes;
  return classes;
}

LRESULT CALLBACK FormWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

LRESULT CALLBACK KeyBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                            DWORD_PTR refData) {
  auto* box = reinterpret_cast<TextBox*>(refData);
  switch (message) {
    case WM_GETDLGCODE: {
      // Every key but Tab reaches the box, so Enter and Esc can be captured
      // while Tab still moves the focus.
      const auto* msg = reinterpret_cast<const MSG*>(lParam);
      if (box->ReadOnly() &&
          !(msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB)) {
        return DefSubclassProc(window, message, wParam, lParam) | DLGC_WANTALLKEYS;
      }
      break;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      std::int16_t shift = 0;
      if (GetKeyState(VK_SHIFT) < 0) shift |= 1;
      if (GetKeyState(VK_CONTROL) < 0) shift |= 2;
      if (GetKeyState(VK_MENU) < 0) shift |= 4;
      auto code = static_cast<std::int16_t>(wParam);
      const bool reported = box->NativeKeyDown(code, shift);
      if (code == 0) return 0;
      // A captured F10 must not start menu mode.
      if (reported && message == WM_SYSKEYDOWN) return 0;
      wParam = static_cast<WPARAM>(static_cast<std::uint16_t>(code));
      break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
      // Menu mode starts on F10's release: swallow that of a captured one.
      if (box->NativeKeyUp(static_cast<std::int16_t>(wParam)) && message == WM_SYSKEYUP) return 0;
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_XBUTTONDOWN:
    case WM_XBUTTONDBLCLK: {
      const bool middle = message == WM_MBUTTONDOWN || message == WM_MBUTTONDBLCLK;
      const std::int16_t code = middle                                   ? VK_MBUTTON
                                : GET_XBUTTON_WPARAM(wParam) == XBUTTON1 ? VK_XBUTTON1
                                                                         : VK_XBUTTON2;
      // Taken by the box: the focus stays, and no Back or Forward command goes out.
      if (box->NativeButtonDown(code)) return middle ? 0 : TRUE;
      break;
    }
    case WM_KILLFOCUS:
      box->NativeFocusLost();
      break;
    case WM_CHAR:
      if (box->ReadOnly()) return 0;  // captured keys are no text
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(window, &KeyBoxProc, id);
      break;
    default:
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

class Win32Form final : public FormPeer {
 public:
  explicit Win32Form(Form& form) : form_(form) {
    static const bool controlsReady = [] {
      INITCOMMONCONTROLSEX init{sizeof(init), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
      return InitCommonControlsEx(&init) != FALSE;
    }();
    (void)controlsReady;
    const FormStyle& style = form.Style();
    RegisterClassFor(style);
    style_ = style.fixedDialog ? (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU |
                                  (style.minimizeButton ? WS_MINIMIZEBOX : 0))
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

  ~Win32Form() override {
    // Messages sent while the window goes must not reach this object.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    if (rawKeys_) win32::StopRawKeys();
    if (rawButtons_) win32::ListenRawButtons(hwnd_, false);
    timers_.clear();
    toolTips_.reset();
    DestroyWindow(hwnd_);
  }

  WindowHandle Handle() const override { return reinterpret_cast<WindowHandle>(hwnd_); }
  // Restored: a first SW_SHOW would take the start's show command instead,
  // minimised after a start for the tray.
  void Show() override { ShowWindow(hwnd_, SW_RESTORE); }
  void Hide() override { ShowWindow(hwnd_, SW_HIDE); }
  int WindowState() const override {
    if (IsIconic(hwnd_)) return 1;
    if (IsZoomed(hwnd_)) return 2;
    return 0;
  }
  void SetWindowState(int state) override {
    if (state == WindowState()) return;
    ShowWindow(hwnd_, state == 1 ? SW_MINIMIZE : state == 2 ? SW_MAXIMIZE : SW_RESTORE);
  }
  bool Visible() const override { return IsWindowVisible(hwnd_) != FALSE; }

  ControlPeer& PeerOf(const Control& control) override { return *peers_.at(&control); }

  void SetMenuChecked(const Menu& item, bool checked) override {
    CheckMenuItem(GetMenu(hwnd_), static_cast<UINT>(item.Id()),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }

  void PopupMenu(Menu& menu, Menu* defaultItem) override {
    const auto it = popups_.find(&menu);
    if (it == popups_.end()) return;
    if (defaultItem != nullptr)
      SetMenuDefaultItem(it->second, static_cast<UINT>(defaultItem->Id()), FALSE);
    POINT cursor{};
    GetCursorPos(&cursor);
    TrackPopupMenu(it->second, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, hwnd_,
                   nullptr);
  }

  void ArmTimer(Timer& timer, std::uint32_t milliseconds) override {
    const auto it = timers_.find(&timer);
    if (it != timers_.end()) {
      Revive(it);
      it->second->SetPeriod(milliseconds, timer.Parked());
      return;
    }
    timers_[&timer] =
        CreateTickSource(hwnd_, reinterpret_cast<UINT_PTR>(&timer), milliseconds, timer.Parked());
    ArmAlarm(timer);
  }

  void DisarmTimer(Timer& timer) override { timers_.erase(&timer); }

  // Also on each new source: the alarm keeps its time.
  void ArmAlarm(Timer& timer) override {
    const auto it = timers_.find(&timer);
    if (it != timers_.end()) it->second->SetAlarm(timer.AlarmSet() ? timer.AlarmRemaining() : -1);
  }

  bool TimesAlarm(Timer& timer, std::int32_t milliseconds) const override {
    const auto it = timers_.find(&timer);
    return it != timers_.end() && it->second->TimesAlarm(milliseconds);
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

  void SetIconGreyed(bool greyed) override {
    if (greyed && !greyedBig_) {
      greyedBig_.reset(
          GreyedIcon(bigIcon_ ? bigIcon_.get()
                              : reinterpret_cast<HICON>(GetClassLongPtrW(hwnd_, GCLP_HICON))));
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

  void ReloadIcons(bool greyed) override {
    const int resource = form_.Style().iconResource;
    if (resource == 0) return;
    // Held until the window has the new ones: a WM_GETICON in between must
    // not get a destroyed handle.
    const win32::Icon oldIcons[] = {std::move(bigIcon_), std::move(smallIcon_),
                                    std::move(greyedBig_), std::move(greyedSmall_)};
    bigIcon_.reset(LoadIconSized(resource, MetricForDpi(SM_CXICON, dpi_)));
    smallIcon_.reset(LoadIconSized(resource, MetricForDpi(SM_CXSMICON, dpi_)));
    SetIconGreyed(greyed);
  }

  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
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
          for (const auto& entry : timers_) {
            if (entry.first->AlarmSet()) OnAlarm(reinterpret_cast<WPARAM>(entry.first));
          }
        }
        break;
      case kTickFailedMessage:
        OnTickFailed(wParam);
        return 0;
      case WM_INPUT:
        if (win32::IsRawPress(lParam)) {
          // An awake tick is not re-armed by a press: it may have died.
          for (auto it = timers_.begin(); it != timers_.end(); ++it) Revive(it);
          form_.NativeRawKeyDown();
        }
        break;  // the default handling frees the input
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

  void Bind(HWND window) {
    hwnd_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  static Win32Form* From(HWND window) {
    return reinterpret_cast<Win32Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  }

 private:
  static void RegisterClassFor(const FormStyle& style) {
    auto& classes = RegisteredClasses();
    if (classes.count(style.className) != 0) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &FormWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = style.className.c_str();
    if (style.iconResource != 0) {
      const auto resource = MAKEINTRESOURCEW(style.iconResource);
      wc.hIcon = static_cast<HICON>(LoadImageW(wc.hInstance, resource, IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), LR_SHARED));
      wc.hIconSm = static_cast<HICON>(LoadImageW(wc.hInstance, resource, IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    }
    RegisterClassExW(&wc);
    classes.insert(style.className);
  }

  HMENU BuildMenuBar() {
    if (form_.MenuBar().empty()) return nullptr;
    HMENU bar = CreateMenu();
    for (Menu* top : form_.MenuBar()) {
      HMENU popup = CreatePopupMenu();
      for (Menu* item : top->Items()) {
        if (!item->Visible()) continue;
        if (item->IsSeparator()) {
          AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
        } else {
          AppendMenuW(popup, MF_STRING | (item->Checked() ? MF_CHECKED : 0),
                      static_cast<UINT_PTR>(item->Id()), item->Caption().c_str());
        }
      }
      AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), top->Caption().c_str());
      popups_[top] = popup;
    }
    return bar;
  }

  void CreateControls() {
    // Creation order is z-order, which Tab follows.
    const std::vector<Control*> order = form_.CreationOrder();
    toolTips_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                    WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                    GetModuleHandleW(nullptr), nullptr));
    if (!toolTips_) win32::TraceFailure(L"CreateWindowEx tooltips");
    // Long enough to read a key's name; the default follows the double-click
    // time and can be gone at once.
    SendMessageW(toolTips_.get(), TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(10000, 0));
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (Control* c : order) {
      const wchar_t* cls = L"STATIC";
      DWORD style = WS_CHILD | WS_VISIBLE;
      DWORD exStyle = 0;
      std::wstring text = c->Caption();
      switch (c->Kind()) {
        case ControlKind::Frame:
          cls = L"BUTTON";
          style |= BS_GROUPBOX;
          break;
        case ControlKind::Label:
          style |= SS_LEFT | SS_NOPREFIX;
          break;
        case ControlKind::TextBox: {
          const auto* box = static_cast<const TextBox*>(c);
          cls = L"EDIT";
          style |= WS_TABSTOP | ES_AUTOHSCROLL | (box->ReadOnly() ? ES_READONLY : 0);
          exStyle = WS_EX_CLIENTEDGE;
          text = box->Text();
          break;
        }
        case ControlKind::CheckBox:
          cls = L"BUTTON";
          style |= WS_TABSTOP | BS_CHECKBOX;
          break;
      }
      HWND child = CreateWindowExW(exStyle, cls, text.c_str(), style, 0, 0, 0, 0, hwnd_, nullptr,
                                   instance, nullptr);
      auto peer = std::make_unique<Win32Control>(*c, child, toolTips_.get());
      if (c->Kind() == ControlKind::TextBox) {
        auto* box = static_cast<TextBox*>(c);
        if (box->MaxLength() > 0)
          SendMessageW(child, EM_SETLIMITTEXT, static_cast<WPARAM>(box->MaxLength()), 0);
        SetWindowSubclass(child, &KeyBoxProc, kKeyBoxSubclassId, reinterpret_cast<DWORD_PTR>(box));
        if (box->NoInputMethod()) ImmAssociateContextEx(child, nullptr, 0);
      }
      if (c->Kind() == ControlKind::CheckBox) {
        peer->SetCheck(static_cast<CheckBox*>(c)->Value());
      }
      byHwnd_[child] = peer.get();
      peers_[c] = std::move(peer);
      if (firstFocus_ == nullptr && (style & WS_TABSTOP) != 0) firstFocus_ = child;
    }
  }

  // Sizes the window for its client area and places the controls, at the
  // current DPI; suggested is the rectangle Windows proposes on a DPI change.
  void Layout(const RECT* suggested) {
    // The old font stays alive until every control has the new one.
    win32::Font font = MessageFont(dpi_);
    int lineHeight = 0;
    if (const win32::WindowDC dc(hwnd_); dc.get() != nullptr) {
      const HGDIOBJ old = SelectObject(dc.get(), font.get());
      TEXTMETRICW tm{};
      GetTextMetricsW(dc.get(), &tm);
      lineHeight = tm.tmHeight;
      SelectObject(dc.get(), old);
    }
    for (const auto& [control, peer] : peers_) {
      Bounds b = control->FormPosition();
      int x = TwipsToPixels(b.left, dpi_), y = TwipsToPixels(b.top, dpi_);
      const int w = TwipsToPixels(b.width, dpi_);
      int h = TwipsToPixels(b.height, dpi_);
      if (control->Kind() == ControlKind::Label && h < lineHeight) {
        // Keep the label's centre, but do not clip the message font.
        y -= (lineHeight - h) / 2;
        h = lineHeight;
      }
      SetWindowPos(peer->Hwnd(), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
      SendMessageW(peer->Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
      if (control->Kind() == ControlKind::TextBox) {
        // The boxes are sized for three digits: the font's default margins
        // would scroll even two out of sight.
        const int margin = MulDiv(1, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
        SendMessageW(peer->Hwnd(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                     MAKELPARAM(margin, margin));
      }
    }
    font_ = std::move(font);
    if (suggested != nullptr) {
      // Per-monitor v2 asked our size with WM_GETDPISCALEDSIZE, so the
      // suggestion holds it; taking it as given keeps a window at a monitor
      // edge from flipping back and forth. v1 asks nothing and scales the
      // frame with the rest, though the frame keeps its size.
      const SIZE size =
          sizeAsked_ ? SIZE{suggested->right - suggested->left, suggested->bottom - suggested->top}
                     : WindowSize(dpi_, false);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, size.cx, size.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      const SIZE size = WindowSize(dpi_);
      SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }

  // The window's outer size for its client area at dpi, with the frame at
  // dpi too or as it was drawn at start.
  SIZE WindowSize(UINT dpi, bool scaledFrame = true) const {
    RECT rect{0, 0, TwipsToPixels(form_.Style().clientWidth, dpi),
              TwipsToPixels(form_.Style().clientHeight, dpi)};
    const BOOL menu = GetMenu(hwnd_) != nullptr;
    if (scaledFrame) {
      AdjustForDpi(rect, style_, exStyle_, menu, dpi);
    } else {
      AdjustWindowRectEx(&rect, style_, menu, exStyle_);
    }
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
  }

  void OnCommand(WPARAM wParam, LPARAM lParam) {
    if (lParam == 0) {
      // A menu item (or an accelerator).
      if (HIWORD(wParam) == 0) form_.NativeCommand(LOWORD(wParam));
      return;
    }
    const auto it = byHwnd_.find(reinterpret_cast<HWND>(lParam));
    if (it == byHwnd_.end()) return;
    Win32Control& peer = *it->second;
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

  void OnTimer(WPARAM id) {
    const auto it = timers_.find(reinterpret_cast<Timer*>(id));
    if (it == timers_.end()) {
      // A window timer's alarm, which comes once.
      if (timers_.count(reinterpret_cast<Timer*>(id - 1)) == 0) return;
      KillTimer(hwnd_, id);
      OnAlarm(id - 1);
      return;
    }
    it->second->TickTaken();
    it->first->NativeTick();  // may disarm the timer: it is not used after this
  }

  void OnAlarm(WPARAM id) {
    const auto it = timers_.find(reinterpret_cast<Timer*>(id));
    if (it != timers_.end()) it->first->NativeAlarm();
  }

  void OnTickFailed(WPARAM id) {
    const auto it = timers_.find(reinterpret_cast<Timer*>(id));
    if (it != timers_.end()) Revive(it);
  }

  // Replaces a source that stopped for good, whether its message came or
  // not (a full queue refuses it); one already replaced has nothing to say.
  void Revive(std::map<Timer*, std::unique_ptr<TickSource>>::iterator it) {
    if (!it->second->Stopped()) return;
    win32::TraceFailure(L"SetWaitableTimer", it->second->Error());
    it->second =
        ReplaceTickSource(std::move(it->second), hwnd_, reinterpret_cast<UINT_PTR>(it->first),
                          static_cast<std::uint32_t>(it->first->Interval()), it->first->Parked());
    ArmAlarm(*it->first);
  }

  // Keeps the focus inside the window across activations.
  bool OnActivate(WORD state) {
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

  Form& form_;
  HWND hwnd_ = nullptr;
  DWORD style_ = 0;
  DWORD exStyle_ = 0;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  win32::Font font_;
  std::map<const Control*, std::unique_ptr<Win32Control>> peers_;
  std::map<HWND, Win32Control*> byHwnd_;
  std::map<const Menu*, HMENU> popups_;
  std::map<Timer*, std::unique_ptr<TickSource>> timers_;
  HWND firstFocus_ = nullptr;
  HWND lastFocus_ = nullptr;
  win32::Window toolTips_;
  bool rawKeys_ = false;
  bool rawButtons_ = false;
  bool sizeAsked_ = false;  // WM_GETDPISCALEDSIZE came before WM_DPICHANGED
  // Loaded at the window's DPI once it changed; the class's until then.
  win32::Icon bigIcon_;
  win32::Icon smallIcon_;
  win32::Icon greyedBig_;
  win32::Icon greyedSmall_;
};

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

}  // namespace

// A picture that destroys its icon with it.
struct IconPicture final : Picture {
  IconPicture(HICON icon, std::uint32_t dpi)
      : Picture{reinterpret_cast<IconHandle>(icon), dpi}, owner(icon) {}
  win32::Icon owner;
};

std::unique_ptr<FormPeer> CreateFormPeer(Form& form) { return std::make_unique<Win32Form>(form); }

// The tray shows the small-icon size at the taskbar's DPI now, the primary
// display's, which may not be logon's.
std::uint32_t TaskbarDpi() {
  const HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
  return taskbar != nullptr ? WindowDpi(taskbar) : static_cast<UINT>(SystemDpi());
}

std::shared_ptr<const Picture> LoadIconPicture(int resourceId) {
  const std::uint32_t dpi = TaskbarDpi();
  return std::make_shared<const IconPicture>(
      LoadIconSized(resourceId, MetricForDpi(SM_CXSMICON, dpi)), dpi);
}

std::shared_ptr<const Picture> GreyedPicture(const Picture& picture) {
  HICON greyed = GreyedIcon(reinterpret_cast<HICON>(picture.handle));
  if (greyed == nullptr) win32::TraceFailure(L"greyed icon");
  return std::make_shared<const IconPicture>(greyed, picture.dpi);
}

void EndProgram() { PostQuitMessage(0); }

int RunMessageLoop() {
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Tab and the other dialog keys inside our forms.
    const HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && IsFormWindow(root) && IsDialogMessageW(root, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace ui::native
