#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/types.h"

// A small form toolkit: forms, frames, labels, text boxes, check boxes, menus
// and timers. The event rules live here, so every backend obeys them alike:
// - writing a text box's text (cut to its maximum length) runs its change
//   event before the write returns;
// - changing a check box's value runs its click event before it returns;
// - a request to unload a form that is not loaded or already unloading
//   returns at once and runs no handler;
// - a text box reports no key pressed while Alt is held (Alt+F4 still
//   closes), and reports Shift or Ctrl pressed alone on its release, only
//   when no other key went down and the box kept the focus in between (so
//   Shift+Tab is navigation, not a key);
// - a text box that reports keys also reports the middle and side mouse
//   buttons pressed over it, as their key codes, and keeps them from the
//   box itself (the focus stays where it is);
// - it reports the primary or the secondary button (1, 2) held over it for
//   kButtonHoldMs when it is let go there; a handler that takes it leaves
//   the code as it is, and that up then keeps no meaning (no context menu).
//   A shorter press is the box's own click;
// - when the last loaded form unloads, the program ends.
namespace ui {

using platform::IconHandle;
using platform::WindowHandle;

class Form;
class Menu;
class Timer;

namespace native {
class FormPeer;
}

// A picture whose value is an icon handle.
struct Picture {
  IconHandle handle = 0;
  std::uint32_t dpi = 0;  // the taskbar's when it was loaded
};

// Position and size in twips, relative to the client area of the form or of
// the enclosing frame.
struct Bounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

enum class ControlKind : std::uint8_t { Frame, Label, TextBox, CheckBox };

class Control {
 public:
  // The caption is a literal: one call each, not a string built at each.
  Control(Form& form, Control* container, const wchar_t* caption, Bounds bounds, int tabIndex);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  virtual ControlKind Kind() const = 0;
  Form& Owner() const { return form_; }
  Control* Container() const { return container_; }
  const std::wstring& Caption() const { return caption_; }
  Bounds Position() const { return bounds_; }
  // Bounds relative to the form's client area.
  Bounds FormPosition() const;
  int TabIndex() const { return tabIndex_; }
  const std::wstring& ToolTipText() const { return toolTip_; }
  void SetToolTipText(std::wstring text);
  // A disabled control shows greyed and takes neither the focus nor clicks.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

 private:
  Form& form_;
  std::wstring toolTip_;
  bool enabled_ = true;
  Control* container_;
  std::wstring caption_;
  Bounds bounds_;
  int tabIndex_;
};

class Frame final : public Control {
 public:
  using Control::Control;
  ControlKind Kind() const override { return ControlKind::Frame; }
};

class Label final : public Control {
 public:
  using Control::Control;
  ControlKind Kind() const override { return ControlKind::Label; }
  // The control this label names: it comes right before it in z-order,
  // which is where screen readers look for an edit box's name.
  void SetLabelFor(Control& control) { labelFor_ = &control; }
  Control* LabelFor() const { return labelFor_; }

 private:
  Control* labelFor_ = nullptr;
};

class TextBox final : public Control {
 public:
  struct Options {
    int maxLength = 0;  // 0: no limit
    bool readOnly = false;
    // Typing goes in without an input method (Japanese IME and the like),
    // as the keys themselves.
    bool noInputMethod = false;
  };
  TextBox(Form& form, Control* container, Bounds bounds, int tabIndex, Options options);
  ControlKind Kind() const override { return ControlKind::TextBox; }

  const std::wstring& Text() const { return text_; }
  // Cuts to the maximum length; a real change runs Change before returning.
  void SetText(std::wstring text);
  int MaxLength() const { return options_.maxLength; }
  bool ReadOnly() const { return options_.readOnly; }
  bool NoInputMethod() const { return options_.noInputMethod; }

  std::function<void()> Change;
  // Key code by reference; shift state 1 Shift, 2 Ctrl, 4 Alt.
  std::function<void(std::int16_t& keyCode, std::int16_t shift)> KeyDown;

