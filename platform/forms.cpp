#include "platform/forms.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/native.h"
#include "platform/os_input.h"

namespace ui {

namespace {
int loadedForms = 0;
constexpr int kFirstMenuId = 100;
}  // namespace

int LoadedFormCount() { return loadedForms; }

// --- controls ---

Control::Control(Form& form, Control* container, const wchar_t* caption, Bounds bounds,
                 int tabIndex)
    : form_(form), container_(container), caption_(caption), bounds_(bounds), tabIndex_(tabIndex) {
  form.controls_.push_back(this);
}

Bounds Control::FormPosition() const {
  Bounds b = bounds_;
  for (const Control* c = container_; c != nullptr; c = c->container_) {
    b.left += c->bounds_.left;
    b.top += c->bounds_.top;
  }
  return b;
}

void Control::SetToolTipText(std::wstring text) {
  if (text == toolTip_) return;
  toolTip_ = std::move(text);
  if (auto* peer = form_.Peer()) peer->PeerOf(*this).SetToolTip(toolTip_);
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (auto* peer = form_.Peer()) peer->PeerOf(*this).SetEnabled(enabled_);
}

TextBox::TextBox(Form& form, Control* container, Bounds bounds, int tabIndex, Options options)
    : Control(form, container, L"", bounds, tabIndex), options_(options) {}

void TextBox::SetText(std::wstring text) {
  if (options_.maxLength > 0 && text.size() > static_cast<std::size_t>(options_.maxLength)) {
    text.resize(static_cast<std::size_t>(options_.maxLength));
  }
  if (text == text_) return;
  text_ = std::move(text);
  if (auto* peer = Owner().Peer()) peer->PeerOf(*this).SetText(text_);
  if (Change) Change();
}

void TextBox::NativeTextChanged(std::wstring text) {
  if (text == text_) return;
  text_ = std::move(text);
  if (Change) Change();
}

namespace {
constexpr std::int16_t kShiftKey = 16;
constexpr std::int16_t kControlKey = 17;
constexpr std::int16_t kShiftBit = 1;
constexpr std::int16_t kControlBit = 2;
constexpr std::int16_t kAltBit = 4;
}  // namespace

bool TextBox::Report(std::int16_t& keyCode, std::int16_t shift) {
  if (!KeyDown) return false;
  reported_ = keyCode;
  KeyDown(keyCode, shift);
  return true;
}

bool TextBox::NativeKeyDown(std::int16_t& keyCode, std::int16_t shift) {
  if ((shift & kAltBit) != 0) {
    loneModifier_ = 0;
    return false;
  }
  if (keyCode == kShiftKey || keyCode == kControlKey) {
    // Auto-repeat of the modifier already waiting changes nothing.
    if (keyCode == loneModifier_) return false;
    const std::int16_t alone = keyCode == kShiftKey ? kShiftBit : kControlBit;
    loneModifier_ = loneModifier_ == 0 && shift == alone ? keyCode : 0;
    return false;
  }
  loneModifier_ = 0;
  return Report(keyCode, shift);
}

bool TextBox::NativeKeyUp(std::int16_t keyCode) {
  if (keyCode != 0 && keyCode == loneModifier_) {
    loneModifier_ = 0;
    std::int16_t code = keyCode;
    Report(code, keyCode == kShiftKey ? kShiftBit : kControlBit);
  }
  if (keyCode == 0 || keyCode != reported_) return false;
  reported_ = 0;
  return true;
}

void TextBox::NativeFocusLost() { loneModifier_ = 0; }

bool TextBox::NativeButtonDown(std::int16_t keyCode) {
  loneModifier_ = 0;
  return Report(keyCode, 0);
}

void TextBox::NativeButtonPressed(std::int16_t keyCode, std::uint32_t time) {
  pressed_ = keyCode;
  pressedAt_ = time;
}

bool TextBox::NativeButtonReleased(std::int16_t keyCode, std::uint32_t time) {
  const bool held = keyCode == std::exchange(pressed_, 0) &&
                    static_cast<std::int32_t>(time - pressedAt_) >= kButtonHoldMs;
  loneModifier_ = 0;
  std::int16_t code = keyCode;
  return held && Report(code, 0) && code == keyCode;
}

void CheckBox::SetValue(int value) {
  if (value == value_) return;
  value_ = value;
  if (auto* peer = Owner().Peer()) peer->PeerOf(*this).SetCheck(value_);
  if (Click) Click();
}

void CheckBox::NativeClicked() {
  if (Enabled()) SetValue(value_ == kChecked ? kUnchecked : kChecked);
}

// --- menus ---

Menu::Menu(Form& form, Menu* parent, const wchar_t* caption)
    : form_(form),
      parent_(parent),
      caption_(caption),
      id_(kFirstMenuId + static_cast<int>(form.allMenus_.size())) {
  form.allMenus_.push_back(this);
  if (parent != nullptr) {
    parent->items_.push_back(this);
  } else {
    form.menuBar_.push_back(this);
  }
}

void Menu::SetCaption(std::wstring caption) {
  if (caption == caption_) return;
  caption_ = std::move(caption);
  if (auto* peer = form_.Peer()) peer->RefreshMenus();
}

void Menu::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (auto* peer = form_.Peer()) peer->RefreshMenus();
}

