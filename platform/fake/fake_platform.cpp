#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cwctype>

namespace fake {

namespace {

State& Instance() {
  static State state;
  return state;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
         });
}

LResult CallProc(WndProcAddress procedure, WindowHandle window, std::uint32_t message,
                 WParam wParam, LParam lParam) {
  State& s = Get();
  if (procedure == kSubClassProc && s.subClassHandler != nullptr) {
    return s.subClassHandler(window, message, wParam, lParam);
  }
  const ProcCall call{procedure, window, message, wParam, lParam};
  s.procCalls.push_back(call);
  return s.procAnswer ? s.procAnswer(call) : 7;
}

}  // namespace

State& Get() { return Instance(); }

void Reset() { Instance() = State(); }

WndProcAddress OriginalProc(WindowHandle window) {
  return static_cast<WndProcAddress>(0x70000 + window);
}

void Press(std::int32_t virtualKey) {
  Key& k = Get().keys[virtualKey];
  k.down = true;
  k.pressedSinceQuery = true;
}

void Release(std::int32_t virtualKey) { Get().keys[virtualKey].down = false; }

void Tap(std::int32_t virtualKey) {
  Key& k = Get().keys[virtualKey];
  k.down = false;
  k.pressedSinceQuery = true;
}

void Repeat(std::int32_t virtualKey) { Get().keys[virtualKey].pressedSinceQuery = true; }

LResult Dispatch(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
  const auto& procs = Get().windowProcs;
  const auto it = procs.find(window);
  return CallProc(it == procs.end() ? OriginalProc(window) : it->second, window, message, wParam,
                  lParam);
}

void FireWindowTimers() {
  const auto timers = Get().windowTimers;
  for (const auto& [key, period] : timers) {
    (void)period;
    if (Get().windowTimers.count(key) != 0) Dispatch(key.first, platform::kWmTimer, key.second, 0);
  }
}

std::wstring FileText(const std::wstring& file) {
  std::wstring text;
  const auto it = Get().files.find(file);
  if (it == Get().files.end()) return text;
  for (const IniSection& section : it->second) {
    text += L"[" + section.name + L"]\r\n";
    for (const auto& [key, value] : section.entries) text += key + L"=" + value + L"\r\n";
  }
  return text;
}

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

// --- the OS calls ---

