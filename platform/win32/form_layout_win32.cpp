// A form's window built and laid out: its class, menu bar and controls, at
// the window's DPI.
#include "platform/win32/form_win32.h"

// Needs windows.h first.
#include <commctrl.h>
#include <imm.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/dpi_win32.h"
#include "platform/win32/key_box_win32.h"
#include "platform/win32/trace.h"

namespace ui::native {

void Win32Form::RegisterClassFor(const FormStyle& style) {
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
  // A class registered before stays as it is.
  RegisterClassExW(&wc);
}

void Win32Form::FillPopup(HMENU popup, const Menu& top) {
  for (const Menu* item : top.Items()) {
    if (!item->Visible()) continue;
    if (item->IsSeparator()) {
      AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(popup, MF_STRING | (item->Checked() ? MF_CHECKED : 0),
                  static_cast<UINT_PTR>(item->Id()), item->Caption().c_str());
    }
  }
}

void Win32Form::RefreshMenus() {
  // Built again: the items have no submenus of their own to lose.
  for (const auto& [top, popup] : popups_) {
    while (RemoveMenu(popup, 0, MF_BYPOSITION)) {
    }
    FillPopup(popup, *top);
  }
}

HMENU Win32Form::BuildMenuBar() {
  if (form_.MenuBar().empty()) return nullptr;
  HMENU bar = CreateMenu();
  for (Menu* top : form_.MenuBar()) {
    HMENU popup = CreatePopupMenu();
    FillPopup(popup, *top);
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), top->Caption().c_str());
    popups_.emplace_back(top, popup);
  }
  return bar;
}

void Win32Form::CreateControls() {
  // Creation order is z-order, which Tab follows.
  const std::vector<Control*> order = form_.CreationOrder();
  toolTips_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                  WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                  GetModuleHandleW(nullptr), nullptr));
  if (!toolTips_) win32::TraceFailure("CreateWindowEx tooltips");
  // Long enough to read a key's name; the default follows the double-click
  // time and can be gone at once.
  SendMessageW(toolTips_.get(), TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(10000, 0));
  // Any width: a tip breaks only at its line ends.
  SendMessageW(toolTips_.get(), TTM_SETMAXTIPWIDTH, 0, SHRT_MAX);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (Control* c : order) {
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | (c->Enabled() ? 0 : WS_DISABLED);
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
      SubclassKeyBox(child, *box);
      if (box->NoInputMethod()) ImmAssociateContextEx(child, nullptr, 0);
    }
    if (c->Kind() == ControlKind::CheckBox) {
      peer->SetCheck(static_cast<CheckBox*>(c)->Value());
    }
    peers_.push_back(std::move(peer));
    if (firstFocus_ == nullptr && (style & WS_TABSTOP) != 0) firstFocus_ = child;
  }
}

void Win32Form::Layout(const RECT* suggested) {
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
  for (const auto& peer : peers_) {
    const Control* control = &peer->Owner();
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

SIZE Win32Form::WindowSize(UINT dpi, bool scaledFrame) const {
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

}  // namespace ui::native
