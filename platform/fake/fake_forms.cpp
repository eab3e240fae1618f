#include "platform/fake/fake_platform.h"

namespace fake {

FakeForm& FormOf(ui::Form& form) { return *static_cast<FakeForm*>(form.Peer()); }

void Type(ui::TextBox& box, const std::wstring& newText) {
  std::wstring text = newText;
  // The native box stops typing at its maximum length.
  if (box.MaxLength() > 0 && text.size() > static_cast<std::size_t>(box.MaxLength())) {
    text.resize(static_cast<std::size_t>(box.MaxLength()));
  }
  FormOf(box.Owner()).controls[&box].text = text;
  box.NativeTextChanged(text);
}

void PressKeyIn(ui::TextBox& box, std::int16_t keyCode) {
  const std::int16_t shift = keyCode == 16 ? 1 : keyCode == 17 ? 2 : keyCode == 18 ? 4 : 0;
  std::int16_t code = keyCode;
  box.NativeKeyDown(code, shift);
  box.NativeKeyUp(keyCode);
}

void PressButtonIn(ui::TextBox& box, std::int16_t keyCode) { box.NativeButtonDown(keyCode); }

void ClickCheckBox(ui::CheckBox& box) { box.NativeClicked(); }

// --- fake toolkit peer ---

FakeForm::FakeForm(ui::Form& owner) : form(owner) {
  State& s = Get();
  handle = s.nextHandle;
  s.nextHandle += 0x10;
  s.forms[handle] = this;
  if (!form.MenuBar().empty()) {
    menuBar = s.nextHandle++;
    for (const ui::Menu* top : form.MenuBar()) menus[s.nextHandle++] = top;
  }
  for (const ui::Control* c : form.Controls()) {
    FakeControl& peer = controls[c];
    if (c->Kind() == ui::ControlKind::TextBox) {
      const auto* box = static_cast<const ui::TextBox*>(c);
      peer.text = box->Text();
      peer.inputMethod = !box->NoInputMethod();
    }
  }
}

FakeForm::~FakeForm() { Get().forms.erase(handle); }

void FakeForm::Show() {
  state = 0;
  visible = true;
  ++showCount;
}

// As ShowWindow does: every state also shows the window.
void FakeForm::SetWindowState(int newState) {
  if (newState == state) return;
  state = newState;
  if (!visible && state == 1) ++shownMinimised;
  visible = true;
}

ui::native::ControlPeer& FakeForm::PeerOf(const ui::Control& control) { return controls[&control]; }

void FakeForm::SetMenuChecked(const ui::Menu& item, bool checked) { menuChecks[&item] = checked; }

void FakeForm::PopupMenu(ui::Menu& menu, ui::Menu* defaultItem) {
  Get().popupMenus.emplace_back(&menu, defaultItem);
}

void FakeForm::ArmTimer(ui::Timer& timer, std::uint32_t milliseconds) {
  armedTimers[&timer] = milliseconds;
  armedAt[&timer] = Get().clock;
  ++armCount;
}

void FakeForm::ArmAlarm(ui::Timer& timer) {
  (void)timer;
  ++alarmArms;
}

bool FakeForm::TimesAlarm(ui::Timer& timer, std::int32_t milliseconds) const {
  (void)timer;
  return milliseconds >= Get().alarmFloorMs;
}

void FakeForm::DisarmTimer(ui::Timer& timer) {
  armedTimers.erase(&timer);
  armedAt.erase(&timer);
}

bool FakeForm::ListenRawKeys() {
  rawKeys = !Get().rawKeysFail;
  return rawKeys;
}

bool FakeForm::ListenForeground() {
  foregroundHeard = !Get().foregroundFails;
  return foregroundHeard;
}

bool FakeForm::ListenRawButtons(bool listen) {
  if (listen && Get().rawButtonsFail) return false;
  if (listen != rawButtons) ++rawButtonCalls;
  rawButtons = listen;
  return true;
}

void FakeForm::TickTimers() {
  std::vector<ui::Timer*> timers;
  for (const auto& entry : armedTimers) timers.push_back(entry.first);
  for (ui::Timer* t : timers) {
    if (armedTimers.count(t) != 0) t->NativeTick();
  }
}

}  // namespace fake

// --- toolkit backend entry points ---

namespace ui::native {

std::unique_ptr<FormPeer> CreateFormPeer(Form& form) {
  return std::make_unique<fake::FakeForm>(form);
}

std::shared_ptr<const Picture> LoadIconPicture(int resourceId) {
  const int load = fake::Get().iconLoads++;
  return std::make_shared<Picture>(
      Picture{static_cast<IconHandle>(0x1C00 + resourceId + (load << 12)), TaskbarDpi()});
}

std::uint32_t TaskbarDpi() { return fake::Get().taskbarDpi; }

// A greyed picture's handle is its picture's with this bit set.
std::shared_ptr<const Picture> GreyedPicture(const Picture& picture) {
  return std::make_shared<Picture>(Picture{picture.handle | 0x100000, picture.dpi});
}

void EndProgram() { ++fake::Get().programEnded; }

int RunMessageLoop() { return 0; }

}  // namespace ui::native