namespace os {

void Trace(const std::wstring& line) { fake::Get().traces.push_back(line); }

std::int16_t KeyState(std::int32_t virtualKey) {
  fake::State& s = fake::Get();
  s.keyQueries.push_back(virtualKey);
  fake::Key& k = s.keys[virtualKey];
  const std::int16_t result =
      static_cast<std::int16_t>((k.down ? 0x8000 : 0) | (k.pressedSinceQuery ? 1 : 0));
  k.pressedSinceQuery = false;
  return result;
}

WindowHandle ActiveWindow() { return fake::Get().activeWindow; }

bool CursorPos(Point& point) {
  if (fake::Get().cursorFails) return false;
  point = fake::Get().cursor;
  return true;
}

bool ButtonsSwapped() { return fake::Get().buttonsSwapped; }

int InjectButton(std::uint32_t downFlag, std::uint32_t upFlag) {
  fake::State& s = fake::Get();
  int sent = 0;
  for (const std::uint32_t flag : {downFlag, upFlag}) {
    if (flag == 0 || (s.inputsTaken >= 0 && sent >= s.inputsTaken)) continue;
    s.injected.push_back({flag, s.cursor.x, s.cursor.y, s.clock});
    ++sent;
  }
  return sent;
}

std::wstring KeyName(std::int32_t virtualKey) {
  const auto& names = fake::Get().keyNames;
  const auto it = names.find(virtualKey);
  return it == names.end() ? std::wstring() : it->second;
}

std::uint32_t TimeMs() { return fake::Get().clock; }

std::wstring ReadProfileValue(const std::wstring& section, const std::wstring& key,
                              const std::wstring& fallback, const std::wstring& file,
                              std::size_t bufferChars) {
  fake::Get().reads.push_back(section + L"/" + key);
  std::wstring value = fallback;
  const auto& files = fake::Get().files;
  if (const auto f = files.find(file); f != files.end()) {
    for (const fake::IniSection& s : f->second) {
      if (!fake::SameText(s.name, section)) continue;
      for (const auto& [k, v] : s.entries) {
        if (fake::SameText(k, key)) {
          value = v;
          break;
        }
      }
      break;
    }
  }
  std::wstring buffer(bufferChars, L' ');
  if (bufferChars == 0) return buffer;
  const std::size_t n = std::min(value.size(), bufferChars - 1);
  std::copy_n(value.begin(), n, buffer.begin());
  buffer[n] = L'\0';
  return buffer;
}

bool WriteProfileValue(const std::wstring& section, const std::wstring& key,
                       const std::wstring& value, const std::wstring& file) {
  fake::State& s = fake::Get();
  s.writes.push_back(section + L"/" + key + L"=" + value);
  if (s.writesFail) return false;
  if (const auto a = s.access.find(file);
      a != s.access.end() && a->second != os::Access::Granted && a->second != os::Access::Missing)
    return false;
  fake::IniFile& ini = s.files[file];
  auto sec = std::find_if(ini.begin(), ini.end(), [&](const fake::IniSection& x) {
    return fake::SameText(x.name, section);
  });
  if (sec == ini.end()) {
    ini.push_back({section, {}});
    sec = ini.end() - 1;
  }
  for (auto& [k, v] : sec->entries) {
    if (fake::SameText(k, key)) {
      v = value;
      return true;
    }
  }
  sec->entries.emplace_back(key, value);
  return true;
}

std::wstring ModulePath() { return fake::Get().modulePath; }

std::wstring FinalPath(const std::wstring& path) {
  const auto& finals = fake::Get().finalPaths;
  const auto it = finals.find(path);
  return it == finals.end() ? path : it->second;
}

Access FileWriteAccess(const std::wstring& file) {
  const fake::State& s = fake::Get();
  if (const auto it = s.access.find(file); it != s.access.end()) return it->second;
  return s.files.count(file) != 0 ? Access::Granted : Access::Missing;
}

Access FolderWriteAccess(const std::wstring& folder) {
  const fake::State& s = fake::Get();
  const auto it = s.access.find(folder);
  return it == s.access.end() ? Access::Granted : it->second;
}

Access UnelevatedWriteAccess(const std::wstring& path, bool folder) {
  const fake::State& s = fake::Get();
  if (const auto it = s.unelevatedAccess.find(path); it != s.unelevatedAccess.end())
    return it->second;
  return folder || s.files.count(path) != 0 ? Access::Granted : Access::Missing;
}

bool OnNetworkDrive(const std::wstring& path) {
  return fake::Get().networkDrives.count(path.substr(0, 3)) != 0;
}

std::wstring KnownFolderPath(KnownFolder folder) {
  return folder == KnownFolder::RoamingAppData ? fake::Get().roamingAppData
                                               : fake::Get().localAppData;
}

bool CreateFolder(const std::wstring& folder) {
  fake::Get().createdFolders.push_back(folder);
  return true;
}

bool CopyNewFile(const std::wstring& from, const std::wstring& to) {
  fake::State& s = fake::Get();
  s.copies.push_back(from + L">" + to);
  const auto source = s.files.find(from);
  if (source == s.files.end() || s.files.count(to) != 0) return false;
  s.files[to] = source->second;
  return true;
}

std::wstring UpperCase(const std::wstring& text) {
  std::wstring upper = text;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return upper;
}

bool ClaimInstance(std::uint32_t key, std::uintptr_t& claim) {
  auto& instances = fake::Get().instances;
  claim = 0;
  if (instances.count(key) != 0) return false;
  instances[key] = 0;
  claim = key;
  return true;
}

void ReleaseInstance(std::uintptr_t claim) {
  fake::State& s = fake::Get();
  s.released.push_back(claim);
  s.instances.erase(static_cast<std::uint32_t>(claim));
}

void MarkInstanceWindow(WindowHandle window, std::uint32_t key) {
  fake::Get().markedWindows[key] = window;
}

std::uint32_t UnmarkInstanceWindow(WindowHandle window) {
  auto& marked = fake::Get().markedWindows;
  for (auto it = marked.begin(); it != marked.end(); ++it) {
    if (it->second != window) continue;
    const std::uint32_t key = it->first;
    marked.erase(it);
    return key;
  }
  return 0;
}

WindowHandle FindInstanceWindow(std::uint32_t key) {
  const auto& instances = fake::Get().instances;
  const auto it = instances.find(key);
  return it == instances.end() ? 0 : it->second;
}

bool RequestShow(WindowHandle window) {
  fake::Get().showRequests.push_back(window);
  return true;
}

void Pause(std::uint32_t milliseconds) {
  fake::State& s = fake::Get();
  s.clock += milliseconds;
  if (s.onPause) s.onPause(milliseconds);
}

bool OptOutOfThrottling(std::uint32_t features) {
  fake::Get().throttleOptOuts.push_back(features);
  return (features & fake::Get().throttleRefused) == 0;
}

bool NotifyIcon(std::uint32_t message, const TrayIconData& data) {
  fake::State& s = fake::Get();
  s.trayCalls.push_back({message, data});
  const std::pair<WindowHandle, std::uint32_t> icon{data.hWnd, data.uID};
  const bool there = s.trayIcons.count(icon) != 0;
  switch (message) {
    case platform::kNimAdd:
      if (s.failingAdds > 0) {
        --s.failingAdds;
        if (s.failedAddsTakeEffect) s.trayIcons.insert(icon);
        return false;
      }
      return !there && s.trayIcons.insert(icon).second;
    case platform::kNimDelete:
      return s.trayIcons.erase(icon) != 0;
    default:
      return there;
  }
}

bool AllowMessage(WindowHandle window, std::uint32_t message) {
  fake::State& s = fake::Get();
  s.allowedMessages.push_back({window, message, s.trayCalls.size()});
  return true;
}

std::uint32_t RegisterMessage(const std::wstring& name) {
  auto& messages = fake::Get().registeredMessages;
  const auto it = messages.find(name);
  if (it != messages.end()) return it->second;
  const auto id = static_cast<std::uint32_t>(0xC000 + messages.size());
  messages[name] = id;
  return id;
}

bool BringToForeground(WindowHandle window) {
  fake::Get().foregrounds.push_back(window);
  fake::Get().foreground = window;
  return true;
}

WindowHandle ForegroundWindow() { return fake::Get().foreground; }

Elevation OwnElevation() { return fake::Get().ownElevation; }

bool StartElevated(WindowHandle window, const std::wstring& exe, bool shown, std::uint32_t& error) {
  auto& state = fake::Get();
  state.elevatedStarts.push_back(shown);
  state.elevatedStartPath = exe;
  state.elevatedStartWindows = {window, state.foreground};
  error = state.elevatedStartError;
  return error == 0;
}

Elevated WindowElevated(WindowHandle window, std::uint32_t& integrity, std::uint32_t& error) {
  auto& state = fake::Get();
  state.elevationQueries.push_back(window);
  const auto it = state.windowElevation.find(window);
  const Elevated answer = it == state.windowElevation.end() ? Elevated::No : it->second;
  error = answer == Elevated::Unknown ? 5 : 0;  // ERROR_ACCESS_DENIED
  const auto level = state.windowIntegrity.find(window);
  if (answer != Elevated::Unknown && level != state.windowIntegrity.end())
    integrity = level->second;
  return answer;
}

bool MessagesFiltered(WindowHandle window) {
  auto& state = fake::Get();
  state.messageProbes.push_back(window);
  return state.filteredWindows.count(window) != 0;
}

bool WindowExists(WindowHandle window) {
  const auto& gone = fake::Get().goneWindows;
  return window != 0 && std::find(gone.begin(), gone.end(), window) == gone.end();
}

bool Post(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam) {
  fake::Get().posted.push_back({0, window, message, wParam, lParam});
  return true;
}

bool StartWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t milliseconds) {
  fake::Get().windowTimers[{window, id}] = milliseconds;
  return true;
}