void Menu::SetChecked(bool checked) {
  checked_ = checked;
  if (auto* peer = form_.Peer()) peer->SetMenuChecked(*this, checked_);
}

// --- timer ---

Timer::Timer(Form& form) : form_(form) { form.timers_.push_back(this); }

Timer::~Timer() {
  auto& timers = form_.timers_;
  timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
}

void Timer::SetInterval(std::int32_t milliseconds) {
  interval_ = milliseconds;
  Rearm();
}

void Timer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Rearm();
}

void Timer::SetPace(std::int32_t milliseconds, bool parked) {
  pace_ = milliseconds > 0 ? milliseconds : 0;
  parked_ = pace_ > 0 && parked;
  Rearm();
}

void Timer::Rearm() {
  auto* peer = form_.Peer();
  if (peer == nullptr) return;
  if (enabled_ && interval_ > 0) {
    peer->ArmTimer(*this, static_cast<std::uint32_t>(pace_ > 0 ? pace_ : interval_));
  } else {
    peer->DisarmTimer(*this);
  }
}

void Timer::NativeTick() {
  if (enabled_ && interval_ > 0 && Tick) Tick();
}

void Timer::SetAlarm(std::int32_t milliseconds) {
  // Asked at every tick: only a change costs.
  if (milliseconds < 0 && !alarmSet_) return;
  const std::uint32_t at = os::TimeMs() + static_cast<std::uint32_t>(milliseconds);
  if (milliseconds >= 0 && alarmSet_ && at == alarmAt_) return;
  alarmSet_ = milliseconds >= 0;
  alarmAt_ = at;
  if (auto* peer = form_.Peer()) peer->ArmAlarm(*this);
}

bool Timer::TimesAlarm(std::int32_t milliseconds) {
  auto* peer = form_.Peer();
  return peer != nullptr && peer->TimesAlarm(*this, milliseconds);
}

std::int32_t Timer::AlarmRemaining() const {
  const auto left = static_cast<std::int32_t>(alarmAt_ - os::TimeMs());
  return left > 0 ? left : 0;
}

// Also when the timer is disabled: an alarm releases what a tick pressed.
void Timer::NativeAlarm() {
  alarmSet_ = false;
  if (Alarm) Alarm();
}

// --- forms ---

Form::Form(FormStyle style) : style_(std::move(style)) {}

Form::~Form() {
  if (Loaded()) {
    // Torn down without events: only reached when a form outlives its program.
    peer_.reset();
    --loadedForms;
  }
}

void Form::Load() {
  if (state_ != State::NotLoaded) return;
  if (style_.iconResource != 0 && !icon_) icon_ = native::LoadIconPicture(style_.iconResource);
  peer_ = native::CreateFormPeer(*this);
  if (iconGreyed_) peer_->SetIconGreyed(true);
  state_ = State::Loaded;
  ++loadedForms;
  for (Timer* t : timers_) t->Rearm();
  Form_Load();
}

void Form::Unload() {
  if (state_ != State::Loaded) return;
  state_ = State::Unloading;
  std::int16_t cancel = 0;
  Form_Unload(cancel);
  if (cancel != 0) {
    state_ = State::Loaded;
    return;
  }
  peer_.reset();  // the window goes, and its timers with it
  state_ = State::NotLoaded;
  if (--loadedForms == 0) native::EndProgram();
}

