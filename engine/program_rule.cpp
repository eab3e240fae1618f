#include "engine/program_rule.h"

#include "platform/decimal.h"
#include "platform/os_instance.h"
#include "platform/os_shell.h"
#include "platform/os_trace.h"

namespace key_watcher {

namespace {

// Windows of the taskbar, its tray and the desktop, and the ones Windows
// puts in front for a moment while switching: a click on the tray icon
// brings the taskbar (or Wine's tray window) in front first. #32769 is the
// desktop window itself. ASCII, a byte each: the table is half the size.
const char kShellClasses[] =
    "|Shell_TrayWnd|Shell_SecondaryTrayWnd|NotifyIconOverflowWindow"
    "|TopLevelWindowForOverflowXamlIsland|Progman|WorkerW|#32769|__winex11_standalone_tray"
    "|ForegroundStaging|MultitaskingViewFrame|XamlExplorerHostIslandWindow|TaskSwitcherWnd|";

bool IsShell(const std::wstring& windowClass) {
  for (const char* at = kShellClasses; *at != '\0'; ++at) {
    if (*at != '|') continue;
    std::size_t i = 0;
    while (i < windowClass.size() && static_cast<wchar_t>(at[i + 1]) == windowClass[i]) ++i;
    if (i == windowClass.size() && at[i + 1] == '|') return true;
  }
  return false;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\x3000'; }

void Trim(std::wstring& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  text = text.substr(begin, end - begin);
}

std::wstring FileName(const std::wstring& path) {
  return path.substr(path.find_last_of(L"\\/") + 1);
}

// How a user writes a program down: "game.exe", or a path to it as
// Explorer's "Copy as path" gives it, in quotes; spaces around.
std::wstring EntryName(std::wstring name) {
  Trim(name);
  if (name.size() >= 2 && name.front() == L'"' && name.back() == L'"') {
    name = name.substr(1, name.size() - 2);
  }
  name = FileName(name);
  Trim(name);
  return name;
}

std::wstring Between(const std::wstring& name) { return L"|" + os::UpperCase(name) + L"|"; }

}  // namespace

void ProgramRule::SetList(const std::wstring& setting) {
  text_.clear();
  search_ = L"|";
  std::size_t begin = 0;
  while (begin <= setting.size()) {
    std::size_t end = setting.find(L'|', begin);
    if (end == std::wstring::npos) end = setting.size();
    const std::wstring name = EntryName(setting.substr(begin, end - begin));
    if (!name.empty() && !Listed(name)) {
      text_ += (text_.empty() ? L"" : L"|") + name;
      // As the file system compares names: without regard to case.
      search_ += os::UpperCase(name) + L"|";
    }
    begin = end + 1;
  }
  Rejudge();
}

bool ProgramRule::Listed(const std::wstring& name) const {
  return search_.find(Between(name)) != std::wstring::npos;
}

bool ProgramRule::ListsOtherThan(const std::wstring& name) const {
  return HasList() && search_ != Between(name);
}

void ProgramRule::Toggle(const std::wstring& name) {
  if (name.empty()) return;
  if (!Listed(name)) {
    SetList(text_ + L"|" + name);
    return;
  }
  // The names between the bars, less this one.
  std::wstring kept = L"|" + text_ + L"|";
  const std::size_t at = search_.find(Between(name));
  kept.erase(at, name.size() + 1);
  SetList(kept);
}

bool ProgramRule::Update() {
  const platform::WindowHandle front = os::ForegroundWindow();
  if (front == judged_ && front_ != Front::None) return false;
  judged_ = front;
  Judge(front);
  Rejudge();
  return true;
}

bool ProgramRule::ShownAllows() const {
  if (text_.empty() || last_ == Front::None) return true;
  return last_ == Front::Program && lastListed_;
}

void ProgramRule::Judge(platform::WindowHandle front) {
  frontName_.clear();
  // No window in front, for a moment while switching: as the desktop.
  const std::uint32_t process = front == 0 ? 0 : os::WindowProcessId(front);
  if (process == 0 || IsShell(os::WindowClass(front))) {
    front_ = Front::Shell;
    return;
  }
  if (process == os::OwnProcessId()) {
    front_ = Front::Own;
    return;
  }
  std::uint32_t error = 0;
  frontName_ = FileName(os::ProcessImagePath(process, error));
  front_ = frontName_.empty() ? Front::Unreadable : Front::Program;
  last_ = front_;
  lastName_ = frontName_;
  if (front_ == Front::Unreadable && !traced_) {
    traced_ = true;
    os::Trace("cannot read the program of the window in front, error ", platform::Decimal(error));
  }
}

// The list or the window changed: whether each is listed, read once here
// rather than at every tick.
void ProgramRule::Rejudge() {
  frontListed_ = front_ == Front::Program && Listed(frontName_);
  lastListed_ = last_ == Front::Program && Listed(lastName_);
}

}  // namespace key_watcher
