#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/forms.h"

// What a toolkit backend provides. The shared toolkit calls these; the
// backend calls the Native* notifications of forms and controls back.
namespace ui::native {

class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  // Program writes; the backend raises no notification for them.
  virtual void SetText(const std::wstring& text) = 0;
  virtual void SetCheck(int value) = 0;
  virtual void SetToolTip(const std::wstring& text) = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

class FormPeer {
 public:
  virtual ~FormPeer() = default;
  virtual WindowHandle Handle() const = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual int WindowState() const = 0;
  virtual void SetWindowState(int state) = 0;
  virtual bool Visible() const = 0;
  virtual ControlPeer& PeerOf(const Control& control) = 0;
  virtual void SetMenuChecked(const Menu& item, bool checked) = 0;
  // The menus' items, captions and visibility as they now stand.
  virtual void RefreshMenus() = 0;
  virtual void PopupMenu(Menu& menu, Menu* defaultItem) = 0;
  virtual void ArmTimer(Timer& timer, std::uint32_t milliseconds) = 0;
  virtual void DisarmTimer(Timer& timer) = 0;
  // The timer's alarm as it now stands (set or not), on its native timer.
  virtual void ArmAlarm(Timer& timer) = 0;
  virtual bool TimesAlarm(Timer& timer, std::int32_t milliseconds) const = 0;
  virtual bool ListenRawKeys() = 0;
  virtual bool ListenRawButtons(bool listen) = 0;
  virtual bool ListenForeground() = 0;
  // Shows the window's icons greyed, or as the class has them.
  virtual void SetIconGreyed(bool greyed) = 0;
  // Loads the window's icons at its DPI now, and shows them greyed or not.
  virtual void ReloadIcons(bool greyed) = 0;
};

// Creates the form's window, hidden, with its controls and menu bar.
std::unique_ptr<FormPeer> CreateFormPeer(Form& form);
// The form's icon as the tray shows it, at the taskbar's DPI.
std::shared_ptr<const Picture> LoadIconPicture(int resourceId);
std::uint32_t TaskbarDpi();
// The same picture in greys, faded: the look of something switched off.
std::shared_ptr<const Picture> GreyedPicture(const Picture& picture);
// No form is loaded any more: ends RunMessageLoop.
void EndProgram();
// Dispatches the thread's messages until EndProgram; returns the exit code.
int RunMessageLoop();

}  // namespace ui::native