  // Backend notifications. NativeKeyDown is true when the key was reported
  // through KeyDown; such a key keeps no system meaning, and NativeKeyUp is
  // true for its release.
  void NativeTextChanged(std::wstring text);
  bool NativeKeyDown(std::int16_t& keyCode, std::int16_t shift);
  bool NativeKeyUp(std::int16_t keyCode);
  void NativeFocusLost();
  // The middle or a side button (its key code: 4, 5 or 6) went down over
  // the box; true when reported through KeyDown.
  bool NativeButtonDown(std::int16_t keyCode);
  // The primary (1) or the secondary (2) button went down or up over the
  // box at time (ms); true when the up ended a hold that was taken.
  void NativeButtonPressed(std::int16_t keyCode, std::uint32_t time);
  bool NativeButtonReleased(std::int16_t keyCode, std::uint32_t time);

  // How long a button is held over a box to be its key.
  static constexpr std::int32_t kButtonHoldMs = 1000;

 private:
  bool Report(std::int16_t& keyCode, std::int16_t shift);

  Options options_;
  std::wstring text_;
  std::int16_t loneModifier_ = 0;  // Shift or Ctrl down alone, reported on release
  std::int16_t reported_ = 0;      // last key reported, until its release
  std::int16_t pressed_ = 0;       // the button down over the box, and since when
  std::uint32_t pressedAt_ = 0;
};

class CheckBox final : public Control {
 public:
  using Control::Control;
  ControlKind Kind() const override { return ControlKind::CheckBox; }

  static constexpr int kUnchecked = 0;
  static constexpr int kChecked = 1;
  static constexpr int kGrayed = 2;

  int Value() const { return value_; }
  // A real change runs Click before returning.
  void SetValue(int value);

  std::function<void()> Click;

  // The user clicked the box: it flips between unchecked and checked,
  // unless it is disabled.
  void NativeClicked();

 private:
  int value_ = kUnchecked;
};

class Menu {
 public:
  // A top-level menu of form's menu bar when parent is null; "-" makes a separator.
  Menu(Form& form, Menu* parent, const wchar_t* caption);
  Menu(const Menu&) = delete;
  Menu& operator=(const Menu&) = delete;

  const std::wstring& Caption() const { return caption_; }
  bool IsSeparator() const { return caption_ == L"-"; }
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  void SetCaption(std::wstring caption);
  // A hidden item is left out of the menu.
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  Menu* Parent() const { return parent_; }
  const std::vector<Menu*>& Items() const { return items_; }
  Form& Owner() const { return form_; }
  // Command identifier, unique within the form.
  int Id() const { return id_; }

  std::function<void()> Click;

 private:
  Form& form_;
  Menu* parent_;
  std::wstring caption_;
  bool checked_ = false;
  bool visible_ = true;
  int id_;
  std::vector<Menu*> items_;
};

class Timer {
 public:
  explicit Timer(Form& form);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  std::int32_t Interval() const { return interval_; }
  // Takes effect at once; zero or less stops the ticks.
  void SetInterval(std::int32_t milliseconds);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Ticks every milliseconds, counted from now, instead of every interval,
  // which itself stays; 0 goes back to the interval. A parked timer only
  // keeps a heartbeat, so it needs no fine timer resolution.
  void SetPace(std::int32_t milliseconds, bool parked = false);
  std::int32_t Pace() const { return pace_; }
  bool Parked() const { return parked_; }
  // One Alarm event milliseconds from now, beside the ticks; it keeps its
  // time across re-arms, parking and a change of native timer. Below 0
  // cancels it.
  void SetAlarm(std::int32_t milliseconds);
  // Whether the native timer can raise an alarm this soon, and before the
  // next tick: a window timer cannot below 10 ms.
  bool TimesAlarm(std::int32_t milliseconds);
  bool AlarmSet() const { return alarmSet_; }
  // Milliseconds until the alarm, 0 once due.
  std::int32_t AlarmRemaining() const;

  std::function<void()> Tick;
  std::function<void()> Alarm;

  void NativeTick();
  void NativeAlarm();
  // Re-arms the native timer after the form's window was created.
  void Rearm();

 private:
  Form& form_;
  std::int32_t interval_ = 0;
  std::int32_t pace_ = 0;
  bool parked_ = false;
  bool enabled_ = false;
  bool alarmSet_ = false;
  std::uint32_t alarmAt_ = 0;  // os::TimeMs
};

struct FormStyle {
  std::wstring className;
  std::wstring caption;
  int clientWidth = 0;   // twips
  int clientHeight = 0;  // twips
  bool fixedDialog = false;
  bool minimizeButton = false;
  int iconResource = 0;  // 0: none
};

class Form {
 public:
  explicit Form(FormStyle style);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // Creates the window hidden and runs the load event; nothing if loaded.
  void Load();
  // Runs the unload event and destroys the window; nothing if the form is not
  // loaded or already unloading. The last form to go ends the program.
  void Unload();
  bool Loaded() const { return state_ == State::Loaded || state_ == State::Unloading; }

