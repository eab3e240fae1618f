#pragma once

// A standard control's side of the toolkit: program writes to it.
#include <windows.h>
// Needs windows.h first.
#include <commctrl.h>

#include <string>

#include "platform/native.h"
#include "platform/win32/trace.h"

namespace ui::native {

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
      if (!toolAdded_) win32::TraceFailure("TTM_ADDTOOL");
    } else {
      SendMessageW(toolTips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    }
  }
  void SetEnabled(bool enabled) override { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
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

}  // namespace ui::native
