#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace key_watcher {

// The programs in whose windows the keys act ("Programs" in the settings),
// by file name, and which program's window is in front.
class ProgramRule {
 public:
  // The setting: file names separated by '|'. A folder before a name,
  // quotes around it, blank entries, spaces around them and repeats are
  // dropped.
  void SetList(const std::wstring& setting);
  // The setting to write back.
  const std::wstring& ListText() const { return text_; }
  bool HasList() const { return !text_.empty(); }
  bool Listed(const std::wstring& name) const;
  bool ListsOtherThan(const std::wstring& name) const;
  // Adds name, or removes it when it is listed.
  void Toggle(const std::wstring& name);
  void ClearList() { SetList(std::wstring()); }

  // Looks at the window in front; its program's name is read only when
  // that window changed. True when it changed.
  bool Update();
  // The keys may act: there is no list, or a listed program is in front.
  bool Allows() const { return text_.empty() || (front_ == Front::Program && frontListed_); }
  // What the icon shows: as Allows(), but while this tool, the taskbar or
  // the desktop is in front, the answer for the last program that was.
  bool ShownAllows() const;
  // The last program in front other than this tool, the taskbar and the
  // desktop; empty when there was none, or its name could not be read.
  const std::wstring& LastProgram() const { return lastName_; }

 private:
  enum class Front : std::uint8_t { None, Own, Shell, Program, Unreadable };
  void Judge(platform::WindowHandle front);
  void Rejudge();

  // The names, separated by '|'; and upper-cased between bars ("|A.EXE|"),
  // to be searched.
  std::wstring text_;
  std::wstring search_;
  platform::WindowHandle judged_ = 0;
  Front front_ = Front::None;
  std::wstring frontName_;
  bool frontListed_ = false;
  Front last_ = Front::None;
  std::wstring lastName_;
  bool lastListed_ = false;
  bool traced_ = false;
};

}  // namespace key_watcher