WindowHandle Form::hWnd() {
  Load();
  return peer_ ? peer_->Handle() : 0;
}

void Form::Show() {
  Load();
  if (peer_) peer_->Show();
}

void Form::Hide() {
  if (peer_) peer_->Hide();
}

int Form::WindowState() const { return peer_ ? peer_->WindowState() : 0; }

void Form::SetWindowState(int state) {
  Load();
  if (peer_) peer_->SetWindowState(state);
}

bool Form::Visible() const { return peer_ ? peer_->Visible() : false; }

void Form::PopupMenu(Menu& menu, Menu* defaultItem) {
  Load();
  if (peer_) peer_->PopupMenu(menu, defaultItem);
}

bool Form::ListenRawKeys() {
  Load();
  return peer_ && peer_->ListenRawKeys();
}

bool Form::ListenRawButtons(bool listen) { return peer_ && peer_->ListenRawButtons(listen); }

bool Form::ListenForeground() {
  Load();
  return peer_ && peer_->ListenForeground();
}

void Form::ReloadIcon() {
  if (style_.iconResource == 0) return;
  icon_ = native::LoadIconPicture(style_.iconResource);
  greyedIcon_ = iconGreyed_ ? native::GreyedPicture(*icon_) : nullptr;
  if (peer_) peer_->ReloadIcons(iconGreyed_);
}

void Form::SetIconGreyed(bool greyed) {
  if (greyed == iconGreyed_) return;
  if (greyed && !greyedIcon_ && icon_) greyedIcon_ = native::GreyedPicture(*icon_);
  iconGreyed_ = greyed;
  if (peer_) peer_->SetIconGreyed(greyed);
}

std::vector<Control*> Form::CreationOrder() const {
  const auto labelFor = [](const Control* c) {
    return c->Kind() == ControlKind::Label ? static_cast<const Label*>(c)->LabelFor() : nullptr;
  };
  const auto rank = [](const Control* c) {
    switch (c->Kind()) {
      case ControlKind::TextBox:
      case ControlKind::CheckBox:
        return 0;
      case ControlKind::Label:
        return 1;
      case ControlKind::Frame:
        return 2;
    }
    return 3;
  };
  const auto before = [&](const Control* a, const Control* b) {
    const int ra = rank(a), rb = rank(b);
    return ra != rb ? ra < rb : a->TabIndex() < b->TabIndex();
  };
  // Each goes in after its equals, so they keep their order: a stable sort
  // of a few controls, without std::stable_sort's 2.5 KB in the exe.
  std::vector<Control*> sorted;
  for (Control* c : controls_) {
    if (labelFor(c) == nullptr)
      sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), c, before), c);
  }
  std::vector<Control*> order;
  for (Control* c : sorted) {
    for (Control* l : controls_) {
      if (labelFor(l) == c) order.push_back(l);
    }
    order.push_back(c);
  }
  return order;
}

Menu* Form::FindMenu(int id) const {
  for (Menu* m : allMenus_) {
    if (m->Id() == id) return m;
  }
  return nullptr;
}

void Form::NativeClose() { Unload(); }

void Form::NativeEndSession() { Unload(); }

void Form::NativeCommand(int id) {
  Menu* m = FindMenu(id);
  if (m != nullptr && m->Click) m->Click();
}

void Form::NativeRawKeyDown(std::int32_t virtualKey) {
  if (RawKeyDown) RawKeyDown(virtualKey);
}

void Form::NativeRawKeyUp(std::int32_t virtualKey) {
  if (RawKeyUp) RawKeyUp(virtualKey);
}

void Form::NativeForegroundChanged() {
  if (ForegroundChanged) ForegroundChanged();
}

void Form::NativeDpiChanged() {
  if (DpiChanged) DpiChanged();
}

void Form::NativeDisplayChanged() {
  // Settings change often: only a new DPI is worth new icons.
  if (icon_ && icon_->dpi != native::TaskbarDpi()) NativeDpiChanged();
}

void Form::NativeResized() {
  if (Resize) Resize();
}

void Form::NativeShowRequest() {
  if (state_ == State::Loaded) Form_ShowRequest();
}

}  // namespace ui