  // Loads the form first if it is not loaded.
  WindowHandle hWnd();
  // Shows the form restored: a minimised one comes into view at its size,
  // in one step.
  void Show();
  void Hide();
  // 0 normal, 1 minimised, 2 maximised.
  int WindowState() const;
  void SetWindowState(int state);
  bool Visible() const;
  const std::wstring& Caption() const { return style_.caption; }
  // The form's icon, greyed while IconGreyed(); the window shows the same.
  std::shared_ptr<const Picture> Icon() const { return iconGreyed_ ? greyedIcon_ : icon_; }
  bool IconGreyed() const { return iconGreyed_; }
  void SetIconGreyed(bool greyed);
  // Loads the icons again at the sizes the DPI now asks for, greyed or not
  // as before.
  void ReloadIcon();
  const FormStyle& Style() const { return style_; }

  // Shows one of this form's menus as a popup at the mouse position.
  void PopupMenu(Menu& menu, Menu* defaultItem);
  // Raw key-downs from the whole system reach RawKeyDown, also while other
  // programs are in front; false when the platform cannot deliver them.
  bool ListenRawKeys();
  // Adds (or ends) raw presses of the middle and side mouse buttons, which
  // then reach RawKeyDown too; false when the platform cannot deliver them.
  bool ListenRawButtons(bool listen);
  // Foreground changes anywhere reach ForegroundChanged; false when the
  // platform cannot deliver them.
  bool ListenForeground();

  // A key, or a button ListenRawButtons asked for, went down anywhere: the
  // key's virtual-key code, or 0 when not said (a button, the hooks).
  std::function<void(std::int32_t)> RawKeyDown;
  // That key went up again.
  std::function<void(std::int32_t)> RawKeyUp;
  // Another window came to the foreground, or one was restored from the
  // taskbar; which one is for the handler to ask.
  std::function<void()> ForegroundChanged;
  // The window's size or state changed (minimised included).
  std::function<void()> Resize;
  // The window moved to a monitor of another DPI, or that DPI changed.
  std::function<void()> DpiChanged;

  const std::vector<Control*>& Controls() const { return controls_; }
  // The order in which a backend creates the controls, which is their
  // z-order and focus order: focusable controls by tab index, each named
  // one right after its label, then the other labels, then the frames
  // (behind what they hold).
  std::vector<Control*> CreationOrder() const;
  const std::vector<Menu*>& MenuBar() const { return menuBar_; }
  const std::vector<Timer*>& Timers() const { return timers_; }
  Menu* FindMenu(int id) const;

  // Backend access and notifications.
  native::FormPeer* Peer() const { return peer_.get(); }
  void NativeClose();
  void NativeEndSession();
  void NativeCommand(int id);
  void NativeRawKeyDown(std::int32_t virtualKey = 0);
  void NativeRawKeyUp(std::int32_t virtualKey);
  void NativeForegroundChanged();
  void NativeResized();
  void NativeDpiChanged();
  // The displays or a system setting changed, which may have changed the
  // taskbar's DPI without a WM_DPICHANGED here.
  void NativeDisplayChanged();
  // Another start of the program asks this form to come forward.
  void NativeShowRequest();

 protected:
  virtual void Form_Load() {}
  virtual void Form_Unload(std::int16_t& cancel) { (void)cancel; }
  virtual void Form_ShowRequest() {}

 private:
  friend class Control;
  friend class Menu;
  friend class Timer;
  enum class State : std::uint8_t { NotLoaded, Loaded, Unloading };

  FormStyle style_;
  State state_ = State::NotLoaded;
  std::unique_ptr<native::FormPeer> peer_;
  std::shared_ptr<const Picture> icon_;
  std::shared_ptr<const Picture> greyedIcon_;  // made on first use
  bool iconGreyed_ = false;
  std::vector<Control*> controls_;
  std::vector<Menu*> menuBar_;
  std::vector<Menu*> allMenus_;
  std::vector<Timer*> timers_;
};

// Number of loaded forms; the program ends when it drops to zero.
int LoadedFormCount();

}  // namespace ui