void StopWindowTimer(WindowHandle window, std::uintptr_t id) {
  fake::Get().windowTimers.erase({window, id});
}

WndProcAddress SubClassProcAddress(SubClassHandler handler) {
  fake::Get().subClassHandler = handler;
  return fake::kSubClassProc;
}

WndProcAddress SetWindowProc(WindowHandle window, WndProcAddress procedure) {
  fake::State& s = fake::Get();
  if (s.setWindowProcFails) return 0;
  const auto it = s.windowProcs.find(window);
  const WndProcAddress previous =
      it == s.windowProcs.end() ? fake::OriginalProc(window) : it->second;
  s.windowProcs[window] = procedure;
  return previous;
}

LResult CallWindowProcAt(WndProcAddress procedure, WindowHandle window, std::uint32_t message,
                         WParam wParam, LParam lParam) {
  return fake::CallProc(procedure, window, message, wParam, lParam);
}

bool WindowRect(WindowHandle window, Rect& rect) {
  if (fake::Get().forms.count(window) == 0) return false;
  rect = {10, 20, 300, 400};
  return true;
}

MenuHandle MenuBar(WindowHandle window) {
  const auto& forms = fake::Get().forms;
  const auto it = forms.find(window);
  return it == forms.end() ? 0 : it->second->menuBar;
}

MenuHandle SubMenu(MenuHandle menu, std::int32_t position) {
  if (menu == 0) return 0;
  for (const auto& [handle, form] : fake::Get().forms) {
    (void)handle;
    if (form->menuBar != menu) continue;
    std::int32_t i = 0;
    for (const auto& [sub, top] : form->menus) {
      (void)top;
      if (i++ == position) return sub;
    }
  }
  return 0;
}

std::int32_t TrackMenu(MenuHandle menu, std::uint32_t flags, std::int32_t x, std::int32_t y,
                       WindowHandle owner, const Rect& rect) {
  (void)rect;
  fake::State& s = fake::Get();
  if (menu == 0) return 0;
  const fake::MenuTrack track{menu, flags, x, y, owner};
  s.menuTracks.push_back(track);
  const int chosen = s.onTrackMenu ? s.onTrackMenu(track) : 0;
  if ((flags & platform::kTpmReturnCmd) != 0) return chosen;
  // Posted, as Windows does: it runs only after the caller returns.
  if (chosen != 0) s.posted.push_back({0, owner, platform::kWmCommand, WParam(chosen), 0});
  return 1;
}

}  // namespace os

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
